#pragma once

// Linux: the stick's state from its event node, numbered as SDL numbers it (axis 2, button 5,
// hat 0), so that settings made with SDL's numbers keep their meaning when the engine reads the
// reports the report reader took in instead of asking SDL. docs/architecture.md has the reasons.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/evdev_reports.h"
#include "device/sdl_input.h"

namespace kestrane {

struct EvdevLayoutHints {
  bool axis_dead_zones = false;  // SDL_LINUX_JOYSTICK_DEADZONES
  bool digital_hats = false;     // SDL_LINUX_DIGITAL_HATS
  bool hat_dead_zones = true;    // SDL_LINUX_HAT_DEADZONES
};

struct EvdevLayout {
  struct Axis {
    std::uint16_t code;
    std::int32_t minimum, maximum;
    float scale;  // SDL's, worked out once as SDL does
  };
  struct HatAxis {
    bool present;
    std::uint16_t code;
    std::int32_t minimum, maximum;
  };
  std::vector<Axis> axes;                    // SDL axis i
  std::vector<std::uint16_t> buttons;        // SDL button i is this key code
  std::vector<std::array<HatAxis, 2>> hats;  // SDL hat i: its X and Y
  bool hat_dead_zones = true;
};

// SDL's numbering for a stick with `caps`; nothing where SDL would read it otherwise (dead
// zones on the axes asked for). The caller also compares the counts with SDL's own.
std::optional<EvdevLayout> LayoutLikeSdl(const EvdevCaps& caps, const EvdevLayoutHints& hints);
// The reading SDL gives for `values` once each axis has moved (SDL holds back an axis's first
// small moves; here every report counts).
SdlReading ReadLikeSdl(const EvdevLayout& layout, const EvdevValues& values);

}  // namespace kestrane
