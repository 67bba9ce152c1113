#include "platform/uinput/uinput_keyboard.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/key_table.h"
#include "tests/support/recording_messages.h"
#include "tests/support/recording_writer.h"

namespace kestrane {
namespace {

using test::Event;
using test::RecordingWriter;

constexpr Event kSyn{EV_SYN, SYN_REPORT, 0};

Event Key(std::uint16_t code, bool down) {
  return {EV_KEY, code, down ? 1 : 0};
}

struct Fixture : ::testing::Test {
  std::vector<Event> events;
  std::vector<std::string> reports;
  test::RecordingMessages report{reports};
  std::unique_ptr<UinputKeyboard> keyboard =
      std::make_unique<UinputKeyboard>(std::make_unique<RecordingWriter>(events), report);
};

using UinputKeyboardEvents = Fixture;

TEST_F(UinputKeyboardEvents, EachKeyEventIsOneKeyEventAndASync) {
  keyboard->KeyEvent({0x21, 0x49}, true);
  keyboard->KeyEvent({0x21, 0x49}, false);
  keyboard->KeyEvent({0x4E, 0x31}, true);
  keyboard->KeyEvent({0x4E, 0x31}, false);
  const std::vector<Event> expected = {Key(KEY_PAGEUP, true), kSyn, Key(KEY_PAGEUP, false), kSyn,
                                       Key(KEY_N, true),      kSyn, Key(KEY_N, false),      kSyn};
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(reports.empty());
}

TEST_F(UinputKeyboardEvents, ModeZeroGearChangesThroughTheKeystrokeOutput) {
  KeyOutput out(*keyboard);
  out.Press({0x31, 0x02});
  out.Release({0x31, 0x02});
  out.Press({0x32, 0x03});
  out.ReleaseHeld();
  const std::vector<Event> expected = {Key(KEY_1, true), kSyn, Key(KEY_1, false), kSyn,
                                       Key(KEY_2, true), kSyn, Key(KEY_2, false), kSyn};
  EXPECT_EQ(events, expected);
}

TEST_F(UinputKeyboardEvents, CodesComeFromTheVirtualKeyThenFromThePlainScanCode) {
  keyboard->KeyEvent({0xA3, 0x1D}, true);  // right Ctrl, though 0x1D is left Ctrl's scan code
  keyboard->KeyEvent({0x6F, 0x35}, true);  // keypad /, not the / key
  keyboard->KeyEvent({0xFF, 0x2C}, true);  // unknown virtual key: scan code of Z
  const std::vector<Event> expected = {Key(KEY_RIGHTCTRL, true), kSyn, Key(KEY_KPSLASH, true), kSyn,
                                       Key(KEY_Z, true),         kSyn};
  EXPECT_EQ(events, expected);
}

TEST_F(UinputKeyboardEvents, AKeyWithoutCodeIsSkippedAndReportedOnce) {
  keyboard->KeyEvent({0xFF, 0x00}, true);
  keyboard->KeyEvent({0xFF, 0x00}, false);
  keyboard->KeyEvent({0xFE, 0x7F}, true);
  EXPECT_TRUE(events.empty());
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].find("255#0"), std::string::npos) << reports[0];
  EXPECT_NE(reports[1].find("254#127"), std::string::npos) << reports[1];
}

TEST_F(UinputKeyboardEvents, DestroyingTheKeyboardReleasesWhatIsStillDown) {
  keyboard->KeyEvent({0x41, 0x1E}, true);
  keyboard->KeyEvent({0x31, 0x02}, true);
  keyboard->KeyEvent({0xA5, 0x38}, true);
  keyboard->KeyEvent({0x31, 0x02}, false);
  events.clear();
  keyboard.reset();
  const std::vector<Event> expected = {Key(KEY_RIGHTALT, false), kSyn, Key(KEY_A, false), kSyn};
  EXPECT_EQ(events, expected);
}

TEST_F(UinputKeyboardEvents, NothingDownNothingReleased) {
  keyboard->KeyEvent({0x41, 0x1E}, true);
  keyboard->KeyEvent({0x41, 0x1E}, false);
  events.clear();
  keyboard.reset();
  EXPECT_TRUE(events.empty());
}

