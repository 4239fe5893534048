// The check box on the real platform: read from a form stream as a window
// description names it, toggled every way a user or a screen reader can, and
// its state kept while its window is made again.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/FormLoading.h"
#include "runtime/Language.h"
#include "tests/AccessibleAsk.h"
#include "tests/TestSupport.h"
#include "tests/core/FormBytes.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {
namespace {

using test::FormBytes;
using test::Sjis;
using Log = std::vector<std::string>;

// A window class as a unit of the program declares one: fields and a handler
// the description names.
class TCheckForm : public TForm {
  TW_PUBLISHED_CLASS(TCheckForm, TForm)

 public:
  using TForm::TForm;
  TCheckBox* Box = nullptr;
  TCheckBox* Quiet = nullptr;
  TButton* Other = nullptr;
  // What each OnClick saw: the state the box had by then, or a push button's click.
  Log clicks;
  void BoxClick(TObject* sender) {
    auto* box = dynamic_cast<TCheckBox*>(sender);
    clicks.push_back(!box ? "push" : box->Checked() ? "on" : "off");
  }
};
void TCheckForm::Publish(Publisher& p) {
  TW_FIELD(Box);
  TW_FIELD(Quiet);
  TW_FIELD(Other);
  TW_METHOD(BoxClick);
}

// Box sets every published property away from its default; Quiet is hidden,
// disabled and out of the tab order.
std::unique_ptr<TMemoryStream> CheckFormStream() {
  FormBytes b;
  b.Signature().Object("TCheckForm", "CheckForm");
  b.Prop("Left").Int(60).Prop("Top").Int(60).Prop("Width").Int(320).Prop("Height").Int(200);
  b.Prop("Caption").Str("Check").Prop("Color").Ident("clBtnFace").End();
  b.Object("TButton", "Other").Prop("Left").Int(8).Prop("Top").Int(8).Prop("Caption").Str("O&ther");
  b.Prop("TabOrder").Int(0).Prop("OnClick").Ident("BoxClick").End().End();
  b.Object("TCheckBox", "Box").Prop("Left").Int(8).Prop("Top").Int(48).Prop("Width").Int(150);
  b.Prop("Caption").Str("&Verbose").Prop("Checked").Bool(true).Prop("OnClick").Ident("BoxClick");
  b.Prop("Hint").Str(Sjis("詳しく表示します")).Prop("ShowHint").Bool(true).Prop("TabOrder").Int(1);
  b.Prop("Font.Height").Int(-16).Prop("ParentFont").Bool(false).End().End();
  b.Object("TCheckBox", "Quiet").Prop("Left").Int(8).Prop("Top").Int(80).Prop("Caption").Str("&Quiet");
  b.Prop("Enabled").Bool(false).Prop("Visible").Bool(false).Prop("TabStop").Bool(false).End().End();
  b.End();
  return b.Stream();
}

bool WindowChecked(HWND window) { return SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED; }

class CheckBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = new TCheckForm(nullptr);
    ReadComponentFromStream(*CheckFormStream(), form_);
    ASSERT_TRUE(form_->Box && form_->Quiet && form_->Other);
    form_->ShowForm();
    SetForegroundWindow(form_->Handle());
    ASSERT_TRUE(test::WaitUntil([this] { return form_->Active() && GetFocus() != nullptr; }, 3000));
  }
  void TearDown() override {
    FreeIfPresent(form_);
    test::PumpMessages();
  }

  TCheckForm* form_ = nullptr;
};

TEST_F(CheckBoxTest, TheDescriptionSetsEveryPublishedProperty) {
  TCheckBox* box = form_->Box;
  EXPECT_EQ(box->Caption(), "&Verbose");
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(WindowChecked(box->Handle())) << "the stored state moves into the window";
  EXPECT_EQ(box->Hint(), Sjis("詳しく表示します"));
  EXPECT_TRUE(box->ShowHint());
  EXPECT_FALSE(box->ParentFont());
  EXPECT_EQ(box->Font()->Height(), -16);
  EXPECT_TRUE(box->TabStop()) << "a check box is in the tab order unless it says otherwise";
  EXPECT_EQ(form_->TabList(), (std::vector<TWinControl*>{form_->Other, box, form_->Quiet}));
  TCheckBox* quiet = form_->Quiet;
  EXPECT_FALSE(quiet->Checked());
  EXPECT_FALSE(quiet->TabStop());
  EXPECT_FALSE(quiet->Enabled());
  EXPECT_FALSE(quiet->Visible());
  EXPECT_FALSE(IsWindowVisible(quiet->Handle()));
  // The handler the description names runs, and reading ran it never.
  EXPECT_TRUE(form_->clicks.empty());
  box->OnClick(box);
  EXPECT_EQ(form_->clicks, Log{"on"});
}

