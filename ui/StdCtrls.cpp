#include "ui/StdCtrls.h"

#include <algorithm>

#include "core/ClassRegistry.h"
#include "runtime/Exceptions.h"
#include "ui/Accelerators.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// The framework's shared graphic-control painting wants labels that cover
// their rectangle unless they say otherwise.
constexpr UINT kAlignmentFlags[] = {DT_LEFT, DT_RIGHT, DT_CENTER};

bool NoModifiers(std::intptr_t keyData) { return ShiftStateOfKeyData(keyData).Empty(); }

bool IsEditClassName(HWND window) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, "Edit") == 0;
}

}  // namespace

// ---- Label ------------------------------------------------------------------------

void TCustomLabel::Publish(Publisher& p) { TW_MESSAGE(FM_DIALOGCHAR, FMDialogChar); }

void TLabel::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::CaptionText, &Self::SetCaption);
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
  if (alignment_ == value) return;
  alignment_ = value;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  Invalidate();
}

void TCustomLabel::SetAutoSize(bool value) {
  if (autoSize_ == value) return;
  autoSize_ = value;
  AdjustSize();
}

void TCustomLabel::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  AdjustSize();
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool value) {
  if (showAccelChar_ == value) return;
  showAccelChar_ = value;
  Invalidate();
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
  if (focusControl_) focusControl_->CancelFreeNotice(*this);
  focusControl_ = value;
  // The reference is weak: the label hears when the control goes.
  if (value) value->RequestFreeNotice(*this);
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
  TCanvas* canvas = Canvas();
  canvas->Lock();
  try {
    canvas->SetHandle(dc);
    DoDrawText(rect, DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0));
  } catch (...) {
    canvas->SetHandle(nullptr);
    canvas->Unlock();
    ReleaseDC(nullptr, dc);
    throw;
  }
  canvas->SetHandle(nullptr);
  canvas->Unlock();
  ReleaseDC(nullptr, dc);
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

// ---- Group box --------------------------------------------------------------------

void TCustomGroupBox::Publish(Publisher& p) {
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChangedBox);
  TW_MESSAGE(FM_CTL3DCHANGED, FMCtl3DChanged);
  TW_MESSAGE(WM_SIZE, WMSizeBox);
  TW_MESSAGE(FM_DIALOGCHAR, FMDialogChar);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgndBox);
}

