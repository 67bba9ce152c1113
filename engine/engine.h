#pragma once

// The running gearbox without a window: the settings record, the shift state, the stick and its
// reconnection, the effects with their watchdog and force guard, the key output and the virtual
// H-shifter. The window program and kestrane-cli drive it through a timer (IntervalTimer) and
// Tick(); it tells its view what changed and queues every message instead of showing it.
// Rule: nothing here waits on the player; everything Kestrane changed outside itself is given
// back by Stop(). docs/architecture.md has the state diagram.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "core/direction_test.h"
#include "core/effect_watchdog.h"
#include "core/effects.h"
#include "core/keystroke_output.h"
#include "core/messages.h"
#include "core/polling_cycle.h"
#include "core/shift_state.h"
#include "core/shifter_buttons.h"
#include "device/force_guard.h"
#include "device/joystick_device.h"
#include "engine/notices.h"

namespace kestrane {

enum class RunState : std::uint8_t {
  Starting,       // before Start
  Running,        // a stick is open and read on every tick
  StickAway,      // no stick open: none attached, the remembered one away, or the open one lost
  Paused,         // "Pause shifting" or CHECK_INTERVAL 0: nothing read, nothing held, no forces
  DirectionTest,  // the direction test has the stick; nothing read, nothing held
  Stopped,        // ended, or the start failed
};

// Why no stick is read.
enum class StickAbsence : std::uint8_t {
  None,          // one is open, the start has not looked yet, or the one listed would not open
  NoneAttached,  // no joystick at all; the first one plugged in is opened
  NotConnected,  // the remembered stick has not been seen since the start
  Disconnected,  // the open stick went away
};

// Steps of the shifting rules on one reading of the stick: enough for any move to settle (the
// lane step, the slot step, the hole, and one that changes nothing).
inline constexpr int kSettleSteps = 4;
// A stick that cannot say when it reports is read every millisecond while it moves, and at the
// polling interval again once its readings stayed the same this long.
inline constexpr std::chrono::milliseconds kFastLookHold{250};
inline constexpr std::chrono::milliseconds kFastLookInterval{1};
// With no stick open and no word of devices coming and going, the engine looks for one this often.
inline constexpr std::chrono::milliseconds kAwayLookInterval{500};
// After word of a device coming or going, the polling timer runs this long: the input library
// may take in the device a little after the word.
inline constexpr std::chrono::milliseconds kHotplugSettle{2000};

// The force guard hears a heartbeat at most this often (its limit is kEffectStallLimit or more).
inline constexpr std::chrono::milliseconds kGuardBeatEvery{20};

// How long a lost stick is waited for by its identity before another of the same name (a twin)
// may take its place.
inline constexpr std::chrono::milliseconds kTwinGrace{3000};

// What the engine tells the window (or nobody). Called on the engine's thread, except
// NoticesWaiting, which may come from any thread.
class EngineView {
 public:
  virtual ~EngineView() = default;
  virtual void PatternChanged() {}  // the pattern's geometry is loaded or changed: redraw it
  virtual void DevicesChanged() {}  // the device list, the selection or the open stick changed
  virtual void StatusChanged() {}   // the run state, the forces or the stick's absence changed
  virtual void GearChanged() {}     // CurrentGear changed on a tick
  // After every tick that looked at the stick: what it read, or nullptr when the read failed or
  // no stick is open; called once per step of the shifting rules taken on the reading.
  virtual void StickRead(const StickSample* sample) { (void)sample; }
  virtual void NoticesWaiting() {}  // TakeNotices has something: show it after this call returns
};

// The engine's thread as the engine sees it, beside the polling timer: the window program's event
// loop, or nothing (tools that tick on their own pace).
class EngineLoop {
 public:
  virtual ~EngineLoop() = default;
  // From any thread: Engine::Tick runs soon on the engine's thread; calls before it runs make one.
  virtual void TickSoon() = 0;
  // Engine::Tick runs once, `delay` from now, replacing the previous such request.
  virtual void TickIn(std::chrono::milliseconds delay) = 0;
  // Whether the polling timer ticks at its interval (it rests while nothing needs a look).
  virtual void SetPolling(bool on) = 0;
};

struct EngineServices {
  InputPlatform* input = nullptr;  // required
  IntervalTimer* timer = nullptr;  // required: the polling timer whose ticks call Tick
  // Unset: the engine looks only on the timer's ticks (one step each); set, it also looks when
  // the stick reports or devices come and go, and settles each reading (kSettleSteps).
  EngineLoop* loop = nullptr;
  // Steps of the shifting rules per reading (kestrane-cli replay: 1, one per trace line).
  int settle_steps = kSettleSteps;
  // Opens the keyboard; later problems go to `report` (the notices). Unset: keys are dropped.
  std::function<std::unique_ptr<KeySink>(std::string& problem, MessageSink& report)> open_keyboard;
  // Creates the virtual H-shifter while VIRTUAL_SHIFTER is on; null and a message on failure.
  std::function<std::unique_ptr<ShifterPort>(std::string& problem)> open_shifter;
  // Starts a force guard for a stick's device node; unset: none.
  std::function<std::unique_ptr<ForceGuard>(const std::string& node,
                                            std::chrono::milliseconds limit)>
      start_force_guard;
  std::string settings_path;  // Kestrane.ini; empty: defaults, nothing written
  // The record to run on instead of the file's, which is then only read for JOYSTICK and written
  // by EndDirectionTest (kestrane-cli ff-test).
  std::optional<Settings> settings;
  // Picks the stick Start opens from the list (-1: none); unset: the remembered one, else the
  // first, else the first plugged in.
  std::function<int(JoystickDevice& device)> choose_stick;
  LogSink* log = nullptr;  // swallowed errors; unset: standard error
  std::function<std::chrono::steady_clock::time_point()> now;  // unset: the steady clock
  std::function<void(const char*)> startup_trace;              // each start-up step's name
};

class Engine final {
 public:
  explicit Engine(EngineServices services);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine();  // Stop()

