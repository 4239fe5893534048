// Hints: which text and which control, the hint machine stepped through its
// states with the platform's reads given by the test (the real pointer, timer
// and foreground are the end-to-end tests' part), clamping to the desktop,
// what ends a hint, and that repeated showings and controls leave no platform
// objects behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/ui/TestControls.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"
#include "ui/Hints.h"

namespace tw::test {
namespace {

TEST(HintText, ShortAndLongParts) {
  struct Case {
    std::string hint;
    std::string shortPart;
    std::string longPart;
  };
  const Case cases[] = {
      {"short|long", "short", "long"},
      {"whole", "whole", "whole"},
      {"a|b|c", "a", "b|c"},
      {"|long", "", "long"},
      {"", "", ""},
      // The second byte of "ポ" has the value of "|": it is no separator.
      {Sjis("ポ|テ"), Sjis("ポ"), Sjis("テ")},
      {Sjis("ポポ"), Sjis("ポポ"), Sjis("ポポ")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortHintPart(c.hint), c.shortPart) << c.hint;
    EXPECT_EQ(LongHintPart(c.hint), c.longPart) << c.hint;
  }
}

TEST(HintText, SubjectAndTextComeFromTheNearestAncestorThatHasThem) {
  auto panel = std::make_unique<TTestPanel>(nullptr);
  auto* child = new TTestLeaf(panel.get());
  child->SetParent(panel.get());
  panel->SetHint("panel");
  panel->SetShowHint(true);
  EXPECT_TRUE(child->ShowHint());  // inherited
  child->SetShowHint(false);
  EXPECT_EQ(FindHintSubject(child), panel.get());
  EXPECT_EQ(FindHintText(child), "panel");
  child->SetHint("own");
  EXPECT_EQ(FindHintText(child), "own");
  panel->SetShowHint(false);
  EXPECT_EQ(FindHintSubject(child), nullptr);
}

TEST(HintText, EndingMessages) {
  struct Case {
    UINT message;
    bool ends;
  };
  const Case cases[] = {{WM_KEYDOWN, true},     {WM_SYSKEYUP, true},      {0x108, true},       {WM_MOUSEMOVE, false},
                        {WM_LBUTTONDOWN, true}, {WM_RBUTTONUP, true},     {0x20A, true},       {0x20B, false},
                        {WM_NCMOUSEMOVE, true}, {WM_COMMAND, true},       {FM_ACTIVATE, true}, {FM_DEACTIVATE, true},
                        {FM_APPKEYDOWN, true},  {FM_APPSYSCOMMAND, true}, {WM_PAINT, false},   {WM_TIMER, false}};
  for (const Case& c : cases) {
    MSG msg{nullptr, c.message, 0, 0, 0, {}};
    EXPECT_EQ(IsHintEndingMessage(msg), c.ends) << std::hex << c.message;
  }
}

bool HintVisible() {
  THintWindow* w = Application()->HintWindow();
  return w && w->WindowHandle() && IsWindowVisible(w->WindowHandle());
}

TEST(HintWindow, StaysOnTheDesktopOriginIncluded) {
  THintWindow* w = Application()->HintWindow();
  ASSERT_TRUE(w);
  const int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int bottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  struct Case {
    RECT rect;
    POINT expected;
  };
  const Case cases[] = {
      {{100, 100, 160, 120}, {100, 100}},
      {{right - 10, bottom - 5, right + 50, bottom + 15}, {right - 60, bottom - 24}},
      {{-40, -30, 20, -10}, {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)}},
  };
  for (const Case& c : cases) {
    w->ShowAt(c.rect, "x");
    RECT r{};
    GetWindowRect(w->WindowHandle(), &r);
    EXPECT_EQ(r.left, c.expected.x);
    EXPECT_EQ(r.top, c.expected.y);
    EXPECT_EQ(r.right - r.left, 60);
    EXPECT_EQ(r.bottom - r.top, (c.rect.bottom - c.rect.top) + 4);
    EXPECT_NE(GetWindowLongA(w->WindowHandle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  }
  ShowWindow(w->WindowHandle(), SW_HIDE);
  // The platform adds WS_CLIPSIBLINGS to every top-level window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w->WindowHandle(), GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
            static_cast<DWORD>(WS_POPUP | WS_BORDER));
  EXPECT_EQ(SendMessageA(w->WindowHandle(), WM_NCHITTEST, 0, 0), HTTRANSPARENT);
}

// The application's hint machine stepped by hand: the platform reads (the
// pointer, the active window, the control under a point) come from the test,
// and the timer's step is called rather than waited for.
class HintSteps : public ::testing::Test, public THintReads {
 protected:
  enum Target { None, Hinted, Other, Silent };
  void SetUp() override {
    host_ = std::make_unique<THostWindow>(50, 50, 520, 200);
    panel_ = std::make_unique<TTestPanel>(nullptr);
    panel_->PlaceControl(0, 0, 500, 160);
    controls_[Hinted] = AddLeaf(10, "short|the long part", true);
    controls_[Other] = AddLeaf(170, "other", true);
    controls_[Silent] = AddLeaf(330, "never", false);
    panel_->SetParentWindow(host_->Handle());
    Machine().SetReads(this);
    saved_ = Machine().Settings();
  }
  void TearDown() override {
    Machine().Drop();
    Machine().SetReads(nullptr);
    Machine().Settings() = saved_;
    Application()->ShowHintHook = {};
    Application()->HintTextHook = {};
    panel_.reset();
    host_.reset();
  }
  TTestLeaf* AddLeaf(int left, const char* hint, bool show) {
    auto* leaf = new TTestLeaf(panel_.get());
    leaf->PlaceControl(left, 10, 150, 60);
    leaf->SetHint(hint);
    leaf->SetShowHint(show);
    leaf->SetParent(panel_.get());
    return leaf;
  }
  static THintMachine& Machine() { return Application()->Hints(); }
  // The pointer comes to rest on the target (its middle), without a move.
  void PointTo(Target target) {
    under_ = controls_[target];
    cursor_ = under_ ? under_->ClientToScreen({under_->Width() / 2, under_->Height() / 2}) : POINT{-100, -100};
  }
  // The pointer moves onto the target, which is told so.
  void MoveOnto(Target target) {
    PointTo(target);
    if (!under_) return;
    const POINT local = under_->ScreenToClient(cursor_);
    Machine().MouseMoved(*under_, {WM_MOUSEMOVE, 0, static_cast<LPARAM>(MAKELPARAM(local.x, local.y)), 0});
  }
  static bool Shown() { return HintVisible(); }

