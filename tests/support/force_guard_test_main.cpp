// The main of test programs that start a force guard: the guard is this very program run with
// the guard's argument. With kGuardHostArgument it stands in for Kestrane instead, for tests that
// stop and kill it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "device/force_guard.h"
#include "tests/support/force_guard_host.h"

namespace {

// Starts a guard for `node`, tells it `gain` and beats every 10 ms, as Kestrane ticks; says
// "ready" on standard output once the guard holds the node. Runs until killed.
int RunGuardHost(const char* node, long gain) {
  using namespace std::chrono_literals;
  auto guard = kestrane::StartForceGuard(node, 100ms);
  if (!guard) return 2;
  guard->SetGain(static_cast<std::uint16_t>(gain));
  bool told = false;
  for (;;) {
    guard->Beat();
    if (!told && guard->Readiness() != kestrane::HelperReadiness::Starting) {
      if (guard->Readiness() == kestrane::HelperReadiness::Failed) return 3;
      std::puts("ready");
      std::fflush(stdout);
      told = true;
    }
    std::this_thread::sleep_for(10ms);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (auto status = kestrane::RunForceGuardIfAsked(argc, argv)) return *status;
  if (argc == 4 && std::strcmp(argv[1], kestrane::test::kGuardHostArgument) == 0) {
    return RunGuardHost(argv[2], std::strtol(argv[3], nullptr, 0));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
