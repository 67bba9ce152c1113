// Helper processes: readiness seen without waiting for it, whole messages in order or dropped
// when the channel is full, no SIGPIPE, nothing of the test process open in the helper, and every
// helper reaped, however it ends, with no descriptor left behind.
#include "platform/helper_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "tests/support/child_processes.h"
#endif

namespace kestrane::test {

inline constexpr const char* kTestHelperArgument = "--kestrane-test-helper";

#if !defined(_WIN32)
namespace {

void Say(const std::string& message) {
  [[maybe_unused]] const ssize_t n = ::write(STDIN_FILENO, message.data(), message.size());
}

// Reads one message from the channel; nullopt at its end.
std::optional<std::string> Hear() {
  char buffer[256];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }
}

// The descriptors open here, and where standard output goes.
std::string Descriptors() {
  std::vector<int> fds;
  DIR* dir = ::opendir("/proc/self/fd");
  while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
    const int fd = std::atoi(entry->d_name);
    if (entry->d_name[0] != '.' && fd != ::dirfd(dir)) fds.push_back(fd);
  }
  if (dir) ::closedir(dir);
  std::sort(fds.begin(), fds.end());
  std::string text;
  for (int fd : fds) text += std::to_string(fd) + " ";
  char out[256] = {};
  [[maybe_unused]] const ssize_t n = ::readlink("/proc/self/fd/1", out, sizeof out - 1);
  return text + "out " + out;
}

// The helper's side, by mode: echo (ready, then each message back until the channel ends),
// gated (ready only after "go"), fail (says it cannot), quit (ends without a word), descriptors
// (ready, then what it holds open), stubborn (ready, and at the channel's end waits for SIGUSR1).
int RunTestHelper(const std::string& mode) {
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigprocmask(SIG_BLOCK, &usr1, nullptr);
  if (mode == "fail") {
    Say("f");
    return 1;
  }
  if (mode == "quit") return 3;
  if (mode == "gated") {
    const auto go = Hear();
    if (!go || *go != "go") return 1;
  }
  Say("r");
  if (mode == "descriptors") Say(Descriptors());
  while (const auto message = Hear()) {
    if (mode == "echo" || mode == "gated") Say(*message);
  }
  if (mode == "stubborn") {
    int sig = 0;
    sigwait(&usr1, &sig);
  }
  return 0;
}

