#include "config/settings_file.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "config/setting_number.h"
#include "core/messages.h"
#include "core/system.h"


namespace kestrane {
namespace {

namespace fs = std::filesystem;
using Kind = SettingKey::Kind;

constexpr const char* kFileName = "Kestrane.ini";
constexpr const char* kDefaultSequence = "RN1234567";

std::string FullPath(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::absolute(PathFromText(path), ec);
  return ec ? path : TextFromPath(full.lexically_normal());
}

// The full path as a message shows it: a name holding control characters cannot steer a terminal.
std::string ShownPath(const std::string& path) {
  return EscapeControls(FullPath(path));
}

// Writes the finished text unless it is already what the file holds; a file that is already right
// but read-only still counts as refused, as a real write to it would be. A file not read
// completely is kept as a copy first, and not written over when that fails.
// Returns the empty text, or why the write was refused.
std::string Commit(const std::string& path, const std::optional<std::string>& before,
                   const std::string& after, std::string* notice) {
  constexpr const char* kReadOnly = "the file or its folder is read-only";
  if (before && *before == after) return IsWritablePath(path) ? "" : kReadOnly;
  if (before && !SettingsTextUnderstood(*before)) {
    if (!IsWritablePath(path)) return kReadOnly;
    const std::optional<std::string> copy = KeepSettingsCopy(path, *before);
    if (!copy) return "no copy of the file as it was could be kept";
    if (notice) {
      if (!notice->empty()) *notice += "\n";
      *notice += ShownPath(path) + " holds text Kestrane cannot read as settings; it is kept as " +
                 ShownPath(*copy) + " before Kestrane writes its settings into the file";
    }
  }
  return ReplaceWholeFile(path, after);
}

// What stands in the way of reading the settings file, in words; nullopt when nothing does (a
// missing file reads as all defaults).
std::optional<std::string> ReadProblem(const std::string& path, const FileContent& read) {
  switch (read.outcome) {
    case ReadOutcome::Ok:
    case ReadOutcome::Missing:
      return std::nullopt;
    case ReadOutcome::NotRegular:
      return ShownPath(path) +
             " is not a regular file; Kestrane reads and writes its settings only in a regular "
             "file (or a link to one) and leaves this one alone";
    case ReadOutcome::TooLarge:
      return ShownPath(path) + " is larger than " +
             std::to_string(kLargestSettingsFile / (1024 * 1024)) +
             " MiB, too large for a settings file; Kestrane leaves it alone";
    case ReadOutcome::Unreadable:
      return "Unable to read " + ShownPath(path) + " (" + read.reason + ")";
  }
  return std::nullopt;
}

// The settings file's bytes (nullopt when there is no file), or why it cannot be read.
struct SettingsText {
  std::optional<std::string> problem;
  std::optional<std::string> before;
};
SettingsText ReadSettingsText(const std::string& path) {
  FileContent read = ReadRegularFile(path, kLargestSettingsFile);
  SettingsText out{ReadProblem(path, read), std::nullopt};
  if (read.outcome == ReadOutcome::Ok) out.before = std::move(read.bytes);
  return out;
}

std::string CopyTimestamp() {
  const std::time_t now = std::time(nullptr);
  const std::tm utc = UtcTime(now);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
  return text;
}

// The sequence as the record can hold it and a save write it back unchanged: up to a zero byte, at
// most 9 characters, a line break inside read as a blank (a value is one line) and no blanks at
// the end (a value never ends in one).
std::string StorableSequence(std::string_view text) {
  std::string out(text.substr(0, std::min<std::size_t>({text.size(), 9, text.find('\0')})));
  std::replace(out.begin(), out.end(), '\r', ' ');
  std::replace(out.begin(), out.end(), '\n', ' ');
  return ProfileFile::ValueText(out);
}

}  // namespace

std::string ExecutableDirectory() {
  const fs::path exe = PathFromText(ExecutablePath());
  std::string dir = TextFromPath(exe.parent_path());
  if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) {
    dir += static_cast<char>(fs::path::preferred_separator);
  }
  return dir;
}

std::string SettingsFilePath() {
  const std::string beside = ExecutableDirectory() + kFileName;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(PathFromText(beside), ec)) || IsWritablePath(beside)) {
    return beside;
  }
  const std::string base = UserSettingsDirectory();
  if (base.empty()) return beside;
#ifdef _WIN32
  const fs::path dir = PathFromText(base) / "Kestrane";
#else
  const fs::path dir = PathFromText(base) / "kestrane";
#endif
  fs::create_directories(dir, ec);
  return TextFromPath(dir / kFileName);
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

std::string WriteRefusedMessage(const std::string& path, const std::string& reason) {
  return "Unable to write to " + ShownPath(path) + (reason.empty() ? "" : "\n(" + reason + ")");
}

bool SettingsTextUnderstood(std::string_view content) {
  const ProfileFile file(content);
  if (!file.EveryLineUnderstood()) return false;
  for (const SettingKey& key : SaveOrder()) {
    const std::optional<std::string> value = file.Read(key.section, key.name);
    if (!value) continue;
    switch (key.kind) {
      case Kind::Joystick:
      case Kind::Text: break;
      case Kind::Sequence:
        if (value->size() > 9 || StorableSequence(*value) != *value) return false;
        break;
      default:
        if (!ParseSettingNumber(*value)) return false;
        break;
    }
  }
  return true;
}

