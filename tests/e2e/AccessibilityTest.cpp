// The calculator as a screen reader hears it: asked from this process through
// the platform's accessibility interface, the way screen readers ask, while
// the real program runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/AccessibleAsk.h"
#include "tests/e2e/Driver.h"

namespace tw::e2e {
namespace {

using namespace std::chrono_literals;

using test::AccessibleOf;
using test::Child;
using test::Hear;
using test::THeard;

// An element of a panel as listed: a window's object or a simple element's name.
struct Element {
  std::string name;
  bool windowed = false;
  LONG id = 0;
};

std::vector<Element> ElementsOf(IAccessible* panel) {
  LONG count = 0;
  EXPECT_EQ(panel->get_accChildCount(&count), S_OK);
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  LONG got = 0;
  EXPECT_EQ(AccessibleChildren(panel, 0, count, children.data(), &got), S_OK);
  std::vector<Element> elements;
  for (LONG i = 0; i < got; ++i) {
    VARIANT& c = children[static_cast<std::size_t>(i)];
    if (c.vt == VT_DISPATCH) {
      IAccessible* object = nullptr;
      c.pdispVal->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&object));
      elements.push_back({object ? Hear(object).name : "?", true, i + 1});
      if (object) object->Release();
    } else {
      elements.push_back({Hear(panel, c.lVal).name, false, c.lVal});
    }
    VariantClear(&c);
  }
  return elements;
}

// Out-of-context events from the program, delivered to this thread's queue.
std::vector<HWND>* valueChanges = nullptr;
void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (valueChanges && event == EVENT_OBJECT_VALUECHANGE && object == OBJID_CLIENT && child == CHILDID_SELF)
    valueChanges->push_back(window);
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  return WaitFor(
      [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return condition();
      },
      limit);
}

class ScreenReader : public testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  static void TearDownTestSuite() { CoUninitialize(); }
  void SetUp() override { program_.emplace(TarnwickPath()); }
  void TearDown() override {
    if (program_) {
      EXPECT_EQ(program_->Close(), 0u);
    }
  }
  Program& P() { return *program_; }
  std::optional<Program> program_;
};

TEST_F(ScreenReader, EveryFieldButtonAndPanelIsNamedWithItsRole) {
  HWND panel1 = GetParent(P().Window(Field::Time));
  HWND panel2 = GetParent(panel1);
  const std::string hint = "映像に割り当てるビットレートの目安です";
  struct Row {
    HWND window;
    const char* name;
    LONG role;
    const char* value;
    bool readOnly;
    std::string description;
    const char* action;
  };
  const Row rows[] = {
      {P().Window(Field::Time), "時間 (分)", ROLE_SYSTEM_TEXT, "120", false, "", ""},
      {P().Window(Field::NextSize), "目標サイズ (MB)", ROLE_SYSTEM_TEXT, "700", false, "", ""},
      {P().Window(Field::NowAudio), "音声ビットレート (kb/s)", ROLE_SYSTEM_COMBOBOX, "128", false, "", ""},
      {P().TypingWindow(Field::NowAudio), "音声ビットレート (kb/s)", ROLE_SYSTEM_COMBOBOX, "128", false, "", ""},
      {P().Window(Field::Video), "映像ビットレート (kb/s)", ROLE_SYSTEM_TEXT, "", true, hint, ""},
      {P().Window(Field::NowVideo), "現在の映像ビットレート (kb/s)", ROLE_SYSTEM_TEXT, "700", false, "", ""},
      {P().Window(Field::NowSize), "現在のサイズ (MB)", ROLE_SYSTEM_TEXT, "700", false, "", ""},
      {P().Window(Field::NextAudio), "新しい音声ビットレート (kb/s)", ROLE_SYSTEM_COMBOBOX, "128", false, "", ""},
      {P().TypingWindow(Field::NextAudio), "新しい音声ビットレート (kb/s)", ROLE_SYSTEM_COMBOBOX, "128", false, "", ""},
      {P().Window(Field::NextVideo), "新しい映像ビットレート (kb/s)", ROLE_SYSTEM_TEXT, "", true, hint, ""},
      {P().Window(Field::Calc), "計算", ROLE_SYSTEM_PUSHBUTTON, "", false, "", "押す"},
      {P().Window(Field::ReCalc), "再計算", ROLE_SYSTEM_PUSHBUTTON, "", false, "", "押す"},
      {panel1, "Tarnwick", ROLE_SYSTEM_GROUPING, "", false, "", ""},
      {panel2, "Re-Tarnwick", ROLE_SYSTEM_GROUPING, "", false, "", ""},
      {P().MainWindow(), "Tarnwick for MPEG4", ROLE_SYSTEM_CLIENT, "", false, "", ""},
  };
  std::set<std::string> names;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto object = AccessibleOf(row.window);
    ASSERT_NE(object, nullptr);
    const THeard h = Hear(object.get());
    EXPECT_EQ(h.name, row.name);
    EXPECT_EQ(h.role, row.role);
    EXPECT_EQ(h.value, row.value);
    EXPECT_EQ((h.state & STATE_SYSTEM_READONLY) != 0, row.readOnly);
    EXPECT_EQ(h.description, row.description);
    EXPECT_EQ(h.action, row.action);
    EXPECT_FALSE(h.name.empty());
    if (!h.value.empty()) {
      EXPECT_NE(h.name, h.value);
    }
    const bool comboPart =
        row.window == P().TypingWindow(Field::NowAudio) || row.window == P().TypingWindow(Field::NextAudio);
    if (!comboPart) {
      EXPECT_TRUE(names.insert(h.name).second) << "the name is given twice";
    }
  }
}