// Kestrane's side: the next message from the helper, waiting for it up to 10 s.
std::optional<std::string> HearFrom(const HelperProcess& helper) {
  pollfd in{helper.Channel(), POLLIN, 0};
  if (::poll(&in, 1, 10000) != 1) return std::nullopt;
  char buffer[512];
  const ssize_t n = ::recv(helper.Channel(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (n <= 0) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::unique_ptr<HelperProcess> StartTestHelper(const std::string& mode) {
  HelperStart started = HelperProcess::Start({kTestHelperArgument, mode});
  EXPECT_EQ(started.error, 0) << std::strerror(started.error);
  return std::move(started.process);
}

bool Ready(HelperProcess& helper) {
  return WaitUntil([&] { return helper.Readiness() != HelperReadiness::Starting; }) &&
         helper.Readiness() == HelperReadiness::Ready;
}

bool IsChild(int pid) {
  const auto children = ChildProcesses();
  return std::any_of(children.begin(), children.end(),
                     [pid](const ChildProcess& c) { return c.pid == pid; });
}

char StateOf(int pid) {
  for (const ChildProcess& c : ChildProcesses()) {
    if (c.pid == pid) return c.state;
  }
  return 0;
}

TEST(HelperProcess, ReadinessIsWhatTheHelperSays) {
  struct Case {
    const char* mode;
    HelperReadiness readiness;
  };
  const Case cases[] = {
      {"echo", HelperReadiness::Ready},
      {"fail", HelperReadiness::Failed},
      {"quit", HelperReadiness::Failed},  // ended without a word
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    auto helper = StartTestHelper(c.mode);
    ASSERT_NE(helper, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return helper->Readiness() != HelperReadiness::Starting; }));
    EXPECT_EQ(helper->Readiness(), c.readiness);
  }
}

TEST(HelperProcess, StartingNeverWaitsForTheHelperAndMessagesWaitInTheChannel) {
  auto helper = StartTestHelper("gated");
  ASSERT_NE(helper, nullptr);
  // Not ready until it hears "go": Start has returned without it.
  EXPECT_EQ(helper->Readiness(), HelperReadiness::Starting);
  EXPECT_EQ(helper->Send("go", Delivery::MustArrive), HelperSend::Sent);
  EXPECT_EQ(helper->Send("first", Delivery::MayDrop), HelperSend::Sent);
  ASSERT_TRUE(Ready(*helper));
  EXPECT_EQ(HearFrom(*helper), "first");
}

TEST(HelperProcess, TheHelperHoldsOnlyTheChannelAndTheStandardStreams) {
  const int leaked = ::dup(STDERR_FILENO);  // not close-on-exec: the spawn must close it
  ASSERT_GE(leaked, 3);
  auto helper = StartTestHelper("descriptors");
  ::close(leaked);
  ASSERT_NE(helper, nullptr);
  ASSERT_TRUE(Ready(*helper));
  EXPECT_EQ(HearFrom(*helper), "0 1 2 out /dev/null");
  EXPECT_NE(::fcntl(helper->Channel(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST(HelperProcess, AFullChannelDropsHeartbeatsAndKeepsWhatMustArriveInOrder) {
  auto helper = StartTestHelper("echo");
  ASSERT_NE(helper, nullptr);
  ASSERT_TRUE(Ready(*helper));
  ASSERT_EQ(::kill(helper->Pid(), SIGSTOP), 0);
  ASSERT_TRUE(WaitUntil([&] { return StateOf(helper->Pid()) == 'T'; }));
  // Nothing reads: the channel fills, and no send waits for room.
  int sent = 0;
  while (helper->Send("m", Delivery::MayDrop) == HelperSend::Sent && sent < 100000) ++sent;
  EXPECT_LT(sent, 100000);
  EXPECT_EQ(helper->Send("k1", Delivery::MustArrive), HelperSend::Queued);
  EXPECT_EQ(helper->Send("k2", Delivery::MustArrive), HelperSend::Queued);
  EXPECT_EQ(helper->Send("x", Delivery::MayDrop), HelperSend::Dropped);  // never ahead of k1
  ASSERT_EQ(::kill(helper->Pid(), SIGCONT), 0);

  // Later sends bring the queue out first.
  std::vector<std::string> heard;
  EXPECT_TRUE(WaitUntil([&] {
    helper->Send("n", Delivery::MayDrop);
    while (true) {
      pollfd in{helper->Channel(), POLLIN, 0};
      if (::poll(&in, 1, 0) != 1) break;
      char buffer[64];
      const ssize_t n = ::recv(helper->Channel(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) break;
      heard.emplace_back(buffer, static_cast<std::size_t>(n));
    }
    return std::count(heard.begin(), heard.end(), "k2") == 1;
  }));
  const auto k1 = std::find(heard.begin(), heard.end(), "k1");
  ASSERT_NE(k1, heard.end());
  EXPECT_EQ(k1 - heard.begin(), sent);  // every heartbeat that went in, then k1, then k2
  EXPECT_EQ(*(k1 + 1), "k2");
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "x"), 0);
}

TEST(HelperProcess, SendingToAHelperThatEndedSaysSoWithoutSigpipe) {
  // SIGPIPE's default action would end this test program.
  for (const char* mode : {"fail", "quit"}) {
    SCOPED_TRACE(mode);
    auto helper = StartTestHelper(mode);
    ASSERT_NE(helper, nullptr);
    const int pid = helper->Pid();
    // Ended: reaped by nobody yet, a zombie of ours.
    ASSERT_TRUE(WaitUntil([&] { return StateOf(pid) == 'Z'; }));
    EXPECT_EQ(helper->Send("b", Delivery::MayDrop), HelperSend::Gone);
    EXPECT_EQ(helper->Send("l250\n", Delivery::MustArrive), HelperSend::Gone);
    helper.reset();
    EXPECT_FALSE(IsChild(pid));  // reaped at once: it had ended
  }
}

TEST(HelperProcess, AHelperStillRunningWhenDestroyedIsReapedOnceItEnds) {
  auto helper = StartTestHelper("stubborn");
  ASSERT_NE(helper, nullptr);
  ASSERT_TRUE(Ready(*helper));
  const int pid = helper->Pid();
  helper.reset();  // returns although the helper does not end at the channel's end
  EXPECT_NE(StateOf(pid), 'Z');
  EXPECT_TRUE(IsChild(pid));
  ASSERT_EQ(::kill(pid, SIGUSR1), 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsChild(pid); })) << "state " << StateOf(pid);
}

TEST(HelperProcess, FiftyStartsAndStopsLeaveNoZombieAndNoDescriptor) {
  const int descriptors = OpenDescriptors();
  std::vector<int> pids;
  for (int i = 0; i < 50; ++i) {
    auto helper = StartTestHelper("echo");
    ASSERT_NE(helper, nullptr);
    pids.push_back(helper->Pid());
    // Half of them are stopped while starting, the rest once running.
    if (i % 2 == 1) {
      ASSERT_TRUE(Ready(*helper));
    }
  }
  EXPECT_TRUE(WaitUntil([&] {
    return std::none_of(pids.begin(), pids.end(), [](int pid) { return IsChild(pid); });
  }));
  for (const ChildProcess& c : ChildProcesses()) {
    EXPECT_NE(c.state, 'Z') << "zombie " << c.pid;
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace

std::optional<int> RunTestHelperIfAsked(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kTestHelperArgument) == 0) return RunTestHelper(argv[2]);
  return std::nullopt;
}

#else

TEST(HelperProcess, WindowsStartsNoneAndSaysWhy) {
  const HelperStart started = HelperProcess::Start({kTestHelperArgument, "echo"});
  EXPECT_EQ(started.process, nullptr);
  EXPECT_EQ(started.error, ENOSYS);
}

std::optional<int> RunTestHelperIfAsked(int, char**) {
  return std::nullopt;
}

#endif

}  // namespace kestrane::test
