// The canvas: a device context with its own font, pen and brush, each selected
// into the context only when a drawing operation needs it.
#include <algorithm>
#include <climits>
#include <mutex>
#include <vector>

#include "graphics/Graphics.h"
#include "graphics/ResourceCache.h"
#include "runtime/Exceptions.h"

namespace tw {

namespace {

// Every canvas of the process, for the system-colour change.
struct TCanvasList {
  std::mutex lock;
  std::vector<TCanvas*> canvases;
};

TCanvasList& Canvases() {
  static auto* list = new TCanvasList;
  return *list;
}

// Guards the lock counts of all canvases.
std::mutex& CounterLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

int BinaryRasterOperation(TPenMode mode) {
  static constexpr int kOperations[] = {
      R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,        R2_COPYPEN,  R2_NOTCOPYPEN,
      R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
      R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN,
  };
  const auto index = static_cast<std::size_t>(mode);
  return index < std::size(kOperations) ? kOperations[index] : R2_COPYPEN;
}

int TextLength(std::string_view text) { return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX)); }

}  // namespace

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
  font_->OnChange.Bind(this, &TCanvas::FontChanged);
  pen_->OnChange.Bind(this, &TCanvas::PenChanged);
  brush_->OnChange.Bind(this, &TCanvas::BrushChanged);
  font_->ownerLock_ = &lock_;
  pen_->ownerLock_ = &lock_;
  brush_->ownerLock_ = &lock_;
  TCanvasList& list = Canvases();
  std::lock_guard guard(list.lock);
  list.canvases.push_back(this);
}

TCanvas::~TCanvas() {
  {
    TCanvasList& list = Canvases();
    std::lock_guard guard(list.lock);
    std::erase(list.canvases, this);
  }
  // The context may outlive the canvas: it must not keep our objects, which
  // are deleted with it when no one else uses them.
  DeselectHandles();
}

HDC TCanvas::Handle() {
  RequireState(csHandleValid | csFontValid | csPenValid | csBrushValid);
  return dc_;
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  if (dc_) {
    DeselectHandles();
    GetCurrentPositionEx(dc_, &penPos_);
    dc_ = nullptr;
    state_ &= static_cast<std::uint8_t>(~csHandleValid);
  }
  if (dc) {
    dc_ = dc;
    state_ |= csHandleValid;
    MoveToEx(dc_, penPos_.x, penPos_.y, nullptr);
  }
}

void TCanvas::DeselectHandles() {
  constexpr std::uint8_t selected = csFontValid | csPenValid | csBrushValid;
  if (!dc_ || (state_ & selected) == 0) return;
  SelectObject(dc_, GetStockObject(BLACK_PEN));
  SelectObject(dc_, GetStockObject(NULL_BRUSH));
  SelectObject(dc_, GetStockObject(SYSTEM_FONT));
  state_ &= static_cast<std::uint8_t>(~selected);
}

void TCanvas::RequireState(std::uint8_t needed) {
  const auto missing = static_cast<std::uint8_t>(needed & ~state_);
  if (missing == 0) return;
  if (missing & csHandleValid) {
    CreateHandle();
    if (!dc_) throw EInvalidOperation(msg::NoCanvasHandle);
  }
  if (missing & csFontValid) {
    SelectObject(dc_, font_->Handle());
    SetTextColor(dc_, ColorToRGB(font_->Color()));
  }
  if (missing & csPenValid) {
    SelectObject(dc_, pen_->Handle());
    SetROP2(dc_, BinaryRasterOperation(pen_->Mode()));
  }
  if (missing & csBrushValid) {
    HBRUSH brush = brush_->Handle();
    UnrealizeObject(brush);
    SelectObject(dc_, brush);
    const COLORREF color = ColorToRGB(brush_->Color());
    if (brush_->Style() == bsSolid) {
      SetBkColor(dc_, color);
      SetBkMode(dc_, OPAQUE);
    } else {
      // Hatches and the hollow brush leave what is behind them showing.
      SetBkColor(dc_, ~color & 0x00FFFFFF);
      SetBkMode(dc_, TRANSPARENT);
    }
  }
  state_ |= missing;
}

