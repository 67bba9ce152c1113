#include "ui/settings_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/profile_file.h"
#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "core/keystroke_output.h"
#include "core/shift_state.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/recording_messages.h"
#include "tests/support/running_under_wine.h"
#include "tests/support/temp_dir.h"

// Readable QString values in failure messages.
void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace kestrane {
namespace {

namespace fs = std::filesystem;

// XKB keycode of a key with this evdev code.
constexpr quint32 Xkb(int evdev) {
  return static_cast<quint32>(evdev + 8);
}

// A key press as the xcb platform delivers it: with the X keycode and keysym.
void PressKey(QWidget* target, int qt_key, quint32 keycode, quint32 keysym,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, qt_key, modifiers, keycode, keysym, 0, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, qt_key, modifiers, keycode, keysym, 0, text);
  QApplication::sendEvent(target, &release);
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_ / "Kestrane.ini").string();

    record_ = DefaultSettings();
    // The complete file the program's start writes.
    ASSERT_FALSE(SaveSettings(record_, timer_, "", path_));
    start_file_ = ReadFile();
    dialog_ = std::make_unique<SettingsDialog>();
    dialog_->Bind({&record_, &timer_, &state_, &keys_, path_, &shown_});
    dialog_->SetNativeKeyCodes(NativeKeyCodes::Xkb);
    dialog_->device_list->addItems({QStringLiteral("Pad A"), QStringLiteral("Wheel B")});
    dialog_->device_list->setCurrentIndex(1);
  }
  void TearDown() override { dialog_.reset(); }

  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string ReadFile() const { return ReadWholeFile(path_).value_or("<none>"); }
  std::optional<std::string> FileValue(const char* section, const char* key) const {
    return ProfileFile(ReadFile()).Read(section, key);
  }
  void Show() {
    dialog_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
  }

  test::TempDir tmp_{"kestrane-dialog"};
  fs::path dir_ = tmp_.path();
  std::string path_;
  std::string start_file_;
  Settings record_;
  StoredInterval timer_{25};
  ShiftState state_;
  test::FakeKeySink sink_;
  KeyOutput keys_{sink_};
  std::unique_ptr<SettingsDialog> dialog_;
  std::vector<std::string> messages_;
  test::RecordingMessages shown_{messages_};
  std::vector<MessageKind>& kinds_ = shown_.kinds;
};

// --- Controls ---------------------------------------------------------------------------------

TEST_F(SettingsDialogTest, WindowControlsCaptionsAndLists) {
  EXPECT_EQ(dialog_->windowTitle(), "Settings");
  EXPECT_EQ(dialog_->size(), QSize(712, 607));
  EXPECT_EQ(dialog_->minimumSize(), dialog_->maximumSize());
  EXPECT_FALSE(dialog_->isModal());

  QStringList groups;
  for (const QGroupBox* g : dialog_->findChildren<QGroupBox*>()) groups << g->title();
  EXPECT_EQ(groups, (QStringList{"General", "Cross", "Joystick switch button", "Keyboard",
                                 "Force Feedback"}));

  const std::vector<std::pair<const char*, const char*>> boxes = {
      {"CheckBox4", "Switch X/Y axes"}, {"CheckBox3", "Manual Neutral"},
      {"CheckBox5", "Reverse X"},       {"CheckBox6", "Reverse Y"},
      {"CheckBox7", "Enabled"},         {"CheckBox9", "Cross"},
      {"CheckBox8", "Damper"},          {"CheckBox10", "Hole"},
      {"CheckBox1", "Center"},          {"CheckBox11", "Virtual H-shifter"}};
  for (const auto& [name, caption] : boxes) {
    const auto* box = dialog_->findChild<QCheckBox*>(name);
    ASSERT_NE(box, nullptr) << name;
    EXPECT_EQ(box->text(), caption);
  }

  // Each field and the caption of its label (the label is the field's buddy).
  const std::vector<std::pair<const char*, const char*>> fields = {
      {"Devices", "Device :"},
      {"Edit29", "Check interval :"},
      {"Edit1", "Cross Width:"},
      {"Edit2", "Cross Height:"},
      {"Edit3", "Cross Size :"},
      {"ComboBox1", "Button:"},
      {"ComboBox2", "Axis:"},
      {"Edit30", "Pos Min:"},
      {"Edit31", "Pos Max:"},
      {"GearTypeCombo", "Gear type:"},
      {"Edit36", "Press time:"},
      {"Edit37", "Space time:"},
      {"Edit32", "Gear N:"},
      {"Edit21", "Gear 1 :"},
      {"Edit22", "Gear 2 :"},
      {"Edit23", "Gear 3 :"},
      {"Edit24", "Gear 4 :"},
      {"Edit25", "Gear 5 :"},
      {"Edit26", "Gear 6 :"},
      {"Edit27", "Gear 7 :"},
      {"Edit28", "Gear Reverse :"},
      {"Edit33", "Switch UP:"},
      {"Edit34", "Switch DN:"},
      {"Edit35", "Sequence:"}};

  for (const auto& [name, caption] : fields) {
    const QWidget* field = dialog_->findChild<QWidget*>(name);
    ASSERT_NE(field, nullptr) << name;
    const QLabel* label = nullptr;
    for (const QLabel* l : dialog_->findChildren<QLabel*>()) {
      if (l->buddy() == field) label = l;
    }
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text(), caption) << name;
    // The hint sits on the label and on the field, and stays up 20 s.
    EXPECT_FALSE(label->toolTip().isEmpty()) << name;
    // Key fields add their codes below the hint.
    EXPECT_TRUE(field->toolTip().startsWith(label->toolTip())) << name;
    EXPECT_EQ(label->toolTipDuration(), 20000) << name;
    EXPECT_EQ(field->toolTipDuration(), 20000) << name;
  }

  int ms_labels = 0;
  for (const QLabel* l : dialog_->findChildren<QLabel*>()) ms_labels += l->text() == "ms";
  EXPECT_EQ(ms_labels, 2);

  ASSERT_EQ(dialog_->switch_button_list->count(), 34);
  EXPECT_EQ(dialog_->switch_button_list->itemText(0), "Disabled");
  EXPECT_EQ(dialog_->switch_button_list->itemText(1), "All buttons");
  EXPECT_EQ(dialog_->switch_button_list->itemText(2), "Button 1");
  EXPECT_EQ(dialog_->switch_button_list->itemText(33), "Button 32");
  QStringList axes;
  for (int i = 0; i < dialog_->switch_b_axe_list->count(); ++i)
    axes << dialog_->switch_b_axe_list->itemText(i);
  EXPECT_EQ(axes,
            (QStringList{"Disabled", "Z axis", "Rx axis", "Ry axis", "Rz axis", "POW 1", "POW 2"}));
  QStringList types;
  for (int i = 0; i < dialog_->sym_type_list->count(); ++i) {
    types << dialog_->sym_type_list->itemText(i);
  }
  EXPECT_EQ(types, (QStringList{"press and hold gear button", "press and release gear button",
                                "press and release switch up/dn button"}));
  for (const QComboBox* list : {dialog_->device_list, dialog_->switch_button_list,
                                dialog_->switch_b_axe_list, dialog_->sym_type_list}) {
    EXPECT_FALSE(list->isEditable());
  }

  EXPECT_EQ(dialog_->save_button->text(), "Save");
  EXPECT_EQ(dialog_->cancel_button->text(), "Cancel");
  EXPECT_EQ(dialog_->bevel->frameShape(), QFrame::HLine);
  // Both buttons at the bottom right, Cancel left of Save.
  EXPECT_LT(dialog_->cancel_button->x(), dialog_->save_button->x());
  EXPECT_GT(dialog_->save_button->y(), dialog_->bevel->y());
  EXPECT_LE(dialog_->save_button->geometry().right(), 712);
  EXPECT_LE(dialog_->save_button->geometry().bottom(), 607);
  EXPECT_EQ(dialog_->sym_sequence_edit->maxLength(), 9);
  EXPECT_EQ(dialog_->gear_key_panel->geometry(), dialog_->shift_key_panel->geometry());
}

