// Forms and keyboard navigation on the real platform: a form read from a form
// stream shaped like the main window (a group box inside a group box, edits, a
// combo box, push buttons), driven with posted keys that go through the
// application's key preprocessing as the user's would.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/FormLoading.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"
#include "tests/core/FormBytes.h"
#include "tests/ui/MessageRecorder.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace tw {
namespace {

using test::FormBytes;
using test::Sjis;
using Log = std::vector<std::string>;

void SetKey(int key, bool down) {
  BYTE state[256];
  GetKeyboardState(state);
  state[key] = down ? 0x80 : 0;
  SetKeyboardState(state);
}

FormBytes& Control(FormBytes& bytes, const char* cls, const char* name, int left, int top, int width, int height,
                   int tabOrder) {
  bytes.Object(cls, name).Prop("Left").Int(left).Prop("Top").Int(top).Prop("Width").Int(width);
  bytes.Prop("Height").Int(height).Prop("TabOrder").Int(tabOrder);
  return bytes;
}

// The test form: read order and tab order differ on purpose, so the stored
// orders must be applied after each container is read.
//   Outer (0)
//     Inner (0): Edit1 (1), Edit2 (0), Combo1 (2), Button1 (3)
//     Edit3 (2), Edit4 (1), Button2 (3)
//   Ok (1, Default)
std::unique_ptr<TMemoryStream> TabFormStream() {
  FormBytes b;
  b.Signature().Object("TForm", "TabForm");
  b.Prop("Left").Int(40).Prop("Top").Int(40).Prop("Width").Int(440).Prop("Height").Int(260);
  b.Prop("Caption").Str("Tab order").Prop("Color").Ident("clBtnFace").End();
  Control(b, "TGroupBox", "Outer", 8, 8, 401, 177, 0).Prop("Caption").Str("Outer").End();
  Control(b, "TGroupBox", "Inner", 8, 16, 177, 153, 0).Prop("Caption").Str("Inner").End();
  Control(b, "TEdit", "Edit1", 8, 20, 60, 20, 1).End().End();
  Control(b, "TEdit", "Edit2", 8, 44, 60, 20, 0).End().End();
  Control(b, "TComboBox", "Combo1", 8, 68, 60, 20, 2).End().End();
  Control(b, "TButton", "Button1", 8, 100, 75, 25, 3).Prop("Caption").Str(Sjis("計算")).End().End();
  b.End();  // Inner's children
  Control(b, "TEdit", "Edit3", 200, 20, 60, 20, 2).End().End();
  Control(b, "TEdit", "Edit4", 200, 44, 60, 20, 1).End().End();
  Control(b, "TButton", "Button2", 200, 100, 75, 25, 3).Prop("Caption").Str(Sjis("再計算")).End().End();
  b.End();  // Outer's children
  Control(b, "TButton", "Ok", 300, 190, 75, 25, 1).Prop("Caption").Str("OK").Prop("Default").Bool(true).End().End();
  b.End();  // the form's children
  return b.Stream();
}

// Notes the enter and exit events in the order they run.
class TFocusLog : public TObject {
 public:
  void Enter(TObject* sender) { log.push_back("enter " + static_cast<TComponent*>(sender)->Name()); }
  void Exit(TObject* sender) { log.push_back("exit " + static_cast<TComponent*>(sender)->Name()); }
  Log log;
};

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = TCustomForm::Create<TForm>(nullptr);
    auto stream = TabFormStream();
    try {
      ReadComponentFromStream(*stream, form_);
    } catch (const Exception& e) {
      FAIL() << e.ClassName() << ": " << e.Message();
    }
    for (const char* name :
         {"Outer", "Inner", "Edit1", "Edit2", "Combo1", "Button1", "Edit3", "Edit4", "Button2", "Ok"}) {
      auto* control = dynamic_cast<TWinControl*>(form_->FindOwned(name));
      ASSERT_NE(control, nullptr) << name;
      control->OnEnter.Bind(&focusLog_, &TFocusLog::Enter);
      control->OnExit.Bind(&focusLog_, &TFocusLog::Exit);
    }
    form_->ShowForm();
    SetForegroundWindow(form_->Handle());
    ASSERT_TRUE(test::WaitUntil([this] { return form_->Active() && GetFocus() != nullptr; }, 3000));
  }

  void TearDown() override {
    SetKey(VK_SHIFT, false);
    SetKey(VK_CONTROL, false);
    FreeIfPresent(form_);
    test::PumpMessages();
  }

  TWinControl* Find(const char* name) { return static_cast<TWinControl*>(form_->FindOwned(name)); }
  // The control whose window has the focus (a combo box's is its inner edit).
  static std::string FocusedName() {
    for (HWND window = GetFocus(); window; window = GetParent(window))
      if (TWinControl* control = TWinControl::FromHandle(window)) return control->Name();
    return "(none)";
  }
  void FocusOn(const char* name) {
    Find(name)->TakeFocus();
    test::PumpMessages();
    ASSERT_EQ(FocusedName(), name);
  }
  // The names of the buttons drawn as the default one.
  std::string DefaultLook() {
    std::string names;
    for (const char* name : {"Button1", "Button2", "Ok"})
      if ((GetWindowLongA(Find(name)->Handle(), GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON)
        names += names.empty() ? name : std::string(" ") + name;
    return names;
  }
  // Presses Tab count times (Shift held when backwards) from the control;
  // the controls focused after each press.
  Log Walk(const char* from, int count, bool backwards) {
    FocusOn(from);
    SetKey(VK_SHIFT, backwards);
    Log seen;
    for (int i = 0; i < count; ++i) {
      test::PressKey(VK_TAB);
      seen.push_back(FocusedName());
    }
    SetKey(VK_SHIFT, false);
    return seen;
  }

  TForm* form_ = nullptr;
  TFocusLog focusLog_;
};

TEST_F(FormsTest, TheStoredTabOrdersAreApplied) {
  std::vector<TWinControl*> list;
  form_->TabOrderList(list);
  Log names;
  for (TWinControl* control : list) names.push_back(control->Name());
  EXPECT_EQ(names, (Log{"Outer", "Inner", "Edit2", "Edit1", "Combo1", "Button1", "Edit4", "Edit3", "Button2", "Ok"}));
  // Activation focused the first control that takes the focus.
  EXPECT_EQ(FocusedName(), "Edit2");
  EXPECT_EQ(form_->ActiveControl(), Find("Edit2"));
  EXPECT_EQ(Screen()->ActiveForm(), form_);
  EXPECT_EQ(Screen()->ActiveControl(), Find("Edit2"));
}

TEST_F(FormsTest, TabAndShiftTabWalkTheOrderAndWrap) {
  // The group boxes are no tab stops; the walk goes through both containers.
  EXPECT_EQ(Walk("Edit2", 9, false),
            (Log{"Edit1", "Combo1", "Button1", "Edit4", "Edit3", "Button2", "Ok", "Edit2", "Edit1"}));
  EXPECT_EQ(Walk("Edit1", 9, true),
            (Log{"Edit2", "Ok", "Button2", "Edit3", "Edit4", "Button1", "Combo1", "Edit1", "Edit2"}));
}

TEST_F(FormsTest, TabSkipsHiddenAndDisabledControlsAndContainers) {
  struct Case {
    const char* name;
    bool visible;
    bool enabled;
    Log order;  // from Edit2, one full round
  };
  const Case cases[] = {
      {"Edit1", false, true, {"Combo1", "Button1", "Edit4", "Edit3", "Button2", "Ok", "Edit2"}},
      {"Combo1", true, false, {"Edit1", "Button1", "Edit4", "Edit3", "Button2", "Ok", "Edit2"}},
      {"Outer", true, false, {"Ok", "Ok", "Ok"}},
  };
  for (const Case& c : cases) {
    TWinControl* control = Find(c.name);
    const bool fromOk = std::string(c.name) == "Outer";
    control->SetVisible(c.visible);
    control->SetEnabled(c.enabled);
    EXPECT_EQ(Walk(fromOk ? "Ok" : "Edit2", static_cast<int>(c.order.size()), false), c.order) << c.name;
    control->SetVisible(true);
    control->SetEnabled(true);
  }
  // A hidden container takes its children out of the walk as well.
  Find("Inner")->SetVisible(false);
  EXPECT_EQ(Walk("Edit4", 4, false), (Log{"Edit3", "Button2", "Ok", "Edit4"}));
  Find("Inner")->SetVisible(true);
}

TEST_F(FormsTest, ModifiersThatDoNotNavigate) {
  FocusOn("Edit2");
  SetKey(VK_CONTROL, true);
  test::PressKey(VK_TAB);
  SetKey(VK_CONTROL, false);
  EXPECT_EQ(FocusedName(), "Edit2");
  SetKey(VK_MENU, true);
  test::PressKey(VK_TAB);
  SetKey(VK_MENU, false);
  EXPECT_EQ(FocusedName(), "Edit2");
}

TEST_F(FormsTest, ArrowsMoveAmongTheButtonsSiblingsOnly) {
  // On a button the arrows are dialog keys: they move within its parent,
  // wrapping there, and ignore TabStop.
  Find("Combo1")->SetTabStop(false);
  struct Case {
    const char* from;
    UINT key;
    const char* to;
  };
  const Case cases[] = {{"Button1", VK_RIGHT, "Edit2"}, {"Button1", VK_DOWN, "Edit2"}, {"Button1", VK_LEFT, "Combo1"},
                        {"Button1", VK_UP, "Combo1"},   {"Button2", VK_LEFT, "Edit3"}, {"Button2", VK_UP, "Edit3"}};
  for (const Case& c : cases) {
    FocusOn(c.from);
    test::PressKey(c.key);
    EXPECT_EQ(FocusedName(), c.to) << c.from << " " << c.key;
  }
}

TEST_F(FormsTest, EnterAndExitRunBetweenNestedContainers) {
  struct Case {
    const char* from;
    const char* to;
    Log events;
  };
  const Case cases[] = {
      {"Edit2", "Edit1", {"exit Edit2", "enter Edit1"}},
      {"Button1", "Edit4", {"exit Button1", "exit Inner", "enter Edit4"}},
      {"Button2", "Ok", {"exit Button2", "exit Outer", "enter Ok"}},
      {"Ok", "Edit2", {"exit Ok", "enter Outer", "enter Inner", "enter Edit2"}},
      {"Edit3", "Combo1", {"exit Edit3", "enter Inner", "enter Combo1"}},
  };
  for (const Case& c : cases) {
    FocusOn(c.from);
    focusLog_.log.clear();
    FocusOn(c.to);
    EXPECT_EQ(focusLog_.log, c.events) << c.from << " -> " << c.to;
  }
  // Tab takes the same path.
  FocusOn("Button1");
  focusLog_.log.clear();
  test::PressKey(VK_TAB);
  EXPECT_EQ(focusLog_.log, (Log{"exit Button1", "exit Inner", "enter Edit4"}));
}

// Moves the focus elsewhere from inside an exit handler, once.
struct TRedirectOnExit : TObject {
  TFocusLog* log = nullptr;
  TWinControl* target = nullptr;
  void Exit(TObject* sender) {
    log->Exit(sender);
    if (TWinControl* to = std::exchange(target, nullptr)) to->TakeFocus();
  }
};

TEST_F(FormsTest, AFocusChangeStartedByAnExitHandlerLeavesNoControlTwice) {
  FocusOn("Edit1");
  TRedirectOnExit redirect;
  redirect.log = &focusLog_;
  redirect.target = Find("Edit3");
  Find("Inner")->OnExit.Bind(&redirect, &TRedirectOnExit::Exit);
  focusLog_.log.clear();
  Find("Ok")->TakeFocus();
  test::PumpMessages();
  // The redirect starts from Outer, which Edit1 and Inner have already left.
  EXPECT_EQ(focusLog_.log, (Log{"exit Edit1", "exit Inner", "enter Edit3"}));
  EXPECT_EQ(FocusedName(), "Edit3");
  EXPECT_EQ(form_->ActiveControl(), Find("Edit3"));
  Find("Inner")->OnExit.Bind(&focusLog_, &TFocusLog::Exit);
}

TEST_F(FormsTest, TheDefaultLookFollowsTheFocus) {
  struct Case {
    const char* focus;
    const char* look;
  };
  // Any control but a button leaves the look with the Default button; a
  // focused button takes it.
  const Case cases[] = {{"Edit2", "Ok"},        {"Button1", "Button1"}, {"Combo1", "Ok"},
                        {"Button2", "Button2"}, {"Ok", "Ok"},           {"Edit4", "Ok"}};
  for (const Case& c : cases) {
    FocusOn(c.focus);
    EXPECT_EQ(DefaultLook(), c.look) << c.focus;
  }
  // Enter in an edit clicks the Default button, which ends nothing here but
  // sets the form's modal result from the button's (0).
  FocusOn("Edit4");
  int clicks = 0;
  struct Counter : TObject {
    int* n;
    void Click(TObject*) { ++*n; }
  } counter;
  counter.n = &clicks;
  Find("Ok")->OnClick.Bind(&counter, &Counter::Click);
  form_->SetModalResult(7);
  test::PressKey(VK_RETURN);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(form_->ModalResult(), 0);
  Find("Ok")->OnClick = {};
}

// The key path of Tab in an edit: the application sends the reflected key-down
// to the focused control, which offers it up the chain as a child key and then
// asks whether it wants the key; it does not, so the form gets the dialog key
// and moves the focus: the new window's focus message runs the exit and enter
// steps, and the form tells every control of the change.
constexpr test::TExpectedMessage kTabKeyPath[] = {
    {FN_KEYDOWN, test::kSent | test::kWParam, VK_TAB},
    {FM_CHILDKEY, test::kSent | test::kWParam, VK_TAB},
    {FM_CHILDKEY, test::kSent | test::kParent | test::kWParam, VK_TAB},
    {FM_WANTSPECIALKEY, test::kSent | test::kWParam, VK_TAB},
    {WM_GETDLGCODE, test::kSent},
    {FM_DIALOGKEY, test::kSent | test::kParent | test::kWParam, VK_TAB},
    {WM_KILLFOCUS, test::kSent},
    {WM_SETFOCUS, test::kSent},
    {FM_EXIT, test::kSent},
    {FM_ENTER, test::kSent},
    {FM_FOCUSCHANGED, test::kSent | test::kParent},
    {FM_FOCUSCHANGED, test::kSent},
    {FM_FOCUSCHANGED, test::kSent},
};

TEST_F(FormsTest, RecordedKeyPathOfTab) {
  FocusOn("Edit2");
  test::TMessageRecorder recorder;
  recorder.RecordOnly({FN_KEYDOWN, FM_CHILDKEY, FM_WANTSPECIALKEY, WM_GETDLGCODE, FM_DIALOGKEY, WM_KILLFOCUS,
                       WM_SETFOCUS, FM_EXIT, FM_ENTER, FM_FOCUSCHANGED, WM_KEYDOWN});
  recorder.Watch(*Find("Edit2"), "Edit2");
  recorder.Watch(*Find("Edit1"), "Edit1");
  recorder.Watch(*form_, "form", true);
  HWND focus = GetFocus();
  PostMessageA(focus, WM_KEYDOWN, VK_TAB, 1 | static_cast<LPARAM>(MapVirtualKeyA(VK_TAB, 0) << 16));
  test::PumpMessages();
  EXPECT_TRUE(recorder.Check(kTabKeyPath));
  EXPECT_EQ(FocusedName(), "Edit1");
}

// ---- Mended faults -------------------------------------------------------------------------

TEST_F(FormsTest, AFreedOrMovedFocusedControlIsForgotten) {
  // The form's focus bookkeeping falls back to the control's old parent; the
  // next focus change leaves from there, never from the control that went.
  FocusOn("Edit3");
  FreeIfPresent(Find("Edit3"));
  EXPECT_EQ(form_->ActiveControl(), nullptr);
  EXPECT_EQ(Screen()->ActiveControl(), nullptr);
  // The form took the focus itself when the control went (leaving Outer).
  focusLog_.log.clear();
  FocusOn("Edit4");
  EXPECT_EQ(focusLog_.log, (Log{"enter Outer", "enter Edit4"}));

  TForm* other = TCustomForm::Create<TForm>(nullptr);
  TWinControl* moved = Find("Edit4");
  moved->SetParent(other);
  EXPECT_EQ(form_->ActiveControl(), nullptr);
  EXPECT_NE(Screen()->ActiveControl(), moved);
  focusLog_.log.clear();
  FocusOn("Button2");
  EXPECT_EQ(focusLog_.log, (Log{"enter Outer", "enter Button2"}));
  EXPECT_EQ(form_->ActiveControl(), Find("Button2"));
  // Navigation from nothing starts at the first control.
  FreeIfPresent(Find("Button2"));
  EXPECT_EQ(form_->ActiveControl(), nullptr);
  SetFocus(form_->Handle());
  test::PumpMessages();
  test::PressKey(VK_TAB);
  EXPECT_EQ(FocusedName(), "Edit2");
  FreeIfPresent(other);
}

class NoResourceForm;
// The reference MakeForm fills, as the form's own constructor body saw it.
NoResourceForm** watchedReference = nullptr;
NoResourceForm* lastMade = nullptr;
bool referenceWasSelf = false;

class NoResourceForm : public TForm {
  TW_PUBLISHED_CLASS(NoResourceForm, TForm)
 public:
  explicit NoResourceForm(TComponent* owner) : TForm(owner) {
    lastMade = this;
    referenceWasSelf = watchedReference && *watchedReference == this;
  }
};
void NoResourceForm::Publish(Publisher&) {}

TEST(FormConstruction, AFormWithOneFocusableControlFocusesIt) {
  FormBytes b;
  b.Signature().Object("TForm", "Single").Prop("Width").Int(200).Prop("Height").Int(120).End();
  Control(b, "TButton", "Only", 20, 20, 75, 25, 0).Prop("Caption").Str("OK").End().End();
  b.End();
  TForm* form = TCustomForm::Create<TForm>(nullptr);
  auto stream = b.Stream();
  ReadComponentFromStream(*stream, form);
  auto* only = static_cast<TWinControl*>(form->FindOwned("Only"));
  // The search comes back round to where it started.
  EXPECT_EQ(form->FindNextInTabOrder(only, true, true, false), only);
  EXPECT_EQ(form->FindNextInTabOrder(only, false, true, false), only);
  form->ShowForm();
  SetForegroundWindow(form->Handle());
  EXPECT_TRUE(test::WaitUntil([&] { return GetFocus() == only->WindowHandle(); }, 3000));
  EXPECT_EQ(form->ActiveControl(), only);
  test::PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), only->WindowHandle());
  FreeIfPresent(form);
  test::PumpMessages();
}

