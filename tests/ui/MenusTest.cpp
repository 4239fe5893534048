#include "ui/Menus.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/FormLoading.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"
#include "tests/core/FormBytes.h"
#include "ui/Accelerators.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "ui/SystemInfo.h"

namespace tw {
namespace {

using test::MessageOf;
using test::Sjis;
using Log = std::vector<std::string>;

// ---- Helpers ------------------------------------------------------------------------------

// Receives the clicks of the items it is bound to and notes their names.
class ClickLog : public TObject {
 public:
  Log clicks;
  std::function<void(TMenuItem&)> onClick;  // runs after the note, when set
  void Clicked(TObject* sender) {
    auto* item = static_cast<TMenuItem*>(sender);
    clicks.push_back(item->Name());
    if (onClick) onClick(*item);
  }
};

// A component tree with a main menu: the items are owned by the tree's owner,
// as a form owns the items read from its resource.
class MenuFixture : public ::testing::Test {
 protected:
  TMenuItem* Item(std::string_view name, std::string caption, TMenuItem* parent) {
    auto* item = new TMenuItem(&owner_);
    item->Rename(name);
    item->SetCaption(std::move(caption));
    TNotifyEvent click;
    click.Bind(&log_, &ClickLog::Clicked);
    item->SetOnClick(click);
    if (parent) parent->Add(item);
    return item;
  }
  TMenuItem* Top(std::string_view name, std::string caption) { return Item(name, std::move(caption), menu_->Items()); }
  // The main window's menu.
  void BuildMainWindowMenu() {
    File1 = Top("File1", Sjis("ファイル(&F)"));
    Exit1 = Item("Exit1", Sjis("終了(&X)"), File1);
    Help1 = Top("Help1", Sjis("ヘルプ(&H)"));
    Help2 = Item("Help2", Sjis("ヘルプ(&H)"), Help1);
    h1 = Item("h1", "-", Help1);
    Tarnwick1 = Item("Tarnwick1", Sjis("作者のサイトへ(&J)"), Help1);
    N1 = Item("N1", "-", Help1);
    About1 = Item("About1", Sjis("バージョン情報(&A)"), Help1);
  }

