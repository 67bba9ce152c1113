#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>
#include <climits>

#include "config/settings_file.h"
#include "core/gear.h"
#include "device/no_joystick.h"
#include "ui/application.h"
#include "ui/direction_test_dialog.h"
#include "ui/position_display.h"
#include "ui/settings_dialog.h"
#include "ui/window_place.h"

// The icons live in this static library's compiled resources; referencing their initialiser keeps
// the linker from dropping them from the program.
static void InitIconResources() { Q_INIT_RESOURCE(kestrane); }

namespace kestrane {

namespace {

constexpr int kClientWidth = 274;
constexpr int kClientHeight = 397;
constexpr std::uint32_t kStartInterval = 10;
constexpr int kHintHidePauseMs = 20000;

// "Fixedsys" 27 pixels high; where it is missing, the system's monospace in bold.
QFont FixedsysFont(bool bold) {
  QFont font;
  if (QFontDatabase::hasFamily(QStringLiteral("Fixedsys"))) {
    font = QFont(QStringLiteral("Fixedsys"));
    font.setBold(bold);
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
  }
  font.setPixelSize(27);
  return font;
}

// "MS Sans Serif" at a pixel size; where it is missing, the system's sans.
QFont SansFont(int pixels, bool bold) {
  QFont font = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"))
                   ? QFont(QStringLiteral("MS Sans Serif"))
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint pos) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(pos);
  label->adjustSize();
  return label;
}

QLabel* MakePicture(QWidget* parent, const char* name, const QImage& image, QPoint pos) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->setGeometry(QRect(pos, image.size()));
  if (!image.isNull()) label->setPixmap(QPixmap::fromImage(image));
  return label;
}

void SetText(QLabel* label, const QString& text) {
  if (label->text() == text) return;
  label->setText(text);
  label->adjustSize();
}

}  // namespace

PollTimer::PollTimer(QObject* parent, std::uint32_t ms) : QTimer(parent) {
  setObjectName(QStringLiteral("DevTimer"));
  setTimerType(Qt::PreciseTimer);
  SetInterval(ms);
}

void PollTimer::SetInterval(std::uint32_t ms) {
  ms_ = ms;
  if (ms == 0) {
    stop();
  } else {
    start(static_cast<int>(std::min<std::uint32_t>(ms, INT_MAX)));
  }
  if (on_change) on_change(ms != 0);
}

void MainWindow::KeyboardSink::KeyEvent(KeyCode key, bool down) {
  if (sink_) sink_->KeyEvent(key, down);
}

void MainWindow::KeyboardSink::Wait(std::int32_t ms) {
  if (sink_) sink_->Wait(ms);
}

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)),
      keyboard_(std::move(services_.keyboard)),
      keys_(keyboard_),
      device_(*services_.input, *this, effects_) {
  InitIconResources();
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Kestrane"));
  tray_picture_ = QIcon(QStringLiteral(":/kestrane/tray.png"));
  setWindowIcon(QIcon(QStringLiteral(":/kestrane/kestrane.png")));
  BuildControls();

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }

  if (!services_.tick_log_path.empty())
    tick_log_ = std::make_unique<TickLog>(services_.tick_log_path);
  poll_timer = new PollTimer(this, kStartInterval);
  connect(poll_timer, &QTimer::timeout, this, &MainWindow::OnPollTimer);
  poll_timer->on_change = [this](bool running) {
    ShowPaused(!running);
    // Stopped on purpose is no stall; a long interval moves the limit out with it.
    if (!running) watchdog_.Rest();
    watchdog_.SetLimit(StallLimit());
    if (force_guard_) {
      if (!running) force_guard_->Rest();
      force_guard_->SetLimit(StallLimit());
    }
  };

  const bool tray = services_.tray_available.value_or(QSystemTrayIcon::isSystemTrayAvailable());
  if (tray) {
    tray_icon = new QSystemTrayIcon(tray_picture_, this);
    tray_icon->setObjectName(QStringLiteral("TrayIcon"));
    connect(tray_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              if (reason == QSystemTrayIcon::DoubleClick) RestoreFromTray();
            });
    BuildTrayMenu();
    tray_icon->show();
    // Qt reports only left double clicks on the icon; any button restores the window.
    qApp->installEventFilter(this);
  }
}

