// The cost of loading a form per component, for forms far larger than the
// shipped ones: every step of a load (creating, naming, binding fields,
// setting properties, parenting, resolving references, the after-load steps)
// must cost the same per component whatever the size of the form, and so must
// freeing it.
//
// A synthetic form of n components: the root (a main window, so that handler
// names and fields bind) holds n / 100 blocks, each a group box with 49 labels
// and a nested group box with 49 more. Every label has bounds, a caption, a
// font colour by name, its own font and a click handler; the window names its
// menu, which comes last, so that one reference waits for the whole tree.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/FormLoading.h"
#include "core/Streams.h"
#include "runtime/Runtime.h"
#include "tests/core/FormBytes.h"
#include "tests/core/StandIns.h"

namespace {

using namespace tw;
using namespace tw::standin;

using test::FormBytes;

void Label(FormBytes& form, int number) {
  form.Object("TLabel", "Label" + std::to_string(number));
  form.Prop("Left").Int(8 + number % 300);
  form.Prop("Top").Int(8 + number % 200);
  form.Prop("Width").Int(81);
  form.Prop("Height").Int(12);
  form.Prop("Caption").Str("Label " + std::to_string(number));
  form.Prop("Font.Color").Ident("clRed");
  form.Prop("ParentFont").Bool(false);
  form.Prop("OnClick").Ident("CalcClick");
  form.End();  // properties
  form.End();  // children
}

void GroupBox(FormBytes& form, std::string_view name, int tabOrder) {
  form.Object("TGroupBox", name);
  form.Prop("Left").Int(8);
  form.Prop("Top").Int(16);
  form.Prop("Width").Int(177);
  form.Prop("Height").Int(153);
  form.Prop("TabOrder").Int(tabOrder);
  form.Prop("Caption").Str(name);
  form.End();
}

// A form of `components` components (a multiple of 100) besides the root and
// its menu.
std::vector<std::uint8_t> SyntheticForm(int components) {
  FormBytes form;
  form.Signature();
  form.Object("TForm1", "Form1");
  form.Prop("Caption").Str("Synthetic");
  form.Prop("ClientWidth").Int(418);
  form.Prop("ClientHeight").Int(195);
  form.Prop("Color").Ident("clBtnFace");
  form.Prop("Font.Charset").Ident("SHIFTJIS_CHARSET");
  form.Prop("Font.Height").Int(-12);
  form.Prop("Menu").Ident("MainMenu1");
  form.End();
  int label = 0;
  for (int block = 0; block < components / 100; ++block) {
    GroupBox(form, "Outer" + std::to_string(block), block);
    for (int i = 0; i < 49; ++i) Label(form, ++label);
    GroupBox(form, "Inner" + std::to_string(block), 0);
    for (int i = 0; i < 49; ++i) Label(form, ++label);
    form.End();  // the inner box's children
    form.End();  // the outer box's children
  }
  form.Object("TMainMenu", "MainMenu1");
  form.End();
  form.End();
  form.End();  // the root's children
  return form.Data();
}

void Prepare() {
  static const bool ready = [] {
    InitRuntime();
    RegisterStandInIdentMaps();
    return true;
  }();
  (void)ready;
}

std::unique_ptr<TForm1> LoadForm(const std::vector<std::uint8_t>& bytes) {
  auto root = std::make_unique<TForm1>(nullptr);
  TCustomMemoryStream stream(bytes);
  ReadComponentFromStream(stream, root.get());
  return root;
}

void ReportPerComponent(benchmark::State& state, int components) {
  state.counters["components"] = components;
  // Seconds per component (shown scaled, e.g. "1.2u" is 1.2 microseconds).
  state.counters["per_component"] =
      benchmark::Counter(components, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_LoadForm(benchmark::State& state) {
  Prepare();
  const int components = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> bytes = SyntheticForm(components);
  for (auto _ : state) {
    std::unique_ptr<TForm1> root = LoadForm(bytes);
    state.PauseTiming();
    if (root->OwnedCount() != components + 1) state.SkipWithError("the form did not load completely");
    root.reset();
    state.ResumeTiming();
  }
  ReportPerComponent(state, components);
}

void BM_FreeForm(benchmark::State& state) {
  Prepare();
  const int components = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> bytes = SyntheticForm(components);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<TForm1> root = LoadForm(bytes);
    state.ResumeTiming();
    root.reset();
  }
  ReportPerComponent(state, components);
}

BENCHMARK(BM_LoadForm)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeForm)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
