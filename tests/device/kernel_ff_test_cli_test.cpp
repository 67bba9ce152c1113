// kestrane-cli ff-test as a black box against the fake force-feedback stick: the spring it plays
// for each question as the kernel receives it, the answers' result, and no effect left behind and
// the stick's own centring and gain given back when it ends, is cancelled or fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fake_kernel.h"
#include "tests/support/temp_dir.h"

namespace kestrane {
namespace {

using test::FakeKernel;

struct CliRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Runs kestrane-cli with `args`, feeding `input` to its standard input (closed afterwards unless
// `keep_open`); `during` runs while it does, with its process id.
CliRun RunCli(const std::vector<std::string>& args, const std::string& input,
              bool keep_open = false, const std::function<void(pid_t)>& during = {}) {
  int in[2], out[2], err[2];
  if (::pipe(in) || ::pipe(out) || ::pipe(err)) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    std::vector<char*> argv{const_cast<char*>(KESTRANE_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KESTRANE_CLI_PATH, argv.data());
    _exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) ADD_FAILURE() << "write";
  if (!keep_open) ::close(in[1]);
  if (during) during(pid);
  CliRun r;
  auto drain = [](int fd, std::string& into) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) into.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
  };
  drain(out[0], r.out);
  drain(err[0], r.err);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (keep_open) ::close(in[1]);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return r;
}

class FfTestCli : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRANE_NEED_FAKE_KERNEL();
    kernel = std::make_unique<FakeKernel>();
    stick = &kernel->AddStick();
  }
  // The spring's centre on each upload, as (X, Y).
  std::vector<std::pair<int, int>> Centres() const {
    std::vector<std::pair<int, int>> c;
    for (const ff_effect& e : stick->Uploads()) {
      c.emplace_back(e.u.condition[0].center, e.u.condition[1].center);
    }
    return c;
  }
  // No effect left, and the stick's own centring and full gain given back after the test's
  // spring, which played with the centring off.
  void ExpectNothingLeft() const {
    EXPECT_TRUE(stick->Effects().empty());
    EXPECT_TRUE(stick->Playing().empty());
    const auto writes = stick->FfWrites();
    auto centring = [](std::int32_t value) {
      return
          [value](const test::FfWrite& w) { return w.code == FF_AUTOCENTER && w.value == value; };
    };
    const auto off = std::find_if(writes.begin(), writes.end(), centring(0));
    const auto back = std::find_if(off, writes.end(), centring(0xFFFF));
    ASSERT_NE(back, writes.end());
    EXPECT_TRUE(std::any_of(off, back, [](const test::FfWrite& w) {
      return w.code < FF_GAIN && w.value > 0;
    })) << "the spring plays between the two";
    EXPECT_EQ(stick->Autocentre(), 0xFFFF);
    EXPECT_EQ(stick->Gain(), 0xFFFF);
  }
  std::unique_ptr<FakeKernel> kernel;
  test::FakeStick* stick = nullptr;
};

struct Answers {
  const char* what;
  const char* input;
  int status;
  const char* x;  // the FF_INVERT_X line printed, or nullptr
  const char* y;
};

TEST_F(FfTestCli, EachAnswerAsTheKernelSeesItAndTheResult) {
  const Answers cases[] = {
      {"all as asked", "y\ny\ny\ny\n", 0, "FF_INVERT_X=0", "FF_INVERT_Y=0"},
      {"X the other way", "o\no\ny\ny\n", 0, "FF_INVERT_X=1", "FF_INVERT_Y=0"},
      {"Y the other way, one still", "y\nn\no\no\n", 0, "FF_INVERT_X=0", "FF_INVERT_Y=1"},
      {"nothing moved", "n\nn\nn\nn\n", 1, nullptr, nullptr},
      {"unclear answers asked again", "maybe\ny\ny\n\ny\ny\n", 0, "FF_INVERT_X=0", "FF_INVERT_Y=0"},
  };
  for (const Answers& c : cases) {
    SCOPED_TRACE(c.what);
    stick->ClearRecords();
    const CliRun r = RunCli({"ff-test"}, c.input);
    EXPECT_EQ(r.status, c.status) << r.err;
    for (const char* line : {c.x, c.y}) {
      if (line) {
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
      }
    }
    if (!c.x) {
      EXPECT_EQ(r.out.find("FF_INVERT_X"), std::string::npos) << r.out;
    }
    // Four questions, each with its spring: left, right, forward, back, as the kernel has the
    // centres (a positive centre lies toward the axis's positive end).
    const auto centres = Centres();
    ASSERT_EQ(centres.size(), 4u);
    EXPECT_LT(centres[0].first, 0);
    EXPECT_EQ(centres[0].second, 0);
    EXPECT_GT(centres[1].first, 0);
    EXPECT_LT(centres[2].second, 0);
    EXPECT_EQ(centres[2].first, 0);
    EXPECT_GT(centres[3].second, 0);
    // Gentle: 30 % of full force, on the pulled axis only.
    EXPECT_EQ(stick->Uploads()[0].u.condition[0].right_coeff, 3000 * 32767 / 10000);
    EXPECT_EQ(stick->Uploads()[0].u.condition[1].right_coeff, 0);
    ExpectNothingLeft();
  }
}

TEST_F(FfTestCli, TheResultIsSavedToTheSettingsFile) {
  test::TempDir dir("ff-test");
  const std::string ini = (dir.path() / "Kestrane.ini").string();
  std::ofstream(ini) << "[MAIN]\nFF_STRENGTH=50\nMY_NOTE=kept\n";
  const CliRun r = RunCli({"ff-test", "--settings", ini}, "o\no\ny\ny\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // The strength applies to the test's spring too.
  EXPECT_EQ(stick->Uploads()[0].u.condition[0].right_coeff, 1500 * 32767 / 10000);
  std::stringstream text;
  text << std::ifstream(ini).rdbuf();
  for (const char* line :
       {"FF_INVERT_X=1", "FF_TESTED_STICK=Fake Force Stick", "MY_NOTE=kept", "FF_STRENGTH=50"}) {
    EXPECT_NE(text.str().find(line), std::string::npos) << line << " in\n" << text.str();
  }
}

TEST_F(FfTestCli, CancelledOrFailedLeavesNothingPlaying) {
  // The input ends after two answers.
  CliRun r = RunCli({"ff-test"}, "y\ny\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
  EXPECT_EQ(stick->Uploads().size(), 3u);  // left, right, forward asked
  ExpectNothingLeft();

  // A stop request while it waits for an answer.
  stick->ClearRecords();
  r = RunCli({"ff-test"}, "", /*keep_open=*/true, [&](pid_t pid) {
    ASSERT_TRUE(FakeKernel::WaitFor([&] { return !stick->Playing().empty(); }));
    ::kill(pid, SIGTERM);
  });
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
  ExpectNothingLeft();

  // A stick that is not there: nothing played at all.
  stick->ClearRecords();
  r = RunCli({"ff-test", "--joystick", "Some Wheel"}, "y\ny\ny\ny\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Some Wheel"), std::string::npos) << r.err;
  EXPECT_TRUE(stick->Uploads().empty());
}

TEST(FfTestCliWithoutForceFeedback, SaysSoAndPlaysNothing) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStickSetup setup;
  setup.name = "Plain Stick";
  setup.force_feedback = {};
  kernel.AddStick(setup);
  const CliRun r = RunCli({"ff-test", "--joystick", "Plain Stick"}, "y\ny\ny\ny\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("has no force feedback"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kestrane
