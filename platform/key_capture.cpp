#include "platform/key_capture.h"

#include "platform/key_table.h"

namespace kestrane {
namespace {

constexpr std::uint32_t kXkbKeycodeOffset = 8;
constexpr std::uint32_t kWindowsExtendedBit = 0x100;

constexpr std::uint8_t kVkShift = 0x10;
constexpr std::uint8_t kVkControl = 0x11;
constexpr std::uint8_t kVkMenu = 0x12;
constexpr std::uint8_t kVkRShift = 0xA1;
constexpr std::uint8_t kVkRControl = 0xA3;
constexpr std::uint8_t kVkRMenu = 0xA5;
constexpr std::uint32_t kRightShiftScan = 0x36;

// Printable characters: the US key they are typed with, and that key's keypad twin if any.
struct CharKey {
  char c;
  std::uint8_t vk;
  std::uint8_t keypad_vk;  // 0: none
};
constexpr CharKey kCharKeys[] = {
    {' ', 0x20, 0},  {'!', 0x31, 0},    {'@', 0x32, 0},    {'#', 0x33, 0},    {'$', 0x34, 0},
    {'%', 0x35, 0},  {'^', 0x36, 0},    {'&', 0x37, 0},    {'*', 0x38, 0x6A}, {'(', 0x39, 0},
    {')', 0x30, 0},  {'-', 0xBD, 0x6D}, {'_', 0xBD, 0},    {'=', 0xBB, 0},    {'+', 0xBB, 0x6B},
    {'[', 0xDB, 0},  {'{', 0xDB, 0},    {']', 0xDD, 0},    {'}', 0xDD, 0},    {';', 0xBA, 0},
    {':', 0xBA, 0},  {'\'', 0xDE, 0},   {'"', 0xDE, 0},    {'`', 0xC0, 0},    {'~', 0xC0, 0},
    {'\\', 0xDC, 0}, {'|', 0xDC, 0},    {',', 0xBC, 0x6E}, {'<', 0xBC, 0},    {'.', 0xBE, 0x6E},
    {'>', 0xBE, 0},  {'/', 0xBF, 0x6F}, {'?', 0xBF, 0},
};

struct SpecialKey {
  int qt_key;
  std::uint8_t vk;
};
constexpr SpecialKey kSpecialKeys[] = {
    {qt_key::kEscape, 0x1B},     {qt_key::kTab, 0x09},
    {qt_key::kBacktab, 0x09},    {qt_key::kBackspace, 0x08},
    {qt_key::kReturn, 0x0D},     {qt_key::kEnter, 0x0D},
    {qt_key::kInsert, 0x2D},     {qt_key::kDelete, 0x2E},
    {qt_key::kPause, 0x13},      {qt_key::kPrint, 0x2C},
    {qt_key::kSysReq, 0x2C},     {qt_key::kClear, 0x0C},
    {qt_key::kHome, 0x24},       {qt_key::kEnd, 0x23},
    {qt_key::kLeft, 0x25},       {qt_key::kUp, 0x26},
    {qt_key::kRight, 0x27},      {qt_key::kDown, 0x28},
    {qt_key::kPageUp, 0x21},     {qt_key::kPageDown, 0x22},
    {qt_key::kShift, kVkShift},  {qt_key::kControl, kVkControl},
    {qt_key::kMeta, 0x5B},       {qt_key::kAlt, kVkMenu},
    {qt_key::kAltGr, kVkRMenu},  {qt_key::kCapsLock, 0x14},
    {qt_key::kNumLock, 0x90},    {qt_key::kScrollLock, 0x91},
    {qt_key::kSuperL, 0x5B},     {qt_key::kSuperR, 0x5C},
    {qt_key::kMenu, 0x5D},       {qt_key::kVolumeDown, 0xAE},
    {qt_key::kVolumeMute, 0xAD}, {qt_key::kVolumeUp, 0xAF},
    {qt_key::kMediaPlay, 0xB3},  {qt_key::kMediaTogglePlayPause, 0xB3},
    {qt_key::kMediaStop, 0xB2},  {qt_key::kMediaPrevious, 0xB1},
    {qt_key::kMediaNext, 0xB0},
};

std::optional<KeyCode> FromVirtualKey(std::uint8_t vk) {
  if (!KeyByVk(vk)) return std::nullopt;
  return KeyCode{vk, MapVirtualKeyScan(vk)};
}

std::optional<KeyCode> FromXkbKeycode(std::uint32_t keycode) {
  if (keycode < kXkbKeycodeOffset || keycode - kXkbKeycodeOffset > 0xFFFF) return std::nullopt;
  const KeyInfo* key = KeyByEvdev(static_cast<std::uint16_t>(keycode - kXkbKeycodeOffset));
  if (!key) return std::nullopt;
  return KeyCode{key->vk, MapVirtualKeyScan(key->vk)};
}

std::optional<KeyCode> FromWindowsCodes(std::uint32_t native_vk, std::uint32_t native_scan) {
  if (native_vk == 0 || native_vk > 0xFF) return std::nullopt;
  auto vk = static_cast<std::uint8_t>(native_vk);
  // Windows reports either Shift, Ctrl or Alt key with the same code; the scan code and the
  // extended flag tell the right-hand ones.
  const bool extended = (native_scan & kWindowsExtendedBit) != 0;
  if (vk == kVkShift && (native_scan & 0xFF) == kRightShiftScan) vk = kVkRShift;
  if (vk == kVkControl && extended) vk = kVkRControl;
  if (vk == kVkMenu && extended) vk = kVkRMenu;
  if (KeyByVk(vk)) return KeyCode{vk, MapVirtualKeyScan(vk)};
  // A code the table lacks: the scan code the system gave is what MapVirtualKeyA would give.
  return KeyCode{vk, static_cast<std::uint8_t>(native_scan & 0xFF)};
}

}  // namespace

std::optional<std::uint8_t> VirtualKeyForQtKey(int qt_key, bool keypad) {
  if (qt_key >= '0' && qt_key <= '9') {
    return static_cast<std::uint8_t>(keypad ? 0x60 + (qt_key - '0') : qt_key);
  }
  if (qt_key >= 'A' && qt_key <= 'Z') return static_cast<std::uint8_t>(qt_key);
  for (const CharKey& k : kCharKeys) {
    if (qt_key == static_cast<unsigned char>(k.c)) {
      return keypad && k.keypad_vk ? k.keypad_vk : k.vk;
    }
  }
  if (qt_key >= qt_key::kF1 && qt_key <= qt_key::kF24) {
    return static_cast<std::uint8_t>(0x70 + (qt_key - qt_key::kF1));
  }
  for (const SpecialKey& k : kSpecialKeys) {
    if (qt_key == k.qt_key) return k.vk;
  }
  return std::nullopt;
}

std::optional<KeyCode> CaptureKey(const KeyPress& press) {
  std::optional<KeyCode> key;
  switch (press.native) {
    case NativeKeyCodes::Xkb:
      key = FromXkbKeycode(press.native_scan);
      break;
    case NativeKeyCodes::Windows:
      key = FromWindowsCodes(press.native_vk, press.native_scan);
      break;
    case NativeKeyCodes::None:
      break;
  }
  if (key) return key;
  const std::optional<std::uint8_t> vk = VirtualKeyForQtKey(press.qt_key, press.keypad);
  return vk ? FromVirtualKey(*vk) : std::nullopt;
}

}  // namespace kestrane
