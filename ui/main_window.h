#pragma once

#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/setting_keys.h"
#include "core/effect_watchdog.h"
#include "core/effects.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "core/shift_state.h"
#include "core/shifter_buttons.h"
#include "device/force_guard.h"
#include "device/joystick_device.h"
#include "ui/tick_log.h"

class QAction;
class QFrame;
class QMenu;
class QLabel;
class QPushButton;
class QSystemTrayIcon;

namespace kestrane {

class InputPlatform;
class SettingsDialog;

// The polling timer: a Qt timer on the user-interface thread whose interval the settings set.
// 0 stops it, any other value (re)starts it with that period. It keeps ticking while the window
// is hidden.
class PollTimer final : public QTimer, public IntervalTimer {
 public:
  explicit PollTimer(QObject* parent, std::uint32_t ms);
  void SetInterval(std::uint32_t ms) override;
  std::uint32_t Interval() const override { return ms_; }
  // Called after every SetInterval with whether the timer runs.
  std::function<void(bool running)> on_change;

 private:
  std::uint32_t ms_ = 0;
};

// What the main window works with besides its own members. The program passes the real ones;
// tests pass scripted ones.
struct MainWindowServices {
  InputPlatform* input = nullptr;     // the joystick platform (required)
  std::unique_ptr<KeySink> keyboard;  // the system keyboard; null drops every key
  std::string keyboard_problem;       // shown once at the first show when not empty
  // Creates the virtual H-shifter while VIRTUAL_SHIFTER is on: at the first show, and when a
  // Save switches it on. On failure it returns null and a message, shown once. Unset: no device
  // (the gear buttons are only tracked).
  std::function<std::unique_ptr<ShifterPort>(std::string& problem)> open_shifter;
  std::string settings_path;              // Kestrane.ini
  VirtualStick* virtual_stick = nullptr;  // dragging on PosPanel moves it when set
  // Where messages go; unset: a modal message box with an OK button.
  MessageSink* messages = nullptr;
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

// The main window: owns the configuration record, the Shift state, the polling timer, the
// joystick device with its effects and the keystroke output; shows the position display.
class MainWindow final : public QWidget, public DisplayPort, public MessageSink {
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
  // MessageSink
  void ShowMessage(MessageKind kind, const std::string& text) override;

  Settings& Record() { return record_; }
  ShiftState& State() { return state_; }
  IntervalTimer& Timer() { return *poll_timer; }
  JoystickDevice& Device() { return device_; }
  KeyOutput& Keys() { return keys_; }
  ShifterOutput& Shifter() { return shifter_; }
  QSystemTrayIcon* Tray() const { return tray_icon; }

  // Handlers, named after their control and event.
  void OnShown();
  void OnClose();
  void OnSettingsClicked();
  void OnPollTimer();
  void DrawPattern();
  // Closes the window as its close button does, at once whatever is on screen: an open message
  // box is closed first, and during the first show the close follows its end.
  void RequestClose();
  bool CloseRequested() const { return close_requested_; }
  // Brings the window back from the notification area to the front.
  void RestoreFromTray();

  // "Release forces" / "Restore forces": every effect stopped and kept off, or back on.
  void SetForcesReleased(bool released);
  bool ForcesReleased() const { return forces_released_; }
  // "Pause shifting": no ticks read the stick, held keys and buttons let go, forces off.
  void SetShiftingPaused(bool paused);
  bool ShiftingPaused() const { return shifting_paused_; }
  // The force-feedback direction test on the open stick, as a modal dialog; a passed test saves
  // FF_INVERT_X, FF_INVERT_Y and FF_TESTED_STICK.
  void RunDirectionTest();
  // The open stick plays springs but has not passed the direction test.
  bool ForceFeedbackUntested() const;

