#include "core/gate_tracking.h"

#include <gtest/gtest.h>

#include <climits>

#include "config/setting_keys.h"
#include "tests/support/test_rig.h"

namespace kestrane {
namespace {

using test::Rig;

// Defaults: lanes at X 11469, 32767, 54065; rows at Y 16384 and 49150.
TEST(TrackGate, EntersCentreLaneAndReachesTopRowOverThreeTicks) {
  Rig r;
  r.Tick(32767, 0);
  EXPECT_EQ(r.state.Mode, GateMode::InLane);
  EXPECT_EQ(r.state.GateX, 32767);
  EXPECT_EQ(r.state.GateY, 32767);  // entering keeps the neutral line for this call
  EXPECT_EQ(r.state.CurrentGear, kNeutral);
  r.Tick(32767, 0);
  EXPECT_EQ(r.state.GateY, 16384);
  EXPECT_EQ(r.state.HoleX, 32767);
  EXPECT_EQ(r.state.HoleY, 16384);
  EXPECT_EQ(r.state.CurrentGear, kNeutral);  // the decision uses the previous tick's hole
  r.Tick(32767, 0);
  EXPECT_EQ(r.state.CurrentGear, 3);
}

TEST(TrackGate, BeyondOuterLaneCountsAsOnIt) {
  Rig r;
  r.Tick(0, 0);
  EXPECT_EQ(r.state.Mode, GateMode::InLane);
  EXPECT_EQ(r.state.GateX, 11469);
  r.Tick(0, 0);
  r.Tick(0, 0);
  EXPECT_EQ(r.state.CurrentGear, 1);
}

TEST(TrackGate, BetweenLanesStaysOnNeutralLine) {
  Rig r;
  r.Tick(20000, 10000);
  EXPECT_EQ(r.state.Mode, GateMode::OnNeutralLine);
  EXPECT_EQ(r.state.GateX, 20000);
  EXPECT_EQ(r.state.HoleX, 11469);
  EXPECT_EQ(r.state.HoleY, 32767);
}

TEST(TrackGate, LeavesLaneAndStaysOnNeutralLineInOneCall) {
  Rig r;
  r.Ticks(3, 32767, 0);
  ASSERT_EQ(r.state.CurrentGear, 3);
  r.Tick(20000, 33000);
  EXPECT_EQ(r.state.Mode, GateMode::OnNeutralLine);
  EXPECT_EQ(r.state.GateX, 20000);
  EXPECT_EQ(r.state.GateY, 32767);
}

TEST(TrackGate, EqualDistancesNeverChangeMode) {
  Settings s = DefaultSettings();
  ShiftState st;
  // On the neutral line: candidate centre lane, dx = dy = 100.
  st.StickX = 32767 + 100;
  st.StickY = 32767 + 100;
  TrackGate(st, s);
  EXPECT_EQ(st.Mode, GateMode::OnNeutralLine);
  // In the centre lane: dx = dy = 50 keeps the lane.
  st.Mode = GateMode::InLane;
  st.GateX = 32767;
  st.StickX = 32767 - 50;
  st.StickY = 32767 + 50;
  TrackGate(st, s);
  EXPECT_EQ(st.Mode, GateMode::InLane);
  EXPECT_EQ(st.GateY, 32767 + 50);
}

TEST(TrackGate, HeldOnNeutralLineNeverEntersLane) {
  Rig r;
  r.Ticks(5, 11469, 32767);
  EXPECT_EQ(r.state.Mode, GateMode::OnNeutralLine);
}

TEST(TrackGate, GateYClampedToRows) {
  Rig r;
  r.Ticks(2, 32767, 65535);
  EXPECT_EQ(r.state.GateY, 32767 + 16383);
}

TEST(UpdateHole, BoundariesWithDefaults) {
  Settings s = DefaultSettings();
  ShiftState st;
  auto hole = [&](std::int64_t gx, std::int64_t gy) {
    st.GateX = gx;
    st.GateY = gy;
    UpdateHole(st, s);
    return std::to_string(st.HoleX) + "," + std::to_string(st.HoleY);
  };
  EXPECT_EQ(hole(22118, 24576), "11469,16384");
  EXPECT_EQ(hole(22119, 24577), "32767,32767");
  EXPECT_EQ(hole(43416, 40958), "54065,49150");
  EXPECT_EQ(hole(43415, 40957), "32767,32767");
}

TEST(UpdateHole, StartHoleFollowsHalvesForTinyPattern) {
  // W = H = 1: the halves are 0, so the centre point counts as the left column and top row.
  Settings s = DefaultSettings();
  s.JOY_GEAR_WIDTH = 1;
  s.JOY_GEAR_HEIGHT = 1;
  ShiftState st;
  ResetShiftState(st);
  UpdateHole(st, s);
  EXPECT_EQ(st.HoleX, 32766);
  EXPECT_EQ(st.HoleY, 32766);
}

TEST(TrackGate, ExtremeSettingsAndSamplesStayExact) {
  // Sanitizer builds turn any overflow here into a failure.
  Settings s = DefaultSettings();
  for (std::int32_t w : {INT_MAX, INT_MIN, 0, -1}) {
    for (std::int32_t sz : {INT_MAX, INT_MIN, 0}) {
      s.JOY_GEAR_WIDTH = w;
      s.JOY_GEAR_HEIGHT = w;
      s.GEAR_CROSS_SIZE = sz;
      Rig r;
      r.settings = s;
      for (std::int32_t x : {INT_MIN, INT_MAX, 0, 32767}) {
        for (std::int32_t y : {INT_MIN, INT_MAX, 32767}) r.Tick(x, y);
      }
      EXPECT_TRUE(r.state.CurrentGear >= -1 && r.state.CurrentGear <= 7);
    }
  }
  // A lane beyond the 32-bit range is kept exactly.
  s = DefaultSettings();
  s.JOY_GEAR_WIDTH = INT_MAX;
  ShiftState st;
  UpdateHole(st, s);
  st.StickX = INT_MAX;
  st.StickY = INT_MIN;
  TrackGate(st, s);
  EXPECT_EQ(st.Mode, GateMode::OnNeutralLine);
  EXPECT_EQ(st.GateX, INT_MAX);
  UpdateHole(st, s);
  EXPECT_EQ(st.HoleX, 32767 + std::int64_t{INT_MAX});
}

}  // namespace
}  // namespace kestrane
