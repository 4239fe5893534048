// The program's two windows at the screen resolutions people use. The same
// executable runs once per resolution, each time in a Wine prefix set to it;
// TW_DPI names the resolution a run is meant for (96 without it), so a run in
// the wrong prefix fails instead of testing 96 twice.
//
// The windows were laid out at 96 dpi with a 12-pixel font. At another
// resolution a form's stored font is taken to the screen's size, "0" in it is
// M pixels high instead of 12, and every stored position and size is scaled
// by M/12 with the platform's rounding (a right or bottom edge is scaled, not
// a width or height). A control's own font starts out as the default font of
// the screen, so its stored 12 pixels count as a change and are scaled through
// point sizes: 9 points at 120 and 144 dpi, but at 192 dpi 12 pixels are
// 4.5 points, rounded to 5 and scaled to 10 points, 27 pixels.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/Mainunit.h"
#include "app/Verunit.h"
#include "tests/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"
#include "ui/Hints.h"

namespace tw {
namespace {

using test::Sjis;

struct TBounds {
  const char* name;
  int left, top, width, height;
};

struct TResolution {
  int dpi;
  int formFont;  // the form's font and every control that follows it
  int ownFont;   // a control that carries its own font
  int zero;      // the height of "0" in the form's font
  SIZE mainClient;
  SIZE boxClient;
  int hintHeight;  // the hint window's text height: the platform's status font
  std::vector<TBounds> mainBounds;
  std::vector<TBounds> boxBounds;
};

// Heights of labels and fixed-height edits follow their fonts; the others are
// the stored bounds scaled by the rule. A label's width is its measured text.
// clang-format off
const TResolution kResolutions[] = {
    // dpi, form font, own font, "0", main client, box client, hint text
    {96, -12, -12, 12, {418, 195}, {231, 116}, 12,
     {{"GroupBox2", 8, 8, 401, 177}, {"GroupBox1", 8, 16, 177, 153}, {"Calc", 40, 96, 113, 17},
      {"ReCalc", 264, 112, 113, 17}, {"NowVideo", 312, 32, 41, 20}, {"Time", 96, 16, 41, 20}},
     {{"Button1", 80, 80, 81, 25}}},
    {120, -15, -15, 15, {523, 244}, {289, 145}, 15,
     {{"GroupBox2", 10, 10, 501, 221}, {"GroupBox1", 10, 20, 221, 191}, {"Calc", 50, 120, 141, 21},
      {"ReCalc", 330, 140, 141, 21}, {"NowVideo", 390, 40, 51, 23}, {"Time", 120, 20, 51, 23}},
     {{"Button1", 100, 100, 101, 31}}},
    {144, -18, -18, 18, {627, 293}, {347, 174}, 18,
     {{"GroupBox2", 12, 12, 602, 266}, {"GroupBox1", 12, 24, 266, 230}, {"Calc", 60, 144, 170, 26},
      {"ReCalc", 396, 168, 170, 26}, {"NowVideo", 468, 48, 62, 26}, {"Time", 144, 24, 62, 26}},
     {{"Button1", 120, 120, 122, 38}}},
    {192, -24, -27, 24, {836, 390}, {462, 232}, 24,
     {{"GroupBox2", 16, 16, 802, 354}, {"GroupBox1", 16, 32, 354, 306}, {"Calc", 80, 192, 226, 34},
      {"ReCalc", 528, 224, 226, 34}, {"NowVideo", 624, 64, 82, 32}, {"Time", 192, 32, 82, 35}},
     {{"Button1", 160, 160, 162, 50}}},
};
// clang-format on

// The controls of the main window that follow the window's font; all the
// others carry their own. Every control of the version window follows it.
const std::set<std::string> kMainFollowers{"GroupBox1", "GroupBox2", "Calc", "ReCalc", "NowVideo", "NowSize"};

int RunDpi() {
  const char* value = std::getenv("TW_DPI");
  return value && *value ? std::atoi(value) : 96;
}

const TResolution* ResolutionOf(int dpi) {
  for (const TResolution& r : kResolutions)
    if (r.dpi == dpi) return &r;
  return nullptr;
}

// Every control below the given one, depth first.
void CollectControls(TWinControl& parent, std::vector<TControl*>& out) {
  for (int i = 0; i < parent.ControlCount(); ++i) {
    TControl* c = parent.ControlAt(i);
    out.push_back(c);
    if (auto* w = dynamic_cast<TWinControl*>(c)) CollectControls(*w, out);
  }
}

SIZE ClientSize(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return {r.right, r.bottom};
}

// The first and last rows of the rectangle, in the window's client area, that
// hold a pixel of another colour than the background; {-1, -1} without one.
std::pair<int, int> InkRows(HWND window, RECT r, COLORREF background) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  HDC dc = GetDC(window);
  std::pair<int, int> rows{-1, -1};
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (GetPixel(dc, x, y) != background) {
        if (rows.first < 0) rows.first = y;
        rows.second = y;
        break;
      }
  ReleaseDC(window, dc);
  return rows;
}

class DpiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }

  void SetUp() override {
    res_ = ResolutionOf(RunDpi());
    ASSERT_NE(res_, nullptr) << "no expectations for TW_DPI=" << RunDpi();
    ASSERT_EQ(Screen()->PixelsPerInch(), res_->dpi) << "the prefix is not set to the run's resolution";
  }

  void ExpectBounds(TComponent& owner, const std::vector<TBounds>& expected) {
    for (const TBounds& b : expected) {
      auto* c = dynamic_cast<TControl*>(owner.FindOwned(b.name));
      ASSERT_NE(c, nullptr) << b.name;
      EXPECT_EQ(c->Left(), b.left) << b.name;
      EXPECT_EQ(c->Top(), b.top) << b.name;
      EXPECT_EQ(c->Width(), b.width) << b.name;
      EXPECT_EQ(c->Height(), b.height) << b.name;
    }
  }

  const TResolution* res_ = nullptr;
};

