#include "config/settings_form.h"

#include <algorithm>
#include <vector>

#include "config/setting_number.h"
#include "core/messages.h"

namespace kestrane {
namespace {

using V = SettingsFormValues;
using S = Settings;

// Captions name the field as the dialog shows it; hints say what the value does.
constexpr const char* kDeadZone =
    "how far the stick moves before the spring pushes back; 10000 is the whole axis";
constexpr const char* kStiffness = "how much the force grows with the distance from its target";
constexpr const char* kMaxForce = "the strongest the force gets; 10000 is the stick's full force";

constexpr NumberField kNumberFields[] = {
    {"Edit30", "Pos Min", "SWITCH_B_MIN", 0, 65535,
     "the switch axis counts as pressed from this position", &V::switch_b_min, &S::SWITCH_B_MIN},
    {"Edit31", "Pos Max", "SWITCH_B_MAX", 0, 65535,
     "the switch axis counts as pressed up to this position", &V::switch_b_max, &S::SWITCH_B_MAX},
    {"Edit17", "Centre stiffness, X", "GEAR_CENTER_FORCE_X", 0, 10000, kStiffness,
     &V::gear_center_force_x, &S::GEAR_CENTER_FORCE_X},
    {"Edit19", "Centre stiffness, Y", "GEAR_CENTER_FORCE_Y", 0, 10000, kStiffness,
     &V::gear_center_force_y, &S::GEAR_CENTER_FORCE_Y},
    {"Edit18", "Centre maximum force, X", "GEAR_CENTER_SATURATION_X", 0, 10000, kMaxForce,
     &V::gear_center_saturation_x, &S::GEAR_CENTER_SATURATION_X},
    {"Edit20", "Centre maximum force, Y", "GEAR_CENTER_SATURATION_Y", 0, 10000, kMaxForce,
     &V::gear_center_saturation_y, &S::GEAR_CENTER_SATURATION_Y},
    {"Edit1", "Cross Width", "JOY_GEAR_WIDTH", 0, 32000, "the distance between the lanes",
     &V::joy_gear_width, &S::JOY_GEAR_WIDTH},
    {"Edit2", "Cross Height", "JOY_GEAR_HEIGHT", 0, 32000,
     "how far forward or back the stick goes into a gear", &V::joy_gear_height,
     &S::JOY_GEAR_HEIGHT},
    {"Edit3", "Cross Size", "GEAR_CROSS_SIZE", 0, 32000,
     "the tolerance where the lanes meet the neutral line; a bigger value means less precise "
     "movement is required",
     &V::gear_cross_size, &S::GEAR_CROSS_SIZE},
    {"Edit4", "Neutral line dead zone, X", "GEAR_FORCE_DEATH_FREE_X", 0, 10000, kDeadZone,
     &V::gear_force_death_free_x, &S::GEAR_FORCE_DEATH_FREE_X},
    {"Edit5", "Lane wall dead zone, X", "GEAR_FORCE_DEATH_NOFREE_X", 0, 10000, kDeadZone,
     &V::gear_force_death_nofree_x, &S::GEAR_FORCE_DEATH_NOFREE_X},
    {"Edit6", "Lane dead zone, Y", "GEAR_FORCE_DEATH_FREE_Y", 0, 10000, kDeadZone,
     &V::gear_force_death_free_y, &S::GEAR_FORCE_DEATH_FREE_Y},
    {"Edit7", "Neutral line wall dead zone, Y", "GEAR_FORCE_DEATH_NOFREE_Y", 0, 10000, kDeadZone,
     &V::gear_force_death_nofree_y, &S::GEAR_FORCE_DEATH_NOFREE_Y},
    {"Edit8", "Damper stiffness", "GEAR_DAMPER_FORCE", 0, 10000,
     "how much the resistance grows with the stick's speed", &V::gear_damper_force,
     &S::GEAR_DAMPER_FORCE},
    {"Edit9", "Damper maximum force", "GEAR_DAMPER_SATURATION", 0, 10000, kMaxForce,
     &V::gear_damper_saturation, &S::GEAR_DAMPER_SATURATION},
    {"Edit10", "Slot stiffness, X", "GEAR_HOLE_FORCE_X", 0, 10000, kStiffness,
     &V::gear_hole_force_x, &S::GEAR_HOLE_FORCE_X},
    {"Edit11", "Slot maximum force, X", "GEAR_HOLE_SATURATION_X", 0, 10000, kMaxForce,
     &V::gear_hole_saturation_x, &S::GEAR_HOLE_SATURATION_X},
    {"Edit12", "Slot stiffness, Y", "GEAR_HOLE_FORCE_Y", 0, 10000, kStiffness,
     &V::gear_hole_force_y, &S::GEAR_HOLE_FORCE_Y},
    {"Edit13", "Slot maximum force, Y", "GEAR_HOLE_SATURATION_Y", 0, 10000, kMaxForce,
     &V::gear_hole_saturation_y, &S::GEAR_HOLE_SATURATION_Y},
    {"Edit14", "Cross springs", "GEAR_CROSS_FORCE_COUNT", 1, 2,
     "how many springs hold the stick in the pattern; 2 doubles the force and the maximum",
     &V::gear_cross_force_count, &S::GEAR_CROSS_FORCE_COUNT},
    {"Edit15", "Cross stiffness", "GEAR_CROSS_FORCE", 0, 10000, kStiffness, &V::gear_cross_force,
     &S::GEAR_CROSS_FORCE},
    {"Edit16", "Cross maximum force", "GEAR_CROSS_SATURATION", 0, 10000, kMaxForce,
     &V::gear_cross_saturation, &S::GEAR_CROSS_SATURATION},
    {"Edit29", "Check interval", "CHECK_INTERVAL", 0, 1000,
     "how often the stick is read and the forces are set, in milliseconds; 0 pauses",
     &V::check_interval, nullptr},
    {"Edit36", "Press time", "SYM_KEY_TIME", 0, 1000,
     "with press and release keys: how long each key is held, in milliseconds",
     &V::sym_key_time, &S::SYM_KEY_TIME},
    {"Edit37", "Space time", "SYM_SPACE_TIME", 0, 1000,
     "with press and release keys: how long no key is pressed after each key, in milliseconds",
     &V::sym_space_time, &S::SYM_SPACE_TIME},
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

std::string FieldRange(const NumberField& field) {
  return std::to_string(field.minimum) + "\u2013" + std::to_string(field.maximum);
}

std::string NotANumberMessage(const NumberField& field, std::string_view text) {
  const std::string wanted =
      "Enter a whole number from " + std::to_string(field.minimum) + " to " +
      std::to_string(field.maximum) + ".";
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::string(field.name) + " is empty. " + wanted;
  // Digits too many for any field: a whole number, just out of range.
  const std::size_t last = text.find_last_not_of(" \t");
  std::string_view digits = text.substr(first, last - first + 1);
  const std::string_view number = digits;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos) {
    return OutOfRangeMessage(field, number);
  }
  return std::string(field.name) + ": '" + EscapeControls(text) + "' is not a whole number. " +
         wanted;
}

std::string OutOfRangeMessage(const NumberField& field, std::string_view value) {
  return std::string(field.name) + ": " + std::string(value) +
         " is out of range. Enter a whole number from " + std::to_string(field.minimum) + " to " +
         std::to_string(field.maximum) + ".";
}

std::string NotAKeyMessage(const KeyField& field, std::string_view text) {
  return "'" + EscapeControls(text) + "' is not a key for \"" + field.name +
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
      out.error = FormError{f.control, NotANumberMessage(f, text)};
      return out;
    }
    if (*number < f.minimum || *number > f.maximum) {
      out.error = FormError{f.control, OutOfRangeMessage(f, std::to_string(*number))};
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
  note(!before.FORCE_FEEDBACK && after.FORCE_FEEDBACK, "force feedback on");
  // Switched off, force feedback lets go of the stick at once and opens it again as it now is.
  if (!(before.FORCE_FEEDBACK && !after.FORCE_FEEDBACK)) {
    note(before.EXCLUSIVE_ACCESS != after.EXCLUSIVE_ACCESS, "exclusive access");
    note(before.CROSS_ENABLED != after.CROSS_ENABLED, "the cross spring");
    note(before.GEAR_CROSS_FORCE_COUNT != after.GEAR_CROSS_FORCE_COUNT,
         "the number of cross springs");
    note(before.DAMPER_ENABLED != after.DAMPER_ENABLED, "the damper");
    note(before.HOLE_ENABLED != after.HOLE_ENABLED, "the hole spring");
    note(before.CENTER_ENABLED != after.CENTER_ENABLED, "the centre spring");
  }
  if (names.empty()) return {};
  return "Saved. These settings take effect when Kestrane starts next: " + names +
         ". Everything else already acts.";
}

}  // namespace kestrane
