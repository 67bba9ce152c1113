// The force guard process against the fake force-feedback stick: silent while the heartbeats
// come, the gain to 0 and every effect stopped when they stop, the gain back with the next one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "device/force_guard.h"
#include "fake_kernel.h"

namespace kestrane {
namespace {

using test::FakeKernel;
using namespace std::chrono_literals;

bool Wrote(const test::FakeStick& stick, std::uint16_t code, std::int32_t value) {
  const auto writes = stick.FfWrites();
  return std::any_of(writes.begin(), writes.end(),
                     [&](const test::FfWrite& w) { return w.code == code && w.value == value; });
}

TEST(KernelForceGuard, SilencesTheStickWhenTheHeartbeatsStopAndGivesItBack) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStick& stick = kernel.AddStick();
  std::unique_ptr<ForceGuard> guard = StartForceGuard(stick.Node(), 100ms);
  ASSERT_NE(guard, nullptr);

  // Before the first heartbeat, and while they come, nothing is written.
  std::this_thread::sleep_for(300ms);
  for (int i = 0; i < 20; ++i) {
    guard->Beat();
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(stick.FfWrites().empty());

  // Kestrane stands still: the gain goes to 0 and each effect slot is stopped.
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, FF_GAIN, 0); }));
  EXPECT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, 15, 0); }));  // the last of 16
  EXPECT_FALSE(Wrote(stick, FF_GAIN, 0xFFFF));
  guard->Beat();
  EXPECT_TRUE(FakeKernel::WaitFor([&] { return Wrote(stick, FF_GAIN, 0xFFFF); }));

  // Resting on purpose is no stall.
  stick.ClearRecords();
  guard->Rest();
  std::this_thread::sleep_for(400ms);
  EXPECT_TRUE(stick.FfWrites().empty());
}

TEST(KernelForceGuard, NoGuardForANodeItCannotOpen) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  kernel.AddStick();
  EXPECT_EQ(StartForceGuard("/dev/input/event9", 250ms), nullptr);
}

}  // namespace
}  // namespace kestrane
