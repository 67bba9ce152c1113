#pragma once

// The X server keeps an XTest key down after the client that pressed it is gone. The key guard is
// a process of its own that is told every key Kestrane holds down and lets go of them when
// Kestrane ends in a way that gives it no chance to (SIGKILL, a crash, a lost X connection).

#include <memory>
#include <optional>

#include "platform/helper_process.h"

namespace kestrane {

// The argument that starts this program as a key guard instead.
inline constexpr const char* kKeyGuardArgument = "--kestrane-key-guard";

// Call first in main(): when this process was started as a key guard, runs it and returns its
// exit status; otherwise nullopt, at once.
std::optional<int> RunKeyGuardIfAsked(int argc, char** argv);

class KeyGuard {
 public:
  virtual ~KeyGuard() = default;  // the guard lets go of what it still holds and ends
  // Tells the guard that the X keycode went down or up; notes wait in the channel while it starts.
  virtual void Note(unsigned keycode, bool down) = 0;
  // Starting until the guard has its own X connection; Failed when it could not get one.
  virtual HelperReadiness Readiness() = 0;
};

// Starts a guard for the X display of DISPLAY (this program run again with kKeyGuardArgument)
// without waiting for it; nullptr when no process could be started.
std::unique_ptr<KeyGuard> StartKeyGuard();

}  // namespace kestrane