TEST(FormConstruction, AFailedConstructionLeavesNothingBehind) {
  const std::size_t forms = Screen()->Forms().size();
  const std::size_t customForms = Screen()->CustomForms().size();
  const int owned = Application()->OwnedCount();
  try {
    TCustomForm::Create<NoResourceForm>(Application());
    ADD_FAILURE() << "no error";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "NoResourceForm" + Sjis(" リソースが見つかりません"));
  }
  EXPECT_EQ(Screen()->Forms().size(), forms);
  EXPECT_EQ(Screen()->CustomForms().size(), customForms);
  EXPECT_EQ(Application()->OwnedCount(), owned);

  // Made through the application: the reference is set before the form's own
  // constructor body runs, and cleared when the construction fails.
  NoResourceForm* reference = nullptr;
  watchedReference = &reference;
  EXPECT_THROW(Application()->MakeForm(reference), EResNotFound);
  watchedReference = nullptr;
  EXPECT_TRUE(referenceWasSelf);
  EXPECT_EQ(reference, nullptr);
  for (const auto* list : {&Screen()->Forms(), &Screen()->CustomForms()})
    EXPECT_EQ(std::find(list->begin(), list->end(), lastMade), list->end());
  EXPECT_EQ(Screen()->Forms().size(), forms);
  EXPECT_EQ(Application()->OwnedCount(), owned);
  EXPECT_EQ(Application()->PrimaryForm(), nullptr);
  EXPECT_EQ(FindWindowA("NoResourceForm", nullptr), nullptr);
}

