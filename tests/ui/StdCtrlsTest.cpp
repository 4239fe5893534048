// The standard controls on the real platform: a shown form holds them, input
// arrives as the platform's own messages, and pixels are read from a memory
// bitmap the controls paint into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PropertyAccess.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {
namespace {

using test::Sjis;

// Delivers whatever is queued; bounded so that no test can hang here.
void Drain() {
  MSG msg;
  for (int i = 0; i < 2000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void SetKey(int key, bool down) {
  BYTE state[256];
  GetKeyboardState(state);
  state[key] = down ? 0x80 : 0;
  SetKeyboardState(state);
}

// Notes what the events see when they run.
class Recorder : public TObject {
 public:
  explicit Recorder(TCustomForm* form) : form_(form) {}
  void Clicked(TObject* sender) {
    auto* control = static_cast<TControl*>(sender);
    log.push_back("click " + std::string(control->Name()) + " mr=" + std::to_string(form_ ? form_->ModalResult() : -1) +
                  " text=" + control->Text());
  }
  void Changed(TObject* sender) { log.push_back("change text=" + static_cast<TControl*>(sender)->Text()); }
  std::vector<std::string> log;

 private:
  TCustomForm* form_;
};

class StdCtrlsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }

  void SetUp() override {
    form_ = TCustomForm::Create<TForm>(nullptr);
    form_->Font()->SetName(Sjis("ＭＳ Ｐゴシック"));
    form_->Font()->SetHeight(-12);
    form_->Font()->SetCharset(128);
    form_->SetColor(clBtnFace);
    form_->PlaceControl(50, 50, 420, 320);
    form_->ShowForm();
    SetForegroundWindow(form_->Handle());
    Drain();
    recorder_ = std::make_unique<Recorder>(form_);
  }

  void TearDown() override {
    SetKey(VK_SHIFT, false);
    SetKey(VK_CONTROL, false);
    delete form_;
    Drain();
  }

  template <class T>
  T* Add(const char* name, TWinControl* parent = nullptr, int left = 8, int top = 8) {
    T* control = new T(form_);
    control->Rename(name);
    control->SetParent(parent ? parent : form_);
    control->SetLeft(left);
    control->SetTop(top);
    return control;
  }

  TButton* AddButton(const char* name, std::string_view caption, int top = 200) {
    auto* button = Add<TButton>(name, nullptr, 300, top);
    button->SetCaption(caption);
    button->OnClick.Bind(recorder_.get(), &Recorder::Clicked);
    return button;
  }

  TForm* form_ = nullptr;
  std::unique_ptr<Recorder> recorder_;
};

// ---- Published properties -----------------------------------------------------------

TEST_F(StdCtrlsTest, PublishesWhatTheShippedFormsSet) {
  struct Case {
    const TTypeInfo& type;
    const char* property;
  };
  const Case cases[] = {
      {TypeInfoOf<TLabel*>(), "Caption"},       {TypeInfoOf<TLabel*>(), "Color"},
      {TypeInfoOf<TLabel*>(), "ParentFont"},    {TypeInfoOf<TLabel*>(), "FocusControl"},
      {TypeInfoOf<TGroupBox*>(), "Caption"},    {TypeInfoOf<TGroupBox*>(), "TabOrder"},
      {TypeInfoOf<TEdit*>(), "Text"},           {TypeInfoOf<TEdit*>(), "ReadOnly"},
      {TypeInfoOf<TEdit*>(), "MaxLength"},      {TypeInfoOf<TEdit*>(), "Hint"},
      {TypeInfoOf<TEdit*>(), "ParentShowHint"}, {TypeInfoOf<TComboBox*>(), "Items"},
      {TypeInfoOf<TComboBox*>(), "ItemHeight"}, {TypeInfoOf<TComboBox*>(), "Text"},
      {TypeInfoOf<TButton*>(), "ModalResult"},  {TypeInfoOf<TButton*>(), "Default"},
      {TypeInfoOf<TButton*>(), "Cancel"},       {TypeInfoOf<TButton*>(), "OnClick"},
  };
  for (const Case& c : cases)
    EXPECT_NE(FindPropertyInfo(c.type, c.property), nullptr) << c.type.name << "." << c.property;
  EXPECT_EQ(FindPropertyInfo(TypeInfoOf<TButton*>(), "Color"), nullptr);
}

// ---- Push button ----------------------------------------------------------------------

TEST_F(StdCtrlsTest, PlatformClickSetsModalResultBeforeOnClick) {
  for (TModalResult result : {0, 1, 2}) {
    TButton* button = AddButton("Button1", "OK");
    button->SetModalResult(result);
    form_->SetModalResult(7);
    recorder_->log.clear();
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    Drain();
    EXPECT_EQ(recorder_->log, std::vector<std::string>{"click Button1 mr=" + std::to_string(result) + " text=OK"});
    EXPECT_EQ(form_->ModalResult(), result);
    delete button;
  }
}

TEST_F(StdCtrlsTest, ButtonOutsideAnyFormOnlyRunsOnClick) {
  auto* container = new TWinControl(nullptr);
  container->SetParentWindow(form_->Handle());
  auto* button = new TButton(container);
  button->SetParent(container);
  button->SetModalResult(5);
  Recorder recorder(nullptr);
  button->OnClick.Bind(&recorder, &Recorder::Clicked);
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  Drain();
  EXPECT_EQ(recorder.log.size(), 1u);
  EXPECT_EQ(form_->ModalResult(), 0);
  delete container;
}

TEST_F(StdCtrlsTest, DefaultLookFollowsTheFocus) {
  TButton* ok = AddButton("Ok", "OK", 200);
  ok->SetDefault(true);
  TButton* other = AddButton("Other", "Other", 240);
  auto* edit = Add<TEdit>("Edit1");
  int setStyles = 0;
  struct Counter : TObject {
    Counter(TButton* b, int* c) : button(b), count(c) {}
    TButton* button;
    int* count;
    void Proc(TMessage& m) {
      if (m.msg == BM_SETSTYLE) ++*count;
      button->WndProc(m);
    }
  } counter(ok, &setStyles);
  ok->ControlProc.Bind(&counter, &Counter::Proc);
  auto look = [](TButton* b) { return GetWindowLongA(b->Handle(), GWL_STYLE) & 0xF; };

  EXPECT_EQ(look(ok), BS_DEFPUSHBUTTON);
  EXPECT_EQ(look(other), BS_PUSHBUTTON);
  other->TakeFocus();
  Drain();
  EXPECT_EQ(look(ok), BS_PUSHBUTTON);
  EXPECT_EQ(look(other), BS_DEFPUSHBUTTON);
  EXPECT_FALSE(ok->IsActive());
  edit->TakeFocus();
  Drain();
  EXPECT_EQ(look(ok), BS_DEFPUSHBUTTON);
  EXPECT_EQ(look(other), BS_PUSHBUTTON);
  // The look is already right: no further style message.
  const int before = setStyles;
  form_->Deliver(FM_FOCUSCHANGED, 0, reinterpret_cast<std::intptr_t>(edit));
  EXPECT_EQ(setStyles, before);
  ok->ControlProc = {};
}

TEST_F(StdCtrlsTest, EnterAndEscapeReachTheRightButtons) {
  struct Case {
    WPARAM key;
    int modifier;  // a key held down, or 0
    std::intptr_t keyData;
    bool disableDefault;
    const char* clicked;  // the button clicked, or "" for none
  };
  const Case cases[] = {
      {VK_RETURN, 0, 0, false, "Ok"},        {VK_ESCAPE, 0, 0, false, "Cancel"},    {VK_RETURN, VK_SHIFT, 0, false, ""},
      {VK_RETURN, VK_CONTROL, 0, false, ""}, {VK_ESCAPE, 0, 0x20000000, false, ""}, {VK_RETURN, 0, 0, true, ""},
  };
  for (const Case& c : cases) {
    TButton* ok = AddButton("Ok", "OK", 200);
    ok->SetDefault(true);
    TButton* cancel = AddButton("Cancel", "Cancel", 240);
    cancel->SetCancel(true);
    ok->Handle();
    cancel->Handle();
    ok->SetEnabled(!c.disableDefault);
    if (c.modifier) SetKey(c.modifier, true);
    recorder_->log.clear();
    const std::intptr_t answer = form_->Deliver(FM_DIALOGKEY, c.key, c.keyData);
    EXPECT_EQ(answer != 0, *c.clicked != '\0') << "key " << c.key;
    if (c.modifier) SetKey(c.modifier, false);
    const std::string clicked =
        recorder_->log.empty() ? "" : recorder_->log[0].substr(6, recorder_->log[0].find(' ', 6) - 6);
    EXPECT_EQ(clicked, c.clicked) << "key " << c.key;
    EXPECT_LE(recorder_->log.size(), 1u);
    delete ok;
    delete cancel;
  }
}

TEST_F(StdCtrlsTest, AcceleratorsClickOrFocus) {
  auto* group = Add<TGroupBox>("Group", nullptr, 8, 100);
  group->SetCaption("&Group");
  auto* inGroup = Add<TEdit>("InGroup", group, 10, 20);
  auto* target = Add<TEdit>("Target", nullptr, 8, 40);
  auto* label = new TLabel(form_);
  label->SetParent(form_);
  label->SetCaption("&Name");
  label->SetFocusControl(target);
  AddButton("Save", "&Save", 200);
  AddButton("Paren", Sjis("再計算(&R)"), 240);
  AddButton("Literal", "A&&B", 280);
  // A label keeps its bytes as they are (a window's text would drop the lone lead byte).
  auto* lone = new TLabel(form_);
  lone->SetParent(form_);
  lone->SetCaption(std::string("x&\x82", 3));
  lone->SetFocusControl(inGroup);
  form_->Handle();
  struct Case {
    std::uint32_t ch;
    std::intptr_t answer;
    const char* clicked;
    TWinControl* focused;
  };
  const Case cases[] = {
      {'s', 1, "Save", nullptr}, {'S', 1, "Save", nullptr}, {'r', 1, "Paren", nullptr},
      {'b', 0, "", nullptr},     {'&', 0, "", nullptr},     {0x82, 1, "", inGroup},
      {'n', 1, "", target},      {'g', 1, "", inGroup},     {'q', 0, "", nullptr},
  };
  for (const Case& c : cases) {
    SetFocus(form_->Handle());
    Drain();
    recorder_->log.clear();
    EXPECT_EQ(form_->Deliver(FM_DIALOGCHAR, c.ch, 0), c.answer) << c.ch;
    Drain();
    const std::string clicked =
        recorder_->log.empty() ? "" : recorder_->log[0].substr(6, recorder_->log[0].find(' ', 6) - 6);
    EXPECT_EQ(clicked, c.clicked) << c.ch;
    if (c.focused) {
      EXPECT_EQ(GetFocus(), c.focused->Handle()) << c.ch;
    }
  }
  // A freed focus control leaves the label without one, and the key does nothing.
  delete target;
  EXPECT_EQ(label->FocusControl(), nullptr);
  EXPECT_EQ(form_->Deliver(FM_DIALOGCHAR, 'n', 0), 0);
}

// ---- Label ------------------------------------------------------------------------------

TEST_F(StdCtrlsTest, LabelSizesItselfToItsText) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, form_->Font()->Handle());
  SIZE space{};
  GetTextExtentPoint32A(dc, " ", 1, &space);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  struct Case {
    std::string caption;
    int width, height;
  };
  const Case cases[] = {
      {"kb/s", 24, 12},
      {"MB", 17, 12},
      {Sjis("現在のサイズ"), 70, 12},
      {Sjis("新しい映像ビットレート"), 113, 12},
      {"", space.cx, 12},
      {"&", space.cx, 12},
  };
  for (const Case& c : cases) {
    auto* label = new TLabel(form_);
    label->SetParent(form_);
    label->SetCaption("x");
    label->SetCaption(c.caption);
    EXPECT_EQ(label->Width(), c.width) << c.caption;
    EXPECT_EQ(label->Height(), c.height) << c.caption;
    delete label;
  }
  // A right-aligned label grows to the left.
  auto* right = new TLabel(form_);
  right->SetParent(form_);
  right->SetAlignment(taRightJustify);
  right->SetLeft(100);
  right->SetCaption("MB");
  const int rightEdge = right->Left() + right->Width();
  const int left = right->Left();
  EXPECT_EQ(rightEdge, 100 + 65);
  right->SetCaption("kb/s kb/s");
  EXPECT_EQ(right->Left() + right->Width(), rightEdge);
  EXPECT_LT(right->Left(), left);
}

