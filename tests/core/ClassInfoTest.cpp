#include "core/ClassInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Component.h"
#include "runtime/Exceptions.h"

namespace tw {
namespace {

// The 255-byte name that the long-name lookups aim at.
const std::string& LongName() {
  static const std::string name(255, 'L');
  return name;
}

class TFieldA : public TComponent {
  TW_PUBLISHED_CLASS(TFieldA, TComponent)

 public:
  using TComponent::TComponent;
};
void TFieldA::Publish(Publisher&) {}

class TFieldB : public TComponent {
  TW_PUBLISHED_CLASS(TFieldB, TComponent)

 public:
  using TComponent::TComponent;
};
void TFieldB::Publish(Publisher&) {}

// Publishes under names that differ only in case, in a known order, so that the
// first-match rule and the parent-first rule show which entry a lookup found.
class TBaseHolder : public TComponent {
  TW_PUBLISHED_CLASS(TBaseHolder, TComponent)

 public:
  using TComponent::TComponent;
  TFieldA* Shared = nullptr;
  TFieldA* BaseOnly = nullptr;
  TFieldB* SHARED = nullptr;  // the same name as Shared: never found
  TFieldA* longField = nullptr;
  std::vector<std::string> calls;
  std::int32_t value = 1;
  std::int32_t VALUE = 2;
  void Click(TObject*) { calls.push_back("base Click"); }
  void CLICK(TObject*) { calls.push_back("base CLICK"); }
  void BaseClick(TObject*) { calls.push_back("BaseClick"); }
  void OnPaint(TMessage& m) { m.result = 1; }
  void OnSize(TMessage& m) { m.result = 2; }
};
void TBaseHolder::Publish(Publisher& p) {
  TW_FIELD(Shared);
  TW_FIELD(BaseOnly);
  TW_FIELD(SHARED);
  p.Field<&Self::longField>(LongName());
  TW_METHOD(Click);
  TW_METHOD(CLICK);
  TW_METHOD(BaseClick);
  p.PublishedMethod<&Self::BaseClick>(LongName(), &Self::BaseClick);
  TW_PROPERTY(Value, &Self::value, &Self::value);
  TW_PROPERTY(VALUE, &Self::VALUE, &Self::VALUE);
  TW_MESSAGE(0x000F, OnPaint);
  TW_MESSAGE(0x0005, OnSize);
}

class TDerivedHolder : public TBaseHolder {
  TW_PUBLISHED_CLASS(TDerivedHolder, TBaseHolder)

 public:
  using TBaseHolder::TBaseHolder;
  TFieldB* shared = nullptr;
  std::int32_t derivedValue = 3;
  void click(TObject*) { calls.push_back("derived click"); }
  void OnPaintAgain(TMessage& m) { m.result = 3; }
};
void TDerivedHolder::Publish(Publisher& p) {
  TW_FIELD(shared);
  TW_METHOD(click);
  p.Property<&Self::derivedValue, &Self::derivedValue>("vALUE");
  TW_MESSAGE(0x000F, OnPaintAgain);
}

// A class between the two that publishes nothing of its own.
class TSilentHolder : public TDerivedHolder {
  TW_CLASS(TSilentHolder, TDerivedHolder)

