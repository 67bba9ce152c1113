#pragma once

#include <cstdint>

namespace kestrane {

// A gear number: -1 neutral (N), 0 reverse (R), 1 to 7 the forward gears.
using Gear = std::int32_t;
inline constexpr Gear kNeutral = -1;
inline constexpr Gear kReverse = 0;

// "N" for -1, "R" for 0, the digit for 1..7. Any other number has no letter of its own and
// gives '?', so that it can never match a letter of the gear sequence.
char GearLetter(Gear gear);

}  // namespace kestrane
