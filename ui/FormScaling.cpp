// A form read from its resource: the designed sizes follow the screen's
// resolution and the form's font, and the designed client size is applied
// once loading ends.
#include <windows.h>

#include <utility>

#include "core/Reader.h"
#include "runtime/ScopeExit.h"
#include "ui/Forms.h"

namespace tw {

namespace {

// The height of "0" in the font, measured by a canvas on a screen device
// context (the form's window need not exist yet).
int TextHeightOfZero(TFont* font) {
  HDC dc = GetDC(nullptr);
  const TScopeExit release([dc] { ReleaseDC(nullptr, dc); });
  TCanvas canvas;
  const TCanvasLoan loan(canvas, dc);
  canvas.SetFont(font);
  return canvas.TextHeight("0");
}

// Scales a control's bounds and font by m/d and its children first.
void ScaleControl(TControl& c, int m, int d) {
  const TScalingFlags flags =
      c.HasState(stLoading) ? c.ScalingFlags : TScalingFlags{sfLeft, sfTop, sfWidth, sfHeight, sfFont};
  if (auto* w = dynamic_cast<TWinControl*>(&c))
    for (int i = 0; i < w->ControlCount(); ++i) ScaleControl(*w->ControlAt(i), m, d);
  const int left = flags.Contains(sfLeft) ? MulDiv(c.Left(), m, d) : c.Left();
  const int top = flags.Contains(sfTop) ? MulDiv(c.Top(), m, d) : c.Top();
  int width = c.Width();
  if (flags.Contains(sfWidth) && !c.ControlStyle.Contains(csFixedWidth))
    width = flags.Contains(sfLeft) ? MulDiv(c.Left() + c.Width(), m, d) - left : MulDiv(c.Width(), m, d);
  int height = c.Height();
  if (flags.Contains(sfHeight) && !c.ControlStyle.Contains(csFixedHeight))
    height = flags.Contains(sfTop) ? MulDiv(c.Top() + c.Height(), m, d) - top : MulDiv(c.Height(), m, d);
  c.PlaceControl(left, top, width, height);
  if (!c.ParentFont() && flags.Contains(sfFont)) c.Font()->SetSize(MulDiv(c.Font()->Size(), m, d));
  c.ScalingFlags = {};
}

void ClearScalingFlags(TControl& c) {
  c.ScalingFlags = {};
  if (auto* w = dynamic_cast<TWinControl*>(&c))
    for (int i = 0; i < w->ControlCount(); ++i) ClearScalingFlags(*w->ControlAt(i));
}

}  // namespace

void TCustomForm::ReadStateFrom(TReader& reader) {
  // A form the reader made itself never ran FinishConstruction.
  JoinFormList();
  oldCreateOrder_ = false;
  storedClientWidth_ = storedClientHeight_ = 0;
  textHeight_ = 0;
  TCustomControl::ReadStateFrom(reader);
  ScaleAfterRead();
  // Every resource of the class chain is read by this step in turn, and each
  // states a client size or leaves it out: the last one stated is applied
  // once, when loading ends.
  if (storedClientWidth_ > 0) clientSizeToApply_.cx = storedClientWidth_;
  if (storedClientHeight_ > 0) clientSizeToApply_.cy = storedClientHeight_;
}

void TCustomForm::ScaleAfterRead() {
  TScreen* const screen = Screen();
  bool scaled = false;
  if (pixelsPerInch_ != 0 && textHeight_ > 0) {
    const int screenPpi = screen ? screen->PixelsPerInch() : ScreenPixelsPerInch();
    if (ScalingFlags.Contains(sfFont) && screenPpi != pixelsPerInch_)
      Font()->SetHeight(MulDiv(Font()->Height(), screenPpi, pixelsPerInch_));
    pixelsPerInch_ = screenPpi;
    const int m = TextHeightOfZero(Font());
    const int d = textHeight_;
    if (m != d) {
      for (int i = 0; i < ControlCount(); ++i) ScaleControl(*ControlAt(i), m, d);
      if (ScalingFlags.Contains(sfWidth)) storedClientWidth_ = MulDiv(storedClientWidth_, m, d);
      if (ScalingFlags.Contains(sfHeight)) storedClientHeight_ = MulDiv(storedClientHeight_, m, d);
      scaled = true;
    }
  }
  ScalingFlags = {};
  if (!scaled)
    for (int i = 0; i < ControlCount(); ++i) ClearScalingFlags(*ControlAt(i));
}

void TCustomForm::SetFormClientSize(std::int32_t value, std::int32_t& stored, TScalingFlag written,
                                    void (TControl::*apply)(std::int32_t)) {
  // While the resource is read the value is only stored, to be scaled and
  // applied once the read ends.
  if (Reading()) {
    stored = value;
    ScalingFlags.Include(written);
    return;
  }
  (this->*apply)(value);
}

void TCustomForm::SetFormClientWidth(std::int32_t value) {
  SetFormClientSize(value, storedClientWidth_, sfWidth, &TControl::SetClientWidth);
}

void TCustomForm::SetFormClientHeight(std::int32_t value) {
  SetFormClientSize(value, storedClientHeight_, sfHeight, &TControl::SetClientHeight);
}

void TCustomForm::AfterLoad() {
  TCustomControl::AfterLoad();
  // An active control read from the resource is kept only when it can take the focus.
  if (activeControl_ && !activeControl_->CanTakeFocus()) activeControl_ = nullptr;
  // A menu named by the resource is resolved while the form is still being
  // read, when attaching it is put off; a window made meanwhile gets it now.
  AttachMenu();
  // The designed client size is applied once, with the menu bar in place (a
  // window made only now attaches the menu as it is created).
  const SIZE size = std::exchange(clientSizeToApply_, {});
  if (size.cx > 0) SetClientWidth(size.cx);
  if (size.cy > 0) SetClientHeight(size.cy);
}

}  // namespace tw