MainWindow::~MainWindow() {
  if (qApp) qApp->removeEventFilter(this);
}

void MainWindow::BuildControls() {
  setFixedSize(kClientWidth, kClientHeight);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setFont(SansFont(11, false));

  Label1 = MakeLabel(this, "Label1", QStringLiteral("Actual state:"), {12, 6});
  Label1->setFont(FixedsysFont(false));
  Label1->adjustSize();
  Label3 = MakeLabel(this, "Label3", QStringLiteral("N"), {234, 6});
  Label3->setFont(FixedsysFont(true));
  Label3->adjustSize();
  Label2 = MakeLabel(this, "Label2", QStringLiteral("Actual Position :"), {9, 36});
  // Over the pattern while no stick is read: what is wrong and what to do.
  status_hint = new QLabel(this);
  status_hint->setObjectName(QStringLiteral("StatusHint"));
  status_hint->setWordWrap(true);
  status_hint->setAlignment(Qt::AlignCenter);
  status_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_hint->setFrameStyle(QFrame::Box | QFrame::Plain);
  status_hint->setAutoFillBackground(true);
  status_hint->setBackgroundRole(QPalette::ToolTipBase);
  status_hint->setForegroundRole(QPalette::ToolTipText);
  status_hint->setMargin(6);
  status_hint->hide();

  PosPanel = new QFrame(this);
  PosPanel->setObjectName(QStringLiteral("PosPanel"));
  PosPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PosPanel->setLineWidth(1);
  PosPanel->setGeometry(10, 53, kPosPanelSize, kPosPanelSize);
  PosPanel->installEventFilter(this);
  BackImg = MakePicture(PosPanel, "BackImg", QImage(), {1, 1});
  BackImg->resize(kBackImgSize, kBackImgSize);
  Hole = MakePicture(PosPanel, "Hole", HoleImage(), kHoleStart);
  Gear = MakePicture(PosPanel, "Gear", GearImage(), kGearStart);
  Cross = MakePicture(PosPanel, "Cross", CrossImage(), kCrossStart);
  status_hint->setGeometry(PosPanel->geometry().adjusted(20, 60, -20, -60));
  status_hint->raise();

  const QFont value_font = SansFont(13, true);
  Xl = MakeLabel(this, "Xl", QStringLiteral("X:"), {17, 318});
  Yl = MakeLabel(this, "Yl", QStringLiteral("Y:"), {145, 318});
  Bl = MakeLabel(this, "Bl", QStringLiteral("B:"), {17, 336});
  Bs = MakeLabel(this, "Bs", QStringLiteral("Bstate:"), {147, 336});
  for (QLabel* label : {Xl, Yl, Bl, Bs}) {
    label->setFont(value_font);
    label->adjustSize();
  }

  bevel = new QFrame(this);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  bevel->setGeometry(0, 357, kClientWidth, 2);

  settings_button = new QPushButton(QStringLiteral("Settings..."), this);
  settings_button->setObjectName(QStringLiteral("Button1"));
  settings_button->setGeometry(189, 366, 75, 25);
  connect(settings_button, &QPushButton::clicked, this, &MainWindow::OnSettingsClicked);

  forces_button = new QPushButton(QStringLiteral("Release forces"), this);
  forces_button->setObjectName(QStringLiteral("ForcesButton"));
  forces_button->setGeometry(10, 366, 110, 25);
  forces_button->setToolTip(
      QStringLiteral("Stops every force at once and keeps them off until Restore forces"));
  connect(forces_button, &QPushButton::clicked, this,
          [this] { SetForcesReleased(!forces_released_); });

  // Shown below the rest, the window growing by its height, while the open stick is untested.
  ff_notice = MakeLabel(this, "FfNotice", QStringLiteral("Force feedback not tested yet"),
                        {12, kClientHeight});
  ff_notice->setWordWrap(true);
  ff_notice->setGeometry(12, kClientHeight, 136, 28);
  ff_notice->hide();
  ff_test_button = new QPushButton(QStringLiteral("Test directions..."), this);
  ff_test_button->setObjectName(QStringLiteral("FfTestButton"));
  ff_test_button->setGeometry(154, kClientHeight + 1, 110, 25);
  ff_test_button->hide();
  connect(ff_test_button, &QPushButton::clicked, this, [this] { RunDirectionTest(); });
}

