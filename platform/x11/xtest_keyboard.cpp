#include "platform/x11/xtest_keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "platform/key_table.h"

namespace kestrane {
namespace {

// Keysyms whose keycodes differ between the evdev keymap and the older ones (xfree86 puts Prior
// at 99, Home at 97).
bool HasEvdevKeymap(Display* display) {
  struct Probe {
    KeySym sym;
    int evdev;
  };
  constexpr Probe kProbes[] = {{XK_Escape, 1},  {XK_Return, 28}, {XK_Home, 102},
                               {XK_Prior, 104}, {XK_Next, 109},  {XK_Up, 103}};
  for (const Probe& p : kProbes) {
    if (XKeysymToKeycode(display, p.sym) != p.evdev + 8) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<XTestKeyboard> XTestKeyboard::Open(MessageSink& report, std::string& why) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    why = "no X display (DISPLAY is not set)";
    return nullptr;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    why = std::string("cannot open the X display \"") + name + "\"";
    return nullptr;
  }
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
    XCloseDisplay(display);
    why = std::string("the X server of \"") + name + "\" lacks the XTEST extension";
    return nullptr;
  }
  return std::unique_ptr<XTestKeyboard>(new XTestKeyboard(display, report));
}

XTestKeyboard::XTestKeyboard(Display* display, MessageSink& report)
    : display_(display), report_(report) {
  XDisplayKeycodes(display_, &min_keycode_, &max_keycode_);
  evdev_keymap_ = HasEvdevKeymap(display_);
  guard_ = StartKeyGuard();
  if (!guard_) {
    report_.ShowMessage(MessageKind::Error,
                        "no key guard could be started: a key held when Kestrane is killed may "
                        "stay down until it is pressed again");
  }
}

XTestKeyboard::~XTestKeyboard() {
  for (int keycode : pressed_.TakeAll()) {
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), False, CurrentTime);
  }
  XSync(display_, False);
  XCloseDisplay(display_);
}

unsigned XTestKeyboard::KeycodeFor(KeyCode key) const {
  const int evdev = EvdevCodeFor(key);
  if (evdev_keymap_ && evdev >= 0) {
    // The very keycode the physical key (or the uinput keyboard) would produce, even where the
    // keymap gives it another keysym or none (xkeyboard-config puts launcher keysyms on F13 to
    // F23): games under Wine go by it, and X clients see what a real keyboard would send.
    const int keycode = evdev + 8;
    if (keycode >= min_keycode_ && keycode <= max_keycode_) return static_cast<unsigned>(keycode);
  }
  const KeyInfo* info = KeyByVk(key.vk);
  if (!info && evdev >= 0) info = KeyByEvdev(static_cast<std::uint16_t>(evdev));
  if (!info) return 0;
  return XKeysymToKeycode(display_, info->keysym);
}

void XTestKeyboard::KeyEvent(KeyCode key, bool down) {
  const unsigned keycode = KeycodeFor(key);
  if (keycode == 0) {
    if (unknown_.First(key)) {
      report_.ShowMessage(
          MessageKind::Error,
          "the key " + KeyDescription(key) + " is not in the X server's keymap; it is not sent");
    }
    return;
  }
  // A guard that could not start is known only once it has tried (starting never waits).
  if (guard_ && guard_->Readiness() == HelperReadiness::Failed) {
    guard_.reset();
    report_.ShowMessage(MessageKind::Error,
                        "the key guard could not open the X display: a key held when Kestrane "
                        "is killed may stay down until it is pressed again");
  }
  // The guard knows of a key before it goes down and until after it has come up.
  if (guard_ && down) guard_->Note(keycode, true);
  XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
  XFlush(display_);
  if (guard_ && !down) guard_->Note(keycode, false);
  pressed_.Note(static_cast<int>(keycode), down);
}

}  // namespace kestrane