// Every number field's label names it readably with the values it takes (the force-feedback
// column shows no setting names), and its tooltip names the setting.
TEST_F(SettingsDialogTest, NumberFieldsSayWhatTheyTake) {
  for (const NumberField& f : NumberFields()) {
    const QWidget* field = dialog_->findChild<QWidget*>(QLatin1String(f.control));
    ASSERT_NE(field, nullptr) << f.control;
    const QLabel* label = nullptr;
    for (const QLabel* l : dialog_->findChildren<QLabel*>()) {
      if (l->buddy() == field) label = l;
    }
    ASSERT_NE(label, nullptr) << f.control;
    EXPECT_TRUE(field->toolTip().startsWith(QLatin1String(f.key))) << f.control;
    EXPECT_TRUE(field->toolTip().contains(QString::fromStdString(FieldRange(f)))) << f.control;
    EXPECT_FALSE(label->text().contains(QLatin1Char('_'))) << f.control;
  }
  for (const QWidget* w : dialog_->findChildren<QWidget*>()) {
    for (const char* typo : {"betwet", "efect", "requered", "movemend", "afted", "death zone", " axe",
                             "frequence", "movents"}) {
      EXPECT_FALSE(w->toolTip().contains(QLatin1String(typo), Qt::CaseInsensitive))
          << w->objectName().toStdString() << ": " << typo;
    }
  }
}

// No caption is cut off or runs into its field, in any of the key panels.
TEST_F(SettingsDialogTest, EveryCaptionFits) {
  if (kestrane::testing_support::RunningUnderWine()) {
    GTEST_SKIP() << "Wine has none of Windows' fonts: text is laid out in a wider face than on "
                    "Windows or Linux";
  }
  Show();
  for (int type : {0, 2}) {
    dialog_->sym_type_list->setCurrentIndex(type);
    for (const QWidget* w : dialog_->findChildren<QWidget*>()) {
      if (!w->isVisibleTo(dialog_.get())) continue;
      const auto* label = qobject_cast<const QLabel*>(w);
      const auto* box = qobject_cast<const QCheckBox*>(w);
      if (!label && !box) continue;
      const std::string name = w->objectName().toStdString();
      EXPECT_GE(w->width(), w->sizeHint().width()) << name;
      EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
      if (label && label->buddy() && label->buddy()->parentWidget() == w->parentWidget()) {
        EXPECT_LT(w->geometry().right(), label->buddy()->x()) << name;
      }
    }
  }
}

// --- OnShown, OnForceFeedbackClicked, OnGearTypeChanged
// ----------------------------------------------

