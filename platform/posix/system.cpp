// The settings file's system services on POSIX systems (Linux, the BSDs, macOS).
#include "core/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace kestrane {

namespace fs = std::filesystem;

namespace {

// Root may write anywhere; a file or directory without any write bit still counts as
// read-only, the way the read-only attribute works for every user on other platforms.
bool WritableNode(const std::string& path, const struct stat& st) {
  if (access(path.c_str(), W_OK) != 0) return false;
  if (geteuid() == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  return true;
}

// The file a write really goes to: a symbolic link is followed to its target.
// A dangling link too: its target is created, the link itself is never replaced by a file.
std::string WriteTarget(const std::string& path) {
  std::error_code ec;
  fs::path file = path;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(file, ec)); ++hops) {
    const fs::path target = fs::read_symlink(file, ec);
    if (ec) break;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return file.string();
}

std::string DirectoryOf(const std::string& path) {
  fs::path dir = fs::path(path).parent_path();
  return dir.empty() ? std::string(".") : dir.string();
}

bool WriteAll(int fd, std::string_view content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool IsWritablePath(const std::string& raw_path) {
  const std::string path = WriteTarget(raw_path);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    return S_ISREG(st.st_mode) && WritableNode(path, st);
  }
  const std::string dir = DirectoryOf(path);
  struct stat dst {};
  return ::stat(dir.c_str(), &dst) == 0 && S_ISDIR(dst.st_mode) && WritableNode(dir, dst);
}

bool WriteFileAtomically(const std::string& raw_path, std::string_view content) {
  const std::string path = WriteTarget(raw_path);
  if (!IsWritablePath(path)) return false;

  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  std::string temp = DirectoryOf(path) + "/.Kestrane.ini.XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    // The directory takes no new file but the file itself is writable: write it in place.
    if (!exists) return false;
    const int in_place = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (in_place < 0) return false;
    const bool ok = WriteAll(in_place, content) && ::fsync(in_place) == 0;
    return ::close(in_place) == 0 && ok;
  }
  bool ok = WriteAll(fd, content);
  if (ok && exists) {
    ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    if (ok && geteuid() == 0) ok = ::fchown(fd, st.st_uid, st.st_gid) == 0;
  } else if (ok) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ::fchmod(fd, 0666 & ~mask) == 0;
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string ExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) exe = fs::current_path(ec) / "kestrane";
  return exe.string();
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  return utc;
}

}  // namespace kestrane
