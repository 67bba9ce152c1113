#include "device/evdev_layout.h"

#include <cmath>

namespace kestrane {
namespace {

constexpr int kAxisMin = -32768, kAxisMax = 32767;
// SDL_HAT_UP, _RIGHT, _DOWN, _LEFT
constexpr std::uint8_t kUp = 1, kRight = 2, kDown = 4, kLeft = 8;

// SDL's guess: a pair of hat axes is a digital hat when both ranges are -1..1, or when neither
// has fuzz, flat or resolution.
bool DigitalHat(const EvdevCaps& caps, int pair) {
  const int x = ABS_HAT0X + 2 * pair, y = x + 1;
  if (!caps.abs[x] && !caps.abs[y]) return false;
  const auto tight = [&](int code) {
    return !caps.abs[code] || (caps.absinfo[code].minimum == -1 && caps.absinfo[code].maximum == 1);
  };
  const auto plain = [&](int code) {
    const input_absinfo& a = caps.absinfo[code];
    return !caps.abs[code] || (a.fuzz == 0 && a.flat == 0 && a.resolution == 0);
  };
  return (tight(x) && tight(y)) || (plain(x) && plain(y));
}

// As SDL scales a raw axis value (its float arithmetic included, so both agree to the step).
std::int16_t ScaleAxis(const EvdevLayout::Axis& a, std::int32_t value) {
  if (a.minimum != a.maximum) {
    value = static_cast<int>(std::floor(static_cast<float>(value - a.minimum) * a.scale +
                                        static_cast<float>(kAxisMin) + 0.5f));
  }
  if (value < kAxisMin) return kAxisMin;
  if (value > kAxisMax) return kAxisMax;
  return static_cast<std::int16_t>(value);
}

// One hat axis as 0 (toward minimum), 1 (centre) or 2 (toward maximum).
int HatStep(int value, int minimum, int maximum, bool dead_zones) {
  if (value < 0) return value <= minimum || !dead_zones || value < minimum / 3 ? 0 : 1;
  if (value > 0) return value >= maximum || !dead_zones || value > maximum / 3 ? 2 : 1;
  return 1;
}

}  // namespace

std::optional<EvdevLayout> LayoutLikeSdl(const EvdevCaps& caps, const EvdevLayoutHints& hints) {
  if (hints.axis_dead_zones) return std::nullopt;
  EvdevLayout layout;
  layout.hat_dead_zones = hints.hat_dead_zones;
  // Joystick buttons first, then the keys and game-pad buttons below them.
  for (int code = BTN_JOYSTICK; code < KEY_MAX; ++code) {
    if (caps.keys[static_cast<std::size_t>(code)])
      layout.buttons.push_back(static_cast<std::uint16_t>(code));
  }
  for (int code = 0; code < BTN_JOYSTICK; ++code) {
    if (caps.keys[static_cast<std::size_t>(code)])
      layout.buttons.push_back(static_cast<std::uint16_t>(code));
  }
  std::array<bool, 4> digital{};
  for (int pair = 0; pair < 4; ++pair) {
    const bool present = caps.abs[ABS_HAT0X + 2 * pair] || caps.abs[ABS_HAT0X + 2 * pair + 1];
    digital[pair] = present && (hints.digital_hats || DigitalHat(caps, pair));
    if (!digital[pair]) continue;
    std::array<EvdevLayout::HatAxis, 2> hat{};
    for (int axis = 0; axis < 2; ++axis) {
      const auto code = static_cast<std::uint16_t>(ABS_HAT0X + 2 * pair + axis);
      const input_absinfo& a = caps.absinfo[code];
      hat[axis] = {caps.abs[code], code, a.minimum, a.maximum};
    }
    layout.hats.push_back(hat);
  }
  const float output_range = static_cast<float>(kAxisMax - kAxisMin);
  for (int code = 0; code < ABS_MAX; ++code) {
    const bool hat_axis = code >= ABS_HAT0X && code <= ABS_HAT3Y;
    if (hat_axis && digital[(code - ABS_HAT0X) / 2]) continue;
    if (!caps.abs[static_cast<std::size_t>(code)]) continue;
    const input_absinfo& a = caps.absinfo[static_cast<std::size_t>(code)];
    const float value_range = static_cast<float>(a.maximum - a.minimum);
    layout.axes.push_back({static_cast<std::uint16_t>(code), a.minimum, a.maximum,
                           a.minimum != a.maximum ? output_range / value_range : 0.0f});
  }
  return layout;
}

SdlReading ReadLikeSdl(const EvdevLayout& layout, const EvdevValues& values) {
  SdlReading r;
  for (const EvdevLayout::Axis& a : layout.axes) r.AddAxis(ScaleAxis(a, values.abs[a.code]));
  for (std::uint16_t code : layout.buttons) r.AddButton(values.keys[code] ? 1 : 0);
  static constexpr std::uint8_t kPositions[3][3] = {
      {kLeft | kUp, kUp, kRight | kUp}, {kLeft, 0, kRight}, {kLeft | kDown, kDown, kRight | kDown}};
  for (const auto& hat : layout.hats) {
    int step[2] = {1, 1};  // an axis the hat lacks stays centred
    for (int axis = 0; axis < 2; ++axis) {
      const EvdevLayout::HatAxis& h = hat[static_cast<std::size_t>(axis)];
      if (h.present) {
        step[axis] = HatStep(values.abs[h.code], h.minimum, h.maximum, layout.hat_dead_zones);
      }
    }
    r.AddHat(kPositions[step[1]][step[0]]);
  }
  return r;
}

}  // namespace kestrane