TEST_F(SettingsDialogTest, ShowingFillsEveryControlFromTheRecord) {
  record_.SWITCH_BUTTON = 33;
  record_.SWITCH_B_AXE = 9;  // no such entry
  record_.SWITCH_B_MIN = -32000;
  record_.FORCE_FEEDBACK = false;  // set before the effect boxes, so they keep the record's values
  record_.CROSS_ENABLED = true;
  record_.DAMPER_ENABLED = true;
  record_.GEAR_CENTER_FORCE_Y = 1234;
  record_.SYM_TYPE = 2;
  record_.SetSequence("N1R");
  record_.Keys[kKeyShiftUp] = {0x41, 0x1E};
  timer_.SetInterval(0xFFFFFFFFu);

  Show();
  EXPECT_EQ(dialog_->switch_button_list->currentIndex(), 33);
  EXPECT_EQ(dialog_->switch_b_axe_list->currentIndex(), -1);
  EXPECT_EQ(dialog_->switch_b_min_edit->text(), "-32000");
  EXPECT_EQ(dialog_->switch_b_max_edit->text(), "32000");
  EXPECT_FALSE(dialog_->force_feedback_box->isChecked());
  EXPECT_TRUE(dialog_->cross_enabled_box->isChecked());
  EXPECT_TRUE(dialog_->damper_enabled_box->isChecked());
  EXPECT_TRUE(dialog_->hole_enabled_box->isChecked());
  EXPECT_TRUE(dialog_->center_enabled_box->isChecked());
  EXPECT_EQ(dialog_->check_interval_edit->text(), "4294967295");
  EXPECT_EQ(dialog_->gear_center_force_y_edit->text(), "1234");
  EXPECT_EQ(dialog_->joy_gear_width_edit->text(), "21298");
  EXPECT_EQ(dialog_->gear_cross_saturation_edit->text(), "5000");
  EXPECT_EQ(dialog_->sym_type_list->currentIndex(), 2);
  EXPECT_FALSE(dialog_->gear_key_panel->isVisible());
  EXPECT_TRUE(dialog_->shift_key_panel->isVisible());
  EXPECT_EQ(dialog_->sym_sequence_edit->text(), "N1R");
  EXPECT_EQ(dialog_->sym_key_time_edit->text(), "10");
  EXPECT_EQ(dialog_->key_shift_up_edit->KeyText(), "65#30");
  EXPECT_EQ(dialog_->key_reverse_edit->KeyText(), "56#9");
  EXPECT_EQ(dialog_->key_neutral_edit->KeyText(), "78#49");
  EXPECT_FALSE(dialog_->key_shift_up_edit->Captured());
  // The device list belongs to the joystick layer.
  EXPECT_EQ(dialog_->device_list->currentIndex(), 1);
  EXPECT_EQ(dialog_->device_list->count(), 2);
}

TEST_F(SettingsDialogTest, UncheckingEnabledClearsTheFourEffects) {
  Show();
  ASSERT_TRUE(dialog_->force_feedback_box->isChecked());
  dialog_->damper_enabled_box->setChecked(true);
  QTest::mouseClick(dialog_->force_feedback_box, Qt::LeftButton);
  EXPECT_FALSE(dialog_->force_feedback_box->isChecked());
  for (QCheckBox* box : {dialog_->cross_enabled_box, dialog_->damper_enabled_box,
                         dialog_->hole_enabled_box, dialog_->center_enabled_box}) {
    EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_TRUE(box->isEnabled());
  }
  // Checking it again changes nothing else; the boxes can be checked by hand.
  dialog_->center_enabled_box->setChecked(true);
  QTest::mouseClick(dialog_->force_feedback_box, Qt::LeftButton);
  EXPECT_TRUE(dialog_->force_feedback_box->isChecked());
  EXPECT_TRUE(dialog_->center_enabled_box->isChecked());
  EXPECT_FALSE(dialog_->cross_enabled_box->isChecked());

  // Saved: all five off, exclusive access follows force feedback, pooled always on.
  record_.POOLED_DEVICE = false;
  QTest::mouseClick(dialog_->force_feedback_box, Qt::LeftButton);
  dialog_->OnSaveClicked();
  // Nothing waits for the next start: off, force feedback lets go of the stick at once.
  ASSERT_TRUE(messages_.empty()) << messages_[0];
  for (const char* key : {"FORCE_FEEDBACK", "CROSS_ENABLED", "DAMPER_ENABLED", "HOLE_ENABLED",
                          "CENTER_ENABLED", "EXCLUSIVE_ACCESS"}) {
    EXPECT_EQ(FileValue("MAIN", key), "0") << key;
  }
  EXPECT_EQ(FileValue("MAIN", "POOLED_DEVICE"), "1");
  EXPECT_FALSE(record_.EXCLUSIVE_ACCESS);
  EXPECT_TRUE(record_.POOLED_DEVICE);
}

TEST_F(SettingsDialogTest, ShiftingModeSwitchesPanelsAndFields) {
  Show();
  struct Want {
    int index;
    bool panel1, panel2, neutral, times;
  };
  for (const Want& w : {Want{2, false, true, false, true}, Want{1, true, false, true, true},
                        Want{0, true, false, false, false}, Want{2, false, true, false, true}}) {
    dialog_->sym_type_list->setCurrentIndex(w.index);
    EXPECT_EQ(dialog_->gear_key_panel->isVisible(), w.panel1) << w.index;
    EXPECT_EQ(dialog_->shift_key_panel->isVisible(), w.panel2) << w.index;
    EXPECT_EQ(dialog_->key_neutral_edit->isEnabled(), w.neutral) << w.index;
    EXPECT_EQ(dialog_->sym_key_time_edit->isEnabled(), w.times) << w.index;
    EXPECT_EQ(dialog_->sym_space_time_edit->isEnabled(), w.times) << w.index;
  }
  // No entry chosen: everything stays as it was.
  dialog_->sym_type_list->setCurrentIndex(-1);
  EXPECT_FALSE(dialog_->gear_key_panel->isVisible());
  EXPECT_TRUE(dialog_->shift_key_panel->isVisible());
  EXPECT_TRUE(dialog_->sym_key_time_edit->isEnabled());

  // By the keyboard, as a user does it.
  dialog_->sym_type_list->setCurrentIndex(2);
  dialog_->sym_type_list->setFocus();
  QTest::keyClick(dialog_->sym_type_list, Qt::Key_Up);
  EXPECT_EQ(dialog_->sym_type_list->currentIndex(), 1);
  EXPECT_TRUE(dialog_->gear_key_panel->isVisible());
  EXPECT_TRUE(dialog_->key_neutral_edit->isEnabled());
}

