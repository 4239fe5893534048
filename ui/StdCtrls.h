// The standard controls: the label and the group box, the single-line edit,
// the combo box and the push button. The windowed ones sit on the platform's
// own EDIT, COMBOBOX and BUTTON classes; the label has no window and draws on
// its parent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/StringList.h"
#include "ui/Controls.h"
#include "ui/Forms.h"

namespace tw {

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };
// An edit's border uses the first two values of the form's border styles.
using TBorderStyle = TFormBorderStyle;
enum TEditCharCase : std::uint8_t { ecNormal, ecUpperCase, ecLowerCase };
enum TComboBoxStyle : std::uint8_t { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TOwnerDrawStateFlag : std::uint8_t {
  odSelected,
  odGrayed,
  odDisabled,
  odChecked,
  odFocused,
  odDefault,
  odHotLight,
  odInactive,
  odNoAccel,
  odNoFocusRect,
  odReserved1,
  odReserved2,
  odComboBoxEdit
};
using TOwnerDrawState = TSet<TOwnerDrawStateFlag, std::uint16_t>;

using TDrawItemEvent = TEvent<TWinControl*, std::int32_t, RECT, TOwnerDrawState>;
using TMeasureItemEvent = TEvent<TWinControl*, std::int32_t, std::int32_t&>;

}  // namespace tw

namespace tw {
TW_ENUMERATION(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")
TW_ENUMERATION(TTextLayout, "tlTop", "tlCenter", "tlBottom")
TW_ENUMERATION(TEditCharCase, "ecNormal", "ecUpperCase", "ecLowerCase")
TW_ENUMERATION(TComboBoxStyle, "csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable")
}  // namespace tw

namespace tw {

// ---- Label ------------------------------------------------------------------------

class TCustomLabel : public TGraphicControl {
  TW_PUBLISHED_CLASS(TCustomLabel, TGraphicControl)

 public:
  explicit TCustomLabel(TComponent* owner);
  ~TCustomLabel() override;

  // The caption for the published property (the reader holds a const object).
  std::string CaptionText() const { return const_cast<TCustomLabel*>(this)->Text(); }

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

// ---- Group box --------------------------------------------------------------------

class TCustomGroupBox : public TCustomControl {
  TW_PUBLISHED_CLASS(TCustomGroupBox, TCustomControl)

 public:
  explicit TCustomGroupBox(TComponent* owner);
  std::string CaptionText() const { return const_cast<TCustomGroupBox*>(this)->Text(); }
  // The part of the client area inside the frame, below the caption line.
  RECT ChildArea();

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;

 private:
  void FMTextChangedBox(TMessage& m);
  void FMCtl3DChanged(TMessage& m);
  void WMSizeBox(TMessage& m);
  void WMEraseBkgndBox(TMessage& m);
  void FMDialogChar(TMessage& m);
};

class TGroupBox : public TCustomGroupBox {
  TW_PUBLISHED_CLASS(TGroupBox, TCustomGroupBox)

 public:
  using TCustomGroupBox::TCustomGroupBox;
};

// ---- Edit -------------------------------------------------------------------------

class TCustomEdit : public TWinControl {
  TW_PUBLISHED_CLASS(TCustomEdit, TWinControl)

 public:
  explicit TCustomEdit(TComponent* owner);
  ~TCustomEdit() override;

  std::string TextValue() const { return const_cast<TCustomEdit*>(this)->Text(); }

  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TEditCharCase value);
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool value);
  std::int32_t MaxLength() const { return maxLength_; }
  void SetMaxLength(std::int32_t value);
  bool OEMConvert() const { return oemConvert_; }
  void SetOEMConvert(bool value);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  bool UserModified() const;
  void SetUserModified(bool value);

  // Selection operations (each one platform message).
  void ClearText();
  void SelectAll();
  std::int32_t SelectionStart();
  void SetSelectionStart(std::int32_t value);
  std::int32_t SelectionLength();
  void SetSelectionLength(std::int32_t value);
  std::string SelectedText();
  // Copies at most size - 1 characters of the selection and a terminator;
  // the number copied. A buffer of size 0 (or none) receives nothing.
  std::int32_t CopySelectedText(char* buffer, std::int32_t size);

  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  // The change step: the changed notification, then OnChange.
  virtual void Change();

 private:
  void ApplyFixedHeight();
  void FitHeightToFont();

  void WMSetFont(TMessage& m);
  void FNCommand(TMessage& m);
  void FMTextChangedEdit(TMessage& m);
  void FMEnterEdit(TMessage& m);
  void FMFontChangedEdit(TMessage& m);
  void FMCtl3DChangedEdit(TMessage& m);

  bool autoSelect_ = true;
  bool autoSize_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  TEditCharCase charCase_ = ecNormal;
  bool hideSelection_ = true;
  std::int32_t maxLength_ = 0;
  bool oemConvert_ = false;
  char passwordChar_ = '\0';
  bool readOnly_ = false;
  bool modified_ = false;
  bool creating_ = false;
};

class TEdit : public TCustomEdit {
  TW_PUBLISHED_CLASS(TEdit, TCustomEdit)

 public:
  using TCustomEdit::TCustomEdit;
};

// ---- Combo box --------------------------------------------------------------------

class TCustomComboBox;

// The combo box's list: it keeps nothing itself, every operation is one message
// to the combo box's window (made on demand).
class TComboBoxStrings : public TStrings {
  TW_CLASS(TComboBoxStrings, TStrings)

