#include "core/polling_cycle.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/effects.h"
#include "tests/support/scripted_haptic.h"
#include "tests/support/test_rig.h"

namespace kestrane {
namespace {

using test::Rig;

// The effects on a recording device; `updates` counts the parameter updates it was sent.
struct CountingEffects {
  ScriptedHaptic haptic;
  ForceFeedback effects;
  explicit CountingEffects(Rig& r) {
    effects.BuildEffects(&haptic, r.state, r.settings);
    haptic.calls.clear();
  }
  int updates() const {
    int n = 0;
    for (const auto& call : haptic.calls) n += call.op == ScriptedHaptic::Op::Set ? 1 : 0;
    return n;
  }
};

struct FakeDisplay : DisplayPort {
  bool active = false;
  int updates = 0;
  bool IsMainWindowActive() const override { return active; }
  void UpdateDisplay(const ShiftState&) override { ++updates; }
};

// A device whose updates throw.
struct ThrowingHaptic : ScriptedHaptic {
  void SetEffectParameters(EffectId, const EffectRecord&) override {
    throw std::runtime_error("device gone");
  }
};

TEST(PollStep, NoDeviceChangesNothing) {
  Rig r;
  CountingEffects fx(r);
  r.effects = &fx.effects;
  r.joystick_open = false;
  const ShiftState before = r.state;
  r.Tick(0, 0);
  EXPECT_EQ(r.state.GateX, before.GateX);
  EXPECT_EQ(r.state.Mode, before.Mode);
  EXPECT_EQ(r.joystick.reads(), 0);
  EXPECT_EQ(fx.updates(), 0);
}

TEST(PollStep, PollsOnlyWhenPooled) {
  Rig r;
  r.Tick(32767, 32767);
  EXPECT_EQ(r.joystick.polls(), 1);
  r.settings.POOLED_DEVICE = false;
  r.Tick(32767, 32767);
  EXPECT_EQ(r.joystick.polls(), 1);
  EXPECT_EQ(r.joystick.reads(), 2);
}

TEST(PollStep, FailedReadKeepsEverythingAndHeldKey) {
  Rig r;
  CountingEffects fx(r);
  FakeDisplay display;
  display.active = true;
  r.effects = &fx.effects;
  r.display = &display;
  r.Ticks(4, 32767, 0);
  ASSERT_EQ(r.state.SentGear, 3);
  ASSERT_TRUE(r.keys.Held());
  const int effect_updates = fx.updates(), display_updates = display.updates;
  ASSERT_GT(effect_updates, 0);
  const std::size_t key_events = r.keys_seen.events.size();
  r.TickFail();
  EXPECT_EQ(r.state.CurrentGear, 3);
  EXPECT_EQ(r.state.GateY, 16384);
  EXPECT_TRUE(r.keys.Held());
  EXPECT_EQ(r.keys_seen.events.size(), key_events);
  EXPECT_EQ(fx.updates(), effect_updates);
  EXPECT_EQ(display.updates, display_updates);
}

TEST(PollStep, SwapThenMirror) {
  Rig r;
  r.settings.SWITCH_XY = true;
  r.settings.REVERSE_X = true;
  r.Tick(100, 200);
  EXPECT_EQ(r.state.StickX, 65334);
  EXPECT_EQ(r.state.StickY, 100);
  Rig m;
  m.settings.REVERSE_X = true;
  m.settings.REVERSE_Y = true;
  m.Tick(32767, INT32_MIN);
  EXPECT_EQ(m.state.StickX, 32767);
  EXPECT_EQ(m.state.StickY, 65534 - std::int64_t{INT32_MIN});
}

TEST(PollStep, SwitchAxisSelection) {
  Rig r;
  StickSample s;
  s.Z = 1;
  s.Rx = 2;
  s.Ry = 3;
  s.Rz = 4;
  s.Slider = {5, 6};
  for (int axe = 0; axe <= 6; ++axe) {
    r.settings.SWITCH_B_AXE = axe;
    r.TickSample(s);
    EXPECT_EQ(r.state.SwitchAxisValue, axe);
  }
  r.settings.SWITCH_B_AXE = 7;  // no such axis: keeps the last value
  s.Z = 99;
  r.TickSample(s);
  EXPECT_EQ(r.state.SwitchAxisValue, 6);
  Rig fresh;
  fresh.settings.SWITCH_B_AXE = -1;
  fresh.TickSample(s);
  EXPECT_EQ(fresh.state.SwitchAxisValue, 0);
}

TEST(PollStep, DisplayOnlyWhileActive) {
  Rig r;
  FakeDisplay display;
  r.display = &display;
  r.Ticks(3, 32767, 0);
  EXPECT_EQ(display.updates, 0);
  EXPECT_EQ(r.state.CurrentGear, 3);  // gears are decided all the same
  display.active = true;
  r.Tick(32767, 0);
  EXPECT_EQ(display.updates, 1);
}

TEST(OnPollTimer, SkipsReentryAndDropsErrors) {
  Rig r;
  r.state.TickBusy = true;
  r.Tick(0, 0);
  EXPECT_EQ(r.joystick.reads(), 0);
  EXPECT_TRUE(r.state.TickBusy);

  r.state.TickBusy = false;
  ThrowingHaptic device;
  ForceFeedback bad;
  bad.BuildEffects(&device, r.state, r.settings);
  r.effects = &bad;
  EXPECT_NO_THROW(r.Tick(32767, 0));
  EXPECT_FALSE(r.state.TickBusy);
  EXPECT_EQ(r.state.Mode, GateMode::InLane);  // what ran before the error stays
  r.effects = nullptr;
  r.Tick(32767, 0);
  EXPECT_EQ(r.state.GateY, 16384);
}

TEST(PollStep, SameSampleForeverSettles) {
  Rig r;
  r.Ticks(10, 50000, 60000);
  const Gear settled = r.state.CurrentGear;
  const std::size_t events = r.keys_seen.events.size();
  r.Ticks(50, 50000, 60000);
  EXPECT_EQ(r.state.CurrentGear, settled);
  EXPECT_EQ(r.keys_seen.events.size(), events);
}

// Steps on one reading stop at the first that changes nothing, or at the bound (a recording
// replayed one step per line ends where the live run did: tests/tools/record_replay_test.cpp).
TEST(PollStep, StepsAreCountedAndBounded) {
  Rig r;
  r.max_steps = 4;
  r.TickFail();
  EXPECT_EQ(r.last_steps, 0);  // nothing read, no step
  r.Tick(32767, 32767);
  EXPECT_EQ(r.last_steps, 1);  // at rest: one step that changes nothing
  r.max_steps = 2;
  r.Tick(0, 0);  // into first takes more than two steps: cut short at two
  EXPECT_EQ(r.last_steps, 2);
  EXPECT_NE(r.state.SentGear, 1);
  r.max_steps = 4;
  r.Tick(0, 0);  // the next look finishes it
  EXPECT_EQ(r.state.SentGear, 1);
}

}  // namespace
}  // namespace kestrane
