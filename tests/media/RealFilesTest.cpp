// The committed files, made by a real muxer (data/make-files.sh): whole, cut
// short at every length, and with bytes changed.
#include <algorithm>
#include <map>

#include "tests/media/MediaTestSupport.h"

namespace tw::media::test {
namespace {

struct Sample {
  const char* name;
  std::string expected;         // Outcome() of the whole file
  std::uint64_t minutes;        // 0 where it has none
  std::size_t signatureLength;  // shorter than this, the format cannot be told
  // Cuts at a top-level boundary that nothing shows, and what they give.
  std::map<std::size_t, std::string> wholeAt;
  // Cuts up to this many bytes after one of those give the same: fewer bytes
  // than a header after the last whole structure are ignored.
  std::size_t ignoredTail = 0;
};

const Sample kSamples[] = {
    {"avi-2h15m45s.avi", Seconds(8145), 136, 12, {}},
    // The audio outlasts the video: 891 blocks of 9/125 s.
    {"avi-remux-audio-outlasts-video-1m05s.avi", "8019/125 s", 2, 12, {}},  // ffprobe: 60.000000, 64.152000
    {"mp4-moov-at-end-2h00m03s.mp4", Seconds(7203), 121, 8, {}},
    {"mp4-faststart-2h00m00s.mp4", Seconds(7200), 120, 8, {}},
    {"mov-1h30m15s.mov", Seconds(5415), 91, 8, {}},
    {"3gp-2h01m00s.3gp", Seconds(7260), 121, 8, {}},
    {"m4v-45m05s.m4v", Seconds(2705), 46, 8, {}},
    {"mkv-2h00m00s.mkv", Seconds(7200), 120, 4, {}},
    {"webm-2h02m05s.webm", Seconds(7325), 123, 4, {}},
    // No size covers the whole: a cut between the data object and the index
    // after it leaves a file that looks complete, and so does one that leaves
    // less of the index than its identifier.
    {"wmv-2h01m15s.wmv", Seconds(7275), 122, 16, {{8039, Seconds(7275)}}, 16},
    {"flv-2h00m03s.flv", Seconds(7203), 121, 4, {}},
    // Fragmented, with no movie-extends header: the running time comes from
    // the fragments (ffprobe gives the same, in the comments). A cut between
    // two fragments leaves a file that looks complete and runs to the end of
    // the fragment before the cut.
    // ffprobe: 7200.000000
    {"mp4-fragmented-empty-moov.mp4",
     Seconds(7200),
     120,
     8,
     {{2218, Seconds(1800)}, {3000, Seconds(3600)}, {3782, Seconds(5400)}, {4564, Seconds(7200)}},
     8},
    // ffprobe: 7200.000000. Cut before the first fragment it is an ordinary
    // file of 30 minutes.
    {"mp4-fragmented-first-samples-in-moov.mp4",
     Seconds(7200),
     120,
     8,
     {{2306, Seconds(1800)}, {3088, Seconds(3600)}, {3870, Seconds(5400)}, {4652, Seconds(7200)}},
     8},
    // ffprobe: 6000.000000. An index before each fragment, covering that one:
    // a cut after an index whose fragment is missing shows.
    {"mp4-fragmented-dash-1h40m00s.mp4",
     Seconds(6000),
     100,
     8,
     {{2032, Seconds(1200)},
      {2636, Seconds(2400)},
      {3240, Seconds(3600)},
      {3844, Seconds(4800)},
      {4448, Seconds(6000)}},
     8},
    // ffprobe: 7500.000000. One index covering every fragment: any cut before
    // its end shows.
    {"mp4-fragmented-global-sidx-2h05m00s.mp4", Seconds(7500), 125, 8, {{4832, Seconds(7500)}}, 8},
    // ffprobe: 5400.000000
    {"mp4-fragmented-cmaf-1h30m00s.mp4",
     Seconds(5400),
     90,
     8,
     {{1984, Seconds(1200)},
      {2540, Seconds(2400)},
      {3096, Seconds(3600)},
      {3652, Seconds(4800)},
      {3990, Seconds(5400)}},
     8},
    // ffprobe: 6600.000000. No decode times in the fragments: without the
    // random-access table at the end, no cut tells when its last fragment
    // starts.
    {"ismv-1h50m00s.ismv", Seconds(6600), 110, 8, {}, 8},
};

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.name; }

class RealFiles : public ::testing::TestWithParam<Sample> {};

std::string SampleName(const ::testing::TestParamInfo<Sample>& info) {
  std::string name = info.param.name;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

TEST_P(RealFiles, RunningTimeAndSizeFromTheFile) {
  const Sample& sample = GetParam();
  const auto path = DataFolder() / sample.name;
  EXPECT_EQ(Outcome(LoadSample(sample.name)), sample.expected);
  const Result<FileFacts> facts = ReadMinutesAndSize(path);
  if (sample.minutes == 0) {
    ASSERT_FALSE(facts);
    EXPECT_EQ(facts.Error(), MediaError::Damaged);
    return;
  }
  ASSERT_TRUE(facts) << NameOf(facts.Error());
  EXPECT_EQ(facts->minutes, sample.minutes);
  EXPECT_EQ(facts->bytes, std::filesystem::file_size(path));
  EXPECT_GT(facts->bytesRead, 0u);
}

TEST_P(RealFiles, EveryCutIsDamagedOrUnknown) {
  const Sample& sample = GetParam();
  const Bytes whole = LoadSample(sample.name);
  ASSERT_FALSE(whole.empty());
  for (std::size_t length = 0; length < whole.size(); ++length) {
    MemorySource source(std::span<const std::uint8_t>(whole).first(length));
    std::string expected = length < sample.signatureLength ? "UnsupportedFormat" : "Damaged";
    if (auto after = sample.wholeAt.upper_bound(length); after != sample.wholeAt.begin()) {
      const auto& [at, outcome] = *std::prev(after);
      if (length == at || length - at < sample.ignoredTail) expected = outcome;
    }
    const std::string got = Outcome(ReadDuration(source));
    if (got != expected) {
      ADD_FAILURE() << sample.name << " cut to " << length << " bytes: " << got << ", expected " << expected;
      break;
    }
  }
}

// Each byte in turn inverted: whatever the result, it is a clean one.
TEST_P(RealFiles, EveryInvertedByteGivesACleanResult) {
  const Sample& sample = GetParam();
  Bytes bytes = LoadSample(sample.name);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    bytes[at] ^= 0xFF;
    MemorySource source(bytes);
    const Result<Duration> result = ReadDuration(source);
    bytes[at] ^= 0xFF;
    if (!result) {
      ASSERT_TRUE(result.Error() == MediaError::Damaged || result.Error() == MediaError::UnsupportedFormat)
          << sample.name << " byte " << at << ": " << NameOf(result.Error());
    } else {
      ASSERT_GT(result->ticks, 0u);
      ASSERT_GT(result->ticksPerSecond, 0u);
      ASSERT_LE(WholeMinutesRoundedUp(*result), kMaxMinutes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, RealFiles, ::testing::ValuesIn(kSamples), SampleName);

// Only headers are read: the media data can be anything.
TEST(RealFilesMediaData, ChangesNothing) {
  struct Case {
    const char* name;
    std::size_t from, to;  // the media data's bytes (an mdat box's content)
  };
  for (const Case& c : {Case{"mp4-moov-at-end-2h00m03s.mp4", 48, 15144}, Case{"mov-1h30m15s.mov", 36, 3293},
                        Case{"mp4-faststart-2h00m00s.mp4", 2268, 4640}}) {
    Bytes bytes = LoadSample(c.name);
    const std::string whole = Outcome(bytes);
    for (std::size_t at = c.from; at < c.to; at += 7) bytes[at] ^= 0x5A;
    EXPECT_EQ(Outcome(bytes), whole) << c.name;
  }
}

// What is appended to a finished file (zeros, a tagger's tag) is not the
// file's own: it reads as before.
TEST(RealFilesWithBytesAfter, ReadAsBefore) {
  for (const char* name :
       {"avi-2h15m45s.avi", "avi-remux-audio-outlasts-video-1m05s.avi", "mkv-2h00m00s.mkv", "webm-2h02m05s.webm",
        "wmv-2h01m15s.wmv", "flv-2h00m03s.flv", "mp4-faststart-2h00m00s.mp4", "mov-1h30m15s.mov",
        "mp4-fragmented-empty-moov.mp4", "mp4-fragmented-global-sidx-2h05m00s.mp4", "ismv-1h50m00s.ismv"}) {
    const Bytes whole = LoadSample(name);
    for (const Bytes& after : {Bytes(4), AppendedTag("Title"), AppendedTag("")})
      EXPECT_EQ(Outcome(whole + after), Outcome(whole)) << name << " and " << after.size() << " bytes";
  }
}

// Changes at the fields that count, found by their bytes in the real files.
struct Change {
  const char* name;
  const char* what;
  Bytes pattern;        // where: its occurrence-th appearance,
  int occurrence;       // counting from 0,
  std::ptrdiff_t skip;  // plus this many bytes
  Bytes replacement;
  std::string expected;
};

Bytes Hex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

const Change kChanges[] = {
    {"mp4-moov-at-end-2h00m03s.mp4", "time scale 0", Text("mvhd"), 0, 16, Be(0, 4), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "duration 0", Text("mvhd"), 0, 20, Be(0, 4), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "duration unknown", Text("mvhd"), 0, 20, Be(0xFFFFFFFF, 4), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "duration 1 ms over 2 h", Text("mvhd"), 0, 20, Be(7200001, 4), "7200001/1000 s"},
    {"mp4-moov-at-end-2h00m03s.mp4", "movie header version 2", Text("mvhd"), 0, 4, Bytes{2}, "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "no movie header", Text("mvhd"), 0, 0, Text("mvhX"), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "no movie box", Text("moov"), 0, 0, Text("moox"), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "movie box past the end", Text("moov"), 0, -4, Be(0x7FFFFFFF, 4), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "box smaller than its header", Text("mdat"), 0, -4, Be(7, 4), "Damaged"},
    {"mp4-moov-at-end-2h00m03s.mp4", "first box of another type", Text("ftyp"), 0, 0, Text("abcd"),
     "UnsupportedFormat"},
    {"mov-1h30m15s.mov", "movie header past its box", Text("mvhd"), 0, -4, Be(0x7FFFFF, 4), "Damaged"},
    // The last of five fragments starts 1 s (16,384 ticks) later.
    {"mp4-fragmented-cmaf-1h30m00s.mp4", "last decode time 1 s later", Text("tfdt"), 4, 8, Be(78659584, 8), "5401 s"},
    // A 64-bit index: its first offset after the earliest time.
    {"mp4-fragmented-global-sidx-2h05m00s.mp4", "index past the end", Text("sidx"), 0, 24, Be(100000, 8), "Damaged"},
    // The table's last entry (of four, 19 bytes each) names the file type box.
    {"ismv-1h50m00s.ismv", "table pointing at no fragment", Text("tfra"), 0, 85, Be(0, 8), "Damaged"},
    {"avi-2h15m45s.avi", "RIFF past the end", Text("RIFF"), 0, 4, Le(12640, 4), "Damaged"},
    {"avi-2h15m45s.avi", "not AVI", Text("AVI "), 0, 0, Text("WAVE"), "UnsupportedFormat"},
    {"avi-2h15m45s.avi", "no header list", Text("hdrl"), 0, 0, Text("hdrX"), "Damaged"},
    // Without the stream's rate: the main header's 181 frames of 45 s.
    {"avi-2h15m45s.avi", "stream rate 0", Text("strh"), 0, 32, Le(0, 4), Seconds(8145)},
    {"avi-2h15m45s.avi", "stream length 1", Text("strh"), 0, 40, Le(1, 4), Seconds(45)},
    {"avi-2h15m45s.avi", "not a video stream", Text("vids"), 0, 0, Text("auds"), Seconds(8145)},
    {"avi-2h15m45s.avi", "main header's frame duration 0", Text("avih"), 0, 8, Le(0, 4), Seconds(8145)},
    {"avi-2h15m45s.avi", "frame count only", Text("strh"), 0, 28, Le(0, 4), Seconds(8145)},
    {"mkv-2h00m00s.mkv", "no segment information", Hex("1549a966"), 1, 0, Hex("1549a967"), "Damaged"},
    {"mkv-2h00m00s.mkv", "no duration", Hex("4489"), 0, 0, Hex("4488"), "Damaged"},
    {"mkv-2h00m00s.mkv", "duration not a number", Hex("4489"), 0, 3, Hex("7ff8"), "Damaged"},
    {"mkv-2h00m00s.mkv", "duration negative", Hex("4489"), 0, 3, Hex("c1"), "Damaged"},
    {"mkv-2h00m00s.mkv", "duration of 3 bytes", Hex("4489"), 0, 2, Hex("83"), "Damaged"},
    {"mkv-2h00m00s.mkv", "segment past the end", Hex("18538067"), 0, 4, Hex("01ff"), "Damaged"},
    {"mkv-2h00m00s.mkv", "another EBML format", Text("matroska"), 0, 0, Text("matroskb"), "UnsupportedFormat"},
    {"webm-2h02m05s.webm", "timecode scale 0", Hex("2ad7b1"), 0, 4, Be(0, 3), "Damaged"},
    // Microseconds instead of milliseconds: 7,325,000 µs.
    {"webm-2h02m05s.webm", "timecode scale 1000", Hex("2ad7b1"), 0, 4, Be(1000, 3), "7325000000/1000000000 s"},
    {"webm-2h02m05s.webm", "element id of 5 bytes", Hex("1549a966"), 1, 0, Hex("04"), "Damaged"},
    {"wmv-2h01m15s.wmv", "no file properties", Hex("a1dcab8c"), 0, 0, Hex("a2dcab8c"), "Damaged"},
    {"wmv-2h01m15s.wmv", "broadcast", Hex("a1dcab8c"), 0, 88, Le(1, 4), "Damaged"},
    {"wmv-2h01m15s.wmv", "preroll beyond the play duration", Hex("a1dcab8c"), 0, 80, Le(1ULL << 40, 8), "Damaged"},
    {"wmv-2h01m15s.wmv", "no preroll", Hex("a1dcab8c"), 0, 80, Le(0, 8), "72781000000/10000000 s"},
    {"wmv-2h01m15s.wmv", "header object past the end", Bytes{0x30, 0x26}, 0, 16, Le(1ULL << 33, 8), "Damaged"},
    {"flv-2h00m03s.flv", "no duration", Text("duration"), 0, 0, Text("duratioN"), "Damaged"},
    {"flv-2h00m03s.flv", "not metadata", Text("onMetaData"), 0, 0, Text("onMetaDatA"), "Damaged"},
    {"flv-2h00m03s.flv", "duration negative", Text("duration"), 0, 9, Hex("c0"), "Damaged"},
    {"flv-2h00m03s.flv", "duration a string", Text("duration"), 0, 8, Hex("02"), "Damaged"},
    {"flv-2h00m03s.flv", "duration infinite", Text("duration"), 0, 9, Hex("7ff0000000000000"), "Damaged"},
    {"flv-2h00m03s.flv", "longer than it is", Text("filesize"), 0, 9, BeDouble(24896), "Damaged"},
    {"flv-2h00m03s.flv", "size not known", Text("filesize"), 0, 9, BeDouble(0), Seconds(7203)},
    {"flv-2h00m03s.flv", "tag past the end", Text("FLV"), 0, 14, Hex("7f"), "Damaged"},
    {"flv-2h00m03s.flv", "another version", Text("FLV"), 0, 3, Hex("02"), "UnsupportedFormat"},
};

std::ptrdiff_t Find(const Bytes& bytes, const Bytes& pattern, int occurrence) {
  auto at = bytes.begin();
  for (int n = 0;; ++n, ++at) {
    at = std::search(at, bytes.end(), pattern.begin(), pattern.end());
    if (at == bytes.end()) return -1;
    if (n == occurrence) return at - bytes.begin();
  }
}

TEST(RealFilesChanged, GiveTheirResults) {
  for (const Change& change : kChanges) {
    Bytes bytes = LoadSample(change.name);
    const std::ptrdiff_t found = Find(bytes, change.pattern, change.occurrence);
    ASSERT_GE(found, 0) << change.name << ": " << change.what;
    std::copy(change.replacement.begin(), change.replacement.end(), bytes.begin() + found + change.skip);
    EXPECT_EQ(Outcome(bytes), change.expected) << change.name << ": " << change.what;
  }
}

}  // namespace
}  // namespace tw::media::test
