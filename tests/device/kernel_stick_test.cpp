// The device layer through SDL's real Linux backend, against a fake force-feedback joystick node
// (tests/support/fake_kernel.h): listing, opening, reading, the exclusive-access check, the
// device's autocentre off while open and back on at every close, unplugging and plugging back.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "device/joystick_device.h"
#include "device/sdl_input.h"
#include "fake_kernel.h"
#include "tests/support/recording_messages.h"

namespace kestrane {
namespace {

using test::FakeKernel;
using test::FakeStick;

class KernelStickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRANE_NEED_FAKE_KERNEL();
    kernel = std::make_unique<FakeKernel>();
    stick = &kernel->AddStick();
    ASSERT_TRUE(device.StartInput());
  }
  void TearDown() override { device.StopInput(); }

  bool OpenByName(const std::string& name) {
    if (!device.ListJoysticks()) return false;
    device.SelectSavedJoystickByName(name);
    if (device.OpenJoystick(settings, state)) return true;
    device.CloseJoystick();
    return false;
  }
  // Reads until `done` holds for the sample (the fake's events reach SDL on a later poll).
  bool ReadUntil(const std::function<bool(const StickSample&)>& done, StickSample& sample) {
    return FakeKernel::WaitFor([&] {
      InputDevice* d = device.OpenDevice();
      if (!d) return false;
      d->Poll();
      return d->Read(sample) == InputStatus::Ok && done(sample);
    });
  }

  std::unique_ptr<FakeKernel> kernel;
  FakeStick* stick = nullptr;
  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform(false);
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device{*platform, messages, effects};
  Settings settings = DefaultSettings();
  ShiftState state;
};

TEST_F(KernelStickTest, ListsAndOpensTheStickByName) {
  ASSERT_TRUE(device.ListJoysticks());
  ASSERT_EQ(device.List().size(), 1u);
  EXPECT_EQ(device.List()[0].name, "Fake Force Stick");
  EXPECT_EQ(device.List()[0].id, "/dev/input/event0");
  // Listing opens no stick (a wheel or pad attached beside it is left alone), so it cannot tell
  // force feedback; probing, on request, does.
  const std::size_t opened = stick->OpenCount();
  EXPECT_FALSE(device.List()[0].force_feedback);
  ASSERT_TRUE(device.ListJoysticks());
  EXPECT_EQ(stick->OpenCount(), opened);
  device.ProbeForceFeedback();
  EXPECT_TRUE(device.List()[0].force_feedback);
  ASSERT_TRUE(OpenByName("fake force stick")) << testing::PrintToString(messages.shown);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0];
}

struct AxisCase {
  const char* what;
  std::uint16_t code;
  std::int32_t value;
  std::int32_t StickSample::*field;
  std::int32_t expected;  // sample units
};

TEST_F(KernelStickTest, AxesReachBothEndsOfTheirTravel) {
  ASSERT_TRUE(OpenByName("Fake Force Stick"));
  const AxisCase cases[] = {
      {"X left end", ABS_X, 0, &StickSample::X, 0},
      {"X right end", ABS_X, 4095, &StickSample::X, 65535},
      {"Y top end", ABS_Y, 0, &StickSample::Y, 0},
      {"Y bottom end", ABS_Y, 4095, &StickSample::Y, 65535},
      {"twist low end", ABS_RZ, 0, &StickSample::Z, 0},
      {"twist high end", ABS_RZ, 255, &StickSample::Z, 65535},
      {"throttle high end", ABS_THROTTLE, 255, &StickSample::Rx, 65535},
  };
  for (const AxisCase& c : cases) {
    stick->Move(c.code, c.value);
    StickSample s;
    EXPECT_TRUE(ReadUntil([&](const StickSample& r) { return r.*c.field == c.expected; }, s))
        << c.what << ": read " << s.*c.field;
  }
  // The middle of the device's range reads near the middle of the sample range.
  stick->Move(ABS_X, 2048);
  StickSample s;
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return r.X > 32600 && r.X < 32900; }, s)) << s.X;
}

TEST_F(KernelStickTest, ButtonsAndTheHatAreRead) {
  ASSERT_TRUE(OpenByName("Fake Force Stick"));
  StickSample s;
  stick->Press(BTN_TRIGGER, true);
  stick->Press(BTN_BASE6, true);
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return r.Buttons[0] && r.Buttons[11]; }, s));
  EXPECT_EQ(s.Buttons[0], 0x80);
  EXPECT_EQ(s.Buttons[1], 0);
  stick->Press(BTN_TRIGGER, false);
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return !r.Buttons[0] && r.Buttons[11]; }, s));
  stick->Move(ABS_HAT0X, 1);
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return r.Pov[0] == 9000u; }, s)) << s.Pov[0];
  stick->Move(ABS_HAT0Y, -1);
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return r.Pov[0] == 4500u; }, s)) << s.Pov[0];
  stick->Move(ABS_HAT0X, 0);
  stick->Move(ABS_HAT0Y, 0);
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return r.Pov[0] == 0xFFFFFFFFu; }, s));
}

