#include "ui/Hints.h"

#include "runtime/ScopeExit.h"

#include <algorithm>

#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/SystemInfo.h"

namespace tw {

const TClassInfo* HintWindowKind = &THintWindow::StaticClassInfo();

void THintWindow::Publish(Publisher& p) {
  TW_MESSAGE(WM_NCHITTEST, WMNCHitTest);
  TW_MESSAGE(WM_NCPAINT, WMNCPaint);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChanged);
}

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
  SetColor(0x0080FFFF);
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
  TControl::FMTextChanged(m);
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
  return (m >= WM_KEYFIRST && m <= 0x108) || m == FM_ACTIVATE || m == FM_DEACTIVATE || m == FM_APPKEYDOWN ||
         m == FM_APPSYSCOMMAND || m == WM_COMMAND || (m > WM_MOUSEMOVE && m <= 0x20A) || m == WM_NCMOUSEMOVE;
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

}  // namespace tw
