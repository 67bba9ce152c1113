#include "core/gear_detection.h"

#include "core/settings.h"

namespace kestrane {

void UpdateSwitch(ShiftState& state, const std::array<std::uint8_t, 32>& buttons,
                  const Settings& settings) {
  bool on = false;
  const std::int32_t button = settings.SWITCH_BUTTON;
  if (button == 1) {
    for (std::uint8_t b : buttons) on = on || b != 0;
  } else if (button >= 2 && button <= 33) {
    on = buttons[static_cast<std::size_t>(button - 2)] != 0;
  }
  const std::int32_t lo = settings.SWITCH_B_MIN;
  const std::int32_t hi = settings.SWITCH_B_MAX;
  if (lo != hi && lo <= state.SwitchAxisValue && state.SwitchAxisValue <= hi) on = true;
  state.Bstate = on;
}

void DecideGear(ShiftState& state, const Settings& settings) {
  constexpr std::int64_t M = kAxisMiddle;
  const std::int64_t W = settings.JOY_GEAR_WIDTH;
  const std::int64_t H = settings.JOY_GEAR_HEIGHT;
  const std::int64_t left = M - W;
  const std::int64_t right = M + W;

  if (state.HoleY == M - H) {  // top row: 1 (or R), 3, 5
    if (state.Bstate) state.SwitchLatched = true;
    state.NeutralFlags = kFromRow;
    if (state.HoleX == left) {
      state.CurrentGear = state.SwitchLatched ? kReverse : 1;
    } else if (state.HoleX == M) {
      state.CurrentGear = 3;
    } else if (state.HoleX == right) {
      state.CurrentGear = 5;
    }
    return;
  }
  if (state.HoleY == M + H) {  // bottom row: 2, 4, 6 (or 7)
    if (state.Bstate) state.SwitchLatched = true;
    state.NeutralFlags = kFromRow;
    if (state.HoleX == left) {
      state.CurrentGear = 2;
    } else if (state.HoleX == M) {
      state.CurrentGear = 4;
    } else if (state.HoleX == right) {
      state.CurrentGear = state.SwitchLatched ? 7 : 6;
    }
    return;
  }

  // The neutral line.
  state.SwitchLatched = state.Bstate;
  if (state.HoleX == left) {
    if ((state.NeutralFlags & kFromRow) == 0) state.NeutralFlags |= kLeftSeen;
  } else if (state.HoleX == M) {
    state.NeutralFlags &= ~kFromRow;
  } else if (state.HoleX == right) {
    if ((state.NeutralFlags & kFromRow) == 0) state.NeutralFlags |= kRightSeen;
  }
  if (settings.FORCE_FEEDBACK || !settings.AUTOCENTER_NEUTRAL ||
      state.NeutralFlags == (kLeftSeen | kRightSeen)) {
    state.CurrentGear = kNeutral;
    state.NeutralFlags = 0;
  }
}

}  // namespace kestrane
