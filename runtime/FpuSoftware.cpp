// A target without an x87: the policy is built into the software arithmetic
// (runtime/Extended.h), so there is no unit to reset and its control word is
// the policy's, every fault masked as the x87's would be.
#include "runtime/Fpu.h"

namespace tw {

void ResetFpu() {}

std::uint16_t CurrentFpuControlWord() { return kFpuPolicyWord | kFpuFaultMask; }

void CheckFpuStatus(std::uint16_t statusWord) {
  if (statusWord & ~kFpuPolicyWord & kFpuFaultMask) RaiseFpuFaults(statusWord);
}

}  // namespace tw
