#include "device/sdl_haptic.h"

#include <algorithm>
#include <utility>

namespace kestrane {
namespace {

class SdlHapticDriver final : public HapticDriver {
 public:
  explicit SdlHapticDriver(SDL_Haptic* haptic) : haptic_(haptic) {}
  SdlHapticDriver(const SdlHapticDriver&) = delete;
  SdlHapticDriver& operator=(const SdlHapticDriver&) = delete;
  ~SdlHapticDriver() override { SDL_HapticClose(haptic_); }

  unsigned int Supported() override { return SDL_HapticQuery(haptic_); }
  int NewEffect(SDL_HapticEffect& effect) override { return SDL_HapticNewEffect(haptic_, &effect); }
  int UpdateEffect(int id, SDL_HapticEffect& effect) override {
    return SDL_HapticUpdateEffect(haptic_, id, &effect);
  }
  int RunEffect(int id, std::uint32_t iterations) override {
    return SDL_HapticRunEffect(haptic_, id, iterations);
  }
  int StopEffect(int id) override { return SDL_HapticStopEffect(haptic_, id); }
  void DestroyEffect(int id) override { SDL_HapticDestroyEffect(haptic_, id); }
  int SetAutocenter(int autocenter) override {
    return SDL_HapticSetAutocenter(haptic_, autocenter);
  }
  int SetGain(int gain) override { return SDL_HapticSetGain(haptic_, gain); }

