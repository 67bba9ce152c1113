#include "device/force_guard.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;
#endif

namespace kestrane {

#if defined(__linux__)
namespace {

void WriteFf(int fd, std::uint16_t code, std::int32_t value) {
  input_event e{};
  e.type = EV_FF;
  e.code = code;
  e.value = value;
  [[maybe_unused]] const ssize_t n = ::write(fd, &e, sizeof e);
}

// The guard's side. The channel (standard input) carries 'b' (a tick), 'p' (resting) and
// "l<ms>\n" (a new limit); its end means Kestrane is gone.
int RunForceGuard(const char* path, long limit_ms) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP}) std::signal(sig, SIG_IGN);
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  const int device = ::open(path, O_WRONLY | O_CLOEXEC);
  const char ready = device >= 0 ? 'r' : 'f';
  if (::write(STDIN_FILENO, &ready, 1) != 1 || device < 0) return 1;
  int effects = 16;
  if (::ioctl(device, EVIOCGEFFECTS, &effects) != 0 || effects <= 0 || effects > 256) effects = 16;

  bool ticking = false, silenced = false;
  std::string number;
  bool in_limit = false;
  for (;;) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready_fds = ::poll(&in, 1, static_cast<int>(limit_ms));
    if (ready_fds < 0 && errno == EINTR) continue;
    if (ready_fds == 0) {
      if (ticking && !silenced) {
        WriteFf(device, FF_GAIN, 0);
        for (int id = 0; id < effects; ++id) WriteFf(device, static_cast<std::uint16_t>(id), 0);
        silenced = true;
      }
      continue;
    }
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // Kestrane is gone: closing its handle removed its effects
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (in_limit) {
        if (c == '\n') {
          limit_ms = std::max(1L, std::atol(number.c_str()));
          number.clear();
          in_limit = false;
        } else {
          number += c;
        }
      } else if (c == 'l') {
        in_limit = true;
      } else if (c == 'p') {
        ticking = false;
      } else if (c == 'b') {
        ticking = true;
        if (silenced) {
          WriteFf(device, FF_GAIN, 0xFFFF);
          silenced = false;
        }
      }
    }
  }
  ::close(device);
  return 0;
}

class ProcessForceGuard final : public ForceGuard {
 public:
  explicit ProcessForceGuard(int channel) : channel_(channel) {}
  ~ProcessForceGuard() override { ::close(channel_); }
  void Beat() override { Send("b", 1); }
  void Rest() override { Send("p", 1); }
  void SetLimit(std::chrono::milliseconds limit) override {
    char line[32];
    const int n =
        std::snprintf(line, sizeof line, "l%lld\n", static_cast<long long>(limit.count()));
    Send(line, static_cast<std::size_t>(n));
  }

 private:
  // Never blocks and never raises SIGPIPE: a full or broken channel loses a heartbeat at worst.
  void Send(const char* bytes, std::size_t n) {
    [[maybe_unused]] const ssize_t sent = ::send(channel_, bytes, n, MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  int channel_;
};

}  // namespace

std::optional<int> RunForceGuardIfAsked(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], kForceGuardArgument) == 0) {
    return RunForceGuard(argv[2], std::atol(argv[3]));
  }
  return std::nullopt;
}

std::unique_ptr<ForceGuard> StartForceGuard(const std::string& device_path,
                                            std::chrono::milliseconds limit) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
  char exe[] = "/proc/self/exe";
  std::string arg = kForceGuardArgument, path = device_path, ms = std::to_string(limit.count());
  char* const args[] = {exe, arg.data(), path.data(), ms.data(), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, exe, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (failed != 0) {
    ::close(fds[0]);
    return nullptr;
  }
  // Ready once it holds the device node open.
  pollfd ready{fds[0], POLLIN, 0};
  char byte = 0;
  if (::poll(&ready, 1, 5000) != 1 || ::read(fds[0], &byte, 1) != 1 || byte != 'r') {
    ::close(fds[0]);
    return nullptr;
  }
  return std::make_unique<ProcessForceGuard>(fds[0]);
}

#else

std::optional<int> RunForceGuardIfAsked(int, char**) {
  return std::nullopt;
}

std::unique_ptr<ForceGuard> StartForceGuard(const std::string&, std::chrono::milliseconds) {
  return nullptr;
}

#endif

}  // namespace kestrane
