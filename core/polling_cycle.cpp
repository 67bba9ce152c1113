#include "core/polling_cycle.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "core/effects.h"
#include "core/gate_tracking.h"
#include "core/gear_detection.h"
#include "core/keystroke_output.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/shifter_buttons.h"

namespace kestrane {

void SelectSwitchAxis(ShiftState& state, const StickSample& sample, const Settings& settings) {
  switch (settings.SWITCH_B_AXE) {
    case 0:
      state.SwitchAxisValue = 0;
      break;
    case 1:
      state.SwitchAxisValue = sample.Z;
      break;
    case 2:
      state.SwitchAxisValue = sample.Rx;
      break;
    case 3:
      state.SwitchAxisValue = sample.Ry;
      break;
    case 4:
      state.SwitchAxisValue = sample.Rz;
      break;
    case 5:
      state.SwitchAxisValue = sample.Slider[0];
      break;
    case 6:
      state.SwitchAxisValue = sample.Slider[1];
      break;
    default:
      break;  // no such axis: keep the previous value
  }
}

bool SameShiftingState(const ShiftState& a, const ShiftState& b) {
  return a.Mode == b.Mode && a.GateX == b.GateX && a.GateY == b.GateY && a.HoleX == b.HoleX &&
         a.HoleY == b.HoleY && a.Bstate == b.Bstate && a.SwitchLatched == b.SwitchLatched &&
         a.CurrentGear == b.CurrentGear && a.SentGear == b.SentGear &&
         a.NeutralFlags == b.NeutralFlags;
}

void PollStep(PollContext& ctx) {
  ShiftState& state = ctx.state;
  const Settings& settings = ctx.settings;
  if (!ctx.device) return;
  if (settings.POOLED_DEVICE) ctx.device->Poll();
  StickSample sample;
  const InputStatus read = ctx.device->Read(sample);
  if (ctx.read_out) *ctx.read_out = read;
  if (ctx.steps_out) *ctx.steps_out = 0;
  if (read != InputStatus::Ok) {
    state.FailedReadMs =
        read == InputStatus::DeviceLost
            ? std::max<std::int64_t>(state.FailedReadMs, kStickLostMs)
            : std::min<std::int64_t>(state.FailedReadMs + ctx.tick_ms, kStickLostMs);
    if (StickLost(state)) {
      ctx.keys.ReleaseHeld();
      state.SentGear = kNeutral;
      if (ctx.shifter) ctx.shifter->Release();
    }
    return;
  }
  state.FailedReadMs = 0;
  if (ctx.sample_out) *ctx.sample_out = sample;

  std::int64_t x = sample.X;
  std::int64_t y = sample.Y;
  if (settings.SWITCH_XY) std::swap(x, y);
  if (settings.REVERSE_X) x = 65534 - x;
  if (settings.REVERSE_Y) y = 65534 - y;
  state.StickX = x;
  state.StickY = y;
  SelectSwitchAxis(state, sample, settings);

  const int max_steps = std::max(ctx.max_steps, 1);
  int steps = 0;
  while (steps < max_steps) {
    const ShiftState before = state;
    TrackGate(state, settings);
    UpdateSwitch(state, sample.Buttons, settings);
    DecideGear(state, settings);
    if (state.SentGear != state.CurrentGear) SendGearKeys(state, settings, ctx.keys);
    if (ctx.shifter) UpdateShifter(state, settings, *ctx.shifter);
    UpdateHole(state, settings);
    ++steps;
    if (SameShiftingState(before, state)) break;
  }
  if (ctx.steps_out) *ctx.steps_out = steps;
  // The effects follow the settled state only: the steps in between need not reach the device.
  if (ctx.effects) ctx.effects->UpdateEffects(state, settings);
  if (ctx.display && ctx.display->IsMainWindowActive()) ctx.display->UpdateDisplay(state);
}

bool StickLost(const ShiftState& state) {
  return state.FailedReadMs >= kStickLostMs;
}

void OnPollTimer(PollContext& ctx) {
  if (ctx.state.TickBusy) return;
  ctx.state.TickBusy = true;
  try {
    PollStep(ctx);
  } catch (const std::exception& e) {
    if (ctx.log) ctx.log->Log(std::string("a tick failed: ") + e.what());
  } catch (...) {
    if (ctx.log) ctx.log->Log("a tick failed with an unknown error");
  }
  ctx.state.TickBusy = false;
}

}  // namespace kestrane
