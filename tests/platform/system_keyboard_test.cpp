#include "platform/system_keyboard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include "platform/uinput/uinput_keyboard.h"
#endif
#include "tests/support/fake_key_sink.h"
#include "tests/support/recording_writer.h"

namespace kestrane {
namespace {

// Which backend each opened keyboard came from.
std::map<const KeySink*, std::string>& OpenedBy() {
  static std::map<const KeySink*, std::string> names;
  return names;
}

// Backends that open or fail as told, and remember whether they were tried.
struct Backends {
  std::string uinput_fails;  // empty: opens
  std::string xtest_fails;
  std::vector<std::string> tried;

  std::vector<KeyboardBackend> List() {
    return {
        {"uinput", "uinput",
         [this](std::string& why) { return Open("uinput", uinput_fails, why); }},
        {"xtest", "XTest", [this](std::string& why) { return Open("xtest", xtest_fails, why); }},
    };
  }
  std::unique_ptr<KeySink> Open(const std::string& name, const std::string& fails,
                                std::string& why) {
    tried.push_back(name);
    if (!fails.empty()) {
      why = fails;
      return nullptr;
    }
    auto sink = std::make_unique<test::FakeKeySink>();
    OpenedBy()[sink.get()] = name;
    return sink;
  }
};

std::string NameOf(const std::unique_ptr<KeySink>& sink) {
  if (auto it = OpenedBy().find(sink.get()); it != OpenedBy().end()) return it->second;
  if (dynamic_cast<DroppedKeys*>(sink.get())) return "dropped";
  return "?";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ChooseKeyboard, UinputFirstThenXTest) {
  Backends b;
  std::string problem = "stale";
  auto sink = ChooseKeyboard(b.List(), "", problem);
  EXPECT_EQ(NameOf(sink), "uinput");
  EXPECT_EQ(b.tried, std::vector<std::string>{"uinput"});
  EXPECT_TRUE(problem.empty());

  Backends fallback{"no uinput here", "", {}};
  sink = ChooseKeyboard(fallback.List(), "", problem);
  EXPECT_EQ(NameOf(sink), "xtest");
  EXPECT_EQ(fallback.tried, (std::vector<std::string>{"uinput", "xtest"}));
  EXPECT_TRUE(problem.empty());
}

#if !defined(_WIN32)  // the fix named is Linux's udev rule
TEST(ChooseKeyboard, NothingWorksOneMessageWithEachReasonAndTheFix) {
  Backends b{"uinput reason", "xtest reason", {}};
  std::string problem;
  auto sink = ChooseKeyboard(b.List(), "", problem);
  EXPECT_EQ(NameOf(sink), "dropped");
  EXPECT_TRUE(Has(problem, "uinput: uinput reason")) << problem;
  EXPECT_TRUE(Has(problem, "XTest: xtest reason")) << problem;
  EXPECT_TRUE(Has(problem, "60-kestrane-uinput.rules")) << problem;
  EXPECT_TRUE(Has(problem, "udevadm control --reload-rules")) << problem;
  EXPECT_TRUE(Has(problem, "log out and in again")) << problem;
  EXPECT_EQ(problem.find('\n'), std::string::npos) << "one message, one line";
}
#endif

#if !defined(_WIN32)  // the fix named is Linux's udev rule
TEST(ChooseKeyboard, AForcedBackendIsTheOnlyOneTried) {
  Backends b;
  std::string problem;
  EXPECT_EQ(NameOf(ChooseKeyboard(b.List(), "xtest", problem)), "xtest");
  EXPECT_EQ(b.tried, std::vector<std::string>{"xtest"});
  EXPECT_TRUE(problem.empty());

  Backends broken{"uinput reason", "", {}};
  auto sink = ChooseKeyboard(broken.List(), "uinput", problem);
  EXPECT_EQ(NameOf(sink), "dropped") << "a forced backend that fails does not fall back";
  EXPECT_EQ(broken.tried, std::vector<std::string>{"uinput"});
  EXPECT_TRUE(Has(problem, "KESTRANE_KEY_OUTPUT=uinput")) << problem;
  EXPECT_TRUE(Has(problem, "uinput reason")) << problem;
  EXPECT_TRUE(Has(problem, "60-kestrane-uinput.rules")) << problem;
}
#endif

TEST(ChooseKeyboard, AnUnknownForcedNameTypesNothingAndSaysWhatWouldDo) {
  Backends b;
  std::string problem;
  EXPECT_EQ(NameOf(ChooseKeyboard(b.List(), "wayland", problem)), "dropped");
  EXPECT_TRUE(b.tried.empty());
  EXPECT_TRUE(Has(problem, "\"wayland\"")) << problem;
  EXPECT_TRUE(Has(problem, "uinput or xtest")) << problem;
}

#if !defined(_WIN32)
// The real uinput opening path failing as on machines without the module or the udev rule.
TEST(ChooseKeyboard, TheMessageNamesTheUinputFailure) {
  auto failing = [](int error) {
    return [error](std::string& why) {
      return OpenUinputKeyboard(test::FailingOpener(error), StandardErrorMessages(), why);
    };
  };
  auto no_x = [](std::string& why) -> std::unique_ptr<KeySink> {
    why = "no X display (DISPLAY is not set)";
    return nullptr;
  };
  std::string missing, denied;
  const KeyboardBackend enoent[] = {{"uinput", "uinput", failing(ENOENT)},
                                    {"xtest", "XTest", no_x}};
  const KeyboardBackend eacces[] = {{"uinput", "uinput", failing(EACCES)},
                                    {"xtest", "XTest", no_x}};
  ChooseKeyboard(enoent, "", missing);
  ChooseKeyboard(eacces, "", denied);
  EXPECT_TRUE(Has(missing, "/dev/uinput does not exist")) << missing;
  EXPECT_TRUE(Has(denied, "no permission to use /dev/uinput")) << denied;
  EXPECT_TRUE(Has(denied, "DISPLAY is not set")) << denied;
}
#endif  // !_WIN32

// Windows has one key output, SendInput: nothing to choose from the environment.
#if !defined(_WIN32)
void SetEnvironment(const char* name, const char* value) {
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

TEST(SystemKeyboard, ReadsTheForcedBackendFromTheEnvironment) {
  SetEnvironment("KESTRANE_KEY_OUTPUT", "nonsense");
  std::string problem;
  auto sink = OpenSystemKeyboard(problem);
  SetEnvironment("KESTRANE_KEY_OUTPUT", nullptr);
  EXPECT_NE(dynamic_cast<DroppedKeys*>(sink.get()), nullptr);
  EXPECT_TRUE(Has(problem, "\"nonsense\"")) << problem;
}
#endif

TEST(SystemKeyboard, ADroppingKeyboardStillWaits) {
  DroppedKeys keys;
  keys.KeyEvent({0x41, 0x1E}, true);
  const auto start = std::chrono::steady_clock::now();
  keys.Wait(25);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
}

}  // namespace
}  // namespace kestrane
