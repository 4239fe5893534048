// Replays every input of the form reader's fuzz corpus (the shipped forms and
// whatever the fuzzer kept or found) through the fuzz target's own entry, so
// that both builds, the Windows one under Wine included, run them as a test. A
// fault aborts the process, which fails the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tw {
namespace {

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FormReaderCorpusTest, EveryInputLoadsOrFailsCleanly) {
  const std::filesystem::path folder(TW_FORM_READER_CORPUS);
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder.string();
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<std::uint8_t> bytes = FileBytes(entry.path());
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    ++replayed;
  }
  // The two shipped forms seed the corpus; finding fewer means a wrong folder.
  EXPECT_GE(replayed, 2);
}

}  // namespace
}  // namespace tw
