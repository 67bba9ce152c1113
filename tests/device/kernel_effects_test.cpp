// Every force-feedback effect as the kernel receives it: the stick is driven through the H on a
// fake force-feedback joystick (tests/support/fake_kernel.h), through SDL's real Linux backend,
// and the ff_effects recorded at the node are compared with the effect arithmetic and with where
// each spring must pull.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "core/effect_watchdog.h"
#include "core/effects.h"
#include "core/gate_tracking.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "device/joystick_device.h"
#include "device/sdl_input.h"
#include "fake_kernel.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/recording_messages.h"

namespace kestrane {
namespace {

using test::FakeKernel;

constexpr std::int64_t M = kAxisMiddle;

// The fake stick's X and Y run over SDL's own range, so SDL hands the values on unchanged.
test::FakeStickSetup SdlRangeStick() {
  test::FakeStickSetup setup;
  setup.axes = {{ABS_X, -32768, 32767, 0}, {ABS_Y, -32768, 32767, 0}};
  return setup;
}

// Full scale of the kernel's fields: 10000 condition units are 32767 (signed) and 65535
// (unsigned).
int Signed(std::int64_t units) {
  return static_cast<int>(units * 32767 / 10000);
}
int Unsigned(std::int64_t units) {
  return static_cast<int>(units * 65535 / 10000);
}

struct Point {
  std::int32_t x, y;  // SDL units, 0 the middle; y < 0 is the top row
};

struct Situation {
  const char* name;
  std::vector<Point> path;  // from the middle, through the gate
};

constexpr std::int32_t kLane = 21298;  // JOY_GEAR_WIDTH
constexpr std::int32_t kRow = 20000;   // beyond JOY_GEAR_HEIGHT

const Situation kSituations[] = {
    {"neutral", {{0, 0}}},
    {"left lane", {{-kLane, 0}}},
    {"right lane", {{kLane, 0}}},
    {"between the lanes", {{-9000, 0}}},
    {"gear 1", {{-kLane, 0}, {-kLane, -kRow}}},
    {"gear 2", {{-kLane, 0}, {-kLane, kRow}}},
    {"gear 3", {{0, -kRow}}},
    {"gear 4", {{0, kRow}}},
    {"gear 5", {{kLane, 0}, {kLane, -kRow}}},
    {"gear 6", {{kLane, 0}, {kLane, kRow}}},
    {"half way into gear 1", {{-kLane, 0}, {-kLane, -9000}}},
};

class KernelEffectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRANE_NEED_FAKE_KERNEL();
    kernel = std::make_unique<FakeKernel>();
    stick = &kernel->AddStick(SdlRangeStick());
    settings.DAMPER_ENABLED = true;
    ResetShiftState(state);
    ASSERT_TRUE(device.StartInput());
  }
  void TearDown() override { device.StopInput(); }

  void Open() {
    ASSERT_TRUE(device.ListJoysticks());
    device.SelectFirstIfNone();
    ASSERT_TRUE(device.OpenJoystick(settings, state)) << testing::PrintToString(messages.shown);
    // The kernel's effect ids in the order the effects were created.
    std::vector<int> ids;
    for (const ff_effect& e : stick->Uploads()) {
      if (std::find(ids.begin(), ids.end(), e.id) == ids.end()) ids.push_back(e.id);
    }
    std::size_t next = 0;
    // ForceFeedback creates cross, second cross, hole, damper, centre, as enabled.
    for (EffectSlot slot : {kCrossSlot, kCross2Slot, kHoleSlot, kDamperSlot, kCenterSlot}) {
      if (effects.Slot(slot) != kNoEffect) {
        ASSERT_LT(next, ids.size());
        kernel_id[slot] = ids[next++];
      }
    }
  }

  void Tick() {
    PollContext ctx{state, settings, device.OpenDevice(), keys, &effects};
    OnPollTimer(ctx);
  }
  // Moves the stick to `p` and ticks until the program has read it, then a few more times.
  void MoveTo(Point p) {
    stick->Move(ABS_X, p.x);
    stick->Move(ABS_Y, p.y);
    ASSERT_TRUE(FakeKernel::WaitFor([&] {
      Tick();
      return std::llabs(state.StickX - (M + p.x)) <= 1 && std::llabs(state.StickY - (M + p.y)) <= 1;
    })) << p.x
        << "," << p.y;
    for (int i = 0; i < 5; ++i) Tick();
  }
  void Follow(const std::vector<Point>& path) {
    for (const Point& p : path) MoveTo(p);
  }
  void Back(const std::vector<Point>& path) {
    for (auto it = path.rbegin() + 1; it < path.rend(); ++it) MoveTo(*it);
    MoveTo({0, 0});
  }

