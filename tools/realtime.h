#pragma once

// Running in real time from the command line: ticks at a fixed interval that a stop request
// (platform/stop_signals.h) ends after the current tick, so that no key is left down.

#include <chrono>
#include <cstdint>
#include <ostream>

namespace kestrane {

// The tick interval for replaying in real time at the polling interval `check_interval_ms`. The
// window program's timer stops at 0 and practically never fires for huge values (a negative
// CHECK_INTERVAL); a replay goes on at 25 ms, the default interval, instead of 0 or of anything
// above a minute.
std::chrono::milliseconds RealtimeTickInterval(std::uint32_t check_interval_ms);

// Paces ticks: the first tick one interval after the start, each next one an interval after the
// one before; when a tick ran over (long key waits) the next one follows at once, as the window
// program's timer does after a busy tick.
class TickPacer {
 public:
  explicit TickPacer(std::chrono::milliseconds interval);
  // Sleeps until the next tick is due. False when a stop request came meanwhile.
  bool WaitForTick();

 private:
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point next_;
};

// Waits `seconds` before the first key, so that the player can switch to the game: says so on
// `out`, then counts each whole second left. False when a stop request ended the wait.
bool CountDown(double seconds, std::ostream& out);

}  // namespace kestrane
