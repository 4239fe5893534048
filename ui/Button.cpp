#include "ui/Button.h"

#include <oleacc.h>

#include "runtime/ScopeExit.h"
#include "ui/Accelerators.h"
#include "ui/Forms.h"

namespace tw {

namespace {

bool NoModifiers(std::intptr_t keyData) { return ShiftStateOfKeyData(keyData).Empty(); }

bool IsPushStyle(LONG style) {
  const LONG type = style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

void TButtonControl::Publish(Publisher& p) {
  TW_MESSAGE(WM_LBUTTONDOWN, WMLButtonDown);
  TW_MESSAGE(WM_LBUTTONDBLCLK, WMLButtonDown);
  TW_MESSAGE(FN_COMMAND, FNCommand);
  TW_MESSAGE(FM_DIALOGCHAR, FMDialogChar);
  TW_MESSAGE(FM_DEFAULTACTION, FMDefaultAction);
}

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {}

void TButtonControl::WMLButtonDown(TMessage& m) {
  if (!HasState(stDesigning) && !Focused()) {
    // The press focuses the button first; the platform's click that the focus
    // change might cause is not a click of the user's.
    {
      const TFlagScope noClicks(clicksDisabled_);
      if (HWND window = WindowHandle()) SetFocus(window);
    }
    if (!Focused()) return;
  }
  PassToAncestors(TButtonControl::StaticClassInfo(), m);
}

void TButtonControl::FNCommand(TMessage& m) {
  if (clicksDisabled_) return;
  if (HIWORD(m.wParam) == BN_CLICKED) {
    Click();
    return;
  }
  PassToAncestors(TButtonControl::StaticClassInfo(), m);
}

void TButtonControl::FMDialogChar(TMessage& m) {
  if (IsAccelerator(static_cast<std::uint32_t>(m.wParam), Text()) && CanTakeFocus()) {
    Click();
    m.result = 1;
    return;
  }
  m.result = 0;
}

void TButtonControl::FMDefaultAction(TMessage&) {
  // Pressed for a screen reader only where the user could press it: the
  // button and its window (not disabled behind a modal box) take input.
  HWND window = WindowHandle();
  if (window && IsWindowEnabled(window) && IsWindowEnabled(GetAncestor(window, GA_ROOT))) Click();
}

void TButtonControl::Click() { FireClick(); }

bool TButtonControl::CheckState() const {
  if (HWND window = WindowHandle()) return SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
  return checked_;
}

void TButtonControl::SetCheckState(bool value) {
  checked_ = value;
  if (HWND window = WindowHandle()) SendMessageA(window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TButtonControl::CreateWnd() {
  TWinControl::CreateWnd();
  // A new window starts unchecked; a push button never asks for more.
  if (checked_) SendMessageA(WindowHandle(), BM_SETCHECK, BST_CHECKED, 0);
}

void TButtonControl::DestroyWnd() {
  // The state lives in the window while it exists; a push button's has none.
  if (HWND window = WindowHandle(); window && !IsPushStyle(GetWindowLongA(window, GWL_STYLE)))
    checked_ = SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
  TWinControl::DestroyWnd();
}

void TButton::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  TW_PROPERTY(ModalResult, &Self::ModalResult, &Self::SetModalResult);
  TW_PROPERTY(Default, &Self::Default, &Self::SetDefault);
  TW_PROPERTY(Cancel, &Self::Cancel, &Self::SetCancel);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::OnClick);
  PublishMouseEvents(p, false);
  TW_MESSAGE(FM_DIALOGKEY, FMDialogKey);
  TW_MESSAGE(FM_FOCUSCHANGED, FMFocusChanged);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  ControlStyle = {csSetsCaption, csOpaque, csDoubleClicks};
  PlaceControl(Left(), Top(), 75, 25);
  SetTabStop(true);
}

void TButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::CreateWnd() {
  TButtonControl::CreateWnd();
  active_ = default_;
}

void TButton::SetDefault(bool value) {
  default_ = value;
  if (!HandleAllocated()) return;
  // The form re-evaluates every button's look for its current focus.
  if (TCustomForm* form = tw::ParentForm(this))
    form->Deliver(FM_FOCUSCHANGED, 0, reinterpret_cast<std::intptr_t>(form->ActiveControl()));
}

void TButton::Click() {
  if (TCustomForm* form = tw::ParentForm(this)) form->SetModalResult(modalResult_);
  FireClick();
}

void TButton::SetButtonStyle(bool isDefault) {
  HWND window = WindowHandle();
  if (!window) return;
  const LONG wanted = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if ((GetWindowLongA(window, GWL_STYLE) & 0xF) != wanted) SendMessageA(window, BM_SETSTYLE, wanted, 1);
}

void TButton::FMDialogKey(TMessage& m) {
  const bool wanted = (m.wParam == VK_RETURN && active_) || (m.wParam == VK_ESCAPE && cancel_);
  if (wanted && NoModifiers(m.lParam) && CanTakeFocus()) {
    Click();
    m.result = 1;
    return;
  }
  PassToAncestors(TButton::StaticClassInfo(), m);
}

void TButton::FMFocusChanged(TMessage& m) {
  auto* focused = reinterpret_cast<TControl*>(m.lParam);
  if (focused && IsInstanceOf(focused, TButton::StaticClassInfo()))
    active_ = focused == this;
  else
    active_ = default_;
  SetButtonStyle(active_);
}

void TButton::WMEraseBkgnd(TMessage& m) { DefaultHandler(m); }

TAccessibleTraits TButton::AccessibleTraits() const {
  return {.role = ROLE_SYSTEM_PUSHBUTTON, .defaultAction = msg::ActionPress.value};
}

}  // namespace tw
