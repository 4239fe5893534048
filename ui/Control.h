// A control: an element of a window with a parent, bounds, text, font, colour
// and hint settings. Graphic controls (TGraphicControl) have no window and are
// painted and fed the mouse by their windowed parent; windowed ones are
// TWinControl (ui/WinControl.h).
//
// Messages reach a control through Deliver (framework messages, synchronously)
// or through its window's procedure (platform messages). Both end in the
// control's ControlProc, by default WndProc, which does the common work and
// then dispatches by message number to the handler of the control's class or
// its nearest ancestor (TW_MESSAGE in Publish), else to DefaultHandler.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "core/Component.h"
#include "graphics/Graphics.h"
#include "runtime/Fields.h"
#include "runtime/ScopeExit.h"
#include "ui/ControlHost.h"
#include "ui/Messages.h"

namespace tw {

class TWinControl;
class TCustomForm;

// What a control is, stated once by its class's constructor and read where
// the behaviour differs. A class that assigns a whole set states all of them.
enum TControlStyleFlag : std::uint8_t {
  // Other controls may be placed in it: its window is made a container for them.
  csAcceptsChildren,
  // A left button press captures the mouse until its release.
  csCapturesMouse,
  // Press and release over it make a click (OnClick) and a double click OnDblClick.
  csClickEvents,
  // Renaming it while its caption is still its name renames the caption too.
  csSetsCaption,
  // A double click is its own message; without it a double click counts as a press.
  csDoubleClicks,
  // Drawn with a 3-D frame by its parent where the system has no frame of its own.
  csFramed,
  // Paints all of its area: nothing below it need be painted first.
  csOpaque,
  // Its width (height) keeps its value when the form is scaled to another resolution.
  csFixedWidth,
  csFixedHeight,
  // Mouse and key messages go to the platform without the standard events.
  csNoStdEvents,
  // Its class states that it can be drawn as a copy of itself (a label, a group
  // box): kept as part of what a control class says of itself for tools that
  // inspect styles, though nothing in this program copies a control's picture.
  csReplicatable,
  // Its window is of a platform class that sends its notifications to its
  // parent, which reflects them back (a combo box). Stated for tools that
  // inspect styles; the reflection itself follows every WM_COMMAND whatever the flag.
  csReflector,
  // It paints its own client area through its canvas (every TCustomControl):
  // its window's paint message goes to the paint handler even with no painted
  // children. Lets the window layer tell without knowing the canvas class.
  csPaintsItself,
};
using TControlStyle = TSet<TControlStyleFlag>;

enum TControlStateFlag : std::uint8_t {
  csLeftButtonDown,
  csClickPending,
  csReadingState,
  csFocusing,
  csCreatingWindow,
};
using TControlState = TSet<TControlStateFlag>;

// Which bounds and font height were written while the control was read.
enum TScalingFlag : std::uint8_t { sfLeft, sfTop, sfWidth, sfHeight, sfFont };
using TScalingFlags = TSet<TScalingFlag>;

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;

using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, std::int32_t, std::int32_t>;
using TMouseMoveEvent = TEvent<TObject*, TShiftState, std::int32_t, std::int32_t>;
using TKeyEvent = TEvent<TObject*, std::uint16_t&, TShiftState>;
using TKeyPressEvent = TEvent<TObject*, char&>;
using TMessageEvent = TEvent<TMessage&>;

// The shift state of a mouse message's key flags, and of key data (Alt from bit
// 29) together with the current Shift and Ctrl keys.
TShiftState ShiftStateOfMouseKeys(std::uintptr_t keys);
TShiftState ShiftStateOfKeyData(std::intptr_t keyData);

// What a screen reader is told of a control beyond what the platform reads
// from its window (ui/Accessible.*). Each class states its own; the
// accessibility layer does the rest, so a new control needs no code of its
// own there.
struct TAccessibleTraits {
  // A ROLE_SYSTEM_ value of the platform's accessibility interface; 0 keeps
  // the platform's own answer.
  std::int32_t role = 0;
  // STATE_SYSTEM_ flags added to those the platform reads from the window.
  std::uint32_t states = 0;
  // The message-table id of the default action's name (0: none); the action
  // is FM_DEFAULTACTION, which the class handles.
  std::uint16_t defaultAction = 0;
  // A field: named by the controls that name it (NamedControl), and its text
  // is its value. Otherwise the caption is the name.
  bool field = false;
  // The caption marks its accelerator with "&" and is shown without the marks.
  bool captionMarked = true;
};

class TControl : public TComponent {
  TW_PUBLISHED_CLASS(TControl, TComponent)

 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  // Leaves the parent (and drops every reference the application holds to this
  // control) while the whole object exists.
  void BeforeFree() override;

