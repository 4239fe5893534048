// The two shipped windows loaded from the program's form resources into the
// stand-ins of their classes: the component tree, names, owners and parents,
// every property value the resources give, the bound fields and handlers, the
// main menu reference and the order of the after-load steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/FormLoading.h"
#include "core/Streams.h"
#include "runtime/Exceptions.h"
#include "runtime/Language.h"
#include "runtime/Platform.h"
#include "runtime/ScopeExit.h"
#include "tests/TestSupport.h"
#include "tests/core/StandIns.h"

namespace tw::standin {
namespace {

using test::Sjis;

// The forms alive in a test, as the forms layer's finder would see them.
std::vector<TComponent*>* liveForms = nullptr;

TComponent* FindLiveForm(std::string_view name) {
  if (!liveForms) return nullptr;
  for (TComponent* form : *liveForms)
    if (!name.empty() && NamesMatch(form->Name(), name)) return form;
  return nullptr;
}

// How a window is loaded: as its constructor does, or from a resource stream.
enum class Route { ClassChain, ResourceStream };

std::string RouteName(const testing::TestParamInfo<Route>& info) {
  return info.param == Route::ClassChain ? "ClassChain" : "ResourceStream";
}

// Installs a finder over the forms of the test and records after-load steps.
class FormsFixture : public testing::Test {
 protected:
  void SetUp() override {
    RegisterStandInIdentMaps();
    liveForms = &forms_;
    previousFinder_ = SetGlobalComponentFinder(FindLiveForm);
    previousLog_ = RecordAfterLoadInto(&afterLoad_);
  }

  void TearDown() override {
    RecordAfterLoadInto(previousLog_);
    TForm::ObserveMenuChanges(nullptr);
    SetGlobalComponentFinder(previousFinder_);
    liveForms = nullptr;
  }

