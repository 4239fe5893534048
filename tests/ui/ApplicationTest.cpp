// The application object on the real platform: its window, its title, the
// key preprocessing of the loop, exception reports and the references it must
// drop when controls go.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "tests/ui/MessageRecorder.h"
#include "tests/ui/TestControls.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"
#include "ui/Hints.h"

namespace tw::test {
namespace {

TEST(ApplicationWindow, ClassStylePositionAndIcon) {
  HWND w = Application()->WindowHandle();
  ASSERT_TRUE(w);
  char name[64] = {};
  GetClassNameA(w, name, sizeof name);
  EXPECT_STREQ(name, "TApplication");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)) & ~WS_VISIBLE, 0x84CA0000u);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)) & ~WS_EX_WINDOWEDGE, 0u);
  RECT r{};
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2);
  EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2);
  ASSERT_TRUE(Application()->Icon());
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(w, GCLP_HICON)), Application()->Icon());
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_BIG, 0)), Application()->Icon());
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(Application()->Icon(), &info));
  BITMAP bm{};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 32);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

TEST(ApplicationWindow, SystemMenuLosesMaximiseSizeAndMove) {
  HMENU menu = GetSystemMenu(Application()->WindowHandle(), FALSE);
  ASSERT_TRUE(menu);
  struct Case {
    UINT command;
    bool present;
  };
  const Case cases[] = {{SC_MAXIMIZE, false}, {SC_SIZE, false},   {SC_MOVE, false},
                        {SC_MINIMIZE, true},  {SC_RESTORE, true}, {SC_CLOSE, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(GetMenuState(menu, c.command, MF_BYCOMMAND) != static_cast<UINT>(-1), c.present);
  }
}

TEST(ApplicationTitle, ComesFromTheModuleName) {
  EXPECT_EQ(Application()->AppTitle(), "ui_tests");
  struct Case {
    std::string path;
    std::string title;
  };
  const Case cases[] = {
      {"C:\\TOOLS\\CALC.EXE", "Calc"},
      {"C:\\TOOLS\\MY.CALC.EXE", "My"},
      {"NOPATH", "Nopath"},
      {"C:\\X\\", ""},
      // A double-byte name whose second bytes look like "\" (0x5C) and "|".
      {Sjis("C:\\dir\\表ソ.exe"), Sjis("表ソ")},
      {Sjis("C:\\ソフト\\ABC.exe"), "Abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(AppTitleFromModuleName(c.path), c.title) << c.path;
}

TEST(ApplicationTitle, SetWhileTheWindowExistsGoesToTheWindow) {
  const std::string saved = Application()->AppTitle();
  Application()->SetAppTitle("Other");
  char text[64] = {};
  GetWindowTextA(Application()->WindowHandle(), text, sizeof text);
  EXPECT_STREQ(text, "Other");
  EXPECT_EQ(Application()->AppTitle(), "Other");
  Application()->SetAppTitle(saved);
}

TEST(ExceptionReport, FullStopRuleAndCaption) {
  struct Case {
    std::string message;
    std::string shown;
  };
  const Case cases[] = {
      {"abc", "abc."},           {"abc.", "abc."}, {"abc)", "abc)"},
      {"abc!", "abc!"},          {"a 1", "a 1."},  {"ends:", "ends:."},
      {"ends ", "ends "},        {"x-", "x-"},     {Sjis("値です"), Sjis("値です.")},
      {Sjis("。"), Sjis("。.")}, {"", ""},
  };
  for (const Case& c : cases) {
    TMessageBoxCatcher catcher;
    Application()->ReportException(Exception(c.message));
    ASSERT_EQ(catcher.Boxes().size(), 1u) << c.message;
    EXPECT_EQ(catcher.Boxes()[0].text, c.shown);
    EXPECT_EQ(catcher.Boxes()[0].caption, Application()->AppTitle());
  }
}

TEST(ExceptionReport, AnExceptionInAHandlerIsShownAndTheLoopGoesOn) {
  THostWindow host(20, 20, 200, 100);
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  leaf->SetParentWindow(host.Handle());
  ASSERT_TRUE(leaf->HandleAllocated());
  {
    TMessageBoxCatcher catcher;
    PostMessageA(leaf->WindowHandle(), kThrowMessage, 0, 0);
    PostMessageA(leaf->WindowHandle(), kCountMessage, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return leaf->handled == 1; }, 3000));
    EXPECT_EQ(leaf->thrown, 1);
    ASSERT_EQ(catcher.Boxes().size(), 1u);
    EXPECT_EQ(catcher.Boxes()[0].text, "bad value.");
    EXPECT_EQ(catcher.Boxes()[0].caption, "ui_tests");
    EXPECT_TRUE(IsWindowEnabled(host.Handle()));  // re-enabled after the box
  }
  {
    TMessageBoxCatcher catcher;
    leaf->throwAbort = true;
    PostMessageA(leaf->WindowHandle(), kThrowMessage, 0, 0);
    PostMessageA(leaf->WindowHandle(), kCountMessage, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return leaf->handled == 2; }, 3000));
    EXPECT_EQ(leaf->thrown, 2);
    EXPECT_TRUE(catcher.Boxes().empty());
  }
}

