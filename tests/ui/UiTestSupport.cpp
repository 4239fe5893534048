#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include "ui/Application.h"

namespace tw::test {

namespace {

// The framework lives for the whole test executable, as in the program.
class FrameworkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { InitializeFramework(); }
  void TearDown() override { FinalizeFramework(); }
};

[[maybe_unused]] ::testing::Environment* const frameworkEnvironment =
    ::testing::AddGlobalTestEnvironment(new FrameworkEnvironment);

TMessageBoxCatcher* activeCatcher = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

int PumpMessages(int limit) {
  int count = 0;
  MSG msg{};
  while (count < limit && Application()->TakeOneMessage(msg)) ++count;
  return count;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpMessages();
    if (condition()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, milliseconds - elapsed), QS_ALLINPUT);
  }
}

void PumpFor(DWORD milliseconds) {
  WaitUntil([] { return false; }, milliseconds);
}

THostWindow::THostWindow(int x, int y, int width, int height) {
  WNDCLASSA wc{};
  if (!GetClassInfoA(GetModuleHandleA(nullptr), "TwTestHost", &wc)) {
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "TwTestHost";
    RegisterClassA(&wc);
  }
  window_ = CreateWindowExA(0, "TwTestHost", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, width, height,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
  PumpMessages();
}

THostWindow::~THostWindow() {
  DestroyWindow(window_);
  PumpMessages();
}

BOOL CALLBACK FindIcon(HWND child, LPARAM found) {
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  char className[16] = {};
  GetClassNameA(child, className, sizeof className);
  if (std::string(className) != "Static") return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

LRESULT CALLBACK CatcherHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && activeCatcher) {
    HWND window = reinterpret_cast<HWND>(wParam);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770") {
      char text[1024] = {};
      char caption[256] = {};
      GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
      GetWindowTextA(window, caption, sizeof caption);
      wchar_t wideText[1024] = {};
      wchar_t wideCaption[256] = {};
      GetDlgItemTextW(window, 0xFFFF, wideText, static_cast<int>(std::size(wideText)));
      GetWindowTextW(window, wideCaption, static_cast<int>(std::size(wideCaption)));
      bool icon = false;
      EnumChildWindows(window, FindIcon, reinterpret_cast<LPARAM>(&icon));
      activeCatcher->boxes_.push_back({text, caption, wideText, wideCaption, icon});
      // Posted: the box's own loop takes it once it runs.
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TMessageBoxCatcher::TMessageBoxCatcher() {
  activeCatcher = this;
  hook_ = SetWindowsHookExA(WH_CBT, &CatcherHook, nullptr, GetCurrentThreadId());
}

TMessageBoxCatcher::~TMessageBoxCatcher() {
  UnhookWindowsHookEx(hook_);
  if (activeCatcher == this) activeCatcher = nullptr;
}

void ParkPointer() {
  const POINT park{GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2};
  SetCursorPos(park.x, park.y);
  // Under Wine the display tells of a move late, and a move made before that
  // report is handled can be undone by it (the pointer jumps back here): let
  // the parking settle before anyone moves the pointer again.
  WaitUntil(
      [&] {
        POINT now{};
        GetCursorPos(&now);
        return now.x == park.x && now.y == park.y;
      },
      1000);
  PumpFor(150);
}

// Posts a key press to the focused window and lets the application take it.
void PressKey(UINT key) {
  HWND focus = GetFocus();
  const LPARAM data = 1 | static_cast<LPARAM>(MapVirtualKeyA(key, 0) << 16);
  PostMessageA(focus, WM_KEYDOWN, key, data);
  PostMessageA(focus, WM_KEYUP, key, data | static_cast<LPARAM>(0xC0000000u));
  PumpMessages();
}

}  // namespace tw::test
