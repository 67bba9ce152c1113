// The device layer through the real SDL path, with SDL virtual joysticks standing in for
// hardware: listing, choosing, opening, reading and unplugging.
#include "device/sdl_input.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "device/joystick_device.h"
#include "tests/support/recording_messages.h"

namespace kestrane {
namespace {

struct VirtualShape {
  int axes = 8;
  int buttons = 32;
  int hats = 0;
};

class SdlInputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device.StartInput()); }
  void TearDown() override {
    for (SDL_Joystick* j : handles_) SDL_JoystickClose(j);
    device.StopInput();
  }

  // Attaches a virtual joystick and keeps an opened handle to set its values.
  SDL_Joystick* Attach(const char* name, VirtualShape shape = {}) {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
    desc.naxes = static_cast<Uint16>(shape.axes);
    desc.nbuttons = static_cast<Uint16>(shape.buttons);
    desc.nhats = static_cast<Uint16>(shape.hats);
    desc.name = name;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* j = SDL_JoystickOpen(index);
    EXPECT_NE(j, nullptr);
    handles_.push_back(j);
    return j;
  }
  void Detach(SDL_Joystick* j) {
    const SDL_JoystickID instance = SDL_JoystickInstanceID(j);
    std::erase(handles_, j);
    SDL_JoystickClose(j);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == instance) {
        ASSERT_EQ(SDL_JoystickDetachVirtual(i), 0);
        return;
      }
    }
    FAIL() << "virtual joystick not found";
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : device.List()) names.push_back(e.name);
    return names;
  }
  bool OpenByName(const std::string& name) {
    device.SelectSavedJoystickByName(name);
    device.SelectFirstIfNone();
    if (device.OpenJoystick(settings, state)) return true;
    device.CloseJoystick();
    return false;
  }
  StickSample ReadAfterPoll() {
    StickSample sample;
    device.OpenDevice()->Poll();
    EXPECT_EQ(device.OpenDevice()->Read(sample), InputStatus::Ok);
    return sample;
  }

  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform(false);
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device{*platform, messages, effects};
  Settings settings = DefaultSettings();
  ShiftState state;

 private:
  std::vector<SDL_Joystick*> handles_;
};

TEST(SdlAxisMapping, CentreAndBothEndsOfTheTravel) {
  EXPECT_EQ(SampleAxisFromSdl(0), 32767);
  EXPECT_EQ(SampleAxisFromSdl(-32768), 0);
  EXPECT_EQ(SampleAxisFromSdl(-32767), 0);
  EXPECT_EQ(SampleAxisFromSdl(-32766), 1);
  EXPECT_EQ(SampleAxisFromSdl(-1), 32766);
  EXPECT_EQ(SampleAxisFromSdl(1), 32768);
  EXPECT_EQ(SampleAxisFromSdl(32766), 65533);
  EXPECT_EQ(SampleAxisFromSdl(32767), 65535);
  // Never decreasing, one sample step per SDL step between the ends.
  for (int v = -32766; v <= 32766; ++v) {
    ASSERT_EQ(SampleAxisFromSdl(static_cast<std::int16_t>(v)) -
                  SampleAxisFromSdl(static_cast<std::int16_t>(v - 1)),
              1)
        << v;
  }
}

TEST(SdlAxisMapping, SampleUnitsDriveTheVirtualStickBack) {
  for (std::int32_t s : {0, 1, 100, 32766, 32767, 32768, 65533, 65535}) {
    EXPECT_EQ(SampleAxisFromSdl(SdlAxisFromSample(s)), s) << s;
  }
  EXPECT_EQ(SdlAxisFromSample(32767), 0);
  EXPECT_EQ(SdlAxisFromSample(-500), -32768);
  EXPECT_EQ(SdlAxisFromSample(70000), 32767);
}

TEST(SdlHatMapping, PointOfViewInHundredthsOfDegrees) {
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_CENTERED), 0xFFFFFFFFu);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_UP), 0u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_RIGHTUP), 4500u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_RIGHT), 9000u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_RIGHTDOWN), 13500u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_DOWN), 18000u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_LEFTDOWN), 22500u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_LEFT), 27000u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_LEFTUP), 31500u);
  EXPECT_EQ(PovFromSdlHat(SDL_HAT_UP | SDL_HAT_DOWN), 0xFFFFFFFFu);
}

TEST_F(SdlInputTest, NothingAttachedListsNothingAndOpensNothing) {
  ASSERT_TRUE(device.ListJoysticks());
  // These machines have no input devices; only check what SDL itself reports.
  EXPECT_EQ(device.List().size(), static_cast<std::size_t>(SDL_NumJoysticks()));
  if (!device.List().empty()) GTEST_SKIP() << "this machine has joysticks attached";
  device.SelectSavedJoystickByName("Anything");
  device.SelectFirstIfNone();
  EXPECT_FALSE(device.OpenJoystick(settings, state));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(platform->GetVirtualStick(), nullptr);
}