void TGroupBox::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::CaptionText, &Self::SetCaption);
  PublishColor(p);
  PublishMouseEvents(p, true);
}

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TCustomControl(owner) {
  ControlStyle = {csAcceptsChildren, csCapturesMouse, csClickEvents, csSetsCaption, csDoubleClicks, csReplicatable};
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

void TCustomGroupBox::FMTextChangedBox(TMessage&) { Invalidate(); }

void TCustomGroupBox::FMCtl3DChanged(TMessage&) { Invalidate(); }

void TCustomGroupBox::WMSizeBox(TMessage& m) {
  PassToAncestors(TCustomGroupBox::StaticClassInfo(), m);
  Invalidate();
}

void TCustomGroupBox::WMEraseBkgndBox(TMessage& m) {
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

// ---- Edit -------------------------------------------------------------------------

void TCustomEdit::Publish(Publisher& p) {
  TW_MESSAGE(WM_SETFONT, WMSetFont);
  TW_MESSAGE(FN_COMMAND, FNCommand);
  TW_MESSAGE(FM_TEXTCHANGED, FMTextChangedEdit);
  TW_MESSAGE(FM_ENTER, FMEnterEdit);
  TW_MESSAGE(FM_FONTCHANGED, FMFontChangedEdit);
  TW_MESSAGE(FM_CTL3DCHANGED, FMCtl3DChangedEdit);
}

void TEdit::Publish(Publisher& p) {
  TW_PROPERTY(Text, &Self::TextValue, &Self::SetText);
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
  creating_ = true;
  try {
    TWinControl::CreateWnd();
  } catch (...) {
    creating_ = false;
    throw;
  }
  creating_ = false;
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
  if (autoSize_ == value) return;
  autoSize_ = value;
  ApplyFixedHeight();
}

void TCustomEdit::SetBorderStyle(TBorderStyle value) {
  if (borderStyle_ == value) return;
  borderStyle_ = value;
  ApplyFixedHeight();
  RecreateWindow();
}

void TCustomEdit::SetCharCase(TEditCharCase value) {
  if (charCase_ == value) return;
  charCase_ = value;
  RecreateWindow();
}

void TCustomEdit::SetHideSelection(bool value) {
  if (hideSelection_ == value) return;
  hideSelection_ = value;
  RecreateWindow();
}

void TCustomEdit::SetOEMConvert(bool value) {
  if (oemConvert_ == value) return;
  oemConvert_ = value;
  RecreateWindow();
}

void TCustomEdit::SetMaxLength(std::int32_t value) {
  if (maxLength_ == value) return;
  maxLength_ = value;
  if (HWND window = WindowHandle()) SendMessageA(window, EM_LIMITTEXT, static_cast<WPARAM>(value), 0);
}

void TCustomEdit::SetPasswordChar(char value) {
  if (passwordChar_ == value) return;
  passwordChar_ = value;
  if (HWND window = WindowHandle()) {
    SendMessageA(window, EM_SETPASSWORDCHAR, static_cast<unsigned char>(value), 0);
    const std::string text = Text();
    SetWindowTextA(window, text.c_str());
  }
}

void TCustomEdit::SetReadOnly(bool value) {
  if (readOnly_ == value) return;
  readOnly_ = value;
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
  const std::int32_t length = SelectionLength();
  if (length <= 0) return {};
  const std::string text = Text();
  const auto start = static_cast<std::size_t>(std::max(SelectionStart(), 0));
  if (start >= text.size()) return {};
  return text.substr(start, static_cast<std::size_t>(length));
}

std::int32_t TCustomEdit::CopySelectedText(char* buffer, std::int32_t size) {
  // Not even the terminator fits a buffer of size 0.
  if (!buffer || size <= 0) return 0;
  const std::string selected = SelectedText();
  const auto n = std::min(static_cast<std::size_t>(size - 1), selected.size());
  std::copy_n(selected.data(), n, buffer);
  buffer[n] = '\0';
  return static_cast<std::int32_t>(n);
}

void TCustomEdit::Change() {
  Changed();
  OnChange(this);
}

void TCustomEdit::WMSetFont(TMessage& m) {
  DefaultHandler(m);
  if (HWND window = WindowHandle(); window && NewStyleControls() && !(GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE))
    SendMessageA(window, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

void TCustomEdit::FNCommand(TMessage& m) {
  if (HIWORD(m.wParam) == EN_CHANGE && !creating_) Change();
}

void TCustomEdit::FMTextChangedEdit(TMessage& m) {
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
  // A single-line edit with a window hears of the change from the platform.
  HWND window = WindowHandle();
  if (!window || (GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE)) Change();
}

void TCustomEdit::FMEnterEdit(TMessage& m) {
  HWND window = WindowHandle();
  if (autoSelect_ && !ControlState.Contains(csLeftButtonDown) && window &&
      !(GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE))
    SelectAll();
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
}

void TCustomEdit::FMFontChangedEdit(TMessage& m) {
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
  if (ControlStyle.Contains(csFixedHeight) && !(HasState(stDesigning) && HasState(stLoading))) FitHeightToFont();
}

void TCustomEdit::FMCtl3DChangedEdit(TMessage& m) {
  PassToAncestors(TCustomEdit::StaticClassInfo(), m);
  if (NewStyleControls()) {
    ApplyFixedHeight();
    RecreateWindow();
  }
}

// ---- Combo box list ---------------------------------------------------------------

LRESULT TComboBoxStrings::Send(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return SendMessageA(combo_->Handle(), msg, wParam, lParam);
}

int TComboBoxStrings::LineCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }

std::string TComboBoxStrings::LineAt(int index) const {
  // The length comes first, so that an item of any length is read whole.
  const LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (length < 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT got = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  if (got < 0) return {};
  text.resize(static_cast<std::size_t>(std::min<LRESULT>(got, length)));
  return text;
}

std::intptr_t TComboBoxStrings::DatumAt(int index) const {
  // An item's datum may be -1 (CB_ERR) itself: the index is checked instead.
  if (index < 0 || index >= LineCount()) throw EStringListError(msg::ListIndexError, {index});
  return static_cast<std::intptr_t>(Send(CB_GETITEMDATA, static_cast<WPARAM>(index)));
}

void TComboBoxStrings::PutDatumAt(int index, std::intptr_t datum) {
  Send(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(datum));
}

TObject* TComboBoxStrings::ObjectAt(int index) const { return reinterpret_cast<TObject*>(DatumAt(index)); }

void TComboBoxStrings::PutObjectAt(int index, TObject* object) {
  PutDatumAt(index, reinterpret_cast<std::intptr_t>(object));
}

int TComboBoxStrings::AddLine(std::string_view text) {
  const std::string copy(text);
  const LRESULT index = Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(copy.c_str()));
  if (index < 0) throw EOutOfResources(msg::InsertLineError);
  return static_cast<int>(index);
}

void TComboBoxStrings::InsertLine(int index, std::string_view text) {
  const std::string copy(text);
  if (Send(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(copy.c_str())) < 0)
    throw EOutOfResources(msg::InsertLineError);
}

void TComboBoxStrings::DeleteLine(int index) { Send(CB_DELETESTRING, static_cast<WPARAM>(index)); }

void TComboBoxStrings::ClearLines() {
  // Emptying the list must not take the typed text with it.
  const std::string text = combo_->Text();
  Send(CB_RESETCONTENT);
  combo_->SetText(text);
  combo_->Update();
}

int TComboBoxStrings::IndexOfLine(std::string_view text) const {
  const std::string copy(text);
  const LRESULT index = Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(copy.c_str()));
  return index < 0 ? -1 : static_cast<int>(index);
}

void TComboBoxStrings::UpdateStateChanged(bool updating) {
  Send(WM_SETREDRAW, updating ? 0 : 1);
  if (!updating) {
    combo_->Invalidate();
    combo_->Update();
    if (HWND window = combo_->WindowHandle()) UpdateWindow(window);
  }
}

// ---- Combo box --------------------------------------------------------------------

void TCustomComboBox::Publish(Publisher& p) {
  TW_MESSAGE(WM_CREATE, WMCreate);
  for (std::uint16_t msg = WM_CTLCOLORMSGBOX; msg <= WM_CTLCOLORSTATIC; ++msg) {
    p.template MessageHandler<&Self::WMCtlColor>(msg);
    p.template MessageHandler<&Self::FNCtlColor>(static_cast<std::uint16_t>(msg + FN_BASE));
  }
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
  TW_MESSAGE(WM_LBUTTONDOWN, WMLButtonDownCombo);
  TW_MESSAGE(WM_GETDLGCODE, WMGetDlgCode);
  TW_MESSAGE(FM_CANCELMODE, FMCancelMode);
  TW_MESSAGE(FN_COMMAND, FNCommand);
  TW_MESSAGE(FN_DRAWITEM, FNDrawItem);
  TW_MESSAGE(FN_MEASUREITEM, FNMeasureItem);
}

void TComboBox::Publish(Publisher& p) {
  TW_PROPERTY(Style, &Self::Style, &Self::SetStyle);
  TW_PROPERTY(Text, &Self::TextValue, &Self::SetText);
  TW_PROPERTY(ItemHeight, &Self::ItemHeightValue, &Self::SetItemHeight);
  TW_PROPERTY(Items, &Self::Items, &Self::SetItems);
  TW_PROPERTY(DropDownCount, &Self::DropDownCount, &Self::SetDropDownCount);
  TW_PROPERTY(MaxLength, &Self::MaxLength, &Self::SetMaxLength);
  TW_PROPERTY(Sorted, &Self::Sorted, &Self::SetSorted);
  PublishColor(p);
  TW_PROPERTY(OnChange, &Self::OnChange, &Self::OnChange);
  TW_PROPERTY(OnDropDown, &Self::OnDropDown, &Self::OnDropDown);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::OnClick);
  TW_PROPERTY(OnDblClick, &Self::OnDblClick, &Self::OnDblClick);
}

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWinControl(owner),
      items_(std::make_unique<TComboBoxStrings>(this)),
      canvas_(std::make_unique<TControlCanvas>(this)) {
  ControlStyle = {csCapturesMouse, csSetsCaption, csDoubleClicks, csFixedHeight, csReflector};
  if (!NewStyleControls()) ControlStyle.Include(csFramed);
  PlaceControl(Left(), Top(), 145, 25);
  SetTabStop(true);
  SetParentColor(false);
}

TCustomComboBox::~TCustomComboBox() { UnhookSubWindows(); }

void TCustomComboBox::BeforeFree() {
  TWinControl::BeforeFree();
  UnhookSubWindows();
}

void TCustomComboBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "COMBOBOX");
  params.style |= WS_VSCROLL | CBS_HASSTRINGS | CBS_AUTOHSCROLL;
  static constexpr DWORD kStyleBits[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST,
                                         CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED,
                                         CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE};
  params.style |= kStyleBits[style_];
  if (sorted_) params.style |= CBS_SORT;
  if (charCase_ == ecUpperCase) params.style |= CBS_UPPERCASE;
  if (charCase_ == ecLowerCase) params.style |= CBS_LOWERCASE;
}

