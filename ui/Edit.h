// The single-line edit, on the platform's own EDIT class.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/ControlTypes.h"
#include "ui/Controls.h"

namespace tw {

enum TEditCharCase : std::uint8_t { ecNormal, ecUpperCase, ecLowerCase };

TW_ENUMERATION(TEditCharCase, "ecNormal", "ecUpperCase", "ecLowerCase")

class TCustomEdit : public TWinControl {
  TW_PUBLISHED_CLASS(TCustomEdit, TWinControl)

 public:
  explicit TCustomEdit(TComponent* owner);
  ~TCustomEdit() override;

  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  // An edit's border takes the first two of the border styles.
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
  TAccessibleTraits AccessibleTraits() const override;
  bool UserModified() const;
  void SetUserModified(bool value);

  // Selection operations (each one platform message).
  void ClearText();
  void SelectAll();
  std::int32_t SelectionStart();
  void SetSelectionStart(std::int32_t value);
  std::int32_t SelectionLength();
  void SetSelectionLength(std::int32_t value);
  // The selected bytes, whole double-byte characters, whichever way the
  // platform counts selection positions.
  std::string SelectedText();
  // Copies at most size - 1 bytes of the selection (whole characters) and a
  // terminator; the number of bytes copied. A buffer of size 0 (or none) receives nothing.
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
  void FMTextChanged(TMessage& m);
  void FMEnter(TMessage& m);
  void FMFontChanged(TMessage& m);
  void FMCtl3DChanged(TMessage& m);

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

// Whether the platform's edit windows give selection positions in characters
// (a double-byte character counts once) rather than in bytes, as some
// platforms do even for an ANSI window.
bool EditPositionsCountCharacters();

class TEdit : public TCustomEdit {
  TW_PUBLISHED_CLASS(TEdit, TCustomEdit)

 public:
  using TCustomEdit::TCustomEdit;
};

}  // namespace tw
