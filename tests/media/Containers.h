// Hand-made container files for the media tests and the benchmark: the few
// structures each reader looks at, built byte by byte from the formats'
// layouts, and large sparse files of every format.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw::media::test {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b);
Bytes Text(std::string_view text);
Bytes Be(std::uint64_t value, int count);
Bytes Le(std::uint64_t value, int count);
Bytes BeDouble(double value);

// ISO media: a box with a 32-bit size, or the 16-byte header of one with a
// 64-bit size whose content follows.
Bytes Box(std::string_view type, const Bytes& content);
Bytes LargeBoxHeader(std::string_view type, std::uint64_t contentSize);
Bytes FileType();
Bytes MovieHeader(int version, std::uint32_t timeScale, std::uint64_t duration);
Bytes MovieExtendsHeader(int version, std::uint64_t fragmentDuration);
// Movie fragments: a track of the movie box and its defaults in the
// movie-extends box; a track fragment's header (with a default sample duration
// where one is given; 0: none), decode time and run (each sample's duration
// where durations are given, else count samples of the defaults; composition
// offsets where given); a segment index of (size, duration) references, a
// reference to a further index marked by kIndexReference in its size; a
// random-access table with one entry.
Bytes Track(std::uint32_t id, std::uint32_t timeScale);
Bytes TrackExtends(std::uint32_t id, std::uint32_t defaultDuration);
Bytes TrackFragmentHeader(std::uint32_t id, std::uint32_t defaultDuration);
Bytes DecodeTime(int version, std::uint64_t time);
Bytes TrackRun(std::uint32_t count, const std::vector<std::uint32_t>& durations,
               const std::vector<std::int32_t>& compositionOffsets = {});
inline constexpr std::uint32_t kIndexReference = 0x80000000;
Bytes SegmentIndex(int version, std::uint32_t timeScale, std::uint64_t earliest, std::uint64_t firstOffset,
                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& references);
Bytes RandomAccessTable(std::uint32_t trackId, std::uint64_t time, std::uint64_t moofOffset, std::uint32_t run,
                        std::uint32_t sample);

// RIFF: a chunk (padded), and a RIFF or LIST chunk of a form type.
Bytes Chunk(std::string_view id, const Bytes& data);
Bytes List(std::string_view id, std::string_view form, const Bytes& content);
Bytes MainHeader(std::uint32_t microsecondsPerFrame, std::uint32_t frames);
Bytes StreamList(std::string_view type, std::uint32_t scale, std::uint32_t rate, std::uint32_t length);
Bytes ExtendedHeader(std::uint32_t frames);

// EBML: elements with an 8-byte size, or of unknown size.
Bytes Element(std::uint32_t id, const Bytes& data);
Bytes UnknownSizeElement(std::uint32_t id, const Bytes& data);
Bytes UintElement(std::uint32_t id, std::uint64_t value, int count);
Bytes EbmlHeader(std::string_view docType);
inline constexpr std::uint32_t kSegment = 0x18538067, kInfo = 0x1549A966, kTimecodeScale = 0x2AD7B1, kDuration = 0x4489,
                               kCluster = 0x1F43B675, kTracks = 0x1654AE6B;

// ASF: the header object around its children, and the file properties.
Bytes AsfHeader(const Bytes& children, std::uint32_t count);
Bytes AsfObject(const Bytes& guid, const Bytes& content);
Bytes FileProperties(std::uint64_t playDuration, std::uint64_t preroll, std::uint32_t flags);
Bytes AsfDataGuid();

// FLV: the file header and a tag (each followed by its size), and the AMF0
// pieces of script data.
Bytes FlvHeader();
Bytes FlvTag(std::uint8_t type, const Bytes& data);
Bytes AmfName(std::string_view name);
Bytes AmfNumber(double value);
Bytes AmfString(std::string_view text);
Bytes OnMetaData(const Bytes& properties);  // as an associative array

// What a tagger appends to a finished file of any format: "TAG", the title,
// artist and album (30 bytes each), the year, a comment and the genre: 128
// bytes.
Bytes AppendedTag(std::string_view title);

// A file over 4 GiB, mostly a hole: pieces at offsets, the rest zeros.
struct LargeFile {
  std::string name;
  std::vector<std::pair<std::uint64_t, Bytes>> pieces;
  std::uint64_t size = 0;
  std::uint64_t topLevelCount = 0;  // top-level boxes, chunks or elements
  std::uint64_t minutes = 0;        // the running time it records
};

// One of each format: MP4 with its movie box after the media, fragmented MP4,
// an OpenDML AVI of several RIFF chunks, Matroska, ASF and FLV.
std::vector<LargeFile> LargeFiles();
// Writes it sparse: only the pieces take room on disk.
void WriteSparse(const std::filesystem::path& path, const LargeFile& file);

}  // namespace tw::media::test
