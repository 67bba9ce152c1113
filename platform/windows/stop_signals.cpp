#include "platform/stop_signals.h"

#include <csignal>

namespace kestrane {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int sig) {
  g_stop_signal = sig;
}

}  // namespace

void CatchStopSignals(bool) {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

int StopSignal() {
  return static_cast<int>(g_stop_signal);
}

int StopSignalDescriptor() {
  return -1;
}

}  // namespace kestrane