 public:
  using TDerivedHolder::TDerivedHolder;
};

TEST(NamesMatchTest, ClearsBitFiveOfEveryByte) {
  using namespace std::literals;
  struct Case {
    std::string_view a;
    std::string_view b;
    bool match;
  };
  const Case cases[] = {
      {"Label1", "LABEL1", true},
      {"NowVideo", "nowvideo", true},
      {"@", "`", true},  // 0x40 and 0x60
      {"[", "{", true},
      {"1", "\x11", true},
      {"", "", true},
      {"Label1", "Label", false},
      {"Label1", "Label2", false},
      {"a", "b", false},
      {"\xE0", "\xC0", true},
      {"\xE0", "\xE1", false},
      {"A\0"sv, "A "sv, true},  // 0x00 and 0x20
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NamesMatch(c.a, c.b), c.match) << c.a << " / " << c.b;
    EXPECT_EQ(NameKey(c.a) == NameKey(c.b), c.match) << c.a << " / " << c.b;
  }
}

TEST(ClassInfoTest, ClassNameMatchesNeverMatchesTheEmptyName) {
  const TClassInfo& cls = TBaseHolder::StaticClassInfo();
  EXPECT_TRUE(ClassNameMatches(cls, "tbaseholder"));
  EXPECT_TRUE(ClassNameMatches(cls, "TBASEHOLDER"));
  EXPECT_FALSE(ClassNameMatches(cls, "TBaseHolde"));
  EXPECT_FALSE(ClassNameMatches(cls, ""));
}

TEST(ClassInfoTest, FieldLookupStartsAtTheOwnClassAndTakesTheFirstMatch) {
  const TClassInfo& base = TBaseHolder::StaticClassInfo();
  const TClassInfo& derived = TDerivedHolder::StaticClassInfo();
  const TClassInfo& silent = TSilentHolder::StaticClassInfo();
  struct Case {
    const TClassInfo* cls;
    std::string name;
    std::string found;  // the published name of the entry, "" for none
    const TClassInfo* fieldClass;
  };
  const Case cases[] = {
      {&base, "shared", "Shared", &TFieldA::StaticClassInfo()},     // first of two in one table
      {&derived, "SHARED", "shared", &TFieldB::StaticClassInfo()},  // own class before the parent
      {&silent, "Shared", "shared", &TFieldB::StaticClassInfo()},   // a class without tables is passed
      {&derived, "baseonly", "BaseOnly", &TFieldA::StaticClassInfo()},
      {&derived, "Name", "", nullptr},  // a property, not a field
      {&derived, "", "", nullptr},
  };
  for (const Case& c : cases) {
    const TPublishedField* field = FindPublishedField(*c.cls, c.name);
    if (c.found.empty()) {
      EXPECT_EQ(field, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(field, nullptr) << c.name;
    EXPECT_EQ(field->name, c.found);
    EXPECT_EQ(field->fieldClass, c.fieldClass) << c.name;
  }
  // The field class table holds each class once, in first-use order.
  const TPublishedTables* tables = PublishedTablesOf(base);
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(tables->fieldClasses,
            (std::vector<const TClassInfo*>{&TFieldA::StaticClassInfo(), &TFieldB::StaticClassInfo()}));
  EXPECT_EQ(PublishedTablesOf(silent), nullptr);
}

TEST(ClassInfoTest, MethodAndPropertyLookupFollowTheSameOrder) {
  TSilentHolder holder(nullptr);
  struct Case {
    std::string name;
    std::string call;
  };
  const Case cases[] = {{"CLICK", "derived click"}, {"baseclick", "BaseClick"}};
  for (const Case& c : cases) {
    TMethodCode code = PublishedMethodAddress(holder.ClassType(), c.name);
    ASSERT_NE(code, nullptr) << c.name;
    TNotifyEvent event;
    event.handler = {code, &holder};
    event(&holder);
    EXPECT_EQ(holder.calls.back(), c.call);
  }
  // In the base class alone the first of Click and CLICK wins.
  TBaseHolder base(nullptr);
  TNotifyEvent event;
  event.handler = {PublishedMethodAddress(base.ClassType(), "click"), &base};
  event(&base);
  EXPECT_EQ(base.calls, (std::vector<std::string>{"base Click"}));
  EXPECT_EQ(PublishedMethodAddress(base.ClassType(), "Clic"), nullptr);
  EXPECT_EQ(FindPublishedMethod(base.ClassType(), "Click")->signature, &TypeInfoOf<TNotifyEvent>());

  const TPropInfo* own = FindPropertyInfo(holder.ClassType(), "value");
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->readOrdinal(holder, *own), 3);
  const TPropInfo* first = FindPropertyInfo(base.ClassType(), "value");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->readOrdinal(base, *first), 1);
  EXPECT_NE(FindPropertyInfo(holder.ClassType(), "tag"), nullptr);  // from TComponent
}

TEST(ClassInfoTest, MessageHandlersAreFoundUpTheChain) {
  TSilentHolder holder(nullptr);
  struct Case {
    std::uint16_t index;
    std::intptr_t result;
  };
  const Case cases[] = {{0x000F, 3}, {0x0005, 2}};
  for (const Case& c : cases) {
    const TMessageHandler* handler = FindMessageHandler(holder.ClassType(), c.index);
    ASSERT_NE(handler, nullptr) << c.index;
    TMessage m{c.index};
    handler->call(holder, m);
    EXPECT_EQ(m.result, c.result);
  }
  EXPECT_EQ(FindMessageHandler(holder.ClassType(), 0x0010), nullptr);
}

TEST(ClassInfoTest, NamesAreCutAt255BytesBeforeASearch) {
  const TClassInfo& cls = TDerivedHolder::StaticClassInfo();
  struct Case {
    std::string name;
    bool found;
  };
  const Case cases[] = {
      {LongName(), true},
      {LongName() + "tail that is cut off", true},
      {std::string(255, 'l') + "x", true},
      {LongName().substr(1), false},
      {std::string(254, 'L') + "M" + "L", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindPublishedField(cls, c.name) != nullptr, c.found) << c.name.size();
    EXPECT_EQ(PublishedMethodAddress(cls, c.name) != nullptr, c.found) << c.name.size();
  }
}

TEST(ClassInfoTest, FieldBindingRefusesAnObjectOfTheWrongClass) {
  TBaseHolder holder(nullptr);
  TFieldA a(nullptr);
  TFieldB b(nullptr);

  EXPECT_TRUE(SetPublishedField(holder, "shared", &a));
  EXPECT_EQ(holder.Shared, &a);
  EXPECT_TRUE(SetPublishedField(holder, "Shared", &b));  // a TFieldB does not fit a TFieldA field
  EXPECT_EQ(holder.Shared, &a);
  EXPECT_EQ(holder.SHARED, nullptr);
  EXPECT_TRUE(SetPublishedField(holder, "SHARED", nullptr));
  EXPECT_EQ(holder.Shared, nullptr);
  EXPECT_FALSE(SetPublishedField(holder, "Missing", &a));

  const TPublishedField* field = FindPublishedField(holder.ClassType(), "BaseOnly");
  field->set(holder, &a);
  EXPECT_EQ(field->get(holder), &a);
}

}  // namespace
}  // namespace tw
