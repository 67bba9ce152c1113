#pragma once

// The seam under the device layer: the library that finds and opens game controllers. SDL2 is
// the program's (device/sdl_input.h); tests script one (tests/support/scripted_input.h). Long
// notes on each system's access rules: docs/architecture.md.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/input_device.h"

namespace kestrane {

// One attached joystick as the device list shows it: the name (UTF-8), the identifier that Open
// takes, and whether it has force feedback.
struct JoystickListEntry {
  std::string name;
  std::string id;
  bool force_feedback = false;
  friend bool operator==(const JoystickListEntry&, const JoystickListEntry&) = default;
};

// An on-screen stick that the program itself moves (--virtual-stick): eight axes (X, Y, Z, Rx, Ry,
// Rz, slider 0, slider 1) and 32 buttons, read back like hardware.
class VirtualStick {
 public:
  static constexpr int kAxes = 8;
  static constexpr int kButtons = 32;
  virtual ~VirtualStick() = default;
  // Axis 0..7 in sample units (0..65535, rest 32767); others are ignored.
  virtual void SetAxis(int axis, std::int32_t value) = 0;
  // Button 0..31; others are ignored.
  virtual void SetButton(int button, bool down) = 0;
  // Unplugs the stick (it reads as gone) and plugs it in again (listed anew, with a new
  // identifier); Plug is false when that fails.
  virtual void Unplug() = 0;
  virtual bool Plug() = 0;
};

// How bringing up joystick input went: the library and its joystick service fail apart.
enum class InputStart : std::uint8_t { Ok, LibraryFailed, ServiceFailed };

class InputPlatform {
 public:
  virtual ~InputPlatform() = default;
  // Brings up joystick input. After a failure, Stop still releases what did come up.
  virtual InputStart Start() = 0;
  // Lists the attached joysticks in the platform's order into `out` (replaced), opening none of
  // them: force_feedback is set only where that needs no opening. Entries whose name or
  // identifier cannot be read come out with what could be read.
  virtual InputStatus List(std::vector<JoystickListEntry>& out) = 0;
  // Whether joysticks were plugged in or out since the last call (true at the first call). Cheap
  // enough for every tick; opens nothing.
  virtual bool DevicesChanged() = 0;
  // Calls `changed` from any thread whenever a device may have come or gone, until Stop; false
  // when the platform cannot tell (then DevicesChanged must be polled), and nothing is called.
  virtual bool WatchDevices(std::function<void()> changed) {
    (void)changed;
    return false;
  }
  // Whether the joystick with this identifier has force feedback; may open it for a moment.
  virtual bool ProbeForceFeedback(const std::string& id) = 0;
  // Opens the joystick with this identifier; nullptr when it cannot be opened.
  virtual std::unique_ptr<InputDevice> Open(const std::string& id) = 0;
  // Shuts joystick input down; harmless when it is not up. Devices must be closed first.
  virtual void Stop() = 0;
};

}  // namespace kestrane