TEST_F(SdlInputTest, ListsInPlatformOrderWithDistinctIdentifiers) {
  const std::size_t before = static_cast<std::size_t>(SDL_NumJoysticks());
  Attach("Wheel");
  Attach("Gear Stick");
  Attach("Pad");
  ASSERT_TRUE(device.ListJoysticks());
  const auto names = Names();
  ASSERT_EQ(names.size(), before + 3);
  EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
            (std::vector<std::string>{"Wheel", "Gear Stick", "Pad"}));
  std::set<std::string> ids;
  for (const auto& e : device.List()) {
    EXPECT_FALSE(e.id.empty());
    ids.insert(e.id);
  }
  EXPECT_EQ(ids.size(), names.size());
  EXPECT_FALSE(device.List().back().force_feedback);  // virtual joysticks have no haptics
}

TEST_F(SdlInputTest, SavedNameMatchingOnListedJoysticks) {
  if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "this machine has joysticks attached";
  Attach("Pad");
  Attach("Gear Stick");
  Attach("GEAR STICK");
  ASSERT_TRUE(device.ListJoysticks());
  device.SelectSavedJoystickByName("gear stick");
  EXPECT_EQ(device.Selection(), 1);
  device.SelectSavedJoystickByName("Pedals");
  EXPECT_EQ(device.Selection(), -1);
  device.SelectFirstIfNone();
  EXPECT_EQ(device.Selection(), 0);
  // The one chosen by name is the one that opens.
  device.SelectSavedJoystickByName("GEAR stick");
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_EQ(device.OpenDeviceId(), device.List()[1].id);
}

TEST_F(SdlInputTest, ReadsAxesButtonsAndHatsSetOnTheVirtualStick) {
  SDL_Joystick* j = Attach("Gear Stick", {8, 32, 4});
  ASSERT_TRUE(device.ListJoysticks());
  ASSERT_TRUE(OpenByName("Gear Stick"));
  EXPECT_TRUE(messages.shown.empty());  // no haptics: no autocentre to switch off

  const StickSample rest = ReadAfterPoll();
  EXPECT_EQ(rest.X, 32767);
  EXPECT_EQ(rest.Slider[1], 32767);
  EXPECT_EQ(rest.Pov[0], 0xFFFFFFFFu);

  const std::int16_t sdl[8] = {-32768, 32767, 0, -1, 1, 12345, -20000, 32766};
  for (int a = 0; a < 8; ++a) SDL_JoystickSetVirtualAxis(j, a, sdl[a]);
  for (int b : {0, 5, 31}) SDL_JoystickSetVirtualButton(j, b, SDL_PRESSED);
  SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_UP);
  SDL_JoystickSetVirtualHat(j, 1, SDL_HAT_RIGHTDOWN);
  SDL_JoystickSetVirtualHat(j, 2, SDL_HAT_LEFT);

  const StickSample s = ReadAfterPoll();
  EXPECT_EQ(s.X, 0);
  EXPECT_EQ(s.Y, 65535);
  EXPECT_EQ(s.Z, 32767);
  EXPECT_EQ(s.Rx, 32766);
  EXPECT_EQ(s.Ry, 32768);
  EXPECT_EQ(s.Rz, 45112);
  EXPECT_EQ(s.Slider[0], 12767);
  EXPECT_EQ(s.Slider[1], 65533);
  for (int b = 0; b < 32; ++b) {
    EXPECT_EQ(s.Buttons[b], (b == 0 || b == 5 || b == 31) ? 0x80 : 0) << b;
  }
  EXPECT_EQ(s.Pov, (std::array<std::uint32_t, 4>{0, 13500, 27000, 0xFFFFFFFFu}));

  SDL_JoystickSetVirtualButton(j, 5, SDL_RELEASED);
  EXPECT_EQ(ReadAfterPoll().Buttons[5], 0);
}

TEST_F(SdlInputTest, AbsentAxesReadAsTheMiddle) {
  SDL_Joystick* j = Attach("Two Axes", {2, 3, 0});
  ASSERT_TRUE(device.ListJoysticks());
  ASSERT_TRUE(OpenByName("Two Axes"));
  SDL_JoystickSetVirtualAxis(j, 0, 1000);
  SDL_JoystickSetVirtualAxis(j, 1, -1000);
  SDL_JoystickSetVirtualButton(j, 2, SDL_PRESSED);
  const StickSample s = ReadAfterPoll();
  EXPECT_EQ(s.X, 33767);
  EXPECT_EQ(s.Y, 31767);
  for (std::int32_t v : {s.Z, s.Rx, s.Ry, s.Rz, s.Slider[0], s.Slider[1]}) EXPECT_EQ(v, 32767);
  EXPECT_EQ(s.Buttons[2], 0x80);
  EXPECT_EQ(s.Buttons[3], 0);
  EXPECT_EQ(s.Pov[0], 0xFFFFFFFFu);
}

TEST_F(SdlInputTest, ReadWithoutPollStillSeesNewValues) {
  SDL_Joystick* j = Attach("Gear Stick");
  ASSERT_TRUE(device.ListJoysticks());
  ASSERT_TRUE(OpenByName("Gear Stick"));
  SDL_JoystickSetVirtualAxis(j, 1, -32768);
  StickSample s;
  ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_EQ(s.Y, 0);
}

