#include "tools/trace.h"

#include <array>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "core/messages.h"

namespace kestrane {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::optional<std::int64_t> ParseDigits(std::string_view s, int base) {
  if (s.empty()) return std::nullopt;
  std::int64_t v = 0;
  for (char c : s) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return std::nullopt;
    v = v * base + d;
    if (v > (std::int64_t{1} << 33)) v = std::int64_t{1} << 33;  // far out of range: stop there
  }
  return v;
}

std::optional<std::int32_t> ParseAxis(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  auto v = ParseDigits(s, 10);
  if (!v) return std::nullopt;
  const std::int64_t value = negative ? -*v : *v;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<std::uint32_t> ParseButtons(std::string_view s) {
  std::optional<std::int64_t> v;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    v = ParseDigits(s.substr(2), 16);
  } else {
    v = ParseDigits(s, 10);
  }
  if (!v || *v > 0xFFFFFFFFll) return std::nullopt;
  return static_cast<std::uint32_t>(*v);
}

}  // namespace

TraceLine ParseTraceLine(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  TraceLine out;
  if (fields.empty() || fields[0][0] == '#') return out;  // Skip
  if (fields.size() == 1) {
    for (const auto& [word, kind] :
         {std::pair{"fail", TraceLineKind::Fail}, std::pair{"gone", TraceLineKind::Gone},
          std::pair{"back", TraceLineKind::Back}}) {
      if (fields[0] == word) {
        out.kind = kind;
        return out;
      }
    }
  }
  out.kind = TraceLineKind::Bad;
  if (fields.size() > 9) {
    out.error = "more than 9 fields";
    return out;
  }
  std::array<std::int32_t, 8> axes;
  axes.fill(32767);
  std::uint32_t buttons = 0;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (f < 8) {
      auto v = ParseAxis(fields[f]);
      if (!v) {
        out.error = "field " + std::to_string(f + 1) + " '" + EscapeControls(fields[f]) +
                    "' is not a signed 32-bit integer";
        return out;
      }
      axes[f] = *v;
    } else {
      auto v = ParseButtons(fields[f]);
      if (!v) {
        out.error = "button mask '" + EscapeControls(fields[f]) +
                    "' is not a 32-bit non-negative decimal or 0x hex number";
        return out;
      }
      buttons = *v;
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
  for (std::size_t b = 0; b < 32; ++b)
    s.Buttons[b] = static_cast<std::uint8_t>((buttons >> b) & 1u ? 0x80 : 0);
  out.kind = TraceLineKind::Sample;
  return out;
}

std::string FormatTraceLine(const StickSample& s) {
  std::uint32_t mask = 0;
  for (std::size_t b = 0; b < 32; ++b) {
    if (s.Buttons[b]) mask |= 1u << b;
  }
  std::string out;
  for (std::int32_t v : {s.X, s.Y, s.Z, s.Rx, s.Ry, s.Rz, s.Slider[0], s.Slider[1]}) {
    out += std::to_string(v);
    out += ' ';
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", mask);
  return out + hex;
}

bool TraceLineReader::Next(std::string& line) {
  line.clear();
  std::istream::int_type c = in_.get();
  if (after_cr_ && c == '\n') c = in_.get();
  after_cr_ = false;
  if (c == std::istream::traits_type::eof()) return false;
  while (c != std::istream::traits_type::eof() && c != '\n' && c != '\r') {
    line.push_back(static_cast<char>(c));
    c = in_.get();
  }
  after_cr_ = c == '\r';
  return true;
}

}  // namespace kestrane