  POINT Cursor() override { return cursor_; }
  bool ProgramInFront() override { return inFront_; }
  TControl* ControlAt(POINT) override { return under_; }

  std::unique_ptr<THostWindow> host_;
  std::unique_ptr<TTestPanel> panel_;
  TTestLeaf* controls_[4] = {};
  TTestLeaf* under_ = nullptr;
  POINT cursor_{-100, -100};
  bool inFront_ = true;
  THintSettings saved_;
};

struct TOwnerVeto : TObject {
  void Veto(std::string&, bool& mayShow, THintInfo&) { mayShow = false; }
  void Reshow(std::string&, bool&, THintInfo& info) { info.ReshowAfter = 300; }
};

TEST_F(HintSteps, TheMachineFollowsEachStep) {
  enum Act { Move, PointOnly, Timer, Present, DropRequest };
  struct Step {
    Act act;
    Target at;
    // What the machine shows afterwards; no timer: delay -1.
    Target subject;
    std::int32_t delay;
    TTimerMode mode;
    bool shown;
  };
  enum Veto { NoVeto, ByControl, ByOwner, Reshow };
  struct Case {
    const char* name;
    std::int32_t nextDelay;
    bool inFront;
    Veto veto;
    std::vector<Step> steps;
  };
  const Step showHinted[] = {{Move, Hinted, Hinted, 500, tmShow, false}, {Timer, Hinted, Hinted, 2500, tmHide, true}};
  auto after = [&](std::vector<Step> more) {
    std::vector<Step> all(std::begin(showHinted), std::end(showHinted));
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const Case cases[] = {
      {"the delay, the hint, then hidden with its subject kept", 0, true, NoVeto,
       after({{Timer, Hinted, Hinted, -1, tmShow, false}})},
      {"a move inside the cursor area changes nothing", 0, true, NoVeto,
       after({{Move, Hinted, Hinted, 2500, tmHide, true}})},
      {"no short pause: the next subject's hint at once", 0, true, NoVeto,
       after({{Move, Other, Other, 2500, tmHide, true}})},
      {"a short pause is waited for", 150, true, NoVeto,
       after({{Move, Other, Other, 150, tmShow, false}, {Timer, Other, Other, 2500, tmHide, true}})},
      {"the pause again once the recent hint is over", 150, true, NoVeto,
       after({{Move, Silent, None, -1, tmShow, false}, {Move, Other, Other, 500, tmShow, false}})},
      {"no subject where hints are off", 0, true, NoVeto, {{Move, Silent, None, -1, tmShow, false}}},
      {"the pointer gone from the subject when the delay ends",
       0,
       true,
       NoVeto,
       {{Move, Hinted, Hinted, 500, tmShow, false},
        {PointOnly, Other, Hinted, 500, tmShow, false},
        {Timer, Other, None, -1, tmShow, false}}},
      {"vetoed by the control",
       0,
       true,
       ByControl,
       {{Move, Hinted, Hinted, 500, tmShow, false}, {Timer, Hinted, None, -1, tmShow, false}}},
      {"vetoed by the owner's hook",
       0,
       true,
       ByOwner,
       {{Move, Hinted, Hinted, 500, tmShow, false}, {Timer, Hinted, None, -1, tmShow, false}}},
      {"shown again when the hook asks",
       0,
       true,
       Reshow,
       {{Move, Hinted, Hinted, 500, tmShow, false}, {Timer, Hinted, Hinted, 300, tmShow, true}}},
      {"not while another program is in front",
       0,
       false,
       NoVeto,
       {{Move, Hinted, Hinted, 500, tmShow, false}, {Timer, Hinted, None, -1, tmShow, false}}},
      {"presented directly, as the timer would",
       0,
       true,
       NoVeto,
       {{Move, Hinted, Hinted, 500, tmShow, false}, {Present, Hinted, Hinted, 2500, tmHide, true}}},
      {"the watch's request with the pointer outside", 0, true, NoVeto,
       after({{PointOnly, None, Hinted, 2500, tmHide, true}, {DropRequest, None, None, -1, tmShow, false}})},
      {"the watch's request with the pointer back inside", 0, true, NoVeto,
       after({{DropRequest, Hinted, Hinted, 2500, tmHide, true}})},
  };
  TOwnerVeto owner;
  for (const Case& c : cases) {
    Machine().Drop();
    Machine().Settings().nextDelay = c.nextDelay;
    inFront_ = c.inFront;
    controls_[Hinted]->vetoHint = c.veto == ByControl;
    Application()->ShowHintHook = {};
    if (c.veto == ByOwner) Application()->ShowHintHook.Bind(&owner, &TOwnerVeto::Veto);
    if (c.veto == Reshow) Application()->ShowHintHook.Bind(&owner, &TOwnerVeto::Reshow);
    int n = 0;
    for (const Step& step : c.steps) {
      ++n;
      switch (step.act) {
        case Move: MoveOnto(step.at); break;
        case PointOnly: PointTo(step.at); break;
        case Timer: Machine().TimerFired(); break;
        case Present:
          PointTo(step.at);
          Machine().Present(cursor_);
          break;
        case DropRequest:
          PointTo(step.at);
          Machine().TakeDropRequest();
          break;
      }
      EXPECT_EQ(Machine().Subject(), controls_[step.subject]) << c.name << ", step " << n;
      EXPECT_EQ(Machine().Timer() != 0 ? Machine().TimerDelay() : -1, step.delay) << c.name << ", step " << n;
      EXPECT_EQ(step.delay < 0 || Machine().TimerMode() == step.mode, true) << c.name << ", step " << n;
      EXPECT_EQ(Shown(), step.shown) << c.name << ", step " << n;
    }
  }
}

TEST_F(HintSteps, TheShownHintSitsBelowThePointerWithTheShortTextAndTheSubjectsArea) {
  MoveOnto(Hinted);
  Machine().TimerFired();
  ASSERT_TRUE(Shown());
  EXPECT_EQ(Machine().Window()->Text(), "short");
  RECT r{};
  GetWindowRect(Machine().Window()->WindowHandle(), &r);
  EXPECT_GT(r.top, cursor_.y);
  EXPECT_LT(r.top, cursor_.y + 40);
  RECT area{};
  GetWindowRect(controls_[Hinted]->WindowHandle(), &area);
  EXPECT_TRUE(EqualRect(&Machine().CursorArea(), &area));
}

TEST_F(HintSteps, TheLongPartFollowsTheRestingPointerAndIsToldOncePerChange) {
  struct Count : TObject {
    int told = 0;
    void Tell(TObject*) { ++told; }
  } count;
  Application()->HintTextHook.Bind(&count, &Count::Tell);
  const struct {
    Target at;
    const char* hint;
    int told;
  } steps[] = {{Hinted, "the long part", 1}, {Hinted, "the long part", 1}, {Other, "other", 2}, {None, "", 3}};
  for (const auto& step : steps) {
    PointTo(step.at);
    Application()->IdleStep();
    EXPECT_EQ(Application()->CurrentHint(), step.hint);
    EXPECT_EQ(count.told, step.told) << step.hint;
    EXPECT_EQ(Application()->ControlUnderMouse(), controls_[step.at]);
  }
}

// What ends a shown hint, and what goes with a control or its window.
TEST_F(HintSteps, AKeyPressTheMessageHookTakesAWindowDestroyedOrAControlFreedEndTheHint) {
  struct Sink : TObject {
    void Hook(MSG&, bool& handled) { handled = true; }
  } sink;
  Application()->MessageHook.Bind(&sink, &Sink::Hook);
  enum Ending { Key, WindowGone, ControlGone };
  for (const Ending ending : {Key, WindowGone, ControlGone}) {
    MoveOnto(Hinted);
    Machine().TimerFired();
    ASSERT_TRUE(Shown()) << ending;
    if (ending == Key) {
      PostMessageA(controls_[Hinted]->WindowHandle(), WM_KEYDOWN, 'A', 0);
      PumpMessages();
    }
    if (ending == WindowGone) {
      Application()->IdleStep();
      ASSERT_EQ(Application()->ControlUnderMouse(), controls_[Hinted]);
      controls_[Hinted]->DestroyWindowHandle();
      EXPECT_EQ(Application()->ControlUnderMouse(), nullptr);
      EXPECT_EQ(controls_[Hinted]->Parent(), panel_.get());
    }
    if (ending == ControlGone) {
      delete controls_[Hinted];
      controls_[Hinted] = under_ = nullptr;
    }
    EXPECT_EQ(Machine().Subject(), nullptr) << ending;
    EXPECT_FALSE(Shown()) << ending;
  }
  Application()->MessageHook = {};
}

TEST(PlatformObjects, ThousandsOfControlsFontsAndHintsLeaveNothingBehind) {
  THostWindow host(60, 60, 300, 200);
  HANDLE process = GetCurrentProcess();
  // This platform's GetGuiResources may answer 0 throughout, so each window
  // and font handle made is also checked to be gone afterwards.
  std::vector<HWND> windows;
  std::vector<HFONT> fonts;
  auto cycle = [&](int count) {
    for (int i = 0; i < count; ++i) {
      auto panel = std::make_unique<TTestPanel>(nullptr);
      auto* leaf = new TTestLeaf(panel.get());
      leaf->SetParent(panel.get());
      leaf->SetText("x");
      panel->SetParentWindow(host.Handle());
      windows.push_back(leaf->WindowHandle());
      {
        TFont font;
        font.SetSize(8 + i % 40);
        font.SetName(i % 2 ? "Arial" : "Tahoma");
        font.SetStyle({fsBold});
        leaf->SetFont(&font);
        fonts.push_back(font.Handle());
      }
      THintWindow* hint = Application()->HintWindow();
      hint->ShowAt({10, 10, 60 + i % 7, 30}, "hint");
      Application()->HideHintWindow();
      ShowWindow(hint->WindowHandle(), SW_HIDE);
    }
    PumpMessages();
  };
  cycle(20);  // classes registered, caches warm
  const DWORD gdiBefore = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD userBefore = GetGuiResources(process, GR_USEROBJECTS);
  windows.clear();
  fonts.clear();
  cycle(1000);
  EXPECT_EQ(GetGuiResources(process, GR_GDIOBJECTS), gdiBefore);
  EXPECT_EQ(GetGuiResources(process, GR_USEROBJECTS), userBefore);
  EXPECT_EQ(std::count_if(windows.begin(), windows.end(), [](HWND w) { return IsWindow(w) != FALSE; }), 0);
  EXPECT_EQ(std::count_if(fonts.begin(), fonts.end(), [](HFONT f) { return f && GetObjectType(f) != 0; }), 0);
}

}  // namespace
}  // namespace tw::test