// --- Key fields -------------------------------------------------------------------------------

TEST_F(SettingsDialogTest, KeyCaptureWithNativeCodes) {
  Show();
  KeyEdit* field = dialog_->key_gear1_edit;
  struct Case {
    const char* what;
    int qt_key;
    Qt::KeyboardModifiers modifiers;
    quint32 keycode;
    quint32 keysym;
    const char* text;
    const char* shown = nullptr;  // the name the field shows, when not `what`
  };
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const std::vector<Case> cases = {
      {"A", Qt::Key_A, none, Xkb(30), 0x61, "65#30"},
      {"Ctrl+A", Qt::Key_A, Qt::ControlModifier, Xkb(30), 0x61, "65#30", "A"},
      {"N", Qt::Key_N, none, Xkb(49), 0x6E, "78#49"},
      {"Z", Qt::Key_Z, none, Xkb(44), 0x7A, "90#44"},
      {"1", Qt::Key_1, none, Xkb(2), 0x31, "49#2"},
      {"Shift+1", Qt::Key_Exclam, Qt::ShiftModifier, Xkb(2), 0x21, "49#2", "1"},
      {"0", Qt::Key_0, none, Xkb(11), 0x30, "48#11"},
      {"F1", Qt::Key_F1, none, Xkb(59), 0xFFBE, "112#59"},
      {"F5", Qt::Key_F5, none, Xkb(63), 0xFFC2, "116#63"},
      {"F12", Qt::Key_F12, none, Xkb(88), 0xFFC9, "123#88"},
      {"Up", Qt::Key_Up, none, Xkb(103), 0xFF52, "38#72"},
      {"Down", Qt::Key_Down, none, Xkb(108), 0xFF54, "40#80"},
      {"Left", Qt::Key_Left, none, Xkb(105), 0xFF51, "37#75"},
      {"Right", Qt::Key_Right, none, Xkb(106), 0xFF53, "39#77"},
      {"Page Up", Qt::Key_PageUp, none, Xkb(104), 0xFF55, "33#73"},
      {"Page Down", Qt::Key_PageDown, none, Xkb(109), 0xFF56, "34#81"},
      {"Num 7", Qt::Key_7, Qt::KeypadModifier, Xkb(71), 0xFFB7, "103#71"},
      {"Num 7 without Num Lock", Qt::Key_Home, Qt::KeypadModifier, Xkb(71), 0xFF95, "103#71", "Num 7"},
      {"Num 0", Qt::Key_0, Qt::KeypadModifier, Xkb(82), 0xFFB0, "96#82"},
      {"Num +", Qt::Key_Plus, Qt::KeypadModifier, Xkb(78), 0xFFAB, "107#78"},
      {"Num /", Qt::Key_Slash, Qt::KeypadModifier, Xkb(98), 0xFFAF, "111#53"},
      {"Num Enter", Qt::Key_Enter, Qt::KeypadModifier, Xkb(96), 0xFF8D, "13#28", "Enter"},
      {"Left Shift", Qt::Key_Shift, Qt::ShiftModifier, 50, 0xFFE1, "16#42", "Shift"},
      {"Right Shift", Qt::Key_Shift, Qt::ShiftModifier, 62, 0xFFE2, "161#54"},
      {"Left Ctrl", Qt::Key_Control, Qt::ControlModifier, 37, 0xFFE3, "17#29", "Ctrl"},
      {"Right Ctrl", Qt::Key_Control, Qt::ControlModifier, 105, 0xFFE4, "163#29"},
      {"Left Alt", Qt::Key_Alt, Qt::AltModifier, Xkb(56), 0xFFE9, "18#56", "Alt"},
      {"Right Alt", Qt::Key_AltGr, none, Xkb(100), 0xFE03, "165#56"},
      {"Escape", Qt::Key_Escape, none, Xkb(1), 0xFF1B, "27#1"},
      {"Enter", Qt::Key_Return, none, Xkb(28), 0xFF0D, "13#28"},
      {"Space", Qt::Key_Space, none, Xkb(57), 0x20, "32#57"},
  };
  for (const Case& c : cases) {
    field->SetKeyText(QStringLiteral("0#0"));
    PressKey(field, c.qt_key, c.keycode, c.keysym, c.modifiers);
    EXPECT_EQ(field->KeyText().toStdString(), c.text) << c.what;
    // The field shows the key's name, its codes in the tooltip.
    EXPECT_EQ(field->text().toStdString(), c.shown ? c.shown : c.what) << c.what;
    EXPECT_TRUE(field->toolTip().contains(QString::fromLatin1(c.text))) << c.what;
    EXPECT_TRUE(field->Captured()) << c.what;
  }
  // Escape and Enter went to the field, not to the dialog.
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_TRUE(messages_.empty());

  // A key the table does not know leaves the field as it was.
  field->SetKeyText(QStringLiteral("49#2"));
  PressKey(field, Qt::Key_unknown, Xkb(240), 0);
  EXPECT_EQ(field->KeyText(), "49#2");
  EXPECT_FALSE(field->Captured());
}

