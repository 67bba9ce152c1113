#pragma once

// The game controller as Kestrane uses it, whatever library reads it. The device layer opens one
// (device/input_platform.h); the poll step reads it on every tick.

#include <cstdint>
#include <functional>

#include "core/effects.h"
#include "core/stick_sample.h"

namespace kestrane {

// The outcome of an operation on a game controller.
enum class InputStatus : std::uint8_t {
  Ok,
  Failed,
  DeviceLost,  // unplugged, or gone for another reason
  Busy,        // another program holds it exclusively
};

// How the opened controller is shared with other programs. Both keep delivering while another
// window (normally the game) has the focus.
enum class AccessMode : std::uint8_t { Exclusive, Shared };

// One opened controller. Destroying it closes it, its force-feedback side included.
class InputDevice {
 public:
  virtual ~InputDevice() = default;
  // Makes the device readable in `mode`: Busy when another program holds it exclusively,
  // DeviceLost when it is gone already.
  virtual InputStatus Claim(AccessMode mode) = 0;
  // Switches the device's own centring spring off; Failed when it keeps one it should have.
  virtual InputStatus DisableAutocenter() = 0;
  // Refreshes the state ahead of the next Read (POOLED_DEVICE).
  virtual void Poll() = 0;
  // The current state; DeviceLost once the device is gone (the sample is then left alone).
  virtual InputStatus Read(StickSample& sample) = 0;
  // The force-feedback side, or nullptr when the device has none.
  virtual HapticPort* Haptics() = 0;
  // Calls `reported` from any thread whenever the device reports (moved, pressed, or gone) until
  // it is closed; false when it cannot tell, and nothing is called.
  virtual bool WatchReports(std::function<void()> reported) {
    (void)reported;
    return false;
  }
};

}  // namespace kestrane
