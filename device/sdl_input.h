#pragma once

#include <array>
#include <cstddef>
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

// SDL's reading of a stick, as much of it as a sample holds: axes -32768..32767, buttons 0/1,
// hats as SDL_HAT_* bits. Fixed room, so that a look allocates nothing.
struct SdlReading {
  std::array<std::int16_t, 8> axes{};
  std::array<std::uint8_t, 32> buttons{};
  std::array<std::uint8_t, 4> hats{};
  std::size_t n_axes = 0, n_buttons = 0, n_hats = 0;
  // Each adds one in SDL's order; those past the room are left out.
  void AddAxis(std::int16_t v) {
    if (n_axes < axes.size()) axes[n_axes++] = v;
  }
  void AddButton(std::uint8_t v) {
    if (n_buttons < buttons.size()) buttons[n_buttons++] = v;
  }
  void AddHat(std::uint8_t v) {
    if (n_hats < hats.size()) hats[n_hats++] = v;
  }
};
// As a sample: axes in the order X, Y, Z, Rx, Ry, Rz, slider 0, slider 1.
StickSample SampleFromReading(const SdlReading& reading);

// The input platform over SDL2's joystick and haptic subsystems. Exclusive access on Linux is a
// check that no other program holds the device grabbed; docs/architecture.md has each system's
// rules.
class SdlInputPlatform : public InputPlatform {
 public:
  // The virtual stick for the platform's whole life (it moves once Start has attached it);
  // nullptr when it was not asked for.
  virtual VirtualStick* GetVirtualStick() = 0;
};

// With `virtual_stick`, Start attaches the virtual stick "Kestrane virtual stick", so it is listed
// and opened like hardware.
std::unique_ptr<SdlInputPlatform> CreateSdlInputPlatform(bool virtual_stick);
// The virtual stick as KESTRANE_VIRTUAL_STICK asks.
std::unique_ptr<SdlInputPlatform> CreateSdlInputPlatform();

}  // namespace kestrane
