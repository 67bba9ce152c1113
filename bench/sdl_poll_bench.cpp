// Cost of one timer tick reading the virtual stick through SDL: the device layer over the SDL
// platform, the poll (SDL_JoystickUpdate), the read and the whole poll step of the core.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "config/setting_keys.h"
#include "core/effects.h"
#include "core/gate_tracking.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "core/shift_state.h"
#include "device/joystick_device.h"
#include "device/sdl_input.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/recording_messages.h"

namespace kestrane {
namespace {

// The window program's start-up on the virtual stick, without a window.
struct VirtualStickRig {
  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform(true);
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device{*platform, messages, effects};
  Settings settings = DefaultSettings();
  ShiftState state;
  test::FakeKeySink sink{test::FakeKeySink::CountOnly{}};
  KeyOutput keys{sink};
  PollContext ctx{state, settings, nullptr, keys, &effects, nullptr};
  bool ok = false;

  VirtualStickRig() {
    ResetShiftState(state);
    if (!device.StartInput() || !device.ListJoysticks()) return;
    device.SelectSavedJoystickByName(kVirtualStickName);
    ok = device.OpenJoystick(settings, state);
    ctx.device = device.OpenDevice();
  }
  ~VirtualStickRig() { device.StopInput(); }
};

// Poll and read only: the device layer's part of a tick.
void BM_SdlPollAndRead(benchmark::State& st) {
  VirtualStickRig rig;
  if (!rig.ok) {
    st.SkipWithError("the virtual stick did not open");
    return;
  }
  StickSample sample;
  for (auto _ : st) {
    rig.device.OpenDevice()->Poll();
    benchmark::DoNotOptimize(rig.device.OpenDevice()->Read(sample));
  }
}
BENCHMARK(BM_SdlPollAndRead);

// The whole timer tick, the stick moving up and down the centre lane.
void BM_SdlPollStep(benchmark::State& st) {
  VirtualStickRig rig;
  if (!rig.ok) {
    st.SkipWithError("the virtual stick did not open");
    return;
  }
  VirtualStick* stick = rig.platform->GetVirtualStick();
  std::int32_t y = 0;
  for (auto _ : st) {
    stick->SetAxis(1, y);
    y = (y + 977) & 0xFFFF;
    OnPollTimer(rig.ctx);
  }
  benchmark::DoNotOptimize(rig.state.CurrentGear);
}
BENCHMARK(BM_SdlPollStep);

}  // namespace
}  // namespace kestrane

BENCHMARK_MAIN();
