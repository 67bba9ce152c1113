#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QValidator>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "core/keystroke_output.h"
#include "core/shift_state.h"
#include "platform/key_table.h"
#include "ui/key_capture_qt.h"

namespace kestrane {

namespace {

constexpr int kClientWidth = 712;
constexpr int kClientHeight = 607;
constexpr int kHintMs = 20000;  // how long a hint stays up
constexpr int kRowHeight = 21;
constexpr int kSequenceLength = 9;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
std::string S(const QString& text) {
  return text.toStdString();
}

void SetHint(QWidget* widget, const QString& hint) {
  if (hint.isEmpty()) return;
  widget->setToolTip(hint);
  widget->setToolTipDuration(kHintMs);
}

const NumberField& FieldOf(const char* control) {
  for (const NumberField& f : NumberFields()) {
    if (std::string_view(f.control) == control) return f;
  }
  std::abort();  // every number edit has its row
}

// "JOY_GEAR_WIDTH: the distance between the lanes; 0–32000"
QString NumberHint(const char* control) {
  const NumberField& f = FieldOf(control);
  return QString::fromUtf8(std::string(f.key) + ": " + f.hint + "; " + FieldRange(f));
}

// "Lane wall dead zone, X, 0–10000"
QString NumberCaption(const char* control) {
  const NumberField& f = FieldOf(control);
  return QString::fromUtf8(std::string(f.name) + ", " + FieldRange(f));
}

}  // namespace

// The sequence field's filter: of every piece of text that enters the field (typed or pasted)
// only the characters IsSequenceCharacter lets pass stay, in upper case. Text already standing in
// the field is left as it is, so a sequence read from the file is shown and saved unchanged, and a
// typed character that does not pass changes nothing at all.
class SequenceValidator final : public QValidator {
 public:
  explicit SequenceValidator(QObject* parent) : QValidator(parent) {}

  // The text the field holds now; what a later edit adds is measured against it.
  void SetAccepted(const QString& text) { accepted_ = text; }

  State validate(QString& input, int& pos) const override {
    const QString& old = accepted_;
    const qsizetype shorter = std::min(old.size(), input.size());
    qsizetype prefix = 0;
    while (prefix < shorter && old[prefix] == input[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           old[old.size() - 1 - suffix] == input[input.size() - 1 - suffix]) {
      ++suffix;
    }
    const QString inserted = input.mid(prefix, input.size() - prefix - suffix);
    QString kept;
    for (const QChar c : inserted) {
      if (SettingsDialog::IsSequenceCharacter(c)) kept += c.toUpper();
    }
    if (!inserted.isEmpty() && kept.isEmpty()) return Invalid;
    if (kept != inserted) {
      input = input.left(prefix) + kept + input.right(suffix);
      pos = static_cast<int>(prefix + kept.size());
    }
    return Acceptable;
  }

 private:
  QString accepted_;
};

// ---------------------------------------------------------------------------------------------
// KeyEdit

KeyEdit::KeyEdit(QWidget* parent) : QLineEdit(parent), native_(NativeKeyCodesOfPlatform()) {
  setReadOnly(true);
  setAcceptDrops(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  // Whatever way other text gets in (QLineEdit's paste() and insert() ignore read-only), the
  // field's own text comes back at once.
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text != own_text_) setText(own_text_);
  });
}

void KeyEdit::SetOwnText(const QString& codes) {
  codes_ = codes;
  const KeyCode key = ParseKeyField(S(codes));
  own_text_ = Q(KeyName(key));
  setText(own_text_);
  SetHint(this, (hint_.isEmpty() ? QString() : hint_ + QStringLiteral("\n")) +
                    QStringLiteral("Key codes: %1 (virtual key %2, scan code %3)")
                        .arg(codes)
                        .arg(key.vk)
                        .arg(key.scan));
}

void KeyEdit::SetHintText(const QString& hint) {
  hint_ = hint;
  SetOwnText(codes_);
}

