// The control tree on the real platform: lazily made windows with their class
// names and styles, the insertion notices, reflection, text, inheritance of
// font, colour and hint settings, and the refused parent cycles.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "runtime/Exceptions.h"
#include "tests/ui/MessageRecorder.h"
#include "tests/ui/TestControls.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"

namespace tw::test {
namespace {

DWORD StyleOf(HWND w) { return static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)); }
DWORD ExStyleOf(HWND w) { return static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)) & ~WS_EX_WINDOWEDGE; }
std::string ClassOf(HWND w) {
  char name[64] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}

TEST(ControlTree, WindowsAreMadeOnlyWhenTheTreeReachesAShownParentWindow) {
  THostWindow host(10, 10, 300, 200);
  auto panel = std::make_unique<TTestPanel>(nullptr);
  auto* leaf = new TTestLeaf(panel.get());
  leaf->SetParent(panel.get());
  EXPECT_FALSE(panel->HandleAllocated());
  EXPECT_FALSE(leaf->HandleAllocated());
  panel->SetParentWindow(host.Handle());
  ASSERT_TRUE(panel->HandleAllocated());
  ASSERT_TRUE(leaf->HandleAllocated());
  EXPECT_EQ(GetParent(leaf->WindowHandle()), panel->WindowHandle());
  EXPECT_EQ(TWinControl::FromHandle(leaf->WindowHandle()), leaf);
}

TEST(ControlTree, WindowClassAndStylesFollowTheControl) {
  THostWindow host(10, 10, 300, 200);
  auto panel = std::make_unique<TTestPanel>(nullptr);
  auto* plain = new TTestLeaf(panel.get());
  auto* tabbed = new TTestLeaf(panel.get());
  auto* disabled = new TTestLeaf(panel.get());
  tabbed->SetTabStop(true);
  disabled->SetEnabled(false);
  for (TWinControl* c :
       {static_cast<TWinControl*>(plain), static_cast<TWinControl*>(tabbed), static_cast<TWinControl*>(disabled)})
    c->SetParent(panel.get());
  panel->PlaceControl(5, 6, 120, 80);
  panel->SetParentWindow(host.Handle());
  struct Case {
    TWinControl* control;
    const char* className;
    DWORD style;
    DWORD exStyle;
  };
  const Case cases[] = {
      {panel.get(), "TTestPanel", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VISIBLE, WS_EX_CONTROLPARENT},
      {plain, "TTestLeaf", WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE, 0},
      {tabbed, "TTestLeaf", WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE, 0},
      {disabled, "TTestLeaf", WS_CHILD | WS_CLIPSIBLINGS | WS_DISABLED | WS_VISIBLE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control->ClassName());
    HWND w = c.control->WindowHandle();
    ASSERT_TRUE(w);
    EXPECT_EQ(ClassOf(w), c.className);
    EXPECT_EQ(StyleOf(w), c.style);
    EXPECT_EQ(ExStyleOf(w), c.exStyle);
  }
  RECT r{};
  GetWindowRect(panel->WindowHandle(), &r);
  MapWindowPoints(nullptr, host.Handle(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right - r.left, 120);
  EXPECT_EQ(r.bottom - r.top, 80);
}

constexpr TExpectedMessage kAdoptWindowed[] = {
    {FM_CONTROLLISTCHANGE, kSent | kParent | kLParam, 0, 1},
    {FM_PARENTCOLORCHANGED, kSent},
    {FM_PARENTFONTCHANGED, kSent},
    {FM_PARENTSHOWHINTCHANGED, kSent},
    {FM_BIDIMODECHANGED, kSent},
    {FM_PARENTCTL3DCHANGED, kSent},
    {FM_CONTROLCHANGE, kSent | kParent | kLParam, 0, 1},
};
constexpr TExpectedMessage kAdoptGraphic[] = {
    {FM_CONTROLLISTCHANGE, kSent | kParent | kLParam, 0, 1},
    {FM_PARENTCOLORCHANGED, kSent},
    {FM_PARENTFONTCHANGED, kSent},
    {FM_PARENTSHOWHINTCHANGED, kSent},
    {FM_BIDIMODECHANGED, kSent},
    {FM_CONTROLCHANGE, kSent | kParent | kLParam, 0, 1},
};
constexpr TExpectedMessage kRelease[] = {
    {FM_CONTROLCHANGE, kSent | kParent | kLParam, 0, 0},
    {FM_CONTROLLISTCHANGE, kSent | kParent | kLParam, 0, 0},
};

TEST(ControlTree, InsertionAndRemovalNoticesComeInOrder) {
  auto panel = std::make_unique<TTestPanel>(nullptr);
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  auto graphic = std::make_unique<TTestGraphic>(nullptr);
  TMessageRecorder recorder;
  recorder.RecordOnly({FM_CONTROLLISTCHANGE, FM_CONTROLCHANGE, FM_PARENTCOLORCHANGED, FM_PARENTFONTCHANGED,
                       FM_PARENTSHOWHINTCHANGED, FM_BIDIMODECHANGED, FM_PARENTCTL3DCHANGED});
  recorder.Watch(*panel, "panel", true);
  recorder.Watch(*leaf, "leaf");
  recorder.Watch(*graphic, "graphic");
  leaf->SetParent(panel.get());
  EXPECT_TRUE(recorder.Check(kAdoptWindowed));
  graphic->SetParent(panel.get());
  EXPECT_TRUE(recorder.Check(kAdoptGraphic));
  EXPECT_EQ(panel->ControlAt(0), graphic.get());  // graphic children index first
  EXPECT_EQ(panel->ControlAt(1), leaf.get());
  leaf->SetParent(nullptr);
  EXPECT_TRUE(recorder.Check(kRelease));
  EXPECT_EQ(panel->ControlCount(), 1);
  graphic->SetParent(nullptr);
}

TEST(ControlTree, CommandFromAPlatformButtonIsReflectedToItsObject) {
  THostWindow host(10, 10, 300, 200);
  auto panel = std::make_unique<TTestPanel>(nullptr);
  auto* button = new TTestButton(panel.get());
  button->PlaceControl(10, 10, 80, 24);
  button->SetParent(panel.get());
  panel->PlaceControl(0, 0, 200, 100);
  panel->SetParentWindow(host.Handle());
  ASSERT_TRUE(button->HandleAllocated());
  EXPECT_EQ(ClassOf(button->WindowHandle()), "TTestButton");
  SendMessageA(button->WindowHandle(), BM_CLICK, 0, 0);
  PumpMessages();
  EXPECT_EQ(button->clicks, 1);
  EXPECT_EQ(button->lastNotification, static_cast<std::uintptr_t>(BN_CLICKED));
}

TEST(ControlTree, TextLivesInTheControlUntilAWindowExistsAndComesBackAfter) {
  THostWindow host(10, 10, 300, 200);
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  leaf->SetText("first");
  EXPECT_EQ(leaf->Text(), "first");
  leaf->SetParentWindow(host.Handle());
  ASSERT_TRUE(leaf->HandleAllocated());
  char buffer[32] = {};
  GetWindowTextA(leaf->WindowHandle(), buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "first");
  leaf->SetText("second");
  GetWindowTextA(leaf->WindowHandle(), buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "second");
  leaf->DestroyWindowHandle();
  EXPECT_FALSE(leaf->HandleAllocated());
  EXPECT_EQ(leaf->Text(), "second");
}

TEST(ControlTree, SettingTheSameTextSendsNothing) {
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  leaf->SetText("same");
  TMessageRecorder recorder;
  recorder.RecordOnly({WM_SETTEXT, FM_TEXTCHANGED});
  recorder.Watch(*leaf, "leaf");
  leaf->SetText("same");
  EXPECT_TRUE(recorder.Check({}));
  leaf->SetText("other");
  constexpr TExpectedMessage changed[] = {{WM_SETTEXT, kSent}, {FM_TEXTCHANGED, kSent}};
  EXPECT_TRUE(recorder.Check(changed));
}

TEST(ControlTree, GetTextWithoutWindowCopiesWithinTheBufferOnly) {
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  leaf->SetText("abcdef");
  struct Case {
    std::uintptr_t size;
    std::intptr_t result;
    const char* contents;
  };
  const Case cases[] = {{0, 0, "########"}, {1, 0, ""}, {4, 3, "abc"}, {7, 6, "abcdef"}, {8, 6, "abcdef"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::array<char, 9> buffer{};
    buffer.fill('#');
    buffer[8] = '\0';
    EXPECT_EQ(leaf->Deliver(WM_GETTEXT, c.size, reinterpret_cast<std::intptr_t>(buffer.data())), c.result);
    EXPECT_STREQ(buffer.data(), c.contents);  // size 0: not a byte written
  }
}

TEST(ControlTree, FontColourAndShowHintFollowTheParentUntilSetOwn) {
  auto panel = std::make_unique<TTestPanel>(nullptr);
  auto* child = new TTestLeaf(panel.get());
  auto* graphic = new TTestGraphic(panel.get());
  child->SetParent(panel.get());
  graphic->SetParent(panel.get());
  for (TControl* c : {static_cast<TControl*>(child), static_cast<TControl*>(graphic)}) {
    SCOPED_TRACE(c->ClassName());
    panel->Font()->SetSize(14);
    panel->SetColor(clRed);
    panel->SetShowHint(true);
    EXPECT_EQ(c->Font()->Size(), 14);
    EXPECT_EQ(c->Color(), clRed);
    EXPECT_TRUE(c->ShowHint());
    EXPECT_TRUE(c->ParentFont());
    EXPECT_TRUE(c->ParentColor());
    EXPECT_TRUE(c->ParentShowHint());
    c->Font()->SetSize(9);
    c->SetColor(clBlue);
    c->SetShowHint(false);
    EXPECT_FALSE(c->ParentFont());
    EXPECT_FALSE(c->ParentColor());
    EXPECT_FALSE(c->ParentShowHint());
    panel->Font()->SetSize(20);
    panel->SetColor(clLime);
    panel->SetShowHint(false);
    panel->SetShowHint(true);
    EXPECT_EQ(c->Font()->Size(), 9);
    EXPECT_EQ(c->Color(), clBlue);
    EXPECT_FALSE(c->ShowHint());
    // Following again takes the parent's values at once.
    c->SetParentFont(true);
    c->SetParentColor(true);
    c->SetParentShowHint(true);
    EXPECT_EQ(c->Font()->Size(), 20);
    EXPECT_EQ(c->Color(), clLime);
    EXPECT_TRUE(c->ShowHint());
  }
}

TEST(ControlTree, AParentCycleIsRefused) {
  auto top = std::make_unique<TTestPanel>(nullptr);
  auto* middle = new TTestPanel(top.get());
  auto* bottom = new TTestPanel(top.get());
  middle->SetParent(top.get());
  bottom->SetParent(middle);
  const std::string expected = Sjis("自分自身を親とすることはできません");
  struct Case {
    TWinControl* control;
    TWinControl* newParent;
  };
  const Case cases[] = {{top.get(), top.get()}, {top.get(), middle}, {top.get(), bottom}, {middle, bottom}};
  for (const Case& c : cases) {
    EXPECT_EQ(MessageOf<EInvalidOperation>([&] { c.control->SetParent(c.newParent); }), expected);
  }
  EXPECT_EQ(middle->Parent(), top.get());
  EXPECT_EQ(bottom->Parent(), middle);
  EXPECT_EQ(top->Parent(), nullptr);
}

// ---- Life cycle, tab order, device contexts ----

// Notes each freed control and passes everything on: the application must
// still hear of it.
class TGoneLog final : public TControlHost {
 public:
  explicit TGoneLog(std::vector<TControl*>& log) : log_(log), next_(SetControlHost(this)) {}
  ~TGoneLog() { SetControlHost(next_); }
  void MouseMovedOver(TControl& control, const TMessage& move) override {
    if (next_) next_->MouseMovedOver(control, move);
  }
  bool OfferKey(TMessage& key) override { return next_ && next_->OfferKey(key); }
  void ControlFreed(TControl& control) override {
    log_.push_back(&control);
    if (next_) next_->ControlFreed(control);
  }
  void WindowDestroyed(TWinControl& control) override {
    if (next_) next_->WindowDestroyed(control);
  }
  bool AnswerObjectQuery(TWinControl& control, TMessage& query) override {
    return next_ && next_->AnswerObjectQuery(control, query);
  }
  void TextChanged(TControl& control) override {
    if (next_) next_->TextChanged(control);
  }
  void FormsChanged() override {
    if (next_) next_->FormsChanged();
  }
  HWND OwnerWindow() override { return next_ ? next_->OwnerWindow() : nullptr; }
  TCustomForm* PrimaryForm() override { return next_ ? next_->PrimaryForm() : nullptr; }
  void PrimaryFormClosed() override {
    if (next_) next_->PrimaryFormClosed();
  }
  void PrimaryFormMinimized() override {
    if (next_) next_->PrimaryFormMinimized();
  }
  bool PumpModalMessage() override { return !next_ || next_->PumpModalMessage(); }

 private:
  std::vector<TControl*>& log_;
  TControlHost* next_;
};

TEST(ControlLifeCycle, TheApplicationHearsOfAGoingControlOnceAndNotOfANewWindow) {
  std::vector<TControl*> gone;
  auto log = std::make_unique<TGoneLog>(gone);
  THostWindow host(40, 40, 300, 200);
  auto* panel = new TTestPanel(nullptr);
  panel->PlaceControl(0, 0, 200, 150);
  auto* leaf = new TTestLeaf(panel);
  leaf->SetParent(panel);
  auto* graphic = new TTestGraphic(panel);
  graphic->SetParent(panel);
  panel->SetParentWindow(host.Handle());
  leaf->Handle();
  // A window made again is not a control that goes.
  leaf->RecreateWindow();
  leaf->Handle();
  EXPECT_TRUE(gone.empty());
  delete panel;
  log.reset();
  struct Case {
    TControl* control;
    const char* name;
  };
  for (const Case& c : {Case{panel, "panel"}, Case{leaf, "leaf"}, Case{graphic, "graphic"}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(std::count(gone.begin(), gone.end(), c.control), 1);
  }
  EXPECT_EQ(gone.size(), 3u);
}

TEST(ControlLifeCycle, TabOrderWithoutAParentIsTheStoredOne) {
  auto leaf = std::make_unique<TTestLeaf>(nullptr);
  EXPECT_EQ(leaf->TabOrder(), -1);
  leaf->SetTabOrder(3);
  EXPECT_EQ(leaf->TabOrder(), 3);
  // In a parent with one windowed child the stored position is clamped in.
  auto panel = std::make_unique<TTestPanel>(nullptr);
  leaf->SetParent(panel.get());
  EXPECT_EQ(leaf->TabOrder(), 0);
  leaf->SetParent(nullptr);
}

constexpr UINT kCanvasMessage = WM_APP + 60;
constexpr UINT kNestedMessage = WM_APP + 61;

struct CanvasProbe {
  TTestGraphic* graphic = nullptr;
  bool heldInside = false;
  bool heldAfterNested = false;

  static bool Hook(void* data, TMessage& m) {
    auto& probe = *static_cast<CanvasProbe*>(data);
    if (m.msg == kNestedMessage) return true;
    if (m.msg != kCanvasMessage) return false;
    probe.graphic->Canvas()->TextWidth("0");
    probe.heldInside = probe.graphic->Canvas()->HandleAllocated();
    // A nested call into the framework must not take the context away.
    SendMessageA(Application()->WindowHandle(), kNestedMessage, 0, 0);
    probe.heldAfterNested = probe.graphic->Canvas()->HandleAllocated();
    return true;
  }
};

TEST(DeviceContexts, BorrowedOnesGoBackWhenTheOutermostCallbackEnds) {
  THostWindow host(40, 40, 300, 200);
  auto panel = std::make_unique<TTestPanel>(nullptr);
  panel->PlaceControl(0, 0, 200, 150);
  auto* graphic = new TTestGraphic(panel.get());
  graphic->SetParent(panel.get());
  panel->SetParentWindow(host.Handle());
  CanvasProbe probe{graphic};
  const TWindowHook hook{&CanvasProbe::Hook, &probe};
  Application()->AddWindowHook(hook);
  SendMessageA(Application()->WindowHandle(), kCanvasMessage, 0, 0);
  Application()->RemoveWindowHook(hook);
  EXPECT_TRUE(probe.heldInside);
  EXPECT_TRUE(probe.heldAfterNested);
  EXPECT_FALSE(graphic->Canvas()->HandleAllocated());
}

TEST(WindowBinding, TheUserDataSlotsStayTheirOwners) {
  // Someone else's value in the application window's slot changes nothing.
  HWND app = Application()->WindowHandle();
  const LONG_PTR saved = SetWindowLongPtrA(app, GWLP_USERDATA, 0x5A5A);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(app, WM_QUERYDRAGICON, 0, 0)), Application()->Icon());
  EXPECT_EQ(GetWindowLongPtrA(app, GWLP_USERDATA), 0x5A5A);
  SetWindowLongPtrA(app, GWLP_USERDATA, saved);
  // A control's window is found through its property, not the slot.
  THostWindow host(40, 40, 300, 200);
  auto panel = std::make_unique<TTestPanel>(nullptr);
  panel->SetParentWindow(host.Handle());
  HWND window = panel->Handle();
  SetWindowLongPtrA(window, GWLP_USERDATA, 0x5A5A);
  EXPECT_EQ(TWinControl::FromHandle(window), panel.get());
  EXPECT_EQ(TWinControl::FromHandle(app), nullptr);
}

}  // namespace
}  // namespace tw::test
