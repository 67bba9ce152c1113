// The direction test's dialog on the device the effects play on.
#include "ui/direction_test_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "config/setting_keys.h"
#include "tests/support/scripted_haptic.h"

namespace kestrane {
namespace {

using Op = ScriptedHaptic::Op;

TEST(DirectionTestDialog, PlaysOnTheEffectsDeviceAndLeavesNothingThere) {
  const Settings settings = DefaultSettings();
  ShiftState state;
  ResetShiftState(state);
  ScriptedHaptic haptic;
  ForceFeedback effects;
  effects.BuildEffects(&haptic, state, settings);
  haptic.calls.clear();
  {
    DirectionTestDialog dialog(effects, settings);
    for (DirectionAnswer a : {DirectionAnswer::OtherWay, DirectionAnswer::OtherWay,
                              DirectionAnswer::Yes, DirectionAnswer::Yes}) {
      dialog.Answer(a);
    }
    ASSERT_TRUE(dialog.Verdict());
    EXPECT_TRUE(dialog.Verdict()->passed);
    EXPECT_EQ(dialog.Verdict()->invert_x, true);
  }
  ASSERT_EQ(haptic.calls.size(), 7u);  // create, start, three updates, stop, release
  EXPECT_EQ(haptic.calls.front().op, Op::Create);
  EXPECT_EQ(haptic.calls.back().op, Op::Release);

  // The stick closes while the dialog is open: the next question cannot play, and the end
  // touches nothing.
  haptic.calls.clear();
  {
    DirectionTestDialog dialog(effects, settings);
    effects.ReleaseEffects();
    const std::size_t calls = haptic.calls.size();
    dialog.Answer(DirectionAnswer::Yes);
    EXPECT_FALSE(dialog.yes_button->isEnabled());
    EXPECT_EQ(dialog.question->text(), "The stick refused the test's spring.");
    dialog.reject();
    EXPECT_EQ(haptic.calls.size(), calls);
  }
}

}  // namespace
}  // namespace kestrane