  // Checks one kernel effect against its record and the point its springs must pull toward.
  void ExpectEffect(const char* where, EffectSlot slot, std::uint16_t type,
                    const EffectRecord& record, std::int64_t target_x, std::int64_t target_y,
                    std::int32_t force_x, std::int32_t force_y, std::int32_t sat_x,
                    std::int32_t sat_y) {
    SCOPED_TRACE(std::string(where) + ", effect slot " + std::to_string(slot));
    const auto effects_now = stick->Effects();
    ASSERT_TRUE(effects_now.count(kernel_id[slot]));
    const ff_effect& e = effects_now.at(kernel_id[slot]);
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.replay.length, 0);  // infinite
    EXPECT_EQ(e.replay.delay, 0);
    EXPECT_EQ(e.trigger.button, 0);
    EXPECT_EQ(e.trigger.interval, 0);
    // SDL 2.26 sends 0 for every condition; later releases pass our east direction on.
    SDL_version v;
    SDL_GetVersion(&v);
    if (SDL_VERSIONNUM(v.major, v.minor, v.patch) < SDL_VERSIONNUM(2, 28, 0)) {
      EXPECT_EQ(e.direction, 0);
    } else {
      EXPECT_TRUE(e.direction == 0 || e.direction == 0x4000) << e.direction;
    }
    const ff_condition_effect& x = e.u.condition[0];
    const ff_condition_effect& y = e.u.condition[1];
    // Forces and saturations: the settings, the same on both sides.
    EXPECT_NEAR(x.right_coeff, Signed(force_x), 1);
    EXPECT_EQ(x.left_coeff, x.right_coeff);
    EXPECT_NEAR(y.right_coeff, Signed(force_y), 1);
    EXPECT_EQ(y.left_coeff, y.right_coeff);
    EXPECT_NEAR(x.right_saturation, Unsigned(sat_x), 1);
    EXPECT_EQ(x.left_saturation, x.right_saturation);
    EXPECT_NEAR(y.right_saturation, Unsigned(sat_y), 1);
    EXPECT_EQ(y.left_saturation, y.right_saturation);
    // Dead bands: as the effect arithmetic chose them.
    EXPECT_NEAR(x.deadband, Unsigned(record.x().dead_band), 1);
    EXPECT_NEAR(y.deadband, Unsigned(record.y().dead_band), 1);
    // Centres: at the target, on the target's side of the middle (a positive centre lies toward
    // the axis's positive end: right on X, back on Y), in the axis's own units.
    EXPECT_NEAR(x.center, static_cast<int>(target_x - M), 4) << "X centre";
    EXPECT_NEAR(y.center, static_cast<int>(target_y - M), 4) << "Y centre";
    EXPECT_EQ(x.center > 0, target_x > M) << "X centre " << x.center;
    EXPECT_EQ(x.center < 0, target_x < M) << "X centre " << x.center;
    EXPECT_EQ(y.center > 0, target_y > M) << "Y centre " << y.center;
    EXPECT_EQ(y.center < 0, target_y < M) << "Y centre " << y.center;
  }

  void ExpectAllEffects(const char* where) {
    const EffectParameters p = ComputeEffectParameters(state, settings);
    const Settings& s = settings;
    const bool near_neutral = std::llabs(state.GateY - M) < s.GEAR_CROSS_SIZE;
    const std::int64_t lane = CandidateLane(state.GateX, s.JOY_GEAR_WIDTH, s.GEAR_CROSS_SIZE);
    // The cross spring holds the stick in its lane (in the neutral row: anywhere across).
    if (effects.Slot(kCrossSlot) != kNoEffect) {
      ExpectEffect(where, kCrossSlot, FF_SPRING, p.cross, near_neutral ? M : lane, M,
                   s.GEAR_CROSS_FORCE, s.GEAR_CROSS_FORCE, s.GEAR_CROSS_SATURATION,
                   s.GEAR_CROSS_SATURATION);
    }
    if (effects.Slot(kCross2Slot) != kNoEffect) {
      ExpectEffect(where, kCross2Slot, FF_SPRING, p.cross, near_neutral ? M : lane, M,
                   s.GEAR_CROSS_FORCE, s.GEAR_CROSS_FORCE, s.GEAR_CROSS_SATURATION,
                   s.GEAR_CROSS_SATURATION);
    }
    // The hole spring pulls into the slot the stick is in, or toward neutral.
    if (effects.Slot(kHoleSlot) != kNoEffect) {
      ExpectEffect(where, kHoleSlot, FF_SPRING, p.hole, state.HoleX, state.HoleY,
                   s.GEAR_HOLE_FORCE_X, s.GEAR_HOLE_FORCE_Y, s.GEAR_HOLE_SATURATION_X,
                   s.GEAR_HOLE_SATURATION_Y);
    }
    // The centre spring pulls to the middle.
    if (effects.Slot(kCenterSlot) != kNoEffect) {
      ExpectEffect(where, kCenterSlot, FF_SPRING, p.center, M, M, s.GEAR_CENTER_FORCE_X,
                   s.GEAR_CENTER_FORCE_Y, s.GEAR_CENTER_SATURATION_X, s.GEAR_CENTER_SATURATION_Y);
    }
    if (effects.Slot(kDamperSlot) != kNoEffect) {
      ExpectEffect(where, kDamperSlot, FF_DAMPER, p.damper, M, M, s.GEAR_DAMPER_FORCE,
                   s.GEAR_DAMPER_FORCE, s.GEAR_DAMPER_SATURATION, s.GEAR_DAMPER_SATURATION);
    }
    // Every effect that exists plays.
    std::set<int> built;
    for (const auto& [slot, id] : kernel_id) built.insert(id);
    EXPECT_EQ(stick->Playing(), built) << where;
  }

  std::unique_ptr<FakeKernel> kernel;
  test::FakeStick* stick = nullptr;
  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform(false);
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device{*platform, messages, effects};
  Settings settings = DefaultSettings();
  ShiftState state;
  test::FakeKeySink keys_seen;
  KeyOutput keys{keys_seen};
  std::map<EffectSlot, int> kernel_id;
};

