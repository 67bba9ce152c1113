#include "config/settings_dialog.h"

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
#include <QValidator>
#include <algorithm>

#include "config/settings.h"
#include "config/settings_file.h"
#include "core/keystroke_output.h"
#include "core/shift_state.h"
#include "platform/key_capture_qt.h"

namespace kestrane {

namespace {

constexpr int kClientWidth = 665;
constexpr int kClientHeight = 557;
constexpr int kHintMs = 20000;  // how long a hint stays up
constexpr int kRowHeight = 21;
constexpr int kSequenceLength = 9;

const char* const kSaveWarning = "Warning: any settings requered restart of application!";

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

void DefaultMessage(QWidget* parent, MessageKind kind, const QString& text) {
  QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QStringLiteral("Kestrane"), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

// The sequence field's filter: of every piece of text that enters the field (typed or pasted)
// only the characters Edit35KeyPress lets pass stay, in upper case. Text already standing in the
// field is left as it is, so a sequence read from the file is shown and saved unchanged, and a
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
      if (TSettings::Edit35KeyPress(c)) kept += c.toUpper();
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

void KeyEdit::SetOwnText(const QString& text) {
  own_text_ = text;
  setText(text);
}

void KeyEdit::SetKeyText(const QString& text) {
  SetOwnText(text);
  captured_ = false;
}

void KeyEdit::EditKeyDown(const QKeyEvent& event) {
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
  EditKeyDown(*event);
  event->accept();
}

// ---------------------------------------------------------------------------------------------
// TSettings

TSettings::TSettings(QWidget* parent) : QDialog(parent), show_message_(DefaultMessage) {
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

void TSettings::Bind(const SettingsBinding& binding) {
  binding_ = binding;
  if (binding_.show_message) {
    show_message_ = [show = binding_.show_message](QWidget*, MessageKind, const QString& text) {
      show(text);
    };
  }
}

void TSettings::SetNativeKeyCodes(NativeKeyCodes codes) {
  for (KeyEdit* field : findChildren<KeyEdit*>()) field->SetNativeKeyCodes(codes);
}

QLabel* TSettings::AddLabel(QWidget* parent, const QString& caption, int x, int y,
                            const QString& hint) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QStringLiteral("Label%1").arg(++label_count_));
  label->move(x, y + 3);
  label->adjustSize();
  SetHint(label, hint);
  return label;
}

QLineEdit* TSettings::AddNumberEdit(QWidget* parent, const char* name, QLabel* label, int x, int y,
                                    int width, int height) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setGeometry(x, y, width, height);
  if (label) {
    label->setBuddy(edit);
    SetHint(edit, label->toolTip());
  }
  return edit;
}

QCheckBox* TSettings::AddCheckBox(QWidget* parent, const char* name, const QString& caption,
                                  const QString& hint, int x, int y, int width) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QLatin1String(name));
  // Only as wide as its box and caption: a click beside the caption does not toggle it.
  box->setGeometry(x, y, std::min(width, box->sizeHint().width()), kRowHeight);
  SetHint(box, hint);
  return box;
}

KeyEdit* TSettings::AddKeyEdit(QWidget* parent, const char* name, const QString& caption,
                               const QString& hint, KeyColumn column, int y) {
  QLabel* label = AddLabel(parent, caption, column.label_x, y, hint);
  auto* edit = new KeyEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setGeometry(column.field_x, y, 62, kRowHeight);
  label->setBuddy(edit);
  SetHint(edit, hint);
  return edit;
}

void TSettings::BuildDeviceRow() {
  const QString hint = QStringLiteral("select device you plan to use as gear box");
  QLabel* label = AddLabel(this, QStringLiteral("Device :"), 10, 10, hint);
  Devices = new QComboBox(this);
  Devices->setObjectName(QStringLiteral("Devices"));
  Devices->setEditable(false);
  Devices->setGeometry(72, 10, 585, 22);
  SetHint(Devices, hint);
  label->setBuddy(Devices);
}