// A dialog class of the tests' own, counting its live instances. Without a
// class record of its own it is made as a plain form, needing no resource.
class TProbeDialog : public TForm {
 public:
  explicit TProbeDialog(TComponent* owner) : TForm(owner) { ++alive; }
  ~TProbeDialog() override { --alive; }
  static inline int alive = 0;
};

constexpr UINT kModalStep = WM_APP + 60;
struct TStepFailed {};

// Runs the next step from inside the modal loop for each step message posted;
// notes where the watched slot pointed while its form was being freed.
class TModalSteps : public TObject {
 public:
  std::vector<std::function<void()>> steps;
  TProbeDialog** watched = nullptr;
  TProbeDialog* slotWhileFreed = nullptr;

  static void Post() { PostThreadMessageA(GetCurrentThreadId(), kModalStep, 0, 0); }
  void OnMessage(MSG& msg, bool& handled) {
    if (msg.hwnd != nullptr || msg.message != kModalStep) return;
    handled = true;
    if (steps.empty()) return;
    const std::function<void()> step = steps.front();
    steps.erase(steps.begin());
    step();
  }
  void Destroyed(TObject*) { slotWhileFreed = *watched; }
};

class ShowModalFormTest : public ::testing::Test {
 protected:
  void SetUp() override { Application()->MessageHook.Bind(&steps_, &TModalSteps::OnMessage); }
  void TearDown() override { Application()->MessageHook = {}; }
  // Whether the slot holds a form that is shown and modal.
  static bool Up(TProbeDialog* slot) {
    return slot && IsWindowVisible(slot->WindowHandle()) && slot->FormState().Contains(FormModal);
  }
  TModalSteps steps_;
};

