#include "engine/engine.h"

#include <algorithm>
#include <utility>

#include "config/settings_file.h"
#include "core/gear.h"

namespace kestrane {
namespace {

// Keys are dropped where no keyboard could be opened; waits still wait.
class NoKeys final : public KeySink {
 public:
  void KeyEvent(KeyCode, bool) override {}
  void Wait(std::int32_t) override {}
};

std::unique_ptr<KeySink> OpenKeyboard(EngineServices& services, std::string& problem,
                                      MessageSink& report) {
  std::unique_ptr<KeySink> sink;
  if (services.open_keyboard) sink = services.open_keyboard(problem, report);
  if (!sink) sink = std::make_unique<NoKeys>();
  return sink;
}

}  // namespace

Engine::Engine(EngineServices services)
    : services_(std::move(services)),
      keyboard_(OpenKeyboard(services_, keyboard_problem_, notices_)),
      keys_(*keyboard_),
      device_(*services_.input, notices_, effects_) {}

Engine::~Engine() {
  Stop();
}

void Engine::SetView(EngineView* view, DisplayPort* display) {
  view_ = view;
  display_ = display;
  notice_view_ = view;
  // The key thread queues notices too: it reads the view through the atomic.
  notices_.OnQueued([this] {
    if (EngineView* v = notice_view_.load()) v->NoticesWaiting();
  });
}

void Engine::Changed(void (EngineView::*what)()) {
  if (view_) (view_->*what)();
}

void Engine::Trace(const char* step) {
  if (services_.startup_trace) services_.startup_trace(step);
}

std::chrono::steady_clock::time_point Engine::Now() const {
  return services_.now ? services_.now() : std::chrono::steady_clock::now();
}

std::chrono::milliseconds Engine::StallLimit() const {
  return std::max(kEffectStallLimit,
                  std::chrono::milliseconds(3 * std::int64_t{services_.timer->Interval()}));
}

std::string Engine::RememberedStick() const {
  return services_.settings_path.empty() ? std::string()
                                         : ReadSavedJoystick(services_.settings_path);
}

bool Engine::Start() {
  if (state_ != RunState::Starting) return state_ != RunState::Stopped;
  Trace("ResetGears");
  shift_.CurrentGear = kNeutral;
  shift_.SentGear = kNeutral;
  shift_.NeutralFlags = 0;
  shift_.SwitchLatched = false;

  Trace("StartInput");
  if (!device_.StartInput()) {
    state_ = RunState::Stopped;
    return false;
  }
  if (services_.loop) {
    EngineLoop* loop = services_.loop;
    devices_reported_ = services_.input->WatchDevices([this, loop] {
      devices_moved_ = true;
      loop->TickSoon();
    });
  }
  Trace("ListJoysticks");
  if (!device_.ListJoysticks()) {
    state_ = RunState::Stopped;
    return false;
  }
  Changed(&EngineView::DevicesChanged);

  Trace("SelectSavedJoystick");
  const std::string remembered = RememberedStick();
  device_.SelectSavedJoystickByName(remembered);
  Changed(&EngineView::DevicesChanged);

  Trace("LoadSettings");
  // A file that cannot be written is reported and the start goes on with the values read:
  // stopping here would leave a zeroed record that a later Save writes over the file.
  if (services_.settings) {
    record_ = *services_.settings;
  } else if (!services_.settings_path.empty()) {
    std::string kept_copy;
    if (auto problem = LoadSettings(record_, *services_.timer, services_.settings_path,
                                    WriteBack::Yes, &kept_copy)) {
      notices_.ShowMessage(MessageKind::Error, *problem);
    }
    if (!kept_copy.empty()) notices_.ShowMessage(MessageKind::Error, kept_copy);
  } else {
    record_ = DefaultSettings();
    services_.timer->SetInterval(DefaultCheckInterval());
  }

  Trace("ForceFeedbackSwitch");
  ApplyForceFeedbackSwitch(record_);

  Trace("SelectFirstJoystick");
  // A remembered stick that is away is waited for rather than replaced by whatever else is
  // attached (a wheel, say); without one, the first stick is taken, or the first plugged in.
  if (services_.choose_stick) {
    device_.SetSelection(services_.choose_stick(device_));
  } else if (device_.Selection() < 0 && !remembered.empty()) {
    device_.AwaitJoystick(remembered);
  } else {
    device_.SelectFirstIfNone();
    if (device_.Selection() < 0) device_.AwaitAnyJoystick();
  }
  Changed(&EngineView::DevicesChanged);

  Trace("CentrePositions");
  shift_.StickX = shift_.StickY = kAxisMiddle;
  shift_.GateX = shift_.GateY = kAxisMiddle;
  shift_.HoleX = shift_.HoleY = kAxisMiddle;

  Trace("DrawPattern");
  Changed(&EngineView::PatternChanged);

  Trace("OpenJoystick");
  if (device_.Selection() >= 0 && !device_.OpenJoystick(record_, shift_)) device_.CloseJoystick();
  if (!keyboard_problem_.empty()) notices_.ShowMessage(MessageKind::Error, keyboard_problem_);

  if (record_.VIRTUAL_SHIFTER) {
    Trace("OpenShifter");
    SyncShifterDevice();
  }
  state_ = RunState::StickAway;  // settled below
  if (device_.IsJoystickOpen()) OpenedStick();
  Settle();
  Changed(&EngineView::StatusChanged);
  return true;
}

void Engine::OpenedStick() {
  WatchStick();
  SyncForceGuard();
  Changed(&EngineView::DevicesChanged);
}

void Engine::WatchStick() {
  stick_reports_ = false;
  last_sample_.reset();
  moving_until_ = {};
  InputDevice* device = device_.OpenDevice();
  if (!services_.loop || !device) return;
  EngineLoop* loop = services_.loop;
  stick_reports_ = device->WatchReports([loop] { loop->TickSoon(); });
  if (!stick_reports_) loop->TickIn(kFastLookInterval);  // followed while it moves
}

void Engine::SyncPolling(std::chrono::steady_clock::time_point now) {
  if (!services_.loop) return;
  bool polling = state_ != RunState::Stopped;
  if (state_ == RunState::StickAway) {
    // Word of devices wakes the engine; without it, a look now and then is enough.
    polling = devices_reported_ && (now < poll_until_ || retry_at_.has_value());
    if (!devices_reported_) services_.loop->TickIn(kAwayLookInterval);
  }
  services_.loop->SetPolling(polling);
}

void Engine::FollowMovingStick(const StickSample& sample,
                               std::chrono::steady_clock::time_point now) {
  if (!last_sample_ || !(*last_sample_ == sample)) moving_until_ = now + kFastLookHold;
  last_sample_ = sample;
  if (now < moving_until_) services_.loop->TickIn(kFastLookInterval);
}

StickAbsence Engine::Absence() const {
  if (state_ == RunState::Starting || device_.IsJoystickOpen()) return StickAbsence::None;
  if (!device_.LostName().empty() || device_.LostByIdentifier()) {
    return device_.WasOpened() ? StickAbsence::Disconnected : StickAbsence::NotConnected;
  }
  // A listed stick that could not be opened has had its message already.
  return device_.List().empty() ? StickAbsence::NoneAttached : StickAbsence::None;
}

std::string Engine::OpenStickName() const {
  const int i = device_.Selection();
  if (!device_.IsJoystickOpen() || i < 0) return {};
  return device_.List()[static_cast<std::size_t>(i)].name;
}

HapticPort* Engine::OpenStickSprings() const {
  InputDevice* device = device_.OpenDevice();
  HapticPort* port = device ? device->Haptics() : nullptr;
  return port && port->HasSprings() ? port : nullptr;
}

bool Engine::ForceFeedbackUntested() const {
  return record_.FORCE_FEEDBACK && OpenStickSprings() && record_.FF_TESTED_STICK != OpenStickName();
}

void Engine::Settle() {
  if (state_ == RunState::Starting || state_ == RunState::Stopped) return;
  RunState next = RunState::Running;
  if (testing_) {
    next = RunState::DirectionTest;
  } else if (user_paused_ || services_.timer->Interval() == 0) {
    next = RunState::Paused;
  } else if (!device_.IsJoystickOpen()) {
    next = RunState::StickAway;
  }
  if (next != RunState::Running && next != RunState::StickAway) LetGoOfKeys();
  const bool changed = next != state_;
  state_ = next;
  ApplyForces();
  SyncPolling(Now());
  if (changed) Changed(&EngineView::StatusChanged);
}

void Engine::LetGoOfKeys() {
  // A held key or button comes up; SentGear back to neutral sends the gear again later.
  if (keys_.Held()) {
    keys_.ReleaseHeld();
    shift_.SentGear = kNeutral;
  }
  shifter_.Release();
}

void Engine::ApplyForces() {
  const bool off = forces_released_ || suspended_ || state_ != RunState::Running;
  if (off) {
    effects_.LetGo();
  } else {
    effects_.RestoreForces();
  }
  bool built = false;
  for (int slot = 0; slot < kEffectSlots; ++slot) {
    built = built || effects_.Slot(static_cast<EffectSlot>(slot)) != kNoEffect;
  }
  // The watchdog wakes only while forces play; at rest it costs nothing.
  watchdog_.Watch(built && !off);
  if (!watchdog_.Watching()) watchdog_.Rest();
  if (force_guard_ && off) force_guard_->Rest();
  // Armed as soon as forces play, not at the first tick: a program stopped before it still has
  // its stick silenced.
  if (force_guard_ && watchdog_.Watching()) force_guard_->Beat();
}

void Engine::SyncForceGuard() {
  const std::string& id = device_.OpenDeviceId();
  const std::string path = services_.start_force_guard && OpenStickSprings() &&
                                   device_.IsJoystickOpen() && id.rfind("/dev/input/", 0) == 0
                               ? id
                               : std::string();
  if (path == force_guard_path_) return;
  force_guard_.reset();
  force_guard_path_ = path;
  if (!path.empty()) force_guard_ = services_.start_force_guard(path, StallLimit());
}

void Engine::SyncShifterDevice() {
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
    if (!problem.empty()) notices_.ShowMessage(MessageKind::Error, problem);
    return;
  }
  // Switched on with a gear in: its button at once, not only at the next change.
  if (state_ == RunState::Running) shifter_.Follow(shift_.CurrentGear, record_);
}

