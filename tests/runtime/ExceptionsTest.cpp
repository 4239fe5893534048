#include "runtime/Exceptions.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/TestSupport.h"

namespace tw {
namespace {

TEST(Exception, IsMadeFromTextFormatIdOrIdWithArguments) {
  EXPECT_EQ(Exception("plain").Message(), "plain");
  EXPECT_EQ(Exception("%d-%s", {7, "x"}).Message(), "7-x");
  EXPECT_EQ(EZeroDivide(msg::ZeroDivide).Message(), test::Sjis("0 による浮動小数点数除算"));
  EXPECT_EQ(EConvertError(msg::InvalidInteger, {"ab"}).Message(), test::Sjis("'ab' は整数ではありません"));
  Exception e("first");
  e.SetMessage("second");
  EXPECT_EQ(e.Message(), "second");
  EXPECT_EQ(e.HelpContext(), 0);
}

TEST(Exception, ClassRecordsFollowTheTree) {
  struct Case {
    std::unique_ptr<Exception> object;
    const char* name;
    const char* parent;
  };
  Case cases[] = {
      {std::make_unique<EOutOfResources>("x"), "EOutOfResources", "EOutOfMemory"},
      {std::make_unique<EDivByZero>("x"), "EDivByZero", "EIntError"},
      {std::make_unique<EZeroDivide>("x"), "EZeroDivide", "EMathError"},
      {std::make_unique<EReadError>("x"), "EReadError", "EFilerError"},
      {std::make_unique<EClassNotFound>("x"), "EClassNotFound", "EFilerError"},
      {std::make_unique<EFilerError>("x"), "EFilerError", "EStreamError"},
      {std::make_unique<EAccessViolation>("x"), "EAccessViolation", "EExternal"},
      {std::make_unique<EConvertError>("x"), "EConvertError", "Exception"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.object->ClassName(), c.name);
    EXPECT_STREQ(c.object->ClassType().parent->name, c.parent);
    EXPECT_TRUE(c.object->InheritsFrom(Exception::StaticClassInfo()));
    EXPECT_TRUE(c.object->InheritsFrom(TObject::StaticClassInfo()));
  }
  EXPECT_FALSE(EDivByZero("x").InheritsFrom(EMathError::StaticClassInfo()));
}

TEST(Exception, ThrowRaisesTheMostDerivedClassThroughABaseReference) {
  std::unique_ptr<Exception> error = std::make_unique<EZeroDivide>("div");
  try {
    error->Throw();
  } catch (const EMathError& e) {
    EXPECT_STREQ(e.ClassName(), "EZeroDivide");
    EXPECT_EQ(e.Message(), "div");
    return;
  }
  FAIL();
}

TEST(Exception, MathHandlersCatchFloatingFaultsButNotIntegerOnes) {
  auto caughtAsMath = [](const Exception& e) {
    try {
      e.Throw();
    } catch (const EMathError&) {
      return true;
    } catch (const Exception&) {
    }
    return false;
  };
  EXPECT_TRUE(caughtAsMath(EZeroDivide("")));
  EXPECT_TRUE(caughtAsMath(EInvalidOp("")));
  EXPECT_TRUE(caughtAsMath(EOverflow("")));
  EXPECT_TRUE(caughtAsMath(EUnderflow("")));
  EXPECT_FALSE(caughtAsMath(EDivByZero("")));
}

TEST(Exception, MemoryErrorsArePreallocatedAndNeverFreedByHandlers) {
  EXPECT_EQ(PreallocatedOutOfMemory().Message(), test::Sjis("メモリが足りません"));
  EXPECT_EQ(PreallocatedInvalidPointer().Message(), test::Sjis("無効なポインタ操作"));
  EXPECT_FALSE(PreallocatedOutOfMemory().MayBeFreed());
  try {
    RaiseOutOfMemory();
  } catch (const EOutOfMemory& e) {
    EXPECT_FALSE(e.MayBeFreed());
    // The raised copy shares the preallocated message rather than allocating one.
    EXPECT_EQ(&e.Message(), &PreallocatedOutOfMemory().Message());
  }
  EXPECT_THROW(RaiseInvalidPointer(), EInvalidPointer);
  EXPECT_TRUE(EOutOfMemory("fresh").MayBeFreed());
}

TEST(Exception, AbstractCallError) {
  try {
    RaiseAbstractError();
  } catch (const EAbstractError& e) {
    EXPECT_EQ(e.Message(), test::Sjis("Abstract エラー"));
  }
}

}  // namespace
}  // namespace tw