struct KeySink : TObject {
  bool take = false;
  bool handleAll = false;
  void ShortCut(MSG&, bool& handled) { handled = take; }
  void Hook(MSG&, bool& handled) { handled = handleAll; }
};

TEST(KeyPreprocessing, TheControlSeesTheKeyBeforeTheQueueDoes) {
  THostWindow host(20, 20, 200, 100);
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  leaf->SetParentWindow(host.Handle());
  ASSERT_TRUE(leaf->HandleAllocated());
  KeySink sink;
  Application()->ShortCutHook.Bind(&sink, &KeySink::ShortCut);
  Application()->MessageHook.Bind(&sink, &KeySink::Hook);
  static constexpr TExpectedMessage passed[] = {
      {FN_KEYDOWN, kSent | kWParam, 'A'},
      {FM_APPKEYDOWN, kSent | kParent | kWParam, 'A'},
      {FM_CHILDKEY, kSent | kWParam, 'A'},
      {WM_KEYDOWN, kPosted | kWParam, 'A'},
  };
  static constexpr TExpectedMessage takenByShortCut[] = {
      {FN_KEYDOWN, kSent | kWParam, 'A'},
      {FM_APPKEYDOWN, kSent | kParent | kWParam, 'A'},
  };
  struct Case {
    const char* name;
    bool take;
    bool handleAll;
    std::span<const TExpectedMessage> expected;
  };
  const Case cases[] = {
      {"passed on", false, false, passed},
      {"shortcut", true, false, takenByShortCut},
      {"message hook", false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sink.take = c.take;
    sink.handleAll = c.handleAll;
    TMessageRecorder recorder;
    recorder.RecordOnly({FN_KEYDOWN, FM_APPKEYDOWN, FM_CHILDKEY, WM_KEYDOWN});
    recorder.Watch(*leaf, "leaf");
    recorder.WatchWindow(Application()->WindowHandle(), "application", true);
    PostMessageA(leaf->WindowHandle(), WM_KEYDOWN, 'A', 0x001E0001);
    PumpMessages();
    EXPECT_TRUE(recorder.Check(c.expected));
  }
  Application()->ShortCutHook = {};
  Application()->MessageHook = {};
}

struct HookCounter {
  int seen = 0;
  static bool Procedure(void* data, TMessage& m) {
    if (m.msg == WM_APP + 7) ++static_cast<HookCounter*>(data)->seen;
    return false;
  }
};

TEST(ApplicationWindow, WindowHooksArriveOnlyFromTheProgramsOwnCall) {
  HookCounter counter;
  TWindowHook hook{&HookCounter::Procedure, &counter};
  HWND w = Application()->WindowHandle();
  // A pointer that arrives through the queue (anyone may post) is not taken.
  PostMessageA(w, FM_WINDOWHOOK, 0, reinterpret_cast<LPARAM>(&hook));
  PumpMessages();
  SendMessageA(w, WM_APP + 7, 0, 0);
  EXPECT_EQ(counter.seen, 0);
  Application()->AddWindowHook(hook);
  SendMessageA(w, WM_APP + 7, 0, 0);
  EXPECT_EQ(counter.seen, 1);
  Application()->RemoveWindowHook(hook);
  SendMessageA(w, WM_APP + 7, 0, 0);
  EXPECT_EQ(counter.seen, 1);
}

TEST(TaskWindows, DisablingRecordsOnlyWhatItSwitchedOffAndNests) {
  THostWindow a(20, 20, 100, 80);
  THostWindow b(140, 20, 100, 80);
  EnableWindow(b.Handle(), FALSE);
  const TDisabledWindows outer = DisableTaskWindows(nullptr);
  EXPECT_FALSE(IsWindowEnabled(a.Handle()));
  EXPECT_EQ(std::count(outer.begin(), outer.end(), b.Handle()), 0);
  const TDisabledWindows inner = DisableTaskWindows(nullptr);
  EXPECT_EQ(std::count(inner.begin(), inner.end(), a.Handle()), 0);
  EnableTaskWindows(inner);
  EXPECT_FALSE(IsWindowEnabled(a.Handle()));
  EnableTaskWindows(outer);
  EXPECT_TRUE(IsWindowEnabled(a.Handle()));
  EXPECT_FALSE(IsWindowEnabled(b.Handle()));
}

int initRuns = 0;

TEST(Prepare, RunsTheRegisteredInitialisationOnlyWhenThereIsOne) {
  initRuns = 0;
  const TInitProc before = SetInitProc(nullptr);
  Application()->Prepare();
  EXPECT_EQ(initRuns, 0);
  SetInitProc([] { ++initRuns; });
  Application()->Prepare();
  Application()->Prepare();
  EXPECT_EQ(initRuns, 2);
  EXPECT_NE(SetInitProc(before), nullptr);
}

struct IdleSink : TObject {
  void Idle(TObject*, bool& done) { done = false; }
};

TEST(ControlUnderMouse, AGraphicControlFreedUnderThePointerIsForgotten) {
  THostWindow host(40, 40, 300, 200);
  auto panel = std::make_unique<TTestPanel>(nullptr);
  panel->PlaceControl(0, 0, 200, 150);
  auto* graphic = new TTestGraphic(panel.get());
  graphic->PlaceControl(20, 20, 60, 40);
  graphic->SetParent(panel.get());
  panel->SetParentWindow(host.Handle());
  IdleSink sink;
  Application()->IdleHook.Bind(&sink, &IdleSink::Idle);
  POINT p = graphic->ClientToScreen({10, 10});
  SetCursorPos(p.x, p.y);
  ASSERT_TRUE(WaitUntil(
      [&] {
        Application()->IdleStep();
        return Application()->ControlUnderMouse() == graphic;
      },
      3000));
  delete graphic;
  EXPECT_EQ(Application()->ControlUnderMouse(), nullptr);
  Application()->IdleStep();
  EXPECT_EQ(Application()->ControlUnderMouse(), panel.get());
  Application()->IdleHook = {};
  ParkPointer();
}

// The currency decimals the user's locale states.
std::int32_t LocaleCurrencyDecimals() {
  char buffer[16] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ICURRDIGITS, buffer, sizeof buffer);
  return std::atoi(buffer);
}

