#include "ui/Screen.h"

#include <algorithm>
#include <memory>

#include "ui/SystemInfo.h"
#include "ui/WinControl.h"

namespace tw {

namespace {

TScreen* screen = nullptr;

// The non-client metrics record as the platform's older definition has it
// (340 bytes narrow, 500 wide): the compiler's structure has grown a field
// since, and some platforms refuse the longer record.
constexpr UINT kNonClientMetricsSize = 500;
static_assert(kNonClientMetricsSize + sizeof(int) == sizeof(NONCLIENTMETRICSW));

}  // namespace

TScreen* Screen() { return screen; }

void SetScreen(TScreen* value) { screen = value; }

// ---- TScreen ---------------------------------------------------------------------------

void TScreen::Publish(Publisher&) {}

TScreen::TScreen(TComponent* owner) : TComponent(owner), hintFont_(std::make_unique<TFont>()) {
  pixelsPerInch_ = ScreenPixelsPerInch();
  ReadMetrics();
}

TScreen::~TScreen() = default;

void TScreen::SetCursor(TCursor value) {
  cursor_ = value;
  ++cursorCount_;
}

void TScreen::AddCustomForm(TCustomForm* form) {
  if (std::find(customForms_.begin(), customForms_.end(), form) == customForms_.end()) customForms_.push_back(form);
}

void TScreen::AddToFormList(TCustomForm* form, bool isForm) {
  AddCustomForm(form);
  if (!isForm) return;
  if (std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(form);
}

void TScreen::RemoveForm(TCustomForm* form) {
  std::erase(customForms_, form);
  std::erase(forms_, form);
  std::erase(savedFocus_, form);
  if (focusedForm_ == form) focusedForm_ = nullptr;
  if (activeForm_ == form) {
    activeForm_ = nullptr;
    activeControl_ = nullptr;
  }
}

void TScreen::MoveToFront(TCustomForm* form) {
  for (auto* list : {&customForms_, &forms_}) {
    auto it = std::find(list->begin(), list->end(), form);
    if (it != list->end()) std::rotate(list->begin(), it, it + 1);
  }
}

void TScreen::SetFocus(TCustomForm* form, TWinControl* control) {
  const bool formChanged = activeForm_ != form;
  activeForm_ = form;
  activeControl_ = control;
  MoveToFront(form);
  if (formChanged) OnActiveFormChange(this);
}

void TScreen::ForgetControl(TControl* control) {
  if (activeControl_ && activeControl_->IsWithin(control)) activeControl_ = nullptr;
}

void TScreen::SaveFocusFor(TCustomForm* modal) {
  savedFocus_.insert(savedFocus_.begin(), focusedForm_);
  focusedForm_ = modal;
}

void TScreen::RestoreFocus() {
  if (savedFocus_.empty()) {
    focusedForm_ = nullptr;
    return;
  }
  focusedForm_ = savedFocus_.front();
  savedFocus_.erase(savedFocus_.begin());
}

void TScreen::ForgetSavedFocus(TCustomForm* form) { std::erase(savedFocus_, form); }

// ---- The screen's metrics ------------------------------------------------------------

void TScreen::ReadMetrics() {
  pixelsPerInch_ = ScreenPixelsPerInch();
  // Read wide: the narrow record's face name would be decoded by the system's
  // code page after the platform encoded it by the program's.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = kNonClientMetricsSize;
  auto font = std::make_unique<TFont>();
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0)) {
    HFONT handle = CreateFontIndirectW(&metrics.lfStatusFont);
    if (handle)
      font->SetHandle(handle);
    else
      font->SetSize(8);
  } else {
    font->SetSize(8);
  }
  hintFont_ = std::move(font);
}

}  // namespace tw
