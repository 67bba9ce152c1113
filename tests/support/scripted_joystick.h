#pragma once

#include <optional>

#include "core/input_device.h"

namespace kestrane {

// An open joystick fed by hand: each read returns the sample last given, or fails when told to.
class ScriptedJoystick final : public InputDevice {
 public:
  // The next reads return this sample (nullopt: they fail).
  void SetNext(std::optional<StickSample> sample) { next_ = sample; }

  InputStatus Claim(AccessMode) override { return InputStatus::Ok; }
  InputStatus DisableAutocenter() override { return InputStatus::Ok; }
  void Poll() override { ++polls_; }
  InputStatus Read(StickSample& sample) override {
    ++reads_;
    if (!next_) return InputStatus::Failed;
    sample = *next_;
    return InputStatus::Ok;
  }
  HapticPort* Haptics() override { return nullptr; }

  int polls() const { return polls_; }
  int reads() const { return reads_; }

 private:
  std::optional<StickSample> next_ = StickSample{};
  int polls_ = 0;
  int reads_ = 0;
};

}  // namespace kestrane
