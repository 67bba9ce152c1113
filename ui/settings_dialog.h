#pragma once

#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "config/settings_form.h"
#include "core/messages.h"
#include "device/input_platform.h"
#include "platform/key_capture.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;

namespace kestrane {

class IntervalTimer;
class KeyOutput;
class SequenceValidator;
struct Settings;
struct ShiftState;

// A key field: shows a key-table entry by the key's name ("Page Up"; the codes "VK#SCAN" in its
// tooltip) and takes a new one only by the key pressed in it. Typed, pasted, dropped and input-method text never enters it (the field is read-only for
// text, and any other text, setText's included, is put back at once: SetKeyText is the way in);
// Tab still moves the focus.
class KeyEdit final : public QLineEdit {
  Q_OBJECT

 public:
  explicit KeyEdit(QWidget* parent = nullptr);

  // OnShown's codes, "VK#SCAN": not from key capture.
  void SetKeyText(const QString& codes);
  // The codes the field stands for, as the settings file keeps them.
  const QString& KeyText() const { return codes_; }
  // What the field is for; the codes are added below it in the tooltip.
  void SetHintText(const QString& hint);
  // Whether the text stands there because a key was pressed in the field.
  bool Captured() const { return captured_; }
  void SetNativeKeyCodes(NativeKeyCodes codes) { native_ = codes; }

  // Any key that reaches the field, with whatever modifiers, becomes its text; a key the key
  // table does not know leaves the text as it is.
  void CaptureKey(const QKeyEvent& event);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void SetOwnText(const QString& codes);

  QString codes_;
  QString hint_;
  QString own_text_;  // the one text the field accepts: the key's name
  bool captured_ = false;
  NativeKeyCodes native_;
};

// What the dialog works on: the main window's record, polling timer, Shift state and keystroke
// output, and the settings file.
struct SettingsBinding {
  Settings* record = nullptr;
  IntervalTimer* timer = nullptr;
  ShiftState* state = nullptr;
  KeyOutput* keys = nullptr;
  std::string path;  // Kestrane.ini
  // When set, the dialog's messages go here instead of into message boxes (the tests).
  MessageSink* messages = nullptr;
  // Called after Save has put new values into the record (`before`: the values they replaced), for
  // what the running program keeps outside it (the virtual H-shifter, the stick's effects).
  std::function<void(const Settings& before)> saved{};
  // Runs the force-feedback direction test on the open stick ("Test directions...").
  std::function<void()> test_directions{};
};

// The settings dialog: one instance, created hidden at start-up right after the main window and
// living for the whole run. The main window shows it without blocking. Its device list
// `device_list` is filled and selected by the main window's first show; every other control is
// filled from the record each time the dialog is shown, and only Save copies them back.
class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SettingsDialog(QWidget* parent = nullptr);

  void Bind(const SettingsBinding& binding);
  // What the native codes of key events mean; the platform's own by default.
  void SetNativeKeyCodes(NativeKeyCodes codes);

  // Handlers, named after their control and event.
  void OnShown();
  void OnForceFeedbackClicked();
  void OnGearTypeChanged();
  void OnSaveClicked();    // Save
  void OnCancelClicked();  // Cancel
  // Fills every control with the default values; only Save keeps them.
  void OnRestoreDefaultsClicked();
  // The stick chosen in the device list, by the name the settings file keeps: a remembered stick
  // that is not connected keeps its name.
  std::string ChosenJoystick() const;
  // The data role of device_list entries that holds that name.
  static constexpr int kJoystickNameRole = Qt::UserRole + 1;
  // Fills the device list with the attached sticks and selects `selection` (-1: none). The
  // remembered stick stays listed while it is away, "(not connected)", so that a Save keeps it;
  // with nothing open it is the one selected.
  void ShowDevices(const std::vector<JoystickListEntry>& sticks, int selection,
                   const std::string& remembered);
  // Whether a character typed into the sequence field passes: Backspace, r, n, R, N, 1 to 7.
  static bool IsSequenceCharacter(QChar c);

  // Everything the controls hold, as Save reads it.
  SettingsFormValues FormValues() const;