void MainWindow::BuildTrayMenu() {
  tray_menu = new QMenu(this);
  tray_menu->setObjectName(QStringLiteral("TrayMenu"));
  show_action = tray_menu->addAction(QStringLiteral("Hide"), this, [this] {
    if (isVisible() && !isMinimized()) {
      hide();
    } else {
      RestoreFromTray();
    }
  });
  settings_action = tray_menu->addAction(QStringLiteral("Settings..."), this, [this] {
    RestoreFromTray();
    OnSettingsClicked();
  });
  tray_menu->addSeparator();
  pause_action = tray_menu->addAction(QStringLiteral("Pause shifting"), this,
                                      [this] { SetShiftingPaused(!shifting_paused_); });
  forces_action = tray_menu->addAction(QStringLiteral("Release forces"), this,
                                       [this] { SetForcesReleased(!forces_released_); });
  tray_menu->addSeparator();
  quit_action = tray_menu->addAction(QStringLiteral("Quit"), this, [this] { RequestClose(); });
  // The texts follow the state each time the menu opens.
  connect(tray_menu, &QMenu::aboutToShow, this, [this] {
    show_action->setText(isVisible() && !isMinimized() ? QStringLiteral("Hide")
                                                       : QStringLiteral("Show"));
    UpdateForceFeedbackControls();
  });
  tray_icon->setContextMenu(tray_menu);
}

void MainWindow::ApplyForces() {
  if (forces_released_ || shifting_paused_ || testing_directions_) {
    effects_.LetGo();
  } else {
    effects_.RestoreForces();
  }
}

void MainWindow::SetForcesReleased(bool released) {
  forces_released_ = released;
  ApplyForces();
  UpdateForceFeedbackControls();
  UpdateTrayToolTip();
}

void MainWindow::SetShiftingPaused(bool paused) {
  if (paused && !shifting_paused_) {
    // Nothing may stay pressed while nothing reads the stick.
    if (keys_.Held()) {
      keys_.ReleaseHeld();
      state_.SentGear = kNeutral;
    }
    shifter_.Release();
  }
  shifting_paused_ = paused;
  ApplyForces();
  if (tray_icon) {
    tray_icon->setIcon(
        paused ? QIcon(QPixmap::fromImage(tray_picture_.pixmap(QSize(32, 32))
                                              .toImage()
                                              .convertToFormat(QImage::Format_Grayscale8)))
               : tray_picture_);
  }
  UpdateForceFeedbackControls();
  ShowStatus();
}

HapticPort* MainWindow::OpenStickSprings() const {
  InputDevice* device = device_.OpenDevice();
  HapticPort* port = device ? device->Haptics() : nullptr;
  return port && port->HasSprings() ? port : nullptr;
}

std::string MainWindow::OpenStickName() const {
  const int i = device_.Selection();
  if (!device_.IsJoystickOpen() || i < 0) return {};
  return device_.List()[static_cast<std::size_t>(i)].name;
}

bool MainWindow::ForceFeedbackUntested() const {
  return record_.FORCE_FEEDBACK && OpenStickSprings() && record_.FF_TESTED_STICK != OpenStickName();
}

