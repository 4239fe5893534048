// Facts about the platform read once and used by several parts of the window layer.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tw {

// The program's own module (window classes and resources are registered with it).
inline HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

// The client point a mouse message carries in its lParam (signed coordinates).
inline POINT PointOf(std::intptr_t lParam) {
  return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// The message numbers of the mouse in a client area. The current headers end
// the range at a later message (WM_MOUSELAST grew with newer buttons); the
// framework's range ends at the wheel, as it always has.
inline constexpr UINT kMouseFirst = WM_MOUSEFIRST;
inline constexpr UINT kMouseLast = WM_MOUSEWHEEL;
inline bool IsMouseMessage(UINT msg) { return msg >= kMouseFirst && msg <= kMouseLast; }

// The last keyboard message of the framework's key range. The current
// headers end the range one later (WM_KEYLAST took in WM_UNICHAR), which the
// framework never treated as a key.
inline constexpr UINT kKeyLast = 0x108;

// The low four bits of a system command are the platform's own; the command
// is the rest.
inline constexpr WPARAM kSysCommandMask = 0xFFF0;

// The bit of a key message's data that says Alt is down.
inline constexpr std::intptr_t kKeyDataAltDown = static_cast<std::intptr_t>(KF_ALTDOWN) << 16;

// The lParam of a mouse message at a client point.
inline std::intptr_t LParamOf(POINT p) {
  return static_cast<std::intptr_t>(MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

// A point inside a rectangle (right and bottom edges excluded).
inline bool PointIn(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// The platform's major version (the low byte of GetVersion).
inline int PlatformMajorVersion() {
  static const int major = static_cast<int>(GetVersion() & 0xFF);
  return major;
}

// Sunken client edges, edit margins and the newer frame drawing.
inline bool NewStyleControls() { return PlatformMajorVersion() >= 4; }

// A double-byte system: text may hold two-byte characters (Shift-JIS here).
// The system says so for its own code page; a process whose manifest asks for
// a double-byte code page (932) on a system of another language has
// double-byte text all the same, so that counts too.
inline bool DoubleByteSystem() {
  static const bool dbcs = [] {
    if (GetSystemMetrics(SM_DBCSENABLED) != 0) return true;
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
  }();
  return dbcs;
}

// The NT family of the platform (platform id 2).
inline bool NtPlatform() {
  static const bool nt = (GetVersion() & 0x80000000u) == 0;
  return nt;
}

}  // namespace tw