 private:
  SDL_Haptic* haptic_;
};

// CreateEffect's statuses (HapticPort: 0 is success).
constexpr std::int32_t kCreated = 0;
constexpr std::int32_t kRefused = 1;
constexpr std::int32_t kUnsupported = 3;

std::int64_t Scale(std::int32_t units, std::int64_t full) {
  return static_cast<std::int64_t>(units) * full / 10000;
}

}  // namespace

std::unique_ptr<HapticDriver> OpenSdlHapticDriver(SDL_Joystick* joystick) {
  if (!joystick || SDL_JoystickIsHaptic(joystick) != 1) return nullptr;
  SDL_Haptic* haptic = SDL_HapticOpenFromJoystick(joystick);
  if (!haptic) return nullptr;
  return std::make_unique<SdlHapticDriver>(haptic);
}

std::int16_t ToSdlSigned(std::int32_t condition_units, HapticBackend backend) {
  const std::int64_t u = condition_units;
  std::int64_t v = Scale(condition_units, 32767);
  if (backend == HapticBackend::DirectInput && v * 10000 != u * 32767) {
    v += u > 0 ? 1 : -1;  // SDL truncates v * 10000 / 32767: round away from zero to undo it
  }
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

std::uint16_t ToSdlUnsigned(std::int32_t condition_units, HapticBackend backend) {
  if (backend == HapticBackend::DirectInput) {
    // SDL sends (v / 2) * 10000 / 32767: twice the signed value gives the same units back.
    const std::int32_t units = std::clamp(condition_units, 0, 10000);
    return static_cast<std::uint16_t>(2 * ToSdlSigned(units, backend));
  }
  return static_cast<std::uint16_t>(
      std::clamp<std::int64_t>(Scale(condition_units, 65535), 0, 65535));
}

SDL_HapticEffect ToSdlEffect(EffectType type, const EffectRecord& record, HapticBackend backend) {
  SDL_HapticEffect effect;
  SDL_zero(effect);
  SDL_HapticCondition& c = effect.condition;
  c.type = static_cast<Uint16>(type == EffectType::Spring ? SDL_HAPTIC_SPRING : SDL_HAPTIC_DAMPER);
  // East, (1, 0): SDL releases that pass a condition's direction on (2025 on) send it to the
  // kernel as 0x4000, the value force-feedback bases expect (some play no spring for 0 and a
  // reversed one for 0xC000); SDL 2.26 sends 0 for every condition, whatever is set here.
  c.direction.type = SDL_HAPTIC_CARTESIAN;
  c.direction.dir[0] = 1;
  c.direction.dir[1] = 0;
  c.direction.dir[2] = 0;
  // Records carry durations in microseconds, negative for infinite.
  c.length = record.duration < 0
                 ? SDL_HAPTIC_INFINITY
                 : static_cast<Uint32>(std::min<std::int64_t>(record.duration / 1000, 0x7FFFFFFF));
  c.delay = 0;
  c.button = 0;  // no trigger button
  c.interval = 0;

  // Axes and signs, the one place where they are decided. SDL and the kernel index the condition
  // blocks by axis (0 = X) and place a positive centre toward the axis's positive end (right,
  // back). The records put Y first; their Y offsets run with the axis (the slot minus the
  // middle), their X offsets against it (the middle minus the lane), so X is mirrored: centre
  // negated, positive and negative sides swapped.
  struct Block {
    const Condition& k;
    bool mirrored;
  };
  const Block by_axis[2] = {{record.x(), true}, {record.y(), false}};
  for (int axis = 0; axis < 2; ++axis) {
    const Condition& k = by_axis[axis].k;
    const bool m = by_axis[axis].mirrored;
    c.center[axis] = ToSdlSigned(m ? -k.offset : k.offset, backend);
    c.right_coeff[axis] = ToSdlSigned(m ? k.negative_coefficient : k.positive_coefficient, backend);
    c.left_coeff[axis] = ToSdlSigned(m ? k.positive_coefficient : k.negative_coefficient, backend);
    c.right_sat[axis] = ToSdlUnsigned(m ? k.negative_saturation : k.positive_saturation, backend);
    c.left_sat[axis] = ToSdlUnsigned(m ? k.positive_saturation : k.negative_saturation, backend);
    c.deadband[axis] = ToSdlUnsigned(k.dead_band, backend);
  }
  // SDL has no per-effect gain; the records always ask for full gain, the device's default.
  return effect;
}

SdlHapticPort::SdlHapticPort(std::unique_ptr<HapticDriver> driver) : driver_(std::move(driver)) {
  effects_.reserve(8);
}

SdlHapticPort::~SdlHapticPort() {
  for (const Effect& e : effects_) driver_->DestroyEffect(e.id);
  // The stick goes back as other programs expect it: its own centring on, full gain (the force
  // guard may have lowered it).
  if (autocentre_off_) {
    driver_->SetAutocenter(100);
    if ((driver_->Supported() & SDL_HAPTIC_GAIN) != 0) driver_->SetGain(100);
  }
}

SdlHapticPort::Effect* SdlHapticPort::Find(EffectId id) {
  for (Effect& e : effects_) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

std::int32_t SdlHapticPort::CreateEffect(EffectType type, const EffectRecord& record,
                                         EffectId& id) {
  id = kNoEffect;
  const unsigned int needed = type == EffectType::Spring ? SDL_HAPTIC_SPRING : SDL_HAPTIC_DAMPER;
  if ((driver_->Supported() & needed) == 0) return kUnsupported;
  SDL_HapticEffect effect = ToSdlEffect(type, record);
  const int created = driver_->NewEffect(effect);
  if (created < 0) return kRefused;
  id = created;
  effects_.push_back({id, type, record, false});
  return kCreated;
}

void SdlHapticPort::StartEffect(EffectId id) {
  Effect* e = Find(id);
  if (e && driver_->RunEffect(id, 1) == 0) e->playing = true;
}

void SdlHapticPort::StopEffect(EffectId id) {
  Effect* e = Find(id);
  if (e && driver_->StopEffect(id) == 0) e->playing = false;
}

void SdlHapticPort::SetEffectParameters(EffectId id, const EffectRecord& record) {
  Effect* e = Find(id);
  if (!e) return;
  if (!(record == e->sent)) {
    SDL_HapticEffect effect = ToSdlEffect(e->type, record);
    // A refused update is sent again on the next tick.
    if (driver_->UpdateEffect(id, effect) != 0) return;
    e->sent = record;
  }
  // Infinite effects play until destroyed: one run is enough.
  if (!e->playing && driver_->RunEffect(id, 1) == 0) e->playing = true;
}

void SdlHapticPort::ReleaseEffect(EffectId id) {
  auto it =
      std::find_if(effects_.begin(), effects_.end(), [id](const Effect& e) { return e.id == id; });
  if (it == effects_.end()) return;
  driver_->DestroyEffect(id);
  effects_.erase(it);
}

bool SdlHapticPort::HasSprings() {
  return (driver_->Supported() & SDL_HAPTIC_SPRING) != 0;
}

bool SdlHapticPort::DisableAutocenter() {
  if ((driver_->Supported() & SDL_HAPTIC_AUTOCENTER) == 0) return true;
  autocentre_off_ = true;  // even if refused: switching it on at the end does no harm
  return driver_->SetAutocenter(0) == 0;
}

}  // namespace kestrane
