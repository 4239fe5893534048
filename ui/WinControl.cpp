#include "ui/WinControl.h"

#include <algorithm>
#include <vector>

#include "core/Reader.h"
#include "runtime/Exceptions.h"
#include "runtime/ScopeExit.h"
#include "ui/SystemInfo.h"

namespace tw {

// ---- TWinControl ----------------------------------------------------------------------

void TWinControl::Publish(Publisher& p) {
  TW_PROPERTY(TabOrder, &Self::TabOrder, &Self::SetTabOrder);
  TW_PROPERTY(TabStop, &Self::TabStop, &Self::SetTabStop);
  TW_PROPERTY(Ctl3D, &Self::Ctl3D, &Self::SetCtl3D);
  TW_PROPERTY(ParentCtl3D, &Self::ParentCtl3D, &Self::SetParentCtl3D);
  TW_PROPERTY(OnEnter, &Self::OnEnter, &Self::OnEnter);
  TW_PROPERTY(OnExit, &Self::OnExit, &Self::OnExit);
  TW_PROPERTY(OnKeyDown, &Self::OnKeyDown, &Self::OnKeyDown);
  TW_PROPERTY(OnKeyPress, &Self::OnKeyPress, &Self::OnKeyPress);
  TW_PROPERTY(OnKeyUp, &Self::OnKeyUp, &Self::OnKeyUp);
  TW_MESSAGE(WM_PAINT, WMPaint);
  TW_MESSAGE(WM_COMMAND, WMCommand);
  TW_MESSAGE(WM_NOTIFY, WMNotify);
  TW_MESSAGE(WM_DRAWITEM, WMOwnerItem);
  TW_MESSAGE(WM_MEASUREITEM, WMOwnerItem);
  TW_MESSAGE(WM_SETFOCUS, WMSetFocus);
  TW_MESSAGE(WM_KILLFOCUS, WMKillFocus);
  TW_MESSAGE(WM_CANCELMODE, WMCancelMode);
  TW_MESSAGE(WM_NCHITTEST, WMNCHitTest);
  TW_MESSAGE(WM_NCDESTROY, WMNCDestroy);
  TW_MESSAGE(WM_GETOBJECT, WMGetObject);
  TW_MESSAGE(WM_WINDOWPOSCHANGED, WMWindowPosChanged);
  TW_MESSAGE(WM_SIZE, WMSize);
  TW_MESSAGE(WM_SYSCOLORCHANGE, WMSysColorChange);
  TW_MESSAGE(WM_CONTEXTMENU, WMContextMenu);
  TW_MESSAGE(WM_KEYDOWN, WMKeyDown);
  TW_MESSAGE(WM_SYSKEYDOWN, WMKeyDown);
  TW_MESSAGE(WM_KEYUP, WMKeyUp);
  TW_MESSAGE(WM_SYSKEYUP, WMKeyUp);
  TW_MESSAGE(WM_CHAR, WMChar);
  TW_MESSAGE(FM_SHOWINGCHANGED, FMShowingChanged);
  TW_MESSAGE(FM_ENABLEDCHANGED, FMEnabledChanged);
  TW_MESSAGE(FM_FONTCHANGED, FMFontChanged);
  TW_MESSAGE(FM_COLORCHANGED, FMColorChanged);
  TW_MESSAGE(FM_SHOWHINTCHANGED, FMShowHintChanged);
  TW_MESSAGE(FM_VISIBLECHANGED, FMVisibleChanged);
  TW_MESSAGE(FN_KEYDOWN, FNKeyDown);
  TW_MESSAGE(FN_SYSKEYDOWN, FNKeyDown);
  TW_MESSAGE(FN_CHAR, FNChar);
  TW_MESSAGE(FN_SYSCHAR, FNChar);
  TW_MESSAGE(FM_DIALOGKEY, FMDialogKey);
  TW_MESSAGE(FM_DIALOGCHAR, FMDialogKey);
  TW_MESSAGE(FM_CHILDKEY, FMChildKey);
  TW_MESSAGE(FM_FOCUSCHANGED, FMFocusChanged);
  TW_MESSAGE(FM_ENTER, FMEnter);
  TW_MESSAGE(FM_EXIT, FMExit);
  TW_MESSAGE(FM_RECREATEWND, FMRecreateWnd);
  TW_MESSAGE(FM_CHANGED, FMChanged);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner), brush_(std::make_unique<TBrush>()) {
  brush_->SetColor(Color());
}

TWinControl::~TWinControl() {
  // A plain delete skipped BeforeFree: the window must not reach this object
  // again, and the children must not point here.
  if (handle_) {
    HWND window = handle_;
    UnbindWindow();
    DestroyWindow(window);
  }
  for (TControl* child : graphicChildren_) child->parent_ = nullptr;
  for (TWinControl* child : windowedChildren_) child->parent_ = nullptr;
}

void TWinControl::BeforeFree() {
  MarkDestroying();
  if (parent_)
    if (TWinControl* form = ParentFormControl(this)) form->DefocusControl(this, true);
  DestroyWindowHandle();
  // The children stay with their owner, which frees them; they only lose
  // their parent here.
  while (!graphicChildren_.empty() || !windowedChildren_.empty()) {
    TControl* child =
        !windowedChildren_.empty() ? static_cast<TControl*>(windowedChildren_.back()) : graphicChildren_.back();
    RemoveChild(*child);
  }
  TControl::BeforeFree();
}

TControl* TWinControl::ControlAt(int index) const {
  const int graphics = static_cast<int>(graphicChildren_.size());
  if (index < 0 || index >= ControlCount()) throw EListError(msg::ListIndexError, {index});
  return index < graphics ? graphicChildren_[static_cast<std::size_t>(index)]
                          : windowedChildren_[static_cast<std::size_t>(index - graphics)];
}

void TWinControl::InsertChild(TControl& child) {
  if (auto* windowed = dynamic_cast<TWinControl*>(&child)) {
    windowedChildren_.push_back(windowed);
    tabList_.push_back(windowed);
  } else {
    graphicChildren_.push_back(&child);
  }
  child.parent_ = this;
}

void TWinControl::RemoveChild(TControl& child) {
  if (auto* windowed = dynamic_cast<TWinControl*>(&child)) {
    std::erase(windowedChildren_, windowed);
    std::erase(tabList_, windowed);
  } else {
    std::erase(graphicChildren_, &child);
  }
  child.parent_ = nullptr;
}

void TWinControl::AdoptChild(TControl& child) {
  Deliver(FM_CONTROLLISTCHANGE, reinterpret_cast<std::uintptr_t>(&child), 1);
  InsertChild(child);
  if (!child.Reading()) {
    child.SendParentNotices();
    if (auto* windowed = dynamic_cast<TWinControl*>(&child)) {
      windowed->Deliver(FM_PARENTCTL3DCHANGED);
      windowed->UpdateControlState();
    } else {
      child.Invalidate();
    }
  }
  Deliver(FM_CONTROLCHANGE, reinterpret_cast<std::uintptr_t>(&child), 1);
}

void TWinControl::ReleaseChild(TControl& child) {
  Deliver(FM_CONTROLCHANGE, reinterpret_cast<std::uintptr_t>(&child), 0);
  if (auto* windowed = dynamic_cast<TWinControl*>(&child)) {
    if (TWinControl* form = ParentFormControl(this)) form->DefocusControl(windowed, true);
    windowed->DestroyWindowHandle();
  } else {
    child.Invalidate();
  }
  RemoveChild(child);
  Deliver(FM_CONTROLLISTCHANGE, reinterpret_cast<std::uintptr_t>(&child), 0);
}

void TWinControl::PlaceChildAt(TComponent& child, int position) {
  auto* control = dynamic_cast<TControl*>(&child);
  if (!control || control->Parent() != this) return;
  auto move = [position](auto& list, auto* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return;
    list.erase(it);
    const auto index = std::clamp<std::ptrdiff_t>(position, 0, static_cast<std::ptrdiff_t>(list.size()));
    list.insert(list.begin() + index, item);
  };
  if (auto* windowed = dynamic_cast<TWinControl*>(control))
    move(windowedChildren_, windowed);
  else
    move(graphicChildren_, control);
}

TControl* TWinControl::ControlAtPoint(POINT p, bool allowDisabled, bool allowWindowed) {
  auto matches = [&](TControl* c) {
    if (!c->Visible() || (!c->Enabled() && !allowDisabled) || !PointIn(c->BoundsRect(), p)) return false;
    const POINT local{p.x - c->Left(), p.y - c->Top()};
    return c->Deliver(FM_HITTEST, 0, LParamOf(local)) != 0;
  };
  if (allowWindowed) {
    for (auto it = windowedChildren_.rbegin(); it != windowedChildren_.rend(); ++it) {
      if (!matches(*it)) continue;
      const POINT local{p.x - (*it)->Left(), p.y - (*it)->Top()};
      TControl* deeper = (*it)->ControlAtPoint(local, allowDisabled, true);
      return deeper ? deeper : *it;
    }
  }
  for (auto it = graphicChildren_.rbegin(); it != graphicChildren_.rend(); ++it)
    if (matches(*it)) return *it;
  return nullptr;
}

void TWinControl::BroadcastToChildren(TMessage& message) {
  for (int i = 0; i < ControlCount(); ++i) {
    ControlAt(i)->RunControlProc(message);
    if (message.result != 0) return;
  }
}

void TWinControl::NotifyChildren(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  for (int i = 0; i < ControlCount(); ++i) ControlAt(i)->Deliver(msg, wParam, lParam);
}

void TWinControl::RecomputeShowing() {
  const bool show = Visible() && !Reading();
  if (show) {
    EnsureWindow();
    for (TWinControl* child : std::vector<TWinControl*>(windowedChildren_)) child->RecomputeShowing();
  }
  if (!handle_ || showing_ == show) return;
  showing_ = show;
  TScopeFail undo([&] { showing_ = !show; });
  Deliver(FM_SHOWINGCHANGED);
  undo.Dismiss();
}

void TWinControl::ShowingChanged() {
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
               showing_ ? (SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
                        : (SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
}

// ---- Bounds ----

void TWinControl::PlaceControl(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  if (left == Left() && top == Top() && width == Width() && height == Height()) return;
  if (!handle_ || IsIconic(handle_)) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (handle_) {
      WINDOWPLACEMENT wp{};
      wp.length = sizeof wp;
      GetWindowPlacement(handle_, &wp);
      wp.rcNormalPosition = BoundsRect();
      SetWindowPlacement(handle_, &wp);
    }
    Deliver(WM_WINDOWPOSCHANGED);
    if (!Reading()) OnResize(this);
  } else {
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOACTIVATE | SWP_NOZORDER);
  }
}

RECT TWinControl::ClientRect() {
  RECT r{};
  GetClientRect(Handle(), &r);
  return r;
}

POINT TWinControl::ClientOrigin() {
  POINT p{0, 0};
  ::ClientToScreen(Handle(), &p);
  return p;
}

void TWinControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, !ControlStyle.Contains(csOpaque));
}