  std::vector<TComponent*> forms_;
  std::vector<std::string> afterLoad_;
  TGlobalComponentFinder previousFinder_ = nullptr;
  std::vector<std::string>* previousLog_ = nullptr;
};

class ShippedFormsTest : public FormsFixture, public testing::WithParamInterface<Route> {
 protected:
  template <class T>
  std::unique_ptr<T> Load(std::string_view resource) {
    auto form = std::make_unique<T>(nullptr);
    try {
      if (GetParam() == Route::ClassChain) {
        EXPECT_TRUE(LoadInheritedResources(*form, TForm::StaticClassInfo()));
      } else {
        TResourceStream stream(resource);
        EXPECT_EQ(ReadComponentFromStream(stream, form.get()), form.get());
        EXPECT_EQ(stream.Position(), stream.Size()) << "the reader gives back the bytes it did not use";
      }
    } catch (const Exception& e) {
      // Name the error instead of leaving an unknown exception to the framework.
      ADD_FAILURE() << e.ClassName() << ": " << e.Message();
      throw;
    }
    forms_.push_back(form.get());
    return form;
  }
};

INSTANTIATE_TEST_SUITE_P(Routes, ShippedFormsTest, testing::Values(Route::ClassChain, Route::ResourceStream),
                         RouteName);

// ---- Expectations ------------------------------------------------------------------------

// One control as the window's description gives it. Text is UTF-8; tab order
// -1 marks a control without one (a label).
struct ControlRow {
  std::string_view name;
  const TClassInfo* cls;
  std::string_view parent;
  std::int32_t left, top, width, height;
  std::int32_t tabOrder;
  std::string_view text;
  std::optional<TColor> ownFont;  // nothing: the parent's font
  std::string_view hint = {};
  bool showHint = false;
  bool parentShowHint = true;
  bool readOnly = false;
};

const TClassInfo* const kGroupBox = &TGroupBox::StaticClassInfo();
const TClassInfo* const kLabel = &TLabel::StaticClassInfo();
const TClassInfo* const kEdit = &TEdit::StaticClassInfo();
const TClassInfo* const kButton = &TButton::StaticClassInfo();
const TClassInfo* const kComboBox = &TComboBox::StaticClassInfo();

constexpr std::string_view kGuideHint = "映像に割り当てるビットレートの目安です";

// The main window's controls in resource order.
const ControlRow kMainControls[] = {
    {"GroupBox2", kGroupBox, "Form1", 8, 8, 401, 177, 0, "Re-Tarnwick", {}},
    {"Label9", kLabel, "GroupBox2", 192, 144, 113, 12, -1, "新しい映像ビットレート", clRed},
    {"Label10", kLabel, "GroupBox2", 361, 144, 24, 12, -1, "kb/s", clRed},
    {"Label12", kLabel, "GroupBox2", 360, 40, 24, 12, -1, "kb/s", clWindowText},
    {"Label15", kLabel, "GroupBox2", 192, 40, 117, 12, -1, "現在の映像ビットレート", clWindowText},
    {"Label17", kLabel, "GroupBox2", 192, 88, 113, 12, -1, "新しい音声ビットレート", clWindowText},
    {"Label13", kLabel, "GroupBox2", 360, 88, 24, 12, -1, "kb/s", clWindowText},
    {"Label11", kLabel, "GroupBox2", 360, 64, 17, 12, -1, "MB", clWindowText},
    {"Label14", kLabel, "GroupBox2", 192, 64, 70, 12, -1, "現在のサイズ", clWindowText},
    {"NowVideo", kEdit, "GroupBox2", 312, 32, 41, 20, 1, "700", {}},
    {"NextVideo", kEdit, "GroupBox2", 312, 136, 41, 20, 5, "", clWindowText, kGuideHint, true, false, true},
    {"ReCalc", kButton, "GroupBox2", 264, 112, 113, 17, 4, "再計算", {}},
    {"NextAudio", kComboBox, "GroupBox2", 312, 80, 41, 20, 3, "128", clWindowText, "", false, false},
    {"GroupBox1", kGroupBox, "GroupBox2", 8, 16, 177, 153, 0, "Tarnwick", {}},
    {"Label1", kLabel, "GroupBox1", 8, 24, 24, 12, -1, "時間", clWindowText},
    {"Label3", kLabel, "GroupBox1", 8, 48, 58, 12, -1, "目標サイズ", clWindowText},
    {"Label4", kLabel, "GroupBox1", 8, 128, 81, 12, -1, "映像ビットレート", clRed},
    {"Label5", kLabel, "GroupBox1", 144, 24, 12, 12, -1, "分", clWindowText},
    {"Label7", kLabel, "GroupBox1", 144, 48, 17, 12, -1, "MB", clWindowText},
    {"Label8", kLabel, "GroupBox1", 144, 128, 24, 12, -1, "kb/s", clRed},
    {"Label2", kLabel, "GroupBox1", 8, 72, 81, 12, -1, "音声ビットレート", clWindowText},
    {"Label6", kLabel, "GroupBox1", 144, 72, 24, 12, -1, "kb/s", clWindowText},
    {"Time", kEdit, "GroupBox1", 96, 16, 41, 20, 0, "120", clWindowText, "", false, false},
    {"NextSize", kEdit, "GroupBox1", 96, 40, 41, 20, 1, "700", clWindowText, "", false, false},
    {"Video", kEdit, "GroupBox1", 96, 120, 41, 20, 4, "", clWindowText, kGuideHint, true, false, true},
    {"Calc", kButton, "GroupBox1", 40, 96, 113, 17, 3, "計算", {}},
    {"NowAudio", kComboBox, "GroupBox1", 96, 64, 41, 20, 2, "128", clWindowText, "", false, false},
    {"NowSize", kEdit, "GroupBox2", 312, 56, 41, 20, 2, "700", {}, "", false, false},
};

const ControlRow kAboutControls[] = {
    {"Label1", kLabel, "Form2", 32, 8, 150, 12, -1, "Tarnwick for MPEG4", {}},
    {"Label2", kLabel, "Form2", 152, 24, 52, 12, -1, "ver 1.0β4", {}},
    {"Label3", kLabel, "Form2", 32, 40, 162, 12, -1, "Copyright (C) 2003 K. Tarnwick", {}},
    {"Label4", kLabel, "Form2", 48, 56, 118, 12, -1, "https://tarnwick.example.net/", {}},
    {"Button1", kButton, "Form2", 80, 80, 81, 25, 0, "OK", {}},
};

// The window's own font, which the controls with a font of their own repeat.
void ExpectWindowFont(const TFont& font, TColor color) {
  EXPECT_EQ(font.Charset(), SHIFTJIS_CHARSET);
  EXPECT_EQ(font.Color(), color);
  EXPECT_EQ(font.Height(), -12);
  EXPECT_EQ(font.Name(), Sjis("ＭＳ Ｐゴシック"));
  EXPECT_EQ(font.Style(), TFontStyles{});
  EXPECT_EQ(font.Pitch(), fpDefault);
}

void ExpectControls(const TForm& form, std::span<const ControlRow> rows) {
  ASSERT_EQ(form.OwnedCount(), static_cast<int>(rows.size()) + (form.Menu() ? 9 : 0));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ControlRow& row = rows[i];
    SCOPED_TRACE(row.name);
    // Owned by the form in resource order (the menu comes last).
    TComponent* c = form.OwnedAt(static_cast<int>(i));
    ASSERT_EQ(c->Name(), row.name);
    ASSERT_EQ(&c->ClassType(), row.cls);
    EXPECT_EQ(c->Owner(), &form);
    auto* control = static_cast<TControl*>(c);
    ASSERT_NE(control->Parent(), nullptr);
    EXPECT_EQ(control->Parent()->Name(), row.parent);
    EXPECT_EQ(control->StreamParentOf(), control->Parent());
    EXPECT_EQ(control->Left(), row.left);
    EXPECT_EQ(control->Top(), row.top);
    EXPECT_EQ(control->Width(), row.width);
    EXPECT_EQ(control->Height(), row.height);
    if (row.tabOrder >= 0) {
      EXPECT_EQ(static_cast<TWinControl*>(control)->TabOrder(), row.tabOrder);
    }
    EXPECT_EQ(control->Text(), Sjis(row.text));
    EXPECT_EQ(control->ParentFont(), !row.ownFont.has_value());
    if (row.ownFont) ExpectWindowFont(*control->Font(), *row.ownFont);
    EXPECT_EQ(control->Hint(), Sjis(row.hint));
    EXPECT_EQ(control->ShowHint(), row.showHint);
    EXPECT_EQ(control->ParentShowHint(), row.parentShowHint);
    if (row.cls == kEdit) {
      EXPECT_EQ(static_cast<TEdit*>(control)->ReadOnly(), row.readOnly);
    }
    if (row.cls == kComboBox) {
      auto* combo = static_cast<TComboBox*>(control);
      EXPECT_EQ(combo->ItemHeight(), 12);
      std::vector<std::string> items;
      for (int k = 0; k < combo->Items()->LineCount(); ++k) items.push_back(combo->Items()->LineAt(k));
      EXPECT_EQ(items, (std::vector<std::string>{"0", "56", "64", "96", "112", "128", "160", "192"}));
    }
    EXPECT_FALSE(c->HasState(stLoading));
    EXPECT_FALSE(c->HasState(stReading));
  }
}

// The children of a control by name, in the order they were placed.
std::vector<std::string> ChildNames(const TWinControl& parent) {
  std::vector<std::string> names;
  for (const TControl* c : parent.Controls()) names.push_back(c->Name());
  return names;
}

std::vector<std::string> ItemNames(const std::vector<TMenuItem*>& items) {
  std::vector<std::string> names;
  for (const TMenuItem* item : items) names.push_back(item->Name());
  return names;
}

// ---- The main window ---------------------------------------------------------------------------

TEST_P(ShippedFormsTest, MainWindowProperties) {
  auto form = Load<TForm1>("TFORM1");
  EXPECT_EQ(form->Name(), "Form1");
  EXPECT_EQ(form->Text(), "Tarnwick for MPEG4");
  EXPECT_EQ(form->Left(), 186);
  EXPECT_EQ(form->Top(), 104);
  EXPECT_EQ(form->ClientWidth(), 418);
  EXPECT_EQ(form->ClientHeight(), 195);
  EXPECT_EQ(form->Width(), 320) << "Width and Height keep their defaults";
  EXPECT_EQ(form->BorderStyle(), bsSingle);
  EXPECT_EQ(form->BorderIcons(), (TBorderIcons{biSystemMenu, biMinimize}));
  EXPECT_EQ(form->Position(), poDefault);
  EXPECT_EQ(form->Color(), clBtnFace);
  ExpectWindowFont(*form->Font(), clWindowText);
  EXPECT_EQ(form->Menu(), form->MainMenu1);
  EXPECT_FALSE(form->OldCreateOrder());
  EXPECT_EQ(form->PixelsPerInch(), 96);
  EXPECT_EQ(form->TextHeight(), 12);
  EXPECT_EQ(form->Owner(), nullptr);
  EXPECT_EQ(form->Parent(), nullptr);
  EXPECT_FALSE(form->HasState(stLoading));
  EXPECT_FALSE(form->HasState(stReading));
}

TEST_P(ShippedFormsTest, MainWindowControls) {
  auto form = Load<TForm1>("TFORM1");
  ExpectControls(*form, kMainControls);

  EXPECT_EQ(ChildNames(*form), (std::vector<std::string>{"GroupBox2"}));
  EXPECT_EQ(
      ChildNames(*form->GroupBox2),
      (std::vector<std::string>{"Label9", "Label10", "Label12", "Label15", "Label17", "Label13", "Label11", "Label14",
                                "NowVideo", "NextVideo", "ReCalc", "NextAudio", "GroupBox1", "NowSize"}));
  EXPECT_EQ(ChildNames(*form->GroupBox1),
            (std::vector<std::string>{"Label1", "Label3", "Label4", "Label5", "Label7", "Label8", "Label2", "Label6",
                                      "Time", "NextSize", "Video", "Calc", "NowAudio"}));
}

TEST_P(ShippedFormsTest, MainWindowMenu) {
  int menuSets = 0;
  TForm::ObserveMenuChanges([&](TForm& form, TMainMenu* menu) {
    ++menuSets;
    // The reference is set once the whole tree exists: the menu and every
    // item below it have been read.
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->Name(), "MainMenu1");
    EXPECT_EQ(menu->Owner(), &form);
    EXPECT_FALSE(menu->HasState(stReading));
    ASSERT_EQ(ItemNames(menu->Items()), (std::vector<std::string>{"File1", "Help1"}));
    ASSERT_EQ(menu->Items()[1]->Items().size(), 5u);
    EXPECT_EQ(menu->Items()[1]->Items()[4]->Caption(), Sjis("バージョン情報(&A)"));
    EXPECT_TRUE(menu->Items()[1]->Items()[4]->OnClick());
    EXPECT_EQ(form.FindOwned("NowSize")->Owner(), &form);
  });
  auto form = Load<TForm1>("TFORM1");
  EXPECT_EQ(menuSets, 1);

