// The main of test programs that start a force guard: the guard is this very program run with
// the guard's argument.
#include <gtest/gtest.h>

#include "device/force_guard.h"

int main(int argc, char** argv) {
  if (auto status = kestrane::RunForceGuardIfAsked(argc, argv)) return *status;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
