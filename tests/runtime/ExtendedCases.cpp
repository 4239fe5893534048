#include "tests/runtime/ExtendedCases.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "runtime/BitCast.h"
#include "runtime/Exceptions.h"
#include "runtime/Fpu.h"

namespace tw::test {

namespace {

struct OpInfo {
  ExtOp op;
  const char* name;
  int operands;  // extended operands; a load has one source pattern instead
};
constexpr OpInfo kOps[] = {
    {ExtOp::Add, "add", 2},        {ExtOp::Sub, "sub", 2},         {ExtOp::Mul, "mul", 2},
    {ExtOp::Div, "div", 2},        {ExtOp::StoreDouble, "std", 1}, {ExtOp::StoreFloat, "stf", 1},
    {ExtOp::Truncate, "trunc", 1}, {ExtOp::LoadInt32, "ldi", 0},   {ExtOp::LoadDouble, "ldd", 0},
    {ExtOp::LoadFloat, "ldf", 0},
};

const OpInfo& Info(ExtOp op) { return kOps[static_cast<int>(op)]; }

bool ResultIsExtended(ExtOp op) { return op <= ExtOp::Div || op >= ExtOp::LoadInt32; }

Extended Load(const ExtCase& c) {
  switch (c.op) {
    case ExtOp::LoadInt32: return Extended(static_cast<std::int32_t>(static_cast<std::uint32_t>(c.source)));
    case ExtOp::LoadDouble: return Extended(BitCast<double>(c.source));
    default: return Extended(BitCast<float>(static_cast<std::uint32_t>(c.source)));
  }
}

template <class Body>
ExtChecked Checked(Body body) {
  ExtChecked checked;
  try {
    checked.result = body();
  } catch (const Exception& e) {
    checked.raised = e.ClassName();
  }
  return checked;
}

// Bit patterns are written in decimal: a file of hexadecimal patterns reads
// as words here and there.
std::string Bits(Extended x) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%" PRIu64, static_cast<unsigned>(x.SignExponent()), x.Significand());
  return text;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(ch - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<Extended> ParseExtended(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto se = ParseDecimal(text.substr(0, colon));
  const auto sig = ParseDecimal(text.substr(colon + 1));
  if (!se || *se > 0xFFFF || !sig) return std::nullopt;
  return Extended::FromBits(static_cast<std::uint16_t>(*se), *sig);
}

}  // namespace

ExtOutcome RunSoftware(const ExtCase& c) {
  ExtOutcome o;
  switch (c.op) {
    case ExtOp::Add: o.value = extended::Add(c.a, c.b, o.flags); break;
    case ExtOp::Sub: o.value = extended::Sub(c.a, c.b, o.flags); break;
    case ExtOp::Mul: o.value = extended::Mul(c.a, c.b, o.flags); break;
    case ExtOp::Div: o.value = extended::Div(c.a, c.b, o.flags); break;
    case ExtOp::StoreDouble: o.bits = BitCast<std::uint64_t>(extended::StoreDouble(c.a, o.flags)); break;
    case ExtOp::StoreFloat: o.bits = BitCast<std::uint32_t>(extended::StoreFloat(c.a, o.flags)); break;
    case ExtOp::Truncate: o.bits = static_cast<std::uint64_t>(extended::TruncateToInt64(c.a, o.flags)); break;
    default: o.value = Load(c); break;
  }
  return o;
}

ExtChecked RunSoftwareChecked(const ExtCase& c) {
  return Checked([&] {
    ExtOutcome o;
    switch (c.op) {
      case ExtOp::Add: o.value = extended::Add(c.a, c.b); break;
      case ExtOp::Sub: o.value = extended::Sub(c.a, c.b); break;
      case ExtOp::Mul: o.value = extended::Mul(c.a, c.b); break;
      case ExtOp::Div: o.value = extended::Div(c.a, c.b); break;
      case ExtOp::StoreDouble: o.bits = BitCast<std::uint64_t>(extended::Store(c.a)); break;
      case ExtOp::StoreFloat: o.bits = BitCast<std::uint32_t>(extended::StoreFloat(c.a)); break;
      case ExtOp::Truncate: o.bits = static_cast<std::uint64_t>(extended::TruncateToInt64(c.a)); break;
      default: o.value = Load(c); break;
    }
    return o;
  });
}

#if TW_HAS_X87

namespace {

long double ToLongDouble(Extended x) {
  long double value = 0;
  const std::uint64_t sig = x.Significand();
  const std::uint16_t se = x.SignExponent();
  std::memcpy(&value, &sig, 8);
  std::memcpy(reinterpret_cast<char*>(&value) + 8, &se, 2);
  return value;
}

Extended FromLongDouble(long double value) {
  std::uint64_t sig;
  std::uint16_t se;
  std::memcpy(&sig, &value, 8);
  std::memcpy(&se, reinterpret_cast<const char*>(&value) + 8, 2);
  return Extended::FromBits(se, sig);
}

void ClearX87() { asm volatile("fnclex" ::: "memory"); }

std::uint16_t X87Status() {
  std::uint16_t sw;
  asm volatile("fnstsw %0" : "=m"(sw)::"memory");
  return sw;
}

// A store with the status word after it. Written out because a 32-bit build
// narrows through memory and loads the double back, which reports a denormal
// operand of its own.
template <class T>
T X87Store(long double value, std::uint16_t& sw) {
  T result;
  if constexpr (sizeof(T) == 8) {
    asm volatile("fnclex\n\tfstpl %[result]\n\tfnstsw %[sw]"
                 : [result] "=m"(result), [sw] "=m"(sw)
                 : "t"(value)
                 : "st", "memory");
  } else {
    asm volatile("fnclex\n\tfstps %[result]\n\tfnstsw %[sw]"
                 : [result] "=m"(result), [sw] "=m"(sw)
                 : "t"(value)
                 : "st", "memory");
  }
  return result;
}

}  // namespace

ExtOutcome RunX87(const ExtCase& c) {
  ExtOutcome o;
  volatile long double x = ToLongDouble(c.a), y = ToLongDouble(c.b);
  // Each step between a cleared and a read status word; volatile keeps the
  // compiler from folding or moving it.
#define TW_X87_STEP(op)                    \
  {                                        \
    ClearX87();                            \
    volatile long double r = x op y;       \
    o.flags = X87Status() & kFpuFaultMask; \
    o.value = FromLongDouble(r);           \
  }
  switch (c.op) {
    case ExtOp::Add: TW_X87_STEP(+) break;
    case ExtOp::Sub: TW_X87_STEP(-) break;
    case ExtOp::Mul: TW_X87_STEP(*) break;
    case ExtOp::Div: TW_X87_STEP(/) break;
    case ExtOp::StoreDouble: {
      std::uint16_t sw;
      o.bits = BitCast<std::uint64_t>(X87Store<double>(x, sw));
      o.flags = sw & kFpuFaultMask;
      break;
    }
    case ExtOp::StoreFloat: {
      std::uint16_t sw;
      o.bits = BitCast<std::uint32_t>(X87Store<float>(x, sw));
      o.flags = sw & kFpuFaultMask;
      break;
    }
    case ExtOp::Truncate: {
      std::uint16_t sw;
      o.bits = static_cast<std::uint64_t>(fpu::TruncateToInt64(x, sw));
      o.flags = sw & kFpuFaultMask;
      break;
    }
    case ExtOp::LoadInt32: {
      volatile std::int32_t i = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.source));
      volatile long double r = i;
      o.value = FromLongDouble(r);
      break;
    }
    case ExtOp::LoadDouble: {
      volatile double d = BitCast<double>(c.source);
      volatile long double r = d;
      o.value = FromLongDouble(r);
      break;
    }
    case ExtOp::LoadFloat: {
      volatile float f = BitCast<float>(static_cast<std::uint32_t>(c.source));
      volatile long double r = f;
      o.value = FromLongDouble(r);
      break;
    }
  }
#undef TW_X87_STEP
  return o;
}

