#pragma once

#include <array>
#include <cstdint>

#include "core/shift_state.h"

namespace kestrane {

struct Settings;

// Bstate: the switch (for reverse and gear 7) is active in this tick's sample, by button and/or
// by the switch axis lying inside [SWITCH_B_MIN, SWITCH_B_MAX].
void UpdateSwitch(ShiftState& state, const std::array<std::uint8_t, 32>& buttons,
                  const Settings& settings);

// Turns the hole and the switch into CurrentGear, with the switch latch and the manual-neutral
// gesture for sticks that spring back to the centre by themselves.
void DecideGear(ShiftState& state, const Settings& settings);

}  // namespace kestrane
