// ParseSettingNumber against a second, independent reading of the same rule: optional blanks, an
// optional sign, decimal digits or hexadecimal ones after "$", "x" or "0x", signed 32-bit range.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/setting_number.h"
#include "fuzz/fuzz_check.h"

namespace {

std::optional<std::int32_t> Reference(std::string_view t) {
  const std::size_t first = t.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  t.remove_prefix(first);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (t.starts_with("0x") || t.starts_with("0X")) {
    base = 16;
    t.remove_prefix(2);
  } else if (t.starts_with("$") || t.starts_with("x") || t.starts_with("X")) {
    base = 16;
    t.remove_prefix(1);
  }
  if (t.empty()) return std::nullopt;
  const std::string_view digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
  if (t.find_first_not_of(digits) != std::string_view::npos) return std::nullopt;

  // Leading zeros never matter; more than 8 significant hex or 10 decimal digits never fit.
  const std::size_t significant = t.find_first_not_of('0');
  if (significant == std::string_view::npos) return 0;
  t.remove_prefix(significant);
  if (t.size() > (base == 16 ? 8u : 10u)) return std::nullopt;
  std::uint64_t magnitude = 0;
  std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
  const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
  if (magnitude > limit) return std::nullopt;
  const std::int64_t value =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> got = kestrane::ParseSettingNumber(text);
  FUZZ_CHECK(got == Reference(text));
  if (got) {
    // What the write-back stores must read back as the same number.
    FUZZ_CHECK(kestrane::ParseSettingNumber(std::to_string(*got)) == got);
  }
  return 0;
}
