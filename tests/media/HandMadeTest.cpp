// Hand-made headers for what the sample files do not show: each format's
// alternatives and limits, the exact rounding at whole minutes, OpenDML,
// elements of unknown size and movie fragments.
#include <algorithm>
#include <bit>
#include <limits>

#include "tests/media/MediaTestSupport.h"

namespace tw::media::test {
namespace {

struct Case {
  const char* what;
  Bytes bytes;
  std::string expected;  // as Outcome() gives it
  std::uint64_t minutes = 0;
};

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    MemorySource source(c.bytes);
    const Result<Duration> result = ReadDuration(source);
    EXPECT_EQ(Outcome(result), c.expected) << c.what;
    if (result) {
      EXPECT_EQ(WholeMinutesRoundedUp(*result), c.minutes) << c.what;
    }
  }
}

constexpr std::uint64_t kLimitSeconds = kMaxMinutes * 60;

Bytes Mp4(const Bytes& movie, const Bytes& after = {}) {
  return FileType() + Box("moov", movie) + Box("mdat", Bytes(8)) + after;
}
Bytes Fragment() { return Box("moof", Box("mfhd", Be(0, 8))) + Box("mdat", Bytes(8)); }

TEST(HandMade, IsoMedia) {
  Check({
      {"exactly 2 hours", Mp4(MovieHeader(0, 1000, 7200000)), "7200 s", 120},
      {"2 hours and 1 ms", Mp4(MovieHeader(0, 1000, 7200001)), "7200001/1000 s", 121},
      {"2 hours less 1/90000 s", Mp4(MovieHeader(0, 90000, 647999999)), "647999999/90000 s", 120},
      {"version 1", Mp4(MovieHeader(1, 1, std::uint64_t{1} << 33)), "8589934592 s", 143165577},
      {"the longest accepted", Mp4(MovieHeader(1, 1, kLimitSeconds)), Seconds(kLimitSeconds), kMaxMinutes},
      {"1 s longer", Mp4(MovieHeader(1, 1, kLimitSeconds + 1)), "Damaged"},
      {"the longest a 64-bit count gives", Mp4(MovieHeader(1, 1, ~std::uint64_t{0} - 1)), "Damaged"},
      {"time scale 0", Mp4(MovieHeader(0, 0, 7200)), "Damaged"},
      {"duration 0", Mp4(MovieHeader(0, 1000, 0)), "Damaged"},
      {"no movie header", Mp4(Box("trak", Bytes(20))), "Damaged"},
      {"movie header cut short", Mp4(Box("mvhd", Bytes(12))), "Damaged"},
      {"the first movie header counts", Mp4(MovieHeader(0, 1, 60) + MovieHeader(0, 1, 120)), "60 s", 1},
      {"a short terminator closes the movie box", Mp4(MovieHeader(0, 1, 60) + Be(0, 4)), "60 s", 1},
      {"movie box after 64-bit media data",
       FileType() + LargeBoxHeader("mdat", 100) + Bytes(100) + Box("moov", MovieHeader(0, 600, 4323000)), "7205 s",
       121},
      {"media data to the end of the file (size 0)",
       FileType() + Box("moov", MovieHeader(0, 1, 7200)) + Be(0, 4) + Text("mdat") + Bytes(9), "7200 s", 120},
      {"no media data", FileType() + Box("moov", MovieHeader(0, 1, 7200)) + Box("free", {}), "Damaged"},
      {"64-bit size smaller than its header", FileType() + Be(1, 4) + Text("mdat") + Be(15, 8), "Damaged"},
      {"no movie box", FileType() + Box("mdat", Bytes(100)), "Damaged"},
      {"bytes after the last box", Mp4(MovieHeader(0, 1, 7200)) + Bytes(7), "Damaged"},
      {"QuickTime: movie box first", Box("moov", MovieHeader(0, 600, 600)) + Box("mdat", {}), "1 s", 1},
  });
}

