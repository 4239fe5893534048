// Conversion between texts and signed 32-bit integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Decimal with optional sign, or hexadecimal after "$", "x", "X" or "0x"; only
// leading blanks (0x20) are skipped. Raises EConvertError quoting the whole text.
std::int32_t ParseInteger(std::string_view text);

// The same syntax; the fallback instead of an error.
std::int32_t ParseIntegerOr(std::string_view text, std::int32_t fallback);

// The scanner under both: the value, or nothing when the text is not accepted.
std::optional<std::int32_t> ScanInteger(std::string_view text);

// Plain decimal, "-" for negatives.
std::string IntegerToText(std::int32_t value);

}  // namespace tw