 public:
  explicit TComboBoxStrings(TCustomComboBox* combo) : combo_(combo) {}

  std::string LineAt(int index) const override;
  int LineCount() const override;
  void ClearLines() override;
  void DeleteLine(int index) override;
  void InsertLine(int index, std::string_view text) override;
  int AddLine(std::string_view text) override;
  TObject* ObjectAt(int index) const override;
  void PutObjectAt(int index, TObject* object) override;
  int IndexOfLine(std::string_view text) const override;
  void UpdateStateChanged(bool updating) override;

  // The 32-bit datum of an item (EStringListError for an index out of range).
  std::intptr_t DatumAt(int index) const;
  void PutDatumAt(int index, std::intptr_t datum);

 private:
  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
  TCustomComboBox* combo_;
};

class TCustomComboBox : public TWinControl {
  TW_PUBLISHED_CLASS(TCustomComboBox, TWinControl)

 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  void BeforeFree() override;

  std::string TextValue() const { return const_cast<TCustomComboBox*>(this)->Text(); }

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* value);
  std::int32_t SelectedIndex();
  void SetSelectedIndex(std::int32_t value);
  std::int32_t ItemHeight();
  std::int32_t ItemHeightValue() const { return const_cast<TCustomComboBox*>(this)->ItemHeight(); }
  void SetItemHeight(std::int32_t value);
  std::int32_t DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(std::int32_t value) { dropDownCount_ = value; }
  std::int32_t MaxLength() const { return maxLength_; }
  void SetMaxLength(std::int32_t value);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TEditCharCase value);
  bool ListOpen();
  void SetListOpen(bool value);
  // The platform focus is on the edit part or the list part.
  bool IsFocused();

  HWND EditHandle() const { return editHandle_; }
  HWND ListHandle() const { return listHandle_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnDropDown;
  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;

  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  virtual void Change();
  // Sizes the window so that the open list shows up to DropDownCount items.
  void AdjustDropDown();

 private:
  friend class TComboBoxStrings;
  static LRESULT CALLBACK SubWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void SubWindowMessage(TMessage& m, HWND window, WNDPROC previous);
  void HookSubWindow(HWND window, WNDPROC& previous);
  void UnhookSubWindows();
  void SetEditMargins();

  void WMCreate(TMessage& m);
  void WMCtlColor(TMessage& m);
  void FNCtlColor(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMLButtonDownCombo(TMessage& m);
  void WMGetDlgCode(TMessage& m);
  void WMSizeCombo(TMessage& m);
  void FMCancelMode(TMessage& m);
  void FNCommand(TMessage& m);
  void FNDrawItem(TMessage& m);
  void FNMeasureItem(TMessage& m);

  std::unique_ptr<TComboBoxStrings> items_;
  std::unique_ptr<TStringList> savedItems_;
  std::int32_t savedIndex_ = -1;
  std::unique_ptr<TControlCanvas> canvas_;
  TComboBoxStyle style_ = csDropDown;
  std::int32_t itemHeight_ = 16;
  std::int32_t dropDownCount_ = 8;
  std::int32_t maxLength_ = 0;
  bool sorted_ = false;
  TEditCharCase charCase_ = ecNormal;
  HWND editHandle_ = nullptr;
  HWND listHandle_ = nullptr;
  WNDPROC editPrevProc_ = nullptr;
  WNDPROC listPrevProc_ = nullptr;
  bool droppingDown_ = false;
  bool isFocused_ = false;
  bool focusChanged_ = false;
};

class TComboBox : public TCustomComboBox {
  TW_PUBLISHED_CLASS(TComboBox, TCustomComboBox)

 public:
  using TCustomComboBox::TCustomComboBox;
};

// ---- Push button ------------------------------------------------------------------

class TButtonControl : public TWinControl {
  TW_PUBLISHED_CLASS(TButtonControl, TWinControl)

 public:
  explicit TButtonControl(TComponent* owner);
  // A push button is never checked; the state exists for the descendants.
  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool value) { (void)value; }

 protected:
  bool ClicksDisabled() const { return clicksDisabled_; }

 private:
  void WMLButtonDownButton(TMessage& m);
  void FNCommandFilter(TMessage& m);

  bool clicksDisabled_ = false;
};

class TButton : public TButtonControl {
  TW_PUBLISHED_CLASS(TButton, TButtonControl)

 public:
  explicit TButton(TComponent* owner);

  std::string CaptionText() const { return const_cast<TButton*>(this)->Text(); }

  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  // Reacts to Enter and is drawn as the default button.
  bool IsActive() const { return active_; }

  // The click step: the owning form's ModalResult, then OnClick.
  void Click();

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;

 private:
  void SetButtonStyle(bool isDefault);

  void FNCommand(TMessage& m);
  void FMDialogKey(TMessage& m);
  void FMDialogChar(TMessage& m);
  void FMFocusChanged(TMessage& m);
  void WMEraseBkgnd(TMessage& m);

  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = 0;
  bool active_ = false;
};

// Makes every standard control class known to the form reader (once is enough;
// later calls change nothing).
void RegisterStdControlClasses();

}  // namespace tw