void KeyEdit::SetKeyText(const QString& text) {
  SetOwnText(text);
  captured_ = false;
}

void KeyEdit::CaptureKey(const QKeyEvent& event) {
  const std::optional<KeyCode> key = CaptureKeyEvent(event, native_);
  if (!key) return;
  SetOwnText(Q(FormatKeyField(*key)));
  captured_ = true;
}

bool KeyEdit::event(QEvent* e) {
  // Every key belongs to the field: no shortcut of the window or the application takes it first.
  if (e->type() == QEvent::ShortcutOverride) {
    e->accept();
    return true;
  }
  return QLineEdit::event(e);
}

void KeyEdit::keyPressEvent(QKeyEvent* event) {
  CaptureKey(*event);
  event->accept();
}

// ---------------------------------------------------------------------------------------------
// SettingsDialog

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Settings"));
  setWindowTitle(QStringLiteral("Settings"));
  setModal(false);
  setFixedSize(kClientWidth, kClientHeight);
  BuildDeviceRow();
  BuildGeneral();
  BuildCross();
  BuildSwitchButton();
  BuildKeyboard();
  BuildForceFeedback();
  BuildButtons();
}

void SettingsDialog::Bind(const SettingsBinding& binding) {
  binding_ = binding;
}

void SettingsDialog::SetNativeKeyCodes(NativeKeyCodes codes) {
  for (KeyEdit* field : findChildren<KeyEdit*>()) field->SetNativeKeyCodes(codes);
}

QLabel* SettingsDialog::AddLabel(QWidget* parent, const QString& caption, int x, int y,
                                 const QString& hint) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QStringLiteral("Label%1").arg(++label_count_));
  label->move(x, y + 3);
  label->adjustSize();
  SetHint(label, hint);
  return label;
}

QLineEdit* SettingsDialog::AddNumberEdit(QWidget* parent, const char* name, QLabel* label, int x,
                                         int y, int width, int height) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setGeometry(x, y, width, height);
  const QString hint = NumberHint(name);
  SetHint(edit, hint);
  if (label) {
    label->setBuddy(edit);
    SetHint(label, hint);
  }
  return edit;
}

QCheckBox* SettingsDialog::AddCheckBox(QWidget* parent, const char* name, const QString& caption,
                                       const QString& hint, int x, int y, int width) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QLatin1String(name));
  // Only as wide as its box and caption: a click beside the caption does not toggle it.
  box->setGeometry(x, y, std::min(width, box->sizeHint().width()), kRowHeight);
  SetHint(box, hint);
  return box;
}

KeyEdit* SettingsDialog::AddKeyEdit(QWidget* parent, const char* name, const QString& caption,
                                    const QString& hint, KeyColumn column, int y) {
  QLabel* label = AddLabel(parent, caption, column.label_x, y, hint);
  auto* edit = new KeyEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setGeometry(column.field_x, y, 62, kRowHeight);
  label->setBuddy(edit);
  edit->SetHintText(hint);
  return edit;
}

void SettingsDialog::BuildDeviceRow() {
  const QString hint = QStringLiteral("select device you plan to use as gear box");
  QLabel* label = AddLabel(this, QStringLiteral("Device :"), 10, 10, hint);
  device_list = new QComboBox(this);
  device_list->setObjectName(QStringLiteral("Devices"));
  device_list->setEditable(false);
  device_list->setGeometry(72, 10, kClientWidth - 80, 22);
  SetHint(device_list, hint);
  label->setBuddy(device_list);
}

