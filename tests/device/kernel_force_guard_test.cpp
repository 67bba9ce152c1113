// The force guard process against the fake force-feedback stick: silent while the heartbeats
// come, the gain to 0 and every effect stopped when they stop, the gain Kestrane set back with the
// next one; when Kestrane is gone (its guard destroyed, or the program killed while stopped) the
// stick gets that gain and its own centring back; and no zombie or descriptor is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/force_guard.h"
#include "fake_kernel.h"
#include "tests/support/child_processes.h"
#include "tests/support/force_guard_host.h"

extern char** environ;

namespace kestrane {
namespace {

using test::FakeKernel;
using namespace std::chrono_literals;

bool Wrote(const test::FakeStick& stick, std::uint16_t code, std::int32_t value) {
  const auto writes = stick.FfWrites();
  return std::any_of(writes.begin(), writes.end(),
                     [&](const test::FfWrite& w) { return w.code == code && w.value == value; });
}

// The stick given back: `gain` and its own centring, the guard's last two writes.
bool GivenBack(const test::FakeStick& stick, std::int32_t gain) {
  const auto w = stick.FfWrites();
  return w.size() >= 2 && w[w.size() - 2].code == FF_GAIN && w[w.size() - 2].value == gain &&
         w.back().code == FF_AUTOCENTER && w.back().value == 0xFFFF;
}

bool NoChildren() {
  return test::ChildProcesses().empty();
}

bool Ready(ForceGuard& guard) {
  return FakeKernel::WaitFor([&] { return guard.Readiness() != HelperReadiness::Starting; }) &&
         guard.Readiness() == HelperReadiness::Ready;
}

TEST(KernelForceGuard, SilencesTheStickWhenTheHeartbeatsStopAndGivesBackTheGainThatWasSet) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStick& stick = kernel.AddStick();
  struct Case {
    const char* what;
    std::optional<std::uint16_t> gain;
    std::int32_t restored;
  };
  const Case cases[] = {{"full until told", std::nullopt, 0xFFFF}, {"told", 0x9000, 0x9000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stick.ClearRecords();
    std::unique_ptr<ForceGuard> guard = StartForceGuard(stick.Node(), 100ms);
    ASSERT_NE(guard, nullptr);
    if (c.gain) guard->SetGain(*c.gain);
    ASSERT_TRUE(Ready(*guard));

    // Before the first heartbeat, and while they come, nothing is written (unless this thread
    // itself was held up past the limit between two of them, as on a loaded machine).
    std::this_thread::sleep_for(300ms);
    auto last = std::chrono::steady_clock::now();
    auto longest = std::chrono::steady_clock::duration::zero();
    for (int i = 0; i < 20; ++i) {
      guard->Beat();
      std::this_thread::sleep_for(10ms);
      const auto now = std::chrono::steady_clock::now();
      longest = std::max(longest, now - last);
      last = now;
    }
    if (longest < 90ms) {
      EXPECT_TRUE(stick.FfWrites().empty());
    }

    // Kestrane stands still: the gain goes to 0 and each effect slot is stopped.
    ASSERT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, FF_GAIN, 0); }));
    EXPECT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, 15, 0); }));  // the last of 16
    EXPECT_FALSE(Wrote(stick, FF_GAIN, c.restored));
    guard->Beat();
    EXPECT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, FF_GAIN, c.restored); }));
    EXPECT_EQ(stick.Gain(), c.restored);

    // Resting on purpose is no stall.
    stick.ClearRecords();
    guard->Rest();
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(stick.FfWrites().empty());
    guard.reset();
    EXPECT_TRUE(FakeKernel::WaitFor(NoChildren));
  }
}

TEST(KernelForceGuard, WhenItsChannelEndsTheStickGetsItsGainAndCentringBack) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStick& stick = kernel.AddStick();
  struct Case {
    const char* what;
    bool wait_until_ready, stall;
    std::optional<std::uint16_t> gain;
    std::int32_t given_back;
  };
  const Case cases[] = {
      {"ended before the guard was ready", false, false, std::nullopt, 0xFFFF},
      {"ended while guarding", true, false, 0x7000, 0x7000},
      {"ended while silenced", true, true, 0x5000, 0x5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stick.ClearRecords();
    std::unique_ptr<ForceGuard> guard = StartForceGuard(stick.Node(), 100ms);
    ASSERT_NE(guard, nullptr);
    if (c.gain) guard->SetGain(*c.gain);
    if (c.wait_until_ready) {
      ASSERT_TRUE(Ready(*guard));
    }
    if (c.stall) {
      guard->Beat();
      ASSERT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, FF_GAIN, 0); }));
    }
    guard.reset();  // returns at once: the guard gives the stick back on its own
    EXPECT_TRUE(FakeKernel::WaitFor(NoChildren));
    EXPECT_TRUE(GivenBack(stick, c.given_back));
    EXPECT_EQ(stick.Autocentre(), 0xFFFF);
  }
}

// Kestrane stopped (SIGSTOP) long enough for its guard to silence the stick, then killed: the
// stick is not left at gain 0 with no centring, playing no force for any program.
TEST(KernelForceGuard, AKestraneKilledWhileStoppedLeavesTheStickItsGainAndCentring) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStick& stick = kernel.AddStick();
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::string exe = "/proc/self/exe", arg = test::kGuardHostArgument, node = stick.Node(),
              gain = "0x6000";
  char* const argv[] = {exe.data(), arg.data(), node.data(), gain.data(), nullptr};
  pid_t host = 0;
  ASSERT_EQ(posix_spawn(&host, exe.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);

  // Its guard holds the node and its heartbeats come.
  pollfd said{out[0], POLLIN, 0};
  char line[16] = {};
  ASSERT_EQ(::poll(&said, 1, 10000), 1);
  ASSERT_GT(::read(out[0], line, sizeof line - 1), 0);
  EXPECT_STREQ(line, "ready\n");
  ::close(out[0]);

  ASSERT_EQ(::kill(host, SIGSTOP), 0);
  EXPECT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, FF_GAIN, 0); }));
  ASSERT_EQ(::kill(host, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(host, &status, 0), host);
  EXPECT_TRUE(FakeKernel::WaitFor([&] { return GivenBack(stick, 0x6000); }));
  EXPECT_EQ(stick.Autocentre(), 0xFFFF);
  EXPECT_EQ(stick.Gain(), 0x6000);
}

TEST(KernelForceGuard, FiftyStartsAndStopsLeaveNoZombieAndNoDescriptor) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStick& stick = kernel.AddStick();
  ASSERT_TRUE(FakeKernel::WaitFor(NoChildren));
  const int descriptors = test::OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    std::unique_ptr<ForceGuard> guard = StartForceGuard(stick.Node(), 250ms);
    ASSERT_NE(guard, nullptr);
    guard->Beat();
    // Half of them end while starting, the rest once they hold the node.
    if (i % 2 == 1) {
      ASSERT_TRUE(Ready(*guard));
    }
  }
  EXPECT_TRUE(FakeKernel::WaitFor(NoChildren, 20s));
  for (const test::ChildProcess& c : test::ChildProcesses()) {
    EXPECT_NE(c.state, 'Z') << "zombie " << c.pid;
  }
  EXPECT_EQ(test::OpenDescriptors(), descriptors);
}

TEST(KernelForceGuard, NoGuardForANodeItCannotOpen) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  kernel.AddStick();
  EXPECT_EQ(StartForceGuard("/dev/input/event9", 250ms), nullptr);
}

}  // namespace
}  // namespace kestrane
