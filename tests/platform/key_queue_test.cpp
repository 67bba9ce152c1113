#include "platform/key_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
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

// A key with nothing queued before it is typed before KeyEvent returns, on the caller's thread
// (no thread switch before a shift's key); one behind a wait goes to the thread, in order.
TEST(KeyQueue, AKeyWithNothingBeforeItIsTypedAtOnceByTheCaller) {
  struct ThreadSink final : KeySink {
    std::vector<std::thread::id> threads;
    std::vector<bool> downs;
    void KeyEvent(KeyCode, bool down) override {
      threads.push_back(std::this_thread::get_id());
      downs.push_back(down);
    }
    void Wait(std::int32_t) override {}
  };
  auto owned = std::make_unique<ThreadSink>();
  ThreadSink& sink = *owned;
  KeyQueue queue(std::move(owned));
  queue.KeyEvent({0x31, 0x02}, true);
  ASSERT_EQ(sink.threads.size(), 1u);  // typed already
  EXPECT_EQ(sink.threads[0], std::this_thread::get_id());
  queue.Wait(30);
  queue.KeyEvent({0x31, 0x02}, false);
  EXPECT_EQ(sink.threads.size(), 1u);  // waits behind the wait
  queue.Flush();
  ASSERT_EQ(sink.threads.size(), 2u);
  EXPECT_NE(sink.threads[1], std::this_thread::get_id());
  EXPECT_EQ(sink.downs, (std::vector<bool>{true, false}));
  queue.KeyEvent({0x31, 0x02}, true);  // the queue is idle again
  EXPECT_EQ(sink.threads.size(), 3u);
}

}  // namespace
}  // namespace kestrane