void SettingsDialog::BuildGeneral() {
  auto* group = new QGroupBox(QStringLiteral("General"), this);
  group->setObjectName(QStringLiteral("GroupBox1"));
  group->setGeometry(8, 40, 341, 94);

  QLabel* label = AddLabel(group, QStringLiteral("Check interval :"), 10, 20);
  check_interval_edit = AddNumberEdit(group, "Edit29", label, 110, 20, 60);
  AddLabel(group, QStringLiteral("ms"), 175, 20);

  switch_xy_box = AddCheckBox(group, "CheckBox4", QStringLiteral("Switch X/Y axes"),
                              QStringLiteral("SWITCH_XY: X becomes Y and Y becomes X"), 10, 45, 150);
  autocenter_neutral_box = AddCheckBox(
      group, "CheckBox3", QStringLiteral("Manual Neutral"),
      QStringLiteral("AUTOCENTER_NEUTRAL: check if you have no force feedback but the stick "
                     "centres itself; neutral N is set when a movement to the left and then to "
                     "the right is detected."),
      165, 45, 150);
  reverse_x_box = AddCheckBox(group, "CheckBox5", QStringLiteral("Reverse X"),
                              QStringLiteral("REVERSE_X: reverses the X axis"), 10, 68, 150);
  reverse_y_box = AddCheckBox(group, "CheckBox6", QStringLiteral("Reverse Y"),
                              QStringLiteral("REVERSE_Y: reverses the Y axis"), 165, 68, 150);
  virtual_shifter_box = AddCheckBox(
      group, "CheckBox11", QStringLiteral("Virtual H-shifter"),
      QStringLiteral("VIRTUAL_SHIFTER: a joystick \"Kestrane H-shifter\" that holds one button while a gear is in: "
                     "buttons 1-7 for gears 1-7, 8 for R, none in N. For games that take an "
                     "H-shifter only as joystick buttons; the keys are typed as well. Linux only, "
                     "needs the Kestrane udev rule for /dev/uinput."),
      210, 20, 125);
}

void SettingsDialog::BuildCross() {
  auto* group = new QGroupBox(QStringLiteral("Cross"), this);
  group->setObjectName(QStringLiteral("GroupBox2"));
  group->setGeometry(8, 138, 341, 72);

  QLabel* width = AddLabel(group, QStringLiteral("Cross Width:"), 10, 20);
  joy_gear_width_edit = AddNumberEdit(group, "Edit1", width, 95, 20, 60);
  QLabel* height = AddLabel(group, QStringLiteral("Cross Height:"), 165, 20);
  joy_gear_height_edit = AddNumberEdit(group, "Edit2", height, 250, 20, 60);
  QLabel* size = AddLabel(group, QStringLiteral("Cross Size :"), 10, 45);
  gear_cross_size_edit = AddNumberEdit(group, "Edit3", size, 95, 45, 60);
}

void SettingsDialog::BuildSwitchButton() {
  auto* group = new QGroupBox(QStringLiteral("Joystick switch button"), this);
  group->setObjectName(QStringLiteral("GroupBox3"));
  group->setGeometry(8, 214, 341, 72);

  const QString button_hint =
      QStringLiteral("SWITCH_BUTTON: the button that shifts to 7 or R (Bstate)");
  QLabel* button = AddLabel(group, QStringLiteral("Button:"), 10, 20, button_hint);
  switch_button_list = new QComboBox(group);
  switch_button_list->setObjectName(QStringLiteral("ComboBox1"));
  switch_button_list->addItem(QStringLiteral("Disabled"));
  switch_button_list->addItem(QStringLiteral("All buttons"));
  for (int i = 1; i <= 32; ++i) switch_button_list->addItem(QStringLiteral("Button %1").arg(i));
  switch_button_list->setMaxVisibleItems(16);
  switch_button_list->setGeometry(60, 20, 95, 22);
  button->setBuddy(switch_button_list);
  SetHint(switch_button_list, button_hint);

  const QString axe_hint =
      QStringLiteral("SWITCH_B_AXE: an axis that works as the button to shift to 7 or R");
  QLabel* axe = AddLabel(group, QStringLiteral("Axis:"), 165, 20, axe_hint);
  switch_b_axe_list = new QComboBox(group);
  switch_b_axe_list->setObjectName(QStringLiteral("ComboBox2"));
  switch_b_axe_list->addItems({QStringLiteral("Disabled"), QStringLiteral("Z axis"),
                               QStringLiteral("Rx axis"), QStringLiteral("Ry axis"),
                               QStringLiteral("Rz axis"), QStringLiteral("POW 1"),
                               QStringLiteral("POW 2")});
  switch_b_axe_list->setGeometry(200, 20, 110, 22);
  axe->setBuddy(switch_b_axe_list);
  SetHint(switch_b_axe_list, axe_hint);

  QLabel* min = AddLabel(group, QStringLiteral("Pos Min:"), 10, 46);
  switch_b_min_edit = AddNumberEdit(group, "Edit30", min, 65, 46, 90);
  QLabel* max = AddLabel(group, QStringLiteral("Pos Max:"), 165, 46);
  switch_b_max_edit = AddNumberEdit(group, "Edit31", max, 220, 46, 90);
}

