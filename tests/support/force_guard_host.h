#pragma once

// Test programs built with force_guard_test_main.cpp run as a stand-in for Kestrane with
// `kGuardHostArgument NODE GAIN`: it starts a force guard for NODE, tells it GAIN, beats every
// 10 ms and prints "ready" once the guard holds the node.

namespace kestrane::test {

inline constexpr const char* kGuardHostArgument = "--kestrane-test-guard-host";

}  // namespace kestrane::test
