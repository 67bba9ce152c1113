#pragma once

// An X display for the tests that need one: a private Xvfb when the program is installed (so
// that injected keys reach nobody else's windows), else the display DISPLAY names.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace kestrane::test {

class XServer {
 public:
  XServer() {
    if (const char* d = std::getenv("DISPLAY")) saved_display_ = d;
    StartXvfb();
    if (pid_ > 0)
      setenv("DISPLAY", display_.c_str(), 1);
    else if (saved_display_)
      display_ = *saved_display_;
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    if (saved_display_)
      setenv("DISPLAY", saved_display_->c_str(), 1);
    else
      unsetenv("DISPLAY");
  }

  // Empty when there is no display at all.
  const std::string& display() const { return display_; }
  bool is_private() const { return pid_ > 0; }

 private:
  void StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server when a test dies
      close(fds[0]);
      const int devnull = open("/dev/null", O_WRONLY);
      if (devnull >= 0) dup2(devnull, STDERR_FILENO);
      const std::string fd = std::to_string(fds[1]);
      // -noreset: a connection made while the server resets after its last client is refused.
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten",
             "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      return;
    }
    pid_ = pid;
    display_ = ":" + number;
  }

  pid_t pid_ = -1;
  std::string display_;
  std::optional<std::string> saved_display_;
};

}  // namespace kestrane::test
