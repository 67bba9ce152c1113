#include "core/shifter_buttons.h"

namespace kestrane {

int ShifterButtonForGear(Gear gear) {
  if (gear == kReverse) return kShifterReverseButton;
  if (gear >= 1 && gear <= 7) return gear;
  return kNoShifterButton;
}

void ShifterOutput::Hold(int button) {
  if (button == held_) return;
  held_ = button;
  if (port_) port_->SetGearButton(button);
}

void ShifterOutput::Follow(Gear gear, const Settings& settings) {
  Hold(settings.VIRTUAL_SHIFTER ? ShifterButtonForGear(gear) : kNoShifterButton);
}

void ShifterOutput::Release() {
  Hold(kNoShifterButton);
}

void ShifterOutput::Attach(ShifterPort* port) {
  if (port == port_) return;
  Release();
  port_ = port;
}

void UpdateShifter(const ShiftState& state, const Settings& settings, ShifterOutput& shifter) {
  shifter.Follow(state.CurrentGear, settings);
}

}  // namespace kestrane
