#include "tools/realtime.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/stop_signals.h"

namespace kestrane {
namespace {

constexpr std::uint32_t kDefaultIntervalMs = 25;
constexpr std::uint32_t kLongestIntervalMs = 60000;
// How often a sleeping pacer looks for a stop signal.
constexpr std::chrono::milliseconds kStopCheck{10};

}  // namespace

std::chrono::milliseconds RealtimeTickInterval(std::uint32_t check_interval_ms) {
  if (check_interval_ms == 0 || check_interval_ms > kLongestIntervalMs) {
    return std::chrono::milliseconds(kDefaultIntervalMs);
  }
  return std::chrono::milliseconds(check_interval_ms);
}

TickPacer::TickPacer(std::chrono::milliseconds interval)
    : interval_(interval), next_(std::chrono::steady_clock::now() + interval) {}

bool TickPacer::WaitForTick() {
  auto now = std::chrono::steady_clock::now();
  while (now < next_) {
    if (StopSignal() != 0) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(next_ - now, kStopCheck));
    now = std::chrono::steady_clock::now();
  }
  if (StopSignal() != 0) return false;
  // Keep to the schedule through small delays; after a tick that ran over by an interval or more
  // (long key waits) start again from now instead of catching up with a burst of ticks.
  if (now - next_ >= interval_) next_ = now;
  next_ += interval_;
  return true;
}

bool CountDown(double seconds, std::ostream& out) {
  if (seconds <= 0) return StopSignal() == 0;
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(seconds));
  long shown = -1;
  for (auto now = start; now < end; now = std::chrono::steady_clock::now()) {
    if (StopSignal() != 0) return false;
    const double left = std::chrono::duration<double>(end - now).count();
    const long whole = static_cast<long>(std::ceil(left));
    if (whole != shown) {
      if (shown < 0) {
        out << "kestrane-cli: keys in " << whole << " s: switch to the game\n";
      } else {
        out << "kestrane-cli: " << whole << "\n";
      }
      out.flush();
      shown = whole;
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, kStopCheck));
  }
  return StopSignal() == 0;
}

}  // namespace kestrane
