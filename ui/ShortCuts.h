// Shortcuts: a key with its modifiers as one 16-bit value, and its text as a
// menu entry shows it ("Ctrl+S") and a form resource may give it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// A key code in the low byte with scShift, scCtrl and scAlt on top.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

// "Shift+", "Ctrl+", "Alt+" (in that order) before the key's name; empty when
// the key has no name.
std::string ShortCutToText(TShortCut shortCut);
// Leading modifiers ("Shift+", "^" or "Ctrl+", "Alt+", any letter case), then
// the first key code from 8 up whose name matches the rest; 0 when none does.
TShortCut TextToShortCut(std::string_view text);
// 0 for a key with any bit in 0xFF00.
TShortCut MakeShortCut(WORD key, bool shift, bool ctrl, bool alt);
// The shortcut a key message (WM_KEYDOWN, WM_SYSKEYDOWN) stands for: the low
// byte of its key code, Shift and Ctrl as they are held now, and Alt as the
// message's key data says.
TShortCut ShortCutOfKey(WPARAM key, LPARAM keyData);
// The name of a key code alone: the message table's names, digits, letters,
// "F1" ... "F24", else the platform's key name.
std::string KeyNameOf(std::uint8_t key);

}  // namespace tw