TEST_F(KernelEffectsTest, EverySituationAsTheKernelReceivesIt) {
  Open();
  for (const Situation& s : kSituations) {
    Follow(s.path);
    ExpectAllEffects(s.name);
    // Held still, nothing more is sent.
    const std::size_t uploads = stick->Uploads().size();
    const std::size_t writes = stick->FfWrites().size();
    for (int i = 0; i < 20; ++i) Tick();
    EXPECT_EQ(stick->Uploads().size(), uploads) << s.name;
    EXPECT_EQ(stick->FfWrites().size(), writes) << s.name;
    Back(s.path);
  }
}

TEST_F(KernelEffectsTest, LettingGoStopsEveryEffectAtTheStickUntilRestored) {
  Open();
  Follow({{-kLane, 0}, {-kLane, -kRow}});
  ASSERT_EQ(stick->Playing().size(), 4u);
  effects.LetGo();
  EXPECT_TRUE(stick->Playing().empty());
  const std::size_t uploads = stick->Uploads().size();
  Back({{-kLane, 0}, {-kLane, -kRow}});  // moving the stick sends nothing
  EXPECT_EQ(stick->Uploads().size(), uploads);
  EXPECT_TRUE(stick->Playing().empty());
  effects.RestoreForces();
  Tick();
  ExpectAllEffects("restored in neutral");
}

TEST_F(KernelEffectsTest, TheWatchdogStopsTheEffectsOfAStalledLoop) {
  Open();
  EffectWatchdog watchdog(effects);
  watchdog.Watch(true);
  for (int i = 0; i < 5; ++i) {
    watchdog.Beat();
    Tick();
  }
  ASSERT_EQ(stick->Playing().size(), 4u);
  // The loop stops ticking: within the limit and a fifth, every effect stops at the stick.
  const auto stalled = std::chrono::steady_clock::now();
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return stick->Playing().empty(); }));
  EXPECT_GE(std::chrono::steady_clock::now() - stalled, kEffectStallLimit);
  // Counted once the halt has returned.
  EXPECT_TRUE(FakeKernel::WaitFor([&] { return watchdog.Halts() == 1; }));
  // The next tick starts them again.
  watchdog.Beat();
  Tick();
  ExpectAllEffects("after the stall");
}

struct Correction {
  const char* what;
  bool invert_x, invert_y;
  std::int32_t strength;
};

