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
