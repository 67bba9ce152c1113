#pragma once

// The one table of keyboard keys Kestrane knows: what the settings file stores for a key (a
// Windows virtual-key code and a PC set-1 scan code) next to what each way of typing it needs
// (the extended-key flag for SendInput, the Linux evdev code for uinput, an X keysym for XTest)
// and a name to show. Key capture in the settings dialog and key injection both go through it,
// so a captured key always comes out as that same key.

#include <cstdint>
#include <span>
#include <string>

#include "core/settings.h"

namespace kestrane {

struct KeyInfo {
  std::uint8_t vk;       // Windows virtual-key code
  std::uint8_t scan;     // set-1 scan code as US-layout MapVirtualKeyA(vk, 0) gives it
  bool extended;         // sent with an E0 prefix (KEYEVENTF_EXTENDEDKEY)
  std::uint16_t evdev;   // Linux KEY_* code (X keycode - 8 under an evdev keymap)
  std::uint32_t keysym;  // X keysym of the unshifted key (US layout)
  const char* name;      // for people: "Page Up", "Num 7", "Right Ctrl"
};

// Every key of the table. A virtual-key code or an evdev code may occur more than once (VK_SHIFT
// and VK_LSHIFT are both the left Shift key; Enter and keypad Enter share VK_RETURN): the first
// entry with a code is the one KeyByVk and KeyByEvdev return.
std::span<const KeyInfo> AllKeys();

const KeyInfo* KeyByVk(std::uint8_t vk);        // nullptr if unknown
const KeyInfo* KeyByEvdev(std::uint16_t code);  // the key whose evdev code this is (for capture:
                                                // X keycode - 8); nullptr if unknown
// What US-layout MapVirtualKeyA(vk, 0) gives; 0 if none.
std::uint8_t MapVirtualKeyScan(std::uint8_t vk);
// From the virtual-key code; where that is unknown, from the scan code (non-extended set-1 scan
// codes up to 0x58 equal evdev codes); -1 if neither gives a key.
int EvdevCodeFor(KeyCode key);
// The key's name for people ("Page Up"); "None" for 0#0, and the codes ("Key 200#5") for a
// virtual-key code the table does not know.
std::string KeyName(KeyCode key);
// Needs KEYEVENTF_EXTENDEDKEY on Windows (decided by the virtual-key code).
bool IsExtendedKey(KeyCode key);

}  // namespace kestrane