  TMainMenu* menu = form->MainMenu1;
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(form->Menu(), menu);
  EXPECT_EQ(menu->DesignTop(), 168);
  EXPECT_EQ(menu->DesignLeft(), 0);
  EXPECT_EQ(form->OwnedAt(28), menu);

  struct ItemRow {
    std::string_view name;
    std::string_view parent;
    std::string_view caption;
    std::string_view handler;  // empty: none
  };
  const ItemRow rows[] = {
      {"File1", "MainMenu1", "ファイル(&F)", ""},
      {"Exit1", "File1", "終了(&X)", "Exit1Click"},
      {"Help1", "MainMenu1", "ヘルプ(&H)", ""},
      {"Help2", "Help1", "ヘルプ(&H)", "Help2Click"},
      {"h1", "Help1", "-", ""},
      {"Tarnwick1", "Help1", "作者のサイトへ(&J)", "Tarnwick1Click"},
      {"N1", "Help1", "-", ""},
      {"About1", "Help1", "バージョン情報(&A)", "About1Click"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const ItemRow& row = rows[i];
    SCOPED_TRACE(row.name);
    TComponent* c = form->OwnedAt(29 + static_cast<int>(i));
    ASSERT_EQ(c->Name(), row.name);
    ASSERT_EQ(&c->ClassType(), &TMenuItem::StaticClassInfo());
    auto* item = static_cast<TMenuItem*>(c);
    EXPECT_EQ(item->Owner(), form.get());
    ASSERT_NE(item->StreamParentOf(), nullptr);
    EXPECT_EQ(item->StreamParentOf()->Name(), row.parent);
    EXPECT_EQ(item->Caption(), Sjis(row.caption));
    EXPECT_EQ(static_cast<bool>(item->OnClick()), !row.handler.empty());
    form->calls.clear();
    item->Click();
    if (row.handler.empty()) {
      EXPECT_TRUE(form->calls.empty());
    } else {
      ASSERT_EQ(form->calls.size(), 1u);
      EXPECT_EQ(form->calls[0].method, row.handler);
      EXPECT_EQ(form->calls[0].receiver, form.get());
      EXPECT_EQ(form->calls[0].sender, item);
    }
  }
  EXPECT_EQ(ItemNames(form->File1->Items()), (std::vector<std::string>{"Exit1"}));
  EXPECT_EQ(ItemNames(form->Help1->Items()), (std::vector<std::string>{"Help2", "h1", "Tarnwick1", "N1", "About1"}));
}

TEST_P(ShippedFormsTest, MainWindowFieldsAreBound) {
  auto form = Load<TForm1>("TFORM1");
  const TPublishedTables* tables = PublishedTablesOf(TForm1::StaticClassInfo());
  ASSERT_NE(tables, nullptr);
  ASSERT_EQ(tables->fields.size(), 37u);
  for (const TPublishedField& field : tables->fields) {
    SCOPED_TRACE(field.name);
    TObject* value = field.get(*form);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value, form->FindOwned(field.name));
    EXPECT_EQ(&value->ClassType(), field.fieldClass);
  }
  // Spot checks through the typed fields themselves.
  EXPECT_EQ(form->Time->Text(), "120");
  EXPECT_EQ(form->NowAudio->Parent(), form->GroupBox1);
  EXPECT_EQ(form->NowSize->Parent(), form->GroupBox2);
}

