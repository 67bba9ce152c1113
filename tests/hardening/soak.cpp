// The soak run: millions of poll steps of generated stick movement through the whole core (gate,
// gear decision, keys in every shifting mode, all force-feedback effects, the replay's recording
// and its JSON lines), checking on every tick what must always hold:
//   - the hole is one of the nine slots of the pattern;
//   - in mode 0 at most one key is down, and it is the key of the gear sent (none in neutral);
//   - in modes 1 and 2 no key stays down after a tick, and none after the end of a run;
// and that the resident memory does not grow once the run is under way.
//   kestrane_soak [STEPS]   (default 10000000)

#include <algorithm>
#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "config/setting_keys.h"
#include "core/shift_state.h"
#include "tools/replay.h"
#include "tools/trace.h"

// Under AddressSanitizer freed memory waits in a quarantine of 256 MB by default, which would look
// like growth; a smaller one still catches late uses of freed memory.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16";
}

namespace kestrane {
namespace {

constexpr std::int64_t M = kAxisMiddle;
constexpr std::int64_t kSegment = 50'000;  // steps with one set of settings

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4;  // 4 KiB pages
}

[[noreturn]] void Fail(std::int64_t step, const std::string& what, const ReplayTick& tick) {
  std::fprintf(stderr, "soak: step %" PRId64 ": %s\n%s\n", step, what.c_str(),
               TickToJson(tick).c_str());
  std::exit(1);
}

// Settings for one segment: every effect on, one of the shifting modes (also an unknown one),
// pattern sizes from tiny to huge, keys that sometimes repeat.
Settings SegmentSettings(std::mt19937_64& rng, std::int64_t segment) {
  Settings s = DefaultSettings();
  auto pick = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  s.FORCE_FEEDBACK = s.DAMPER_ENABLED = s.CROSS_ENABLED = s.HOLE_ENABLED = s.CENTER_ENABLED = true;
  s.SYM_TYPE = static_cast<std::int32_t>(segment % 4);  // 0, 1, 2 and one that sends nothing
  s.SYM_KEY_TIME = pick(0, 3);
  s.SYM_SPACE_TIME = pick(0, 3);
  const char* sequences[] = {"RN1234567", "N1R", "7654321NR", "", "R1N"};
  s.SetSequence(sequences[pick(0, 4)]);
  if (segment % 5 == 4) {
    s.JOY_GEAR_WIDTH = pick(-40000, 2147483647);
    s.JOY_GEAR_HEIGHT = pick(-40000, 2147483647);
    s.GEAR_CROSS_SIZE = pick(-5000, 40000);
  } else {
    s.JOY_GEAR_WIDTH = pick(5000, 30000);
    s.JOY_GEAR_HEIGHT = pick(5000, 30000);
    s.GEAR_CROSS_SIZE = pick(500, 8000);
  }
  s.REVERSE_X = pick(0, 1) != 0;
  s.SWITCH_XY = pick(0, 3) == 0;
  s.SWITCH_BUTTON = pick(0, 3);
  s.SWITCH_B_AXE = pick(0, 7);
  for (KeyCode& k : s.Keys)
    k = {static_cast<std::uint8_t>(pick(1, 12)), static_cast<std::uint8_t>(pick(1, 12))};
  ApplyForceFeedbackSwitch(s);
  return s;
}

// The stick: mostly a wandering hand that moves between slots, now and then a jump anywhere
// (also outside the axis range), a failed read or a button.
class StickWalk {
 public:
  explicit StickWalk(std::uint64_t seed) : rng_(seed) {}
  TraceLine Next(const Settings& s) {
    TraceLine line;
    const std::uint64_t r = rng_() % 1000;
    if (r == 0) {
      line.kind = TraceLineKind::Fail;
      return line;
    }
    line.kind = TraceLineKind::Sample;
    if (r < 3) {
      // A glitch: one reading anywhere in the 32-bit range.
      line.sample.X = static_cast<std::int32_t>(rng_());
      line.sample.Y = static_cast<std::int32_t>(rng_());
    } else {
      Move(s);
      line.sample.X = static_cast<std::int32_t>(x_);
      line.sample.Y = static_cast<std::int32_t>(y_);
    }
    line.sample.Z = static_cast<std::int32_t>(rng_() % 65536);
    if (rng_() % 50 == 0) buttons_ ^= 1u << (rng_() % 4);
    for (std::size_t b = 0; b < 32; ++b) {
      line.sample.Buttons[b] = static_cast<std::uint8_t>((buttons_ >> b & 1u) ? 0x80 : 0);
    }
    return line;
  }

 private:
  // A hand on an H pattern: towards a slot it comes back to the neutral line, goes along it to the
  // slot's lane and then into the slot; now and then it picks another slot halfway, or cuts across.
  void Move(const Settings& s) {
    if (rng_() % 60 == 0) {
      const std::int64_t w = s.JOY_GEAR_WIDTH, h = s.JOY_GEAR_HEIGHT;
      target_x_ = M + static_cast<std::int64_t>(rng_() % 3) * w - w;
      target_y_ = M + static_cast<std::int64_t>(rng_() % 3) * h - h;
      diagonal_ = rng_() % 8 == 0;
    }
    const std::int64_t near = 1000;
    const bool off_lane = Abs(x_ - target_x_) > near;
    if (diagonal_) {
      x_ = Toward(x_, target_x_);
      y_ = Toward(y_, target_y_);
    } else if (off_lane && Abs(y_ - M) > near) {
      x_ = Toward(x_, x_);
      y_ = Toward(y_, M);
    } else if (off_lane) {
      x_ = Toward(x_, target_x_);
      y_ = Toward(y_, M);
    } else {
      x_ = Toward(x_, target_x_);
      y_ = Toward(y_, target_y_);
    }
  }