// A memory bitmap pre-filled with magenta that a control paints into.
class Bitmap {
 public:
  Bitmap(int width, int height) : dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc_, &all, magenta);
    DeleteObject(magenta);
  }
  ~Bitmap() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
  int Count(COLORREF color, int width, int height) const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += At(x, y) == color;
    return n;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

TEST_F(StdCtrlsTest, LabelPaintsBackgroundTextAndEmbossing) {
  const COLORREF magenta = RGB(255, 0, 255);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  struct Case {
    bool transparent;
    bool enabled;
    COLORREF corner;
    int red;  // red glyph pixels: > 0 or 0
    bool embossed;
  };
  const Case cases[] = {
      {false, true, RGB(0, 255, 0), 1, false},
      {true, true, magenta, 1, false},
      {false, false, RGB(0, 255, 0), 0, true},
  };
  for (const Case& c : cases) {
    auto* label = new TLabel(form_);
    label->SetParent(form_);
    label->SetAutoSize(false);
    label->PlaceControl(0, 0, 60, 17);
    label->SetCaption("WM");
    label->SetColor(clLime);
    label->Font()->SetColor(clRed);
    label->SetTransparent(c.transparent);
    label->SetEnabled(c.enabled);
    Bitmap bitmap(60, 17);
    label->Deliver(WM_PAINT, reinterpret_cast<WPARAM>(bitmap.dc()));
    EXPECT_EQ(bitmap.At(58, 15), c.corner);
    const int red = bitmap.Count(RGB(255, 0, 0), 60, 17);
    EXPECT_EQ(red > 0, c.red > 0);
    EXPECT_EQ(bitmap.Count(highlight, 60, 17) > 0 && bitmap.Count(shadow, 60, 17) > 0, c.embossed);
    // The label's own font keeps its colour.
    EXPECT_EQ(label->Font()->Color(), clRed);
    delete label;
  }
}

