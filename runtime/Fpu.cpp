#include "runtime/Fpu.h"

namespace tw {

namespace {

void ClearFaults() { asm volatile("fnclex" ::: "memory"); }

std::uint16_t StatusWord() {
  std::uint16_t sw;
  asm volatile("fnstsw %0" : "=m"(sw)::"memory");
  return sw;
}

}  // namespace

void ResetFpu() {
  std::uint16_t cw = kFpuPolicyWord | kFpuFaultMask;
  asm volatile("fninit\n\tfldcw %0" ::"m"(cw) : "memory");
}

std::uint16_t CurrentFpuControlWord() {
  std::uint16_t cw;
  asm volatile("fnstcw %0" : "=m"(cw)::"memory");
  return cw;
}

void CheckFpuStatus(std::uint16_t statusWord) {
  if (!(statusWord & ~kFpuPolicyWord & kFpuFaultMask)) return;
  ClearFaults();
  RaiseFpuFaults(statusWord);
}

namespace fpu {

// The operands and result go through volatile storage so that the compiler can
// neither fold the operation nor move it across the status-word accesses.
#define TW_CHECKED_OPERATION(Name, op)             \
  long double Name(long double a, long double b) { \
    volatile long double x = a, y = b;             \
    ClearFaults();                                 \
    volatile long double r = x op y;               \
    CheckFpuStatus(StatusWord());                  \
    return r;                                      \
  }
TW_CHECKED_OPERATION(Add, +)
TW_CHECKED_OPERATION(Sub, -)
TW_CHECKED_OPERATION(Mul, *)
TW_CHECKED_OPERATION(Div, /)
#undef TW_CHECKED_OPERATION

double Store(long double value) {
  volatile long double x = value;
  ClearFaults();
  volatile double r = static_cast<double>(x);
  CheckFpuStatus(StatusWord());
  return r;
}

std::int64_t TruncateToInt64(long double value, std::uint16_t& sw) {
  std::int64_t result;
  std::uint16_t saved, chop;
  asm volatile(
      "fnclex\n\t"
      "fnstcw %[saved]\n\t"
      "movw %[saved], %%ax\n\t"
      "orw $0x0C00, %%ax\n\t"
      "movw %%ax, %[chop]\n\t"
      "fldcw %[chop]\n\t"
      "fistpll %[result]\n\t"
      "fldcw %[saved]\n\t"
      "fnstsw %[sw]"
      : [result] "=m"(result), [saved] "=m"(saved), [chop] "=m"(chop), [sw] "=m"(sw)
      : "t"(value)
      : "st", "ax", "memory");
  return result;
}

std::int64_t TruncateToInt64(long double value) {
  std::uint16_t sw;
  const std::int64_t result = TruncateToInt64(value, sw);
  CheckFpuStatus(sw);
  return result;
}

}  // namespace fpu

}  // namespace tw