std::chrono::milliseconds MainWindow::StallLimit() const {
  return std::max(kEffectStallLimit,
                  std::chrono::milliseconds(3 * std::int64_t{poll_timer->Interval()}));
}

void MainWindow::SyncForceGuard() {
  const std::string path = OpenStickSprings() && device_.OpenDeviceId().rfind("/dev/input/", 0) == 0
                               ? device_.OpenDeviceId()
                               : std::string();
  if (path == force_guard_path_) return;
  force_guard_.reset();
  force_guard_path_ = path;
  if (!path.empty()) force_guard_ = StartForceGuard(path, StallLimit());
}

void MainWindow::UpdateForceFeedbackControls() {
  SyncForceGuard();
  const bool untested = ForceFeedbackUntested();
  ff_notice->setVisible(untested);
  ff_test_button->setVisible(untested);
  setFixedSize(kClientWidth, kClientHeight + (untested ? 30 : 0));
  const QString forces =
      forces_released_ ? QStringLiteral("Restore forces") : QStringLiteral("Release forces");
  forces_button->setText(forces);
  forces_button->setEnabled(OpenStickSprings() != nullptr || forces_released_);
  if (forces_action) {
    forces_action->setText(forces);
    pause_action->setText(shifting_paused_ ? QStringLiteral("Resume shifting")
                                           : QStringLiteral("Pause shifting"));
  }
}

void MainWindow::UpdateTrayToolTip() {
  if (!tray_icon) return;
  QString tip = QStringLiteral("Kestrane");
  const std::string stick = OpenStickName();
  if (const StickStatus status = CurrentStickStatus(); !status.status.isEmpty()) {
    tip += QStringLiteral(": ") + status.status.toLower();
  } else if (paused_ || shifting_paused_) {
    tip += QStringLiteral(": paused");
  } else {
    tip += QStringLiteral(": ") +
           (stick.empty() ? QStringLiteral("no stick") : QString::fromStdString(stick)) +
           QStringLiteral(", gear ") + QChar::fromLatin1(GearLetter(state_.CurrentGear));
  }
  if (forces_released_) tip += QStringLiteral(" (forces released)");
  tooltip_gear_ = GearLetter(state_.CurrentGear);
  tray_icon->setToolTip(tip);
}

void MainWindow::RunDirectionTest() {
  HapticPort* port = OpenStickSprings();
  if (!port) {
    ShowMessage(MessageKind::Error,
                "The direction test needs an open stick that plays springs: open one with force "
                "feedback in the settings first.");
    return;
  }
  const std::string stick = OpenStickName();
  const bool was_paused = shifting_paused_;
  testing_directions_ = true;
  SetShiftingPaused(true);  // the test's pulls must not shift gears; the pattern's forces stop
  std::optional<DirectionVerdict> verdict;
  {
    DirectionTestDialog dialog(*port, record_, this);
    dialog.exec();
    verdict = dialog.Verdict();
  }  // the test's spring is gone with the dialog
  testing_directions_ = false;
  SetShiftingPaused(was_paused);
  if (!verdict || !verdict->passed) return;
  SettingsSnapshot before{record_, poll_timer->Interval(), {}};
  SettingsSnapshot after = before;
  after.settings.FF_INVERT_X = *verdict->invert_x;
  after.settings.FF_INVERT_Y = *verdict->invert_y;
  after.settings.FF_TESTED_STICK = stick;
  if (auto problem = SaveChangedSettings(before, after, services_.settings_path)) {
    ShowMessage(MessageKind::Error, *problem);
    return;
  }
  record_ = after.settings;
  UpdateForceFeedbackControls();
}

void MainWindow::SetSettingsDialog(SettingsDialog* dialog) {
  settings_dialog_ = dialog;
  if (dialog) {
    dialog->Bind({&record_, poll_timer, &state_, &keys_, services_.settings_path,
                  services_.messages,
                  [this] {
                    SyncShifterDevice();
                    UpdateForceFeedbackControls();
                    DrawPattern();  // the lanes where the gears are now detected
                  },
                  [this] { RunDirectionTest(); }});
  }
}

