// The browser's build has no code page 932 conversion. The page's texts never
// pass through one: the fields travel to the module as UTF-8 and the messages
// the module returns are decoded by the page, so a conversion here would only
// carry iconv's tables, most of the page's size, for text that never reaches
// it. Whatever does pass keeps its ASCII; every other character becomes one
// "?", as the platform's conversion writes a character the target cannot hold.
#include "runtime/Platform.h"

namespace tw::platform {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The bytes code page 932 allows after a lead byte.
bool IsTrailByte(std::uint8_t byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

}  // namespace

std::string WideToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    // A surrogate pair is one character, so one "?".
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    out.push_back('?');
  }
  return out;
}

std::u16string AnsiToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) {
      out.push_back(static_cast<char16_t>(byte));
      continue;
    }
    // A lead byte and its trail byte are one character; a lead byte cut off at
    // the end, or followed by a byte that cannot trail it, is one on its own,
    // as in the native conversion.
    if (IsLeadByte(byte) && i + 1 < text.size() && IsTrailByte(static_cast<std::uint8_t>(text[i + 1]))) ++i;
    out.push_back(u'?');
  }
  return out;
}

}  // namespace tw::platform