TEST_F(ShowModalFormTest, TheFormIsFreedAndTheSlotEmptiedHoweverTheLoopEnds) {
  enum Ending { Result, Close, Throw, SecondCall };
  // A second call while the form is up answers mrNone and leaves the form.
  const struct {
    Ending ending;
    TModalResult result;
  } cases[] = {{Result, mrOk}, {Close, mrCancel}, {Throw, -1}, {SecondCall, mrCancel}};
  for (const auto& c : cases) {
    TProbeDialog* slot = nullptr;
    HWND window = nullptr;
    bool up = false, keptFirst = false;
    steps_.steps = {[&] {
      up = Up(slot);
      if (!slot) throw TStepFailed{};
      window = slot->WindowHandle();
      steps_.watched = &slot;
      steps_.slotWhileFreed = slot;
      slot->OnDestroy.Bind(&steps_, &TModalSteps::Destroyed);
      if (c.ending == Result) slot->SetModalResult(mrOk);
      if (c.ending == Close) PostMessageA(window, WM_CLOSE, 0, 0);
      if (c.ending == Throw) throw TStepFailed{};
      if (c.ending == SecondCall) {
        TProbeDialog* first = slot;
        keptFirst = ShowModalForm(Application(), slot) == mrNone && slot == first && TProbeDialog::alive == 1;
        slot->CloseForm();
      }
    }};
    TModalSteps::Post();
    TModalResult result = -1;
    try {
      result = ShowModalForm(Application(), slot);
    } catch (const TStepFailed&) {
      result = -2;
    }
    EXPECT_EQ(result, c.ending == Throw ? -2 : c.result) << c.ending;
    EXPECT_TRUE(up) << c.ending;
    EXPECT_EQ(keptFirst, c.ending == SecondCall) << c.ending;
    // Freed with its window, the slot empty already while it went.
    EXPECT_EQ(slot, nullptr) << c.ending;
    EXPECT_EQ(steps_.slotWhileFreed, nullptr) << c.ending;
    EXPECT_EQ(TProbeDialog::alive, 0) << c.ending;
    EXPECT_FALSE(IsWindow(window)) << c.ending;
  }
}

