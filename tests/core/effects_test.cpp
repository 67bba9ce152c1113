#include "core/effects.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <set>
#include <thread>

#include "config/setting_keys.h"
#include "core/effect_watchdog.h"
#include "tests/support/scripted_haptic.h"
#include "tests/support/test_rig.h"

namespace kestrane {
namespace {

TEST(ToConditionUnits, Truncation) {
  EXPECT_EQ(ToConditionUnits(21298), 6499);
  EXPECT_EQ(ToConditionUnits(-16383), -4999);
  EXPECT_EQ(ToConditionUnits(32767), 9999);
  EXPECT_EQ(ToConditionUnits(-65534), -19999);
  EXPECT_EQ(ToConditionUnits(0), 0);
  EXPECT_EQ(ToConditionUnits(1), 0);
  EXPECT_EQ(ToConditionUnits(4), 1);
  EXPECT_EQ(ToConditionUnits(-4), -1);
  EXPECT_EQ(ToConditionUnits(32767 + std::int64_t{INT32_MAX}), 655390000);
}

struct Row {
  std::int64_t gx, gy, hx, hy;
  std::int32_t cross_x_offset, cross_x_db, cross_y_db, hole_x_offset, hole_y_offset, hole_x_db,
      hole_y_db, center_x_db, center_y_db;
};

TEST(ComputeEffectParameters, SituationsWithDefaults) {
  const Row rows[] = {
      {32767, 32767, 32767, 32767, 0, 2250, 5000, 0, 0, 10000, 10000, 200, 700},
      {11469, 16384, 11469, 16384, 6499, 200, 5000, 6499, -4999, 200, 700, 10000, 10000},
      {54065, 49150, 54065, 49150, -6499, 200, 5000, -6499, 4999, 200, 700, 10000, 10000},
      {22000, 32767, 11469, 32767, 0, 2250, 700, 6499, 0, 10000, 10000, 200, 700},
      {32767, 28767, 32767, 32767, 0, 200, 5000, 0, 0, 10000, 10000, 200, 700},
  };
  const Settings s = DefaultSettings();
  for (const Row& row : rows) {
    ShiftState st;
    st.GateX = row.gx;
    st.GateY = row.gy;
    st.HoleX = row.hx;
    st.HoleY = row.hy;
    const EffectParameters p = ComputeEffectParameters(st, s);
    SCOPED_TRACE(row.gx);
    EXPECT_EQ(p.cross.x().offset, row.cross_x_offset);
    EXPECT_EQ(p.cross.x().dead_band, row.cross_x_db);
    EXPECT_EQ(p.cross.y().offset, 0);
    EXPECT_EQ(p.cross.y().dead_band, row.cross_y_db);
    EXPECT_EQ(p.hole.x().offset, row.hole_x_offset);
    EXPECT_EQ(p.hole.y().offset, row.hole_y_offset);
    EXPECT_EQ(p.hole.x().dead_band, row.hole_x_db);
    EXPECT_EQ(p.hole.y().dead_band, row.hole_y_db);
    EXPECT_EQ(p.center.x().dead_band, row.center_x_db);
    EXPECT_EQ(p.center.y().dead_band, row.center_y_db);
  }
}

TEST(ComputeEffectParameters, RecordLayout) {
  const Settings s = DefaultSettings();
  ShiftState st;
  const EffectParameters p = ComputeEffectParameters(st, s);
  EXPECT_EQ(p.cross.flags, 16);
  EXPECT_EQ(p.damper.flags, 18);
  EXPECT_EQ(p.cross.duration, -1);
  EXPECT_EQ(p.cross.gain, 10000);
  EXPECT_EQ(p.cross.trigger_button, -1);
  EXPECT_EQ(p.hole.x().positive_coefficient, 2000);
  EXPECT_EQ(p.hole.x().negative_coefficient, 2000);
  EXPECT_EQ(p.hole.y().positive_saturation, 5000);
  EXPECT_EQ(p.center.x().positive_coefficient, 10000);
  EXPECT_EQ(p.center.x().negative_saturation, 3000);
  EXPECT_EQ(p.damper.x().positive_coefficient, 500);
  EXPECT_EQ(p.damper.y().positive_saturation, 1000);
  EXPECT_EQ(p.damper.y().dead_band, 0);
}

std::vector<ScriptedHaptic::Op> Ops(const ScriptedHaptic& h) {
  std::vector<ScriptedHaptic::Op> ops;
  for (const auto& c : h.calls) ops.push_back(c.op);
  return ops;
}

// FF_INVERT_X/Y and FF_STRENGTH against the plain record, in gear 1 (every offset non-zero):
// an inverted axis has each offset negated; strength scales coefficients and saturations, rounded
// to nearest and held to 0..100 percent; offsets and dead bands never change with strength.
struct Correction {
  const char* what;
  bool invert_x, invert_y;
  std::int32_t strength;
  std::int32_t percent;  // the strength that applies
};

std::int32_t Percent(std::int32_t v, std::int32_t p) {
  const double exact = static_cast<double>(v) * p / 100.0;
  return static_cast<std::int32_t>(exact < 0 ? -std::floor(-exact + 0.5) : std::floor(exact + 0.5));
}

TEST(ComputeEffectParameters, InversionAndStrength) {
  const Correction cases[] = {
      {"as set", false, false, 100, 100},    {"X inverted", true, false, 100, 100},
      {"Y inverted", false, true, 100, 100}, {"both, 33 %", true, true, 33, 33},
      {"half", false, false, 50, 50},        {"off", false, false, 0, 0},
      {"above 100", false, true, 250, 100},  {"below 0", true, false, -5, 0},
  };
  ShiftState state;
  ResetShiftState(state);
  state.GateX = state.HoleX = 11469;  // gear 1
  state.GateY = state.HoleY = 16384;
  Settings plain = DefaultSettings();
  plain.DAMPER_ENABLED = true;
  plain.GEAR_CROSS_FORCE = 3333;  // odd values, so that rounding shows
  plain.GEAR_HOLE_SATURATION_Y = 4999;
  const EffectParameters base = ComputeEffectParameters(state, plain);
  for (const Correction& c : cases) {
    SCOPED_TRACE(c.what);
    Settings s = plain;
    s.FF_INVERT_X = c.invert_x;
    s.FF_INVERT_Y = c.invert_y;
    s.FF_STRENGTH = c.strength;
    const EffectParameters p = ComputeEffectParameters(state, s);
    const std::pair<const EffectRecord*, const EffectRecord*> pairs[] = {{&base.cross, &p.cross},
                                                                         {&base.hole, &p.hole},
                                                                         {&base.center, &p.center},
                                                                         {&base.damper, &p.damper}};
    for (const auto& [was, now] : pairs) {
      for (int axis = 0; axis < 2; ++axis) {
        const Condition& a = was->conditions[axis];
        const Condition& b = now->conditions[axis];
        const bool inverted = axis == 1 ? c.invert_x : c.invert_y;
        EXPECT_EQ(b.offset, inverted ? -a.offset : a.offset) << axis;
        EXPECT_EQ(b.dead_band, a.dead_band) << axis;
        EXPECT_EQ(b.positive_coefficient, Percent(a.negative_coefficient, c.percent)) << axis;
        EXPECT_EQ(b.negative_coefficient, Percent(a.positive_coefficient, c.percent)) << axis;
        EXPECT_EQ(b.positive_saturation, Percent(a.positive_saturation, c.percent)) << axis;
        EXPECT_EQ(b.negative_saturation, Percent(a.negative_saturation, c.percent)) << axis;
      }
    }
  }
  // The defaults change nothing.
  Settings d = plain;
  d.FF_STRENGTH = 100;
  const EffectParameters same = ComputeEffectParameters(state, d);
  EXPECT_TRUE(same.cross == base.cross && same.hole == base.hole && same.center == base.center &&
              same.damper == base.damper);
  EXPECT_NE(base.hole.x().offset, 0);
  EXPECT_NE(base.hole.y().offset, 0);
}

TEST(BuildEffects, OrderSecondCrossAndDamperStart) {
  using Op = ScriptedHaptic::Op;
  Settings s = DefaultSettings();
  s.DAMPER_ENABLED = true;
  s.GEAR_CROSS_FORCE_COUNT = 3;
  ShiftState st;
  ScriptedHaptic h;
  ForceFeedback ff;
  ff.BuildEffects(&h, st, s);
  EXPECT_EQ(Ops(h), (std::vector<Op>{Op::Create, Op::Create, Op::Create, Op::Create, Op::Start,
                                     Op::Create}));
  EXPECT_EQ(h.calls[3].type, EffectType::Damper);
  EXPECT_EQ(h.calls[4].id, h.calls[3].id);
  EXPECT_EQ(h.calls[5].record, ComputeEffectParameters(st, s).center);

  h.calls.clear();
  ff.UpdateEffects(st, s);
  ASSERT_EQ(h.calls.size(), 4u);  // cross, cross2, hole, center; never the damper
  EXPECT_EQ(h.calls[0].id, ff.Slot(kCrossSlot));
  EXPECT_EQ(h.calls[1].id, ff.Slot(kCross2Slot));
  EXPECT_EQ(h.calls[2].id, ff.Slot(kHoleSlot));
  EXPECT_EQ(h.calls[3].id, ff.Slot(kCenterSlot));

  h.calls.clear();
  ff.ReleaseEffects();
  EXPECT_EQ(Ops(h), std::vector<Op>(5, Op::Release));
}

TEST(BuildEffects, CountsAndSwitches) {
  for (std::int32_t count : {-1, 0, 1, 2, 5}) {
    Settings s = DefaultSettings();
    s.GEAR_CROSS_FORCE_COUNT = count;
    ShiftState st;
    ScriptedHaptic h;
    ForceFeedback ff;
    ff.BuildEffects(&h, st, s);
    EXPECT_EQ(ff.Slot(kCross2Slot) != kNoEffect, count > 1) << count;
  }
  Settings s = DefaultSettings();
  s.CROSS_ENABLED = false;
  s.GEAR_CROSS_FORCE_COUNT = 2;
  s.FORCE_FEEDBACK = false;
  ApplyForceFeedbackSwitch(s);
  ShiftState st;
  ScriptedHaptic h;
  ForceFeedback ff;
  ff.BuildEffects(&h, st, s);
  EXPECT_TRUE(h.calls.empty());
  ff.UpdateEffects(st, s);
  EXPECT_TRUE(h.calls.empty());
}

TEST(BuildEffects, SingleFailuresAreSilentAndReleased) {
  Settings s = DefaultSettings();
  s.DAMPER_ENABLED = true;
  ShiftState st;
  ScriptedHaptic h;
  h.FailCreation(0, /*hand_back=*/true);  // cross: refused, but an object came back
  h.FailCreation(2);                      // damper
  ForceFeedback ff;
  ff.BuildEffects(&h, st, s);
  EXPECT_EQ(ff.Slot(kCrossSlot), kNoEffect);
  EXPECT_EQ(ff.Slot(kDamperSlot), kNoEffect);
  EXPECT_NE(ff.Slot(kHoleSlot), kNoEffect);
  EXPECT_NE(ff.Slot(kCenterSlot), kNoEffect);
  EXPECT_EQ(h.calls[1].op, ScriptedHaptic::Op::Release);  // the handed-back object
  for (const auto& c : h.calls) EXPECT_NE(c.op, ScriptedHaptic::Op::Start);
}

TEST(BuildEffects, SnapsTheStartHole) {
  Settings s = DefaultSettings();
  s.JOY_GEAR_WIDTH = 1;
  ShiftState st;
  ResetShiftState(st);
  ScriptedHaptic h;
  ForceFeedback ff;
  ff.BuildEffects(&h, st, s);
  EXPECT_EQ(st.HoleX, 32766);
  ForceFeedback none;
  ShiftState untouched;
  untouched.GateX = 0;
  none.BuildEffects(nullptr, untouched, s);
  EXPECT_EQ(untouched.HoleX, 32767);  // no device: nothing happens
}

TEST(UpdateEffects, FollowsTheTickInThePollStep) {
  test::Rig r;
  ScriptedHaptic h;
  ForceFeedback ff;
  ff.BuildEffects(&h, r.state, r.settings);
  r.effects = &ff;
  r.Ticks(4, 0, 0);  // gear 1
  EXPECT_EQ(ff.Parameters().hole.x().offset, 6499);
  EXPECT_EQ(ff.Parameters().hole.y().offset, -4999);
  h.calls.clear();
  r.TickFail();
  EXPECT_TRUE(h.calls.empty());
}

}  // namespace
}  // namespace kestrane