TEST_F(DpiTest, TheDefaultFontIsNinePointsOfTheScreen) {
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), res_->dpi);
  ReleaseDC(nullptr, dc);
  TFont font;
  EXPECT_EQ(font.Height(), -MulDiv(9, res_->dpi, 72));
  EXPECT_EQ(font.Size(), 9);
  EXPECT_EQ(font.Name(), Sjis("ＭＳ Ｐゴシック"));
  EXPECT_EQ(font.PixelsPerInch(), res_->dpi);
}

TEST_F(DpiTest, MainWindowFontsSizesAndBounds) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  // Shown, as the program shows it: an edit fits its height to its font again
  // when its window is made.
  form->ShowForm();
  test::PumpMessages();
  EXPECT_EQ(form->PixelsPerInch(), res_->dpi);
  EXPECT_EQ(form->Font()->Height(), res_->formFont);
  const SIZE client = ClientSize(form->Handle());
  EXPECT_EQ(client.cx, res_->mainClient.cx);
  EXPECT_EQ(client.cy, res_->mainClient.cy);

  std::vector<TControl*> controls;
  CollectControls(*form, controls);
  ASSERT_EQ(controls.size(), 28u);
  for (TControl* c : controls) {
    const bool follows = kMainFollowers.contains(c->Name());
    EXPECT_EQ(c->ParentFont(), follows) << c->Name();
    EXPECT_EQ(c->Font()->Height(), follows ? res_->formFont : res_->ownFont) << c->Name();
    // An auto-sized label is one line of its font high.
    if (dynamic_cast<TLabel*>(c)) {
      EXPECT_EQ(c->Height(), -c->Font()->Height()) << c->Name();
    }
    // A fixed-height edit is fitted to its font: a line and 8 border pixels.
    if (dynamic_cast<TEdit*>(c)) {
      EXPECT_EQ(c->Height(), -c->Font()->Height() + 8) << c->Name();
    }
  }
  // The red labels and the black ones are stored alike but for the colour.
  EXPECT_EQ(form->Label4->Font()->Color(), clRed);
  EXPECT_EQ(form->Label2->Font()->Color(), clWindowText);
  ExpectBounds(*form, res_->mainBounds);
  // A label keeps its scaled place; its size is its text's.
  EXPECT_EQ(form->Label10->Left(), MulDiv(361, res_->zero, 12));
  EXPECT_EQ(form->Label10->Top(), MulDiv(144, res_->zero, 12));
  FreeIfPresent(form);
}

TEST_F(DpiTest, AWorkedExampleThroughTheScaledWindow) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  form->ShowForm();
  test::PumpMessages();
  struct Case {
    const char* time;
    const char* size;
    const char* audio;
    const char* video;
  };
  const Case cases[] = {{"120", "700", "128", "668"},
                        {"90", "700", "128", "933"},
                        {"120", "1400", "192", "1400"},
                        {"0", "700", "128", "---"}};
  for (const Case& c : cases) {
    form->Time->SetText(c.time);
    form->NextSize->SetText(c.size);
    form->NowAudio->SetText(c.audio);
    SendMessageA(form->Calc->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Video->Text(), c.video) << c.time << " min, " << c.size << " MB";
  }
  // The re-calculator: two hours of 700 kb/s of video with 128 kb/s of audio
  // made 750 MB; for 700 MB with 96 kb/s of audio the video gets 675 kb/s,
  // and the new audio bitrate becomes the current one.
  form->Time->SetText("120");
  form->NextSize->SetText("700");
  form->NowVideo->SetText("700");
  form->NowSize->SetText("750");
  form->NowAudio->SetText("128");
  form->NextAudio->SetText("96");
  SendMessageA(form->ReCalc->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(form->NextVideo->Text(), "675");
  EXPECT_EQ(form->NowAudio->Text(), "96");
  FreeIfPresent(form);
  test::PumpMessages();
}

