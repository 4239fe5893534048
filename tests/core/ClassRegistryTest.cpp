#include "core/ClassRegistry.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/Component.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {

// Two unrelated classes that share one class name.
namespace first {
class TTwin : public TComponent {
  TW_PUBLISHED_CLASS(TTwin, TComponent)

 public:
  using TComponent::TComponent;
};
void TTwin::Publish(Publisher&) {}
}  // namespace first

namespace second {
class TTwin : public TComponent {
  TW_PUBLISHED_CLASS(TTwin, TComponent)

 public:
  using TComponent::TComponent;
};
void TTwin::Publish(Publisher&) {}
}  // namespace second

namespace {

using test::Sjis;

class TRegA : public TComponent {
  TW_PUBLISHED_CLASS(TRegA, TComponent)

 public:
  using TComponent::TComponent;
};
void TRegA::Publish(Publisher&) {}

class TRegB : public TRegA {
  TW_PUBLISHED_CLASS(TRegB, TRegA)

 public:
  using TRegA::TRegA;
};
void TRegB::Publish(Publisher&) {}

class TRegC : public TComponent {
  TW_PUBLISHED_CLASS(TRegC, TComponent)

 public:
  using TComponent::TComponent;
};
void TRegC::Publish(Publisher&) {}

class TReg_2 : public TComponent {
  TW_PUBLISHED_CLASS(TReg_2, TComponent)

 public:
  using TComponent::TComponent;
};
void TReg_2::Publish(Publisher&) {}

// A class whose parent's name is taken by another class.
class TTwinChild : public second::TTwin {
  TW_PUBLISHED_CLASS(TTwinChild, second::TTwin)

 public:
  using second::TTwin::TTwin;
};
void TTwinChild::Publish(Publisher&) {}

// A form publishing fields of classes nobody registers.
class TFieldForm : public TComponent {
  TW_PUBLISHED_CLASS(TFieldForm, TComponent)

 public:
  using TComponent::TComponent;
  first::TTwin* Twin1 = nullptr;
  TRegC* RegC1 = nullptr;
  TReg_2* Reg1 = nullptr;
};
void TFieldForm::Publish(Publisher& p) {
  TW_FIELD(Twin1);
  TW_FIELD(RegC1);
  TW_FIELD(Reg1);
}

class TFieldFormChild : public TFieldForm {
  TW_PUBLISHED_CLASS(TFieldFormChild, TFieldForm)

 public:
  using TFieldForm::TFieldForm;
  second::TTwin* Twin2 = nullptr;
};
void TFieldFormChild::Publish(Publisher& p) { TW_FIELD(Twin2); }

// Hand-made records whose names differ only in bit 5 of one byte.
const TClassInfo bracketClass{"TBit[", &TComponent::StaticClassInfo(), sizeof(TComponent)};
const TClassInfo braceClass{"TBit{", &TComponent::StaticClassInfo(), sizeof(TComponent)};
const TClassInfo shadowedClass{"TShadowed", &TComponent::StaticClassInfo(), sizeof(TComponent)};
const TClassInfo aliasTakenClass{"TAliasTaken", &TComponent::StaticClassInfo(), sizeof(TComponent)};

std::string DuplicateClass(const std::string& name) { return Sjis("クラス名 " + name + " はすでに使われています"); }

// The registry lives for the whole run; every test takes its classes out again.
class ClassRegistryTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const TClassInfo* cls :
         {&TRegA::StaticClassInfo(), &TRegB::StaticClassInfo(), &TRegC::StaticClassInfo(),
          &first::TTwin::StaticClassInfo(), &second::TTwin::StaticClassInfo(), &TTwinChild::StaticClassInfo(),
          &bracketClass, &braceClass, &shadowedClass, &aliasTakenClass})
      UnregisterStreamClass(*cls);
  }
};

TEST_F(ClassRegistryTest, RegisteringTakesTheAncestorsUpToTPersistent) {
  EXPECT_EQ(LookupClass("TRegB"), nullptr);
  RegisterStreamClass(TRegB::StaticClassInfo());
  struct Case {
    std::string name;
    const TClassInfo* cls;
  };
  const Case cases[] = {{"TRegB", &TRegB::StaticClassInfo()},
                        {"tregb", &TRegB::StaticClassInfo()},
                        {"TREGA", &TRegA::StaticClassInfo()},
                        {"TComponent", &TComponent::StaticClassInfo()},
                        {"TPersistent", &TPersistent::StaticClassInfo()},
                        {"TObject", nullptr},
                        {"TRegC", nullptr},
                        {"TReg", nullptr},
                        {"", nullptr}};
  for (const Case& c : cases) EXPECT_EQ(LookupClass(c.name), c.cls) << c.name;

  // Registering again changes nothing and raises nothing.
  RegisterStreamClasses({&TRegA::StaticClassInfo(), &TRegB::StaticClassInfo()});
  EXPECT_EQ(&RequireClass("TRegA"), &TRegA::StaticClassInfo());
}

