// The settings dialog's key-field reading (ParseKeyField, IsKeyFieldText) against an independent
// reading of the same rules, and the round trip of a key through its field text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_form.h"
#include "fuzz/fuzz_check.h"

namespace {

using kestrane::KeyCode;

std::vector<std::string> Pieces(std::string_view text) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == '#') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  std::erase_if(out, [](const std::string& p) { return p.empty(); });
  return out;
}

bool Blank(char c) {
  return c == ' ' || c == '\t';
}
bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// Blanks, a sign and as many digits as follow, kept modulo 256.
std::uint8_t LeadingByte(const std::string& piece) {
  std::size_t i = 0;
  while (i < piece.size() && Blank(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '-' || piece[i] == '+')) negative = piece[i++] == '-';
  unsigned value = 0;
  for (; i < piece.size() && Digit(piece[i]); ++i) {
    value = (value * 10 + static_cast<unsigned>(piece[i] - '0')) % 256;
  }
  if (negative) value = (256 - value) % 256;
  return static_cast<std::uint8_t>(value);
}

// Only blanks around 1 to 3 digits, at most 255.
bool StrictByte(const std::string& piece) {
  const std::size_t b = piece.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  const std::size_t e = piece.find_last_not_of(" \t") + 1;
  const std::string digits = piece.substr(b, e - b);
  if (digits.size() > 3) return false;
  for (char c : digits) {
    if (!Digit(c)) return false;
  }
  return std::stoi(digits) <= 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> pieces = Pieces(text);

  KeyCode expected;
  if (!pieces.empty()) expected.vk = LeadingByte(pieces[0]);
  if (pieces.size() > 1) expected.scan = LeadingByte(pieces[1]);
  const KeyCode got = kestrane::ParseKeyField(text);
  FUZZ_CHECK(got == expected);

  const bool names_key =
      size <= 99 && pieces.size() == 2 && StrictByte(pieces[0]) && StrictByte(pieces[1]);
  FUZZ_CHECK(kestrane::IsKeyFieldText(text) == names_key);

  // The text the dialog shows for a key names that very key.
  const std::string shown = kestrane::FormatKeyField(got);
  FUZZ_CHECK(kestrane::IsKeyFieldText(shown));
  FUZZ_CHECK(kestrane::ParseKeyField(shown) == got);
  return 0;
}
