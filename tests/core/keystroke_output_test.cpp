#include "core/keystroke_output.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fake_key_sink.h"
#include "tests/support/test_rig.h"
#include "config/setting_keys.h"

namespace kestrane {
namespace {

using test::Rig;

struct Fixture {
  Settings settings = DefaultSettings();
  ShiftState state;
  test::FakeKeySink sink;
  KeyOutput keys{sink};
  std::string Change(Gear to) {
    sink.events.clear();
    state.CurrentGear = to;
    if (state.SentGear != state.CurrentGear) SendGearKeys(state, settings, keys);
    return sink.Trace();
  }
};

TEST(Mode0, HoldsGearKeyAndReleasesInNeutral) {
  Fixture f;
  EXPECT_EQ(f.Change(0), "+56#9");
  EXPECT_EQ(f.Change(-1), "-56#9");
  EXPECT_EQ(f.Change(3), "+51#4");
  EXPECT_EQ(f.Change(4), "-51#4 +52#5");
  EXPECT_EQ(f.state.SentGear, 4);
  ASSERT_TRUE(f.keys.Held());
  EXPECT_EQ(f.keys.Held()->vk, 52);
}

TEST(Mode1, TapsGearOrNeutralKey) {
  Fixture f;
  f.settings.SYM_TYPE = 1;
  EXPECT_EQ(f.Change(3), "+51#4 w10 -51#4");
  EXPECT_EQ(f.Change(-1), "+78#49 w10 -78#49");
  f.settings.SYM_KEY_TIME = 0;
  EXPECT_EQ(f.Change(7), "+55#8 -55#8");
  EXPECT_FALSE(f.keys.Held());
}

TEST(Mode2, StepsAlongDefaultSequence) {
  Fixture f;
  f.settings.SYM_TYPE = 2;
  EXPECT_EQ(f.Change(1), "+33#73 w10 -33#73");
  EXPECT_EQ(f.Change(-1), "+34#81 w10 -34#81");
  EXPECT_EQ(f.Change(0), "+34#81 w10 -34#81");
  f.state.SentGear = 3;
  EXPECT_EQ(f.Change(0),
            "+34#81 w10 -34#81 w10 +34#81 w10 -34#81 w10 +34#81 w10 -34#81 w10 +34#81 w10 -34#81");
  f.settings.SYM_SPACE_TIME = 0;
  f.settings.SYM_KEY_TIME = -5;
  EXPECT_EQ(f.Change(2), "+33#73 -33#73 +33#73 -33#73 +33#73 -33#73");
}

TEST(Mode2, MissingLettersAndRepeats) {
  Fixture f;
  f.settings.SYM_TYPE = 2;
  f.settings.SetSequence("N123456");  // no R
  EXPECT_EQ(f.Change(0), "");
  EXPECT_EQ(f.state.CurrentGear, kNeutral);  // falls back to the sent gear
  EXPECT_EQ(f.state.SentGear, kNeutral);

  f.settings.SetSequence("R1234567");  // no N: the first change only adopts the gear
  EXPECT_EQ(f.Change(2), "");
  EXPECT_EQ(f.state.SentGear, 2);
  EXPECT_EQ(f.Change(4), "+33#73 w10 -33#73 w10 +33#73 w10 -33#73");

  f.settings.SetSequence("N1N2");  // the first N counts: N -> 2 is three steps up
  f.state.SentGear = kNeutral;
  EXPECT_EQ(f.Change(2), "+33#73 w10 -33#73 w10 +33#73 w10 -33#73 w10 +33#73 w10 -33#73");
}

TEST(OtherModes, SendNothingAndKeepSentGear) {
  Fixture f;
  f.settings.SYM_TYPE = 3;
  EXPECT_EQ(f.Change(3), "");
  EXPECT_EQ(f.state.SentGear, kNeutral);
}

TEST(StuckKeys, ModeChangeReleasesHeldKey) {
  Fixture f;
  f.Change(5);
  f.sink.events.clear();
  f.settings.SYM_TYPE = 1;
  ApplyKeySettings(f.state, f.settings, f.keys);
  EXPECT_EQ(f.sink.Trace(), "-53#6");
  EXPECT_FALSE(f.keys.Held());
}

TEST(StuckKeys, NewCodesForHeldGearSwapTheKey) {
  Fixture f;
  f.Change(5);
  f.sink.events.clear();
  f.settings.Keys[5] = {0x46, 0x21};  // F
  ApplyKeySettings(f.state, f.settings, f.keys);
  EXPECT_EQ(f.sink.Trace(), "-53#6 +70#33");
  // The next change releases the key really held.
  EXPECT_EQ(f.Change(-1), "-70#33");
  // Unrelated changes send nothing.
  f.Change(2);
  f.sink.events.clear();
  f.settings.Keys[3] = {0x47, 0x22};
  ApplyKeySettings(f.state, f.settings, f.keys);
  EXPECT_EQ(f.sink.Trace(), "");
}

TEST(StuckKeys, ShutdownReleasesExactlyTheHeldKey) {
  Fixture f;
  f.Change(2);
  f.settings.Keys[2] = {0x10, 0x2A};  // a later edit must not change what is released
  f.sink.events.clear();
  f.keys.ReleaseHeld();
  EXPECT_EQ(f.sink.Trace(), "-50#3");
  f.sink.events.clear();
  f.keys.ReleaseHeld();
  EXPECT_EQ(f.sink.Trace(), "");
}

TEST(PollStepKeys, GearOneToTwoInOneTickWithManualNeutral) {
  Rig r;
  r.settings.FORCE_FEEDBACK = false;
  r.settings.AUTOCENTER_NEUTRAL = true;
  r.Ticks(4, 0, 0);
  ASSERT_EQ(r.state.SentGear, 1);
  r.keys_seen.events.clear();
  r.Ticks(6, 0, 65534);
  EXPECT_EQ(r.keys_seen.Trace(), "-49#2 +50#3");
}

}  // namespace
}  // namespace kestrane
