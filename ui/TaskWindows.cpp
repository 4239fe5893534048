#include "ui/TaskWindows.h"

#include "ui/Guard.h"
#include "ui/WindowBinding.h"

namespace tw {

namespace {

struct TaskWindowSearch {
  HWND except;
  HWND firstNormal = nullptr;
  HWND firstTopmost = nullptr;
};

BOOL CALLBACK FindTopmostProc(HWND window, LPARAM data) {
  return GuardCallback(nullptr, TRUE, [&]() -> BOOL {
    auto& search = *reinterpret_cast<TaskWindowSearch*>(data);
    if (window == search.except || WindowObject(window, TWindowKind::Application) || !IsWindowVisible(window) ||
        !IsWindowEnabled(window))
      return TRUE;
    if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
      if (!search.firstTopmost) search.firstTopmost = window;
      return TRUE;
    }
    search.firstNormal = window;
    return FALSE;
  });
}

struct DisableSearch {
  HWND except;
  TDisabledWindows* list;
};

BOOL CALLBACK DisableProc(HWND window, LPARAM data) {
  return GuardCallback(nullptr, TRUE, [&]() -> BOOL {
    auto& search = *reinterpret_cast<DisableSearch*>(data);
    if (window != search.except && IsWindowVisible(window) && IsWindowEnabled(window)) {
      search.list->push_back(window);
      EnableWindow(window, FALSE);
    }
    return TRUE;
  });
}

}  // namespace

TDisabledWindows DisableTaskWindows(HWND except) {
  TDisabledWindows list;
  DisableSearch search{except, &list};
  EnumThreadWindows(GetCurrentThreadId(), &DisableProc, reinterpret_cast<LPARAM>(&search));
  return list;
}

void EnableTaskWindows(const TDisabledWindows& windows) {
  for (HWND window : windows)
    if (IsWindow(window)) EnableWindow(window, TRUE);
}

HWND FindTopmostTaskWindow(HWND except) {
  TaskWindowSearch search{except};
  EnumThreadWindows(GetCurrentThreadId(), &FindTopmostProc, reinterpret_cast<LPARAM>(&search));
  return search.firstNormal ? search.firstNormal : search.firstTopmost;
}

}  // namespace tw
