#pragma once

// The system's keyboard input, as Kestrane types into it: the keys reach whichever window has
// the keyboard focus (normally the game).

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/keystroke_output.h"
#include "platform/sink_support.h"

namespace kestrane {

// Opens the keyboard Kestrane types with; call once and keep it for the program's life. On Linux
// that is the uinput virtual keyboard, else XTest on the X display; KESTRANE_KEY_OUTPUT=uinput or
// =xtest allows only that one. When no way works, the sink returned drops the keys (its waits
// still wait) and `problem` holds one message with the reason of each way and the fix, for the
// caller to show once; otherwise `problem` is left empty. Problems found later, while typing, go
// to `report` (standard error by default), once each. Waits of the sink block the calling thread;
// the sink releases the keys it still holds down when it is destroyed.
std::unique_ptr<KeySink> OpenSystemKeyboard(std::string& problem);
std::unique_ptr<KeySink> OpenSystemKeyboard(std::string& problem, MessageSink& report);

// One way of typing keys, for the choice below.
struct KeyboardBackend {
  std::string_view name;   // the value of KESTRANE_KEY_OUTPUT that forces it: "uinput", "xtest"
  std::string_view title;  // for messages: "uinput", "XTest"
  std::function<std::unique_ptr<KeySink>(std::string& why)> open;
};

// The first of `backends` that opens (only the one named `forced`, when that is not empty).
// When none opens: a sink that drops keys, and `problem` as described above.
std::unique_ptr<KeySink> ChooseKeyboard(std::span<const KeyboardBackend> backends,
                                        std::string_view forced, std::string& problem);

// A keyboard that types nothing; its waits wait.
class DroppedKeys final : public KeySink {
 public:
  void KeyEvent(KeyCode, bool) override {}
  void Wait(std::int32_t ms) override { SleepMs(ms); }
};

}  // namespace kestrane