TEST(ApplicationWindow, ASettingsChangeReadsTheLocaleAgainWhenAsked) {
  struct Case {
    bool updateFormat;
    bool updateMetrics;
  };
  HWND app = Application()->WindowHandle();
  const LCID user = GetUserDefaultLCID();
  // A locale other than the user's, with other currency decimals, stands for
  // a thread and settings that went stale.
  const LCID other = user == 0x0409 ? 0x0411 : 0x0409;
  for (const Case& c : {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
    SCOPED_TRACE(testing::Message() << "format " << c.updateFormat << ", metrics " << c.updateMetrics);
    ASSERT_TRUE(SetThreadLocale(other));
    SetFormatSettings({7});
    Application()->UpdateFormatSettings = c.updateFormat;
    Application()->UpdateMetricSettings = c.updateMetrics;
    SendMessageA(app, WM_WININICHANGE, 0, 0);
    EXPECT_EQ(GetThreadLocale(), c.updateFormat ? user : other);
    EXPECT_EQ(FormatSettings().currencyDecimals, c.updateFormat ? LocaleCurrencyDecimals() : 7);
    EXPECT_EQ(Application()->HintsEnabled(), true);
  }
  Application()->UpdateFormatSettings = true;
  Application()->UpdateMetricSettings = true;
  SetThreadLocale(user);
  ReadFormatSettings();
  // Currency without a precision follows the settings read.
  EXPECT_EQ(FormatText("%m", {1234.0L}), LocaleCurrencyDecimals() == 0 ? "1,234" : "1,234.00");
}

}  // namespace
}  // namespace tw::test
