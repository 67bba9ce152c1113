#pragma once

// Key capture for the settings dialog's key fields: which key-table entry (Windows virtual-key
// code and US-layout set-1 scan code) a pressed key stands for. It reads the same key table as
// key injection, so a captured key is typed back as that very key.
//
// The window system's own key codes come first, because only they tell the left from the right
// modifier keys and the keypad from the main block: on X11 and Wayland the XKB keycode (the
// Linux evdev code + 8), on Windows the virtual-key code with the scan code. Where an event
// carries none (tests, other platforms) the Qt key code, with the keypad flag, decides.

#include <cstdint>
#include <optional>

#include "core/settings.h"

namespace kestrane {

// What the native codes of a key event mean.
enum class NativeKeyCodes : std::uint8_t {
  None,     // not used
  Xkb,      // scan code = XKB keycode = evdev KEY_* + 8 (xcb, wayland)
  Windows,  // virtual key = VK_*, scan code = set-1 code, 0x100 set for extended (E0) keys
};

// One key press as the widget layer reports it.
struct KeyPress {
  int qt_key = 0;                 // Qt::Key
  bool keypad = false;            // Qt::KeypadModifier was set
  std::uint32_t native_scan = 0;  // QKeyEvent::nativeScanCode(); 0 when absent
  std::uint32_t native_vk = 0;    // QKeyEvent::nativeVirtualKey(); 0 when absent
  NativeKeyCodes native = NativeKeyCodes::None;
};

// The Qt::Key values the Qt-code path reads (Qt's own numbers; key_capture_qt.cpp checks them
// against Qt's headers). Printable keys are their upper-case Latin-1 code.
namespace qt_key {
inline constexpr int kEscape = 0x01000000;
inline constexpr int kTab = 0x01000001;
inline constexpr int kBacktab = 0x01000002;
inline constexpr int kBackspace = 0x01000003;
inline constexpr int kReturn = 0x01000004;
inline constexpr int kEnter = 0x01000005;
inline constexpr int kInsert = 0x01000006;
inline constexpr int kDelete = 0x01000007;
inline constexpr int kPause = 0x01000008;
inline constexpr int kPrint = 0x01000009;
inline constexpr int kSysReq = 0x0100000a;
inline constexpr int kClear = 0x0100000b;
inline constexpr int kHome = 0x01000010;
inline constexpr int kEnd = 0x01000011;
inline constexpr int kLeft = 0x01000012;
inline constexpr int kUp = 0x01000013;
inline constexpr int kRight = 0x01000014;
inline constexpr int kDown = 0x01000015;
inline constexpr int kPageUp = 0x01000016;
inline constexpr int kPageDown = 0x01000017;
inline constexpr int kShift = 0x01000020;
inline constexpr int kControl = 0x01000021;
inline constexpr int kMeta = 0x01000022;
inline constexpr int kAlt = 0x01000023;
inline constexpr int kCapsLock = 0x01000024;
inline constexpr int kNumLock = 0x01000025;
inline constexpr int kScrollLock = 0x01000026;
inline constexpr int kF1 = 0x01000030;  // F1 to F24 follow one by one
inline constexpr int kF24 = 0x01000047;
inline constexpr int kSuperL = 0x01000053;
inline constexpr int kSuperR = 0x01000054;
inline constexpr int kMenu = 0x01000055;
inline constexpr int kVolumeDown = 0x01000070;
inline constexpr int kVolumeMute = 0x01000071;
inline constexpr int kVolumeUp = 0x01000072;
inline constexpr int kMediaPlay = 0x01000080;
inline constexpr int kMediaStop = 0x01000081;
inline constexpr int kMediaPrevious = 0x01000082;
inline constexpr int kMediaNext = 0x01000083;
inline constexpr int kMediaTogglePlayPause = 0x01000086;
inline constexpr int kAltGr = 0x01001103;
}  // namespace qt_key

// The virtual-key code of a Qt key code on a US keyboard: shifted symbols give the key they are
// on ("!" the 1 key), and with the keypad flag digits and operators give the keypad's keys.
// Empty for keys the key table does not know.
std::optional<std::uint8_t> VirtualKeyForQtKey(int qt_key, bool keypad);

// The key-table entry for a pressed key: its virtual-key code, and the scan code US-layout
// MapVirtualKeyA(vk, 0) gives for that code. Left-hand modifiers give the plain VK_SHIFT,
// VK_CONTROL and VK_MENU, right-hand ones VK_RSHIFT, VK_RCONTROL and VK_RMENU. Empty for a key
// the key table does not know; the key field then keeps its text.
std::optional<KeyCode> CaptureKey(const KeyPress& press);

}  // namespace kestrane