TEST_F(KernelStickTest, ExclusiveAccessRefusedWhileAnotherProgramHoldsTheStick) {
  settings.EXCLUSIVE_ACCESS = true;
  stick->SetGrabAnswer(EBUSY);
  EXPECT_FALSE(OpenByName("Fake Force Stick"));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "Can't open non_exlusive acces to the device");
  EXPECT_EQ(stick->Grabs(), (std::vector<int>{1}));

  // Free again: the check's own grab is let go at once.
  messages.shown.clear();
  stick->SetGrabAnswer(0);
  EXPECT_TRUE(OpenByName("Fake Force Stick"));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(stick->Grabs(), (std::vector<int>{1, 1, 0}));
}

TEST_F(KernelStickTest, SharedAccessDoesNotGrab) {
  settings.EXCLUSIVE_ACCESS = false;
  stick->SetGrabAnswer(EBUSY);
  EXPECT_TRUE(OpenByName("Fake Force Stick"));
  EXPECT_TRUE(stick->Grabs().empty());
}

TEST_F(KernelStickTest, OpeningSwitchesTheSticksOwnCentringOff) {
  settings.FORCE_FEEDBACK = true;
  ASSERT_TRUE(OpenByName("Fake Force Stick"));
  EXPECT_EQ(stick->Autocentre(), 0);
  EXPECT_TRUE(messages.shown.empty());
}

// However the device layer lets go of the stick, the stick gets its own centring back and full
// gain, as other programs expect to find it.
TEST_F(KernelStickTest, EveryCloseGivesTheStickBackItsCentringAndFullGain) {
  struct Case {
    const char* what;
    void (JoystickDevice::*close)();
  };
  const Case cases[] = {
      {"closed", &JoystickDevice::CloseJoystick},
      {"lost", &JoystickDevice::LoseJoystick},
      {"input stopped", &JoystickDevice::StopInput},  // the program's end
  };
  settings.FORCE_FEEDBACK = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(device.StartInput());
    ASSERT_TRUE(OpenByName("Fake Force Stick"));
    ASSERT_EQ(stick->Autocentre(), 0);
    stick->ClearRecords();
    (device.*c.close)();
    const auto writes = stick->FfWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].code, FF_AUTOCENTER);
    EXPECT_EQ(writes[0].value, 0xFFFF);
    EXPECT_EQ(writes[1].code, FF_GAIN);
    EXPECT_EQ(writes[1].value, 0xFFFF);
    EXPECT_TRUE(stick->Effects().empty());
  }
}

TEST_F(KernelStickTest, AnUnpluggedStickIsLostAndReconnectedWhenItReturns) {
  ASSERT_TRUE(OpenByName("Fake Force Stick"));
  const std::size_t uploads = stick->Uploads().size();
  EXPECT_GT(uploads, 0u);

  stick->Unplug();
  StickSample s;
  ASSERT_TRUE(FakeKernel::WaitFor([&] {
    device.OpenDevice()->Poll();
    return device.OpenDevice()->Read(s) == InputStatus::DeviceLost;
  }));
  device.LoseJoystick();
  EXPECT_FALSE(device.Reconnect(settings, state));

  stick->Plug();
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return device.Reconnect(settings, state); }));
  EXPECT_TRUE(messages.shown.empty());
  // The effects are built anew on the returned stick and it reads again.
  EXPECT_GT(stick->Uploads().size(), uploads);
  stick->Move(ABS_X, 0);
  EXPECT_TRUE(ReadUntil([](const StickSample& r) { return r.X == 0; }, s));
}