// Each field is named by its name label and its unit label: references to
// components read later in the resource (Time comes after its labels, and
// Video sits in the inner panel) are resolved once the whole window is read.
TEST_P(ShippedFormsTest, MainWindowLabelsNameTheirFields) {
  auto form = Load<TForm1>("TFORM1");
  const std::pair<const char*, const char*> links[] = {
      {"Label1", "Time"},       {"Label5", "Time"},       {"Label3", "NextSize"},  {"Label7", "NextSize"},
      {"Label2", "NowAudio"},   {"Label6", "NowAudio"},   {"Label4", "Video"},     {"Label8", "Video"},
      {"Label15", "NowVideo"},  {"Label12", "NowVideo"},  {"Label14", "NowSize"},  {"Label11", "NowSize"},
      {"Label17", "NextAudio"}, {"Label13", "NextAudio"}, {"Label9", "NextVideo"}, {"Label10", "NextVideo"},
  };
  for (const auto& [label, field] : links) {
    SCOPED_TRACE(label);
    auto* read = dynamic_cast<TLabel*>(form->FindOwned(label));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->FocusControl(), form->FindOwned(field));
    EXPECT_NE(read->FocusControl(), nullptr);
  }
  // The reference is weak: a field that goes leaves its label naming nothing.
  auto* field = new TEdit(nullptr);
  TLabel label(nullptr);
  label.SetFocusControl(field);
  delete field;
  EXPECT_EQ(label.FocusControl(), nullptr);
}

