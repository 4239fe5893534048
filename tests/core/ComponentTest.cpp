#include "core/Component.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/Reader.h"
#include "core/Streams.h"
#include "core/StringList.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

using test::Sjis;
using Log = std::vector<std::string>;

// What the probes below saw, in order.
Log* activeLog = nullptr;

void Note(const std::string& entry) {
  if (activeLog) activeLog->push_back(entry);
}

std::string NameOf(const TComponent* c) { return c ? (c->Name().empty() ? "?" : c->Name()) : "none"; }

// A component that reports its notices and its destruction.
class TProbe : public TComponent {
  TW_PUBLISHED_CLASS(TProbe, TComponent)

 public:
  explicit TProbe(TComponent* owner, std::string_view name = {}) : TComponent(owner) {
    SetHearsInsertNotices(true);
    if (!name.empty()) Rename(name);
  }
  // Tells whether it was marked destroying before its destructor ran.
  ~TProbe() override { Note("free " + NameOf(this) + (HasState(stDestroying) ? "" : " (not marked)")); }
  void BeforeFree() override {
    ++beforeFrees;
    Inherited::BeforeFree();
  }
  static inline int beforeFrees = 0;

  void ComponentNotice(TComponent* c, TOwnershipEvent event) override {
    Note(NameOf(this) + (event == oeInsert ? ": insert " : ": remove ") + NameOf(c));
    Inherited::ComponentNotice(c, event);
  }
};
void TProbe::Publish(Publisher&) {}

// A probe that hears arrivals only when told to.
class TQuietProbe : public TProbe {
  TW_PUBLISHED_CLASS(TQuietProbe, TProbe)

 public:
  explicit TQuietProbe(TComponent* owner, std::string_view name) : TProbe(owner, name) { SetHearsInsertNotices(false); }
  void Listen(bool value) { SetHearsInsertNotices(value); }
};
void TQuietProbe::Publish(Publisher&) {}

// A different component class, for fields that must refuse a TProbe.
class TButtonProbe : public TProbe {
  TW_PUBLISHED_CLASS(TButtonProbe, TProbe)

 public:
  using TProbe::TProbe;
};
void TButtonProbe::Publish(Publisher&) {}

// A form: publishes a field per component it expects.
class TTestForm : public TProbe {
  TW_PUBLISHED_CLASS(TTestForm, TProbe)

 public:
  using TProbe::TProbe;
  TProbe* Label1 = nullptr;
  TProbe* NowVideo = nullptr;
  TButtonProbe* Button1 = nullptr;
};
void TTestForm::Publish(Publisher& p) {
  TW_FIELD(Label1);
  TW_FIELD(NowVideo);
  TW_FIELD(Button1);
}

// An owner that lets names be shared, to see which one FindOwned picks.
class TLenientOwner : public TComponent {
  TW_PUBLISHED_CLASS(TLenientOwner, TComponent)

 public:
  using TComponent::TComponent;
  void CheckRename(TComponent*, std::string_view, std::string_view) override {}
};
void TLenientOwner::Publish(Publisher&) {}

// A component whose removal notices fail.
class TFailingProbe : public TProbe {
  TW_PUBLISHED_CLASS(TFailingProbe, TProbe)

 public:
  using TProbe::TProbe;
  void ComponentNotice(TComponent* c, TOwnershipEvent event) override {
    Note(NameOf(this) + ": fails on " + NameOf(c));
    if (event == oeRemove) throw EComponentError("notice failed");
    Inherited::ComponentNotice(c, event);
  }
};
void TFailingProbe::Publish(Publisher&) {}

// A persistent class that cannot be assigned anywhere.
class TTestFont : public TPersistent {
  TW_CLASS(TTestFont, TPersistent)
};

std::vector<std::string> OwnedNames(const TComponent& owner) {
  std::vector<std::string> names;
  for (int i = 0; i < owner.OwnedCount(); ++i) names.push_back(NameOf(owner.OwnedAt(i)));
  return names;
}

class ComponentTest : public testing::Test {
 protected:
  void SetUp() override { activeLog = &log; }
  void TearDown() override { activeLog = nullptr; }
  Log log;
};

