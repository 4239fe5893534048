#include "tests/media/MediaTestSupport.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

namespace tw::media::test {

Bytes Load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot open " << path.string();
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Outcome(const Result<Duration>& result) {
  if (!result) return NameOf(result.Error());
  if (result->ticks % result->ticksPerSecond == 0) return Seconds(result->ticks / result->ticksPerSecond);
  return std::to_string(result->ticks) + "/" + std::to_string(result->ticksPerSecond) + " s";
}

std::string Outcome(const Bytes& bytes) {
  MemorySource source(bytes);
  return Outcome(ReadDuration(source));
}

std::string Seconds(std::uint64_t seconds) { return std::to_string(seconds) + " s"; }

void TempFolderTest::SetUp() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  folder_ =
      std::filesystem::temp_directory_path() / ("tw-media-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(folder_);
}

void TempFolderTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace tw::media::test