TEST(HandMade, IsoMediaFragments) {
  const Bytes trex = Box("trex", Bytes(24));
  Check({
      {"empty movie, fragment duration",
       Mp4(MovieHeader(0, 1000, 0) + Box("mvex", MovieExtendsHeader(0, 7200001) + trex), Fragment() + Fragment()),
       "7200001/1000 s", 121},
      {"empty movie, 64-bit fragment duration",
       Mp4(MovieHeader(1, 10, 0) + Box("mvex", trex + MovieExtendsHeader(1, 72000)), Fragment()), "7200 s", 120},
      // The movie header covers the samples before the first fragment only.
      {"first samples in the movie, fragment duration",
       Mp4(MovieHeader(0, 1, 60) + Box("mvex", MovieExtendsHeader(0, 7200) + trex), Fragment()), "7200 s", 120},
      {"first samples in the movie, no fragment duration", Mp4(MovieHeader(0, 1, 60) + Box("mvex", trex), Fragment()),
       "Damaged"},
      {"empty movie, no fragment duration", Mp4(MovieHeader(0, 1, 0) + Box("mvex", trex), Fragment()), "Damaged"},
      {"unknown duration, fragment duration",
       Mp4(MovieHeader(0, 1, 0xFFFFFFFF) + Box("mvex", MovieExtendsHeader(0, 90)), Fragment()), "90 s", 2},
      {"fragment duration 0", Mp4(MovieHeader(0, 1, 0) + Box("mvex", MovieExtendsHeader(0, 0)), Fragment()), "Damaged"},
      {"fragment duration unknown",
       Mp4(MovieHeader(1, 1, 0) + Box("mvex", MovieExtendsHeader(1, ~std::uint64_t{0})), Fragment()), "Damaged"},
      {"fragment header version 2",
       Mp4(MovieHeader(0, 1, 0) + Box("mvex", Box("mehd", Be(2u << 24, 4) + Be(9, 8))), Fragment()), "Damaged"},
      {"ready for fragments, none came", Mp4(MovieHeader(0, 1, 300) + Box("mvex", trex)), "300 s", 5},
  });
}

// A real fragmented file given the header its muxer leaves out.
TEST(HandMade, RealFragmentedFileWithMovieExtendsHeader) {
  Bytes bytes = LoadSample("mp4-fragmented-empty-moov.mp4");
  const auto mvex = std::search(bytes.begin(), bytes.end(), std::begin("mvex"), std::end("mvex") - 1) - 4;
  const auto moov = std::search(bytes.begin(), bytes.end(), std::begin("moov"), std::end("moov") - 1) - 4;
  ASSERT_LT(moov, mvex);
  const Bytes mehd = MovieExtendsHeader(0, 7200 * 1000);  // the movie's time scale is 1000
  const std::size_t mvexAt = static_cast<std::size_t>(mvex - bytes.begin());
  const std::size_t moovAt = static_cast<std::size_t>(moov - bytes.begin());
  auto grow = [&](std::size_t at) {
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < 4; ++i) size = size << 8 | bytes[at + i];
    size += mehd.size();
    std::copy_n(Be(size, 4).begin(), 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
  };
  grow(mvexAt);
  grow(moovAt);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(mvexAt + 8), mehd.begin(), mehd.end());
  EXPECT_EQ(Outcome(bytes), "7200 s");
}

Bytes Avi(const Bytes& headers, std::string_view before = "") {
  const Bytes junk = before.empty() ? Bytes{} : Chunk("JUNK", Text(before));
  return List("RIFF", "AVI ", junk + List("LIST", "hdrl", headers) + List("LIST", "movi", Bytes(10)));
}

TEST(HandMade, Avi) {
  Check({
      {"NTSC frames just under 2 hours", Avi(MainHeader(33367, 1) + StreamList("vids", 1001, 30000, 215784)),
       "215999784/30000 s", 120},
      {"NTSC frames just over 2 hours", Avi(MainHeader(33367, 1) + StreamList("vids", 1001, 30000, 215785)),
       "216000785/30000 s", 121},
      {"the first video stream, after an audio one",
       Avi(MainHeader(40000, 1) + StreamList("auds", 1, 44100, 44100 * 9000) + StreamList("vids", 1, 25, 180000) +
           StreamList("vids", 1, 25, 1)),
       "7200 s", 120},
      {"interleaved DV", Avi(MainHeader(40000, 1) + StreamList("iavs", 1, 25, 1500)), "60 s", 1},
      {"no usable stream rate: the OpenDML frame count",
       Avi(MainHeader(40000, 1000) + StreamList("vids", 1, 0, 180000) + ExtendedHeader(180001)), "7200040000/1000000 s",
       121},
      {"no video stream: the OpenDML frame count",
       Avi(MainHeader(40000, 1000) + StreamList("auds", 1, 8000, 1) + ExtendedHeader(180000)), "7200 s", 120},
      {"OpenDML frame count 0: the main header",
       Avi(MainHeader(40000, 1500) + StreamList("vids", 0, 25, 3) + ExtendedHeader(0)), "60 s", 1},
      {"no stream: the main header", Avi(MainHeader(40000, 180000)), "7200 s", 120},
      {"nothing usable", Avi(MainHeader(0, 180000) + StreamList("vids", 1, 0, 9) + ExtendedHeader(9)), "Damaged"},
      {"no main header, no stream", Avi(ExtendedHeader(9)), "Damaged"},
      {"the header list after an odd-sized chunk", Avi(MainHeader(40000, 1500), "odd"), "60 s", 1},
      {"stream header cut short", Avi(MainHeader(40000, 1500) + List("LIST", "strl", Chunk("strh", Bytes(20)))),
       "Damaged"},
      {"no header list", List("RIFF", "AVI ", List("LIST", "movi", Bytes(10))), "Damaged"},
      {"a second RIFF chunk past the end", Avi(MainHeader(40000, 1500)) + Text("RIFF") + Le(100, 4) + Text("AVIX"),
       "Damaged"},
      {"a second RIFF chunk", Avi(MainHeader(40000, 1500)) + List("RIFF", "AVIX", Bytes(100)), "60 s", 1},
  });
}