TEST_P(ShippedFormsTest, MainWindowButtonsReachTheirHandlers) {
  auto form = Load<TForm1>("TFORM1");
  form->Calc->Click();
  form->ReCalc->Click();
  ASSERT_EQ(form->calls.size(), 2u);
  EXPECT_EQ(form->calls[0].method, "CalcClick");
  EXPECT_EQ(form->calls[0].receiver, form.get());
  EXPECT_EQ(form->calls[0].sender, form->Calc);
  EXPECT_EQ(form->calls[1].method, "ReCalcClick");
  EXPECT_EQ(form->calls[1].receiver, form.get());
  EXPECT_EQ(form->calls[1].sender, form->ReCalc);
  EXPECT_EQ(form->Calc->OnClick().handler.receiver, form.get());
  // Nothing else was bound to a handler.
  EXPECT_FALSE(form->Label9->OnClick());
  EXPECT_FALSE(form->NowVideo->OnClick());
  EXPECT_FALSE(form->GroupBox1->OnClick());
}

TEST_P(ShippedFormsTest, MainWindowAfterLoadOrder) {
  auto form = Load<TForm1>("TFORM1");
  const std::vector<std::string> expected = {"Form1",
                                             // GroupBox2's children before GroupBox1, in stream order
                                             "Label9", "Label10", "Label12", "Label15", "Label17", "Label13", "Label11",
                                             "Label14", "NowVideo", "NextVideo", "ReCalc", "NextAudio",
                                             // GroupBox1's children, then GroupBox1 itself
                                             "Label1", "Label3", "Label4", "Label5", "Label7", "Label8", "Label2",
                                             "Label6", "Time", "NextSize", "Video", "Calc", "NowAudio", "GroupBox1",
                                             // the rest of GroupBox2, then GroupBox2
                                             "NowSize", "GroupBox2",
                                             // the menu: each item after its own items, the menu last
                                             "Exit1", "File1", "Help2", "h1", "Tarnwick1", "N1", "About1", "Help1",
                                             "MainMenu1"};
  EXPECT_EQ(afterLoad_, expected);
}

