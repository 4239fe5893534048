#include "ui/Controls.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "core/Reader.h"
#include "runtime/Exceptions.h"
#include "runtime/Faults.h"
#include "runtime/Format.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

ATOM windowAtom = 0;
ATOM controlAtom = 0;
ATOM comboPartAtom = 0;
ATOM applicationAtom = 0;
TControlGoneHook controlGoneHook = nullptr;

// The control whose window CreateWindowExA is making: the first message of the
// new window binds the two (that is not always WM_NCCREATE).
thread_local TWinControl* creatingControl = nullptr;

// The graphic control that holds the mouse (its parent's window has the capture).
TControl* captureControl = nullptr;

template <class T>
void EraseFrom(std::vector<T*>& list, const T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

// Marks a control as being read for as long as it lives, and afterwards
// leaves the mark as it was.
class TReadingMark {
 public:
  explicit TReadingMark(TControlState& state) : state_(state), was_(state.Contains(csReadingState)) {
    state_.Include(csReadingState);
  }
  ~TReadingMark() {
    if (!was_) state_.Exclude(csReadingState);
  }
  TReadingMark(const TReadingMark&) = delete;
  TReadingMark& operator=(const TReadingMark&) = delete;

 private:
  TControlState& state_;
  bool was_;
};

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= 0x20A; }

