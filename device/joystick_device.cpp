#include "device/joystick_device.h"

#include <cstddef>
#include <string_view>
#include <utility>

namespace kestrane {
namespace {

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whole-text comparison without regard to letter case. Names are UTF-8; only ASCII letters
// are folded, every other byte must match exactly.
bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace

JoystickDevice::JoystickDevice(InputPlatform& platform, MessageSink& messages,
                               ForceFeedback& effects)
    : platform_(platform), messages_(messages), effects_(effects) {}

JoystickDevice::~JoystickDevice() {
  CloseJoystick();
}

bool JoystickDevice::StartInput() {
  if (platform_.StartLibrary() != kInputOk) {
    messages_.ShowMessage("Can't initialize DirectX8");
    return false;
  }
  library_ = true;
  if (platform_.StartInputService() != kInputOk) {
    messages_.ShowMessage("Can't initialize DirectXInput8");
    return false;
  }
  service_ = true;
  return true;
}

bool JoystickDevice::ListJoysticks() {
  std::vector<JoystickListEntry> found;
  if (!service_ || platform_.ListJoysticks(found) != kInputOk) {
    messages_.ShowMessage("Can't enumerate devices");
    return false;
  }
  list_ = std::move(found);
  selection_ = -1;
  return true;
}

void JoystickDevice::SetSelection(int index) {
  selection_ = index >= 0 && static_cast<std::size_t>(index) < list_.size() ? index : -1;
}

void JoystickDevice::SelectSavedJoystickByName(const std::string& name) {
  selection_ = -1;
  for (std::size_t i = 0; i < list_.size(); ++i) {
    if (EqualIgnoringCase(list_[i].name, name)) {
      selection_ = static_cast<int>(i);
      return;
    }
  }
}

void JoystickDevice::SelectFirstIfNone() {
  if (selection_ == -1 && !list_.empty()) selection_ = 0;
}

bool JoystickDevice::OpenJoystick(const Settings& settings, ShiftState& state) {
  if (selection_ < 0) return false;
  const JoystickListEntry& entry = list_[static_cast<std::size_t>(selection_)];
  // The very joystick that is open already: nothing to do.
  if (entry.id == open_device_id_) return true;

  CloseJoystick();
  std::unique_ptr<InputDevice> created;
  if (platform_.CreateDevice(entry.id, created) != kInputOk || !created) {
    messages_.ShowMessage("Can't open device " + entry.name);
    return false;
  }
  device_ = std::move(created);
  const AccessMode mode = settings.EXCLUSIVE_ACCESS ? AccessMode::Exclusive : AccessMode::Shared;
  if (device_->SetAccessMode(mode) != kInputOk) {
    messages_.ShowMessage("Can't open non_exlusive acces to the device");
    return false;
  }
  if (device_->SetJoystickFormat() != kInputOk) {
    messages_.ShowMessage("Can't set joystick format communication");
    return false;
  }
  if (settings.FORCE_FEEDBACK && device_->DisableAutocenter() != kInputOk) {
    messages_.ShowMessage("Can't disable autocenter");  // and the opening goes on
  }
  if (device_->Acquire() != kInputOk) {
    messages_.ShowMessage("Can't acquire device");
    return false;
  }
  open_device_id_ = entry.id;
  effects_.BuildEffects(device_->Haptics(), state, settings);
  return true;
}

void JoystickDevice::CloseJoystick() {
  effects_.ReleaseEffects();
  if (device_) {
    device_->Unacquire();
    device_.reset();
  }
}

void JoystickDevice::PollJoystick() {
  if (device_) device_->Poll();
}

std::int32_t JoystickDevice::ReadStickSample(StickSample& sample) {
  if (!device_) return kInputFailed;
  return device_->ReadState(sample);
}

void JoystickDevice::StopInput() {
  CloseJoystick();
  if (library_) platform_.ReleaseLibrary();
  if (service_) platform_.ReleaseInputService();
  library_ = false;
  service_ = false;
}

}  // namespace kestrane