TEST_P(ShippedFormsTest, SecondMainWindowGetsANameOfItsOwn) {
  auto first = Load<TForm1>("TFORM1");
  auto second = Load<TForm1>("TFORM1");
  EXPECT_EQ(first->Name(), "Form1");
  EXPECT_EQ(second->Name(), "Form1_1");
  // Each window has a tree of its own.
  EXPECT_NE(first->Calc, second->Calc);
  EXPECT_EQ(second->Calc->Owner(), second.get());
  EXPECT_EQ(second->Menu(), second->MainMenu1);
}

// ---- The English windows ----------------------------------------------------------------------

using test::IsAscii;

// The English resources are the Japanese descriptions with other texts and
// fonts: the same components, names, classes, parents, bounds, tab order and
// handlers, every text in ASCII, the menu keys that scripts press kept.
TEST_P(ShippedFormsTest, TheEnglishWindowsDifferOnlyInTextsAndFonts) {
  // Every window lives to the end of the test: the fixture's finder names them.
  std::vector<std::unique_ptr<TForm>> windows;
  windows.reserve(4);  // the references below stay valid
  for (const char* resource : {"TFORM1", "TFORM2"}) {
    SCOPED_TRACE(resource);
    const bool main = std::string_view(resource) == "TFORM1";
    std::unique_ptr<TForm>& japanese = windows.emplace_back();
    std::unique_ptr<TForm>& english = windows.emplace_back();
    japanese = main ? std::unique_ptr<TForm>(Load<TForm1>(resource)) : std::unique_ptr<TForm>(Load<TForm2>(resource));
    {
      SetUiLanguage(TUiLanguage::English);
      const TScopeExit back([] { SetUiLanguage(TUiLanguage::Japanese); });
      english = main ? std::unique_ptr<TForm>(Load<TForm1>(resource)) : std::unique_ptr<TForm>(Load<TForm2>(resource));
    }
    EXPECT_TRUE(IsAscii(english->Text()));
    EXPECT_EQ(english->ClientWidth(), japanese->ClientWidth());
    EXPECT_EQ(english->ClientHeight(), japanese->ClientHeight());
    EXPECT_EQ(english->TextHeight(), 13) << "the height of \"0\" in the English font";
    ASSERT_EQ(english->OwnedCount(), japanese->OwnedCount());
    for (int i = 0; i < english->OwnedCount(); ++i) {
      TComponent* en = english->OwnedAt(i);
      TComponent* ja = japanese->OwnedAt(i);
      SCOPED_TRACE(ja->Name());
      EXPECT_EQ(en->Name(), ja->Name());
      EXPECT_EQ(&en->ClassType(), &ja->ClassType());
      if (auto* item = dynamic_cast<TMenuItem*>(en)) {
        EXPECT_TRUE(IsAscii(item->Caption())) << item->Caption();
        continue;
      }
      auto* control = dynamic_cast<TControl*>(en);
      auto* twin = dynamic_cast<TControl*>(ja);
      if (!control || !twin) continue;
      EXPECT_TRUE(IsAscii(control->Text())) << control->Text();
      EXPECT_TRUE(IsAscii(control->Hint())) << control->Hint();
      EXPECT_EQ(control->Hint().empty(), twin->Hint().empty());
      EXPECT_EQ(std::tuple(control->Left(), control->Top(), control->Width(), control->Height()),
                std::tuple(twin->Left(), twin->Top(), twin->Width(), twin->Height()));
      const auto parentName = [](const TControl* c, const TForm* form) {
        return c->Parent() && c->Parent() != form ? c->Parent()->Name() : std::string();
      };
      EXPECT_EQ(parentName(control, english.get()), parentName(twin, japanese.get()));
      // Every Japanese face is replaced by the Latin one.
      EXPECT_EQ(control->Font()->Name(), IsAscii(twin->Font()->Name()) ? twin->Font()->Name() : "Tahoma");
      if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
        EXPECT_EQ(windowed->TabOrder(), dynamic_cast<TWinControl*>(twin)->TabOrder());
      }
    }
  }
}