std::intptr_t LParamOf(POINT p) {
  return static_cast<std::intptr_t>(MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

bool PointIn(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// Every class name this process registered with InitWindowProc.
std::set<std::string>& RegisteredClasses() {
  static std::set<std::string> classes;
  return classes;
}

}  // namespace

TShiftState ShiftStateOfMouseKeys(std::uintptr_t keys) {
  TShiftState s;
  if (keys & MK_SHIFT) s.Include(ssShift);
  if (keys & MK_CONTROL) s.Include(ssCtrl);
  if (keys & MK_LBUTTON) s.Include(ssLeft);
  if (keys & MK_RBUTTON) s.Include(ssRight);
  if (keys & MK_MBUTTON) s.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TShiftState ShiftStateOfKeyData(std::intptr_t keyData) {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (keyData & 0x20000000) s.Include(ssAlt);
  return s;
}

TControlGoneHook SetControlGoneHook(TControlGoneHook hook) { return std::exchange(controlGoneHook, hook); }

int& FocusChangeCounter() {
  static int counter = 0;
  return counter;
}

void RegisterControlAtoms() {
  if (controlAtom) return;
  const auto process = static_cast<std::int32_t>(GetCurrentProcessId());
  windowAtom = GlobalAddAtomA(FormatText("Varnet%.8X", {process}).c_str());
  controlAtom = GlobalAddAtomA(
      FormatText("ControlOfs%.8X%.8X", {static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(ModuleInstance())),
                                        static_cast<std::int32_t>(GetCurrentThreadId())})
          .c_str());
  comboPartAtom = GlobalAddAtomA(FormatText("ComboPart%.8X", {process}).c_str());
  applicationAtom = GlobalAddAtomA(FormatText("AppWindow%.8X", {process}).c_str());
}

void DeleteControlAtoms() {
  for (ATOM* atom : {&windowAtom, &controlAtom, &comboPartAtom, &applicationAtom}) {
    if (*atom) GlobalDeleteAtom(*atom);
    *atom = 0;
  }
}

namespace {

ATOM AtomOf(TWindowKind kind) {
  RegisterControlAtoms();
  switch (kind) {
    case TWindowKind::Control: return controlAtom;
    case TWindowKind::ComboPart: return comboPartAtom;
    case TWindowKind::Application: return applicationAtom;
  }
  return 0;
}

// How deep the thread is in the framework's platform callbacks.
thread_local int callbackDepth = 0;

}  // namespace

void BindWindowObject(HWND window, TWindowKind kind, void* object) {
  if (!window) return;
  if (object)
    SetPropA(window, MAKEINTATOM(AtomOf(kind)), object);
  else
    RemovePropA(window, MAKEINTATOM(AtomOf(kind)));
}

void* WindowObject(HWND window, TWindowKind kind) {
  return window ? GetPropA(window, MAKEINTATOM(AtomOf(kind))) : nullptr;
}

TCallbackScope::TCallbackScope() { ++callbackDepth; }

TCallbackScope::~TCallbackScope() {
  // Contexts borrowed while the platform called in go back when the outermost
  // callback returns; a nested message must not take one from under the
  // handler that sent it.
  if (--callbackDepth == 0) TControlCanvas::ReleaseAllContexts();
}

// ---- TControl ---------------------------------------------------------------------

void TControl::Publish(Publisher& p) {
  TW_PROPERTY(Left, &Self::Left, &Self::SetLeft);
  TW_PROPERTY(Top, &Self::Top, &Self::SetTop);
  TW_PROPERTY(Width, &Self::Width, &Self::SetWidth);
  TW_PROPERTY(Height, &Self::Height, &Self::SetHeight);
  TW_PROPERTY(Enabled, &Self::Enabled, &Self::SetEnabled);
  TW_PROPERTY(Visible, &Self::Visible, &Self::SetVisible);
  TW_PROPERTY(Font, &Self::Font, &Self::SetFont);
  TW_PROPERTY(ParentFont, &Self::ParentFont, &Self::SetParentFont);
  TW_PROPERTY(Hint, &Self::Hint, &Self::SetHint);
  TW_PROPERTY(ShowHint, &Self::ShowHint, &Self::SetShowHint);
  TW_PROPERTY(ParentShowHint, &Self::ParentShowHint, &Self::SetParentShowHint);
  p.Property<&Self::Cursor, &Self::SetCursor>("Cursor", &CursorTypeInfo());
  TW_MESSAGE(WM_LBUTTONDOWN, WMLButtonDown);
  TW_MESSAGE(WM_LBUTTONUP, WMLButtonUp);
  TW_MESSAGE(WM_RBUTTONDOWN, WMOtherButtonDown);
  TW_MESSAGE(WM_MBUTTONDOWN, WMOtherButtonDown);
  TW_MESSAGE(WM_RBUTTONUP, WMOtherButtonUp);
  TW_MESSAGE(WM_MBUTTONUP, WMOtherButtonUp);
  TW_MESSAGE(WM_MOUSEMOVE, WMMouseMove);
  TW_MESSAGE(WM_LBUTTONDBLCLK, WMLButtonDblClk);
  TW_MESSAGE(FM_PARENTFONTCHANGED, FMParentFontChanged);
  TW_MESSAGE(FM_PARENTCOLORCHANGED, FMParentColorChanged);
  TW_MESSAGE(FM_PARENTSHOWHINTCHANGED, FMParentShowHintChanged);
  TW_MESSAGE(FM_HITTEST, FMHitTest);
  TW_MESSAGE(FM_VISIBLECHANGED, FMVisibleChanged);
  TW_MESSAGE(FM_ENABLEDCHANGED, FMEnabledChanged);
  TW_MESSAGE(FM_FONTCHANGED, FMFontChanged);
  TW_MESSAGE(FM_COLORCHANGED, FMColorChanged);
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChanged);
  TW_MESSAGE(WM_WINDOWPOSCHANGED, WMWindowPosChanged);
}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  ControlStyle = {csCapturesMouse, csClickEvents, csSetsCaption, csDoubleClicks};
  font_->OnChange.Bind(this, &TControl::FontChanged);
  fontHeight_ = font_->Height();
}

TControl::~TControl() {
  // A control without the BeforeFree step (not allocated with new) leaves
  // nothing behind that points here.
  if (!BeforeFreeDone()) ForgetEverywhere();
  if (parent_) parent_->RemoveChild(*this);
}

void TControl::ForgetEverywhere() {
  if (captureControl == this) captureControl = nullptr;
  if (controlGoneHook) controlGoneHook(this);
}

void TControl::BeforeFree() {
  MarkDestroying();
  ForgetEverywhere();
  TComponent::BeforeFree();
  if (parent_) {
    try {
      parent_->ReleaseChild(*this);
    } catch (...) {
      if (parent_) parent_->RemoveChild(*this);
    }
  }
}