  void SetView(EngineView* view, DisplayPort* display);

  // Input service, device list, settings file, stick, H-shifter. False when the input service
  // failed (its message is among the notices): the program ends with status -1.
  bool Start();
  // One look: a tick of the polling timer, a report of the stick, or word of devices.
  void Tick();
  // Every ending: held key and button up, H-shifter removed, force guard ended, the stick given
  // back (effects removed, its own centring and gain restored), input stopped. Idempotent.
  void Stop();

  // The process is about to stop (SIGTSTP): nothing stays held or pulling while it stands still;
  // returns once the key is up.
  void Suspend();
  // Continued (SIGCONT): the gear in is sent again and the forces come back.
  void Resume();

  void SetShiftingPaused(bool paused);
  void SetForcesReleased(bool released);
  // The timer's interval was set (0 stops the timer, which pauses the shifting).
  void IntervalChanged();
  // The settings dialog put new values into the record (`before`: the record it replaced).
  void SettingsSaved(const Settings& before);

  // The direction test: the open stick's springs, with shifting and the pattern's forces stopped;
  // nullptr and why when there are none.
  HapticPort* BeginDirectionTest(std::string& why);
  // Ends it; a passed verdict is saved (FF_INVERT_X/Y, FF_TESTED_STICK). The save's refusal.
  std::optional<std::string> EndDirectionTest(const std::optional<DirectionVerdict>& verdict);

  RunState State() const { return state_; }
  bool ShiftingPaused() const { return user_paused_; }
  bool ForcesReleased() const { return forces_released_; }
  StickAbsence Absence() const;
  std::string AbsentStickName() const { return device_.LostName(); }
  std::string OpenStickName() const;
  // The open stick's haptics when it plays springs.
  HapticPort* OpenStickSprings() const;
  bool ForceFeedbackUntested() const;
  // The remembered stick (JOYSTICK in the settings file).
  std::string RememberedStick() const;

  std::vector<Notice> TakeNotices() { return notices_.TakeAll(); }
  MessageSink& Notices() { return notices_; }