TEST_F(ShowModalFormTest, TwoFormsOfOneClassEachInItsSlot) {
  TProbeDialog *first = nullptr, *second = nullptr;
  bool bothUp = false, firstDisabled = false, firstBack = false;
  TModalResult secondResult = -1;
  steps_.steps = {[&] {
                    if (!first) throw TStepFailed{};
                    TModalSteps::Post();
                    secondResult = ShowModalForm(first, second);
                    firstBack = second == nullptr && IsWindowEnabled(first->WindowHandle());
                    first->SetModalResult(mrCancel);
                  },
                  [&] {
                    bothUp = Up(first) && Up(second) && first != second && TProbeDialog::alive == 2;
                    if (!first || !second) throw TStepFailed{};
                    firstDisabled = !IsWindowEnabled(first->WindowHandle());
                    second->SetModalResult(mrOk);
                  }};
  TModalSteps::Post();
  EXPECT_EQ(ShowModalForm(Application(), first), mrCancel);
  EXPECT_TRUE(bothUp);
  EXPECT_TRUE(firstDisabled);
  EXPECT_EQ(secondResult, mrOk);
  EXPECT_TRUE(firstBack);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(TProbeDialog::alive, 0);
}

// Without a program around the forms (no control host) the modal loop reads
// the queue itself: it ends on the form's result, and a quit met there ends it
// as a cancel and is put back for the loop outside. The screen's focus comes
// back either way.
TProbeDialog* hostlessSlot = nullptr;
bool hostlessQuit = false;

