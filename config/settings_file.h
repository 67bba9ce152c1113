#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/profile_file.h"
#include "config/settings.h"

namespace kestrane {

// Full path of Kestrane.ini: beside the executable, or, when that directory cannot be written
// and holds no settings file (an installed program), $XDG_CONFIG_HOME/kestrane/Kestrane.ini
// (~/.config/kestrane/Kestrane.ini without it).
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

// The "Unable to write to %s" text for a settings file.
std::string WriteRefusedMessage(const std::string& path);

// Loads the record from the settings file and sets the timer's interval to CHECK_INTERVAL. Every
// value read is written back, all in one atomic write at the end, so that the first start creates
// a complete file. Every value is read even when the file cannot be written; the result is then
// the "Unable to write to %s" message for the caller to show. With WriteBack::No the file is only
// read.
std::optional<std::string> LoadSettings(Settings& settings, IntervalTimer& timer,
                                        const std::string& path,
                                        WriteBack write_back = WriteBack::Yes);

// Writes the whole record, the timer's interval and the chosen joystick's name. All or nothing:
// on a refused write the file is untouched and the result is the "Unable to write to %s" message.
std::optional<std::string> SaveSettings(const Settings& settings, const IntervalTimer& timer,
                                        std::string_view joystick, const std::string& path);

}  // namespace kestrane
