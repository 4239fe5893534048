// A windowed control: a control that owns a platform window, made lazily
// when it must show or its handle is asked for, and holds child controls.
// The window's life (its parameters, creation, binding to the object and
// destruction) is defined in ui/WinControlWindow.cpp; the rest of the class
// in ui/WinControl.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace tw {

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

  // A window's role is the platform's unless a class states its own.
  TAccessibleTraits AccessibleTraits() const override { return {}; }

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
  void WMGetObject(TMessage& m);
  void WMWindowPosChanged(TMessage& m);
  void WMSize(TMessage& m);
  void WMSysColorChange(TMessage& m);
  void WMContextMenu(TMessage& m);
  void WMCtlColor(TMessage& m);
  void FMCtlColor(TMessage& m);
  void FMShowingChanged(TMessage& m);
  void FMEnabledChanged(TMessage& m);
  void FMFontChanged(TMessage& m);
  void FMColorChanged(TMessage& m);
  void FMShowHintChanged(TMessage& m);
  void FMVisibleChanged(TMessage& m);
  void FNKeyDown(TMessage& m);
  void FNChar(TMessage& m);
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
  // The creation procedure of every control class: binds the window being
  // made to its control, then hands over to StandardWindowProc.
  static LRESULT CALLBACK InitWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

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

// The control of the window at a screen point, or of its nearest ancestor
// window that belongs to one; none when no control's window is there.
TWinControl* ControlWindowAt(POINT screenPoint);
// The deepest control at a screen point, disabled ones included.
TControl* ControlAtScreenPoint(POINT screenPoint);

}  // namespace tw
