// The settings file's system services on Windows. Paths arrive as UTF-8 and go to the wide
// (UTF-16) calls, so that any name the user's folders carry works.
#include "core/system.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

namespace kestrane {

namespace fs = std::filesystem;

namespace {

std::string WindowsError(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (n > 0 && text) {
    std::wstring w(text, n);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L'.')) w.pop_back();
    out = TextFromPath(fs::path(w));
  }
  if (text) LocalFree(text);
  return out.empty() ? "Windows error " + std::to_string(error) : out;
}

fs::path DirectoryOf(const fs::path& file) {
  const fs::path dir = file.parent_path();
  return dir.empty() ? fs::path(L".") : dir;
}

// ".Kestrane.ini." and six letters or digits beside the file, as on other systems.
std::wstring TemporaryPrefix(const fs::path& file) {
  return L"." + file.filename().wstring() + L".";
}

// Creates a new temporary file beside `file`, never opening one that exists.
HANDLE CreateTemporary(const fs::path& file, fs::path& temp, DWORD& error) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring name = TemporaryPrefix(file);
    for (int i = 0; i < 6; ++i) name += static_cast<wchar_t>(kLetters[pick(random)]);
    temp = DirectoryOf(file) / name;
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

// Whether the folder takes a new file: tried for real, since a folder's read-only attribute
// means nothing on Windows and its access rights (Program Files) are what refuses.
bool FolderTakesNewFiles(const fs::path& dir) {
  const DWORD attrs = GetFileAttributesW(dir.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
  fs::path probe;
  DWORD error = 0;
  HANDLE h = CreateTemporary(dir / L"Kestrane.probe", probe, error);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  DeleteFileW(probe.c_str());
  return true;
}

}  // namespace

bool IsWritablePath(const std::string& path) {
  const fs::path file = PathFromText(path);
  const DWORD attrs = GetFileAttributesW(file.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES &&
      (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  // The file is replaced through a new file beside it: its folder must take one.
  return FolderTakesNewFiles(DirectoryOf(file));
}

std::string ReplaceWholeFile(const std::string& path, std::string_view content) {
  const fs::path file = PathFromText(path);
  const DWORD attrs = GetFileAttributesW(file.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES &&
      (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return "the file or its folder is read-only";
  }
  fs::path temp;
  DWORD error = 0;
  HANDLE h = CreateTemporary(file, temp, error);
  if (h == INVALID_HANDLE_VALUE) {
    return "the folder takes no new file (" + WindowsError(error) +
           "); Kestrane replaces the file whole, never in place";
  }
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
    DWORD written = 0;
    ok = WriteFile(h, content.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  if (ok) ok = FlushFileBuffers(h);
  error = ok ? 0 : GetLastError();
  CloseHandle(h);
  if (!ok) {
    DeleteFileW(temp.c_str());
    return "the disk refused the text (" + WindowsError(error) + ")";
  }
  if (!MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    DeleteFileW(temp.c_str());
    return WindowsError(error);
  }
  return {};
}

void RemoveStaleTemporaryFiles(const std::string& path) {
  const fs::path file = PathFromText(path);
  const std::wstring prefix = TemporaryPrefix(file);
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(DirectoryOf(file), ec), end; !ec && it != end; it.increment(ec)) {
    const std::wstring name = it->path().filename().wstring();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const bool random_tail =
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                    [](wchar_t c) { return c < 128 && std::isalnum(static_cast<int>(c)); });
    std::error_code file_ec;
    if (!random_tail || !it->is_regular_file(file_ec)) continue;
    const auto written = fs::last_write_time(it->path(), file_ec);
    if (file_ec || now - written < std::chrono::seconds(5)) continue;  // a write going on now
    fs::remove(it->path(), file_ec);
  }
}

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
  FileContent out;
  const fs::path file = PathFromText(path);
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attrs = GetFileAttributesW(file.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      out.outcome = ReadOutcome::NotRegular;
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      out.outcome = ReadOutcome::Missing;
    } else {
      out.outcome = ReadOutcome::Unreadable;
      out.reason = WindowsError(error);
    }
    return out;
  }
  // Only disk files: a pipe or a device could block or never end.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    out.outcome = ReadOutcome::NotRegular;
    return out;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(h, &size) && static_cast<unsigned long long>(size.QuadPart) > limit) {
    CloseHandle(h);
    out.outcome = ReadOutcome::TooLarge;
    return out;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
      const DWORD error = GetLastError();
      CloseHandle(h);
      out.outcome = ReadOutcome::Unreadable;
      out.reason = WindowsError(error);
      return out;
    }
    if (n == 0) break;
    bytes.append(buffer, n);
    if (bytes.size() > limit) {
      CloseHandle(h);
      out.outcome = ReadOutcome::TooLarge;
      return out;
    }
  }
  CloseHandle(h);
  out.outcome = ReadOutcome::Ok;
  out.bytes = std::move(bytes);
  return out;
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) break;
    if (n < buffer.size()) {
      buffer.resize(n);
      return TextFromPath(fs::path(buffer));
    }
    if (buffer.size() > 32768) break;
    buffer.resize(buffer.size() * 2);
  }
  return TextFromPath(fs::current_path() / L"kestrane");
}

std::string UserSettingsDirectory() {
  // %APPDATA% as the user's session sets it; the known folder when the variable is missing.
  if (const wchar_t* appdata = _wgetenv(L"APPDATA"); appdata && *appdata) {
    return TextFromPath(fs::path(appdata));
  }
  PWSTR folder = nullptr;
  std::string out;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder)) && folder) {
    out = TextFromPath(fs::path(folder));
  }
  CoTaskMemFree(folder);
  return out;
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  gmtime_s(&utc, &when);
  return utc;
}

}  // namespace kestrane
