// A windowed control's window from birth to death: the parameters it is made
// with, its class's registration, the binding of window and control, and the
// text and children's windows it gives back when it goes. The control keeps
// living without a window and is given a new one when one is needed.
#include <set>
#include <string>
#include <utility>

#include "runtime/Exceptions.h"
#include "runtime/Faults.h"
#include "runtime/ScopeExit.h"
#include "ui/SystemInfo.h"
#include "ui/WinControl.h"
#include "ui/WindowBinding.h"

namespace tw {

namespace {

// The control whose window CreateWindowExA is making: the first message of the
// new window binds the two (that is not always WM_NCCREATE).
thread_local TWinControl* creatingControl = nullptr;

// Every class name this process registered with InitWindowProc.
std::set<std::string>& RegisteredClasses() {
  static std::set<std::string> classes;
  return classes;
}

}  // namespace

// ---- Binding ----

LRESULT CALLBACK TWinControl::InitWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* control = std::exchange(creatingControl, nullptr);
  if (!control) return DefWindowProcA(window, msg, wParam, lParam);
  control->BindWindow(window);
  return StandardWindowProc(window, msg, wParam, lParam);
}

TWinControl* TWinControl::FromHandle(HWND window) {
  if (!window) return nullptr;
  return static_cast<TWinControl*>(WindowObject(window, TWindowKind::Control));
}

void TWinControl::BindWindow(HWND window) {
  handle_ = window;
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandardWindowProc));
  if ((GetWindowLongA(window, GWL_STYLE) & WS_CHILD) && GetWindowLongPtrA(window, GWLP_ID) == 0)
    SetWindowLongPtrA(window, GWLP_ID, reinterpret_cast<LONG_PTR>(window));
  BindWindowObject(window, TWindowKind::Control, this);
}

void TWinControl::UnbindWindow() {
  if (!handle_) return;
  BindWindowObject(handle_, TWindowKind::Control, nullptr);
  handle_ = nullptr;
  showing_ = false;
  // A window going is not the control going (it may be given a new one), but
  // what followed the pointer or the focus to the window must let go of it.
  if (TControlHost* host = ControlHost()) host->WindowDestroyed(*this);
}

LRESULT CALLBACK TWinControl::StandardWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* control = FromHandle(window);
  if (!control) return DefWindowProcA(window, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  GuardWindowCallback(control, [&] { control->RunControlProc(m); });
  return m.result;
}

// ---- Window creation and destruction ----

void TWinControl::SetParentWindow(HWND window) {
  if (parent_ || parentWindow_ == window) return;
  if (handle_ && window) {
    SetParent(nullptr);
    ::SetParent(handle_, window);
  }
  parentWindow_ = window;
  UpdateControlState();
}

void TWinControl::CreateParams(TCreateParams& p) {
  p.caption = TControl::text_;
  p.style = WS_CHILD | WS_CLIPSIBLINGS;
  if (ControlStyle.Contains(csAcceptsChildren)) {
    p.style |= WS_CLIPCHILDREN;
    p.exStyle |= WS_EX_CONTROLPARENT;
  }
  if (!Enabled()) p.style |= WS_DISABLED;
  if (tabStop_) p.style |= WS_TABSTOP;
  p.x = Left();
  p.y = Top();
  p.width = Width();
  p.height = Height();
  p.parent = parent_ ? parent_->Handle() : parentWindow_;
  p.windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  p.windowClass.lpfnWndProc = &DefWindowProcA;
  p.windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  p.windowClass.hbrBackground = nullptr;
  p.windowClass.hInstance = ModuleInstance();
  const std::string_view name = ClassName();
  const std::size_t n = std::min(name.size(), sizeof p.className - 1);
  std::copy_n(name.data(), n, p.className);
  p.className[n] = '\0';
}

void TWinControl::CreateSubClass(TCreateParams& p, const char* platformClass) {
  const HINSTANCE instance = p.windowClass.hInstance;
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, platformClass, &wc) && !GetClassInfoA(nullptr, platformClass, &wc) &&
      !GetClassInfoA(ModuleInstance(), platformClass, &wc))
    GetClassInfoA(instance, platformClass, &wc);
  p.windowClass = wc;
  p.windowClass.hInstance = instance;
  // The control's class is its own: no shared or parent device context, and
  // registered for this module only.
  p.windowClass.style &= ~static_cast<UINT>(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS);
  p.windowClass.style |= CS_VREDRAW | CS_HREDRAW;
}