std::intptr_t TControl::Deliver(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  TMessage m{msg, wParam, lParam, 0};
  RunControlProc(m);
  return m.result;
}

std::intptr_t TControl::Deliver(TControl* control, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  return control ? control->Deliver(msg, wParam, lParam) : 0;
}

void TControl::RunControlProc(TMessage& message) {
  if (ControlProc)
    ControlProc(message);
  else
    WndProc(message);
}

void TControl::WndProc(TMessage& m) {
  if (IsMouseMessage(m.msg)) {
    if (!ControlStyle.Contains(csDoubleClicks) &&
        (m.msg == WM_LBUTTONDBLCLK || m.msg == WM_RBUTTONDBLCLK || m.msg == WM_MBUTTONDBLCLK))
      m.msg -= 2;
    if (m.msg == WM_MOUSEMOVE) HintMouseMove(this, m);
    if (m.msg == WM_LBUTTONDOWN || m.msg == WM_LBUTTONDBLCLK)
      ControlState.Include(csLeftButtonDown);
    else if (m.msg == WM_LBUTTONUP)
      ControlState.Exclude(csLeftButtonDown);
  }
  DispatchById(*this, m);
}

void TControl::DefaultHandler(TMessage& m) {
  switch (m.msg) {
    case WM_SETTEXT:
      text_ = m.lParam ? reinterpret_cast<const char*>(m.lParam) : "";
      m.result = TRUE;
      break;
    case WM_GETTEXT: {
      // A buffer of size 0 holds not even the terminator: nothing is written.
      const std::size_t size = m.wParam;
      if (size == 0 || !m.lParam) {
        m.result = 0;
        break;
      }
      const std::size_t n = std::min(size - 1, text_.size());
      char* buffer = reinterpret_cast<char*>(m.lParam);
      std::copy_n(text_.data(), n, buffer);
      buffer[n] = '\0';
      m.result = static_cast<std::intptr_t>(n);
      break;
    }
    case WM_GETTEXTLENGTH: m.result = static_cast<std::intptr_t>(text_.size()); break;
    default: break;
  }
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  // A control cannot sit inside itself or inside one of its own children.
  if (parent && parent->IsWithin(this)) throw EInvalidOperation(msg::ControlParentSetToSelf);
  if (parent_) parent_->ReleaseChild(*this);
  if (parent) parent->AdoptChild(*this);
}

bool TControl::IsWithin(const TControl* ancestor) const {
  for (const TControl* c = this; c; c = c->parent_)
    if (c == ancestor) return true;
  return false;
}

TWinControl* ParentFormControl(const TControl* control) {
  if (!control) return nullptr;
  const TControl* top = control;
  while (top->Parent()) top = top->Parent();
  return top->IsForm() ? static_cast<TWinControl*>(const_cast<TControl*>(top)) : nullptr;
}

// A bound set one at a time was written by its owner, so the form's scaling
// step takes it as stored at the form's resolution.
void TControl::PlaceWritten(TScalingFlag written, std::int32_t left, std::int32_t top, std::int32_t width,
                            std::int32_t height) {
  PlaceControl(left, top, width, height);
  ScalingFlags.Include(written);
}
void TControl::SetLeft(std::int32_t value) { PlaceWritten(sfLeft, value, top_, width_, height_); }
void TControl::SetTop(std::int32_t value) { PlaceWritten(sfTop, left_, value, width_, height_); }
void TControl::SetWidth(std::int32_t value) { PlaceWritten(sfWidth, left_, top_, value, height_); }
void TControl::SetHeight(std::int32_t value) { PlaceWritten(sfHeight, left_, top_, width_, value); }

void TControl::PlaceControl(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (visible_ && parent_) InvalidateInParent(BoundsRect(), false);
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Invalidate();
  Deliver(WM_WINDOWPOSCHANGED);
  if (!Reading()) OnResize(this);
}

RECT TControl::ClientRect() { return {0, 0, width_, height_}; }

