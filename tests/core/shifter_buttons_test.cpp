#include "core/shifter_buttons.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "tests/support/test_rig.h"

namespace kestrane {
namespace {

using test::Rig;

// Every button the device was told to hold, in order (0: all released).
struct RecordingShifter : ShifterPort {
  std::vector<int> calls;
  void SetGearButton(int button) override { calls.push_back(button); }
};

TEST(ShifterButtonForGear, OneButtonPerGearNoneInNeutral) {
  for (Gear g = 1; g <= 7; ++g) EXPECT_EQ(ShifterButtonForGear(g), g) << g;
  EXPECT_EQ(ShifterButtonForGear(kReverse), 8);
  EXPECT_EQ(ShifterButtonForGear(kNeutral), kNoShifterButton);
  // Numbers that are no gear hold nothing rather than a button past the device's eight.
  for (Gear g : {8, 9, -2, 1000}) EXPECT_EQ(ShifterButtonForGear(g), kNoShifterButton) << g;
}

TEST(ShifterOutput, TellsTheDeviceOnlyAboutChanges) {
  Settings on = DefaultSettings();
  on.VIRTUAL_SHIFTER = true;
  RecordingShifter device;
  ShifterOutput out(&device);
  out.Follow(kNeutral, on);
  out.Follow(3, on);
  out.Follow(3, on);
  out.Follow(kReverse, on);
  out.Follow(kNeutral, on);
  out.Follow(kNeutral, on);
  EXPECT_EQ(device.calls, (std::vector<int>{3, 8, 0}));
  EXPECT_EQ(out.Held(), kNoShifterButton);
}

TEST(ShifterOutput, SwitchedOffHoldsNothing) {
  Settings s = DefaultSettings();
  ASSERT_FALSE(s.VIRTUAL_SHIFTER);  // off unless the user turns it on
  RecordingShifter device;
  ShifterOutput out(&device);
  out.Follow(5, s);
  EXPECT_TRUE(device.calls.empty());

  s.VIRTUAL_SHIFTER = true;
  out.Follow(5, s);
  s.VIRTUAL_SHIFTER = false;
  out.Follow(5, s);  // the gear stays in, the button comes up
  EXPECT_EQ(device.calls, (std::vector<int>{5, 0}));
  EXPECT_EQ(out.Held(), kNoShifterButton);
}

TEST(ShifterOutput, ReleaseAndNewDevice) {
  Settings on = DefaultSettings();
  on.VIRTUAL_SHIFTER = true;
  RecordingShifter first, second;
  ShifterOutput out;  // no device yet: still knows what it would hold
  out.Follow(2, on);
  EXPECT_EQ(out.Held(), 2);

  out.Attach(&first);  // a new device holds nothing until the next Follow
  EXPECT_TRUE(first.calls.empty());
  out.Follow(2, on);
  EXPECT_EQ(first.calls, (std::vector<int>{2}));

  out.Attach(&second);  // the old device lets go first
  EXPECT_EQ(first.calls, (std::vector<int>{2, 0}));
  out.Follow(7, on);
  out.Release();
  out.Release();
  EXPECT_EQ(second.calls, (std::vector<int>{7, 0}));

  out.Follow(1, on);
  out.Attach(nullptr);
  EXPECT_EQ(second.calls, (std::vector<int>{7, 0, 1, 0}));
  EXPECT_EQ(out.Port(), nullptr);
}

// The poll step with the shifter: the device's button after each tick, and the tick's keys.
struct ShifterRig : Rig {
  RecordingShifter device;
  ShifterOutput out{&device};
  ShifterRig() {
    shifter = &out;
    settings.VIRTUAL_SHIFTER = true;
  }
  // Runs n ticks on one sample, noting each tick that typed keys without changing the button or
  // the other way round.
  void Run(int n, std::int32_t x, std::int32_t y, std::uint32_t buttons = 0) {
    for (int i = 0; i < n; ++i) {
      keys_seen.events.clear();
      const std::size_t calls = device.calls.size();
      Tick(x, y, buttons);
      const bool keys_now = !keys_seen.events.empty();
      const bool button_now = device.calls.size() != calls;
      if (keys_now != button_now) mismatched_ticks.push_back(ticks);
      ++ticks;
    }
  }
  int ticks = 0;
  std::vector<int> mismatched_ticks;  // a key change without a button change, or the reverse
};

TEST(PollStepShifter, EveryGearOnTheSameTickAsItsKey) {
  ShifterRig r;
  struct Slot {
    std::int32_t x, y;
    std::uint32_t b;
    Gear gear;
  };
  const Slot slots[] = {{0, 0, 0, 1},         {0, 65535, 0, 2},   {32767, 0, 0, 3},
                        {32767, 65535, 0, 4}, {65535, 0, 0, 5},   {65535, 65535, 0, 6},
                        {65535, 65535, 1, 7}, {0, 0, 1, kReverse}};
  for (const Slot& s : slots) {
    r.Run(1, s.x, 32767, s.b);
    r.Run(4, s.x, s.y, s.b);
    EXPECT_EQ(r.state.SentGear, s.gear);
    EXPECT_EQ(r.out.Held(), ShifterButtonForGear(s.gear)) << GearLetter(s.gear);
    ASSERT_FALSE(r.device.calls.empty());
    EXPECT_EQ(r.device.calls.back(), s.gear == kReverse ? 8 : s.gear);
    r.Run(1, s.x, 32767, s.b);
    r.Run(2, 32767, 32767);
    EXPECT_EQ(r.state.SentGear, kNeutral);
    EXPECT_EQ(r.out.Held(), kNoShifterButton);
  }
  // In mode 0 every change of the held key is a change of the held button on the same tick.
  EXPECT_TRUE(r.mismatched_ticks.empty()) << r.mismatched_ticks.size();
  EXPECT_EQ(r.device.calls, (std::vector<int>{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0}));
}

TEST(PollStepShifter, FailedReadKeepsTheButton) {
  ShifterRig r;
  r.Run(4, 32767, 0);
  ASSERT_EQ(r.out.Held(), 3);
  const std::size_t calls = r.device.calls.size();
  r.TickFail();
  EXPECT_EQ(r.out.Held(), 3);
  EXPECT_EQ(r.device.calls.size(), calls);
}

TEST(PollStepShifter, SequenceModeFollowsTheGearReallySent) {
  ShifterRig r;
  r.settings.SYM_TYPE = 2;
  r.settings.SetSequence("N1245");  // no 3: a move into 3's slot sends nothing
  r.Run(4, 0, 0);
  ASSERT_EQ(r.state.SentGear, 1);
  EXPECT_EQ(r.out.Held(), 1);
  r.Run(1, 0, 32767);
  r.Run(1, 32767, 32767);
  r.Run(4, 32767, 0);
  // The gear falls back to the one sent last: neutral, no key, no button.
  EXPECT_EQ(r.state.SentGear, kNeutral);
  EXPECT_EQ(r.state.CurrentGear, kNeutral);
  EXPECT_EQ(r.out.Held(), kNoShifterButton);
  EXPECT_EQ(r.device.calls, (std::vector<int>{1, 0}));
  r.Run(1, 32767, 32767);
  r.Run(4, 32767, 65535);
  EXPECT_EQ(r.state.SentGear, 4);
  EXPECT_EQ(r.out.Held(), 4);
  EXPECT_TRUE(r.mismatched_ticks.empty());
}

TEST(PollStepShifter, WithoutKeysFollowsTheDecidedGear) {
  ShifterRig r;
  r.settings.SYM_TYPE = 3;  // no keys at all: the shifter is the only output
  r.Run(4, 65535, 65535);
  EXPECT_EQ(r.state.CurrentGear, 6);
  EXPECT_EQ(r.state.SentGear, kNeutral);
  EXPECT_TRUE(r.keys_seen.events.empty());
  EXPECT_EQ(r.out.Held(), 6);
  r.Run(1, 65535, 32767);
  r.Run(2, 32767, 32767);
  EXPECT_EQ(r.out.Held(), kNoShifterButton);
  EXPECT_EQ(r.device.calls, (std::vector<int>{6, 0}));
}

TEST(PollStepShifter, SwitchedOffReleasesOnTheNextTickAndKeysGoOn) {
  ShifterRig r;
  r.Run(4, 32767, 0);
  ASSERT_EQ(r.out.Held(), 3);
  r.settings.VIRTUAL_SHIFTER = false;
  r.Run(1, 32767, 0);
  EXPECT_EQ(r.out.Held(), kNoShifterButton);
  EXPECT_TRUE(r.keys.Held());  // the key output is not the shifter's business
  r.Run(1, 32767, 32767);
  r.Run(4, 32767, 65535);
  EXPECT_EQ(r.state.SentGear, 4);
  EXPECT_EQ(r.out.Held(), kNoShifterButton);
  r.settings.VIRTUAL_SHIFTER = true;  // back on: the gear that is in, at once
  r.Run(1, 32767, 65535);
  EXPECT_EQ(r.out.Held(), 4);
  EXPECT_EQ(r.device.calls, (std::vector<int>{3, 0, 4}));
}

}  // namespace
}  // namespace kestrane