void MainWindow::Trace(const char* step) {
  if (services_.startup_trace) services_.startup_trace(step);
}

void MainWindow::EndProgram(int code) {
  startup_exit_code_ = code;
  // Before the event loop runs the program entry reads the code; inside it, this ends the loop.
  QCoreApplication::exit(code);
}

void MainWindow::showEvent(QShowEvent* event) {
  if (first_show_pending_ && !services_.settings_path.empty()) {
    // Where it was when Kestrane ended last, if that is still on a screen.
    const QString path = WindowStatePath(QString::fromStdString(services_.settings_path));
    if (const std::optional<QPoint> saved = ReadWindowPosition(path)) {
      QList<QRect> screens;
      for (const QScreen* s : QGuiApplication::screens()) screens << s->availableGeometry();
      // The client area's place: the window manager's frame is not known before the first map.
      if (const auto usable = UsablePosition(*saved, frameGeometry().size(), screens)) {
        setGeometry(QRect(*usable, size()));
      }
    }
  }
  QWidget::showEvent(event);
  OnShown();
}

MainWindow::StickStatus MainWindow::CurrentStickStatus() const {
  if (first_show_pending_ || device_.IsJoystickOpen()) return {};
  if (device_.Lost()) {
    const QString name = QString::fromStdString(device_.LostName());
    if (!device_.WasOpened()) {
      return {QStringLiteral("Stick not connected"),
              name + QStringLiteral(" is not connected. Kestrane opens it as soon as it is "
                                    "plugged in; another stick can be chosen in Settings.")};
    }
    return {QStringLiteral("Stick disconnected"),
            name + QStringLiteral(" was unplugged. Kestrane opens it again as soon as it is "
                                  "back.")};
  }
  if (device_.List().empty()) {
    return {QStringLiteral("No joystick"),
            QStringLiteral("No joystick found: ") + QString::fromStdString(NoJoystickReason()) +
                QStringLiteral(". Then start Kestrane again.")};
  }
  return {};
}

void MainWindow::OnShown() {
  if (!first_show_pending_) return;
  first_show_pending_ = false;
  in_first_show_ = true;
  RunFirstShow();
  in_first_show_ = false;
  if (close_requested_) close();
}

void MainWindow::RequestClose() {
  close_requested_ = true;
  // A message box on screen (the start-up's) goes first, so that the request is never lost in it.
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  if (!in_first_show_) close();
}

void MainWindow::RunFirstShow() {
  SetHintHidePause(kHintHidePauseMs);

  Trace("ResetGears");
  state_.CurrentGear = kNeutral;
  state_.SentGear = kNeutral;
  state_.NeutralFlags = 0;
  state_.SwitchLatched = false;

  Trace("StartInput");
  if (!device_.StartInput()) return EndProgram(-1);

  Trace("ListJoysticks");
  if (!device_.ListJoysticks()) return EndProgram(-1);
  SyncDevicesList();

  Trace("SelectSavedJoystick");
  device_.SelectSavedJoystickByName(ReadSavedJoystick(services_.settings_path));
  SyncDevicesSelection();

  Trace("LoadSettings");
  // A settings file that cannot be written is reported, and the start goes on with the values
  // read: stopping here would leave a zeroed record that a later Save writes over the file.
  std::string kept_copy;  // a file Kestrane could not read completely is kept before the write
  if (auto problem =
          LoadSettings(record_, *poll_timer, services_.settings_path, WriteBack::Yes, &kept_copy)) {
    ShowMessage(MessageKind::Error, *problem);
  }
  if (!kept_copy.empty()) ShowMessage(MessageKind::Error, kept_copy);

  Trace("ForceFeedbackSwitch");
  ApplyForceFeedbackSwitch(record_);

  Trace("SelectFirstJoystick");
  // A remembered stick that is not plugged in is waited for rather than replaced by whatever
  // else is attached (a wheel, say); without one, the first stick is taken.
  const std::string remembered = ReadSavedJoystick(services_.settings_path);
  if (device_.Selection() < 0 && !remembered.empty()) {
    device_.AwaitJoystick(remembered);
  } else {
    device_.SelectFirstIfNone();
  }
  SyncDevicesSelection();

  Trace("CentrePositions");
  state_.StickX = state_.StickY = kAxisMiddle;
  state_.GateX = state_.GateY = kAxisMiddle;
  state_.HoleX = state_.HoleY = kAxisMiddle;

  Trace("DrawPattern");
  DrawPattern();

  Trace("OpenJoystick");
  if (!device_.OpenJoystick(record_, state_)) device_.CloseJoystick();

  if (!services_.keyboard_problem.empty())
    ShowMessage(MessageKind::Error, services_.keyboard_problem);

  if (record_.VIRTUAL_SHIFTER) {
    Trace("OpenShifter");
    SyncShifterDevice();
  }
  UpdateForceFeedbackControls();
  ShowStatus();
}