void TCustomComboBox::CreateWnd() {
  TWinControl::CreateWnd();
  HWND window = WindowHandle();
  SendMessageA(window, CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
  if (std::unique_ptr<TStringList> saved = std::move(savedItems_)) {
    items_->AssignFrom(saved.get());
    if (savedIndex_ != -1) {
      const int count = items_->LineCount();
      const int index = std::min(savedIndex_, count - 1);
      SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    savedIndex_ = -1;
  }
  if (style_ == csDropDown || style_ == csSimple) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (IsEditClassName(child)) {
        if (!editHandle_) HookSubWindow(child, editPrevProc_), editHandle_ = child;
      } else if (style_ == csSimple && !listHandle_) {
        HookSubWindow(child, listPrevProc_);
        listHandle_ = child;
      }
    }
    SetEditMargins();
  }
}

void TCustomComboBox::DestroyWnd() {
  if (HWND window = WindowHandle(); window && !HasState(stDestroying)) {
    // The items and the selection outlive the window.
    if (SendMessageA(window, CB_GETCOUNT, 0, 0) > 0) {
      savedIndex_ = static_cast<std::int32_t>(SendMessageA(window, CB_GETCURSEL, 0, 0));
      auto saved = std::make_unique<TStringList>();
      saved->AssignFrom(items_.get());
      savedItems_ = std::move(saved);
    }
  }
  TWinControl::DestroyWnd();
}

