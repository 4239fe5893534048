#include "app/Bitrate.h"

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"
#include "runtime/Fpu.h"

namespace tw {

namespace {

// Megabytes per minute to kilobits per second, as the double nearest to 136.53
// (deliberately not 8192/60).
constexpr double kSizeToBitrate = 136.53;
// Kilobits per second times minutes to megabytes: 15/2048, exact as a single.
constexpr float kBitrateToSize = 0.00732421875f;

using F = BitrateField;

std::int32_t ReadInteger(BitrateFields& fields, F field) { return ParseInteger(fields.ReadField(field)); }

// Bitrate × minutes as a 32-bit product that wraps without error, then to MB.
double AudioSize(std::int32_t bitrate, std::int32_t minutes) {
  auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(bitrate) * static_cast<std::uint32_t>(minutes));
  return fpu::Store(fpu::Mul(product, kBitrateToSize));
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

}  // namespace

std::int32_t TruncateToInt32(long double value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(fpu::TruncateToInt64(value)));
}

void CalcBitrate(BitrateFields& fields) {
  Guarded(fields, F::Video, [&] {
    const std::int32_t size = ReadInteger(fields, F::NextSize);
    const double p = fpu::Store(fpu::Mul(size, kSizeToBitrate));
    const std::int32_t minutes = ReadInteger(fields, F::Time);
    const double q = fpu::Store(fpu::Div(p, minutes));
    const std::int32_t audio = ReadInteger(fields, F::NowAudio);
    const long double r = fpu::Sub(q, audio);
    fields.WriteField(F::Video, IntegerToText(TruncateToInt32(r)));
    // The re-calculator starts from the bitrate just computed.
    fields.WriteField(F::NowVideo, fields.ReadField(F::Video));
  });
  fields.WriteField(F::NextAudio, fields.ReadField(F::NowAudio));
}

void ReCalcBitrate(BitrateFields& fields) {
  Guarded(fields, F::NextVideo, [&] {
    const std::int32_t audio0 = ReadInteger(fields, F::NowAudio);
    const double m0 = AudioSize(audio0, ReadInteger(fields, F::Time));
    const std::int32_t audio1 = ReadInteger(fields, F::NextAudio);
    const double m1 = AudioSize(audio1, ReadInteger(fields, F::Time));
    const double v0 = ReadInteger(fields, F::NowVideo);
    const std::int32_t size = ReadInteger(fields, F::NextSize);
    const double n = fpu::Store(fpu::Mul(fpu::Sub(size, m1), v0));
    const std::int32_t nowSize = ReadInteger(fields, F::NowSize);
    const long double d = fpu::Sub(nowSize, m0);
    fields.WriteField(F::NextVideo, IntegerToText(TruncateToInt32(fpu::Div(n, d))));
  });
  // The new audio bitrate becomes the current one.
  fields.WriteField(F::NowAudio, fields.ReadField(F::NextAudio));
}

}  // namespace tw
