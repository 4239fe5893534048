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
#include "tests/core/StandIns.h"

namespace {

using namespace tw;
using namespace tw::standin;

// Writes the binary form format.
class FormBytes {
 public:
  FormBytes() { Raw("TPF0"); }

  void Object(std::string_view className, std::string_view name) {
    Text(className);
    Text(name);
  }
  void End() { bytes_.push_back(0); }

  void Int(std::string_view path, std::int32_t value) {
    Text(path);
    if (value >= -128 && value <= 127) {
      bytes_.push_back(2);
      Little(static_cast<std::uint32_t>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
      bytes_.push_back(3);
      Little(static_cast<std::uint32_t>(value), 2);
    } else {
      bytes_.push_back(4);
      Little(static_cast<std::uint32_t>(value), 4);
    }
  }
  void String(std::string_view path, std::string_view value) {
    Text(path);
    bytes_.push_back(6);
    Text(value);
  }
  void Ident(std::string_view path, std::string_view value) {
    Text(path);
    bytes_.push_back(7);
    Text(value);
  }
  void Bool(std::string_view path, bool value) {
    Text(path);
    bytes_.push_back(value ? 9 : 8);
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  void Raw(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  void Text(std::string_view text) {
    bytes_.push_back(static_cast<std::uint8_t>(text.size()));
    Raw(text);
  }
  void Little(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }

  std::vector<std::uint8_t> bytes_;
};

void Label(FormBytes& form, int number) {
  form.Object("TLabel", "Label" + std::to_string(number));
  form.Int("Left", 8 + number % 300);
  form.Int("Top", 8 + number % 200);
  form.Int("Width", 81);
  form.Int("Height", 12);
  form.String("Caption", "Label " + std::to_string(number));
  form.Ident("Font.Color", "clRed");
  form.Bool("ParentFont", false);
  form.Ident("OnClick", "CalcClick");
  form.End();  // properties
  form.End();  // children
}

void GroupBox(FormBytes& form, std::string_view name, int tabOrder) {
  form.Object("TGroupBox", name);
  form.Int("Left", 8);
  form.Int("Top", 16);
  form.Int("Width", 177);
  form.Int("Height", 153);
  form.Int("TabOrder", tabOrder);
  form.String("Caption", name);
  form.End();
}

// A form of `components` components (a multiple of 100) besides the root and
// its menu.
std::vector<std::uint8_t> SyntheticForm(int components) {
  FormBytes form;
  form.Object("TForm1", "Form1");
  form.String("Caption", "Synthetic");
  form.Int("ClientWidth", 418);
  form.Int("ClientHeight", 195);
  form.Ident("Color", "clBtnFace");
  form.Ident("Font.Charset", "SHIFTJIS_CHARSET");
  form.Int("Font.Height", -12);
  form.Ident("Menu", "MainMenu1");
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
  return form.Bytes();
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
