// Any bytes read as a video file give either a running time or one of the two
// errors that content can cause (UnsupportedFormat, Damaged); the others
// belong to the file system, which a block of memory does not have. A running
// time is above zero and at most the longest accepted, its whole minutes are
// rounded up exactly, and the reading stays within its bound: the budget plus
// one header per top-level structure, of which the input holds at most one
// per two bytes. Anything else (a crash, a hang, a leak) escapes to the fuzzer.
//
// The same entry replays the corpus as an ordinary test (tests/fuzz), so it is
// plain C++ that any compiler builds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "media/Duration.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "media duration fuzz: %s\n", what);
  std::abort();
}

// m ≥ 1 whole minutes hold t ÷ r seconds when (m − 1) × 60r < t ≤ m × 60r;
// checked where a 128-bit type is at hand (not in the 32-bit replay).
void CheckMinutes([[maybe_unused]] tw::media::Duration d, std::uint64_t minutes) {
  if (minutes == 0) Fail("a running time of no minutes");
#ifdef __SIZEOF_INT128__
  using Wide = unsigned __int128;
  const Wide perMinute = Wide{d.ticksPerSecond} * 60;
  if (!((minutes - 1) * perMinute < d.ticks && d.ticks <= minutes * perMinute)) Fail("minutes not rounded up");
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tw::media;
  MemorySource source(std::span(data, size));
  const Result<Duration> result = ReadDuration(source);
  if (result) {
    if (result->ticks == 0 || result->ticksPerSecond == 0) Fail("an empty running time");
    const std::uint64_t minutes = WholeMinutesRoundedUp(*result);
    if (minutes > kMaxMinutes) Fail("a running time beyond the limit");
    CheckMinutes(*result, minutes);
  } else if (result.Error() != MediaError::UnsupportedFormat && result.Error() != MediaError::Damaged) {
    Fail("an error that memory cannot cause");
  }
  if (source.BytesRead() > kReadBudget + kMaxHeaderBytes * (size / 2 + 1)) Fail("read beyond the bound");
  return 0;
}
