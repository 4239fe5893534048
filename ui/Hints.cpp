#include "ui/Hints.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "ui/Screen.h"
#include "ui/SystemInfo.h"

namespace tw {

const TClassInfo* HintWindowKind = &THintWindow::StaticClassInfo();

namespace {

// A hint window's own colour until the application gives it the hint colour.
constexpr TColor kHintYellow = 0x0080FFFF;

}  // namespace

void THintWindow::Publish(Publisher& p) {
  TW_MESSAGE(WM_NCHITTEST, WMNCHitTest);
  TW_MESSAGE(WM_NCPAINT, WMNCPaint);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChanged);
}

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
  SetColor(kHintYellow);
  if (TScreen* screen = Screen(); screen && screen->HintFont()) Canvas()->SetFont(screen->HintFont());
  Canvas()->Brush()->SetStyle(bsClear);
}

THintWindow::~THintWindow() = default;

void THintWindow::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.style = WS_POPUP | WS_BORDER;
  params.windowClass.style |= CS_SAVEBITS;
  if (NewStyleControls()) params.exStyle = WS_EX_TOOLWINDOW;
}

RECT THintWindow::MeasureHint(std::int32_t widthLimit, std::string_view text, void*) {
  RECT r{0, 0, widthLimit, 0};
  DrawTextA(Canvas()->Handle(), text.data(), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  r.right += 6;
  r.bottom += 2;
  return r;
}

void THintWindow::ShowAtWithData(RECT rect, std::string_view text, void*) { ShowAt(rect, text); }

void THintWindow::ShowAt(RECT rect, std::string_view text) {
  const TFlagScope activating(activating_);
  SetText(text);
  rect.bottom += 4;
  PlaceControl(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  // Kept on the virtual desktop, its origin included (it need not be 0, 0).
  const int deskLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int deskTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int deskRight = deskLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int deskBottom = deskTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  int left = rect.left;
  int top = rect.top;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (top + height > deskBottom) top = deskBottom - height;
  if (left + width > deskRight) left = deskRight - width;
  if (left < deskLeft) left = deskLeft;
  if (top < deskTop) top = deskTop;
  SetWindowPos(Handle(), HWND_TOPMOST, left, top, width, height, SWP_SHOWWINDOW | SWP_NOACTIVATE);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void THintWindow::FMTextChanged(TMessage& m) {
  PassToAncestors(THintWindow::StaticClassInfo(), m);
  if (activating_) return;
  const std::string text = Text();
  const SIZE size = Canvas()->TextExtent(text);
  SetWidth(size.cx + 6);
  SetHeight(size.cy + 4);
}

void THintWindow::WMNCHitTest(TMessage& m) { m.result = HTTRANSPARENT; }

void THintWindow::WMNCPaint(TMessage& m) {
  HWND window = WindowHandle();
  if (!window) return;
  HDC dc = GetWindowDC(window);
  if (!dc) return;
  RECT r{0, 0, Width(), Height()};
  DrawEdge(dc, &r, BDR_RAISEDOUTER, BF_RECT);
  ReleaseDC(window, dc);
  m.result = 0;
}

void THintWindow::WMEraseBkgnd(TMessage& m) {
  // Paint fills the whole client area itself.
  m.result = 1;
}

void THintWindow::Paint() {
  TCanvas* canvas = Canvas();
  RECT r = ClientRect();
  canvas->Brush()->SetColor(Color());
  canvas->FillRect(r);
  canvas->Brush()->SetStyle(bsClear);
  r.left += 2;
  r.top += 2;
  canvas->Font()->SetColor(clInfoText);
  const std::string text = Text();
  HDC dc = canvas->Handle();
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_WORDBREAK | DT_NOPREFIX);
}

bool IsHintEndingMessage(const MSG& message) {
  const UINT m = message.message;
  return (m >= WM_KEYFIRST && m <= kKeyLast) || m == FM_ACTIVATE || m == FM_DEACTIVATE || m == FM_APPKEYDOWN ||
         m == FM_APPSYSCOMMAND || m == WM_COMMAND || (m > WM_MOUSEMOVE && m <= kMouseLast) || m == WM_NCMOUSEMOVE;
}

TControl* FindHintSubject(TControl* control) {
  for (TControl* c = control; c; c = c->Parent())
    if (c->ShowHint()) return c;
  return nullptr;
}

std::string FindHintText(TControl* control) {
  for (TControl* c = control; c; c = c->Parent())
    if (!c->Hint().empty()) return c->Hint();
  return {};
}

namespace {
// The first "|" that is a character of its own: in code page 932 the second
// byte of a double-byte character may have the same value.
std::size_t FindBar(std::string_view hint) {
  for (std::size_t i = 0; i < hint.size(); ++i) {
    const auto byte = static_cast<unsigned char>(hint[i]);
    if (byte == '|') return i;
    if (IsDBCSLeadByte(byte) && i + 1 < hint.size()) ++i;
  }
  return std::string_view::npos;
}
}  // namespace

std::string ShortHintPart(std::string_view hint) {
  const std::size_t bar = FindBar(hint);
  return std::string(bar == std::string_view::npos ? hint : hint.substr(0, bar));
}

std::string LongHintPart(std::string_view hint) {
  const std::size_t bar = FindBar(hint);
  return std::string(bar == std::string_view::npos ? hint : hint.substr(bar + 1));
}

// ---- The hint machine ---------------------------------------------------------------

namespace {

// The number of pixel rows of the current cursor's visible shape below its hot
// spot; the system cursor height when the shape cannot be read.
int CursorHeightMargin() {
  const int fallback = GetSystemMetrics(SM_CYCURSOR);
  HCURSOR cursor = GetCursor();
  ICONINFO info{};
  if (!cursor || !GetIconInfo(cursor, &info)) return fallback;
  int result = fallback;
  BITMAP bm{};
  if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bm, &bm) && bm.bmWidth > 0 && bm.bmHeight > 0) {
    const int width = bm.bmWidth;
    const int height = bm.bmHeight;
    const int stride = ((width + 31) / 32) * 4;
    std::vector<unsigned char> bits(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[2];
    } bmi{};
    bmi.header.biSize = sizeof bmi.header;
    bmi.header.biWidth = width;
    bmi.header.biHeight = -height;  // top-down rows
    bmi.header.biPlanes = 1;
    bmi.header.biBitCount = 1;
    bmi.header.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    const int got = GetDIBits(dc, info.hbmMask, 0, static_cast<UINT>(height), bits.data(),
                              reinterpret_cast<BITMAPINFO*>(&bmi), DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (got == height) {
      const bool withXor = !info.hbmColor && height == 2 * width;
      const int maskRows = withXor ? height / 2 : height;
      const int rowBytes = (width + 7) / 8;
      auto rowAt = [&](int y) { return bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride); };
      int lowest = -1;
      for (int y = maskRows - 1; y >= 0 && lowest < 0; --y)
        for (int x = 0; x < rowBytes; ++x)
          if (rowAt(y)[x] != 0xFF) {
            lowest = y;
            break;
          }
      if (lowest < 0 && withXor) {
        for (int y = height - 1; y >= maskRows && lowest < 0; --y)
          for (int x = 0; x < rowBytes; ++x)
            if (rowAt(y)[x] != 0) {
              lowest = y - maskRows;
              break;
            }
      }
      if (lowest >= 0) result = lowest + 1 - static_cast<int>(info.yHotspot);
    }
  }
  // GetIconInfo hands over two bitmaps of its own; they are ours to delete.
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return result;
}

}  // namespace

