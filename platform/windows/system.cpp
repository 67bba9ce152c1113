// The settings file's system services on Windows.
#include "core/system.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

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

bool WriteFileAtomically(const std::string& path, std::string_view content) {
  if (!IsWritablePath(path)) return false;
  const std::string temp = path + ".kestrane-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      out.close();
      DeleteFileA(temp.c_str());
      return false;
    }
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
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
