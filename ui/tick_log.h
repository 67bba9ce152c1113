#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrane {

// Timestamps of the polling timer's ticks, kept in memory and written to a file when the program
// ends, for measuring the timer's period and the time from start to the first tick. Enabled by
// KESTRANE_TICK_LOG=<file>; without it the program keeps no log at all.
//
// The file holds "first_tick_realtime_ns N" and then one monotonic timestamp (ns) per tick.
class TickLog {
 public:
  explicit TickLog(std::string path);
  ~TickLog();
  TickLog(const TickLog&) = delete;
  TickLog& operator=(const TickLog&) = delete;

  void Mark();  // one tick; cheap, no allocation until the reserve is used up
  void Write();

 private:
  std::string path_;
  std::int64_t first_realtime_ns_ = 0;
  std::vector<std::int64_t> ticks_;
  bool written_ = false;
};

}  // namespace kestrane
