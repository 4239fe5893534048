#include "media/Input.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tw::media::detail {

void Input::Fetch(std::uint64_t offset, std::span<std::uint8_t> into) {
  if (into.empty()) return;
  // The size was checked by the caller; fewer bytes mean the read failed.
  if (source_.Read(offset, into) != into.size()) Fail(MediaError::ReadFailed);
}

std::span<const std::uint8_t> Input::Header(std::uint64_t offset, std::size_t count) {
  if (offset > size_) Damaged();
  count = std::min(count, header_.size());
  if (offset == 0) {
    if (!haveFirst_) {
      firstSize_ = static_cast<std::size_t>(std::min<std::uint64_t>(first_.size(), size_));
      Fetch(0, std::span(first_).first(firstSize_));
      haveFirst_ = true;
      ++headers_;
    }
    return std::span(first_).first(std::min(count, firstSize_));
  }
  if (++headers_ > kMaxTopLevelHeaders) Damaged();
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
  Fetch(offset, std::span(header_).first(n));
  return std::span(header_).first(n);
}

void Input::Read(std::uint64_t offset, std::span<std::uint8_t> into) {
  if (offset > size_ || into.size() > size_ - offset) Damaged();
  if (into.size() > BudgetLeft()) Damaged();
  charged_ += into.size();
  Fetch(offset, into);
}

std::span<const std::uint8_t> Input::ReadUpTo(std::uint64_t offset, std::span<std::uint8_t> into) {
  if (offset > size_) Damaged();
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), size_ - offset));
  Read(offset, into.first(n));
  return into.first(n);
}

namespace {

// The sign of x ÷ y − u ÷ v (y and v not 0), exactly and without products
// that could overflow: the whole parts first; where they are equal, the
// remainders' fractions, which compare as their reciprocals the other way.
int Compare(std::uint64_t x, std::uint64_t y, std::uint64_t u, std::uint64_t v) {
  for (int sign = 1;; sign = -sign) {
    if (x / y != u / v) return x / y > u / v ? sign : -sign;
    x %= y;
    u %= v;
    if (x == 0 || u == 0) return x == u ? 0 : x != 0 ? sign : -sign;
    std::swap(x, y);
    std::swap(u, v);
  }
}

}  // namespace

bool Longer(const Duration& a, const Duration& b) {
  return Compare(a.ticks, a.ticksPerSecond, b.ticks, b.ticksPerSecond) > 0;
}

std::uint64_t Span(std::uint64_t start, std::uint64_t end) {
  if (start > end) Damaged();
  return end - start;
}

std::uint64_t EndWithin(std::uint64_t start, std::uint64_t length, std::uint64_t limit) {
  if (start > limit || length > limit - start) Damaged();
  return start + length;
}

std::uint64_t BeN(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = value << 8 | bytes[at + i];
  return value;
}

std::uint16_t Be16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(BeN(bytes, at, 2));
}
std::uint32_t Be24(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(BeN(bytes, at, 3));
}
std::uint32_t Be32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(BeN(bytes, at, 4));
}
std::uint64_t Be64(std::span<const std::uint8_t> bytes, std::size_t at) { return BeN(bytes, at, 8); }

std::uint64_t Le64(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (std::size_t i = 8; i-- > 0;) value = value << 8 | bytes[at + i];
  return value;
}
std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                    static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool HasCode(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view code) {
  if (at > bytes.size() || bytes.size() - at < code.size()) return false;
  return std::equal(code.begin(), code.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

namespace {

// Just enough of a 128-bit unsigned integer for FloatDuration, in two halves:
// the 32-bit build has no wider type.
struct Wide {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
};

Wide Multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aLow = a & 0xFFFFFFFF, aHigh = a >> 32;
  const std::uint64_t bLow = b & 0xFFFFFFFF, bHigh = b >> 32;
  const std::uint64_t lowLow = aLow * bLow;
  const std::uint64_t lowHigh = aLow * bHigh;
  const std::uint64_t highLow = aHigh * bLow;
  const std::uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFF) + (highLow & 0xFFFFFFFF);
  return {aHigh * bHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32), (middle << 32) | (lowLow & 0xFFFFFFFF)};
}

bool IsZero(Wide w) { return w.high == 0 && w.low == 0; }

// w × 2^shift; false when bits would be lost.
bool ShiftLeft(Wide& w, unsigned shift) {
  if (shift == 0) return true;
  if (shift >= 128) return IsZero(w);
  if (shift >= 64) {
    const unsigned s = shift - 64;
    if (w.high != 0 || (s != 0 && (w.low >> (64 - s)) != 0)) return false;
    w = {w.low << s, 0};
    return true;
  }
  if ((w.high >> (64 - shift)) != 0) return false;
  w = {w.high << shift | w.low >> (64 - shift), w.low << shift};
  return true;
}

// ⌈w ÷ 2^shift⌉.
Wide ShiftRightRoundingUp(Wide w, unsigned shift) {
  if (shift == 0) return w;
  if (shift >= 128) return IsZero(w) ? Wide{} : Wide{0, 1};
  Wide result;
  bool lost;
  if (shift >= 64) {
    const unsigned s = shift - 64;
    lost = w.low != 0 || (s != 0 && (w.high << (64 - s)) != 0);
    result = {0, s == 0 ? w.high : w.high >> s};
  } else {
    lost = (w.low << (64 - shift)) != 0;
    result = {w.high >> shift, w.low >> shift | w.high << (64 - shift)};
  }
  if (lost && ++result.low == 0) ++result.high;
  return result;
}

// ⌈w ÷ divisor⌉ for a divisor below 2^32, by 32-bit digits.
Wide DivideRoundingUp(Wide w, std::uint32_t divisor) {
  const std::uint64_t digits[4] = {w.high >> 32, w.high & 0xFFFFFFFF, w.low >> 32, w.low & 0xFFFFFFFF};
  std::uint64_t quotient[4];
  std::uint64_t remainder = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t current = remainder << 32 | digits[i];
    quotient[i] = current / divisor;
    remainder = current % divisor;
  }
  Wide result{quotient[0] << 32 | quotient[1], quotient[2] << 32 | quotient[3]};
  if (remainder != 0 && ++result.low == 0) ++result.high;
  return result;
}

}  // namespace

Duration FloatDuration(double value, std::uint64_t unitNanoseconds) {
  if (!std::isfinite(value) || !(value > 0) || unitNanoseconds == 0) Damaged();
  // value = mantissa × 2^exponent exactly, the mantissa a 53-bit integer.
  const auto bits = BitCast<std::uint64_t>(value);
  const auto biased = static_cast<int>(bits >> 52 & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent;
  if (biased == 0) {
    exponent = -1074;  // subnormal
  } else {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased - 1075;
  }
  Wide nanoseconds = Multiply(mantissa, unitNanoseconds);
  if (exponent >= 0) {
    if (!ShiftLeft(nanoseconds, static_cast<unsigned>(exponent))) Damaged();
  } else {
    nanoseconds = ShiftRightRoundingUp(nanoseconds, static_cast<unsigned>(-exponent));
  }
  if (nanoseconds.high == 0) return {nanoseconds.low, 1'000'000'000};
  const Wide microseconds = DivideRoundingUp(nanoseconds, 1000);
  if (microseconds.high != 0) Damaged();
  return {microseconds.low, 1'000'000};
}

}  // namespace tw::media::detail
