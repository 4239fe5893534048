#include "ui/Edit.h"

#include <oleacc.h>

#include <algorithm>

#include "runtime/Platform.h"
#include "runtime/ScopeExit.h"
#include "runtime/Text.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// Where the character of that index starts in a byte text of the ANSI code
// page (the text's length past its end).
std::size_t ByteOffsetOfCharacter(std::string_view text, std::size_t index) {
  std::size_t offset = 0;
  for (std::size_t i = 0; i < index && offset < text.size(); ++i)
    offset += platform::IsLeadByte(static_cast<std::uint8_t>(text[offset])) ? 2 : 1;
  return std::min(offset, text.size());
}

}  // namespace

bool EditPositionsCountCharacters() {
  // Asked once of a scratch edit holding one double-byte character: selected
  // whole, its end is 1 when positions count characters and 2 when bytes.
  static const bool characters = [] {
    HWND probe = CreateWindowExA(0, "EDIT", "\x82\xA0", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (!probe) return false;
    SendMessageA(probe, EM_SETSEL, 0, -1);
    DWORD start = 0, end = 0;
    SendMessageA(probe, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    DestroyWindow(probe);
    return end == 1;
  }();
  return characters;
}

void TCustomEdit::Publish(Publisher& p) {
  TW_MESSAGE(WM_SETFONT, WMSetFont);
  TW_MESSAGE(FN_COMMAND, FNCommand);
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChanged);
  TW_MESSAGE(FM_ENTER, FMEnter);
  TW_MESSAGE(FM_FONTCHANGED, FMFontChanged);
  TW_MESSAGE(FM_CTL3DCHANGED, FMCtl3DChanged);
}

void TEdit::Publish(Publisher& p) {
  TW_PROPERTY(Text, &Self::Text, &Self::SetText);
  TW_PROPERTY(AutoSelect, &Self::AutoSelect, &Self::SetAutoSelect);
  TW_PROPERTY(AutoSize, &Self::AutoSize, &Self::SetAutoSize);
  TW_PROPERTY(CharCase, &Self::CharCase, &Self::SetCharCase);
  TW_PROPERTY(HideSelection, &Self::HideSelection, &Self::SetHideSelection);
  TW_PROPERTY(MaxLength, &Self::MaxLength, &Self::SetMaxLength);
  TW_PROPERTY(OEMConvert, &Self::OEMConvert, &Self::SetOEMConvert);
  TW_PROPERTY(PasswordChar, &Self::PasswordChar, &Self::SetPasswordChar);
  TW_PROPERTY(ReadOnly, &Self::ReadOnly, &Self::SetReadOnly);
  PublishColor(p);
  TW_PROPERTY(OnChange, &Self::OnChange, &Self::OnChange);
  PublishMouseEvents(p, true);
}

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  ControlStyle = {csClickEvents, csSetsCaption, csDoubleClicks, csFixedHeight};
  if (!NewStyleControls()) ControlStyle.Include(csFramed);
  PlaceControl(Left(), Top(), 121, 25);
  SetTabStop(true);
  SetParentColor(false);
  ApplyFixedHeight();
}

TCustomEdit::~TCustomEdit() = default;

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "EDIT");
  params.style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
  if (borderStyle_ == bsSingle) params.style |= WS_BORDER;
  if (passwordChar_ != '\0') params.style |= ES_PASSWORD;
  if (readOnly_) params.style |= ES_READONLY;
  if (charCase_ == ecUpperCase) params.style |= ES_UPPERCASE;
  if (charCase_ == ecLowerCase) params.style |= ES_LOWERCASE;
  if (!hideSelection_) params.style |= ES_NOHIDESEL;
  if (oemConvert_) params.style |= ES_OEMCONVERT;
  if (NewStyleControls() && Ctl3D() && borderStyle_ == bsSingle) {
    params.style &= ~static_cast<DWORD>(WS_BORDER);
    params.exStyle |= WS_EX_CLIENTEDGE;
  }
  // Double-byte systems outside the NT family mishandle a read-only edit made
  // as such; it is made writable and switched to read-only afterwards.
  if (DoubleByteSystem() && !NtPlatform()) params.style &= ~static_cast<DWORD>(ES_READONLY);
}

void TCustomEdit::CreateWnd() {
  {
    // The platform's change notifications during creation are not the user's.
    const TFlagScope creating(creating_);
    TWinControl::CreateWnd();
  }
  HWND window = WindowHandle();
  if (readOnly_ && DoubleByteSystem() && !NtPlatform()) SendMessageA(window, EM_SETREADONLY, 1, 0);
  SendMessageA(window, EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
  SendMessageA(window, EM_SETMODIFY, modified_ ? 1 : 0, 0);
  if (passwordChar_ != '\0') SendMessageA(window, EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_), 0);
  ApplyFixedHeight();
}

void TCustomEdit::DestroyWnd() {
  if (HWND window = WindowHandle()) modified_ = SendMessageA(window, EM_GETMODIFY, 0, 0) != 0;
  TWinControl::DestroyWnd();
}

void TCustomEdit::ApplyFixedHeight() {
  if (autoSize_ && borderStyle_ == bsSingle) {
    ControlStyle.Include(csFixedHeight);
    FitHeightToFont();
  } else {
    ControlStyle.Exclude(csFixedHeight);
  }
}