ExtChecked RunX87Checked(const ExtCase& c) {
  return Checked([&] {
    ExtOutcome o;
    const long double x = ToLongDouble(c.a), y = ToLongDouble(c.b);
    switch (c.op) {
      case ExtOp::Add: o.value = FromLongDouble(fpu::Add(x, y)); break;
      case ExtOp::Sub: o.value = FromLongDouble(fpu::Sub(x, y)); break;
      case ExtOp::Mul: o.value = FromLongDouble(fpu::Mul(x, y)); break;
      case ExtOp::Div: o.value = FromLongDouble(fpu::Div(x, y)); break;
      case ExtOp::StoreDouble: o.bits = BitCast<std::uint64_t>(fpu::Store(x)); break;
      case ExtOp::Truncate: o.bits = static_cast<std::uint64_t>(fpu::TruncateToInt64(x)); break;
      default: {
        // No checked single store in fpu::: the masked step and the policy.
        ExtOutcome raw = RunX87(c);
        CheckFpuStatus(raw.flags);
        o = raw;
        o.flags = 0;
      }
    }
    return o;
  });
}

#endif

std::string FormatVector(const ExtCase& c, const ExtOutcome& outcome) {
  const OpInfo& info = Info(c.op);
  std::string line = info.name;
  char text[40];
  if (info.operands == 0) {
    std::snprintf(text, sizeof text, " %" PRIu64, c.source);
    line += text;
  }
  if (info.operands >= 1) line += " " + Bits(c.a);
  if (info.operands == 2) line += " " + Bits(c.b);
  line += " -> ";
  if (ResultIsExtended(c.op)) {
    line += Bits(outcome.value);
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64, outcome.bits);
    line += text;
  }
  std::snprintf(text, sizeof text, " %u", static_cast<unsigned>(outcome.flags));
  return line + text;
}

