#include "platform/stop_signals.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <csignal>

namespace kestrane {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

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

void CatchStopSignals(bool) {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int StopSignal() {
  return static_cast<int>(g_stop_signal);
}

int StopSignalDescriptor() {
  return -1;
}

}  // namespace kestrane
