// The control tree: every visible element is a control with a parent, bounds,
// text, font, colour and hint settings. Windowed controls own a platform window,
// made lazily, and hold children; graphic controls have no window and are
// painted and fed the mouse by their windowed parent.
//
// Messages reach a control through Deliver (framework messages, synchronously)
// or through its window's procedure (platform messages). Both end in the
// control's ControlProc, by default WndProc, which does the common work and
// then dispatches by message number to the handler of the control's class or
// its nearest ancestor (TW_MESSAGE in Publish), else to DefaultHandler.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Component.h"
#include "graphics/Graphics.h"
#include "runtime/Fields.h"
#include "ui/Guard.h"
#include "ui/Messages.h"

namespace tw {

class TWinControl;
class TCustomForm;

enum TControlStyleFlag : std::uint8_t {
  csAcceptsChildren,
  csCapturesMouse,
  csClickEvents,
  csSetsCaption,
  csDoubleClicks,
  csFramed,
  csOpaque,
  csFixedWidth,
  csFixedHeight,
  csNoStdEvents,
  csReplicatable,
  csReflector,
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
  // The form at the top of the parent chain, or none.
  TCustomForm* ParentForm() const;
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
  // The text changed (FM_TEXTCHANGED after WM_SETTEXT).
  // Font, colour and hint changes that a class reacts to beyond the messages.
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
  // control holding the mouse, and the application's (through its hook).
  void ForgetEverywhere();

  friend class TWinControl;

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

// The parameters a windowed control asks the platform for.
struct TCreateParams {
  std::string caption;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  void* param = nullptr;
  WNDCLASSA windowClass{};
  char className[64] = {};
};

class TWinControl : public TControl {
  TW_PUBLISHED_CLASS(TWinControl, TControl)

 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  // Children leave and the window goes while the whole object exists.
  void BeforeFree() override;

  // ---- Window ----
  // The window, created (with its parents') when missing.
  HWND Handle();
  HWND WindowHandle() const { return handle_; }
  bool HandleAllocated() const { return handle_ != nullptr; }
  void EnsureWindow();
  void DestroyWindowHandle();
  void RecreateWindow();
  HWND ParentWindow() const { return parentWindow_; }
  void SetParentWindow(HWND window);
  bool IsShowing() const { return showing_; }
  void RecomputeShowing();

  // The control that owns a window (through the window property), or none.
  static TWinControl* FromHandle(HWND window);

  // ---- Children ----
  int ControlCount() const { return static_cast<int>(graphicChildren_.size() + windowedChildren_.size()); }
  // Graphic children first, then the windowed ones, each in insertion order.
  TControl* ControlAt(int index) const;
  const std::vector<TControl*>& GraphicChildren() const { return graphicChildren_; }
  const std::vector<TWinControl*>& WindowedChildren() const { return windowedChildren_; }
  const std::vector<TWinControl*>& TabList() const { return tabList_; }
  bool ContainsControl(const TControl* control) const { return control && control->IsWithin(this); }
  void AdoptChild(TControl& child);
  void ReleaseChild(TControl& child);
  // The deepest child at a point of the client area (disabled ones when asked).
  TControl* ControlAtPoint(POINT clientPoint, bool allowDisabled, bool allowWindowed = true);
  // Delivers the message to each child in index order until one answers non-zero.
  void BroadcastToChildren(TMessage& message);
  void NotifyChildren(std::uint32_t msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

  // ---- Tab order and focus ----
  std::int32_t TabOrder() const;
  void SetTabOrder(std::int32_t value);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value);
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool value);
  bool ParentCtl3D() const { return parentCtl3D_; }
  void SetParentCtl3D(bool value);
  // The tab list in order, each entry followed by its own tab-order list.
  void TabOrderList(std::vector<TWinControl*>& list) const;
  TWinControl* FindNextInTabOrder(TWinControl* current, bool forward, bool useTabStops, bool sameParent);
  void FocusNextInTabOrder(TWinControl* current, bool forward, bool useTabStops);
  virtual bool CanTakeFocus();
  virtual void TakeFocus();
  bool Focused() const { return handle_ && GetFocus() == handle_; }
  // Focus the first focusable control (with TabStop when there is one) and
  // make it the form's active control.
  void SelectFirst();

  TBrush* Brush() const { return brush_.get(); }