TEST_F(ScreenReader, ThePaintedLabelsStandRightBeforeTheirFields) {
  HWND panel1 = GetParent(P().Window(Field::Time));
  HWND panel2 = GetParent(panel1);
  struct Panel {
    HWND window;
    std::vector<std::string> elements;  // a window's name in brackets
  };
  const Panel panels[] = {
      {panel1,
       {"時間", "分", "[時間 (分)]", "目標サイズ", "MB", "[目標サイズ (MB)]", "音声ビットレート", "kb/s",
        "[音声ビットレート (kb/s)]", "[計算]", "映像ビットレート", "kb/s", "[映像ビットレート (kb/s)]"}},
      {panel2,
       {"[Tarnwick]", "現在の映像ビットレート", "kb/s", "[現在の映像ビットレート (kb/s)]", "現在のサイズ", "MB",
        "[現在のサイズ (MB)]", "新しい音声ビットレート", "kb/s", "[新しい音声ビットレート (kb/s)]", "[再計算]",
        "新しい映像ビットレート", "kb/s", "[新しい映像ビットレート (kb/s)]"}},
      {P().MainWindow(), {"[Re-Tarnwick]"}},
  };
  for (const Panel& panel : panels) {
    auto object = AccessibleOf(panel.window);
    const std::vector<Element> elements = ElementsOf(object.get());
    std::vector<std::string> names;
    RECT bounds{};
    GetWindowRect(panel.window, &bounds);
    for (const Element& e : elements) {
      names.push_back(e.windowed ? "[" + e.name + "]" : e.name);
      if (e.windowed) continue;
      SCOPED_TRACE(e.name);
      const THeard h = Hear(object.get(), e.id);
      EXPECT_EQ(h.role, ROLE_SYSTEM_STATICTEXT);
      EXPECT_NE(h.state & STATE_SYSTEM_READONLY, 0);
      LONG left = 0, top = 0, width = 0, height = 0;
      ASSERT_EQ(object->accLocation(&left, &top, &width, &height, Child(e.id)), S_OK);
      EXPECT_TRUE(left >= bounds.left && top >= bounds.top && left + width <= bounds.right &&
                  top + height <= bounds.bottom);
      VARIANT hit;
      VariantInit(&hit);
      ASSERT_EQ(object->accHitTest(left + width / 2, top + height / 2, &hit), S_OK);
      EXPECT_EQ(hit.vt, VT_I4);
      EXPECT_EQ(hit.lVal, e.id);
      VariantClear(&hit);
    }
    EXPECT_EQ(names, panel.elements);
  }
}

TEST_F(ScreenReader, PressingCalculateReturnsAtOnceAndTheResultIsAnnounced) {
  std::vector<HWND> changes;
  valueChanges = &changes;
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, &OnEvent,
                                       P().ProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  auto calc = AccessibleOf(P().Window(Field::Calc));
  auto video = AccessibleOf(P().Window(Field::Video));
  EXPECT_EQ(calc->accDoDefaultAction(Child(CHILDID_SELF)), S_OK);
  EXPECT_TRUE(PumpUntil([&] { return Hear(video.get()).value == "668"; }, 5s));
  EXPECT_TRUE(PumpUntil(
      [&] { return std::find(changes.begin(), changes.end(), P().Window(Field::Video)) != changes.end(); }, 5s))
      << "the new bitrate was not announced";

  // 0 MB in 0 minutes opens an error box: the reader is not held by it.
  P().SetTexts({{Field::Time, "0"}, {Field::NextSize, "0"}});
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(calc->accDoDefaultAction(Child(CHILDID_SELF)), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
  const MessageBoxSeen box = P().WaitMessageBox();
  P().CloseMessageBox(box.window);
  UnhookWinEvent(hook);
  valueChanges = nullptr;
}

TEST_F(ScreenReader, AnObjectHeldPastItsWindowIsDisconnectedAndTheProgramEndsCleanly) {
  // A reader holds the main window's fields as well, as it does while the
  // user works. (Under Wine, once no object of the program is held by anyone,
  // the call fails one level lower, with RPC_S_UNKNOWN_IF.)
  auto time = AccessibleOf(P().Window(Field::Time));
  P().ChooseMenuItem(1, 4, 'h', 'a');
  HWND box = P().WaitAboutBox();
  HWND ok = FindWindowExA(box, nullptr, nullptr, "OK");
  ASSERT_NE(ok, nullptr);
  auto held = AccessibleOf(ok);
  EXPECT_EQ(Hear(held.get()).name, "OK");
  EXPECT_EQ(Hear(held.get()).role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(Hear(AccessibleOf(box).get()).name, "バージョン情報");
  P().CloseAboutBox(box);
  BSTR text = nullptr;
  EXPECT_EQ(held->get_accName(Child(CHILDID_SELF), &text), RPC_E_DISCONNECTED);
  // The program runs on, and closing it still ends it with 0 (the fixture).
  P().Click(Field::Calc);
  EXPECT_EQ(P().Text(Field::Video), "668");
  EXPECT_EQ(Hear(time.get()).name, "時間 (分)");
}

}  // namespace
}  // namespace tw::e2e