namespace kestrane {
namespace {

// Letting go and the watchdog's halt, on a device that records every call.
struct LetGoRig {
  Settings settings = DefaultSettings();
  ShiftState state;
  ScriptedHaptic haptic;
  ForceFeedback effects;
  LetGoRig() {
    settings.DAMPER_ENABLED = true;
    ResetShiftState(state);
    effects.BuildEffects(&haptic, state, settings);
    effects.UpdateEffects(state, settings);
    haptic.calls.clear();
  }
  // Under the lock the watchdog's thread writes the calls under.
  std::multiset<EffectId> Ids(ScriptedHaptic::Op op) {
    const ForceFeedback::PortLock lock = effects.LockPort();
    std::multiset<EffectId> ids;
    for (const auto& c : haptic.calls) {
      if (c.op == op) ids.insert(c.id);
    }
    return ids;
  }
  std::multiset<EffectId> Built() const {
    std::multiset<EffectId> ids;
    for (int slot = 0; slot < kEffectSlots; ++slot) {
      if (effects.Slot(static_cast<EffectSlot>(slot)) != kNoEffect) {
        ids.insert(effects.Slot(static_cast<EffectSlot>(slot)));
      }
    }
    return ids;
  }
};

TEST(LetGo, StopsEveryEffectAndSendsNothingUntilRestored) {
  LetGoRig r;
  r.effects.LetGo();
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Stop), r.Built());
  EXPECT_EQ(r.Built().size(), 4u);
  r.haptic.calls.clear();
  r.state.GateX = r.state.HoleX = 11469;  // the stick moves: still nothing is sent
  for (int i = 0; i < 5; ++i) r.effects.UpdateEffects(r.state, r.settings);
  r.effects.LetGo();
  EXPECT_TRUE(r.effects.Halt());  // already stopped: nothing more to do
  EXPECT_TRUE(r.haptic.calls.empty());
  // Reopening the stick keeps them stopped: nothing started.
  r.effects.BuildEffects(&r.haptic, r.state, r.settings);
  r.effects.UpdateEffects(r.state, r.settings);
  EXPECT_TRUE(r.Ids(ScriptedHaptic::Op::Start).empty());
  EXPECT_TRUE(r.Ids(ScriptedHaptic::Op::Set).empty());

