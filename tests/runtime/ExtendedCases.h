// Cases for the software extended-precision arithmetic: the operations as data,
// their outcomes in the software type and (on x86) on the x87 itself, the text
// form of the committed vectors, and the operand generators.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Extended.h"

namespace tw::test {

enum class ExtOp { Add, Sub, Mul, Div, StoreDouble, StoreFloat, Truncate, LoadInt32, LoadDouble, LoadFloat };

// The operation and its operands as bit patterns: extended operands for the
// arithmetic, stores and truncation; the source pattern in `source` for loads.
struct ExtCase {
  ExtOp op;
  Extended a;
  Extended b;
  std::uint64_t source = 0;
};

// A result as bits (an extended result, or the double, float or integer pattern
// in `bits`) and the fault flags of the step.
struct ExtOutcome {
  Extended value;
  std::uint64_t bits = 0;
  std::uint16_t flags = 0;
  friend bool operator==(const ExtOutcome&, const ExtOutcome&) = default;
};

// What the checked form did: the result, or the class name of what it raised.
struct ExtChecked {
  ExtOutcome result;
  std::string raised;
  friend bool operator==(const ExtChecked&, const ExtChecked&) = default;
};

ExtOutcome RunSoftware(const ExtCase& c);
ExtChecked RunSoftwareChecked(const ExtCase& c);
// The x87 through the fpu:: operations (the masked form reads the processor's
// status word directly). Only where the processor exists.
#if TW_HAS_X87
inline constexpr bool kHaveX87 = true;
ExtOutcome RunX87(const ExtCase& c);
ExtChecked RunX87Checked(const ExtCase& c);
#else
inline constexpr bool kHaveX87 = false;
#endif

// One line of the vector file: "op operands... -> result flags", hexadecimal.
std::string FormatVector(const ExtCase& c, const ExtOutcome& outcome);
// The case and its expected outcome; nothing when the line is not a vector.
std::optional<std::pair<ExtCase, ExtOutcome>> ParseVector(std::string_view line);
std::string Describe(const ExtCase& c);
std::string Describe(const ExtOutcome& o);

// Values every operation meets at its edges: zeros, the integers around
// ±2^31 and ±2^63 and the values an ulp off them, ties, the extremes of the
// normal and denormal ranges of extended, double and float, infinities, NaNs,
// the indefinite, and the encodings the processor refuses.
std::vector<Extended> EdgeValues();

// Random operands of several kinds: raw bit patterns, values near each other
// (for cancellation), and the integers and doubles a bitrate calculation sees.
class ExtCaseGenerator {
 public:
  explicit ExtCaseGenerator(std::uint64_t seed) : random_(seed) {}
  ExtCase Next();

 private:
  Extended RawBits();
  Extended Near(Extended x);
  Extended CalculatorValue();
  std::uint64_t Bits() { return random_(); }
  std::uint64_t Below(std::uint64_t n) { return random_() % n; }
  std::mt19937_64 random_;
  Extended last_;
};

}  // namespace tw::test
