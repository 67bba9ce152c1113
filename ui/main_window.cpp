#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>
#include <climits>

#include "config/settings_file.h"
#include "ui/application.h"
#include "ui/direction_test_dialog.h"
#include "ui/position_display.h"
#include "ui/position_panel.h"
#include "ui/settings_dialog.h"
#include "ui/status_texts.h"
#include "ui/tray_icon.h"
#include "ui/virtual_stick_drag.h"
#include "ui/window_place.h"
#include "ui/window_style.h"

// The icons live in this static library's compiled resources; referencing their initialiser keeps
// the linker from dropping them from the program.
static void InitIconResources() {
  Q_INIT_RESOURCE(kestrane);
}

Q_LOGGING_CATEGORY(kestraneEngine, "kestrane.engine")

namespace kestrane {

namespace {

constexpr int kClientWidth = 274;
constexpr int kClientHeight = 397;
constexpr std::uint32_t kStartInterval = 10;  // until the settings set CHECK_INTERVAL
constexpr int kHintHidePauseMs = 20000;

// Errors the engine swallowed, into Qt's log.
class QtLog final : public LogSink {
 public:
  void Log(const std::string& text) override { qCWarning(kestraneEngine, "%s", text.c_str()); }
};

}  // namespace

PollTimer::PollTimer(QObject* parent, std::uint32_t ms) : QTimer(parent) {
  setObjectName(QStringLiteral("DevTimer"));
  setTimerType(Qt::PreciseTimer);
  once_ = new QTimer(this);
  once_->setSingleShot(true);
  once_->setTimerType(Qt::PreciseTimer);
  const auto tick = [this] {
    if (on_tick) on_tick();
  };
  connect(this, &QTimer::timeout, this, tick);
  connect(once_, &QTimer::timeout, this, tick);
  SetInterval(ms);
}

void PollTimer::Restart() {
  if (ms_ == 0 || !polling_) {
    stop();
  } else {
    start(static_cast<int>(std::min<std::uint32_t>(ms_, INT_MAX)));
  }
}

void PollTimer::SetInterval(std::uint32_t ms) {
  ms_ = ms;
  Restart();
  if (on_change) on_change();
}

void PollTimer::TickSoon() {
  // One posted tick at a time: a burst of reports makes one look, which reads them all.
  if (tick_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        tick_posted_ = false;
        if (on_tick) on_tick();
      },
      Qt::QueuedConnection);
}

void PollTimer::TickIn(std::chrono::milliseconds delay) {
  once_->start(static_cast<int>(std::clamp<std::int64_t>(delay.count(), 0, INT_MAX)));
}

void PollTimer::SetPolling(bool on) {
  if (on == polling_) return;
  polling_ = on;
  Restart();
}

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)) {
  InitIconResources();
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Kestrane"));
  const QIcon tray_picture(QStringLiteral(":/kestrane/tray.png"));
  setWindowIcon(QIcon(QStringLiteral(":/kestrane/kestrane.png")));
  BuildControls();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  if (!services_.tick_log_path.empty())
    tick_log_ = std::make_unique<TickLog>(services_.tick_log_path);
  poll_timer = new PollTimer(this, kStartInterval);
  poll_timer->on_tick = [this] { OnPollTimer(); };

  if (!services_.log) log_ = std::make_unique<QtLog>();
  EngineServices engine_services;
  engine_services.input = services_.input;
  engine_services.timer = poll_timer;
  engine_services.loop = poll_timer;
  engine_services.open_keyboard = services_.open_keyboard;
  engine_services.open_shifter = services_.open_shifter;
  engine_services.start_force_guard = services_.start_force_guard;
  engine_services.settings_path = services_.settings_path;
  engine_services.log = services_.log ? services_.log : log_.get();
  engine_services.startup_trace = services_.startup_trace;
  engine_ = std::make_unique<Engine>(std::move(engine_services));
  engine_->SetView(this, this);
  if (services_.virtual_stick) new VirtualStickDrag(PosPanel, *services_.virtual_stick, Record());
  poll_timer->on_change = [this] { engine_->IntervalChanged(); };

  if (services_.tray_available.value_or(QSystemTrayIcon::isSystemTrayAvailable())) {
    tray_ = new TrayIcon(
        tray_picture,
        {[this] { isVisible() && !isMinimized() ? hide() : RestoreFromTray(); },
         [this] {
           RestoreFromTray();
           OnSettingsClicked();
         },
         [this] { SetShiftingPaused(!ShiftingPaused()); },
         [this] { SetForcesReleased(!ForcesReleased()); }, [this] { RequestClose(); },
         [this] { RestoreFromTray(); }},
        [this] { return TrayStatusOf(*engine_, isVisible() && !isMinimized()); }, this);
  }
}

MainWindow::~MainWindow() {
  engine_->SetView(nullptr, nullptr);
}

QSystemTrayIcon* MainWindow::Tray() const {
  return tray_ ? tray_->Icon() : nullptr;
}