TEST_F(SettingsDialogTest, KeyCaptureWithoutNativeCodesUsesTheQtKey) {
  Show();
  KeyEdit* field = dialog_->key_shift_up_edit;
  field->setFocus();
  QTest::keyClick(field, Qt::Key_PageUp);
  EXPECT_EQ(field->KeyText(), "33#73");
  QTest::keyClick(field, Qt::Key_Shift);
  EXPECT_EQ(field->KeyText(), "16#42");
  QTest::keyClick(field, Qt::Key_7, Qt::KeypadModifier);
  EXPECT_EQ(field->KeyText(), "103#71");
  QTest::keyClick(field, Qt::Key_F10);
  EXPECT_EQ(field->KeyText(), "121#68");
}

TEST_F(SettingsDialogTest, TypedAndPastedTextNeverEntersAKeyField) {
  Show();
  KeyEdit* field = dialog_->key_gear1_edit;
  field->setFocus();
  QTest::keyClicks(field, QStringLiteral("abc"));
  EXPECT_EQ(field->KeyText(), "67#46");  // the last key pressed, not the letters

  QApplication::clipboard()->setText(QStringLiteral("12#34"));
  field->SetKeyText(QStringLiteral("49#2"));
  field->selectAll();
  field->paste();
  field->insert(QStringLiteral("zz"));
  EXPECT_EQ(field->KeyText(), "49#2");
  EXPECT_EQ(field->text(), "1");  // what stands in the field is still the key's name
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);  // Ctrl+V is the V key
  EXPECT_EQ(field->KeyText(), "86#47");
  EXPECT_FALSE(field->KeyText().contains(QStringLiteral("12#34")));

  QInputMethodEvent compose(QString(), {});
  compose.setCommitString(QStringLiteral("x"));
  QApplication::sendEvent(field, &compose);
  EXPECT_EQ(field->KeyText(), "86#47");

  EXPECT_EQ(field->contextMenuPolicy(), Qt::NoContextMenu);
  EXPECT_FALSE(field->acceptDrops());

  // Tab still leaves the field.
  QTest::keyClick(field, Qt::Key_Tab);
  EXPECT_EQ(field->KeyText(), "86#47");
}

// --- The sequence field -----------------------------------------------------------------------

TEST_F(SettingsDialogTest, SequenceFieldTakesOnlyGearLettersInUpperCase) {
  Show();
  dialog_->sym_type_list->setCurrentIndex(2);
  QLineEdit* field = dialog_->sym_sequence_edit;
  field->setFocus();
  field->clear();
  QTest::keyClicks(field, QStringLiteral("r0n8"));
  EXPECT_EQ(field->text(), "RN");
  QTest::keyClicks(field, QStringLiteral("9a1234567xyz"));
  EXPECT_EQ(field->text(), "RN1234567");  // nine at most
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "RN123456");

  // Pasted text is filtered the same way.
  field->clear();
  QApplication::clipboard()->setText(QStringLiteral("r-n 8 1x2"));
  field->paste();
  EXPECT_EQ(field->text(), "RN12");
  // A paste with nothing that passes, over a selection, changes nothing.
  field->selectAll();
  QApplication::clipboard()->setText(QStringLiteral("089"));
  field->paste();
  EXPECT_EQ(field->text(), "RN12");
  QTest::keyClick(field, Qt::Key_0);
  EXPECT_EQ(field->text(), "RN12");

  // A sequence from the file is shown as it stands and stays editable.
  record_.SetSequence("rn0");
  dialog_->hide();
  Show();
  EXPECT_EQ(field->text(), "rn0");
  field->setFocus();
  field->end(false);
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, QStringLiteral("7"));
  EXPECT_EQ(field->text(), "rn7");
}

TEST_F(SettingsDialogTest, VirtualShifterBoxInGeneral) {
  Show();
  QCheckBox* box = dialog_->virtual_shifter_box;
  ASSERT_EQ(dialog_->findChild<QCheckBox*>(QStringLiteral("CheckBox11")), box);
  const auto* group = qobject_cast<const QGroupBox*>(box->parentWidget());
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), "General");
  // Inside the group, its caption in full, clear of the group's other controls.
  EXPECT_TRUE(group->rect().contains(box->geometry()));
  // (Not under Wine, which has none of Windows' fonts: its text runs wider.)
  if (!kestrane::testing_support::RunningUnderWine()) {
    EXPECT_GE(box->width(), box->sizeHint().width());
  }
  for (const QWidget* other : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other == box) continue;
    EXPECT_FALSE(other->geometry().intersects(box->geometry()))
        << other->objectName().toStdString();
  }
  EXPECT_TRUE(box->toolTip().contains(QStringLiteral("Kestrane H-shifter")));
  EXPECT_EQ(box->toolTipDuration(), 20000);
}

