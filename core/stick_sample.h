#pragma once

#include <array>
#include <cstdint>

namespace kestrane {

// One reading of the controller, laid out like a DirectInput joystick state record: six axes,
// two sliders, four point-of-view hats and 32 button bytes (non-zero = pressed). Axes run from 0
// to 65535 with the rest position at 32767.
struct StickSample {
  std::int32_t X = 32767;
  std::int32_t Y = 32767;
  std::int32_t Z = 32767;
  std::int32_t Rx = 32767;
  std::int32_t Ry = 32767;
  std::int32_t Rz = 32767;
  std::array<std::int32_t, 2> Slider{32767, 32767};
  std::array<std::uint32_t, 4> Pov{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  std::array<std::uint8_t, 32> Buttons{};
  friend bool operator==(const StickSample&, const StickSample&) = default;
};

}  // namespace kestrane
