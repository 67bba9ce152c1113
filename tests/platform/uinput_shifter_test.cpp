#include "platform/uinput/uinput_shifter.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "platform/system_shifter.h"
#include "tests/support/recording_messages.h"
#include "tests/support/recording_writer.h"

namespace kestrane {
namespace {

using test::Event;

// The shifter tests see the device go away.
struct RecordingWriter : test::RecordingWriter {
  static constexpr Event kDestroyed = test::RecordingWriter::kDestroyed;
  explicit RecordingWriter(std::vector<Event>& log, int fail = 0)
      : test::RecordingWriter(log, fail, true) {}
};

constexpr Event kSyn{EV_SYN, SYN_REPORT, 0};

Event Button(std::uint16_t code, bool down) {
  return {EV_KEY, code, down ? 1 : 0};
}

TEST(UinputShifterDevice, AJoystickWithEightButtonsAndTwoCentredAxes) {
  const UinputDeviceSetup setup = VirtualShifterSetup();
  EXPECT_EQ(setup.name, "Kestrane H-shifter");
  EXPECT_EQ(setup.bustype, BUS_VIRTUAL);
  // The first eight joystick buttons, so that the system takes the device for a joystick and
  // games number them 1 to 8.
  const std::vector<std::uint16_t> buttons = {BTN_TRIGGER, BTN_THUMB,  BTN_THUMB2, BTN_TOP,
                                              BTN_TOP2,    BTN_PINKIE, BTN_BASE,   BTN_BASE2};
  EXPECT_EQ(setup.keys, buttons);
  for (int b = 1; b <= kShifterButtons; ++b) EXPECT_EQ(ShifterButtonCode(b), buttons[b - 1]);
  ASSERT_EQ(setup.axes.size(), 2u);
  EXPECT_EQ(setup.axes[0].code, ABS_X);
  EXPECT_EQ(setup.axes[1].code, ABS_Y);
  for (const UinputAxis& axis : setup.axes) {
    // Every axis starts at 0, which must be its middle (a stick at rest).
    EXPECT_EQ(axis.minimum, -32768);
    EXPECT_EQ(axis.maximum, 32767);
    EXPECT_EQ(axis.minimum + axis.maximum, -1);
    EXPECT_EQ(axis.fuzz, 0);
    EXPECT_EQ(axis.flat, 0);
  }
}

struct Fixture : ::testing::Test {
  std::vector<Event> events;
  std::vector<std::string> reports;
  test::RecordingMessages report{reports};
  std::unique_ptr<UinputShifter> shifter =
      std::make_unique<UinputShifter>(std::make_unique<RecordingWriter>(events), report);
};

using UinputShifterEvents = Fixture;

TEST_F(UinputShifterEvents, OneReportPerGearChange) {
  shifter->SetGearButton(3);  // N -> 3
  shifter->SetGearButton(4);  // 3 -> 4: up and down in the same report
  shifter->SetGearButton(0);  // 4 -> N
  shifter->SetGearButton(8);  // N -> R
  shifter->SetGearButton(7);  // R -> 7
  // One report a line.
  // clang-format off
  const std::vector<Event> expected = {
      Button(BTN_THUMB2, true), kSyn,
      Button(BTN_THUMB2, false), Button(BTN_TOP, true), kSyn,
      Button(BTN_TOP, false), kSyn,
      Button(BTN_BASE2, true), kSyn,
      Button(BTN_BASE2, false), Button(BTN_BASE, true), kSyn};
  // clang-format on
  EXPECT_EQ(events, expected);
  EXPECT_EQ(shifter->Held(), 7);
  EXPECT_TRUE(reports.empty());
}

TEST_F(UinputShifterEvents, NoChangeNoReportAndNoAxisEvents) {
  shifter->SetGearButton(0);
  shifter->SetGearButton(2);
  shifter->SetGearButton(2);
  shifter->SetGearButton(9);  // no such button: released
  shifter->SetGearButton(-1);
  const std::vector<Event> expected = {Button(BTN_THUMB, true), kSyn, Button(BTN_THUMB, false),
                                       kSyn};
  EXPECT_EQ(events, expected);
  for (const Event& e : events) EXPECT_NE(e.type, EV_ABS);  // the axes stay at rest
}

TEST_F(UinputShifterEvents, GoingAwayReleasesTheButtonBeforeTheDevice) {
  shifter->SetGearButton(5);
  events.clear();
  shifter.reset();
  const std::vector<Event> expected = {Button(BTN_TOP2, false), kSyn, RecordingWriter::kDestroyed};
  EXPECT_EQ(events, expected);
}

TEST_F(UinputShifterEvents, NothingHeldNothingReleased) {
  shifter->SetGearButton(1);
  shifter->SetGearButton(0);
  events.clear();
  shifter.reset();
  EXPECT_EQ(events, std::vector<Event>{RecordingWriter::kDestroyed});
}

TEST_F(UinputShifterEvents, GearChangesFromTheShifterOutput) {
  Settings s = DefaultSettings();
  s.VIRTUAL_SHIFTER = true;
  ShifterOutput out(shifter.get());
  out.Follow(kReverse, s);
  out.Follow(kReverse, s);
  s.VIRTUAL_SHIFTER = false;  // switched off: the button comes up, the device stays
  out.Follow(kReverse, s);
  const std::vector<Event> expected = {Button(BTN_BASE2, true), kSyn, Button(BTN_BASE2, false),
                                       kSyn};
  EXPECT_EQ(events, expected);
}

TEST(UinputShifter, AFailingDeviceIsReportedOnce) {
  std::vector<Event> events;
  std::vector<std::string> reports;
  test::RecordingMessages report{reports};
  {
    UinputShifter shifter(std::make_unique<RecordingWriter>(events, ENODEV), report);
    shifter.SetGearButton(1);
    shifter.SetGearButton(2);
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("H-shifter"), std::string::npos) << reports[0];
}

// Opening with a device opener that fails as the kernel does.
std::string OpenFailingWith(int error) {
  std::string why;
  auto shifter = OpenUinputShifter(test::FailingOpener(error), StandardErrorMessages(), why);
  EXPECT_EQ(shifter, nullptr);
  return why;
}

TEST(UinputShifterOpen, SaysWhyAndTheMessageNamesTheUdevRule) {
  const std::string denied = OpenFailingWith(EACCES);
  EXPECT_NE(denied.find("no permission"), std::string::npos) << denied;
  const std::string missing = OpenFailingWith(ENOENT);
  EXPECT_NE(missing.find("does not exist"), std::string::npos) << missing;

  const std::string message = ShifterProblemMessage(denied);
  EXPECT_NE(message.find(denied), std::string::npos) << message;
  EXPECT_NE(message.find("Kestrane H-shifter"), std::string::npos) << message;
  EXPECT_NE(message.find("packaging/60-kestrane-uinput.rules"), std::string::npos) << message;
  EXPECT_NE(message.find("/etc/udev/rules.d"), std::string::npos) << message;
}

TEST(UinputShifterOpen, AWorkingDeviceGetsTheShifterSetup) {
  std::vector<Event> events;
  std::string why;
  UinputDeviceSetup seen;
  auto shifter = OpenUinputShifter(
      [&](const UinputDeviceSetup& setup, int& err) -> std::unique_ptr<EventWriter> {
        seen = setup;
        err = 0;
        return std::make_unique<RecordingWriter>(events);
      },
      StandardErrorMessages(), why);
  ASSERT_NE(shifter, nullptr);
  EXPECT_TRUE(why.empty());
  EXPECT_EQ(seen.name, "Kestrane H-shifter");
  EXPECT_EQ(seen.keys, VirtualShifterSetup().keys);
  shifter->SetGearButton(6);
  shifter.reset();
  const std::vector<Event> expected = {Button(BTN_PINKIE, true), kSyn, Button(BTN_PINKIE, false),
                                       kSyn, RecordingWriter::kDestroyed};
  EXPECT_EQ(events, expected);
}

// The real path, where the machine has no uinput at all (as on the build machines): no device,
// one message for the user, nothing else.
TEST(SystemShifter, NoUinputGivesOneMessageWithTheFix) {
  if (access("/dev/uinput", F_OK) == 0) GTEST_SKIP() << "this machine has /dev/uinput";
  std::string problem;
  std::vector<std::string> reports;
  test::RecordingMessages report{reports};
  EXPECT_EQ(OpenSystemShifter(problem, report), nullptr);
  EXPECT_NE(problem.find("/dev/uinput does not exist"), std::string::npos) << problem;
  EXPECT_NE(problem.find("60-kestrane-uinput.rules"), std::string::npos) << problem;
  EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace kestrane