void TControl::SetClientWidth(std::int32_t value) { SetWidth(width_ + value - ClientWidth()); }
void TControl::SetClientHeight(std::int32_t value) { SetHeight(height_ + value - ClientHeight()); }

POINT TControl::ClientOrigin() {
  POINT p = parent_ ? parent_->ClientOrigin() : POINT{0, 0};
  p.x += left_;
  p.y += top_;
  return p;
}

POINT TControl::ClientToScreen(POINT point) {
  POINT origin = ClientOrigin();
  return {point.x + origin.x, point.y + origin.y};
}

POINT TControl::ScreenToClient(POINT point) {
  POINT origin = ClientOrigin();
  return {point.x - origin.x, point.y - origin.y};
}

void TControl::SetVisible(bool value) {
  if (ChangeField(visible_, value)) Deliver(FM_VISIBLECHANGED, value);
}

void TControl::SetEnabled(bool value) {
  if (ChangeField(enabled_, value)) Deliver(FM_ENABLEDCHANGED);
}

std::string TControl::Text() const {
  auto* self = const_cast<TControl*>(this);
  const std::intptr_t n = self->Deliver(WM_GETTEXTLENGTH);
  if (n <= 0) return {};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  const std::intptr_t got = self->Deliver(WM_GETTEXT, text.size(), reinterpret_cast<std::intptr_t>(text.data()));
  text.resize(static_cast<std::size_t>(std::clamp<std::intptr_t>(got, 0, n)));
  return text;
}

void TControl::SetText(std::string_view text) {
  if (Text() == text) return;
  const std::string copy(text);
  Deliver(WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(copy.c_str()));
  Deliver(FM_TEXTCHANGED);
}

void TControl::Rename(std::string_view newName) {
  const std::string oldName = Name();
  TComponent::Rename(newName);
  if (ControlStyle.Contains(csSetsCaption) && !HasState(stLoading) && !Reading() && Name() != oldName &&
      Text() == oldName)
    SetText(Name());
}

void TControl::SetFont(const TFont* font) {
  font_->AssignFrom(font);
  parentFont_ = false;
}

void TControl::FontChanged(TObject*) {
  parentFont_ = false;
  // Only a new height marks the font for scaling: a colour, name or style
  // read from a resource says nothing about the resolution it was made for.
  if (font_->Height() != fontHeight_) {
    fontHeight_ = font_->Height();
    ScalingFlags.Include(sfFont);
  }
  Deliver(FM_FONTCHANGED);
}

void TControl::SetParentFlag(bool& flag, bool value, std::uint32_t parentChanged) {
  if (flag == value) return;
  flag = value;
  // Following the parent again takes its value at once.
  if (value && parent_ && !Reading()) Deliver(parentChanged);
}

void TControl::SetParentFont(bool value) { SetParentFlag(parentFont_, value, FM_PARENTFONTCHANGED); }

void TControl::SetColor(TColor value) {
  if (ChangeField(color_, value)) Deliver(FM_COLORCHANGED);
  parentColor_ = false;
}

void TControl::SetParentColor(bool value) { SetParentFlag(parentColor_, value, FM_PARENTCOLORCHANGED); }

void TControl::SetShowHint(bool value) {
  if (ChangeField(showHint_, value)) Deliver(FM_SHOWHINTCHANGED);
  parentShowHint_ = false;
}

void TControl::SetParentShowHint(bool value) { SetParentFlag(parentShowHint_, value, FM_PARENTSHOWHINTCHANGED); }

void TControl::SetCursor(TCursor value) {
  if (ChangeField(cursor_, value)) Deliver(FM_CURSORCHANGED);
}

void TControl::FireClick() { OnClick(this); }
void TControl::DblClick() { OnDblClick(this); }

void TControl::InvalidateInParent(const RECT& rect, bool opaque) {
  if (!parent_ || !parent_->HandleAllocated()) return;
  InvalidateRect(parent_->WindowHandle(), &rect, !opaque);
}

void TControl::Invalidate() {
  if (visible_) InvalidateInParent(BoundsRect(), ControlStyle.Contains(csOpaque));
}