TEST_F(DpiTest, TextIsDrawnAtTheFontsSize) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  form->ShowForm();
  test::PumpMessages();
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  // A black label with its own font, a red one, and a group box's caption: the
  // ink of "時間" and "映像ビットレート" fills most of a line, that of
  // "Tarnwick" (no descenders) at least two thirds of it.
  struct Case {
    const char* name;
    HWND window;
    RECT area;
    int line;
    int minimumTenths;
  };
  const auto areaOf = [](TControl* c) {
    return RECT{c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height()};
  };
  const Case cases[] = {
      {"Label1", form->GroupBox1->Handle(), areaOf(form->Label1), -res_->ownFont, 8},
      {"Label4", form->GroupBox1->Handle(), areaOf(form->Label4), -res_->ownFont, 8},
      {"GroupBox1 caption", form->GroupBox1->Handle(), RECT{8, 0, 8 + 4 * res_->zero, res_->zero}, res_->zero, 6},
  };
  for (const Case& c : cases) {
    const auto [first, last] = InkRows(c.window, c.area, face);
    ASSERT_GE(first, 0) << c.name << " shows nothing";
    const int inkHeight = last - first + 1;
    EXPECT_GE(inkHeight * 10, c.line * c.minimumTenths) << c.name << ": " << inkHeight << " of " << c.line;
    EXPECT_LE(inkHeight, c.line) << c.name;
  }
  // The group box's etched frame runs through the middle of its caption line:
  // a shadow line with a highlight line below it.
  HWND box = form->GroupBox1->Handle();
  HDC dc = GetDC(box);
  const int x = form->GroupBox1->Width() - 4;
  EXPECT_EQ(GetPixel(dc, x, res_->zero / 2 - 1), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetPixel(dc, x, res_->zero / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
  ReleaseDC(box, dc);
  FreeIfPresent(form);
  test::PumpMessages();
}

TEST_F(DpiTest, ComboListsAndHintsFollowTheResolution) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  form->ShowForm();
  test::PumpMessages();
  TComboBox* combo = form->NowAudio;
  // The items are a line of the combo box's own font; the open list shows all
  // eight with a border.
  EXPECT_EQ(combo->ItemHeight(), -res_->ownFont);
  EXPECT_GT(combo->Height(), -res_->ownFont);
  combo->SetListOpen(true);
  test::PumpMessages();
  EXPECT_TRUE(combo->ListOpen());
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo->Handle(), &info));
  RECT list{};
  GetWindowRect(info.hwndList, &list);
  EXPECT_EQ(list.bottom - list.top, 8 * combo->ItemHeight() + 2);
  combo->SetListOpen(false);
  test::PumpMessages();

  // The hint window writes in the platform's status font, which the platform
  // sizes for the resolution.
  EXPECT_EQ(-Screen()->HintFont()->Height(), res_->hintHeight);
  auto* hint = new THintWindow(Application());
  const RECT r = hint->MeasureHint(400, form->Video->Hint(), nullptr);
  EXPECT_EQ(r.bottom - r.top, res_->hintHeight + 2);
  FreeIfPresent(hint);
  FreeIfPresent(form);
  test::PumpMessages();
}

TEST_F(DpiTest, TheVersionWindowScaledAndCentredOnTheMainWindow) {
  Application()->MakeForm(Form1);
  ASSERT_EQ(Application()->PrimaryForm(), Form1);
  Form1->ShowForm();
  test::PumpMessages();
  TForm2* box = TCustomForm::Create<TForm2>(Application());
  box->ShowForm();
  test::PumpMessages();
  const SIZE client = ClientSize(box->Handle());
  EXPECT_EQ(client.cx, res_->boxClient.cx);
  EXPECT_EQ(client.cy, res_->boxClient.cy);
  std::vector<TControl*> controls;
  CollectControls(*box, controls);
  ASSERT_EQ(controls.size(), 5u);
  for (TControl* c : controls) EXPECT_EQ(c->Font()->Height(), res_->formFont) << c->Name();
  ExpectBounds(*box, res_->boxBounds);
  RECT main{}, frame{};
  GetWindowRect(Form1->Handle(), &main);
  GetWindowRect(box->Handle(), &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  EXPECT_EQ(frame.left, std::max((main.right - main.left - width) / 2 + main.left, 0L));
  EXPECT_EQ(frame.top, std::max((main.bottom - main.top - height) / 2 + main.top, 0L));
  FreeIfPresent(box);
  FreeIfPresent(Form1);
  Form1 = nullptr;
  test::PumpMessages();
}

}  // namespace
}  // namespace tw
