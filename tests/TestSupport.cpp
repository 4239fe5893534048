#include "tests/TestSupport.h"

#include <algorithm>

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace tw::test {

std::string Sjis(std::string_view utf8) {
#ifdef _WIN32
  int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
  int narrow = WideCharToMultiByte(932, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(932, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
#else
  iconv_t cd = iconv_open("CP932", "UTF-8");
  // Some C libraries (the browser build's) know only the standard Shift_JIS.
  // It differs from code page 932 only in a few symbols (the wave dash, the
  // vendor additions such as circled digits), none of which the tests write.
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("SHIFT_JIS", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 conversion");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* dst = out.data();
  size_t outLeft = out.size();
  size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) throw std::runtime_error("text not convertible to CP932");
  out.resize(out.size() - outLeft);
  return out;
#endif
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace tw::test
