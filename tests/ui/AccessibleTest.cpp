// What a screen reader hears, asked in-process through the platform's
// accessibility interface exactly as a reader asks from outside: the object
// of a window's client area, its name, role, states, value and elements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "tests/AccessibleAsk.h"
#include "tests/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Accessible.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {
namespace {

using test::Sjis;

using test::AccessibleOf;
using test::Child;
using test::Hear;

std::string Name(IAccessible* object, LONG child = CHILDID_SELF) { return Hear(object, child).name; }
std::string Value(IAccessible* object) { return Hear(object).value; }
LONG Role(IAccessible* object, LONG child = CHILDID_SELF) { return Hear(object, child).role; }
LONG State(IAccessible* object, LONG child = CHILDID_SELF) { return Hear(object, child).state; }

// The events a reader hears, from an out-of-context hook on this process.
std::vector<std::pair<DWORD, LONG>>* heard = nullptr;
HWND heardWindow = nullptr;
void CALLBACK Hear(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (heard && window == heardWindow && object == OBJID_CLIENT) heard->push_back({event, child});
}

class AccessibleTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }

  void SetUp() override {
    liveAtStart_ = LiveAccessibleObjects();
    form_ = TCustomForm::Create<TForm>(nullptr);
    form_->Font()->SetName(Sjis("ＭＳ Ｐゴシック"));
    form_->Font()->SetHeight(-12);
    form_->Font()->SetCharset(128);
    form_->SetCaption("Form under test");
    form_->PlaceControl(60, 60, 420, 300);
    form_->ShowForm();
    test::PumpMessages();
  }
  void TearDown() override {
    delete form_;
    test::PumpMessages();
    EXPECT_EQ(LiveAccessibleObjects(), liveAtStart_) << "every object goes with its window";
  }

  template <class T>
  T* Add(const char* name, TWinControl* parent, int left, int top, std::string_view text = {}) {
    T* control = new T(form_);
    control->Rename(name);
    control->SetParent(parent ? parent : form_);
    control->SetLeft(left);
    control->SetTop(top);
    if (!text.empty()) control->SetText(text);
    return control;
  }
  TLabel* AddLabel(TWinControl* parent, int left, int top, std::string_view caption, TWinControl* field) {
    auto* label = Add<TLabel>("", parent, left, top, caption);
    label->SetFocusControl(field);
    return label;
  }

  TForm* form_ = nullptr;
  int liveAtStart_ = 0;
};

// ---- Names --------------------------------------------------------------------------------

