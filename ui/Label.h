// The label: a caption without a window of its own, drawn on its parent, that
// can hand its accelerator on to another control.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/Controls.h"

namespace tw {

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };

TW_ENUMERATION(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")
TW_ENUMERATION(TTextLayout, "tlTop", "tlCenter", "tlBottom")

class TCustomLabel : public TGraphicControl {
  TW_PUBLISHED_CLASS(TCustomLabel, TGraphicControl)

 public:
  explicit TCustomLabel(TComponent* owner);
  ~TCustomLabel() override;

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value);
  bool Transparent() const { return !ControlStyle.Contains(csOpaque); }
  void SetTransparent(bool value);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* value);
  // The label names its FocusControl for a screen reader.
  TWinControl* NamedControl() const override { return focusControl_; }
  TAccessibleTraits AccessibleTraits() const override;

  // Draws (or, with DT_CALCRECT, measures into the rectangle) the caption with
  // the label's font on its canvas.
  void DoDrawText(RECT& rect, UINT flags);

  void ComponentNotice(TComponent* c, TOwnershipEvent event) override;

 protected:
  void Paint() override;
  void AdjustSize() override;

 private:
  void FMDialogChar(TMessage& m);

  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
  TW_PUBLISHED_CLASS(TLabel, TCustomLabel)

 public:
  using TCustomLabel::TCustomLabel;
};

}  // namespace tw