void SettingsDialog::BuildKeyboard() {
  auto* group = new QGroupBox(QStringLiteral("Keyboard"), this);
  group->setObjectName(QStringLiteral("GroupBox4"));
  group->setGeometry(8, 290, 341, 216);

  const QString type_hint = QStringLiteral("SYM_TYPE: how the gears reach the game");
  QLabel* type = AddLabel(group, QStringLiteral("Gear type:"), 10, 20, type_hint);
  sym_type_list = new QComboBox(group);
  sym_type_list->setObjectName(QStringLiteral("GearTypeCombo"));
  sym_type_list->addItems({QStringLiteral("press and hold gear button"),
                           QStringLiteral("press and release gear button"),
                           QStringLiteral("press and release switch up/dn button")});
  sym_type_list->setGeometry(75, 20, 258, 22);
  type->setBuddy(sym_type_list);
  SetHint(sym_type_list, type_hint);

  QLabel* press = AddLabel(group, QStringLiteral("Press time:"), 10, 46);
  sym_key_time_edit = AddNumberEdit(group, "Edit36", press, 80, 46, 45);
  AddLabel(group, QStringLiteral("ms"), 129, 46);
  QLabel* space = AddLabel(group, QStringLiteral("Space time:"), 165, 46);
  sym_space_time_edit = AddNumberEdit(group, "Edit37", space, 240, 46, 45);

  // The two key panels share one place; OnGearTypeChanged shows one of them.
  gear_key_panel = new QWidget(group);
  gear_key_panel->setObjectName(QStringLiteral("GearPanel1"));
  gear_key_panel->setGeometry(4, 74, 333, 138);
  constexpr KeyColumn kLeft{6, 86};
  constexpr KeyColumn kRight{150, 244};
  constexpr int kStep = 26;
  key_gear1_edit = AddKeyEdit(gear_key_panel, "Edit21", QStringLiteral("Gear 1 :"),
                              QStringLiteral("Left top position of cross"), kLeft, 2);
  key_gear2_edit = AddKeyEdit(gear_key_panel, "Edit22", QStringLiteral("Gear 2 :"),
                              QStringLiteral("Left bottom position of cross"), kLeft, 2 + kStep);
  key_gear3_edit = AddKeyEdit(gear_key_panel, "Edit23", QStringLiteral("Gear 3 :"),
                              QStringLiteral("Center top position of cross"), kLeft, 2 + 2 * kStep);
  key_gear4_edit =
      AddKeyEdit(gear_key_panel, "Edit24", QStringLiteral("Gear 4 :"),
                 QStringLiteral("Center bottom position of cross"), kLeft, 2 + 3 * kStep);
  key_neutral_edit = AddKeyEdit(gear_key_panel, "Edit32", QStringLiteral("Gear N:"),
                                QStringLiteral("Center position of cross"), kLeft, 2 + 4 * kStep);
  key_gear5_edit = AddKeyEdit(gear_key_panel, "Edit25", QStringLiteral("Gear 5 :"),
                              QStringLiteral("Right top position of cross"), kRight, 2);
  key_gear6_edit = AddKeyEdit(gear_key_panel, "Edit26", QStringLiteral("Gear 6 :"),
                              QStringLiteral("Right bottom position of cross"), kRight, 2 + kStep);
  key_gear7_edit = AddKeyEdit(
      gear_key_panel, "Edit27", QStringLiteral("Gear 7 :"),
      QStringLiteral("Right bottom position of cross + Joystick switch button or switch axis"), kRight,
      2 + 2 * kStep);
  key_reverse_edit =
      AddKeyEdit(gear_key_panel, "Edit28", QStringLiteral("Gear Reverse :"),
                 QStringLiteral("Left top position of cross + Joystick switch button or switch axis"),
                 kRight, 2 + 3 * kStep);

  shift_key_panel = new QWidget(group);
  shift_key_panel->setObjectName(QStringLiteral("GearPanel2"));
  shift_key_panel->setGeometry(gear_key_panel->geometry());
  key_shift_up_edit = AddKeyEdit(shift_key_panel, "Edit33", QStringLiteral("Switch UP:"),
                                 QStringLiteral("key to switch gear up in sequence"), kLeft, 2);
  key_shift_down_edit =
      AddKeyEdit(shift_key_panel, "Edit34", QStringLiteral("Switch DN:"),
                 QStringLiteral("key to switch gear down in sequence"), kLeft, 2 + kStep);
  const QString sequence_hint =
      QStringLiteral("SYM_SEQUENCE: the gears in the order the up and down keys step through "
                     "them (R, N, 1 to 7)");
  QLabel* sequence = AddLabel(shift_key_panel, QStringLiteral("Sequence:"), kLeft.label_x,
                              2 + 2 * kStep, sequence_hint);
  sym_sequence_edit = new QLineEdit(shift_key_panel);
  sym_sequence_edit->setObjectName(QStringLiteral("Edit35"));
  sym_sequence_edit->setGeometry(kLeft.field_x, 2 + 2 * kStep, 100, kRowHeight);
  sym_sequence_edit->setMaxLength(kSequenceLength);
  sequence_validator_ = new SequenceValidator(sym_sequence_edit);
  sym_sequence_edit->setValidator(sequence_validator_);
  connect(sym_sequence_edit, &QLineEdit::textChanged, sequence_validator_,
          &SequenceValidator::SetAccepted);
  sequence->setBuddy(sym_sequence_edit);
  SetHint(sym_sequence_edit, sequence_hint);
  shift_key_panel->hide();

  connect(sym_type_list, &QComboBox::currentIndexChanged, this, [this] { OnGearTypeChanged(); });
}

