// A Linux terminal shows UTF-8.
#include "app/calc/CommandLine.h"

#include <ostream>

#include "runtime/Platform.h"

namespace tw::calc {

std::string ConsoleText(std::string_view text) {
  std::string out;
  const std::u16string wide = platform::AnsiToWide(text);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A file name is the bytes the system gave; the terminal shows them as they are.
media::FilePath PathFromText(std::string_view text) { return media::FilePath(std::string(text)); }

void WriteNamingFile(std::ostream& stream, std::string_view before, const media::FilePath& file,
                     std::string_view after) {
  stream << ConsoleText(before) << file.Native() << ConsoleText(after);
}

}  // namespace tw::calc