TEST_P(ShippedFormsTest, TheEnglishMenuKeepsTheKeysScriptsPress) {
  SetUiLanguage(TUiLanguage::English);
  const TScopeExit back([] { SetUiLanguage(TUiLanguage::Japanese); });
  auto form = Load<TForm1>("TFORM1");
  EXPECT_EQ(form->File1->Caption(), "&File");
  EXPECT_EQ(form->Exit1->Caption(), "E&xit");
  EXPECT_EQ(form->Help1->Caption(), "&Help");
  EXPECT_EQ(form->About1->Caption(), "&About");
  EXPECT_EQ(form->Calc->Text(), "Calculate");
  EXPECT_EQ(form->Label1->Text(), "Time");
  EXPECT_EQ(form->Label1->FocusControl(), form->Time);
}

// ---- The version window ------------------------------------------------------------------------

TEST_P(ShippedFormsTest, AboutBox) {
  auto form = Load<TForm2>("TFORM2");
  EXPECT_EQ(form->Name(), "Form2");
  EXPECT_EQ(form->Text(), Sjis("バージョン情報"));
  EXPECT_EQ(form->Left(), 181);
  EXPECT_EQ(form->Top(), 374);
  EXPECT_EQ(form->ClientWidth(), 231);
  EXPECT_EQ(form->ClientHeight(), 116);
  EXPECT_EQ(form->BorderStyle(), bsDialog);
  EXPECT_EQ(form->BorderIcons(), (TBorderIcons{biSystemMenu, biMinimize, biMaximize})) << "not in the resource";
  EXPECT_EQ(form->Position(), poMainFormCenter);
  EXPECT_EQ(form->Color(), clBtnFace);
  ExpectWindowFont(*form->Font(), clWindowText);
  EXPECT_EQ(form->Menu(), nullptr);
  EXPECT_FALSE(form->OldCreateOrder());
  EXPECT_EQ(form->PixelsPerInch(), 96);
  EXPECT_EQ(form->TextHeight(), 12);

  ExpectControls(*form, kAboutControls);
  EXPECT_EQ(ChildNames(*form), (std::vector<std::string>{"Label1", "Label2", "Label3", "Label4", "Button1"}));
  EXPECT_EQ(form->Label1, form->FindOwned("Label1"));
  EXPECT_EQ(form->Label4, form->FindOwned("Label4"));
  ASSERT_NE(form->Button1, nullptr);
  EXPECT_EQ(form->Button1->ModalResult(), 1);

  form->Button1->Click();
  ASSERT_EQ(form->calls.size(), 1u);
  EXPECT_EQ(form->calls[0].method, "Button1Click");
  EXPECT_EQ(form->calls[0].receiver, form.get());
  EXPECT_EQ(form->calls[0].sender, form->Button1);

  EXPECT_EQ(afterLoad_, (std::vector<std::string>{"Form2", "Label1", "Label2", "Label3", "Label4", "Button1"}));
}

