// The calculator through its real window: a separate process started from
// here, driven by posted input and read back through window texts.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/TestSupport.h"
#include "tests/e2e/Driver.h"

namespace tw::e2e {
namespace {

using namespace std::chrono_literals;
using test::Sjis;

class Calculator : public testing::Test {
 protected:
  void SetUp() override { program_.emplace(TarnwickPath()); }

  void TearDown() override {
    if (!program_) return;
    if (!closed_) {
      // Whatever the test left open, the program must still close cleanly.
      if (auto box = program_->FindMessageBox()) ADD_FAILURE() << "a message box was left open: " << box->text;
      EXPECT_EQ(program_->Close(), 0u);
    }
    program_.reset();
  }

  Program& P() { return *program_; }

  std::optional<Program> program_;
  bool closed_ = false;
};

using Texts = std::vector<std::pair<Field, std::string>>;

struct CalcCase {
  const char* title;
  Field button;
  Texts inputs;    // on top of the initial texts
  Texts expected;  // after the click
};

// Video and NextVideo start each case as "?", so a field the handler leaves
// alone is told apart from one it writes.
const CalcCase kCases[] = {
    {"initial texts", Field::Calc, {}, {{Field::Video, "668"}, {Field::NowVideo, "668"}, {Field::NextAudio, "128"}}},
    {"90 minutes", Field::Calc, {{Field::Time, "90"}}, {{Field::Video, "933"}, {Field::NowVideo, "933"}}},
    {"1400 MB at 192",
     Field::Calc,
     {{Field::NextSize, "1400"}, {Field::NowAudio, "192"}},
     {{Field::Video, "1400"}, {Field::NextAudio, "192"}}},
    {"negative result", Field::Calc, {{Field::NextSize, "1"}}, {{Field::Video, "-126"}, {Field::NowVideo, "-126"}}},
    {"recalc initial", Field::ReCalc, {}, {{Field::NextVideo, "700"}, {Field::NowAudio, "128"}, {Field::Video, "?"}}},
    {"recalc after calc", Field::ReCalc, {{Field::NowVideo, "668"}}, {{Field::NextVideo, "668"}}},
    {"recalc new audio 96",
     Field::ReCalc,
     {{Field::NextAudio, "96"}, {Field::NowSize, "750"}},
     {{Field::NextVideo, "675"}, {Field::NowAudio, "96"}}},
    {"recalc new audio 64",
     Field::ReCalc,
     {{Field::NextAudio, "64"}, {Field::NowVideo, "800"}, {Field::NowSize, "600"}},
     {{Field::NextVideo, "1056"}, {Field::NowAudio, "64"}}},
    // Failures the handlers catch: the result field says so, the audio copy still runs.
    {"zero minutes",
     Field::Calc,
     {{Field::Time, "0"}, {Field::NowAudio, "96"}},
     {{Field::Video, "---"}, {Field::NowVideo, "700"}, {Field::NextAudio, "96"}}},
    {"zero minutes, letters for audio",
     Field::Calc,
     {{Field::Time, "0"}, {Field::NowAudio, "abc"}},
     {{Field::Video, "---"}, {Field::NextAudio, "abc"}}},
    {"letters in the time",
     Field::Calc,
     {{Field::Time, "12a"}, {Field::NowAudio, "56"}},
     {{Field::Video, "ERR"}, {Field::NowVideo, "700"}, {Field::NextAudio, "56"}}},
    {"trailing blank", Field::Calc, {{Field::Time, "120 "}}, {{Field::Video, "ERR"}}},
    {"leading blanks", Field::Calc, {{Field::Time, "  120"}}, {{Field::Video, "668"}}},
    {"empty size", Field::Calc, {{Field::NextSize, ""}}, {{Field::Video, "ERR"}}},
    {"hexadecimal audio", Field::Calc, {{Field::NowAudio, "$80"}}, {{Field::Video, "668"}, {Field::NextAudio, "$80"}}},
    {"beyond 32 bits",
     Field::Calc,
     {{Field::NextSize, "2147483647"}, {Field::Time, "1"}, {Field::NowAudio, "0"}},
     {{Field::Video, "1138166196"}}},
    {"audio fills the size",
     Field::ReCalc,
     {{Field::Time, "128"}, {Field::NowSize, "120"}, {Field::NextAudio, "96"}},
     {{Field::NextVideo, "---"}, {Field::NowAudio, "96"}}},
    {"letters in the size",
     Field::ReCalc,
     {{Field::NextSize, "x"}, {Field::NextAudio, "160"}},
     {{Field::NextVideo, "ERR"}, {Field::NowAudio, "160"}}},
    {"wrapping audio product",
     Field::ReCalc,
     {{Field::NowAudio, "65536"}, {Field::Time, "65536"}},
     {{Field::NextVideo, "-60740"}, {Field::NowAudio, "128"}}},
};

void SetInitialTexts(Program& p) {
  p.SetTexts({{Field::Time, "120"},
              {Field::NextSize, "700"},
              {Field::NowAudio, "128"},
              {Field::NowVideo, "700"},
              {Field::NowSize, "700"},
              {Field::NextAudio, "128"},
              {Field::Video, "?"},
              {Field::NextVideo, "?"}});
}

TEST_F(Calculator, ComputesThroughTheWindow) {
  EXPECT_EQ(P().Text(Field::Time), "120");
  EXPECT_EQ(P().Text(Field::NowAudio), "128");
  EXPECT_EQ(P().Text(Field::Video), "");
  for (const CalcCase& c : kCases) {
    SCOPED_TRACE(c.title);
    SetInitialTexts(P());
    for (const auto& [field, text] : c.inputs) P().SetText(field, text);
    P().Click(c.button);
    ASSERT_FALSE(P().FindMessageBox().has_value());
    for (const auto& [field, text] : c.expected) EXPECT_EQ(P().Text(field), text) << FieldName(field);
  }
}

TEST_F(Calculator, InvalidOperationIsReportedAndTheProgramGoesOn) {
  const std::string message = Sjis("不正な浮動小数点数演算命令") + ".";
  struct Case {
    const char* title;
    Field button;
    Texts inputs;
    Texts unchanged;
  };
  const Case cases[] = {
      {"0 MB in 0 minutes",
       Field::Calc,
       {{Field::Time, "0"}, {Field::NextSize, "0"}, {Field::NextAudio, "64"}},
       {{Field::Video, "?"}, {Field::NowVideo, "700"}, {Field::NextAudio, "64"}}},
      {"nothing left for video, no video",
       Field::ReCalc,
       {{Field::Time, "128"},
        {Field::NowSize, "120"},
        {Field::NowVideo, "0"},
        {Field::NowAudio, "128"},
        {Field::NextAudio, "96"}},
       {{Field::NextVideo, "?"}, {Field::NowAudio, "128"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    SetInitialTexts(P());
    for (const auto& [field, text] : c.inputs) P().SetText(field, text);
    P().Click(c.button);
    const MessageBoxSeen box = P().WaitMessageBox();
    EXPECT_EQ(box.caption, "Tarnwick for MPEG4");
    EXPECT_EQ(box.text, message);
    P().CloseMessageBox(box.window);
    for (const auto& [field, text] : c.unchanged) EXPECT_EQ(P().Text(field), text) << FieldName(field);

    // The program carries on with the next calculation.
    SetInitialTexts(P());
    P().Click(Field::Calc);
    EXPECT_EQ(P().Text(Field::Video), "668");
    EXPECT_FALSE(P().FindMessageBox().has_value());
  }
}

TEST_F(Calculator, TabVisitsTheFieldsInOrder) {
  ASSERT_TRUE(WaitFor([&] { return P().FocusedField() == Field::Time; }, 5s))
      << "the focus starts on " << (P().FocusedField() ? FieldName(*P().FocusedField()) : "no field");
  std::vector<std::string> visited;
  for (int i = 0; i < kFieldCount; ++i) {
    HWND focus = P().Focus();
    ASSERT_NE(focus, nullptr);
    P().PostKey(focus, VK_TAB);
    P().Sync();
    const auto field = P().FocusedField();
    visited.push_back(field ? FieldName(*field) : "?");
  }
  const std::vector<std::string> expected = {"NextSize", "NowAudio",  "Calc",   "Video",     "NowVideo",
                                             "NowSize",  "NextAudio", "ReCalc", "NextVideo", "Time"};
  EXPECT_EQ(visited, expected);
}

TEST_F(Calculator, CopiesTheAudioBitrateBetweenThePanels) {
  // Calc hands the current audio bitrate to the re-calculator; ReCalc makes
  // the new one current, even when its own computation fails.
  P().SetText(Field::NowAudio, "160");
  P().SetText(Field::NextAudio, "0");
  P().Click(Field::Calc);
  EXPECT_EQ(P().Text(Field::NextAudio), "160");
  EXPECT_EQ(P().Text(Field::NowAudio), "160");

  P().SetText(Field::NextAudio, "56");
  P().SetText(Field::NowSize, "");
  P().Click(Field::ReCalc);
  EXPECT_EQ(P().Text(Field::NextVideo), "ERR");
  EXPECT_EQ(P().Text(Field::NowAudio), "56");
  EXPECT_EQ(P().Text(Field::NextAudio), "56");
}

TEST_F(Calculator, ChoosingAComboItemFeedsTheComputation) {
  HWND combo = P().Window(Field::NowAudio);
  P().Post(combo, CB_SETCURSEL, 7, 0);
  P().Post(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
           reinterpret_cast<LPARAM>(combo));
  P().Sync();
  EXPECT_EQ(P().Text(Field::NowAudio), "192");
  P().SetText(Field::NextSize, "1400");
  P().Click(Field::Calc);
  EXPECT_EQ(P().Text(Field::Video), "1400");
  EXPECT_EQ(P().Text(Field::NextAudio), "192");

  // The real drop-down: open it from the keyboard, step down one item, take it.
  HWND edit = P().TypingWindow(Field::NextAudio);
  P().Post(edit, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  P().Post(edit, WM_LBUTTONUP, 0, 0);
  P().Sync();
  ASSERT_EQ(P().FocusedField(), Field::NextAudio);
  P().PostKey(edit, VK_F4);
  P().Sync();
  EXPECT_TRUE(WaitFor([&] { return P().Send(P().Window(Field::NextAudio), CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5s));
  P().PostKey(edit, VK_UP);
  P().PostKey(edit, VK_RETURN);
  P().Sync();
  EXPECT_TRUE(WaitFor([&] { return P().Send(P().Window(Field::NextAudio), CB_GETDROPPEDSTATE, 0, 0) == 0; }, 5s));
  EXPECT_EQ(P().Text(Field::NextAudio), "160");
}

TEST_F(Calculator, ResultFieldsRefuseTypedText) {
  P().Click(Field::Calc);
  P().Click(Field::ReCalc);
  ASSERT_EQ(P().Text(Field::Video), "668");
  ASSERT_EQ(P().Text(Field::NextVideo), "668");
  for (Field field : {Field::Video, Field::NextVideo}) {
    for (unsigned char typed : {'5', 'x', '\b', ' '}) P().PostChar(P().Window(field), typed);
  }
  // The same typing reaches an ordinary field, so it did arrive.
  P().SetText(Field::NowSize, "");
  P().PostChar(P().Window(Field::NowSize), '5');
  P().Sync();
  EXPECT_EQ(P().Text(Field::Video), "668");
  EXPECT_EQ(P().Text(Field::NextVideo), "668");
  EXPECT_EQ(P().Text(Field::NowSize), "5");
}

// The hint of the windows' language, which follows the interface language
// this process shares with the program.
TEST_F(Calculator, ResultFieldsShowTheirHint) {
  const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
  const std::string hint = japanese ? Sjis("映像に割り当てるビットレートの目安です") : "The bitrate to give the video";
  RECT client{};
  GetClientRect(P().MainWindow(), &client);
  POINT corner{2, client.bottom - 2};  // the window's own face, which has no hint
  ClientToScreen(P().MainWindow(), &corner);
  for (Field field : {Field::Video, Field::NextVideo}) {
    SCOPED_TRACE(FieldName(field));
    Program::MovePointer(corner.x, corner.y);
    ASSERT_TRUE(WaitFor([&] { return !P().HintVisible(); }, 5s)) << "the hint did not go away";
    const auto text = P().HintOver(P().Window(field));
    ASSERT_TRUE(text.has_value()) << "no hint appeared";
    EXPECT_EQ(*text, hint);
    // It stands just below the pointer, that is over the field it belongs to.
    RECT field_rect{}, hint_rect{};
    GetWindowRect(P().Window(field), &field_rect);
    GetWindowRect(P().FindTopWindow("THintWindow"), &hint_rect);
    EXPECT_GE(hint_rect.top, field_rect.top);
    EXPECT_LE(hint_rect.top, field_rect.bottom + 40);
  }
  Program::MovePointer(corner.x, corner.y);
  EXPECT_TRUE(WaitFor([&] { return !P().HintVisible(); }, 5s));
}

TEST_F(Calculator, AboutBoxOpensFromTheMenuEachTimeAfresh) {
  const std::string caption = Sjis("バージョン情報");
  HWND previous = nullptr;
  for (int round = 0; round < 2; ++round) {
    P().ChooseMenuItem(1, 4, 'h', 'a');
    HWND box = P().WaitAboutBox();
    char text[64] = {};
    GetWindowTextA(box, text, sizeof(text));
    EXPECT_EQ(text, caption);
    EXPECT_NE(box, previous);  // a box built anew, not the old one shown again
    EXPECT_FALSE(IsWindowEnabled(P().MainWindow()));
    P().CloseAboutBox(box);
    EXPECT_TRUE(IsWindowEnabled(P().MainWindow()));
    previous = box;
  }
  // Closing it through the system menu ends its loop the same way.
  P().ChooseMenuItem(1, 4, 'h', 'a');
  HWND box = P().WaitAboutBox();
  P().Post(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5s));
  P().Sync();
  EXPECT_EQ(P().FindTopWindow("TForm2"), nullptr);
  P().Click(Field::Calc);
  EXPECT_EQ(P().Text(Field::Video), "668");
}

TEST_F(Calculator, ExitCommandEndsTheProgramWithCodeZero) {
  P().ChooseMenuItem(0, 0, 'f', 'x');
  EXPECT_EQ(P().WaitExit(10s), 0u);
  closed_ = true;
}

}  // namespace
}  // namespace tw::e2e
