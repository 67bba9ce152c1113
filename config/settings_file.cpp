#include "config/settings_file.h"

#include <cstdlib>
#include <filesystem>

#include "config/setting_number.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kestrane {
namespace {

namespace fs = std::filesystem;
using Kind = SettingKey::Kind;

constexpr const char* kFileName = "Kestrane.ini";
constexpr const char* kDefaultSequence = "RN1234567";

std::string FullPath(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::absolute(path, ec);
  return ec ? path : full.lexically_normal().string();
}

// Writes the finished text unless it is already what the file holds; a file that is already right
// but read-only still counts as refused, as a real write to it would be.
bool Commit(const std::string& path, const std::optional<std::string>& before,
            const std::string& after) {
  if (before && *before == after) return IsWritablePath(path);
  return WriteFileAtomically(path, after);
}

}  // namespace

std::string ExecutableDirectory() {
#ifdef _WIN32
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  fs::path exe = (n > 0 && n < MAX_PATH) ? fs::path(std::string(buffer, n)) : fs::current_path();
#else
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) exe = fs::current_path(ec) / "kestrane";
#endif
  std::string dir = exe.parent_path().string();
  if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) {
    dir += static_cast<char>(fs::path::preferred_separator);
  }
  return dir;
}

std::string SettingsFilePath() {
  const std::string beside = ExecutableDirectory() + kFileName;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(beside, ec)) || IsWritablePath(beside)) return beside;

  fs::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && fs::path(xdg).is_absolute()) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".config";
  } else {
    return beside;
  }
  const fs::path dir = base / "kestrane";
  fs::create_directories(dir, ec);
  return (dir / kFileName).string();
}

std::int32_t ReadSettingInt(ProfileFile& file, std::string_view section, std::string_view key,
                            std::int32_t def) {
  const std::optional<std::string> text = file.Read(section, key);
  std::int32_t value = def;
  if (text) value = ParseSettingNumber(*text).value_or(def);
  WriteSettingInt(file, section, key, value);
  return value;
}

void WriteSettingInt(ProfileFile& file, std::string_view section, std::string_view key,
                     std::int32_t value) {
  file.Write(section, key, std::to_string(value));
}

std::string ReadSavedJoystick(const std::string& path) {
  const std::optional<std::string> content = ReadWholeFile(path);
  if (!content) return {};
  return ProfileFile(*content).Read(kSectionMain, "JOYSTICK").value_or("");
}

std::string WriteRefusedMessage(const std::string& path) {
  return "Unable to write to " + FullPath(path);
}

std::optional<std::string> LoadSettings(Settings& settings, IntervalTimer& timer,
                                        const std::string& path, WriteBack write_back) {
  const std::optional<std::string> before = ReadWholeFile(path);
  ProfileFile file(before.value_or(""));
  for (const SettingKey& key : LoadOrder()) {
    switch (key.kind) {
      case Kind::Sequence:
        settings.SetSequence(file.Read(key.section, key.name).value_or(kDefaultSequence));
        break;
      case Kind::Interval:
        timer.SetInterval(
            static_cast<std::uint32_t>(ReadSettingInt(file, key.section, key.name,
                                                      key.default_value)));
        break;
      default:
        SetSettingInt(settings, key,
                      ReadSettingInt(file, key.section, key.name, key.default_value));
        break;
    }
  }
  if (write_back == WriteBack::No) return std::nullopt;

  // A file that exists but cannot be read is never replaced by one made of defaults.
  std::error_code ec;
  const bool exists = fs::exists(fs::symlink_status(path, ec));
  const bool unreadable = exists && !before && fs::exists(path, ec);
  if (unreadable || !Commit(path, before, file.Text())) return WriteRefusedMessage(path);
  return std::nullopt;
}

std::optional<std::string> SaveSettings(const Settings& settings, const IntervalTimer& timer,
                                        std::string_view joystick, const std::string& path) {
  const std::optional<std::string> before = ReadWholeFile(path);
  std::error_code ec;
  if (!before && fs::exists(path, ec)) return WriteRefusedMessage(path);
  ProfileFile file(before.value_or(""));
  for (const SettingKey& key : SaveOrder()) {
    switch (key.kind) {
      case Kind::Joystick: file.Write(key.section, key.name, joystick); break;
      case Kind::Sequence: file.Write(key.section, key.name, settings.Sequence()); break;
      case Kind::Interval:
        WriteSettingInt(file, key.section, key.name,
                        static_cast<std::int32_t>(timer.Interval()));
        break;
      default: WriteSettingInt(file, key.section, key.name, GetSettingInt(settings, key)); break;
    }
  }
  if (!Commit(path, before, file.Text())) return WriteRefusedMessage(path);
  return std::nullopt;
}

}  // namespace kestrane
