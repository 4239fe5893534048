// A short soak in the ordinary test run; scripts/soak.sh runs the long one
// through the same test with TW_SOAK_ACTIONS (and TW_SOAK_SEED to repeat a run).
#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "tests/e2e/Driver.h"
#include "tests/e2e/Soak.h"

namespace tw::e2e {
namespace {

using namespace std::chrono_literals;

unsigned long Setting(const char* name, unsigned long fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

TEST(Soak, RandomUserActionsLeaveTheProgramAsItWas) {
  const int actions = static_cast<int>(Setting("TW_SOAK_ACTIONS", 300));
  const auto seed = static_cast<std::uint32_t>(Setting("TW_SOAK_SEED", std::random_device{}()));
  std::cout << "soak: " << actions << " actions, TW_SOAK_SEED=" << seed << std::endl;

  // The pointer stays off the program, so no hint comes and goes by chance.
  Program::MovePointer(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  Program program(TarnwickPath());
  // Everything made once and kept (the first about box's classes, the
  // combo lists) exists before the counts are taken.
  program.Click(Field::Calc);
  program.ChooseMenuItem(1, 4, 'h', 'a');
  program.CloseAboutBox(program.WaitAboutBox());
  // The first question a screen reader asks opens the program's COM apartment
  // (a window of its own) for good.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAccessible* asked = nullptr;
  if (SUCCEEDED(AccessibleObjectFromWindow(program.Window(Field::Time), OBJID_CLIENT, IID_IAccessible,
                                           reinterpret_cast<void**>(&asked))))
    asked->Release();
  const ProcessCounts before = program.Counts();

  SoakTally tally;
  try {
    tally = RunSoak(program, actions, seed, std::cout);
  } catch (const DriverError& e) {
    FAIL() << e.what() << " (TW_SOAK_SEED=" << seed << ")";
  }
  std::cout << "soak: " << tally.clicks << " clicks, " << tally.aboutBoxes << " about boxes, " << tally.messageBoxes
            << " invalid-operation reports, " << tally.questions << " screen-reader questions" << std::endl;

  const ProcessCounts after = program.Counts();
  // Wine answers 0 for both object counts; the window count still tells.
  std::cout << "soak: windows " << before.windows << " -> " << after.windows << ", GDI objects " << before.gdiObjects
            << " -> " << after.gdiObjects << ", USER objects " << before.userObjects << " -> " << after.userObjects
            << std::endl;
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.userObjects, before.userObjects);
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(program.Close(), 0u);
  CoUninitialize();
}

}  // namespace
}  // namespace tw::e2e
