#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "core/stick_sample.h"

namespace kestrane {

// One line of a stick trace: "X Y Z Rx Ry Rz S0 S1 B" (1 to 9 integer fields, missing axes
// 32767, missing buttons 0; B a bit mask, bit i = button byte i), the word "fail" (the read fails
// on that tick), "gone" (the read says the stick is gone), "back" (not a tick: the stick is open
// again from the next tick on, its effects rebuilt), a blank line or a "#" comment (not a tick).
enum class TraceLineKind : std::uint8_t { Skip, Fail, Gone, Back, Sample, Bad };

struct TraceLine {
  TraceLineKind kind = TraceLineKind::Skip;
  StickSample sample;
  std::string error;  // for Bad: what is wrong
};

TraceLine ParseTraceLine(std::string_view line);

// Splits a trace into lines at LF, CRLF and a lone CR, reading no further than the end of the
// line (so that a live trace is taken line by line as it comes).
class TraceLineReader {
 public:
  explicit TraceLineReader(std::istream& in) : in_(in) {}
  // The next line without its end; false at the end of the input.
  bool Next(std::string& line);

 private:
  std::istream& in_;
  bool after_cr_ = false;  // a LF right after a CR belongs to the same line end
};

// The trace line of a sample (what `record` writes and `replay` reads back unchanged).
std::string FormatTraceLine(const StickSample& sample);

}  // namespace kestrane
