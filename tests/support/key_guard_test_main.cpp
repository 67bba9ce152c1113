// The main of the platform tests: the XTest keyboard starts its key guard, and the helper process
// tests their helpers, as this very program with the helper's arguments.
#include <gtest/gtest.h>

#include <optional>

#include "platform/key_guard.h"

namespace kestrane::test {
// The helpers of tests/platform/helper_process_test.cpp.
std::optional<int> RunTestHelperIfAsked(int argc, char** argv);
}  // namespace kestrane::test

int main(int argc, char** argv) {
  if (auto status = kestrane::RunKeyGuardIfAsked(argc, argv)) return *status;
  if (auto status = kestrane::test::RunTestHelperIfAsked(argc, argv)) return *status;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