void TControl::Update() {
  if (parent_ && parent_->HandleAllocated()) UpdateWindow(parent_->WindowHandle());
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::Changed() { Deliver(FM_CHANGED, 0, reinterpret_cast<std::intptr_t>(this)); }

void TControl::SendParentNotices() {
  Deliver(FM_PARENTCOLORCHANGED);
  Deliver(FM_PARENTFONTCHANGED);
  Deliver(FM_PARENTSHOWHINTCHANGED);
  Deliver(FM_BIDIMODECHANGED);
}

void TControl::SetStreamParent(TComponent* parent) {
  // The reader inserts a control before its body is read, and a control being
  // read takes nothing from its parent at insertion: it keeps the default font
  // until its stored one is read, so that a stored height which differs from
  // the default marks the font for scaling; what it follows from its parent
  // reaches it once it is loaded.
  TReadingMark reading(ControlState);
  SetParent(IsInstanceOf(parent, TWinControl::StaticClassInfo()) ? static_cast<TWinControl*>(parent) : nullptr);
}

TComponent* TControl::StreamParentOf() const { return parent_; }

void TControl::ReadStateFrom(TReader& reader) {
  TReadingMark reading(ControlState);
  TComponent::ReadStateFrom(reader);
}

void TControl::AfterLoad() {
  TComponent::AfterLoad();
  if (parent_) {
    Deliver(FM_PARENTCOLORCHANGED);
    Deliver(FM_PARENTFONTCHANGED);
    Deliver(FM_PARENTSHOWHINTCHANGED);
    Deliver(FM_SYSFONTCHANGED);
    Deliver(FM_BIDIMODECHANGED);
  }
  AdjustSize();
}

// ---- TControl message handlers ----

void TControl::WMLButtonDown(TMessage& m) {
  for (TWinControl* c = parent_; c; c = c->parent_)
    if (c->IsForm()) c->CancelModes(this);
  DefaultHandler(m);
  if (ControlStyle.Contains(csCapturesMouse)) {
    if (auto* self = dynamic_cast<TWinControl*>(this)) {
      if (self->HandleAllocated()) SetCapture(self->WindowHandle());
    } else if (parent_ && parent_->HandleAllocated()) {
      SetCapture(parent_->WindowHandle());
      captureControl = this;
    }
  }
  if (ControlStyle.Contains(csClickEvents)) ControlState.Include(csClickPending);
  if (!ControlStyle.Contains(csNoStdEvents)) {
    const POINT p = PointOf(m.lParam);
    OnMouseDown(this, mbLeft, ShiftStateOfMouseKeys(m.wParam), p.x, p.y);
  }
}

void TControl::WMLButtonDblClk(TMessage& m) {
  DefaultHandler(m);
  if (ControlStyle.Contains(csClickEvents)) DblClick();
  if (!ControlStyle.Contains(csNoStdEvents)) {
    const POINT p = PointOf(m.lParam);
    TShiftState shift = ShiftStateOfMouseKeys(m.wParam);
    shift.Include(ssDouble);
    OnMouseDown(this, mbLeft, shift, p.x, p.y);
  }
}

void TControl::WMLButtonUp(TMessage& m) {
  DefaultHandler(m);
  if (ControlStyle.Contains(csCapturesMouse)) {
    if (captureControl == this) captureControl = nullptr;
    if (GetCapture()) ReleaseCapture();
  }
  const POINT p = PointOf(m.lParam);
  if (ControlState.Contains(csClickPending)) {
    ControlState.Exclude(csClickPending);
    if (PointIn(ClientRect(), p)) FireClick();
  }
  if (!ControlStyle.Contains(csNoStdEvents)) OnMouseUp(this, mbLeft, ShiftStateOfMouseKeys(m.wParam), p.x, p.y);
}

void TControl::WMOtherButtonDown(TMessage& m) {
  DefaultHandler(m);
  if (ControlStyle.Contains(csNoStdEvents)) return;
  const POINT p = PointOf(m.lParam);
  OnMouseDown(this, m.msg == WM_RBUTTONDOWN ? mbRight : mbMiddle, ShiftStateOfMouseKeys(m.wParam), p.x, p.y);
}

void TControl::WMOtherButtonUp(TMessage& m) {
  DefaultHandler(m);
  if (ControlStyle.Contains(csNoStdEvents)) return;
  const POINT p = PointOf(m.lParam);
  OnMouseUp(this, m.msg == WM_RBUTTONUP ? mbRight : mbMiddle, ShiftStateOfMouseKeys(m.wParam), p.x, p.y);
}

void TControl::WMMouseMove(TMessage& m) {
  DefaultHandler(m);
  if (ControlStyle.Contains(csNoStdEvents)) return;
  const POINT p = PointOf(m.lParam);
  OnMouseMove(this, ShiftStateOfMouseKeys(m.wParam), p.x, p.y);
}

void TControl::FMParentFontChanged(TMessage& m) {
  if (!parentFont_) return;
  const TFont* source = m.wParam ? reinterpret_cast<const TFont*>(m.lParam) : (parent_ ? parent_->Font() : nullptr);
  if (source) {
    font_->AssignFrom(source);
    ScalingFlags.Exclude(sfFont);
  }
  parentFont_ = true;
}

void TControl::FMParentColorChanged(TMessage& m) {
  if (!parentColor_) return;
  const TColor source = m.wParam ? static_cast<TColor>(m.lParam) : (parent_ ? parent_->color_ : color_);
  SetColor(source);
  parentColor_ = true;
}

void TControl::FMParentShowHintChanged(TMessage&) {
  if (!parentShowHint_ || !parent_) return;
  SetShowHint(parent_->showHint_);
  parentShowHint_ = true;
}

void TControl::FMHitTest(TMessage& m) { m.result = 1; }
void TControl::FMVisibleChanged(TMessage&) { InvalidateInParent(BoundsRect(), false); }
void TControl::FMEnabledChanged(TMessage&) { Invalidate(); }
void TControl::FMFontChanged(TMessage&) {
  Invalidate();
  AdjustSize();
}
void TControl::FMColorChanged(TMessage&) { Invalidate(); }
void TControl::FMTextChanged(TMessage&) {
  Invalidate();
  AdjustSize();
}
void TControl::WMWindowPosChanged(TMessage&) {}

// ---- Window binding -----------------------------------------------------------------

LRESULT CALLBACK InitWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* control = std::exchange(creatingControl, nullptr);
  if (!control) return DefWindowProcA(window, msg, wParam, lParam);
  control->BindWindow(window);
  return TWinControl::StandardWindowProc(window, msg, wParam, lParam);
}

