// The x87 extended-precision format in software, giving the processor's results
// bit for bit on targets that have no x87 (or whose long double is another type).
//
// A value is the 80-bit pattern itself: sign, 15-bit biased exponent and a 64-bit
// significand with an explicit integer bit. Every pattern can be held, including
// the ones the processor refuses as operands (unnormals, pseudo-infinities and
// pseudo-NaNs), which the operations treat as it does: an invalid operation.
//
// The operations behave as the processor under the policy word of runtime/Fpu.h
// with every fault masked: 64-bit precision, rounding to nearest even, denormal
// results, the real indefinite (a negative quiet NaN) for invalid operations and
// the processor's choice among NaN operands. Each comes in two forms: one that
// adds the step's fault flags (the status-word bits kFpu*) to a status word and
// returns the masked result, and a checked one that raises per the policy as the
// fpu:: operations do.
#pragma once

#include <cstdint>

namespace tw {

class Extended {
 public:
  // Positive zero.
  constexpr Extended() = default;
  // Exact conversions, as loading the operand onto the x87 stack does; a
  // signalling NaN comes out quiet. Implicit, like the widening to long double.
  Extended(std::int32_t value);
  Extended(double value);
  Extended(float value);

  static constexpr Extended FromBits(std::uint16_t signExponent, std::uint64_t significand) {
    Extended x;
    x.signExponent_ = signExponent;
    x.significand_ = significand;
    return x;
  }
  constexpr std::uint16_t SignExponent() const { return signExponent_; }
  constexpr std::uint64_t Significand() const { return significand_; }

  // Identity of the bit patterns (so +0 differs from -0 and a NaN equals itself).
  friend constexpr bool operator==(const Extended&, const Extended&) = default;

 private:
  std::uint64_t significand_ = 0;
  std::uint16_t signExponent_ = 0;
};

namespace extended {

// Masked forms: the result the processor gives with every fault masked; the
// step's fault flags are added to status.
Extended Add(Extended a, Extended b, std::uint16_t& status);
Extended Sub(Extended a, Extended b, std::uint16_t& status);
Extended Mul(Extended a, Extended b, std::uint16_t& status);
Extended Div(Extended a, Extended b, std::uint16_t& status);
// Rounding to an IEEE double or single, as storing the value does.
double StoreDouble(Extended value, std::uint16_t& status);
float StoreFloat(Extended value, std::uint16_t& status);
// Toward zero; outside the 64-bit range, infinities and NaNs are invalid and give
// the integer indefinite (the most negative value).
std::int64_t TruncateToInt64(Extended value, std::uint16_t& status);

// Checked forms, raising EInvalidOp, EZeroDivide or EOverflow per the policy.
Extended Add(Extended a, Extended b);
Extended Sub(Extended a, Extended b);
Extended Mul(Extended a, Extended b);
Extended Div(Extended a, Extended b);
double Store(Extended value);
float StoreFloat(Extended value);
std::int64_t TruncateToInt64(Extended value);

}  // namespace extended

}  // namespace tw
