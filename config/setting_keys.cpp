#include "config/setting_keys.h"

#include <algorithm>
#include <cctype>

namespace kestrane {
namespace {

using Kind = SettingKey::Kind;

// Field indexes for the bool and int members; kept next to the accessors below.
enum BoolField {
  kPooled,
  kExclusive,
  kForceFeedback,
  kAutocenter,
  kDamper,
  kCross,
  kHole,
  kCenter,
  kReverseX,
  kReverseY,
  kSwitchXY,
  kVirtualShifter,
  kFfInvertX,
  kFfInvertY
};
enum IntField {
  kWidth,
  kHeight,
  kCrossSize,
  kDeathFreeX,
  kDeathNofreeX,
  kDeathFreeY,
  kDeathNofreeY,
  kDamperForce,
  kDamperSat,
  kHoleForceX,
  kHoleSatX,
  kHoleForceY,
  kHoleSatY,
  kCrossCount,
  kCrossForce,
  kCrossSat,
  kCenterForceX,
  kCenterForceY,
  kCenterSatX,
  kCenterSatY,
  kSwitchButton,
  kSwitchAxe,
  kSwitchMin,
  kSwitchMax,
  kSymType,
  kSymKeyTime,
  kSymSpaceTime,
  kFfStrength
};

bool Settings::*BoolMember(int i) {
  static constexpr bool Settings::*members[] = {
      &Settings::POOLED_DEVICE,      &Settings::EXCLUSIVE_ACCESS, &Settings::FORCE_FEEDBACK,
      &Settings::AUTOCENTER_NEUTRAL, &Settings::DAMPER_ENABLED,   &Settings::CROSS_ENABLED,
      &Settings::HOLE_ENABLED,       &Settings::CENTER_ENABLED,   &Settings::REVERSE_X,
      &Settings::REVERSE_Y,          &Settings::SWITCH_XY,        &Settings::VIRTUAL_SHIFTER,
      &Settings::FF_INVERT_X,        &Settings::FF_INVERT_Y};
  return members[i];
}

std::int32_t Settings::*IntMember(int i) {
  static constexpr std::int32_t Settings::*members[] = {&Settings::JOY_GEAR_WIDTH,
                                                        &Settings::JOY_GEAR_HEIGHT,
                                                        &Settings::GEAR_CROSS_SIZE,
                                                        &Settings::GEAR_FORCE_DEATH_FREE_X,
                                                        &Settings::GEAR_FORCE_DEATH_NOFREE_X,
                                                        &Settings::GEAR_FORCE_DEATH_FREE_Y,
                                                        &Settings::GEAR_FORCE_DEATH_NOFREE_Y,
                                                        &Settings::GEAR_DAMPER_FORCE,
                                                        &Settings::GEAR_DAMPER_SATURATION,
                                                        &Settings::GEAR_HOLE_FORCE_X,
                                                        &Settings::GEAR_HOLE_SATURATION_X,
                                                        &Settings::GEAR_HOLE_FORCE_Y,
                                                        &Settings::GEAR_HOLE_SATURATION_Y,
                                                        &Settings::GEAR_CROSS_FORCE_COUNT,
                                                        &Settings::GEAR_CROSS_FORCE,
                                                        &Settings::GEAR_CROSS_SATURATION,
                                                        &Settings::GEAR_CENTER_FORCE_X,
                                                        &Settings::GEAR_CENTER_FORCE_Y,
                                                        &Settings::GEAR_CENTER_SATURATION_X,
                                                        &Settings::GEAR_CENTER_SATURATION_Y,
                                                        &Settings::SWITCH_BUTTON,
                                                        &Settings::SWITCH_B_AXE,
                                                        &Settings::SWITCH_B_MIN,
                                                        &Settings::SWITCH_B_MAX,
                                                        &Settings::SYM_TYPE,
                                                        &Settings::SYM_KEY_TIME,
                                                        &Settings::SYM_SPACE_TIME,
                                                        &Settings::FF_STRENGTH};
  return members[i];
}

constexpr const char* M = kSectionMain;
constexpr const char* K = kSectionKeyboard;

constexpr SettingKey B(const char* name, int field, std::int32_t def) {
  return {M, name, Kind::Bool, def, field};
}
constexpr SettingKey I(const char* section, const char* name, int field, std::int32_t def) {
  return {section, name, Kind::Int, def, field};
}

// Default virtual-key and scan codes of the key table: R, 1..7, N, Page Up, Page Down.
constexpr KeyCode kDefaultKeys[kKeyEntries] = {
    {0x38, 0x09}, {0x31, 0x02}, {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06},
    {0x36, 0x07}, {0x37, 0x08}, {0x4E, 0x31}, {0x21, 0x49}, {0x22, 0x51}};

#define KEY_PAIR(i)                                                              \
  SettingKey{K, "KEY_CODE" #i, Kind::KeyVk, kDefaultKeys[i].vk, i}, SettingKey { \
    K, "SCAN_CODE" #i, Kind::KeyScan, kDefaultKeys[i].scan, i                    \
  }
#define ALL_KEY_PAIRS                                                                        \
  KEY_PAIR(0), KEY_PAIR(1), KEY_PAIR(2), KEY_PAIR(3), KEY_PAIR(4), KEY_PAIR(5), KEY_PAIR(6), \
      KEY_PAIR(7), KEY_PAIR(8), KEY_PAIR(9), KEY_PAIR(10)

// Every key of the settings file with its default, once; the two orders below name them.
constexpr SettingKey kKeys[] = {B("REVERSE_X", kReverseX, 0),
                                B("REVERSE_Y", kReverseY, 0),
                                B("SWITCH_XY", kSwitchXY, 0),
                                B("POOLED_DEVICE", kPooled, 1),
                                B("AUTOCENTER_NEUTRAL", kAutocenter, 0),
                                B("EXCLUSIVE_ACCESS", kExclusive, 1),
                                B("FORCE_FEEDBACK", kForceFeedback, 1),
                                B("DAMPER_ENABLED", kDamper, 0),
                                B("CROSS_ENABLED", kCross, 1),
                                B("HOLE_ENABLED", kHole, 1),
                                B("CENTER_ENABLED", kCenter, 1),
                                B("VIRTUAL_SHIFTER", kVirtualShifter, 0),
                                I(M, "SWITCH_BUTTON", kSwitchButton, 1),
                                I(M, "SWITCH_B_AXE", kSwitchAxe, 0),
                                I(M, "SWITCH_B_MIN", kSwitchMin, 10000),
                                I(M, "SWITCH_B_MAX", kSwitchMax, 32000),
                                I(M, "GEAR_CENTER_FORCE_X", kCenterForceX, 10000),
                                I(M, "GEAR_CENTER_FORCE_Y", kCenterForceY, 10000),
                                I(M, "GEAR_CENTER_SATURATION_X", kCenterSatX, 3000),
                                I(M, "GEAR_CENTER_SATURATION_Y", kCenterSatY, 3000),
                                I(M, "JOY_GEAR_WIDTH", kWidth, 21298),
                                I(M, "JOY_GEAR_HEIGHT", kHeight, 16383),
                                I(M, "GEAR_CROSS_SIZE", kCrossSize, 4000),
                                I(M, "GEAR_FORCE_DEATH_FREE_X", kDeathFreeX, 2250),
                                I(M, "GEAR_FORCE_DEATH_NOFREE_X", kDeathNofreeX, 200),
                                I(M, "GEAR_FORCE_DEATH_FREE_Y", kDeathFreeY, 5000),
                                I(M, "GEAR_FORCE_DEATH_NOFREE_Y", kDeathNofreeY, 700),
                                I(M, "GEAR_DAMPER_FORCE", kDamperForce, 500),
                                I(M, "GEAR_DAMPER_SATURATION", kDamperSat, 1000),
                                I(M, "GEAR_HOLE_FORCE_X", kHoleForceX, 2000),
                                I(M, "GEAR_HOLE_SATURATION_X", kHoleSatX, 2000),
                                I(M, "GEAR_HOLE_FORCE_Y", kHoleForceY, 5000),
                                I(M, "GEAR_HOLE_SATURATION_Y", kHoleSatY, 5000),
                                I(M, "GEAR_CROSS_FORCE_COUNT", kCrossCount, 1),
                                I(M, "GEAR_CROSS_FORCE", kCrossForce, 5000),
                                I(M, "GEAR_CROSS_SATURATION", kCrossSat, 5000),
                                SettingKey{M, "CHECK_INTERVAL", Kind::Interval, 25, 0},
                                SettingKey{M, "JOYSTICK", Kind::Joystick, 0, 0},
                                SettingKey{K, "SYM_SEQUENCE", Kind::Sequence, 0, 0},
                                I(K, "SYM_TYPE", kSymType, 0),
                                I(K, "SYM_KEY_TIME", kSymKeyTime, 10),
                                I(K, "SYM_SPACE_TIME", kSymSpaceTime, 10),
                                B("FF_INVERT_X", kFfInvertX, 0),
                                B("FF_INVERT_Y", kFfInvertY, 0),
                                I(M, "FF_STRENGTH", kFfStrength, 100),
                                SettingKey{M, "FF_TESTED_STICK", Kind::Text, 0, 0}};

// The key of that name; a name that is not in kKeys stops the compilation.
constexpr SettingKey Key(std::string_view name) {
  for (const SettingKey& key : kKeys) {
    if (name == key.name) return key;
  }
  throw "no such settings key";
}

constexpr SettingKey kLoadOrder[] = {
    Key("REVERSE_X"), Key("REVERSE_Y"), Key("SWITCH_XY"), Key("POOLED_DEVICE"),
    Key("AUTOCENTER_NEUTRAL"), Key("EXCLUSIVE_ACCESS"), Key("FORCE_FEEDBACK"),
    Key("DAMPER_ENABLED"), Key("CROSS_ENABLED"), Key("HOLE_ENABLED"), Key("CENTER_ENABLED"),
    Key("SWITCH_BUTTON"), Key("SWITCH_B_AXE"), Key("SWITCH_B_MIN"), Key("SWITCH_B_MAX"),
    Key("GEAR_CENTER_FORCE_X"), Key("GEAR_CENTER_FORCE_Y"), Key("GEAR_CENTER_SATURATION_X"),
    Key("GEAR_CENTER_SATURATION_Y"), Key("JOY_GEAR_WIDTH"), Key("JOY_GEAR_HEIGHT"),
    Key("GEAR_CROSS_SIZE"), Key("GEAR_FORCE_DEATH_FREE_X"), Key("GEAR_FORCE_DEATH_NOFREE_X"),
    Key("GEAR_FORCE_DEATH_FREE_Y"), Key("GEAR_FORCE_DEATH_NOFREE_Y"), Key("GEAR_DAMPER_FORCE"),
    Key("GEAR_DAMPER_SATURATION"), Key("GEAR_HOLE_FORCE_X"), Key("GEAR_HOLE_SATURATION_X"),
    Key("GEAR_HOLE_FORCE_Y"), Key("GEAR_HOLE_SATURATION_Y"), Key("GEAR_CROSS_FORCE_COUNT"),
    Key("GEAR_CROSS_FORCE"), Key("GEAR_CROSS_SATURATION"), Key("CHECK_INTERVAL"),
    Key("SYM_SEQUENCE"), Key("SYM_TYPE"), Key("SYM_KEY_TIME"), Key("SYM_SPACE_TIME"), ALL_KEY_PAIRS,
    // Keys added after the first file layout come last, so older files only gain lines at the end.
    Key("VIRTUAL_SHIFTER"), Key("FF_INVERT_X"), Key("FF_INVERT_Y"), Key("FF_STRENGTH"),
    Key("FF_TESTED_STICK")};

constexpr SettingKey kSaveOrder[] = {Key("JOYSTICK"),
                                     Key("REVERSE_X"),
                                     Key("REVERSE_Y"),
                                     Key("SWITCH_XY"),
                                     Key("POOLED_DEVICE"),
                                     Key("AUTOCENTER_NEUTRAL"),
                                     Key("EXCLUSIVE_ACCESS"),
                                     Key("FORCE_FEEDBACK"),
                                     Key("DAMPER_ENABLED"),
                                     Key("CROSS_ENABLED"),
                                     Key("HOLE_ENABLED"),
                                     Key("JOY_GEAR_WIDTH"),
                                     Key("JOY_GEAR_HEIGHT"),
                                     Key("GEAR_CROSS_SIZE"),
                                     Key("GEAR_FORCE_DEATH_FREE_X"),
                                     Key("GEAR_FORCE_DEATH_NOFREE_X"),
                                     Key("GEAR_FORCE_DEATH_FREE_Y"),
                                     Key("GEAR_FORCE_DEATH_NOFREE_Y"),
                                     Key("GEAR_DAMPER_FORCE"),
                                     Key("GEAR_DAMPER_SATURATION"),
                                     Key("GEAR_HOLE_FORCE_X"),
                                     Key("GEAR_HOLE_SATURATION_X"),
                                     Key("GEAR_HOLE_FORCE_Y"),
                                     Key("GEAR_HOLE_SATURATION_Y"),
                                     Key("GEAR_CROSS_FORCE_COUNT"),
                                     Key("GEAR_CROSS_FORCE"),
                                     Key("GEAR_CROSS_SATURATION"),
                                     Key("CENTER_ENABLED"),
                                     Key("SWITCH_BUTTON"),
                                     Key("SWITCH_B_AXE"),
                                     Key("SWITCH_B_MIN"),
                                     Key("SWITCH_B_MAX"),
                                     Key("GEAR_CENTER_FORCE_X"),
                                     Key("GEAR_CENTER_FORCE_Y"),
                                     Key("GEAR_CENTER_SATURATION_X"),
                                     Key("GEAR_CENTER_SATURATION_Y"),
                                     Key("CHECK_INTERVAL"),
                                     Key("SYM_SEQUENCE"),
                                     Key("SYM_TYPE"),
                                     Key("SYM_KEY_TIME"),
                                     Key("SYM_SPACE_TIME"),
                                     ALL_KEY_PAIRS,
                                     Key("VIRTUAL_SHIFTER"),
                                     Key("FF_INVERT_X"),
                                     Key("FF_INVERT_Y"),
                                     Key("FF_STRENGTH"),
                                     Key("FF_TESTED_STICK")};

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::span<const SettingKey> LoadOrder() {
  return kLoadOrder;
}
std::span<const SettingKey> SaveOrder() {
  return kSaveOrder;
}

const SettingKey* FindSettingKey(std::string_view name) {
  for (const SettingKey& key : kSaveOrder) {
    if (EqualNoCase(key.name, name)) return &key;
  }
  return nullptr;
}

std::int32_t GetSettingInt(const Settings& s, const SettingKey& key) {
  switch (key.kind) {
    case Kind::Bool:
      return s.*BoolMember(key.index) ? 1 : 0;
    case Kind::Int:
      return s.*IntMember(key.index);
    case Kind::KeyVk:
      return s.Keys[static_cast<std::size_t>(key.index)].vk;
    case Kind::KeyScan:
      return s.Keys[static_cast<std::size_t>(key.index)].scan;
    default:
      return 0;
  }
}

void SetSettingInt(Settings& s, const SettingKey& key, std::int32_t value) {
  switch (key.kind) {
    case Kind::Bool:
      s.*BoolMember(key.index) = value != 0;
      break;
    case Kind::Int:
      s.*IntMember(key.index) = value;
      break;
    case Kind::KeyVk:
      s.Keys[static_cast<std::size_t>(key.index)].vk = static_cast<std::uint8_t>(value & 0xFF);
      break;
    case Kind::KeyScan:
      s.Keys[static_cast<std::size_t>(key.index)].scan = static_cast<std::uint8_t>(value & 0xFF);
      break;
    default:
      break;
  }
}

Settings DefaultSettings() {
  Settings s;
  for (const SettingKey& key : kLoadOrder) SetSettingInt(s, key, key.default_value);
  s.SetSequence("RN1234567");
  return s;
}

std::uint32_t DefaultCheckInterval() {
  return static_cast<std::uint32_t>(FindSettingKey("CHECK_INTERVAL")->default_value);
}

}  // namespace kestrane
