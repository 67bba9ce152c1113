#include "platform/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace kestrane {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;
std::atomic<int> g_suspend_requests{0};  // lock-free, so the handler may touch it
static_assert(std::atomic<int>::is_always_lock_free);
int g_pipe[2] = {-1, -1};

void WakeDescriptor() {
  const char byte = 1;
  if (g_pipe[1] >= 0) [[maybe_unused]]
    const ssize_t n = ::write(g_pipe[1], &byte, 1);
}

// Handlers keep errno as they found it: they may interrupt any call that is about to read it.
extern "C" void OnStopSignal(int sig) {
  const int saved = errno;
  g_stop_signal = sig;
  WakeDescriptor();
  errno = saved;
}

extern "C" void OnSuspendSignal(int) {
  const int saved = errno;
  g_suspend_requests.fetch_add(1, std::memory_order_relaxed);
  WakeDescriptor();
  errno = saved;
}

void OpenPipe() {
  if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace

void CatchStopSignals(bool interrupt_blocking_calls) {
  OpenPipe();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = interrupt_blocking_calls ? 0 : SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &action, nullptr);
}

int StopSignal() {
  return static_cast<int>(g_stop_signal);
}

int StopSignalDescriptor() {
  return g_pipe[0];
}

bool WaitForStandardInput() {
  return StopSignal() == 0;
}

void CatchSuspendSignals() {
  OpenPipe();
  struct sigaction action {};
  action.sa_handler = OnSuspendSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &action, nullptr);
}

bool TakeSuspendRequest() {
  int pending = g_suspend_requests.load(std::memory_order_relaxed);
  while (pending > 0 && !g_suspend_requests.compare_exchange_weak(pending, pending - 1,
                                                                  std::memory_order_relaxed)) {
  }
  return pending > 0;
}

void SuspendNow() {
  // SIGSTOP stops every thread and cannot be caught; raise returns once SIGCONT has come.
  std::raise(SIGSTOP);
}

}  // namespace kestrane