TWinControl* TWinControl::FromHandle(HWND window) {
  if (!window || !controlAtom) return nullptr;
  return static_cast<TWinControl*>(WindowObject(window, TWindowKind::Control));
}

void TWinControl::BindWindow(HWND window) {
  handle_ = window;
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandardWindowProc));
  if ((GetWindowLongA(window, GWL_STYLE) & WS_CHILD) && GetWindowLongPtrA(window, GWLP_ID) == 0)
    SetWindowLongPtrA(window, GWLP_ID, reinterpret_cast<LONG_PTR>(window));
  SetPropA(window, MAKEINTATOM(windowAtom), this);
  BindWindowObject(window, TWindowKind::Control, this);
}

void TWinControl::UnbindWindow() {
  if (!handle_) return;
  RemovePropA(handle_, MAKEINTATOM(windowAtom));
  BindWindowObject(handle_, TWindowKind::Control, nullptr);
  handle_ = nullptr;
  showing_ = false;
}

LRESULT CALLBACK TWinControl::StandardWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* control = FromHandle(window);
  if (!control) return DefWindowProcA(window, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  GuardWindowCallback(control, [&] { control->RunControlProc(m); });
  return m.result;
}

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
  TW_MESSAGE(WM_WINDOWPOSCHANGED, WMWindowPosChangedWin);
  TW_MESSAGE(WM_SIZE, WMSize);
  TW_MESSAGE(WM_SYSCOLORCHANGE, WMSysColorChange);
  TW_MESSAGE(WM_CONTEXTMENU, WMContextMenu);
  TW_MESSAGE(WM_KEYDOWN, WMKeyDown);
  TW_MESSAGE(WM_SYSKEYDOWN, WMKeyDown);
  TW_MESSAGE(WM_KEYUP, WMKeyUp);
  TW_MESSAGE(WM_SYSKEYUP, WMKeyUp);
  TW_MESSAGE(WM_CHAR, WMChar);
  TW_MESSAGE(FM_SHOWINGCHANGED, FMShowingChanged);
  TW_MESSAGE(FM_ENABLEDCHANGED, FMEnabledChangedWin);
  TW_MESSAGE(FM_FONTCHANGED, FMFontChangedWin);
  TW_MESSAGE(FM_COLORCHANGED, FMColorChangedWin);
  TW_MESSAGE(FM_SHOWHINTCHANGED, FMShowHintChangedWin);
  TW_MESSAGE(FM_VISIBLECHANGED, FMVisibleChangedWin);
  TW_MESSAGE(FN_KEYDOWN, FMKeyDown);
  TW_MESSAGE(FN_SYSKEYDOWN, FMKeyDown);
  TW_MESSAGE(FN_CHAR, FMChar);
  TW_MESSAGE(FN_SYSCHAR, FMChar);
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
    EraseFrom(windowedChildren_, windowed);
    EraseFrom(tabList_, windowed);
  } else {
    EraseFrom(graphicChildren_, &child);
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

// ---- Window creation ----

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
  p.windowClass.style &= ~static_cast<UINT>(0x40E0);
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
  creatingControl = this;
  HWND window = nullptr;
  try {
    window = CreateWindowExA(p.exStyle, p.className, p.caption.c_str(), p.style, p.x, p.y, p.width, p.height, p.parent,
                             nullptr, p.windowClass.hInstance, p.param);
  } catch (...) {
    creatingControl = nullptr;
    throw;
  }
  creatingControl = nullptr;
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
  ControlState.Include(csCreatingWindow);
  try {
    CreateWindowHandle(p);
  } catch (...) {
    ControlState.Exclude(csCreatingWindow);
    throw;
  }
  ControlState.Exclude(csCreatingWindow);
  if (!handle_) RaisePlatformError();
  TControl::text_.clear();
  // The window may have adjusted the bounds; the fields follow it.
  ReadBoundsFromWindow();
  Deliver(WM_SETFONT, reinterpret_cast<std::uintptr_t>(Font()->Handle()), 1);
  AdjustSize();
  SetPropA(handle_, MAKEINTATOM(windowAtom), this);
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

void TWinControl::RecomputeShowing() {
  const bool show = Visible() && !Reading();
  if (show) {
    EnsureWindow();
    for (TWinControl* child : std::vector<TWinControl*>(windowedChildren_)) child->RecomputeShowing();
  }
  if (!handle_ || showing_ == show) return;
  showing_ = show;
  try {
    Deliver(FM_SHOWINGCHANGED);
  } catch (...) {
    showing_ = !show;
    throw;
  }
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
          if (captureControl && captureControl->parent_ == this) target = captureControl;
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
  if (!graphicChildren_.empty() || ControlStyle.Contains(csOpaque) || dynamic_cast<TCustomControl*>(this))
    PaintHandler(m);
  else
    DefaultHandler(m);
}

void TWinControl::PaintHandler(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.wParam);
  PAINTSTRUCT ps{};
  if (!dc) dc = BeginPaint(handle_, &ps);
  try {
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
  } catch (...) {
    if (!m.wParam) EndPaint(handle_, &ps);
    throw;
  }
  if (!m.wParam) EndPaint(handle_, &ps);
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
  if (GetCapture() == handle_ && captureControl && captureControl->parent_ == this)
    captureControl->Deliver(WM_CANCELMODE);
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

void TWinControl::WMNCDestroy(TMessage& m) {
  DefaultHandler(m);
  UnbindWindow();
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

void TWinControl::WMWindowPosChangedWin(TMessage& m) {
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

void TWinControl::FMEnabledChangedWin(TMessage& m) {
  if (!Enabled() && parent_)
    if (TWinControl* form = ParentFormControl(this)) form->DefocusControl(this, false);
  if (handle_) EnableWindow(handle_, Enabled());
  TControl::FMEnabledChanged(m);
}

void TWinControl::FMFontChangedWin(TMessage& m) {
  TControl::FMFontChanged(m);
  if (handle_) Deliver(WM_SETFONT, reinterpret_cast<std::uintptr_t>(Font()->Handle()), 0);
  NotifyChildren(FM_PARENTFONTCHANGED);
}

void TWinControl::FMColorChangedWin(TMessage& m) {
  brush_->SetColor(Color());
  TControl::FMColorChanged(m);
  NotifyChildren(FM_PARENTCOLORCHANGED);
}

void TWinControl::FMShowHintChangedWin(TMessage&) { NotifyChildren(FM_PARENTSHOWHINTCHANGED); }

void TWinControl::FMVisibleChangedWin(TMessage&) {
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

void TWinControl::FMKeyDown(TMessage& m) {
  // Shortcuts of the form's menu, then of the application.
  TMessage key{m.msg - FN_BASE, m.wParam, m.lParam, 0};
  if (TWinControl* form = ParentFormControl(this); form && form->IsShortCut(key)) {
    m.result = 1;
    return;
  }
  if (ApplicationKeyDown(key)) {
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

void TWinControl::FMChar(TMessage& m) {
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

// ---- Canvases ----------------------------------------------------------------------------

namespace {
std::vector<TControlCanvas*>& HoldingCanvases() {
  static std::vector<TControlCanvas*> list;
  return list;
}
}  // namespace

TControlCanvas::~TControlCanvas() { ReleaseOwnContext(); }

void TControlCanvas::CreateHandle() {
  if (!control_) return;
  TWinControl* window = dynamic_cast<TWinControl*>(control_);
  POINT offset{0, 0};
  if (!window) {
    window = control_->Parent();
    offset = {control_->Left(), control_->Top()};
  }
  if (!window) return;
  HWND hwnd = window->Handle();
  HDC dc = GetDCEx(hwnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!dc) return;
  SetWindowOrgEx(dc, -offset.x, -offset.y, nullptr);
  if (!dynamic_cast<TWinControl*>(control_)) IntersectClipRect(dc, 0, 0, control_->Width(), control_->Height());
  ownDC_ = dc;
  ownWindow_ = hwnd;
  HoldingCanvases().push_back(this);
  SetHandle(dc);
}

void TControlCanvas::ReleaseOwnContext() {
  if (!ownDC_) return;
  Lock();
  SetHandle(nullptr);
  ReleaseDC(ownWindow_, ownDC_);
  ownDC_ = nullptr;
  ownWindow_ = nullptr;
  Unlock();
  EraseFrom(HoldingCanvases(), this);
}

TCanvasLoan::TCanvasLoan(TCanvas& canvas, HDC dc) : canvas_(canvas) {
  canvas_.Lock();
  try {
    canvas_.SetHandle(dc);
  } catch (...) {
    canvas_.Unlock();
    throw;
  }
}

TCanvasLoan::~TCanvasLoan() {
  canvas_.SetHandle(nullptr);
  canvas_.Unlock();
}

void TControlCanvas::ReleaseAllContexts() {
  auto& list = HoldingCanvases();
  while (!list.empty()) list.back()->ReleaseOwnContext();
}

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Publish(Publisher& p) { TW_MESSAGE(WM_PAINT, WMPaintGraphic); }

void TGraphicControl::WMPaintGraphic(TMessage& m) {
  if (!m.wParam) return;
  const TCanvasLoan loan(*canvas_, reinterpret_cast<HDC>(m.wParam));
  Paint();
}

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::Publish(Publisher&) {}

void TCustomControl::PaintWindow(HDC dc) {
  const TCanvasLoan loan(*canvas_, dc);
  Paint();
}

}  // namespace tw
