#pragma once

// What the settings dialog does with the record, without the dialog: OnShown's texts for every
// control and Save's conversion of the controls back into a record. The dialog only moves values
// between these plain structures and its widgets, so every rule of Save is tested without Qt.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/settings.h"

namespace kestrane {

// A key field's text and whether key capture put it there (rather than OnShown).
struct KeyFieldValue {
  std::string text;
  bool captured = false;
  friend bool operator==(const KeyFieldValue&, const KeyFieldValue&) = default;
};

// What the dialog's controls hold, each member named after its control.
struct SettingsFormValues {
  // Lists: the index of the chosen entry, -1 when none is chosen.
  int switch_button = -1;  // SWITCH_BUTTON
  int switch_b_axe = -1;   // SWITCH_B_AXE
  int sym_type = -1;       // SYM_TYPE
  int ff_strength = -1;    // FF_STRENGTH from the slider, 0..100; -1 keeps the value

  bool autocenter_neutral = false;  // AUTOCENTER_NEUTRAL
  bool switch_xy = false;           // SWITCH_XY
  bool reverse_x = false;           // REVERSE_X
  bool reverse_y = false;           // REVERSE_Y
  bool force_feedback = false;      // FORCE_FEEDBACK
  bool damper_enabled = false;      // DAMPER_ENABLED
  bool cross_enabled = false;       // CROSS_ENABLED
  bool hole_enabled = false;        // HOLE_ENABLED
  bool center_enabled = false;      // CENTER_ENABLED
  bool virtual_shifter = false;     // VIRTUAL_SHIFTER

  // Whole-number fields.
  std::string check_interval;  // CHECK_INTERVAL (the polling timer's interval)
  std::string joy_gear_width, joy_gear_height, gear_cross_size;
  std::string gear_force_death_free_x, gear_force_death_nofree_x, gear_force_death_free_y,
      gear_force_death_nofree_y, gear_damper_force, gear_damper_saturation, gear_hole_force_x,
      gear_hole_saturation_x, gear_hole_force_y, gear_hole_saturation_y, gear_cross_force_count,
      gear_cross_force, gear_cross_saturation;
  std::string gear_center_force_x, gear_center_saturation_x, gear_center_force_y,
      gear_center_saturation_y;
  std::string switch_b_min, switch_b_max;
  std::string sym_key_time, sym_space_time;

  std::string sym_sequence;  // SYM_SEQUENCE

  // Key fields: key_reverse reverse, key_gear1..key_gear7 gears 1 to 7, key_neutral neutral,
  // key_shift_up shift up, key_shift_down shift down.
  KeyFieldValue key_gear1, key_gear2, key_gear3, key_gear4, key_gear5, key_gear6, key_gear7,
      key_reverse, key_neutral, key_shift_up, key_shift_down;

  friend bool operator==(const SettingsFormValues&, const SettingsFormValues&) = default;
};

// A whole-number field: its caption (what messages call it), its setting's key, the values it
// takes, what it does, and the value it edits; `setting` is null for check_interval, which edits
// the polling timer's interval.
struct NumberField {
  const char* control;
  const char* name;
  const char* key;
  std::int32_t minimum;
  std::int32_t maximum;
  const char* hint;
  std::string SettingsFormValues::*text;
  std::int32_t Settings::*setting;
};

// A check box and the switch it edits.
struct CheckField {
  const char* control;
  bool SettingsFormValues::*checked;
  bool Settings::*setting;
};

// A key field, the name its messages give it, and its entry of the key table.
struct KeyField {
  const char* control;
  const char* name;
  KeyFieldValue SettingsFormValues::*value;
  int entry;
};

// In the order Save converts them: switch_b_min, switch_b_max, gear_center_force_x,
// gear_center_force_y, gear_center_saturation_x, gear_center_saturation_y, joy_gear_width to
// gear_cross_saturation, check_interval, sym_key_time, sym_space_time.
std::span<const NumberField> NumberFields();
// In the order Save copies them: autocenter_neutral, 4, 5, 6, 7, 8, 9, 10, then center_enabled and
// virtual_shifter.
std::span<const CheckField> CheckFields();
// By key-table entry, which is also the order Save reads them: key_reverse, key_gear1 to key_gear7,
// key_neutral, key_shift_up, key_shift_down.
std::span<const KeyField> KeyFields();

// A key-table entry as its key field shows it: "65#30".
std::string FormatKeyField(KeyCode key);

// The key field's text read the dialog's way: split at each "#" with empty pieces dropped; the
// first piece is the virtual-key code, the second the scan code, each read from its start as
// optional blanks, an optional sign and decimal digits up to the first other character (no digits
// read as 0), keeping the low 8 bits. A missing piece reads as 0.
KeyCode ParseKeyField(std::string_view text);

// Whether a text that key capture did not produce still names a key: at most 99 characters that
// split (as ParseKeyField splits them) into exactly two numbers from 0 to 255, each optional blanks
// and decimal digits with nothing else.
bool IsKeyFieldText(std::string_view text);

// "0–10000": the values a field takes, as its caption shows them.
std::string FieldRange(const NumberField& field);
// "Cross Width: 'abc' is not a whole number. Enter a whole number from 0 to 32000."; an empty
// field: "Cross Width is empty. Enter ...".
std::string NotANumberMessage(const NumberField& field, std::string_view text);
// "Cross Width: 40000 is out of range. Enter a whole number from 0 to 32000."
std::string OutOfRangeMessage(const NumberField& field, std::string_view value);
// The message for a key field whose text names no key; it names the field.
std::string NotAKeyMessage(const KeyField& field, std::string_view text);

// What OnShown puts into the controls for this record and timer interval (key fields marked as
// not captured).
SettingsFormValues FormValuesFromSettings(const Settings& settings, std::uint32_t interval);

// The first field Save refuses, and why.
struct FormError {
  std::string control;  // its object name: "Edit30"
  std::string message;
};

// What Save makes of the controls.
struct FormOutcome {
  std::optional<FormError> error;  // set: nothing is to change
  Settings settings;               // the new record (the current one when there is an error)
  std::uint32_t interval = 0;      // the new timer interval (the current one on error)
};

// Save's conversion, all or nothing. Every field is checked in Save's order before anything is
// taken (a number outside its field's range is refused like a non-number); the first bad one is
// the error and the outcome holds the current record and interval. Otherwise: POOLED_DEVICE 1,
// the lists' indexes (a list with nothing chosen keeps its setting), the boxes,
// EXCLUSIVE_ACCESS equal to FORCE_FEEDBACK, every whole number, the sequence text as it stands
// (up to 9 characters), the key table from the key fields, SYM_TYPE; the interval is
// check_interval's number taken as unsigned. Settings the dialog has no control for stay as they
// were.
FormOutcome ApplySettingsForm(const SettingsFormValues& values, const Settings& current,
                              std::uint32_t current_interval);

// The message after a Save that changed settings the running program takes up only at its next
// start (the joystick, exclusive access, which effects exist), naming them; empty when none
// changed, since every other setting acts at once.
std::string RestartNotice(const Settings& before, std::string_view joystick_before,
                          const Settings& after, std::string_view joystick_after);

}  // namespace kestrane
