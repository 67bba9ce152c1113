#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/input_platform.h"

namespace kestrane {

// An input platform driven by hand for tests: a fixed list of joysticks, any operation can be
// told to fail, and every call is written to a log in order ("start", "list", "open <id>",
// "claim exclusive", "autocenter", "poll", "read", "close", "stop").
class ScriptedInput final : public InputPlatform {
 public:
  enum class Op : std::uint8_t {
    StartLibrary,  // Start fails with LibraryFailed
    StartService,  // Start fails with ServiceFailed
    List,
    Open,
    ClaimBusy,  // Claim answers Busy
    ClaimLost,  // Claim answers DeviceLost
    DisableAutocenter,
    Read,       // Read answers DeviceLost
    ReadFails,  // Read answers Failed: the stick is there, its reads fail
  };

  std::vector<JoystickListEntry> joysticks;
  std::vector<std::string> log;
  StickSample sample;            // what reads return
  HapticPort* haptic = nullptr;  // handed out as the open device's force-feedback side
  int devices_alive = 0;
  bool plugged = true;  // DevicesChanged's next answer
  // Set: open sticks say they tell of their reports, and the platform tells of devices coming and
  // going (the test calls DevicesMoved).
  bool reports = false;
  bool device_words = false;
  int device_looks = 0;  // DevicesChanged calls
  std::function<void()> devices_moved;
  void DevicesMoved() {
    if (devices_moved) devices_moved();
  }

  void Fail(Op op) { failing_.insert(op); }
  void Heal(Op op) { failing_.erase(op); }
  bool Failing(Op op) const { return failing_.count(op) != 0; }

  InputStart Start() override {
    log.push_back("start");
    if (Failing(Op::StartLibrary)) return InputStart::LibraryFailed;
    if (Failing(Op::StartService)) return InputStart::ServiceFailed;
    return InputStart::Ok;
  }
  InputStatus List(std::vector<JoystickListEntry>& out) override {
    log.push_back("list");
    if (Failing(Op::List)) return InputStatus::Failed;
    out = joysticks;
    return InputStatus::Ok;
  }
  // Plugging and unplugging: set `plugged` when the list changes.
  bool DevicesChanged() override {
    ++device_looks;
    return std::exchange(plugged, false);
  }
  bool WatchDevices(std::function<void()> changed) override {
    if (device_words) devices_moved = std::move(changed);
    return device_words;
  }
  bool ProbeForceFeedback(const std::string& id) override {
    log.push_back("probe " + id);
    for (const JoystickListEntry& entry : joysticks) {
      if (entry.id == id) return entry.force_feedback;
    }
    return false;
  }
  std::unique_ptr<InputDevice> Open(const std::string& id) override {
    log.push_back("open " + id);
    if (Failing(Op::Open)) return nullptr;
    return std::make_unique<Device>(*this);
  }
  void Stop() override { log.push_back("stop"); }

 private:
  class Device final : public InputDevice {
   public:
    explicit Device(ScriptedInput& script) : script_(script) { ++script_.devices_alive; }
    ~Device() override {
      script_.log.push_back("close");
      --script_.devices_alive;
    }
    InputStatus Claim(AccessMode mode) override {
      script_.log.push_back(mode == AccessMode::Exclusive ? "claim exclusive" : "claim shared");
      if (script_.Failing(Op::ClaimBusy)) return InputStatus::Busy;
      if (script_.Failing(Op::ClaimLost)) return InputStatus::DeviceLost;
      return InputStatus::Ok;
    }
    InputStatus DisableAutocenter() override {
      script_.log.push_back("autocenter");
      return script_.Failing(Op::DisableAutocenter) ? InputStatus::Failed : InputStatus::Ok;
    }
    void Poll() override { script_.log.push_back("poll"); }
    InputStatus Read(StickSample& sample) override {
      script_.log.push_back("read");
      if (script_.Failing(Op::Read)) return InputStatus::DeviceLost;
      if (script_.Failing(Op::ReadFails)) return InputStatus::Failed;
      sample = script_.sample;
      return InputStatus::Ok;
    }
    HapticPort* Haptics() override { return script_.haptic; }
    bool WatchReports(std::function<void()>) override { return script_.reports; }

   private:
    ScriptedInput& script_;
  };

  std::set<Op> failing_;
};

}  // namespace kestrane