void MainWindow::SyncShifterDevice() {
  if (record_.VIRTUAL_SHIFTER == shifter_on_) return;
  shifter_on_ = record_.VIRTUAL_SHIFTER;
  if (!shifter_on_) {
    // Switched off: every button comes up, then the device goes away.
    shifter_.Attach(nullptr);
    shifter_device_.reset();
    return;
  }
  if (!services_.open_shifter) return;
  std::string problem;
  shifter_device_ = services_.open_shifter(problem);
  shifter_.Attach(shifter_device_.get());
  if (!shifter_device_) {
    if (!problem.empty()) ShowMessage(MessageKind::Error, problem);
    return;
  }
  // Switched on with a gear in: its button at once, not only at the next change.
  shifter_.Follow(state_.CurrentGear, record_);
}

void MainWindow::SyncDevicesList() {
  if (!settings_dialog_) return;
  QComboBox* devices = settings_dialog_->device_list;
  const QSignalBlocker block(devices);
  devices->clear();
  bool remembered_listed = false;
  const std::string remembered = ReadSavedJoystick(services_.settings_path);
  for (const JoystickListEntry& entry : device_.List()) {
    const QString name = QString::fromStdString(entry.name);
    devices->addItem(name, QString::fromStdString(entry.id));
    devices->setItemData(devices->count() - 1, name, SettingsDialog::kJoystickNameRole);
    remembered_listed |= name.compare(QString::fromStdString(remembered), Qt::CaseInsensitive) == 0;
  }
  // The remembered stick stays in the list while it is away, so that a Save keeps it.
  if (!remembered.empty() && !remembered_listed) {
    const QString name = QString::fromStdString(remembered);
    devices->addItem(name + QStringLiteral(" (not connected)"));
    devices->setItemData(devices->count() - 1, name, SettingsDialog::kJoystickNameRole);
  }
  devices->setCurrentIndex(-1);
}

void MainWindow::SyncDevicesSelection() {
  if (!settings_dialog_) return;
  QComboBox* devices = settings_dialog_->device_list;
  const QSignalBlocker block(devices);
  int index = device_.Selection();
  // Nothing open and the remembered stick away: its "(not connected)" entry, the last one.
  if (index < 0 && devices->count() > static_cast<int>(device_.List().size())) {
    index = devices->count() - 1;
  }
  devices->setCurrentIndex(index);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  OnClose();
  event->accept();
  if (services_.quit_on_close) QCoreApplication::quit();
}

void MainWindow::OnClose() {
  if (closed_) return;
  closed_ = true;
  // The key held down for the gear and the H-shifter's button must come up before the keyboard,
  // the H-shifter and the joystick go away.
  keys_.ReleaseHeld();
  shifter_.Attach(nullptr);
  shifter_device_.reset();
  force_guard_.reset();
  device_.StopInput();
  if (!services_.settings_path.empty() && !first_show_pending_) {
    WriteWindowPosition(WindowStatePath(QString::fromStdString(services_.settings_path)),
                        geometry().topLeft());
  }
  if (settings_dialog_) settings_dialog_->hide();
  if (tick_log_) tick_log_->Write();
}

