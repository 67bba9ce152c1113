#include "tools/realtime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform/stop_signals.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestrane {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

TEST(RealtimeTickInterval, TheCheckIntervalOrTheDefaultWhenItWouldNeverTick) {
  EXPECT_EQ(RealtimeTickInterval(25), milliseconds(25));
  EXPECT_EQ(RealtimeTickInterval(1), milliseconds(1));
  EXPECT_EQ(RealtimeTickInterval(60000), milliseconds(60000));
  EXPECT_EQ(RealtimeTickInterval(0), milliseconds(25));
  EXPECT_EQ(RealtimeTickInterval(60001), milliseconds(25));
  EXPECT_EQ(RealtimeTickInterval(static_cast<std::uint32_t>(-10)), milliseconds(25));
}

TEST(TickPacer, TicksOneIntervalApartAndDoesNotCatchUpAfterALongTick) {
  const auto start = Clock::now();
  TickPacer pacer(milliseconds(50));
  ASSERT_TRUE(pacer.WaitForTick());
  EXPECT_GE(Clock::now() - start, milliseconds(50));
  ASSERT_TRUE(pacer.WaitForTick());
  EXPECT_GE(Clock::now() - start, milliseconds(100));

  std::this_thread::sleep_for(milliseconds(170));  // a tick with long key waits
  const auto late = Clock::now();
  ASSERT_TRUE(pacer.WaitForTick());
  EXPECT_LT(Clock::now() - late, milliseconds(25)) << "an overdue tick runs at once";
  const auto resumed = Clock::now();
  ASSERT_TRUE(pacer.WaitForTick());
  EXPECT_GE(Clock::now() - resumed, milliseconds(40)) << "and the next one an interval later";
}

TEST(StopSignals, ASignalEndsTheWaitInsteadOfTheProgram) {
  EXPECT_EXIT(
      {
        CatchStopSignals(true);
        const bool none_before = StopSignal() == 0;
        std::raise(SIGTERM);
        TickPacer pacer(milliseconds(10000));
        const auto start = Clock::now();
        const bool ticked = pacer.WaitForTick();
        const bool quick = Clock::now() - start < milliseconds(1000);
        std::exit(none_before && StopSignal() == SIGTERM && !ticked && quick ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

#ifndef _WIN32
// The handler's write to the descriptor fails once its reader is gone: the code the signal
// interrupted must still find errno as it left it.
TEST(StopSignals, TheHandlerLeavesErrnoAsItWas) {
  EXPECT_EXIT(
      {
        CatchStopSignals(false);
        std::signal(SIGPIPE, SIG_IGN);
        ::close(StopSignalDescriptor());
        errno = EDOM;
        std::raise(SIGINT);
        std::exit(StopSignal() == SIGINT && errno == EDOM ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace kestrane
