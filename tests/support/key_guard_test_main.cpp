// The main of test programs that open the XTest keyboard: that keyboard starts its key guard as
// this very program with the guard's argument.
#include <gtest/gtest.h>

#include "platform/key_guard.h"

int main(int argc, char** argv) {
  if (auto status = kestrane::RunKeyGuardIfAsked(argc, argv)) return *status;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
