#include "core/FormLoading.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/ClassRegistry.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"
#include "tests/core/FormBytes.h"

namespace tw {
namespace {

using test::Sjis;
using Log = std::vector<std::string>;

using Bytes = test::FormBytes;

Log* afterLoadLog = nullptr;
int liveForms = 0;

class TFlButton : public TComponent {
  TW_PUBLISHED_CLASS(TFlButton, TComponent)
 public:
  explicit TFlButton(TComponent* owner) : TComponent(owner) {}
  TComponent* target = nullptr;
  bool failAfterLoad = false;
  void SetFailAfterLoad(bool value) { failAfterLoad = value; }
  bool FailAfterLoad() const { return failAfterLoad; }
  void AfterLoad() override {
    if (afterLoadLog) afterLoadLog->push_back(Name());
    Inherited::AfterLoad();
    if (failAfterLoad) throw EInvalidOperation(std::string("after load"));
  }
};
void TFlButton::Publish(Publisher& p) {
  TW_PROPERTY(Target, &Self::target, &Self::target);
  TW_PROPERTY(FailAfterLoad, &Self::FailAfterLoad, &Self::SetFailAfterLoad);
}

class TFlForm : public TComponent {
  TW_PUBLISHED_CLASS(TFlForm, TComponent)
 public:
  explicit TFlForm(TComponent* owner) : TComponent(owner) { ++liveForms; }
  ~TFlForm() override { --liveForms; }
  TFlButton* Button1 = nullptr;
  TFlButton* Button2 = nullptr;
  // An after-load step that frees a component loaded with it.
  bool freeButton2 = false;
  void AfterLoad() override {
    if (afterLoadLog) afterLoadLog->push_back(Name());
    Inherited::AfterLoad();
    if (freeButton2) FreeIfPresent(Button2);
  }
};
void TFlForm::Publish(Publisher& p) {
  TW_FIELD(Button1);
  TW_FIELD(Button2);
}

// The top-level components that the finder knows, like the screen's forms.
std::vector<TComponent*> liveRoots;

TComponent* FindLiveRoot(std::string_view name) {
  for (TComponent* root : liveRoots)
    if (!name.empty() && NamesMatch(root->Name(), name)) return root;
  return nullptr;
}

// A form named formName whose Button1 refers to target.
Bytes FormWithReference(std::string_view formName, std::string_view target) {
  Bytes bytes;
  bytes.Signature().Object("TFlForm", formName).End();
  bytes.Object("TFlButton", "Button1").Prop("Target").Ident(target).End().End();
  return bytes.End();
}

class FormLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousFinder_ = SetGlobalComponentFinder(&FindLiveRoot);
    afterLoadLog = &log_;
  }
  void TearDown() override {
    afterLoadLog = nullptr;
    liveRoots.clear();
    DropGlobalReferences(nullptr, std::nullopt);
    SetGlobalComponentFinder(previousFinder_);
  }

  // A form that the finder knows, read from the stream.
  std::unique_ptr<TFlForm> LiveForm(const Bytes& bytes) {
    auto form = std::make_unique<TFlForm>(nullptr);
    liveRoots.push_back(form.get());
    auto stream = bytes.Stream();
    try {
      ReadComponentFromStream(*stream, form.get());
    } catch (...) {
      liveRoots.pop_back();
      throw;
    }
    return form;
  }

  Log log_;
  TGlobalComponentFinder previousFinder_ = nullptr;
};

TEST_F(FormLoadingTest, ReferenceToAnotherFormWaitsUntilThatFormIsRead) {
  auto formA = LiveForm(FormWithReference("FormA", "Form2.Button1"));
  TFlButton* button = formA->Button1;
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->target, nullptr);
  EXPECT_TRUE(button->HasState(stFixups));
  ASSERT_EQ(PendingReferenceList().Count(), 1u);
  const TPropFixup record = PendingReferenceList().Records()[0];
  EXPECT_EQ(record.object, button);
  EXPECT_EQ(record.instanceRoot, formA.get());
  EXPECT_EQ(record.rootName, "Form2");
  EXPECT_EQ(record.name, "Button1");

  // Another form read meanwhile changes nothing.
  auto formB = LiveForm(FormWithReference("FormB", "FormA.Button1"));
  EXPECT_EQ(formB->Button1->target, formA->Button1);
  EXPECT_EQ(button->target, nullptr);
  EXPECT_EQ(PendingReferenceList().Count(), 1u);

  auto form2 = LiveForm(FormWithReference("Form2", "Nothing"));
  EXPECT_EQ(button->target, form2->Button1);
  EXPECT_FALSE(button->HasState(stFixups));
  EXPECT_EQ(PendingReferenceList().Count(), 0u);
}

TEST_F(FormLoadingTest, PendingReferenceWhosePropertyWasSetIsGivenUp) {
  auto formA = LiveForm(FormWithReference("FormA", "Form2.Button1"));
  TFlButton other(nullptr);
  formA->Button1->target = &other;
  ResolveGlobalReferences();
  EXPECT_EQ(formA->Button1->target, &other);
  EXPECT_EQ(PendingReferenceList().Count(), 0u);
  EXPECT_FALSE(formA->Button1->HasState(stFixups));
}

