#include "platform/system_shifter.h"

#if !defined(_WIN32) && !defined(KESTRANE_NO_LINUX_KEYS)
#include "platform/uinput/udev_rule.h"
#include "platform/uinput/uinput_shifter.h"
#endif

namespace kestrane {
namespace {
std::string RuleFix() {
#if !defined(_WIN32) && !defined(KESTRANE_NO_LINUX_KEYS)
  return UdevRuleFix();
#else
  return {};
#endif
}
}  // namespace

std::string ShifterProblemMessage(const std::string& why) {
  return "Kestrane could not create its virtual H-shifter (the joystick \"Kestrane H-shifter\" "
         "that holds one button per gear): " +
         why +
         ". Everything else works without it, the gear keys included. " + RuleFix() +
         " Then start Kestrane anew. Or switch \"Virtual H-shifter\" off in the settings.";
}

#if !defined(_WIN32) && !defined(KESTRANE_NO_LINUX_KEYS)
std::unique_ptr<ShifterPort> OpenSystemShifter(std::string& problem, MessageSink& report) {
  problem.clear();
  std::string why;
  if (std::unique_ptr<ShifterPort> shifter = OpenUinputShifter(OpenUinputDevice, report, why)) {
    return shifter;
  }
  problem = ShifterProblemMessage(why);
  return nullptr;
}
#else
std::unique_ptr<ShifterPort> OpenSystemShifter(std::string& problem, MessageSink&) {
  problem =
      "Kestrane has no virtual H-shifter on this system (it makes one only with Linux's uinput). "
      "The README names joystick drivers (vJoy and its successors) that a key-to-joystick tool "
      "can drive instead. Switch \"Virtual H-shifter\" off in the settings to stop this message.";
  return nullptr;
}
#endif

std::unique_ptr<ShifterPort> OpenSystemShifter(std::string& problem) {
  return OpenSystemShifter(problem, StandardErrorMessages());
}

}  // namespace kestrane