void SettingsDialog::BuildForceFeedback() {
  auto* group = new QGroupBox(QStringLiteral("Force Feedback"), this);
  group->setObjectName(QStringLiteral("GroupBox5"));
  group->setGeometry(357, 40, kClientWidth - 365, 516);
  const int field_x = group->width() - 72;

  int y = 18;
  constexpr int kStep = 20;
  auto box = [&](const char* name, const char* caption, const char* hint) {
    QCheckBox* b = AddCheckBox(group, name, QString::fromUtf8(caption), QString::fromUtf8(hint),
                               10, y, group->width() - 20);
    y += kStep;
    return b;
  };
  auto field = [&](const char* name) {
    QLabel* label = AddLabel(group, NumberCaption(name), 28, y - 2);
    QLineEdit* edit = AddNumberEdit(group, name, label, field_x, y, 60, kStep - 1);
    y += kStep;
    return edit;
  };

  force_feedback_box = box("CheckBox7", "Enabled",
                           "FORCE_FEEDBACK: all force feedback on or off. Leave it off if your "
                           "joystick does not support force feedback.");
  cross_enabled_box = box("CheckBox9", "Cross",
                          "CROSS_ENABLED: the spring that holds the stick in the H pattern");
  gear_force_death_free_x_edit = field("Edit4");
  gear_force_death_nofree_x_edit = field("Edit5");
  gear_force_death_free_y_edit = field("Edit6");
  gear_force_death_nofree_y_edit = field("Edit7");
  gear_cross_force_count_edit = field("Edit14");
  gear_cross_force_edit = field("Edit15");
  gear_cross_saturation_edit = field("Edit16");
  damper_enabled_box =
      box("CheckBox8", "Damper", "DAMPER_ENABLED: resistance against fast movements");
  gear_damper_force_edit = field("Edit8");
  gear_damper_saturation_edit = field("Edit9");
  hole_enabled_box =
      box("CheckBox10", "Hole", "HOLE_ENABLED: the spring that pulls the stick into gears 1 to 6");
  gear_hole_force_x_edit = field("Edit10");
  gear_hole_saturation_x_edit = field("Edit11");
  gear_hole_force_y_edit = field("Edit12");
  gear_hole_saturation_y_edit = field("Edit13");
  center_enabled_box = box("CheckBox1", "Center",
                           "CENTER_ENABLED: the spring that pulls the stick to the middle of the "
                           "pattern");
  gear_center_force_x_edit = field("Edit17");
  gear_center_saturation_x_edit = field("Edit18");
  gear_center_force_y_edit = field("Edit19");
  gear_center_saturation_y_edit = field("Edit20");

  // FF_STRENGTH: every effect's forces, in percent.
  y += 6;
  AddLabel(group, QStringLiteral("Strength"), 10, y, QStringLiteral("FF_STRENGTH"));
  ff_strength_slider = new QSlider(Qt::Horizontal, group);
  ff_strength_slider->setObjectName(QStringLiteral("StrengthSlider"));
  ff_strength_slider->setRange(0, 100);
  ff_strength_slider->setPageStep(10);
  ff_strength_slider->setGeometry(80, y, 150, 20);
  ff_strength_slider->setToolTip(
      QStringLiteral("FF_STRENGTH: the share of every force and saturation the stick gets"));
  ff_strength_label = new QLabel(group);
  ff_strength_label->setObjectName(QStringLiteral("StrengthLabel"));
  ff_strength_label->setGeometry(238, y, 50, 20);
  connect(ff_strength_slider, &QSlider::valueChanged, this, [this](int value) {
    ff_strength_label->setText(QString::number(value) + QStringLiteral(" %"));
  });
  y += 24;
  test_directions_button = new QPushButton(QStringLiteral("Test directions..."), group);
  test_directions_button->setObjectName(QStringLiteral("TestDirections"));
  test_directions_button->setGeometry(10, y, 140, 25);
  test_directions_button->setAutoDefault(false);
  test_directions_button->setToolTip(
      QStringLiteral("Plays a gentle spring each way and asks where the stick went, to find out "
                     "whether this stick needs an axis inverted (FF_INVERT_X, FF_INVERT_Y)"));
  connect(test_directions_button, &QPushButton::clicked, this, [this] {
    if (binding_.test_directions) binding_.test_directions();
  });

  connect(force_feedback_box, &QCheckBox::toggled, this, [this] { OnForceFeedbackClicked(); });
}

