#include "platform/key_table.h"

#include <gtest/gtest.h>
#if defined(__linux__)
#include <linux/input-event-codes.h>
#endif

#include <set>
#include <string>

namespace kestrane {
namespace {

#if defined(__linux__)
// What the settings dialog captures for a key pressed under X: the row of the keycode's evdev
// code, its virtual-key code, and the scan code MapVirtualKeyA gives for that.
KeyCode Capture(std::uint16_t evdev) {
  const KeyInfo* info = KeyByEvdev(evdev);
  return info ? KeyCode{info->vk, MapVirtualKeyScan(info->vk)} : KeyCode{};
}

std::string Text(KeyCode k) {
  return std::to_string(k.vk) + "#" + std::to_string(k.scan);
}
#endif

#if defined(__linux__)  // the evdev column is checked against the kernel's own names
TEST(KeyTable, CapturedKeysShowAsTheSettingsDialogWritesThem) {
  EXPECT_EQ(Text(Capture(KEY_A)), "65#30");
  EXPECT_EQ(Text(Capture(KEY_N)), "78#49");
  EXPECT_EQ(Text(Capture(KEY_LEFTSHIFT)), "16#42");
  EXPECT_EQ(Text(Capture(KEY_PAGEUP)), "33#73");
  EXPECT_EQ(Text(Capture(KEY_PAGEDOWN)), "34#81");
  EXPECT_EQ(Text(Capture(KEY_RIGHTSHIFT)), "161#54");
  EXPECT_EQ(Text(Capture(KEY_LEFTCTRL)), "17#29");
  EXPECT_EQ(Text(Capture(KEY_RIGHTCTRL)), "163#29");
  EXPECT_EQ(Text(Capture(KEY_LEFTALT)), "18#56");
  EXPECT_EQ(Text(Capture(KEY_RIGHTALT)), "165#56");
  EXPECT_EQ(Text(Capture(KEY_KP9)), "105#73");
  // The default key table, entries 0 to 10.
  const std::uint16_t defaults[] = {KEY_8, KEY_1, KEY_2, KEY_3,      KEY_4,       KEY_5,
                                    KEY_6, KEY_7, KEY_N, KEY_PAGEUP, KEY_PAGEDOWN};
  const char* expected[] = {"56#9", "49#2", "50#3",  "51#4",  "52#5", "53#6",
                            "54#7", "55#8", "78#49", "33#73", "34#81"};
  for (std::size_t i = 0; i < std::size(defaults); ++i) {
    EXPECT_EQ(Text(Capture(defaults[i])), expected[i]) << "entry " << i;
  }
  EXPECT_EQ(Text(Capture(KEY_0)), "48#11");
}

TEST(KeyTable, EveryCapturedKeyIsTypedAsTheSameKey) {
  int checked = 0;
  for (const KeyInfo& row : AllKeys()) {
    const KeyCode captured = Capture(row.evdev);
    ASSERT_NE(captured.vk, 0) << row.name;
    if (row.evdev == KEY_KPENTER) {
      // Windows has no virtual-key code for keypad Enter: it is captured and typed as Enter.
      EXPECT_EQ(EvdevCodeFor(captured), KEY_ENTER);
      continue;
    }
    EXPECT_EQ(EvdevCodeFor(captured), row.evdev) << row.name << " captured as " << Text(captured);
    ++checked;
  }
  EXPECT_GT(checked, 120);
}

#endif  // __linux__

TEST(KeyTable, RowsOfOneVirtualKeyAgree) {
  // MapVirtualKeyA depends on the virtual-key code only, and so does what is typed.
  for (const KeyInfo& row : AllKeys()) {
    const KeyInfo* first = KeyByVk(row.vk);
    ASSERT_NE(first, nullptr) << row.name;
    EXPECT_EQ(first->scan, row.scan) << row.name;
    EXPECT_EQ(MapVirtualKeyScan(row.vk), row.scan) << row.name;
  }
  std::set<std::string> names;
  for (const KeyInfo& row : AllKeys()) EXPECT_TRUE(names.insert(row.name).second) << row.name;
}

// The kernel's own translation of set-1 codes (atkbd): plain codes are the evdev codes, E0 codes
// need a table. Checked against the evdev column so that neither can drift.
#if defined(__linux__)  // the evdev column is checked against the kernel's own names
TEST(KeyTable, ScanCodesMatchTheKernelsTranslation) {
  struct E0 {
    std::uint8_t scan;
    int evdev;
  };
  const E0 extended[] = {{0x1C, KEY_KPENTER},      {0x1D, KEY_RIGHTCTRL}, {0x35, KEY_KPSLASH},
                         {0x38, KEY_RIGHTALT},     {0x47, KEY_HOME},      {0x48, KEY_UP},
                         {0x49, KEY_PAGEUP},       {0x4B, KEY_LEFT},      {0x4D, KEY_RIGHT},
                         {0x4F, KEY_END},          {0x50, KEY_DOWN},      {0x51, KEY_PAGEDOWN},
                         {0x52, KEY_INSERT},       {0x53, KEY_DELETE},    {0x5B, KEY_LEFTMETA},
                         {0x5C, KEY_RIGHTMETA},    {0x5D, KEY_COMPOSE},   {0x20, KEY_MUTE},
                         {0x2E, KEY_VOLUMEDOWN},   {0x30, KEY_VOLUMEUP},  {0x19, KEY_NEXTSONG},
                         {0x10, KEY_PREVIOUSSONG}, {0x24, KEY_STOPCD},    {0x22, KEY_PLAYPAUSE}};
  for (const KeyInfo& row : AllKeys()) {
    if (row.evdev == KEY_NUMLOCK) {
      // Windows flags Num Lock as extended and gives Pause the plain 0x45 instead.
      EXPECT_EQ(row.scan, 0x45);
      continue;
    }
    if (row.evdev == KEY_PAUSE || row.evdev == KEY_SYSRQ) continue;  // E1 1D 45, E0 37 / 54
    if (!row.extended) {
      if (row.scan < 0x59) {
        EXPECT_EQ(row.evdev, row.scan) << row.name;
      } else {
        EXPECT_TRUE(row.evdev >= KEY_F13 && row.evdev <= KEY_F24) << row.name;
      }
      continue;
    }
    bool found = false;
    for (const E0& e : extended) {
      if (e.scan == row.scan) {
        EXPECT_EQ(e.evdev, row.evdev) << row.name;
        found = true;
      }
    }
    EXPECT_TRUE(found) << row.name << " is extended but its E0 code is unknown";
  }
  EXPECT_EQ(KeyByVk(0x13)->evdev, KEY_PAUSE);
  EXPECT_EQ(KeyByVk(0x2C)->evdev, KEY_SYSRQ);
  EXPECT_EQ(KeyByVk(0x7C)->evdev, KEY_F13);
  EXPECT_EQ(KeyByVk(0x87)->evdev, KEY_F24);
}

#endif  // __linux__

TEST(KeyTable, ExtendedKeysAreTheNavigationBlockRightModifiersAndKeypadDivide) {
  const std::uint8_t extended[] = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2D,
                                   0x2E, 0xA3, 0xA5, 0x6F, 0x90, 0x5B, 0x5C, 0x5D};
  for (std::uint8_t vk : extended) {
    EXPECT_TRUE(IsExtendedKey({vk, MapVirtualKeyScan(vk)})) << int{vk};
  }
  // Their keypad twins share the scan codes and must not be flagged.
  const std::uint8_t plain[] = {0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,
                                0x68, 0x69, 0x6E, 0x6A, 0x6B, 0x6D, 0x0D, 0x10,
                                0x11, 0x12, 0xA2, 0xA4, 0x31, 0x4E, 0x2C, 0x13};
  for (std::uint8_t vk : plain) {
    EXPECT_FALSE(IsExtendedKey({vk, MapVirtualKeyScan(vk)})) << int{vk};
  }
  EXPECT_FALSE(IsExtendedKey({0xFF, 0x49}));  // unknown code: nothing to go by
}

#if defined(__linux__)
TEST(KeyTable, UnknownVirtualKeysFallBackToThePlainScanCode) {
  EXPECT_EQ(EvdevCodeFor({0xFF, 0x1E}), KEY_A);
  EXPECT_EQ(EvdevCodeFor({0x00, 0x01}), KEY_ESC);
  EXPECT_EQ(EvdevCodeFor({0xE8, 0x58}), KEY_F12);
  EXPECT_EQ(EvdevCodeFor({0xFF, 0x54}), KEY_SYSRQ);
  EXPECT_EQ(EvdevCodeFor({0xFF, 0x59}), -1);
  EXPECT_EQ(EvdevCodeFor({0xFF, 0x00}), -1);
  EXPECT_EQ(EvdevCodeFor({0x00, 0x00}), -1);
  // A known virtual-key code wins over a scan code that does not go with it.
  EXPECT_EQ(EvdevCodeFor({0x21, 0x00}), KEY_PAGEUP);
  EXPECT_EQ(EvdevCodeFor({0x21, 0x1E}), KEY_PAGEUP);
  EXPECT_EQ(MapVirtualKeyScan(0xFF), 0);
  EXPECT_EQ(KeyByVk(0xFF), nullptr);
  EXPECT_EQ(KeyByEvdev(0), nullptr);
  EXPECT_EQ(KeyByEvdev(KEY_MAX), nullptr);
}

#endif  // __linux__

}  // namespace
}  // namespace kestrane
