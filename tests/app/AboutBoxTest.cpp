// The version window as the main window's command shows it: the real main
// window is the primary form, the command runs its modal loop, and the loop is
// driven by posted input. A start sentinel (a thread message seen by the
// application's message hook) inspects the box once its loop runs and posts
// the input under test followed by an end sentinel, which tells whether the
// box was still up and closes it if so.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/Mainunit.h"
#include "app/Verunit.h"
#include "tests/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"

namespace tw {
namespace {

using test::Sjis;

constexpr UINT kStartSentinel = WM_APP + 40;
constexpr UINT kEndSentinel = WM_APP + 41;
constexpr UINT kCommandSentinel = WM_APP + 42;

struct TInput {
  // ToBox, ToFocus: a message posted there; Key: a key pressed; Command: the
  // version command run again while the box is up.
  enum Kind { ToBox, ToFocus, Key, Command } kind;
  UINT message;  // ToBox, ToFocus: the message; Key: the virtual key
  WPARAM wParam = 0;
};

LPARAM KeyData(UINT key, bool up) {
  LPARAM data = 1 | static_cast<LPARAM>(MapVirtualKeyA(key, 0) << 16);
  return up ? data | static_cast<LPARAM>(0xC0000000u) : data;
}

// What the test saw of one box.
struct TSeen {
  HWND box = nullptr;
  HWND button = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  DWORD classStyle = 0;
  std::string caption;
  RECT client{};
  RECT frame{};
  int children = 0;
  HWND focus = nullptr;
  bool mainEnabled = true;
  bool systemMenuOk = false;
  std::vector<int> labelInk;     // pixels unlike the face colour inside each label
  std::vector<int> labelFace;    // pixels of the face colour inside each label
  bool openAtEnd = false;        // the end sentinel found the box still up
  TModalResult result = -1;      // the box's modal result when it was freed
  bool destroyedWindow = false;  // the window was gone once the command returned
  bool commandKeptBox = false;   // a second command left the box as it was
};

BOOL CALLBACK CountChild(HWND, LPARAM data) {
  ++*reinterpret_cast<int*>(data);
  return TRUE;
}

class TBoxDriver : public TObject {
 public:
  std::vector<TInput> inputs;
  std::vector<TSeen> seen;

