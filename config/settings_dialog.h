#pragma once

#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <string>

#include "config/settings_form.h"
#include "platform/key_capture.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace kestrane {

class IntervalTimer;
class KeyOutput;
class SequenceValidator;
struct Settings;
struct ShiftState;

// A key field: shows a key-table entry as "VK#SCAN" and takes a new one only by the key pressed
// in it. Typed, pasted, dropped and input-method text never enters it (the field is read-only for
// text, and any other text, setText's included, is put back at once: SetKeyText is the way in);
// Tab still moves the focus.
class KeyEdit final : public QLineEdit {
  Q_OBJECT

 public:
  explicit KeyEdit(QWidget* parent = nullptr);

  // FormShow's text: not from key capture.
  void SetKeyText(const QString& text);
  // Whether the text stands there because a key was pressed in the field.
  bool Captured() const { return captured_; }
  void SetNativeKeyCodes(NativeKeyCodes codes) { native_ = codes; }

  // Any key that reaches the field, with whatever modifiers, becomes its text; a key the key
  // table does not know leaves the text as it is.
  void EditKeyDown(const QKeyEvent& event);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void SetOwnText(const QString& text);

  QString own_text_;  // the one text the field accepts
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
  std::function<void(const QString&)> show_message;
  // Called after Save has put new values into the record, for what the window program keeps
  // outside it (the virtual H-shifter device).
  std::function<void()> saved{};
};

enum class MessageKind : std::uint8_t { Information, Error };
// Shows a modal message and returns when the user has closed it.
using MessageFunction = std::function<void(QWidget* parent, MessageKind kind, const QString&)>;

// The settings dialog: one instance, created hidden at start-up right after the main window and
// living for the whole run. The main window shows it without blocking. Its device list `Devices`
// is filled and selected by the main window's first show; every other control is filled from the
// record each time the dialog is shown, and only Save copies them back.
class TSettings : public QDialog {
  Q_OBJECT

 public:
  explicit TSettings(QWidget* parent = nullptr);

  void Bind(const SettingsBinding& binding);
  // Replaces the modal message boxes (the tests record the messages instead).
  void SetMessageFunction(MessageFunction show) { show_message_ = std::move(show); }
  // What the native codes of key events mean; the platform's own by default.
  void SetNativeKeyCodes(NativeKeyCodes codes);

  // Handlers, named after their control and event.
  void FormShow();
  void CheckBox7Click();
  void GearTypeComboChange();
  void Button1Click();  // Save
  void Button2Click();  // Cancel
  // Whether a character typed into the sequence field passes: Backspace, r, n, R, N, 1 to 7.
  static bool Edit35KeyPress(QChar c);

  // Everything the controls hold, as Save reads it.
  SettingsFormValues FormValues() const;

  // Device row.
  QComboBox* Devices = nullptr;
  // General.
  QLineEdit* Edit29 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QCheckBox* CheckBox6 = nullptr;
  QCheckBox* CheckBox11 = nullptr;
  // Cross.
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  // Joystick switch button.
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QLineEdit* Edit30 = nullptr;
  QLineEdit* Edit31 = nullptr;
  // Keyboard.
  QComboBox* GearTypeCombo = nullptr;
  QLineEdit* Edit36 = nullptr;
  QLineEdit* Edit37 = nullptr;
  QWidget* GearPanel1 = nullptr;
  KeyEdit* Edit32 = nullptr;
  KeyEdit* Edit21 = nullptr;
  KeyEdit* Edit22 = nullptr;
  KeyEdit* Edit23 = nullptr;
  KeyEdit* Edit24 = nullptr;
  KeyEdit* Edit25 = nullptr;
  KeyEdit* Edit26 = nullptr;
  KeyEdit* Edit27 = nullptr;
  KeyEdit* Edit28 = nullptr;
  QWidget* GearPanel2 = nullptr;
  KeyEdit* Edit33 = nullptr;
  KeyEdit* Edit34 = nullptr;
  QLineEdit* Edit35 = nullptr;
  // Force Feedback.
  QCheckBox* CheckBox7 = nullptr;
  QCheckBox* CheckBox9 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLineEdit* Edit14 = nullptr;
  QLineEdit* Edit15 = nullptr;
  QLineEdit* Edit16 = nullptr;
  QCheckBox* CheckBox8 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QLineEdit* Edit9 = nullptr;
  QCheckBox* CheckBox10 = nullptr;
  QLineEdit* Edit10 = nullptr;
  QLineEdit* Edit11 = nullptr;
  QLineEdit* Edit12 = nullptr;
  QLineEdit* Edit13 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QLineEdit* Edit17 = nullptr;
  QLineEdit* Edit18 = nullptr;
  QLineEdit* Edit19 = nullptr;
  QLineEdit* Edit20 = nullptr;
  // Bottom.
  QFrame* Bevel1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button1 = nullptr;

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
  void ShowMessage(MessageKind kind, const QString& text);

  SettingsBinding binding_;
  MessageFunction show_message_;
  SequenceValidator* sequence_validator_ = nullptr;
  int label_count_ = 0;
};

}  // namespace kestrane
