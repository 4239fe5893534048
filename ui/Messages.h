// The framework's own message numbers. Platform notifications reflected to the
// control that caused them carry the platform number + FN_BASE.
#pragma once

#include <cstdint>

namespace tw {

inline constexpr std::uint32_t FM_BASE = 0xB000;
inline constexpr std::uint32_t FM_ACTIVATE = 0xB000;
inline constexpr std::uint32_t FM_DEACTIVATE = 0xB001;
inline constexpr std::uint32_t FM_CANCELMODE = 0xB004;
inline constexpr std::uint32_t FM_DIALOGKEY = 0xB005;
inline constexpr std::uint32_t FM_DIALOGCHAR = 0xB006;
inline constexpr std::uint32_t FM_FOCUSCHANGED = 0xB007;
inline constexpr std::uint32_t FM_PARENTFONTCHANGED = 0xB008;
inline constexpr std::uint32_t FM_PARENTCOLORCHANGED = 0xB009;
inline constexpr std::uint32_t FM_HITTEST = 0xB00A;
inline constexpr std::uint32_t FM_VISIBLECHANGED = 0xB00B;
inline constexpr std::uint32_t FM_ENABLEDCHANGED = 0xB00C;
inline constexpr std::uint32_t FM_COLORCHANGED = 0xB00D;
inline constexpr std::uint32_t FM_FONTCHANGED = 0xB00E;
inline constexpr std::uint32_t FM_CURSORCHANGED = 0xB00F;
inline constexpr std::uint32_t FM_CTL3DCHANGED = 0xB010;
inline constexpr std::uint32_t FM_PARENTCTL3DCHANGED = 0xB011;
inline constexpr std::uint32_t FM_TEXTCHANGED = 0xB012;
inline constexpr std::uint32_t FM_MOUSEENTER = 0xB013;
inline constexpr std::uint32_t FM_MOUSELEAVE = 0xB014;
inline constexpr std::uint32_t FM_MENUCHANGED = 0xB015;
inline constexpr std::uint32_t FM_APPKEYDOWN = 0xB016;
inline constexpr std::uint32_t FM_APPSYSCOMMAND = 0xB017;
inline constexpr std::uint32_t FM_SHOWINGCHANGED = 0xB019;
inline constexpr std::uint32_t FM_ENTER = 0xB01A;
inline constexpr std::uint32_t FM_EXIT = 0xB01B;
inline constexpr std::uint32_t FM_ICONCHANGED = 0xB01D;
inline constexpr std::uint32_t FM_WANTSPECIALKEY = 0xB01E;
inline constexpr std::uint32_t FM_INVOKEHELP = 0xB01F;
inline constexpr std::uint32_t FM_WINDOWHOOK = 0xB020;
inline constexpr std::uint32_t FM_RELEASE = 0xB021;
inline constexpr std::uint32_t FM_SHOWHINTCHANGED = 0xB022;
inline constexpr std::uint32_t FM_PARENTSHOWHINTCHANGED = 0xB023;
inline constexpr std::uint32_t FM_UIACTIVATE = 0xB029;
inline constexpr std::uint32_t FM_CONTROLLISTCHANGE = 0xB02C;
inline constexpr std::uint32_t FM_CHILDKEY = 0xB02E;
inline constexpr std::uint32_t FM_HINTSHOW = 0xB030;
inline constexpr std::uint32_t FM_DIALOGHANDLE = 0xB031;
inline constexpr std::uint32_t FM_RECREATEWND = 0xB033;
inline constexpr std::uint32_t FM_INVALIDATE = 0xB034;
inline constexpr std::uint32_t FM_SYSFONTCHANGED = 0xB035;
inline constexpr std::uint32_t FM_CONTROLCHANGE = 0xB036;
inline constexpr std::uint32_t FM_CHANGED = 0xB037;
inline constexpr std::uint32_t FM_BIDIMODECHANGED = 0xB03D;
inline constexpr std::uint32_t FM_ACTIONUPDATE = 0xB03F;
inline constexpr std::uint32_t FM_ACTIONEXECUTE = 0xB040;
inline constexpr std::uint32_t FM_HINTSHOWPAUSE = 0xB041;

// A platform notification reflected to its control: number + FN_BASE.
inline constexpr std::uint32_t FN_BASE = 0xBC00;
inline constexpr std::uint32_t FN_KEYDOWN = FN_BASE + 0x0100;
inline constexpr std::uint32_t FN_CHAR = FN_BASE + 0x0102;
inline constexpr std::uint32_t FN_SYSKEYDOWN = FN_BASE + 0x0104;
inline constexpr std::uint32_t FN_SYSCHAR = FN_BASE + 0x0106;
inline constexpr std::uint32_t FN_COMMAND = FN_BASE + 0x0111;
inline constexpr std::uint32_t FN_NOTIFY = FN_BASE + 0x004E;
inline constexpr std::uint32_t FN_DRAWITEM = FN_BASE + 0x002B;
inline constexpr std::uint32_t FN_MEASUREITEM = FN_BASE + 0x002C;
inline constexpr std::uint32_t FN_CTLCOLORMSGBOX = FN_BASE + 0x0132;
inline constexpr std::uint32_t FN_CTLCOLORSTATIC = FN_BASE + 0x0138;

}  // namespace tw