void MainWindow::OnSettingsClicked() {
  if (!settings_dialog_) return;
  if (!settings_dialog_->isVisible() && screen()) {
    // Beside the window, so the stick can be watched while tuning.
    const QSize frame_extra = frameGeometry().size() - geometry().size();
    const SideBySide place = PlaceBeside(frameGeometry(), settings_dialog_->size() + frame_extra,
                                         screen()->availableGeometry());
    if (place.window) move(*place.window);
    settings_dialog_->move(place.dialog);
  }
  settings_dialog_->show();
  settings_dialog_->raise();
  settings_dialog_->activateWindow();
}

void MainWindow::OnPollTimer() {
  if (tick_log_) tick_log_->Mark();
  watchdog_.Beat();
  if (force_guard_) force_guard_->Beat();
  // Back from a stall (the loop blocked, the process stopped): whatever stopped the effects
  // meanwhile, they start again with this tick.
  const auto now = std::chrono::steady_clock::now();
  if (last_tick_.time_since_epoch().count() != 0 && now - last_tick_ > StallLimit()) {
    effects_.Halt();
  }
  last_tick_ = now;
  if (shifting_paused_) return;  // nothing reads the stick: no keys, no forces
  const std::uint32_t tick_ms = std::max<std::uint32_t>(poll_timer->Interval(), 1);
  PollContext ctx{state_,    record_, device_.OpenDevice(), keys_, &effects_, this,
                  &shifter_, tick_ms};
  ::kestrane::OnPollTimer(ctx);

  // A lost stick is closed (its key and button came up in the step) and looked for again every
  // half second, to be opened as it was when it comes back.
  if (device_.IsJoystickOpen() && StickLost(state_)) {
    device_.LoseJoystick();
    reconnect_wait_ms_ = 0;
    SyncForceGuard();
    ShowStatus();
  } else if (device_.Lost()) {
    reconnect_wait_ms_ += tick_ms;
    if (reconnect_wait_ms_ >= kStickLostMs) {
      reconnect_wait_ms_ = 0;
      if (device_.Reconnect(record_, state_)) {
        state_.FailedReadMs = 0;
        SyncDevicesList();
        SyncDevicesSelection();
        ShowStatus();
        UpdateForceFeedbackControls();
      }
    }
  }
  if (tray_icon && GearLetter(state_.CurrentGear) != tooltip_gear_) UpdateTrayToolTip();
}

void MainWindow::DrawPattern() {
  const QPalette& pal = palette();
  BackImg->setPixmap(
      QPixmap::fromImage(DrawPatternImage(record_.JOY_GEAR_WIDTH, record_.JOY_GEAR_HEIGHT,
                                          PatternBackgroundColor(pal), PatternFillColor(pal))));
}

bool MainWindow::IsMainWindowActive() const {
  return QApplication::activeWindow() == this;
}

void MainWindow::UpdateDisplay(const ShiftState& state) {
  const MarkerPositions pos = MarkerPositionsFor(state);
  Cross->move(pos.cross);
  Gear->move(pos.gear);
  Hole->move(pos.hole);
  const DisplayTexts texts = DisplayTextsFor(state);
  const bool changed = Xl->text() != texts.x || Yl->text() != texts.y || Bl->text() != texts.b ||
                       Bs->text() != texts.bstate || Label3->text() != texts.gear;
  SetText(Xl, texts.x);
  SetText(Yl, texts.y);
  SetText(Bl, texts.b);
  SetText(Bs, texts.bstate);
  SetText(Label3, texts.gear);
  if (changed && !services_.display_dump_path.isEmpty()) DumpDisplay();
}