  // Device row.
  QComboBox* device_list = nullptr;
  // General.
  QLineEdit* check_interval_edit = nullptr;
  QCheckBox* autocenter_neutral_box = nullptr;
  QCheckBox* switch_xy_box = nullptr;
  QCheckBox* reverse_x_box = nullptr;
  QCheckBox* reverse_y_box = nullptr;
  QCheckBox* virtual_shifter_box = nullptr;
  // Cross.
  QLineEdit* joy_gear_width_edit = nullptr;
  QLineEdit* joy_gear_height_edit = nullptr;
  QLineEdit* gear_cross_size_edit = nullptr;
  // Joystick switch button.
  QComboBox* switch_button_list = nullptr;
  QComboBox* switch_b_axe_list = nullptr;
  QLineEdit* switch_b_min_edit = nullptr;
  QLineEdit* switch_b_max_edit = nullptr;
  // Keyboard.
  QComboBox* sym_type_list = nullptr;
  QLineEdit* sym_key_time_edit = nullptr;
  QLineEdit* sym_space_time_edit = nullptr;
  QWidget* gear_key_panel = nullptr;
  KeyEdit* key_neutral_edit = nullptr;
  KeyEdit* key_gear1_edit = nullptr;
  KeyEdit* key_gear2_edit = nullptr;
  KeyEdit* key_gear3_edit = nullptr;
  KeyEdit* key_gear4_edit = nullptr;
  KeyEdit* key_gear5_edit = nullptr;
  KeyEdit* key_gear6_edit = nullptr;
  KeyEdit* key_gear7_edit = nullptr;
  KeyEdit* key_reverse_edit = nullptr;
  QWidget* shift_key_panel = nullptr;
  KeyEdit* key_shift_up_edit = nullptr;
  KeyEdit* key_shift_down_edit = nullptr;
  QLineEdit* sym_sequence_edit = nullptr;
  // Force Feedback.
  QCheckBox* force_feedback_box = nullptr;
  QCheckBox* cross_enabled_box = nullptr;
  QLineEdit* gear_force_death_free_x_edit = nullptr;
  QLineEdit* gear_force_death_nofree_x_edit = nullptr;
  QLineEdit* gear_force_death_free_y_edit = nullptr;
  QLineEdit* gear_force_death_nofree_y_edit = nullptr;
  QLineEdit* gear_cross_force_count_edit = nullptr;
  QLineEdit* gear_cross_force_edit = nullptr;
  QLineEdit* gear_cross_saturation_edit = nullptr;
  QCheckBox* damper_enabled_box = nullptr;
  QLineEdit* gear_damper_force_edit = nullptr;
  QLineEdit* gear_damper_saturation_edit = nullptr;
  QCheckBox* hole_enabled_box = nullptr;
  QLineEdit* gear_hole_force_x_edit = nullptr;
  QLineEdit* gear_hole_saturation_x_edit = nullptr;
  QLineEdit* gear_hole_force_y_edit = nullptr;
  QLineEdit* gear_hole_saturation_y_edit = nullptr;
  QCheckBox* center_enabled_box = nullptr;
  QLineEdit* gear_center_force_x_edit = nullptr;
  QLineEdit* gear_center_saturation_x_edit = nullptr;
  QLineEdit* gear_center_force_y_edit = nullptr;
  QLineEdit* gear_center_saturation_y_edit = nullptr;
  QSlider* ff_strength_slider = nullptr;  // FF_STRENGTH
  QLabel* ff_strength_label = nullptr;    // its percentage
  QPushButton* test_directions_button = nullptr;
  // Bottom.
  QFrame* bevel = nullptr;
  QPushButton* defaults_button = nullptr;
  QPushButton* cancel_button = nullptr;
  QPushButton* save_button = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildDeviceRow();
  void BuildGeneral();
  void BuildCross();
  void BuildSwitchButton();
  void BuildKeyboard();
  void BuildForceFeedback();
  void BuildButtons();
  QLabel* AddLabel(QWidget* parent, const QString& caption, int x, int y, const QString& hint = {});
  QLineEdit* AddNumberEdit(QWidget* parent, const char* name, QLabel* label, int x, int y,
                           int width, int height = 21);
  QCheckBox* AddCheckBox(QWidget* parent, const char* name, const QString& caption,
                         const QString& hint, int x, int y, int width);
  // A column of key fields: where the labels and where the fields start.
  struct KeyColumn {
    int label_x;
    int field_x;
  };
  KeyEdit* AddKeyEdit(QWidget* parent, const char* name, const QString& caption,
                      const QString& hint, KeyColumn column, int y);
  void SetSequenceText(const QString& text);
  void FillControls(const SettingsFormValues& values);
  void ShowMessage(MessageKind kind, const QString& text);

  SettingsBinding binding_;
  SettingsSnapshot shown_;    // the values the dialog was last filled with
  std::string shown_device_;  // the stick the device list showed then (the one in use)
  SequenceValidator* sequence_validator_ = nullptr;
  int label_count_ = 0;
};

}  // namespace kestrane