TEST_F(StdCtrlsTest, GroupBoxDrawsAnEtchedFrameBehindItsCaption) {
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  for (const char* caption : {"Tarnwick", ""}) {
    auto* box = Add<TGroupBox>("Box", nullptr, 0, 0);
    box->PlaceControl(0, 0, 177, 153);
    box->SetCaption(caption);
    box->SetColor(clLime);
    box->Handle();
    Bitmap bitmap(177, 153);
    box->Deliver(WM_PAINT, reinterpret_cast<WPARAM>(bitmap.dc()));
    EXPECT_EQ(bitmap.At(4, 5), shadow);
    EXPECT_EQ(bitmap.At(4, 6), highlight);
    EXPECT_EQ(bitmap.At(0, 80), shadow);
    EXPECT_EQ(bitmap.At(1, 80), highlight);
    EXPECT_EQ(bitmap.At(150, 5), shadow);
    EXPECT_EQ(bitmap.At(175, 80), shadow);
    EXPECT_EQ(bitmap.At(176, 80), highlight);
    // The caption starts at x = 8 and hides the frame line behind it.
    const bool captioned = *caption != '\0';
    EXPECT_EQ(bitmap.At(7, 5), shadow);
    EXPECT_EQ(bitmap.At(9, 5) != shadow, captioned) << caption;
    int lime = 0;
    for (int y = 0; y < 12; ++y)
      for (int x = 8; x < 40; ++x) lime += bitmap.At(x, y) == RGB(0, 255, 0);
    EXPECT_EQ(lime > 0, captioned) << caption;
    delete box;
  }
}

