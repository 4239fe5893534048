// Reading the running time of files over 4 GiB, one of each format, made
// sparse in a temporary folder at start (tests/media/Containers): the time of
// a whole reading (open, read, close) and the bytes it read, which must stay
// near the read bound however large the file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "media/Duration.h"
#include "tests/media/Containers.h"

namespace {

namespace fs = std::filesystem;
using namespace tw::media;

fs::path& Folder() {
  static fs::path folder;
  return folder;
}

void ReadLargeFile(benchmark::State& state, const test::LargeFile& large) {
  const fs::path path = Folder() / large.name;
  std::uint64_t bytesRead = 0;
  for (auto _ : state) {
    const Result<FileFacts> facts = ReadMinutesAndSize(path);
    if (!facts || facts->minutes != large.minutes) {
      state.SkipWithError("the running time was not read");
      return;
    }
    bytesRead = facts->bytesRead;
  }
  state.counters["bytes_read"] = static_cast<double>(bytesRead);
  state.counters["file_GiB"] = static_cast<double>(large.size) / (1u << 30);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  Folder() = fs::temp_directory_path() / ("tw-media-bench-" + std::to_string(stamp));
  fs::create_directories(Folder());
  for (const test::LargeFile& large : test::LargeFiles()) {
    test::WriteSparse(Folder() / large.name, large);
    benchmark::RegisterBenchmark(("ReadMinutesAndSize/" + large.name).c_str(), ReadLargeFile, large);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(Folder(), ignored);
  return 0;
}