void CALLBACK EndHostlessLoop(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (hostlessQuit)
    PostQuitMessage(7);
  else if (hostlessSlot)
    hostlessSlot->SetModalResult(mrOk);
}

TEST(ModalLoopWithoutHost, EndsOnTheResultOrOnAQuitThatItPutsBack) {
  TControlHost* const host = SetControlHost(nullptr);
  const TCustomForm* const focused = Screen()->FocusedForm();
  for (const bool quit : {false, true}) {
    hostlessQuit = quit;
    SetTimer(nullptr, 0, 10, &EndHostlessLoop);
    EXPECT_EQ(ShowModalForm(nullptr, hostlessSlot), quit ? mrCancel : mrOk) << quit;
    MSG msg{};
    EXPECT_EQ(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0, quit) << quit;
    EXPECT_EQ(msg.wParam, quit ? 7u : 0u);
    EXPECT_EQ(hostlessSlot, nullptr);
    EXPECT_EQ(Screen()->FocusedForm(), focused);
  }
  SetControlHost(host);
}

TEST_F(ShowModalFormTest, AFormThatCannotBeMadeLeavesTheSlotEmpty) {
  const int owned = Application()->OwnedCount();
  const std::size_t forms = Screen()->Forms().size();
  NoResourceForm* slot = nullptr;
  EXPECT_THROW(ShowModalForm(Application(), slot), EResNotFound);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(Application()->OwnedCount(), owned);
  EXPECT_EQ(Screen()->Forms().size(), forms);
}