  // ---- Messages ----
  // Builds a message and passes it to ControlProc; the result. A null control
  // answers 0.
  std::intptr_t Deliver(std::uint32_t msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
  static std::intptr_t Deliver(TControl* control, std::uint32_t msg, std::uintptr_t wParam = 0,
                               std::intptr_t lParam = 0);
  // Replaceable entry point for every message to this control; unset means
  // WndProc. A replacement usually records and then calls WndProc.
  TMessageEvent ControlProc;
  void RunControlProc(TMessage& message);
  // The common handling, then index dispatch.
  virtual void WndProc(TMessage& message);
  // Without a window: the stored text answers the text messages.
  void DefaultHandler(TMessage& message) override;
  // Passes a message to the handlers of the ancestors of the given class.
  void PassToAncestors(const TClassInfo& ofClass, TMessage& message) {
    DispatchFromClass(ofClass.parent, *this, message);
  }

  // ---- Tree ----
  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  // True for forms (TCustomForm overrides it).
  virtual bool IsForm() const { return false; }
  // True when this control or one of its ancestors is the given control.
  bool IsWithin(const TControl* ancestor) const;

  // ---- Bounds ----
  std::int32_t Left() const { return left_; }
  std::int32_t Top() const { return top_; }
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  void SetLeft(std::int32_t value);
  void SetTop(std::int32_t value);
  void SetWidth(std::int32_t value);
  void SetHeight(std::int32_t value);
  RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  virtual void PlaceControl(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
  virtual RECT ClientRect();
  // A windowed control makes its window to answer: a window made on demand is
  // not a change a reader of the value sees, so these are const.
  std::int32_t ClientWidth() const { return const_cast<TControl*>(this)->ClientRect().right; }
  std::int32_t ClientHeight() const { return const_cast<TControl*>(this)->ClientRect().bottom; }
  void SetClientWidth(std::int32_t value);
  void SetClientHeight(std::int32_t value);
  // Client coordinates of this control to the screen and back.
  virtual POINT ClientOrigin();
  POINT ClientToScreen(POINT point);
  POINT ScreenToClient(POINT point);

  // ---- State and looks ----
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool value);
  // The text of the window when there is one (so it is read through the
  // window's messages), else the stored one.
  std::string Text() const;
  void SetText(std::string_view text);
  std::string Caption() const { return Text(); }
  void SetCaption(std::string_view text) { SetText(text); }
  TFont* Font() const { return font_.get(); }
  void SetFont(const TFont* font);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string value) { hint_ = std::move(value); }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool value);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor value);

  // ---- Accessibility ----
  virtual TAccessibleTraits AccessibleTraits() const;
  // The control this one names for a screen reader (a label's FocusControl),
  // or none.
  virtual TWinControl* NamedControl() const { return nullptr; }

  TControlStyle ControlStyle;
  TControlState ControlState;
  TScalingFlags ScalingFlags;

  // ---- Events ----
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;
  // The click behaviour: OnClick if set.
  virtual void FireClick();
  virtual void DblClick();

  // ---- Painting ----
  virtual void Invalidate();
  void Update();
  void Repaint();
  // The changed notification (FM_CHANGED up the tree).
  void Changed();

  // A control being read from a form resource, or with a reading ancestor.
  bool Reading() const { return HasState(stReading) || ControlState.Contains(csReadingState); }

  // ---- Streaming ----
  void SetStreamParent(TComponent* parent) override;
  TComponent* StreamParentOf() const override;
  bool HasStreamParent() const override { return true; }
  void ReadStateFrom(TReader& reader) override;
  void AfterLoad() override;
  void Rename(std::string_view newName) override;

 protected:
  // Published property groups the concrete classes share: Color with
  // ParentColor, and the mouse events (OnMouseDown, OnMouseMove, OnMouseUp,
  // with OnClick and OnDblClick when asked).
  template <class P>
  static void PublishColor(P& p);
  template <class P>
  static void PublishMouseEvents(P& p, bool clicks);

  // Size follows the content (labels); nothing by default.
  virtual void AdjustSize() {}
  // The font object changed: the control no longer follows its parent's
  // font, a new height marks the font for scaling, and FM_FONTCHANGED follows.
  void FontChanged(TObject* sender);
  // Invalidates the control's rectangle in its parent.
  void InvalidateInParent(const RECT& rect, bool opaque);
  void SendParentNotices();
  // Sets one of the parent-following flags; true delivers the parent-changed message.
  void SetParentFlag(bool& flag, bool value, std::uint32_t parentChanged);

  // Handlers of the messages every control answers.
  void WMLButtonDown(TMessage& m);
  void WMLButtonUp(TMessage& m);
  void WMOtherButtonDown(TMessage& m);
  void WMOtherButtonUp(TMessage& m);
  void WMMouseMove(TMessage& m);
  void WMLButtonDblClk(TMessage& m);
  void FMParentFontChanged(TMessage& m);
  void FMParentColorChanged(TMessage& m);
  void FMParentShowHintChanged(TMessage& m);
  void FMHitTest(TMessage& m);
  void FMVisibleChanged(TMessage& m);
  void FMEnabledChanged(TMessage& m);
  void FMFontChanged(TMessage& m);
  void FMColorChanged(TMessage& m);
  void FMTextChanged(TMessage& m);
  void WMWindowPosChanged(TMessage& m);

 private:
  // Places the control with one bound changed and marks that bound written.
  void PlaceWritten(TScalingFlag written, std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
  // The framework's references to a control that goes are dropped: the
  // control holding the mouse, and the host's.
  void ForgetEverywhere();
  // Marks the control as being read until the returned guard ends, then
  // leaves the mark as it was.
  TScopeExit<std::function<void()>> MarkReading();

  friend class TWinControl;

  // The graphic control that holds the mouse (its parent's window has the
  // capture), or none.
  static inline TControl* captureControl_ = nullptr;

  TWinControl* parent_ = nullptr;
  std::int32_t left_ = 0;
  std::int32_t top_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  std::string text_;
  std::unique_ptr<TFont> font_;
  // The font's height when its change step last ran: only a new height marks
  // the font for scaling.
  std::int32_t fontHeight_ = 0;
  bool parentFont_ = true;
  TColor color_ = clWindow;
  bool parentColor_ = true;
  std::string hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  TCursor cursor_ = 0;
};

// The form at the top of the control's parent chain, as a windowed control.
// As a form: ParentForm (ui/Forms.h), where forms are known.
TWinControl* ParentFormControl(const TControl* control);

// The published property groups.
template <class P>
void TControl::PublishColor(P& p) {
  using Self = typename P::Class;
  p.template Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(ParentColor, &Self::ParentColor, &Self::SetParentColor);
}

template <class P>
void TControl::PublishMouseEvents(P& p, bool clicks) {
  using Self = typename P::Class;
  if (clicks) {
    TW_PROPERTY(OnClick, &Self::OnClick, &Self::OnClick);
    TW_PROPERTY(OnDblClick, &Self::OnDblClick, &Self::OnDblClick);
  }
  TW_PROPERTY(OnMouseDown, &Self::OnMouseDown, &Self::OnMouseDown);
  TW_PROPERTY(OnMouseMove, &Self::OnMouseMove, &Self::OnMouseMove);
  TW_PROPERTY(OnMouseUp, &Self::OnMouseUp, &Self::OnMouseUp);
}

}  // namespace tw
