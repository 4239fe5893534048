// The combo box, on the platform's own COMBOBOX class, and its list of items.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/StringList.h"
#include "ui/Controls.h"
#include "ui/Edit.h"

namespace tw {

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

TW_ENUMERATION(TComboBoxStyle, "csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable")

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

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* value);
  std::int32_t SelectedIndex();
  void SetSelectedIndex(std::int32_t value);
  // The owner-draw height, else the platform's (the window is made for it).
  std::int32_t ItemHeight() const;
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
  TAccessibleTraits AccessibleTraits() const override { return {.role = ROLE_SYSTEM_COMBOBOX, .field = true}; }

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
  // A character for a part: the key-press event, then Enter and Escape close
  // an open list. False when it goes no further.
  bool PassPartChar(TMessage& m);
  // Takes the platform's edit or list part: its window procedure passes
  // through the combo box first.
  void HookSubWindow(HWND window, HWND& part, WNDPROC& previous);
  void ForgetSubWindow(HWND& part, WNDPROC& previous);
  void UnhookSubWindows();
  void SetEditMargins();

  void WMCreate(TMessage& m);
  void WMCtlColor(TMessage& m);
  void FNCtlColor(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMLButtonDown(TMessage& m);
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

}  // namespace tw
