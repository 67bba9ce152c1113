#pragma once

// The force guard: a process of its own that silences the stick when Kestrane stops ticking in a
// way its own watchdog (core/effect_watchdog.h) cannot see, because the whole process stands
// still (SIGSTOP, a debugger, a frozen machine's swap). It gets a heartbeat on every tick; without
// one for the limit (250 ms by default) it sets the stick's force-feedback gain to 0 and stops
// every effect through a handle of its own on the device node, and with the next heartbeat it
// sets the gain back to full (Kestrane starts its effects again on its next tick). When Kestrane
// ends, however, the guard ends too. Linux only; elsewhere StartForceGuard gives nullptr.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrane {

// The argument that starts this program as a force guard instead.
inline constexpr const char* kForceGuardArgument = "--kestrane-force-guard";

// Call first in main(): when this process was started as a force guard, runs it and returns its
// exit status; otherwise nullopt, at once.
std::optional<int> RunForceGuardIfAsked(int argc, char** argv);

class ForceGuard {
 public:
  virtual ~ForceGuard() = default;  // the guard ends
  virtual void Beat() = 0;          // once per tick
  virtual void Rest() = 0;          // standing still on purpose: no silencing until the next Beat
  virtual void SetLimit(std::chrono::milliseconds limit) = 0;
};

// Starts a guard for the force-feedback device at `device_path` (this program run again with
// kForceGuardArgument); nullptr when the node cannot be opened for writing or no process starts.
std::unique_ptr<ForceGuard> StartForceGuard(const std::string& device_path,
                                            std::chrono::milliseconds limit);

}  // namespace kestrane