TEST_F(SettingsDialogTest, VirtualShifterBoxRoundTrip) {
  int saved = 0;
  dialog_->Bind({&record_, &timer_, &state_, &keys_, path_, &shown_, [&](const Settings&) { ++saved; }});
  record_.VIRTUAL_SHIFTER = true;
  Show();
  EXPECT_TRUE(dialog_->virtual_shifter_box->isChecked());
  QTest::mouseClick(dialog_->virtual_shifter_box, Qt::LeftButton);
  dialog_->OnSaveClicked();
  EXPECT_FALSE(record_.VIRTUAL_SHIFTER);
  EXPECT_EQ(FileValue("MAIN", "VIRTUAL_SHIFTER"), "0");
  EXPECT_EQ(saved, 1);

  Show();
  EXPECT_FALSE(dialog_->virtual_shifter_box->isChecked());
  QTest::mouseClick(dialog_->virtual_shifter_box, Qt::LeftButton);
  dialog_->OnSaveClicked();
  EXPECT_TRUE(record_.VIRTUAL_SHIFTER);
  EXPECT_EQ(FileValue("MAIN", "VIRTUAL_SHIFTER"), "1");
  EXPECT_EQ(saved, 2);

  // Cancel and a refused Save take nothing and tell nobody.
  Show();
  QTest::mouseClick(dialog_->virtual_shifter_box, Qt::LeftButton);
  dialog_->OnCancelClicked();
  Show();
  EXPECT_TRUE(dialog_->virtual_shifter_box->isChecked());
  QTest::mouseClick(dialog_->virtual_shifter_box, Qt::LeftButton);
  dialog_->joy_gear_width_edit->setText(QStringLiteral("wide"));
  dialog_->OnSaveClicked();
  EXPECT_TRUE(record_.VIRTUAL_SHIFTER);
  EXPECT_EQ(FileValue("MAIN", "VIRTUAL_SHIFTER"), "1");
  EXPECT_EQ(saved, 2);
}

// The strength slider shows the record's FF_STRENGTH (held to 0..100) with its percentage, and
// Save takes the slider's value; the direction test button asks the main window to run the test.
TEST_F(SettingsDialogTest, StrengthSliderAndDirectionTestButton) {
  int tests = 0;
  dialog_->Bind({&record_, &timer_, &state_, &keys_, path_, &shown_, {}, [&] { ++tests; }});
  record_.FF_STRENGTH = 250;
  Show();
  EXPECT_EQ(dialog_->ff_strength_slider->value(), 100);
  EXPECT_EQ(dialog_->ff_strength_label->text(), "100 %");
  dialog_->ff_strength_slider->setValue(35);
  EXPECT_EQ(dialog_->ff_strength_label->text(), "35 %");
  dialog_->OnSaveClicked();
  EXPECT_EQ(record_.FF_STRENGTH, 35);
  EXPECT_EQ(FileValue("MAIN", "FF_STRENGTH"), "35");
  Show();
  EXPECT_EQ(dialog_->ff_strength_slider->value(), 35);
  QTest::mouseClick(dialog_->test_directions_button, Qt::LeftButton);
  EXPECT_EQ(tests, 1);
}

// --- Save -------------------------------------------------------------------------------------

TEST_F(SettingsDialogTest, SaveWritesTheCapturedKeyAndEveryValue) {
  Show();
  dialog_->sym_type_list->setCurrentIndex(2);
  dialog_->key_shift_up_edit->SetKeyText(QStringLiteral("0#0"));
  PressKey(dialog_->key_shift_up_edit, Qt::Key_PageUp, Xkb(104), 0xFF55);
  EXPECT_EQ(dialog_->key_shift_up_edit->KeyText(), "33#73");
  PressKey(dialog_->key_shift_down_edit, Qt::Key_Shift, 62, 0xFFE2,
           Qt::ShiftModifier);  // right Shift
  dialog_->sym_sequence_edit->clear();
  dialog_->check_interval_edit->setText(QStringLiteral("50"));
  dialog_->joy_gear_width_edit->setText(QStringLiteral("0x10"));
  dialog_->switch_button_list->setCurrentIndex(5);

  QTest::mouseClick(dialog_->save_button, Qt::LeftButton);
  EXPECT_TRUE(messages_.empty());  // every one of these acts at once: nothing to say
  EXPECT_FALSE(dialog_->isVisible());

  EXPECT_EQ(FileValue("KEYBOARD", "KEY_CODE9"), "33");
  EXPECT_EQ(FileValue("KEYBOARD", "SCAN_CODE9"), "73");
  EXPECT_EQ(FileValue("KEYBOARD", "KEY_CODE10"), "161");
  EXPECT_EQ(FileValue("KEYBOARD", "SCAN_CODE10"), "54");
  EXPECT_EQ(FileValue("KEYBOARD", "SYM_SEQUENCE"), "");
  EXPECT_EQ(FileValue("KEYBOARD", "SYM_TYPE"), "2");
  EXPECT_EQ(FileValue("MAIN", "CHECK_INTERVAL"), "50");
  EXPECT_EQ(FileValue("MAIN", "JOY_GEAR_WIDTH"), "16");
  EXPECT_EQ(FileValue("MAIN", "SWITCH_BUTTON"), "5");
  EXPECT_EQ(FileValue("MAIN", "JOYSTICK"), "Wheel B");

  EXPECT_EQ(record_.Keys[kKeyShiftUp], (KeyCode{33, 73}));
  EXPECT_EQ(record_.Keys[kKeyShiftDown], (KeyCode{161, 54}));
  EXPECT_EQ(record_.SYM_TYPE, 2);
  EXPECT_EQ(record_.JOY_GEAR_WIDTH, 16);
  EXPECT_EQ(record_.Sequence(), "");
  EXPECT_EQ(timer_.Interval(), 50u);

  // What the file holds is what the program runs on.
  Settings loaded;
  StoredInterval loaded_timer(10);
  EXPECT_FALSE(LoadSettings(loaded, loaded_timer, path_, WriteBack::No));
  EXPECT_EQ(loaded, record_);
  EXPECT_EQ(loaded_timer.Interval(), 50u);
}

