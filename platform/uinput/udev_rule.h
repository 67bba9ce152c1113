#pragma once

#include <functional>
#include <string>

namespace kestrane {

// The rule that lets the user at the seat use /dev/uinput.
inline constexpr const char* kUdevRuleName = "60-kestrane-uinput.rules";

// What to type to allow the virtual keyboard and H-shifter: the full path of Kestrane's udev rule
// file and the exact commands, one command line to copy. `exists` says whether a file is there
// (tests pass their own); the rule is looked for where udev reads it (installed by the package),
// beside the program, and in the source tree it was built from.
std::string UdevRuleFix(const std::function<bool(const std::string&)>& exists);
std::string UdevRuleFix();

}  // namespace kestrane
