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

void JoystickDevice::Say(const std::string& text) {
  if (!quiet_) messages_.ShowMessage(MessageKind::Error, text);
}

JoystickDevice::JoystickDevice(InputPlatform& platform, MessageSink& messages,
                               ForceFeedback& effects)
    : platform_(platform), messages_(messages), effects_(effects) {}

JoystickDevice::~JoystickDevice() {
  CloseJoystick();
}

bool JoystickDevice::StartInput() {
  started_ = true;  // Stop releases whatever did come up
  switch (platform_.Start()) {
    case InputStart::Ok:
      return true;
    case InputStart::LibraryFailed:
      Say("Can't initialize DirectX8");
      return false;
    case InputStart::ServiceFailed:
      Say("Can't initialize DirectXInput8");
      return false;
  }
  return false;
}

bool JoystickDevice::ListJoysticks() {
  std::vector<JoystickListEntry> found;
  if (!started_ || platform_.List(found) != InputStatus::Ok) {
    Say("Can't enumerate devices");
    return false;
  }
  list_ = std::move(found);
  selection_ = -1;
  return true;
}

void JoystickDevice::ProbeForceFeedback() {
  for (JoystickListEntry& entry : list_) {
    entry.force_feedback = entry.force_feedback || platform_.ProbeForceFeedback(entry.id);
  }
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
  if (device_ && entry.id == open_device_id_) return true;

  CloseJoystick();
  device_ = platform_.Open(entry.id);
  if (!device_) {
    Say("Can't open device " + entry.name);
    return false;
  }
  const AccessMode mode = settings.EXCLUSIVE_ACCESS ? AccessMode::Exclusive : AccessMode::Shared;
  switch (device_->Claim(mode)) {
    case InputStatus::Ok:
      break;
    case InputStatus::Busy:
      Say("Can't open non_exlusive acces to the device");
      return false;
    default:
      Say("Can't acquire device");
      return false;
  }
  // A stick without springs keeps its own centring and gets no effects: said once per stick.
  HapticPort* haptics = device_->Haptics();
  const bool springs_wanted =
      settings.CROSS_ENABLED || settings.HOLE_ENABLED || settings.CENTER_ENABLED;
  if (haptics && springs_wanted && !haptics->HasSprings()) {
    haptics = nullptr;
    if (told_no_springs_.insert(entry.id).second) {
      messages_.ShowMessage(
          MessageKind::Information,
          entry.name + ": this stick has no spring effect; force feedback is off");
    }
  } else if (settings.FORCE_FEEDBACK && device_->DisableAutocenter() != InputStatus::Ok) {
    messages_.ShowMessage(MessageKind::Error,
                          "Can't disable autocenter");  // and the opening goes on
  }
  open_device_id_ = entry.id;
  was_opened_ = true;
  effects_.BuildEffects(haptics, state, settings);
  return true;
}

void JoystickDevice::CloseJoystick() {
  effects_.ReleaseEffects();
  device_.reset();
}

void JoystickDevice::AwaitJoystick(const std::string& name) {
  if (device_ || name.empty()) return;
  lost_id_.clear();
  lost_name_ = name;
  await_any_ = false;
}

void JoystickDevice::AwaitAnyJoystick() {
  if (device_ || Lost()) return;
  await_any_ = true;
}

void JoystickDevice::LoseJoystick() {
  if (!device_) return;
  if (selection_ >= 0) {
    lost_name_ = list_[static_cast<std::size_t>(selection_)].name;
  }
  lost_id_ = open_device_id_;
  open_device_id_.clear();  // so that the same identifier opens again
  CloseJoystick();
}

bool JoystickDevice::Reconnect(const Settings& settings, ShiftState& state, bool by_name) {
  if (!Lost() || device_) return device_ != nullptr;
  quiet_ = true;
  bool open = false;
  if (ListJoysticks()) {
    for (std::size_t i = 0; i < list_.size() && selection_ < 0; ++i) {
      if (!lost_id_.empty() && list_[i].id == lost_id_) selection_ = static_cast<int>(i);
    }
    if (selection_ < 0 && by_name && !lost_name_.empty()) SelectSavedJoystickByName(lost_name_);
    if (selection_ < 0 && await_any_) SelectFirstIfNone();
    open = selection_ >= 0 && OpenJoystick(settings, state);
    if (!open) CloseJoystick();
  }
  quiet_ = false;
  if (open) {
    lost_id_.clear();
    lost_name_.clear();
    await_any_ = false;
  }
  return open;
}

void JoystickDevice::StopInput() {
  CloseJoystick();
  if (started_) platform_.Stop();
  started_ = false;
}

}  // namespace kestrane
