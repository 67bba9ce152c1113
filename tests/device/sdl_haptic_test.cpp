// SDL force feedback through a fake haptic driver: the conversion of the records into SDL
// conditions and the change-only sending.
#include "device/sdl_haptic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "core/shift_state.h"
#include "device/input_platform.h"

namespace kestrane {
namespace {

// Records the SDL calls; supported effect types, refused creations and updates are set by hand.
class FakeDriver final : public HapticDriver {
 public:
  struct Call {
    std::string op;
    int id;
    SDL_HapticEffect effect;
  };

  unsigned int supported = SDL_HAPTIC_SPRING | SDL_HAPTIC_DAMPER;
  bool refuse_new = false;
  bool refuse_update = false;
  bool refuse_autocenter = false;
  std::vector<Call> calls;

  unsigned int Supported() override { return supported; }
  int NewEffect(SDL_HapticEffect& effect) override {
    if (refuse_new) return -1;
    calls.push_back({"new", next_, effect});
    return next_++;
  }
  int UpdateEffect(int id, SDL_HapticEffect& effect) override {
    calls.push_back({"update", id, effect});
    return refuse_update ? -1 : 0;
  }
  int RunEffect(int id, std::uint32_t) override {
    calls.push_back({"run", id, {}});
    return 0;
  }
  int StopEffect(int id) override {
    calls.push_back({"stop", id, {}});
    return 0;
  }
  void DestroyEffect(int id) override { calls.push_back({"destroy", id, {}}); }
  int SetAutocenter(int autocenter) override {
    calls.push_back({"autocenter", autocenter, {}});
    return refuse_autocenter ? -1 : 0;
  }
  int SetGain(int gain) override {
    calls.push_back({"gain", gain, {}});
    return 0;
  }

  std::vector<std::string> Ops() const {
    std::vector<std::string> ops;
    for (const Call& c : calls) ops.push_back(c.op + " " + std::to_string(c.id));
    return ops;
  }

 private:
  int next_ = 0;
};

// A port over a fake driver that the test keeps looking at.
struct Rig {
  FakeDriver* driver;
  SdlHapticPort port;
  Rig() : Rig(new FakeDriver) {}