void TWinControl::SetEnabled(bool value) { TControl::SetEnabled(value); }

// ---- Tab order ----

std::int32_t TWinControl::TabOrder() const {
  // Without a parent there is no list yet: the stored position is the answer.
  if (!parent_) return storedTabOrder_;
  const auto& list = parent_->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<std::int32_t>(it - list.begin());
}

void TWinControl::SetTabOrder(std::int32_t value) {
  if (Reading() || !parent_) {
    storedTabOrder_ = value;
    return;
  }
  auto& list = parent_->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  const auto index = std::clamp<std::ptrdiff_t>(value, 0, static_cast<std::ptrdiff_t>(list.size()));
  list.insert(list.begin() + index, this);
}

void TWinControl::ApplyStoredTabOrders() {
  const std::size_t count = windowedChildren_.size();
  std::vector<TWinControl*> slots(count, nullptr);
  for (TWinControl* child : windowedChildren_) {
    const std::int32_t v = child->storedTabOrder_;
    if (v >= 0 && static_cast<std::size_t>(v) < count) slots[static_cast<std::size_t>(v)] = child;
    child->storedTabOrder_ = -1;
  }
  for (std::size_t i = 0; i < count; ++i)
    if (slots[i]) slots[i]->SetTabOrder(static_cast<std::int32_t>(i));
}

