// The group box: a framed, captioned area that holds other controls.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>

#include "ui/Controls.h"

namespace tw {

class TCustomGroupBox : public TCustomControl {
  TW_PUBLISHED_CLASS(TCustomGroupBox, TCustomControl)

 public:
  explicit TCustomGroupBox(TComponent* owner);
  // The part of the client area inside the frame, below the caption line.
  RECT ChildArea();
  TAccessibleTraits AccessibleTraits() const override { return {.role = ROLE_SYSTEM_GROUPING}; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;

 private:
  void FMTextChanged(TMessage& m);
  void FMCtl3DChanged(TMessage& m);
  void WMSize(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void FMDialogChar(TMessage& m);
};

class TGroupBox : public TCustomGroupBox {
  TW_PUBLISHED_CLASS(TGroupBox, TCustomGroupBox)

 public:
  using TCustomGroupBox::TCustomGroupBox;
};

}  // namespace tw
