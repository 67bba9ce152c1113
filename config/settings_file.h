#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/profile_file.h"
#include "config/setting_keys.h"

namespace kestrane {

// Full path of Kestrane.ini: beside the executable, or, when that directory cannot be written
// and holds no settings file (an installed program), the user's own copy:
// $XDG_CONFIG_HOME/kestrane/Kestrane.ini (~/.config/kestrane/ without it) on Linux,
// %APPDATA%\Kestrane\Kestrane.ini on Windows. UTF-8 throughout.
std::string SettingsFilePath();

// The directory of the running executable, with its trailing separator.
std::string ExecutableDirectory();

// Reads an integer key with `def` as the text of a missing key; a value that is not a number
// gives the default. The integer is written back to the key in decimal at once.
std::int32_t ReadSettingInt(ProfileFile& file, std::string_view section, std::string_view key,
                            std::int32_t def);
void WriteSettingInt(ProfileFile& file, std::string_view section, std::string_view key,
                     std::int32_t value);

// The saved joystick name: a plain read, the empty text by default, no write-back.
std::string ReadSavedJoystick(const std::string& path);

enum class WriteBack : std::uint8_t { Yes, No };

// Whether Kestrane reads a settings file's text completely into its values: no zero byte, every
// line blank, a comment, a section header or key=value with a value of at most 2047 characters,
// every number key holding a number and the sequence at most 9 characters. Before Kestrane
// writes over a file that is not, it keeps the file as it was beside it (see KeepSettingsCopy).
bool SettingsTextUnderstood(std::string_view content);

// Keeps `content`, the bytes of the settings file at `path`, as "<path>.bak-YYYYMMDD-HHMMSS"
// (UTC; "-2", "-3"... when that name is taken) unless a copy with exactly these bytes is already
// there. Returns the copy's path, or nullopt when no copy could be written.
std::optional<std::string> KeepSettingsCopy(const std::string& path, std::string_view content);

// The largest settings file Kestrane reads; a larger one is refused, never read into memory.
inline constexpr std::size_t kLargestSettingsFile = 1024 * 1024;

// The "Unable to write to %s" text for a settings file, with the reason on a line of its own.
std::string WriteRefusedMessage(const std::string& path, const std::string& reason = {});

// Loads the record from the settings file and sets the timer's interval to CHECK_INTERVAL. Every
// value read is written back, all in one atomic write at the end, so that the first start creates
// a complete file (temporary files an earlier write left behind are removed first). Every value is
// read even when the file cannot be written; the result is then the "Unable to write to %s"
// message for the caller to show. A path that is not a regular file, a file over
// kLargestSettingsFile or one that cannot be read loads the defaults, is never written, and the
// result says why. With WriteBack::No the file is only read. A file Kestrane does not read
// completely is kept as a copy before it is written over; the copy is refused like the write,
// and `notice` (when given) gets a message naming the copy.
std::optional<std::string> LoadSettings(Settings& settings, IntervalTimer& timer,
                                        const std::string& path,
                                        WriteBack write_back = WriteBack::Yes,
                                        std::string* notice = nullptr);

// Writes the whole record, the timer's interval and the chosen joystick's name. All or nothing:
// on a refused write the file is untouched and the result is the "Unable to write to %s" message.
// A file Kestrane does not read completely is kept as a copy first, as by LoadSettings.
std::optional<std::string> SaveSettings(const Settings& settings, const IntervalTimer& timer,
                                        std::string_view joystick, const std::string& path,
                                        std::string* notice = nullptr);

// What a save is about: the record, the polling interval and the chosen joystick's name.
struct SettingsSnapshot {
  Settings settings;
  std::uint32_t interval = 0;
  std::string joystick;
};

// The settings dialog's save: only the keys whose value differs between `shown` (what the dialog
// showed) and `saved` are written, over the file as it is on disk now, so that a change another
// program made meanwhile to other keys stays. Refusals as SaveSettings.
std::optional<std::string> SaveChangedSettings(const SettingsSnapshot& shown,
                                               const SettingsSnapshot& saved,
                                               const std::string& path,
                                               std::string* notice = nullptr);

}  // namespace kestrane