  // What a form does for its controls (a plain container does nothing): record
  // the control whose window got the focus (false when the focus moved on
  // meanwhile), make a control its active one and focus it, let go of a control
  // that can no longer hold the focus, check its shortcuts.
  virtual bool SetFocusedControl(TWinControl* control) {
    (void)control;
    return true;
  }
  virtual void FocusControl(TWinControl* control) { SetFocus(control->Handle()); }
  virtual void DefocusControl(TWinControl* control, bool removing) {
    (void)control;
    (void)removing;
  }
  // A press on the control: an active form tells its active control to give up
  // its modes (a dropped-down list closes).
  virtual void CancelModes(TControl* pressed) { (void)pressed; }
  virtual bool IsShortCut(TMessage& key) {
    (void)key;
    return false;
  }

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;

  void WndProc(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;
  void PlaceControl(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
  RECT ClientRect() override;
  POINT ClientOrigin() override;
  void Invalidate() override;
  void SetEnabled(bool value) override;
  void AfterLoad() override;
  void ReadStateFrom(TReader& reader) override;
  void PlaceChildAt(TComponent& child, int position) override;

  // Handle() for a const reader (a published property's getter): making the
  // window on demand is not a change the reader can see.
  HWND WindowMadeOnDemand() const { return const_cast<TWinControl*>(this)->Handle(); }

  // The window procedure of every control window.
  static LRESULT CALLBACK StandardWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  virtual void CreateParams(TCreateParams& params);
  // Takes a platform window class as the base of this control's class.
  void CreateSubClass(TCreateParams& params, const char* platformClass);
  // Registers the class and creates the window.
  virtual void CreateWindowHandle(const TCreateParams& params);
  // Creation as a whole: parameters, window, then the after-creation steps.
  virtual void CreateWnd();
  // Before the window goes: save what lives in the window.
  virtual void DestroyWnd();
  // The showing state changed (FM_SHOWINGCHANGED's default reaction).
  virtual void ShowingChanged();
  // Paint handler for a control that has children or paints itself.
  virtual void PaintWindow(HDC dc);
  void PaintHandler(TMessage& m);
  void PaintControls(HDC dc);
  // The procedure of the class the window was made from.
  WNDPROC DefaultWindowProc() const { return defWndProc_; }
  // The text kept while no window exists moves into the window on creation.
  std::string TakeStoredText();

  // Handlers.
  void WMPaint(TMessage& m);
  void WMCommand(TMessage& m);
  void WMNotify(TMessage& m);
  void WMOwnerItem(TMessage& m);
  void WMSetFocus(TMessage& m);
  void WMKillFocus(TMessage& m);
  void WMCancelMode(TMessage& m);
  void WMNCHitTest(TMessage& m);
  void WMNCDestroy(TMessage& m);
  void WMWindowPosChangedWin(TMessage& m);
  void WMSize(TMessage& m);
  void WMSysColorChange(TMessage& m);
  void WMContextMenu(TMessage& m);
  void WMCtlColor(TMessage& m);
  void FMCtlColor(TMessage& m);
  void FMShowingChanged(TMessage& m);
  void FMEnabledChangedWin(TMessage& m);
  void FMFontChangedWin(TMessage& m);
  void FMColorChangedWin(TMessage& m);
  void FMShowHintChangedWin(TMessage& m);
  void FMVisibleChangedWin(TMessage& m);
  void FMKeyDown(TMessage& m);
  void FMChar(TMessage& m);
  void FMDialogKey(TMessage& m);
  void FMChildKey(TMessage& m);
  void FMFocusChanged(TMessage& m);
  void FMEnter(TMessage& m);
  void FMExit(TMessage& m);
  void FMRecreateWnd(TMessage& m);
  void FMChanged(TMessage& m);
  // The bounds fields take the window's rectangle (in the parent's client
  // coordinates for a child window).
  void ReadBoundsFromWindow();
  // Runs the key event of a key message unless the control has no standard
  // events; false when the handler consumed the key (set it to 0).
  bool RunKeyEvent(TKeyEvent& event, TMessage& m);
  void WMKeyDown(TMessage& m);
  void WMKeyUp(TMessage& m);
  void WMChar(TMessage& m);

 private:
  friend class TControl;
  friend LRESULT CALLBACK InitWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  void InsertChild(TControl& child);
  // Recomputes the showing state when every ancestor shows and the top one is
  // a form or lives in a parent window.
  void UpdateControlState();
  void RemoveChild(TControl& child);
  void UpdateTabStopStyle();
  void ApplyStoredTabOrders();
  void BindWindow(HWND window);
  void UnbindWindow();

  HWND handle_ = nullptr;
  HWND parentWindow_ = nullptr;
  WNDPROC defWndProc_ = nullptr;
  bool showing_ = false;
  std::vector<TControl*> graphicChildren_;
  std::vector<TWinControl*> windowedChildren_;
  std::vector<TWinControl*> tabList_;
  std::int32_t storedTabOrder_ = -1;
  bool tabStop_ = false;
  bool ctl3D_ = true;
  bool parentCtl3D_ = true;
  std::unique_ptr<TBrush> brush_;
};

// A canvas that draws on a control: the control's device context, obtained on
// demand and released after each message.
class TControlCanvas : public TCanvas {
  TW_CLASS(TControlCanvas, TCanvas)

 public:
  explicit TControlCanvas(TControl* control) : control_(control) {}
  ~TControlCanvas() override;
  TControl* Control() const { return control_; }
  // Releases the context obtained by CreateHandle (not one lent by a paint).
  void ReleaseOwnContext();
  // Every control canvas that holds its own context releases it.
  static void ReleaseAllContexts();

 protected:
  void CreateHandle() override;

 private:
  TControl* control_;
  HDC ownDC_ = nullptr;
  HWND ownWindow_ = nullptr;
};

// Lends a device context to a canvas for the length of a scope: the canvas is
// locked and draws on the context until the scope ends, however it ends.
class TCanvasLoan {
 public:
  TCanvasLoan(TCanvas& canvas, HDC dc);
  ~TCanvasLoan();
  TCanvasLoan(const TCanvasLoan&) = delete;
  TCanvasLoan& operator=(const TCanvasLoan&) = delete;

 private:
  TCanvas& canvas_;
};

class TGraphicControl : public TControl {
  TW_PUBLISHED_CLASS(TGraphicControl, TControl)

 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void WMPaintGraphic(TMessage& m);

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// A windowed control that paints itself through its own canvas.
class TCustomControl : public TWinControl {
  TW_PUBLISHED_CLASS(TCustomControl, TWinControl)

 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// The creation procedure of every control class: binds the window being made
// to its control, then hands over to StandardWindowProc.
LRESULT CALLBACK InitWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The form at the top of the control's parent chain, as a windowed control.
TWinControl* ParentFormControl(const TControl* control);

// What the application object does for every control (it defines them): show
// each mouse move to the hint machinery; offer a key to the application's
// shortcut check (true when taken).
void HintMouseMove(TControl* control, TMessage& message);
bool ApplicationKeyDown(TMessage& key);

// The application's watch over controls: told when a control goes, so that no
// reference to it outlives it. The application installs it.
using TControlGoneHook = void (*)(TControl* control);
// Installs the hook; returns the previous one.
TControlGoneHook SetControlGoneHook(TControlGoneHook hook);
// The framework's focus-change counter (incremented by each focus sequence).
int& FocusChangeCounter();

// The atoms naming the window properties that map a window to its object.
void RegisterControlAtoms();
void DeleteControlAtoms();

// The one way from a window to the framework's object behind it: a window
// property named by one of the framework's atoms, one atom per kind of
// window. The window's user-data slot is left to whoever made the window.
enum class TWindowKind : std::uint8_t { Control, ComboPart, Application };
// Ties the window to the object (none: unties it).
void BindWindowObject(HWND window, TWindowKind kind, void* object);
// The object tied to the window as that kind, or none.
void* WindowObject(HWND window, TWindowKind kind);

// Marks the time the platform is calling into the framework. When the
// outermost scope ends, the device contexts control canvases took meanwhile
// are given back: the one place they are released.
class TCallbackScope {
 public:
  TCallbackScope();
  ~TCallbackScope();
  TCallbackScope(const TCallbackScope&) = delete;
  TCallbackScope& operator=(const TCallbackScope&) = delete;
};

// Every window, timer and hook procedure of the framework runs its body here:
// under the one guard, inside a callback scope.
template <class F>
void GuardWindowCallback(TObject* sender, F&& body) noexcept {
  TCallbackScope scope;
  GuardCallback(sender, std::forward<F>(body));
}

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