Bytes Segment(const Bytes& children) { return EbmlHeader("matroska") + Element(kSegment, children); }
Bytes Info(const Bytes& children) { return Element(kInfo, children); }
Bytes Float64(double value) { return Element(kDuration, BeDouble(value)); }

TEST(HandMade, Matroska) {
  const Bytes twoHours = Float64(7200000.0);
  const Bytes float32 = Element(kDuration, Be(std::bit_cast<std::uint32_t>(7200000.0f), 4));
  Check({
      {"milliseconds by default", Segment(Info(twoHours)), "7200 s", 120},
      {"half a millisecond more", Segment(Info(Float64(7200000.5))), "7200000500000/1000000000 s", 121},
      {"a 32-bit float", Segment(Info(float32)), "7200 s", 120},
      // 7200.001 is a little more than that in binary: up to the next ns.
      {"seconds", Segment(Info(UintElement(kTimecodeScale, 1'000'000'000, 4) + Float64(7200.001))),
       "7200001000001/1000000000 s", 121},
      {"the scale after the duration", Segment(Info(Float64(7200) + UintElement(kTimecodeScale, 1'000'000'000, 4))),
       "7200 s", 120},
      {"the longest accepted, past 2^64 ns",
       Segment(Info(UintElement(kTimecodeScale, 1'000'000'000, 4) + Float64(static_cast<double>(kLimitSeconds)))),
       Seconds(kLimitSeconds), kMaxMinutes},
      {"1 ms longer",
       Segment(
           Info(UintElement(kTimecodeScale, 1'000'000, 4) + Float64(static_cast<double>(kLimitSeconds) * 1000 + 1))),
       "Damaged"},
      {"beyond any count", Segment(Info(UintElement(kTimecodeScale, ~std::uint64_t{0}, 8) + Float64(1e300))),
       "Damaged"},
      {"a trace of a second", Segment(Info(UintElement(kTimecodeScale, 1, 1) + Float64(1e-300))), "1/1000000000 s", 1},
      {"scale 0", Segment(Info(UintElement(kTimecodeScale, 0, 1) + twoHours)), "Damaged"},
      {"scale of 9 bytes", Segment(Info(Element(kTimecodeScale, Bytes(9, 1)) + twoHours)), "Damaged"},
      {"duration 0", Segment(Info(Float64(0))), "Damaged"},
      {"duration of 0 bytes", Segment(Info(Element(kDuration, {}))), "Damaged"},
      {"no duration", Segment(Info(UintElement(kTimecodeScale, 1000, 2))), "Damaged"},
      {"no segment information", Segment(Element(kTracks, Bytes(30))), "Damaged"},
      {"no segment", EbmlHeader("matroska") + Element(0xEC, Bytes(4)), "Damaged"},
      {"WebM", EbmlHeader("webm") + Element(kSegment, Info(twoHours)), "7200 s", 120},
      {"type padded with zeros", EbmlHeader(std::string_view("webm\0\0", 6)) + Element(kSegment, Info(twoHours)),
       "7200 s", 120},
      {"another document type", EbmlHeader("mka2") + Element(kSegment, Info(twoHours)), "UnsupportedFormat"},
      {"a long document type", EbmlHeader("matroska-extended") + Element(kSegment, Info(twoHours)),
       "UnsupportedFormat"},
      {"a Void before the segment",
       EbmlHeader("matroska") + Element(0xEC, Bytes(3)) + Element(kSegment, Info(twoHours)), "7200 s", 120},
  });
}

TEST(HandMade, MatroskaUnknownSizes) {
  const Bytes twoHours = Info(Float64(7200000.0));
  const Bytes cluster = UintElement(0xE7, 0, 1) + Element(0xA3, Bytes(40));  // time code, a block
  Check({
      {"segment", EbmlHeader("matroska") + UnknownSizeElement(kSegment, twoHours), "7200 s", 120},
      {"cluster before the information",
       EbmlHeader("matroska") + UnknownSizeElement(kSegment, UnknownSizeElement(kCluster, cluster) + twoHours),
       "7200 s", 120},
      {"two clusters before it",
       Segment(UnknownSizeElement(kCluster, cluster) + UnknownSizeElement(kCluster, cluster) + twoHours), "7200 s",
       120},
      {"the information itself, ended by the tracks",
       Segment(UnknownSizeElement(kInfo, Float64(60000)) + Element(kTracks, Float64(7200000))), "60 s", 1},
      {"the information itself, ended by the segment's end",
       EbmlHeader("matroska") + UnknownSizeElement(kSegment, UnknownSizeElement(kInfo, Float64(60000))), "60 s", 1},
      {"unknown sizes nested", Segment(UnknownSizeElement(kCluster, UnknownSizeElement(0xA0, cluster)) + twoHours),
       "Damaged"},
      {"cluster running to the end", Segment(UnknownSizeElement(kCluster, cluster)), "Damaged"},
      {"EBML header", UnknownSizeElement(0x1A45DFA3, Bytes(4)) + Element(kSegment, twoHours), "Damaged"},
      {"document type of unknown size",
       Element(0x1A45DFA3, UnknownSizeElement(0x4282, Text("webm"))) + Element(kSegment, twoHours), "Damaged"},
      {"an element of unknown size before the segment",
       EbmlHeader("matroska") + UnknownSizeElement(0xEC, {}) + Element(kSegment, twoHours), "Damaged"},
  });
}

Bytes Asf(std::uint64_t play, std::uint64_t preroll, std::uint32_t flags = 2) {
  return AsfHeader(AsfObject(Bytes(16, 7), Bytes(10)) + FileProperties(play, preroll, flags), 2) +
         AsfObject(AsfDataGuid(), Bytes(26));
}

// An object whose size says it ends after length bytes.
Bytes CutShort(Bytes object, std::size_t length) {
  object.resize(length);
  const Bytes size = Le(length, 8);
  std::copy(size.begin(), size.end(), object.begin() + 16);
  return object;
}

TEST(HandMade, Asf) {
  Check({
      {"2 hours after the preroll", Asf(72'030'000'000, 3000), "7200 s", 120},
      {"and 1 ms", Asf(72'030'010'000, 3000), "72000010000/10000000 s", 121},
      {"no preroll", Asf(600'000'000, 0), "60 s", 1},
      {"nothing after the preroll", Asf(30'000'000, 3000), "Damaged"},
      {"preroll beyond", Asf(29'999'999, 3000), "Damaged"},
      {"preroll beyond any count", Asf(1, ~std::uint64_t{0}), "Damaged"},
      {"broadcast", Asf(72'030'000'000, 3000, 3), "Damaged"},
      {"no file properties", AsfHeader(AsfObject(Bytes(16, 7), Bytes(10)), 1) + AsfObject(AsfDataGuid(), Bytes(26)),
       "Damaged"},
      {"no data object", AsfHeader(FileProperties(600'000'000, 0, 2), 1), "Damaged"},
      {"file properties cut short",
       AsfHeader(CutShort(FileProperties(72'030'000'000, 3000, 2), 60), 1) + AsfObject(AsfDataGuid(), Bytes(26)),
       "Damaged"},
      {"an object smaller than its header", Asf(600'000'000, 0) + Bytes(16) + Le(23, 8), "Damaged"},
  });
}

Bytes Flv(const Bytes& properties) { return FlvHeader() + FlvTag(18, OnMetaData(properties)); }
Bytes FlvDuration(double seconds) { return AmfName("duration") + AmfNumber(seconds); }

TEST(HandMade, Flv) {
  const Bytes video = FlvTag(9, Bytes(30, 0x17));
  Bytes deep = Bytes{0x0A} + Be(1, 4);
  for (int i = 0; i < 40; ++i) deep = deep + Bytes{0x0A} + Be(1, 4);
  Check({
      {"2 hours", Flv(FlvDuration(7200)), "7200 s", 120},
      {"and 1 ms", Flv(FlvDuration(7200.001)), "7200001000001/1000000000 s", 121},
      {"after values of every kind",
       Flv(AmfName("s") + AmfString("text") + AmfName("b") + Bytes{0x01, 0x01} + AmfName("n") + Bytes{0x05} +
           AmfName("u") + Bytes{0x06} + AmfName("r") + Bytes{0x07, 0, 1} + AmfName("d") + Bytes{0x0B} + Bytes(10) +
           AmfName("l") + Bytes{0x0C} + Be(3, 4) + Text("abc") + AmfName("x") + Bytes{0x0F} + Be(1, 4) + Text("<") +
           AmfName("a") + Bytes{0x0A} + Be(2, 4) + AmfNumber(1) + AmfString("2") + AmfName("o") + Bytes{0x03} +
           AmfName("duration") + AmfNumber(5) + Bytes{0, 0, 0x09} + AmfName("t") + Bytes{0x10} + AmfName("T") +
           Bytes{0, 0, 0x09} + AmfName("e") + Bytes{0x08} + Be(0, 4) + Bytes{0, 0, 0x09} + FlvDuration(60)),
       "60 s", 1},
      {"as an object",
       FlvHeader() + FlvTag(18, AmfString("onMetaData") + Bytes{0x03} + FlvDuration(60) + Bytes{0, 0, 9}), "60 s", 1},
      {"after a video tag and another script",
       FlvHeader() + video + FlvTag(18, AmfString("onCuePoint")) + FlvTag(18, OnMetaData(FlvDuration(120))), "120 s",
       2},
      {"an encrypted script is not read", FlvHeader() + FlvTag(18 | 0x20, OnMetaData(FlvDuration(60))), "Damaged"},
      {"duration 0", Flv(FlvDuration(0)), "Damaged"},
      {"duration not a number", Flv(FlvDuration(std::numeric_limits<double>::quiet_NaN())), "Damaged"},
      {"duration negative", Flv(FlvDuration(-60)), "Damaged"},
      {"no duration", Flv(AmfName("width") + AmfNumber(16)), "Damaged"},
      {"no metadata", FlvHeader() + video + video, "Damaged"},
      {"an unknown value first", Flv(AmfName("m") + Bytes{0x11} + FlvDuration(60)), "Damaged"},
      {"arrays nested too deep", Flv(AmfName("a") + deep + FlvDuration(60)), "Damaged"},
      {"the metadata cut by its tag", FlvHeader() + FlvTag(18, AmfString("onMetaData") + Bytes{0x08, 0, 0}), "Damaged"},
      {"metadata a number", FlvHeader() + FlvTag(18, AmfString("onMetaData") + AmfNumber(60)), "Damaged"},
      {"body before the header's end", Bytes{'F', 'L', 'V', 1, 1} + Be(8, 4) + Be(0, 4), "Damaged"},
      {"body beyond the end", Bytes{'F', 'L', 'V', 1, 1} + Be(100, 4) + Be(0, 4), "Damaged"},
  });
}

// The metadata is read within the bound: a duration behind 100 KB of other
// values is not found; one before them is.
TEST(HandMade, FlvMetadataWithinTheBound) {
  const Bytes bulk = AmfName("bulk") + Bytes{0x0C} + Be(100'000, 4) + Bytes(100'000, 'x');
  EXPECT_EQ(Outcome(Flv(FlvDuration(60) + bulk)), "60 s");
  EXPECT_EQ(Outcome(Flv(bulk + FlvDuration(60))), "Damaged");
}

TEST(WholeMinutes, RoundUpExactly) {
  struct Row {
    Duration duration;
    std::uint64_t minutes;
  };
  const std::uint64_t max = ~std::uint64_t{0};
  for (const Row& row : {Row{{0, 1}, 0}, Row{{1, 1'000'000'000}, 1}, Row{{60, 1}, 1}, Row{{61, 1}, 2},
                         Row{{7200000, 1000}, 120}, Row{{7200001, 1000}, 121}, Row{{max, max}, 1},
                         Row{{max, 1}, max / 60 + 1}, Row{{3600, 60}, 1}, Row{{3601, 60}, 2}, Row{{60, 0}, 0}}) {
    EXPECT_EQ(WholeMinutesRoundedUp(row.duration), row.minutes)
        << row.duration.ticks << "/" << row.duration.ticksPerSecond;
  }
}

TEST(Megabytes, RoundUp) {
  for (const auto& [bytes, megabytes] :
       std::initializer_list<std::pair<std::uint64_t, std::uint64_t>>{{0, 0},
                                                                      {1, 1},
                                                                      {1048576, 1},
                                                                      {1048577, 2},
                                                                      {734003200, 700},
                                                                      {734003201, 701},
                                                                      {~std::uint64_t{0}, std::uint64_t{1} << 44}}) {
    EXPECT_EQ(MegabytesRoundedUp(bytes), megabytes) << bytes;
  }
}

}  // namespace
}  // namespace tw::media::test
