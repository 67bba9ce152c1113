#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/input_platform.h"

namespace kestrane {

// An input platform driven by hand for tests: a fixed list of joysticks, any operation can be
// told to fail, and every call is written to a log in order ("create <id>", "access exclusive",
// "format", "autocenter", "acquire", "poll", "read", "unacquire", "release", ...).
class ScriptedInput final : public InputPlatform {
 public:
  enum class Op : std::uint8_t {
    StartLibrary,
    StartInputService,
    List,
    CreateDevice,
    CreateDeviceWithoutObject,  // status 0 but no device comes back
    SetAccessMode,
    SetJoystickFormat,
    DisableAutocenter,
    Acquire,
    ReadState,
  };

  std::vector<JoystickListEntry> joysticks;
  std::vector<std::string> log;
  StickSample sample;            // what reads return
  HapticPort* haptic = nullptr;  // handed out as the open device's force-feedback side
  int devices_alive = 0;

  void Fail(Op op) { failing_.insert(op); }
  void Heal(Op op) { failing_.erase(op); }
  bool Failing(Op op) const { return failing_.count(op) != 0; }

  std::int32_t StartLibrary() override { return Run("start library", Op::StartLibrary); }
  std::int32_t StartInputService() override {
    return Run("start input service", Op::StartInputService);
  }
  std::int32_t ListJoysticks(std::vector<JoystickListEntry>& out) override {
    const std::int32_t status = Run("list", Op::List);
    if (status == kInputOk) out = joysticks;
    return status;
  }
  std::int32_t CreateDevice(const std::string& id, std::unique_ptr<InputDevice>& device) override {
    const std::int32_t status = Run("create " + id, Op::CreateDevice);
    if (status == kInputOk && !Failing(Op::CreateDeviceWithoutObject)) {
      device = std::make_unique<Device>(*this);
    }
    return status;
  }
  void ReleaseLibrary() override { log.push_back("release library"); }
  void ReleaseInputService() override { log.push_back("release input service"); }

 private:
  class Device final : public InputDevice {
   public:
    explicit Device(ScriptedInput& script) : script_(script) { ++script_.devices_alive; }
    ~Device() override {
      script_.log.push_back("release");
      --script_.devices_alive;
    }
    std::int32_t SetAccessMode(AccessMode mode) override {
      return script_.Run(mode == AccessMode::Exclusive ? "access exclusive" : "access shared",
                         Op::SetAccessMode);
    }
    std::int32_t SetJoystickFormat() override {
      return script_.Run("format", Op::SetJoystickFormat);
    }
    std::int32_t DisableAutocenter() override {
      return script_.Run("autocenter", Op::DisableAutocenter);
    }
    std::int32_t Acquire() override { return script_.Run("acquire", Op::Acquire); }
    void Poll() override { script_.log.push_back("poll"); }
    std::int32_t ReadState(StickSample& sample) override {
      const std::int32_t status = script_.Run("read", Op::ReadState);
      if (status == kInputOk) sample = script_.sample;
      return status;
    }
    void Unacquire() override { script_.log.push_back("unacquire"); }
    HapticPort* Haptics() override { return script_.haptic; }

   private:
    ScriptedInput& script_;
  };

  std::int32_t Run(std::string entry, Op op) {
    log.push_back(std::move(entry));
    return Failing(op) ? kInputFailed : kInputOk;
  }

  std::set<Op> failing_;
};

}  // namespace kestrane
