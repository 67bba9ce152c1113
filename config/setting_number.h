#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrane {

// Reads an integer as the settings file holds it: optional leading blanks, an optional sign, then
// decimal digits or hexadecimal digits after a "$", "x" or "0x" prefix. Anything else, nothing
// at all, or a value outside the signed 32-bit range is not a number.
std::optional<std::int32_t> ParseSettingNumber(std::string_view text);

}  // namespace kestrane