void TSettings::BuildGeneral() {
  auto* group = new QGroupBox(QStringLiteral("General"), this);
  group->setObjectName(QStringLiteral("GroupBox1"));
  group->setGeometry(8, 40, 341, 94);

  QLabel* label =
      AddLabel(group, QStringLiteral("Check interval :"), 10, 20,
               QStringLiteral("frequence of check joy position, and re-set force feedback's"));
  Edit29 = AddNumberEdit(group, "Edit29", label, 110, 20, 60);
  AddLabel(group, QStringLiteral("ms"), 175, 20);

  CheckBox4 = AddCheckBox(group, "CheckBox4", QStringLiteral("Switch X/Y axes"),
                          QStringLiteral("X will be Y and Y will be X axe"), 10, 45, 150);
  CheckBox3 = AddCheckBox(
      group, "CheckBox3", QStringLiteral("Manual Neutral"),
      QStringLiteral("check if you not have force feedback and have center force. neutral N will "
                     "be set when  X-Left and then X-Right movement detected."),
      165, 45, 150);
  CheckBox5 = AddCheckBox(group, "CheckBox5", QStringLiteral("Reverse X"),
                          QStringLiteral("Reverse +-X axe"), 10, 68, 150);
  CheckBox6 = AddCheckBox(group, "CheckBox6", QStringLiteral("Reverse Y"),
                          QStringLiteral("Reverse +-Y axe"), 165, 68, 150);
  CheckBox11 = AddCheckBox(
      group, "CheckBox11", QStringLiteral("Virtual H-shifter"),
      QStringLiteral("a joystick \"Kestrane H-shifter\" that holds one button while a gear is in: "
                     "buttons 1-7 for gears 1-7, 8 for R, none in N. For games that take an "
                     "H-shifter only as joystick buttons; the keys are typed as well. Linux only, "
                     "needs the Kestrane udev rule for /dev/uinput."),
      210, 20, 125);
}

void TSettings::BuildCross() {
  auto* group = new QGroupBox(QStringLiteral("Cross"), this);
  group->setObjectName(QStringLiteral("GroupBox2"));
  group->setGeometry(8, 138, 341, 72);

  QLabel* width = AddLabel(group, QStringLiteral("Cross Width:"), 10, 20,
                           QStringLiteral("0-32000  X width of gear cross"));
  Edit1 = AddNumberEdit(group, "Edit1", width, 95, 20, 60);
  QLabel* height = AddLabel(group, QStringLiteral("Cross Height:"), 165, 20,
                            QStringLiteral("0-32000  Y height of gear cross"));
  Edit2 = AddNumberEdit(group, "Edit2", height, 250, 20, 60);
  QLabel* size = AddLabel(
      group, QStringLiteral("Cross Size :"), 10, 45,
      QStringLiteral("0-32000, tolerance in place where X and Y intersecting. biggest value means "
                     "less precise movemend is requered."));
  Edit3 = AddNumberEdit(group, "Edit3", size, 95, 45, 60);
}

