// The native build's conversions between code page 932 and 16-bit text, done
// by the C library's iconv. The browser's build has its own (CodePageBrowser.cpp),
// since iconv's tables would be most of the page's module.
#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "runtime/Platform.h"

namespace tw::platform {

// Natively the system code page is the one the program's texts are in, 932.
// A character it cannot hold becomes "?", as the platform's conversion does.
std::string WideToAnsi(std::u16string_view text) {
  std::string out;
  bool ascii = true;
  for (char16_t c : text) ascii = ascii && c < 0x80;
  if (ascii) {
    for (char16_t c : text) out.push_back(static_cast<char>(c));
    return out;
  }
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  iconv_t cd = iconv_open("CP932", "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  char* in = bytes.data();
  std::size_t inLeft = bytes.size();
  char chunk[256];
  while (inLeft > 0) {
    char* dst = chunk;
    std::size_t outLeft = sizeof chunk;
    std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    out.append(chunk, static_cast<std::size_t>(dst - chunk));
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // Not convertible, a lone surrogate or one cut off at the end: one "?" for
    // the character.
    out.push_back('?');
    std::size_t skip = 2;
    auto unit = static_cast<unsigned>(static_cast<unsigned char>(in[0]) | static_cast<unsigned char>(in[1]) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
      auto next = static_cast<unsigned>(static_cast<unsigned char>(in[2]) | static_cast<unsigned char>(in[3]) << 8);
      if (next >= 0xDC00 && next <= 0xDFFF) skip = 4;
    }
    skip = std::min(skip, inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

std::u16string AnsiToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  iconv_t cd = ascii ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (char c : text) out.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'?');
    return out;
  }
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char chunk[256];
  auto take = [&](const char* from, const char* to) {
    for (const char* p = from; p + 1 < to; p += 2)
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8));
  };
  while (inLeft > 0) {
    char* dst = chunk;
    std::size_t outLeft = sizeof chunk;
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    take(chunk, dst);
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // A byte that starts no character of the code page, or a lead byte cut
    // off at the end: one "?" for it.
    out.push_back(u'?');
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace tw::platform
