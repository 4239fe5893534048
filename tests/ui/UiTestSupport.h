// What the window tests share: the framework started once for the whole test
// executable, bounded message pumping and waiting, a plain host window for
// controls that have no form, and reading a message box that a test provoked.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

namespace tw::test {

// Takes and routes queued messages (the application's own step, so key
// preprocessing and the hint checks run) until the queue is empty or the
// limit is reached; the number handled.
int PumpMessages(int limit = 2000);
// Posts a key press to the focused window and lets the application take it.
void PressKey(UINT key);
// Pumps until the condition holds or the time is up; whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds);
// Pumps for the given time (for waits whose end is a non-event).
void PumpFor(DWORD milliseconds);

// A visible, active top-level window of plain class for controls to live in
// (through SetParentWindow); destroyed with the object.
class THostWindow {
 public:
  THostWindow(int x, int y, int width, int height);
  ~THostWindow();
  THostWindow(const THostWindow&) = delete;
  THostWindow& operator=(const THostWindow&) = delete;
  HWND Handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// A message box of this thread caught while it is shown: its text and
// caption (in the process's code page, and wide, as the box shows them) and
// whether it shows an icon, closed with OK as soon as it was read.
struct TCaughtBox {
  std::string text;
  std::string caption;
  std::wstring wideText;
  std::wstring wideCaption;
  bool icon = false;
};
class TMessageBoxCatcher {
 public:
  TMessageBoxCatcher();
  ~TMessageBoxCatcher();
  TMessageBoxCatcher(const TMessageBoxCatcher&) = delete;
  TMessageBoxCatcher& operator=(const TMessageBoxCatcher&) = delete;
  const std::vector<TCaughtBox>& Boxes() const { return boxes_; }

 private:
  friend LRESULT CALLBACK CatcherHook(int, WPARAM, LPARAM);
  HHOOK hook_ = nullptr;
  std::vector<TCaughtBox> boxes_;
};

// Parks the pointer where no test window is.
void ParkPointer();

}  // namespace tw::test