TEST_F(AccessibleTest, AFieldIsNamedByItsVisibleLabelsInReadingOrder) {
  struct LabelRow {
    int left, top;
    const char* caption;  // UTF-8
    bool visible = true;
    bool showAccelChar = true;
  };
  struct Case {
    const char* what;
    std::vector<LabelRow> labels;
    const char* name;
  };
  const Case cases[] = {
      {"one label", {{8, 10, "時間"}}, "時間"},
      {"label and unit", {{150, 10, "分"}, {8, 10, "時間"}}, "時間 (分)"},
      {"three, by top then left", {{8, 40, "c"}, {150, 10, "b"}, {8, 10, "a"}}, "a (b, c)"},
      {"empty and hidden skipped", {{8, 10, ""}, {150, 10, "MB"}, {8, 40, "hidden", false}}, "MB"},
      {"no label: no name, never the value", {}, ""},
      {"markers", {{8, 10, "&Time"}, {150, 10, "A&&B"}}, "Time (A&B)"},
      {"literal ampersand", {{8, 10, "A&B", true, false}}, "A&B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* field = Add<TEdit>("Field", nullptr, 60, 8, "700");
    std::vector<TLabel*> labels;
    for (const LabelRow& row : c.labels) {
      TLabel* label = AddLabel(form_, row.left, row.top, Sjis(row.caption), field);
      label->SetVisible(row.visible);
      label->SetShowAccelChar(row.showAccelChar);
      labels.push_back(label);
    }
    EXPECT_EQ(Name(AccessibleOf(field->Handle()).get()), c.name);
    EXPECT_EQ(Value(AccessibleOf(field->Handle()).get()), "700");
    for (TLabel* label : labels) delete label;
    delete field;
  }
}

TEST_F(AccessibleTest, TheNameFollowsTheLabelsAsTheyChange) {
  auto* panel = Add<TGroupBox>("Panel", nullptr, 8, 8, "Panel");
  panel->PlaceControl(8, 8, 300, 200);
  auto* field = Add<TEdit>("Field", panel, 100, 20);
  TLabel* name = AddLabel(panel, 8, 24, "Size", field);
  // A label in another panel, lower on the screen, names it too.
  TLabel* unit = AddLabel(form_, 8, 240, "MB", field);
  auto object = AccessibleOf(field->Handle());
  EXPECT_EQ(Name(object.get()), "Size (MB)");

  std::vector<std::pair<DWORD, LONG>> events;
  heard = &events;
  heardWindow = field->Handle();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, &Hear,
                                       GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  name->SetCaption("Target size");
  test::WaitUntil([&] { return !events.empty(); }, 2000);
  EXPECT_EQ(Name(object.get()), "Target size (MB)");
  EXPECT_EQ(events, (std::vector<std::pair<DWORD, LONG>>{{EVENT_OBJECT_NAMECHANGE, CHILDID_SELF}}));

  events.clear();
  field->SetText("701");
  test::WaitUntil([&] { return !events.empty(); }, 2000);
  EXPECT_EQ(events, (std::vector<std::pair<DWORD, LONG>>{{EVENT_OBJECT_VALUECHANGE, CHILDID_SELF}}));

  events.clear();
  unit->SetFocusControl(nullptr);
  test::WaitUntil([&] { return !events.empty(); }, 2000);
  EXPECT_EQ(Name(object.get()), "Target size");
  EXPECT_EQ(events, (std::vector<std::pair<DWORD, LONG>>{{EVENT_OBJECT_NAMECHANGE, CHILDID_SELF}}));
  UnhookWinEvent(hook);
  heard = nullptr;

  unit->SetFocusControl(field);
  delete name;
  EXPECT_EQ(Name(object.get()), "MB") << "a label freed names nothing";
  // The label's own field goes: the label names nothing and is asked nothing.
  delete field;
  EXPECT_EQ(unit->FocusControl(), nullptr);
  BSTR text = nullptr;
  EXPECT_EQ(object->get_accName(Child(CHILDID_SELF), &text), RPC_E_DISCONNECTED);
}

// ---- Roles, states, actions ---------------------------------------------------------------

TEST_F(AccessibleTest, EachClassStatesItsRoleStatesAndAction) {
  auto* panel = Add<TGroupBox>("Panel", nullptr, 8, 8, "&Panel");
  panel->PlaceControl(8, 8, 300, 200);
  auto* edit = Add<TEdit>("Edit", panel, 100, 20);
  auto* result = Add<TEdit>("Result", panel, 100, 50);
  result->SetReadOnly(true);
  result->SetHint(Sjis("映像に割り当てるビットレートの目安です"));
  auto* combo = Add<TComboBox>("Combo", panel, 100, 80, "128");
  auto* button = Add<TButton>("Button", panel, 100, 120, "&OK");
  AddLabel(panel, 8, 24, "Edit", edit);
  AddLabel(panel, 8, 54, "Result", result);
  AddLabel(panel, 8, 84, "Combo", combo);
  struct Case {
    TWinControl* control;
    LONG role;
    const char* name;
    bool readOnly;
    const char* description;
    const char* action;
    const char* shortcut;
  };
  const Case cases[] = {
      {edit, ROLE_SYSTEM_TEXT, "Edit", false, "", "", ""},
      {result, ROLE_SYSTEM_TEXT, "Result", true, "映像に割り当てるビットレートの目安です", "", ""},
      {combo, ROLE_SYSTEM_COMBOBOX, "Combo", false, "", "", ""},
      {button, ROLE_SYSTEM_PUSHBUTTON, "OK", false, "", "押す", "Alt+O"},
      {panel, ROLE_SYSTEM_GROUPING, "Panel", false, "", "", "Alt+P"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto object = AccessibleOf(c.control->Handle());
    EXPECT_EQ(Role(object.get()), c.role);
    EXPECT_EQ(Name(object.get()), c.name);
    EXPECT_EQ((State(object.get()) & STATE_SYSTEM_READONLY) != 0, c.readOnly);
    const test::THeard heard = Hear(object.get());
    EXPECT_EQ(heard.description, c.description);
    EXPECT_EQ(heard.action, c.action);
    EXPECT_EQ(heard.shortcut, c.shortcut);
    IOleWindow* window = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)), S_OK);
    HWND answered = nullptr;
    EXPECT_EQ(window->GetWindow(&answered), S_OK);
    EXPECT_EQ(answered, c.control->Handle());
    window->Release();
    IUnknown* other = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
  }
  EXPECT_EQ(Name(AccessibleOf(form_->Handle()).get()), "Form under test");
  // While the user types in the combo box, its edit part answers for it.
  auto inner = AccessibleOf(combo->EditHandle());
  EXPECT_EQ(Name(inner.get()), "Combo");
  EXPECT_EQ(Role(inner.get()), ROLE_SYSTEM_COMBOBOX);
  EXPECT_EQ(Value(inner.get()), "128");
}

