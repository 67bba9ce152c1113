#include "config/settings_form.h"

#include <vector>

#include "config/setting_number.h"

namespace kestrane {
namespace {

using V = SettingsFormValues;
using S = Settings;

constexpr NumberField kNumberFields[] = {
    {"Edit30", &V::Edit30, &S::SWITCH_B_MIN},
    {"Edit31", &V::Edit31, &S::SWITCH_B_MAX},
    {"Edit17", &V::Edit17, &S::GEAR_CENTER_FORCE_X},
    {"Edit19", &V::Edit19, &S::GEAR_CENTER_FORCE_Y},
    {"Edit18", &V::Edit18, &S::GEAR_CENTER_SATURATION_X},
    {"Edit20", &V::Edit20, &S::GEAR_CENTER_SATURATION_Y},
    {"Edit1", &V::Edit1, &S::JOY_GEAR_WIDTH},
    {"Edit2", &V::Edit2, &S::JOY_GEAR_HEIGHT},
    {"Edit3", &V::Edit3, &S::GEAR_CROSS_SIZE},
    {"Edit4", &V::Edit4, &S::GEAR_FORCE_DEATH_FREE_X},
    {"Edit5", &V::Edit5, &S::GEAR_FORCE_DEATH_NOFREE_X},
    {"Edit6", &V::Edit6, &S::GEAR_FORCE_DEATH_FREE_Y},
    {"Edit7", &V::Edit7, &S::GEAR_FORCE_DEATH_NOFREE_Y},
    {"Edit8", &V::Edit8, &S::GEAR_DAMPER_FORCE},
    {"Edit9", &V::Edit9, &S::GEAR_DAMPER_SATURATION},
    {"Edit10", &V::Edit10, &S::GEAR_HOLE_FORCE_X},
    {"Edit11", &V::Edit11, &S::GEAR_HOLE_SATURATION_X},
    {"Edit12", &V::Edit12, &S::GEAR_HOLE_FORCE_Y},
    {"Edit13", &V::Edit13, &S::GEAR_HOLE_SATURATION_Y},
    {"Edit14", &V::Edit14, &S::GEAR_CROSS_FORCE_COUNT},
    {"Edit15", &V::Edit15, &S::GEAR_CROSS_FORCE},
    {"Edit16", &V::Edit16, &S::GEAR_CROSS_SATURATION},
    {"Edit29", &V::Edit29, nullptr},
    {"Edit36", &V::Edit36, &S::SYM_KEY_TIME},
    {"Edit37", &V::Edit37, &S::SYM_SPACE_TIME},
};

constexpr CheckField kCheckFields[] = {
    {"CheckBox3", &V::CheckBox3, &S::AUTOCENTER_NEUTRAL},
    {"CheckBox4", &V::CheckBox4, &S::SWITCH_XY},
    {"CheckBox5", &V::CheckBox5, &S::REVERSE_X},
    {"CheckBox6", &V::CheckBox6, &S::REVERSE_Y},
    {"CheckBox7", &V::CheckBox7, &S::FORCE_FEEDBACK},
    {"CheckBox8", &V::CheckBox8, &S::DAMPER_ENABLED},
    {"CheckBox9", &V::CheckBox9, &S::CROSS_ENABLED},
    {"CheckBox10", &V::CheckBox10, &S::HOLE_ENABLED},
    {"CheckBox1", &V::CheckBox1, &S::CENTER_ENABLED},
    {"CheckBox11", &V::CheckBox11, &S::VIRTUAL_SHIFTER},
};

constexpr KeyField kKeyFields[] = {
    {"Edit28", "Gear Reverse", &V::Edit28, kKeyReverse},
    {"Edit21", "Gear 1", &V::Edit21, 1},
    {"Edit22", "Gear 2", &V::Edit22, 2},
    {"Edit23", "Gear 3", &V::Edit23, 3},
    {"Edit24", "Gear 4", &V::Edit24, 4},
    {"Edit25", "Gear 5", &V::Edit25, 5},
    {"Edit26", "Gear 6", &V::Edit26, 6},
    {"Edit27", "Gear 7", &V::Edit27, 7},
    {"Edit32", "Gear N", &V::Edit32, kKeyNeutral},
    {"Edit33", "Switch UP", &V::Edit33, kKeyShiftUp},
    {"Edit34", "Switch DN", &V::Edit34, kKeyShiftDown},
};
static_assert(std::size(kKeyFields) == kKeyEntries);

constexpr std::size_t kMaxKeyFieldText = 99;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::vector<std::string_view> SplitAtHashes(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('#', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

// Blanks, a sign and digits from the start of the piece, up to the first other character.
std::uint8_t LeadingNumberByte(std::string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && IsBlank(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  std::uint32_t value = 0;  // only the low 8 bits matter, so wrapping is harmless
  for (; i < piece.size() && IsDigit(piece[i]); ++i) {
    value = value * 10u + static_cast<std::uint32_t>(piece[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::uint8_t>(value & 0xFFu);
}

bool IsByteNumber(std::string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && IsBlank(piece[i])) ++i;
  std::size_t end = piece.size();
  while (end > i && IsBlank(piece[end - 1])) --end;
  if (i == end || end - i > 3) return false;
  int value = 0;
  for (; i < end; ++i) {
    if (!IsDigit(piece[i])) return false;
    value = value * 10 + (piece[i] - '0');
  }
  return value <= 255;
}

}  // namespace

std::span<const NumberField> NumberFields() {
  return kNumberFields;
}
std::span<const CheckField> CheckFields() {
  return kCheckFields;
}
std::span<const KeyField> KeyFields() {
  return kKeyFields;
}

std::string FormatKeyField(KeyCode key) {
  return std::to_string(key.vk) + "#" + std::to_string(key.scan);
}

KeyCode ParseKeyField(std::string_view text) {
  const std::vector<std::string_view> pieces = SplitAtHashes(text);
  KeyCode key;
  if (!pieces.empty()) key.vk = LeadingNumberByte(pieces[0]);
  if (pieces.size() > 1) key.scan = LeadingNumberByte(pieces[1]);
  return key;
}

bool IsKeyFieldText(std::string_view text) {
  if (text.size() > kMaxKeyFieldText) return false;
  const std::vector<std::string_view> pieces = SplitAtHashes(text);
  return pieces.size() == 2 && IsByteNumber(pieces[0]) && IsByteNumber(pieces[1]);
}

std::string NotAnIntegerMessage(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}

std::string NotAKeyMessage(const KeyField& field, std::string_view text) {
  return "'" + std::string(text) + "' is not a key for \"" + field.name +
         "\". Click the field and press the key to use.";
}

SettingsFormValues FormValuesFromSettings(const Settings& settings, std::uint32_t interval) {
  SettingsFormValues v;
  v.ComboBox1 = settings.SWITCH_BUTTON;
  v.ComboBox2 = settings.SWITCH_B_AXE;
  v.GearTypeCombo = settings.SYM_TYPE;
  for (const CheckField& f : kCheckFields) v.*f.checked = settings.*f.setting;
  for (const NumberField& f : kNumberFields) {
    v.*f.text = f.setting ? std::to_string(settings.*f.setting) : std::to_string(interval);
  }
  v.Edit35 = std::string(settings.Sequence());
  for (const KeyField& f : kKeyFields) {
    v.*f.value = {FormatKeyField(settings.Keys[static_cast<std::size_t>(f.entry)]), false};
  }
  return v;
}

FormOutcome ApplySettingsForm(const SettingsFormValues& values, const Settings& current,
                              std::uint32_t current_interval) {
  FormOutcome out{std::nullopt, current, current_interval};
  Settings next = current;
  std::uint32_t interval = current_interval;

  next.POOLED_DEVICE = true;
  next.SWITCH_BUTTON = values.ComboBox1;
  next.SWITCH_B_AXE = values.ComboBox2;
  for (const CheckField& f : kCheckFields) next.*f.setting = values.*f.checked;
  next.EXCLUSIVE_ACCESS = next.FORCE_FEEDBACK;

  for (const NumberField& f : kNumberFields) {
    const std::string& text = values.*f.text;
    const std::optional<std::int32_t> number = ParseSettingNumber(text);
    if (!number) {
      out.error = FormError{f.control, NotAnIntegerMessage(text)};
      return out;
    }
    if (f.setting) {
      next.*f.setting = *number;
    } else {
      interval = static_cast<std::uint32_t>(*number);
    }
  }

  next.SetSequence(values.Edit35);

  for (const KeyField& f : kKeyFields) {
    const KeyFieldValue& field = values.*f.value;
    if (!field.captured && !IsKeyFieldText(field.text)) {
      out.error = FormError{f.control, NotAKeyMessage(f, field.text)};
      return out;
    }
    next.Keys[static_cast<std::size_t>(f.entry)] = ParseKeyField(field.text);
  }

  next.SYM_TYPE = values.GearTypeCombo;

  out.settings = next;
  out.interval = interval;
  return out;
}

}  // namespace kestrane
