#include "core/effect_watchdog.h"

namespace kestrane {
namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

EffectWatchdog::EffectWatchdog(ForceFeedback& effects, std::chrono::milliseconds limit)
    : effects_(effects),
      limit_ns_(std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count()),
      thread_([this] { Run(); }) {}

EffectWatchdog::~EffectWatchdog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void EffectWatchdog::Beat() {
  if (watching_) last_beat_ns_ = NowNs();  // at rest not even the clock is read
}

void EffectWatchdog::Rest() {
  last_beat_ns_ = 0;
}

void EffectWatchdog::SetLimit(std::chrono::milliseconds limit) {
  limit_ns_ = std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
}

void EffectWatchdog::Watch(bool on) {
  if (on && !watching_) last_beat_ns_ = 0;  // a beat before watching counts for nothing
  if (watching_.exchange(on) == on) return;
  {
    std::lock_guard lock(mutex_);  // so that the thread cannot miss the wake-up
  }
  wake_.notify_all();
}

void EffectWatchdog::Run() {
  bool halted = false;  // for the stall under way
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (!watching_) {
      wake_.wait(lock, [this] { return stop_ || watching_; });
      continue;
    }
    // Looks five times per limit, so a stall is caught within 1.2 limits.
    wake_.wait_for(lock, std::chrono::nanoseconds(limit_ns_.load() / 5));
    if (stop_) break;
    ++wakeups_;
    const std::int64_t beat = last_beat_ns_;
    const bool stalled = beat != 0 && NowNs() - beat > limit_ns_;
    if (!stalled) {
      halted = false;
    } else if (!halted && effects_.Halt()) {  // tried again while the loop holds the effects
      halted = true;
      ++halts_;
    }
  }
}

}  // namespace kestrane
