#include "platform/key_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_key_sink.h"

namespace kestrane {
namespace {

using Clock = std::chrono::steady_clock;

// A tap with a long press time, as mode 1 sends it: the caller never waits, the keyboard gets the
// events in order, and ending the program types what is left at once instead of waiting.
TEST(KeyQueue, LongWaitsNeverBlockTheCallerAndTheEndDoesNotWaitThemOut) {
  std::vector<std::string> log;
  const auto start = Clock::now();
  {
    KeyQueue queue(std::make_unique<test::FakeKeySink>(log));
    KeyOutput keys(queue);
    keys.Tap({0x31, 0x02}, 20000);
    keys.Press({0x32, 0x03});
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(log, (std::vector<std::string>{"key down 49", "key up 49", "key down 50"}));
}

// Waits are typed in order, a long one as kLongestKeyWaitMs.
TEST(KeyQueue, WaitsKeepTheOrderAndAreCappedAtASecond) {
  std::vector<std::string> log;
  KeyQueue queue(std::make_unique<test::FakeKeySink>(log));
  const auto start = Clock::now();
  queue.KeyEvent({0x31, 0x02}, true);
  queue.Wait(60);
  queue.KeyEvent({0x31, 0x02}, false);
  queue.Flush();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));
  EXPECT_EQ(log, (std::vector<std::string>{"key down 49", "key up 49"}));

  const auto long_start = Clock::now();
  queue.Wait(2147483647);
  queue.KeyEvent({0x32, 0x03}, true);
  queue.Flush();
  const auto took = Clock::now() - long_start;
  EXPECT_GE(took, std::chrono::milliseconds(kLongestKeyWaitMs));
  EXPECT_LT(took, std::chrono::milliseconds(kLongestKeyWaitMs + 2000));
  EXPECT_EQ(log.back(), "key down 50");
}

}  // namespace
}  // namespace kestrane
