#include "tools/replay.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"

namespace kestrane {
namespace {

// What a trace's ticks did: per tick line, whether effects existed, a key went down or came up.
struct Ticks {
  std::string effects;  // E: the effects exist, -: none
  std::string keys;     // D: a key down, U: a key up, .: none
};

Ticks ReplayTrace(const std::string& trace) {
  Settings settings = DefaultSettings();
  ApplyForceFeedbackSwitch(settings);
  Replay replay(settings, nullptr);
  Ticks out;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    const TraceLine parsed = ParseTraceLine(line);
    if (parsed.kind == TraceLineKind::Back) {
      replay.StickBack();
      continue;
    }
    const ReplayTick tick = replay.Step(parsed);
    out.effects += tick.effect_exists[kCrossSlot] ? 'E' : '-';
    char key = '.';
    for (const KeyRecord& k : tick.keys) {
      if (!k.is_wait) key = k.down ? 'D' : 'U';
    }
    out.keys += key;
  }
  return out;
}

std::string Repeat(const std::string& line, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += line;
  return out;
}

// A lost stick as the window program's engine handles it: one reported gone takes its effects
// until it reads again; reads that only fail keep it open and its effects built.
TEST(Replay, LostSticksComeBackAsTheProgramBringsThemBack) {
  // Into 1st as a hand would: the key goes down on one of these ticks.
  const std::string in_gear =
      Repeat("32767 32767\n", 3) + Repeat("0 32767\n", 3) + Repeat("0 0\n", 3);
  const Ticks shifted = ReplayTrace(in_gear);
  ASSERT_NE(shifted.keys.find('D'), std::string::npos);
  const struct {
    const char* what;
    std::string trace;
    Ticks want;
  } cases[] = {
      {"20 failed reads: key up, effects kept, the gear again at the next read",
       Repeat("fail\n", 20) + "0 0\n",
       {Repeat("E", 20) + "E", Repeat(".", 19) + "UD"}},
      {"gone, then back: no effects meanwhile, the gear again",
       "gone\nfail\nback\n0 0\n",
       {"--E", "U.D"}},
      {"gone, then a read without a back line: the stick is back", "gone\n0 0\n", {"-E", "UD"}},
      {"a back line while the stick is there changes nothing: the 20th failure still counts",
       Repeat("fail\n", 10) + "back\n" + Repeat("fail\n", 10),
       {Repeat("E", 20), Repeat(".", 19) + "U"}},
  };
  for (const auto& c : cases) {
    Ticks got = ReplayTrace(in_gear + c.trace);
    got.effects.erase(0, shifted.effects.size());
    got.keys.erase(0, shifted.keys.size());
    EXPECT_EQ(got.effects, c.want.effects) << c.what;
    EXPECT_EQ(got.keys, c.want.keys) << c.what;
  }
}

}  // namespace
}  // namespace kestrane
