#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/effects.h"

namespace kestrane {

// The SDL haptic calls Kestrane makes, behind a seam: SDL forwards them to the open joystick's
// force-feedback device; tests put a fake in its place (the machines the tests run on have no
// force-feedback hardware, and SDL's virtual joysticks have no haptics).
class HapticDriver {
 public:
  virtual ~HapticDriver() = default;
  virtual unsigned int Supported() = 0;                 // SDL_HapticQuery
  virtual int NewEffect(SDL_HapticEffect& effect) = 0;  // effect id, or < 0
  virtual int UpdateEffect(int id, SDL_HapticEffect& effect) = 0;
  virtual int RunEffect(int id, std::uint32_t iterations) = 0;
  virtual int StopEffect(int id) = 0;
  virtual void DestroyEffect(int id) = 0;
  virtual int SetAutocenter(int autocenter) = 0;  // SDL_HapticSetAutocenter, 0 to 100
  virtual int SetGain(int gain) = 0;              // SDL_HapticSetGain, 0 to 100
};

// The haptic device of an open joystick, closed when the driver is destroyed; nullptr when the
// joystick has none or SDL cannot open it.
std::unique_ptr<HapticDriver> OpenSdlHapticDriver(SDL_Joystick* joystick);

// Where SDL sends the effects: Linux's evdev copies SDL's fields into the kernel's ff_effect
// unchanged; DirectInput (Windows) rescales them to its 0..10000 units, halving the unsigned ones
// first. docs/force-feedback.md has the arithmetic.
enum class HapticBackend : std::uint8_t { LinuxEvdev, DirectInput };
#if defined(_WIN32)
inline constexpr HapticBackend kHapticBackend = HapticBackend::DirectInput;
#else
inline constexpr HapticBackend kHapticBackend = HapticBackend::LinuxEvdev;
#endif

// Condition units (coefficients and offsets -10000..10000) as SDL's Sint16 fields, so that the
// device gets the same fraction of full scale on either backend: Linux: 10000 is 32767, rounded
// toward zero; DirectInput: the smallest value SDL converts back to exactly the same units.
// Clamped to -32768..32767.
std::int16_t ToSdlSigned(std::int32_t condition_units, HapticBackend backend = kHapticBackend);
// Condition units (saturations and dead bands 0..10000) as SDL's Uint16 fields, the same way:
// Linux: 10000 is 65535; DirectInput: SDL's halving and rescaling give back the same units.
// Clamped to 0..65535.
std::uint16_t ToSdlUnsigned(std::int32_t condition_units, HapticBackend backend = kHapticBackend);

// The SDL condition effect for a record: spring or damper, with the device's axes and signs
// (condition block 0 is X, 1 is Y; X mirrored, see ToSdlEffect's comment), infinite length unless
// the record has a duration, an explicit direction.
SDL_HapticEffect ToSdlEffect(EffectType type, const EffectRecord& record,
                             HapticBackend backend = kHapticBackend);

// Kestrane's force-feedback operations on an SDL haptic device. Parameter updates reach the
// device only when they differ from what it last accepted for that effect: the core recomputes
// the springs on every tick, and some USB force-feedback bases overflow their output queues
// when unchanged conditions are sent at that rate.
class SdlHapticPort final : public HapticPort {
 public:
  explicit SdlHapticPort(std::unique_ptr<HapticDriver> driver);
  SdlHapticPort(const SdlHapticPort&) = delete;
  SdlHapticPort& operator=(const SdlHapticPort&) = delete;
  // Destroys the effects; a device whose centring DisableAutocenter switched off gets it back,
  // with full gain, before it closes.
  ~SdlHapticPort() override;

  // An effect type the device lacks fails with a non-zero status and no id.
  std::int32_t CreateEffect(EffectType type, const EffectRecord& record, EffectId& id) override;
  void StartEffect(EffectId id) override;
  void StopEffect(EffectId id) override;
  // Sends the record when it differs from the last one the device accepted, then starts the
  // effect if it is not playing yet (the first update starts each spring).
  void SetEffectParameters(EffectId id, const EffectRecord& record) override;
  void ReleaseEffect(EffectId id) override;
  bool HasSprings() override;

  // Switches the device's centring spring off; true also for a device without one.
  bool DisableAutocenter();

 private:
  struct Effect {
    EffectId id;
    EffectType type;
    EffectRecord sent;
    bool playing;
  };
  Effect* Find(EffectId id);

  std::unique_ptr<HapticDriver> driver_;
  std::vector<Effect> effects_;
  bool autocentre_off_ = false;
};

}  // namespace kestrane
