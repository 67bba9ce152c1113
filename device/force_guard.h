#pragma once

// The force guard: a process of its own (platform/helper_process.h) that silences the stick when
// Kestrane stops ticking in a way its own watchdog (core/effect_watchdog.h) cannot see, because
// the whole process stands still (SIGSTOP, a debugger, a frozen machine's swap). It gets a
// heartbeat on every tick; without one for the limit (250 ms by default) it sets the stick's
// force-feedback gain to 0 and stops every effect through a handle of its own on the device node,
// and with the next heartbeat it sets back the gain Kestrane set (Kestrane starts its effects
// again on its next tick). When Kestrane is gone, however it ended, the guard gives the stick back
// that gain and its own centring, and ends. Linux only; elsewhere StartForceGuard gives nullptr.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/helper_process.h"

namespace kestrane {

// The argument that starts this program as a force guard instead.
inline constexpr const char* kForceGuardArgument = "--kestrane-force-guard";

// Call first in main(): when this process was started as a force guard, runs it and returns its
// exit status; otherwise nullopt, at once.
std::optional<int> RunForceGuardIfAsked(int argc, char** argv);

class ForceGuard {
 public:
  virtual ~ForceGuard() = default;  // the guard gives the stick back and ends; never waits
  virtual void Beat() = 0;          // once per tick
  virtual void Rest() = 0;          // standing still on purpose: no silencing until the next Beat
  virtual void SetLimit(std::chrono::milliseconds limit) = 0;
  // The gain Kestrane set on the stick (0xFFFF, full, until told otherwise): set back on resume
  // and at the end.
  virtual void SetGain(std::uint16_t gain) = 0;
  // Starting until the guard holds the device node open; Failed when it could not.
  virtual HelperReadiness Readiness() = 0;
};

// Starts a guard for the force-feedback device at `device_path` (this program run again with
// kForceGuardArgument) without waiting for it; messages sent before it is ready wait in its
// channel. nullptr when this user may not write the node or no process starts.
std::unique_ptr<ForceGuard> StartForceGuard(const std::string& device_path,
                                            std::chrono::milliseconds limit);

}  // namespace kestrane
