// Small control classes the window tests build their trees from.
#pragma once

#include "ui/Controls.h"

namespace tw::test {

// A container (a panel without looks).
class TTestPanel : public TWinControl {
  TW_PUBLISHED_CLASS(TTestPanel, TWinControl)
 public:
  explicit TTestPanel(TComponent* owner) : TWinControl(owner) { ControlStyle.Include(csAcceptsChildren); }
};

// A leaf windowed control; counts the reflected commands and may throw or
// consume keys on request.
class TTestLeaf : public TWinControl {
  TW_PUBLISHED_CLASS(TTestLeaf, TWinControl)
 public:
  using TWinControl::TWinControl;
  int thrown = 0;
  int handled = 0;
  bool throwAbort = false;
  bool vetoHint = false;

 private:
  void Boom(TMessage& m);
  void Count(TMessage& m);
  void HintShow(TMessage& m);
};

// A control over the platform's "BUTTON" class.
class TTestButton : public TWinControl {
  TW_PUBLISHED_CLASS(TTestButton, TWinControl)
 public:
  using TWinControl::TWinControl;
  int clicks = 0;
  std::uintptr_t lastNotification = 0;

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  void FNCommand(TMessage& m);
};

class TTestGraphic : public TGraphicControl {
  TW_PUBLISHED_CLASS(TTestGraphic, TGraphicControl)
 public:
  using TGraphicControl::TGraphicControl;
};

// Messages the test leaf answers.
inline constexpr UINT kThrowMessage = WM_APP + 1;
inline constexpr UINT kCountMessage = WM_APP + 2;

}  // namespace tw::test
