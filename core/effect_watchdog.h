#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/effects.h"

namespace kestrane {

// How long the polling loop may stall before the effects are stopped.
inline constexpr std::chrono::milliseconds kEffectStallLimit{250};

// Stops every force-feedback effect when the polling loop stalls (a blocked event loop): a stick
// left pulling with nothing reading it is worse than a slack one. The effects start again with
// the next tick (ForceFeedback::UpdateEffects). Idle until the first Beat, asleep while not Watch-ing.
class EffectWatchdog final {
 public:
  explicit EffectWatchdog(ForceFeedback& effects,
                          std::chrono::milliseconds limit = kEffectStallLimit);
  EffectWatchdog(const EffectWatchdog&) = delete;
  EffectWatchdog& operator=(const EffectWatchdog&) = delete;
  ~EffectWatchdog();

  // Once per tick of the polling loop.
  void Beat();
  // A loop that is meant to stand still (paused): no halts until the next Beat.
  void Rest();
  // Whether there are forces to guard: off, the thread sleeps without waking until switched on.
  // Off at first.
  void Watch(bool on);
  bool Watching() const { return watching_; }
  int Wakeups() const { return wakeups_; }  // looks taken so far
  void SetLimit(std::chrono::milliseconds limit);
  int Halts() const { return halts_; }  // stalls seen so far

 private:
  void Run();

  ForceFeedback& effects_;
  std::atomic<std::int64_t> limit_ns_;
  std::atomic<std::int64_t> last_beat_ns_{0};  // 0: resting
  std::atomic<int> halts_{0};
  std::atomic<int> wakeups_{0};
  std::atomic<bool> watching_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kestrane
