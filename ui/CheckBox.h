// The check box, on the platform's own BUTTON class: a caption beside a box
// that is checked or not.
#pragma once

#include <windows.h>

#include "ui/Button.h"

namespace tw {

class TCustomCheckBox : public TButtonControl {
  TW_PUBLISHED_CLASS(TCustomCheckBox, TButtonControl)

 public:
  explicit TCustomCheckBox(TComponent* owner);

  // Setting the state from code changes the box and runs no OnClick.
  bool Checked() const override { return CheckState(); }
  void SetChecked(bool value) override { SetCheckState(value); }
  // The user's toggle (a click, the space key, the accelerator, a screen
  // reader's default action): the state flips, then OnClick runs, once.
  void Click() override;
  TAccessibleTraits AccessibleTraits() const override;

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TCheckBox : public TCustomCheckBox {
  TW_PUBLISHED_CLASS(TCheckBox, TCustomCheckBox)

 public:
  explicit TCheckBox(TComponent* owner) : TCustomCheckBox(owner) {}
};

}  // namespace tw