std::optional<std::string> KeepSettingsCopy(const std::string& path, std::string_view content) {
  const fs::path file = PathFromText(path);
  const std::string prefix = TextFromPath(file.filename()) + ".bak-";
  fs::path dir = file.parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (!TextFromPath(it->path().filename()).starts_with(prefix)) continue;
    if (!it->is_regular_file(ec) || it->file_size(ec) != content.size()) continue;
    if (ReadWholeFile(TextFromPath(it->path())) == content) return TextFromPath(it->path());
  }
  const std::string base = path + ".bak-" + CopyTimestamp();
  std::string copy = base;
  for (int n = 2; fs::exists(fs::symlink_status(PathFromText(copy), ec)); ++n) {
    copy = base + "-" + std::to_string(n);
  }
  if (!ReplaceWholeFile(copy, content).empty()) return std::nullopt;
  return copy;
}

std::optional<std::string> LoadSettings(Settings& settings, IntervalTimer& timer,
                                        const std::string& path, WriteBack write_back,
                                        std::string* notice) {
  const auto [problem, before] = ReadSettingsText(path);
  ProfileFile file(before.value_or(""));
  for (const SettingKey& key : LoadOrder()) {
    switch (key.kind) {
      case Kind::Sequence:
        settings.SetSequence(
            StorableSequence(file.Read(key.section, key.name).value_or(kDefaultSequence)));
        break;
      case Kind::Interval:
        timer.SetInterval(
            static_cast<std::uint32_t>(ReadSettingInt(file, key.section, key.name,
                                                      key.default_value)));
        break;
      case Kind::Text:
        settings.FF_TESTED_STICK = file.Read(key.section, key.name).value_or("");
        file.Write(key.section, key.name, settings.FF_TESTED_STICK);
        break;
      default:
        SetSettingInt(settings, key,
                      ReadSettingInt(file, key.section, key.name, key.default_value));
        break;
    }
  }
  // Geometry that cannot describe a pattern falls back to its default, as a non-number does
  // (anything else is kept as read: stored files may rely on it).
  for (const char* name : {"JOY_GEAR_WIDTH", "JOY_GEAR_HEIGHT", "GEAR_CROSS_SIZE"}) {
    const SettingKey& key = *FindSettingKey(name);
    const std::int32_t value = GetSettingInt(settings, key);
    if (value >= 0) continue;
    SetSettingInt(settings, key, key.default_value);
    WriteSettingInt(file, key.section, key.name, key.default_value);
    if (notice) {
      if (!notice->empty()) *notice += "\n";
      *notice += std::string(name) + "=" + std::to_string(value) +
                 " cannot describe a shift pattern; Kestrane uses the default " +
                 std::to_string(key.default_value) + " instead";
    }
  }
  // A file that exists but cannot be read is never replaced by one made of defaults.
  if (problem || write_back == WriteBack::No) return problem;
  RemoveStaleTemporaryFiles(path);
  if (std::string refused = Commit(path, before, file.Text(), notice); !refused.empty()) {
    return WriteRefusedMessage(path, refused);
  }
  return std::nullopt;
}

namespace {

// A key's value as the save writes it.
std::string SavedText(const SettingKey& key, const Settings& settings, std::uint32_t interval,
                      std::string_view joystick) {
  switch (key.kind) {
    case Kind::Joystick: return std::string(joystick);
    case Kind::Text: return settings.FF_TESTED_STICK;
    case Kind::Sequence: return std::string(settings.Sequence());
    case Kind::Interval: return std::to_string(static_cast<std::int32_t>(interval));
    default: return std::to_string(GetSettingInt(settings, key));
  }
}

// Writes into the file as it is on disk now the keys `write` picks, in the save's order.
template <typename Pick>
std::optional<std::string> WriteKeys(const std::string& path, std::string* notice, Pick write) {
  const auto [problem, before] = ReadSettingsText(path);
  if (problem) return problem;
  ProfileFile file(before.value_or(""));
  for (const SettingKey& key : SaveOrder()) {
    if (std::optional<std::string> text = write(key)) file.Write(key.section, key.name, *text);
  }
  if (std::string refused = Commit(path, before, file.Text(), notice); !refused.empty()) {
    return WriteRefusedMessage(path, refused);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SaveSettings(const Settings& settings, const IntervalTimer& timer,
                                        std::string_view joystick, const std::string& path,
                                        std::string* notice) {
  return WriteKeys(path, notice, [&](const SettingKey& key) -> std::optional<std::string> {
    return SavedText(key, settings, timer.Interval(), joystick);
  });
}

std::optional<std::string> SaveChangedSettings(const SettingsSnapshot& shown,
                                               const SettingsSnapshot& saved,
                                               const std::string& path, std::string* notice) {
  return WriteKeys(path, notice, [&](const SettingKey& key) -> std::optional<std::string> {
    std::string before = SavedText(key, shown.settings, shown.interval, shown.joystick);
    std::string after = SavedText(key, saved.settings, saved.interval, saved.joystick);
    if (before == after) return std::nullopt;
    return after;
  });
}

}  // namespace kestrane