  Settings& Record() { return record_; }
  ShiftState& Shift() { return shift_; }
  const ShiftState& Shift() const { return shift_; }
  KeyOutput& Keys() { return keys_; }
  KeySink& Keyboard() { return *keyboard_; }
  ShifterOutput& Shifter() { return shifter_; }
  JoystickDevice& Device() { return device_; }
  const JoystickDevice& Device() const { return device_; }
  ForceFeedback& Effects() { return effects_; }
  const EffectWatchdog& Watchdog() const { return watchdog_; }
  ForceGuard* Guard() { return force_guard_.get(); }  // the open stick's, while it plays springs
  IntervalTimer& Timer() { return *services_.timer; }
  const std::string& SettingsPath() const { return services_.settings_path; }

 private:
  void Trace(const char* step);
  std::chrono::steady_clock::time_point Now() const;
  std::chrono::milliseconds StallLimit() const;
  // Lets go of the held key and the H-shifter's button; the gear is sent again afterwards.
  void LetGoOfKeys();
  // The state that fits the inputs now (stick open, pauses, test).
  void Settle();
  // Forces on unless released, paused, suspended or under test; the watchdog only while they play.
  void ApplyForces();
  void SyncForceGuard();
  void SyncShifterDevice();
  // While no stick is open: looks again when devices came or went, or when the twin grace ends.
  void LookForStick();
  void OpenedStick();
  // Asks the open stick to wake the engine when it reports.
  void WatchStick();
  // Whether the polling timer is needed now; tells the loop.
  void SyncPolling(std::chrono::steady_clock::time_point now);
  // After a look at an open stick that cannot report: again in a millisecond while it moves.
  void FollowMovingStick(const StickSample& sample, std::chrono::steady_clock::time_point now);
  void Changed(void (EngineView::*what)());

  EngineServices services_;
  NoticeQueue notices_;
  Settings record_{};
  ShiftState shift_{};
  ForceFeedback effects_;
  // Stops the effects when the ticks stall; declared after them, so it ends first.
  EffectWatchdog watchdog_{effects_};
  std::string keyboard_problem_;  // before keyboard_, which the opening fills it for
  std::unique_ptr<KeySink> keyboard_;
  KeyOutput keys_;
  std::unique_ptr<ShifterPort> shifter_device_;
  ShifterOutput shifter_;
  bool shifter_on_ = false;  // the VIRTUAL_SHIFTER the device was last made or released for
  JoystickDevice device_;
  std::unique_ptr<ForceGuard> force_guard_;
  std::string force_guard_path_;
  EngineView* view_ = nullptr;
  std::atomic<EngineView*> notice_view_{nullptr};
  DisplayPort* display_ = nullptr;

  RunState state_ = RunState::Starting;
  bool user_paused_ = false;      // "Pause shifting"
  bool forces_released_ = false;  // "Release forces"
  bool suspended_ = false;        // the process is stopping (SIGTSTP)
  bool testing_ = false;          // the direction test runs
  bool stopped_ = false;          // Stop has given everything back
  std::chrono::steady_clock::time_point last_tick_{};
  std::chrono::steady_clock::time_point lost_at_{};                // when the open stick went away
  std::optional<std::chrono::steady_clock::time_point> retry_at_;  // the twin grace's end
  Gear shown_gear_ = kNeutral;
  std::chrono::steady_clock::time_point last_look_{};
  std::chrono::steady_clock::time_point last_guard_beat_{};  // the last tick that read the stick
  bool stick_reports_ = false;              // the open stick wakes the engine when it reports
  bool devices_reported_ = false;           // the input platform tells of devices coming and going
  std::atomic<bool> devices_moved_{false};  // word of a device came (from the watcher's thread)
  std::chrono::steady_clock::time_point poll_until_{};    // the timer runs until then (hot-plug)
  std::chrono::steady_clock::time_point moving_until_{};  // a stick without reports is followed
  std::optional<StickSample> last_sample_;                // its reading at the last look
};

}  // namespace kestrane