// The name goes in as it is: it may hold bytes that are not UTF-8.
std::string InvalidName(const std::string& name) {
  return Sjis("コンポーネント名に ''") + name + Sjis("'' は使えません");
}
std::string DuplicateName(const std::string& name) {
  return Sjis("コンポーネント名 " + name + " はすでに使われています");
}
std::string IndexError(int i) { return Sjis("リストのインデックスが範囲を超えています (" + std::to_string(i) + ")"); }

// ---- Names ---------------------------------------------------------------------

TEST(IdentifierTest, LettersDigitsAndUnderscoreOnly) {
  using namespace std::literals;
  struct Case {
    std::string_view text;
    bool expected;
  };
  const Case cases[] = {{"Label1", true},  {"_", true},       {"_9a", true},      {"z", true},     {"", false},
                        {"1abc", false},   {"a-b", false},    {"a b", false},     {"a.b", false},  {"\x82\xA0", false},
                        {"Ab\xE9", false}, {"A\0B"sv, false}, {"abc\x7F", false}, {"TForm1", true}};
  for (const Case& c : cases) EXPECT_EQ(IsIdentifier(c.text), c.expected) << c.text;
}

TEST_F(ComponentTest, RenameRules) {
  TTestForm form(nullptr, "Form1");
  auto* label = new TProbe(&form, "Label1");
  auto* other = new TProbe(&form, "Other");

  label->Rename("label1");  // same name apart from case: no collision test
  EXPECT_EQ(label->Name(), "label1");
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { other->Rename("label1"); }), DuplicateName("label1"));
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { other->Rename("LABEL1"); }), DuplicateName("LABEL1"));
  EXPECT_EQ(other->Name(), "Other");

  const std::string badNames[] = {"1abc", "a-b", "Label 2", "\x83\x89\x83\x78\x83\x8B"};
  for (const std::string& bad : badNames) {
    EXPECT_EQ(test::MessageOf<EComponentError>([&] { other->Rename(bad); }), InvalidName(bad));
    EXPECT_EQ(other->Name(), "Other");
  }

  // Without an owner nothing can collide.
  TProbe loose(nullptr, "label1");
  loose.Rename("Other");
  EXPECT_EQ(loose.Name(), "Other");
}

TEST_F(ComponentTest, RenamingMovesTheOwnersFieldBinding) {
  TTestForm form(nullptr, "Form1");
  auto* probe = new TProbe(&form);
  EXPECT_EQ(form.Label1, nullptr);

  probe->Rename("Label1");
  EXPECT_EQ(form.Label1, probe);
  probe->Rename("nowvideo");  // fields are found without regard to case
  EXPECT_EQ(form.Label1, nullptr);
  EXPECT_EQ(form.NowVideo, probe);
  probe->Rename("");  // the empty name is always allowed and unbinds
  EXPECT_EQ(probe->Name(), "");
  EXPECT_EQ(form.NowVideo, nullptr);
  EXPECT_EQ(form.FindOwned(""), nullptr);

  // A component of the wrong class is not stored in a field of its name.
  auto* label = new TProbe(&form, "Button1");
  EXPECT_EQ(form.Button1, nullptr);
  auto* button = new TButtonProbe(&form, "Button2");
  label->Rename("Label1");
  button->Rename("Button1");
  EXPECT_EQ(form.Button1, button);

  form.ReleaseComponent(*button);
  EXPECT_EQ(form.Button1, nullptr);
  FreeIfPresent(button);
}

