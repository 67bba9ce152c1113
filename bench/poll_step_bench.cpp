// Cost of one poll step of the shifting core, as the timer tick runs it.
#include <benchmark/benchmark.h>

#include "config/setting_keys.h"
#include "core/effects.h"
#include "core/gate_tracking.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/scripted_joystick.h"
#include "tools/replay.h"

namespace kestrane {
namespace {

struct Bench {
  Settings settings = DefaultSettings();
  ShiftState state;
  ScriptedJoystick joystick;
  test::FakeKeySink sink{test::FakeKeySink::CountOnly{}};
  KeyOutput keys{sink};
  SentEffects haptic;  // kestrane-cli replay's device: keeps the last record of each effect
  ForceFeedback effects;
  PollContext ctx{state, settings, &joystick, keys, nullptr, nullptr};

  explicit Bench(bool with_effects) {
    ResetShiftState(state);
    if (with_effects) {
      settings.DAMPER_ENABLED = true;
      settings.GEAR_CROSS_FORCE_COUNT = 2;
      effects.BuildEffects(&haptic, state, settings);
      ctx.effects = &effects;
    } else {
      UpdateHole(state, settings);
    }
  }
  void Sample(std::int32_t x, std::int32_t y) {
    StickSample s;
    s.X = x;
    s.Y = y;
    joystick.SetNext(s);
  }
};

// A stick moving through the pattern without output: the core's own cost per tick.
void BM_PollStepCore(benchmark::State& st) {
  Bench b(false);
  b.settings.SYM_TYPE = 3;  // no key output
  std::int32_t y = 0;
  for (auto _ : st) {
    b.Sample(32767, y);
    y = (y + 977) & 0xFFFF;
    OnPollTimer(b.ctx);
  }
  benchmark::DoNotOptimize(b.state.CurrentGear);
}
BENCHMARK(BM_PollStepCore);

// Every tick changes gear between 3 and 4 in mode 0, a release and a press each, recorded the
// way `kestrane-cli replay` records them. Inside the centre lane the gate point follows the stick
// at once, so alternating rows makes every tick decide a new gear.
void BM_PollStepGearChangeMode0(benchmark::State& st) {
  Bench b(false);
  RecordingKeySink recorder;
  KeyOutput keys(recorder);
  PollContext ctx{b.state, b.settings, &b.joystick, keys, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    b.Sample(32767, 0);
    OnPollTimer(ctx);
  }
  bool top = false;
  std::size_t events = 0;
  for (auto _ : st) {
    recorder.events.clear();
    b.Sample(32767, top ? 0 : 65534);
    top = !top;
    OnPollTimer(ctx);
    events += recorder.events.size();
  }
  st.counters["key_events_per_tick"] =
      static_cast<double>(events) / static_cast<double>(st.iterations());
}
BENCHMARK(BM_PollStepGearChangeMode0);

// The full step with all five effects (two cross springs, hole, center, damper).
void BM_PollStepAllEffects(benchmark::State& st) {
  Bench b(true);
  std::int32_t y = 0;
  for (auto _ : st) {
    b.Sample(32767, y);
    y = (y + 977) & 0xFFFF;
    OnPollTimer(b.ctx);
  }
  benchmark::DoNotOptimize(b.state.CurrentGear);
}
BENCHMARK(BM_PollStepAllEffects);

}  // namespace
}  // namespace kestrane

BENCHMARK_MAIN();