TEST_F(ClassRegistryTest, RequireClassNamesTheMissingClass) {
  EXPECT_EQ(test::MessageOf<EClassNotFound>([] { RequireClass("TNowhere"); }),
            Sjis("クラス TNowhere が見つかりません"));
  EXPECT_EQ(test::MessageOf<EClassNotFound>([] { RequireClass(""); }), Sjis("クラス  が見つかりません"));
}

TEST_F(ClassRegistryTest, ADuplicateNameStopsRegistrationButKeepsEarlierClasses) {
  RegisterStreamClass(first::TTwin::StaticClassInfo());
  EXPECT_EQ(test::MessageOf<EFilerError>([] {
              RegisterStreamClasses(
                  {&TRegA::StaticClassInfo(), &second::TTwin::StaticClassInfo(), &TRegC::StaticClassInfo()});
            }),
            DuplicateClass("TTwin"));
  EXPECT_EQ(LookupClass("TRegA"), &TRegA::StaticClassInfo());
  EXPECT_EQ(LookupClass("TTwin"), &first::TTwin::StaticClassInfo());
  EXPECT_EQ(LookupClass("TRegC"), nullptr);

  // The class itself is registered before its parent's name collides.
  EXPECT_THROW(RegisterStreamClass(TTwinChild::StaticClassInfo()), EFilerError);
  EXPECT_EQ(LookupClass("TTwinChild"), &TTwinChild::StaticClassInfo());
  EXPECT_EQ(LookupClass("TTwin"), &first::TTwin::StaticClassInfo());
}

TEST_F(ClassRegistryTest, NamesCollideByTheBitFiveRule) {
  RegisterStreamClass(bracketClass);
  EXPECT_EQ(LookupClass("tbit{"), &bracketClass);
  EXPECT_EQ(test::MessageOf<EFilerError>([] { RegisterStreamClass(braceClass); }), DuplicateClass("TBit{"));
  UnregisterStreamClass(bracketClass);
  EXPECT_EQ(LookupClass("TBit["), nullptr);
  RegisterStreamClass(braceClass);
  EXPECT_EQ(LookupClass("TBIT["), &braceClass);
}

TEST_F(ClassRegistryTest, AliasesAreConsultedAfterTheRegisteredNames) {
  // Aliases stay for the whole run, so these names belong to this test alone.
  RegisterClassAlias(TRegA::StaticClassInfo(), "TOldRegName");
  EXPECT_EQ(LookupClass("toldregname"), &TRegA::StaticClassInfo());
  EXPECT_EQ(&RequireClass("TOldRegName"), &TRegA::StaticClassInfo());

  RegisterStreamClass(shadowedClass);
  RegisterClassAlias(TRegA::StaticClassInfo(), "TShadowed");
  EXPECT_EQ(LookupClass("TShadowed"), &shadowedClass);

  // A name taken by an alias cannot be registered.
  RegisterClassAlias(TRegA::StaticClassInfo(), "TAliasTaken");
  EXPECT_EQ(test::MessageOf<EFilerError>([] { RegisterStreamClass(aliasTakenClass); }), DuplicateClass("TAliasTaken"));
  EXPECT_EQ(LookupClass("TAliasTaken"), &TRegA::StaticClassInfo());
}

TEST_F(ClassRegistryTest, FieldClassesComeBeforeTheRegistry) {
  TFieldFormChild child(nullptr);
  TFieldForm parent(nullptr);
  RegisterStreamClass(TRegB::StaticClassInfo());
  struct Case {
    const TObject* instance;
    std::string name;
    const TClassInfo* cls;
  };
  const Case cases[] = {
      {&child, "TTwin", &second::TTwin::StaticClassInfo()},    // the nearest class's table first
      {&parent, "ttwin", &first::TTwin::StaticClassInfo()},    // without registration
      {&child, "TREGC", &TRegC::StaticClassInfo()},            // from the parent's table
      {&child, "treg_2", &TReg_2::StaticClassInfo()},          // ASCII letters without case
      {&child, "TReg\x7F\x12", nullptr},                       // but no other byte pair of the bit-5 rule
      {&child, "TRegB", &TRegB::StaticClassInfo()},            // registered
      {&child, "TComponent", &TComponent::StaticClassInfo()},  // registered with TRegB
      {&child, "TNowhere", nullptr},
      {&child, "", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(FieldClassByName(*c.instance, c.name), c.cls) << c.name;
}

}  // namespace
}  // namespace tw