void TCustomComboBox::HookSubWindow(HWND window, WNDPROC& previous) {
  previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubWindowProc));
}

void TCustomComboBox::UnhookSubWindows() {
  auto unhook = [this](HWND& window, WNDPROC& previous) {
    if (window && IsWindow(window) && GetWindowLongPtrA(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    }
    window = nullptr;
    previous = nullptr;
  };
  unhook(editHandle_, editPrevProc_);
  unhook(listHandle_, listPrevProc_);
}

void TCustomComboBox::SetEditMargins() {
  if (editHandle_ && NewStyleControls()) SendMessageA(editHandle_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

LRESULT CALLBACK TCustomComboBox::SubWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* combo = reinterpret_cast<TCustomComboBox*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!combo) return DefWindowProcA(window, msg, wParam, lParam);
  const WNDPROC previous = window == combo->editHandle_ ? combo->editPrevProc_ : combo->listPrevProc_;
  if (!previous) return DefWindowProcA(window, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    combo->SubWindowMessage(m, window, previous);
  } catch (...) {
    HandleUncaughtException(combo);
  }
  if (msg == WM_NCDESTROY) {
    // The part is gone; its procedure was handed back by the platform's own clean-up.
    if (window == combo->editHandle_) combo->editHandle_ = nullptr, combo->editPrevProc_ = nullptr;
    if (window == combo->listHandle_) combo->listHandle_ = nullptr, combo->listPrevProc_ = nullptr;
  }
  TControlCanvas::ReleaseAllContexts();
  return m.result;
}

void TCustomComboBox::SubWindowMessage(TMessage& m, HWND window, WNDPROC previous) {
  switch (m.msg) {
    case WM_SYSCOMMAND:
      if (window == editHandle_) {
        m.result = Deliver(m.msg, m.wParam, m.lParam);
        return;
      }
      break;
    case WM_SETFOCUS:
      if (TWinControl* form = ParentFormControl(this); form && !form->SetFocusedControl(this)) return;
      break;
    case WM_KILLFOCUS:
      if (ControlState.Contains(csFocusing)) return;
      break;
    case WM_GETDLGCODE:
      if (ListOpen()) {
        m.result = DLGC_WANTALLKEYS;
        return;
      }
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      if (window == listHandle_ && (m.msg == WM_KEYDOWN || m.msg == WM_SYSKEYDOWN)) break;
      if (ControlStyle.Contains(csNoStdEvents)) break;
      std::uint16_t key = static_cast<std::uint16_t>(m.wParam);
      if (m.msg == WM_KEYDOWN || m.msg == WM_SYSKEYDOWN)
        OnKeyDown(this, key, ShiftStateOfKeyData(m.lParam));
      else
        OnKeyUp(this, key, ShiftStateOfKeyData(m.lParam));
      if (key == 0) return;
      m.wParam = key;
      break;
    }
    case WM_CHAR: {
      if (!ControlStyle.Contains(csNoStdEvents)) {
        char ch = static_cast<char>(m.wParam);
        OnKeyPress(this, ch);
        if (ch == 0) return;
        m.wParam = static_cast<unsigned char>(ch);
      }
      // Enter and Escape close an open list and go no further.
      if ((m.wParam == VK_RETURN || m.wParam == VK_ESCAPE) && ListOpen()) {
        SetListOpen(false);
        return;
      }
      break;
    }
    case WM_MOUSEMOVE: HintMouseMove(this, m); break;
    case FN_KEYDOWN:
    case FN_CHAR:
    case FN_SYSKEYDOWN:
    case FN_SYSCHAR: m.result = Deliver(m.msg, m.wParam, m.lParam); return;
    default: break;
  }
  m.result = CallWindowProcA(previous, window, m.msg, m.wParam, m.lParam);
  if (m.msg == WM_LBUTTONDBLCLK && ControlStyle.Contains(csDoubleClicks)) DblClick();
  if (m.msg == WM_SETFONT && window == editHandle_) SetEditMargins();
}