void TWinControl::ReadStateFrom(TReader& reader) {
  TControl::ReadStateFrom(reader);
  ApplyStoredTabOrders();
}

void TWinControl::AfterLoad() {
  TControl::AfterLoad();
  if (parent_) Deliver(FM_PARENTCTL3DCHANGED);
  UpdateControlState();
}

void TWinControl::SetTabStop(bool value) {
  if (ChangeField(tabStop_, value)) UpdateTabStopStyle();
}

void TWinControl::UpdateTabStopStyle() {
  if (!handle_) return;
  LONG style = GetWindowLongA(handle_, GWL_STYLE);
  style = tabStop_ ? (style | WS_TABSTOP) : (style & ~static_cast<LONG>(WS_TABSTOP));
  SetWindowLongA(handle_, GWL_STYLE, style);
}

void TWinControl::SetCtl3D(bool value) {
  if (ctl3D_ != value) {
    ctl3D_ = value;
    Deliver(FM_CTL3DCHANGED);
  }
  parentCtl3D_ = false;
}

void TWinControl::SetParentCtl3D(bool value) {
  if (!ChangeField(parentCtl3D_, value)) return;
  if (value && parent_ && !Reading()) Deliver(FM_PARENTCTL3DCHANGED);
}

void TWinControl::TabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* child : tabList_) {
    list.push_back(child);
    child->TabOrderList(list);
  }
}