  TComponent owner_{nullptr};
  TMainMenu* menu_ = new TMainMenu(&owner_);
  ClickLog log_;
  TMenuItem *File1 = nullptr, *Exit1 = nullptr, *Help1 = nullptr, *Help2 = nullptr, *h1 = nullptr, *Tarnwick1 = nullptr,
            *N1 = nullptr, *About1 = nullptr;
};

struct NativeEntry {
  UINT type = 0;
  UINT state = 0;
  UINT id = 0;
  HMENU submenu = nullptr;
  std::string text;
};

NativeEntry EntryAt(HMENU menu, UINT pos) {
  char text[256] = {};
  MENUITEMINFOA info{};
  info.cbSize = 44;
  info.fMask = MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
  info.dwTypeData = text;
  info.cch = sizeof text;
  EXPECT_TRUE(GetMenuItemInfoA(menu, pos, TRUE, &info));
  const UINT type = info.fType & (MFT_SEPARATOR | MFT_RADIOCHECK | MFT_MENUBREAK | MFT_MENUBARBREAK);
  const UINT state = info.fState & (MFS_CHECKED | MFS_GRAYED | MFS_DEFAULT);
  return {type, state, info.wID, info.hSubMenu, (info.fType & MFT_SEPARATOR) ? "" : text};
}

std::vector<std::string> Texts(HMENU menu) {
  std::vector<std::string> texts;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) texts.push_back(EntryAt(menu, static_cast<UINT>(i)).text);
  return texts;
}

std::string TextByCommand(HMENU menu, UINT id) {
  char text[256] = {};
  GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
  return text;
}

// ---- The accelerator rule -----------------------------------------------------------------

TEST(AcceleratorTest, CharacterAfterTheLastSingleAmpersand) {
  // The "ア" trail byte is 0x41 ("A"); "ソ" ends in 0x5C.
  const struct {
    std::string caption;
    std::string accelerator;
  } cases[] = {{"&File", "F"},
               {"E&xit", "x"},
               {"&A&B", "B"},
               {"&&Save", ""},
               {"A&&&B", "B"},
               {"Tail&", ""},
               {"", ""},
               {Sjis("ファイル(&F)"), "F"},
               {Sjis("&ア"), Sjis("ア")},
               {Sjis("ア") + "&B", "B"},
               {Sjis("ソ&&") + "x", ""}};
  for (const auto& c : cases) EXPECT_EQ(AcceleratorOf(c.caption), c.accelerator) << c.caption;

  // A lead byte that ends the caption stands alone; bytes beyond the caption
  // are never read.
  const std::string buffer = "&\x83Z";
  EXPECT_EQ(AcceleratorOf(std::string_view(buffer.data(), 2)), "\x83");
  const std::string tail = "x\x83&Q";
  EXPECT_EQ(AcceleratorOf(std::string_view(tail.data(), 2)), "");

  EXPECT_TRUE(IsAccelerator('r', "Reload (&R)"));
  EXPECT_TRUE(IsAccelerator('R', "(&r)"));
  EXPECT_FALSE(IsAccelerator('a', "&&A"));
  EXPECT_FALSE(IsAccelerator('a', "None"));
  // Double-byte accelerators compare as they stand, never by the letter their
  // trail byte looks like.
  const std::string a = Sjis("ア");
  const std::uint32_t code = (static_cast<std::uint8_t>(a[0]) << 8) | static_cast<std::uint8_t>(a[1]);
  EXPECT_TRUE(IsAccelerator(code, "&" + a));
  EXPECT_FALSE(IsAccelerator('A', "&" + a));
  EXPECT_FALSE(IsAccelerator(code, "&A"));

  EXPECT_EQ(StripAccelerator("&Help", false), "Help");
  EXPECT_EQ(StripAccelerator("&&A", true), "&&A");
  EXPECT_EQ(StripAccelerator(Sjis("ヘルプ(&H)"), true), Sjis("ヘルプ"));
  EXPECT_EQ(StripAccelerator(Sjis("ヘルプ(&H)"), false), Sjis("ヘルプ(H)"));
}

// ---- Shortcuts --------------------------------------------------------------------------------

TEST(ShortCutTextTest, TextAndBackAgain) {
  const struct {
    TShortCut shortCut;
    std::string text;
  } cases[] = {{scShift | scCtrl | 'A', "Shift+Ctrl+A"},
               {scCtrl | 'S', "Ctrl+S"},
               {VK_F12, "F12"},
               {scAlt | VK_F4, "Alt+F4"},
               {VK_BACK, "BkSp"},
               {scCtrl | VK_DELETE, "Ctrl+Del"},
               {VK_RETURN, "Enter"},
               {scShift | VK_PRIOR, "Shift+PgUp"},
               {'7', "7"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ShortCutToText(c.shortCut), c.text);
    std::string lower = c.text;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(TextToShortCut(c.text), c.shortCut) << c.text;
    EXPECT_EQ(TextToShortCut(lower), c.shortCut) << lower;
  }
  EXPECT_EQ(ShortCutToText(VK_NUMPAD5), "5");
  EXPECT_EQ(ShortCutToText(scCtrl), "");  // key 0 has no name
  EXPECT_EQ(TextToShortCut("^S"), scCtrl | 'S');
  EXPECT_EQ(TextToShortCut("F12"), 123);
  EXPECT_EQ(TextToShortCut("Ctrl+Ctrl+S"), scCtrl | 'S');
  EXPECT_EQ(TextToShortCut("Shift+"), 0);
  EXPECT_EQ(TextToShortCut("NoSuchKey"), 0);
  EXPECT_EQ(MakeShortCut('S', false, true, false), scCtrl | 'S');
  EXPECT_EQ(MakeShortCut(VK_F1, true, true, true), scShift | scCtrl | scAlt | VK_F1);
  EXPECT_EQ(MakeShortCut(0x100 | 'S', true, false, false), 0);
}

// ---- Command ids and the native menus ------------------------------------------------------------

TEST_F(MenuFixture, CommandIdsInCreationOrderAndTheLowestFreeIsReused) {
  TMenuItem* a = Item("A", "a", nullptr);
  TMenuItem* b = Item("B", "b", nullptr);
  TMenuItem* c = Item("C", "c", nullptr);
  EXPECT_LT(a->Command(), b->Command());
  EXPECT_LT(b->Command(), c->Command());
  const std::uint16_t freed = b->Command();
  delete b;
  EXPECT_EQ(Item("D", "d", nullptr)->Command(), freed);
  EXPECT_GT(Item("E", "e", nullptr)->Command(), c->Command());
}

TEST_F(MenuFixture, MainWindowMenuBecomesNativeMenus) {
  BuildMainWindowMenu();
  const HMENU bar = menu_->Handle();
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_EQ(Texts(bar), (std::vector<std::string>{Sjis("ファイル(&F)"), Sjis("ヘルプ(&H)")}));
  EXPECT_EQ(EntryAt(bar, 0).submenu, File1->Handle());
  EXPECT_EQ(EntryAt(bar, 1).submenu, Help1->Handle());

  const HMENU help = Help1->Handle();
  ASSERT_EQ(GetMenuItemCount(help), 5);
  const TMenuItem* expected[] = {Help2, h1, Tarnwick1, N1, About1};
  for (UINT i = 0; i < 5; ++i) {
    const NativeEntry entry = EntryAt(help, i);
    EXPECT_EQ(entry.id, expected[i]->Command());
    EXPECT_EQ(entry.type, expected[i]->IsLine() ? UINT{MFT_SEPARATOR} : 0u);
    EXPECT_EQ(entry.text, expected[i]->IsLine() ? "" : expected[i]->Caption());
  }
  EXPECT_EQ(TextByCommand(bar, Exit1->Command()), Sjis("終了(&X)"));
  // Unique accelerators are kept as they are.
  EXPECT_EQ(Help2->Caption(), Sjis("ヘルプ(&H)"));
}

TEST_F(MenuFixture, ItemPropertiesGiveTheEntryTypeStateAndText) {
  const struct {
    const char* what;
    std::function<void(TMenuItem&)> set;
    UINT type;
    UINT state;
    std::string text;
  } cases[] = {
      {"checked", [](TMenuItem& i) { i.SetChecked(true); }, 0, MFS_CHECKED, "Open"},
      {"disabled", [](TMenuItem& i) { i.SetEnabled(false); }, 0, MFS_GRAYED, "Open"},
      {"default", [](TMenuItem& i) { i.SetDefault(true); }, 0, MFS_DEFAULT, "Open"},
      {"radio", [](TMenuItem& i) { i.SetRadioItem(true); }, MFT_RADIOCHECK, 0, "Open"},
      {"break", [](TMenuItem& i) { i.SetBreak(mbBreak); }, MFT_MENUBREAK, 0, "Open"},
      {"bar break", [](TMenuItem& i) { i.SetBreak(mbBarBreak); }, MFT_MENUBARBREAK, 0, "Open"},
      {"shortcut", [](TMenuItem& i) { i.SetShortCut(scCtrl | 'O'); }, 0, 0, "Open\tCtrl+O"},
  };
  for (const auto& c : cases) {
    for (bool handleFirst : {false, true}) {
      TMenuItem* top = Top("Top", "&Top");
      TMenuItem* open = Item("Open", "Open", top);
      Item("Hidden", "Hidden", top)->SetVisible(false);
      if (handleFirst) menu_->Handle();
      c.set(*open);
      const HMENU sub = top->Handle();
      ASSERT_EQ(GetMenuItemCount(sub), 1) << c.what;
      const NativeEntry entry = EntryAt(sub, 0);
      EXPECT_EQ(entry.type, c.type) << c.what;
      EXPECT_EQ(entry.state, c.state) << c.what;
      EXPECT_EQ(entry.text, c.text) << c.what;
      EXPECT_EQ(entry.id, open->Command()) << c.what;
      EXPECT_EQ(Texts(menu_->Handle()), std::vector<std::string>{"&Top"}) << c.what;
      delete top;
      ASSERT_EQ(menu_->Items()->Count(), 0);
    }
  }
}

TEST_F(MenuFixture, CheckingAnItemMakesItsParentsNativeMenu) {
  BuildMainWindowMenu();
  EXPECT_FALSE(Help1->HandleAllocated());
  Tarnwick1->SetChecked(true);
  ASSERT_TRUE(Help1->HandleAllocated());
  EXPECT_EQ(EntryAt(Help1->Handle(), 2).state, UINT{MFS_CHECKED});
  Tarnwick1->SetEnabled(false);
  EXPECT_EQ(EntryAt(Help1->Handle(), 2).state, UINT{MFS_CHECKED | MFS_GRAYED});
}

// ---- The tree -----------------------------------------------------------------------------------

TEST_F(MenuFixture, TreeErrorsLeaveTheTreeAsItWas) {
  BuildMainWindowMenu();
  TMenuItem* loose = Item("Loose", "Loose", nullptr);
  const std::string twice = Sjis("メニューを二度追加しました");
  const std::string index = Sjis("メニューインデックスが範囲を越えました");
  const struct {
    std::function<void()> action;
    std::string message;
  } cases[] = {
      {[&] { Help1->Insert(0, Exit1); }, twice},
      {[&] { Exit1->Add(menu_->Items()); }, twice},
      {[&] { loose->Add(loose); }, twice},
      {[&] { Help1->Delete(Help1->Count()); }, index},
      {[&] { Help1->Delete(-1); }, index},
      {[&] { Exit1->Delete(0); }, index},
      {[&] { Exit1->Item(0); }, index},
      {[&] { Help1->Remove(Exit1); }, Sjis("サブメニューがメニューにありません")},
      {[&] { Help1->Item(5); }, Sjis("リストのインデックスが範囲を超えています (5)")},
      {[&] { Help1->Insert(6, loose); }, Sjis("リストのインデックスが範囲を超えています (6)")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MessageOf<Exception>(c.action), c.message);
    EXPECT_EQ(Help1->Count(), 5);
    EXPECT_EQ(File1->Count(), 1);
    EXPECT_EQ(loose->Parent(), nullptr);
  }
  EXPECT_EQ(MessageOf<EMenuError>([&] { Help1->Remove(Exit1); }), Sjis("サブメニューがメニューにありません"));
  EXPECT_EQ(MessageOf<EListError>([&] { Help1->Item(5); }), Sjis("リストのインデックスが範囲を超えています (5)"));
  EXPECT_EQ(Exit1->IndexOf(Help2), -1);
  EXPECT_EQ(loose->MenuIndex(), -1);
  Help2->SetMenuIndex(99);
  EXPECT_EQ(Help2->MenuIndex(), 4);
  EXPECT_EQ(Help1->Item(0), h1);
}

TEST_F(MenuFixture, GroupIndexesRadioItemsAndDefaults) {
  TMenuItem* top = Top("Top", "Top");
  TMenuItem* a = Item("A", "a", top);
  TMenuItem* b = Item("B", "b", top);
  b->SetGroupIndex(3);
  auto* c = new TMenuItem(&owner_);
  c->SetGroupIndex(1);
  top->Add(c);
  EXPECT_EQ(c->GroupIndex(), 3);

  EXPECT_EQ(MessageOf<EMenuError>([&] { c->SetGroupIndex(1); }),
            Sjis("GroupIndex は直前のメニューアイテムの GroupIndex より小さくすることができません"));
  EXPECT_EQ(c->GroupIndex(), 3);
  a->SetGroupIndex(5);
  EXPECT_EQ(b->GroupIndex(), 5);
  EXPECT_EQ(c->GroupIndex(), 5);

  // Radio items of one group exclude each other, as default items do.
  TMenuItem* other = Item("Other", "o", top);
  other->SetGroupIndex(6);
  for (TMenuItem* r : {a, b, other}) r->SetRadioItem(true);
  for (TMenuItem* r : {a, other, b}) r->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(other->Checked());
  EXPECT_EQ(EntryAt(top->Handle(), 0).state, 0u);
  EXPECT_EQ(EntryAt(top->Handle(), 1).state, UINT{MFS_CHECKED});
  a->SetDefault(true);
  b->SetDefault(true);
  EXPECT_FALSE(a->Default());
}

TEST_F(MenuFixture, FreeingItemsTakesThemOutOfTreeAndNativeMenu) {
  BuildMainWindowMenu();
  const HMENU help = Help1->Handle();
  const std::uint16_t tarnwickId = Tarnwick1->Command();
  delete Tarnwick1;
  EXPECT_EQ(Help1->Count(), 4);
  EXPECT_EQ(GetMenuItemCount(help), 4);
  EXPECT_EQ(Item("New", "n", nullptr)->Command(), tarnwickId);

  delete Help1;
  EXPECT_FALSE(IsMenu(help));
  EXPECT_EQ(owner_.FindOwned("About1"), nullptr);
  EXPECT_EQ(menu_->Items()->Count(), 1);
  delete menu_;
  EXPECT_EQ(owner_.FindOwned("Exit1"), nullptr);
  EXPECT_EQ(owner_.FindOwned("New"), owner_.OwnedAt(owner_.OwnedCount() - 1));
}

// ---- Dispatch -------------------------------------------------------------------------------------

TEST_F(MenuFixture, OpeningASubmenuTidiesItsSeparators) {
  TMenuItem* top = Top("Top", "&Top");
  const struct {
    const char* name;
    const char* caption;
  } children[] = {{"S1", "-"}, {"X", "&X"}, {"S2", "-"}, {"S3", "-"}, {"Y", "&Y"}, {"S4", "-"}};
  for (const auto& c : children) Item(c.name, c.caption, top);
  auto visible = [&] {
    std::string v;
    for (int i = 0; i < top->Count(); ++i) v += top->Item(i)->Visible() ? '1' : '0';
    return v;
  };
  menu_->Handle();
  EXPECT_TRUE(menu_->DispatchPopup(top->Handle()));
  EXPECT_EQ(visible(), "010110");
  EXPECT_EQ(GetMenuItemCount(top->Handle()), 3);

  TMenuItem* y = top->Item(4);
  y->SetVisible(false);
  menu_->DispatchPopup(top->Handle());
  EXPECT_EQ(visible(), "010000");
  y->SetVisible(true);
  menu_->DispatchPopup(top->Handle());
  EXPECT_EQ(visible(), "010110");

  top->SetAutoLineReduction(maManual);
  top->Item(0)->SetVisible(true);
  menu_->DispatchPopup(top->Handle());
  EXPECT_EQ(visible(), "110110");
}

TEST_F(MenuFixture, AutomaticAcceleratorsResolveRepeatedOnes) {
  ASSERT_TRUE(DoubleByteSystem());
  const struct {
    std::vector<std::string> captions;
    std::vector<std::string> expected;
  } cases[] = {
      {{"&Help", "&Hello"}, {"&Help", "H&ello"}},
      // The entry the first pass leaves open is served first in the next one.
      {{"ab", "a"}, {"a&b", "&a"}},
      {{Sjis("ヘルプ(&H)"), Sjis("ヘルプ(&H)")}, {Sjis("ヘルプ(&H)"), Sjis("ヘルプ(&Z)")}},
      {{"&Alpha", Sjis("開く..."), Sjis("閉じる")}, {"&Alpha", Sjis("開く(&Z)..."), Sjis("閉じる(&Y)")}},
      {{"&Save", "Save", "-", "&&x"}, {"&Save", "S&ave", "-", "&&&x"}},
  };
  for (const auto& c : cases) {
    for (bool automatic : {true, false}) {
      TMenuItem* top = Top("Top", "&Top");
      if (!automatic) top->SetAutoHotkeys(maManual);
      for (const std::string& caption : c.captions) Item("", caption, top);
      menu_->Handle();
      EXPECT_TRUE(menu_->DispatchPopup(top->Handle()));
      const std::vector<std::string>& expected = automatic ? c.expected : c.captions;
      for (int i = 0; i < top->Count(); ++i) EXPECT_EQ(top->Item(i)->Caption(), expected[i]) << i;
      std::vector<std::string> native;
      for (const std::string& text : expected) native.push_back(text == "-" ? "" : text);
      EXPECT_EQ(Texts(top->Handle()), native);
      delete top;
    }
  }
}

TEST_F(MenuFixture, TheBarResolvesRepeatedAcceleratorsWhenItIsMade) {
  Top("File", "&File");
  Top("Format", "&Format");
  Top("Plain", "&Plain")->SetShortCut(scCtrl | 'P');  // the bar never shows shortcuts
  EXPECT_EQ(Texts(menu_->Handle()), (std::vector<std::string>{"&File", "F&ormat", "&Plain"}));
}

class ShortCutTest : public MenuFixture {
 protected:
  void SetUp() override {
    GetKeyboardState(saved_);
    BuildMainWindowMenu();
    Exit1->SetShortCut(scCtrl | 'Q');
    About1->SetShortCut(scAlt | 'A');
    menu_->Handle();
  }
  void TearDown() override { SetKeyboardState(saved_); }
  void Hold(int key, bool down) {
    BYTE state[256];
    GetKeyboardState(state);
    state[key] = down ? 0x80 : 0;
    SetKeyboardState(state);
  }
  static void NoteUncaught(TObject*) { ++uncaught; }

