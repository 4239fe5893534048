#include "runtime/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tw {
namespace {

// The undo step runs for every way out of the scope except a dismissed one.
TEST(ScopeFail, UndoesOnExceptionAndEarlyExitButNotWhenDismissed) {
  struct Case {
    const char* name;
    bool dismiss;
    bool fail;
    int undos;
  };
  const Case cases[] = {
      {"dismissed", true, false, 0},
      {"left without dismissing", false, false, 1},
      {"thrown before dismissing", false, true, 1},
  };
  for (const Case& c : cases) {
    int undos = 0;
    try {
      TScopeFail undo([&] { ++undos; });
      if (c.fail) throw std::runtime_error("step failed");
      if (c.dismiss) undo.Dismiss();
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(undos, c.undos) << c.name;
  }
}

// An undo that fails while the first failure unwinds must not end the
// program: the first failure is the one that arrives.
TEST(ScopeFail, AFailingUndoDuringAFailureLeavesTheFirstError) {
  try {
    TScopeFail undo([] { throw std::logic_error("undo failed"); });
    throw std::runtime_error("step failed");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "step failed");
  } catch (...) {
    ADD_FAILURE() << "the undo's error replaced the step's";
  }
  // Left without a failure, the undo's own error is not hidden.
  EXPECT_THROW({ TScopeFail undo([] { throw std::logic_error("undo failed"); }); }, std::logic_error);
}

TEST(ScopeExit, RunsOnBothWaysOutAndFlagScopeRestores) {
  int runs = 0;
  bool flag = false;
  try {
    TScopeExit step([&] { ++runs; });
    TFlagScope hold(flag);
    EXPECT_TRUE(flag);
    throw std::runtime_error("x");
  } catch (const std::runtime_error&) {
  }
  {
    TScopeExit step([&] { ++runs; });
  }
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(flag);
}

}  // namespace
}  // namespace tw