TEST_F(ComponentTest, NamePropertyIsPublishedAsComponentName) {
  TTestForm form(nullptr, "Form1");
  auto* probe = new TProbe(&form, "Label1");
  const TPropInfo* name = FindPropertyInfo(TProbe::StaticClassInfo(), "NAME");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->type, &ComponentNameTypeInfo());
  EXPECT_EQ(name->type->name, "TComponentName");
  EXPECT_EQ(name->type->kind, TPropKind::pkLongText);
  EXPECT_EQ(name->readText(*probe, *name), "Label1");

  // Written through Rename: checked and bound like any rename.
  name->writeText(*probe, *name, "NowVideo");
  EXPECT_EQ(form.NowVideo, probe);
  EXPECT_EQ(form.Label1, nullptr);
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { name->writeText(*probe, *name, "a-b"); }), InvalidName("a-b"));

  const TPropInfo* tag = FindPropertyInfo(TProbe::StaticClassInfo(), "tag");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->type->kind, TPropKind::pkInteger);
  EXPECT_EQ(tag->readOrdinal(*probe, *tag), 0);
  tag->writeOrdinal(*probe, *tag, -7);
  EXPECT_EQ(probe->Tag(), -7);
}

// ---- Owned components ----------------------------------------------------------

TEST_F(ComponentTest, FindOwnedMatchesAsciiLettersWithoutCase) {
  TTestForm form(nullptr, "Form1");
  EXPECT_EQ(form.FindOwned("NowVideo"), nullptr);  // no owned list at all
  auto* video = new TProbe(&form, "NowVideo");
  auto* audio = new TProbe(&form, "NowAudio");
  auto* size = new TProbe(&form, "Now_Size1");
  new TProbe(&form);  // unnamed

  struct Case {
    std::string name;
    TComponent* expected;
  };
  // Only letters ignore case: "_" and "1" do not match 0x7F and 0x11, which
  // differ from them in bit 5 alone.
  const Case cases[] = {{"NOWVIDEO", video},  {"nowvideo", video},       {"NowAudio", audio},
                        {"NOW_SIZE1", size},  {"Now\x7FSize1", nullptr}, {"Now_Size\x11", nullptr},
                        {"NowVide", nullptr}, {"NowVideo1", nullptr},    {"", nullptr}};
  for (const Case& c : cases) EXPECT_EQ(form.FindOwned(c.name), c.expected) << c.name;
}

// An owner frees its components last first; meanwhile those not yet freed
// are still found by name, and the one going is not.
TEST_F(ComponentTest, FindOwnedWhileTheOwnerFreesItsComponents) {
  std::vector<std::string> seen;
  struct TLooker : TProbe {
    TLooker(TComponent* owner, std::string_view name, std::vector<std::string>& seen)
        : TProbe(owner, name), home(owner), seen(seen) {}
    ~TLooker() override {
      std::string found = NameOf(this) + ":";
      for (const char* name : {"a", "B", "c"}) found += home->FindOwned(name) ? name : "-";
      seen.push_back(found);
    }
    TComponent* home;
    std::vector<std::string>& seen;
  };
  {
    TTestForm form(nullptr, "Form1");
    for (const char* name : {"A", "B", "C"}) new TLooker(&form, name, seen);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"C:aB-", "B:a--", "A:---"}));
}

TEST_F(ComponentTest, FindOwnedGivesTheFirstInOwnedOrder) {
  // Only an owner that skips the name check can hold two components of one
  // name; the index must still answer in owned order through every change.
  TLenientOwner owner(nullptr);
  auto* first = new TProbe(&owner, "Dup");
  auto* second = new TProbe(&owner, "Other");
  auto* third = new TProbe(&owner, "Third");
  second->Rename("DUP");
  EXPECT_EQ(owner.FindOwned("dup"), first);
  second->MoveOwnedIndex(0);
  EXPECT_EQ(owner.FindOwned("dup"), second);
  third->Rename("dUp");
  EXPECT_EQ(owner.FindOwned("DUP"), second);
  second->Rename("Second");
  EXPECT_EQ(owner.FindOwned("DUP"), first);
  first->MoveOwnedIndex(99);
  EXPECT_EQ(owner.FindOwned("DUP"), third);
  owner.ReleaseComponent(*third);
  EXPECT_EQ(owner.FindOwned("DUP"), first);
  EXPECT_EQ(owner.FindOwned("second"), second);
  FreeIfPresent(third);
}

