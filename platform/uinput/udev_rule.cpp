#include "platform/uinput/udev_rule.h"

#include <filesystem>
#include <vector>

#include "core/system.h"

namespace kestrane {
namespace {

constexpr const char* kReload =
    "sudo modprobe uinput && sudo udevadm control --reload-rules && sudo udevadm trigger";
constexpr const char* kRule =
    "SUBSYSTEM==\"misc\", KERNEL==\"uinput\", OPTIONS+=\"static_node=uinput\", TAG+=\"uaccess\"";

}  // namespace

std::string UdevRuleFix(const std::function<bool(const std::string&)>& exists) {
  const std::string name = kUdevRuleName;
  for (const char* dir : {"/etc/udev/rules.d/", "/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"}) {
    if (exists(dir + name)) {
      return "The udev rule " + (dir + name) + " is installed; load it with: " + kReload +
             " ; then log out and in again.";
    }
  }
  std::vector<std::string> copies;
#if defined(KESTRANE_INSTALLED_UDEV_RULE)
  copies.emplace_back(KESTRANE_INSTALLED_UDEV_RULE);
#endif
  const std::filesystem::path program_dir = std::filesystem::path(ExecutablePath()).parent_path();
  copies.push_back((program_dir / name).string());
#if defined(KESTRANE_SOURCE_UDEV_RULE)
  copies.emplace_back(KESTRANE_SOURCE_UDEV_RULE);
#endif
  for (const std::string& file : copies) {
    if (exists(file)) {
      return "Install the udev rule " + file + " with: sudo cp " + file +
             " /etc/udev/rules.d/ && " + kReload + " ; then log out and in again.";
    }
  }
  return "Install this udev rule with: echo '" + std::string(kRule) +
         "' | sudo tee /etc/udev/rules.d/" + name + " && " + kReload +
         " ; then log out and in again.";
}

std::string UdevRuleFix() {
  return UdevRuleFix([](const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
  });
}

}  // namespace kestrane
