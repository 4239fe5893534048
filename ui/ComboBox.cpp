#include "ui/ComboBox.h"

#include <algorithm>

#include "runtime/Exceptions.h"
#include "runtime/ScopeExit.h"
#include "ui/Forms.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

bool IsEditClassName(HWND window) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, "Edit") == 0;
}

}  // namespace

// ---- The list of items --------------------------------------------------------------

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

// ---- The control ------------------------------------------------------------------

void TCustomComboBox::Publish(Publisher& p) {
  TW_MESSAGE(WM_CREATE, WMCreate);
  for (std::uint16_t msg = WM_CTLCOLORMSGBOX; msg <= WM_CTLCOLORSTATIC; ++msg) {
    p.template MessageHandler<&Self::WMCtlColor>(msg);
    p.template MessageHandler<&Self::FNCtlColor>(static_cast<std::uint16_t>(msg + FN_BASE));
  }
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
  TW_MESSAGE(WM_LBUTTONDOWN, WMLButtonDown);
  TW_MESSAGE(WM_GETDLGCODE, WMGetDlgCode);
  TW_MESSAGE(FM_CANCELMODE, FMCancelMode);
  TW_MESSAGE(FN_COMMAND, FNCommand);
  TW_MESSAGE(FN_DRAWITEM, FNDrawItem);
  TW_MESSAGE(FN_MEASUREITEM, FNMeasureItem);
}

void TComboBox::Publish(Publisher& p) {
  TW_PROPERTY(Style, &Self::Style, &Self::SetStyle);
  TW_PROPERTY(Text, &Self::Text, &Self::SetText);
  TW_PROPERTY(ItemHeight, &Self::ItemHeight, &Self::SetItemHeight);
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

TCustomComboBox::~TCustomComboBox() {
  if (!BeforeFreeDone()) UnhookSubWindows();
}

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
        if (!editHandle_) HookSubWindow(child, editHandle_, editPrevProc_);
      } else if (style_ == csSimple && !listHandle_) {
        HookSubWindow(child, listHandle_, listPrevProc_);
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

void TCustomComboBox::HookSubWindow(HWND window, HWND& part, WNDPROC& previous) {
  part = window;
  previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
  BindWindowObject(window, TWindowKind::ComboPart, this);
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubWindowProc));
}

void TCustomComboBox::ForgetSubWindow(HWND& part, WNDPROC& previous) {
  part = nullptr;
  previous = nullptr;
}

void TCustomComboBox::UnhookSubWindows() {
  for (auto [part, previous] : {std::pair{&editHandle_, &editPrevProc_}, std::pair{&listHandle_, &listPrevProc_}}) {
    HWND window = *part;
    if (window && IsWindow(window) && WindowObject(window, TWindowKind::ComboPart) == this) {
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(*previous));
      BindWindowObject(window, TWindowKind::ComboPart, nullptr);
    }
    ForgetSubWindow(*part, *previous);
  }
}

void TCustomComboBox::SetEditMargins() {
  if (editHandle_ && NewStyleControls()) SendMessageA(editHandle_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

LRESULT CALLBACK TCustomComboBox::SubWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* combo = static_cast<TCustomComboBox*>(WindowObject(window, TWindowKind::ComboPart));
  WNDPROC previous = nullptr;
  if (combo && window == combo->editHandle_) previous = combo->editPrevProc_;
  if (combo && window == combo->listHandle_) previous = combo->listPrevProc_;
  if (!previous) return DefWindowProcA(window, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  GuardWindowCallback(combo, [&] { combo->SubWindowMessage(m, window, previous); });
  if (msg == WM_NCDESTROY) {
    // The part is gone; its procedure was handed back by the platform's own clean-up.
    BindWindowObject(window, TWindowKind::ComboPart, nullptr);
    if (window == combo->editHandle_) combo->ForgetSubWindow(combo->editHandle_, combo->editPrevProc_);
    if (window == combo->listHandle_) combo->ForgetSubWindow(combo->listHandle_, combo->listPrevProc_);
  }
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
      const bool down = m.msg == WM_KEYDOWN || m.msg == WM_SYSKEYDOWN;
      if (window == listHandle_ && down) break;
      if (!RunKeyEvent(down ? OnKeyDown : OnKeyUp, m)) return;
      break;
    }
    case WM_CHAR:
      if (!PassPartChar(m)) return;
      break;
    case WM_MOUSEMOVE:
      if (TControlHost* host = ControlHost()) host->MouseMovedOver(*this, m);
      break;
    case WM_GETOBJECT:
      // While the user types, the focus is on the edit part: a screen reader
      // asking it must hear the combo box, not a nameless field.
      if (TControlHost* host = ControlHost(); window == editHandle_ && host && host->AnswerObjectQuery(*this, m))
        return;
      break;
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

bool TCustomComboBox::PassPartChar(TMessage& m) {
  if (!ControlStyle.Contains(csNoStdEvents)) {
    char ch = static_cast<char>(m.wParam);
    OnKeyPress(this, ch);
    if (ch == 0) return false;
    m.wParam = static_cast<unsigned char>(ch);
  }
  if ((m.wParam == VK_RETURN || m.wParam == VK_ESCAPE) && ListOpen()) {
    SetListOpen(false);
    return false;
  }
  return true;
}

void TCustomComboBox::WndProc(TMessage& m) {
  // Sizing the window for the open list must not change the control's bounds.
  if (droppingDown_ && m.msg == WM_SIZE) {
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

void TCustomComboBox::WMLButtonDown(TMessage& m) {
  PassToAncestors(TCustomComboBox::StaticClassInfo(), m);
  // The list keeps the mouse only for the control that has the form's focus.
  if (HWND window = WindowHandle(); window && GetCapture() == window) {
    TCustomForm* form = tw::ParentForm(this);
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
  {
    const TFlagScope droppingDown(droppingDown_);
    SetWindowPos(window, nullptr, 0, 0, Width(), height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_HIDEWINDOW);
  }
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_SHOWWINDOW);
}

void TCustomComboBox::FNDrawItem(TMessage& m) {
  auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam);
  if (!item) return;
  TOwnerDrawState state = TOwnerDrawState::FromBits(static_cast<std::uint16_t>(item->itemState));
  {
    const TCanvasLoan loan(*canvas_, item->hDC);
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
  }
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
  if (ChangeField(style_, value)) RecreateWindow();
}

void TCustomComboBox::SetItems(TStrings* value) { items_->AssignFrom(value); }

std::int32_t TCustomComboBox::SelectedIndex() {
  return static_cast<std::int32_t>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
}

void TCustomComboBox::SetSelectedIndex(std::int32_t value) {
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

std::int32_t TCustomComboBox::ItemHeight() const {
  if (style_ == csOwnerDrawFixed || style_ == csOwnerDrawVariable) return itemHeight_;
  return static_cast<std::int32_t>(SendMessageA(WindowMadeOnDemand(), CB_GETITEMHEIGHT, 0, 0));
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
  if (ChangeField(sorted_, value)) RecreateWindow();
}

void TCustomComboBox::SetCharCase(TEditCharCase value) {
  if (ChangeField(charCase_, value)) RecreateWindow();
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

}  // namespace tw