// A form stream: a form of the name with the given children (each already
// closed) and nothing else.
std::unique_ptr<TMemoryStream> NamedForm(const char* name, const std::function<void(FormBytes&)>& children) {
  FormBytes b;
  b.Signature().Object("TForm", name).Prop("Width").Int(200).Prop("Height").Int(120).End();
  children(b);
  b.End();
  return b.Stream();
}

TForm* ReadForm(TComponent* owner, TStream& stream) {
  TForm* form = TCustomForm::Create<TForm>(owner);
  ReadComponentFromStream(stream, form);
  return form;
}

bool InFormList(const TCustomForm* form) {
  const auto& list = Screen()->Forms();
  return std::find(list.begin(), list.end(), form) != list.end();
}

// A class whose ancestor has a resource of its own: both resources are read
// into one instance, the ancestor's first, and what the derived one leaves
// out stays as the ancestor's set it.
TEST(InheritedResources, TheDerivedResourceChangesOnlyWhatItStates) {
  FormBytes base;
  base.Signature().Object("TForm", "Heir").Prop("ClientWidth").Int(200).Prop("ClientHeight").Int(100).End();
  base.Object("TButton", "Button1").Prop("Caption").Str("Base").End().End();
  base.End();
  FormBytes derived;
  derived.Signature().Object("TForm", "Heir").End();
  derived.Raw({0xF1}).Object("TButton", "Button1").Prop("Caption").Str("Derived").End().End();
  derived.Object("TButton", "Button2").Prop("Left").Int(90).Prop("Caption").Str("Added").End().End();
  derived.End();
  TForm* form = TCustomForm::Create<TForm>(nullptr);
  // The same steps a class's construction takes for its chain of resources.
  BeginSharedLoading();
  ReadComponentFromStream(*base.Stream(), form);
  ReadComponentFromStream(*derived.Stream(), form);
  NotifyLoadedList();
  EndSharedLoading();
  EXPECT_EQ(form->ClientWidth(), 200);
  EXPECT_EQ(form->ClientHeight(), 100);
  auto* first = dynamic_cast<TButton*>(form->FindOwned("Button1"));
  auto* second = dynamic_cast<TButton*>(form->FindOwned("Button2"));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->Text(), "Derived");
  EXPECT_EQ(second->Text(), "Added");
  EXPECT_EQ(form->ControlCount(), 2);
  FreeIfPresent(form);
}