// ---- Edit -------------------------------------------------------------------------------

TEST_F(StdCtrlsTest, EditHeightFitsTheFont) {
  auto* edit = Add<TEdit>("Edit1");
  edit->Handle();
  EXPECT_EQ(edit->Height(), 20);
  edit->SetHeight(30);
  EXPECT_EQ(edit->Height(), 30);
  edit->Font()->SetHeight(-16);
  EXPECT_GT(edit->Height(), 20);
  EXPECT_NE(edit->Height(), 30);
  EXPECT_TRUE(GetWindowLongA(edit->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

TEST_F(StdCtrlsTest, ReadOnlyStopsTheUserButNotTheCode) {
  struct Case {
    bool readOnly;
    const char* afterTyping;
  };
  for (const Case& c : {Case{true, "700"}, Case{false, "7001"}}) {
    auto* edit = Add<TEdit>("Edit1");
    edit->OnChange.Bind(recorder_.get(), &Recorder::Changed);
    edit->SetReadOnly(c.readOnly);
    edit->SetText("700");  // before the window: stored, one change
    EXPECT_EQ(recorder_->log, std::vector<std::string>{"change text=700"});
    recorder_->log.clear();
    HWND window = edit->Handle();
    EXPECT_EQ(recorder_->log.size(), 0u) << "creation fires no change";
    EXPECT_EQ((GetWindowLongA(window, GWL_STYLE) & ES_READONLY) != 0, c.readOnly);
    SendMessageA(window, EM_SETSEL, 3, 3);
    SendMessageA(window, WM_CHAR, '1', 1);
    EXPECT_EQ(edit->Text(), c.afterTyping);
    EXPECT_EQ(edit->UserModified(), !c.readOnly);
    recorder_->log.clear();
    edit->SetText("123");
    EXPECT_EQ(recorder_->log, std::vector<std::string>{"change text=123"});
    delete edit;
    recorder_->log.clear();
  }
}

TEST_F(StdCtrlsTest, EditSelectionAndBufferCopy) {
  auto* edit = Add<TEdit>("Edit1");
  edit->SetText("abcdef");
  edit->SetSelectionStart(1);
  edit->SetSelectionLength(3);
  EXPECT_EQ(edit->SelectionStart(), 1);
  EXPECT_EQ(edit->SelectionLength(), 3);
  EXPECT_EQ(edit->SelectedText(), "bcd");
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(edit->CopySelectedText(buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(edit->CopySelectedText(buffer, 3), 2);
  EXPECT_STREQ(buffer, "bc");
  edit->SelectAll();
  EXPECT_EQ(edit->SelectedText(), "abcdef");
}

TEST_F(StdCtrlsTest, SelectedDoubleByteTextComesWholeWhicheverWayPositionsCount) {
  auto* edit = Add<TEdit>("Edit1");
  const std::string text = Sjis("日本語ab");
  edit->SetText(text);
  // Positions of the first and of the last character in the platform's unit.
  const bool characters = EditPositionsCountCharacters();
  struct Case {
    int firstChar, endChar;  // character positions
    std::string expected;
  };
  const int byteOf[] = {0, 2, 4, 6, 7, 8};  // the byte where each character starts
  const Case cases[] = {{0, 5, text}, {1, 3, Sjis("本語")}, {3, 5, "ab"}, {2, 4, Sjis("語a")}, {5, 5, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.firstChar << ".." << c.endChar);
    const int from = characters ? c.firstChar : byteOf[c.firstChar];
    const int to = characters ? c.endChar : byteOf[c.endChar];
    SendMessageA(edit->Handle(), EM_SETSEL, static_cast<WPARAM>(from), to);
    EXPECT_EQ(edit->SelectedText(), c.expected);
  }
  edit->SelectAll();
  EXPECT_EQ(edit->SelectedText(), text);
  // A buffer copy never ends inside a double-byte character.
  char buffer[8] = {};
  EXPECT_EQ(edit->CopySelectedText(buffer, 4), 2);
  EXPECT_EQ(std::string(buffer), Sjis("日"));
  EXPECT_EQ(edit->CopySelectedText(buffer, 5), 4);
  EXPECT_EQ(std::string(buffer), Sjis("日本"));
}

// ---- Combo box --------------------------------------------------------------------------

class ComboTest : public StdCtrlsTest {
 protected:
  void SetUp() override {
    StdCtrlsTest::SetUp();
    combo_ = Add<TComboBox>("Combo");
    combo_->SetText("128");
    for (const char* item : {"0", "56", "64", "96", "112", "128", "160", "192"}) combo_->Items()->AddLine(item);
    combo_->OnClick.Bind(recorder_.get(), &Recorder::Clicked);
    combo_->OnChange.Bind(recorder_.get(), &Recorder::Changed);
  }
  void Choose(int index) {
    SendMessageA(combo_->Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Notify();
  }
  void Notify() {
    SendMessageA(form_->Handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo_->Handle()));
  }
  TComboBox* combo_ = nullptr;
};

TEST_F(ComboTest, ChoiceSetsTheTextBeforeTheEvents) {
  EXPECT_EQ(combo_->Text(), "128");
  Choose(2);
  EXPECT_EQ(recorder_->log, (std::vector<std::string>{"click Combo mr=0 text=64", "change text=64"}));
  // No choice at all leaves the typed text alone.
  SendMessageA(combo_->Handle(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  combo_->SetText("abc");
  recorder_->log.clear();
  Notify();
  EXPECT_EQ(combo_->Text(), "abc");
}

TEST_F(ComboTest, ItemListOperations) {
  EXPECT_EQ(combo_->Items()->LineCount(), 8);
  EXPECT_EQ(combo_->Items()->LineAt(2), "64");
  EXPECT_EQ(combo_->Items()->LineAt(99), "");
  EXPECT_EQ(combo_->Items()->IndexOfLine("160"), 6);
  combo_->Items()->AddLine("Abc");
  EXPECT_EQ(combo_->Items()->IndexOfLine("aBC"), 8);
  const std::string longItem(5000, 'L');
  combo_->Items()->AddLine(longItem + "!");
  EXPECT_EQ(combo_->Items()->LineAt(9), longItem + "!");

  auto* items = static_cast<TComboBoxStrings*>(combo_->Items());
  items->PutDatumAt(0, -1);
  EXPECT_EQ(items->DatumAt(0), -1);
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { items->DatumAt(10); }),
            Sjis("リストのインデックスが範囲を超えています (10)"));

  combo_->Items()->ClearLines();
  EXPECT_EQ(combo_->Items()->LineCount(), 0);
  EXPECT_EQ(combo_->Text(), "128");
}

TEST_F(ComboTest, SortedRecreationKeepsItemsAndIndex) {
  combo_->Items()->ClearLines();
  for (const char* item : {"c", "a", "b"}) combo_->Items()->AddLine(item);
  combo_->SetSelectedIndex(1);
  const HWND before = combo_->Handle();
  combo_->SetSorted(true);
  EXPECT_NE(combo_->Handle(), before);
  EXPECT_TRUE(GetWindowLongA(combo_->Handle(), GWL_STYLE) & CBS_SORT);
  ASSERT_EQ(combo_->Items()->LineCount(), 3);
  EXPECT_EQ(combo_->Items()->LineAt(0), "a");
  EXPECT_EQ(combo_->Items()->LineAt(2), "c");
  EXPECT_EQ(combo_->SelectedIndex(), 1);
  EXPECT_NE(combo_->EditHandle(), nullptr);
}

TEST_F(ComboTest, LimitsAndIgnoredValues) {
  combo_->SetMaxLength(-5);
  EXPECT_EQ(combo_->MaxLength(), 0);
  const int height = combo_->ItemHeight();
  const HWND before = combo_->Handle();
  combo_->SetItemHeight(0);
  EXPECT_EQ(combo_->Handle(), before);
  EXPECT_EQ(combo_->ItemHeight(), height);
}

TEST_F(ComboTest, DropDownHeightAndEnterClosesTheList) {
  struct Case {
    int items;
    int shown;
  };
  for (const Case& c : {Case{8, 8}, Case{0, 1}}) {
    combo_->Items()->ClearLines();
    for (int i = 0; i < c.items; ++i) combo_->Items()->AddLine(std::to_string(i));
    int sizedHeight = -1;
    struct Watch : TObject {
      Watch(TComboBox* c, int* h) : combo(c), height(h) {}
      TComboBox* combo;
      int* height;
      void Proc(TMessage& m) {
        if (m.msg == WM_WINDOWPOSCHANGING) {
          const auto* pos = reinterpret_cast<const WINDOWPOS*>(m.lParam);
          if ((pos->flags & SWP_HIDEWINDOW) && !(pos->flags & SWP_NOSIZE)) *height = pos->cy;
        }
        combo->WndProc(m);
      }
    } watch(combo_, &sizedHeight);
    combo_->ControlProc.Bind(&watch, &Watch::Proc);
    combo_->TakeFocus();
    Drain();
    const int closedHeight = combo_->Height();
    combo_->SetListOpen(true);
    Drain();
    EXPECT_EQ(sizedHeight, combo_->ItemHeight() * c.shown + closedHeight + 2);
    EXPECT_EQ(combo_->Height(), closedHeight);
    EXPECT_TRUE(combo_->ListOpen());
    SendMessageA(combo_->EditHandle(), WM_CHAR, VK_RETURN, 1);
    EXPECT_FALSE(combo_->ListOpen());
    combo_->ControlProc = {};
    Drain();
  }
}

struct KeyCounter : TObject {
  void KeyDown(TObject*, std::uint16_t&, TShiftState) { ++downs; }
  int downs = 0;
};

TEST_F(ComboTest, TheEditPartAnswersWhateverSomeoneKeepsInItsUserData) {
  HWND edit = combo_->EditHandle();
  ASSERT_TRUE(edit);
  KeyCounter counter;
  combo_->OnKeyDown.Bind(&counter, &KeyCounter::KeyDown);
  // Another subclasser's value in the slot must be neither read nor lost.
  SetWindowLongPtrA(edit, GWLP_USERDATA, 0x12345678);
  SendMessageA(edit, WM_KEYDOWN, VK_END, 1);
  EXPECT_EQ(counter.downs, 1);
  EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_USERDATA), 0x12345678);
  // Made again, the combo box takes its new parts and lets the old ones go.
  combo_->RecreateWindow();
  combo_->Handle();
  ASSERT_TRUE(combo_->EditHandle());
  SendMessageA(combo_->EditHandle(), WM_KEYDOWN, VK_END, 1);
  EXPECT_EQ(counter.downs, 2);
  combo_->OnKeyDown = {};
}

}  // namespace
}  // namespace tw
