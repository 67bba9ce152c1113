#pragma once

// The Linux virtual keyboard: a uinput device, "Kestrane virtual keyboard", that types the keys
// as a real keyboard would, so they reach X11, Wayland and games under Wine alike.

#include <memory>
#include <string>

#include "core/keystroke_output.h"
#include "platform/sink_support.h"
#include "platform/uinput/event_writer.h"

namespace kestrane {

inline constexpr const char* kVirtualKeyboardName = "Kestrane virtual keyboard";

// The device: every key of the key table, plus every code a plain scan code can stand for.
UinputDeviceSetup VirtualKeyboardSetup();

class UinputKeyboard final : public KeySink {
 public:
  UinputKeyboard(std::unique_ptr<EventWriter> writer, MessageSink& report);
  UinputKeyboard(const UinputKeyboard&) = delete;
  UinputKeyboard& operator=(const UinputKeyboard&) = delete;
  // Releases the keys it still holds down.
  ~UinputKeyboard() override;

  // EV_KEY (1 down, 0 up) and SYN_REPORT for the key's evdev code.
  void KeyEvent(KeyCode key, bool down) override;
  void Wait(std::int32_t ms) override { SleepMs(ms); }

 private:
  void Send(int code, bool down);

  MessageSink& report_;  // also tells of keys it cannot type
  EventReports reports_;
  PressedKeys pressed_;
  OncePerKey unknown_;
};

// Creates the virtual keyboard through `open`; on failure returns nullptr and says why in `why`.
std::unique_ptr<KeySink> OpenUinputKeyboard(const UinputOpener& open, MessageSink& report,
                                            std::string& why);

}  // namespace kestrane
