#include "ui/display_check.h"

#include <gtest/gtest.h>

#include <QLocalServer>
#include <vector>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace kestrane {
namespace {

#if !defined(_WIN32)
// A message only when no platform Qt would try can start (Qt aborts then).
TEST(DisplayProblem, OnlyWhenNoPlatformCanStart) {
  test::TempDir dir("display-check");
  QLocalServer compositor;  // stands in for a Wayland compositor's socket
  ASSERT_TRUE(compositor.listen(QString::fromStdString(dir.File("wayland-test"))));
  const test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().c_str());
  const test::ScopedEnv session("XDG_SESSION_TYPE", nullptr);
  const struct {
    const char *platform, *display, *wayland;  // QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY
    std::vector<const char*> args;
    const char* problem;  // a part of the message; nullptr: none
  } rows[] = {
      {"offscreen", nullptr, nullptr, {}, nullptr},
      {"xcb", nullptr, nullptr, {}, "DISPLAY is not set"},
      {nullptr, nullptr, nullptr, {}, "DISPLAY is not set"},  // Qt's default: xcb
      {"xcb", ":9731", nullptr, {}, "the X display \":9731\" cannot be opened"},
      {"xcb", ":9731", nullptr, {"-display", ":9732"}, "\":9732\" cannot be opened"},
      {"xcb;offscreen", nullptr, nullptr, {}, nullptr},
      {"xcb", nullptr, nullptr, {"-platform", "offscreen"}, nullptr},
      {"offscreen", nullptr, nullptr, {"--platform", "xcb"}, "DISPLAY is not set"},
      {"wayland", nullptr, "/none/wayland-0", {}, "no Wayland compositor answers at /none"},
      {"wayland", nullptr, "wayland-test", {}, nullptr},
      {nullptr, nullptr, "wayland-test", {}, nullptr},  // the session's compositor
  };
  for (const auto& row : rows) {
    const test::ScopedEnv platform("QT_QPA_PLATFORM", row.platform);
    const test::ScopedEnv display("DISPLAY", row.display);
    const test::ScopedEnv wayland("WAYLAND_DISPLAY", row.wayland);
    std::vector<char*> argv{const_cast<char*>("kestrane")};
    for (const char* arg : row.args) argv.push_back(const_cast<char*>(arg));
    const std::string problem = DisplayProblem(static_cast<int>(argv.size()), argv.data());
    const char* what = row.platform ? row.platform : "the default";
    if (row.problem) {
      EXPECT_NE(problem.find(row.problem), std::string::npos) << what << ": " << problem;
    } else {
      EXPECT_EQ(problem, "") << what;
    }
  }
}
#endif

}  // namespace
}  // namespace kestrane