void MainWindow::ShowPaused(bool paused) {
  if (paused) {
    // Mode 0 holds the gear's key: let go of it, and press it again when polling resumes.
    if (keys_.Held()) {
      keys_.ReleaseHeld();
      state_.SentGear = kNeutral;
    }
    shifter_.Release();
  }
  paused_ = paused;
  ShowStatus();
}

void MainWindow::ShowStatus() {
  const StickStatus stick = CurrentStickStatus();
  const QString status = !stick.status.isEmpty()       ? stick.status
                         : paused_ || shifting_paused_ ? QStringLiteral("Shifting paused")
                                                       : QString();
  // In place of "Actual state: N", in a narrower type, so that it fits the window.
  Label1->setFont(status.isEmpty() ? FixedsysFont(false) : SansFont(13, true));
  Label1->setText(status.isEmpty() ? QStringLiteral("Actual state:") : status);
  Label1->adjustSize();
  Label3->setVisible(status.isEmpty());
  status_hint->setText(stick.hint);
  status_hint->setVisible(!stick.hint.isEmpty());
  UpdateTrayToolTip();
  if (!services_.display_dump_path.isEmpty()) DumpDisplay();
}

void MainWindow::DumpDisplay() {
  QSaveFile file(services_.display_dump_path);
  if (!file.open(QIODevice::WriteOnly)) return;
  const QString text =
      QStringLiteral("Label3=%1\nXl=%2\nYl=%3\nBl=%4\nBs=%5\nLabel1=%6\nHint=%7\n")
          .arg(Label3->text(), Xl->text(), Yl->text(), Bl->text(), Bs->text(), Label1->text(),
               status_hint->isVisibleTo(this) ? status_hint->text() : QString());
  file.write(text.toUtf8());
  file.commit();
}

void MainWindow::ShowMessage(MessageKind kind, const std::string& text) {
  if (close_requested_) {  // ending: no more boxes to wait on
    StandardErrorMessages().ShowMessage(kind, text);
    return;
  }
  if (services_.messages) {
    services_.messages->ShowMessage(kind, text);
    return;
  }
  const QString qtext = QString::fromStdString(text);
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrane"), qtext, QMessageBox::Ok,
                  isVisible() ? this : nullptr);
  // The commands in a message can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.exec();
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !tray_icon) return;
  if (windowState() & Qt::WindowMinimized) {
    // Hidden, the window has no taskbar entry; the tray icon brings it back. Hiding is left to
    // the event loop so that the window system finishes the minimise first.
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) hide();
    });
  }
}

void MainWindow::RestoreFromTray() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PosPanel && services_.virtual_stick) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
        type == QEvent::MouseButtonRelease || type == QEvent::MouseMove) {
      // A second press soon after a first one comes as a double click: it is a press all the same.
      const bool press = type != QEvent::MouseButtonRelease && type != QEvent::MouseMove;
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint pos = mouse->position().toPoint();
      if (type != QEvent::MouseMove && mouse->button() == Qt::RightButton) {
        services_.virtual_stick->SetButton(0, press);
      } else if (press && mouse->button() == Qt::LeftButton) {
        dragging_ = true;
        DriveVirtualStick(pos);
      } else if (type == QEvent::MouseMove && dragging_ && (mouse->buttons() & Qt::LeftButton)) {
        DriveVirtualStick(pos);
      } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
        dragging_ = false;  // the stick stays where it was let go
      }
      return true;
    }
  }
  if (tray_icon && event->type() == QEvent::MouseButtonDblClick &&
      watched->inherits("QSystemTrayIconSys")) {
    RestoreFromTray();
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::DriveVirtualStick(QPoint panel_pos) {
  const RawAxes axes = PointerToRawAxes(panel_pos, record_);
  services_.virtual_stick->SetAxis(0, axes.x);
  services_.virtual_stick->SetAxis(1, axes.y);
}

}  // namespace kestrane