void TCustomComboBox::WndProc(TMessage& m) {
  // Sizing the window for the open list must not change the control's bounds.
  if (droppingDown_ && (m.msg == WM_SIZE || m.msg == WM_WINDOWPOSCHANGED || m.msg == WM_WINDOWPOSCHANGING)) {
    DefaultHandler(m);
    return;
  }
  TWinControl::WndProc(m);
}

void TCustomComboBox::WMCreate(TMessage& m) {
  DefaultHandler(m);
  const std::string stored = TakeStoredText();
  if (!stored.empty()) SetWindowTextA(WindowHandle(), stored.c_str());
}

void TCustomComboBox::WMCtlColor(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.wParam);
  SetTextColor(dc, ColorToRGB(Font()->Color()));
  SetBkColor(dc, ColorToRGB(Brush()->Color()));
  m.result = reinterpret_cast<std::intptr_t>(Brush()->Handle());
}

void TCustomComboBox::FNCtlColor(TMessage& m) {
  if (!NewStyleControls() && (style_ == csDropDown || style_ == csSimple) && Parent()) {
    m.result = reinterpret_cast<std::intptr_t>(Parent()->Brush()->Handle());
    return;
  }
  DefaultHandler(m);
}

void TCustomComboBox::WMEraseBkgnd(TMessage& m) {
  if (style_ == csSimple && Parent()) {
    RECT rect{};
    GetClientRect(WindowHandle(), &rect);
    FillRect(reinterpret_cast<HDC>(m.wParam), &rect, Parent()->Brush()->Handle());
    m.result = 1;
    return;
  }
  DefaultHandler(m);
}

