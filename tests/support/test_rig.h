#pragma once

#include <cstdint>

#include "config/setting_keys.h"
#include "core/gate_tracking.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "core/shift_state.h"
#include "core/shifter_buttons.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/scripted_joystick.h"

namespace kestrane::test {

// The shifting core after the first show, with a scripted stick and recorded keys.
struct Rig {
  Settings settings = DefaultSettings();
  ShiftState state;
  ScriptedJoystick joystick;
  bool joystick_open = true;
  FakeKeySink keys_seen;
  KeyOutput keys{keys_seen};
  ForceFeedback* effects = nullptr;
  DisplayPort* display = nullptr;
  ShifterOutput* shifter = nullptr;
  int max_steps = 1;   // steps of the shifting rules per reading
  int last_steps = 0;  // what the last look took

  Rig() {
    ResetShiftState(state);
    UpdateHole(state, settings);
  }

  void Tick(std::int32_t x, std::int32_t y, std::uint32_t buttons = 0) {
    StickSample sample;
    sample.X = x;
    sample.Y = y;
    for (int b = 0; b < 32; ++b)
      sample.Buttons[b] = static_cast<std::uint8_t>((buttons >> b) & 1u ? 0x80 : 0);
    TickSample(sample);
  }
  void TickSample(const StickSample& sample) {
    joystick.SetNext(sample);
    Run();
  }
  void TickFail() {
    joystick.SetNext(std::nullopt);
    Run();
  }
  void Run() {
    PollContext ctx{state,   settings, joystick_open ? &joystick : nullptr, keys, effects,
                    display, shifter};
    ctx.max_steps = max_steps;
    ctx.steps_out = &last_steps;
    OnPollTimer(ctx);
  }
  void Ticks(int n, std::int32_t x, std::int32_t y, std::uint32_t buttons = 0) {
    for (int i = 0; i < n; ++i) Tick(x, y, buttons);
  }
};

}  // namespace kestrane::test