void SettingsDialog::BuildButtons() {
  bevel = new QFrame(this);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(8, 562, kClientWidth - 16, 4);

  defaults_button = new QPushButton(QStringLiteral("Restore defaults"), this);
  defaults_button->setObjectName(QStringLiteral("DefaultsButton"));
  defaults_button->setGeometry(8, 572, 130, 27);
  defaults_button->setAutoDefault(false);
  defaults_button->setToolTip(
      QStringLiteral("Fills every field with its default value; Save keeps them, Cancel not"));
  connect(defaults_button, &QPushButton::clicked, this, [this] { OnRestoreDefaultsClicked(); });

  cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_button->setObjectName(QStringLiteral("Button2"));
  cancel_button->setGeometry(kClientWidth - 176, 572, 80, 27);
  cancel_button->setAutoDefault(false);
  connect(cancel_button, &QPushButton::clicked, this, [this] { OnCancelClicked(); });

  save_button = new QPushButton(QStringLiteral("Save"), this);
  save_button->setObjectName(QStringLiteral("Button1"));
  save_button->setGeometry(kClientWidth - 88, 572, 80, 27);
  save_button->setAutoDefault(false);
  connect(save_button, &QPushButton::clicked, this, [this] { OnSaveClicked(); });
}

void SettingsDialog::showEvent(QShowEvent* event) {
  // Coming back from minimised is no new show: the edits stay.
  if (!event->spontaneous()) OnShown();
  QDialog::showEvent(event);
}