void Engine::Tick() {
  if (state_ == RunState::Starting || state_ == RunState::Stopped) return;
  const auto now = Now();
  // The guard's heartbeat wakes its process: not on every report of a moving stick.
  if (force_guard_ && now - last_guard_beat_ >= kGuardBeatEvery) {
    force_guard_->Beat();
    last_guard_beat_ = now;
  }
  // Back from a stall (the loop blocked, the process stopped): whatever stopped the effects
  // meanwhile, they start again with this tick. Without forces playing there is nothing to guard.
  if (watchdog_.Watching()) {
    watchdog_.Beat();
    if (last_tick_.time_since_epoch().count() != 0 && now - last_tick_ > StallLimit()) {
      effects_.Halt();
    }
    last_tick_ = now;
  } else {
    last_tick_ = {};
  }
  if (devices_moved_.exchange(false)) poll_until_ = now + kHotplugSettle;
  if (state_ == RunState::Paused || state_ == RunState::DirectionTest || suspended_) return;

  if (state_ == RunState::StickAway) {
    LookForStick();
    if (state_ != RunState::Running) {
      SyncPolling(now);
      if (view_) view_->StickRead(nullptr);
      return;
    }
  }
  // Failing reads count the time they took, whatever woke the engine; one look stands for at
  // most an interval (a stalled process does not lose its stick at once).
  const std::uint32_t interval = std::max<std::uint32_t>(services_.timer->Interval(), 1);
  std::uint32_t tick_ms = interval;
  if (last_look_.time_since_epoch().count() != 0) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - last_look_).count();
    tick_ms = static_cast<std::uint32_t>(std::clamp<std::int64_t>(elapsed, 1, interval));
  }
  last_look_ = now;
  StickSample sample;
  InputStatus read = InputStatus::Ok;
  int steps = 0;
  PollContext ctx{shift_,    record_,   device_.OpenDevice(),
                  keys_,     &effects_, display_,
                  &shifter_, tick_ms,   services_.log ? services_.log : &StandardErrorLog(),
                  &sample,   &read};
  ctx.max_steps = services_.settle_steps;
  ctx.steps_out = &steps;
  OnPollTimer(ctx);
  if (view_) {
    const bool good = shift_.FailedReadMs == 0 && steps > 0;
    for (int i = 0; i < (good ? steps : 1); ++i) view_->StickRead(good ? &sample : nullptr);
  }
  if (services_.loop && !stick_reports_ && read == InputStatus::Ok && steps > 0) {
    FollowMovingStick(sample, now);
  }

  // A stick reported gone is closed (its key and button came up in the step) and waited for.
  // One whose reads only fail stays open and is read on (its key came up after 500 ms): the
  // first read that works sends the gear again, with no reopening.
  if (device_.IsJoystickOpen() && read == InputStatus::DeviceLost) {
    device_.LoseJoystick();
    lost_at_ = now;
    retry_at_ = now + kTwinGrace;
    SyncForceGuard();
    Settle();
    Changed(&EngineView::DevicesChanged);
  }
  if (shift_.CurrentGear != shown_gear_) {
    shown_gear_ = shift_.CurrentGear;
    Changed(&EngineView::GearChanged);
  }
}