// A stick watched for its reports: a move wakes the watcher at once, with no look; a resting
// stick costs no read at all, neither of Kestrane's own file on the node (its reader waits) nor
// of SDL's (no call into SDL's update, which also polls udev twice); an unplugging wakes it too.
// Unwatched (as kestrane-cli record reads), every look brings SDL up to date.
TEST_F(KernelStickTest, AWatchedStickWakesOnItsReportsAndCostsNothingAtRest) {
  ASSERT_TRUE(OpenByName("Fake Force Stick"));
  std::atomic<int> woken{0};
  ASSERT_TRUE(device.OpenDevice()->WatchReports([&] { ++woken; }));
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return stick->ParkedReads() == 1; }));
  StickSample s;
  const std::pair<std::int32_t, std::int32_t> moves[] = {{0, 0}, {4095, 65535}, {0, 0}};
  for (const auto& [x, read] : moves) {
    const int before = woken.load();
    stick->Move(ABS_X, x);
    ASSERT_TRUE(FakeKernel::WaitFor([&] { return woken.load() > before; }));
    ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
    EXPECT_EQ(s.X, read);
  }
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return stick->ParkedReads() == 1; }));
  const std::size_t reads = stick->Reads(), interrupted = stick->InterruptedReads();
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
    EXPECT_EQ(s.X, 0);
  }
  // The reader reads again only after the fake's own interruptions.
  EXPECT_EQ(stick->Reads(), reads + (stick->InterruptedReads() - interrupted));

  const int before = woken.load();
  stick->Unplug();
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return woken.load() > before; }));
  EXPECT_EQ(device.OpenDevice()->Read(s), InputStatus::DeviceLost);
}

TEST_F(KernelStickTest, AnUnwatchedStickIsBroughtUpToDateOnEveryLook) {
  ASSERT_TRUE(OpenByName("Fake Force Stick"));
  StickSample s;
  const std::size_t reads = stick->Reads();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_GE(stick->Reads(), reads + 5);  // SDL's update reads its file each time
  EXPECT_EQ(stick->ParkedReads(), 0u);
  stick->Move(ABS_X, 0);
  ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_EQ(s.X, 0);
}

// The engine reads a watched stick from its own reports, numbered as SDL numbers them: after
// every step, the device's reading equals SDL's own, and the device asked SDL nothing. Where
// SDL's numbering differs from what the node says (SDL skips ABS_BRAKE when a stick has two
// digital hats), the device reads through SDL instead.
struct ReadingStep {
  enum { kMove, kPress, kDropped } kind;
  std::uint16_t code;
  std::int32_t value;
};

struct ReadingCase {
  const char* what;
  test::FakeStickSetup setup;
  bool read_from_reports;
  std::vector<ReadingStep> steps;
};

ReadingCase PadCase(const char* what, bool brake) {
  ReadingCase c{what, {}, !brake, {}};
  c.setup.name = "Fake Pad";
  c.setup.axes = {{ABS_X, -32768, 32767, 0}, {ABS_Z, 0, 1023, 0},   {ABS_HAT0X, -127, 127, 0},
                  {ABS_HAT0Y, -127, 127, 0}, {ABS_HAT1X, -1, 1, 0}, {ABS_HAT1Y, -1, 1, 0}};
  if (brake) c.setup.axes.push_back({ABS_BRAKE, 0, 255, 0});
  c.setup.buttons = {BTN_0, BTN_TRIGGER, BTN_A, BTN_TRIGGER_HAPPY1};
  c.steps = {{ReadingStep::kMove, ABS_X, -32768},
             {ReadingStep::kMove, ABS_X, 32767},
             {ReadingStep::kMove, ABS_X, 12345},
             {ReadingStep::kMove, ABS_Z, 1023},
             {ReadingStep::kMove, ABS_Z, 511},
             {ReadingStep::kMove, ABS_HAT0X, 30},
             {ReadingStep::kMove, ABS_HAT0X, 50},
             {ReadingStep::kMove, ABS_HAT0Y, -127},
             {ReadingStep::kMove, ABS_HAT0Y, -40},
             {ReadingStep::kMove, ABS_HAT1X, -1},
             {ReadingStep::kMove, ABS_HAT1Y, 1},
             {ReadingStep::kPress, BTN_0, 1},
             {ReadingStep::kPress, BTN_TRIGGER_HAPPY1, 1},
             {ReadingStep::kPress, BTN_A, 1},
             {ReadingStep::kPress, BTN_0, 0},
             {ReadingStep::kDropped, ABS_Z, 700}};
  if (brake) c.steps.push_back({ReadingStep::kMove, ABS_BRAKE, 255});
  return c;
}

