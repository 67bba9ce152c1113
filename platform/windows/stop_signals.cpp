#include "platform/stop_signals.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <csignal>

namespace kestrane {
namespace {

// Set by the C runtime's signal handler and by the console handler, which runs on a thread of
// its own: an atomic, lock-free so that a signal handler may write it.
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int sig) {
  g_stop_signal = sig;
}

// Ctrl+C and Ctrl+Break ask to stop like SIGINT. Closing the console, logging off and shutting
// down end the process as soon as this returns: it waits instead, so that the program's own loop
// sees the request, lets go of every key and exits (Windows allows a few seconds).
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      g_stop_signal = SIGINT;
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      g_stop_signal = SIGTERM;
      Sleep(4000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

// The handler runs on a thread of its own and cannot cut short a read that blocks the main
// thread: readers of a pipe wait in WaitForStandardInput instead.
void CatchStopSignals(bool) {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int StopSignal() {
  return g_stop_signal.load();
}

int StopSignalDescriptor() {
  return -1;
}

bool WaitForStandardInput() {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE || GetFileType(in) != FILE_TYPE_PIPE) {
    return StopSignal() == 0;  // a file never blocks; a console read ends at Ctrl+C itself
  }
  for (;;) {
    if (StopSignal() != 0) return false;
    DWORD available = 0;
    // Fails once the writer has gone (the read then sees the end at once), and where the pipe
    // cannot be peeked (Wine's Unix pipes): then the read blocks until the next line.
    if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr) || available > 0) {
      return StopSignal() == 0;
    }
    Sleep(2);
  }
}

// Windows has no SIGTSTP and no stopping of a process from its console.
void CatchSuspendSignals() {}

bool TakeSuspendRequest() {
  return false;
}

void SuspendNow() {}

}  // namespace kestrane