void TCustomComboBox::WMLButtonDownCombo(TMessage& m) {
  PassToAncestors(TCustomComboBox::StaticClassInfo(), m);
  // The list keeps the mouse only for the control that has the form's focus.
  if (HWND window = WindowHandle(); window && GetCapture() == window) {
    TCustomForm* form = ParentForm();
    if (form && form->ActiveControl() != this) ReleaseCapture();
  }
}

void TCustomComboBox::WMGetDlgCode(TMessage& m) {
  DefaultHandler(m);
  if (ListOpen()) m.result |= DLGC_WANTALLKEYS;
}

void TCustomComboBox::FMCancelMode(TMessage& m) {
  if (reinterpret_cast<TControl*>(m.lParam) != this && WindowHandle())
    SendMessageA(WindowHandle(), CB_SHOWDROPDOWN, 0, 0);
}

void TCustomComboBox::Change() {
  Changed();
  OnChange(this);
}

void TCustomComboBox::FNCommand(TMessage& m) {
  switch (HIWORD(m.wParam)) {
    case CBN_SELCHANGE: {
      // The text follows the choice before either event runs; no choice at
      // all leaves the typed text alone.
      const std::int32_t index = SelectedIndex();
      if (index >= 0) SetText(items_->LineAt(index));
      FireClick();
      Change();
      break;
    }
    case CBN_DBLCLK: DblClick(); break;
    case CBN_SETFOCUS:
      isFocused_ = true;
      focusChanged_ = true;
      break;
    case CBN_KILLFOCUS:
      isFocused_ = false;
      focusChanged_ = true;
      break;
    case CBN_EDITCHANGE: Change(); break;
    case CBN_DROPDOWN:
      focusChanged_ = false;
      OnDropDown(this);
      AdjustDropDown();
      if (focusChanged_) {
        PostMessageA(WindowHandle(), WM_CANCELMODE, 0, 0);
        if (!isFocused_) PostMessageA(WindowHandle(), CB_SHOWDROPDOWN, 0, 0);
      }
      break;
    default: break;
  }
}

void TCustomComboBox::AdjustDropDown() {
  HWND window = WindowHandle();
  if (!window) return;
  const int count = items_->LineCount();
  const int shown = std::max(1, std::min(count, dropDownCount_));
  const int height = ItemHeight() * shown + Height() + 2;
  droppingDown_ = true;
  try {
    SetWindowPos(window, nullptr, 0, 0, Width(), height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_HIDEWINDOW);
  } catch (...) {
    droppingDown_ = false;
    throw;
  }
  droppingDown_ = false;
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_SHOWWINDOW);
}

