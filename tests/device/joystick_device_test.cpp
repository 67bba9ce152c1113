// The device layer's logic against the scripted platform: every message, every failure path and
// the order of the platform calls.
#include "device/joystick_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scripted_haptic.h"
#include "tests/support/scripted_input.h"

namespace kestrane {
namespace {

using Op = ScriptedInput::Op;

// A force-feedback device that writes its calls into the platform's log, so that the order of
// effect and device calls can be checked together.
class LoggingHaptic final : public HapticPort {
 public:
  explicit LoggingHaptic(std::vector<std::string>& log) : log_(log) {}
  std::int32_t CreateEffect(EffectType, const EffectRecord&, EffectId& id) override {
    id = next_++;
    log_.push_back("effect create " + std::to_string(id));
    return 0;
  }
  void StartEffect(EffectId id) override { log_.push_back("effect start " + std::to_string(id)); }
  void StopEffect(EffectId id) override { log_.push_back("effect stop " + std::to_string(id)); }
  void SetEffectParameters(EffectId id, const EffectRecord&) override {
    log_.push_back("effect set " + std::to_string(id));
  }
  void ReleaseEffect(EffectId id) override {
    log_.push_back("effect release " + std::to_string(id));
  }

 private:
  std::vector<std::string>& log_;
  EffectId next_ = 1;
};

class JoystickDeviceTest : public ::testing::Test {
 protected:
  JoystickDeviceTest() {
    ResetShiftState(state);
    input.joysticks = {{"Stick A", "id-a", true}, {"Stick B", "id-b", false}};
    input.haptic = &haptic;
  }

  // Start-up as far as the open: service up, list, first joystick selected.
  void StartAndSelectFirst() {
    ASSERT_TRUE(device.StartInput());
    ASSERT_TRUE(device.ListJoysticks());
    device.SelectFirstIfNone();
    input.log.clear();
  }
  int Count(const std::string& entry) const {
    return static_cast<int>(std::count(input.log.begin(), input.log.end(), entry));
  }
  int Creations() const {
    return static_cast<int>(std::count_if(haptic.calls.begin(), haptic.calls.end(), [](auto& c) {
      return c.op == ScriptedHaptic::Op::Create;
    }));
  }

