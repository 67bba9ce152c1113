#include "platform/key_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings_form.h"
#include "platform/key_table.h"

namespace kestrane {
namespace {

// Key-field text of a key pressed under X11/Wayland with this evdev code (keycode = evdev + 8).
std::string ByEvdev(int evdev, int qt_key = 0) {
  KeyPress p;
  p.qt_key = qt_key;
  p.native_scan = static_cast<std::uint32_t>(evdev + 8);
  p.native = NativeKeyCodes::Xkb;
  const std::optional<KeyCode> key = CaptureKey(p);
  return key ? FormatKeyField(*key) : "none";
}

std::string ByQtKey(int qt_key, bool keypad = false) {
  KeyPress p;
  p.qt_key = qt_key;
  p.keypad = keypad;
  const std::optional<KeyCode> key = CaptureKey(p);
  return key ? FormatKeyField(*key) : "none";
}

std::string ByWindowsCodes(std::uint32_t vk, std::uint32_t scan) {
  KeyPress p;
  p.native_vk = vk;
  p.native_scan = scan;
  p.native = NativeKeyCodes::Windows;
  const std::optional<KeyCode> key = CaptureKey(p);
  return key ? FormatKeyField(*key) : "none";
}

struct Expect {
  const char* what;
  int evdev;
  const char* text;
};

// The virtual-key code and the scan code US-layout MapVirtualKeyA(vk, 0) gives for it.
const std::vector<Expect> kXkbTable = {
    {"A", 30, "65#30"},
    {"N", 49, "78#49"},
    {"Z", 44, "90#44"},
    {"1", 2, "49#2"},
    {"7", 8, "55#8"},
    {"8", 9, "56#9"},
    {"0", 11, "48#11"},
    {"F1", 59, "112#59"},
    {"F10", 68, "121#68"},
    {"F11", 87, "122#87"},
    {"F12", 88, "123#88"},
    {"Up", 103, "38#72"},
    {"Down", 108, "40#80"},
    {"Left", 105, "37#75"},
    {"Right", 106, "39#77"},
    {"Page Up", 104, "33#73"},
    {"Page Down", 109, "34#81"},
    {"Home", 102, "36#71"},
    {"End", 107, "35#79"},
    {"Insert", 110, "45#82"},
    {"Delete", 111, "46#83"},
    {"Num 0", 82, "96#82"},
    {"Num 7", 71, "103#71"},
    {"Num 9", 73, "105#73"},
    {"Num /", 98, "111#53"},
    {"Num *", 55, "106#55"},
    {"Num -", 74, "109#74"},
    {"Num +", 78, "107#78"},
    {"Num .", 83, "110#83"},
    {"Num Enter", 96, "13#28"},
    {"Enter", 28, "13#28"},
    {"Space", 57, "32#57"},
    {"Escape", 1, "27#1"},
    {"Left Shift", 42, "16#42"},
    {"Right Shift", 54, "161#54"},
    {"Left Ctrl", 29, "17#29"},
    {"Right Ctrl", 97, "163#29"},
    {"Left Alt", 56, "18#56"},
    {"Right Alt", 100, "165#56"},
};

TEST(KeyCapture, XkbKeycodesGiveTheKeyTableEntry) {
  for (const Expect& e : kXkbTable) EXPECT_EQ(ByEvdev(e.evdev), e.text) << e.what;
}

TEST(KeyCapture, NativeKeycodeWinsOverTheQtKey) {
  // The physical key counts, whatever the layout makes of it: the Q key of an AZERTY keyboard
  // reports Qt::Key_A, the keypad's 8 with Num Lock off Qt::Key_Up.
  EXPECT_EQ(ByEvdev(16, 'A'), "81#16");
  EXPECT_EQ(ByEvdev(72, qt_key::kUp), "104#72");
  // Right Shift reports the same Qt key as the left one.
  EXPECT_EQ(ByEvdev(54, qt_key::kShift), "161#54");
}

TEST(KeyCapture, WithoutAUsableKeycodeTheQtKeyDecides) {
  EXPECT_EQ(ByEvdev(-8, 'A'), "65#30");   // keycode 0: the event carries none
  EXPECT_EQ(ByEvdev(-3, 'A'), "65#30");   // below the XKB offset
  EXPECT_EQ(ByEvdev(250, 'A'), "65#30");  // a key the table does not know
  EXPECT_EQ(ByEvdev(250, 0), "none");
  EXPECT_EQ(ByQtKey(0x01FFFFFF), "none");  // Qt::Key_unknown
  EXPECT_EQ(ByQtKey(0xE9), "none");        // a Latin-1 letter of another layout
}

TEST(KeyCapture, QtKeyCodes) {
  EXPECT_EQ(ByQtKey('A'), "65#30");
  EXPECT_EQ(ByQtKey('N'), "78#49");
  EXPECT_EQ(ByQtKey('1'), "49#2");
  EXPECT_EQ(ByQtKey('!'), "49#2");   // Shift+1
  EXPECT_EQ(ByQtKey(')'), "48#11");  // Shift+0
  EXPECT_EQ(ByQtKey('*'), "56#9");   // Shift+8
  EXPECT_EQ(ByQtKey('?'), "191#53");
  EXPECT_EQ(ByQtKey(' '), "32#57");
  EXPECT_EQ(ByQtKey(qt_key::kF1), "112#59");
  EXPECT_EQ(ByQtKey(qt_key::kF1 + 11), "123#88");
  EXPECT_EQ(ByQtKey(qt_key::kPageUp), "33#73");
  EXPECT_EQ(ByQtKey(qt_key::kPageDown), "34#81");
  EXPECT_EQ(ByQtKey(qt_key::kUp), "38#72");
  EXPECT_EQ(ByQtKey(qt_key::kDown), "40#80");
  EXPECT_EQ(ByQtKey(qt_key::kLeft), "37#75");
  EXPECT_EQ(ByQtKey(qt_key::kRight), "39#77");
  EXPECT_EQ(ByQtKey(qt_key::kShift), "16#42");
  EXPECT_EQ(ByQtKey(qt_key::kControl), "17#29");
  EXPECT_EQ(ByQtKey(qt_key::kAlt), "18#56");
  EXPECT_EQ(ByQtKey(qt_key::kAltGr), "165#56");
  EXPECT_EQ(ByQtKey(qt_key::kEscape), "27#1");
  EXPECT_EQ(ByQtKey(qt_key::kBackspace), "8#14");
  EXPECT_EQ(ByQtKey(qt_key::kReturn), "13#28");

  // The keypad flag picks the keypad's keys.
  EXPECT_EQ(ByQtKey('7', true), "103#71");
  EXPECT_EQ(ByQtKey('0', true), "96#82");
  EXPECT_EQ(ByQtKey('*', true), "106#55");
  EXPECT_EQ(ByQtKey('-', true), "109#74");
  EXPECT_EQ(ByQtKey('-', false), "189#12");
  EXPECT_EQ(ByQtKey('+', true), "107#78");
  EXPECT_EQ(ByQtKey('+', false), "187#13");
  EXPECT_EQ(ByQtKey('/', true), "111#53");
  EXPECT_EQ(ByQtKey('.', true), "110#83");
  EXPECT_EQ(ByQtKey(qt_key::kEnter, true), "13#28");
}

TEST(KeyCapture, EveryQtKeyTheCodeNamesIsInTheKeyTable) {
  std::vector<int> keys;
  for (int c = 0x20; c <= 0x7E; ++c) {
    if (c < 'a' || c > 'z') keys.push_back(c);
  }
  for (int k = qt_key::kF1; k <= qt_key::kF24; ++k) keys.push_back(k);
  for (int k : {qt_key::kEscape,     qt_key::kTab,
                qt_key::kBacktab,    qt_key::kBackspace,
                qt_key::kReturn,     qt_key::kEnter,
                qt_key::kInsert,     qt_key::kDelete,
                qt_key::kPause,      qt_key::kPrint,
                qt_key::kSysReq,     qt_key::kClear,
                qt_key::kHome,       qt_key::kEnd,
                qt_key::kLeft,       qt_key::kUp,
                qt_key::kRight,      qt_key::kDown,
                qt_key::kPageUp,     qt_key::kPageDown,
                qt_key::kShift,      qt_key::kControl,
                qt_key::kMeta,       qt_key::kAlt,
                qt_key::kCapsLock,   qt_key::kNumLock,
                qt_key::kScrollLock, qt_key::kSuperL,
                qt_key::kSuperR,     qt_key::kMenu,
                qt_key::kVolumeDown, qt_key::kVolumeMute,
                qt_key::kVolumeUp,   qt_key::kMediaPlay,
                qt_key::kMediaStop,  qt_key::kMediaPrevious,
                qt_key::kMediaNext,  qt_key::kMediaTogglePlayPause,
                qt_key::kAltGr}) {
    keys.push_back(k);
  }
  for (int k : keys) {
    for (bool keypad : {false, true}) {
      const std::optional<std::uint8_t> vk = VirtualKeyForQtKey(k, keypad);
      ASSERT_TRUE(vk) << std::hex << k;
      EXPECT_NE(KeyByVk(*vk), nullptr) << std::hex << k;
      EXPECT_NE(ByQtKey(k, keypad), "none") << std::hex << k;
    }
  }
}

TEST(KeyCapture, WindowsCodes) {
  EXPECT_EQ(ByWindowsCodes(0x41, 0x1E), "65#30");
  EXPECT_EQ(ByWindowsCodes(0x10, 0x2A), "16#42");    // left Shift
  EXPECT_EQ(ByWindowsCodes(0x10, 0x36), "161#54");   // right Shift
  EXPECT_EQ(ByWindowsCodes(0x11, 0x1D), "17#29");    // left Ctrl
  EXPECT_EQ(ByWindowsCodes(0x11, 0x11D), "163#29");  // right Ctrl (extended)
  EXPECT_EQ(ByWindowsCodes(0x12, 0x38), "18#56");
  EXPECT_EQ(ByWindowsCodes(0x12, 0x138), "165#56");
  EXPECT_EQ(ByWindowsCodes(0x21, 0x149), "33#73");  // Page Up
  EXPECT_EQ(ByWindowsCodes(0x67, 0x47), "103#71");  // keypad 7
  EXPECT_EQ(ByWindowsCodes(0xE5, 0x1E), "229#30");  // unknown to the table: the given scan code
}

// What capture stores is typed back as the very key that was pressed: captured, written as
// key-field text, read back, and looked up by key injection.
TEST(KeyCapture, EveryCapturedKeyIsInjectedAsThatKey) {
  std::vector<int> differing;
  int captured = 0;
  for (int evdev = 1; evdev < 256; ++evdev) {
    KeyPress p;
    p.native_scan = static_cast<std::uint32_t>(evdev + 8);
    p.native = NativeKeyCodes::Xkb;
    const std::optional<KeyCode> key = CaptureKey(p);
    if (!key) continue;
    ++captured;
    const KeyCode stored = ParseKeyField(FormatKeyField(*key));
    if (EvdevCodeFor(stored) != evdev) differing.push_back(evdev);
  }
  EXPECT_GT(captured, 100);
  // Keypad Enter has no virtual-key code of its own and is kept as Enter.
  EXPECT_EQ(differing, std::vector<int>{96});
}

}  // namespace
}  // namespace kestrane