  BYTE saved_[256] = {};
  static inline int uncaught = 0;
};

TEST_F(ShortCutTest, ClicksTheAncestorsThenTheItem) {
  Hold(VK_CONTROL, true);
  EXPECT_TRUE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  EXPECT_FALSE(menu_->IsShortCut(WM_KEYDOWN, 'W', 0));
  Hold(VK_CONTROL, false);
  EXPECT_FALSE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  EXPECT_TRUE(menu_->IsShortCut(WM_SYSKEYDOWN, 'A', 0x20000000));
  EXPECT_EQ(log_.clicks, (Log{"File1", "Exit1", "Help1", "About1"}));
  // Each level must be enabled.
  log_.clicks.clear();
  Hold(VK_CONTROL, true);
  Exit1->SetEnabled(false);
  EXPECT_TRUE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  File1->SetEnabled(false);
  EXPECT_TRUE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  EXPECT_EQ(log_.clicks, Log{"File1"});
  EXPECT_EQ(Exit1->Caption(), Sjis("終了(&X)"));
  EXPECT_EQ(TextByCommand(File1->Handle(), Exit1->Command()), Sjis("終了(&X)") + "\tCtrl+Q");
}

TEST_F(ShortCutTest, FreedOrMovedShortcutsAreSoughtAgain) {
  Hold(VK_CONTROL, true);
  // The item frees itself: the dispatch ends and reports it gone.
  log_.onClick = [](TMenuItem& item) {
    if (item.Name() == "Exit1") delete &item;
  };
  EXPECT_FALSE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  // The header hands the shortcut to another item, which is clicked instead.
  TMenuItem* quit = Item("Quit", "Quit", File1);
  quit->SetShortCut(scCtrl | 'Q');
  log_.clicks.clear();
  log_.onClick = [&](TMenuItem& item) {
    if (item.Name() != "File1") return;
    quit->SetShortCut(0);
    Tarnwick1->SetShortCut(scCtrl | 'Q');
  };
  EXPECT_TRUE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  EXPECT_EQ(log_.clicks, (Log{"File1", "Tarnwick1"}));
}

TEST_F(ShortCutTest, AnExceptionInAClickGoesToTheApplicationAndEndsTheDispatch) {
  Hold(VK_CONTROL, true);
  log_.onClick = [](TMenuItem& item) {
    if (item.Name() == "File1") throw EMenuError("boom");
  };
  uncaught = 0;
  const TUncaughtHandler previous = SetUncaughtHandler(&NoteUncaught);
  EXPECT_TRUE(menu_->IsShortCut(WM_KEYDOWN, 'Q', 0));
  SetUncaughtHandler(previous);
  EXPECT_EQ(uncaught, 1);
  EXPECT_EQ(log_.clicks, Log{"File1"});
}

// ---- Menu characters ---------------------------------------------------------------------------------

TEST_F(MenuFixture, MenuCharacterAnswers) {
  TMenuItem* top = Top("Top", "&Top");
  top->SetAutoHotkeys(maManual);
  const struct {
    const char* caption;
    bool enabled;
  } children[] = {{"&Apple", true},  {"&Avocado", true}, {"-", true},     {"&Banana", false},
                  {"&Cherry", true}, {"Dill", true},     {"Dune", false}, {"&Egg", false},
                  {"&Eel", true},    {"Fig", true},      {"&Grape", true}};
  for (const auto& c : children) Item("", c.caption, top)->SetEnabled(c.enabled);
  // A submenu of eight entries: its count fills the state's high byte.
  for (int i = 0; i < 8; ++i) Item("", "x", top->Item(10));
  const HMENU sub = top->Handle();
  const struct {
    UINT ch;
    LRESULT answer;
  } cases[] = {
      {'c', 0x20004},  // single match: execute
      {'a', 0x30000},  // several: select the first
      {'b', 0x10000},  // only a disabled match: close
      {'E', 0x20008},  // a disabled match that an enabled one follows
      {'f', 0x20009},  // no accelerator matches: the first character does
      {'d', 0x10000},  // a disabled entry among those closes at once
      {'g', 0x2000A},  // a submenu entry
      {'-', 0},        // separators are never chosen
      {'z', 0},
  };
  for (const auto& c : cases) EXPECT_EQ(menu_->ProcessMenuChar(c.ch, MF_POPUP, sub), c.answer) << char(c.ch);
  EXPECT_EQ(menu_->ProcessMenuChar('a', 0, nullptr), 0);
}

// ---- Attached to a window -------------------------------------------------------------------------------

TMainMenu* windowMenu = nullptr;
int menuChangedCount = 0;

// Stands in for the form: re-attaches the menu on FM_MENUCHANGED and passes
// the menu messages on, as a form does.
LRESULT CALLBACK MenuWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return GuardCallback<LRESULT>(nullptr, 0, [&]() -> LRESULT {
    if (windowMenu) {
      switch (message) {
        case FM_MENUCHANGED:
          ++menuChangedCount;
          if (GetMenu(window) != windowMenu->Handle()) SetMenu(window, windowMenu->Handle());
          return 0;
        case WM_COMMAND:
          if (lParam == 0 && windowMenu->DispatchCommand(LOWORD(wParam))) return 0;
          break;
        case WM_INITMENUPOPUP:
          if (windowMenu->DispatchPopup(reinterpret_cast<HMENU>(wParam))) return 0;
          break;
        case WM_MENUCHAR:
          if (LRESULT answer =
                  windowMenu->ProcessMenuChar(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam)))
            return answer;
          break;
      }
    }
    return DefWindowProcA(window, message, wParam, lParam);
  });
}

