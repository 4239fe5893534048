// The conversions every calculation goes through, and the formatter's growing
// buffer on long outputs.
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/Convert.h"
#include "runtime/Format.h"
#include "runtime/Runtime.h"

namespace {

void BM_ParseInteger(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tw::ParseInteger("   2147483647"));
}
BENCHMARK(BM_ParseInteger);

void BM_IntegerToText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tw::IntegerToText(-2147483647));
}
BENCHMARK(BM_IntegerToText);

void BM_FormatTextLong(benchmark::State& state) {
  const std::string text(static_cast<std::size_t>(state.range(0)), 'x');
  for (auto _ : state) benchmark::DoNotOptimize(tw::FormatText("%s|%d", {text, 42}));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FormatTextLong)->Arg(100)->Arg(10000)->Arg(1000000);

}  // namespace

int main(int argc, char** argv) {
  tw::InitRuntime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