TEST_F(ComponentTest, OwnedAtRaisesOutsideTheList) {
  TProbe owner(nullptr, "Owner");
  EXPECT_EQ(owner.OwnedCount(), 0);
  EXPECT_EQ(test::MessageOf<EListError>([&] { owner.OwnedAt(0); }), IndexError(0));
  new TProbe(&owner, "A");
  new TProbe(&owner, "B");
  EXPECT_EQ(owner.OwnedCount(), 2);
  EXPECT_EQ(test::MessageOf<EListError>([&] { owner.OwnedAt(2); }), IndexError(2));
  EXPECT_EQ(test::MessageOf<EListError>([&] { owner.OwnedAt(-1); }), IndexError(-1));

  // The list goes with the last component.
  while (owner.OwnedCount() > 0) FreeIfPresent(owner.OwnedAt(0));
  EXPECT_EQ(test::MessageOf<EListError>([&] { owner.OwnedAt(0); }), IndexError(0));
}

TEST_F(ComponentTest, MoveOwnedIndexClamps) {
  struct Case {
    std::string moved;
    int index;
    std::vector<std::string> order;
  };
  const Case cases[] = {{"C", 0, {"C", "A", "B", "D"}},
                        {"A", -5, {"A", "B", "C", "D"}},
                        {"A", 99, {"B", "C", "D", "A"}},
                        {"B", 2, {"A", "C", "B", "D"}},
                        {"D", 3, {"A", "B", "C", "D"}}};
  for (const Case& c : cases) {
    TProbe owner(nullptr, "Owner");
    for (const char* name : {"A", "B", "C", "D"}) new TProbe(&owner, name);
    owner.FindOwned(c.moved)->MoveOwnedIndex(c.index);
    EXPECT_EQ(OwnedNames(owner), c.order) << c.moved << " to " << c.index;
  }
  TProbe loose(nullptr, "Loose");
  loose.MoveOwnedIndex(3);  // no owner: nothing to move in
}

TEST_F(ComponentTest, AdoptionAndReleaseNotifyEveryOwnedComponent) {
  TProbe owner(nullptr, "Owner");
  auto* a = new TProbe(&owner, "A");
  auto* b = new TProbe(&owner, "B");
  log.clear();

  TProbe* c = new TProbe(nullptr, "C");
  owner.AdoptComponent(*c);
  EXPECT_EQ(log, (Log{"Owner: insert C", "A: insert C", "B: insert C", "C: insert C"}));
  EXPECT_EQ(c->Owner(), &owner);

  log.clear();
  owner.ReleaseComponent(*a);
  EXPECT_EQ(log, (Log{"Owner: remove A", "A: remove A", "B: remove A", "C: remove A"}));
  EXPECT_EQ(a->Owner(), nullptr);
  EXPECT_EQ(OwnedNames(owner), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(owner.FindOwned("A"), nullptr);

  // Releasing a component that another owner holds changes nothing.
  log.clear();
  TProbe stranger(nullptr, "Stranger");
  stranger.ReleaseComponent(*b);
  EXPECT_EQ(b->Owner(), &owner);
  EXPECT_TRUE(log.empty());
  FreeIfPresent(a);
}

TEST_F(ComponentTest, ArrivalsReachOnlyTheComponentsThatHearThem) {
  TProbe owner(nullptr, "Owner");
  auto* quiet = new TQuietProbe(&owner, "Quiet");
  auto* box = new TQuietProbe(&owner, "Box");
  auto* inner = new TProbe(box, "Inner");  // makes Box pass arrivals on
  auto adopt = [&](const char* name) {
    log.clear();
    auto* late = new TProbe(nullptr, name);
    owner.AdoptComponent(*late);
    return late;
  };

  TProbe* late = adopt("Late");
  EXPECT_EQ(log, (Log{"Owner: insert Late", "Box: insert Late", "Inner: insert Late", "Late: insert Late"}));
  // Removals reach everyone.
  log.clear();
  owner.ReleaseComponent(*late);
  EXPECT_EQ(log, (Log{"Owner: remove Late", "Quiet: remove Late", "Box: remove Late", "Inner: remove Late",
                      "Late: remove Late"}));
  FreeIfPresent(late);

  FreeIfPresent(inner);
  adopt("Late2");
  EXPECT_EQ(log, (Log{"Owner: insert Late2", "Late2: insert Late2"}));
  quiet->Listen(true);
  adopt("Late3");
  EXPECT_EQ(log, (Log{"Owner: insert Late3", "Quiet: insert Late3", "Late2: insert Late3", "Late3: insert Late3"}));
  quiet->Listen(false);
  owner.ReleaseComponent(*quiet);
  quiet->Listen(true);
  adopt("Late4");
  EXPECT_EQ(log, (Log{"Owner: insert Late4", "Late2: insert Late4", "Late3: insert Late4", "Late4: insert Late4"}));
  FreeIfPresent(quiet);
}

TEST_F(ComponentTest, AdoptingATakenNameChangesNothing) {
  TTestForm form(nullptr, "Form1");
  auto* label = new TProbe(&form, "Label1");
  std::unique_ptr<TProbe> orphan(new TProbe(nullptr, "LABEL1"));
  log.clear();
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { form.AdoptComponent(*orphan); }), DuplicateName("LABEL1"));
  EXPECT_EQ(orphan->Owner(), nullptr);
  EXPECT_EQ(form.OwnedCount(), 1);
  EXPECT_EQ(form.Label1, label);
  EXPECT_TRUE(log.empty());
}

