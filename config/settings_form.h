#pragma once

// What the settings dialog does with the record, without the dialog: FormShow's texts for every
// control and Save's conversion of the controls back into a record. The dialog only moves values
// between these plain structures and its widgets, so every rule of Save is tested without Qt.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace kestrane {

// A key field's text and whether key capture put it there (rather than FormShow).
struct KeyFieldValue {
  std::string text;
  bool captured = false;
  friend bool operator==(const KeyFieldValue&, const KeyFieldValue&) = default;
};

// What the dialog's controls hold, each member named after its control.
struct SettingsFormValues {
  // Lists: the index of the chosen entry, -1 when none is chosen.
  int ComboBox1 = -1;      // SWITCH_BUTTON
  int ComboBox2 = -1;      // SWITCH_B_AXE
  int GearTypeCombo = -1;  // SYM_TYPE

  bool CheckBox3 = false;   // AUTOCENTER_NEUTRAL
  bool CheckBox4 = false;   // SWITCH_XY
  bool CheckBox5 = false;   // REVERSE_X
  bool CheckBox6 = false;   // REVERSE_Y
  bool CheckBox7 = false;   // FORCE_FEEDBACK
  bool CheckBox8 = false;   // DAMPER_ENABLED
  bool CheckBox9 = false;   // CROSS_ENABLED
  bool CheckBox10 = false;  // HOLE_ENABLED
  bool CheckBox1 = false;   // CENTER_ENABLED
  bool CheckBox11 = false;  // VIRTUAL_SHIFTER

  // Whole-number fields.
  std::string Edit29;  // CHECK_INTERVAL (the polling timer's interval)
  std::string Edit1, Edit2, Edit3;
  std::string Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11, Edit12, Edit13, Edit14,
      Edit15, Edit16;
  std::string Edit17, Edit18, Edit19, Edit20;
  std::string Edit30, Edit31;
  std::string Edit36, Edit37;

  std::string Edit35;  // SYM_SEQUENCE

  // Key fields: Edit28 reverse, Edit21..Edit27 gears 1 to 7, Edit32 neutral, Edit33 shift up,
  // Edit34 shift down.
  KeyFieldValue Edit21, Edit22, Edit23, Edit24, Edit25, Edit26, Edit27, Edit28, Edit32, Edit33,
      Edit34;

  friend bool operator==(const SettingsFormValues&, const SettingsFormValues&) = default;
};

// A whole-number field and the value it edits; `setting` is null for Edit29, which edits the
// polling timer's interval.
struct NumberField {
  const char* control;
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

// In the order Save converts them: Edit30, Edit31, Edit17, Edit19, Edit18, Edit20, Edit1 to
// Edit16, Edit29, Edit36, Edit37.
std::span<const NumberField> NumberFields();
// In the order Save copies them: CheckBox3, 4, 5, 6, 7, 8, 9, 10, then CheckBox1 and CheckBox11.
std::span<const CheckField> CheckFields();
// By key-table entry, which is also the order Save reads them: Edit28, Edit21 to Edit27, Edit32,
// Edit33, Edit34.
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

// "'abc' is not a valid integer value".
std::string NotAnIntegerMessage(std::string_view text);
// The message for a key field whose text names no key; it names the field.
std::string NotAKeyMessage(const KeyField& field, std::string_view text);

// What FormShow puts into the controls for this record and timer interval (key fields marked as
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
// taken; the first bad one is the error and the outcome holds the current record and interval.
// Otherwise: POOLED_DEVICE 1, the lists' indexes (-1 when none is chosen), the boxes,
// EXCLUSIVE_ACCESS equal to FORCE_FEEDBACK, every whole number, the sequence text as it stands
// (up to 9 characters), the key table from the key fields, SYM_TYPE; the interval is Edit29's
// number taken as unsigned. Settings the dialog has no control for stay as they were.
FormOutcome ApplySettingsForm(const SettingsFormValues& values, const Settings& current,
                              std::uint32_t current_interval);

}  // namespace kestrane
