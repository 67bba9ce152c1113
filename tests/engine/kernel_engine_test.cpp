// The engine over SDL's real Linux backend and fake kernel devices (umockdev): a force-feedback
// stick unplugged and plugged back fifty times beside another controller, with the force guard
// (this test program run again) started for each return.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/force_guard.h"
#include "device/sdl_input.h"
#include "engine/engine.h"
#include "fake_kernel.h"
#include "tests/support/child_processes.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_loop.h"

namespace kestrane {
namespace {

using namespace std::chrono_literals;
using test::FakeKernel;

bool Zombies() {
  for (const test::ChildProcess& child : test::ChildProcesses()) {
    if (child.state == 'Z') return true;
  }
  return false;
}

TEST(KernelEngine, FiftyReplugsLeaveNoZombieNoDescriptorAndOpenNothingElse) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStickSetup wheel_setup;
  wheel_setup.name = "Fake Wheel";
  test::FakeStick& wheel = kernel.AddStick(wheel_setup, 0);
  test::FakeStick& stick = kernel.AddStick({}, 1);
  test::TempDir dir("kestrane-kernel-engine");
  const std::string path = dir.File("Kestrane.ini");
  std::ofstream(path) << "[MAIN]\nJOYSTICK=Fake Force Stick\nFORCE_FEEDBACK=1\nHOLE_ENABLED=1\n"
                         "CHECK_INTERVAL=5\n";

  auto platform = CreateSdlInputPlatform(false);
  StoredInterval timer;
  test::TestLoop loop;  // the stick's report reader and udev's watcher come and go with it
  EngineServices services;
  services.input = platform.get();
  services.timer = &timer;
  services.loop = &loop;
  services.open_keyboard = [](std::string&, MessageSink&) {
    return std::make_unique<test::FakeKeySink>();
  };
  services.start_force_guard = [](const std::string& node, std::chrono::milliseconds limit) {
    return StartForceGuard(node, limit);
  };
  services.settings_path = path;
  Engine engine(std::move(services));
  ASSERT_TRUE(engine.Start());
  const auto reaches = [&](RunState state) {
    return FakeKernel::WaitFor(
        [&] {
          engine.Tick();
          std::this_thread::sleep_for(1ms);
          return engine.State() == state;
        },
        10s);
  };
  ASSERT_TRUE(reaches(RunState::Running));
  ASSERT_EQ(engine.OpenStickName(), "Fake Force Stick");
  const std::size_t wheel_opens = wheel.OpenCount();
  int descriptors = 0;  // from the first returns: SDL and umockdev set up their plug watch then
  std::vector<std::string> targets;
  for (int cycle = 0; cycle < 50; ++cycle) {
    stick.Unplug();
    ASSERT_TRUE(reaches(RunState::StickAway)) << "cycle " << cycle;
    stick.Plug();
    ASSERT_TRUE(reaches(RunState::Running)) << "cycle " << cycle;
    // The guard opens the stick's node too (umockdev answers it from this process).
    ASSERT_TRUE(test::WaitUntil([&] {
      return engine.Guard() && engine.Guard()->Readiness() == HelperReadiness::Ready;
    })) << "cycle "
        << cycle;
    // umockdev takes in the guard's file on the fake's side a moment after the guard's open has
    // returned, so one look may miss it: the most seen over the first returns is the count.
    if (cycle < 3 && test::OpenDescriptors() > descriptors) {
      descriptors = test::OpenDescriptors();
      targets = test::OpenDescriptorTargets();
    }
  }
  EXPECT_EQ(wheel.OpenCount(), wheel_opens);  // the other controller was never opened
  // Every guard but the running one has ended and been reaped; the descriptors are as before.
  EXPECT_TRUE(test::WaitUntil([] { return !Zombies(); })) << "a guard was left a zombie";
  EXPECT_TRUE(test::WaitUntil([] { return test::ChildProcesses().size() <= 1; }));
  EXPECT_TRUE(test::WaitUntil([&] { return test::OpenDescriptors() == descriptors; }))
      << test::OpenDescriptors() << " descriptors open, " << descriptors
      << " before: " << testing::PrintToString(test::OpenDescriptorTargets()) << " against "
      << testing::PrintToString(targets);
  engine.Stop();
  EXPECT_TRUE(test::WaitUntil([] { return test::ChildProcesses().empty(); }));
}

// The window program's way: the stick's report wakes the engine, and the one look that follows
// sends the gear (a resting stick's cost: KernelStickTest).
TEST(KernelEngine, AMoveIsReadOnItsReportAndShiftsOnOneLook) {
  KESTRANE_NEED_FAKE_KERNEL();
  FakeKernel kernel;
  test::FakeStick& stick = kernel.AddStick();
  auto platform = CreateSdlInputPlatform(false);
  StoredInterval timer(25);
  test::TestLoop loop;
  test::FakeKeySink* keys = nullptr;
  EngineServices services;
  services.input = platform.get();
  services.timer = &timer;
  services.loop = &loop;
  services.settings = DefaultSettings();
  services.open_keyboard = [&](std::string&, MessageSink&) {
    auto sink = std::make_unique<test::FakeKeySink>();
    keys = sink.get();
    return sink;
  };
  Engine engine(std::move(services));
  ASSERT_TRUE(engine.Start());
  ASSERT_EQ(engine.State(), RunState::Running);
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return stick.ParkedReads() == 1; }));
  for (int i = 0; i < 3; ++i) engine.Tick();  // the first looks bring SDL up to date

  const int woken = loop.soon.load();
  stick.Move(ABS_Y, 0);  // straight up from neutral: third gear
  ASSERT_TRUE(FakeKernel::WaitFor([&] { return loop.soon.load() > woken; }));
  const long key_events = keys->key_events;
  engine.Tick();
  EXPECT_EQ(engine.Shift().SentGear, 3);
  EXPECT_EQ(keys->key_events, key_events + 1);  // the key went down on that look

  // Closed while it rests, the reader ends with it.
  engine.Stop();
  EXPECT_EQ(stick.ParkedReads(), 0u);
}

}  // namespace
}  // namespace kestrane