 private:
  explicit Rig(FakeDriver* d) : driver(d), port(std::unique_ptr<HapticDriver>(d)) {}
};

EffectRecord Record(std::int32_t x_offset, std::int32_t y_offset) {
  EffectRecord r;
  r.flags = kEffectCartesian;
  r.conditions[0] = {y_offset, 5000, 4000, 3000, 2000, 700};  // Y
  r.conditions[1] = {x_offset, 2000, 1000, 6000, 8000, 200};  // X
  return r;
}

TEST(SdlConditionUnits, FullScaleAndClampingAtTheFieldLimits) {
  // Linux's fields (evdev copies them to the kernel unchanged).
  EXPECT_EQ(ToSdlSigned(10000, HapticBackend::LinuxEvdev), 32767);
  EXPECT_EQ(ToSdlSigned(-10000, HapticBackend::LinuxEvdev), -32767);
  EXPECT_EQ(ToSdlSigned(5000, HapticBackend::LinuxEvdev), 16383);
  EXPECT_EQ(ToSdlSigned(6499, HapticBackend::LinuxEvdev), 21295);
  EXPECT_EQ(ToSdlSigned(-4999, HapticBackend::LinuxEvdev), -16380);
  EXPECT_EQ(ToSdlSigned(0, HapticBackend::LinuxEvdev), 0);
  EXPECT_EQ(ToSdlSigned(10001, HapticBackend::LinuxEvdev), 32767);
  EXPECT_EQ(ToSdlSigned(-19999, HapticBackend::LinuxEvdev), -32768);
  EXPECT_EQ(ToSdlSigned(655390000, HapticBackend::LinuxEvdev), 32767);
  EXPECT_EQ(ToSdlSigned(INT32_MIN, HapticBackend::LinuxEvdev), -32768);

  EXPECT_EQ(ToSdlUnsigned(10000, HapticBackend::LinuxEvdev), 65535);
  EXPECT_EQ(ToSdlUnsigned(5000, HapticBackend::LinuxEvdev), 32767);
  EXPECT_EQ(ToSdlUnsigned(2250, HapticBackend::LinuxEvdev), 14745);
  EXPECT_EQ(ToSdlUnsigned(0, HapticBackend::LinuxEvdev), 0);
  EXPECT_EQ(ToSdlUnsigned(-1, HapticBackend::LinuxEvdev), 0);
  EXPECT_EQ(ToSdlUnsigned(10001, HapticBackend::LinuxEvdev), 65535);
  EXPECT_EQ(ToSdlUnsigned(INT32_MAX, HapticBackend::LinuxEvdev), 65535);
}

// What each backend makes of SDL's condition fields, as fractions of the device's full scale.
// Linux copies them into the kernel's ff_effect (Sint16: 32767 is full, Uint16: 65535 is full);
// SDL's DirectInput backend converts to DirectInput's 0..10000 units: x * 10000 / 0x7FFF for the
// signed fields, and the unsigned ones halved first, then capped at 10000.
double LinuxSigned(std::int16_t v) { return v / 32767.0; }
double LinuxUnsigned(std::uint16_t v) { return v / 65535.0; }
double DirectInputSigned(std::int16_t v) { return (v * 10000 / 0x7FFF) / 10000.0; }
double DirectInputUnsigned(std::uint16_t v) {
  const int half = v / 2;
  return (half > 0x7FFF ? 10000 : half * 10000 / 0x7FFF) / 10000.0;
}

TEST(SdlConditionUnits, BothBackendsGiveTheDeviceTheRecordsFractionOfFullScale) {
  for (std::int32_t u = 0; u <= 10000; ++u) {
    const double wanted = u / 10000.0;
    // DirectInput gets the record's units back exactly.
    ASSERT_EQ(DirectInputSigned(ToSdlSigned(u, HapticBackend::DirectInput)), wanted) << u;
    ASSERT_EQ(DirectInputSigned(ToSdlSigned(-u, HapticBackend::DirectInput)), -wanted) << u;
    ASSERT_EQ(DirectInputUnsigned(ToSdlUnsigned(u, HapticBackend::DirectInput)), wanted) << u;
    // Linux to within one step of its field.
    ASSERT_NEAR(LinuxSigned(ToSdlSigned(u, HapticBackend::LinuxEvdev)), wanted, 1 / 32767.0) << u;
    ASSERT_NEAR(LinuxSigned(ToSdlSigned(-u, HapticBackend::LinuxEvdev)), -wanted, 1 / 32767.0);
    ASSERT_NEAR(LinuxUnsigned(ToSdlUnsigned(u, HapticBackend::LinuxEvdev)), wanted, 1 / 65535.0);
  }
  // Past full scale, both stay at full scale.
  for (HapticBackend b : {HapticBackend::LinuxEvdev, HapticBackend::DirectInput}) {
    EXPECT_EQ(ToSdlSigned(12000, b), 32767);
    EXPECT_EQ(ToSdlSigned(-12000, b), -32768);
    EXPECT_EQ(ToSdlUnsigned(12000, b), b == HapticBackend::LinuxEvdev ? 65535 : 65534);
    EXPECT_EQ(ToSdlUnsigned(-5, b), 0);
  }
}

// The effects the program builds on this system (default backend): the device gets the record's
// fraction of full scale as this system's backend reads SDL's fields, Windows' DirectInput exactly.
TEST(SdlConditionUnits, ThisSystemsEffectsCarryTheRecordsFraction) {
#if defined(_WIN32)
  const auto signed_fraction = DirectInputSigned;
  const auto unsigned_fraction = DirectInputUnsigned;
  const double step = 0;
#else
  const auto signed_fraction = LinuxSigned;
  const auto unsigned_fraction = LinuxUnsigned;
  const double step = 1 / 32767.0;
#endif
  for (std::int32_t u : {0, 1, 200, 2250, 4999, 5000, 6499, 9999, 10000}) {
    EffectRecord r = Record(u, -u);
    for (Condition& k : r.conditions) k = {0, u, u, u, u, u};
    const SDL_HapticCondition c = ToSdlEffect(EffectType::Spring, r).condition;
    const double wanted = u / 10000.0;
    EXPECT_NEAR(unsigned_fraction(c.right_sat[0]), wanted, step) << u;
    EXPECT_NEAR(unsigned_fraction(c.left_sat[1]), wanted, step) << u;
    EXPECT_NEAR(unsigned_fraction(c.deadband[0]), wanted, step) << u;
    EXPECT_NEAR(std::abs(signed_fraction(c.right_coeff[1])), wanted, step) << u;
    EXPECT_NEAR(std::abs(signed_fraction(c.left_coeff[0])), wanted, step) << u;
  }
}

TEST(SdlConditionEffect, AxesSignsLengthAndDirection) {
  const SDL_HapticEffect e = ToSdlEffect(EffectType::Spring, Record(6499, -4999));
  const SDL_HapticCondition& c = e.condition;
  EXPECT_EQ(c.type, SDL_HAPTIC_SPRING);
  EXPECT_EQ(c.length, SDL_HAPTIC_INFINITY);
  EXPECT_EQ(c.delay, 0);
  EXPECT_EQ(c.button, 0);
  EXPECT_EQ(c.direction.type, SDL_HAPTIC_CARTESIAN);
  EXPECT_EQ(c.direction.dir[0], 1);
  EXPECT_EQ(c.direction.dir[1], 0);
  EXPECT_EQ(c.direction.dir[2], 0);
  // SDL axis 0 is the record's X condition, mirrored (the record's X offsets run against the
  // axis); axis 1 its Y condition, signs unchanged.
  EXPECT_EQ(c.center[0], ToSdlSigned(-6499));
  EXPECT_EQ(c.center[1], ToSdlSigned(-4999));
  EXPECT_EQ(c.right_coeff[0], ToSdlSigned(1000));
  EXPECT_EQ(c.left_coeff[0], ToSdlSigned(2000));
  EXPECT_EQ(c.right_sat[0], ToSdlUnsigned(8000));
  EXPECT_EQ(c.left_sat[0], ToSdlUnsigned(6000));
  EXPECT_EQ(c.deadband[0], ToSdlUnsigned(200));
  EXPECT_EQ(c.right_coeff[1], ToSdlSigned(5000));
  EXPECT_EQ(c.left_coeff[1], ToSdlSigned(4000));
  EXPECT_EQ(c.right_sat[1], ToSdlUnsigned(3000));
  EXPECT_EQ(c.left_sat[1], ToSdlUnsigned(2000));
  EXPECT_EQ(c.deadband[1], ToSdlUnsigned(700));
  EXPECT_EQ(c.center[2], 0);
  EXPECT_EQ(c.deadband[2], 0);

  EffectRecord damper = Record(0, 0);
  damper.flags = kEffectCartesianOffsets;
  EXPECT_EQ(ToSdlEffect(EffectType::Damper, damper).condition.type, SDL_HAPTIC_DAMPER);
}

TEST(SdlConditionEffect, OutOfRangeRecordsAreClampedOnlyHere) {
  ShiftState state;
  ResetShiftState(state);
  Settings s = DefaultSettings();
  s.JOY_GEAR_WIDTH = 32767;
  s.GEAR_HOLE_FORCE_X = 30000;
  state.HoleX = 0;
  state.HoleY = 65534;
  const EffectRecord hole = ComputeEffectParameters(state, s).hole;
  EXPECT_EQ(hole.x().offset, 9999);
  EXPECT_EQ(hole.y().offset, 9999);
  EXPECT_EQ(hole.x().positive_coefficient, 30000);  // the record itself is not clamped
  // Linux's fields:
  const SDL_HapticCondition c =
      ToSdlEffect(EffectType::Spring, hole, HapticBackend::LinuxEvdev).condition;
  EXPECT_EQ(c.center[0], -32763);  // the hole at the left end
  EXPECT_EQ(c.center[1], 32763);   // and at the bottom
  EXPECT_EQ(c.right_coeff[0], 32767);
  EXPECT_EQ(c.left_coeff[0], 32767);
}

TEST(SdlHapticPort, UnsupportedOrRefusedEffectsFailWithoutAnId) {
  Rig rig;
  rig.driver->supported = SDL_HAPTIC_SPRING;
  EffectId id = 5;
  EXPECT_NE(rig.port.CreateEffect(EffectType::Damper, Record(0, 0), id), 0);
  EXPECT_EQ(id, kNoEffect);
  EXPECT_TRUE(rig.driver->calls.empty());

  rig.driver->refuse_new = true;
  EXPECT_NE(rig.port.CreateEffect(EffectType::Spring, Record(0, 0), id), 0);
  EXPECT_EQ(id, kNoEffect);

  rig.driver->refuse_new = false;
  EXPECT_EQ(rig.port.CreateEffect(EffectType::Spring, Record(0, 0), id), 0);
  EXPECT_NE(id, kNoEffect);
  EXPECT_EQ(rig.driver->calls.back().effect.condition.type, SDL_HAPTIC_SPRING);
}

TEST(SdlHapticPort, SendsOnlyChangedRecordsAndStartsEachSpringOnce) {
  Rig rig;
  EffectId id = kNoEffect;
  ASSERT_EQ(rig.port.CreateEffect(EffectType::Spring, Record(0, 0), id), 0);
  rig.driver->calls.clear();

  rig.port.SetEffectParameters(id, Record(0, 0));  // as created: only started
  EXPECT_EQ(rig.driver->Ops(), std::vector<std::string>{"run 0"});
  rig.port.SetEffectParameters(id, Record(0, 0));
  rig.port.SetEffectParameters(id, Record(0, 0));
  EXPECT_EQ(rig.driver->calls.size(), 1u);

  rig.port.SetEffectParameters(id, Record(100, 0));
  rig.port.SetEffectParameters(id, Record(100, 0));
  EXPECT_EQ(rig.driver->Ops(), (std::vector<std::string>{"run 0", "update 0"}));
  EXPECT_EQ(rig.driver->calls.back().effect.condition.center[0], ToSdlSigned(-100));  // X mirrored

  rig.port.SetEffectParameters(id, Record(0, 0));  // back to the first: changed again
  EXPECT_EQ(rig.driver->calls.size(), 3u);
}

TEST(SdlHapticPort, RefusedUpdatesAreSentAgain) {
  Rig rig;
  EffectId id = kNoEffect;
  ASSERT_EQ(rig.port.CreateEffect(EffectType::Spring, Record(0, 0), id), 0);
  rig.driver->calls.clear();
  rig.driver->refuse_update = true;
  rig.port.SetEffectParameters(id, Record(50, 0));
  rig.port.SetEffectParameters(id, Record(50, 0));
  EXPECT_EQ(rig.driver->Ops(), (std::vector<std::string>{"update 0", "update 0"}));
  rig.driver->refuse_update = false;
  rig.port.SetEffectParameters(id, Record(50, 0));
  rig.port.SetEffectParameters(id, Record(50, 0));
  EXPECT_EQ(rig.driver->Ops(),
            (std::vector<std::string>{"update 0", "update 0", "update 0", "run 0"}));
}

TEST(SdlHapticPort, StartReleaseAndCloseDestroyEveryEffect) {
  Rig rig;
  EffectId damper = kNoEffect, spring = kNoEffect;
  ASSERT_EQ(rig.port.CreateEffect(EffectType::Damper, Record(0, 0), damper), 0);
  ASSERT_EQ(rig.port.CreateEffect(EffectType::Spring, Record(0, 0), spring), 0);
  rig.driver->calls.clear();
  rig.port.StartEffect(damper);
  rig.port.ReleaseEffect(damper);
  rig.port.SetEffectParameters(damper, Record(10, 10));  // released: nothing
  rig.port.ReleaseEffect(damper);
  EXPECT_EQ(rig.driver->Ops(), (std::vector<std::string>{"run 0", "destroy 0"}));
}

TEST(SdlHapticPort, ClosingDestroysWhatIsLeft) {
  // Writes its destroys where the test can see them after the port (and it) are gone.
  class Keeper final : public HapticDriver {
   public:
    explicit Keeper(std::vector<int>& destroyed) : destroyed_(destroyed) {}
    unsigned int Supported() override { return SDL_HAPTIC_SPRING; }
    int NewEffect(SDL_HapticEffect&) override { return next_++; }
    int UpdateEffect(int, SDL_HapticEffect&) override { return 0; }
    int RunEffect(int, std::uint32_t) override { return 0; }
    int StopEffect(int) override { return 0; }
    void DestroyEffect(int id) override { destroyed_.push_back(id); }
    int SetAutocenter(int) override { return 0; }
    int SetGain(int) override { return 0; }

   private:
    std::vector<int>& destroyed_;
    int next_ = 0;
  };
  std::vector<int> destroyed;
  {
    SdlHapticPort port(std::make_unique<Keeper>(destroyed));
    EffectId a = kNoEffect, b = kNoEffect, c = kNoEffect;
    ASSERT_EQ(port.CreateEffect(EffectType::Spring, Record(0, 0), a), 0);
    ASSERT_EQ(port.CreateEffect(EffectType::Spring, Record(0, 0), b), 0);
    ASSERT_EQ(port.CreateEffect(EffectType::Spring, Record(0, 0), c), 0);
    port.ReleaseEffect(b);
  }
  EXPECT_EQ(destroyed, (std::vector<int>{1, 0, 2}));
}

TEST(SdlHapticPort, AutocentreIsSwitchedOffOnlyWhereThereIsOne) {
  Rig without;
  EXPECT_TRUE(without.port.DisableAutocenter());
  EXPECT_TRUE(without.driver->calls.empty());

  Rig with;
  with.driver->supported |= SDL_HAPTIC_AUTOCENTER;
  EXPECT_TRUE(with.port.DisableAutocenter());
  EXPECT_EQ(with.driver->Ops(), std::vector<std::string>{"autocenter 0"});
  with.driver->refuse_autocenter = true;
  EXPECT_FALSE(with.port.DisableAutocenter());
}

// A stick whose centring Kestrane switched off gets it back, with full gain (the force guard may
// have lowered it), after its effects are gone and before SDL closes it; other sticks hear nothing.
TEST(SdlHapticPort, ClosingGivesBackTheCentringThatWasSwitchedOff) {
  class Log final : public HapticDriver {
   public:
    Log(unsigned int supported, bool refuse, std::vector<std::string>& ops)
        : supported_(supported), refuse_(refuse), ops_(ops) {}
    ~Log() override { ops_.push_back("close"); }
    unsigned int Supported() override { return supported_; }
    int NewEffect(SDL_HapticEffect&) override { return 0; }
    int UpdateEffect(int, SDL_HapticEffect&) override { return 0; }
    int RunEffect(int, std::uint32_t) override { return 0; }
    int StopEffect(int) override { return 0; }
    void DestroyEffect(int id) override { ops_.push_back("destroy " + std::to_string(id)); }
    int SetAutocenter(int a) override {
      ops_.push_back("autocenter " + std::to_string(a));
      return refuse_ ? -1 : 0;
    }
    int SetGain(int g) override {
      ops_.push_back("gain " + std::to_string(g));
      return 0;
    }

   private:
    unsigned int supported_;
    bool refuse_;
    std::vector<std::string>& ops_;
  };
  constexpr unsigned int kSprings = SDL_HAPTIC_SPRING;
  constexpr unsigned int kCentring = SDL_HAPTIC_SPRING | SDL_HAPTIC_AUTOCENTER;
  constexpr unsigned int kBoth = SDL_HAPTIC_SPRING | SDL_HAPTIC_AUTOCENTER | SDL_HAPTIC_GAIN;
  struct Case {
    const char* what;
    unsigned int supported;
    bool switch_off, refuse;
    std::vector<std::string> ops;  // from the switch off on
  };
  const Case cases[] = {
      {"centring and gain", kBoth, true, false,
       {"autocenter 0", "destroy 0", "autocenter 100", "gain 100", "close"}},
      {"centring without gain", kCentring, true, false,
       {"autocenter 0", "destroy 0", "autocenter 100", "close"}},
      {"switching off refused", kBoth, true, true,
       {"autocenter 0", "destroy 0", "autocenter 100", "gain 100", "close"}},
      {"never switched off", kBoth, false, false, {"destroy 0", "close"}},
      {"no centring of its own", kSprings | SDL_HAPTIC_GAIN, true, false, {"destroy 0", "close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> ops;
    {
      SdlHapticPort port(std::make_unique<Log>(c.supported, c.refuse, ops));
      if (c.switch_off) {
        EXPECT_EQ(port.DisableAutocenter(), !c.refuse);
      }
      EffectId id = kNoEffect;
      ASSERT_EQ(port.CreateEffect(EffectType::Spring, Record(0, 0), id), 0);
    }
    EXPECT_EQ(ops, c.ops);
  }
}

// The core recomputes the springs on every tick; the device hears only of real changes.
TEST(SdlHapticPort, PollTicksSendOnlyWhatChanged) {
  Rig rig;
  Settings s = DefaultSettings();
  s.DAMPER_ENABLED = true;
  ShiftState state;
  ResetShiftState(state);
  ForceFeedback effects;
  effects.BuildEffects(&rig.port, state, s);
  // cross, hole, damper (started at once), center
  EXPECT_EQ(rig.driver->Ops(),
            (std::vector<std::string>{"new 0", "new 1", "new 2", "run 2", "new 3"}));
  rig.driver->calls.clear();

  effects.UpdateEffects(state, s);  // first tick: the springs start, nothing changed
  EXPECT_EQ(rig.driver->Ops(), (std::vector<std::string>{"run 0", "run 1", "run 3"}));
  rig.driver->calls.clear();
  for (int tick = 0; tick < 100; ++tick) effects.UpdateEffects(state, s);
  EXPECT_TRUE(rig.driver->calls.empty());

  // Into gear 1: cross, hole and center change; the damper is never updated.
  state.GateX = state.HoleX = 11469;
  state.GateY = state.HoleY = 16384;
  effects.UpdateEffects(state, s);
  effects.UpdateEffects(state, s);
  EXPECT_EQ(rig.driver->Ops(), (std::vector<std::string>{"update 0", "update 1", "update 3"}));
  EXPECT_EQ(rig.driver->calls[1].effect.condition.center[0], ToSdlSigned(-6499));  // gear 1 is left
  EXPECT_EQ(rig.driver->calls[1].effect.condition.center[1], ToSdlSigned(-4999));

  rig.driver->calls.clear();
  effects.ReleaseEffects();
  EXPECT_EQ(rig.driver->Ops(),
            (std::vector<std::string>{"destroy 0", "destroy 1", "destroy 3", "destroy 2"}));
}

}  // namespace
}  // namespace kestrane
