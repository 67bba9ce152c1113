// kestrane-cli devices, record and ff-test in a build without the SDL joystick layer (the Windows
// cross build): each says so and fails.

#include <iostream>

#include "tools/device_commands.h"

namespace kestrane {
namespace {

int NotAvailable(const char* command) {
  std::cerr << "kestrane-cli: " << command
            << " is not available on this platform (built without SDL joystick access)\n";
  return 1;
}

}  // namespace

int DevicesCommand(const std::vector<std::string>&) {
  return NotAvailable("devices");
}

int RecordCommand(const std::vector<std::string>&) {
  return NotAvailable("record");
}

int FfTestCommand(const std::vector<std::string>&) {
  return NotAvailable("ff-test");
}

}  // namespace kestrane