void Engine::LookForStick() {
  bool look = services_.input->DevicesChanged();
  if (!look && !retry_at_) return;
  const auto now = Now();
  if (retry_at_ && now >= *retry_at_) {
    look = true;  // a twin seen during the grace may be taken now
    retry_at_.reset();
  }
  if (!look || !device_.Lost()) return;
  const bool grace_over = !device_.LostByIdentifier() || now - lost_at_ >= kTwinGrace;
  const bool was_away = Absence() != StickAbsence::None;
  if (device_.Reconnect(record_, shift_, grace_over)) {
    shift_.FailedReadMs = 0;
    OpenedStick();
    Settle();
  } else if (was_away) {
    Changed(&EngineView::DevicesChanged);  // the list may show others now
  }
}

void Engine::Stop() {
  if (stopped_) return;
  stopped_ = true;
  state_ = RunState::Stopped;
  // The held key and the H-shifter's button come up before the keyboard, the H-shifter and the
  // stick go away.
  keys_.ReleaseHeld();
  shifter_.Attach(nullptr);
  shifter_device_.reset();
  watchdog_.Watch(false);
  force_guard_.reset();
  force_guard_path_.clear();
  device_.StopInput();
}

void Engine::Suspend() {
  if (suspended_ || state_ == RunState::Stopped) return;
  suspended_ = true;
  LetGoOfKeys();
  ApplyForces();
  keyboard_->Flush();  // the key is up before the process stands still
}

