// The direction test's springs and how its answers are judged.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "config/setting_keys.h"
#include "core/direction_test.h"
#include "tests/support/scripted_haptic.h"

namespace kestrane {
namespace {

using A = DirectionAnswer;

struct Judging {
  const char* what;
  std::array<A, 4> answers;  // left, right, forward, back
  bool passed;
  std::optional<bool> invert_x, invert_y;
  const char* says;  // a piece of the message
};

TEST(JudgeDirections, AnswersDecideEachAxisOnItsOwn) {
  const Judging cases[] = {
      {"all as asked", {A::Yes, A::Yes, A::Yes, A::Yes}, true, false, false, "right way"},
      {"X mirrored", {A::OtherWay, A::OtherWay, A::Yes, A::Yes}, true, true, false, "mirrored"},
      {"Y mirrored", {A::Yes, A::Yes, A::OtherWay, A::OtherWay}, true, false, true, "mirrored"},
      {"one still step per axis",
       {A::NoMove, A::OtherWay, A::Yes, A::NoMove},
       true,
       true,
       false,
       "right way"},
      {"X never moved",
       {A::NoMove, A::NoMove, A::Yes, A::Yes},
       false,
       std::nullopt,
       false,
       "no spring at this strength"},
      {"nothing moved",
       {A::NoMove, A::NoMove, A::NoMove, A::NoMove},
       false,
       std::nullopt,
       std::nullopt,
       "Raise the strength"},
      {"X contradicts",
       {A::Yes, A::OtherWay, A::Yes, A::Yes},
       false,
       std::nullopt,
       false,
       "disagree"},
      {"Y contradicts",
       {A::Yes, A::Yes, A::OtherWay, A::Yes},
       false,
       false,
       std::nullopt,
       "disagree"},
  };
  for (const Judging& c : cases) {
    SCOPED_TRACE(c.what);
    const DirectionVerdict v = JudgeDirections(c.answers);
    EXPECT_EQ(v.passed, c.passed);
    EXPECT_EQ(v.invert_x, c.invert_x);
    EXPECT_EQ(v.invert_y, c.invert_y);
    EXPECT_NE(v.message.find(c.says), std::string::npos) << v.message;
  }
}

TEST(DirectionSpring, PullsTowardTheStepsTargetOnItsAxisOnly) {
  Settings s = DefaultSettings();
  s.FF_INVERT_X = s.FF_INVERT_Y = true;  // never applied: the test finds them
  struct Case {
    DirectionStep step;
    bool on_x;
    int sign;  // of the record's offset (X runs against the axis, Y with it)
  } cases[] = {{DirectionStep::Left, true, 1},
               {DirectionStep::Right, true, -1},
               {DirectionStep::Forward, false, -1},
               {DirectionStep::Back, false, 1}};
  for (const Case& c : cases) {
    const EffectRecord r = DirectionSpring(c.step, s);
    const Condition& pull = c.on_x ? r.x() : r.y();
    const Condition& free = c.on_x ? r.y() : r.x();
    EXPECT_EQ(pull.offset, c.sign * (c.on_x ? ToConditionUnits(s.JOY_GEAR_WIDTH)
                                            : ToConditionUnits(s.JOY_GEAR_HEIGHT)));
    EXPECT_EQ(pull.positive_coefficient, 3000);
    EXPECT_EQ(pull.dead_band, 0);
    EXPECT_EQ(free, Condition{});
  }
  s.FF_STRENGTH = 50;
  EXPECT_EQ(DirectionSpring(DirectionStep::Left, s).x().positive_coefficient, 1500);
  s.FF_STRENGTH = 0;
  EXPECT_EQ(DirectionSpring(DirectionStep::Left, s).x().positive_saturation, 0);
}

TEST(DirectionTestRun, OneSpringAtATimeAndNoneLeftAfterwards) {
  ScriptedHaptic haptic;
  const Settings s = DefaultSettings();
  {
    DirectionTestRun run(haptic);
    for (DirectionStep step : kDirectionSteps) EXPECT_TRUE(run.Play(step, s));
  }
  using Op = ScriptedHaptic::Op;
  std::vector<Op> ops;
  for (const auto& c : haptic.calls) ops.push_back(c.op);
  EXPECT_EQ(ops, (std::vector<Op>{Op::Create, Op::Start, Op::Set, Op::Set, Op::Set, Op::Stop,
                                  Op::Release}));
  // A refused spring leaves nothing behind either.
  ScriptedHaptic refusing;
  refusing.FailCreation(0, /*hand_back=*/true);
  {
    DirectionTestRun run(refusing);
    EXPECT_FALSE(run.Play(DirectionStep::Left, s));
  }
  ASSERT_EQ(refusing.calls.size(), 2u);
  EXPECT_EQ(refusing.calls[1].op, Op::Release);
}

// The test on the device the effects play on (the window's and kestrane-cli's way).
struct SharedDevice {
  Settings settings = DefaultSettings();
  ShiftState state;
  ScriptedHaptic haptic;
  ForceFeedback effects;
  SharedDevice() {
    ResetShiftState(state);
    effects.BuildEffects(&haptic, state, settings);
  }
};

// Records the calls with no lock of its own: only the effects' lock keeps two threads apart.
class BareHaptic final : public HapticPort {
 public:
  using Op = ScriptedHaptic::Op;
  std::int32_t CreateEffect(EffectType, const EffectRecord&, EffectId& id) override {
    id = next_id_++;
    calls.push_back({Op::Create, id});
    return 0;
  }
  void StartEffect(EffectId id) override { calls.push_back({Op::Start, id}); }
  void StopEffect(EffectId id) override { calls.push_back({Op::Stop, id}); }
  void SetEffectParameters(EffectId id, const EffectRecord&) override {
    calls.push_back({Op::Set, id});
  }
  void ReleaseEffect(EffectId id) override { calls.push_back({Op::Release, id}); }
  std::vector<std::pair<Op, EffectId>> calls;

