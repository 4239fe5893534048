// The controls on the platform's own BUTTON class: TButtonControl, what every
// one of them shares (one click path, the check state), and the push button.
#pragma once

#include <windows.h>

#include <string>

#include "ui/ControlTypes.h"
#include "ui/Controls.h"

namespace tw {

// The base of a button-like control. Every way the user (or a screen reader)
// presses one ends in Click, once: the platform's BN_CLICKED (a mouse click or
// the space key), the caption's accelerator, the default action. The check
// state lives here too, so that a window made again keeps it.
class TButtonControl : public TWinControl {
  TW_PUBLISHED_CLASS(TButtonControl, TWinControl)

 public:
  explicit TButtonControl(TComponent* owner);
  // A push button is never checked: it reads false and ignores writes. A
  // class with a check state answers from CheckState and SetCheckState.
  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool value) { (void)value; }

  // What a press does; by default OnClick.
  virtual void Click();

 protected:
  bool ClicksDisabled() const { return clicksDisabled_; }
  // The window's state while it exists, else the stored one.
  bool CheckState() const;
  void SetCheckState(bool value);
  void CreateWnd() override;
  void DestroyWnd() override;

 private:
  void WMLButtonDown(TMessage& m);
  void FNCommand(TMessage& m);
  void FMDialogChar(TMessage& m);
  void FMDefaultAction(TMessage& m);

  bool clicksDisabled_ = false;
  bool checked_ = false;
};

class TButton : public TButtonControl {
  TW_PUBLISHED_CLASS(TButton, TButtonControl)

 public:
  explicit TButton(TComponent* owner);

  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  // Reacts to Enter and is drawn as the default button.
  bool IsActive() const { return active_; }

  // The click step: the owning form's ModalResult, then OnClick.
  void Click() override;
  TAccessibleTraits AccessibleTraits() const override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;

 private:
  void SetButtonStyle(bool isDefault);

  void FMDialogKey(TMessage& m);
  void FMFocusChanged(TMessage& m);
  void WMEraseBkgnd(TMessage& m);

  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = 0;
  bool active_ = false;
};

}  // namespace tw
