// Forms: top-level windows described by form resources, their placement,
// showing, modal loop, closing and focus bookkeeping. The screen object that
// knows every form is in ui/Screen.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/ControlTypes.h"
#include "ui/Controls.h"
#include "ui/Screen.h"

namespace tw {

class TMainMenu;

enum TBorderIcon : std::uint8_t { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon, std::uint8_t>;
enum TPosition : std::uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TWindowState : std::uint8_t { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle : std::uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TDefaultMonitor : std::uint8_t { dmDesktop, dmPrimary, dmMainForm, dmActiveForm };
enum TCloseAction : std::uint8_t { CloseNone, CloseHide, CloseFree, CloseMinimize };
enum TFormStateFlag : std::uint8_t { FormCreating, FormVisiblePending, FormShowing, FormModal, FormActivated };
using TFormState = TSet<TFormStateFlag, std::uint8_t>;

// The framework's focus-change counter: each focus sequence adds one, so that
// a step can tell whether the focus moved on while it ran.
int& FocusChangeCounter();

using TCloseEvent = TEvent<TObject*, TCloseAction&>;
using TCloseQueryEvent = TEvent<TObject*, bool&>;
using TShortCutEvent = TEvent<TMessage&, bool&>;

class TCustomForm : public TCustomControl {
  TW_PUBLISHED_CLASS(TCustomForm, TCustomControl)

 public:
  // Reads the resources of the class chain (EResNotFound when a class below
  // TForm has none). Make forms with TCustomForm::Create<T>(owner),
  // TApplication::MakeForm or ShowModalForm, never with new alone: the
  // resource can be read only after the most derived constructor has run.
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;
  void BeforeFree() override;

  // Constructs a form of class T and reads its resources (then OnCreate runs).
  template <class T>
  static T* Create(TComponent* owner) {
    T* form = new T(owner);
    form->FinishConstruction();
    return form;
  }
  // The resource reading and create notification that follow the constructors;
  // a failure frees the form before the exception goes on.
  void FinishConstruction();

  bool IsForm() const override { return true; }

  void ShowForm();
  void HideForm();
  TModalResult RunModal();
  void CloseForm();
  bool QueryClose();
  void EndModalStep();
  void ReleaseLater();

  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control);
  bool Active() const { return active_; }
  TFormState FormState() const { return formState_; }
  // Visible as the form resource sets it: while the form is being created it
  // is only recorded, and applied after OnCreate.
  void SetFormVisible(bool value);

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons value);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState value);
  // Stores the state without any window effect (start-up minimised).
  void StoreWindowState(TWindowState value) { windowState_ = value; }
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle value) { formStyle_ = value; }
  TDefaultMonitor DefaultMonitor() const { return defaultMonitor_; }
  void SetDefaultMonitor(TDefaultMonitor value) { defaultMonitor_ = value; }
  bool OldCreateOrder() const { return oldCreateOrder_; }
  void SetOldCreateOrder(bool value) { oldCreateOrder_ = value; }
  std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(std::int32_t value) { pixelsPerInch_ = value; }
  std::int32_t TextHeight() const { return textHeight_; }
  void SetTextHeight(std::int32_t value) { textHeight_ = value; }
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool value) { keyPreview_ = value; }
  void SetFormClientWidth(std::int32_t value);
  void SetFormClientHeight(std::int32_t value);
  void SetFormClientSize(std::int32_t value, std::int32_t& stored, TScalingFlag written,
                         void (TControl::*apply)(std::int32_t));
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);

  TNotifyEvent OnCreate, OnDestroy, OnShow, OnHide, OnActivate, OnDeactivate, OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TShortCutEvent OnShortCut;

  // The form's shortcut check (OnShortCut, then its menu).
  bool IsShortCut(TMessage& key) override;
  void CancelModes(TControl* pressed) override;
  bool SetFocusedControl(TWinControl* control) override;
  void FocusControl(TWinControl* control) override;
  void DefocusControl(TWinControl* control, bool removing) override;
  // Focuses the form's window (EInvalidOperation 65493 when hidden or disabled).
  void TakeFocus() override;
  bool CanTakeFocus() override;

  void ReadStateFrom(TReader& reader) override;
  void AfterLoad() override;
  void ComponentNotice(TComponent* c, TOwnershipEvent event) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void ShowingChanged() override;
  void Paint() override;

 private:
  void JoinFormList();
  void RunCreateNotification();
  void PlaceOnFirstShow();
  void AttachMenu();
  void ScaleAfterRead();
  void SetActive(bool value);

  void WMClose(TMessage& m);
  void WMActivate(TMessage& m);
  void WMCommand(TMessage& m);
  void WMSysCommand(TMessage& m);
  void WMInitMenuPopup(TMessage& m);
  void WMMenuChar(TMessage& m);
  void WMNCCreate(TMessage& m);
  void FMActivate(TMessage& m);
  void FMDeactivate(TMessage& m);
  void FMDialogKey(TMessage& m);
  void FMRelease(TMessage& m);
  void FMMenuChanged(TMessage& m);
  void WMEraseBkgnd(TMessage& m);

  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  TWindowState windowState_ = wsNormal;
  TFormStyle formStyle_ = fsNormal;
  TDefaultMonitor defaultMonitor_ = dmActiveForm;
  TWinControl* activeControl_ = nullptr;
  TWinControl* focusedControl_ = nullptr;
  TModalResult modalResult_ = 0;
  bool oldCreateOrder_ = false;
  std::int32_t pixelsPerInch_ = 96;
  std::int32_t textHeight_ = 0;
  std::int32_t storedClientWidth_ = 0;
  std::int32_t storedClientHeight_ = 0;
  // The client size the resources read so far stated, applied after loading.
  SIZE clientSizeToApply_{};
  bool keyPreview_ = false;
  TMainMenu* menu_ = nullptr;
  TFormState formState_;
  bool active_ = false;
  bool inShowingChange_ = false;
  bool constructed_ = false;
};