void SettingsDialog::SetSequenceText(const QString& text) {
  sequence_validator_->SetAccepted(text);
  sym_sequence_edit->setText(text);
}

void SettingsDialog::OnShown() {
  if (!binding_.record || !binding_.timer) return;
  // What Save compares against: only what the user changes here is written.
  shown_ = {*binding_.record, binding_.timer->Interval(), ReadSavedJoystick(binding_.path)};
  shown_device_ = ChosenJoystick();
  FillControls(FormValuesFromSettings(*binding_.record, binding_.timer->Interval()));
}

void SettingsDialog::OnRestoreDefaultsClicked() {
  FillControls(FormValuesFromSettings(DefaultSettings(), DefaultCheckInterval()));
}

std::string SettingsDialog::ChosenJoystick() const {
  // An entry's data is the name the settings file keeps for it ("(not connected)" is only shown).
  const QVariant name = device_list->currentData(kJoystickNameRole);
  return name.isValid() ? S(name.toString()) : S(device_list->currentText());
}

void SettingsDialog::FillControls(const SettingsFormValues& v) {
  switch_button_list->setCurrentIndex(v.switch_button);
  switch_b_axe_list->setCurrentIndex(v.switch_b_axe);
  for (const CheckField& f : CheckFields()) {
    findChild<QCheckBox*>(QLatin1String(f.control))->setChecked(v.*f.checked);
  }
  for (const NumberField& f : NumberFields()) {
    findChild<QLineEdit*>(QLatin1String(f.control))->setText(Q(v.*f.text));
  }
  sym_type_list->setCurrentIndex(v.sym_type);
  ff_strength_slider->setValue(v.ff_strength);
  ff_strength_label->setText(QString::number(v.ff_strength) + QStringLiteral(" %"));
  OnGearTypeChanged();
  SetSequenceText(Q(v.sym_sequence));
  for (const KeyField& f : KeyFields()) {
    findChild<KeyEdit*>(QLatin1String(f.control))->SetKeyText(Q((v.*f.value).text));
  }
}

void SettingsDialog::OnForceFeedbackClicked() {
  if (force_feedback_box->isChecked()) return;
  for (QCheckBox* box :
       {cross_enabled_box, damper_enabled_box, hole_enabled_box, center_enabled_box})
    box->setChecked(false);
}

void SettingsDialog::OnGearTypeChanged() {
  const int type = sym_type_list->currentIndex();
  if (type < 0 || type > 2) return;
  gear_key_panel->setVisible(type != 2);
  shift_key_panel->setVisible(type == 2);
  key_neutral_edit->setEnabled(type == 1);
  sym_key_time_edit->setEnabled(type != 0);
  sym_space_time_edit->setEnabled(type != 0);
}

bool SettingsDialog::IsSequenceCharacter(QChar c) {
  static const QString kPass = QStringLiteral("\brnRN1234567");
  return kPass.contains(c);
}

