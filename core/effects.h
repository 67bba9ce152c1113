#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "core/shift_state.h"

namespace kestrane {

struct Settings;

// One axis of a condition effect, in the platform's condition units (offsets -10000..10000
// across the axis' travel, the rest 0..10000). Values are not clamped here.
struct Condition {
  std::int32_t offset = 0;
  std::int32_t positive_coefficient = 0;
  std::int32_t negative_coefficient = 0;
  std::int32_t positive_saturation = 0;
  std::int32_t negative_saturation = 0;
  std::int32_t dead_band = 0;
  friend bool operator==(const Condition&, const Condition&) = default;
};

inline constexpr std::int32_t kEffectCartesian = 16;         // spring records
inline constexpr std::int32_t kEffectCartesianOffsets = 18;  // the damper record

// A condition effect's parameters: an infinite, untriggered, full-gain effect with one condition
// per axis, the Y condition first and the X condition second.
struct EffectRecord {
  std::int32_t flags = 0;
  std::int32_t duration = -1;
  std::int32_t sample_period = 0;
  std::int32_t gain = 10000;
  std::int32_t trigger_button = -1;
  std::int32_t trigger_repeat_interval = 0;
  std::array<Condition, 2> conditions{};  // [0] = Y axis, [1] = X axis
  std::int32_t condition_usage = 1;

  const Condition& y() const { return conditions[0]; }
  const Condition& x() const { return conditions[1]; }
  friend bool operator==(const EffectRecord&, const EffectRecord&) = default;
};

struct EffectParameters {
  EffectRecord cross, hole, center, damper;
};

// An axis distance in sample units as condition units: d * 10000 / 32767 truncated toward zero,
// a non-zero multiple of 32767 coming out one less in magnitude (32767 -> 9999). Not clamped.
std::int32_t ToConditionUnits(std::int64_t d);

// Fills the four records from the gate point, the hole and the settings, FF_INVERT_X/Y and
// FF_STRENGTH applied.
EffectParameters ComputeEffectParameters(const ShiftState& state, const Settings& settings);

enum class EffectType : std::uint8_t { Spring, Damper };
using EffectId = std::int32_t;
inline constexpr EffectId kNoEffect = -1;

// The force-feedback operations of the open device.
class HapticPort {
 public:
  virtual ~HapticPort() = default;
  // Status 0 and an effect id on success; a failure may still hand back an id to release.
  virtual std::int32_t CreateEffect(EffectType type, const EffectRecord& record, EffectId& id) = 0;
  virtual void StartEffect(EffectId id) = 0;
  // Stops the effect; it stays uploaded, and StartEffect or the next SetEffectParameters starts it
  // again.
  virtual void StopEffect(EffectId id) = 0;
  // Updates the conditions and (re)starts the effect.
  virtual void SetEffectParameters(EffectId id, const EffectRecord& record) = 0;
  virtual void ReleaseEffect(EffectId id) = 0;
  // False for a device that plays no spring at all (some offer only constant forces or rumble).
  virtual bool HasSprings() { return true; }
};

enum EffectSlot : std::uint8_t { kCrossSlot, kCross2Slot, kHoleSlot, kCenterSlot, kDamperSlot };
inline constexpr int kEffectSlots = 5;

// The five effect slots of the open joystick: built when it opens, refreshed on every good tick,
// released when it closes. Halt alone may be called from another thread (the watchdog); the rest
// belongs to the polling loop's thread.
class ForceFeedback final {
 public:
  ForceFeedback() = default;
  ForceFeedback(const ForceFeedback&) = delete;
  ForceFeedback& operator=(const ForceFeedback&) = delete;
  ~ForceFeedback() { ReleaseEffects(); }

  // Creates the enabled effects on `port` (nullptr: no device open, nothing is built). Snaps the
  // hole first, so the records describe the stick at its start position.
  void BuildEffects(HapticPort* port, ShiftState& state, const Settings& settings);
  // Refreshes the built effects from the gate point and the hole (every good tick); starts them
  // again after a Halt. Sends nothing while the forces are let go.
  void UpdateEffects(const ShiftState& state, const Settings& settings);
  // Releases the effects and forgets the device (it may be closed next).
  void ReleaseEffects();

  // Lets go of the stick: stops every effect at once and keeps them stopped, through reopening
  // too, until RestoreForces.
  void LetGo();
  void RestoreForces();
  bool LetGoOf() const { return let_go_; }
  // Stops every effect until the next UpdateEffects (the polling loop has stalled). Safe from
  // any thread; false, at once and with nothing stopped, while the loop is in an effect call.
  bool Halt();

  // The device the effects play on, for another user of it (the direction test), with the lock
  // Halt takes held while the handle lives. The device is nullptr while none is open.
  class PortLock {
   public:
    HapticPort* port() const { return port_; }

   private:
    friend class ForceFeedback;
    // The pointer is read once the lock is held (members initialise in order).
    PortLock(std::mutex& mutex, HapticPort*& port) : lock_(mutex), port_(port) {}
    std::unique_lock<std::mutex> lock_;
    HapticPort* port_;
  };
  PortLock LockPort() { return PortLock(mutex_, port_); }

  EffectId Slot(EffectSlot slot) const { return slots_[slot]; }
  const EffectParameters& Parameters() const { return params_; }

 private:
  void StopAll();  // mutex_ held
  void StartAll();

  HapticPort* port_ = nullptr;
  std::array<EffectId, kEffectSlots> slots_{kNoEffect, kNoEffect, kNoEffect, kNoEffect, kNoEffect};
  EffectParameters params_{};
  bool let_go_ = false;
  bool halted_ = false;  // by Halt, until the next update
  std::mutex mutex_;     // the port's calls, between the loop and Halt
};

}  // namespace kestrane
