#include "core/gear_detection.h"

#include <gtest/gtest.h>

#include "tests/support/test_rig.h"
#include "config/setting_keys.h"

namespace kestrane {
namespace {

using test::Rig;

constexpr std::int32_t kLeft = 0, kCentre = 32767, kRight = 65534;
constexpr std::int32_t kTop = 0, kMid = 32767, kBottom = 65534;

TEST(GearLetter, EveryGear) {
  EXPECT_EQ(GearLetter(-1), 'N');
  EXPECT_EQ(GearLetter(0), 'R');
  EXPECT_EQ(GearLetter(1), '1');
  EXPECT_EQ(GearLetter(7), '7');
}

TEST(DecideGear, EverySlot) {
  const struct {
    std::int32_t x, y;
    Gear gear;
  } slots[] = {{kLeft, kTop, 1},    {kLeft, kBottom, 2},  {kCentre, kTop, 3},
               {kCentre, kBottom, 4}, {kRight, kTop, 5}, {kRight, kBottom, 6}};
  for (const auto& slot : slots) {
    Rig r;
    r.settings.SWITCH_BUTTON = 0;
    r.Ticks(4, slot.x, slot.y);
    EXPECT_EQ(r.state.CurrentGear, slot.gear) << slot.x << "," << slot.y;
  }
}

TEST(DecideGear, SwitchGivesReverseAndSeventhAndLatchesInRow) {
  Rig r;  // SWITCH_BUTTON 1: any button
  r.Ticks(4, kLeft, kTop, 1);
  EXPECT_EQ(r.state.CurrentGear, kReverse);
  r.Ticks(2, kLeft, kTop, 0);  // released inside the row: still reverse
  EXPECT_EQ(r.state.CurrentGear, kReverse);

  Rig six;
  six.Ticks(4, kRight, kBottom);
  EXPECT_EQ(six.state.CurrentGear, 6);
  six.Tick(kRight, kBottom, 1u << 5);
  EXPECT_EQ(six.state.CurrentGear, 7);
  six.Tick(kRight, kBottom);
  EXPECT_EQ(six.state.CurrentGear, 7);
  EXPECT_TRUE(six.state.SwitchLatched);
  // Back to the neutral line with the switch off clears the latch.
  six.Ticks(4, kCentre, kMid);
  EXPECT_FALSE(six.state.SwitchLatched);
  EXPECT_EQ(six.state.CurrentGear, kNeutral);
}

TEST(UpdateSwitch, ButtonNumbersAndAxisRange) {
  Settings s = DefaultSettings();
  ShiftState st;
  std::array<std::uint8_t, 32> buttons{};
  s.SWITCH_BUTTON = 2;
  buttons[1] = 0x80;
  UpdateSwitch(st, buttons, s);
  EXPECT_FALSE(st.Bstate);  // button 1 is byte 0
  buttons[0] = 0x80;
  UpdateSwitch(st, buttons, s);
  EXPECT_TRUE(st.Bstate);
  buttons = {};
  buttons[31] = 1;
  s.SWITCH_BUTTON = 33;
  UpdateSwitch(st, buttons, s);
  EXPECT_TRUE(st.Bstate);
  s.SWITCH_BUTTON = 34;
  UpdateSwitch(st, buttons, s);
  EXPECT_FALSE(st.Bstate);
  s.SWITCH_BUTTON = 0;
  // Axis range, inclusive; equal bounds switch it off.
  s.SWITCH_B_MIN = -32000;
  s.SWITCH_B_MAX = 32000;
  st.SwitchAxisValue = 0;
  UpdateSwitch(st, buttons, s);
  EXPECT_TRUE(st.Bstate);
  st.SwitchAxisValue = 32000;
  UpdateSwitch(st, buttons, s);
  EXPECT_TRUE(st.Bstate);
  st.SwitchAxisValue = 32001;
  UpdateSwitch(st, buttons, s);
  EXPECT_FALSE(st.Bstate);
  s.SWITCH_B_MAX = -32000;
  st.SwitchAxisValue = -32000;
  UpdateSwitch(st, buttons, s);
  EXPECT_FALSE(st.Bstate);
}

TEST(DecideGear, ManualNeutralGesture) {
  Rig r;
  r.settings.FORCE_FEEDBACK = false;
  r.settings.AUTOCENTER_NEUTRAL = true;
  r.Ticks(4, kCentre, kTop);
  ASSERT_EQ(r.state.CurrentGear, 3);
  // Released: stays in the centre lane at the neutral line, gear kept.
  r.Ticks(3, kCentre, kMid);
  EXPECT_EQ(r.state.Mode, GateMode::InLane);
  EXPECT_EQ(r.state.GateY, 32767);
  EXPECT_EQ(r.state.CurrentGear, 3);
  EXPECT_EQ(r.state.NeutralFlags, 0);  // FromRow cleared at the centre column
  r.Ticks(2, kLeft, kMid);
  EXPECT_EQ(r.state.GateX, 11469);
  EXPECT_EQ(r.state.NeutralFlags, kLeftSeen);
  EXPECT_EQ(r.state.CurrentGear, 3);
  r.Tick(kRight, kMid);  // the gate reaches the right; the hole follows at the end of the tick
  r.Tick(kRight, kMid);
  EXPECT_EQ(r.state.CurrentGear, kNeutral);
  EXPECT_EQ(r.state.NeutralFlags, 0);
}

TEST(DecideGear, ManualNeutralGestureRestartsWhenRowEntered) {
  Rig r;
  r.settings.FORCE_FEEDBACK = false;
  r.settings.AUTOCENTER_NEUTRAL = true;
  r.Ticks(4, kCentre, kTop);
  r.Ticks(3, kCentre, kMid);
  r.Ticks(2, kLeft, kMid);
  ASSERT_EQ(r.state.NeutralFlags, kLeftSeen);
  r.Ticks(4, kLeft, kBottom);
  EXPECT_EQ(r.state.CurrentGear, 2);
  EXPECT_EQ(r.state.NeutralFlags, kFromRow);
  // Straight back to the left column: FromRow is still set, so nothing is seen.
  r.Ticks(3, kLeft, kMid);
  r.Ticks(3, kRight, kMid);
  EXPECT_EQ(r.state.CurrentGear, 2);
}

TEST(DecideGear, ForceFeedbackMakesNeutralLineNeutral) {
  Rig r;
  r.settings.AUTOCENTER_NEUTRAL = true;  // ignored with force feedback on
  r.Ticks(4, kCentre, kTop);
  r.Ticks(3, kCentre, kMid);
  EXPECT_EQ(r.state.CurrentGear, kNeutral);
}

TEST(DecideGear, ZeroWidthColumnsAreAFirstMatchChain) {
  Settings s = DefaultSettings();
  s.JOY_GEAR_WIDTH = 0;
  s.FORCE_FEEDBACK = false;
  s.AUTOCENTER_NEUTRAL = true;
  ShiftState st;
  st.HoleX = 32767;  // left, centre and right coincide: left wins
  st.HoleY = 32767;
  DecideGear(st, s);
  EXPECT_EQ(st.NeutralFlags, kLeftSeen);
  st.HoleY = 32767 - s.JOY_GEAR_HEIGHT;
  DecideGear(st, s);
  EXPECT_EQ(st.CurrentGear, 1);
}

}  // namespace
}  // namespace kestrane