class AttachedMenuTest : public MenuFixture {
 protected:
  void SetUp() override {
    WNDCLASSA cls{};
    cls.lpfnWndProc = &MenuWindowProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "TwMenuTestWindow";
    RegisterClassA(&cls);
    window_ = CreateWindowExA(0, cls.lpszClassName, "menus", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                              cls.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    BuildMainWindowMenu();
    windowMenu = menu_;
    menuChangedCount = 0;
    menu_->SetWindowHandle(window_);
    SetMenu(window_, menu_->Handle());
  }
  void TearDown() override {
    SetMenu(window_, nullptr);
    menu_->SetWindowHandle(nullptr);
    windowMenu = nullptr;
    DestroyWindow(window_);
  }
  HWND window_ = nullptr;
};

TEST_F(AttachedMenuTest, ChangesReachTheWindowAndItsBar) {
  EXPECT_EQ(menu_->MenuImage(), Sjis("ファイル(&F);ヘルプ(&H);"));
  const HMENU bar = GetMenu(window_);
  Exit1->SetCaption("E&xit");
  EXPECT_GE(menuChangedCount, 1);
  EXPECT_EQ(GetMenu(window_), bar);
  EXPECT_EQ(TextByCommand(bar, Exit1->Command()), "E&xit");

  menuChangedCount = 0;
  File1->SetCaption("&File");
  EXPECT_GE(menuChangedCount, 1);
  EXPECT_FALSE(IsMenu(bar));
  EXPECT_EQ(GetMenu(window_), menu_->Handle());
  EXPECT_EQ(EntryAt(GetMenu(window_), 0).submenu, File1->Handle());
  EXPECT_EQ(menu_->MenuImage(), "&File;" + Sjis("ヘルプ(&H);"));

  Help1->SetEnabled(false);
  EXPECT_EQ(GetMenu(window_), menu_->Handle());
  EXPECT_EQ(menu_->MenuImage(), "&File;" + Sjis("ヘルプ(&H)$#;"));

  SendMessageA(window_, WM_COMMAND, Exit1->Command(), 0);
  SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(File1->Handle()), 0);
  EXPECT_EQ(SendMessageA(window_, WM_MENUCHAR, MAKEWPARAM('f', 0), reinterpret_cast<LPARAM>(GetMenu(window_))),
            0x20000);
  About1->SetEnabled(false);
  EXPECT_TRUE(menu_->DispatchCommand(About1->Command()));
  EXPECT_FALSE(menu_->DispatchCommand(0xFFFF));
  EXPECT_FALSE(menu_->DispatchPopup(CreatePopupMenu()));
  EXPECT_EQ(log_.clicks, (Log{"Exit1", "File1"}));
}

