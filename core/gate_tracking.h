#pragma once

#include "core/shift_state.h"

namespace kestrane {

struct Settings;

// Moves the gate point along the H pattern: inside a lane it follows the stick up and down, on the
// neutral line it follows it sideways, and it changes between the two only at the crossings.
void TrackGate(ShiftState& state, const Settings& settings);

// Snaps the gate point to the nearest gear slot (HoleX, HoleY).
void UpdateHole(ShiftState& state, const Settings& settings);

// The lane whose capture zone holds x: the outer lanes within S of their line (and beyond), the
// centre lane for everything in between. Shared with the force-feedback arithmetic.
std::int64_t CandidateLane(std::int64_t x, std::int64_t width, std::int64_t cross_size);

}  // namespace kestrane