TEST_F(ComponentTest, AdoptingFromAnotherOwnerReleasesItThere) {
  TTestForm first(nullptr, "First");
  TTestForm second(nullptr, "Second");
  auto* label = new TProbe(&first, "Label1");
  EXPECT_EQ(first.Label1, label);
  log.clear();

  second.AdoptComponent(*label);
  EXPECT_EQ(log,
            (Log{"First: remove Label1", "Label1: remove Label1", "Second: insert Label1", "Label1: insert Label1"}));
  EXPECT_EQ(label->Owner(), &second);
  EXPECT_EQ(first.Label1, nullptr);
  EXPECT_EQ(second.Label1, label);
  EXPECT_EQ(first.OwnedCount(), 0);
  EXPECT_EQ(second.FindOwned("label1"), label);

  log.clear();
  second.AdoptComponent(*label);  // already there: nothing happens
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(second.OwnedCount(), 1);
}

TEST_F(ComponentTest, NoComponentOwnsItselfOrItsOwner) {
  const std::string message = Sjis("自分自身を親とすることはできません");
  TProbe root(nullptr, "Root");
  auto* middle = new TProbe(&root, "Middle");
  auto* leaf = new TProbe(middle, "Leaf");
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { root.AdoptComponent(root); }), message);
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { leaf->AdoptComponent(root); }), message);
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { leaf->AdoptComponent(*middle); }), message);
  EXPECT_EQ(root.Owner(), nullptr);
  EXPECT_EQ(middle->Owner(), &root);
}

TEST_F(ComponentTest, ConstructionByClassReference) {
  TTestForm form(nullptr, "Form1");
  const TClassInfo& cls = TButtonProbe::StaticClassInfo();
  ASSERT_NE(cls.construct, nullptr);
  TComponent* made = cls.construct(&form);
  EXPECT_EQ(made->ClassType().name, std::string("TButtonProbe"));
  EXPECT_EQ(made->Owner(), &form);
  made->Rename("Button1");
  EXPECT_EQ(form.Button1, made);
}

// ---- Destruction and free notices ----------------------------------------------

TEST_F(ComponentTest, DestructionFreesTheLastAdoptedFirst) {
  auto* form = new TTestForm(nullptr, "Form1");
  auto* box = new TProbe(form, "Box");
  new TProbe(box, "Inner1");
  new TProbe(box, "Inner2");
  new TProbe(form, "Label1");
  new TProbe(form, "Label2");
  log.clear();
  FreeIfPresent(form);
  // Everything is marked before the first goes (a probe reports when it was
  // not); unlinking sends no notices.
  EXPECT_EQ(log, (Log{"free Label2", "free Label1", "free Inner2", "free Inner1", "free Box", "free Form1"}));
}