POINT THintReads::Cursor() {
  POINT cursor{};
  GetCursorPos(&cursor);
  return cursor;
}

bool THintReads::ProgramInFront() {
  HWND active = GetActiveWindow();
  return active && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId();
}

TControl* THintReads::ControlAt(POINT screenPoint) { return ControlAtScreenPoint(screenPoint); }

namespace {

THintReads platformReads;

}  // namespace

std::vector<THintMachine*>& THintMachine::Machines() {
  static std::vector<THintMachine*> machines;
  return machines;
}

void CALLBACK THintMachine::TimerProc(HWND, UINT, UINT_PTR timer, DWORD) {
  // The step may make or free machines: the search ends with the one found.
  for (THintMachine* machine : Machines()) {
    if (machine->timer_ != timer) continue;
    GuardWindowCallback(&machine->Owner(), [machine] { machine->TimerFired(); });
    return;
  }
}

THintMachine::THintMachine(THintOwner& owner) : owner_(owner), reads_(&platformReads) { Machines().push_back(this); }

void THintMachine::SetReads(THintReads* reads) { reads_ = reads ? reads : &platformReads; }

THintMachine::~THintMachine() {
  Drop();
  StopWatch();
  DisarmTimer();
  if (watcherEvent_) CloseHandle(watcherEvent_);
  std::erase(Machines(), this);
}

