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