TEST_F(AccessibleTest, PressingIsPostedAndOnlyWhereTheUserCouldPress) {
  int clicks = 0;
  struct Counter : TObject {
    int* count;
    void Clicked(TObject*) { ++*count; }
  } counter;
  counter.count = &clicks;
  auto* button = Add<TButton>("Button", nullptr, 100, 100, "Go");
  button->OnClick.Bind(&counter, &Counter::Clicked);
  auto object = AccessibleOf(button->Handle());
  EXPECT_EQ(object->accDoDefaultAction(Child(CHILDID_SELF)), S_OK);
  EXPECT_EQ(clicks, 0) << "the reader is not held until the click has run";
  test::PumpMessages();
  EXPECT_EQ(clicks, 1);
  button->SetEnabled(false);
  object->accDoDefaultAction(Child(CHILDID_SELF));
  test::PumpMessages();
  EXPECT_EQ(clicks, 1);
  // A field has no default action.
  auto* edit = Add<TEdit>("Edit", nullptr, 100, 10);
  EXPECT_EQ(AccessibleOf(edit->Handle())->accDoDefaultAction(Child(CHILDID_SELF)), DISP_E_MEMBERNOTFOUND);
}

// ---- Elements -----------------------------------------------------------------------------

TEST_F(AccessibleTest, PaintedLabelsAreElementsRightBeforeTheirFields) {
  auto* panel = Add<TGroupBox>("Panel", nullptr, 8, 8, "Panel");
  panel->PlaceControl(8, 8, 320, 200);
  // Created out of reading order; the field stands higher than its labels.
  auto* second = Add<TEdit>("Second", panel, 100, 60);
  auto* first = Add<TEdit>("First", panel, 100, 16);
  AddLabel(panel, 150, 64, "kb/s", second);
  AddLabel(panel, 8, 64, "Audio", second);
  AddLabel(panel, 8, 20, "Time", first);
  Add<TLabel>("Note", panel, 8, 150, "Note");
  auto object = AccessibleOf(panel->Handle());
  LONG count = 0;
  ASSERT_EQ(object->get_accChildCount(&count), S_OK);
  ASSERT_EQ(count, 6);
  VARIANT elements[6];
  LONG got = 0;
  ASSERT_EQ(AccessibleChildren(object.get(), 0, 6, elements, &got), S_OK);
  ASSERT_EQ(got, 6);
  std::vector<std::string> names;
  for (VARIANT& e : elements) {
    if (e.vt == VT_DISPATCH) {
      IAccessible* child = nullptr;
      e.pdispVal->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&child));
      names.push_back("[" + Name(child) + "]");
      child->Release();
    } else {
      EXPECT_EQ(Role(object.get(), e.lVal), ROLE_SYSTEM_STATICTEXT);
      EXPECT_NE(State(object.get(), e.lVal) & STATE_SYSTEM_READONLY, 0);
      names.push_back(Name(object.get(), e.lVal));
    }
    VariantClear(&e);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Time", "[Time]", "Audio", "kb/s", "[Audio (kb/s)]", "Note"}));

  // Where the label "Audio" (element 3) is, and that the point at its centre is it.
  LONG left = 0, top = 0, width = 0, height = 0;
  ASSERT_EQ(object->accLocation(&left, &top, &width, &height, Child(3)), S_OK);
  RECT panelRect{};
  GetWindowRect(panel->Handle(), &panelRect);
  EXPECT_GE(left, panelRect.left);
  EXPECT_LE(left + width, panelRect.right);
  EXPECT_GE(top, panelRect.top);
  EXPECT_LE(top + height, panelRect.bottom);
  VARIANT hit;
  ASSERT_EQ(object->accHitTest(left + width / 2, top + height / 2, &hit), S_OK);
  EXPECT_EQ(hit.vt, VT_I4);
  EXPECT_EQ(hit.lVal, 3);

  struct Step {
    LONG direction, from;
    VARTYPE type;
    LONG to;
  };
  const Step steps[] = {{NAVDIR_FIRSTCHILD, CHILDID_SELF, VT_I4, 1},
                        {NAVDIR_LASTCHILD, CHILDID_SELF, VT_I4, 6},
                        {NAVDIR_NEXT, 3, VT_I4, 4},
                        {NAVDIR_PREVIOUS, 3, VT_DISPATCH, 0},
                        {NAVDIR_NEXT, 6, VT_EMPTY, 0},
                        {NAVDIR_PREVIOUS, 1, VT_EMPTY, 0}};
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << s.direction << " from " << s.from);
    VARIANT end;
    VariantInit(&end);
    EXPECT_EQ(object->accNavigate(s.direction, Child(s.from), &end), s.type == VT_EMPTY ? S_FALSE : S_OK);
    EXPECT_EQ(end.vt, s.type);
    if (s.type == VT_I4) {
      EXPECT_EQ(end.lVal, s.to);
    }
    VariantClear(&end);
  }
  BSTR text = nullptr;
  EXPECT_EQ(object->get_accName(Child(7), &text), E_INVALIDARG);
}