TEST(UinputKeyboard, AFailingDeviceIsReportedOnce) {
  std::vector<Event> events;
  std::vector<std::string> reports;
  test::RecordingMessages report{reports};
  UinputKeyboard keyboard(std::make_unique<RecordingWriter>(events, ENODEV), report);
  keyboard.KeyEvent({0x41, 0x1E}, true);
  keyboard.KeyEvent({0x41, 0x1E}, false);
  EXPECT_EQ(reports.size(), 1u);
}

TEST(UinputKeyboard, WaitsReallyWait) {
  std::vector<Event> events;
  UinputKeyboard keyboard(std::make_unique<RecordingWriter>(events), StandardErrorMessages());
  const auto start = std::chrono::steady_clock::now();
  keyboard.Wait(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(UinputKeyboardDevice, IsNamedAndOffersEveryKeyKestraneTypes) {
  const UinputDeviceSetup setup = VirtualKeyboardSetup();
  EXPECT_EQ(setup.name, "Kestrane virtual keyboard");
  EXPECT_TRUE(setup.axes.empty());
  EXPECT_TRUE(std::is_sorted(setup.keys.begin(), setup.keys.end()));
  EXPECT_EQ(std::adjacent_find(setup.keys.begin(), setup.keys.end()), setup.keys.end());
  auto offers = [&](int code) {
    return std::binary_search(setup.keys.begin(), setup.keys.end(), code);
  };
  for (const KeyInfo& key : AllKeys()) EXPECT_TRUE(offers(key.evdev)) << key.name;
  for (int scan = 1; scan <= 0x58; ++scan) {
    const int code = EvdevCodeFor({0xFF, static_cast<std::uint8_t>(scan)});
    EXPECT_TRUE(offers(code)) << scan;
  }
  EXPECT_FALSE(offers(0));
}

// Opening with a device opener that fails as the kernel does.
std::string OpenFailingWith(int error) {
  std::string why;
  auto sink = OpenUinputKeyboard(test::FailingOpener(error), StandardErrorMessages(), why);
  EXPECT_EQ(sink, nullptr);
  return why;
}

TEST(UinputKeyboardOpen, TellsAMissingDeviceFromAMissingPermission) {
  const std::string missing = OpenFailingWith(ENOENT);
  EXPECT_NE(missing.find("does not exist"), std::string::npos) << missing;
  EXPECT_NE(missing.find("modprobe uinput"), std::string::npos) << missing;

  const std::string no_driver = OpenFailingWith(ENODEV);
  EXPECT_NE(no_driver.find("modprobe uinput"), std::string::npos) << no_driver;

  const std::string denied = OpenFailingWith(EACCES);
  EXPECT_NE(denied.find("no permission"), std::string::npos) << denied;
  EXPECT_NE(denied.find("udev rule"), std::string::npos) << denied;
  EXPECT_EQ(OpenFailingWith(EPERM), denied);
  EXPECT_EQ(denied.find("modprobe"), std::string::npos) << denied;

  const std::string other = OpenFailingWith(EBUSY);
  EXPECT_NE(other, denied);
  EXPECT_NE(other, missing);
}

// The real libevdev path, where the machine has no uinput at all (as on the build machines).
TEST(UinputKeyboardOpen, TheRealDeviceIsMissingWhereUinputIs) {
  if (access("/dev/uinput", F_OK) == 0) GTEST_SKIP() << "this machine has /dev/uinput";
  std::string why;
  EXPECT_EQ(OpenUinputKeyboard(OpenUinputDevice, StandardErrorMessages(), why), nullptr);
  EXPECT_NE(why.find("/dev/uinput does not exist"), std::string::npos) << why;
}

TEST(UinputKeyboardOpen, AWorkingDeviceGivesAKeyboard) {
  std::vector<Event> events;
  std::string why, name;
  auto sink = OpenUinputKeyboard(
      [&](const UinputDeviceSetup& setup, int& err) -> std::unique_ptr<EventWriter> {
        name = setup.name;
        err = 0;
        return std::make_unique<RecordingWriter>(events);
      },
      StandardErrorMessages(), why);
  ASSERT_NE(sink, nullptr);
  EXPECT_TRUE(why.empty());
  EXPECT_EQ(name, "Kestrane virtual keyboard");
  sink->KeyEvent({0x22, 0x51}, true);
  sink.reset();  // releases Page Down
  const std::vector<Event> expected = {Key(KEY_PAGEDOWN, true), kSyn, Key(KEY_PAGEDOWN, false),
                                       kSyn};
  EXPECT_EQ(events, expected);
}

}  // namespace
}  // namespace kestrane
