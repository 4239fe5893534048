#include "runtime/Extended.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "runtime/Exceptions.h"
#include "runtime/Fpu.h"
#include "tests/runtime/ExtendedCases.h"

namespace tw::test {
namespace {

std::string RaisedFor(std::uint16_t flags) {
  if (flags & kFpuInvalid) return "EInvalidOp";
  if (flags & kFpuZeroDivide) return "EZeroDivide";
  if (flags & kFpuOverflow) return "EOverflow";
  return "";
}

TEST(Extended, ThePolicyRaisesTheFirstOfItsFaultsInOrder) {
  const struct {
    std::uint16_t flags;
    const char* raised;
  } cases[] = {
      {0, ""},
      {kFpuDenormal | kFpuUnderflow | kFpuInexact, ""},
      {kFpuOverflow | kFpuInexact, "EOverflow"},
      {kFpuZeroDivide | kFpuDenormal, "EZeroDivide"},
      {kFpuZeroDivide | kFpuOverflow, "EZeroDivide"},
      {kFpuInvalid | kFpuZeroDivide | kFpuOverflow, "EInvalidOp"},
      {kFpuFaultMask | 0xFF00, "EInvalidOp"},  // bits outside the flags do not matter
  };
  for (const auto& c : cases) {
    std::string raised;
    try {
      RaiseFpuFaults(c.flags);
    } catch (const Exception& e) {
      raised = e.ClassName();
    }
    EXPECT_EQ(raised, c.raised) << std::hex << c.flags;
  }
  try {
    extended::Div(Extended(1), Extended(0));
    FAIL();
  } catch (const EZeroDivide& e) {
    EXPECT_EQ(e.Message(), LoadResString(msg::ZeroDivide));
  }
}

// The committed vectors hold the processor's masked result and fault flags for
// each case; the checked form must return that result or raise for those flags.
// Regenerate them on x86 with the make_extended_vectors program of this
// directory: make_extended_vectors > tests/runtime/data/extended-vectors.txt
TEST(Extended, MatchesTheCommittedVectors) {
  std::ifstream file(TW_EXTENDED_VECTORS);
  ASSERT_TRUE(file) << TW_EXTENDED_VECTORS;
  std::size_t count = 0, failures = 0;
  std::string line;
  while (std::getline(file, line) && failures < 20) {
    if (line.empty() || line[0] == '#') continue;
    const auto vector = ParseVector(line);
    ASSERT_TRUE(vector) << line;
    const ExtCase& c = vector->first;
    const ExtOutcome& expected = vector->second;
    ++count;
    ExtChecked expectedChecked{expected, RaisedFor(expected.flags)};
    expectedChecked.result.flags = 0;
    if (!expectedChecked.raised.empty()) expectedChecked.result = {};
    const auto check = [&](const char* path, const ExtOutcome& got, const ExtChecked& gotChecked) {
      if (got == expected && gotChecked == expectedChecked) return;
      ++failures;
      ADD_FAILURE() << path << ": " << line << "\n  masked " << Describe(got) << "\n  checked "
                    << Describe(gotChecked.result) << " raised '" << gotChecked.raised << "'";
    };
    check("software", RunSoftware(c), RunSoftwareChecked(c));
#if TW_HAS_X87
    check("x87", RunX87(c), RunX87Checked(c));
#endif
  }
  std::printf("%zu vectors checked\n", count);
  EXPECT_GE(count, 3000u);
}

#if TW_HAS_X87

// Runs a case both ways; reports at most a handful of disagreements in full.
class Comparison {
 public:
  void Run(const ExtCase& c, bool checked) {
    ++count_;
    const ExtOutcome soft = RunSoftware(c), x87 = RunX87(c);
    for (int bit = 0; bit < 6; ++bit) flagCounts_[bit] += (x87.flags >> bit) & 1;
    if (soft != x87) Report(c, "masked", Describe(soft), Describe(x87));
    if (!checked) return;
    const ExtChecked softChecked = RunSoftwareChecked(c), x87Checked = RunX87Checked(c);
    if (softChecked != x87Checked)
      Report(c, "checked", Describe(softChecked.result) + " raised '" + softChecked.raised + "'",
             Describe(x87Checked.result) + " raised '" + x87Checked.raised + "'");
  }
  std::size_t Count() const { return count_; }
  std::size_t Disagreements() const { return disagreements_; }
  // How many cases raised each fault flag on the processor (invalid first).
  const std::size_t* FlagCounts() const { return flagCounts_; }