std::optional<std::pair<ExtCase, ExtOutcome>> ParseVector(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    line.remove_prefix(start);
    const std::size_t end = line.find(' ');
    words.push_back(line.substr(0, end));
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
  }
  if (words.empty()) return std::nullopt;
  const OpInfo* info = nullptr;
  for (const OpInfo& candidate : kOps)
    if (words[0] == candidate.name) info = &candidate;
  const std::size_t operandWords = info && info->operands > 0 ? info->operands : 1;
  if (!info || words.size() != operandWords + 4 || words[operandWords + 1] != "->") return std::nullopt;
  ExtCase c{info->op, {}, {}};
  if (info->operands == 0) {
    const auto source = ParseDecimal(words[1]);
    if (!source) return std::nullopt;
    c.source = *source;
  } else {
    const auto a = ParseExtended(words[1]);
    const auto b = info->operands == 2 ? ParseExtended(words[2]) : Extended();
    if (!a || !b) return std::nullopt;
    c.a = *a;
    c.b = *b;
  }
  ExtOutcome o;
  const std::string_view result = words[operandWords + 2];
  if (ResultIsExtended(c.op)) {
    const auto value = ParseExtended(result);
    if (!value) return std::nullopt;
    o.value = *value;
  } else {
    const auto bits = ParseDecimal(result);
    if (!bits) return std::nullopt;
    o.bits = *bits;
  }
  const auto flags = ParseDecimal(words[operandWords + 3]);
  if (!flags || *flags > kFpuFaultMask) return std::nullopt;
  o.flags = static_cast<std::uint16_t>(*flags);
  return std::pair{c, o};
}

std::string Describe(const ExtCase& c) {
  const std::string line = FormatVector(c, {});
  return line.substr(0, line.find(" ->"));
}