class TForm : public TCustomForm {
  TW_PUBLISHED_CLASS(TForm, TCustomForm)

 public:
  using TCustomForm::TCustomForm;
};

// The form at the top of the control's parent chain, or none.
TCustomForm* ParentForm(const TControl* control);

// Makes form loading find other forms by name (the screen's forms).
void InstallGlobalFormFinder();

// Runs the form modally, then empties the slot (forget) and frees the form,
// also when the loop ends in an exception. A form freed elsewhere while its
// loop runs is forgotten at once and not freed again. ShowModalForm's step
// after the form is made.
TModalResult RunModalThenFree(TCustomForm& form, const std::function<void()>& forget);

// A dialog box in one call: makes a form of class T with the owner from its
// resources (as TCustomForm::Create<T>), holds it in slot while it is up (the
// program's global reference to the box, say), runs it modally and frees it,
// the slot empty again, and answers its modal result. An exception from the
// loop still frees the form and empties the slot before it goes on; a form
// that cannot be made leaves the slot empty and its error goes on. While a
// form is in the slot (a second command posted while the box is up) nothing
// is made and the answer is mrNone, so that the slot never loses its box.
template <class T>
TModalResult ShowModalForm(TComponent* owner, T*& slot) {
  if (slot != nullptr) return mrNone;
  T* form = TCustomForm::Create<T>(owner);
  slot = form;
  return RunModalThenFree(*form, [&slot, form] {
    if (slot == form) slot = nullptr;
  });
}

// The forms of the program and which of them has the focus.
// While it lives, the next form constructor to run hands the form's address
// to the announcer as soon as the form's base part exists (before the more
// derived constructors run), once.
class TFormAnnouncement {
 public:
  explicit TFormAnnouncement(const std::function<void(TCustomForm*)>& announce);
  ~TFormAnnouncement();
  TFormAnnouncement(const TFormAnnouncement&) = delete;
  TFormAnnouncement& operator=(const TFormAnnouncement&) = delete;

 private:
  const std::function<void(TCustomForm*)>* previous_;
};

}  // namespace tw