void TCustomEdit::FitHeightToFont() {
  HDC dc = GetDC(nullptr);
  TEXTMETRICA systemMetrics{};
  TEXTMETRICA fontMetrics{};
  GetTextMetricsA(dc, &systemMetrics);
  HGDIOBJ old = SelectObject(dc, Font()->Handle());
  GetTextMetricsA(dc, &fontMetrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  int extra;
  if (NewStyleControls())
    extra = (Ctl3D() ? 8 : 6) * GetSystemMetrics(SM_CYBORDER);
  else
    extra = std::min(systemMetrics.tmHeight, fontMetrics.tmHeight) / 4 + 4 * GetSystemMetrics(SM_CYBORDER);
  PlaceControl(Left(), Top(), Width(), fontMetrics.tmHeight + extra);
}

void TCustomEdit::SetAutoSize(bool value) {
  if (ChangeField(autoSize_, value)) ApplyFixedHeight();
}

void TCustomEdit::SetBorderStyle(TBorderStyle value) {
  if (!ChangeField(borderStyle_, value)) return;
  ApplyFixedHeight();
  RecreateWindow();
}

void TCustomEdit::SetCharCase(TEditCharCase value) {
  if (ChangeField(charCase_, value)) RecreateWindow();
}

void TCustomEdit::SetHideSelection(bool value) {
  if (ChangeField(hideSelection_, value)) RecreateWindow();
}

void TCustomEdit::SetOEMConvert(bool value) {
  if (ChangeField(oemConvert_, value)) RecreateWindow();
}

void TCustomEdit::SetMaxLength(std::int32_t value) {
  if (!ChangeField(maxLength_, value)) return;
  if (HWND window = WindowHandle()) SendMessageA(window, EM_LIMITTEXT, static_cast<WPARAM>(value), 0);
}

void TCustomEdit::SetPasswordChar(char value) {
  if (!ChangeField(passwordChar_, value)) return;
  if (HWND window = WindowHandle()) {
    SendMessageA(window, EM_SETPASSWORDCHAR, static_cast<unsigned char>(value), 0);
    const std::string text = Text();
    SetWindowTextA(window, text.c_str());
  }
}

void TCustomEdit::SetReadOnly(bool value) {
  if (!ChangeField(readOnly_, value)) return;
  if (HWND window = WindowHandle()) SendMessageA(window, EM_SETREADONLY, value ? 1 : 0, 0);
}

bool TCustomEdit::UserModified() const {
  if (HWND window = WindowHandle()) return SendMessageA(window, EM_GETMODIFY, 0, 0) != 0;
  return modified_;
}

void TCustomEdit::SetUserModified(bool value) {
  if (HWND window = WindowHandle())
    SendMessageA(window, EM_SETMODIFY, value ? 1 : 0, 0);
  else
    modified_ = value;
}

void TCustomEdit::ClearText() { SetWindowTextA(Handle(), ""); }

void TCustomEdit::SelectAll() { SendMessageA(Handle(), EM_SETSEL, 0, -1); }

std::int32_t TCustomEdit::SelectionStart() {
  DWORD start = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<std::int32_t>(start);
}

void TCustomEdit::SetSelectionStart(std::int32_t value) {
  SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(value), value);
}

std::int32_t TCustomEdit::SelectionLength() {
  DWORD start = 0, end = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<std::int32_t>(end) - static_cast<std::int32_t>(start);
}

void TCustomEdit::SetSelectionLength(std::int32_t value) {
  const std::int32_t start = SelectionStart();
  SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(start), start + value);
  SendMessageA(Handle(), EM_SCROLLCARET, 0, 0);
}

std::string TCustomEdit::SelectedText() {
  DWORD start = 0, end = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (end <= start) return {};
  const std::string text = Text();
  std::size_t from = start, to = end;
  if (EditPositionsCountCharacters()) {
    from = ByteOffsetOfCharacter(text, start);
    to = ByteOffsetOfCharacter(text, end);
  }
  from = std::min(from, text.size());
  to = std::min(to, text.size());
  return from < to ? text.substr(from, to - from) : std::string();
}

std::int32_t TCustomEdit::CopySelectedText(char* buffer, std::int32_t size) {
  // Not even the terminator fits a buffer of size 0.
  if (!buffer || size <= 0) return 0;
  // A double-byte character that does not fit whole is left out whole.
  const std::string_view selected = CutText(SelectedText(), static_cast<std::size_t>(size - 1));
  const std::size_t n = selected.size();
  std::copy_n(selected.data(), n, buffer);
  buffer[n] = '\0';
  return static_cast<std::int32_t>(n);
}

void TCustomEdit::Change() {
  Changed();
  OnChange(this);
}

TAccessibleTraits TCustomEdit::AccessibleTraits() const {
  return {.role = ROLE_SYSTEM_TEXT, .states = readOnly_ ? STATE_SYSTEM_READONLY : 0u, .field = true};
}

void TCustomEdit::WMSetFont(TMessage& m) {
  DefaultHandler(m);
  if (HWND window = WindowHandle(); window && NewStyleControls() && !(GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE))
    SendMessageA(window, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

void TCustomEdit::FNCommand(TMessage& m) {
  if (HIWORD(m.wParam) == EN_CHANGE && !creating_) Change();
}

void TCustomEdit::FMTextChanged(TMessage& m) {
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
  // A single-line edit with a window hears of the change from the platform.
  HWND window = WindowHandle();
  if (!window || (GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE)) Change();
}

void TCustomEdit::FMEnter(TMessage& m) {
  HWND window = WindowHandle();
  if (autoSelect_ && !ControlState.Contains(csLeftButtonDown) && window &&
      !(GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE))
    SelectAll();
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
}

void TCustomEdit::FMFontChanged(TMessage& m) {
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
  if (ControlStyle.Contains(csFixedHeight) && !(HasState(stDesigning) && HasState(stLoading))) FitHeightToFont();
}

void TCustomEdit::FMCtl3DChanged(TMessage& m) {
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
  if (NewStyleControls()) {
    ApplyFixedHeight();
    RecreateWindow();
  }
}

}  // namespace tw