void TCanvas::SetFont(const TFont* font) { font_->AssignFrom(font); }
void TCanvas::SetPen(const TPen* pen) { pen_->AssignFrom(pen); }
void TCanvas::SetBrush(const TBrush* brush) { brush_->AssignFrom(brush); }

// A change of one of our objects: the context gets the stock object back, and
// the next drawing operation selects the changed one.
void TCanvas::FontChanged(TObject*) {
  if (!(state_ & csFontValid)) return;
  state_ &= static_cast<std::uint8_t>(~csFontValid);
  SelectObject(dc_, GetStockObject(SYSTEM_FONT));
}

void TCanvas::PenChanged(TObject*) {
  if (!(state_ & csPenValid)) return;
  state_ &= static_cast<std::uint8_t>(~csPenValid);
  SelectObject(dc_, GetStockObject(BLACK_PEN));
}

void TCanvas::BrushChanged(TObject*) {
  if (!(state_ & csBrushValid)) return;
  state_ &= static_cast<std::uint8_t>(~csBrushValid);
  SelectObject(dc_, GetStockObject(NULL_BRUSH));
}

void TCanvas::Changing() { OnChanging(this); }
void TCanvas::Changed() { OnChange(this); }

void TCanvas::FillRect(const RECT& rect) {
  Changing();
  RequireState(csHandleValid | csBrushValid);
  ::FillRect(dc_, &rect, brush_->Handle());
  Changed();
}

void TCanvas::FrameRect(const RECT& rect) {
  Changing();
  RequireState(csHandleValid | csBrushValid);
  ::FrameRect(dc_, &rect, brush_->Handle());
  Changed();
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
  Changing();
  RequireState(csHandleValid | csFontValid | csBrushValid);
  if (RightToLeft()) x += TextWidth(text) + 1;
  ExtTextOutA(dc_, x, y, static_cast<UINT>(TextFlags), nullptr, text.data(), static_cast<UINT>(TextLength(text)),
              nullptr);
  MoveTo(x + TextWidth(text), y);
  Changed();
}

SIZE TCanvas::TextExtent(std::string_view text) {
  RequireState(csHandleValid | csFontValid);
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc_, text.data(), TextLength(text), &size);
  return size;
}

int TCanvas::TextWidth(std::string_view text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(std::string_view text) { return TextExtent(text).cy; }

void TCanvas::MoveTo(int x, int y) {
  RequireState(csHandleValid);
  MoveToEx(dc_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  Changing();
  RequireState(csHandleValid | csPenValid);
  ::LineTo(dc_, x, y);
  Changed();
}

POINT TCanvas::PenPos() {
  RequireState(csHandleValid);
  POINT position{0, 0};
  GetCurrentPositionEx(dc_, &position);
  return position;
}

void TCanvas::Lock() {
  {
    std::lock_guard guard(CounterLock());
    ++lockCount_;
  }
  lock_.lock();
}

bool TCanvas::TryLock() {
  {
    std::lock_guard guard(CounterLock());
    if (lockCount_ != 0) return false;
    ++lockCount_;
  }
  lock_.lock();
  return true;
}

void TCanvas::Unlock() {
  std::lock_guard guard(CounterLock());
  // An unlock without a lock has nothing to leave.
  if (lockCount_ == 0) return;
  lock_.unlock();
  --lockCount_;
}

int TCanvas::LockCount() const {
  std::lock_guard guard(CounterLock());
  return lockCount_;
}

void SystemColorsChanged() {
  TCanvasList& list = Canvases();
  std::lock_guard guard(list.lock);
  for (TCanvas* canvas : list.canvases) canvas->Lock();
  for (TCanvas* canvas : list.canvases) canvas->DeselectHandles();
  detail::DropSystemColorHandles();
  for (TCanvas* canvas : list.canvases) canvas->Unlock();
}

}  // namespace tw
