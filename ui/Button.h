// The push button, on the platform's own BUTTON class.
#pragma once

#include <windows.h>

#include <string>

#include "ui/ControlTypes.h"
#include "ui/Controls.h"

namespace tw {

class TButtonControl : public TWinControl {
  TW_PUBLISHED_CLASS(TButtonControl, TWinControl)

 public:
  explicit TButtonControl(TComponent* owner);
  // A push button is never checked; the state exists for the descendants.
  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool value) { (void)value; }

 protected:
  bool ClicksDisabled() const { return clicksDisabled_; }

 private:
  void WMLButtonDown(TMessage& m);
  void FNCommand(TMessage& m);

  bool clicksDisabled_ = false;
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
  void Click();
  TAccessibleTraits AccessibleTraits() const override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;

 private:
  void SetButtonStyle(bool isDefault);

  void FNCommand(TMessage& m);
  void FMDialogKey(TMessage& m);
  void FMDialogChar(TMessage& m);
  void FMFocusChanged(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void FMDefaultAction(TMessage& m);

  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = 0;
  bool active_ = false;
};

}  // namespace tw