// ---- The query and the object's life ------------------------------------------------------

// The root id that UI Automation asks for.
constexpr LONG kUiaRootObjectId = -25;

TEST_F(AccessibleTest, OnlyTheClientAreasQueryIsOurs) {
  auto* edit = Add<TEdit>("Edit", nullptr, 100, 10);
  HWND window = edit->Handle();
  const int live = LiveAccessibleObjects();
  for (LONG id : {LONG(OBJID_WINDOW), LONG(OBJID_QUERYCLASSNAMEIDX), kUiaRootObjectId, LONG(1), LONG(OBJID_MENU)}) {
    SCOPED_TRACE(id);
    const LRESULT answer = SendMessageA(window, WM_GETOBJECT, 0, id);
    EXPECT_EQ(answer, DefWindowProcA(window, WM_GETOBJECT, 0, id));
    EXPECT_EQ(LiveAccessibleObjects(), live);
  }
  // The client id in the low 32 bits is ours.
  EXPECT_NE(SendMessageA(window, WM_GETOBJECT, 0, OBJID_CLIENT), 0);
  EXPECT_EQ(LiveAccessibleObjects(), live + 1);
}

TEST_F(AccessibleTest, ANewWindowGetsANewObjectAndTheOldOneIsDisconnected) {
  auto* edit = Add<TEdit>("Edit", nullptr, 100, 10);
  AddLabel(form_, 8, 14, "Time", edit);
  auto old = AccessibleOf(edit->Handle());
  EXPECT_EQ(Name(old.get()), "Time");
  edit->DestroyWindowHandle();
  BSTR text = nullptr;
  EXPECT_EQ(old->get_accName(Child(CHILDID_SELF), &text), RPC_E_DISCONNECTED);
  LONG count = -1;
  EXPECT_EQ(old->get_accChildCount(&count), RPC_E_DISCONNECTED);
  auto renewed = AccessibleOf(edit->Handle());
  EXPECT_NE(renewed.get(), old.get());
  EXPECT_EQ(Name(renewed.get()), "Time");
  // A client may hold an object past the form: it lives on, disconnected.
  old.reset();
  const int live = LiveAccessibleObjects();
  delete edit;
  EXPECT_EQ(LiveAccessibleObjects(), live);
  EXPECT_EQ(renewed->get_accName(Child(CHILDID_SELF), &text), RPC_E_DISCONNECTED);
}

// A control that fails whenever a reader asks about it.
class TFailingEdit : public TEdit {
 public:
  using TEdit::TEdit;
  TAccessibleTraits AccessibleTraits() const override {
    if (failing) throw EInvalidOperation("asked at a bad time");
    return TEdit::AccessibleTraits();
  }
  bool failing = false;
};

TEST_F(AccessibleTest, AFailureAnswersEFailAndShowsNothing) {
  auto* edit = Add<TFailingEdit>("Edit", nullptr, 100, 10);
  auto object = AccessibleOf(edit->Handle());
  edit->failing = true;
  test::TMessageBoxCatcher boxes;
  BSTR text = nullptr;
  EXPECT_EQ(object->get_accName(Child(CHILDID_SELF), &text), E_FAIL);
  EXPECT_EQ(object->get_accValue(Child(CHILDID_SELF), &text), E_FAIL);
  VARIANT role;
  EXPECT_EQ(object->get_accRole(Child(CHILDID_SELF), &role), E_FAIL);
  edit->SetText("still set");  // the value change event fails quietly
  test::PumpMessages();
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(edit->Text(), "still set");
  edit->failing = false;
}

}  // namespace
}  // namespace tw