  // Controls.
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* status_hint = nullptr;  // over the pattern: why no stick is read, and what to do
  QFrame* PosPanel = nullptr;
  QLabel* BackImg = nullptr;
  QLabel* Hole = nullptr;
  QLabel* Gear = nullptr;
  QLabel* Cross = nullptr;
  QLabel* Xl = nullptr;
  QLabel* Yl = nullptr;
  QLabel* Bl = nullptr;
  QLabel* Bs = nullptr;
  QFrame* bevel = nullptr;
  QPushButton* settings_button = nullptr;
  QPushButton* forces_button = nullptr;   // Release forces / Restore forces
  QLabel* ff_notice = nullptr;            // "Force feedback not tested yet"
  QPushButton* ff_test_button = nullptr;  // runs the direction test
  QMenu* tray_menu = nullptr;
  QAction* show_action = nullptr;
  QAction* settings_action = nullptr;
  QAction* pause_action = nullptr;
  QAction* forces_action = nullptr;
  QAction* quit_action = nullptr;
  PollTimer* poll_timer = nullptr;
  QSystemTrayIcon* tray_icon = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Forwards to the system keyboard, or drops the keys when there is none.
  class KeyboardSink final : public KeySink {
   public:
    explicit KeyboardSink(std::unique_ptr<KeySink> sink) : sink_(std::move(sink)) {}
    void KeyEvent(KeyCode key, bool down) override;
    void Wait(std::int32_t ms) override;

   private:
    std::unique_ptr<KeySink> sink_;
  };

  void BuildControls();
  void RunFirstShow();
  void Trace(const char* step);
  void EndProgram(int code);
  void SyncDevicesList();
  void SyncDevicesSelection();
  void DriveVirtualStick(QPoint panel_pos);
  void DumpDisplay();
  // Creates or releases the virtual H-shifter when VIRTUAL_SHIFTER has changed.
  void SyncShifterDevice();
  // Polling stopped (CHECK_INTERVAL 0) or started again: a stopped shifter holds no key and no
  // button, and says so in the window and the tray tooltip.
  void ShowPaused(bool paused);
  // "paused" or "stick disconnected" beside "Actual state:" and in the tray tooltip, or neither.
  void ShowStatus();
  // Forces on unless released, shifting paused or the direction test runs.
  void ApplyForces();
  void BuildTrayMenu();
  // The notice of an untested stick, the window's height with it, the menu's texts.
  void UpdateForceFeedbackControls();
  // The tray icon's tooltip: the stick and the gear, or what stops the shifting.
  void UpdateTrayToolTip();
  HapticPort* OpenStickSprings() const;  // the open stick's haptics when it plays springs
  // A force guard for the open stick while it plays springs, none otherwise.
  void SyncForceGuard();
  std::chrono::milliseconds StallLimit() const;
  std::string OpenStickName() const;
  // Why no stick is read (short, for "Actual state"), and the longer hint; both empty while one is.
  struct StickStatus {
    QString status;
    QString hint;
  };
  StickStatus CurrentStickStatus() const;

  MainWindowServices services_;
  Settings record_{};
  ShiftState state_{};
  ForceFeedback effects_;
  // Stops the effects when this window's event loop stalls; declared after them, so it ends first.
  EffectWatchdog watchdog_{effects_};
  KeyboardSink keyboard_;
  KeyOutput keys_;
  std::unique_ptr<ShifterPort> shifter_device_;
  std::unique_ptr<TickLog> tick_log_;
  ShifterOutput shifter_;
  bool shifter_on_ = false;  // the VIRTUAL_SHIFTER the device was last made or released for
  JoystickDevice device_;
  SettingsDialog* settings_dialog_ = nullptr;
  bool first_show_pending_ = true;
  bool closed_ = false;
  bool in_first_show_ = false;
  bool paused_ = false;
  bool forces_released_ = false;
  bool shifting_paused_ = false;
  bool testing_directions_ = false;
  char tooltip_gear_ = 0;  // the gear letter the tooltip shows
  std::unique_ptr<ForceGuard> force_guard_;
  std::string force_guard_path_;
  std::chrono::steady_clock::time_point last_tick_{};
  std::uint32_t reconnect_wait_ms_ = 0;  // since the lost stick was last looked for
  bool close_requested_ = false;
  bool dragging_ = false;
  std::optional<int> startup_exit_code_;
  QIcon tray_picture_;
};

}  // namespace kestrane
