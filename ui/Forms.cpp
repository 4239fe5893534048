#include "ui/Forms.h"

#include <algorithm>
#include <utility>

#include "core/ClassRegistry.h"
#include "core/FormLoading.h"
#include "runtime/Exceptions.h"
#include "runtime/ScopeExit.h"
#include "runtime/Text.h"
#include "ui/Menus.h"
#include "ui/SystemInfo.h"
#include "ui/TaskWindows.h"

namespace tw {

int& FocusChangeCounter() {
  static int counter = 0;
  return counter;
}

TW_ENUMERATION(TFormBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin")
TW_ENUMERATION(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
TW_ENUMERATION(TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
               "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter")
TW_ENUMERATION(TWindowState, "wsNormal", "wsMinimized", "wsMaximized")
TW_ENUMERATION(TFormStyle, "fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop")
TW_ENUMERATION(TDefaultMonitor, "dmDesktop", "dmPrimary", "dmMainForm", "dmActiveForm")

namespace {

// The announcer of the form being made through TFormAnnouncement, if any.
thread_local const std::function<void(TCustomForm*)>* formAnnouncer = nullptr;

// What a form asks of the program goes through the control host: the
// application sits above the forms and is not named here.
void TellFormsChanged() {
  if (TControlHost* host = ControlHost()) host->FormsChanged();
}

TCustomForm* ProgramPrimaryForm() {
  TControlHost* host = ControlHost();
  return host ? host->PrimaryForm() : nullptr;
}

// Without a program around them (the tree alone) modal loops read the
// thread's queue themselves; a quit met there is put back for the loop
// outside.
bool PumpModalMessage() {
  if (TControlHost* host = ControlHost()) return host->PumpModalMessage();
  MSG msg;
  if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return false;
}

// Integer halving towards zero with negative results clamped to 0.
int HalfClamped(int value) { return std::max(value / 2, 0); }

}  // namespace

TFormAnnouncement::TFormAnnouncement(const std::function<void(TCustomForm*)>& announce)
    : previous_(std::exchange(formAnnouncer, &announce)) {}

TFormAnnouncement::~TFormAnnouncement() { formAnnouncer = previous_; }

// Only a form answers IsForm, so the top of the chain is one.
TCustomForm* ParentForm(const TControl* control) { return static_cast<TCustomForm*>(ParentFormControl(control)); }

void InstallGlobalFormFinder() {
  SetGlobalComponentFinder([](std::string_view name) -> TComponent* {
    TScreen* const screen = Screen();
    if (!screen) return nullptr;
    for (TCustomForm* form : screen->Forms())
      if (!form->HasState(stInline) && SameAsciiText(form->Name(), name)) return form;
    return nullptr;
  });
}

// ---- TCustomForm ---------------------------------------------------------------------

void TCustomForm::Publish(Publisher& p) {
  TW_PROPERTY(BorderStyle, &Self::BorderStyle, &Self::SetBorderStyle);
  TW_PROPERTY(BorderIcons, &Self::BorderIcons, &Self::SetBorderIcons);
  TW_PROPERTY(Position, &Self::Position, &Self::SetPosition);
  TW_PROPERTY(WindowState, &Self::WindowState, &Self::SetWindowState);
  TW_PROPERTY(FormStyle, &Self::FormStyle, &Self::SetFormStyle);
  TW_PROPERTY(DefaultMonitor, &Self::DefaultMonitor, &Self::SetDefaultMonitor);
  TW_PROPERTY(ActiveControl, &Self::ActiveControl, &Self::SetActiveControl);
  TW_PROPERTY(OldCreateOrder, &Self::OldCreateOrder, &Self::SetOldCreateOrder);
  TW_PROPERTY(PixelsPerInch, &Self::PixelsPerInch, &Self::SetPixelsPerInch);
  TW_PROPERTY(TextHeight, &Self::TextHeight, &Self::SetTextHeight);
  p.Property<&Self::ClientWidth, &Self::SetFormClientWidth>("ClientWidth");
  p.Property<&Self::ClientHeight, &Self::SetFormClientHeight>("ClientHeight");
  TW_PROPERTY(KeyPreview, &Self::KeyPreview, &Self::SetKeyPreview);
  TW_PROPERTY(Menu, &Self::Menu, &Self::SetMenu);
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  PublishColor(p);
  p.Property<&Self::Visible, &Self::SetFormVisible>("Visible");
  TW_PROPERTY(OnCreate, &Self::OnCreate, &Self::OnCreate);
  TW_PROPERTY(OnDestroy, &Self::OnDestroy, &Self::OnDestroy);
  TW_PROPERTY(OnShow, &Self::OnShow, &Self::OnShow);
  TW_PROPERTY(OnHide, &Self::OnHide, &Self::OnHide);
  TW_PROPERTY(OnActivate, &Self::OnActivate, &Self::OnActivate);
  TW_PROPERTY(OnDeactivate, &Self::OnDeactivate, &Self::OnDeactivate);
  TW_PROPERTY(OnPaint, &Self::OnPaint, &Self::OnPaint);
  TW_PROPERTY(OnClose, &Self::OnClose, &Self::OnClose);
  TW_PROPERTY(OnCloseQuery, &Self::OnCloseQuery, &Self::OnCloseQuery);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::OnClick);
  TW_MESSAGE(WM_CLOSE, WMClose);
  TW_MESSAGE(WM_ACTIVATE, WMActivate);
  TW_MESSAGE(WM_COMMAND, WMCommand);
  TW_MESSAGE(WM_SYSCOMMAND, WMSysCommand);
  TW_MESSAGE(WM_INITMENUPOPUP, WMInitMenuPopup);
  TW_MESSAGE(WM_MENUCHAR, WMMenuChar);
  TW_MESSAGE(WM_NCCREATE, WMNCCreate);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
  TW_MESSAGE(FM_ACTIVATE, FMActivate);
  TW_MESSAGE(FM_DEACTIVATE, FMDeactivate);
  TW_MESSAGE(FM_DIALOGKEY, FMDialogKey);
  TW_MESSAGE(FM_RELEASE, FMRelease);
  TW_MESSAGE(FM_MENUCHANGED, FMMenuChanged);
}

void TForm::Publish(Publisher&) {}

TCustomForm::TCustomForm(TComponent* owner) : TCustomControl(owner) {
  TScreen* const screen = Screen();
  // Only the outermost form being made hears of itself: a form its
  // constructor makes in turn is not announced.
  if (const auto* announce = std::exchange(formAnnouncer, nullptr)) (*announce)(this);
  ControlStyle = {csAcceptsChildren, csCapturesMouse, csClickEvents, csSetsCaption, csDoubleClicks, csPaintsItself};
  PlaceControl(0, 0, 320, 240);
  SetVisible(false);
  SetParentColor(false);
  SetParentFont(false);
  SetCtl3D(true);
  pixelsPerInch_ = screen ? screen->PixelsPerInch() : ScreenPixelsPerInch();
  if (screen) screen->AddCustomForm(this);
  TellFormsChanged();
}

TCustomForm::~TCustomForm() {
  TScreen* const screen = Screen();
  if (screen && !BeforeFreeDone()) screen->RemoveForm(this);
}

void TCustomForm::BeforeFree() {
  TScreen* const screen = Screen();
  MarkDestroying();
  {
    TNameSpaceLock::WriteGuard hold(NameSpaceLock());
    if (screen) screen->ForgetSavedFocus(this);
    if (HandleAllocated() && !Parent()) ShowWindow(WindowHandle(), SW_HIDE);
    GuardCallback(this, [&] { OnDestroy(this); });
  }
  if (menu_ && HandleAllocated()) {
    // The bar leaves the window before either goes, so no native menu is
    // destroyed twice.
    ::SetMenu(WindowHandle(), nullptr);
    menu_->SetWindowHandle(nullptr);
  }
  TCustomControl::BeforeFree();
  if (screen) screen->RemoveForm(this);
  TellFormsChanged();
}

void TCustomForm::FinishConstruction() {
  // On failure the form leaves the screen's lists and the owner's components
  // and loses its window before the error goes on; nothing refers to it then.
  TScopeFail free([this] { FreeIfPresent(this); });
  // Only now does the class query answer the most derived class, and the
  // form must be found by name before its own resource is read.
  JoinFormList();
  if (&ClassType() != &TForm::StaticClassInfo() && &ClassType() != &TCustomForm::StaticClassInfo()) {
    bool found = false;
    {
      formState_.Include(FormCreating);
      const TScopeExit created([this] { formState_.Exclude(FormCreating); });
      found = LoadInheritedResources(*this, TForm::StaticClassInfo());
    }
    if (!found) throw EResNotFound(msg::ResNotFound, {ClassName()});
  }
  constructed_ = true;
  RunCreateNotification();
  if (formState_.Contains(FormActivated)) {
    formState_.Exclude(FormActivated);
    GuardCallback(this, [&] { OnActivate(this); });
  }
  free.Dismiss();
}

void TCustomForm::RunCreateNotification() {
  GuardCallback(this, [&] { OnCreate(this); });
  if (formState_.Contains(FormVisiblePending)) {
    formState_.Exclude(FormVisiblePending);
    SetVisible(true);
  }
}

void TCustomForm::SetFormVisible(bool value) {
  if (formState_.Contains(FormCreating)) {
    if (value)
      formState_.Include(FormVisiblePending);
    else
      formState_.Exclude(FormVisiblePending);
    return;
  }
  SetVisible(value);
}

void TCustomForm::JoinFormList() {
  TScreen* const screen = Screen();
  if (screen) screen->AddToFormList(this, InheritsFrom(TForm::StaticClassInfo()));
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
  if (!ChangeField(borderStyle_, value)) return;
  if (HandleAllocated() && !Reading()) RecreateWindow();
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
  if (!ChangeField(borderIcons_, value)) return;
  if (HandleAllocated() && !Reading()) RecreateWindow();
}

void TCustomForm::SetWindowState(TWindowState value) {
  if (!ChangeField(windowState_, value)) return;
  if (HandleAllocated() && IsShowing()) {
    static constexpr int commands[] = {SW_SHOWNORMAL, SW_MINIMIZE, SW_SHOWMAXIMIZED};
    ShowWindow(WindowHandle(), commands[value]);
  }
}

// ---- Window ----

void TCustomForm::CreateParams(TCreateParams& p) {
  TCustomControl::CreateParams(p);
  if (!Parent() && !ParentWindow()) {
    TControlHost* host = ControlHost();
    p.parent = host ? host->OwnerWindow() : nullptr;
    // A top-level form is no child and takes no part in dialog navigation.
    p.style &= ~static_cast<DWORD>(WS_CHILD | WS_GROUP | WS_TABSTOP);
  }
  p.windowClass.style = CS_DBLCLKS;
  if (position_ == poDefault || position_ == poDefaultPosOnly) p.x = p.y = static_cast<int>(CW_USEDEFAULT);
  TFormBorderStyle border = borderStyle_;
  if (formStyle_ == fsMDIChild && (border == bsNone || border == bsDialog)) border = bsSizeable;
  TBorderIcons icons = borderIcons_;
  switch (border) {
    case bsNone:
      if (!Parent() && !ParentWindow()) p.style |= WS_POPUP;
      icons = {};
      break;
    case bsSingle:
    case bsToolWindow: p.style |= WS_CAPTION; break;
    case bsSizeable:
    case bsSizeToolWin:
      p.style |= WS_CAPTION | WS_THICKFRAME;
      if (position_ == poDefault || position_ == poDefaultSizeOnly)
        p.width = p.height = static_cast<int>(CW_USEDEFAULT);
      break;
    case bsDialog:
      p.style |= WS_POPUP | WS_CAPTION;
      p.exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      if (!NewStyleControls()) p.style |= WS_DLGFRAME | DS_MODALFRAME;
      icons = TBorderIcons::FromBits(icons.Bits() & TBorderIcons{biSystemMenu, biHelp}.Bits());
      p.windowClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
      break;
  }
  if (border == bsToolWindow || border == bsSizeToolWin) {
    p.exStyle |= WS_EX_TOOLWINDOW;
    icons = TBorderIcons::FromBits(icons.Bits() & TBorderIcons{biSystemMenu}.Bits());
  }
  if (border == bsDialog || border == bsToolWindow || border == bsSizeToolWin) {
    windowState_ = wsNormal;
  } else {
    if (formStyle_ != fsMDIChild || icons.Contains(biSystemMenu)) {
      if (icons.Contains(biMinimize)) p.style |= WS_MINIMIZEBOX;
      if (icons.Contains(biMaximize)) p.style |= WS_MAXIMIZEBOX;
    }
    if (windowState_ == wsMinimized) p.style |= WS_MINIMIZE;
    if (windowState_ == wsMaximized) p.style |= WS_MAXIMIZE;
  }
  if (icons.Contains(biSystemMenu)) p.style |= WS_SYSMENU;
  if (icons.Contains(biHelp)) p.exStyle |= WS_EX_CONTEXTHELP;
}

void TCustomForm::WMNCCreate(TMessage& m) {
  DefaultHandler(m);
  AttachMenu();
  if (borderStyle_ == bsNone || !borderIcons_.Contains(biSystemMenu) || formStyle_ == fsMDIChild) return;
  HMENU system = GetSystemMenu(WindowHandle(), FALSE);
  if (!system) return;
  if (borderStyle_ == bsDialog) {
    DeleteMenu(system, SC_TASKLIST, MF_BYCOMMAND);
    DeleteMenu(system, 7, MF_BYPOSITION);
    DeleteMenu(system, 5, MF_BYPOSITION);
    for (UINT command : {SC_MAXIMIZE, SC_MINIMIZE, SC_SIZE, SC_RESTORE}) DeleteMenu(system, command, MF_BYCOMMAND);
  } else {
    if (!borderIcons_.Contains(biMinimize)) EnableMenuItem(system, SC_MINIMIZE, MF_BYCOMMAND | MF_GRAYED);
    if (!borderIcons_.Contains(biMaximize)) EnableMenuItem(system, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
  }
}

void TCustomForm::CreateWnd() {
  TCustomControl::CreateWnd();
  if (formStyle_ == fsStayOnTop)
    SetWindowPos(WindowHandle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TCustomForm::SetMenu(TMainMenu* menu) {
  TScreen* const screen = Screen();
  if (menu == menu_) return;
  if (menu && screen)
    for (TCustomForm* other : screen->Forms())
      if (other != this && other->menu_ == menu) throw EInvalidOperation(msg::MenuInUse, {menu->Name()});
  if (menu_) {
    menu_->SetWindowHandle(nullptr);
    if (menu_->Owner() != this) menu_->CancelFreeNotice(*this);
  }
  menu_ = menu;
  if (menu_ && menu_->Owner() != this) menu_->RequestFreeNotice(*this);
  if (!Reading()) AttachMenu();
}

void TCustomForm::AttachMenu() {
  if (!HandleAllocated()) return;
  HWND window = WindowHandle();
  if (!menu_ || borderStyle_ == bsDialog) {
    if (GetMenu(window)) ::SetMenu(window, nullptr);
    return;
  }
  HMENU bar = menu_->Handle();
  // The new bar is attached before the old one is let go; the window keeps
  // its size.
  if (GetMenu(window) != bar) ::SetMenu(window, bar);
  menu_->SetWindowHandle(window);
}

void TCustomForm::FMMenuChanged(TMessage&) { AttachMenu(); }

void TCustomForm::ComponentNotice(TComponent* c, TOwnershipEvent event) {
  TCustomControl::ComponentNotice(c, event);
  if (event != oeRemove || !c) return;
  if (c == menu_) {
    if (HandleAllocated() && !HasState(stDestroying)) ::SetMenu(WindowHandle(), nullptr);
    menu_ = nullptr;
  }
  if (c == activeControl_) activeControl_ = nullptr;
  if (c == focusedControl_) focusedControl_ = nullptr;
}

// ---- Showing ----

void TCustomForm::ShowingChanged() {
  if (inShowingChange_) throw EInvalidOperation(msg::VisibleChanged);
  const TFlagScope changing(inShowingChange_);
  formState_.Include(FormShowing);
  const TScopeExit shown([this] { formState_.Exclude(FormShowing); });
  TellFormsChanged();
  if (IsShowing()) {
    GuardCallback(this, [&] { OnShow(this); });
    PlaceOnFirstShow();
    static constexpr int commands[] = {SW_SHOWNORMAL, SW_SHOWMINNOACTIVE, SW_SHOWMAXIMIZED};
    ShowWindow(WindowHandle(), commands[windowState_]);
  } else {
    GuardCallback(this, [&] { OnHide(this); });
    HWND window = WindowHandle();
    constexpr UINT hide = SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (formState_.Contains(FormModal)) {
      SetWindowPos(window, nullptr, 0, 0, 0, 0, hide);
    } else if (GetActiveWindow() == window && !IsIconic(window)) {
      if (HWND next = FindTopmostTaskWindow(window)) {
        SetWindowPos(window, nullptr, 0, 0, 0, 0, hide);
        SetActiveWindow(next);
      } else {
        ShowWindow(window, SW_HIDE);
      }
    } else {
      ShowWindow(window, SW_HIDE);
    }
  }
}

void TCustomForm::PlaceOnFirstShow() {
  if (position_ == poDesigned || position_ == poDefault || position_ == poDefaultPosOnly ||
      position_ == poDefaultSizeOnly) {
    if (position_ != poDesigned) position_ = poDesigned;
    return;
  }
  int left = Left(), top = Top();
  TCustomForm* center = nullptr;
  if (position_ == poMainFormCenter) center = ProgramPrimaryForm();
  if (position_ == poOwnerFormCenter) {
    center = dynamic_cast<TCustomForm*>(Owner());
    if (!center) center = ProgramPrimaryForm();
  }
  if (center == this) center = nullptr;
  if (center) {
    // The halving of a negative difference truncates towards zero; the result
    // is kept on the screen's left and top edges.
    left = std::max((center->Width() - Width()) / 2 + center->Left(), 0);
    top = std::max((center->Height() - Height()) / 2 + center->Top(), 0);
  } else if (position_ == poDesktopCenter) {
    left = HalfClamped(GetSystemMetrics(SM_CXVIRTUALSCREEN) - Width());
    top = HalfClamped(GetSystemMetrics(SM_CYVIRTUALSCREEN) - Height());
  } else {
    left = HalfClamped(GetSystemMetrics(SM_CXSCREEN) - Width());
    top = HalfClamped(GetSystemMetrics(SM_CYSCREEN) - Height());
  }
  PlaceControl(left, top, Width(), Height());
  position_ = poDesigned;
}

void TCustomForm::ShowForm() {
  SetVisible(true);
  if (HandleAllocated()) SetWindowPos(WindowHandle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TCustomForm::HideForm() { SetVisible(false); }

// ---- Modal loop and closing ----

TModalResult TCustomForm::RunModal() {
  TScreen* const screen = Screen();
  if (Visible() || !Enabled() || formState_.Contains(FormModal) || formStyle_ == fsMDIChild)
    throw EInvalidOperation(msg::CannotShowModal);
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  formState_.Include(FormModal);
  HWND activeWindow = GetActiveWindow();
  const int savedCounter = FocusChangeCounter();
  if (screen) screen->SaveFocusFor(this);
  const TCursor savedCursor = screen ? screen->Cursor() : 0;
  const int savedCursorCount = screen ? screen->CursorCount() : 0;
  if (screen) screen->SetCursor(0);
  TDisabledWindows disabled = DisableTaskWindows(nullptr);
  TModalResult result = 0;
  auto cleanUp = [&] {
    if (screen) screen->SetCursor(screen->CursorCount() == savedCursorCount ? savedCursor : 0);
    EnableTaskWindows(disabled);
    if (screen) screen->RestoreFocus();
    if (activeWindow && IsWindow(activeWindow)) SetActiveWindow(activeWindow);
    FocusChangeCounter() = savedCounter;
    formState_.Exclude(FormModal);
  };
  {
    TScopeFail undoModal(cleanUp);
    ShowForm();
    {
      TScopeFail hide([this] { HideForm(); });
      SendMessageA(WindowHandle(), FM_ACTIVATE, 0, 0);
      modalResult_ = 0;
      do {
        if (PumpModalMessage())
          modalResult_ = mrCancel;
        else if (modalResult_ != 0)
          EndModalStep();
      } while (modalResult_ == 0);
      result = modalResult_;
      SendMessageA(WindowHandle(), FM_DEACTIVATE, 0, 0);
      if (GetActiveWindow() != WindowHandle()) activeWindow = nullptr;
      hide.Dismiss();
    }
    HideForm();
    undoModal.Dismiss();
  }
  cleanUp();
  return result;
}

void TCustomForm::EndModalStep() {
  try {
    TCloseAction action = CloseNone;
    if (QueryClose()) {
      action = CloseHide;
      OnClose(this, action);
    }
    if (action == CloseNone)
      modalResult_ = 0;
    else if (action == CloseFree)
      ReleaseLater();
  } catch (...) {
    modalResult_ = 0;
    HandleUncaughtException(this);
  }
}

bool TCustomForm::QueryClose() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::CloseForm() {
  if (formState_.Contains(FormModal)) {
    modalResult_ = mrCancel;
    return;
  }
  if (!QueryClose()) return;
  TCloseAction action =
      formStyle_ == fsMDIChild ? (borderIcons_.Contains(biMinimize) ? CloseMinimize : CloseNone) : CloseHide;
  OnClose(this, action);
  if (action == CloseNone) return;
  if (ProgramPrimaryForm() == this) {
    ControlHost()->PrimaryFormClosed();
    return;
  }
  if (action == CloseHide)
    HideForm();
  else if (action == CloseMinimize)
    SetWindowState(wsMinimized);
  else
    ReleaseLater();
}

void TCustomForm::ReleaseLater() { PostMessageA(Handle(), FM_RELEASE, 0, 0); }

void TCustomForm::FMRelease(TMessage&) { FreeIfPresent(this); }

void TCustomForm::WMClose(TMessage&) { CloseForm(); }

// ---- Activation and focus ----

void TCustomForm::WMActivate(TMessage& m) {
  // No default processing: it would focus the form's own window first, and
  // that focus sequence clears the active control, so a form activated again
  // (after a modal box, say) would focus its first control instead of the one
  // the user left. The form moves the focus itself.
  if (formStyle_ == fsMDIForm) {
    DefaultHandler(m);
    return;
  }
  SetActive(LOWORD(m.wParam) != WA_INACTIVE);
}

void TCustomForm::SetActive(bool value) {
  active_ = value;
  if (!value) return;
  if (!activeControl_) {
    if (TWinControl* first = FindNextInTabOrder(nullptr, true, true, false)) activeControl_ = first;
  }
  TWinControl* target = activeControl_ && activeControl_->CanTakeFocus() ? activeControl_ : nullptr;
  HWND window = target ? target->Handle() : WindowHandle();
  if (GetFocus() != window) ::SetFocus(window);
  if (target) target->Deliver(FM_UIACTIVATE);
}

void TCustomForm::FMActivate(TMessage&) {
  if (Reading() || formState_.Contains(FormCreating) || !constructed_)
    formState_.Include(FormActivated);
  else
    OnActivate(this);
}

void TCustomForm::FMDeactivate(TMessage&) {
  if (Reading() || formState_.Contains(FormCreating) || !constructed_)
    formState_.Exclude(FormActivated);
  else
    OnDeactivate(this);
}

void TCustomForm::SetActiveControl(TWinControl* control) {
  if (control == activeControl_) return;
  if (control) {
    const bool loading = HasState(stLoading) || Reading();
    if (control == this || ParentFormControl(control) != this || (!loading && !control->CanTakeFocus()))
      throw EInvalidOperation(msg::CannotFocus);
  }
  activeControl_ = control;
  if (!HasState(stLoading) && !Reading() && active_ && control) ::SetFocus(control->Handle());
}

bool TCustomForm::CanTakeFocus() { return Visible() && Enabled(); }

void TCustomForm::TakeFocus() {
  if (!Visible() || !Enabled()) throw EInvalidOperation(msg::CannotFocus);
  HWND window = Handle();
  SetActiveWindow(window);
  if (GetActiveWindow() == window && !active_) SetActive(true);
  if (!activeControl_) ::SetFocus(window);
}

void TCustomForm::FocusControl(TWinControl* control) {
  SetActiveControl(control);
  if (!active_) TakeFocus();
}

void TCustomForm::DefocusControl(TWinControl* control, bool removing) {
  TScreen* const screen = Screen();
  if (!control) return;
  // A control that goes takes the focus record up to its parent; one that
  // only loses the focus clears it.
  if (removing && focusedControl_ && focusedControl_->IsWithin(control)) focusedControl_ = control->Parent();
  if (focusedControl_ == control) focusedControl_ = nullptr;
  if (activeControl_ && activeControl_->IsWithin(control)) {
    const bool hadFocus =
        HandleAllocated() && activeControl_->HandleAllocated() && GetFocus() == activeControl_->WindowHandle();
    activeControl_ = nullptr;
    if (hadFocus && active_ && !HasState(stDestroying)) ::SetFocus(WindowHandle());
  }
  if (screen) screen->ForgetControl(control);
}

bool TCustomForm::SetFocusedControl(TWinControl* control) {
  TScreen* const screen = Screen();
  int& counter = FocusChangeCounter();
  ++counter;
  const int start = counter;
  TWinControl* previous = focusedControl_;
  activeControl_ = control == this ? nullptr : control;
  if (screen) screen->SetFocus(this, activeControl_);
  if (control->ControlState.Contains(csFocusing)) return false;
  control->ControlState.Include(csFocusing);
  const TScopeExit focused([control] { control->ControlState.Exclude(csFocusing); });
  if (screen && screen->FocusedForm() != this) {
    if (TCustomForm* old = screen->FocusedForm()) {
      screen->SetFocusedForm(nullptr);
      old->Deliver(FM_DEACTIVATE);
      if (counter != start) return false;
    }
    screen->SetFocusedForm(this);
    Deliver(FM_ACTIVATE);
    if (counter != start) return false;
  }
  // Leave up to the common container, then enter down to the new control.
  // The record moves before each step's handlers run, so that a focus change
  // they start begins where this one stands and no control is left twice.
  if (!previous) previous = this;
  while (previous && !control->IsWithin(previous)) {
    TWinControl* leaving = previous;
    previous = previous->Parent();
    focusedControl_ = previous ? previous : this;
    leaving->Deliver(FM_EXIT);
    if (counter != start) return false;
  }
  focusedControl_ = previous ? previous : this;
  while (focusedControl_ != control) {
    TWinControl* step = control;
    while (step->Parent() != focusedControl_) step = step->Parent();
    focusedControl_ = step;
    step->Deliver(FM_ENTER);
    if (counter != start) return false;
  }
  Deliver(FM_FOCUSCHANGED, 0, reinterpret_cast<std::intptr_t>(control));
  if (screen) {
    screen->OnActiveControlChange(screen);
  }
  return true;
}

void TCustomForm::CancelModes(TControl* pressed) {
  if (active_ && activeControl_) activeControl_->Deliver(FM_CANCELMODE, 0, reinterpret_cast<std::intptr_t>(pressed));
}

bool TCustomForm::IsShortCut(TMessage& key) {
  bool handled = false;
  OnShortCut(key, handled);
  if (handled) return true;
  return menu_ && HandleAllocated() && menu_->IsShortCut(key.msg, key.wParam, key.lParam);
}

void TCustomForm::FMDialogKey(TMessage& m) {
  if (GetKeyState(VK_MENU) >= 0) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (m.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
      FocusNextInTabOrder(activeControl_, !shift, true);
      m.result = 1;
      return;
    }
    if (m.wParam >= VK_LEFT && m.wParam <= VK_DOWN && activeControl_) {
      if (TWinControl* container = activeControl_->Parent())
        container->FocusNextInTabOrder(activeControl_, m.wParam == VK_RIGHT || m.wParam == VK_DOWN, false);
      m.result = 1;
      return;
    }
  }
  BroadcastToChildren(m);
}

void TCustomForm::WMCommand(TMessage& m) {
  if (m.lParam == 0 && menu_ && menu_->DispatchCommand(LOWORD(m.wParam))) return;
  PassToAncestors(TCustomForm::StaticClassInfo(), m);
}

void TCustomForm::WMSysCommand(TMessage& m) {
  if ((m.wParam & kSysCommandMask) == SC_MINIMIZE && ProgramPrimaryForm() == this) {
    ControlHost()->PrimaryFormMinimized();
    return;
  }
  DefaultHandler(m);
}

void TCustomForm::WMInitMenuPopup(TMessage& m) {
  if (menu_ && menu_->DispatchPopup(reinterpret_cast<HMENU>(m.wParam))) return;
  DefaultHandler(m);
}

void TCustomForm::WMMenuChar(TMessage& m) {
  if (menu_) {
    m.result = menu_->ProcessMenuChar(LOWORD(m.wParam), HIWORD(m.wParam), reinterpret_cast<HMENU>(m.lParam));
    if (m.result) return;
  }
  DefaultHandler(m);
}

void TCustomForm::WMEraseBkgnd(TMessage& m) {
  RECT r{};
  GetClientRect(WindowHandle(), &r);
  FillRect(reinterpret_cast<HDC>(m.wParam), &r, Brush()->Handle());
  m.result = 1;
}

void TCustomForm::Paint() { OnPaint(this); }

namespace {

// Hears of a modal form being freed while its loop runs, and frees it once
// the loop is over unless that happened.
class TModalFormWatch final : public TComponent {
 public:
  TModalFormWatch(TCustomForm& form, const std::function<void()>& forget)
      : TComponent(nullptr), form_(&form), forget_(forget) {}

  void Watch() { form_->RequestFreeNotice(*this); }

  void ComponentNotice(TComponent* c, TOwnershipEvent event) override {
    TComponent::ComponentNotice(c, event);
    if (event == oeRemove && c != nullptr && c == form_) {
      form_ = nullptr;
      forget_();
    }
  }

  // The slot is empty before the form goes, so that nothing the form's
  // destruction runs finds it there.
  void Finish() {
    TCustomForm* form = std::exchange(form_, nullptr);
    if (form == nullptr) return;
    forget_();
    form->CancelFreeNotice(*this);
    FreeIfPresent(form);
  }

 private:
  TCustomForm* form_;
  const std::function<void()>& forget_;
};

}  // namespace

TModalResult RunModalThenFree(TCustomForm& form, const std::function<void()>& forget) {
  TModalFormWatch watch(form, forget);
  TModalResult result = mrNone;
  try {
    watch.Watch();
    result = form.RunModal();
  } catch (...) {
    watch.Finish();
    throw;
  }
  watch.Finish();
  return result;
}

}  // namespace tw
