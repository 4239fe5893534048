// The screen: every form, the one with the focus and its active control, the
// cursor and the fonts of the platform's metrics.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/Component.h"
#include "graphics/Graphics.h"

namespace tw {

class TCustomForm;
class TControl;
class TWinControl;

class TScreen : public TComponent {
  TW_PUBLISHED_CLASS(TScreen, TComponent)

 public:
  explicit TScreen(TComponent* owner);
  ~TScreen() override;

  std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
  std::int32_t Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  std::int32_t Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  // Every form (custom forms) and the TForm ones, the focused first.
  const std::vector<TCustomForm*>& CustomForms() const { return customForms_; }
  const std::vector<TCustomForm*>& Forms() const { return forms_; }
  TCustomForm* ActiveForm() const { return activeForm_; }
  TWinControl* ActiveControl() const { return activeControl_; }
  TCustomForm* FocusedForm() const { return focusedForm_; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor value);
  int CursorCount() const { return cursorCount_; }
  // The fonts of the platform's metrics: the hint font is the status font.
  TFont* HintFont() const { return hintFont_.get(); }
  void ReadMetrics();

  TNotifyEvent OnActiveControlChange;
  TNotifyEvent OnActiveFormChange;

 private:
  friend class TCustomForm;
  friend class TApplication;
  // Every form enters the custom list as its constructor starts; the list of
  // TForm ones is joined once the most derived class is complete (a base
  // constructor's class query still answers the base).
  void AddCustomForm(TCustomForm* form);
  // A form of the TForm kind (as the form, knowing its class, tells) is
  // listed in Forms() as well.
  void AddToFormList(TCustomForm* form, bool isForm);
  void RemoveForm(TCustomForm* form);
  void MoveToFront(TCustomForm* form);
  // The form became active with its active control (none: the form itself).
  void SetFocus(TCustomForm* form, TWinControl* control);
  void ForgetControl(TControl* control);
  void SetFocusedForm(TCustomForm* form) { focusedForm_ = form; }
  // A modal loop takes the focus for its form and gives it back afterwards to
  // the form that had it, unless that form has gone meanwhile; loops nest.
  void SaveFocusFor(TCustomForm* modal);
  void RestoreFocus();
  void ForgetSavedFocus(TCustomForm* form);

  std::int32_t pixelsPerInch_ = 96;
  std::vector<TCustomForm*> customForms_;
  std::vector<TCustomForm*> forms_;
  std::vector<TCustomForm*> savedFocus_;
  TCustomForm* focusedForm_ = nullptr;
  TCustomForm* activeForm_ = nullptr;
  TWinControl* activeControl_ = nullptr;
  TCursor cursor_ = 0;
  int cursorCount_ = 0;
  std::unique_ptr<TFont> hintFont_;
};

// The screen object (made at framework start-up).
TScreen* Screen();
void SetScreen(TScreen* screen);

}  // namespace tw
