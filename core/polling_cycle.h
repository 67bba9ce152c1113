#pragma once

#include <cstdint>

#include "core/input_device.h"
#include "core/shift_state.h"
#include "core/stick_sample.h"

namespace kestrane {

struct Settings;
class KeyOutput;
class ShifterOutput;
class ForceFeedback;
class LogSink;

// The live position display of the main window.
class DisplayPort {
 public:
  virtual ~DisplayPort() = default;
  virtual bool IsMainWindowActive() const = 0;
  virtual void UpdateDisplay(const ShiftState& state) = 0;
};

// What one poll step works with; the device (none while no joystick is open), effects, display and
// the virtual H-shifter may be absent.
struct PollContext {
  ShiftState& state;
  const Settings& settings;
  InputDevice* device;
  KeyOutput& keys;
  ForceFeedback* effects = nullptr;
  DisplayPort* display = nullptr;
  ShifterOutput* shifter = nullptr;
  std::uint32_t tick_ms = 25;         // the time since the last look (at most the interval)
  LogSink* log = nullptr;             // gets the cause of an error a tick swallows
  StickSample* sample_out = nullptr;  // gets the sample of a read that worked
  InputStatus* read_out = nullptr;    // gets the read's outcome (left alone when nothing is read)
  // Steps of the shifting rules on one reading, until they settle: 1 steps once per look (as a
  // replay does, one step per trace line); more finish a shift on the report that completes it.
  int max_steps = 1;
  int* steps_out = nullptr;  // gets the steps taken (0 when nothing was read)
};

// Whether the stick counts as lost: gone, or reads failing for kStickLostMs and more.
bool StickLost(const ShiftState& state);

// Whether a step of the shifting rules left everything it moves as it was (a settled state).
bool SameShiftingState(const ShiftState& a, const ShiftState& b);

// Sets SwitchAxisValue from the sample as SWITCH_B_AXE selects; other values keep it.
void SelectSwitchAxis(ShiftState& state, const StickSample& sample, const Settings& settings);

// One poll: read the stick, then step the shifting rules on that reading (track it in the
// pattern, decide the gear, send the keys, set the virtual H-shifter's button, snap the hole) up
// to max_steps times or until a step changes nothing, then refresh the effects and, while the
// main window is active, the display. Further steps on one reading do what the next looks at a
// resting stick would do, only sooner. A failed read changes nothing, until the stick counts
// as lost: then the held key and button come up and SentGear becomes neutral, so that the gear
// in is sent again once reads work.
void PollStep(PollContext& ctx);

// The timer's handler: skips a tick that would run inside another one, and drops any error the
// poll step raises (into the log, with its cause) so that the next tick runs normally.
void OnPollTimer(PollContext& ctx);

}  // namespace kestrane
