// Shared by the media tests: the committed sample files, and results printed
// readably by GoogleTest.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "media/Duration.h"
#include "tests/media/Containers.h"

namespace tw::media {

inline void PrintTo(MediaError error, std::ostream* out) { *out << NameOf(error); }
inline void PrintTo(const Duration& d, std::ostream* out) { *out << d.ticks << "/" << d.ticksPerSecond << " s"; }

}  // namespace tw::media

namespace tw::media::test {

// The folder of the committed sample files (made by data/make-files.sh).
inline std::filesystem::path DataFolder() { return std::filesystem::path(TW_MEDIA_TEST_DATA); }

Bytes Load(const std::filesystem::path& path);
inline Bytes LoadSample(const std::string& name) { return Load(DataFolder() / name); }

// The running time read from bytes held in memory, as text: "7203 s" (exact
// seconds), "7203001/1000 s", or the error's name.
std::string Outcome(const Bytes& bytes);
std::string Outcome(const Result<Duration>& result);
// The same for a number of exact seconds.
std::string Seconds(std::uint64_t seconds);

// A folder of its own under the system's temporary folder, removed afterwards.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path folder_;
};

}  // namespace tw::media::test
