#include "ui/ShortCuts.h"

#include <algorithm>

#include "runtime/Exceptions.h"
#include "runtime/MessageIds.h"
#include "runtime/Text.h"

namespace tw {

namespace {

// The key code's part of a shortcut; a key code with any bit above it has no
// shortcut.
constexpr TShortCut kKeyCodeMask = 0x00FF;
// GetKeyNameTextA takes the scan code where a key message's data carries it,
// in bits 16 to 23.
constexpr int kKeyDataScanCodeShift = 16;
// The buffer the platform's key name is read into (its terminator included).
constexpr int kKeyNameSize = 256;

}  // namespace

std::string KeyNameOf(std::uint8_t key) {
  struct Named {
    std::uint8_t key;
    ResId id;
  };
  auto tableId = [](int offset) { return ResId{static_cast<std::uint16_t>(msg::KeyTab.value + offset)}; };
  const Named named[] = {{VK_BACK, msg::KeyBkSp}, {VK_TAB, tableId(0)},     {VK_RETURN, tableId(1)},
                         {VK_ESCAPE, tableId(2)}, {VK_SPACE, tableId(3)},   {VK_PRIOR, tableId(4)},
                         {VK_NEXT, tableId(5)},   {VK_END, tableId(6)},     {VK_HOME, tableId(7)},
                         {VK_LEFT, tableId(8)},   {VK_UP, tableId(9)},      {VK_RIGHT, tableId(10)},
                         {VK_DOWN, tableId(11)},  {VK_INSERT, tableId(12)}, {VK_DELETE, tableId(13)}};
  for (const Named& n : named)
    if (n.key == key) return LoadResString(n.id);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) return std::string(1, static_cast<char>('0' + (key - VK_NUMPAD0)));
  if (key >= VK_F1 && key <= VK_F24) return "F" + std::to_string(key - VK_F1 + 1);
  const UINT scanCode = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  if (scanCode == 0) return {};
  char name[kKeyNameSize];
  const int length =
      GetKeyNameTextA(static_cast<LONG>(scanCode << kKeyDataScanCodeShift), name, static_cast<int>(sizeof name));
  return length > 0 ? std::string(name, static_cast<std::size_t>(std::min<int>(length, kKeyNameSize - 1)))
                    : std::string();
}

std::string ShortCutToText(TShortCut shortCut) {
  const std::string name = KeyNameOf(static_cast<std::uint8_t>(shortCut & kKeyCodeMask));
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
  for (int key = VK_BACK; key <= kKeyCodeMask; ++key) {
    const std::string name = KeyNameOf(static_cast<std::uint8_t>(key));
    if (!name.empty() && SameAsciiText(name, text)) return static_cast<TShortCut>(key | modifiers);
  }
  return 0;
}

TShortCut MakeShortCut(WORD key, bool shift, bool ctrl, bool alt) {
  if (key & ~kKeyCodeMask) return 0;
  TShortCut result = key;
  if (shift) result |= scShift;
  if (ctrl) result |= scCtrl;
  if (alt) result |= scAlt;
  return result;
}

TShortCut ShortCutOfKey(WPARAM key, LPARAM keyData) {
  TShortCut shortCut = static_cast<TShortCut>(key & kKeyCodeMask);
  if (GetKeyState(VK_SHIFT) < 0) shortCut |= scShift;
  if (GetKeyState(VK_CONTROL) < 0) shortCut |= scCtrl;
  // The key data's high word carries the platform's key flags.
  if (HIWORD(keyData) & KF_ALTDOWN) shortCut |= scAlt;
  return shortCut;
}

}  // namespace tw
