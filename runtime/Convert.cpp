#include "runtime/Convert.h"

#include "runtime/Exceptions.h"

namespace tw {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// At least one digit, at most eight significant ones; the 32-bit pattern read as
// a signed number.
std::optional<std::int32_t> ScanHex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0 || value > 0x0FFFFFFFu) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ScanDecimal(std::string_view digits, bool negative) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t magnitude = 0;
  for (char c : digits) {
    if (c < '0' || c > '9' || magnitude > 214748364u) return std::nullopt;
    magnitude = magnitude * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (magnitude > (negative ? 2147483648u : 2147483647u)) return std::nullopt;
  return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

}  // namespace

std::optional<std::int32_t> ScanInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string_view rest = text.substr(i);
  if (rest.empty()) return std::nullopt;
  switch (rest[0]) {
    case '-': return ScanDecimal(rest.substr(1), true);
    case '+': return ScanDecimal(rest.substr(1), false);
    case '$':
    case 'x':
    case 'X': return ScanHex(rest.substr(1));
    case '0':
      if (rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X')) return ScanHex(rest.substr(2));
      break;
    default: break;
  }
  return ScanDecimal(rest, false);
}

std::int32_t ParseInteger(std::string_view text) {
  if (auto value = ScanInteger(text)) return *value;
  throw EConvertError(msg::InvalidInteger, {text});
}

std::int32_t ParseIntegerOr(std::string_view text, std::int32_t fallback) {
  return ScanInteger(text).value_or(fallback);
}

std::string IntegerToText(std::int32_t value) {
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[12];
  char* p = digits + sizeof digits;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--p = '-';
  return std::string(p, digits + sizeof digits);
}

}  // namespace tw