TEST(FormList, TwoLiveFormsOfOneResourceAreListedAndNamedApart) {
  auto stream = NamedForm("Twin", [](FormBytes&) {});
  TForm* first = ReadForm(Application(), *stream);
  stream->SetPosition(0);
  TForm* second = nullptr;
  try {
    second = ReadForm(Application(), *stream);
  } catch (const Exception& e) {
    ADD_FAILURE() << e.Message();
  }
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->Name(), "Twin");
  EXPECT_EQ(second->Name(), "Twin_1");
  EXPECT_TRUE(InFormList(first));
  EXPECT_TRUE(InFormList(second));
  // The global lookup by form name finds each.
  EXPECT_EQ(GlobalComponentFinder()("Twin"), first);
  EXPECT_EQ(GlobalComponentFinder()("twin_1"), second);
  FreeIfPresent(second);
  FreeIfPresent(first);
  EXPECT_EQ(GlobalComponentFinder()("Twin"), nullptr);
}

TEST(FormList, AMenuInUseByAnotherFormIsRefused) {
  TForm* first = TCustomForm::Create<TForm>(nullptr);
  TForm* second = TCustomForm::Create<TForm>(nullptr);
  auto* menu = new TMainMenu(first);
  menu->Rename("Menu1");
  first->SetMenu(menu);
  try {
    second->SetMenu(menu);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), Sjis("メニュー 'Menu1' は既に他のフォームで使われています"));
  }
  EXPECT_EQ(second->Menu(), nullptr);
  EXPECT_EQ(first->Menu(), menu);
  // Let go by the first, it may be attached to the second.
  first->SetMenu(nullptr);
  EXPECT_NO_THROW(second->SetMenu(menu));
  second->SetMenu(nullptr);
  FreeIfPresent(second);
  FreeIfPresent(first);
}

TEST(FormList, AReferenceToAnotherFormResolvesWhenThatFormLoads) {
  auto referring = NamedForm("Referring", [](FormBytes& b) {
    b.Object("TLabel", "Caption1").Prop("FocusControl").Ident("Referred.Target").End().End();
  });
  auto referred =
      NamedForm("Referred", [](FormBytes& b) { Control(b, "TEdit", "Target", 8, 8, 60, 21, 0).End().End(); });
  TForm* first = nullptr;
  try {
    first = ReadForm(nullptr, *referring);
  } catch (const Exception& e) {
    FAIL() << e.ClassName() << ": " << e.Message();
  }
  auto* label = static_cast<TLabel*>(first->FindOwned("Caption1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->FocusControl(), nullptr);
  TForm* second = ReadForm(nullptr, *referred);
  EXPECT_EQ(label->FocusControl(), second->FindOwned("Target"));
  // The reference is weak: the referred form going clears it.
  FreeIfPresent(second);
  EXPECT_EQ(label->FocusControl(), nullptr);
  FreeIfPresent(first);
}

}  // namespace
}  // namespace tw
