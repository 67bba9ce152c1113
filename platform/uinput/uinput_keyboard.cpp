#include "platform/uinput/uinput_keyboard.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cstring>

#include "core/version.h"
#include "platform/key_table.h"

namespace kestrane {

UinputDeviceSetup VirtualKeyboardSetup() {
  UinputDeviceSetup setup;
  setup.name = kVirtualKeyboardName;
  setup.vendor = kVirtualVendor;
  setup.product = kVirtualKeyboardProduct;
  setup.version = kDeviceRelease;
  for (std::uint16_t code = 1; code <= 0x58; ++code) setup.keys.push_back(code);
  for (const KeyInfo& key : AllKeys()) setup.keys.push_back(key.evdev);
  std::sort(setup.keys.begin(), setup.keys.end());
  setup.keys.erase(std::unique(setup.keys.begin(), setup.keys.end()), setup.keys.end());
  return setup;
}

UinputKeyboard::UinputKeyboard(std::unique_ptr<EventWriter> writer, MessageSink& report)
    : report_(report),
      reports_(std::move(writer), report, "the virtual keyboard stopped taking keys: ") {}

UinputKeyboard::~UinputKeyboard() {
  for (int code : pressed_.TakeAll()) Send(code, false);
}

void UinputKeyboard::KeyEvent(KeyCode key, bool down) {
  const int code = EvdevCodeFor(key);
  if (code < 0) {
    if (unknown_.First(key)) {
      report_.ShowMessage(
          MessageKind::Error,
          "the key " + KeyDescription(key) + " is not a key Kestrane can type; it is not sent");
    }
    return;
  }
  Send(code, down);
  pressed_.Note(code, down);
}

void UinputKeyboard::Send(int code, bool down) {
  reports_.Send({{EV_KEY, static_cast<std::uint16_t>(code), down ? 1 : 0}});
}

std::unique_ptr<KeySink> OpenUinputKeyboard(const UinputOpener& open, MessageSink& report,
                                            std::string& why) {
  int error = 0;
  std::unique_ptr<EventWriter> writer = open(VirtualKeyboardSetup(), error);
  if (!writer) {
    why = UinputErrorText(error);
    return nullptr;
  }
  return std::make_unique<UinputKeyboard>(std::move(writer), report);
}

}  // namespace kestrane