// Every way the user or a screen reader toggles the box flips it once and
// runs OnClick once, after the flip; the push button beside it stays unclicked.
TEST_F(CheckBoxTest, EveryWayOfTogglingFlipsOnceAndClicksOnce) {
  TCheckBox* box = form_->Box;
  const auto focusOther = [&] {
    form_->Other->TakeFocus();
    test::PumpMessages();
  };
  struct Case {
    const char* what;
    std::function<void()> toggle;
  };
  const Case cases[] = {
      {"mouse press and release on an unfocused box",
       [&] {
         focusOther();
         SendMessageA(box->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 8));
         SendMessageA(box->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(6, 8));
         test::PumpMessages();
       }},
      {"space key",
       [&] {
         box->TakeFocus();
         test::PumpMessages();
         test::PressKey(VK_SPACE);
       }},
      {"caption accelerator with Alt",
       [&] {
         focusOther();
         PostMessageA(GetFocus(), WM_SYSCHAR, 'v', 0x20000001);
         test::PumpMessages();
       }},
      {"platform click message", [&] { SendMessageA(box->Handle(), BM_CLICK, 0, 0); }},
      {"screen reader's default action",
       [&] {
         test::AccessibleOf(box->Handle())->accDoDefaultAction(test::Child(CHILDID_SELF));
         test::PumpMessages();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box->SetChecked(false);
    form_->clicks.clear();
    c.toggle();
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(form_->clicks, Log{"on"});
    c.toggle();
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(form_->clicks, (Log{"on", "off"}));
  }
  // Setting the state from code is not a click.
  form_->clicks.clear();
  box->SetChecked(true);
  EXPECT_TRUE(form_->clicks.empty());
  // A disabled box ignores its accelerator and the reader's action.
  box->SetEnabled(false);
  focusOther();
  PostMessageA(GetFocus(), WM_SYSCHAR, 'v', 0x20000001);
  test::AccessibleOf(box->Handle())->accDoDefaultAction(test::Child(CHILDID_SELF));
  test::PumpMessages();
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(form_->clicks.empty());
}

// The state lives in the window; whatever changed it there (the user, the
// program, another program's message) is what the next window shows. A push
// button has no state, whatever it is told.
TEST_F(CheckBoxTest, TheStateOutlivesTheWindow) {
  struct Case {
    const char* what;
    std::function<void(TButtonControl&)> remake;
  };
  const Case remakes[] = {
      {"its window made again", [](TButtonControl& c) { c.RecreateWindow(); }},
      {"its form's window made again, and its own with it", [&](TButtonControl&) { form_->RecreateWindow(); }},
  };
  struct Change {
    const char* what;
    std::function<void(TButtonControl&, bool)> set;
  };
  const Change changes[] = {
      {"by the program", [](TButtonControl& c, bool on) { c.SetChecked(on); }},
      {"in the window alone",
       [](TButtonControl& c, bool on) { SendMessageA(c.Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }},
      {"by the user", [](TButtonControl& c, bool on) {
         if (c.Checked() != on) SendMessageA(c.Handle(), BM_CLICK, 0, 0);
       }}};
  for (const Case& remake : remakes) {
    for (const Change& change : changes) {
      for (bool on : {true, false}) {
        SCOPED_TRACE(std::string(remake.what) + ", set " + change.what + (on ? " on" : " off"));
        for (TButtonControl* control :
             {static_cast<TButtonControl*>(form_->Box), static_cast<TButtonControl*>(form_->Other)}) {
          const bool holdsState = control == form_->Box;
          control->Handle();
          change.set(*control, on);
          remake.remake(*control);
          EXPECT_EQ(control->Checked(), on && holdsState) << control->Name();
          EXPECT_EQ(WindowChecked(control->Handle()), on && holdsState) << control->Name();
        }
      }
    }
  }
}

TEST_F(CheckBoxTest, AScreenReaderHearsACheckBoxAndItsState) {
  TCheckBox* box = form_->Box;
  struct Case {
    TUiLanguage language;
    bool checked;
    const char* action;  // UTF-8
  };
  const Case cases[] = {
      {TUiLanguage::Japanese, false, "チェックする"},
      {TUiLanguage::Japanese, true, "チェックを外す"},
      {TUiLanguage::English, false, "Check"},
      {TUiLanguage::English, true, "Uncheck"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    SetUiLanguage(c.language);
    box->SetChecked(c.checked);
    const test::THeard heard = test::Hear(test::AccessibleOf(box->Handle()).get());
    SetUiLanguage(TUiLanguage::Japanese);
    EXPECT_EQ(heard.role, ROLE_SYSTEM_CHECKBUTTON);
    EXPECT_EQ((heard.state & STATE_SYSTEM_CHECKED) != 0, c.checked);
    EXPECT_EQ(heard.action, c.action);
    EXPECT_EQ(heard.name, "Verbose");
    EXPECT_EQ(heard.shortcut, "Alt+V");
    EXPECT_EQ(heard.description, "詳しく表示します");
  }
}

}  // namespace
}  // namespace tw