// FF_INVERT_X/Y and FF_STRENGTH as the kernel receives them, in gear 1: the hole spring's centre
// on an inverted axis lies on the other side of the middle, and every force and saturation is the
// strength's share of the setting; the dead bands stay.
TEST_F(KernelEffectsTest, InvertedAxesAndStrengthReachTheStick) {
  const Correction cases[] = {{"as set", false, false, 100},
                              {"X inverted", true, false, 100},
                              {"Y inverted, half strength", false, true, 50},
                              {"both inverted, 20 %", true, true, 20}};
  for (const Correction& c : cases) {
    SCOPED_TRACE(c.what);
    settings.FF_INVERT_X = c.invert_x;
    settings.FF_INVERT_Y = c.invert_y;
    settings.FF_STRENGTH = c.strength;
    kernel_id.clear();
    stick->ClearRecords();
    Open();
    Follow({{-kLane, 0}, {-kLane, -kRow}});
    const ff_effect hole = stick->Effects().at(kernel_id[kHoleSlot]);
    const ff_condition_effect& x = hole.u.condition[0];
    const ff_condition_effect& y = hole.u.condition[1];
    const int x_target = static_cast<int>(state.HoleX - M);  // left of the middle
    const int y_target = static_cast<int>(state.HoleY - M);  // forward of it
    ASSERT_LT(x_target, 0);
    ASSERT_LT(y_target, 0);
    EXPECT_NEAR(x.center, c.invert_x ? -x_target : x_target, 4);
    EXPECT_NEAR(y.center, c.invert_y ? -y_target : y_target, 4);
    const auto share = [&](std::int32_t v) { return (v * c.strength + 50) / 100; };
    EXPECT_NEAR(x.right_coeff, Signed(share(settings.GEAR_HOLE_FORCE_X)), 1);
    EXPECT_NEAR(x.left_saturation, Unsigned(share(settings.GEAR_HOLE_SATURATION_X)), 1);
    EXPECT_NEAR(y.right_coeff, Signed(share(settings.GEAR_HOLE_FORCE_Y)), 1);
    EXPECT_NEAR(y.right_saturation, Unsigned(share(settings.GEAR_HOLE_SATURATION_Y)), 1);
    EXPECT_NEAR(x.deadband, Unsigned(settings.GEAR_FORCE_DEATH_NOFREE_X), 1);
    const ff_effect damper = stick->Effects().at(kernel_id[kDamperSlot]);
    EXPECT_NEAR(damper.u.condition[0].right_coeff, Signed(share(settings.GEAR_DAMPER_FORCE)), 1);
    Back({{-kLane, 0}, {-kLane, -kRow}});
    device.CloseJoystick();
  }
}

struct Switches {
  const char* name;
  bool cross, hole, center, damper;
  std::int32_t cross_count;
  std::vector<EffectSlot> built;
};

TEST_F(KernelEffectsTest, EachSwitchAndForceCountBuildsItsEffects) {
  const Switches cases[] = {
      {"everything, one cross spring",
       true,
       true,
       true,
       true,
       1,
       {kCrossSlot, kHoleSlot, kCenterSlot, kDamperSlot}},
      {"two cross springs",
       true,
       true,
       true,
       true,
       2,
       {kCrossSlot, kCross2Slot, kHoleSlot, kCenterSlot, kDamperSlot}},
      {"no cross", false, true, true, true, 2, {kHoleSlot, kCenterSlot, kDamperSlot}},
      {"no hole", true, false, true, false, 1, {kCrossSlot, kCenterSlot}},
      {"no centre, no damper", true, true, false, false, 1, {kCrossSlot, kHoleSlot}},
      {"nothing", false, false, false, false, 1, {}},
  };
  for (const Switches& c : cases) {
    SCOPED_TRACE(c.name);
    settings.CROSS_ENABLED = c.cross;
    settings.HOLE_ENABLED = c.hole;
    settings.CENTER_ENABLED = c.center;
    settings.DAMPER_ENABLED = c.damper;
    settings.GEAR_CROSS_FORCE_COUNT = c.cross_count;
    kernel_id.clear();
    stick->ClearRecords();
    Open();
    EXPECT_EQ(stick->Effects().size(), c.built.size());
    for (EffectSlot slot : c.built) EXPECT_NE(effects.Slot(slot), kNoEffect) << slot;
    Follow({{-kLane, 0}, {-kLane, -kRow}});
    ExpectAllEffects(c.name);
    Back({{-kLane, 0}, {-kLane, -kRow}});
    device.CloseJoystick();
    // Closing removes every effect from the stick.
    EXPECT_TRUE(stick->Effects().empty());
    EXPECT_TRUE(stick->Playing().empty());
  }
}

}  // namespace
}  // namespace kestrane
