#include "runtime/Extended.h"
#include "runtime/BitCast.h"

#include <bit>
#include <utility>

#include "runtime/Exceptions.h"
#include "runtime/Fpu.h"

namespace tw {

void RaiseFpuFaults(std::uint16_t faultFlags) {
  const std::uint16_t raising = faultFlags & ~kFpuPolicyWord & kFpuFaultMask;
  if (raising & kFpuInvalid) throw EInvalidOp(msg::InvalidOp);
  if (raising & kFpuZeroDivide) throw EZeroDivide(msg::ZeroDivide);
  if (raising & kFpuOverflow) throw EOverflow(msg::Overflow);
}

namespace {

constexpr int kExtendedBias = 16383;
constexpr std::uint16_t kSpecialExponent = 0x7FFF;
constexpr std::uint64_t kIntegerBit = 1ull << 63;
constexpr std::uint64_t kQuietBit = 1ull << 62;

// What the processor gives for an invalid operation: the real indefinite.
constexpr Extended kIndefinite = Extended::FromBits(0xFFFF, 0xC000'0000'0000'0000);

Extended Infinity(bool negative) {
  return Extended::FromBits(static_cast<std::uint16_t>(negative << 15 | kSpecialExponent), kIntegerBit);
}
Extended Zero(bool negative) { return Extended::FromBits(static_cast<std::uint16_t>(negative << 15), 0); }

enum class Kind { Zero, Finite, Infinity, QuietNaN, SignallingNaN, Unsupported };

// An operand taken apart. A finite value is normalized: its significand has the
// top bit set and it is significand × 2^(exponent − 63), whatever its encoding.
struct Unpacked {
  Kind kind;
  bool negative;
  bool denormal;
  int exponent;
  std::uint64_t significand;
};

Unpacked Unpack(Extended x) {
  Unpacked u{Kind::Finite, (x.SignExponent() >> 15) != 0, false, 0, x.Significand()};
  const int biased = x.SignExponent() & kSpecialExponent;
  if (biased == kSpecialExponent) {
    // Without the integer bit these are the pseudo-infinities and pseudo-NaNs,
    // which the processor no longer accepts.
    if (!(u.significand & kIntegerBit))
      u.kind = Kind::Unsupported;
    else if (u.significand == kIntegerBit)
      u.kind = Kind::Infinity;
    else
      u.kind = u.significand & kQuietBit ? Kind::QuietNaN : Kind::SignallingNaN;
    return u;
  }
  if (biased == 0) {
    if (u.significand == 0) {
      u.kind = Kind::Zero;
      return u;
    }
    // Denormals, and the pseudo-denormals that have the integer bit set, both
    // weigh their top bit as the smallest normal exponent does.
    const int shift = std::countl_zero(u.significand);
    u.significand <<= shift;
    u.exponent = 1 - kExtendedBias - shift;
    u.denormal = true;
    return u;
  }
  // An unnormal: a nonzero exponent without the integer bit.
  if (!(u.significand & kIntegerBit)) u.kind = Kind::Unsupported;
  u.exponent = biased - kExtendedBias;
  return u;
}

bool IsNaN(const Unpacked& u) { return u.kind == Kind::QuietNaN || u.kind == Kind::SignallingNaN; }

Extended Quieted(Extended nan) { return Extended::FromBits(nan.SignExponent(), nan.Significand() | kQuietBit); }

// The operand checks that come before any arithmetic: an unsupported encoding
// gives the indefinite, a signalling NaN is invalid, and among NaNs the result is
// a quiet NaN operand if there is one, else the one with the larger significand
// (both made quiet). True when these decide the result.
bool DecidedByNaNs(const Unpacked& ua, const Unpacked& ub, Extended a, Extended b, Extended& result,
                   std::uint16_t& status) {
  if (ua.kind == Kind::Unsupported || ub.kind == Kind::Unsupported) {
    status |= kFpuInvalid;
    result = kIndefinite;
    return true;
  }
  if (!IsNaN(ua) && !IsNaN(ub)) return false;
  if (ua.kind == Kind::SignallingNaN || ub.kind == Kind::SignallingNaN) status |= kFpuInvalid;
  if (!IsNaN(ub))
    result = a;
  else if (!IsNaN(ua))
    result = b;
  else if (ua.kind != ub.kind)
    result = ua.kind == Kind::QuietNaN ? a : b;
  else if (ua.significand != ub.significand)
    result = ua.significand > ub.significand ? a : b;
  else
    result = ua.negative ? b : a;  // equal significands: the positive one
  result = Quieted(result);
  return true;
}

// A destination format: precision, the normal exponent range and the width of
// the exponent field.
struct Format {
  int precision;
  int minExponent;
  int maxExponent;
  int exponentBits;
};
constexpr Format kExtendedFormat{64, -16382, 16383, 15};
constexpr Format kDoubleFormat{53, -1022, 1023, 11};
constexpr Format kFloatFormat{24, -126, 127, 8};

// The top `count` bits (at most 64; none when count is 0 or less, as for a value
// far below the denormals) of the nonzero 128-bit hi:lo, rounded to nearest even;
// the result may carry into bit `count`. Sets inexact when bits were dropped.
std::uint64_t RoundTop(std::uint64_t hi, std::uint64_t lo, int count, bool& inexact) {
  std::uint64_t kept;
  bool half, sticky;
  if (count <= 0) {
    kept = 0;
    half = count == 0 && (hi >> 63);
    sticky = count < 0 || (hi << 1) != 0 || lo != 0;
  } else if (count == 64) {
    kept = hi;
    half = (lo >> 63) != 0;
    sticky = (lo << 1) != 0;
  } else {
    kept = hi >> (64 - count);
    half = ((hi >> (63 - count)) & 1) != 0;
    sticky = (hi & ((1ull << (63 - count)) - 1)) != 0 || lo != 0;
  }
  inexact = half || sticky;
  if (half && (sticky || (kept & 1))) ++kept;
  return kept;
}

// A rounded magnitude: the biased exponent field and the significand with its
// integer bit at precision − 1 (clear for a denormal), or an overflow.
struct Rounded {
  bool overflow;
  int biasedExponent;
  std::uint64_t significand;
};

// Rounds the nonzero hi:lo × 2^(exponent − 127) (top bit of hi set) into the
// format. Tininess is judged after rounding, as the processor does: a value just
// below the smallest normal that rounds up to it does not underflow. Underflow is
// reported only with a loss of precision, as a masked underflow is.
Rounded Round(const Format& format, int exponent, std::uint64_t hi, std::uint64_t lo, std::uint16_t& status) {
  const int p = format.precision;
  const int bias = 1 - format.minExponent;
  bool inexact;
  if (exponent >= format.minExponent) {
    std::uint64_t kept = RoundTop(hi, lo, p, inexact);
    if (p < 64 ? (kept >> p) != 0 : kept == 0) {  // carried out of the precision
      kept = 1ull << (p - 1);
      ++exponent;
    }
    if (exponent > format.maxExponent) {
      status |= kFpuOverflow | kFpuInexact;
      return {true, 0, 0};
    }
    if (inexact) status |= kFpuInexact;
    return {false, exponent + bias, kept};
  }
  bool tiny = true;
  if (exponent == format.minExponent - 1) {
    bool unused;
    const std::uint64_t unbounded = RoundTop(hi, lo, p, unused);
    tiny = p < 64 ? (unbounded >> p) == 0 : unbounded != 0;
  }
  const std::uint64_t kept = RoundTop(hi, lo, p - (format.minExponent - exponent), inexact);
  if (inexact) status |= tiny ? kFpuInexact | kFpuUnderflow : kFpuInexact;
  // Rounding up to the smallest normal sets the integer bit, which is exponent 1.
  return {false, (kept >> (p - 1)) != 0 ? 1 : 0, kept};
}

Extended PackExtended(bool negative, int exponent, std::uint64_t hi, std::uint64_t lo, std::uint16_t& status) {
  const Rounded r = Round(kExtendedFormat, exponent, hi, lo, status);
  if (r.overflow) return Infinity(negative);
  return Extended::FromBits(static_cast<std::uint16_t>(negative << 15 | r.biasedExponent), r.significand);
}

// The bits of an IEEE double or single for an extended value, as storing it does.
std::uint64_t StoreBinary(Extended value, const Format& format, std::uint16_t& status) {
  const int fractionBits = format.precision - 1;
  const int exponentBits = format.exponentBits;
  const std::uint64_t maxExponent = (1ull << exponentBits) - 1;
  const std::uint64_t fractionMask = (1ull << fractionBits) - 1;
  const int signShift = fractionBits + exponentBits;
  const Unpacked u = Unpack(value);
  const std::uint64_t sign = static_cast<std::uint64_t>(u.negative) << signShift;
  const std::uint64_t quietBit = 1ull << (fractionBits - 1);
  switch (u.kind) {
    case Kind::Unsupported:
      status |= kFpuInvalid;
      return (1ull << signShift) | (maxExponent << fractionBits) | quietBit;
    case Kind::SignallingNaN: status |= kFpuInvalid; [[fallthrough]];
    case Kind::QuietNaN:
      // The top of the fraction goes over, so the quiet bit does too.
      return sign | (maxExponent << fractionBits) | ((u.significand >> (63 - fractionBits)) & fractionMask) | quietBit;
    case Kind::Infinity: return sign | (maxExponent << fractionBits);
    case Kind::Zero: return sign;
    case Kind::Finite: break;
  }
  // A store does not report a denormal operand, only what its rounding does.
  const Rounded r = Round(format, u.exponent, u.significand, 0, status);
  if (r.overflow) return sign | (maxExponent << fractionBits);
  return sign | (static_cast<std::uint64_t>(r.biasedExponent) << fractionBits) | (r.significand & fractionMask);
}

// The exact value of an IEEE binary pattern (double or single) in extended.
Extended LoadBinary(std::uint64_t bits, const Format& format) {
  const int fractionBits = format.precision - 1;
  const int exponentBits = format.exponentBits;
  const int maxExponent = (1 << exponentBits) - 1;
  const bool negative = (bits >> (fractionBits + exponentBits)) & 1;
  const int biased = static_cast<int>((bits >> fractionBits) & static_cast<std::uint64_t>(maxExponent));
  const std::uint64_t fraction = bits & ((1ull << fractionBits) - 1);
  const auto signExponent = [&](int e) { return static_cast<std::uint16_t>(negative << 15 | e); };
  if (biased == maxExponent) {
    if (fraction == 0) return Infinity(negative);
    return Extended::FromBits(signExponent(kSpecialExponent),
                              kIntegerBit | kQuietBit | fraction << (63 - fractionBits));
  }
  if (biased == 0) {
    if (fraction == 0) return Zero(negative);
    const int shift = std::countl_zero(fraction);
    return Extended::FromBits(signExponent(format.minExponent - fractionBits - shift + 63 + kExtendedBias),
                              fraction << shift);
  }
  const int exponent = biased - (1 - format.minExponent);
  return Extended::FromBits(signExponent(exponent + kExtendedBias), kIntegerBit | fraction << (63 - fractionBits));
}

// hi:lo += the 128-bit b; returns the carry out.
bool Add128(std::uint64_t& hi, std::uint64_t& lo, std::uint64_t bHi, std::uint64_t bLo) {
  const std::uint64_t low = lo + bLo;
  const std::uint64_t carryIn = low < lo;
  const std::uint64_t high = hi + bHi;
  const bool carryOut = high < hi || high + carryIn < high;
  hi = high + carryIn;
  lo = low;
  return carryOut;
}

// hi:lo −= the 128-bit b (which is not larger).
void Sub128(std::uint64_t& hi, std::uint64_t& lo, std::uint64_t bHi, std::uint64_t bLo) {
  const std::uint64_t borrow = lo < bLo;
  lo -= bLo;
  hi = hi - bHi - borrow;
}

// The 128-bit product of two 64-bit numbers from 32-bit halves.
void Multiply64(std::uint64_t a, std::uint64_t b, std::uint64_t& hi, std::uint64_t& lo) {
  const std::uint64_t aLo = a & 0xFFFF'FFFF, aHi = a >> 32;
  const std::uint64_t bLo = b & 0xFFFF'FFFF, bHi = b >> 32;
  const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
  const std::uint64_t middle = (ll >> 32) + (lh & 0xFFFF'FFFF) + (hl & 0xFFFF'FFFF);
  lo = (middle << 32) | (ll & 0xFFFF'FFFF);
  hi = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
}

// Shifts hi:lo right by count, or-ing what falls off into the lowest bit so that
// it still counts as a nonzero remainder below every rounding position.
void ShiftRightJamming(std::uint64_t& hi, std::uint64_t& lo, int count) {
  if (count == 0) return;
  bool lost;
  if (count >= 128) {
    lost = hi != 0 || lo != 0;
    hi = lo = 0;
  } else if (count >= 64) {
    lost = lo != 0 || (count > 64 && (hi << (128 - count)) != 0);
    lo = count == 64 ? hi : hi >> (count - 64);
    hi = 0;
  } else {
    lost = (lo << (64 - count)) != 0;
    lo = (lo >> count) | (hi << (64 - count));
    hi >>= count;
  }
  if (lost) lo |= 1;
}

Extended AddSigned(Extended a, Extended b, bool negateB, std::uint16_t& status) {
  Unpacked ua = Unpack(a), ub = Unpack(b);
  Extended result;
  if (DecidedByNaNs(ua, ub, a, b, result, status)) return result;
  if (negateB) ub.negative = !ub.negative;
  if (ua.denormal || ub.denormal) status |= kFpuDenormal;
  if (ua.kind == Kind::Infinity || ub.kind == Kind::Infinity) {
    if (ua.kind == Kind::Infinity && ub.kind == Kind::Infinity && ua.negative != ub.negative) {
      status |= kFpuInvalid;
      return kIndefinite;
    }
    return Infinity(ua.kind == Kind::Infinity ? ua.negative : ub.negative);
  }
  if (ua.kind == Kind::Zero && ub.kind == Kind::Zero) return Zero(ua.negative && ub.negative);
  if (ub.kind == Kind::Zero) return PackExtended(ua.negative, ua.exponent, ua.significand, 0, status);
  if (ua.kind == Kind::Zero) return PackExtended(ub.negative, ub.exponent, ub.significand, 0, status);
  // The larger magnitude first; the smaller is aligned to it.
  if (ub.exponent > ua.exponent || (ub.exponent == ua.exponent && ub.significand > ua.significand)) std::swap(ua, ub);
  std::uint64_t hi = ua.significand, lo = 0;
  std::uint64_t bHi = ub.significand, bLo = 0;
  const int distance = ua.exponent - ub.exponent;
  ShiftRightJamming(bHi, bLo, distance > 128 ? 128 : distance);
  int exponent = ua.exponent;
  if (ua.negative == ub.negative) {
    if (Add128(hi, lo, bHi, bLo)) {
      ShiftRightJamming(hi, lo, 1);
      hi |= kIntegerBit;
      ++exponent;
    }
  } else {
    // When the alignment lost bits, the distance is at least 2 and the
    // difference keeps at least 127 bits above the jammed one, so the jamming
    // stands for the exact remainder at every rounding position.
    Sub128(hi, lo, bHi, bLo);
    if (hi == 0 && lo == 0) return Zero(false);
    const int shift = hi != 0 ? std::countl_zero(hi) : 64 + std::countl_zero(lo);
    if (shift >= 64) {
      hi = lo << (shift - 64);
      lo = 0;
    } else if (shift > 0) {
      hi = (hi << shift) | (lo >> (64 - shift));
      lo <<= shift;
    }
    exponent -= shift;
  }
  return PackExtended(ua.negative, exponent, hi, lo, status);
}

}  // namespace

Extended::Extended(std::int32_t value) {
  if (value == 0) return;
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) : static_cast<std::uint64_t>(value);
  const int shift = std::countl_zero(magnitude);
  significand_ = magnitude << shift;
  signExponent_ = static_cast<std::uint16_t>((value < 0) << 15 | (63 - shift + kExtendedBias));
}

Extended::Extended(double value) : Extended(LoadBinary(BitCast<std::uint64_t>(value), kDoubleFormat)) {}

Extended::Extended(float value) : Extended(LoadBinary(BitCast<std::uint32_t>(value), kFloatFormat)) {}

namespace extended {

Extended Add(Extended a, Extended b, std::uint16_t& status) { return AddSigned(a, b, false, status); }

Extended Sub(Extended a, Extended b, std::uint16_t& status) { return AddSigned(a, b, true, status); }

Extended Mul(Extended a, Extended b, std::uint16_t& status) {
  const Unpacked ua = Unpack(a), ub = Unpack(b);
  Extended result;
  if (DecidedByNaNs(ua, ub, a, b, result, status)) return result;
  if (ua.denormal || ub.denormal) status |= kFpuDenormal;
  const bool negative = ua.negative != ub.negative;
  if (ua.kind == Kind::Infinity || ub.kind == Kind::Infinity) {
    if (ua.kind == Kind::Zero || ub.kind == Kind::Zero) {
      status |= kFpuInvalid;
      return kIndefinite;
    }
    return Infinity(negative);
  }
  if (ua.kind == Kind::Zero || ub.kind == Kind::Zero) return Zero(negative);
  std::uint64_t hi, lo;
  Multiply64(ua.significand, ub.significand, hi, lo);
  int exponent = ua.exponent + ub.exponent + 1;
  if (!(hi & kIntegerBit)) {
    hi = (hi << 1) | (lo >> 63);
    lo <<= 1;
    --exponent;
  }
  return PackExtended(negative, exponent, hi, lo, status);
}

Extended Div(Extended a, Extended b, std::uint16_t& status) {
  const Unpacked ua = Unpack(a), ub = Unpack(b);
  Extended result;
  if (DecidedByNaNs(ua, ub, a, b, result, status)) return result;
  const bool negative = ua.negative != ub.negative;
  const bool aInfinite = ua.kind == Kind::Infinity, bInfinite = ub.kind == Kind::Infinity;
  const bool aZero = ua.kind == Kind::Zero, bZero = ub.kind == Kind::Zero;
  if ((aInfinite && bInfinite) || (aZero && bZero)) {
    status |= kFpuInvalid;
    return kIndefinite;
  }
  if (bZero && !aInfinite) {
    // A zero divisor is found before a denormal dividend is reported.
    status |= kFpuZeroDivide;
    return Infinity(negative);
  }
  if (ua.denormal || ub.denormal) status |= kFpuDenormal;
  if (aInfinite) return Infinity(negative);
  if (aZero || bInfinite) return Zero(negative);
  // Long division, one quotient bit a step: the dividend's significand over the
  // divisor's gives a quotient in (1/2, 2), its units bit placed at bit 127.
  // 66 bits leave a rounding bit after a one-bit normalization; the remainder
  // is jammed in below.
  std::uint64_t remainder = ua.significand, hi = 0, lo = 0;
  bool remainderTop = false;  // the 65th bit of the remainder
  for (int i = 0; i < 66; ++i) {
    if (remainderTop || remainder >= ub.significand) {
      remainder -= ub.significand;
      if (i < 64)
        hi |= 1ull << (63 - i);
      else
        lo |= 1ull << (127 - i);
    }
    remainderTop = (remainder >> 63) != 0;
    remainder <<= 1;
  }
  if (remainderTop || remainder != 0) lo |= 1;
  int exponent = ua.exponent - ub.exponent;
  if (!(hi & kIntegerBit)) {
    hi = (hi << 1) | (lo >> 63);
    lo <<= 1;
    --exponent;
  }
  return PackExtended(negative, exponent, hi, lo, status);
}

double StoreDouble(Extended value, std::uint16_t& status) {
  return BitCast<double>(StoreBinary(value, kDoubleFormat, status));
}

float StoreFloat(Extended value, std::uint16_t& status) {
  return BitCast<float>(static_cast<std::uint32_t>(StoreBinary(value, kFloatFormat, status)));
}

std::int64_t TruncateToInt64(Extended value, std::uint16_t& status) {
  constexpr auto kIntegerIndefinite = static_cast<std::int64_t>(kIntegerBit);
  const Unpacked u = Unpack(value);
  switch (u.kind) {
    case Kind::Zero: return 0;
    case Kind::Finite: break;
    default: status |= kFpuInvalid; return kIntegerIndefinite;
  }
  if (u.exponent < 0) {
    status |= kFpuInexact;
    return 0;
  }
  if (u.exponent >= 63) {
    // Only -2^63 itself fits.
    if (u.exponent == 63 && u.negative && u.significand == kIntegerBit) return kIntegerIndefinite;
    status |= kFpuInvalid;
    return kIntegerIndefinite;
  }
  const std::uint64_t magnitude = u.significand >> (63 - u.exponent);
  if (u.significand << (u.exponent + 1)) status |= kFpuInexact;
  return u.negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

namespace {

// The checked form of a masked step: the step, then the policy's raise.
template <class Step>
auto Checked(Step step) {
  std::uint16_t status = 0;
  const auto result = step(status);
  RaiseFpuFaults(status);
  return result;
}

}  // namespace

Extended Add(Extended a, Extended b) {
  return Checked([&](std::uint16_t& status) { return Add(a, b, status); });
}
Extended Sub(Extended a, Extended b) {
  return Checked([&](std::uint16_t& status) { return Sub(a, b, status); });
}
Extended Mul(Extended a, Extended b) {
  return Checked([&](std::uint16_t& status) { return Mul(a, b, status); });
}
Extended Div(Extended a, Extended b) {
  return Checked([&](std::uint16_t& status) { return Div(a, b, status); });
}
double Store(Extended value) {
  return Checked([&](std::uint16_t& status) { return StoreDouble(value, status); });
}
float StoreFloat(Extended value) {
  return Checked([&](std::uint16_t& status) { return StoreFloat(value, status); });
}
std::int64_t TruncateToInt64(Extended value) {
  return Checked([&](std::uint16_t& status) { return TruncateToInt64(value, status); });
}

}  // namespace extended

}  // namespace tw