TEST_F(SdlInputTest, JoystickEventsNeverPileUpInSdlsQueue) {
  SDL_Joystick* j = Attach("Gear Stick");
  ASSERT_TRUE(device.ListJoysticks());
  ASSERT_TRUE(OpenByName("Gear Stick"));
  for (int i = 0; i < 2000; ++i) {
    SDL_JoystickSetVirtualAxis(j, i % 8, static_cast<Sint16>(i * 7));
    SDL_JoystickSetVirtualButton(j, i % 32, static_cast<Uint8>(i & 1));
    device.OpenDevice()->Poll();
  }
  SDL_Joystick* other = Attach("Plugged Later");
  Detach(other);
  device.OpenDevice()->Poll();
  EXPECT_EQ(
      SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_JOYAXISMOTION, SDL_CONTROLLERAXISMOTION - 1),
      0);
}

TEST_F(SdlInputTest, UnpluggedJoystickFailsReadsQuietlyAndIsNotReopened) {
  SDL_Joystick* j = Attach("Gear Stick");
  ASSERT_TRUE(device.ListJoysticks());
  ASSERT_TRUE(OpenByName("Gear Stick"));
  ReadAfterPoll();
  Detach(j);
  StickSample s;
  for (int i = 0; i < 3; ++i) {
    device.OpenDevice()->Poll();
    EXPECT_NE(device.OpenDevice()->Read(s), InputStatus::Ok);
  }
  // Plugged in again it is a new device to SDL; the open one stays gone.
  Attach("Gear Stick");
  device.OpenDevice()->Poll();
  EXPECT_NE(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_TRUE(device.IsJoystickOpen());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SdlInputTest, JoystickGoneBetweenListingAndOpening) {
  SDL_Joystick* j = Attach("Gear Stick");
  ASSERT_TRUE(device.ListJoysticks());
  device.SelectSavedJoystickByName("Gear Stick");
  Detach(j);
  EXPECT_FALSE(device.OpenJoystick(settings, state));
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't open device Gear Stick"});
  device.CloseJoystick();
}

TEST_F(SdlInputTest, SdlLeavesTheSignalHandlersAlone) {
#if defined(_WIN32)
  for (int sig : {SIGINT, SIGTERM}) {
    const auto previous = std::signal(sig, SIG_DFL);
    EXPECT_EQ(previous, SIG_DFL) << sig;
  }
#else
  struct sigaction current {};
  ASSERT_EQ(sigaction(SIGINT, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, SIG_DFL);
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, SIG_DFL);
#endif
}

TEST(SdlVirtualStick, ListedOpenedAndDrivenLikeHardware) {
  auto platform = CreateSdlInputPlatform(true);
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device(*platform, messages, effects);
  ASSERT_TRUE(device.StartInput());
  ASSERT_TRUE(device.ListJoysticks());
  VirtualStick* stick = platform->GetVirtualStick();
  ASSERT_NE(stick, nullptr);
  ASSERT_FALSE(device.List().empty());
  EXPECT_EQ(device.List().back().name, kVirtualStickName);
  EXPECT_FALSE(device.List().back().force_feedback);

  Settings settings = DefaultSettings();
  ShiftState state;
  device.SelectSavedJoystickByName("kestrane virtual stick");
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_TRUE(messages.shown.empty());

  StickSample s;
  device.OpenDevice()->Poll();
  ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_EQ(s.X, 32767);
  EXPECT_EQ(s.Y, 32767);

  stick->SetAxis(0, 11469);
  stick->SetAxis(1, 0);
  stick->SetAxis(7, 65535);
  stick->SetButton(31, true);
  stick->SetAxis(8, 100);      // no such axis
  stick->SetButton(32, true);  // no such button
  device.OpenDevice()->Poll();
  ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_EQ(s.X, 11469);
  EXPECT_EQ(s.Y, 0);
  EXPECT_EQ(s.Slider[1], 65535);
  EXPECT_EQ(s.Buttons[31], 0x80);
  EXPECT_EQ(s.Buttons[0], 0);

  // Unplugged: the read says it is gone; nothing comes back while it is away.
  const std::string first_id = device.OpenDeviceId();
  stick->Unplug();
  device.OpenDevice()->Poll();
  EXPECT_EQ(device.OpenDevice()->Read(s), InputStatus::DeviceLost);
  device.LoseJoystick();
  EXPECT_FALSE(device.Reconnect(settings, state));
  EXPECT_FALSE(device.IsJoystickOpen());
  // Plugged in again under a new identifier: found by its name and opened as it was.
  ASSERT_TRUE(stick->Plug());
  ASSERT_TRUE(device.Reconnect(settings, state));
  EXPECT_NE(device.OpenDeviceId(), first_id);
  stick->SetAxis(0, 500);
  device.OpenDevice()->Poll();
  ASSERT_EQ(device.OpenDevice()->Read(s), InputStatus::Ok);
  EXPECT_EQ(s.X, 500);
  EXPECT_TRUE(messages.shown.empty());
  device.StopInput();
}

}  // namespace
}  // namespace kestrane
