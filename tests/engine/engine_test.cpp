// The engine without any window: a scripted input platform, a recording keyboard and haptics, a
// stored interval for the timer and a clock the test moves.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/fake_key_sink.h"
#include "tests/support/scripted_haptic.h"
#include "tests/support/scripted_input.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_loop.h"

namespace kestrane {
namespace {

using namespace std::chrono_literals;

class RecordingView final : public EngineView {
 public:
  void StatusChanged() override { ++status; }
  void NoticesWaiting() override { ++waiting; }
  int status = 0;
  int waiting = 0;
};

class RecordingLog final : public LogSink {
 public:
  void Log(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

// A keyboard that fails on every key event.
class ThrowingKeys final : public KeySink {
 public:
  void KeyEvent(KeyCode, bool) override { throw std::runtime_error("keyboard gone"); }
  void Wait(std::int32_t) override {}
};

// A force guard that writes what it is told into a log.
class LoggingGuard final : public ForceGuard {
 public:
  explicit LoggingGuard(std::vector<std::string>& log) : log_(log) {}
  void Beat() override { log_.push_back("guard beat"); }
  void Rest() override { log_.push_back("guard rest"); }
  void SetLimit(std::chrono::milliseconds) override {}
  void SetGain(std::uint16_t) override {}
  HelperReadiness Readiness() override { return HelperReadiness::Ready; }

 private:
  std::vector<std::string>& log_;
};

JoystickListEntry Stick(const std::string& name, const std::string& id, bool ff = false) {
  return {name, id, ff};
}

class EngineTest : public testing::Test {
 protected:
  void WriteSettings(const std::string& text) { std::ofstream(path) << text; }

  Engine& Make() {
    EngineServices s;
    s.input = &input;
    s.timer = &timer;
    s.open_keyboard = [this](std::string&, MessageSink&) -> std::unique_ptr<KeySink> {
      if (throwing_keys) return std::make_unique<ThrowingKeys>();
      return std::make_unique<test::FakeKeySink>(input.log);
    };
    s.start_force_guard = [this](const std::string&, std::chrono::milliseconds) {
      return std::make_unique<LoggingGuard>(input.log);
    };
    s.settings_path = path;
    s.log = &log;
    s.now = [this] { return now; };
    if (with_loop) s.loop = &loop;
    engine = std::make_unique<Engine>(std::move(s));
    engine->SetView(&view, nullptr);
    return *engine;
  }
  Engine& Started() {
    Make();
    EXPECT_TRUE(engine->Start());
    return *engine;
  }
  void Tick(std::int32_t x, std::int32_t y) {
    now += std::chrono::milliseconds(timer.Interval());
    input.sample.X = x;
    input.sample.Y = y;
    engine->Tick();
  }
  // Into the gear at (x, y) as a hand would: neutral line, lane, slot.
  void Shift(std::int32_t x, std::int32_t y) {
    for (int i = 0; i < 3; ++i) Tick(input.sample.X, 32767);
    for (int i = 0; i < 3; ++i) Tick(x, 32767);
    for (int i = 0; i < 3; ++i) Tick(x, y);
  }
  std::ptrdiff_t Count(const std::string& entry) const {
    return std::count(input.log.begin(), input.log.end(), entry);
  }
  bool Logged(const std::string& entry) const { return Count(entry) > 0; }
  // What the force guard was told last ("beat", "rest"), or "".
  std::string LastGuardWord() const {
    for (auto it = input.log.rbegin(); it != input.log.rend(); ++it) {
      if (it->rfind("guard ", 0) == 0) return it->substr(6);
    }
    return "";
  }

  test::TempDir dir{"kestrane-engine"};
  std::string path = dir.File("Kestrane.ini");
  ScriptedInput input;
  ScriptedHaptic haptic;
  StoredInterval timer{10};
  RecordingView view;
  RecordingLog log;
  bool throwing_keys = false;
  bool with_loop = false;
  test::TestLoop loop;
  std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
  std::unique_ptr<Engine> engine;
};

// Which stick is opened while waiting, and when: only the awaited one, never another attached
// controller; a twin of a lost stick only after the grace period.
struct PlugCase {
  const char* what;
  std::string remembered;                     // JOYSTICK in the file
  std::vector<JoystickListEntry> at_start;    // attached at the start
  bool lose_open_stick;                       // the open stick goes away
  std::vector<JoystickListEntry> plugged_in;  // then attached
  std::chrono::milliseconds wait;             // ticks of time after plugging
  std::string opened;                         // the identifier opened after it, or ""
};

class EngineHotPlug : public EngineTest, public testing::WithParamInterface<PlugCase> {};

TEST_P(EngineHotPlug, OpensOnlyTheAwaitedStick) {
  const PlugCase& c = GetParam();
  if (!c.remembered.empty()) WriteSettings("[MAIN]\nJOYSTICK=" + c.remembered + "\n");
  input.joysticks = c.at_start;
  Started();
  if (c.lose_open_stick) {
    ASSERT_TRUE(engine->Device().IsJoystickOpen());
    input.Fail(ScriptedInput::Op::Read);
    Tick(32767, 32767);
    ASSERT_EQ(engine->State(), RunState::StickAway);
    input.Heal(ScriptedInput::Op::Read);
  } else {
    Tick(32767, 32767);
  }
  input.log.clear();
  input.joysticks = c.plugged_in;
  input.plugged = true;
  const auto until = now + c.wait;
  do {
    Tick(32767, 32767);
  } while (now < until);
  std::vector<std::string> opens;
  for (const std::string& e : input.log) {
    if (e.rfind("open ", 0) == 0) opens.push_back(e.substr(5));
  }
  if (c.opened.empty()) {
    EXPECT_TRUE(opens.empty()) << c.what << ": " << testing::PrintToString(opens);
    EXPECT_EQ(engine->State(), RunState::StickAway) << c.what;
  } else {
    EXPECT_EQ(opens, std::vector<std::string>{c.opened}) << c.what;
    EXPECT_EQ(engine->State(), RunState::Running) << c.what;
  }
  // Nothing is listed on ticks where no stick came or went.
  input.log.clear();
  for (int i = 0; i < 20; ++i) Tick(32767, 32767);
  EXPECT_FALSE(Logged("list")) << c.what;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, EngineHotPlug,
    testing::Values(
        PlugCase{"first stick plugged in after the start", "", {}, false,
                 {Stick("Pad", "p")}, 0ms, "p"},
        PlugCase{"remembered stick away: a wheel is never opened", "My Stick",
                 {Stick("Wheel", "w")}, false, {Stick("Wheel", "w"), Stick("Wheel 2", "w2")},
                 5000ms, ""},
        PlugCase{"remembered stick plugged in", "My Stick", {Stick("Wheel", "w")}, false,
                 {Stick("Wheel", "w"), Stick("my stick", "m")}, 0ms, "m"},
        PlugCase{"lost stick back with its identifier: at once", "", {Stick("Pad", "p1")}, true,
                 {Stick("Pad", "p1")}, 0ms, "p1"},
        PlugCase{"twin of a lost stick: not within the grace", "",
                 {Stick("Pad", "p1"), Stick("Pad", "p2")}, true, {Stick("Pad", "p2")}, 2000ms,
                 ""},
        PlugCase{"twin of a lost stick: after the grace", "",
                 {Stick("Pad", "p1"), Stick("Pad", "p2")}, true, {Stick("Pad", "p2")}, 3500ms,
                 "p2"}),
    [](const testing::TestParamInfo<PlugCase>& param) {
      return "Case" + std::to_string(param.index);
    });
// clang-format on

// A tick never shows anything: what it finds is queued for the view, once per cause.
TEST_F(EngineTest, TickQueuesMessagesOncePerCauseAndLogsWhatItSwallows) {
  input.joysticks = {Stick("Pad", "p")};
  throwing_keys = true;
  Started();
  EXPECT_TRUE(engine->TakeNotices().empty());
  Shift(32767, 0);  // every key event throws
  EXPECT_EQ(engine->State(), RunState::Running);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_NE(log.lines[0].find("keyboard gone"), std::string::npos) << log.lines[0];

  const int woken = view.waiting;
  engine->Notices().ShowMessage(MessageKind::Error, "a key was refused");  // the key thread's
  engine->Notices().ShowMessage(MessageKind::Error, "a key was refused");
  EXPECT_EQ(view.waiting, woken + 1);
  const std::vector<Notice> notices = engine->TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text, "a key was refused");
  EXPECT_TRUE(engine->TakeNotices().empty());
}

// A stick reported gone is closed and awaited; one whose reads only fail stays open, lets its key
// up after 500 ms and sends the gear again with the first read that works, without reopening.
TEST_F(EngineTest, FailingReadsKeepTheStickOpenAGoneStickIsClosed) {
  struct Case {
    ScriptedInput::Op failure;
    std::uint32_t failed_ms;  // in ticks of the interval
    RunState during;
    bool closed;
  };
  for (const Case& c : {Case{ScriptedInput::Op::ReadFails, 480, RunState::Running, false},
                        Case{ScriptedInput::Op::ReadFails, 500, RunState::Running, false},
                        Case{ScriptedInput::Op::Read, 20, RunState::StickAway, true}}) {
    SCOPED_TRACE(c.failed_ms);
    input = ScriptedInput{};
    input.joysticks = {Stick("Pad", "p")};
    Started();
    Shift(32767, 0);
    ASSERT_TRUE(engine->Keys().Held());
    input.log.clear();
    timer.SetInterval(20);
    input.Fail(c.failure);
    for (std::uint32_t ms = 0; ms < c.failed_ms; ms += 20) Tick(32767, 0);
    EXPECT_EQ(engine->State(), c.during);
    const bool lost = c.closed || c.failed_ms >= kStickLostMs;
    EXPECT_EQ(engine->Keys().Held().has_value(), !lost);
    EXPECT_EQ(Logged("close"), c.closed);
    input.Heal(c.failure);
    input.plugged = true;
    Tick(32767, 0);
    EXPECT_EQ(engine->State(), RunState::Running);
    EXPECT_TRUE(engine->Keys().Held());
    EXPECT_EQ(Logged("open p"), c.closed);  // reopened only after it was gone
    const auto downs = std::count_if(input.log.begin(), input.log.end(), [](const std::string& e) {
      return e.rfind("key down", 0) == 0;
    });
    EXPECT_EQ(downs, lost ? 1 : 0);
    engine.reset();
  }
}

// The states a run goes through, and what each lets the stick, the keys and the force guard do.
// The guard is armed as soon as the forces play, not only by ticks: a program stopped before its
// next tick still has its stick silenced.
TEST_F(EngineTest, StatesFollowPauseIntervalTestAndStop) {
  input.joysticks = {Stick("Force Stick", "/dev/input/event3", true)};
  input.haptic = &haptic;
  Make();
  EXPECT_EQ(engine->State(), RunState::Starting);
  engine->Start();
  EXPECT_EQ(engine->State(), RunState::Running);
  EXPECT_EQ(LastGuardWord(), "beat");  // before the first tick
  Shift(32767, 0);
  ASSERT_TRUE(engine->Keys().Held());

  struct Step {
    const char* what;
    std::function<void()> act;
    RunState state;
    bool key_held;
    bool watchdog;  // forces play: the guard's last word is "beat", else "rest"
  };
  const std::vector<Step> steps = {
      {"pause", [&] { engine->SetShiftingPaused(true); }, RunState::Paused, false, false},
      {"interval 0 too", [&] { timer.SetInterval(0), engine->IntervalChanged(); }, RunState::Paused,
       false, false},
      {"resumed, interval still 0", [&] { engine->SetShiftingPaused(false); }, RunState::Paused,
       false, false},
      {"interval back", [&] { timer.SetInterval(25), engine->IntervalChanged(), Tick(32767, 0); },
       RunState::Running, true, true},
      {"forces released", [&] { engine->SetForcesReleased(true); }, RunState::Running, true, false},
      {"forces restored", [&] { engine->SetForcesReleased(false); }, RunState::Running, true, true},
      {"suspended", [&] { engine->Suspend(); }, RunState::Running, false, false},
      {"continued", [&] { engine->Resume(), Tick(32767, 0); }, RunState::Running, true, true},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(engine->State(), step.state) << step.what;
    EXPECT_EQ(engine->Keys().Held().has_value(), step.key_held) << step.what;
    EXPECT_EQ(engine->Watchdog().Watching(), step.watchdog) << step.what;
    EXPECT_EQ(LastGuardWord(), step.watchdog ? "beat" : "rest") << step.what;
  }
  engine->Stop();
  EXPECT_EQ(engine->State(), RunState::Stopped);
  EXPECT_FALSE(engine->Keys().Held());
  EXPECT_FALSE(engine->Watchdog().Watching());
  // Ticks after the end change nothing; a second Stop is harmless.
  input.log.clear();
  Tick(0, 0);
  engine->Stop();
  EXPECT_TRUE(input.log.empty()) << testing::PrintToString(input.log);
}

// Without forces (a stick with no force feedback) the watchdog never wakes.
TEST_F(EngineTest, WatchdogSleepsWithoutForces) {
  input.joysticks = {Stick("Pad", "p")};
  Started();
  for (int i = 0; i < 10; ++i) Tick(32767, 32767);
  EXPECT_FALSE(engine->Watchdog().Watching());
  EXPECT_EQ(engine->Watchdog().Wakeups(), 0);
}

// The direction test stops shifting and the pattern's forces, and gives both back.
TEST_F(EngineTest, DirectionTestHoldsTheStickAndSavesAPassedVerdict) {
  input.joysticks = {Stick("Force Stick", "f", true)};
  input.haptic = &haptic;
  Started();
  Shift(32767, 0);
  std::string why;
  ASSERT_NE(engine->BeginDirectionTest(why), nullptr) << why;
  EXPECT_EQ(engine->State(), RunState::DirectionTest);
  EXPECT_FALSE(engine->Keys().Held());
  input.log.clear();
  Tick(0, 0);
  EXPECT_FALSE(Logged("read"));  // nothing is read during the test
  DirectionVerdict verdict{true, true, false, "ok"};
  EXPECT_EQ(engine->EndDirectionTest(verdict), std::nullopt);
  EXPECT_EQ(engine->State(), RunState::Running);
  EXPECT_TRUE(engine->Record().FF_INVERT_X);
  EXPECT_EQ(engine->Record().FF_TESTED_STICK, "Force Stick");
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(text.find("FF_TESTED_STICK=Force Stick"), std::string::npos);
}

// A Save that turns force feedback off gives the stick back at once: its effects go and it is
// opened again without switching its centring off.
TEST_F(EngineTest, SaveThatTurnsForceFeedbackOffReopensTheStickWithoutEffects) {
  WriteSettings("[MAIN]\nFORCE_FEEDBACK=1\nCROSS_ENABLED=1\nHOLE_ENABLED=1\n");
  input.joysticks = {Stick("Force Stick", "f", true)};
  input.haptic = &haptic;
  Started();
  ASSERT_TRUE(Logged("autocenter"));
  ASSERT_TRUE(engine->Watchdog().Watching());
  input.log.clear();
  haptic.calls.clear();
  const Settings before = engine->Record();
  engine->Record().FORCE_FEEDBACK = false;
  engine->SettingsSaved(before);
  EXPECT_EQ(input.log, (std::vector<std::string>{"close", "open f", "claim exclusive"}));
  EXPECT_TRUE(
      std::all_of(haptic.calls.begin(), haptic.calls.end(), [](const ScriptedHaptic::Call& c) {
        return c.op == ScriptedHaptic::Op::Release || c.op == ScriptedHaptic::Op::Stop;
      }));
  EXPECT_FALSE(engine->Watchdog().Watching());
}

}  // namespace
}  // namespace kestrane

namespace kestrane {
namespace {

// A stick that cannot tell of its reports is looked at every millisecond while its readings
// change, and left to the interval once they stayed the same for kFastLookHold.
TEST_F(EngineTest, AStickThatCannotReportIsFollowedWhileItMoves) {
  input.joysticks = {Stick("Pad", "pad-1")};
  with_loop = true;
  Started();
  ASSERT_EQ(loop.TakeTickIn(), kFastLookInterval);
  for (int i = 0; i < 20; ++i) {
    now += 1ms;
    input.sample.X = 32767 - 1000 * i;
    engine->Tick();
    ASSERT_EQ(loop.TakeTickIn(), kFastLookInterval) << i;
  }
  const auto rest_from = now;
  while (now + 1ms - rest_from < kFastLookHold) {
    now += 1ms;
    engine->Tick();
    ASSERT_EQ(loop.TakeTickIn(), kFastLookInterval);
  }
  now += 1ms;
  engine->Tick();
  EXPECT_FALSE(loop.TakeTickIn().has_value());
  now += 10ms;
  input.sample.Y = 0;  // moves again
  engine->Tick();
  EXPECT_EQ(loop.TakeTickIn(), kFastLookInterval);
}

// With no stick the timer rests: word of devices wakes the engine (then the timer runs for a
// while, as the library may take the device in a little later), or, without such word, a look
// every kAwayLookInterval.
TEST_F(EngineTest, WithNoStickTheTimerRestsUntilDevicesMove) {
  for (const bool words : {true, false}) {
    SCOPED_TRACE(words ? "the platform tells of devices" : "it does not");
    input.device_words = words;
    with_loop = true;
    loop.TakeTickIn();
    Started();
    ASSERT_EQ(engine->State(), RunState::StickAway);
    EXPECT_FALSE(loop.polling);
    EXPECT_EQ(loop.TakeTickIn(), words ? std::nullopt : std::optional(kAwayLookInterval));
    if (words) {
      input.DevicesMoved();
      EXPECT_EQ(loop.soon, 1);
      now += 1ms;
      engine->Tick();
      EXPECT_TRUE(loop.polling);
      now += kHotplugSettle;
      engine->Tick();
      EXPECT_FALSE(loop.polling);
    }
    input.joysticks = {Stick("Pad", "pad-1")};
    input.plugged = true;
    now += 1ms;
    engine->Tick();
    EXPECT_EQ(engine->State(), RunState::Running);
    EXPECT_TRUE(loop.polling);
    engine->Stop();
    input.joysticks.clear();
    loop.soon = 0;
  }
}

// The 500 ms rule counts milliseconds, however often the stick is looked at; one look stands
// for at most one interval (a stalled program does not lose its stick on its first look back).
TEST_F(EngineTest, FailingReadsLoseTheStickAfterHalfASecondWhateverThePace) {
  struct Pace {
    std::chrono::milliseconds between;
    int looks_to_lose;
  };
  // CHECK_INTERVAL is 25 ms.
  for (const Pace pace : {Pace{1ms, 500}, Pace{4ms, 125}, Pace{10ms, 50}, Pace{3s, 20}}) {
    SCOPED_TRACE(pace.between.count());
    input.joysticks = {Stick("Pad", "pad-1")};
    input.reports = true;
    with_loop = true;
    Started();
    Shift(0, 0);
    ASSERT_EQ(engine->Shift().SentGear, 1);
    input.Fail(ScriptedInput::Op::ReadFails);
    int looks = 0;
    while (engine->Shift().SentGear == 1 && looks < 1000) {
      now += pace.between;
      engine->Tick();
      ++looks;
    }
    EXPECT_EQ(looks, pace.looks_to_lose);
    input.Heal(ScriptedInput::Op::ReadFails);
    engine->Stop();
  }
}

}  // namespace
}  // namespace kestrane