TEST_F(FormLoadingTest, WithoutAFinderNothingIsResolvedAndRootsStayUnnamed) {
  SetGlobalComponentFinder(nullptr);
  EXPECT_EQ(MakeUniqueRootName("Form2"), "");
  auto form = LiveForm(FormWithReference("Form2", "Form3.Button1"));
  EXPECT_EQ(form->Name(), "");
  ASSERT_NE(form->Button1, nullptr);
  ResolveGlobalReferences();
  EXPECT_EQ(PendingReferenceList().Count(), 1u);
}

TEST_F(FormLoadingTest, SecondFormOfAClassGetsANumberedName) {
  auto first = LiveForm(FormWithReference("Form2", "Button1"));
  auto second = LiveForm(FormWithReference("Form2", "Button1"));
  EXPECT_EQ(first->Name(), "Form2");
  EXPECT_EQ(second->Name(), "Form2_1");
  EXPECT_EQ(MakeUniqueRootName("form2"), "form2_2");
  EXPECT_EQ(MakeUniqueRootName("Form3"), "Form3");
  // References inside a form are looked up in that form.
  EXPECT_EQ(second->Button1->target, second->Button1);
}

TEST_F(FormLoadingTest, DestroyedObjectsAndDroppedRootsLeaveNoReferences) {
  auto formA = LiveForm(FormWithReference("FormA", "Form2.Button1"));
  auto formB = LiveForm(FormWithReference("FormB", "Form3.Button1"));
  auto formC = LiveForm(FormWithReference("FormC", "Form3.Button1"));
  ASSERT_EQ(PendingReferenceList().Count(), 3u);

  DropGlobalReferences(formB.get(), "FORM2");  // nothing of FormB waits for Form2
  EXPECT_EQ(PendingReferenceList().Count(), 3u);
  DropGlobalReferences(nullptr, "form3");
  EXPECT_EQ(PendingReferenceList().Count(), 1u);

  FreeIfPresent(formA->Button1);
  EXPECT_EQ(PendingReferenceList().Count(), 0u);
}

// A root that the read itself made takes its own references with it when the
// read fails; the references of other forms keep waiting.
TEST_F(FormLoadingTest, FailedRootReadDropsOnlyItsOwnReferences) {
  RegisterStreamClass(TFlForm::StaticClassInfo());
  auto formA = LiveForm(FormWithReference("FormA", "Form2.Button1"));
  const int before = liveForms;
  Bytes failing;
  failing.Signature().Object("TFlForm", "FormB").End();
  failing.Object("TFlButton", "Button1").Prop("Target").Ident("Form3.Button1").End().End();
  failing.Object("TFlButton", "Button2").Prop("FailAfterLoad").Raw({9}).End().End();
  failing.End();
  EXPECT_THROW(ReadComponentFromStream(*failing.Stream(), nullptr), EInvalidOperation);
  EXPECT_EQ(liveForms, before);
  ASSERT_EQ(PendingReferenceList().Count(), 1u);
  EXPECT_EQ(PendingReferenceList().Records()[0].object, formA->Button1);
}

TEST_F(FormLoadingTest, RootOfTheStreamsClassWhenNoneIsGiven) {
  RegisterStreamClass(TFlForm::StaticClassInfo());
  const int before = liveForms;
  Bytes good;
  good.Signature().Object("TFlForm", "Made").End().Object("TFlButton", "Button1").End().End().End();
  auto stream = good.Stream();
  std::unique_ptr<TComponent> made(ReadComponentFromStream(*stream, nullptr));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ClassType().name, std::string("TFlForm"));
  EXPECT_EQ(made->Name(), "Made");
  EXPECT_EQ(made->OwnedCount(), 1);
  EXPECT_EQ(log_, (Log{"Made", "Button1"}));
  made.reset();

  Bytes unknown;
  unknown.Signature().Object("TFlNowhere", "X").End().End();
  auto unknownStream = unknown.Stream();
  EXPECT_EQ(test::MessageOf<EClassNotFound>([&] { ReadComponentFromStream(*unknownStream, nullptr); }),
            Sjis("クラス TFlNowhere が見つかりません"));

  // A root made by the read goes with the read's failure.
  Bytes bad;
  bad.Signature().Object("TFlForm", "Made").End().Object("TFlButton", "Button1").Prop("Nope").Int8(1);
  auto badStream = bad.End().End().End().Stream();
  EXPECT_THROW(ReadComponentFromStream(*badStream, nullptr), EReadError);
  EXPECT_EQ(liveForms, before);
}

TEST_F(FormLoadingTest, ReadingStopsAfterTheRootRecord) {
  Bytes bytes = FormWithReference("FormA", "Button1");
  const std::size_t size = bytes.Size();
  bytes.Raw({1, 2, 3});
  auto form = std::make_unique<TFlForm>(nullptr);
  auto stream = bytes.Stream();
  ReadComponentFromStream(*stream, form.get());
  EXPECT_EQ(stream->Position(), static_cast<std::int64_t>(size));
}

