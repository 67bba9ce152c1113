#include "platform/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace kestrane {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;
int g_pipe[2] = {-1, -1};

// The interrupted code may be about to read errno: a failed write here must not change it.
extern "C" void OnStopSignal(int sig) {
  const int saved_errno = errno;
  g_stop_signal = sig;
  const char byte = 1;
  if (g_pipe[1] >= 0) [[maybe_unused]]
    const ssize_t n = ::write(g_pipe[1], &byte, 1);
  errno = saved_errno;
}

}  // namespace

void CatchStopSignals(bool interrupt_blocking_calls) {
  if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
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

}  // namespace kestrane