void TSettings::BuildSwitchButton() {
  auto* group = new QGroupBox(QStringLiteral("Joystick switch button"), this);
  group->setObjectName(QStringLiteral("GroupBox3"));
  group->setGeometry(8, 214, 341, 72);

  const QString button_hint = QStringLiteral("button to shift gear to 7 or R (Bstate)");
  QLabel* button = AddLabel(group, QStringLiteral("Button:"), 10, 20, button_hint);
  ComboBox1 = new QComboBox(group);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->addItem(QStringLiteral("Disabled"));
  ComboBox1->addItem(QStringLiteral("All buttons"));
  for (int i = 1; i <= 32; ++i) ComboBox1->addItem(QStringLiteral("Button %1").arg(i));
  ComboBox1->setMaxVisibleItems(16);
  ComboBox1->setGeometry(60, 20, 95, 22);
  button->setBuddy(ComboBox1);
  SetHint(ComboBox1, button_hint);

  const QString axe_hint = QStringLiteral("analog simulated button to shift gear to 7 or R");
  QLabel* axe = AddLabel(group, QStringLiteral("Axe:"), 165, 20, axe_hint);
  ComboBox2 = new QComboBox(group);
  ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
  ComboBox2->addItems({QStringLiteral("Disabled"), QStringLiteral("Z Axe"),
                       QStringLiteral("Rx Axe"), QStringLiteral("Ry Axe"), QStringLiteral("Rz Axe"),
                       QStringLiteral("POW 1"), QStringLiteral("POW 2")});
  ComboBox2->setGeometry(200, 20, 110, 22);
  axe->setBuddy(ComboBox2);
  SetHint(ComboBox2, axe_hint);

  QLabel* min = AddLabel(group, QStringLiteral("Pos Min:"), 10, 46,
                         QStringLiteral("-32000 - 32000 minimal position of Axe. in interval min "
                                        "max is analog button active (Bstate)"));
  Edit30 = AddNumberEdit(group, "Edit30", min, 65, 46, 90);
  QLabel* max = AddLabel(group, QStringLiteral("Pos Max:"), 165, 46,
                         QStringLiteral("-32000 - 32000 maximal position of Axe. in interval min "
                                        "max is analog button active (Bstate)"));
  Edit31 = AddNumberEdit(group, "Edit31", max, 220, 46, 90);
}

