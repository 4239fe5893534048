// Hand-made headers for what the sample files do not show: each format's
// alternatives and limits, the exact rounding at whole minutes, OpenDML,
// elements of unknown size and movie fragments.
#include <algorithm>
#include <limits>

#include "runtime/BitCast.h"
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
      {"QuickTime: movie box first", Box("moov", MovieHeader(0, 600, 600)) + Box("mdat", {}), "1 s", 1},
      {"QuickTime: an empty wide atom first",
       Box("wide", {}) + Box("mdat", Bytes(8)) + Box("moov", MovieHeader(0, 600, 4320000)), "7200 s", 120},
      {"movie box with a 64-bit size",
       FileType() + LargeBoxHeader("moov", 108) + MovieHeader(0, 1000, 7200000) + Box("mdat", Bytes(8)), "7200 s", 120},
  });
}

// After the last whole box: too few bytes for a header, or a header of a type
// no file holds at its top level, are bytes appended to a finished file; a
// known type running past the end is a box cut short.
TEST(HandMade, IsoMediaBytesAfterTheLastBox) {
  const Bytes whole = Mp4(MovieHeader(0, 1, 7200));
  const Bytes tag = AppendedTag("Title");
  Check({
      {"4 zero bytes", whole + Be(0, 4), "7200 s", 120},
      {"7 bytes", whole + Bytes(7), "7200 s", 120},
      {"a 128-byte tag", whole + tag, "7200 s", 120},
      {"a header of an unknown type past the end", whole + Be(100, 4) + Text("abcd") + Bytes(10), "7200 s", 120},
      {"an unknown type, 64-bit size cut", whole + Be(1, 4) + Text("abcd") + Be(0, 4), "7200 s", 120},
      {"a known box past the end", whole + Be(100, 4) + Text("free") + Bytes(10), "Damaged"},
      {"a known box smaller than its header", whole + Be(4, 4) + Text("skip"), "Damaged"},
      {"a known type, 64-bit size cut", whole + Be(1, 4) + Text("mdat") + Be(0, 4), "Damaged"},
      {"a fragment past the end",
       Mp4(MovieHeader(0, 1, 0) + Box("mvex", MovieExtendsHeader(0, 7200))) + Be(100, 4) + Text("moof"), "Damaged"},
      {"the movie box after an unknown tail",
       FileType() + Box("mdat", Bytes(8)) + tag + Box("moov", MovieHeader(0, 1, 60)), "Damaged"},
  });
}

// QuickTime may open with a uuid or junk atom of any content: one with a
// size that fits, followed by a box a file begins with, counts.
TEST(HandMade, IsoMediaFirstBox) {
  const Bytes movie = Box("moov", MovieHeader(0, 1, 7200)) + Box("mdat", Bytes(8));
  Check({
      {"uuid, then the file type", Box("uuid", Bytes(16, 0xA5)) + FileType() + movie, "7200 s", 120},
      {"uuid, then the movie", Box("uuid", Bytes(20, 0x5A)) + movie, "7200 s", 120},
      {"junk, then the movie", Box("junk", Text("odd")) + movie, "7200 s", 120},
      {"free, then the file type", Box("free", Bytes(4)) + FileType() + movie, "7200 s", 120},
      {"uuid, then an unknown type", Box("uuid", Bytes(16)) + Box("abcd", {}) + movie, "UnsupportedFormat"},
      {"uuid shorter than its identifier", Box("uuid", Bytes(8)) + movie, "UnsupportedFormat"},
      {"junk past the end", Be(4096, 4) + Text("junk") + movie, "UnsupportedFormat"},
      {"junk at the very end", Box("junk", Bytes(8)), "UnsupportedFormat"},
      {"text", Text("Ok, junk text follows: nothing of a film here.\n"), "UnsupportedFormat"},
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
      {"fragment duration, a fragment, no media data",
       FileType() + Box("moov", MovieHeader(0, 1, 0) + Box("mvex", MovieExtendsHeader(0, 7200))) +
           Box("moof", Box("mfhd", Be(0, 8))),
       "Damaged"},
      {"fragment duration, the last fragment without its media data",
       Mp4(MovieHeader(0, 1, 0) + Box("mvex", MovieExtendsHeader(0, 7200)), Fragment() + Box("moof", {})), "Damaged"},
  });
}