TEST_F(SettingsDialogTest, SaveRightAfterShowChangesOnlyTheAccessSwitches) {
  record_.POOLED_DEVICE = false;
  record_.EXCLUSIVE_ACCESS = false;
  const Settings before = record_;
  Show();
  dialog_->OnSaveClicked();
  Settings expected = before;
  expected.POOLED_DEVICE = true;
  expected.EXCLUSIVE_ACCESS = true;
  EXPECT_EQ(record_, expected);
  EXPECT_EQ(timer_.Interval(), 25u);
  EXPECT_EQ(FileValue("MAIN", "EXCLUSIVE_ACCESS"), "1");
  EXPECT_EQ(FileValue("KEYBOARD", "SYM_SEQUENCE"), "RN1234567");
}

// A Save writes only what was changed in the dialog, over the file as it is on disk then: values
// the lists cannot show and key codes the record keeps in 8 bits stay as the file has them, and
// a change another program saved meanwhile stays too.
TEST_F(SettingsDialogTest, SaveWritesOnlyWhatTheDialogChanged) {
  WriteFile(
      "[MAIN]\nJOYSTICK=Wheel B\nSWITCH_BUTTON=40\nSWITCH_B_AXE=9\nJOY_GEAR_WIDTH=1000\n"
      "[KEYBOARD]\nSYM_TYPE=3\n"
      "KEY_CODE3=300\n");
  ASSERT_FALSE(LoadSettings(record_, timer_, path_));  // the start-up load
  Show();
  std::string file = ReadFile();
  const auto replace = [&file](const std::string& from, const std::string& to) {
    file.replace(file.find(from), from.size(), to);
  };
  replace("JOY_GEAR_WIDTH=1000", "JOY_GEAR_WIDTH=777");  // kestrane-cli settings --save
  WriteFile(file);

  dialog_->OnSaveClicked();  // no edits
  EXPECT_EQ(ReadFile(), file);

  Show();
  dialog_->check_interval_edit->setText(QStringLiteral("40"));
  dialog_->OnSaveClicked();
  replace("CHECK_INTERVAL=25", "CHECK_INTERVAL=40");
  EXPECT_EQ(ReadFile(), file);
  EXPECT_EQ(timer_.Interval(), 40u);
}

TEST_F(SettingsDialogTest, SaveReleasesOrMovesTheHeldKey) {
  // Mode 0 holds gear 3's key; a new key for gear 3 swaps the held key at once.
  state_.SentGear = 3;
  keys_.Press(record_.Keys[3]);
  Show();
  PressKey(dialog_->key_gear3_edit, Qt::Key_F3, Xkb(61), 0xFFC0);
  dialog_->OnSaveClicked();
  EXPECT_EQ(sink_.Trace(), "+51#4 -51#4 +114#61");

  // Leaving mode 0 releases it.
  Show();
  dialog_->sym_type_list->setCurrentIndex(1);
  dialog_->OnSaveClicked();
  EXPECT_TRUE(sink_.Trace().ends_with("-114#61"));
  EXPECT_FALSE(keys_.Held());
}

// Restore defaults fills every control with the defaults; only Save keeps them.
TEST_F(SettingsDialogTest, RestoreDefaultsFillsTheDialogAndSaveKeepsThem) {
  record_.JOY_GEAR_WIDTH = 12345;
  record_.GEAR_HOLE_FORCE_Y = 77;
  record_.FF_STRENGTH = 40;
  record_.SYM_TYPE = 2;
  record_.DAMPER_ENABLED = false;
  record_.Keys[1] = {0x41, 0x1E};
  timer_.SetInterval(80);
  const Settings before = record_;
  const std::string file_before = ReadFile();
  Show();
  QTest::mouseClick(dialog_->defaults_button, Qt::LeftButton);
  const SettingsFormValues defaults = FormValuesFromSettings(DefaultSettings(), 25);
  EXPECT_EQ(dialog_->FormValues(), defaults);
  EXPECT_EQ(dialog_->key_gear1_edit->text(), "1");
  EXPECT_EQ(record_, before);  // nothing taken yet
  EXPECT_EQ(ReadFile(), file_before);

  // Cancel keeps everything; shown again, the dialog has the record's values.
  dialog_->OnCancelClicked();
  Show();
  EXPECT_EQ(dialog_->joy_gear_width_edit->text(), "12345");

  QTest::mouseClick(dialog_->defaults_button, Qt::LeftButton);
  dialog_->OnSaveClicked();
  const Settings expected = DefaultSettings();
  EXPECT_EQ(record_.JOY_GEAR_WIDTH, expected.JOY_GEAR_WIDTH);
  EXPECT_EQ(record_.GEAR_HOLE_FORCE_Y, expected.GEAR_HOLE_FORCE_Y);
  EXPECT_EQ(record_.FF_STRENGTH, 100);
  EXPECT_EQ(record_.SYM_TYPE, expected.SYM_TYPE);
  EXPECT_EQ(record_.DAMPER_ENABLED, expected.DAMPER_ENABLED);
  EXPECT_EQ(record_.Keys, expected.Keys);
  EXPECT_EQ(timer_.Interval(), 25u);
  EXPECT_EQ(FileValue("MAIN", "JOY_GEAR_WIDTH"), std::to_string(expected.JOY_GEAR_WIDTH));
}

