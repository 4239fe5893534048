#include "ui/Control.h"

#include <oleacc.h>

#include <algorithm>
#include <utility>

#include "core/Reader.h"
#include "runtime/Exceptions.h"
#include "runtime/ScopeExit.h"
#include "ui/SystemInfo.h"
#include "ui/WinControl.h"

namespace tw {

namespace {

TControlHost* controlHost = nullptr;

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
  if (keyData & kKeyDataAltDown) s.Include(ssAlt);
  return s;
}

TControlHost* ControlHost() { return controlHost; }

TControlHost* SetControlHost(TControlHost* host) { return std::exchange(controlHost, host); }

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
  if (captureControl_ == this) captureControl_ = nullptr;
  if (controlHost) controlHost->ControlFreed(*this);
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
    if (m.msg == WM_MOUSEMOVE && controlHost) controlHost->MouseMovedOver(*this, m);
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
  // The platform tells no one of a text set in code: a screen reader hears
  // of a new result or caption only through us.
  if (TControlHost* host = ControlHost(); host && !Reading()) host->TextChanged(*this);
}

TAccessibleTraits TControl::AccessibleTraits() const {
  // A control without a window is a piece of painted text.
  return {.role = ROLE_SYSTEM_STATICTEXT, .states = STATE_SYSTEM_READONLY};
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
  const TScopeExit reading = MarkReading();
  SetParent(IsInstanceOf(parent, TWinControl::StaticClassInfo()) ? static_cast<TWinControl*>(parent) : nullptr);
}

TScopeExit<std::function<void()>> TControl::MarkReading() {
  const bool was = ControlState.Contains(csReadingState);
  ControlState.Include(csReadingState);
  return TScopeExit<std::function<void()>>([this, was] {
    if (!was) ControlState.Exclude(csReadingState);
  });
}

TComponent* TControl::StreamParentOf() const { return parent_; }

void TControl::ReadStateFrom(TReader& reader) {
  const TScopeExit reading = MarkReading();
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
      captureControl_ = this;
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
    if (captureControl_ == this) captureControl_ = nullptr;
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

}  // namespace tw