// A fragmented movie without a movie-extends header: an empty movie box
// describing the tracks, then the fragments given.
Bytes Fragmented(const Bytes& tracks, const Bytes& extends, const Bytes& fragments) {
  return FileType() + Box("moov", MovieHeader(0, 1000, 0) + tracks + Box("mvex", extends)) + fragments;
}
Bytes Moof(const Bytes& trackFragments) { return Box("moof", Box("mfhd", Be(0, 8)) + trackFragments); }
Bytes Traf(const Bytes& boxes) { return Box("traf", boxes); }
// A fragment of track 1 with its media data.
Bytes Fragment1(const Bytes& boxes) { return Moof(Traf(boxes)) + Box("mdat", Bytes(8)); }

TEST(HandMade, IsoMediaFragmentRecords) {
  const Bytes track = Track(1, 1000), trex = TrackExtends(1, 0);
  const Bytes first = Fragment1(TrackFragmentHeader(1, 0) + DecodeTime(0, 0) + TrackRun(2, {1000, 1000}));
  // The last fragment starts at 7,000 s; its two samples' durations decide.
  auto last = [](std::uint32_t defaultDuration, const std::vector<std::uint32_t>& durations) {
    return Fragment1(TrackFragmentHeader(1, defaultDuration) + DecodeTime(1, 7000000) + TrackRun(2, durations));
  };
  const Bytes audio = Track(2, 44100);
  auto both = [&](std::uint64_t audioStart) {
    return Moof(Traf(TrackFragmentHeader(1, 0) + DecodeTime(0, 7000000) + TrackRun(2, {100000, 100000})) +
                Traf(TrackFragmentHeader(2, 1024) + DecodeTime(1, audioStart) + TrackRun(10, {}))) +
           Box("mdat", Bytes(8));
  };
  Check({
      {"the run's durations", Fragmented(track, trex, first + last(0, {100000, 100001})), "7200001/1000 s", 121},
      {"the run's durations over the header's default", Fragmented(track, trex, first + last(5, {100000, 100000})),
       "7200 s", 120},
      {"the header's default", Fragmented(track, trex, first + last(100000, {})), "7200 s", 120},
      {"the header's default over the movie's", Fragmented(track, TrackExtends(1, 5), first + last(100000, {})),
       "7200 s", 120},
      {"the movie's default", Fragmented(track, TrackExtends(1, 100000), first + last(0, {})), "7200 s", 120},
      {"no default: the decode time alone", Fragmented(track, trex, last(0, {})), "7000 s", 117},
      {"the last fragment counts, not the longest before it",
       Fragmented(track, trex, last(0, {100000, 100000}) + first), "2 s", 1},
      {"several runs",
       Fragmented(track, trex,
                  Fragment1(TrackFragmentHeader(1, 0) + DecodeTime(0, 7000000) + TrackRun(1, {100000}) +
                            TrackRun(1, {100000}))),
       "7200 s", 120},
      {"the audio track longer", Fragmented(track + audio, trex, both(317520000)), "317530240/44100 s",
       121},  // 7200 s + 10 × 1024 ticks
      {"the video track longer", Fragmented(audio + track, trex, both(317000000)), "7200 s", 120},
      {"a track the movie does not describe",
       Fragmented(track, trex, Fragment1(TrackFragmentHeader(7, 10) + DecodeTime(0, 10) + TrackRun(1, {}))), "Damaged"},
      {"no decode time", Fragmented(track, trex, Fragment1(TrackFragmentHeader(1, 10) + TrackRun(1, {}))), "Damaged"},
      {"decode time beyond any count",
       Fragmented(track, trex,
                  Fragment1(TrackFragmentHeader(1, 10) + DecodeTime(1, ~std::uint64_t{0}) + TrackRun(1, {}))),
       "Damaged"},
      {"a run of more samples than it holds",
       Fragmented(track, trex,
                  Fragment1(TrackFragmentHeader(1, 0) + DecodeTime(0, 0) +
                            Box("trun", Be(0x100, 4) + Be(1000, 4) + Be(60, 4)))),
       "Damaged"},
  });
}

