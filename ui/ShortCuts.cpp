#include "ui/ShortCuts.h"

#include <algorithm>

#include "runtime/Exceptions.h"
#include "runtime/MessageIds.h"
#include "runtime/Text.h"

namespace tw {

std::string KeyNameOf(std::uint8_t key) {
  struct Named {
    std::uint8_t key;
    ResId id;
  };
  auto tableId = [](int offset) { return ResId{static_cast<std::uint16_t>(msg::KeyTab.value + offset)}; };
  const Named named[] = {{8, msg::KeyBkSp}, {9, tableId(0)},   {13, tableId(1)},  {27, tableId(2)},  {32, tableId(3)},
                         {33, tableId(4)},  {34, tableId(5)},  {35, tableId(6)},  {36, tableId(7)},  {37, tableId(8)},
                         {38, tableId(9)},  {39, tableId(10)}, {40, tableId(11)}, {45, tableId(12)}, {46, tableId(13)}};
  for (const Named& n : named)
    if (n.key == key) return LoadResString(n.id);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  if (key >= 96 && key <= 105) return std::string(1, static_cast<char>('0' + (key - 96)));
  if (key >= 112 && key <= 135) return "F" + std::to_string(key - 111);
  const UINT scanCode = MapVirtualKeyA(key, 0);
  if (scanCode == 0) return {};
  char name[256];
  const int length = GetKeyNameTextA(static_cast<LONG>(scanCode << 16), name, static_cast<int>(sizeof name));
  return length > 0 ? std::string(name, static_cast<std::size_t>(std::min<int>(length, 255))) : std::string();
}

std::string ShortCutToText(TShortCut shortCut) {
  const std::string name = KeyNameOf(static_cast<std::uint8_t>(shortCut & 0xFF));
  if (name.empty()) return {};
  std::string text;
  if (shortCut & scShift) text += LoadResString(msg::KeyShift);
  if (shortCut & scCtrl) text += LoadResString(msg::KeyCtrl);
  if (shortCut & scAlt) text += LoadResString(msg::KeyAlt);
  return text + name;
}

TShortCut TextToShortCut(std::string_view text) {
  const std::string shift = LoadResString(msg::KeyShift);
  const std::string ctrl = LoadResString(msg::KeyCtrl);
  const std::string alt = LoadResString(msg::KeyAlt);
  auto strip = [&text](std::string_view prefix) {
    if (prefix.empty() || text.size() < prefix.size() || !SameAsciiText(text.substr(0, prefix.size()), prefix))
      return false;
    text.remove_prefix(prefix.size());
    return true;
  };
  // A modifier named twice is still one modifier.
  TShortCut modifiers = 0;
  for (;;) {
    if (strip(shift))
      modifiers |= scShift;
    else if (strip("^") || strip(ctrl))
      modifiers |= scCtrl;
    else if (strip(alt))
      modifiers |= scAlt;
    else
      break;
  }
  if (text.empty()) return 0;
  for (int key = 8; key <= 255; ++key) {
    const std::string name = KeyNameOf(static_cast<std::uint8_t>(key));
    if (!name.empty() && SameAsciiText(name, text)) return static_cast<TShortCut>(key | modifiers);
  }
  return 0;
}

TShortCut MakeShortCut(WORD key, bool shift, bool ctrl, bool alt) {
  if (key & 0xFF00) return 0;
  TShortCut result = key;
  if (shift) result |= scShift;
  if (ctrl) result |= scCtrl;
  if (alt) result |= scAlt;
  return result;
}

}  // namespace tw
