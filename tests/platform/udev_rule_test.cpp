#include "platform/uinput/udev_rule.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kestrane {
namespace {

// Where the rule file is decides what the user has to type; every answer is one command line
// with the full path to copy.
TEST(UdevRuleFix, FullPathAndExactCommands) {
  const std::string reload =
      "sudo modprobe uinput && sudo udevadm control --reload-rules && sudo udevadm trigger";
  struct Row {
    const char* what;
    std::set<std::string> files;
    std::string expected;  // a part of the answer
    bool copies;           // tells to copy the file into /etc/udev/rules.d
  };
  const Row rows[] = {
      {"installed by the package", {"/usr/lib/udev/rules.d/60-kestrane-uinput.rules"},
       "The udev rule /usr/lib/udev/rules.d/60-kestrane-uinput.rules is installed; load it with: " +
           reload,
       false},
      {"copied by hand earlier", {"/etc/udev/rules.d/60-kestrane-uinput.rules"},
       "/etc/udev/rules.d/60-kestrane-uinput.rules is installed", false},
      {"in the sources only", {KESTRANE_SOURCE_UDEV_RULE},
       std::string("sudo cp ") + KESTRANE_SOURCE_UDEV_RULE + " /etc/udev/rules.d/ && " + reload,
       true},
      {"nowhere: the rule itself", {},
       "echo 'SUBSYSTEM==\"misc\", KERNEL==\"uinput\", OPTIONS+=\"static_node=uinput\", "
       "TAG+=\"uaccess\"' | sudo tee /etc/udev/rules.d/60-kestrane-uinput.rules && " + reload,
       false},
  };
  for (const Row& row : rows) {
    const std::string fix =
        UdevRuleFix([&](const std::string& path) { return row.files.count(path) > 0; });
    EXPECT_NE(fix.find(row.expected), std::string::npos) << row.what << ": " << fix;
    EXPECT_EQ(fix.find("sudo cp ") != std::string::npos, row.copies) << row.what << ": " << fix;
    EXPECT_NE(fix.find("log out and in again"), std::string::npos) << row.what;
  }
  // The sources' path is absolute, so the command works from any folder.
  EXPECT_EQ(std::string(KESTRANE_SOURCE_UDEV_RULE).front(), '/');
}

}  // namespace
}  // namespace kestrane
