#pragma once

#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/engine.h"
#include "ui/tick_log.h"
#include "ui/tray_icon.h"

class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;

namespace kestrane {

class InputPlatform;
class PositionPanel;
class SettingsDialog;
class TrayIcon;
class VirtualStick;

// The polling timer: a Qt timer on the user-interface thread whose interval the settings set.
// 0 stops it, any other value (re)starts it with that period. It keeps ticking while the window
// is hidden, unless the engine rests it. It is also the engine's loop: ticks asked for from any
// thread, or once after a delay, call on_tick on the user-interface thread as well.
class PollTimer final : public QTimer, public IntervalTimer, public EngineLoop {
 public:
  explicit PollTimer(QObject* parent, std::uint32_t ms);
  void SetInterval(std::uint32_t ms) override;
  std::uint32_t Interval() const override { return ms_; }
  void TickSoon() override;
  void TickIn(std::chrono::milliseconds delay) override;
  void SetPolling(bool on) override;
  // Called after every SetInterval.
  std::function<void()> on_change;
  // Every tick: the timer's, and those asked for.
  std::function<void()> on_tick;

 private:
  void Restart();
  std::uint32_t ms_ = 0;
  bool polling_ = true;
  std::atomic<bool> tick_posted_{false};
  QTimer* once_ = nullptr;
};

// What the main window works with besides its own members. The program passes the real ones;
// tests pass scripted ones.
struct MainWindowServices {
  InputPlatform* input = nullptr;  // the joystick platform (required)
  // Opens the system keyboard (problems found while typing go to `report`); unset drops keys.
  std::function<std::unique_ptr<KeySink>(std::string& problem, MessageSink& report)> open_keyboard;
  // Creates the virtual H-shifter while VIRTUAL_SHIFTER is on (null and a message on failure).
  std::function<std::unique_ptr<ShifterPort>(std::string& problem)> open_shifter;
  // Starts the force guard of a stick's device node; unset: none.
  std::function<std::unique_ptr<ForceGuard>(const std::string&, std::chrono::milliseconds)>
      start_force_guard;
  std::string settings_path;              // Kestrane.ini
  VirtualStick* virtual_stick = nullptr;  // dragging on PosPanel moves it when set
  // Where messages go; unset: a modal message box with an OK button.
  MessageSink* messages = nullptr;
  // Swallowed errors; unset: the "kestrane.engine" logging category.
  LogSink* log = nullptr;
  // Whether the desktop has a notification area; unset asks Qt.
  std::optional<bool> tray_available;
  // When set, the label texts are written to this file after every display update that changed
  // one of them (for the end-to-end tests).
  QString display_dump_path;
  // When set, the timer's ticks are timestamped and written to this file at the end.
  std::string tick_log_path;
  // Called with the name of each start-up step as it begins (for the tests).
  std::function<void(const char*)> startup_trace;
  // Closing the window ends the event loop (the program; tests keep their loop).
  bool quit_on_close = false;
};

// The main window: a view of the engine (the position display, the gear, why no stick is read)
// and its controls; the tray icon and the settings dialog hang off it.
class MainWindow final : public QWidget, public DisplayPort, public MessageSink, public EngineView {
  Q_OBJECT

 public:
  explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The settings dialog; must be attached before the first show.
  void SetSettingsDialog(SettingsDialog* dialog);

  // Set when a start-up failure of the input service asked the program to end (-1).
  std::optional<int> StartupExitCode() const { return startup_exit_code_; }

  // DisplayPort
  bool IsMainWindowActive() const override;
  void UpdateDisplay(const ShiftState& state) override;
  // MessageSink: a box (or the services' sink), never from inside a tick.
  void ShowMessage(MessageKind kind, const std::string& text) override;
  // EngineView
  void PatternChanged() override;
  void DevicesChanged() override;
  void StatusChanged() override;
  void GearChanged() override;
  void NoticesWaiting() override;

  Engine& GetEngine() { return *engine_; }
  Settings& Record() { return engine_->Record(); }
  ShiftState& State() { return engine_->Shift(); }
  IntervalTimer& Timer() { return *poll_timer; }
  JoystickDevice& Device() { return engine_->Device(); }
  KeyOutput& Keys() { return engine_->Keys(); }
  ShifterOutput& Shifter() { return engine_->Shifter(); }
  QSystemTrayIcon* Tray() const;
  QMenu* TrayMenu() const;

  void OnShown();
  void OnClose();
  void OnSettingsClicked();
  void OnPollTimer();
  void DrawPattern();
  // Closes the window as its close button does, at once whatever is on screen: an open message
  // box or direction test is closed first, and during the first show the close follows its end.
  void RequestClose();
  bool CloseRequested() const { return close_requested_; }
  // Brings the window back from the notification area to the front.
  void RestoreFromTray();

  void SetForcesReleased(bool released) { engine_->SetForcesReleased(released); }
  bool ForcesReleased() const { return engine_->ForcesReleased(); }
  void SetShiftingPaused(bool paused) { engine_->SetShiftingPaused(paused); }
  bool ShiftingPaused() const { return engine_->ShiftingPaused(); }
  // The force-feedback direction test on the open stick, as a modal dialog.
  void RunDirectionTest();
  bool ForceFeedbackUntested() const { return engine_->ForceFeedbackUntested(); }

  // Controls.
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* status_hint = nullptr;  // over the pattern: why no stick is read, and what to do
  PositionPanel* PosPanel = nullptr;
  QLabel* Xl = nullptr;
  QLabel* Yl = nullptr;
  QLabel* Bl = nullptr;
  QLabel* Bs = nullptr;
  QPushButton* settings_button = nullptr;
  QPushButton* forces_button = nullptr;   // Release forces / Restore forces
  QLabel* ff_notice = nullptr;            // "Force feedback not tested yet"
  QPushButton* ff_test_button = nullptr;  // runs the direction test
  PollTimer* poll_timer = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildControls();
  void ShowNotices();
  void DumpDisplay();
  // The status line, the hint over the pattern, the force-feedback controls and the tray.
  void ShowStatus();

  MainWindowServices services_;
  std::unique_ptr<LogSink> log_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<TickLog> tick_log_;
  TrayIcon* tray_ = nullptr;
  SettingsDialog* settings_dialog_ = nullptr;
  bool first_show_pending_ = true;
  bool closed_ = false;
  bool in_first_show_ = false;
  bool in_direction_test_ = false;
  bool showing_notices_ = false;
  bool close_requested_ = false;
  std::optional<int> startup_exit_code_;
};

}  // namespace kestrane
