#include "ui/Accelerators.h"

#include "runtime/Platform.h"
#include "runtime/Text.h"

namespace tw {

std::size_t CharLengthAt(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  // A lead byte without its trail byte (the caption was cut) is one character
  // of its own, so that no scan steps beyond the text.
  if (pos + 1 < text.size() && platform::IsLeadByte(static_cast<std::uint8_t>(text[pos]))) return 2;
  return 1;
}

bool HasDoubleByteChar(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i += CharLengthAt(text, i))
    if (CharLengthAt(text, i) == 2) return true;
  return false;
}

std::size_t AcceleratorPosition(std::string_view caption) {
  std::size_t found = std::string_view::npos;
  std::size_t i = 0;
  while (i < caption.size()) {
    if (caption[i] != '&') {
      i += CharLengthAt(caption, i);
      continue;
    }
    if (i + 1 >= caption.size()) break;  // a final "&" marks nothing
    if (caption[i + 1] == '&') {
      i += 2;  // "&&" is a literal ampersand
      continue;
    }
    found = i;
    ++i;  // the marked character is scanned as any other
  }
  return found;
}

std::string AcceleratorOf(std::string_view caption) {
  const std::size_t pos = AcceleratorPosition(caption);
  if (pos == std::string_view::npos) return {};
  return std::string(caption.substr(pos + 1, CharLengthAt(caption, pos + 1)));
}

bool CharMatches(std::uint32_t charCode, std::string_view character) {
  if (charCode > 0xFF) {
    // Trail bytes may look like ASCII letters: a double-byte character is
    // compared as it stands.
    if (charCode > 0xFFFF || character.size() != 2) return false;
    return static_cast<std::uint8_t>(character[0]) == (charCode >> 8) &&
           static_cast<std::uint8_t>(character[1]) == (charCode & 0xFF);
  }
  return character.size() == 1 && UpperAscii(character[0]) == UpperAscii(static_cast<char>(charCode));
}

bool IsAccelerator(std::uint32_t charCode, std::string_view caption) {
  const std::string accelerator = AcceleratorOf(caption);
  return !accelerator.empty() && CharMatches(charCode, accelerator);
}

std::string StripAccelerator(std::string_view caption, bool bracketGroups) {
  const std::size_t pos = AcceleratorPosition(caption);
  std::string result(caption);
  if (pos == std::string_view::npos) return result;
  const std::size_t charEnd = pos + 1 + CharLengthAt(caption, pos + 1);
  if (bracketGroups && pos > 0 && caption[pos - 1] == '(' && charEnd < caption.size() && caption[charEnd] == ')')
    result.erase(pos - 1, charEnd + 1 - (pos - 1));
  else
    result.erase(pos, 1);
  return result;
}

std::string CaptionAsShown(std::string_view caption) {
  std::string shown;
  shown.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size();) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') shown += '&';
      i += (i + 1 < caption.size() && caption[i + 1] == '&') ? 2 : 1;
      continue;
    }
    const std::size_t n = CharLengthAt(caption, i);
    shown.append(caption.substr(i, n));
    i += n;
  }
  return shown;
}

}  // namespace tw
