#include "platform/key_guard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>

extern char** environ;

namespace kestrane {
namespace {

// The guard's side: its own X connection, the keys it was told are down, and at the end of its
// input (Kestrane gone, however) a release of each.
int RunKeyGuard() {
  // A signal meant for Kestrane (a terminal's Ctrl+C reaches the whole group) is not for it.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) std::signal(sig, SIG_IGN);
  // Keep nothing of Kestrane's open but the channel (standard input) and standard error.
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  const char ready = 'r';
  if (::write(STDIN_FILENO, &ready, 1) != 1) return 1;

  std::set<unsigned> down;
  std::string pending;
  char buffer[256];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;
         pending.erase(0, end + 1)) {
      unsigned keycode = 0;
      char what = 0;
      if (std::sscanf(pending.c_str(), "%c %u", &what, &keycode) != 2) continue;
      if (what == 'd') down.insert(keycode);
      if (what == 'u') down.erase(keycode);
    }
  }
  for (unsigned keycode : down) XTestFakeKeyEvent(display, keycode, False, CurrentTime);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}

class ProcessKeyGuard final : public KeyGuard {
 public:
  ProcessKeyGuard(int channel, pid_t pid) : channel_(channel), pid_(pid) {}
  ~ProcessKeyGuard() override {
    ::close(channel_);  // the guard sees the end, lets go of what is left and ends
    (void)pid_;         // it is not waited for: ending must not wait on it
  }
  void Note(unsigned keycode, bool down) override {
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%c %u\n", down ? 'd' : 'u', keycode);
    // A guard that is gone is no reason to fail a key; MSG_NOSIGNAL keeps SIGPIPE away.
    [[maybe_unused]] const ssize_t sent =
        ::send(channel_, line, static_cast<std::size_t>(n), MSG_NOSIGNAL);
  }

 private:
  int channel_;
  pid_t pid_;
};

}  // namespace

std::optional<int> RunKeyGuardIfAsked(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kKeyGuardArgument) == 0) return RunKeyGuard();
  return std::nullopt;
}

std::unique_ptr<KeyGuard> StartKeyGuard() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);  // not close-on-exec
  char exe[] = "/proc/self/exe";
  char arg[64];
  std::snprintf(arg, sizeof arg, "%s", kKeyGuardArgument);
  char* const args[] = {exe, arg, nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, exe, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (failed != 0) {
    ::close(fds[0]);
    return nullptr;
  }
  // Ready once it has its own X connection: a key pressed from now on is guarded.
  pollfd ready{fds[0], POLLIN, 0};
  char byte = 0;
  if (::poll(&ready, 1, 5000) != 1 || ::read(fds[0], &byte, 1) != 1 || byte != 'r') {
    ::close(fds[0]);
    return nullptr;
  }
  return std::make_unique<ProcessKeyGuard>(fds[0], pid);
}

}  // namespace kestrane