void Engine::Resume() {
  if (!suspended_) return;
  suspended_ = false;
  ApplyForces();  // the next tick sends the gear in again (SentGear is neutral)
}

void Engine::SetShiftingPaused(bool paused) {
  user_paused_ = paused;
  Settle();
  Changed(&EngineView::StatusChanged);
}

void Engine::SetForcesReleased(bool released) {
  forces_released_ = released;
  ApplyForces();
  Changed(&EngineView::StatusChanged);
}

void Engine::IntervalChanged() {
  // Stopped on purpose is no stall; a long interval moves the limit out with it.
  watchdog_.SetLimit(StallLimit());
  if (force_guard_) force_guard_->SetLimit(StallLimit());
  if (services_.timer->Interval() == 0) {
    watchdog_.Rest();
    if (force_guard_) force_guard_->Rest();
  }
  Settle();
}

void Engine::SettingsSaved(const Settings& before) {
  SyncShifterDevice();
  // Force feedback switched off gives the stick back at once: its effects go, its centring comes
  // back, and it is opened again as a plain stick. Other force-feedback changes wait for the next
  // start.
  if (before.FORCE_FEEDBACK && !record_.FORCE_FEEDBACK) {
    ApplyForceFeedbackSwitch(record_);
    if (device_.IsJoystickOpen()) {
      const int selection = device_.Selection();
      device_.CloseJoystick();
      device_.SetSelection(selection);
      if (!device_.OpenJoystick(record_, shift_)) device_.CloseJoystick();
      WatchStick();
      SyncForceGuard();
    }
  }
  Settle();
  Changed(&EngineView::PatternChanged);
  Changed(&EngineView::StatusChanged);
}

HapticPort* Engine::BeginDirectionTest(std::string& why) {
  HapticPort* port = OpenStickSprings();
  if (!port) {
    why =
        "The direction test needs an open stick that plays springs: open one with force feedback "
        "in the settings first.";
    return nullptr;
  }
  testing_ = true;  // the test's pulls must not shift gears; the pattern's forces stop
  Settle();
  return port;
}

std::optional<std::string> Engine::EndDirectionTest(
    const std::optional<DirectionVerdict>& verdict) {
  if (!testing_) return std::nullopt;
  testing_ = false;
  Settle();
  if (!verdict || !verdict->passed) return std::nullopt;
  SettingsSnapshot before{record_, services_.timer->Interval(), {}};
  SettingsSnapshot after = before;
  after.settings.FF_INVERT_X = *verdict->invert_x;
  after.settings.FF_INVERT_Y = *verdict->invert_y;
  after.settings.FF_TESTED_STICK = OpenStickName();
  if (!services_.settings_path.empty()) {
    if (auto problem = SaveChangedSettings(before, after, services_.settings_path)) return problem;
  }
  record_ = after.settings;
  Changed(&EngineView::StatusChanged);
  return std::nullopt;
}

}  // namespace kestrane
