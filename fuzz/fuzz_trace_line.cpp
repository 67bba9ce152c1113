// ParseTraceLine against an independent reading of the trace format, and the round trip of every
// sample through FormatTraceLine (what `record` writes, `replay` must read back unchanged).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tools/trace.h"

namespace {

using kestrane::StickSample;
using kestrane::TraceLineKind;

bool Separator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::optional<std::uint64_t> Digits(std::string_view s, int base) {
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (v > 0x1FFFFFFFFull) v = 0x1FFFFFFFFull;  // beyond every limit below
  }
  return v;
}

struct Expected {
  TraceLineKind kind;
  StickSample sample;
};

Expected Reference(std::string_view line) {
  std::vector<std::string_view> fields;
  std::string_view rest = line;
  while (!rest.empty()) {
    std::size_t n = 0;
    while (n < rest.size() && !Separator(rest[n])) ++n;
    if (n > 0) fields.push_back(rest.substr(0, n));
    rest.remove_prefix(n == rest.size() ? n : n + 1);
  }
  Expected out{TraceLineKind::Bad, {}};
  if (fields.empty() || fields[0].starts_with("#")) return {TraceLineKind::Skip, {}};
  if (fields.size() == 1 && fields[0] == "fail") return {TraceLineKind::Fail, {}};
  if (fields.size() == 1 && fields[0] == "gone") return {TraceLineKind::Gone, {}};
  if (fields.size() == 1 && fields[0] == "back") return {TraceLineKind::Back, {}};
  if (fields.size() > 9) return out;

  std::array<std::int32_t, 8> axes{32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767};
  std::uint64_t mask = 0;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    std::string_view s = fields[f];
    if (f < 8) {
      bool negative = false;
      if (s.starts_with("-") || s.starts_with("+")) {
        negative = s[0] == '-';
        s.remove_prefix(1);
      }
      const std::optional<std::uint64_t> v = Digits(s, 10);
      if (!v || *v > (negative ? 2147483648u : 2147483647u)) return out;
      axes[f] = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*v)
                                                   : static_cast<std::int64_t>(*v));
    } else {
      const bool hex = s.size() > 2 && (s.starts_with("0x") || s.starts_with("0X"));
      const std::optional<std::uint64_t> v = hex ? Digits(s.substr(2), 16) : Digits(s, 10);
      if (!v || *v > 0xFFFFFFFFu) return out;
      mask = *v;
    }
  }
  StickSample& s = out.sample;
  s.X = axes[0];
  s.Y = axes[1];
  s.Z = axes[2];
  s.Rx = axes[3];
  s.Ry = axes[4];
  s.Rz = axes[5];
  s.Slider = {axes[6], axes[7]};
  for (std::size_t b = 0; b < 32; ++b) {
    s.Buttons[b] = static_cast<std::uint8_t>((mask >> b & 1u) ? 0x80 : 0);
  }
  out.kind = TraceLineKind::Sample;
  return out;
}

bool Same(const StickSample& a, const StickSample& b) {
  return a.X == b.X && a.Y == b.Y && a.Z == b.Z && a.Rx == b.Rx && a.Ry == b.Ry && a.Rz == b.Rz &&
         a.Slider == b.Slider && a.Pov == b.Pov && a.Buttons == b.Buttons;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const kestrane::TraceLine got = kestrane::ParseTraceLine(line);
  const Expected expected = Reference(line);
  FUZZ_CHECK(got.kind == expected.kind);
  FUZZ_CHECK((got.kind == TraceLineKind::Bad) == !got.error.empty());
  if (got.kind != TraceLineKind::Sample) return 0;
  FUZZ_CHECK(Same(got.sample, expected.sample));

  const std::string written = kestrane::FormatTraceLine(got.sample);
  const kestrane::TraceLine again = kestrane::ParseTraceLine(written);
  FUZZ_CHECK(again.kind == TraceLineKind::Sample);
  FUZZ_CHECK(Same(again.sample, got.sample));
  FUZZ_CHECK(kestrane::FormatTraceLine(again.sample) == written);
  return 0;
}