void TWinControl::CreateWindowHandle(const TCreateParams& p) {
  WNDCLASSA existing{};
  const bool known = GetClassInfoA(p.windowClass.hInstance, p.className, &existing) != 0;
  auto& registered = RegisteredClasses();
  if (!known || !registered.count(p.className)) {
    if (known) UnregisterClassA(p.className, p.windowClass.hInstance);
    WNDCLASSA wc = p.windowClass;
    wc.lpfnWndProc = &InitWindowProc;
    wc.lpszClassName = p.className;
    if (!RegisterClassA(&wc)) RaisePlatformError();
    registered.insert(p.className);
  }
  HWND window = nullptr;
  {
    creatingControl = this;
    const TScopeExit handedOver([] { creatingControl = nullptr; });
    window = CreateWindowExA(p.exStyle, p.className, p.caption.c_str(), p.style, p.x, p.y, p.width, p.height, p.parent,
                             nullptr, p.windowClass.hInstance, p.param);
  }
  if (window && !handle_) BindWindow(window);  // a window that got no message before returning
}

void TWinControl::CreateWnd() {
  TCreateParams p;
  CreateParams(p);
  if ((p.style & WS_CHILD) && !p.parent) {
    auto* owner = dynamic_cast<TWinControl*>(Owner());
    if (owner && owner->Reading())
      p.parent = owner->Handle();
    else
      throw EInvalidOperation(msg::ParentRequired, {Name()});
  }
  defWndProc_ = p.windowClass.lpfnWndProc;
  {
    ControlState.Include(csCreatingWindow);
    const TScopeExit created([this] { ControlState.Exclude(csCreatingWindow); });
    CreateWindowHandle(p);
  }
  if (!handle_) RaisePlatformError();
  TControl::text_.clear();
  // The window may have adjusted the bounds; the fields follow it.
  ReadBoundsFromWindow();
  Deliver(WM_SETFONT, reinterpret_cast<std::uintptr_t>(Font()->Handle()), 1);
  AdjustSize();
  BindWindowObject(handle_, TWindowKind::Control, this);
  if (parent_) {
    // Z-order follows the windowed children's order.
    HWND after = HWND_TOP;
    for (TWinControl* sibling : parent_->windowedChildren_) {
      if (sibling == this) break;
      if (sibling->handle_) after = sibling->handle_;
    }
    SetWindowPos(handle_, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void TWinControl::EnsureWindow() {
  if (handle_) return;
  if (parent_) parent_->EnsureWindow();
  CreateWnd();
}

HWND TWinControl::Handle() {
  EnsureWindow();
  return handle_;
}

std::string TWinControl::TakeStoredText() { return std::exchange(TControl::text_, {}); }

void TWinControl::DestroyWnd() {
  if (HasState(stDestroying)) return;
  // What lives in the window comes back into the control: the text, and the
  // children's own windows first so that each keeps its text too.
  for (TWinControl* child : windowedChildren_) child->DestroyWindowHandle();
  const std::intptr_t n = CallWindowProcA(defWndProc_, handle_, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<std::size_t>(std::max<std::intptr_t>(n, 0)) + 1, '\0');
  const std::intptr_t got =
      CallWindowProcA(defWndProc_, handle_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::clamp<std::intptr_t>(got, 0, n)));
  TControl::text_ = std::move(text);
}

void TWinControl::DestroyWindowHandle() {
  if (!handle_) return;
  DestroyWnd();
  if (!handle_) return;
  HWND window = handle_;
  DestroyWindow(window);
  if (handle_ == window) UnbindWindow();  // WM_NCDESTROY did not reach us
}

void TWinControl::RecreateWindow() {
  if (!handle_) return;
  DestroyWindowHandle();
  UpdateControlState();
}

void TWinControl::WMNCDestroy(TMessage& m) {
  DefaultHandler(m);
  UnbindWindow();
}

void TWinControl::WMGetObject(TMessage& m) {
  if (TControlHost* host = ControlHost(); host && host->AnswerObjectQuery(*this, m)) return;
  DefaultHandler(m);
}

}  // namespace tw