  ScriptedInput input;
  ScriptedHaptic haptic;
  LoggingHaptic logging{input.log};  // outlives the effects that may point to it
  test::RecordingMessages messages;
  ForceFeedback effects;
  JoystickDevice device{input, messages, effects};
  Settings settings = DefaultSettings();
  ShiftState state;
};

TEST_F(JoystickDeviceTest, StartInputFailuresShowTheirMessage) {
  input.Fail(Op::StartLibrary);
  EXPECT_FALSE(device.StartInput());
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't initialize DirectX8"});

  input.Heal(Op::StartLibrary);
  input.Fail(Op::StartService);
  messages.shown.clear();
  EXPECT_FALSE(device.StartInput());
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't initialize DirectXInput8"});
}

TEST_F(JoystickDeviceTest, StartAndListQuietlyInPlatformOrder) {
  input.joysticks.push_back({"Stick A", "id-a2", false});
  EXPECT_TRUE(device.StartInput());
  EXPECT_TRUE(device.ListJoysticks());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(device.List(), input.joysticks);
  EXPECT_EQ(device.Selection(), -1);
}

TEST_F(JoystickDeviceTest, ListFailureShowsItsMessage) {
  ASSERT_TRUE(device.StartInput());
  input.Fail(Op::List);
  EXPECT_FALSE(device.ListJoysticks());
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't enumerate devices"});
  EXPECT_TRUE(device.List().empty());
}

TEST_F(JoystickDeviceTest, SavedNameIsMatchedWholeAndWithoutCase) {
  input.joysticks = {{"Pad", "1", false},
                     {"Gear Stick", "2", false},
                     {"gear stick", "3", false},
                     {"Wheel", "4", false}};
  ASSERT_TRUE(device.StartInput());
  ASSERT_TRUE(device.ListJoysticks());

  device.SelectSavedJoystickByName("GEAR STICK");
  EXPECT_EQ(device.Selection(), 1);  // the first of the two equal names
  device.SelectSavedJoystickByName("wheel");
  EXPECT_EQ(device.Selection(), 3);
  device.SelectSavedJoystickByName("Gear");  // a prefix is no match
  EXPECT_EQ(device.Selection(), -1);
  device.SelectSavedJoystickByName("Wheel ");
  EXPECT_EQ(device.Selection(), -1);
  device.SelectFirstIfNone();
  EXPECT_EQ(device.Selection(), 0);

  // The second step keeps a selection made by the first.
  device.SelectSavedJoystickByName("Wheel");
  device.SelectFirstIfNone();
  EXPECT_EQ(device.Selection(), 3);

  device.SetSelection(7);
  EXPECT_EQ(device.Selection(), -1);
  device.SetSelection(2);
  EXPECT_EQ(device.Selection(), 2);
}

TEST_F(JoystickDeviceTest, NoJoystickAttachedOpensNothingQuietly) {
  input.joysticks.clear();
  ASSERT_TRUE(device.StartInput());
  ASSERT_TRUE(device.ListJoysticks());
  device.SelectSavedJoystickByName("");
  device.SelectFirstIfNone();
  EXPECT_EQ(device.Selection(), -1);
  input.log.clear();
  EXPECT_FALSE(device.OpenJoystick(settings, state));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(input.log.empty());
  EXPECT_FALSE(device.IsJoystickOpen());
  EXPECT_EQ(device.OpenDevice(), nullptr);
}

TEST_F(JoystickDeviceTest, OpenRunsTheStepsInOrderAndBuildsTheEffects) {
  StartAndSelectFirst();
  settings.DAMPER_ENABLED = true;
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(input.log, (std::vector<std::string>{"open id-a", "claim exclusive", "autocenter"}));
  EXPECT_TRUE(device.IsJoystickOpen());
  EXPECT_EQ(device.OpenDeviceId(), "id-a");
  EXPECT_EQ(Creations(), 4);  // cross, hole, damper, center
  EXPECT_NE(effects.Slot(kDamperSlot), kNoEffect);
}

TEST_F(JoystickDeviceTest, AccessModeFollowsTheSetting) {
  StartAndSelectFirst();
  settings.EXCLUSIVE_ACCESS = false;
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_EQ(Count("claim shared"), 1);
  EXPECT_EQ(Count("claim exclusive"), 0);
}

TEST_F(JoystickDeviceTest, WithoutForceFeedbackAutocentreIsNeverTouched) {
  StartAndSelectFirst();
  input.Fail(Op::DisableAutocenter);
  settings.FORCE_FEEDBACK = false;
  ApplyForceFeedbackSwitch(settings);
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_EQ(Count("autocenter"), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Creations(), 0);
}

TEST_F(JoystickDeviceTest, AutocentreFailureIsShownAndOpeningGoesOn) {
  StartAndSelectFirst();
  input.Fail(Op::DisableAutocenter);
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't disable autocenter"});
  EXPECT_TRUE(device.IsJoystickOpen());
  EXPECT_EQ(device.OpenDeviceId(), "id-a");
  EXPECT_EQ(Creations(), 3);
}

TEST_F(JoystickDeviceTest, DeviceWithoutForceFeedbackOpensWithoutEffects) {
  StartAndSelectFirst();
  input.haptic = nullptr;
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  for (int slot = 0; slot < kEffectSlots; ++slot) {
    EXPECT_EQ(effects.Slot(static_cast<EffectSlot>(slot)), kNoEffect);
  }
}

struct OpenFailure {
  Op op;
  const char* message;
  bool device_left;  // the device object exists until the caller's CloseJoystick
};

class OpenFailureTest : public JoystickDeviceTest,
                        public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, ShowsItsMessageAndLeavesTheReleaseToClose) {
  const OpenFailure& f = GetParam();
  StartAndSelectFirst();
  device.SetSelection(1);
  input.Fail(f.op);
  EXPECT_FALSE(device.OpenJoystick(settings, state));
  EXPECT_EQ(messages.shown, std::vector<std::string>{f.message});
  EXPECT_EQ(device.IsJoystickOpen(), f.device_left);
  EXPECT_EQ(input.devices_alive, f.device_left ? 1 : 0);
  EXPECT_EQ(device.OpenDeviceId(), "");
  EXPECT_EQ(Creations(), 0);
  EXPECT_EQ(Count("autocenter"), 0);

  device.CloseJoystick();
  EXPECT_FALSE(device.IsJoystickOpen());
  EXPECT_EQ(input.devices_alive, 0);
  EXPECT_EQ(messages.shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, OpenFailureTest,
    ::testing::Values(OpenFailure{Op::Open, "Can't open device Stick B", false},
                      OpenFailure{Op::ClaimBusy, "Can't open non_exlusive acces to the device",
                                  true},
                      OpenFailure{Op::ClaimLost, "Can't acquire device", true}));

TEST_F(JoystickDeviceTest, SharedAccessRefusalHasTheSameMessage) {
  StartAndSelectFirst();
  settings.EXCLUSIVE_ACCESS = false;
  input.Fail(Op::ClaimBusy);
  EXPECT_FALSE(device.OpenJoystick(settings, state));
  EXPECT_EQ(messages.shown,
            std::vector<std::string>{"Can't open non_exlusive acces to the device"});
}

TEST_F(JoystickDeviceTest, OpeningTheOpenJoystickAgainDoesNothing) {
  StartAndSelectFirst();
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  const auto log = input.log;
  const auto haptic_calls = haptic.calls.size();
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_EQ(input.log, log);
  EXPECT_EQ(haptic.calls.size(), haptic_calls);
  EXPECT_EQ(input.devices_alive, 1);
}

TEST_F(JoystickDeviceTest, CloseReleasesTheEffectsBeforeTheDevice) {
  input.haptic = &logging;
  StartAndSelectFirst();
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  input.log.clear();
  device.CloseJoystick();
  EXPECT_EQ(input.log, (std::vector<std::string>{"effect release 1", "effect release 2",
                                                 "effect release 3", "close"}));
  EXPECT_FALSE(device.IsJoystickOpen());
  EXPECT_EQ(device.OpenDeviceId(), "id-a");  // kept by the close
  input.log.clear();
  device.CloseJoystick();  // harmless when nothing is open
  EXPECT_TRUE(input.log.empty());
}

TEST_F(JoystickDeviceTest, OpeningAnotherJoystickClosesTheFirst) {
  input.haptic = &logging;
  StartAndSelectFirst();
  settings.HOLE_ENABLED = settings.CENTER_ENABLED = false;
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  device.SetSelection(1);
  input.log.clear();
  EXPECT_TRUE(device.OpenJoystick(settings, state));
  EXPECT_EQ(input.log,
            (std::vector<std::string>{"effect release 1", "close", "open id-b", "claim exclusive",
                                      "autocenter", "effect create 2"}));
  EXPECT_EQ(device.OpenDeviceId(), "id-b");
  EXPECT_EQ(input.devices_alive, 1);
}

TEST_F(JoystickDeviceTest, PollAndReadGoToTheDevice) {
  StartAndSelectFirst();
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  input.sample.X = 123;
  input.sample.Buttons[4] = 0x80;
  input.log.clear();
  device.OpenDevice()->Poll();
  StickSample sample;
  EXPECT_EQ(device.OpenDevice()->Read(sample), InputStatus::Ok);
  EXPECT_EQ(sample.X, 123);
  EXPECT_EQ(sample.Buttons[4], 0x80);
  EXPECT_EQ(input.log, (std::vector<std::string>{"poll", "read"}));
}

TEST_F(JoystickDeviceTest, FailedReadsReturnTheStatusWithoutReopening) {
  StartAndSelectFirst();
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  input.Fail(Op::Read);
  input.log.clear();
  StickSample sample;
  for (int i = 0; i < 3; ++i) {
    device.OpenDevice()->Poll();
    EXPECT_EQ(device.OpenDevice()->Read(sample), InputStatus::DeviceLost);
  }
  EXPECT_EQ(input.log, (std::vector<std::string>{"poll", "read", "poll", "read", "poll", "read"}));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(device.IsJoystickOpen());
}

TEST_F(JoystickDeviceTest, StopClosesTheDeviceThenStopsThePlatform) {
  input.haptic = &logging;
  settings.CROSS_ENABLED = settings.HOLE_ENABLED = false;
  StartAndSelectFirst();
  ASSERT_TRUE(device.OpenJoystick(settings, state));
  input.log.clear();
  device.StopInput();
  EXPECT_EQ(input.log, (std::vector<std::string>{"effect release 1", "close", "stop"}));
  input.log.clear();
  device.StopInput();
  EXPECT_TRUE(input.log.empty());
}

TEST_F(JoystickDeviceTest, StopAfterAFailedStartStillStopsThePlatform) {
  input.Fail(Op::StartService);
  ASSERT_FALSE(device.StartInput());
  input.log.clear();
  device.StopInput();
  EXPECT_EQ(input.log, std::vector<std::string>{"stop"});
}

}  // namespace
}  // namespace kestrane