 private:
  void Report(const ExtCase& c, const char* form, const std::string& soft, const std::string& x87) {
    if (++disagreements_ <= 20)
      ADD_FAILURE() << Describe(c) << " (" << form << ")\n  soft " << soft << "\n  x87  " << x87;
  }
  std::size_t count_ = 0;
  std::size_t disagreements_ = 0;
  std::size_t flagCounts_[6] = {};
};

TEST(ExtendedX87, AgreesOnEveryPairOfEdgeValues) {
  const std::vector<Extended> edges = EdgeValues();
  Comparison comparison;
  for (const Extended& a : edges) {
    for (ExtOp op : {ExtOp::StoreDouble, ExtOp::StoreFloat, ExtOp::Truncate}) comparison.Run({op, a, {}}, true);
    for (const Extended& b : edges)
      for (ExtOp op : {ExtOp::Add, ExtOp::Sub, ExtOp::Mul, ExtOp::Div}) comparison.Run({op, a, b}, true);
  }
  // Loads of the edge patterns of each source type.
  const std::uint64_t doubles[] = {0,
                                   1,
                                   0x000FFFFFFFFFFFFF,
                                   0x0010000000000000,
                                   0x3FF0000000000000,
                                   0x7FEFFFFFFFFFFFFF,
                                   0x7FF0000000000000,
                                   0x7FF0000000000001,
                                   0x7FF8000000000000,
                                   0x7FFFFFFFFFFFFFFF};
  const std::uint64_t floats[] = {0,          1,          0x007FFFFF, 0x00800000, 0x3F800000,
                                  0x7F7FFFFF, 0x7F800000, 0x7F800001, 0x7FC00000, 0x7FFFFFFF};
  const std::uint64_t integers[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFF};
  for (std::uint64_t sign : {0ull, 1ull}) {
    for (std::uint64_t d : doubles) comparison.Run({ExtOp::LoadDouble, {}, {}, d | sign << 63}, false);
    for (std::uint64_t f : floats) comparison.Run({ExtOp::LoadFloat, {}, {}, f | sign << 31}, false);
  }
  for (std::uint64_t i : integers) comparison.Run({ExtOp::LoadInt32, {}, {}, i}, false);
  std::printf("%zu edge cases compared, %zu disagreements\n", comparison.Count(), comparison.Disagreements());
  EXPECT_EQ(comparison.Disagreements(), 0u);
}

// How many random cases the comparison with the processor runs, and from which
// seed; a longer or another run sets TW_EXTENDED_CASES or TW_EXTENDED_SEED.
std::uint64_t Setting(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtoull(value, nullptr, 10) : fallback;
}

TEST(ExtendedX87, AgreesOnRandomAndCalculatorValues) {
  const std::size_t total = Setting("TW_EXTENDED_CASES", 1'000'000);
  ExtCaseGenerator generator(Setting("TW_EXTENDED_SEED", 20240611));
  Comparison comparison;
  // Raising is slow, so the checked forms run on every eighth case; the masked
  // flags they act on are compared on all.
  for (std::size_t i = 0; i < total && comparison.Disagreements() < 20; ++i)
    comparison.Run(generator.Next(), i % 8 == 0);
  std::printf("%zu random cases compared, %zu disagreements\n", comparison.Count(), comparison.Disagreements());
  EXPECT_EQ(comparison.Disagreements(), 0u);
  // Every fault the processor reports must have come up often, or the cases
  // miss a whole class of behaviour.
  const char* names[] = {"invalid", "denormal", "zero divide", "overflow", "underflow", "inexact"};
  for (int bit = 0; bit < 6; ++bit) {
    std::printf("  %s: %zu\n", names[bit], comparison.FlagCounts()[bit]);
    if (total >= 100'000) {
      EXPECT_GE(comparison.FlagCounts()[bit], total / 1000) << names[bit];
    }
  }
}

#endif

}  // namespace
}  // namespace tw::test