void TCustomComboBox::FNDrawItem(TMessage& m) {
  auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam);
  if (!item) return;
  TOwnerDrawState state = TOwnerDrawState::FromBits(static_cast<std::uint16_t>(item->itemState));
  canvas_->Lock();
  try {
    canvas_->SetHandle(item->hDC);
    canvas_->SetFont(Font());
    canvas_->SetBrush(Brush());
    const auto index = static_cast<std::int32_t>(item->itemID);
    if (index >= 0 && state.Contains(odSelected)) {
      canvas_->Brush()->SetColor(clHighlight);
      canvas_->Font()->SetColor(clHighlightText);
    }
    if (index < 0) {
      canvas_->FillRect(item->rcItem);
    } else if (OnDrawItem) {
      OnDrawItem(this, index, item->rcItem, state);
    } else {
      canvas_->FillRect(item->rcItem);
      canvas_->TextOut(item->rcItem.left + 2, item->rcItem.top, items_->LineAt(index));
    }
    if (state.Contains(odFocused)) DrawFocusRect(item->hDC, &item->rcItem);
  } catch (...) {
    canvas_->SetHandle(nullptr);
    canvas_->Unlock();
    throw;
  }
  canvas_->SetHandle(nullptr);
  canvas_->Unlock();
  m.result = 1;
}

void TCustomComboBox::FNMeasureItem(TMessage& m) {
  auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(m.lParam);
  if (!item) return;
  std::int32_t height = itemHeight_;
  if (style_ == csOwnerDrawVariable) OnMeasureItem(this, static_cast<std::int32_t>(item->itemID), height);
  item->itemHeight = static_cast<UINT>(height);
  m.result = 1;
}

void TCustomComboBox::SetStyle(TComboBoxStyle value) {
  if (style_ == value) return;
  style_ = value;
  RecreateWindow();
}

void TCustomComboBox::SetItems(TStrings* value) { items_->AssignFrom(value); }

std::int32_t TCustomComboBox::SelectedIndex() {
  return static_cast<std::int32_t>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
}

void TCustomComboBox::SetSelectedIndex(std::int32_t value) {
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

std::int32_t TCustomComboBox::ItemHeight() {
  if (style_ == csOwnerDrawFixed || style_ == csOwnerDrawVariable) return itemHeight_;
  return static_cast<std::int32_t>(SendMessageA(Handle(), CB_GETITEMHEIGHT, 0, 0));
}

void TCustomComboBox::SetItemHeight(std::int32_t value) {
  if (value <= 0) return;
  itemHeight_ = value;
  RecreateWindow();
}

void TCustomComboBox::SetMaxLength(std::int32_t value) {
  value = std::max(value, 0);
  if (maxLength_ == value) return;
  maxLength_ = value;
  if (HWND window = WindowHandle()) SendMessageA(window, CB_LIMITTEXT, static_cast<WPARAM>(value), 0);
}

void TCustomComboBox::SetSorted(bool value) {
  if (sorted_ == value) return;
  sorted_ = value;
  RecreateWindow();
}

void TCustomComboBox::SetCharCase(TEditCharCase value) {
  if (charCase_ == value) return;
  charCase_ = value;
  RecreateWindow();
}

bool TCustomComboBox::ListOpen() {
  HWND window = WindowHandle();
  return window && SendMessageA(window, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TCustomComboBox::SetListOpen(bool value) {
  HWND window = Handle();
  SendMessageA(window, CB_SHOWDROPDOWN, value ? 1 : 0, 0);
  InvalidateRect(window, nullptr, TRUE);
}

bool TCustomComboBox::IsFocused() {
  HWND focus = GetFocus();
  return focus && (focus == editHandle_ || focus == listHandle_);
}

// ---- Push button ------------------------------------------------------------------

void TButtonControl::Publish(Publisher& p) {
  TW_MESSAGE(WM_LBUTTONDOWN, WMLButtonDownButton);
  TW_MESSAGE(WM_LBUTTONDBLCLK, WMLButtonDownButton);
  TW_MESSAGE(FN_COMMAND, FNCommandFilter);
}

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {}

void TButtonControl::WMLButtonDownButton(TMessage& m) {
  if (!HasState(stDesigning) && !Focused()) {
    // The press focuses the button first; the platform's click that the focus
    // change might cause is not a click of the user's.
    clicksDisabled_ = true;
    try {
      if (HWND window = WindowHandle()) SetFocus(window);
    } catch (...) {
      clicksDisabled_ = false;
      throw;
    }
    clicksDisabled_ = false;
    if (!Focused()) return;
  }
  PassToAncestors(TButtonControl::StaticClassInfo(), m);
}

void TButtonControl::FNCommandFilter(TMessage& m) {
  if (clicksDisabled_) return;
  PassToAncestors(TButtonControl::StaticClassInfo(), m);
}

void TButton::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::CaptionText, &Self::SetCaption);
  TW_PROPERTY(ModalResult, &Self::ModalResult, &Self::SetModalResult);
  TW_PROPERTY(Default, &Self::Default, &Self::SetDefault);
  TW_PROPERTY(Cancel, &Self::Cancel, &Self::SetCancel);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::OnClick);
  PublishMouseEvents(p, false);
  TW_MESSAGE(FN_COMMAND, FNCommand);
  TW_MESSAGE(FM_DIALOGKEY, FMDialogKey);
  TW_MESSAGE(FM_DIALOGCHAR, FMDialogChar);
  TW_MESSAGE(FM_FOCUSCHANGED, FMFocusChanged);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  ControlStyle = {csSetsCaption, csOpaque, csDoubleClicks};
  PlaceControl(Left(), Top(), 75, 25);
  SetTabStop(true);
}

void TButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::CreateWnd() {
  TButtonControl::CreateWnd();
  active_ = default_;
}

void TButton::SetDefault(bool value) {
  default_ = value;
  if (!HandleAllocated()) return;
  // The form re-evaluates every button's look for its current focus.
  if (TCustomForm* form = ParentForm())
    form->Deliver(FM_FOCUSCHANGED, 0, reinterpret_cast<std::intptr_t>(form->ActiveControl()));
}

void TButton::Click() {
  if (TCustomForm* form = ParentForm()) form->SetModalResult(modalResult_);
  FireClick();
}

void TButton::SetButtonStyle(bool isDefault) {
  HWND window = WindowHandle();
  if (!window) return;
  const LONG wanted = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if ((GetWindowLongA(window, GWL_STYLE) & 0xF) != wanted) SendMessageA(window, BM_SETSTYLE, wanted, 1);
}

void TButton::FNCommand(TMessage& m) {
  if (ClicksDisabled()) return;
  if (HIWORD(m.wParam) == BN_CLICKED) Click();
}

void TButton::FMDialogKey(TMessage& m) {
  const bool wanted = (m.wParam == VK_RETURN && active_) || (m.wParam == VK_ESCAPE && cancel_);
  if (wanted && NoModifiers(m.lParam) && CanTakeFocus()) {
    Click();
    m.result = 1;
    return;
  }
  PassToAncestors(TButton::StaticClassInfo(), m);
}

void TButton::FMDialogChar(TMessage& m) {
  if (IsAccelerator(static_cast<std::uint32_t>(m.wParam), Text()) && CanTakeFocus()) {
    Click();
    m.result = 1;
    return;
  }
  m.result = 0;
}

void TButton::FMFocusChanged(TMessage& m) {
  auto* focused = reinterpret_cast<TControl*>(m.lParam);
  if (focused && IsInstanceOf(focused, TButton::StaticClassInfo()))
    active_ = focused == this;
  else
    active_ = default_;
  SetButtonStyle(active_);
}

void TButton::WMEraseBkgnd(TMessage& m) { DefaultHandler(m); }

// ---- Registration -----------------------------------------------------------------

void RegisterStdControlClasses() {
  RegisterStreamClasses({&TLabel::StaticClassInfo(), &TGroupBox::StaticClassInfo(), &TEdit::StaticClassInfo(),
                         &TComboBox::StaticClassInfo(), &TButton::StaticClassInfo()});
}

}  // namespace tw
