// Controls that draw: the canvas on a control's device context, and the
// bases of controls that paint themselves (graphic and windowed).
#pragma once

#include <windows.h>

#include <memory>

#include "graphics/Graphics.h"
#include "ui/WinControl.h"

namespace tw {

// A canvas that draws on a control: the control's device context, obtained on
// demand and released after each message.
class TControlCanvas : public TCanvas {
  TW_CLASS(TControlCanvas, TCanvas)

 public:
  explicit TControlCanvas(TControl* control) : control_(control) {}
  ~TControlCanvas() override;
  TControl* Control() const { return control_; }
  // Releases the context obtained by CreateHandle (not one lent by a paint).
  void ReleaseOwnContext();
  // Every control canvas that holds its own context releases it.
  static void ReleaseAllContexts();

 protected:
  void CreateHandle() override;

 private:
  TControl* control_;
  HDC ownDC_ = nullptr;
  HWND ownWindow_ = nullptr;
};

// Lends a device context to a canvas for the length of a scope: the canvas is
// locked and draws on the context until the scope ends, however it ends.
class TCanvasLoan {
 public:
  TCanvasLoan(TCanvas& canvas, HDC dc);
  ~TCanvasLoan();
  TCanvasLoan(const TCanvasLoan&) = delete;
  TCanvasLoan& operator=(const TCanvasLoan&) = delete;

 private:
  TCanvas& canvas_;
};

class TGraphicControl : public TControl {
  TW_PUBLISHED_CLASS(TGraphicControl, TControl)

 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void WMPaint(TMessage& m);

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// A windowed control that paints itself through its own canvas.
class TCustomControl : public TWinControl {
  TW_PUBLISHED_CLASS(TCustomControl, TWinControl)

 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

}  // namespace tw
