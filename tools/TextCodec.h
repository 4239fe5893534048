// Text conversions shared by the build tools: the program's texts are written in
// UTF-8 and shipped in code page 932 (Shift-JIS) or UTF-16 (resource scripts).
#pragma once

#include <iconv.h>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tools {

inline std::string Convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no conversion to ") + to);
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dst = out.data();
  size_t outLeft = out.size();
  size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1))
    throw std::runtime_error("text cannot be converted to " + std::string(to) + ": " + std::string(text));
  out.resize(out.size() - outLeft);
  return out;
}

// Microsoft's variant of Shift-JIS, which is what the platform's code page 932 is.
inline std::string Utf8ToCp932(std::string_view text) { return Convert(text, "CP932", "UTF-8"); }

inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::string bytes = Convert(text, "UTF-16LE", "UTF-8");
  std::u16string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return out;
}

// A C++ string literal holding exactly these bytes; octal escapes cannot swallow
// a following digit the way hexadecimal ones can.
inline std::string CxxLiteral(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  return out + "\"";
}

}  // namespace tools