  void OnMessage(MSG& msg, bool& handled) {
    if (msg.hwnd != nullptr ||
        (msg.message != kStartSentinel && msg.message != kEndSentinel && msg.message != kCommandSentinel))
      return;
    handled = true;
    if (msg.message == kCommandSentinel) {
      TForm2* box = Form2;
      Form1->About1Click(Form1->About1);
      seen.back().commandKeptBox = box && Form2 == box && IsWindow(box->WindowHandle());
      return;
    }
    if (msg.message == kStartSentinel) {
      if (!Form2) return;
      Inspect(*Form2);
      for (const TInput& input : inputs) {
        HWND focus = GetFocus();
        if (input.kind == TInput::ToBox) {
          PostMessageA(Form2->Handle(), input.message, input.wParam, 0);
        } else if (input.kind == TInput::ToFocus) {
          PostMessageA(focus, input.message, input.wParam, 0);
        } else if (input.kind == TInput::Command) {
          PostThreadMessageA(GetCurrentThreadId(), kCommandSentinel, 0, 0);
        } else {
          PostMessageA(focus, WM_KEYDOWN, input.message, KeyData(input.message, false));
          PostMessageA(focus, WM_KEYUP, input.message, KeyData(input.message, true));
        }
      }
      PostThreadMessageA(GetCurrentThreadId(), kEndSentinel, 0, 0);
    } else if (!seen.empty()) {
      seen.back().openAtEnd = Form2 != nullptr && IsWindowVisible(Form2->WindowHandle());
      if (Form2) PostMessageA(Form2->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
  }

  void BoxDestroyed(TObject* sender) { seen.back().result = static_cast<TCustomForm*>(sender)->ModalResult(); }

 private:
  void Inspect(TForm2& box) {
    TSeen s;
    s.box = box.Handle();
    s.button = box.Button1 ? box.Button1->WindowHandle() : nullptr;
    s.style = static_cast<DWORD>(GetWindowLongA(s.box, GWL_STYLE));
    s.exStyle = static_cast<DWORD>(GetWindowLongA(s.box, GWL_EXSTYLE));
    s.classStyle = static_cast<DWORD>(GetClassLongA(s.box, GCL_STYLE));
    char caption[64] = {};
    GetWindowTextA(s.box, caption, sizeof caption);
    s.caption = caption;
    GetClientRect(s.box, &s.client);
    GetWindowRect(s.box, &s.frame);
    EnumChildWindows(s.box, CountChild, reinterpret_cast<LPARAM>(&s.children));
    s.focus = GetFocus();
    s.mainEnabled = Form1 && IsWindowEnabled(Form1->WindowHandle());
    // Of the system menu only moving and closing remain (Wine may add items of
    // its own, so commands are looked up by id).
    HMENU system = GetSystemMenu(s.box, FALSE);
    s.systemMenuOk = GetMenuState(system, SC_MOVE, MF_BYCOMMAND) != UINT(-1) &&
                     GetMenuState(system, SC_CLOSE, MF_BYCOMMAND) != UINT(-1);
    for (UINT gone : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_TASKLIST})
      s.systemMenuOk = s.systemMenuOk && GetMenuState(system, gone, MF_BYCOMMAND) == UINT(-1);
    // The labels as the window paints them.
    RedrawWindow(s.box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = GetDC(s.box);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (TLabel* label : {box.Label1, box.Label2, box.Label3, box.Label4}) {
      int ink = 0, plain = 0;
      if (label) {
        for (int y = label->Top(); y < label->Top() + label->Height(); ++y)
          for (int x = label->Left(); x < label->Left() + label->Width(); ++x)
            (GetPixel(dc, x, y) == face ? plain : ink) += 1;
      }
      s.labelInk.push_back(ink);
      s.labelFace.push_back(plain);
    }
    ReleaseDC(s.box, dc);
    box.OnDestroy.Bind(this, &TBoxDriver::BoxDestroyed);
    seen.push_back(s);
  }
};

class AboutBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MakeForm(Form1);
    ASSERT_EQ(Application()->PrimaryForm(), Form1);
    Form1->ShowForm();
    SetForegroundWindow(Form1->Handle());
    ASSERT_TRUE(test::WaitUntil([] { return GetActiveWindow() == Form1->WindowHandle(); }, 3000));
    // A control other than the first, so that coming back to it is telling.
    Form1->NextSize->TakeFocus();
    ASSERT_TRUE(test::WaitUntil([] { return GetFocus() == Form1->NextSize->WindowHandle(); }, 3000));
    Application()->MessageHook.Bind(&driver_, &TBoxDriver::OnMessage);
  }

  void TearDown() override {
    Application()->MessageHook = {};
    FreeIfPresent(Form1);
    Form1 = nullptr;
    test::PumpMessages();
  }

  // Runs the command once with the given input; what was seen of the box.
  TSeen RunBox(std::vector<TInput> inputs) {
    driver_.inputs = std::move(inputs);
    PostThreadMessageA(GetCurrentThreadId(), kStartSentinel, 0, 0);
    Form1->About1Click(Form1->About1);
    EXPECT_EQ(Form2, nullptr);
    if (driver_.seen.empty()) return {};
    TSeen& s = driver_.seen.back();
    s.destroyedWindow = !IsWindow(s.box);
    // The end sentinel of a box closed by its input arrives here.
    test::PumpMessages();
    return s;
  }

  TBoxDriver driver_;
};

TEST_F(AboutBoxTest, TheBoxAsTheMainWindowsCommandShowsIt) {
  const TSeen s = RunBox({{TInput::ToBox, WM_SYSCOMMAND, SC_CLOSE}});
  ASSERT_NE(s.box, nullptr) << "the box never ran its loop";
  EXPECT_EQ(s.caption, Sjis("バージョン情報"));
  // A modal-frame pop-up with a system menu only; Wine may add WS_EX_WINDOWEDGE.
  EXPECT_EQ(s.style & ~DWORD{WS_VISIBLE},
            DWORD{WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN});
  EXPECT_EQ(s.exStyle & ~DWORD{WS_EX_WINDOWEDGE}, DWORD{WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT});
  EXPECT_EQ(s.classStyle, DWORD{CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW});
  EXPECT_TRUE(s.systemMenuOk);
  EXPECT_EQ(s.client.right, 231);
  EXPECT_EQ(s.client.bottom, 116);
  // Centred on the main window: its size and place less the box's, halved.
  RECT main{};
  GetWindowRect(Form1->Handle(), &main);
  const int width = s.frame.right - s.frame.left, height = s.frame.bottom - s.frame.top;
  EXPECT_EQ(s.frame.left, std::max((main.right - main.left - width) / 2 + main.left, 0L));
  EXPECT_EQ(s.frame.top, std::max((main.bottom - main.top - height) / 2 + main.top, 0L));
  // One child window, the OK button, which has the focus; the labels have no
  // window but are painted.
  EXPECT_EQ(s.children, 1);
  EXPECT_NE(s.button, nullptr);
  EXPECT_EQ(s.focus, s.button);
  ASSERT_EQ(s.labelInk.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_GT(s.labelInk[i], 10) << "Label" << i + 1;
    EXPECT_GT(s.labelFace[i], s.labelInk[i]) << "Label" << i + 1;
  }
  EXPECT_FALSE(s.mainEnabled);
  // Afterwards the main window is enabled, active and focused where it was.
  EXPECT_TRUE(s.destroyedWindow);
  EXPECT_TRUE(IsWindowEnabled(Form1->Handle()));
  EXPECT_EQ(GetActiveWindow(), Form1->Handle());
  EXPECT_EQ(GetFocus(), Form1->NextSize->Handle());
  EXPECT_EQ(Form1->ActiveControl(), Form1->NextSize)
      << (Form1->ActiveControl() ? Form1->ActiveControl()->Name() : "none");
}

TEST_F(AboutBoxTest, InputThatEndsTheLoopAndInputThatDoesNot) {
  // OK first sets 1 from the button, then its handler closes the modal box,
  // which sets 2; the other ways of closing set 2 directly.
  struct Case {
    const char* name;
    TInput input;
    bool endsIt;
  };
  const Case cases[] = {
      {"OK clicked", {TInput::ToFocus, BM_CLICK}, true},
      {"Enter", {TInput::Key, VK_RETURN}, true},
      {"Space", {TInput::Key, VK_SPACE}, true},
      {"WM_CLOSE", {TInput::ToBox, WM_CLOSE}, true},
      {"SC_CLOSE", {TInput::ToBox, WM_SYSCOMMAND, SC_CLOSE}, true},
      {"Escape", {TInput::Key, VK_ESCAPE}, false},
      {"Tab", {TInput::Key, VK_TAB}, false},
      {"Left", {TInput::Key, VK_LEFT}, false},
      {"Right", {TInput::Key, VK_RIGHT}, false},
      {"Up", {TInput::Key, VK_UP}, false},
      {"Down", {TInput::Key, VK_DOWN}, false},
  };
  HWND previous = nullptr;
  for (const Case& c : cases) {
    const TSeen s = RunBox({c.input});
    ASSERT_NE(s.box, nullptr) << c.name;
    EXPECT_EQ(s.focus, s.button) << c.name;
    EXPECT_EQ(s.openAtEnd, !c.endsIt) << c.name;
    EXPECT_EQ(s.result, mrCancel) << c.name;
    // Each command builds a new box and frees it on return.
    EXPECT_TRUE(s.destroyedWindow) << c.name;
    EXPECT_NE(s.box, previous) << c.name;
    previous = s.box;
    EXPECT_TRUE(IsWindowEnabled(Form1->Handle())) << c.name;
    EXPECT_EQ(GetFocus(), Form1->NextSize->Handle()) << c.name;
  }
  EXPECT_EQ(driver_.seen.size(), std::size(cases));
}

TEST_F(AboutBoxTest, AVersionCommandWhileTheBoxIsUpLeavesIt) {
  // The command can arrive while the box runs its loop (a posted menu
  // command); it must neither build a second box nor free the first.
  const TSeen s = RunBox({{TInput::Command, 0}});
  ASSERT_NE(s.box, nullptr);
  EXPECT_TRUE(s.commandKeptBox);
  EXPECT_TRUE(s.openAtEnd);
  EXPECT_TRUE(s.destroyedWindow);
  EXPECT_EQ(driver_.seen.size(), 1u);
}

}  // namespace
}  // namespace tw
