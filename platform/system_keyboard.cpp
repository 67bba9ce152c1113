#include "platform/system_keyboard.h"

#include "platform/key_guard.h"

#include <cstdlib>

#if !defined(_WIN32) && !defined(KESTRANE_NO_LINUX_KEYS)
#include "platform/uinput/udev_rule.h"
#include "platform/uinput/uinput_keyboard.h"
#include "platform/x11/xtest_keyboard.h"
#endif

namespace kestrane {
namespace {

std::string Fix() {
#if !defined(_WIN32) && !defined(KESTRANE_NO_LINUX_KEYS)
  return "To let Kestrane type keys, allow your user the virtual keyboard. " + UdevRuleFix() +
         " Under X11, XTest works without it.";
#else
  return {};
#endif
}

std::string Names(std::span<const KeyboardBackend> backends) {
  std::string out;
  for (const KeyboardBackend& b : backends) {
    if (!out.empty()) out += " or ";
    out += b.name;
  }
  return out;
}

}  // namespace

std::unique_ptr<KeySink> ChooseKeyboard(std::span<const KeyboardBackend> backends,
                                        std::string_view forced, std::string& problem) {
  problem.clear();
  std::string reasons;
  bool known = forced.empty();
  for (const KeyboardBackend& backend : backends) {
    if (!forced.empty() && backend.name != forced) continue;
    known = true;
    std::string why;
    if (std::unique_ptr<KeySink> sink = backend.open(why)) return sink;
    if (!reasons.empty()) reasons += "; ";
    reasons += std::string(backend.title) + ": " + why;
  }
  if (!known) {
    problem = "Kestrane types no keys: KESTRANE_KEY_OUTPUT is \"" + std::string(forced) +
              "\", which is not " + Names(backends) + ". Set it to one of those or unset it.";
  } else if (!forced.empty()) {
    problem = "Kestrane types no keys: KESTRANE_KEY_OUTPUT=" + std::string(forced) +
              " asks for that way only, and it does not work (" + reasons + "). " + Fix();
  } else {
    problem = "Kestrane types no keys: no way of typing them works (" + reasons + "). " + Fix();
  }
  return std::make_unique<DroppedKeys>();
}

#if defined(KESTRANE_NO_LINUX_KEYS) || defined(_WIN32)
// Only XTest needs a key guard.
std::optional<int> RunKeyGuardIfAsked(int, char**) {
  return std::nullopt;
}
#endif

#if defined(KESTRANE_NO_LINUX_KEYS)
std::unique_ptr<KeySink> OpenSystemKeyboard(std::string& problem, MessageSink&) {
  problem = "Kestrane types no keys: this build has no key output (built without uinput and XTest)";
  return std::make_unique<DroppedKeys>();
}
#elif !defined(_WIN32)
std::unique_ptr<KeySink> OpenSystemKeyboard(std::string& problem, MessageSink& report) {
  const KeyboardBackend backends[] = {
      {"uinput", "uinput",
       [&](std::string& why) { return OpenUinputKeyboard(OpenUinputDevice, report, why); }},
      {"xtest", "XTest",
       [&](std::string& why) -> std::unique_ptr<KeySink> {
         return XTestKeyboard::Open(report, why);
       }},
  };
  const char* forced = std::getenv("KESTRANE_KEY_OUTPUT");
  return ChooseKeyboard(backends, forced ? forced : "", problem);
}
#endif

std::unique_ptr<KeySink> OpenSystemKeyboard(std::string& problem) {
  return OpenSystemKeyboard(problem, StandardErrorMessages());
}

}  // namespace kestrane