// The segment index: it counts where its references end with the last
// fragment; one of several fragments does not speak for the whole. The
// fragments here record no decode time, so only the index can tell.
TEST(HandMade, IsoMediaSegmentIndex) {
  const Bytes head =
      FileType() + Box("moov", MovieHeader(0, 1000, 0) + Track(1, 90000) + Box("mvex", TrackExtends(1, 0)));
  const Bytes fragment = Fragment1(TrackFragmentHeader(1, 3000) + TrackRun(4, {}));
  const Bytes timed = Fragment1(TrackFragmentHeader(1, 3000) + DecodeTime(0, 647988000) + TrackRun(4, {}));
  const auto size = static_cast<std::uint32_t>(fragment.size());
  const Bytes two = fragment + fragment;
  const Bytes child = SegmentIndex(0, 90000, 0, 0, {{size, 324000000}, {size, 324000000}});
  Check({
      {"covering every fragment", head + SegmentIndex(0, 90000, 0, 0, {{size, 324000000}, {size, 324000000}}) + two,
       "7200 s", 120},
      {"64-bit, after a free box",
       head + SegmentIndex(1, 90000, 1, 8, {{size, 324000000}, {size, 324000000}}) + Box("free", {}) + two,
       "648000001/90000 s", 121},
      {"covering the first fragment only", head + SegmentIndex(0, 90000, 0, 0, {{size, 324000000}}) + two, "Damaged"},
      {"one fragment's index, the last fragment's decode time",
       head + SegmentIndex(0, 90000, 0, 0, {{size, 324000000}}) + fragment + timed, "7200 s", 120},
      {"an index before each fragment",
       head + SegmentIndex(0, 90000, 0, 0, {{size, 324000000}}) + fragment +
           SegmentIndex(0, 90000, 324000000, 0, {{size, 324000000}}) + fragment,
       "7200 s", 120},
      {"a reference to a further index",
       head +
           SegmentIndex(0, 90000, 0, 0,
                        {{kIndexReference | static_cast<std::uint32_t>(child.size() + 2 * size), 648000000}}) +
           child + two,
       "7200 s", 120},
      {"references past the end: cut short",
       head + SegmentIndex(0, 90000, 0, 0, {{size, 324000000}, {size, 324000000}, {size, 324000000}}) + two, "Damaged"},
      {"first offset past the end", head + SegmentIndex(1, 90000, 0, ~std::uint64_t{0}, {}) + two, "Damaged"},
      {"the last index past the end",
       head + SegmentIndex(0, 90000, 0, 0, {{size, 324000000}}) + timed + SegmentIndex(0, 90000, 0, 0, {{size, 1}}),
       "Damaged"},
      {"time scale 0", head + SegmentIndex(0, 0, 0, 0, {{size, 324000000}, {size, 324000000}}) + two, "Damaged"},
  });
}

