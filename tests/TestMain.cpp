// The test executables start the runtime the way the program does (floating-point
// policy, preallocated memory errors, fault translation) before any test runs.
#include <gmock/gmock.h>

#include "runtime/Runtime.h"

int main(int argc, char** argv) {
  tw::InitRuntime();
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
