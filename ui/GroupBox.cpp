#include "ui/GroupBox.h"

#include "ui/Accelerators.h"

namespace tw {

void TCustomGroupBox::Publish(Publisher& p) {
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChanged);
  TW_MESSAGE(FM_CTL3DCHANGED, FMCtl3DChanged);
  TW_MESSAGE(WM_SIZE, WMSize);
  TW_MESSAGE(FM_DIALOGCHAR, FMDialogChar);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
}

void TGroupBox::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  PublishColor(p);
  PublishMouseEvents(p, true);
}

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TCustomControl(owner) {
  ControlStyle = {csAcceptsChildren, csCapturesMouse, csClickEvents, csSetsCaption,
                  csDoubleClicks,    csReplicatable,  csPaintsItself};
  PlaceControl(Left(), Top(), 185, 105);
}

void TCustomGroupBox::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  // The frame is redrawn on every size change anyway (WM_SIZE invalidates).
  params.windowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

RECT TCustomGroupBox::ChildArea() {
  RECT rect = ClientRect();
  Canvas()->SetFont(Font());
  rect.top += Canvas()->TextHeight("0");
  InflateRect(&rect, -1, -1);
  if (Ctl3D()) InflateRect(&rect, -1, -1);
  return rect;
}

void TCustomGroupBox::Paint() {
  TCanvas* canvas = Canvas();
  canvas->SetFont(Font());
  const int h = canvas->TextHeight("0");
  RECT frame{0, h / 2 - 1, Width(), Height()};
  if (Ctl3D()) {
    frame.left += 1;
    frame.top += 1;
    canvas->Brush()->SetColor(clBtnHighlight);
    canvas->FrameRect(frame);
    OffsetRect(&frame, -1, -1);
    canvas->Brush()->SetColor(clBtnShadow);
  } else {
    canvas->Brush()->SetColor(clWindowFrame);
  }
  canvas->FrameRect(frame);
  const std::string text = Text();
  if (text.empty()) return;
  RECT caption{8, 0, 0, h};
  const UINT flags = DT_SINGLELINE;
  const int length = static_cast<int>(text.size());
  DrawTextA(canvas->Handle(), text.c_str(), length, &caption, flags | DT_CALCRECT);
  // The solid brush paints the caption's background over the frame line.
  canvas->Brush()->SetColor(Color());
  DrawTextA(canvas->Handle(), text.c_str(), length, &caption, flags);
}

void TCustomGroupBox::FMTextChanged(TMessage&) { Invalidate(); }

void TCustomGroupBox::FMCtl3DChanged(TMessage&) { Invalidate(); }

void TCustomGroupBox::WMSize(TMessage& m) {
  PassToAncestors(TCustomGroupBox::StaticClassInfo(), m);
  Invalidate();
}

void TCustomGroupBox::WMEraseBkgnd(TMessage& m) {
  // The frame and caption are drawn over the box's own colour.
  RECT rect{};
  GetClientRect(WindowHandle(), &rect);
  FillRect(reinterpret_cast<HDC>(m.wParam), &rect, Brush()->Handle());
  m.result = 1;
}

void TCustomGroupBox::FMDialogChar(TMessage& m) {
  if (IsAccelerator(static_cast<std::uint32_t>(m.wParam), Text()) && CanTakeFocus()) {
    SelectFirst();
    m.result = 1;
    return;
  }
  BroadcastToChildren(m);
}

}  // namespace tw
