// The two windows of the program built from their real resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/Mainunit.h"
#include "app/Verunit.h"
#include "tests/TestSupport.h"
#include "ui/Application.h"

namespace tw {
namespace {

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }
};

BOOL CALLBACK CountChild(HWND, LPARAM data) {
  ++*reinterpret_cast<int*>(data);
  return TRUE;
}

int ChildWindowCount(HWND parent) {
  int count = 0;
  EnumChildWindows(parent, CountChild, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST_F(WindowTest, AboutBoxFromItsResource) {
  TForm2* box = TCustomForm::Create<TForm2>(Application());
  EXPECT_EQ(box->Text(), test::Sjis("バージョン情報"));
  RECT client{};
  GetClientRect(box->Handle(), &client);
  EXPECT_EQ(client.right, 231);
  EXPECT_EQ(client.bottom, 116);
  ASSERT_NE(box->Button1, nullptr);
  // Windows are made lazily: the button's exists once asked for, and it is
  // the box's only child window (the labels have none).
  EXPECT_EQ(GetParent(box->Button1->Handle()), box->Handle());
  EXPECT_EQ(ChildWindowCount(box->Handle()), 1);
  FreeIfPresent(box);
}

TEST_F(WindowTest, MainWindowTabOrderAndCalc) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  RECT client{};
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, 418);
  EXPECT_EQ(client.bottom, 195);

  std::vector<TWinControl*> order;
  std::vector<TWinControl*> all;
  form->TabOrderList(all);
  // The panels hold the fields; only the fields take the focus.
  for (TWinControl* control : all)
    if (control != form->GroupBox1 && control != form->GroupBox2) order.push_back(control);
  const std::vector<TWinControl*> expected{form->Time,   form->NextSize, form->NowAudio, form->Calc,
                                           form->Video,  form->NowVideo, form->NowSize,  form->NextAudio,
                                           form->ReCalc, form->NextVideo};
  EXPECT_EQ(order, expected);

  struct Case {
    const char* time;
    const char* size;
    const char* audio;
    std::string video;
  };
  const Case cases[] = {{"120", "700", "128", "668"}, {"0", "700", "128", "---"}, {"x", "700", "128", "ERR"}};
  for (const Case& c : cases) {
    form->Time->SetText(c.time);
    form->NextSize->SetText(c.size);
    form->NowAudio->SetText(c.audio);
    SendMessageA(form->Calc->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Video->Text(), c.video) << c.time;
  }
  FreeIfPresent(form);
}

}  // namespace
}  // namespace tw