TEST(KernelStickReading, ReportsReadAsSdlReadsThem) {
  KESTRANE_NEED_FAKE_KERNEL();
  std::vector<ReadingCase> cases;
  cases.push_back({"the default stick",
                   {},
                   true,
                   {{ReadingStep::kMove, ABS_X, 0},
                    {ReadingStep::kMove, ABS_X, 4095},
                    {ReadingStep::kMove, ABS_X, 2048},
                    {ReadingStep::kMove, ABS_X, 1},
                    {ReadingStep::kMove, ABS_Y, 4095},
                    {ReadingStep::kMove, ABS_Y, 3071},
                    {ReadingStep::kMove, ABS_RZ, 255},
                    {ReadingStep::kMove, ABS_RZ, 127},
                    {ReadingStep::kMove, ABS_THROTTLE, 200},
                    {ReadingStep::kMove, ABS_HAT0X, 1},
                    {ReadingStep::kMove, ABS_HAT0Y, -1},
                    {ReadingStep::kMove, ABS_HAT0X, 0},
                    {ReadingStep::kPress, BTN_TRIGGER, 1},
                    {ReadingStep::kPress, BTN_BASE6, 1},
                    {ReadingStep::kPress, BTN_TRIGGER, 0},
                    {ReadingStep::kDropped, ABS_Y, 17},
                    {ReadingStep::kDropped, ABS_X, 4000}}});
  cases.push_back(PadCase("a pad with buttons below the joystick's and two kinds of hat", false));
  cases.push_back(PadCase("the same pad with a brake axis SDL leaves out", true));

  for (const ReadingCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeKernel kernel;
    FakeStick& stick = kernel.AddStick(c.setup);
    auto platform = CreateSdlInputPlatform(false);
    test::RecordingMessages messages;
    ForceFeedback effects;
    JoystickDevice device{*platform, messages, effects};
    Settings settings = DefaultSettings();
    ShiftState state;
    ASSERT_TRUE(device.StartInput());
    ASSERT_TRUE(device.ListJoysticks());
    device.SelectSavedJoystickByName(c.setup.name);
    ASSERT_TRUE(device.OpenJoystick(settings, state));
    InputDevice* d = device.OpenDevice();
    std::atomic<int> reports{0};
    ASSERT_TRUE(d->WatchReports([&] { ++reports; }));
    SDL_Joystick* sdl = SDL_JoystickOpen(0);  // the device's own, counted once more
    ASSERT_NE(sdl, nullptr);
    for (const ReadingStep& step : c.steps) {
      SCOPED_TRACE(testing::Message() << "code " << step.code << " value " << step.value);
      const int before = reports.load();
      if (step.kind == ReadingStep::kPress) {
        stick.Press(step.code, step.value != 0);
      } else if (step.kind == ReadingStep::kMove) {
        stick.Move(step.code, step.value);
      } else {
        stick.MoveDropped(step.code, step.value);
      }
      ASSERT_TRUE(FakeKernel::WaitFor([&] { return reports.load() > before; }));
      const std::size_t sdl_reads = stick.Reads() - stick.ReadsOfBlockingFiles();
      StickSample read;
      d->Poll();
      ASSERT_EQ(d->Read(read), InputStatus::Ok);
      EXPECT_EQ(stick.Reads() - stick.ReadsOfBlockingFiles() == sdl_reads, c.read_from_reports);

      SDL_JoystickUpdate();
      SdlReading by_sdl;
      for (int i = 0; i < SDL_JoystickNumAxes(sdl); ++i)
        by_sdl.AddAxis(SDL_JoystickGetAxis(sdl, i));
      for (int i = 0; i < SDL_JoystickNumButtons(sdl); ++i) {
        by_sdl.AddButton(SDL_JoystickGetButton(sdl, i));
      }
      for (int i = 0; i < SDL_JoystickNumHats(sdl); ++i) by_sdl.AddHat(SDL_JoystickGetHat(sdl, i));
      EXPECT_EQ(read, SampleFromReading(by_sdl));
    }
    SDL_JoystickClose(sdl);
    device.CloseJoystick();
    device.StopInput();
  }
}

TEST(KernelStickWithoutSprings, SaysSoOnceAndLeavesTheSticksOwnCentringOn) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStickSetup setup;
  setup.force_feedback = {FF_CONSTANT, FF_AUTOCENTER};  // as some wheels and sticks offer
  FakeStick& stick = kernel.AddStick(setup);
  auto platform = CreateSdlInputPlatform(false);
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device{*platform, messages, effects};
  Settings settings = DefaultSettings();
  settings.DAMPER_ENABLED = true;
  ShiftState state;
  ASSERT_TRUE(device.StartInput());
  for (int open = 0; open < 2; ++open) {
    ASSERT_TRUE(device.ListJoysticks());
    device.SelectFirstIfNone();
    ASSERT_TRUE(device.OpenJoystick(settings, state));
    device.CloseJoystick();
  }
  EXPECT_EQ(messages.shown,
            (std::vector<std::string>{"Fake Force Stick: this stick has no spring effect; force "
                                      "feedback is off"}));
  EXPECT_TRUE(stick.Uploads().empty());  // not even the damper
  EXPECT_EQ(stick.Autocentre(), -1);     // never switched off
  device.StopInput();
}

}  // namespace
}  // namespace kestrane
