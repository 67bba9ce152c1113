#include "platform/x11/xtest_keyboard.h"
#include "tests/support/recording_messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <string>
#include <vector>

#include "platform/key_table.h"
#include "tests/support/x_server.h"

// Xlib last: its macros (None, Bool) clash with gtest's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace kestrane {
namespace {

class XTestKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (server_.display().empty()) GTEST_SKIP() << "no X display";
    std::string why;
    keyboard_ = XTestKeyboard::Open(report_, why);
    ASSERT_NE(keyboard_, nullptr) << why;
    observer_ = XOpenDisplay(nullptr);
    ASSERT_NE(observer_, nullptr);
  }
  void TearDown() override {
    keyboard_.reset();
    if (observer_) XCloseDisplay(observer_);
  }

  // Whether the server has the key down, as another client sees it.
  // Whether the key reaches the wanted state within a second. The X server orders the requests of
  // each client, not across clients: the observer may ask before the keyboard's flushed event has
  // been handled.
  bool Reaches(unsigned keycode, bool down) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      XSync(observer_, False);
      char keys[32];
      XQueryKeymap(observer_, keys);
      if (((keys[keycode / 8] >> (keycode % 8)) & 1) == (down ? 1 : 0)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  bool IsDown(unsigned keycode) { return Reaches(keycode, true); }
  bool IsUp(unsigned keycode) { return Reaches(keycode, false); }
  bool HasKeysym(unsigned keycode, std::uint32_t keysym) {
    for (unsigned level = 0; level < 4; ++level) {
      if (XkbKeycodeToKeysym(observer_, static_cast<::KeyCode>(keycode), 0, level) == keysym) {
        return true;
      }
    }
    return false;
  }

  test::XServer server_;
  std::vector<std::string> reports_;
  test::RecordingMessages report_{reports_};
  std::unique_ptr<XTestKeyboard> keyboard_;
  Display* observer_ = nullptr;
};

// xkeyboard-config gives the keycodes of F13 to F24 launcher keysyms or none (Linux reuses those
// key codes); they are typed on their keycode all the same.
bool KeysymMayDiffer(const KeyInfo& row) {
  return row.vk >= 0x7C && row.vk <= 0x87;
}

// Under an evdev keymap every key is typed on the keycode of its evdev code, and that keycode
// carries the key's keysym: the evdev and keysym columns of the table agree with X.
TEST_F(XTestKeyboardTest, EveryKeyOfTheTableHasItsKeycode) {
  if (!keyboard_->EvdevKeymap()) GTEST_SKIP() << "the X server's keymap is not evdev-style";
  for (const KeyInfo& row : AllKeys()) {
    if (KeyByVk(row.vk) != &row) continue;  // typed as the row that speaks for its code
    EXPECT_EQ(keyboard_->KeycodeFor({row.vk, row.scan}), row.evdev + 8u) << row.name;
  }
  for (const KeyInfo& row : AllKeys()) {
    if (KeysymMayDiffer(row)) continue;
    EXPECT_TRUE(HasKeysym(row.evdev + 8u, row.keysym)) << row.name;
  }
}

// The settings dialog captures X keycode - 8; typing the captured key gives the same keycode.
TEST_F(XTestKeyboardTest, CapturedKeysComeBackOnTheirKeycode) {
  for (const KeyInfo& row : AllKeys()) {
    const unsigned keycode = row.evdev + 8u;
    const KeyInfo* captured = KeyByEvdev(static_cast<std::uint16_t>(keycode - 8));
    ASSERT_NE(captured, nullptr);
    const KeyCode stored{captured->vk, MapVirtualKeyScan(captured->vk)};
    const unsigned typed = keyboard_->KeycodeFor(stored);
    if (row.name == std::string("Num Enter")) {
      EXPECT_EQ(typed, keyboard_->KeycodeFor({0x0D, 0x1C}));  // stored as Enter
      continue;
    }
    if (keyboard_->EvdevKeymap()) {
      EXPECT_EQ(typed, keycode) << row.name;
    }
    if (!KeysymMayDiffer(row)) {
      EXPECT_TRUE(HasKeysym(typed, row.keysym)) << row.name;
    }
  }
}

TEST_F(XTestKeyboardTest, KeysGoDownAndUpAndNoneStaysDownWhenTheKeyboardGoes) {
  if (!server_.is_private()) GTEST_SKIP() << "types keys only into a private X server";
  const unsigned a = keyboard_->KeycodeFor({0x41, 0x1E});
  const unsigned page_up = keyboard_->KeycodeFor({0x21, 0x49});
  keyboard_->KeyEvent({0x41, 0x1E}, true);
  EXPECT_TRUE(IsDown(a));
  keyboard_->KeyEvent({0x41, 0x1E}, false);
  EXPECT_TRUE(IsUp(a));

  keyboard_->KeyEvent({0x21, 0x49}, true);
  keyboard_->KeyEvent({0x41, 0x1E}, true);
  EXPECT_TRUE(IsDown(page_up));
  EXPECT_TRUE(IsDown(a));
  keyboard_.reset();
  EXPECT_TRUE(IsUp(page_up));
  EXPECT_TRUE(IsUp(a));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(XTestKeyboardTest, AKeyNobodyKnowsIsSkippedAndReportedOnce) {
  keyboard_->KeyEvent({0xFF, 0x00}, true);
  keyboard_->KeyEvent({0xFF, 0x00}, false);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("255#0"), std::string::npos) << reports_[0];
  EXPECT_EQ(keyboard_->KeycodeFor({0xFF, 0x00}), 0u);
}

TEST(XTestKeyboardOpen, SaysWhyWithoutADisplay) {
  const char* saved = std::getenv("DISPLAY");
  const std::string keep = saved ? saved : "";
  unsetenv("DISPLAY");
  std::string why;
  EXPECT_EQ(XTestKeyboard::Open(StandardErrorMessages(), why), nullptr);
  EXPECT_NE(why.find("DISPLAY is not set"), std::string::npos) << why;
  setenv("DISPLAY", ":9999", 1);
  EXPECT_EQ(XTestKeyboard::Open(StandardErrorMessages(), why), nullptr);
  EXPECT_NE(why.find("\":9999\""), std::string::npos) << why;
  if (saved)
    setenv("DISPLAY", keep.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace
}  // namespace kestrane