void THintMachine::SetEnabled(bool value) {
  if (!ChangeField(enabled_, value)) return;
  if (value) {
    const TClassInfo* kind = HintWindowKind ? HintWindowKind : &THintWindow::StaticClassInfo();
    window_ = static_cast<THintWindow*>(kind->construct(&Owner()));
    window_->SetColor(settings_.backColor);
  } else {
    Drop();
    if (THintWindow* window = std::exchange(window_, nullptr)) delete window;
  }
}

void THintMachine::MouseMoved(TControl& control, const TMessage& move) {
  const POINT screenPoint = control.ClientToScreen(PointOf(move.lParam));
  TControl* subject = FindHintSubject(reads_->ControlAt(screenPoint));
  if (!subject || !subject->ShowHint()) {
    Drop();
    return;
  }
  if (subject == subject_ && PtInRect(&cursorArea_, screenPoint)) return;
  const bool recentlyShown = recentlyShown_;
  std::int32_t delay = recentlyShown ? settings_.nextDelay : settings_.delay;
  subject->Deliver(FM_HINTSHOWPAUSE, recentlyShown, reinterpret_cast<std::intptr_t>(&delay));
  if (recentlyShown && delay == 0) {
    subject_ = subject;
    Present(reads_->Cursor());
    return;
  }
  Drop();
  recentlyShown_ = recentlyShown;
  subject_ = subject;
  ArmTimer(delay, tmShow);
}

void THintMachine::ArmTimer(std::int32_t milliseconds, TTimerMode mode) {
  DisarmTimer();
  timer_ = SetTimer(nullptr, 0, static_cast<UINT>(std::max(milliseconds, 0)), &TimerProc);
  timerDelay_ = milliseconds;
  timerMode_ = mode;
  if (!timer_) Drop();
}

void THintMachine::DisarmTimer() {
  if (!timer_) return;
  KillTimer(nullptr, timer_);
  timer_ = 0;
  timerDelay_ = 0;
}

void THintMachine::TimerFired() {
  DisarmTimer();
  if (timerMode_ == tmShow) {
    Present(reads_->Cursor());
  } else {
    HideWindow();
  }
}

namespace {

// The subject's bounds in its own client coordinates.
RECT SubjectArea(TControl& subject) {
  const RECT bounds = subject.BoundsRect();
  POINT topLeft{bounds.left, bounds.top};
  if (TWinControl* parent = subject.Parent()) {
    topLeft = parent->ClientToScreen(topLeft);
  } else if (auto* windowed = dynamic_cast<TWinControl*>(&subject); windowed && windowed->WindowHandle()) {
    RECT w{};
    GetWindowRect(windowed->WindowHandle(), &w);
    topLeft = {w.left, w.top};
  }
  topLeft = subject.ScreenToClient(topLeft);
  return {topLeft.x, topLeft.y, topLeft.x + subject.Width(), topLeft.y + subject.Height()};
}

}  // namespace

void THintMachine::Present(POINT cursor) {
  recentlyShown_ = false;
  if (!enabled_ || !subject_ || !reads_->ProgramInFront() || FindHintSubject(reads_->ControlAt(cursor)) != subject_) {
    Drop();
    return;
  }
  TControl* subject = subject_;
  THintInfo info;
  info.Subject = subject;
  info.AnchorPoint = {cursor.x, cursor.y + CursorHeightMargin()};
  info.WidthLimit = GetSystemMetrics(SM_CXSCREEN);
  info.BackColor = settings_.backColor;
  info.SubjectArea = SubjectArea(*subject);
  info.CursorPoint = subject->ScreenToClient(cursor);
  info.HintText = ShortHintPart(FindHintText(subject));
  info.HideAfter = settings_.hideDelay;
  info.WindowKind = HintWindowKind;
  bool mayShow = subject->Deliver(FM_HINTSHOW, 0, reinterpret_cast<std::intptr_t>(&info)) == 0;
  if (mayShow) owner_.HintShowing(info.HintText, mayShow, info);
  recentlyShown_ = mayShow && info.Subject != nullptr;
  if (recentlyShown_ && !info.HintText.empty() && window_) {
    ShowWindowFor(*subject, info);
    ArmTimer(info.ReshowAfter > 0 ? info.ReshowAfter : info.HideAfter, info.ReshowAfter > 0 ? tmShow : tmHide);
  } else if (info.ReshowAfter > 0) {
    ArmTimer(info.ReshowAfter, tmShow);
  } else {
    Drop();
  }
}

