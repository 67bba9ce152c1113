// The settings file's system services on POSIX systems (Linux, the BSDs, macOS).
#include "core/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// The temporary file ReplaceWholeFile writes beside "<dir>/<name>": "<dir>/.<name>.XXXXXX".
std::string TemporaryPrefix(const std::string& path) {
  const fs::path p(path);
  return (fs::path(DirectoryOf(path)) / ("." + p.filename().string() + ".")).string();
}

// Creates "<prefix>XXXXXX" (six random letters and digits) with mode 0666 less the umask, as
// any new file gets it. mkstemp makes it 0600, and the umask can be read only by setting it,
// which changes it for every thread of the process at once.
int CreateTemporaryFile(const std::string& prefix, std::string& name) {
  static constexpr char kChars[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t seed = static_cast<std::uint64_t>(
                           std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (static_cast<std::uint64_t>(::getpid()) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t bits = (seed += 0x9E3779B97F4A7C15ull + counter++);  // splitmix64
    bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
    bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
    bits ^= bits >> 31;
    name = prefix;
    for (int i = 0; i < 6; ++i, bits /= 62) name += kChars[bits % 62];
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

std::string SystemError(int error) {
  return std::strerror(error);
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

std::string ReplaceWholeFile(const std::string& raw_path, std::string_view content) {
  const std::string path = WriteTarget(raw_path);
  if (!IsWritablePath(path)) return "the file or its folder is read-only";

  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  std::string temp;
  const int fd = CreateTemporaryFile(TemporaryPrefix(path), temp);
  if (fd < 0) {
    return "the folder takes no new file (" + SystemError(errno) +
           "); Kestrane replaces the file whole, never in place";
  }
  int error = 0;
  bool ok = WriteAll(fd, content);
  if (!ok) error = errno;
  if (ok && exists) {
    ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    if (ok && geteuid() == 0) ok = ::fchown(fd, st.st_uid, st.st_gid) == 0;
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (!ok && error == 0) error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return SystemError(error);
  }
  return {};
}

void RemoveStaleTemporaryFiles(const std::string& raw_path) {
  const std::string path = WriteTarget(raw_path);
  const std::string prefix = fs::path(TemporaryPrefix(path)).filename().string();
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(DirectoryOf(path), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const bool random_tail =
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                    [](unsigned char c) { return std::isalnum(c); });
    std::error_code file_ec;
    if (!random_tail || !it->is_regular_file(file_ec)) continue;
    const auto written = fs::last_write_time(it->path(), file_ec);
    if (file_ec || now - written < std::chrono::seconds(5)) continue;  // a write going on now
    fs::remove(it->path(), file_ec);
  }
}

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
  FileContent out;
  // Non-blocking, so that a FIFO or a device cannot hold the program; checked before reading.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    out.outcome = errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Unreadable;
    out.reason = SystemError(errno);
    return out;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    out.outcome = ReadOutcome::NotRegular;
  } else if (static_cast<std::uintmax_t>(st.st_size) > limit) {
    out.outcome = ReadOutcome::TooLarge;
  } else {
    out.outcome = ReadOutcome::Ok;
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        out.outcome = ReadOutcome::Unreadable;
        out.reason = SystemError(errno);
        break;
      }
      out.bytes.append(buffer, static_cast<std::size_t>(n));
      if (out.bytes.size() > limit) {  // it grew while being read
        out.outcome = ReadOutcome::TooLarge;
        break;
      }
    }
  }
  ::close(fd);
  if (out.outcome != ReadOutcome::Ok) out.bytes.clear();
  return out;
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

std::string UserSettingsDirectory() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && fs::path(xdg).is_absolute()) {
    return xdg;
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return (fs::path(home) / ".config").string();
  }
  return {};
}

}  // namespace kestrane