void TSettings::BuildKeyboard() {
  auto* group = new QGroupBox(QStringLiteral("Keyboard"), this);
  group->setObjectName(QStringLiteral("GroupBox4"));
  group->setGeometry(8, 290, 341, 216);

  const QString type_hint = QStringLiteral("Select type of shifting");
  QLabel* type = AddLabel(group, QStringLiteral("Gear type:"), 10, 20, type_hint);
  GearTypeCombo = new QComboBox(group);
  GearTypeCombo->setObjectName(QStringLiteral("GearTypeCombo"));
  GearTypeCombo->addItems({QStringLiteral("press and hold gear button"),
                           QStringLiteral("press and release gear button"),
                           QStringLiteral("press and release switch up/dn button")});
  GearTypeCombo->setGeometry(75, 20, 258, 22);
  type->setBuddy(GearTypeCombo);
  SetHint(GearTypeCombo, type_hint);

  QLabel* press = AddLabel(group, QStringLiteral("Press time:"), 10, 46,
                           QStringLiteral("If using press and release keystrokes then this is "
                                          "time for key will be pressed"));
  Edit36 = AddNumberEdit(group, "Edit36", press, 80, 46, 45);
  AddLabel(group, QStringLiteral("ms"), 129, 46);
  QLabel* space = AddLabel(group, QStringLiteral("Space time:"), 165, 46,
                           QStringLiteral("If using press and release keystrokes then this is "
                                          "time for no key will be pressed afted any key"));
  Edit37 = AddNumberEdit(group, "Edit37", space, 240, 46, 45);

  // The two key panels share one place; GearTypeComboChange shows one of them.
  GearPanel1 = new QWidget(group);
  GearPanel1->setObjectName(QStringLiteral("GearPanel1"));
  GearPanel1->setGeometry(4, 74, 333, 138);
  constexpr KeyColumn kLeft{6, 86};
  constexpr KeyColumn kRight{150, 244};
  constexpr int kStep = 26;
  Edit21 = AddKeyEdit(GearPanel1, "Edit21", QStringLiteral("Gear 1 :"),
                      QStringLiteral("Left top position of cross"), kLeft, 2);
  Edit22 = AddKeyEdit(GearPanel1, "Edit22", QStringLiteral("Gear 2 :"),
                      QStringLiteral("Left bottom position of cross"), kLeft, 2 + kStep);
  Edit23 = AddKeyEdit(GearPanel1, "Edit23", QStringLiteral("Gear 3 :"),
                      QStringLiteral("Center top position of cross"), kLeft, 2 + 2 * kStep);
  Edit24 = AddKeyEdit(GearPanel1, "Edit24", QStringLiteral("Gear 4 :"),
                      QStringLiteral("Center bottom position of cross"), kLeft, 2 + 3 * kStep);
  Edit32 = AddKeyEdit(GearPanel1, "Edit32", QStringLiteral("Gear N:"),
                      QStringLiteral("Center position of cross"), kLeft, 2 + 4 * kStep);
  Edit25 = AddKeyEdit(GearPanel1, "Edit25", QStringLiteral("Gear 5 :"),
                      QStringLiteral("Right top position of cross"), kRight, 2);
  Edit26 = AddKeyEdit(GearPanel1, "Edit26", QStringLiteral("Gear 6 :"),
                      QStringLiteral("Right bottom position of cross"), kRight, 2 + kStep);
  Edit27 = AddKeyEdit(
      GearPanel1, "Edit27", QStringLiteral("Gear 7 :"),
      QStringLiteral("Right bottom position of cross + Joystick switch button/switch axe"), kRight,
      2 + 2 * kStep);
  Edit28 =
      AddKeyEdit(GearPanel1, "Edit28", QStringLiteral("Gear Reverse :"),
                 QStringLiteral("Left top position of cross + Joystick switch button/switch axe"),
                 kRight, 2 + 3 * kStep);

  GearPanel2 = new QWidget(group);
  GearPanel2->setObjectName(QStringLiteral("GearPanel2"));
  GearPanel2->setGeometry(GearPanel1->geometry());
  Edit33 = AddKeyEdit(GearPanel2, "Edit33", QStringLiteral("Switch UP:"),
                      QStringLiteral("key to switch gear up in sequence"), kLeft, 2);
  Edit34 = AddKeyEdit(GearPanel2, "Edit34", QStringLiteral("Switch DN:"),
                      QStringLiteral("key to switch gear down in sequence"), kLeft, 2 + kStep);
  const QString sequence_hint = QStringLiteral("sequence of keys (RN1234567) for switching to");
  QLabel* sequence = AddLabel(GearPanel2, QStringLiteral("Sequence:"), kLeft.label_x, 2 + 2 * kStep,
                              sequence_hint);
  Edit35 = new QLineEdit(GearPanel2);
  Edit35->setObjectName(QStringLiteral("Edit35"));
  Edit35->setGeometry(kLeft.field_x, 2 + 2 * kStep, 100, kRowHeight);
  Edit35->setMaxLength(kSequenceLength);
  sequence_validator_ = new SequenceValidator(Edit35);
  Edit35->setValidator(sequence_validator_);
  connect(Edit35, &QLineEdit::textChanged, sequence_validator_, &SequenceValidator::SetAccepted);
  sequence->setBuddy(Edit35);
  SetHint(Edit35, sequence_hint);
  GearPanel2->hide();

  connect(GearTypeCombo, &QComboBox::currentIndexChanged, this, [this] { GearTypeComboChange(); });
}

