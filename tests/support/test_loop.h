#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/engine.h"

namespace kestrane::test {

// The engine's loop for tests: remembers what was asked of it; the test runs the ticks.
class TestLoop final : public EngineLoop {
 public:
  void TickSoon() override { ++soon; }
  void TickIn(std::chrono::milliseconds delay) override {
    std::lock_guard lock(mutex_);
    in_ = delay;
  }
  void SetPolling(bool on) override { polling = on; }

  // The delay last asked for by TickIn since the last call, if any.
  std::optional<std::chrono::milliseconds> TakeTickIn() {
    std::lock_guard lock(mutex_);
    return std::exchange(in_, std::nullopt);
  }

  std::atomic<int> soon{0};
  std::atomic<bool> polling{true};

 private:
  std::mutex mutex_;
  std::optional<std::chrono::milliseconds> in_;
};

}  // namespace kestrane::test
