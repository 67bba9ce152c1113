#include "device/no_joystick.h"

#if defined(__linux__)
#include <unistd.h>

#include <filesystem>
#endif

namespace kestrane {

std::string NoJoystickReason() {
#if defined(__linux__)
  int nodes = 0, readable = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/dev/input", ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename().string().rfind("event", 0) != 0) continue;
    ++nodes;
    if (::access(it->path().c_str(), R_OK) == 0) ++readable;
  }
  if (nodes > 0 && readable == 0) {
    return "this user may not read /dev/input/event*: log out and in again after plugging the "
           "stick in, or add yourself to the input group (sudo usermod -aG input $USER, then log "
           "in again)";
  }
#endif
  return "no joystick is connected (plug it in; a stick that needs its maker's driver needs that "
         "too)";
}

}  // namespace kestrane
