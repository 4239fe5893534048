#include "app/Bitrate.h"

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"
#include "runtime/Extended.h"
#include "runtime/Fpu.h"

namespace tw {

namespace {

// Megabytes per minute to kilobits per second, as the double nearest to 136.53
// (deliberately not 8192/60).
constexpr double kSizeToBitrate = 136.53;
// Kilobits per second times minutes to megabytes: 15/2048, exact as a single.
constexpr float kBitrateToSize = 0.00732421875f;

using F = BitrateField;

// The checked operations of each arithmetic under one set of names, so that
// the computations are written once.
#if TW_HAS_X87
struct ProcessorArithmetic {
  using Real = long double;
  static Real Sub(Real a, Real b) { return fpu::Sub(a, b); }
  static Real Mul(Real a, Real b) { return fpu::Mul(a, b); }
  static Real Div(Real a, Real b) { return fpu::Div(a, b); }
  static double Store(Real value) { return fpu::Store(value); }
  static std::int64_t Truncate(Real value) { return fpu::TruncateToInt64(value); }
};
#endif

struct SoftwareArithmetic {
  using Real = Extended;
  static Real Sub(Real a, Real b) { return extended::Sub(a, b); }
  static Real Mul(Real a, Real b) { return extended::Mul(a, b); }
  static Real Div(Real a, Real b) { return extended::Div(a, b); }
  static double Store(Real value) { return extended::Store(value); }
  static std::int64_t Truncate(Real value) { return extended::TruncateToInt64(value); }
};

std::int32_t ReadInteger(BitrateFields& fields, F field) { return ParseInteger(fields.ReadField(field)); }

// The low 32 bits of the value truncated toward zero into 64.
template <class A>
std::int32_t Truncated(typename A::Real value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(A::Truncate(value)));
}

// Bitrate × minutes as a 32-bit product that wraps without error, then to MB.
template <class A>
double AudioSize(std::int32_t bitrate, std::int32_t minutes) {
  auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(bitrate) * static_cast<std::uint32_t>(minutes));
  return A::Store(A::Mul(product, kBitrateToSize));
}

// Runs a computation that writes into result; a rejected text gives "ERR", a
// division by zero "---". Other exceptions leave.
template <class Body>
void Guarded(BitrateFields& fields, F result, Body body) {
  try {
    body();
  } catch (const EConvertError&) {
    fields.WriteField(result, std::string(kRejectedText));
  } catch (const EZeroDivide&) {
    fields.WriteField(result, std::string(kZeroDivideText));
  }
}

template <class A>
void Calc(BitrateFields& fields) {
  Guarded(fields, F::Video, [&] {
    const std::int32_t size = ReadInteger(fields, F::NextSize);
    const double p = A::Store(A::Mul(size, kSizeToBitrate));
    const std::int32_t minutes = ReadInteger(fields, F::Time);
    const double q = A::Store(A::Div(p, minutes));
    const std::int32_t audio = ReadInteger(fields, F::NowAudio);
    const typename A::Real r = A::Sub(q, audio);
    fields.WriteField(F::Video, IntegerToText(Truncated<A>(r)));
    // The re-calculator starts from the bitrate just computed.
    fields.WriteField(F::NowVideo, fields.ReadField(F::Video));
  });
  fields.WriteField(F::NextAudio, fields.ReadField(F::NowAudio));
}

template <class A>
void ReCalc(BitrateFields& fields) {
  Guarded(fields, F::NextVideo, [&] {
    const std::int32_t audio0 = ReadInteger(fields, F::NowAudio);
    const double m0 = AudioSize<A>(audio0, ReadInteger(fields, F::Time));
    const std::int32_t audio1 = ReadInteger(fields, F::NextAudio);
    const double m1 = AudioSize<A>(audio1, ReadInteger(fields, F::Time));
    const double v0 = ReadInteger(fields, F::NowVideo);
    const std::int32_t size = ReadInteger(fields, F::NextSize);
    const double n = A::Store(A::Mul(A::Sub(size, m1), v0));
    const std::int32_t nowSize = ReadInteger(fields, F::NowSize);
    const typename A::Real d = A::Sub(nowSize, m0);
    fields.WriteField(F::NextVideo, IntegerToText(Truncated<A>(A::Div(n, d))));
  });
  // The new audio bitrate becomes the current one.
  fields.WriteField(F::NowAudio, fields.ReadField(F::NextAudio));
}

}  // namespace

#if TW_HAS_X87
std::int32_t TruncateToInt32(long double value) { return Truncated<ProcessorArithmetic>(value); }
#endif

void CalcBitrate(BitrateFields& fields, Arithmetic arithmetic) {
#if TW_HAS_X87
  if (arithmetic == Arithmetic::Processor) return Calc<ProcessorArithmetic>(fields);
#endif
  (void)arithmetic;
  Calc<SoftwareArithmetic>(fields);
}

void ReCalcBitrate(BitrateFields& fields, Arithmetic arithmetic) {
#if TW_HAS_X87
  if (arithmetic == Arithmetic::Processor) return ReCalc<ProcessorArithmetic>(fields);
#endif
  (void)arithmetic;
  ReCalc<SoftwareArithmetic>(fields);
}

}  // namespace tw
