#include "core/shift_state.h"

namespace kestrane {

void ResetShiftState(ShiftState& state) {
  state.StickX = state.StickY = kAxisMiddle;
  state.GateX = state.GateY = kAxisMiddle;
  state.HoleX = state.HoleY = kAxisMiddle;
  state.CurrentGear = kNeutral;
  state.SentGear = kNeutral;
  state.NeutralFlags = 0;
  state.SwitchLatched = false;
}

}  // namespace kestrane
