#include "platform/key_table.h"

#include <array>

namespace kestrane {
namespace {

// Set-1 scan codes are those of a US keyboard; evdev codes are the kernel's KEY_* values; keysyms
// are X11's XK_* values (keysymdef.h, XF86keysym.h). Rows sharing a code come after the row that
// speaks for it.
constexpr KeyInfo kKeys[] = {
    // Letters.
    {0x41, 0x1E, false, 30, 0x0061, "A"},
    {0x42, 0x30, false, 48, 0x0062, "B"},
    {0x43, 0x2E, false, 46, 0x0063, "C"},
    {0x44, 0x20, false, 32, 0x0064, "D"},
    {0x45, 0x12, false, 18, 0x0065, "E"},
    {0x46, 0x21, false, 33, 0x0066, "F"},
    {0x47, 0x22, false, 34, 0x0067, "G"},
    {0x48, 0x23, false, 35, 0x0068, "H"},
    {0x49, 0x17, false, 23, 0x0069, "I"},
    {0x4A, 0x24, false, 36, 0x006A, "J"},
    {0x4B, 0x25, false, 37, 0x006B, "K"},
    {0x4C, 0x26, false, 38, 0x006C, "L"},
    {0x4D, 0x32, false, 50, 0x006D, "M"},
    {0x4E, 0x31, false, 49, 0x006E, "N"},
    {0x4F, 0x18, false, 24, 0x006F, "O"},
    {0x50, 0x19, false, 25, 0x0070, "P"},
    {0x51, 0x10, false, 16, 0x0071, "Q"},
    {0x52, 0x13, false, 19, 0x0072, "R"},
    {0x53, 0x1F, false, 31, 0x0073, "S"},
    {0x54, 0x14, false, 20, 0x0074, "T"},
    {0x55, 0x16, false, 22, 0x0075, "U"},
    {0x56, 0x2F, false, 47, 0x0076, "V"},
    {0x57, 0x11, false, 17, 0x0077, "W"},
    {0x58, 0x2D, false, 45, 0x0078, "X"},
    {0x59, 0x15, false, 21, 0x0079, "Y"},
    {0x5A, 0x2C, false, 44, 0x007A, "Z"},
    // Digits of the main block.
    {0x30, 0x0B, false, 11, 0x0030, "0"},
    {0x31, 0x02, false, 2, 0x0031, "1"},
    {0x32, 0x03, false, 3, 0x0032, "2"},
    {0x33, 0x04, false, 4, 0x0033, "3"},
    {0x34, 0x05, false, 5, 0x0034, "4"},
    {0x35, 0x06, false, 6, 0x0035, "5"},
    {0x36, 0x07, false, 7, 0x0036, "6"},
    {0x37, 0x08, false, 8, 0x0037, "7"},
    {0x38, 0x09, false, 9, 0x0038, "8"},
    {0x39, 0x0A, false, 10, 0x0039, "9"},
    // Function keys.
    {0x70, 0x3B, false, 59, 0xFFBE, "F1"},
    {0x71, 0x3C, false, 60, 0xFFBF, "F2"},
    {0x72, 0x3D, false, 61, 0xFFC0, "F3"},
    {0x73, 0x3E, false, 62, 0xFFC1, "F4"},
    {0x74, 0x3F, false, 63, 0xFFC2, "F5"},
    {0x75, 0x40, false, 64, 0xFFC3, "F6"},
    {0x76, 0x41, false, 65, 0xFFC4, "F7"},
    {0x77, 0x42, false, 66, 0xFFC5, "F8"},
    {0x78, 0x43, false, 67, 0xFFC6, "F9"},
    {0x79, 0x44, false, 68, 0xFFC7, "F10"},
    {0x7A, 0x57, false, 87, 0xFFC8, "F11"},
    {0x7B, 0x58, false, 88, 0xFFC9, "F12"},
    {0x7C, 0x64, false, 183, 0xFFCA, "F13"},
    {0x7D, 0x65, false, 184, 0xFFCB, "F14"},
    {0x7E, 0x66, false, 185, 0xFFCC, "F15"},
    {0x7F, 0x67, false, 186, 0xFFCD, "F16"},
    {0x80, 0x68, false, 187, 0xFFCE, "F17"},
    {0x81, 0x69, false, 188, 0xFFCF, "F18"},
    {0x82, 0x6A, false, 189, 0xFFD0, "F19"},
    {0x83, 0x6B, false, 190, 0xFFD1, "F20"},
    {0x84, 0x6C, false, 191, 0xFFD2, "F21"},
    {0x85, 0x6D, false, 192, 0xFFD3, "F22"},
    {0x86, 0x6E, false, 193, 0xFFD4, "F23"},
    {0x87, 0x76, false, 194, 0xFFD5, "F24"},
    // Punctuation, US layout (the OEM keys).
    {0xBD, 0x0C, false, 12, 0x002D, "-"},
    {0xBB, 0x0D, false, 13, 0x003D, "="},
    {0xDB, 0x1A, false, 26, 0x005B, "["},
    {0xDD, 0x1B, false, 27, 0x005D, "]"},
    {0xBA, 0x27, false, 39, 0x003B, ";"},
    {0xDE, 0x28, false, 40, 0x0027, "'"},
    {0xC0, 0x29, false, 41, 0x0060, "`"},
    {0xDC, 0x2B, false, 43, 0x005C, "\\"},
    {0xBC, 0x33, false, 51, 0x002C, ","},
    {0xBE, 0x34, false, 52, 0x002E, "."},
    {0xBF, 0x35, false, 53, 0x002F, "/"},
    {0xE2, 0x56, false, 86, 0x003C, "<>"},  // the extra key of ISO keyboards
    // Editing and control keys of the main block.
    {0x1B, 0x01, false, 1, 0xFF1B, "Escape"},
    {0x08, 0x0E, false, 14, 0xFF08, "Backspace"},
    {0x09, 0x0F, false, 15, 0xFF09, "Tab"},
    {0x0D, 0x1C, false, 28, 0xFF0D, "Enter"},
    {0x20, 0x39, false, 57, 0x0020, "Space"},
    {0x14, 0x3A, false, 58, 0xFFE5, "Caps Lock"},
    // Modifiers. The plain VK_SHIFT, VK_CONTROL and VK_MENU (what the window system reports for
    // either side) stand for the left key, with the left key's scan code.
    {0x10, 0x2A, false, 42, 0xFFE1, "Shift"},
    {0xA0, 0x2A, false, 42, 0xFFE1, "Left Shift"},
    {0xA1, 0x36, false, 54, 0xFFE2, "Right Shift"},
    {0x11, 0x1D, false, 29, 0xFFE3, "Ctrl"},
    {0xA2, 0x1D, false, 29, 0xFFE3, "Left Ctrl"},
    {0xA3, 0x1D, true, 97, 0xFFE4, "Right Ctrl"},
    {0x12, 0x38, false, 56, 0xFFE9, "Alt"},
    {0xA4, 0x38, false, 56, 0xFFE9, "Left Alt"},
    {0xA5, 0x38, true, 100, 0xFFEA, "Right Alt"},
    {0x5B, 0x5B, true, 125, 0xFFEB, "Left Win"},
    {0x5C, 0x5C, true, 126, 0xFFEC, "Right Win"},
    {0x5D, 0x5D, true, 127, 0xFF67, "Menu"},
    // The block above the arrows.
    {0x2C, 0x54, false, 99, 0xFF61, "Print Screen"},
    {0x91, 0x46, false, 70, 0xFF14, "Scroll Lock"},
    {0x13, 0x45, false, 119, 0xFF13, "Pause"},
    {0x2D, 0x52, true, 110, 0xFF63, "Insert"},
    {0x2E, 0x53, true, 111, 0xFFFF, "Delete"},
    {0x24, 0x47, true, 102, 0xFF50, "Home"},
    {0x23, 0x4F, true, 107, 0xFF57, "End"},
    {0x21, 0x49, true, 104, 0xFF55, "Page Up"},
    {0x22, 0x51, true, 109, 0xFF56, "Page Down"},
    // Arrows.
    {0x26, 0x48, true, 103, 0xFF52, "Up"},
    {0x28, 0x50, true, 108, 0xFF54, "Down"},
    {0x25, 0x4B, true, 105, 0xFF51, "Left"},
    {0x27, 0x4D, true, 106, 0xFF53, "Right"},
    // Keypad. Windows counts Num Lock as an extended key and Pause as the plain 0x45.
    {0x90, 0x45, true, 69, 0xFF7F, "Num Lock"},
    {0x6F, 0x35, true, 98, 0xFFAF, "Num /"},
    {0x6A, 0x37, false, 55, 0xFFAA, "Num *"},
    {0x6D, 0x4A, false, 74, 0xFFAD, "Num -"},
    {0x6B, 0x4E, false, 78, 0xFFAB, "Num +"},
    {0x6E, 0x53, false, 83, 0xFFAE, "Num ."},
    {0x60, 0x52, false, 82, 0xFFB0, "Num 0"},
    {0x61, 0x4F, false, 79, 0xFFB1, "Num 1"},
    {0x62, 0x50, false, 80, 0xFFB2, "Num 2"},
    {0x63, 0x51, false, 81, 0xFFB3, "Num 3"},
    {0x64, 0x4B, false, 75, 0xFFB4, "Num 4"},
    {0x65, 0x4C, false, 76, 0xFFB5, "Num 5"},
    {0x66, 0x4D, false, 77, 0xFFB6, "Num 6"},
    {0x67, 0x47, false, 71, 0xFFB7, "Num 7"},
    {0x68, 0x48, false, 72, 0xFFB8, "Num 8"},
    {0x69, 0x49, false, 73, 0xFFB9, "Num 9"},
    // Keypad 5 without Num Lock.
    {0x0C, 0x4C, false, 76, 0xFF9D, "Clear"},
    // Keypad Enter has no virtual-key code of its own: Windows reports it as VK_RETURN with the
    // extended flag, so a captured keypad Enter is stored, and typed, as Enter.
    {0x0D, 0x1C, true, 96, 0xFF8D, "Num Enter"},
    // Media keys.
    {0xAD, 0x20, true, 113, 0x1008FF12, "Mute"},
    {0xAE, 0x2E, true, 114, 0x1008FF11, "Volume Down"},
    {0xAF, 0x30, true, 115, 0x1008FF13, "Volume Up"},
    {0xB0, 0x19, true, 163, 0x1008FF17, "Next Track"},
    {0xB1, 0x10, true, 165, 0x1008FF16, "Previous Track"},
    {0xB2, 0x24, true, 166, 0x1008FF15, "Stop"},
    {0xB3, 0x22, true, 164, 0x1008FF14, "Play/Pause"},
};

// Index of the first row for each code, built once at compile time.
template <std::size_t N, typename Get>
constexpr std::array<std::int16_t, N> FirstRows(Get get) {
  std::array<std::int16_t, N> rows{};
  rows.fill(-1);
  for (std::size_t i = std::size(kKeys); i-- > 0;) {
    const std::size_t code = get(kKeys[i]);
    if (code < N) rows[code] = static_cast<std::int16_t>(i);
  }
  return rows;
}

constexpr auto kByVk = FirstRows<256>([](const KeyInfo& k) { return std::size_t{k.vk}; });
constexpr auto kByEvdev = FirstRows<256>([](const KeyInfo& k) { return std::size_t{k.evdev}; });

static_assert(std::size(kKeys) < 0x7FFF);

}  // namespace

std::span<const KeyInfo> AllKeys() {
  return kKeys;
}

const KeyInfo* KeyByVk(std::uint8_t vk) {
  const std::int16_t row = kByVk[vk];
  return row < 0 ? nullptr : &kKeys[row];
}

const KeyInfo* KeyByEvdev(std::uint16_t code) {
  if (code >= kByEvdev.size()) return nullptr;
  const std::int16_t row = kByEvdev[code];
  return row < 0 ? nullptr : &kKeys[row];
}

std::uint8_t MapVirtualKeyScan(std::uint8_t vk) {
  const KeyInfo* key = KeyByVk(vk);
  return key ? key->scan : 0;
}

int EvdevCodeFor(KeyCode key) {
  if (const KeyInfo* info = KeyByVk(key.vk)) return info->evdev;
  // Alt+Print Screen's own code (SysRq) is the one exception below 0x58.
  if (key.scan == 0x54) return 99;
  if (key.scan != 0 && key.scan <= 0x58) return key.scan;
  return -1;
}

bool IsExtendedKey(KeyCode key) {
  const KeyInfo* info = KeyByVk(key.vk);
  return info && info->extended;
}

std::string KeyName(KeyCode key) {
  if (key.vk == 0 && key.scan == 0) return "None";
  if (const KeyInfo* info = KeyByVk(key.vk)) return info->name;
  return "Key " + std::to_string(key.vk) + "#" + std::to_string(key.scan);
}

}  // namespace kestrane