  r.haptic.calls.clear();
  r.effects.RestoreForces();
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Start), r.Built());
  r.effects.UpdateEffects(r.state, r.settings);
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Set).size(), 3u);  // the springs, not the damper
  EXPECT_FALSE(r.effects.LetGoOf());
}

TEST(Halt, StopsEveryEffectOnceAndTheNextUpdateStartsThemAgain) {
  LetGoRig r;
  EXPECT_TRUE(r.effects.Halt());
  EXPECT_TRUE(r.effects.Halt());
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Stop), r.Built());  // once each
  r.haptic.calls.clear();
  r.effects.UpdateEffects(r.state, r.settings);
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Start), r.Built());
  r.haptic.calls.clear();
  r.effects.UpdateEffects(r.state, r.settings);
  EXPECT_TRUE(r.Ids(ScriptedHaptic::Op::Start).empty());
}

TEST(EffectWatchdog, HaltsAStalledLoopOnceAndNotARestingOne) {
  LetGoRig r;
  EffectWatchdog watchdog(r.effects, std::chrono::milliseconds(60));
  watchdog.Watch(true);
  // Before the first beat, and while beating, nothing happens.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  for (int i = 0; i < 10; ++i) {
    watchdog.Beat();
    r.effects.UpdateEffects(r.state, r.settings);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(watchdog.Halts(), 0);
  EXPECT_TRUE(r.Ids(ScriptedHaptic::Op::Stop).empty());
  // The loop stalls: one halt, however long the stall.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (watchdog.Halts() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(watchdog.Halts(), 1);
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Stop), r.Built());
  // Ticking again starts the effects; a resting loop is not a stall.
  watchdog.Beat();
  r.effects.UpdateEffects(r.state, r.settings);
  EXPECT_EQ(r.Ids(ScriptedHaptic::Op::Start), r.Built());
  watchdog.Rest();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(watchdog.Halts(), 1);
  // With no forces to watch the thread sleeps: no look, and a stall halts nothing.
  watchdog.Watch(false);
  watchdog.Beat();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const int looks = watchdog.Wakeups();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(watchdog.Wakeups(), looks);
  EXPECT_EQ(watchdog.Halts(), 1);
  // Watching again, from the next beat on.
  watchdog.Watch(true);
  watchdog.Beat();
  const auto again = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (watchdog.Halts() == 1 && std::chrono::steady_clock::now() < again) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(watchdog.Halts(), 2);
}

}  // namespace
}  // namespace kestrane
