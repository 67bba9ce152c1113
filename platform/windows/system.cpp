// The settings file's system services on Windows.
#include "core/system.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kestrane {

namespace fs = std::filesystem;

bool IsWritablePath(const std::string& path) {
  const DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    const fs::path dir = fs::path(path).parent_path();
    std::error_code ec;
    return dir.empty() || fs::is_directory(dir, ec);
  }
  return (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

std::string ReplaceWholeFile(const std::string& path, std::string_view content) {
  if (!IsWritablePath(path)) return "the file or its folder is read-only";
  const std::string temp = path + ".kestrane-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out)
      return "the folder takes no new file; Kestrane replaces the file whole, never in place";
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      out.close();
      DeleteFileA(temp.c_str());
      return "the disk refused the text (full?)";
    }
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileA(temp.c_str());
    return "Windows error " + std::to_string(error);
  }
  return {};
}

void RemoveStaleTemporaryFiles(const std::string& path) {
  const std::string temp = path + ".kestrane-tmp";
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return;
  const auto written = fs::last_write_time(temp, ec);
  if (!ec && fs::file_time_type::clock::now() - written >= std::chrono::seconds(5)) {
    fs::remove(temp, ec);
  }
}

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
  FileContent out;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    out.outcome = ReadOutcome::Missing;
    return out;
  }
  if (!fs::is_regular_file(status)) {
    out.outcome = ReadOutcome::NotRegular;
    return out;
  }
  if (fs::file_size(path, ec) > limit) {
    out.outcome = ReadOutcome::TooLarge;
    return out;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out.outcome = ReadOutcome::Unreadable;
    out.reason = "it cannot be opened";
    return out;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    out.outcome = ReadOutcome::Unreadable;
    out.reason = "a read failed";
    return out;
  }
  out.bytes = std::move(buffer).str();
  out.outcome = out.bytes.size() > limit ? ReadOutcome::TooLarge : ReadOutcome::Ok;
  if (out.outcome != ReadOutcome::Ok) out.bytes.clear();
  return out;
}

std::string ExecutablePath() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return (n > 0 && n < MAX_PATH) ? std::string(buffer, n)
                                 : (fs::current_path() / "kestrane").string();
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  gmtime_s(&utc, &when);
  return utc;
}

}  // namespace kestrane
