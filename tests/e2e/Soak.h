// Random user actions against a running program: typing any bytes into any
// field, clicks, menu commands, the about box, focus moves and combo choices.
#pragma once

#include <cstdint>
#include <ostream>

#include "tests/e2e/Driver.h"

namespace tw::e2e {

struct SoakTally {
  int actions = 0;
  int clicks = 0;
  int aboutBoxes = 0;
  int messageBoxes = 0;  // the invalid-operation report, the only one allowed
  int questions = 0;     // a screen reader's questions about a field
};

// Runs the actions, checking after each that the program is alive, answers
// and shows no message box but the documented one (which it closes). Throws
// DriverError at the first failure, naming the action, its number and the seed.
SoakTally RunSoak(Program& program, int actions, std::uint32_t seed, std::ostream& log);

}  // namespace tw::e2e
