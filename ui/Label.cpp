#include "ui/Label.h"

#include "runtime/ScopeExit.h"
#include "ui/Accelerators.h"
#include "ui/Accessible.h"

namespace tw {

namespace {

constexpr UINT kAlignmentFlags[] = {DT_LEFT, DT_RIGHT, DT_CENTER};

}  // namespace

void TCustomLabel::Publish(Publisher& p) { TW_MESSAGE(FM_DIALOGCHAR, FMDialogChar); }

void TLabel::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  TW_PROPERTY(Alignment, &Self::Alignment, &Self::SetAlignment);
  TW_PROPERTY(Layout, &Self::Layout, &Self::SetLayout);
  TW_PROPERTY(AutoSize, &Self::AutoSize, &Self::SetAutoSize);
  TW_PROPERTY(WordWrap, &Self::WordWrap, &Self::SetWordWrap);
  TW_PROPERTY(ShowAccelChar, &Self::ShowAccelChar, &Self::SetShowAccelChar);
  TW_PROPERTY(Transparent, &Self::Transparent, &Self::SetTransparent);
  TW_PROPERTY(FocusControl, &Self::FocusControl, &Self::SetFocusControl);
  PublishColor(p);
  PublishMouseEvents(p, true);
}

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  ControlStyle.Include(csOpaque);
  ControlStyle.Include(csReplicatable);
  PlaceControl(Left(), Top(), 65, 17);
}

TCustomLabel::~TCustomLabel() {
  if (focusControl_) focusControl_->CancelFreeNotice(*this);
}

void TCustomLabel::SetAlignment(TAlignment value) {
  if (ChangeField(alignment_, value)) Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout value) {
  if (ChangeField(layout_, value)) Invalidate();
}

void TCustomLabel::SetAutoSize(bool value) {
  if (ChangeField(autoSize_, value)) AdjustSize();
}

void TCustomLabel::SetWordWrap(bool value) {
  if (!ChangeField(wordWrap_, value)) return;
  AdjustSize();
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool value) {
  if (ChangeField(showAccelChar_, value)) Invalidate();
}

void TCustomLabel::SetTransparent(bool value) {
  if (Transparent() == value) return;
  if (value)
    ControlStyle.Exclude(csOpaque);
  else
    ControlStyle.Include(csOpaque);
  Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* value) {
  if (focusControl_ == value) return;
  TWinControl* previous = focusControl_;
  if (focusControl_) focusControl_->CancelFreeNotice(*this);
  focusControl_ = value;
  // The reference is weak: the label hears when the control goes.
  if (value) value->RequestFreeNotice(*this);
  if (!Reading()) TellNamingChanged(*this, previous);
}

TAccessibleTraits TCustomLabel::AccessibleTraits() const {
  TAccessibleTraits traits = TGraphicControl::AccessibleTraits();
  traits.captionMarked = showAccelChar_;
  return traits;
}

void TCustomLabel::ComponentNotice(TComponent* c, TOwnershipEvent event) {
  TGraphicControl::ComponentNotice(c, event);
  if (event == oeRemove && c && c == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::DoDrawText(RECT& rect, UINT flags) {
  std::string text = Text();
  // An empty label still measures one line of text.
  if ((flags & DT_CALCRECT) && (text.empty() || (showAccelChar_ && text == "&"))) text += ' ';
  if (!showAccelChar_) flags |= DT_NOPREFIX;
  TCanvas* canvas = Canvas();
  canvas->SetFont(Font());
  const int length = static_cast<int>(text.size());
  if (Enabled()) {
    DrawTextA(canvas->Handle(), text.c_str(), length, &rect, flags);
    return;
  }
  // Disabled: an embossed caption, highlight one pixel down-right under the shadow.
  OffsetRect(&rect, 1, 1);
  canvas->Font()->SetColor(clBtnHighlight);
  DrawTextA(canvas->Handle(), text.c_str(), length, &rect, flags);
  OffsetRect(&rect, -1, -1);
  canvas->Font()->SetColor(clBtnShadow);
  DrawTextA(canvas->Handle(), text.c_str(), length, &rect, flags);
}

void TCustomLabel::Paint() {
  TCanvas* canvas = Canvas();
  RECT rect = ClientRect();
  if (!Transparent()) {
    canvas->Brush()->SetColor(Color());
    canvas->Brush()->SetStyle(bsSolid);
    canvas->FillRect(rect);
  }
  canvas->Brush()->SetStyle(bsClear);
  const UINT flags = DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0) | kAlignmentFlags[alignment_];
  if (layout_ != tlTop) {
    RECT measured = rect;
    DoDrawText(measured, flags | DT_CALCRECT);
    int offset = Height() - measured.bottom;
    if (layout_ == tlCenter) offset /= 2;
    OffsetRect(&rect, 0, offset);
  }
  DoDrawText(rect, flags);
}

void TCustomLabel::AdjustSize() {
  if (Reading() || !autoSize_) return;
  RECT rect = ClientRect();
  HDC dc = GetDC(nullptr);
  {
    const TScopeExit release([dc] { ReleaseDC(nullptr, dc); });
    const TCanvasLoan loan(*Canvas(), dc);
    DoDrawText(rect, DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0));
  }
  // A right-aligned label keeps its right edge.
  std::int32_t left = Left();
  if (alignment_ == taRightJustify) left += Width() - rect.right;
  PlaceControl(left, Top(), rect.right, rect.bottom);
}

void TCustomLabel::FMDialogChar(TMessage& m) {
  if (focusControl_ && Enabled() && showAccelChar_ && IsAccelerator(static_cast<std::uint32_t>(m.wParam), Text()) &&
      focusControl_->CanTakeFocus()) {
    focusControl_->TakeFocus();
    m.result = 1;
  }
}

}  // namespace tw