 private:
  EffectId next_id_ = 1;
};

// The watchdog halts the effects from its own thread: none of the test's calls may come in the
// middle of a halt, nor race with it (ThreadSanitizer reports that in the tsan preset).
TEST(DirectionTestRun, TakesTurnsWithTheWatchdogOnTheEffectsDevice) {
  using Op = ScriptedHaptic::Op;
  Settings settings = DefaultSettings();
  ShiftState state;
  ResetShiftState(state);
  BareHaptic haptic;
  ForceFeedback effects;
  effects.BuildEffects(&haptic, state, settings);
  std::set<EffectId> slots;
  for (int slot = 0; slot < kEffectSlots; ++slot) {
    if (effects.Slot(static_cast<EffectSlot>(slot)) != kNoEffect)
      slots.insert(effects.Slot(static_cast<EffectSlot>(slot)));
  }
  ASSERT_GE(slots.size(), 2u);
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    while (!done) {
      effects.Halt();
      std::this_thread::yield();
    }
  });
  const auto stops = [&] {  // read under the lock the watchdog writes under
    const ForceFeedback::PortLock lock = effects.LockPort();
    return std::count_if(haptic.calls.begin(), haptic.calls.end(),
                         [](const auto& c) { return c.first == Op::Stop; });
  };
  {
    DirectionTestRun run(effects);
    // At least 200 turns, and on until the watchdog has halted a few times (it may start late).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (std::size_t i = 0;
         i < 200 || (stops() < 10 && std::chrono::steady_clock::now() < deadline); ++i) {
      effects.UpdateEffects(state, settings);  // a tick: the next halt stops them again
      EXPECT_TRUE(run.Play(kDirectionSteps[i % 4], settings));
    }
  }
  done = true;
  watchdog.join();
  effects.ReleaseEffects();
  // Each halt stops every slot in one go; the test's spring is created once and removed at the end.
  const auto& calls = haptic.calls;
  int halts = 0, creations = 0;
  EffectId spring = kNoEffect;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].first == Op::Create && !slots.count(calls[i].second)) {
      ++creations;
      spring = calls[i].second;
    }
    if (calls[i].first != Op::Stop || !slots.count(calls[i].second)) continue;
    ++halts;
    ASSERT_LE(i + slots.size(), calls.size());
    for (std::size_t j = i; j < i + slots.size(); ++j) {
      ASSERT_EQ(calls[j].first, Op::Stop) << "call " << j << " in the middle of a halt";
    }
    i += slots.size() - 1;
  }
  EXPECT_GT(halts, 0);
  EXPECT_EQ(creations, 1);
  EXPECT_NE(std::find(calls.begin(), calls.end(), std::pair{Op::Release, spring}), calls.end());
}

// A stick closed during the test takes the spring with it: nothing more goes to that device.
TEST(DirectionTestRun, LeavesADeviceClosedMeanwhileAlone) {
  SharedDevice d;
  {
    DirectionTestRun run(d.effects);
    EXPECT_TRUE(run.Play(DirectionStep::Left, d.settings));
    d.effects.ReleaseEffects();  // the stick closes
    const std::size_t calls = d.haptic.calls.size();
    EXPECT_EQ(d.effects.LockPort().port(), nullptr);
    EXPECT_FALSE(run.Play(DirectionStep::Right, d.settings));
    run.Stop();
    EXPECT_EQ(d.haptic.calls.size(), calls);
  }
  // Opened again: the test starts a new spring there.
  ScriptedHaptic reopened;
  d.effects.BuildEffects(&reopened, d.state, d.settings);
  {
    DirectionTestRun run(d.effects);
    EXPECT_TRUE(run.Play(DirectionStep::Left, d.settings));
  }
  EXPECT_EQ(reopened.calls.back().op, ScriptedHaptic::Op::Release);
  d.effects.ReleaseEffects();
}

}  // namespace
}  // namespace kestrane