TEST_F(SettingsDialogTest, BadNumberChangesNothingAndKeepsTheDialogOpen) {
  WriteFile("[MAIN]\nSWITCH_BUTTON=1\n");
  const std::string file_before = ReadFile();
  record_.POOLED_DEVICE = false;
  const Settings before = record_;
  Show();
  dialog_->switch_button_list->setCurrentIndex(4);
  dialog_->switch_b_axe_list->setCurrentIndex(2);
  dialog_->check_interval_edit->setText(QStringLiteral("80"));
  PressKey(dialog_->key_gear1_edit, Qt::Key_A, Xkb(30), 0x61);
  dialog_->switch_b_min_edit->setText(QStringLiteral("abc"));

  QTest::mouseClick(dialog_->save_button, Qt::LeftButton);
  EXPECT_EQ(messages_, (std::vector<std::string>{
                           "Pos Min: 'abc' is not a whole number. Enter a whole number from 0 to "
                           "65535."}));
  EXPECT_EQ(kinds_.back(), MessageKind::Error);
  EXPECT_EQ(record_, before);
  EXPECT_EQ(timer_.Interval(), 25u);
  EXPECT_EQ(ReadFile(), file_before);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->switch_b_min_edit->text(), "abc");
  EXPECT_EQ(dialog_->switch_button_list->currentIndex(), 4);
  EXPECT_EQ(dialog_->key_gear1_edit->KeyText(), "65#30");
  EXPECT_EQ(QApplication::focusWidget(), dialog_->switch_b_min_edit);
  EXPECT_EQ(dialog_->switch_b_min_edit->selectedText(), "abc");  // typing replaces it

  // The same for a field further down, and for an interval OnShown showed unsigned.
  dialog_->switch_b_min_edit->setText(QStringLiteral("5"));
  dialog_->check_interval_edit->setText(QStringLiteral("4294967295"));
  messages_.clear();
  dialog_->OnSaveClicked();
  EXPECT_EQ(messages_.back(),
            "Check interval: 4294967295 is out of range. Enter a whole number from 0 to 1000.");
  EXPECT_EQ(QApplication::focusWidget(), dialog_->check_interval_edit);
  EXPECT_EQ(record_, before);
  EXPECT_EQ(ReadFile(), file_before);

  // Corrected, the same edits save.
  dialog_->check_interval_edit->setText(QStringLiteral("80"));
  messages_.clear();
  dialog_->OnSaveClicked();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(record_.SWITCH_BUTTON, 4);
  EXPECT_EQ(record_.SWITCH_B_MIN, 5);
  EXPECT_EQ(record_.Keys[1], (KeyCode{65, 30}));
  EXPECT_EQ(timer_.Interval(), 80u);
  EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(SettingsDialogTest, KeyFieldTextNotFromCaptureIsNamed) {
  Show();
  const Settings before = record_;
  // Text that did not come from a key press.
  dialog_->key_shift_up_edit->SetKeyText(QStringLiteral("PgUp"));
  dialog_->OnSaveClicked();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("Switch UP"), std::string::npos) << messages_[0];
  EXPECT_NE(messages_[0].find("PgUp"), std::string::npos) << messages_[0];
  EXPECT_EQ(record_, before);
  EXPECT_EQ(ReadFile(), start_file_);
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(SettingsDialogTest, RefusedWriteKeepsRecordFileAndEdits) {
  WriteFile("[MAIN]\nJOY_GEAR_WIDTH=1234\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string file_before = ReadFile();
  const Settings before = record_;
  Show();
  dialog_->joy_gear_width_edit->setText(QStringLiteral("999"));
  dialog_->check_interval_edit->setText(QStringLiteral("60"));
  PressKey(dialog_->key_gear1_edit, Qt::Key_A, Xkb(30), 0x61);

  dialog_->OnSaveClicked();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].starts_with("Unable to write to " + path_ + "\n")) << messages_[0];
  EXPECT_EQ(kinds_[0], MessageKind::Error);
  EXPECT_EQ(record_, before);
  EXPECT_EQ(timer_.Interval(), 25u);
  EXPECT_EQ(ReadFile(), file_before);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->joy_gear_width_edit->text(), "999");
  EXPECT_EQ(dialog_->key_gear1_edit->KeyText(), "65#30");

  // Once the file can be written the same Save goes through.
  fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add);
  dialog_->OnSaveClicked();
  EXPECT_EQ(record_.JOY_GEAR_WIDTH, 999);
  EXPECT_EQ(FileValue("MAIN", "JOY_GEAR_WIDTH"), "999");
  EXPECT_FALSE(dialog_->isVisible());
}

// --- Cancel and close -------------------------------------------------------------------------

TEST_F(SettingsDialogTest, CancelAndCloseCopyNothing) {
  const Settings before = record_;
  Show();
  dialog_->joy_gear_width_edit->setText(QStringLiteral("1"));
  PressKey(dialog_->key_gear1_edit, Qt::Key_A, Xkb(30), 0x61);
  dialog_->device_list->setCurrentIndex(0);
  QTest::mouseClick(dialog_->cancel_button, Qt::LeftButton);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(record_, before);
  EXPECT_EQ(ReadFile(), start_file_);
  EXPECT_TRUE(messages_.empty());

  // The next show refills every control except the device list.
  Show();
  EXPECT_EQ(dialog_->joy_gear_width_edit->text(), "21298");
  EXPECT_EQ(dialog_->key_gear1_edit->KeyText(), "49#2");
  EXPECT_EQ(dialog_->device_list->currentIndex(), 0);

  dialog_->joy_gear_width_edit->setText(QStringLiteral("2"));
  dialog_->close();  // the title bar's close button
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(record_, before);
  EXPECT_EQ(ReadFile(), start_file_);

  // Escape in a number field closes the dialog like Cancel.
  Show();
  dialog_->joy_gear_height_edit->setText(QStringLiteral("3"));
  dialog_->joy_gear_height_edit->setFocus();
  QTest::keyClick(dialog_->joy_gear_height_edit, Qt::Key_Escape);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(record_, before);
}

}  // namespace
}  // namespace kestrane