std::string Describe(const ExtOutcome& o) {
  char text[80];
  std::snprintf(text, sizeof text, "%s bits %" PRIu64 " flags %u", Bits(o.value).c_str(), o.bits,
                static_cast<unsigned>(o.flags));
  return text;
}

std::vector<Extended> EdgeValues() {
  struct Bits {
    std::uint16_t se;
    std::uint64_t sig;
  };
  constexpr std::uint64_t J = 1ull << 63;
  const Bits magnitudes[] = {
      {0x0000, 0},                   // zero
      {0x3FFF, J},                   // 1
      {0x3FFE, J},                   // 1/2
      {0x3FFF, 0xC000000000000000},  // 3/2
      {0x4000, 0xA000000000000000},  // 5/2
      {0x3FFE, ~0ull},               // 1 - 2^-64
      {0x3FFF, J | 1},               // 1 + 2^-63
      {0x3FFF, J | 0x400},           // 1 + 2^-53: a tie for double
      {0x3FFF, J | 0xC00},           // 1 + 3 × 2^-53
      {0x3FFF, J | 0x8000000000},    // 1 + 2^-24: a tie for float
      {0x401D, ~0ull},               // 2^31 - 2^-33
      {0x401D, 0xFFFFFFFE00000000},  // 2^31 - 1
      {0x401E, J},                   // 2^31
      {0x401E, J | 1},               // 2^31 + 2^-32
      {0x401E, J | 0x100000000},     // 2^31 + 1
      {0x403D, ~0ull},               // 2^63 - 1/2
      {0x403D, 0xFFFFFFFFFFFFFFFE},  // 2^63 - 1
      {0x403E, J},                   // 2^63
      {0x403E, J | 1},               // 2^63 + 1
      {0x403F, J},                   // 2^64
      {0x7FFE, ~0ull},               // largest extended
      {0x0001, J},                   // smallest normal extended
      {0x0000, ~0ull >> 1},          // largest denormal
      {0x0000, 1},                   // smallest denormal
      {0x0000, J | 1},               // a pseudo-denormal
      {0x43FE, 0xFFFFFFFFFFFFF800},  // largest double
      {0x43FE, 0xFFFFFFFFFFFFFC00},  // its tie with 2^1024
      {0x43FE, 0xFFFFFFFFFFFFFBFF},  // just below that tie
      {0x3C01, J},                   // smallest normal double
      {0x3C00, 0xFFFFFFFFFFFFF800},  // the tie between it and the largest denormal
      {0x3BCD, J},                   // smallest denormal double
      {0x3BCC, J},                   // half of it: a tie to zero
      {0x3BCC, J | 1},               // just above half
      {0x407E, 0xFFFFFF0000000000},  // largest float
      {0x3F6A, J},                   // smallest denormal float
      {0x3F81, J},                   // smallest normal float
      {0x4006, 0x8887AE147AE14800},  // 136.53 as a double
      {0x3FF7, 0xF000000000000000},  // 15/2048
      {0x3FFD, 0xAAAAAAAAAAAAAAAB},  // 1/3
      {0x7FFF, J},                   // infinity
      {0x7FFF, 0xC000000000000000},  // quiet NaN
      {0x7FFF, 0xC000000000001234},  // quiet NaN, larger payload
      {0x7FFF, J | 1},               // signalling NaN
      {0x7FFF, 0xA000000000000000},  // signalling NaN, larger payload
      {0x7FFF, 0},                   // pseudo-infinity
      {0x7FFF, 0x4000000000000000},  // pseudo-NaN
      {0x3FFF, 0x4000000000000000},  // unnormal
      {0x1234, 0},                   // unnormal with zero significand
  };
  std::vector<Extended> values;
  for (const Bits& m : magnitudes) {
    values.push_back(Extended::FromBits(m.se, m.sig));
    values.push_back(Extended::FromBits(static_cast<std::uint16_t>(m.se | 0x8000), m.sig));
  }
  return values;
}