// However a component is freed, its BeforeFree step runs once and before any
// destructor: the form's destructor sees it marked, and the form's own notice
// handling hears B, which asked for free notices, being released. Only a
// component that was never allocated (a local) goes without it, and later.
TEST_F(ComponentTest, EveryWayOfFreeingRunsBeforeFreeFirst) {
  const Log marked = {"Form1: remove B", "A: remove B", "B: remove B", "free B", "free A", "free Form1"};
  const Log local = {"free Form1 (not marked)", "A: remove B", "B: remove B", "free B", "free A"};
  struct Case {
    const char* how;
    std::function<void(TTestForm*)> free;
    const Log* expected;
    int beforeFrees;
  };
  const Case cases[] = {
      {"FreeIfPresent", [](TTestForm* f) { FreeIfPresent(f); }, &marked, 3},
      {"delete", [](TTestForm* f) { delete f; }, &marked, 3},
      {"delete as TComponent", [](TTestForm* f) { delete static_cast<TComponent*>(f); }, &marked, 3},
      {"delete as TObject", [](TTestForm* f) { delete static_cast<TObject*>(f); }, &marked, 3},
      {"unique_ptr", [](TTestForm* f) { std::unique_ptr<TComponent>{f}; }, &marked, 3},
      {"local", nullptr, &local, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    std::optional<TTestForm> localForm;
    TTestForm* form = c.free ? new TTestForm(nullptr, "Form1") : &localForm.emplace(nullptr, "Form1");
    auto* a = new TProbe(form, "A");
    new TProbe(form, "B");
    form->FindOwned("B")->RequestFreeNotice(*a);  // same owner: only B's state changes
    TProbe::beforeFrees = 0;
    log.clear();
    if (c.free) c.free(form);
    localForm.reset();
    EXPECT_EQ(log, *c.expected);
    EXPECT_EQ(TProbe::beforeFrees, c.beforeFrees);
  }
}

TEST_F(ComponentTest, FreeNoticeAcrossOwnersArrivesBeforeTheComponentGoes) {
  auto* form1 = new TTestForm(nullptr, "Form1");
  auto* form2 = new TTestForm(nullptr, "Form2");
  auto* watcher = new TProbe(form1, "Watcher");
  auto* watched = new TProbe(form2, "Watched");
  watched->RequestFreeNotice(*watcher);
  EXPECT_TRUE(watched->HasState(stFreeNotify));
  log.clear();

  FreeIfPresent(form2);
  // Watched asked for notices, so its owner releases it with notices; then
  // its own destruction tells the watcher.
  EXPECT_EQ(log, (Log{"Form2: remove Watched", "Watched: remove Watched", "Watcher: remove Watched", "free Watched",
                      "free Form2"}));
  // The watcher no longer refers to the freed component (the sanitizer build
  // would catch a stale reference here).
  log.clear();
  FreeIfPresent(form1);
  EXPECT_EQ(log, (Log{"Form1: remove Watcher", "Watcher: remove Watcher", "free Watcher", "free Form1"}));
}

TEST_F(ComponentTest, FreeNoticesGoLastRecordedFirst) {
  TProbe owner1(nullptr, "Owner1");
  TProbe owner2(nullptr, "Owner2");
  auto* subject = new TProbe(&owner1, "Subject");
  auto* a = new TProbe(&owner2, "A");
  auto* b = new TProbe(&owner2, "B");
  auto* c = new TProbe(nullptr, "C");
  subject->RequestFreeNotice(*a);
  subject->RequestFreeNotice(*b);
  subject->RequestFreeNotice(*c);
  subject->RequestFreeNotice(*a);  // recorded once
  log.clear();
  owner1.ReleaseComponent(*subject);
  log.clear();
  FreeIfPresent(subject);
  EXPECT_EQ(log, (Log{"C: remove Subject", "B: remove Subject", "A: remove Subject", "free Subject"}));
  FreeIfPresent(c);
}

TEST_F(ComponentTest, SameOwnerComponentsDoNotRecordEachOther) {
  auto* form = new TTestForm(nullptr, "Form1");
  auto* a = new TProbe(form, "A");
  auto* b = new TProbe(form, "B");
  auto* c = new TProbe(form, "C");
  b->RequestFreeNotice(*a);  // same owner: only the state is set
  EXPECT_TRUE(b->HasState(stFreeNotify));
  EXPECT_FALSE(a->HasState(stFreeNotify));
  log.clear();
  FreeIfPresent(form);
  // B has stFreeNotify, so its owner releases it with notices before freeing it.
  EXPECT_EQ(log, (Log{"free C", "Form1: remove B", "A: remove B", "B: remove B", "free B", "free A", "free Form1"}));
  (void)c;
}

TEST_F(ComponentTest, CancelledFreeNoticeIsNotSent) {
  TProbe owner1(nullptr, "Owner1");
  TProbe owner2(nullptr, "Owner2");
  auto* subject = new TProbe(&owner1, "Subject");
  auto* watcher = new TProbe(&owner2, "Watcher");
  subject->RequestFreeNotice(*watcher);
  subject->CancelFreeNotice(*watcher);
  log.clear();
  // The owner releases a component after the component's own destructor, so
  // the probe hears nothing more of itself.
  FreeIfPresent(watcher);
  EXPECT_EQ(log, (Log{"free Watcher", "Owner2: remove Watcher"}));
  log.clear();
  FreeIfPresent(subject);
  EXPECT_EQ(log, (Log{"free Subject", "Owner1: remove Subject"}));
}

TEST_F(ComponentTest, AFailingNoticeDoesNotStopDestruction) {
  auto* form1 = new TTestForm(nullptr, "Form1");
  auto* form2 = new TTestForm(nullptr, "Form2");
  auto* failing = new TFailingProbe(form1, "Failing");
  auto* subject = new TProbe(form2, "Subject");
  subject->RequestFreeNotice(*failing);
  log.clear();
  FreeIfPresent(subject);
  EXPECT_EQ(log, (Log{"Failing: fails on Subject", "free Subject", "Form2: remove Subject"}));
  // The failing component kept no reference to the freed one, and its failing
  // release does not keep its owner from freeing it.
  log.clear();
  FreeIfPresent(form1);
  EXPECT_EQ(log, (Log{"Form1: remove Failing", "Failing: fails on Failing", "free Failing", "free Form1"}));
  FreeIfPresent(form2);
}

TEST_F(ComponentTest, DestroyingReportsToTheDropReferencesHook) {
  // Addresses are kept as numbers: the objects are gone when they are compared.
  static std::vector<std::uintptr_t> dropped;
  dropped.clear();
  const DropReferencesHook previous =
      SetDropReferencesHook([](TPersistent* object) { dropped.push_back(reinterpret_cast<std::uintptr_t>(object)); });
  auto* form = new TTestForm(nullptr, "Form1");
  const auto a = reinterpret_cast<std::uintptr_t>(new TProbe(form, "A"));
  const auto b = reinterpret_cast<std::uintptr_t>(new TProbe(form, "B"));
  const std::vector<std::uintptr_t> expected = {b, a, reinterpret_cast<std::uintptr_t>(form)};
  FreeIfPresent(form);
  SetDropReferencesHook(previous);
  EXPECT_EQ(dropped, expected);

  // Any persistent object, not only components.
  dropped.clear();
  SetDropReferencesHook([](TPersistent* object) { dropped.push_back(reinterpret_cast<std::uintptr_t>(object)); });
  auto* font = new TTestFont;
  const auto fontAddress = reinterpret_cast<std::uintptr_t>(font);
  FreeIfPresent(font);
  SetDropReferencesHook(previous);
  EXPECT_EQ(dropped, std::vector<std::uintptr_t>{fontAddress});
}

// ---- State -----------------------------------------------------------------------

TEST_F(ComponentTest, StateBitsAndTheirOperations) {
  EXPECT_EQ(
      (TComponentFlags{stLoading, stReading, stDestroying, stDesigning, stUpdating, stFixups, stFreeNotify, stInline}
           .Bits()),
      0x3DB);
  TProbe owner(nullptr, "Owner");
  auto* child = new TProbe(&owner, "Child");
  auto* grandchild = new TProbe(child, "Grandchild");

  owner.IncludeState(stLoading);
  owner.AfterLoad();
  EXPECT_FALSE(owner.HasState(stLoading));
  owner.BeginUpdating();
  EXPECT_EQ(owner.ComponentState(), TComponentFlags{stUpdating});
  owner.EndUpdating();
  EXPECT_TRUE(owner.ComponentState().Empty());

  owner.SetDesigning(true, false);
  EXPECT_TRUE(owner.HasState(stDesigning));
  EXPECT_FALSE(child->HasState(stDesigning));
  owner.SetDesigning(true);
  EXPECT_TRUE(grandchild->HasState(stDesigning));

  // A component adopted by a designing owner is designed with all it owns.
  TProbe* newcomer = new TProbe(nullptr, "Newcomer");
  auto* carried = new TProbe(newcomer, "Carried");
  owner.AdoptComponent(*newcomer);
  EXPECT_TRUE(newcomer->HasState(stDesigning));
  EXPECT_TRUE(carried->HasState(stDesigning));

  owner.SetDesigning(false);
  EXPECT_FALSE(grandchild->HasState(stDesigning));
  EXPECT_FALSE(carried->HasState(stDesigning));
}

TEST_F(ComponentTest, DesignPositionHalves) {
  TProbe menu(nullptr, "MainMenu1");
  menu.SetDesignLeft(8);
  menu.SetDesignTop(168);
  EXPECT_EQ(menu.DesignPosition(), 0x00A80008u);
  menu.SetDesignLeft(-1);
  EXPECT_EQ(menu.DesignPosition(), 0x00A8FFFFu);
  EXPECT_EQ(menu.DesignLeft(), 0xFFFF);
  EXPECT_EQ(menu.DesignTop(), 168);
  menu.SetDesignTop(0x12345);
  EXPECT_EQ(menu.DesignPosition(), 0x2345FFFFu);
}

TEST_F(ComponentTest, LeftAndTopAreReadIntoTheDesignPosition) {
  // Property records as a main menu's record carries them: "Left" int8 8,
  // "Top" int16 168, then "left" int32 -1 and "Width", which no component has.
  using namespace std::literals;
  const std::string_view bytes =
      "\x04"
      "Left"
      "\x02\x08"
      "\x03"
      "Top"
      "\x03\xA8\x00"
      "\x04"
      "left"
      "\x04\xFF\xFF\xFF\xFF"
      "\x05"
      "Width"
      "\x02\x01"sv;
  TCustomMemoryStream stream(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  TReader reader(stream);
  TProbe menu(nullptr, "MainMenu1");
  reader.ReadPropertyRecord(menu);
  reader.ReadPropertyRecord(menu);
  EXPECT_EQ(menu.DesignPosition(), 0x00A80008u);
  reader.ReadPropertyRecord(menu);
  EXPECT_EQ(menu.DesignPosition(), 0x00A8FFFFu);
  EXPECT_THROW(reader.ReadPropertyRecord(menu), EReadError);
}

// ---- Assignment ------------------------------------------------------------------

TEST(PersistentTest, AssignmentErrorNamesTheSourceFirst) {
  TStringList lines;
  TTestFont font;
  TProbe probe(nullptr);
  struct Case {
    std::function<void()> assign;
    std::string message;
  };
  const Case cases[] = {
      {[&] { lines.AssignFrom(&font); }, "TTestFont を TStringList に代入することはできません"},
      {[&] { font.AssignFrom(&lines); }, "TStringList を TTestFont に代入することはできません"},
      {[&] { probe.AssignFrom(nullptr); }, "nil を TProbe に代入することはできません"},
      {[&] { probe.AssignFrom(&font); }, "TTestFont を TProbe に代入することはできません"},
  };
  for (const Case& c : cases) EXPECT_EQ(test::MessageOf<EConvertError>(c.assign), Sjis(c.message));
}

}  // namespace
}  // namespace tw
