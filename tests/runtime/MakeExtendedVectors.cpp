// Writes the vectors for the software extended-precision arithmetic to standard
// output, with the results and fault flags the x87 gives: every edge value
// through the unary operations, random pairs of edge values through the binary
// ones, then random cases. Run on x86:
//   make_extended_vectors > tests/runtime/data/extended-vectors.txt
#include <cstdio>
#include <random>

#include "runtime/Fpu.h"
#include "tests/runtime/ExtendedCases.h"

int main() {
  using namespace tw::test;
  // The policy's precision and rounding, whatever the platform starts with.
  tw::ResetFpu();
  std::puts("# op operands -> result flags: the x87's masked result and its status-word fault flags.");
  std::puts("# Extended values are sign-exponent:significand; loads take a source pattern, stores give one;");
  std::puts("# every pattern and the flags are in decimal.");
  const std::vector<tw::Extended> edges = EdgeValues();
  const auto emit = [](const ExtCase& c) { std::puts(FormatVector(c, RunX87(c)).c_str()); };
  for (const tw::Extended& a : edges)
    for (ExtOp op : {ExtOp::StoreDouble, ExtOp::StoreFloat, ExtOp::Truncate}) emit({op, a, {}});
  std::mt19937_64 random(1);
  for (int i = 0; i < 2000; ++i)
    emit({static_cast<ExtOp>(i % 4), edges[random() % edges.size()], edges[random() % edges.size()]});
  ExtCaseGenerator generator(2);
  for (int i = 0; i < 1500; ++i) emit(generator.Next());
  return 0;
}
