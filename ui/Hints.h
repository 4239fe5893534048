// Hints: the small pop-up text shown near the pointer when it rests on a
// control that has hints switched on. The timing and the choice of subject live
// in the application object; this is the pop-up window itself and the rules
// that pick a hint's text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/Controls.h"

namespace tw {

class THintWindow : public TCustomControl {
  TW_PUBLISHED_CLASS(THintWindow, TCustomControl)

 public:
  explicit THintWindow(TComponent* owner);
  ~THintWindow() override;

  // The rectangle the text needs within the width limit, with the margins.
  virtual RECT MeasureHint(std::int32_t widthLimit, std::string_view text, void* extraData);
  virtual void ShowAtWithData(RECT rect, std::string_view text, void* extraData);
  // Shows the text at the rectangle, kept on the desktop, above every window
  // and without taking the activation.
  virtual void ShowAt(RECT rect, std::string_view text);
  // Destroys the platform window; the object stays.
  void ReleaseWindow() { DestroyWindowHandle(); }
  bool Activating() const { return activating_; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;

 private:
  void WMNCHitTest(TMessage& m);
  void WMNCPaint(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void FMTextChanged(TMessage& m);

  bool activating_ = false;
};

// The class of hint windows the application makes (THintWindow by default).
extern const TClassInfo* HintWindowKind;

// A message that ends a showing hint: keys, button presses and releases, the
// wheel, commands, activation changes, non-client moves; never a plain move.
bool IsHintEndingMessage(const MSG& message);

// The first control going up from this one whose ShowHint is set, or none.
TControl* FindHintSubject(TControl* control);
// The first non-empty Hint going up from this control (empty when none).
std::string FindHintText(TControl* control);
// The text before the first "|" (all of it without one), and after it.
std::string ShortHintPart(std::string_view hint);
std::string LongHintPart(std::string_view hint);

}  // namespace tw
