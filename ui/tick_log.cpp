#include "ui/tick_log.h"

#include <chrono>
#include <cstdio>

namespace kestrane {

TickLog::TickLog(std::string path) : path_(std::move(path)) { ticks_.reserve(1 << 18); }

TickLog::~TickLog() { Write(); }

void TickLog::Mark() {
  using namespace std::chrono;
  if (ticks_.empty()) {
    first_realtime_ns_ =
        duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  }
  ticks_.push_back(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

void TickLog::Write() {
  if (written_) return;
  written_ = true;
  std::FILE* f = std::fopen(path_.c_str(), "w");
  if (!f) return;
  std::fprintf(f, "first_tick_realtime_ns %lld\n", static_cast<long long>(first_realtime_ns_));
  for (std::int64_t t : ticks_) std::fprintf(f, "%lld\n", static_cast<long long>(t));
  std::fclose(f);
}

}  // namespace kestrane