void TSettings::BuildForceFeedback() {
  auto* group = new QGroupBox(QStringLiteral("Force Feedback"), this);
  group->setObjectName(QStringLiteral("GroupBox5"));
  group->setGeometry(357, 40, 300, 466);

  int y = 18;
  constexpr int kStep = 20;
  auto box = [&](const char* name, const char* caption, const char* hint) {
    QCheckBox* b =
        AddCheckBox(group, name, QLatin1String(caption), QLatin1String(hint), 10, y, 290);
    y += kStep;
    return b;
  };
  auto field = [&](const char* name, const char* caption, const char* hint) {
    QLabel* label = AddLabel(group, QLatin1String(caption), 28, y - 2, QLatin1String(hint));
    QLineEdit* edit = AddNumberEdit(group, name, label, 205, y, 80, kStep - 1);
    y += kStep;
    return edit;
  };

  CheckBox7 = box("CheckBox7", "Enabled",
                  "enable/disable all force feedback. if your joystick not support force "
                  "feedback leave this unchecked.");
  CheckBox9 =
      box("CheckBox9", "Cross", "enable/disable force that fit joypad in cross of shifting.");
  Edit4 = field("Edit4", "FORCE_DEATH_FREE_X",
                "0-10000 X death zone if joy is in horizontal line of cross.");
  Edit5 = field("Edit5", "FORCE_DEATH_NOFREE_X",
                "0-10000 X death zone if joy is in vertical line of cross.");
  Edit6 = field("Edit6", "FORCE_DEATH_FREE_Y",
                "0-10000 Y death zone if joy is in vertical line of cross.");
  Edit7 = field("Edit7", "FORCE_DEATH_NOFREE_Y",
                "0-10000 Y death zone if joy is in horizontal line of cross.");
  Edit14 = field("Edit14", "CROSS_FORCE_COUNT",
                 "1-2 number of forces used in cross efect. 2 multiply FORCE and SATURATION by 2");
  Edit15 = field("Edit15", "CROSS_FORCE",
                 "0-10000 index of dependence betwet force and distance from point. X and Y "
                 "direction");
  Edit16 = field("Edit16", "CROSS_SATURATION", "0-10000 maximal force in X and Y direction.");
  CheckBox8 =
      box("CheckBox8", "Damper", "enable/disable force that offer resistance on fast movents.");
  Edit8 = field("Edit8", "DAMPER_FORCE", "0-10000 index of dependence betwet force and speed.");
  Edit9 = field("Edit9", "DAMPER_SATURATION", "0-10000 maximal force.");
  CheckBox10 =
      box("CheckBox10", "Hole", "enable/disable force that pull joypad to shift's position 1-6");
  Edit10 = field("Edit10", "HOLE_FORCE_X",
                 "0-10000 index of dependence betwet force and distance from point. X direction");
  Edit11 = field("Edit11", "HOLE_SATURATION_X", "0-10000 maximal force in X direction.");
  Edit12 = field("Edit12", "HOLE_FORCE_Y",
                 "0-10000 index of dependence betwet force and distance from point. Y direction");
  Edit13 = field("Edit13", "HOLE_SATURATION_Y", "0-10000 maximal force in Y direction.");
  CheckBox1 = box("CheckBox1", "Center",
                  "enable/disable force that center joypad to center of shifting cross.");
  Edit17 = field("Edit17", "CENTER_FORCE_X",
                 "0-10000 index of dependence betwet force and distance from point. X direction");
  Edit18 = field("Edit18", "CENTER_SATURATION_X", "0-10000 maximal force in X direction.");
  Edit19 = field("Edit19", "CENTER_FORCE_Y",
                 "0-10000 index of dependence betwet force and distance from point. Y direction");
  Edit20 = field("Edit20", "CENTER_SATURATION_Y", "0-10000 maximal force in Y direction.");

  connect(CheckBox7, &QCheckBox::toggled, this, [this] { CheckBox7Click(); });
}

