#include "platform/key_guard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace kestrane {
namespace {

// The guard's side: its own X connection, the keys it was told are down, and at the end of its
// input (Kestrane gone, however) a release of each.
int RunKeyGuard() {
  // A signal meant for Kestrane (a terminal's Ctrl+C or Ctrl+Z reaches the whole group) is not
  // for it.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP}) std::signal(sig, SIG_IGN);
  Display* display = XOpenDisplay(nullptr);
  const char ready = display ? 'r' : 'f';
  // Kestrane may be gone already: the keys it noted are let go of below all the same.
  [[maybe_unused]] const ssize_t told = ::write(STDIN_FILENO, &ready, 1);
  if (!display) return 1;

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
  explicit ProcessKeyGuard(std::unique_ptr<HelperProcess> helper) : helper_(std::move(helper)) {}
  // Closing the channel (HelperProcess) has the guard let go of what is left and end.
  void Note(unsigned keycode, bool down) override {
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%c %u\n", down ? 'd' : 'u', keycode);
    // Notes wait in the channel while the guard starts; a guard that is gone fails no key.
    helper_->Send(std::string_view(line, static_cast<std::size_t>(n)), Delivery::MustArrive);
  }
  HelperReadiness Readiness() override { return helper_->Readiness(); }

 private:
  std::unique_ptr<HelperProcess> helper_;
};

}  // namespace

std::optional<int> RunKeyGuardIfAsked(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kKeyGuardArgument) == 0) return RunKeyGuard();
  return std::nullopt;
}

std::unique_ptr<KeyGuard> StartKeyGuard() {
  HelperStart started = HelperProcess::Start({kKeyGuardArgument});
  if (!started.process) return nullptr;
  return std::make_unique<ProcessKeyGuard>(std::move(started.process));
}

}  // namespace kestrane
