// Byte-text rules that every layer shares: letter case for ASCII letters only,
// and cutting a text without splitting a double-byte character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/Platform.h"

namespace tw {

// An ASCII lower-case letter made upper case; every other byte as it is.
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

// Texts equal without regard to the case of ASCII letters (and only those:
// "A@" and "a`" differ).
constexpr bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// The longest start of the text that has at most limit bytes and does not end
// between the two bytes of a double-byte character of the ANSI code page.
inline std::string_view CutText(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t step = platform::IsLeadByte(static_cast<std::uint8_t>(text[end])) ? 2 : 1;
    if (end + step > limit) break;
    end += step;
  }
  return text.substr(0, end);
}

// Where the file name of a path starts: just after its last "\" or "/",
// found a character at a time (the second byte of a double-byte character may
// have the value of "\"); 0 when there is no separator.
inline std::size_t FileNameStart(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (platform::IsLeadByte(static_cast<std::uint8_t>(path[i])) && i + 1 < path.size())
      ++i;
    else if (path[i] == '\\' || path[i] == '/')
      start = i + 1;
  }
  return start;
}

}  // namespace tw
