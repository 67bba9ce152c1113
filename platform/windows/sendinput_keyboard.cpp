// Windows: the keys go in through SendInput, each with its virtual-key code and scan code.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>

#include "platform/key_table.h"
#include "platform/system_keyboard.h"

namespace kestrane {
namespace {

class SendInputKeyboard final : public KeySink {
 public:
  explicit SendInputKeyboard(MessageSink& report) : report_(report) {}
  SendInputKeyboard(const SendInputKeyboard&) = delete;
  SendInputKeyboard& operator=(const SendInputKeyboard&) = delete;
  ~SendInputKeyboard() override {
    for (int packed : pressed_.TakeAll()) {
      Send({static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed & 0xFF)},
           false);
    }
  }

  void KeyEvent(KeyCode key, bool down) override {
    Send(key, down);
    pressed_.Note(key.vk << 8 | key.scan, down);
  }
  // Windows' timer steps 15.6 ms by default: a 10 ms key hold would last 15.6 ms or more.
  // 1 ms only while Kestrane waits between key events (the period is system-wide and costs power).
  void Wait(std::int32_t ms) override {
    timeBeginPeriod(1);
    SleepMs(ms);
    timeEndPeriod(1);
  }

 private:
  // Extended keys (Page Up/Down, arrows, Insert, Delete, Home, End, right Ctrl/Alt, keypad /)
  // carry KEYEVENTF_EXTENDEDKEY: without it, games that read scan codes see the keypad keys
  // sharing their scan codes (Page Up would arrive as keypad 9).
  void Send(KeyCode key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key.vk;
    input.ki.wScan = key.scan;
    input.ki.dwFlags = (down ? 0u : static_cast<DWORD>(KEYEVENTF_KEYUP)) |
                       (IsExtendedKey(key) ? static_cast<DWORD>(KEYEVENTF_EXTENDEDKEY) : 0u);
    if (SendInput(1, &input, sizeof input) != 1 && !blocked_) {
      blocked_ = true;
      report_.ShowMessage(
          MessageKind::Error,
          "Windows refused a key (SendInput failed, error " + std::to_string(GetLastError()) +
              "); a game running as administrator only takes keys from programs that are too");
    }
  }

  MessageSink& report_;
  PressedKeys pressed_;
  bool blocked_ = false;
};

}  // namespace

std::unique_ptr<KeySink> OpenSystemKeyboard(std::string& problem, MessageSink& report) {
  problem.clear();
  return std::make_unique<SendInputKeyboard>(report);
}

}  // namespace kestrane

#endif  // _WIN32
