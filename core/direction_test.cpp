#include "core/direction_test.h"

#include "core/settings.h"
#include "core/shift_state.h"

namespace kestrane {
namespace {

constexpr std::int32_t kGentle = 3000;  // condition units: 30 % of full force

// 0 for a step off the axis, else the test's force at the player's strength.
std::int32_t Force(const Settings& s) {
  const std::int64_t p = s.FF_STRENGTH < 0 ? 0 : s.FF_STRENGTH > 100 ? 100 : s.FF_STRENGTH;
  return static_cast<std::int32_t>((kGentle * p + 50) / 100);
}

}  // namespace

std::string DirectionQuestion(DirectionStep step) {
  switch (step) {
    case DirectionStep::Left:
      return "Did the stick move to the left?";
    case DirectionStep::Right:
      return "Did the stick move to the right?";
    case DirectionStep::Forward:
      return "Did the stick move forward (away from you)?";
    case DirectionStep::Back:
      return "Did the stick move back (toward you)?";
  }
  return {};
}

EffectRecord DirectionSpring(DirectionStep step, const Settings& s) {
  // The records' conventions (core/effects.h): X offsets run from the target to the middle,
  // Y offsets from the middle to the target, as the effect arithmetic writes them.
  const std::int64_t M = kAxisMiddle;
  const bool on_x = step == DirectionStep::Left || step == DirectionStep::Right;
  const std::int64_t target = step == DirectionStep::Left      ? M - s.JOY_GEAR_WIDTH
                              : step == DirectionStep::Right   ? M + s.JOY_GEAR_WIDTH
                              : step == DirectionStep::Forward ? M - s.JOY_GEAR_HEIGHT
                                                               : M + s.JOY_GEAR_HEIGHT;
  const std::int32_t force = Force(s);
  Condition pull{on_x ? ToConditionUnits(M - target) : ToConditionUnits(target - M),
                 force,
                 force,
                 force,
                 force,
                 0};
  EffectRecord r;
  r.flags = kEffectCartesian;
  r.conditions[0] = on_x ? Condition{} : pull;  // Y
  r.conditions[1] = on_x ? pull : Condition{};  // X
  return r;
}

DirectionVerdict JudgeDirections(const std::array<DirectionAnswer, 4>& a) {
  DirectionVerdict v;
  bool contradicted = false, still = false;
  auto judge = [&](DirectionAnswer first, DirectionAnswer second) -> std::optional<bool> {
    std::optional<bool> inverted;
    for (DirectionAnswer answer : {first, second}) {
      if (answer == DirectionAnswer::NoMove) continue;
      const bool this_way = answer == DirectionAnswer::OtherWay;
      if (inverted && *inverted != this_way) {
        contradicted = true;
        return std::nullopt;
      }
      inverted = this_way;
    }
    if (!inverted) still = true;
    return inverted;
  };
  v.invert_x = judge(a[0], a[1]);
  v.invert_y = judge(a[2], a[3]);
  v.passed = v.invert_x && v.invert_y;
  auto way = [](bool inverted) { return inverted ? "mirrored" : "as sent"; };
  if (v.passed) {
    v.message = std::string("The springs pull the right way now: left and right ") +
                way(*v.invert_x) + ", forward and back " + way(*v.invert_y) + ".";
  } else if (still) {
    v.message =
        "The stick did not move for either direction of an axis: it plays no spring at this "
        "strength. Raise the strength, or check that the stick's own software (or its driver's "
        "settings) does not hold it, then test again.";
  } else if (contradicted) {
    v.message =
        "The answers for one axis disagree (one direction the right way, the other the wrong "
        "way). Test again, and watch which way the stick goes.";
  }
  return v;
}

bool DirectionTestRun::Play(DirectionStep step, const Settings& settings) {
  const EffectRecord spring = DirectionSpring(step, settings);
  if (!effects_) return PlayOn(port_, spring);
  const ForceFeedback::PortLock lock = effects_->LockPort();
  return PlayOn(lock.port(), spring);
}

void DirectionTestRun::Stop() {
  if (!effects_) return StopOn(port_);
  const ForceFeedback::PortLock lock = effects_->LockPort();
  StopOn(lock.port());
}

bool DirectionTestRun::PlayOn(HapticPort* port, const EffectRecord& spring) {
  if (port != played_on_) id_ = kNoEffect;  // closed: its effects went with it
  played_on_ = port;
  if (!port) return false;
  if (id_ == kNoEffect) {
    EffectId id = kNoEffect;
    if (port->CreateEffect(EffectType::Spring, spring, id) != 0 || id == kNoEffect) {
      if (id != kNoEffect) port->ReleaseEffect(id);
      return false;
    }
    id_ = id;
    port->StartEffect(id_);
    return true;
  }
  port->SetEffectParameters(id_, spring);
  return true;
}

void DirectionTestRun::StopOn(HapticPort* port) {
  if (id_ == kNoEffect || port != played_on_) {
    id_ = kNoEffect;
    return;
  }
  port->StopEffect(id_);
  port->ReleaseEffect(id_);
  id_ = kNoEffect;
}

}  // namespace kestrane
