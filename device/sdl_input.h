#pragma once

#include <cstdint>
#include <memory>

#include "device/input_platform.h"

namespace kestrane {

// The name the virtual stick is listed under.
inline constexpr const char* kVirtualStickName = "Kestrane virtual stick";

// True when KESTRANE_VIRTUAL_STICK is "1".
bool VirtualStickRequested();

// SDL axis values (-32768..32767) as sample values (0..65535, rest 32767): SDL's 0 reads 32767
// and each SDL step is one sample step (v + 32767), except the two end values, which are
// pinned to the ends of the travel: -32768 reads 0 and 32767 reads 65535. So the middle of the
// travel is exact, both ends are reached, and only the outermost step at each end is lost.
std::int32_t SampleAxisFromSdl(std::int16_t value);
// The inverse for driving a virtual stick from sample units: 32767 gives SDL's 0; values past
// the ends are clamped.
std::int16_t SdlAxisFromSample(std::int32_t value);
// An SDL hat position as a point-of-view value: 0xFFFFFFFF centred, else hundredths of a degree
// clockwise from north (up 0, right 9000, down 18000, left 27000, diagonals in between).
std::uint32_t PovFromSdlHat(std::uint8_t hat);

// The on-screen stick: an SDL virtual joystick named "Kestrane virtual stick" with eight axes
// (X, Y, Z, Rx, Ry, Rz, slider 0, slider 1, in sample order) and 32 buttons. Values set here
// show in the device's next poll or read.
class VirtualStick {
 public:
  static constexpr int kAxes = 8;
  static constexpr int kButtons = 32;
  virtual ~VirtualStick() = default;
  // axis 0..7 in SDL units (-32768..32767, 0 the rest position); others are ignored.
  virtual void SetAxis(int axis, std::int16_t value) = 0;
  // button 0..31; others are ignored.
  virtual void SetButton(int button, bool down) = 0;
};

// The input platform over SDL2's joystick and haptic subsystems.
//
// Access modes. SDL has no notion of exclusive or shared access that a program could choose:
// - Linux (evdev): SDL opens the device shared, as every other reader does. Exclusive access
//   would be an EVIOCGRAB, but a grab sends the events to the grabbing file only, so Kestrane
//   cannot hold one and still read through SDL. Exclusive mode therefore checks that no other
//   program holds the device grabbed (a brief grab of our own is refused with EBUSY when one
//   does) and refuses then; otherwise it proceeds with shared reading. Shared mode checks
//   nothing. device_list without an evdev path (hidraw through SDL's HIDAPI drivers, virtual
//   sticks) cannot be checked and open as SDL opens them.
// - Windows: SDL's DirectInput backend itself opens every DirectInput joystick exclusive and in
//   the background (it needs that for forces); XInput, raw input and HIDAPI devices are shared.
//   A joystick another program holds exclusively already fails to open. Neither mode changes
//   what SDL does.
// - macOS: IOKit devices are opened shared.
// Both modes keep reading while another window has the focus: Kestrane initialises no SDL
// video, and sets SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS for good measure.
class SdlInputPlatform : public InputPlatform {
 public:
  // The virtual stick, once the input service is up; nullptr when it was not asked for.
  virtual VirtualStick* GetVirtualStick() = 0;
};

// With `virtual_stick`, StartInputService attaches the virtual stick, so it is listed and
// opened like hardware.
std::unique_ptr<SdlInputPlatform> CreateSdlInputPlatform(bool virtual_stick);
// The virtual stick as KESTRANE_VIRTUAL_STICK asks.
std::unique_ptr<SdlInputPlatform> CreateSdlInputPlatform();

}  // namespace kestrane
