// The task's windows: the visible, enabled top-level windows of the
// user-interface thread, switched off while a modal box or form is up.
#pragma once

#include <windows.h>

#include <vector>

namespace tw {

// The list of windows a disabling switched off, for the matching enabling.
using TDisabledWindows = std::vector<HWND>;
// Disables the visible, enabled top-level windows of this thread except one.
TDisabledWindows DisableTaskWindows(HWND except);
// Re-enables the recorded windows that still exist.
void EnableTaskWindows(const TDisabledWindows& windows);
// The first visible, enabled top-level window of this thread (other than the
// excepted one and the application window) that is not topmost, else the first
// topmost one, else none.
HWND FindTopmostTaskWindow(HWND except);

}  // namespace tw
