#include "config/settings_form.h"

#include <algorithm>
#include <vector>

#include "config/setting_number.h"

namespace kestrane {
namespace {

using V = SettingsFormValues;
using S = Settings;

constexpr NumberField kNumberFields[] = {
    {"Edit30", "Pos Min", 0, 65535, &V::switch_b_min, &S::SWITCH_B_MIN},
    {"Edit31", "Pos Max", 0, 65535, &V::switch_b_max, &S::SWITCH_B_MAX},
    {"Edit17", "CENTER_FORCE_X", 0, 10000, &V::gear_center_force_x, &S::GEAR_CENTER_FORCE_X},
    {"Edit19", "CENTER_FORCE_Y", 0, 10000, &V::gear_center_force_y, &S::GEAR_CENTER_FORCE_Y},
    {"Edit18", "CENTER_SATURATION_X", 0, 10000, &V::gear_center_saturation_x,
     &S::GEAR_CENTER_SATURATION_X},
    {"Edit20", "CENTER_SATURATION_Y", 0, 10000, &V::gear_center_saturation_y,
     &S::GEAR_CENTER_SATURATION_Y},
    {"Edit1", "Cross Width", 0, 32000, &V::joy_gear_width, &S::JOY_GEAR_WIDTH},
    {"Edit2", "Cross Height", 0, 32000, &V::joy_gear_height, &S::JOY_GEAR_HEIGHT},
    {"Edit3", "Cross Size", 0, 32000, &V::gear_cross_size, &S::GEAR_CROSS_SIZE},
    {"Edit4", "FORCE_DEATH_FREE_X", 0, 10000, &V::gear_force_death_free_x,
     &S::GEAR_FORCE_DEATH_FREE_X},
    {"Edit5", "FORCE_DEATH_NOFREE_X", 0, 10000, &V::gear_force_death_nofree_x,
     &S::GEAR_FORCE_DEATH_NOFREE_X},
    {"Edit6", "FORCE_DEATH_FREE_Y", 0, 10000, &V::gear_force_death_free_y,
     &S::GEAR_FORCE_DEATH_FREE_Y},
    {"Edit7", "FORCE_DEATH_NOFREE_Y", 0, 10000, &V::gear_force_death_nofree_y,
     &S::GEAR_FORCE_DEATH_NOFREE_Y},
    {"Edit8", "DAMPER_FORCE", 0, 10000, &V::gear_damper_force, &S::GEAR_DAMPER_FORCE},
    {"Edit9", "DAMPER_SATURATION", 0, 10000, &V::gear_damper_saturation,
     &S::GEAR_DAMPER_SATURATION},
    {"Edit10", "HOLE_FORCE_X", 0, 10000, &V::gear_hole_force_x, &S::GEAR_HOLE_FORCE_X},
    {"Edit11", "HOLE_SATURATION_X", 0, 10000, &V::gear_hole_saturation_x,
     &S::GEAR_HOLE_SATURATION_X},
    {"Edit12", "HOLE_FORCE_Y", 0, 10000, &V::gear_hole_force_y, &S::GEAR_HOLE_FORCE_Y},
    {"Edit13", "HOLE_SATURATION_Y", 0, 10000, &V::gear_hole_saturation_y,
     &S::GEAR_HOLE_SATURATION_Y},
    {"Edit14", "CROSS_FORCE_COUNT", 1, 2, &V::gear_cross_force_count, &S::GEAR_CROSS_FORCE_COUNT},
    {"Edit15", "CROSS_FORCE", 0, 10000, &V::gear_cross_force, &S::GEAR_CROSS_FORCE},
    {"Edit16", "CROSS_SATURATION", 0, 10000, &V::gear_cross_saturation, &S::GEAR_CROSS_SATURATION},
    {"Edit29", "Check interval", 0, 1000, &V::check_interval, nullptr},
    {"Edit36", "Press time", 0, 1000, &V::sym_key_time, &S::SYM_KEY_TIME},
    {"Edit37", "Space time", 0, 1000, &V::sym_space_time, &S::SYM_SPACE_TIME},
};

constexpr CheckField kCheckFields[] = {
    {"CheckBox3", &V::autocenter_neutral, &S::AUTOCENTER_NEUTRAL},
    {"CheckBox4", &V::switch_xy, &S::SWITCH_XY},
    {"CheckBox5", &V::reverse_x, &S::REVERSE_X},
    {"CheckBox6", &V::reverse_y, &S::REVERSE_Y},
    {"CheckBox7", &V::force_feedback, &S::FORCE_FEEDBACK},
    {"CheckBox8", &V::damper_enabled, &S::DAMPER_ENABLED},
    {"CheckBox9", &V::cross_enabled, &S::CROSS_ENABLED},
    {"CheckBox10", &V::hole_enabled, &S::HOLE_ENABLED},
    {"CheckBox1", &V::center_enabled, &S::CENTER_ENABLED},
    {"CheckBox11", &V::virtual_shifter, &S::VIRTUAL_SHIFTER},
};

constexpr KeyField kKeyFields[] = {
    {"Edit28", "Gear Reverse", &V::key_reverse, kKeyReverse},
    {"Edit21", "Gear 1", &V::key_gear1, 1},
    {"Edit22", "Gear 2", &V::key_gear2, 2},
    {"Edit23", "Gear 3", &V::key_gear3, 3},
    {"Edit24", "Gear 4", &V::key_gear4, 4},
    {"Edit25", "Gear 5", &V::key_gear5, 5},
    {"Edit26", "Gear 6", &V::key_gear6, 6},
    {"Edit27", "Gear 7", &V::key_gear7, 7},
    {"Edit32", "Gear N", &V::key_neutral, kKeyNeutral},
    {"Edit33", "Switch UP", &V::key_shift_up, kKeyShiftUp},
    {"Edit34", "Switch DN", &V::key_shift_down, kKeyShiftDown},
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

std::string OutOfRangeMessage(const NumberField& field, std::int32_t value) {
  return "'" + std::to_string(value) + "' is out of range: " + field.name + " takes " +
         std::to_string(field.minimum) + " to " + std::to_string(field.maximum);
}

std::string NotAKeyMessage(const KeyField& field, std::string_view text) {
  return "'" + std::string(text) + "' is not a key for \"" + field.name +
         "\". Click the field and press the key to use.";
}

SettingsFormValues FormValuesFromSettings(const Settings& settings, std::uint32_t interval) {
  SettingsFormValues v;
  v.switch_button = settings.SWITCH_BUTTON;
  v.switch_b_axe = settings.SWITCH_B_AXE;
  v.sym_type = settings.SYM_TYPE;
  v.ff_strength = std::clamp(settings.FF_STRENGTH, 0, 100);
  for (const CheckField& f : kCheckFields) v.*f.checked = settings.*f.setting;
  for (const NumberField& f : kNumberFields) {
    v.*f.text = f.setting ? std::to_string(settings.*f.setting) : std::to_string(interval);
  }
  v.sym_sequence = std::string(settings.Sequence());
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
  // A list with nothing chosen (the file holds a value the list does not offer) keeps the value.
  if (values.switch_button >= 0) next.SWITCH_BUTTON = values.switch_button;
  if (values.switch_b_axe >= 0) next.SWITCH_B_AXE = values.switch_b_axe;
  if (values.ff_strength >= 0) next.FF_STRENGTH = std::min(values.ff_strength, 100);
  for (const CheckField& f : kCheckFields) next.*f.setting = values.*f.checked;
  next.EXCLUSIVE_ACCESS = next.FORCE_FEEDBACK;

  for (const NumberField& f : kNumberFields) {
    const std::string& text = values.*f.text;
    const std::optional<std::int32_t> number = ParseSettingNumber(text);
    if (!number) {
      out.error = FormError{f.control, NotAnIntegerMessage(text)};
      return out;
    }
    if (*number < f.minimum || *number > f.maximum) {
      out.error = FormError{f.control, OutOfRangeMessage(f, *number)};
      return out;
    }
    if (f.setting) {
      next.*f.setting = *number;
    } else {
      interval = static_cast<std::uint32_t>(*number);
    }
  }

  next.SetSequence(values.sym_sequence);

  for (const KeyField& f : kKeyFields) {
    const KeyFieldValue& field = values.*f.value;
    if (!field.captured && !IsKeyFieldText(field.text)) {
      out.error = FormError{f.control, NotAKeyMessage(f, field.text)};
      return out;
    }
    next.Keys[static_cast<std::size_t>(f.entry)] = ParseKeyField(field.text);
  }

  if (values.sym_type >= 0) next.SYM_TYPE = values.sym_type;

  out.settings = next;
  out.interval = interval;
  return out;
}

std::string RestartNotice(const Settings& before, std::string_view joystick_before,
                          const Settings& after, std::string_view joystick_after) {
  std::string names;
  auto note = [&](bool changed, const char* name) {
    if (!changed) return;
    if (!names.empty()) names += ", ";
    names += name;
  };
  note(joystick_before != joystick_after, "the joystick");
  note(before.FORCE_FEEDBACK != after.FORCE_FEEDBACK, "force feedback on or off");
  note(before.EXCLUSIVE_ACCESS != after.EXCLUSIVE_ACCESS, "exclusive access");
  note(before.CROSS_ENABLED != after.CROSS_ENABLED, "the cross spring");
  note(before.GEAR_CROSS_FORCE_COUNT != after.GEAR_CROSS_FORCE_COUNT,
       "the number of cross springs");
  note(before.DAMPER_ENABLED != after.DAMPER_ENABLED, "the damper");
  note(before.HOLE_ENABLED != after.HOLE_ENABLED, "the hole spring");
  note(before.CENTER_ENABLED != after.CENTER_ENABLED, "the centre spring");
  if (names.empty()) return {};
  return "Saved. These settings take effect when Kestrane starts next: " + names +
         ". Everything else already acts.";
}

}  // namespace kestrane