QMenu* MainWindow::TrayMenu() const {
  return tray_ ? tray_->Menu() : nullptr;
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

  PosPanel = new PositionPanel(this);
  PosPanel->move(10, 53);
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

  auto* bevel = new QFrame(this);
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
          [this] { SetForcesReleased(!ForcesReleased()); });

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

void MainWindow::RunDirectionTest() {
  in_direction_test_ = true;
  RunDirectionTestFlow(*engine_, this, *this);
  in_direction_test_ = false;
  if (close_requested_) close();
}

void MainWindow::SetSettingsDialog(SettingsDialog* dialog) {
  settings_dialog_ = dialog;
  if (!dialog) return;
  dialog->Bind({&Record(), poll_timer, &State(), &Keys(), services_.settings_path,
                services_.messages,
                [this](const Settings& before) {
                  engine_->SettingsSaved(before);
                  ShowNotices();
                },
                [this] { RunDirectionTest(); }});
}

void MainWindow::showEvent(QShowEvent* event) {
  if (first_show_pending_ && !services_.settings_path.empty()) {
    // Where it was when Kestrane ended last, if that is still on a screen.
    const std::string path = WindowStatePath(services_.settings_path);
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

void MainWindow::OnShown() {
  if (!first_show_pending_) return;
  first_show_pending_ = false;
  in_first_show_ = true;
  SetHintHidePause(kHintHidePauseMs);
  if (!engine_->Start()) {
    startup_exit_code_ = -1;
    ShowNotices();
    // Before the event loop runs the program entry reads the code; inside it, this ends the loop.
    QCoreApplication::exit(-1);
  } else {
    ShowNotices();
  }
  in_first_show_ = false;
  if (close_requested_) close();
}

void MainWindow::RequestClose() {
  close_requested_ = true;
  // A box or the direction test on screen goes first, so that the request is never lost in it.
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  if (!in_first_show_ && !in_direction_test_) close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  OnClose();
  event->accept();
  if (services_.quit_on_close) QCoreApplication::quit();
}

void MainWindow::OnClose() {
  if (closed_) return;
  closed_ = true;
  engine_->Stop();
  if (!services_.settings_path.empty() && !first_show_pending_) {
    WriteWindowPosition(WindowStatePath(services_.settings_path), geometry().topLeft());
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
  engine_->Tick();
}

void MainWindow::DrawPattern() {
  PosPanel->DrawPattern(Record());
}

bool MainWindow::IsMainWindowActive() const {
  return QApplication::activeWindow() == this;
}

void MainWindow::UpdateDisplay(const ShiftState& state) {
  PosPanel->ShowMarkers(state);
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

void MainWindow::PatternChanged() {
  DrawPattern();
}

void MainWindow::DevicesChanged() {
  if (settings_dialog_) {
    settings_dialog_->ShowDevices(Device().List(), Device().Selection(),
                                  engine_->RememberedStick());
  }
  ShowStatus();
}

void MainWindow::StatusChanged() {
  ShowStatus();
}

void MainWindow::GearChanged() {
  if (tray_) tray_->Refresh();
}

void MainWindow::NoticesWaiting() {
  // Shown from the event loop, never inside the tick (or the thread) that found them.
  QMetaObject::invokeMethod(
      this, [this] { ShowNotices(); }, Qt::QueuedConnection);
}

void MainWindow::ShowNotices() {
  if (showing_notices_) return;  // a box's own loop: the outer call shows the rest
  showing_notices_ = true;
  for (auto batch = engine_->TakeNotices(); !batch.empty(); batch = engine_->TakeNotices()) {
    for (const Notice& notice : batch) ShowMessage(notice.kind, notice.text);
  }
  showing_notices_ = false;
}

void MainWindow::ShowStatus() {
  const StickStatus stick = StickStatusOf(*engine_);
  const QString status = StatusLineOf(*engine_);
  // In place of "Actual state: N", in a narrower type, so that it fits the window.
  Label1->setFont(status.isEmpty() ? FixedsysFont(false) : SansFont(13, true));
  Label1->setText(status.isEmpty() ? QStringLiteral("Actual state:") : status);
  Label1->adjustSize();
  Label3->setVisible(status.isEmpty());
  status_hint->setText(stick.hint);
  status_hint->setVisible(!stick.hint.isEmpty());
  // The notice of an untested stick, the window's height with it, the forces button.
  const bool untested = engine_->ForceFeedbackUntested();
  ff_notice->setVisible(untested);
  ff_test_button->setVisible(untested);
  setFixedSize(kClientWidth, kClientHeight + (untested ? 30 : 0));
  forces_button->setText(ForcesReleased() ? QStringLiteral("Restore forces")
                                          : QStringLiteral("Release forces"));
  forces_button->setEnabled(engine_->OpenStickSprings() != nullptr || ForcesReleased());
  if (tray_) tray_->Refresh();
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
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrane"), QString::fromStdString(text),
                  QMessageBox::Ok, isVisible() ? this : nullptr);
  // The commands in a message can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.exec();
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !tray_) return;
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

}  // namespace kestrane
