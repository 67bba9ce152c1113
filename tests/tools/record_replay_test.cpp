// A recording replays to what happened live: the engine that records settles each reading in
// several steps and writes a line for each step taken; the replay takes one step per line.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <iterator>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "engine/engine.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/scripted_input.h"
#include "tools/replay.h"
#include "tools/trace.h"

namespace kestrane {
namespace {

// The replay's keys as FakeKeySink::Trace writes them (waits of 0 ms are not typed).
std::string Trace(const std::vector<KeyRecord>& keys) {
  test::FakeKeySink sink;
  for (const KeyRecord& k : keys) {
    if (k.is_wait) {
      if (k.ms > 0) sink.Wait(k.ms);
    } else {
      sink.KeyEvent(k.key, k.down);
    }
  }
  return sink.Trace();
}

TEST(RecordThenReplay, EndsAsTheLiveRunDidWithTheSameKeys) {
  // A tour of the gears through the lanes, then jumps straight into slots: one reading a look.
  const std::array<std::int32_t, 2> stick[] = {
      {0, 32767},     {0, 0},     {0, 32767},     {0, 65535},     {32767, 65535},
      {32767, 0},     {65535, 0}, {65535, 65535}, {32767, 32767}, {0, 0},
      {65535, 65535}, {32767, 0}, {32767, 32767}};
  Settings settings = DefaultSettings();
  ApplyForceFeedbackSwitch(settings);

  ScriptedInput input;
  input.joysticks = {{"Pad", "pad-1", false}};
  test::FakeKeySink* live_keys = nullptr;
  StoredInterval timer(25);
  auto now = std::chrono::steady_clock::time_point(std::chrono::seconds(10));
  EngineServices services;
  services.input = &input;
  services.timer = &timer;
  services.settings = settings;
  services.now = [&] { return now; };
  services.open_keyboard = [&](std::string&, MessageSink&) {
    auto keys = std::make_unique<test::FakeKeySink>();
    live_keys = keys.get();
    return keys;
  };
  struct Recorder final : EngineView {
    std::vector<std::string> lines;
    void StickRead(const StickSample* sample) override {
      lines.push_back(sample ? FormatTraceLine(*sample) : "fail");
    }
  } recorder;
  Engine live(std::move(services));
  ASSERT_TRUE(live.Start());
  live.SetView(&recorder, nullptr);
  for (const auto& [x, y] : stick) {
    input.sample.X = x;
    input.sample.Y = y;
    now += std::chrono::milliseconds(25);
    live.Tick();
  }
  const ShiftState live_end = live.Shift();
  const std::string live_trace = live_keys->Trace();
  live.Stop();
  // More lines than looks: a shift's look took more than one step.
  EXPECT_GT(recorder.lines.size(), std::size(stick));

  Replay replay(settings, nullptr, 25);
  std::vector<KeyRecord> replayed_keys;
  ShiftState replay_end;
  for (const std::string& line : recorder.lines) {
    const ReplayTick tick = replay.Step(ParseTraceLine(line));
    replayed_keys.insert(replayed_keys.end(), tick.keys.begin(), tick.keys.end());
    replay_end = tick.state;
  }
  EXPECT_EQ(Trace(replayed_keys), live_trace);
  EXPECT_TRUE(SameShiftingState(replay_end, live_end));
}

}  // namespace
}  // namespace kestrane
