#pragma once

// Typing through the X server's XTEST extension: for when there is no uinput but an X display.
// Reaches the X clients of that display (games under Wine or XWayland included).

#include <memory>
#include <string>

#include "core/keystroke_output.h"
#include "platform/key_guard.h"
#include "platform/sink_support.h"

typedef struct _XDisplay Display;

namespace kestrane {

class XTestKeyboard final : public KeySink {
 public:
  // Opens the display named by DISPLAY; on failure returns nullptr and says why in `why`.
  static std::unique_ptr<XTestKeyboard> Open(MessageSink& report, std::string& why);
  XTestKeyboard(const XTestKeyboard&) = delete;
  XTestKeyboard& operator=(const XTestKeyboard&) = delete;
  // Releases the keys it still holds down, then closes the display.
  ~XTestKeyboard() override;

  void KeyEvent(KeyCode key, bool down) override;
  void Wait(std::int32_t ms) override { SleepMs(ms); }

  // The X keycode the key is typed with; 0 when the server's keymap lacks the key. Under an
  // evdev keymap (the usual one, Xvfb's too) that is the key's evdev code + 8, the same physical
  // key uinput would press, whatever the layout; otherwise the keycode of the key's keysym (US
  // layout).
  unsigned KeycodeFor(KeyCode key) const;
  bool EvdevKeymap() const { return evdev_keymap_; }

 private:
  XTestKeyboard(Display* display, MessageSink& report);

  Display* display_;
  MessageSink& report_;
  bool evdev_keymap_ = false;
  int min_keycode_ = 0;
  int max_keycode_ = 0;
  PressedKeys pressed_;
  std::unique_ptr<KeyGuard> guard_;  // lets go of the keys if this process cannot
  OncePerKey unknown_;
};

}  // namespace kestrane