SettingsFormValues SettingsDialog::FormValues() const {
  SettingsFormValues v;
  v.switch_button = switch_button_list->currentIndex();
  v.switch_b_axe = switch_b_axe_list->currentIndex();
  v.sym_type = sym_type_list->currentIndex();
  v.ff_strength = ff_strength_slider->value();
  for (const CheckField& f : CheckFields()) {
    v.*f.checked = findChild<QCheckBox*>(QLatin1String(f.control))->isChecked();
  }
  for (const NumberField& f : NumberFields()) {
    v.*f.text = S(findChild<QLineEdit*>(QLatin1String(f.control))->text());
  }
  v.sym_sequence = S(sym_sequence_edit->text());
  for (const KeyField& f : KeyFields()) {
    const KeyEdit* field = findChild<KeyEdit*>(QLatin1String(f.control));
    v.*f.value = {S(field->KeyText()), field->Captured()};
  }
  return v;
}

void SettingsDialog::ShowMessage(MessageKind kind, const QString& text) {
  if (binding_.messages) {
    binding_.messages->ShowMessage(kind, S(text));
    return;
  }
  QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QStringLiteral("Kestrane"), text, QMessageBox::Ok, this);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.exec();
}

// Save. The record and the timer change only once the settings file has taken the new values:
// a bad field or a refused write leaves the running program, the file and the dialog's edits
// exactly as they were, so the program never runs on values that neither the file nor the
// dialog shows.
void SettingsDialog::OnSaveClicked() {
  if (!binding_.record || !binding_.timer) return;

  const FormOutcome outcome =
      ApplySettingsForm(FormValues(), *binding_.record, binding_.timer->Interval());
  if (outcome.error) {
    ShowMessage(MessageKind::Error, Q(outcome.error->message));
    if (auto* field = findChild<QWidget*>(Q(outcome.error->control))) {
      field->setFocus(Qt::OtherFocusReason);
      if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    }
    return;
  }

  const SettingsSnapshot saved{outcome.settings, outcome.interval, ChosenJoystick()};
  if (const std::optional<std::string> problem =
          SaveChangedSettings(shown_, saved, binding_.path)) {
    ShowMessage(MessageKind::Error, Q(*problem));
    return;
  }

  const std::string notice =
      RestartNotice(shown_.settings, shown_device_, saved.settings, saved.joystick);
  const Settings before = *binding_.record;
  *binding_.record = outcome.settings;
  binding_.timer->SetInterval(outcome.interval);
  shown_ = saved;
  if (binding_.state && binding_.keys) {
    ApplyKeySettings(*binding_.state, *binding_.record, *binding_.keys);
  }
  if (binding_.saved) binding_.saved(before);
  if (!notice.empty()) ShowMessage(MessageKind::Information, Q(notice));
  accept();
}

void SettingsDialog::OnCancelClicked() {
  reject();
}

void SettingsDialog::ShowDevices(const std::vector<JoystickListEntry>& sticks, int selection,
                                 const std::string& remembered) {
  const QSignalBlocker block(device_list);
  device_list->clear();
  bool remembered_listed = false;
  for (const JoystickListEntry& entry : sticks) {
    const QString name = QString::fromStdString(entry.name);
    device_list->addItem(name, QString::fromStdString(entry.id));
    device_list->setItemData(device_list->count() - 1, name, kJoystickNameRole);
    remembered_listed |= name.compare(QString::fromStdString(remembered), Qt::CaseInsensitive) == 0;
  }
  if (!remembered.empty() && !remembered_listed) {
    const QString name = QString::fromStdString(remembered);
    device_list->addItem(name + QStringLiteral(" (not connected)"));
    device_list->setItemData(device_list->count() - 1, name, kJoystickNameRole);
    if (selection < 0) selection = device_list->count() - 1;
  }
  device_list->setCurrentIndex(selection);
}

}  // namespace kestrane
