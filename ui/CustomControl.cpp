#include "ui/CustomControl.h"

#include <algorithm>
#include <vector>

#include "runtime/ScopeExit.h"

namespace tw {

// ---- Canvases ----------------------------------------------------------------------------

namespace {
std::vector<TControlCanvas*>& HoldingCanvases() {
  static std::vector<TControlCanvas*> list;
  return list;
}
}  // namespace

TControlCanvas::~TControlCanvas() { ReleaseOwnContext(); }

void TControlCanvas::CreateHandle() {
  if (!control_) return;
  TWinControl* window = dynamic_cast<TWinControl*>(control_);
  POINT offset{0, 0};
  if (!window) {
    window = control_->Parent();
    offset = {control_->Left(), control_->Top()};
  }
  if (!window) return;
  HWND hwnd = window->Handle();
  HDC dc = GetDCEx(hwnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!dc) return;
  SetWindowOrgEx(dc, -offset.x, -offset.y, nullptr);
  if (!dynamic_cast<TWinControl*>(control_)) IntersectClipRect(dc, 0, 0, control_->Width(), control_->Height());
  ownDC_ = dc;
  ownWindow_ = hwnd;
  HoldingCanvases().push_back(this);
  SetHandle(dc);
}

void TControlCanvas::ReleaseOwnContext() {
  if (!ownDC_) return;
  Lock();
  SetHandle(nullptr);
  ReleaseDC(ownWindow_, ownDC_);
  ownDC_ = nullptr;
  ownWindow_ = nullptr;
  Unlock();
  std::erase(HoldingCanvases(), this);
}

TCanvasLoan::TCanvasLoan(TCanvas& canvas, HDC dc) : canvas_(canvas) {
  canvas_.Lock();
  TScopeFail unlock([this] { canvas_.Unlock(); });
  canvas_.SetHandle(dc);
  unlock.Dismiss();
}

TCanvasLoan::~TCanvasLoan() {
  canvas_.SetHandle(nullptr);
  canvas_.Unlock();
}

void TControlCanvas::ReleaseAllContexts() {
  auto& list = HoldingCanvases();
  while (!list.empty()) list.back()->ReleaseOwnContext();
}

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Publish(Publisher& p) { TW_MESSAGE(WM_PAINT, WMPaint); }

void TGraphicControl::WMPaint(TMessage& m) {
  if (!m.wParam) return;
  const TCanvasLoan loan(*canvas_, reinterpret_cast<HDC>(m.wParam));
  Paint();
}

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {
  ControlStyle.Include(csPaintsItself);
}

TCustomControl::~TCustomControl() = default;

void TCustomControl::Publish(Publisher&) {}

void TCustomControl::PaintWindow(HDC dc) {
  const TCanvasLoan loan(*canvas_, dc);
  Paint();
}

}  // namespace tw