Extended ExtCaseGenerator::RawBits() {
  std::uint64_t sig = Bits();
  const std::uint64_t kind = Below(16);
  std::uint16_t exponent;
  if (kind == 0) {
    exponent = 0;
    if (Below(2) == 0) sig = 0;  // zeros, for the invalid and zero-divide cases
  } else if (kind == 1)
    exponent = 0x7FFF;
  else if (kind < 6)
    exponent = static_cast<std::uint16_t>(Below(0x7FFF));
  else
    exponent = static_cast<std::uint16_t>(0x3FFF - 200 + Below(400));  // where the calculator lives
  // Mostly with the integer bit, which every value the calculator makes has.
  if (exponent != 0 && Below(16) != 0) sig |= 1ull << 63;
  if (Below(8) == 0) sig &= ~0ull << Below(64);  // short significands make exact results and ties
  return Extended::FromBits(static_cast<std::uint16_t>(exponent | (Bits() & 0x8000)), sig);
}

Extended ExtCaseGenerator::Near(Extended x) {
  // The same exponent or one off, the significand changed in its low bits.
  const int exponentDelta = static_cast<int>(Below(5)) - 2;
  const int bits = static_cast<int>(Below(64));
  const std::uint64_t noise = bits == 0 ? 0 : Bits() >> (64 - bits);
  const std::uint16_t se = static_cast<std::uint16_t>(x.SignExponent() + exponentDelta);
  return Extended::FromBits(static_cast<std::uint16_t>(se ^ (Bits() & 0x8000)), x.Significand() ^ noise);
}

Extended ExtCaseGenerator::CalculatorValue() {
  std::uint16_t ignored = 0;
  const auto integer = [&](std::int32_t limit) { return static_cast<std::int32_t>(Below(limit)); };
  switch (Below(10)) {
    case 0: return Extended(integer(100000));                    // a size in MB
    case 1: return Extended(integer(1000));                      // minutes (0 divides by zero)
    case 2: return Extended(integer(4000));                      // kbps
    case 3: return Extended(static_cast<std::int32_t>(Bits()));  // any 32-bit integer
    case 4: return Extended(136.53);
    case 5: return Extended(0.00732421875f);
    case 6: {
      // The video bitrate: size × 136.53 stored, over minutes, stored.
      const double p = extended::StoreDouble(extended::Mul(Extended(integer(100000)), 136.53, ignored), ignored);
      return extended::StoreDouble(extended::Div(p, Extended(integer(1000)), ignored), ignored);
    }
    case 7: {
      // An audio size: a wrapping 32-bit product times 15/2048, stored.
      const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(Below(4000)) *
                                                     static_cast<std::uint32_t>(Below(100000)));
      return extended::StoreDouble(extended::Mul(product, 0.00732421875f, ignored), ignored);
    }
    case 8: return Extended(BitCast<double>(Bits()));  // any double
    default: return last_;                             // a result of the previous case
  }
}

ExtCase ExtCaseGenerator::Next() {
  ExtCase c{static_cast<ExtOp>(Below(std::size(kOps))), {}, {}};
  switch (c.op) {
    case ExtOp::LoadInt32: c.source = Bits() >> (Below(4) * 8 + 32); return c;
    case ExtOp::LoadDouble: c.source = Bits(); return c;
    case ExtOp::LoadFloat: c.source = Bits() >> 32; return c;
    default: break;
  }
  const bool calculator = Below(2) == 0;
  c.a = calculator ? CalculatorValue() : RawBits();
  const std::uint64_t second = Below(4);
  c.b = second == 0 ? Near(c.a) : calculator ? CalculatorValue() : RawBits();
  if (Below(2) == 0) std::swap(c.a, c.b);
  if (c.op <= ExtOp::Div) last_ = RunSoftware(c).value;
  return c;
}

}  // namespace tw::test