TEST_F(FormLoadingTest, SharedLoadNotifiesEverythingAtItsEnd) {
  auto first = std::make_unique<TFlForm>(nullptr);
  auto second = std::make_unique<TFlForm>(nullptr);
  BeginSharedLoading();
  TNotificationList* outer = CurrentSharedList();
  ASSERT_NE(outer, nullptr);
  ReadComponentFromStream(*FormWithReference("First", "Button1").Stream(), first.get());
  {
    // A load inside this one has its own list and gives this one back.
    BeginSharedLoading();
    ReadComponentFromStream(*FormWithReference("Second", "Button1").Stream(), second.get());
    NotifyLoadedList();
    EndSharedLoading();
  }
  EXPECT_EQ(CurrentSharedList(), outer);
  EXPECT_EQ(log_, (Log{"Second", "Button1"}));
  EXPECT_TRUE(first->HasState(stLoading));
  // Reading into the same root again, as for a class whose ancestor has a
  // resource too, lists the root and the inherited child once.
  Bytes derived;
  derived.Signature().Object("TFlForm", "First").End();
  derived.Raw({0xF1}).Object("TFlButton", "Button1").End().End().End();
  ReadComponentFromStream(*derived.Stream(), first.get());
  NotifyLoadedList();
  EndSharedLoading();
  EXPECT_EQ(CurrentSharedList(), nullptr);
  EXPECT_EQ(log_, (Log{"Second", "Button1", "First", "Button1"}));
  EXPECT_FALSE(first->HasState(stLoading));
}

TEST_F(FormLoadingTest, ComponentFreedByAnEarlierAfterLoadIsPassedOver) {
  Bytes bytes;
  bytes.Signature().Object("TFlForm", "FormA").End();
  bytes.Object("TFlButton", "Button1").End().End();
  bytes.Object("TFlButton", "Button2").End().End();
  bytes.End();
  auto form = std::make_unique<TFlForm>(nullptr);
  form->freeButton2 = true;
  ReadComponentFromStream(*bytes.Stream(), form.get());
  EXPECT_EQ(form->Button2, nullptr);
  EXPECT_EQ(log_, (Log{"FormA", "Button1"}));
}

TEST_F(FormLoadingTest, ClassWithoutResourcesReadsNothing) {
  TFlForm form(nullptr);
  EXPECT_FALSE(LoadInheritedResources(form, TComponent::StaticClassInfo()));
  EXPECT_FALSE(LoadInheritedResources(form, TFlForm::StaticClassInfo()));
  EXPECT_FALSE(ReadResourceInto("TFlNoSuchForm", form));
  EXPECT_EQ(form.Name(), "");
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(CurrentSharedList(), nullptr);
}

TEST_F(FormLoadingTest, FindByNamePath) {
  TFlForm root(nullptr);
  auto* panel = new TFlForm(&root);
  panel->Rename("Panel");
  auto* button = new TFlButton(panel);
  button->Rename("Button");
  struct Case {
    const char* path;
    TComponent* expected;
  };
  const Case cases[] = {
      {"Panel", panel},    {"panel.BUTTON", button}, {"Panel-Button", button}, {"Panel->Button", button},
      {"Panel.", panel},   {"Owner.Panel", panel},   {"Owner", &root},         {"Panel.Owner.Button", button},
      {"", nullptr},       {"Button", nullptr},      {"Panel.Nope", nullptr},  {".Panel", nullptr},
      {"Panel..", nullptr}};
  for (const Case& c : cases) EXPECT_EQ(FindByNamePath(&root, c.path), c.expected) << c.path;
  EXPECT_EQ(FindByNamePath(nullptr, "Panel"), nullptr);
}

TEST_F(FormLoadingTest, NameSpaceLockNestsForItsWriter) {
  TNameSpaceLock& lock = NameSpaceLock();
  lock.BeginWrite();
  lock.BeginWrite();
  lock.BeginRead();  // the writer reads under its own lock
  EXPECT_EQ(lock.WriteDepth(), 3);
  lock.EndRead();
  lock.EndWrite();
  EXPECT_TRUE(lock.HeldForWriting());

  std::atomic<bool> released{false};
  std::atomic<bool> acquiredAfterRelease{false};
  std::atomic<int> otherDepth{-1};
  std::thread other([&] {
    otherDepth = lock.WriteDepth();
    lock.BeginWrite();
    acquiredAfterRelease = released.load();
    lock.EndWrite();
  });
  // The other thread must wait for the last EndWrite, however long it is kept.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  released = true;
  lock.EndWrite();
  other.join();
  EXPECT_TRUE(acquiredAfterRelease);
  EXPECT_EQ(otherDepth, 0);
  EXPECT_FALSE(lock.HeldForWriting());

  // Readers share it and nest their reads.
  lock.BeginRead();
  lock.BeginRead();
  std::thread reader([&] {
    lock.BeginRead();
    lock.EndRead();
  });
  reader.join();
  lock.EndRead();
  lock.EndRead();
  lock.BeginWrite();
  EXPECT_EQ(lock.WriteDepth(), 1);
  lock.EndWrite();
}

}  // namespace
}  // namespace tw