// ---- A damaged main window -------------------------------------------------------------------

class DamagedFormTest : public FormsFixture {};

TEST_F(DamagedFormTest, CutStreamsFailWithoutAfterLoadSteps) {
  const auto resource = platform::FindRawResource("TFORM1");
  ASSERT_TRUE(resource.has_value());
  const std::string bytes(reinterpret_cast<const char*>(resource->data()), resource->size());
  const std::size_t left = bytes.find("\x04Left\x03");
  ASSERT_NE(left, std::string::npos);

  struct Case {
    std::size_t size;
    std::string message;  // UTF-8
    int components;       // created before the error
  };
  const Case cases[] = {
      // In the middle of the window's first value: a property error.
      {left + 7, "Form1.Left の読み込み中のエラー : ストリームからの読み込みエラー", 0},
      // Without the end of the window's children: every component exists.
      {bytes.size() - 1, "ストリームからの読み込みエラー", 37},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    afterLoad_.clear();
    auto form = std::make_unique<TForm1>(nullptr);
    forms_.push_back(form.get());
    TCustomMemoryStream stream(std::span(resource->data(), c.size));
    try {
      ReadComponentFromStream(stream, form.get());
      ADD_FAILURE() << "the cut stream was read";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), Sjis(c.message));
    }
    // The window stays as far as it was read, and nothing got its after-load
    // step or its references.
    EXPECT_TRUE(afterLoad_.empty());
    EXPECT_EQ(form->OwnedCount(), c.components);
    EXPECT_EQ(form->Menu(), nullptr);
    if (c.components > 0) {
      EXPECT_EQ(form->Label1->FocusControl(), nullptr);
      EXPECT_TRUE(form->Calc->HasState(stLoading));
    }
    forms_.pop_back();
  }
}

// ---- Class chains without a resource ----------------------------------------------------------

// A window class that the program has no resource for.
class TForm9 : public TForm {
  TW_PUBLISHED_CLASS(TForm9, TForm)

 public:
  using TForm::TForm;
};
void TForm9::Publish(Publisher&) {}

TEST(ShippedFormsClassChainTest, NothingIsReadWithoutAResource) {
  RegisterStandInIdentMaps();
  std::vector<std::string> log;
  std::vector<std::string>* previous = RecordAfterLoadInto(&log);
  TForm9 missing(nullptr);
  TForm plain(nullptr);
  // The chain stops at the root ancestor, so the plain form reads nothing
  // either, although a class named "TForm" is in the chain.
  EXPECT_FALSE(LoadInheritedResources(missing, TForm::StaticClassInfo()));
  EXPECT_FALSE(LoadInheritedResources(plain, TForm::StaticClassInfo()));
  EXPECT_FALSE(ReadResourceInto("TFORM9", missing));
  RecordAfterLoadInto(previous);
  EXPECT_EQ(missing.OwnedCount(), 0);
  EXPECT_EQ(missing.Text(), "");
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace tw::standin