TWinControl* TWinControl::FindNextInTabOrder(TWinControl* current, bool forward, bool useTabStops, bool sameParent) {
  std::vector<TWinControl*> list;
  TabOrderList(list);
  if (list.empty()) return nullptr;
  const int count = static_cast<int>(list.size());
  auto found = std::find(list.begin(), list.end(), current);
  int start = found != list.end() ? static_cast<int>(found - list.begin()) : (forward ? count - 1 : 0);
  // The start itself is tested last: a container whose only focusable control
  // is the current one must find it again.
  int i = start;
  do {
    i = forward ? (i + 1) % count : (i - 1 + count) % count;
    TWinControl* c = list[static_cast<std::size_t>(i)];
    if ((!sameParent || c->parent_ == this) && c->CanTakeFocus() && (!useTabStops || c->tabStop_)) return c;
  } while (i != start);
  return nullptr;
}

void TWinControl::FocusNextInTabOrder(TWinControl* current, bool forward, bool useTabStops) {
  if (TWinControl* next = FindNextInTabOrder(current, forward, useTabStops, !useTabStops)) next->TakeFocus();
}

bool TWinControl::CanTakeFocus() {
  TWinControl* form = ParentFormControl(this);
  if (!form) return false;
  for (TControl* c = this; c && c != form; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::TakeFocus() {
  if (TWinControl* form = ParentFormControl(this)) {
    // The form makes this its active control and focuses itself when needed.
    form->FocusControl(this);
  } else if (parentWindow_) {
    SetFocus(Handle());
  } else {
    throw EInvalidOperation(msg::ParentRequired, {Name()});
  }
}

void TWinControl::SelectFirst() {
  TWinControl* first = FindNextInTabOrder(nullptr, true, true, false);
  if (!first) first = FindNextInTabOrder(nullptr, true, false, false);
  if (first) first->TakeFocus();
}

// ---- Messages ----

void TWinControl::WndProc(TMessage& m) {
  switch (m.msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_CANCELMODE: break;
    default:
      if (IsMouseMessage(m.msg) && handle_ && !graphicChildren_.empty()) {
        // A graphic child under the point (or holding the mouse) takes it. A
        // wheel message carries a screen point: it is found in client
        // coordinates like the others, and keeps its screen point.
        const bool wheel = m.msg == WM_MOUSEWHEEL;
        POINT p = PointOf(m.lParam);
        if (wheel) ::ScreenToClient(handle_, &p);
        TControl* target = nullptr;
        if (GetCapture() == handle_) {
          if (captureControl_ && captureControl_->parent_ == this) target = captureControl_;
        } else {
          for (auto it = graphicChildren_.rbegin(); it != graphicChildren_.rend() && !target; ++it) {
            TControl* c = *it;
            if (!c->Visible() || !c->Enabled() || !PointIn(c->BoundsRect(), p)) continue;
            if (c->Deliver(FM_HITTEST, 0, LParamOf({p.x - c->Left(), p.y - c->Top()})) != 0) target = c;
          }
        }
        if (target) {
          const std::intptr_t lParam = wheel ? m.lParam : LParamOf({p.x - target->Left(), p.y - target->Top()});
          m.result = target->Deliver(m.msg, m.wParam, lParam);
          if (m.result == 0) DefaultHandler(m);
          return;
        }
      }
      break;
  }
  TControl::WndProc(m);
}

void TWinControl::DefaultHandler(TMessage& m) {
  if (!handle_) {
    TControl::DefaultHandler(m);
    return;
  }
  if (m.msg == WM_CONTEXTMENU && parent_) {
    m.result = parent_->Deliver(m.msg, m.wParam, m.lParam);
    if (m.result) return;
  } else if (m.msg >= WM_CTLCOLORMSGBOX && m.msg <= WM_CTLCOLORSTATIC) {
    m.result = SendMessageA(reinterpret_cast<HWND>(m.lParam), m.msg + FN_BASE, m.wParam, m.lParam);
    return;
  } else if (m.msg >= FN_CTLCOLORMSGBOX && m.msg <= FN_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(m.wParam);
    SetTextColor(dc, ColorToRGB(Font()->Color()));
    SetBkColor(dc, ColorToRGB(brush_->Color()));
    m.result = reinterpret_cast<std::intptr_t>(brush_->Handle());
    return;
  }
  m.result = CallWindowProcA(defWndProc_ ? defWndProc_ : &DefWindowProcA, handle_, m.msg, m.wParam, m.lParam);
}

void TWinControl::WMPaint(TMessage& m) {
  if (!graphicChildren_.empty() || ControlStyle.Contains(csOpaque) || ControlStyle.Contains(csPaintsItself))
    PaintHandler(m);
  else
    DefaultHandler(m);
}

void TWinControl::PaintHandler(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.wParam);
  PAINTSTRUCT ps{};
  if (!dc) dc = BeginPaint(handle_, &ps);
  const TScopeExit endPaint([&] {
    if (!m.wParam) EndPaint(handle_, &ps);
  });
  if (graphicChildren_.empty()) {
    PaintWindow(dc);
  } else {
    const int saved = SaveDC(dc);
    int region = SIMPLEREGION;
    for (TControl* c : graphicChildren_) {
      if (!c->Visible() || !c->ControlStyle.Contains(csOpaque)) continue;
      region = ExcludeClipRect(dc, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
      if (region == NULLREGION) break;
    }
    if (region != NULLREGION) PaintWindow(dc);
    RestoreDC(dc, saved);
  }
  PaintControls(dc);
}

void TWinControl::PaintWindow(HDC dc) {
  TMessage paint{WM_PAINT, reinterpret_cast<std::uintptr_t>(dc), 0, 0};
  DefaultHandler(paint);
}

void TWinControl::PaintControls(HDC dc) {
  for (TControl* c : graphicChildren_) {
    if (!c->Visible()) continue;
    const RECT r = c->BoundsRect();
    if (!RectVisible(dc, &r)) continue;
    const int saved = SaveDC(dc);
    POINT origin{};
    GetWindowOrgEx(dc, &origin);
    SetWindowOrgEx(dc, origin.x - c->Left(), origin.y - c->Top(), nullptr);
    IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
    c->Deliver(WM_PAINT, reinterpret_cast<std::uintptr_t>(dc), 0);
    RestoreDC(dc, saved);
  }
  if (NewStyleControls()) return;
  for (TWinControl* c : windowedChildren_) {
    if (!c->ControlStyle.Contains(csFramed) || !c->Visible() || !c->ctl3D_) continue;
    TBrush shadow, highlight;
    shadow.SetColor(clBtnShadow);
    highlight.SetColor(clBtnHighlight);
    RECT r{c->Left() - 1, c->Top() - 1, c->Left() + c->Width(), c->Top() + c->Height()};
    FrameRect(dc, &r, shadow.Handle());
    r = {c->Left(), c->Top(), c->Left() + c->Width() + 1, c->Top() + c->Height() + 1};
    FrameRect(dc, &r, highlight.Handle());
  }
}

void TWinControl::WMCommand(TMessage& m) {
  if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(m.lParam)); child && m.lParam) {
    m.result = child->Deliver(m.msg + FN_BASE, m.wParam, m.lParam);
    return;
  }
  DefaultHandler(m);
}

