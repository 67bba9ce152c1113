#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/stick_sample.h"
#include "core/effects.h"

namespace kestrane {

// Statuses of the platform operations: 0 is success, anything else a failure.
inline constexpr std::int32_t kInputOk = 0;
inline constexpr std::int32_t kInputFailed = 1;
inline constexpr std::int32_t kInputDeviceLost = 2;   // the joystick was unplugged
inline constexpr std::int32_t kInputUnsupported = 3;  // the platform cannot do what was asked
inline constexpr std::int32_t kInputBusy = 4;         // another program holds the device

// One attached joystick as the device list shows it: the name (UTF-8), the identifier that
// CreateDevice accepts, and whether the joystick has force feedback.
struct JoystickListEntry {
  std::string name;
  std::string id;
  bool force_feedback = false;
  friend bool operator==(const JoystickListEntry&, const JoystickListEntry&) = default;
};

// How the opened joystick is shared with other programs. Both modes keep delivering while
// another window (normally the game) has the focus.
enum class AccessMode : std::uint8_t { Exclusive, Shared };

// One opened joystick. Destroying it releases it (and its force-feedback device).
class InputDevice {
 public:
  virtual ~InputDevice() = default;
  virtual std::int32_t SetAccessMode(AccessMode mode) = 0;
  // Asks for samples in the StickSample layout.
  virtual std::int32_t SetJoystickFormat() = 0;
  // Switches the device's own centring spring off.
  virtual std::int32_t DisableAutocenter() = 0;
  virtual std::int32_t Acquire() = 0;
  // Refreshes the device state; the outcome is not reported.
  virtual void Poll() = 0;
  // Fills the sample with the current state; non-zero once the device is gone.
  virtual std::int32_t ReadState(StickSample& sample) = 0;
  virtual void Unacquire() = 0;
  // The force-feedback side of the device, or nullptr when it has none.
  virtual HapticPort* Haptics() = 0;
};

// The input library under the device layer: brought up in two steps (the library, then its
// joystick service), lists the attached joysticks and opens them.
class InputPlatform {
 public:
  virtual ~InputPlatform() = default;
  virtual std::int32_t StartLibrary() = 0;
  virtual std::int32_t StartInputService() = 0;
  // Replaces `out` with the attached joysticks in the platform's order. Entries whose name or
  // identifier cannot be read come out with what could be read.
  virtual std::int32_t ListJoysticks(std::vector<JoystickListEntry>& out) = 0;
  // Status 0 and a device on success; a status 0 without a device also counts as failure.
  virtual std::int32_t CreateDevice(const std::string& id,
                                    std::unique_ptr<InputDevice>& device) = 0;
  // Released library first, then the service; the platform shuts down once both are released.
  virtual void ReleaseLibrary() = 0;
  virtual void ReleaseInputService() = 0;
};

}  // namespace kestrane