TEST_F(AttachedMenuTest, TheHighlightedEntryLeadsTheSelection) {
  menu_->SetAutoHotkeys(mafManual);
  File1->SetCaption("&Apple");
  Help1->SetCaption("&Avocado");
  Top("Anchor", "&Anchor");
  const HMENU bar = menu_->Handle();
  ASSERT_EQ(GetMenu(window_), bar);
  const LRESULT expected[] = {0x30001, 0x30002, 0x30000};
  for (UINT pos = 0; pos < 3; ++pos) {
    ASSERT_TRUE(HiliteMenuItem(window_, bar, pos, MF_BYPOSITION | MF_HILITE));
    EXPECT_EQ(menu_->ProcessMenuChar('a', 0, bar), expected[pos]) << pos;
    HiliteMenuItem(window_, bar, pos, MF_BYPOSITION | MF_UNHILITE);
  }
}

TEST_F(AttachedMenuTest, TheTextImageNeverOverrunsItsBuffer) {
  menu_->SetAutoHotkeys(mafManual);
  delete File1;
  delete Help1;
  for (int i = 0; i < 30; ++i) {
    TMenuItem* top = Top("", std::string(40, static_cast<char>('a' + i % 26)));
    top->SetEnabled(false);
  }
  const std::string& image = menu_->MenuImage();
  EXPECT_LE(image.size(), 511u);
  EXPECT_EQ(image.substr(0, 43), std::string(40, 'a') + "$#;");
  EXPECT_EQ(image.substr(image.size() - 3), "$#;");
}

