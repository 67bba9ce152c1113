#pragma once

// The operating system's services that the settings file needs. One implementation per system,
// in platform/posix/ and platform/windows/; platform/CMakeLists.txt links the one that fits.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrane {

enum class ReadOutcome : std::uint8_t { Ok, Missing, NotRegular, TooLarge, Unreadable };

struct FileContent {
  ReadOutcome outcome = ReadOutcome::Missing;
  std::string bytes;   // with Ok
  std::string reason;  // the system's words, with Unreadable
};

// Reads a whole regular file (or the one a link points to) of at most `limit` bytes. Never
// blocks on a FIFO or a device and never reads more than `limit` + 1 bytes.
FileContent ReadRegularFile(const std::string& path, std::size_t limit);

// Replaces the whole file with `content` through a temporary file beside it and a rename, so
// that whatever ends the program the file holds the old or the new text, complete; a link is
// followed. Never writes in place: a folder that takes no new file refuses. A file read-only for
// every user is refused. Returns the empty text, or why the write was refused.
std::string ReplaceWholeFile(const std::string& path, std::string_view content);

// Removes what an interrupted ReplaceWholeFile of `path` left beside it: temporary files of its own
// naming only, and only those nothing has written to for a few seconds.
void RemoveStaleTemporaryFiles(const std::string& path);

// True when `path` could be written: it exists and is writable, or it does not exist and its
// directory is writable.
bool IsWritablePath(const std::string& path);

// The running program's file; the working folder's "kestrane" when the system cannot tell.
std::string ExecutablePath();

// The folder for the settings of a program installed where it cannot write: %APPDATA% on
// Windows, $XDG_CONFIG_HOME (~/.config without it) elsewhere; empty when the system names none.
std::string UserSettingsDirectory();

// Paths travel as UTF-8 text; these convert at the filesystem boundary, so that a name such as
// 設定 reaches Windows' wide calls intact (on Linux both are the identity).
inline std::filesystem::path PathFromText(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string TextFromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

// `when` as calendar time in UTC.
std::tm UtcTime(std::time_t when);

}  // namespace kestrane
