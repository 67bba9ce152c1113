#pragma once

// The virtual H-shifter: a joystick that holds one button while a gear is in, the way a hardware
// H-shifter reports its gears (buttons 1 to 7 for the forward gears, 8 for reverse, none in
// neutral). Some games take an H-shifter only that way and ignore keys for it.

#include "core/gear.h"
#include "core/settings.h"
#include "core/shift_state.h"

namespace kestrane {

inline constexpr int kShifterButtons = 8;
inline constexpr int kShifterReverseButton = 8;
inline constexpr int kNoShifterButton = 0;

// The button held for a gear: 1..7 for gears 1..7, 8 for reverse, 0 (none) for neutral and for
// any number that is no gear.
int ShifterButtonForGear(Gear gear);

// The shifter device, as the poll step drives it.
class ShifterPort {
 public:
  virtual ~ShifterPort() = default;
  // Holds `button` (1..kShifterButtons) and nothing else; 0 releases every button.
  virtual void SetGearButton(int button) = 0;
};

// Which shifter button is held, told to the device only when it changes. Without a device it
// still keeps track (kestrane-cli replay reports it). A device attached later starts from nothing
// held and gets its button on the next Follow.
class ShifterOutput {
 public:
  explicit ShifterOutput(ShifterPort* port = nullptr) : port_(port) {}
  ShifterOutput(const ShifterOutput&) = delete;
  ShifterOutput& operator=(const ShifterOutput&) = delete;

  // Holds the button of `gear` while VIRTUAL_SHIFTER is on; with it off, holds nothing.
  void Follow(Gear gear, const Settings& settings);
  // Releases the held button (shut-down, the device going away).
  void Release();

  // A new device (or none). The old one, if any, is released first; the new one holds nothing
  // until the next Follow.
  void Attach(ShifterPort* port);
  ShifterPort* Port() const { return port_; }

  int Held() const { return held_; }

 private:
  void Hold(int button);

  ShifterPort* port_;
  int held_ = kNoShifterButton;
};

// The shifter's step of a poll, right after the key step: the device follows CurrentGear as it
// stands then. In the key modes 0 to 2 that is the gear whose keys were just sent (SentGear),
// including mode 2's fall-back to SentGear when the new gear has no place in SYM_SEQUENCE; in
// any other mode no keys are sent and SentGear stays put, so the device follows the decided gear.
void UpdateShifter(const ShiftState& state, const Settings& settings, ShifterOutput& shifter);

}  // namespace kestrane