void TWinControl::WMNotify(TMessage& m) {
  const auto* header = reinterpret_cast<const NMHDR*>(m.lParam);
  if (TWinControl* child = header ? FromHandle(header->hwndFrom) : nullptr) {
    m.result = child->Deliver(m.msg + FN_BASE, m.wParam, m.lParam);
    return;
  }
  DefaultHandler(m);
}

void TWinControl::WMOwnerItem(TMessage& m) {
  // An owner-drawn item's control: the drawing record names its window; the
  // measuring record only its id, which for our controls is the window handle.
  HWND item = m.msg == WM_DRAWITEM ? reinterpret_cast<const DRAWITEMSTRUCT*>(m.lParam)->hwndItem
                                   : reinterpret_cast<HWND>(static_cast<std::uintptr_t>(
                                         reinterpret_cast<const MEASUREITEMSTRUCT*>(m.lParam)->CtlID));
  if (TWinControl* child = m.lParam ? FromHandle(item) : nullptr) {
    m.result = child->Deliver(m.msg + FN_BASE, m.wParam, m.lParam);
    return;
  }
  DefaultHandler(m);
}

void TWinControl::WMSetFocus(TMessage& m) {
  if (TWinControl* form = ParentFormControl(this)) {
    // The form records its new focused control; false when the focus moved
    // on meanwhile.
    if (!form->SetFocusedControl(this)) return;
  }
  DefaultHandler(m);
}

