// Suspend requests: SIGTSTP caught as a request that the program takes at its own pace, seen
// through the stop-signal descriptor, and SuspendNow stopping the process until SIGCONT.
#include "platform/stop_signals.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "tests/support/child_processes.h"
#endif

namespace kestrane {
namespace {

#if !defined(_WIN32)

// poll is cut short by a handled signal whatever SA_RESTART says: it is asked again then.
bool Readable(int fd, int timeout_ms) {
  pollfd in{fd, POLLIN, 0};
  int ready;
  while ((ready = ::poll(&in, 1, timeout_ms)) < 0 && errno == EINTR) {
  }
  return ready == 1;
}

// One request, seen once, with the descriptor readable; drained afterwards.
bool OneRequestSeen() {
  const int fd = StopSignalDescriptor();
  const bool seen = fd >= 0 && Readable(fd, 10000) && TakeSuspendRequest() &&
                    !TakeSuspendRequest() && StopSignal() == 0;
  char byte;
  while (::read(fd, &byte, 1) == 1) {
  }
  return seen;
}

// The child's side: only system calls after fork. Reports 'a' (armed), 't' (the outside SIGTSTP
// seen as a request) or 'x', and 'c' once continued.
[[noreturn]] void SuspendingChild(int report) {
  auto say = [report](char c) { [[maybe_unused]] const ssize_t n = ::write(report, &c, 1); };
  CatchSuspendSignals();
  errno = EDOM;
  std::raise(SIGTSTP);  // handled before raise returns
  if (errno != EDOM || !OneRequestSeen()) {
    say('x');
    _exit(1);
  }
  say('a');
  say(OneRequestSeen() ? 't' : 'x');
  SuspendNow();
  say('c');
  _exit(0);
}

char Next(int report) {
  char c = 0;
  if (!Readable(report, 10000) || ::read(report, &c, 1) != 1) return 0;
  return c;
}

TEST(SuspendSignals, SigtstpIsARequestAndSuspendNowStopsUntilSigcont) {
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(report[0]);
    SuspendingChild(report[1]);
  }
  ::close(report[1]);
  ASSERT_EQ(Next(report[0]), 'a');  // its own SIGTSTP: errno kept, one request, descriptor woken
  ASSERT_EQ(::kill(pid, SIGTSTP), 0);
  EXPECT_EQ(Next(report[0]), 't');

  // SuspendNow: stopped by SIGSTOP, and nothing more from it until SIGCONT.
  int status = 0;
  ASSERT_TRUE(test::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG | WUNTRACED) == pid; }));
  ASSERT_TRUE(WIFSTOPPED(status));
  EXPECT_EQ(WSTOPSIG(status), SIGSTOP);
  EXPECT_FALSE(Readable(report[0], 0));
  ASSERT_EQ(::kill(pid, SIGCONT), 0);
  EXPECT_EQ(Next(report[0]), 'c');
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::close(report[0]);
}

#else

TEST(SuspendSignals, WindowsHasNoneAndSuspendNowReturns) {
  CatchSuspendSignals();
  EXPECT_FALSE(TakeSuspendRequest());
  SuspendNow();
}

#endif

}  // namespace
}  // namespace kestrane
