#include "ui/display_check.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#if defined(KESTRANE_DISPLAY_CHECK)
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#if defined(KESTRANE_HAVE_X11)
#include <X11/Xlib.h>
#endif
#endif

namespace kestrane {
namespace {

#if defined(KESTRANE_DISPLAY_CHECK)
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The value of `-name VALUE` (or `--name VALUE`) as Qt reads its own options.
std::string Option(int argc, char** argv, std::string_view name) {
  for (int i = 1; i + 1 < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.starts_with("--")) arg.remove_prefix(1);
    if (arg.size() == name.size() + 1 && arg[0] == '-' && arg.substr(1) == name) return argv[i + 1];
  }
  return {};
}

// Empty when the X display answers; else why not.
std::string XProblem(const std::string& display) {
  if (display.empty()) return "DISPLAY is not set";
#if defined(KESTRANE_HAVE_X11)
  if (Display* x = XOpenDisplay(display.c_str())) {
    XCloseDisplay(x);
    return {};
  }
  return "the X display \"" + display + "\" cannot be opened";
#else
  return {};  // no way to tell: Qt will
#endif
}

std::string WaylandProblem() {
  std::string name = Environment("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";
  if (name.front() != '/') {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return "XDG_RUNTIME_DIR is not set, so no Wayland compositor can be found";
    name = runtime + "/" + name;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) return "the Wayland socket's name is too long";
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "no socket for Wayland";
  const bool reached =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  if (reached) return {};
  return "no Wayland compositor answers at " + name;
}
#endif

}  // namespace

std::string DisplayProblem([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#if defined(KESTRANE_DISPLAY_CHECK)
  std::string platforms = Option(argc, argv, "platform");
  if (platforms.empty()) platforms = Environment("QT_QPA_PLATFORM");
  if (platforms.empty()) {
    platforms = "xcb";
    if (Environment("XDG_SESSION_TYPE") == "wayland" || !Environment("WAYLAND_DISPLAY").empty()) {
      platforms += ";wayland";
    }
  }
  std::string display = Option(argc, argv, "display");
  if (display.empty()) display = Environment("DISPLAY");
  // Qt tries each platform of a ";" list in turn; one that can start is enough.
  std::vector<std::string> problems;
  std::string_view rest = platforms;
  while (!rest.empty()) {
    std::string_view entry = rest.substr(0, rest.find(';'));
    rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    const std::string_view name = entry.substr(0, entry.find(':'));  // "xcb:option=..."
    std::string problem;
    if (name == "xcb") {
      problem = XProblem(display);
    } else if (name.starts_with("wayland")) {
      problem = WaylandProblem();
    }
    if (problem.empty()) return {};
    problems.push_back(std::move(problem));
  }
  if (problems.empty()) return {};
  std::string out = "there is no display to show the window on (";
  for (std::size_t i = 0; i < problems.size(); ++i) out += (i ? "; " : "") + problems[i];
  return out +
         "). Start Kestrane in a desktop session, or set DISPLAY or WAYLAND_DISPLAY to one "
         "(QT_QPA_PLATFORM=offscreen runs it with no display at all).";
#else
  return {};
#endif
}

}  // namespace kestrane