// ---- Read from a form stream -------------------------------------------------------------------------

class TMenuHost : public TComponent {
  TW_PUBLISHED_CLASS(TMenuHost, TComponent)
 public:
  explicit TMenuHost(TComponent* owner) : TComponent(owner) {}
  ~TMenuHost() override { BeginDestruction(); }
  Log calls;
  void ExitClick(TObject* sender) { calls.push_back(static_cast<TComponent*>(sender)->Name()); }
};
void TMenuHost::Publish(Publisher& p) { TW_METHOD(ExitClick); }

TEST(MenuStreamingTest, ItemsJoinTheMenuOrTheItemTheyAreReadIn) {
  RegisterMenuClasses();
  test::FormBytes bytes;
  bytes.Signature().Object("TMenuHost", "Host").End();
  bytes.Object("TMainMenu", "MainMenu1").Prop("AutoHotkeys").Ident("maManual").End();
  bytes.Object("TMenuItem", "File1").Prop("Caption").Str(Sjis("ファイル(&F)")).End();
  bytes.Object("TMenuItem", "Exit1").Prop("Caption").Str("E&xit").Prop("OnClick").Ident("ExitClick");
  bytes.Prop("ShortCutText").Str("Ctrl+Q").Prop("Checked").Bool(true);
  bytes.End().End();  // Exit1
  bytes.End();        // File1's children
  bytes.Object("TMenuItem", "Help1").Prop("Caption").Str("&Help").End().End();
  bytes.End();  // the menu's children
  bytes.End();  // the host's children
  TMenuHost host(nullptr);
  auto stream = bytes.Stream();
  ReadComponentFromStream(*stream, &host);

  auto* menu = static_cast<TMainMenu*>(host.FindOwned("MainMenu1"));
  auto* file = static_cast<TMenuItem*>(host.FindOwned("File1"));
  auto* exit = static_cast<TMenuItem*>(host.FindOwned("Exit1"));
  auto* help = static_cast<TMenuItem*>(host.FindOwned("Help1"));
  ASSERT_TRUE(menu && file && exit && help);
  EXPECT_EQ(menu->AutoHotkeys(), mafManual);
  EXPECT_EQ(menu->Items()->Item(1), help);
  EXPECT_EQ(exit->Parent(), file);
  EXPECT_EQ(file->Parent(), menu->Items());
  EXPECT_EQ(file->StreamParentOf(), menu);
  EXPECT_EQ(exit->StreamParentOf(), file);
  EXPECT_EQ(exit->ShortCut(), scCtrl | 'Q');
  EXPECT_TRUE(exit->Checked());
  // Read items only store their state; the native menus come when asked for.
  EXPECT_FALSE(file->HandleAllocated());
  EXPECT_EQ(EntryAt(file->Handle(), 0).state, UINT{MFS_CHECKED});
  EXPECT_TRUE(menu->DispatchCommand(exit->Command()));
  EXPECT_EQ(host.calls, Log{"Exit1"});
}

}  // namespace
}  // namespace tw