  static std::int64_t Abs(std::int64_t v) { return v < 0 ? -v : v; }

  // A step of a few hundred to a few thousand units (longer when far away), with a tremble.
  std::int64_t Toward(std::int64_t from, std::int64_t to) {
    const std::uint64_t reach = 3000 + static_cast<std::uint64_t>(Abs(to - from) / 4);
    const std::int64_t step = 200 + static_cast<std::int64_t>(rng_() % reach);
    const std::int64_t jitter = static_cast<std::int64_t>(rng_() % 401) - 200;
    std::int64_t v = from < to ? std::min(from + step, to) : std::max(from - step, to);
    v += jitter;
    return std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX);
  }

  std::mt19937_64 rng_;
  std::int64_t x_ = M, y_ = M, target_x_ = M, target_y_ = M;
  bool diagonal_ = false;
  std::uint32_t buttons_ = 0;
};

bool IsSlot(std::int64_t v, std::int64_t size) {
  return v == M - size || v == M || v == M + size;
}

// The keys down, as the events of the ticks left them.
class KeysDown {
 public:
  void Apply(const std::vector<KeyRecord>& events) {
    for (const KeyRecord& e : events) {
      if (e.is_wait) continue;
      const int code = e.key.vk << 8 | e.key.scan;
      if (e.down) {
        ++down_[code];
      } else if (auto it = down_.find(code); it != down_.end() && --it->second == 0) {
        down_.erase(it);
      }
    }
  }
  std::size_t Count() const {
    std::size_t n = 0;
    for (const auto& [code, presses] : down_) n += static_cast<std::size_t>(presses);
    return n;
  }
  bool Only(KeyCode key) const { return Count() == 1 && down_.count(key.vk << 8 | key.scan) == 1; }

 private:
  std::map<int, int> down_;
};

}  // namespace
}  // namespace kestrane

int main(int argc, char** argv) {
  using namespace kestrane;
  const std::int64_t steps = argc > 1 ? std::strtoll(argv[1], nullptr, 10) : 10'000'000;
  if (steps <= 0) {
    std::fprintf(stderr, "usage: kestrane_soak [STEPS]\n");
    return 2;
  }
  std::mt19937_64 rng(20261208);
  StickWalk walk(7);
  std::uint64_t json_bytes = 0;
  std::uint64_t key_events = 0;
  std::array<std::uint64_t, 4> shifts{};  // gear changes sent, by mode
  long rss_start = 0;
  const std::int64_t warm_up = std::min<std::int64_t>(steps / 10, 1'000'000);
  const auto started = std::chrono::steady_clock::now();

  for (std::int64_t done = 0, segment = 0; done < steps; ++segment) {
    const Settings settings = SegmentSettings(rng, segment);
    Replay replay(settings, nullptr);
    KeysDown keys;
    Gear sent_before = kNeutral;
    const std::int64_t end = std::min(steps, done + kSegment);
    for (; done < end; ++done) {
      if (done == warm_up) rss_start = ResidentKb();
      const ReplayTick tick = replay.Step(walk.Next(settings));
      json_bytes += TickToJson(tick).size();
      keys.Apply(tick.keys);
      key_events += tick.keys.size();
      if (tick.state.SentGear != sent_before) ++shifts[static_cast<std::size_t>(settings.SYM_TYPE)];
      sent_before = tick.state.SentGear;

      const ShiftState& s = tick.state;
      if (!IsSlot(s.HoleX, settings.JOY_GEAR_WIDTH) || !IsSlot(s.HoleY, settings.JOY_GEAR_HEIGHT)) {
        Fail(done, "the hole is not a slot of the pattern", tick);
      }
      if (settings.SYM_TYPE == 0) {
        if (s.SentGear >= 0 && s.SentGear < kKeyEntries) {
          if (!keys.Only(settings.Keys[static_cast<std::size_t>(s.SentGear)])) {
            Fail(done, "mode 0: the key down is not the sent gear's alone", tick);
          }
        } else if (keys.Count() != 0) {
          Fail(done, "mode 0: a key is down in neutral", tick);
        }
      } else if (keys.Count() != 0) {
        Fail(done, "a key stays down after a tick in mode " + std::to_string(settings.SYM_TYPE),
             tick);
      }
    }
    keys.Apply(replay.Finish());
    if (keys.Count() != 0) {
      std::fprintf(stderr, "soak: a key is still down after the run of segment %" PRId64 "\n",
                   segment);
      return 1;
    }
  }
  const long rss_end = ResidentKb();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("soak: %" PRId64 " steps in %.1f s (%.0f steps/s), %" PRIu64
              " MB of JSON lines; resident memory %ld kB after %" PRId64
              " steps, %ld kB at the end\n",
              steps, seconds, static_cast<double>(steps) / seconds, json_bytes >> 20, rss_start,
              warm_up, rss_end);
  std::printf("soak: %" PRIu64 " key events and waits; gear changes sent in modes 0, 1, 2: %" PRIu64
              ", %" PRIu64 ", %" PRIu64 "\n",
              key_events, shifts[0], shifts[1], shifts[2]);
  // A walk that never shifts would check nothing.
  if (steps >= 4 * kSegment && (shifts[0] == 0 || shifts[1] == 0 || shifts[2] == 0)) {
    std::fprintf(stderr, "soak: the generated movement did not shift in every mode\n");
    return 1;
  }
  // A leak of even a few bytes per tick shows as megabytes over a long run.
  if (rss_end - rss_start > 8 * 1024) {
    std::fprintf(stderr, "soak: resident memory grew by %ld kB\n", rss_end - rss_start);
    return 1;
  }
  return 0;
}
