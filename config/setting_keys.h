#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/settings.h"

namespace kestrane {

// The polling timer's interval, as the settings file's CHECK_INTERVAL reads and writes it.
class IntervalTimer {
 public:
  virtual ~IntervalTimer() = default;
  virtual void SetInterval(std::uint32_t ms) = 0;  // 0 stops the timer
  virtual std::uint32_t Interval() const = 0;
};

// An interval that is only remembered (for the command-line tools and tests).
class StoredInterval final : public IntervalTimer {
 public:
  explicit StoredInterval(std::uint32_t ms = 10) : ms_(ms) {}
  void SetInterval(std::uint32_t ms) override { ms_ = ms; }
  std::uint32_t Interval() const override { return ms_; }

 private:
  std::uint32_t ms_;
};

inline constexpr const char* kSectionMain = "MAIN";
inline constexpr const char* kSectionKeyboard = "KEYBOARD";

// One key of the settings file and where its value lives.
struct SettingKey {
  // Text: a string held in the record (FF_TESTED_STICK).
  enum class Kind : std::uint8_t { Bool, Int, KeyVk, KeyScan, Sequence, Interval, Joystick, Text };
  const char* section;
  const char* name;
  Kind kind;
  std::int32_t default_value;  // numeric kinds
  int index;                   // bool/int field index, or key-table entry
};

// The keys in the order the start-up load reads them (41 in MAIN, 25 in KEYBOARD; the sequence
// is read there too but, having no write-back, is not among the 66 keys of a new file). Both
// orders end with the keys added later (VIRTUAL_SHIFTER, then FF_INVERT_X, FF_INVERT_Y,
// FF_STRENGTH, FF_TESTED_STICK), after the KEYBOARD keys: a new key still lands at the end of its
// own section, and a file of an earlier version keeps its order.
std::span<const SettingKey> LoadOrder();
// The keys in the order the save writes them, JOYSTICK and SYM_SEQUENCE included.
std::span<const SettingKey> SaveOrder();
// Finds a key by name, without regard to case; nullptr when there is none.
const SettingKey* FindSettingKey(std::string_view name);

// The integer a numeric key holds in the record (booleans 0/1, key bytes 0..255).
std::int32_t GetSettingInt(const Settings& s, const SettingKey& key);
// Stores an integer as the load does: booleans are on for any non-zero value, key bytes keep
// their low 8 bits.
void SetSettingInt(Settings& s, const SettingKey& key, std::int32_t value);

// The record with every default of the settings file.
Settings DefaultSettings();
// CHECK_INTERVAL's default, in milliseconds.
std::uint32_t DefaultCheckInterval();

}  // namespace kestrane
