// The floating-point fault policy and the checked extended-precision operations
// that enforce it.
//
// The policy word is 0x1332: invalid operation, division by zero and overflow
// raise; denormal operand, underflow and inexact result do not; 64-bit precision,
// rounding to nearest. The processor itself runs with every fault masked and the
// operations below test the status word after each step, raising the policy's
// faults at once. A computation therefore stops exactly at the faulting step, and
// no unmasked fault can ever go off inside platform code.
#pragma once

#include <cstdint>

namespace tw {

inline constexpr std::uint16_t kFpuPolicyWord = 0x1332;

// Whether the target has the x87 (and the fpu:: operations below); elsewhere
// the software arithmetic of runtime/Extended.h is the only one.
#if defined(__i386__) || defined(__x86_64__)
#define TW_HAS_X87 1
#else
#define TW_HAS_X87 0
#endif

// The fault flags of the x87 status word (the same bits mask them in the control
// word). The software arithmetic of runtime/Extended.h reports its faults in these.
inline constexpr std::uint16_t kFpuInvalid = 0x01;
inline constexpr std::uint16_t kFpuDenormal = 0x02;
inline constexpr std::uint16_t kFpuZeroDivide = 0x04;
inline constexpr std::uint16_t kFpuOverflow = 0x08;
inline constexpr std::uint16_t kFpuUnderflow = 0x10;
inline constexpr std::uint16_t kFpuInexact = 0x20;
inline constexpr std::uint16_t kFpuFaultMask = 0x3F;

// Full reset of the floating-point unit, then the policy's precision, rounding and
// infinity control (with every fault masked in the processor).
void ResetFpu();

// The processor's current control word.
std::uint16_t CurrentFpuControlWord();

// Raises the exception that the policy assigns to the fault flags of an x87 status
// word (EInvalidOp, EZeroDivide, EOverflow), after clearing the flags; returns
// when none of the raising flags is set.
void CheckFpuStatus(std::uint16_t statusWord);

// The policy's half of that without touching the processor: raises for fault
// flags, invalid operation first, then division by zero, then overflow; returns
// when none of the raising flags is set. It has no processor code, so it is
// defined with the software arithmetic (Extended.cpp) and serves targets that
// have no x87 as well.
void RaiseFpuFaults(std::uint16_t faultFlags);

// Checked extended-precision arithmetic: each runs one operation with cleared
// fault flags and raises per the policy.
namespace fpu {
long double Add(long double a, long double b);
long double Sub(long double a, long double b);
long double Mul(long double a, long double b);
long double Div(long double a, long double b);
// Rounds to an IEEE double, as storing an intermediate does.
double Store(long double value);
// Truncates toward zero into a signed 64-bit integer: the rounding field is set to
// chop for the conversion and restored after it; a value outside the 64-bit range,
// an infinity or a NaN is an invalid operation.
std::int64_t TruncateToInt64(long double value);
// The same conversion, raising nothing: the status word after it goes to sw.
std::int64_t TruncateToInt64(long double value, std::uint16_t& sw);
}  // namespace fpu

}  // namespace tw
