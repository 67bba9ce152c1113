#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/stick_sample.h"

namespace kestrane {

// One line of a stick trace: "X Y Z Rx Ry Rz S0 S1 B" (1 to 9 integer fields, missing axes
// 32767, missing buttons 0; B a bit mask, bit i = button byte i), the word "fail" (the read fails
// on that tick), a blank line or a "#" comment (not a tick).
enum class TraceLineKind : std::uint8_t { Skip, Fail, Sample, Bad };

struct TraceLine {
  TraceLineKind kind = TraceLineKind::Skip;
  StickSample sample;
  std::string error;  // for Bad: what is wrong
};

TraceLine ParseTraceLine(std::string_view line);

// The trace line of a sample (what `record` writes and `replay` reads back unchanged).
std::string FormatTraceLine(const StickSample& sample);

}  // namespace kestrane