void TWinControl::WMKillFocus(TMessage& m) {
  if (ControlState.Contains(csFocusing)) return;
  DefaultHandler(m);
}

void TWinControl::WMCancelMode(TMessage& m) {
  if (GetCapture() == handle_ && captureControl_ && captureControl_->parent_ == this)
    captureControl_->Deliver(WM_CANCELMODE);
  DefaultHandler(m);
}

void TWinControl::WMNCHitTest(TMessage& m) {
  DefaultHandler(m);
  if (m.result == HTTRANSPARENT && !graphicChildren_.empty()) {
    POINT p = PointOf(m.lParam);
    ::ScreenToClient(handle_, &p);
    if (ControlAtPoint(p, false, false)) m.result = HTCLIENT;
  }
}

void TWinControl::ReadBoundsFromWindow() {
  RECT r{};
  GetWindowRect(handle_, &r);
  if (HWND parentWindow = GetParent(handle_); parentWindow && (GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(nullptr, parentWindow, reinterpret_cast<POINT*>(&r), 2);
  left_ = r.left;
  top_ = r.top;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
}

void TWinControl::WMWindowPosChanged(TMessage& m) {
  if (handle_ && m.lParam) ReadBoundsFromWindow();
  if (m.lParam) DefaultHandler(m);
}

void TWinControl::WMSize(TMessage& m) {
  DefaultHandler(m);
  if (!Reading()) OnResize(this);
}

void TWinControl::WMSysColorChange(TMessage& m) {
  SystemColorsChanged();
  DefaultHandler(m);
}

void TWinControl::WMContextMenu(TMessage& m) { DefaultHandler(m); }

void TWinControl::FMShowingChanged(TMessage&) { ShowingChanged(); }

void TWinControl::FMEnabledChanged(TMessage& m) {
  if (!Enabled() && parent_)
    if (TWinControl* form = ParentFormControl(this)) form->DefocusControl(this, false);
  if (handle_) EnableWindow(handle_, Enabled());
  PassToAncestors(TWinControl::StaticClassInfo(), m);
}

void TWinControl::FMFontChanged(TMessage& m) {
  PassToAncestors(TWinControl::StaticClassInfo(), m);
  if (handle_) Deliver(WM_SETFONT, reinterpret_cast<std::uintptr_t>(Font()->Handle()), 0);
  NotifyChildren(FM_PARENTFONTCHANGED);
}

void TWinControl::FMColorChanged(TMessage& m) {
  brush_->SetColor(Color());
  PassToAncestors(TWinControl::StaticClassInfo(), m);
  NotifyChildren(FM_PARENTCOLORCHANGED);
}

void TWinControl::FMShowHintChanged(TMessage&) { NotifyChildren(FM_PARENTSHOWHINTCHANGED); }

void TWinControl::FMVisibleChanged(TMessage&) {
  if (!Visible() && parent_)
    if (TWinControl* form = ParentFormControl(this)) form->DefocusControl(this, false);
  UpdateControlState();
}

void TWinControl::UpdateControlState() {
  // A change inside a hidden form waits until the form is shown.
  TWinControl* top = this;
  while (top->parent_) {
    top = top->parent_;
    if (!top->showing_) return;
  }
  if (top->IsForm() || top->parentWindow_) RecomputeShowing();
}

// ---- Keys ----

void TWinControl::FNKeyDown(TMessage& m) {
  // Shortcuts of the form's menu, then of the application.
  TMessage key{m.msg - FN_BASE, m.wParam, m.lParam, 0};
  if (TWinControl* form = ParentFormControl(this); form && form->IsShortCut(key)) {
    m.result = 1;
    return;
  }
  if (TControlHost* host = ControlHost(); host && host->OfferKey(key)) {
    m.result = 1;
    return;
  }
  if (Deliver(FM_CHILDKEY, m.wParam, reinterpret_cast<std::intptr_t>(this)) != 0) {
    m.result = 1;
    return;
  }
  std::uintptr_t needed = 0;
  switch (m.wParam) {
    case VK_CANCEL:
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_EXECUTE: needed = DLGC_WANTALLKEYS; break;
    case VK_TAB: needed = DLGC_WANTTAB; break;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: needed = DLGC_WANTARROWS; break;
    default: break;
  }
  if (needed && Deliver(FM_WANTSPECIALKEY, m.wParam) == 0 && (Deliver(WM_GETDLGCODE) & needed) == 0) {
    if (TWinControl* form = ParentFormControl(this); form && form->Deliver(FM_DIALOGKEY, m.wParam, m.lParam) != 0) {
      m.result = 1;
      return;
    }
  }
  m.result = 0;
}

void TWinControl::FNChar(TMessage& m) {
  if ((Deliver(WM_GETDLGCODE) & DLGC_WANTCHARS) == 0)
    if (TWinControl* form = ParentFormControl(this); form && form->Deliver(FM_DIALOGCHAR, m.wParam, m.lParam) != 0)
      m.result = 1;
}

void TWinControl::FMDialogKey(TMessage& m) { BroadcastToChildren(m); }

void TWinControl::FMChildKey(TMessage& m) {
  if (parent_) m.result = parent_->Deliver(m.msg, m.wParam, m.lParam);
}

void TWinControl::FMFocusChanged(TMessage& m) {
  for (int i = 0; i < ControlCount(); ++i) ControlAt(i)->Deliver(m.msg, m.wParam, m.lParam);
}

void TWinControl::FMEnter(TMessage&) { OnEnter(this); }
void TWinControl::FMExit(TMessage&) { OnExit(this); }
void TWinControl::FMRecreateWnd(TMessage&) { RecreateWindow(); }

void TWinControl::FMChanged(TMessage& m) {
  if (parent_) parent_->Deliver(m.msg, m.wParam, m.lParam);
}

bool TWinControl::RunKeyEvent(TKeyEvent& event, TMessage& m) {
  if (ControlStyle.Contains(csNoStdEvents)) return true;
  auto key = static_cast<std::uint16_t>(m.wParam);
  event(this, key, ShiftStateOfKeyData(m.lParam));
  if (key == 0) return false;
  m.wParam = key;
  return true;
}

void TWinControl::WMKeyDown(TMessage& m) {
  if (RunKeyEvent(OnKeyDown, m)) DefaultHandler(m);
}

void TWinControl::WMKeyUp(TMessage& m) {
  if (RunKeyEvent(OnKeyUp, m)) DefaultHandler(m);
}

void TWinControl::WMChar(TMessage& m) {
  if (!ControlStyle.Contains(csNoStdEvents)) {
    char ch = static_cast<char>(m.wParam);
    OnKeyPress(this, ch);
    if (ch == 0) return;
    m.wParam = static_cast<unsigned char>(ch);
  }
  DefaultHandler(m);
}

// ---- Controls at a screen point ----

TWinControl* ControlWindowAt(POINT screenPoint) {
  for (HWND w = WindowFromPoint(screenPoint); w; w = GetParent(w))
    if (TWinControl* c = TWinControl::FromHandle(w)) return c;
  return nullptr;
}

TControl* ControlAtScreenPoint(POINT screenPoint) {
  TWinControl* window = ControlWindowAt(screenPoint);
  if (!window || !window->WindowHandle()) return nullptr;
  POINT client = screenPoint;
  ScreenToClient(window->WindowHandle(), &client);
  TControl* deeper = window->ControlAtPoint(client, true);
  return deeper ? deeper : window;
}
}  // namespace tw
