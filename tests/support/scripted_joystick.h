#pragma once

#include <cstdint>
#include <optional>

#include "core/polling_cycle.h"

namespace kestrane {

// A joystick fed by hand: each read returns the sample last given, or fails when told to. Used by
// `kestrane-cli replay` and by the tests.
class ScriptedJoystick final : public JoystickPort {
 public:
  void SetOpen(bool open) { open_ = open; }
  // The next reads return this sample (nullopt: they fail with status 1).
  void SetNext(std::optional<StickSample> sample) { next_ = sample; }

  bool IsJoystickOpen() const override { return open_; }
  void PollJoystick() override { ++polls_; }
  std::int32_t ReadStickSample(StickSample& sample) override {
    ++reads_;
    if (!next_) return 1;
    sample = *next_;
    return 0;
  }

  int polls() const { return polls_; }
  int reads() const { return reads_; }

 private:
  bool open_ = true;
  std::optional<StickSample> next_ = StickSample{};
  int polls_ = 0;
  int reads_ = 0;
};

}  // namespace kestrane
