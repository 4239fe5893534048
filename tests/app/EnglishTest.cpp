// The English windows, in-process, at the resolution of the run: the English
// resources' texts and fonts, nothing outside ASCII, the window as large as
// the Japanese one, and every text fitting its room.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Mainunit.h"
#include "app/Verunit.h"
#include "runtime/Language.h"
#include "runtime/ScopeExit.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Accessible.h"
#include "ui/Application.h"
#include "ui/Screen.h"

namespace tw {
namespace {

using test::IsAscii;

// The extent of a text in the control's font, as the platform draws it.
SIZE TextExtent(TControl& control, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, control.Font()->Handle());
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size;
}

class EnglishWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }
  void SetUp() override { SetUiLanguage(TUiLanguage::English); }
  void TearDown() override { SetUiLanguage(TUiLanguage::Japanese); }
};

TEST_F(EnglishWindows, MainWindowTextsMenusAndNames) {
  RECT japaneseClient{};
  {
    SetUiLanguage(TUiLanguage::Japanese);
    TForm1* japanese = TCustomForm::Create<TForm1>(Application());
    GetClientRect(japanese->Handle(), &japaneseClient);
    FreeIfPresent(japanese);
    SetUiLanguage(TUiLanguage::English);
  }
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  const TScopeExit free([&] { FreeIfPresent(form); });
  RECT client{};
  GetClientRect(form->Handle(), &client);
  // At 96 dpi the English font keeps the designed size exactly; elsewhere each
  // window scales by the height of "0" in its own font, which Tahoma and the
  // Japanese face round differently (a few per cent).
  if (Screen()->PixelsPerInch() == 96) {
    EXPECT_EQ(client.right, japaneseClient.right);
    EXPECT_EQ(client.bottom, japaneseClient.bottom);
  } else {
    EXPECT_NEAR(client.right, japaneseClient.right, japaneseClient.right / 10);
    EXPECT_NEAR(client.bottom, japaneseClient.bottom, japaneseClient.bottom / 10);
  }

  // Every text of the window, read back from the controls and their windows.
  for (int i = 0; i < form->OwnedCount(); ++i) {
    auto* control = dynamic_cast<TControl*>(form->OwnedAt(i));
    if (!control) continue;
    SCOPED_TRACE(control->Name());
    EXPECT_TRUE(IsAscii(control->Text())) << control->Text();
    EXPECT_TRUE(IsAscii(control->Hint())) << control->Hint();
    EXPECT_EQ(control->Font()->Name(), "Tahoma");
    LOGFONTW made{};
    GetObjectW(control->Font()->Handle(), sizeof made, &made);
    EXPECT_EQ(made.lfCharSet, ANSI_CHARSET) << "the Latin font keeps its own character set";
  }
  EXPECT_EQ(form->Label1->Text(), "Time");
  EXPECT_EQ(form->Calc->Text(), "Calculate");
  EXPECT_EQ(form->Video->Hint(), "The bitrate to give the video");

  // The menu as the platform holds it.
  HMENU bar = GetMenu(form->Handle());
  ASSERT_NE(bar, nullptr);
  std::vector<std::string> captions;
  for (HMENU menu : {bar, GetSubMenu(bar, 0), GetSubMenu(bar, 1)}) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[128] = {};
      GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      captions.push_back(text);
    }
  }
  EXPECT_EQ(captions,
            (std::vector<std::string>{"&File", "&Help", "E&xit", "&Read Me", "", "Author's &Web Site", "", "&About"}));

  // What a screen reader hears.
  EXPECT_EQ(AccessibleName(*form->Time), "Time (min)");
  EXPECT_EQ(AccessibleName(*form->NowVideo), "Current video bitrate (kb/s)");
  EXPECT_EQ(AccessibleName(*form->NextAudio), "New audio bitrate (kb/s)");
}

TEST_F(EnglishWindows, TheInvalidOperationIsReportedInEnglish) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  form->Time->SetText("0");
  form->NextSize->SetText("0");
  {
    test::TMessageBoxCatcher boxes;
    SendMessageW(form->Calc->Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Invalid floating point operation.");
    EXPECT_EQ(boxes.Boxes()[0].caption, Application()->AppTitle());
  }
  FreeIfPresent(form);
}

// Each label ends before whatever stands to its right on its line and inside
// its panel; each button's and panel's caption fits its control.
TEST_F(EnglishWindows, EveryTextFitsItsRoom) {
  TForm1* main = TCustomForm::Create<TForm1>(Application());
  TForm2* about = TCustomForm::Create<TForm2>(Application());
  const TScopeExit free([&] {
    FreeIfPresent(about);
    FreeIfPresent(main);
  });
  for (TCustomForm* form : {static_cast<TCustomForm*>(main), static_cast<TCustomForm*>(about)}) {
    form->Handle();
    for (int i = 0; i < form->OwnedCount(); ++i) {
      auto* control = dynamic_cast<TControl*>(form->OwnedAt(i));
      if (!control || !control->Parent()) continue;
      SCOPED_TRACE(control->Name());
      TWinControl* parent = control->Parent();
      const std::string text = control->Text();
      if (dynamic_cast<TLabel*>(control)) {
        const int right = control->Left() + TextExtent(*control, text).cx;
        EXPECT_LE(right, parent->ClientWidth());
        for (int j = 0; j < parent->ControlCount(); ++j) {
          TControl* other = parent->ControlAt(j);
          const bool sameLine =
              other->Top() < control->Top() + control->Height() && control->Top() < other->Top() + other->Height();
          if (other != control && sameLine && other->Left() > control->Left()) {
            EXPECT_LE(right, other->Left()) << "reaches " << other->Name();
          }
        }
      } else if (dynamic_cast<TButton*>(control)) {
        EXPECT_LE(TextExtent(*control, text).cx + 8, control->Width()) << text;
      } else if (dynamic_cast<TGroupBox*>(control)) {
        EXPECT_LE(8 + TextExtent(*control, text).cx, control->Width()) << text;
      }
    }
  }
}

}  // namespace
}  // namespace tw