void TSettings::BuildButtons() {
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 512, 649, 4);

  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(489, 522, 80, 27);
  Button2->setAutoDefault(false);
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

  Button1 = new QPushButton(QStringLiteral("Save"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(577, 522, 80, 27);
  Button1->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TSettings::showEvent(QShowEvent* event) {
  // Coming back from minimised is no new show: the edits stay.
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TSettings::SetSequenceText(const QString& text) {
  sequence_validator_->SetAccepted(text);
  Edit35->setText(text);
}

void TSettings::FormShow() {
  if (!binding_.record || !binding_.timer) return;
  const SettingsFormValues v = FormValuesFromSettings(*binding_.record, binding_.timer->Interval());
  ComboBox1->setCurrentIndex(v.ComboBox1);
  ComboBox2->setCurrentIndex(v.ComboBox2);
  Edit30->setText(Q(v.Edit30));
  Edit31->setText(Q(v.Edit31));
  for (const CheckField& f : CheckFields()) {
    findChild<QCheckBox*>(QLatin1String(f.control))->setChecked(v.*f.checked);
  }
  Edit29->setText(Q(v.Edit29));
  for (QLineEdit* edit :
       {Edit17, Edit19, Edit18, Edit20, Edit1,  Edit2,  Edit3,  Edit4,  Edit5,  Edit6,
        Edit7,  Edit8,  Edit9,  Edit10, Edit11, Edit12, Edit13, Edit14, Edit15, Edit16}) {
    for (const NumberField& f : NumberFields()) {
      if (edit->objectName() == QLatin1String(f.control)) edit->setText(Q(v.*f.text));
    }
  }
  GearTypeCombo->setCurrentIndex(v.GearTypeCombo);
  GearTypeComboChange();
  SetSequenceText(Q(v.Edit35));
  Edit36->setText(Q(v.Edit36));
  Edit37->setText(Q(v.Edit37));
  for (const KeyField& f : KeyFields()) {
    findChild<KeyEdit*>(QLatin1String(f.control))->SetKeyText(Q((v.*f.value).text));
  }
}

void TSettings::CheckBox7Click() {
  if (CheckBox7->isChecked()) return;
  for (QCheckBox* box : {CheckBox9, CheckBox8, CheckBox10, CheckBox1}) box->setChecked(false);
}

void TSettings::GearTypeComboChange() {
  const int type = GearTypeCombo->currentIndex();
  if (type < 0 || type > 2) return;
  GearPanel1->setVisible(type != 2);
  GearPanel2->setVisible(type == 2);
  Edit32->setEnabled(type == 1);
  Edit36->setEnabled(type != 0);
  Edit37->setEnabled(type != 0);
}

bool TSettings::Edit35KeyPress(QChar c) {
  static const QString kPass = QStringLiteral("\brnRN1234567");
  return kPass.contains(c);
}

SettingsFormValues TSettings::FormValues() const {
  SettingsFormValues v;
  v.ComboBox1 = ComboBox1->currentIndex();
  v.ComboBox2 = ComboBox2->currentIndex();
  v.GearTypeCombo = GearTypeCombo->currentIndex();
  for (const CheckField& f : CheckFields()) {
    v.*f.checked = findChild<QCheckBox*>(QLatin1String(f.control))->isChecked();
  }
  for (const NumberField& f : NumberFields()) {
    v.*f.text = S(findChild<QLineEdit*>(QLatin1String(f.control))->text());
  }
  v.Edit35 = S(Edit35->text());
  for (const KeyField& f : KeyFields()) {
    const KeyEdit* field = findChild<KeyEdit*>(QLatin1String(f.control));
    v.*f.value = {S(field->text()), field->Captured()};
  }
  return v;
}

void TSettings::ShowMessage(MessageKind kind, const QString& text) {
  if (show_message_) show_message_(this, kind, text);
}

// Save. The record and the timer change only once the settings file has taken the new values:
// a bad field or a refused write leaves the running program, the file and the dialog's edits
// exactly as they were, so the program never runs on values that neither the file nor the
// dialog shows.
void TSettings::Button1Click() {
  ShowMessage(MessageKind::Information, QLatin1String(kSaveWarning));
  if (!binding_.record || !binding_.timer) return;

  const FormOutcome outcome =
      ApplySettingsForm(FormValues(), *binding_.record, binding_.timer->Interval());
  if (outcome.error) {
    ShowMessage(MessageKind::Error, Q(outcome.error->message));
    if (auto* field = findChild<QWidget*>(Q(outcome.error->control))) field->setFocus();
    return;
  }

  const StoredInterval interval(outcome.interval);
  if (const std::optional<std::string> problem =
          SaveSettings(outcome.settings, interval, S(Devices->currentText()), binding_.path)) {
    ShowMessage(MessageKind::Error, Q(*problem));
    return;
  }

  *binding_.record = outcome.settings;
  binding_.timer->SetInterval(outcome.interval);
  if (binding_.state && binding_.keys) {
    ApplyKeySettings(*binding_.state, *binding_.record, *binding_.keys);
  }
  if (binding_.saved) binding_.saved();
  accept();
}

void TSettings::Button2Click() {
  reject();
}

}  // namespace kestrane
