// The direction test's springs and how its answers are judged.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrane
