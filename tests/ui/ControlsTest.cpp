// The control tree on the real platform: lazily made windows with their class
// names and styles, the insertion notices, reflection, text, inheritance of
// font, colour and hint settings, and the refused parent cycles.
#include <gtest/gtest.h>

#include <array>
#include <memory>

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

}  // namespace
}  // namespace tw::test
