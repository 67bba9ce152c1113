#include "core/effects.h"

#include <utility>

#include "core/gate_tracking.h"
#include "core/settings.h"

namespace kestrane {
namespace {

constexpr std::int64_t M = kAxisMiddle;
constexpr std::int32_t kNoForce = 10000;  // a dead band over the whole axis

std::int64_t Abs(std::int64_t v) {
  return v < 0 ? -v : v;
}

Condition MakeCondition(std::int32_t offset, std::int32_t coefficient, std::int32_t saturation,
                        std::int32_t dead_band) {
  return {offset, coefficient, coefficient, saturation, saturation, dead_band};
}

EffectRecord MakeRecord(std::int32_t flags, const Condition& y, const Condition& x) {
  EffectRecord r;
  r.flags = flags;
  r.conditions = {y, x};
  return r;
}

// FF_STRENGTH percent (0..100) of a force, rounded to nearest.
std::int32_t Scaled(std::int32_t force, std::int32_t percent) {
  const std::int64_t p = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  const std::int64_t v = static_cast<std::int64_t>(force) * p;
  return static_cast<std::int32_t>(v >= 0 ? (v + 50) / 100 : -((-v + 50) / 100));
}

// The stick's own signs and the player's strength: FF_INVERT_X/Y mirror a condition on its axis
// (the centre to the other side, the sides swapped), FF_STRENGTH scales its forces; centres and
// dead bands keep their size.
void Adjust(Condition& c, bool invert, std::int32_t percent) {
  if (invert) {
    c.offset = -c.offset;
    std::swap(c.positive_coefficient, c.negative_coefficient);
    std::swap(c.positive_saturation, c.negative_saturation);
  }
  for (std::int32_t* force : {&c.positive_coefficient, &c.negative_coefficient,
                              &c.positive_saturation, &c.negative_saturation}) {
    *force = Scaled(*force, percent);
  }
}

}  // namespace

std::int32_t ToConditionUnits(std::int64_t d) {
  std::int64_t q = d * 10000 / 32767;
  // 10000/32767 as the nearest double lies just below the true ratio, so exact multiples of
  // 32767 come out one less in magnitude.
  if (d != 0 && d % 32767 == 0) q += d > 0 ? -1 : 1;
  return static_cast<std::int32_t>(q);
}

EffectParameters ComputeEffectParameters(const ShiftState& state, const Settings& s) {
  const std::int64_t S = s.GEAR_CROSS_SIZE;
  const bool near_neutral = Abs(state.GateY - M) < S;
  const std::int64_t lane_x = CandidateLane(state.GateX, s.JOY_GEAR_WIDTH, S);
  const bool near_lane = Abs(state.GateX - lane_x) < S;
  const bool hole_on_neutral = state.HoleY == M;

  EffectParameters p;
  p.cross = MakeRecord(
      kEffectCartesian,
      MakeCondition(0, s.GEAR_CROSS_FORCE, s.GEAR_CROSS_SATURATION,
                    near_lane ? s.GEAR_FORCE_DEATH_FREE_Y : s.GEAR_FORCE_DEATH_NOFREE_Y),
      MakeCondition(near_neutral ? 0 : ToConditionUnits(M - state.GateX), s.GEAR_CROSS_FORCE,
                    s.GEAR_CROSS_SATURATION,
                    near_neutral ? s.GEAR_FORCE_DEATH_FREE_X : s.GEAR_FORCE_DEATH_NOFREE_X));
  p.hole = MakeRecord(kEffectCartesian,
                      MakeCondition(ToConditionUnits(state.HoleY - M), s.GEAR_HOLE_FORCE_Y,
                                    s.GEAR_HOLE_SATURATION_Y,
                                    hole_on_neutral ? kNoForce : s.GEAR_FORCE_DEATH_NOFREE_Y),
                      MakeCondition(ToConditionUnits(M - state.HoleX), s.GEAR_HOLE_FORCE_X,
                                    s.GEAR_HOLE_SATURATION_X,
                                    hole_on_neutral ? kNoForce : s.GEAR_FORCE_DEATH_NOFREE_X));
  p.center = MakeRecord(kEffectCartesian,
                        MakeCondition(0, s.GEAR_CENTER_FORCE_Y, s.GEAR_CENTER_SATURATION_Y,
                                      hole_on_neutral ? s.GEAR_FORCE_DEATH_NOFREE_Y : kNoForce),
                        MakeCondition(0, s.GEAR_CENTER_FORCE_X, s.GEAR_CENTER_SATURATION_X,
                                      hole_on_neutral ? s.GEAR_FORCE_DEATH_NOFREE_X : kNoForce));
  const Condition damper = MakeCondition(0, s.GEAR_DAMPER_FORCE, s.GEAR_DAMPER_SATURATION, 0);
  p.damper = MakeRecord(kEffectCartesianOffsets, damper, damper);
  for (EffectRecord* r : {&p.cross, &p.hole, &p.center, &p.damper}) {
    Adjust(r->conditions[0], s.FF_INVERT_Y, s.FF_STRENGTH);
    Adjust(r->conditions[1], s.FF_INVERT_X, s.FF_STRENGTH);
  }
  return p;
}

void ForceFeedback::BuildEffects(HapticPort* port, ShiftState& state, const Settings& s) {
  ReleaseEffects();
  std::lock_guard lock(mutex_);
  halted_ = false;
  port_ = port;
  if (!port_) return;
  UpdateHole(state, s);
  params_ = ComputeEffectParameters(state, s);

  auto create = [&](EffectSlot slot, EffectType type, const EffectRecord& record) {
    EffectId id = kNoEffect;
    if (port_->CreateEffect(type, record, id) == 0 && id != kNoEffect) {
      slots_[slot] = id;
      return true;
    }
    if (id != kNoEffect) port_->ReleaseEffect(id);
    return false;
  };
  if (s.CROSS_ENABLED) {
    create(kCrossSlot, EffectType::Spring, params_.cross);
    if (s.GEAR_CROSS_FORCE_COUNT > 1) create(kCross2Slot, EffectType::Spring, params_.cross);
  }
  if (s.HOLE_ENABLED) create(kHoleSlot, EffectType::Spring, params_.hole);
  if (s.DAMPER_ENABLED && create(kDamperSlot, EffectType::Damper, params_.damper) && !let_go_) {
    port_->StartEffect(slots_[kDamperSlot]);
  }
  if (s.CENTER_ENABLED) create(kCenterSlot, EffectType::Spring, params_.center);
}

void ForceFeedback::UpdateEffects(const ShiftState& state, const Settings& settings) {
  std::lock_guard lock(mutex_);
  if (!port_ || let_go_) return;  // nothing plays: nothing to work out on this tick
  params_ = ComputeEffectParameters(state, settings);
  if (halted_) {
    halted_ = false;
    StartAll();
  }
  const std::pair<EffectSlot, const EffectRecord*> order[] = {{kCrossSlot, &params_.cross},
                                                              {kCross2Slot, &params_.cross},
                                                              {kHoleSlot, &params_.hole},
                                                              {kCenterSlot, &params_.center}};
  for (const auto& [slot, record] : order) {
    if (slots_[slot] != kNoEffect) port_->SetEffectParameters(slots_[slot], *record);
  }
}

void ForceFeedback::ReleaseEffects() {
  std::lock_guard lock(mutex_);
  for (EffectId& id : slots_) {
    if (id != kNoEffect && port_) port_->ReleaseEffect(id);
    id = kNoEffect;
  }
  port_ = nullptr;
}

void ForceFeedback::StopAll() {
  if (!port_) return;
  for (EffectId id : slots_) {
    if (id != kNoEffect) port_->StopEffect(id);
  }
}

void ForceFeedback::StartAll() {
  if (!port_) return;
  for (EffectId id : slots_) {
    if (id != kNoEffect) port_->StartEffect(id);
  }
}

void ForceFeedback::LetGo() {
  std::lock_guard lock(mutex_);
  if (let_go_) return;
  let_go_ = true;
  StopAll();
}

void ForceFeedback::RestoreForces() {
  std::lock_guard lock(mutex_);
  if (!let_go_) return;
  let_go_ = false;
  halted_ = false;
  StartAll();
}

bool ForceFeedback::Halt() {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  if (halted_ || let_go_) return true;
  halted_ = true;
  StopAll();
  return true;
}

}  // namespace kestrane