void THintMachine::ShowWindowFor(TControl& subject, const THintInfo& info) {
  const TClassInfo* kind = info.WindowKind ? info.WindowKind : &THintWindow::StaticClassInfo();
  if (&window_->ClassType() != kind && kind->construct) {
    delete std::exchange(window_, nullptr);
    window_ = static_cast<THintWindow*>(kind->construct(&Owner()));
  }
  RECT r = window_->MeasureHint(info.WidthLimit, info.HintText, info.ExtraData);
  OffsetRect(&r, info.AnchorPoint.x, info.AnchorPoint.y);
  const POINT areaTopLeft = subject.ClientToScreen({info.SubjectArea.left, info.SubjectArea.top});
  cursorArea_ = {areaTopLeft.x, areaTopLeft.y, areaTopLeft.x + (info.SubjectArea.right - info.SubjectArea.left),
                 areaTopLeft.y + (info.SubjectArea.bottom - info.SubjectArea.top)};
  window_->SetColor(info.BackColor);
  window_->ShowAtWithData(r, info.HintText, info.ExtraData);
  StartWatch();
}

void THintMachine::HideWindow() {
  if (window_ && window_->WindowHandle() && IsWindowVisible(window_->WindowHandle()))
    ShowWindow(window_->WindowHandle(), SW_HIDE);
}

void THintMachine::Drop() {
  if (!subject_) return;
  HideWindow();
  subject_ = nullptr;
  recentlyShown_ = false;
  StopWatch();
  DisarmTimer();
}

LRESULT CALLBACK THintMachine::EndingMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
  if (code == HC_ACTION && lParam && IsHintEndingMessage(*reinterpret_cast<const MSG*>(lParam))) {
    // Dropping a hint may make or free machines: each is looked for again.
    const std::vector<THintMachine*> watching = Machines();
    for (THintMachine* machine : watching)
      if (std::ranges::count(Machines(), machine) && machine->watchHook_ && machine->window_)
        GuardWindowCallback(&machine->Owner(), [machine] { machine->Drop(); });
  }
  return result;
}

void THintMachine::StartWatch() {
  watchTarget_ = owner_.HintWatchWindow();
  if (!watchTarget_) return;
  watcherSubject_ = true;
  if (!watchHook_) watchHook_ = SetWindowsHookExA(WH_GETMESSAGE, &EndingMessageHook, nullptr, GetCurrentThreadId());
  if (!watcherThread_) {
    if (!watcherEvent_) watcherEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (watcherEvent_) {
      dropRequested_ = false;
      watcherThread_ = CreateThread(nullptr, 1000, &WatcherThread, this, 0, &watcherThreadId_);
    }
  }
}

void THintMachine::StopWatch() {
  watcherSubject_ = false;
  if (watchHook_) {
    UnhookWindowsHookEx(watchHook_);
    watchHook_ = nullptr;
  }
  if (watcherThread_) {
    SetEvent(watcherEvent_);
    if (watcherThreadId_ != GetCurrentThreadId()) WaitForSingleObject(watcherThread_, INFINITE);
    CloseHandle(watcherThread_);
    watcherThread_ = nullptr;
  }
}

// The watcher only looks and asks: the hint's state and window belong to the
// user-interface thread, which checks again and drops the hint itself.
DWORD WINAPI THintMachine::WatcherThread(void* parameter) {
  auto* machine = static_cast<THintMachine*>(parameter);
  const HWND target = machine->watchTarget_;
  const DWORD uiThread = GetWindowThreadProcessId(target, nullptr);
  while (WaitForSingleObject(machine->watcherEvent_, 100) == WAIT_TIMEOUT) {
    if (!machine->watcherSubject_) continue;
    POINT cursor{};
    if (!GetCursorPos(&cursor)) continue;
    HWND under = WindowFromPoint(cursor);
    if (under && GetWindowThreadProcessId(under, nullptr) == uiThread) continue;
    if (!machine->dropRequested_.exchange(true)) PostMessageA(target, kDropHintRequest, 0, 0);
  }
  return 0;
}

void THintMachine::PointerRestsOn(TControl* control) {
  if (enabled_ && !control) Drop();
  std::string hint = LongHintPart(FindHintText(control));
  if (hint != currentHint_) {
    currentHint_ = std::move(hint);
    owner_.HintTextChanged();
  }
}

void THintMachine::TakeDropRequest() {
  dropRequested_ = false;
  if (!subject_) return;
  if (!reads_->ControlAt(reads_->Cursor())) Drop();
}

void THintMachine::ForgetControl(const TControl* control) {
  if (subject_ == control) Drop();
  if (window_ == control) window_ = nullptr;
}

void THintMachine::ForgetWindowOf(const TWinControl* control) {
  if (subject_ && subject_->IsWithin(control)) Drop();
}

}  // namespace tw