// The random-access table names each track's last fragment with a sync
// sample and that sample's presentation time: where a fragment records no
// decode time, that time less the sample's composition offset and the
// durations before it.
TEST(HandMade, IsoMediaRandomAccessTable) {
  const Bytes head = FileType() + Box("moov", MovieHeader(0, 1000, 0) + Track(1, 1000) + Track(2, 1000) +
                                                  Box("mvex", TrackExtends(1, 0) + TrackExtends(2, 0)));
  auto fragment = [](std::uint32_t id, const Bytes& runs) {
    return Moof(Traf(TrackFragmentHeader(id, 0) + runs)) + Box("mdat", Bytes(8));
  };
  const Bytes early = fragment(1, TrackRun(2, {1000, 1000}));
  const auto at = head.size() + early.size();  // where the last fragment stands
  const Bytes two = fragment(1, TrackRun(2, {100000, 100000}));
  Check({
      {"pointing at the last fragment", head + early + two + RandomAccessTable(1, 7000000, at, 1, 1), "7200 s", 120},
      {"the second sample of the second run",
       head + early + fragment(1, TrackRun(1, {40}) + TrackRun(2, {60, 100000})) +
           RandomAccessTable(1, 7000100, at, 2, 2),
       "7100100/1000 s", 119},
      {"a composition offset",
       head + early + fragment(1, TrackRun(2, {100000, 100000}, {2000, 0})) + RandomAccessTable(1, 7002000, at, 1, 1),
       "7200 s", 120},
      {"a negative composition offset",
       head + early + fragment(1, TrackRun(2, {100000, 100000}, {-2000, 0})) + RandomAccessTable(1, 6998000, at, 1, 1),
       "7200 s", 120},
      {"an offset before the start",
       head + early + fragment(1, TrackRun(2, {100000, 100000}, {2000, 0})) + RandomAccessTable(1, 1000, at, 1, 1),
       "Damaged"},
      {"a track's last fragment before another track's",
       head + early + two + fragment(2, TrackRun(1, {10})) + RandomAccessTable(1, 7000000, at, 1, 1), "7200 s", 120},
      {"pointing at no fragment", head + early + two + RandomAccessTable(1, 7000000, at + 8, 1, 1), "Damaged"},
      {"pointing past the end", head + early + two + RandomAccessTable(1, 7000000, ~std::uint64_t{0}, 1, 1), "Damaged"},
      {"no table", head + early + two, "Damaged"},
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
      {"the longest stream, an audio one before the video",
       Avi(MainHeader(40000, 1) + StreamList("auds", 1, 44100, 44100 * 9000) + StreamList("vids", 1, 25, 180000) +
           StreamList("vids", 1, 25, 1)),
       "9000 s", 150},
      {"the longest stream, a second video one",
       Avi(MainHeader(40000, 1) + StreamList("vids", 1, 25, 1) + StreamList("vids", 1, 25, 180000)), "7200 s", 120},
      {"audio outlasting the video",
       Avi(MainHeader(40000, 1500) + StreamList("vids", 1, 25, 1500) + StreamList("auds", 1152, 48000, 2600)),
       "2995200/48000 s", 2},
      {"audio only", Avi(MainHeader(0, 0) + StreamList("auds", 1152, 44100, 7000)), "8064000/44100 s", 4},
      {"video outlasting the audio by a fraction",
       Avi(MainHeader(33367, 1) + StreamList("vids", 1001, 30000, 215784) + StreamList("auds", 1, 1000, 7199990)),
       "215999784/30000 s", 120},
      {"audio outlasting the video by a fraction",
       Avi(MainHeader(33367, 1) + StreamList("vids", 1001, 30000, 215784) + StreamList("auds", 1, 1000, 7199995)),
       "7199995/1000 s", 120},
      // Crossed products of these overflow 64 bits; the audio is longer by a
      // billionth of a second.
      {"audio longer by a trace, at the largest fields",
       Avi(MainHeader(1, 1) + StreamList("vids", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF) +
           StreamList("auds", 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFF)),
       "18446744060824649730/4294967293 s", 71582789},
      {"a subtitle stream does not count",
       Avi(MainHeader(40000, 1500) + StreamList("vids", 1, 25, 1500) + StreamList("txts", 1, 1, 9000)), "60 s", 1},
      {"video stream of length 0: the main header", Avi(MainHeader(40000, 1500) + StreamList("vids", 1, 25, 0)), "60 s",
       1},
      {"an empty OpenDML list last",
       Avi(MainHeader(40000, 1500) + StreamList("vids", 1, 25, 0) + List("LIST", "odml", {})), "60 s", 1},
      {"interleaved DV", Avi(MainHeader(40000, 1) + StreamList("iavs", 1, 25, 1500)), "60 s", 1},
      {"no usable stream rate: the OpenDML frame count",
       Avi(MainHeader(40000, 1000) + StreamList("vids", 1, 0, 180000) + ExtendedHeader(180001)), "7200040000/1000000 s",
       121},
      {"no video stream, audio without a length: the OpenDML frame count",
       Avi(MainHeader(40000, 1000) + StreamList("auds", 1, 8000, 0) + ExtendedHeader(180000)), "7200 s", 120},
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

// After the last whole chunk: bytes that begin no chunk of the file are not
// its own; a chunk of the file that runs past the end was cut short.
TEST(HandMade, AviBytesAfterTheFile) {
  const Bytes avi = Avi(MainHeader(40000, 1500));
  Check({
      {"4 zero bytes", avi + Bytes(4), "60 s", 1},
      {"a tag", avi + AppendedTag("Title"), "60 s", 1},
      {"a tag without a title", avi + AppendedTag(""), "60 s", 1},
      {"a whole chunk of another id", avi + Chunk("abcd", Bytes(10)), "60 s", 1},
      {"3 bytes of a RIFF header", avi + Text("RIF"), "60 s", 1},
      {"4 bytes of a RIFF header", avi + Text("RIFF"), "Damaged"},
      {"a list without its form type", avi + Text("LIST") + Le(0, 4), "Damaged"},
      {"a JUNK chunk past the end", avi + Text("JUNK") + Le(100, 4) + Bytes(10), "Damaged"},
      {"an index past the end", avi + Text("idx1") + Le(32, 4) + Bytes(16), "Damaged"},
      {"a whole list after zeros", avi + Bytes(8) + List("LIST", "movi", Bytes(20)), "60 s", 1},
      {"a RIFF chunk past the end after zeros", avi + Bytes(8) + Text("RIFF") + Le(100, 4) + Text("AVIX"), "Damaged"},
  });
}

Bytes Segment(const Bytes& children) { return EbmlHeader("matroska") + Element(kSegment, children); }
Bytes Info(const Bytes& children) { return Element(kInfo, children); }
Bytes Float64(double value) { return Element(kDuration, BeDouble(value)); }

TEST(HandMade, Matroska) {
  const Bytes twoHours = Float64(7200000.0);
  const Bytes float32 = Element(kDuration, Be(BitCast<std::uint32_t>(7200000.0f), 4));
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
      {"the information itself, ended by a cluster of unknown size",
       Segment(UnknownSizeElement(kInfo, Float64(60000)) + UnknownSizeElement(kCluster, cluster)), "60 s", 1},
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

constexpr std::uint32_t kSeekHead = 0x114D9B74, kSeek = 0x4DBB, kSeekId = 0x53AB, kSeekPosition = 0x53AC;

// A SeekHead of one entry: the element of the id at position, counted from
// the start of the segment's data.
Bytes SeekHead(std::uint32_t id, const Bytes& position) {
  return Element(kSeekHead, Element(kSeek, Element(kSeekId, Be(id, 4)) + Element(kSeekPosition, position)));
}
Bytes SeekHead(std::uint32_t id, std::uint64_t position) { return SeekHead(id, Be(position, 8)); }

// Thousands of clusters before the segment information: walking their headers
// takes more than the read budget, the SeekHead leads past them.
TEST(HandMade, MatroskaInformationBehindTheClusters) {
  auto repeat = [](const Bytes& one, int times) {
    Bytes many;
    for (int i = 0; i < times; ++i) many.insert(many.end(), one.begin(), one.end());
    return many;
  };
  const Bytes blocks = UintElement(0xE7, 0, 1) + Element(0xA3, Bytes(4));  // a time code, a block
  const Bytes clusters = repeat(Element(kCluster, blocks), 6000);
  const Bytes unknownSizeClusters = repeat(UnknownSizeElement(kCluster, blocks), 3000);
  const Bytes info = Info(Float64(7200000.0));
  const std::uint64_t head = SeekHead(kInfo, 0).size(), infoAt = head + clusters.size();
  // The same with the position in 3 bytes and in 9: the SeekHead 5 bytes shorter, 1 longer.
  const std::uint64_t infoAfterShort = infoAt - 5, infoAfterLong = infoAt + 1;
  Check({
      {"listed in the SeekHead", Segment(SeekHead(kInfo, infoAt) + clusters + info), "7200 s", 120},
      {"in a segment of unknown size",
       EbmlHeader("matroska") + UnknownSizeElement(kSegment, SeekHead(kInfo, infoAt) + clusters + info), "7200 s", 120},
      {"behind clusters of unknown size",
       Segment(SeekHead(kInfo, head + unknownSizeClusters.size()) + unknownSizeClusters + info), "7200 s", 120},
      {"first, and listed", Segment(SeekHead(kInfo, head) + info + clusters), "7200 s", 120},
      {"a short position", Segment(SeekHead(kInfo, Be(infoAfterShort, 3)) + clusters + info), "7200 s", 120},
      {"no SeekHead", Segment(clusters + info), "Damaged"},
      {"not listed", Segment(SeekHead(kTracks, infoAt) + clusters + info), "Damaged"},
      {"listed at a cluster", Segment(SeekHead(kInfo, head) + clusters + info), "Damaged"},
      {"listed a byte late", Segment(SeekHead(kInfo, infoAt + 1) + clusters + info), "Damaged"},
      {"listed at the SeekHead", Segment(SeekHead(kInfo, 0) + clusters + info), "Damaged"},
      {"listed at the segment's end", Segment(SeekHead(kInfo, infoAt + info.size()) + clusters + info), "Damaged"},
      {"listed past the segment", Segment(SeekHead(kInfo, infoAt + 1000) + clusters + info), "Damaged"},
      {"listed beyond any offset", Segment(SeekHead(kInfo, ~std::uint64_t{0}) + clusters + info), "Damaged"},
      {"a position of 9 bytes", Segment(SeekHead(kInfo, Bytes(1) + Be(infoAfterLong, 8)) + clusters + info), "Damaged"},
  });
}

Bytes Asf(std::uint64_t play, std::uint64_t preroll, std::uint32_t flags = 2) {
  return AsfHeader(AsfObject(Bytes(16, 7), Bytes(10)) + FileProperties(play, preroll, flags), 2) +
         AsfObject(AsfDataGuid(), Bytes(26));
}

// Objects that may stand in the header object, and after the data object.
const Bytes kAsfPadding = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                           0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
const Bytes kAsfSimpleIndex = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                               0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
const Bytes kAsfIndex = {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,
                         0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE};
const Bytes kAsfMediaObjectIndex = {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C,
                                    0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C};
const Bytes kAsfTimecodeIndex = {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48,
                                 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C};

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
      {"an empty padding object before the file properties",
       AsfHeader(AsfObject(kAsfPadding, {}) + FileProperties(600'000'000, 0, 2), 2) +
           AsfObject(AsfDataGuid(), Bytes(26)),
       "60 s", 1},
      {"an object smaller than its header", Asf(600'000'000, 0) + kAsfSimpleIndex + Le(23, 8), "Damaged"},
  });
}

// After the last whole object: bytes that begin no object of the file are not
// its own; one of the file's top-level objects that runs past the end was cut
// short.
TEST(HandMade, AsfBytesAfterTheFile) {
  const Bytes asf = Asf(600'000'000, 0);
  const Bytes header(asf.begin(), asf.begin() + 16);
  auto pastTheEnd = [&](const Bytes& guid) { return asf + guid + Le(100, 8) + Bytes(40); };
  Check({
      {"4 zero bytes", asf + Bytes(4), "60 s", 1},
      {"a tag", asf + AppendedTag("Title"), "60 s", 1},
      {"a whole object of another type", asf + AsfObject(Bytes(16, 7), Bytes(10)), "60 s", 1},
      {"an unknown object smaller than its header", asf + Bytes(16) + Le(23, 8), "60 s", 1},
      {"15 bytes of an index's identifier", asf + Bytes(kAsfSimpleIndex.begin(), kAsfSimpleIndex.end() - 1), "60 s", 1},
      {"an index's identifier without its size", asf + kAsfSimpleIndex, "Damaged"},
      {"a header object past the end", pastTheEnd(header), "Damaged"},
      {"a data object past the end", pastTheEnd(AsfDataGuid()), "Damaged"},
      {"a simple index past the end", pastTheEnd(kAsfSimpleIndex), "Damaged"},
      {"an index past the end", pastTheEnd(kAsfIndex), "Damaged"},
      {"a media object index past the end", pastTheEnd(kAsfMediaObjectIndex), "Damaged"},
      {"a timecode index past the end", pastTheEnd(kAsfTimecodeIndex), "Damaged"},
      {"no data object, 4 zero bytes instead", AsfHeader(FileProperties(600'000'000, 0, 2), 1) + Bytes(4), "Damaged"},
  });
}

Bytes Flv(const Bytes& properties) { return FlvHeader() + FlvTag(18, OnMetaData(properties)); }
Bytes FlvDuration(double seconds) { return AmfName("duration") + AmfNumber(seconds); }

TEST(HandMade, Flv) {
  const Bytes video = FlvTag(9, Bytes(30, 0x17));
  Bytes deep = Bytes{0x0A} + Be(1, 4);
  for (int i = 0; i < 40; ++i) deep = deep + Bytes{0x0A} + Be(1, 4);
  // Objects in objects 10,000 deep, each closed, within the read budget: only
  // a limit on the depth stops the walk before the duration after them.
  Bytes deepObjects;
  for (int i = 0; i < 10000; ++i) deepObjects.insert(deepObjects.end(), {0x03, 0x00, 0x00});
  deepObjects.push_back(0x05);
  for (int i = 0; i < 10000; ++i) deepObjects.insert(deepObjects.end(), {0x00, 0x00, 0x09});
  const Bytes metadata = FlvTag(18, OnMetaData(FlvDuration(60)));
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
      {"objects nested far too deep", Flv(AmfName("o") + deepObjects + FlvDuration(60)), "Damaged"},
      // Once the duration is read, a value that cannot be read ends the
      // metadata and the duration stands.
      {"an unknown value after the duration", Flv(FlvDuration(60) + AmfName("m") + Bytes{0x11}), "60 s", 1},
      {"arrays nested too deep after the duration", Flv(FlvDuration(60) + AmfName("a") + deep), "60 s", 1},
      {"objects nested far too deep after the duration", Flv(FlvDuration(60) + AmfName("o") + deepObjects), "60 s", 1},
      // A script that is not the metadata is passed, however short.
      {"an empty script before the metadata", FlvHeader() + FlvTag(18, {}) + metadata, "60 s", 1},
      {"a script cut in its name before the metadata",
       FlvHeader() + FlvTag(18, Bytes{0x02, 0x00, 0x0A, 'o', 'n'}) + metadata, "60 s", 1},
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
