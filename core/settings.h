#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrane {

// Entries of the key table.
inline constexpr int kKeyReverse = 0;  // 1..7 are the gears
inline constexpr int kKeyNeutral = 8;
inline constexpr int kKeyShiftUp = 9;
inline constexpr int kKeyShiftDown = 10;
inline constexpr int kKeyEntries = 11;

// A key as the settings file stores it: a Windows virtual-key code and a PC set-1 scan code.
struct KeyCode {
  std::uint8_t vk = 0;
  std::uint8_t scan = 0;
  friend bool operator==(const KeyCode&, const KeyCode&) = default;
};

// The configuration record: every setting of Kestrane.ini, named by its key. Zero until loaded.
struct Settings {
  bool POOLED_DEVICE = false;
  bool EXCLUSIVE_ACCESS = false;
  bool FORCE_FEEDBACK = false;
  bool AUTOCENTER_NEUTRAL = false;
  bool DAMPER_ENABLED = false;
  bool CROSS_ENABLED = false;
  bool HOLE_ENABLED = false;
  bool CENTER_ENABLED = false;
  bool REVERSE_X = false;
  bool REVERSE_Y = false;
  bool SWITCH_XY = false;
  std::int32_t JOY_GEAR_WIDTH = 0;
  std::int32_t JOY_GEAR_HEIGHT = 0;
  std::int32_t GEAR_CROSS_SIZE = 0;
  std::int32_t GEAR_FORCE_DEATH_FREE_X = 0;
  std::int32_t GEAR_FORCE_DEATH_NOFREE_X = 0;
  std::int32_t GEAR_FORCE_DEATH_FREE_Y = 0;
  std::int32_t GEAR_FORCE_DEATH_NOFREE_Y = 0;
  std::int32_t GEAR_DAMPER_FORCE = 0;
  std::int32_t GEAR_DAMPER_SATURATION = 0;
  std::int32_t GEAR_HOLE_FORCE_X = 0;
  std::int32_t GEAR_HOLE_SATURATION_X = 0;
  std::int32_t GEAR_HOLE_FORCE_Y = 0;
  std::int32_t GEAR_HOLE_SATURATION_Y = 0;
  std::int32_t GEAR_CROSS_FORCE_COUNT = 0;
  std::int32_t GEAR_CROSS_FORCE = 0;
  std::int32_t GEAR_CROSS_SATURATION = 0;
  std::int32_t GEAR_CENTER_FORCE_X = 0;
  std::int32_t GEAR_CENTER_FORCE_Y = 0;
  std::int32_t GEAR_CENTER_SATURATION_X = 0;
  std::int32_t GEAR_CENTER_SATURATION_Y = 0;
  std::int32_t SWITCH_BUTTON = 0;
  std::int32_t SWITCH_B_AXE = 0;
  std::int32_t SWITCH_B_MIN = 0;
  std::int32_t SWITCH_B_MAX = 0;
  std::array<KeyCode, kKeyEntries> Keys{};
  std::int32_t SYM_TYPE = 0;
  std::array<char, 10> SYM_SEQUENCE{};  // up to 9 characters, always zero-terminated
  std::int32_t SYM_KEY_TIME = 0;
  std::int32_t SYM_SPACE_TIME = 0;
  // Keys added after the first file layout; they come last in both orders, so that a file of an
  // earlier version gains them at the end of their section and keeps everything else.
  bool VIRTUAL_SHIFTER = false;  // hold one button per gear on the virtual H-shifter device
  bool FF_INVERT_X = false;      // mirror the springs' centres on X (the stick's sign differs)
  bool FF_INVERT_Y = false;      // and on Y
  std::int32_t FF_STRENGTH = 0;  // percent of every effect's forces, 0..100
  std::string FF_TESTED_STICK;   // the stick the direction test was last passed with

  std::string_view Sequence() const;
  void SetSequence(std::string_view text);  // keeps the first 9 characters, up to a zero byte

  friend bool operator==(const Settings&, const Settings&) = default;
};

// Start-up rule: without force feedback no effect is built.
void ApplyForceFeedbackSwitch(Settings& s);

}  // namespace kestrane
