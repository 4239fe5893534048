#include "tests/media/Containers.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "runtime/BitCast.h"

namespace tw::media::test {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Be(std::uint64_t value, int count) {
  Bytes bytes(static_cast<std::size_t>(count));
  for (int i = count; i-- > 0; value >>= 8) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
  return bytes;
}

Bytes Le(std::uint64_t value, int count) {
  Bytes bytes(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i, value >>= 8) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
  return bytes;
}

Bytes BeDouble(double value) { return Be(BitCast<std::uint64_t>(value), 8); }

Bytes Box(std::string_view type, const Bytes& content) { return Be(content.size() + 8, 4) + Text(type) + content; }

Bytes LargeBoxHeader(std::string_view type, std::uint64_t contentSize) {
  return Be(1, 4) + Text(type) + Be(contentSize + 16, 8);
}

Bytes FileType() { return Box("ftyp", Text("isom") + Be(512, 4) + Text("isomiso2mp41")); }

Bytes MovieHeader(int version, std::uint32_t timeScale, std::uint64_t duration) {
  const Bytes times = version == 1 ? Be(0, 16) : Be(0, 8);
  const Bytes rest = Be(0x00010000, 4) + Be(0x0100, 2) + Bytes(10) + Bytes(36) + Bytes(24) + Be(2, 4);
  return Box("mvhd", Be(static_cast<std::uint64_t>(version) << 24, 4) + times + Be(timeScale, 4) +
                         Be(duration, version == 1 ? 8 : 4) + rest);
}

Bytes MovieExtendsHeader(int version, std::uint64_t fragmentDuration) {
  return Box("mehd", Be(static_cast<std::uint64_t>(version) << 24, 4) + Be(fragmentDuration, version == 1 ? 8 : 4));
}

Bytes Track(std::uint32_t id, std::uint32_t timeScale) {
  const Bytes trackHeader = Box("tkhd", Be(3, 4) + Bytes(8) + Be(id, 4) + Bytes(64));
  const Bytes mediaHeader = Box("mdhd", Be(0, 4) + Bytes(8) + Be(timeScale, 4) + Be(0, 4) + Bytes(4));
  return Box("trak", trackHeader + Box("mdia", mediaHeader + Box("hdlr", Bytes(24) + Text("vide"))));
}

Bytes TrackExtends(std::uint32_t id, std::uint32_t defaultDuration) {
  return Box("trex", Be(0, 4) + Be(id, 4) + Be(1, 4) + Be(defaultDuration, 4) + Bytes(8));
}

Bytes TrackFragmentHeader(std::uint32_t id, std::uint32_t defaultDuration) {
  // Flags: a sample description index (0x2), a default duration (0x8), the
  // moof as the base of data offsets (0x20000).
  const std::uint32_t flags = 0x20002 | (defaultDuration != 0 ? 0x8 : 0);
  return Box("tfhd", Be(flags, 4) + Be(id, 4) + Be(1, 4) + (defaultDuration != 0 ? Be(defaultDuration, 4) : Bytes{}));
}

Bytes DecodeTime(int version, std::uint64_t time) {
  return Box("tfdt", Be(static_cast<std::uint64_t>(version) << 24, 4) + Be(time, version == 1 ? 8 : 4));
}

Bytes TrackRun(std::uint32_t count, const std::vector<std::uint32_t>& durations,
               const std::vector<std::int32_t>& compositionOffsets) {
  // A data offset (0x1), then per sample its duration (0x100), size (0x200)
  // and composition offset (0x800); version 1 where an offset is negative.
  const bool withDurations = !durations.empty(), withOffsets = !compositionOffsets.empty();
  const bool negative = std::any_of(compositionOffsets.begin(), compositionOffsets.end(), [](auto o) { return o < 0; });
  const std::uint64_t flags = 0x201 | (withDurations ? 0x100 : 0) | (withOffsets ? 0x800 : 0);
  Bytes run = Be((negative ? std::uint64_t{1} << 24 : 0) | flags, 4) + Be(count, 4) + Be(0, 4);
  auto append = [&run](std::uint64_t value) {
    const Bytes field = Be(value, 4);
    run.insert(run.end(), field.begin(), field.end());
  };
  for (std::uint32_t i = 0; i < count; ++i) {
    if (withDurations) append(durations.at(i));
    append(100);
    if (withOffsets) append(static_cast<std::uint32_t>(compositionOffsets.at(i)));
  }
  return Box("trun", run);
}

Bytes SegmentIndex(int version, std::uint32_t timeScale, std::uint64_t earliest, std::uint64_t firstOffset,
                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& references) {
  const int wide = version == 1 ? 8 : 4;
  Bytes index = Be(static_cast<std::uint64_t>(version) << 24, 4) + Be(1, 4) + Be(timeScale, 4) + Be(earliest, wide) +
                Be(firstOffset, wide) + Be(0, 2) + Be(references.size(), 2);
  for (const auto& [size, duration] : references) index = index + Be(size, 4) + Be(duration, 4) + Be(0x90000000, 4);
  return Box("sidx", index);
}

Bytes RandomAccessTable(std::uint32_t trackId, std::uint64_t time, std::uint64_t moofOffset, std::uint32_t run,
                        std::uint32_t sample) {
  // Version 1 (64-bit time and offset); one-byte traf, two-byte run and
  // four-byte sample numbers; the random-access offset box after it.
  const Bytes table = Box("tfra", Be(1u << 24, 4) + Be(trackId, 4) + Be(0x07, 4) + Be(1, 4) + Be(time, 8) +
                                      Be(moofOffset, 8) + Be(1, 1) + Be(run, 2) + Be(sample, 4));
  return Box("mfra", table + Box("mfro", Be(0, 4) + Be(table.size() + 24, 4)));
}

Bytes Chunk(std::string_view id, const Bytes& data) {
  Bytes chunk = Text(id) + Le(data.size(), 4) + data;
  if (data.size() % 2 != 0) chunk.push_back(0);
  return chunk;
}

Bytes List(std::string_view id, std::string_view form, const Bytes& content) { return Chunk(id, Text(form) + content); }

Bytes MainHeader(std::uint32_t microsecondsPerFrame, std::uint32_t frames) {
  return Chunk("avih", Le(microsecondsPerFrame, 4) + Bytes(12) + Le(frames, 4) + Bytes(36));
}

Bytes StreamList(std::string_view type, std::uint32_t scale, std::uint32_t rate, std::uint32_t length) {
  const Bytes strh =
      Text(type) + Text("none") + Bytes(12) + Le(scale, 4) + Le(rate, 4) + Le(0, 4) + Le(length, 4) + Bytes(20);
  return List("LIST", "strl", Chunk("strh", strh) + Chunk("strf", Bytes(40)));
}

Bytes ExtendedHeader(std::uint32_t frames) { return List("LIST", "odml", Chunk("dmlh", Le(frames, 4) + Bytes(244))); }

namespace {

Bytes Id(std::uint32_t id) {
  int count = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
  return Be(id, count);
}

}  // namespace

Bytes Element(std::uint32_t id, const Bytes& data) { return Id(id) + Be(0x0100000000000000 | data.size(), 8) + data; }

Bytes UnknownSizeElement(std::uint32_t id, const Bytes& data) { return Id(id) + Be(0x01FFFFFFFFFFFFFF, 8) + data; }

Bytes UintElement(std::uint32_t id, std::uint64_t value, int count) { return Element(id, Be(value, count)); }

Bytes EbmlHeader(std::string_view docType) {
  return Element(0x1A45DFA3, UintElement(0x4286, 1, 1) + UintElement(0x42F7, 1, 1) + UintElement(0x42F2, 4, 1) +
                                 UintElement(0x42F3, 8, 1) + Element(0x4282, Text(docType)) +
                                 UintElement(0x4287, 4, 1) + UintElement(0x4285, 2, 1));
}

namespace {

const Bytes kAsfHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                   0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kDataGuid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

}  // namespace

Bytes AsfObject(const Bytes& guid, const Bytes& content) { return guid + Le(content.size() + 24, 8) + content; }

Bytes AsfHeader(const Bytes& children, std::uint32_t count) {
  return AsfObject(kAsfHeaderGuid, Le(count, 4) + Bytes{0x01, 0x02} + children);
}

Bytes FileProperties(std::uint64_t playDuration, std::uint64_t preroll, std::uint32_t flags) {
  return AsfObject(kFilePropertiesGuid, Bytes(16) + Le(0, 8) + Le(0, 8) + Le(1, 8) + Le(playDuration, 8) +
                                            Le(playDuration, 8) + Le(preroll, 8) + Le(flags, 4) + Le(3200, 4) +
                                            Le(3200, 4) + Le(1000000, 4));
}

Bytes AsfDataGuid() { return kDataGuid; }

Bytes FlvHeader() { return Text("FLV") + Bytes{1, 1} + Be(9, 4) + Be(0, 4); }

Bytes FlvTag(std::uint8_t type, const Bytes& data) {
  return Bytes{type} + Be(data.size(), 3) + Be(0, 4) + Be(0, 3) + data + Be(data.size() + 11, 4);
}

Bytes AmfName(std::string_view name) { return Be(name.size(), 2) + Text(name); }
Bytes AmfNumber(double value) { return Bytes{0x00} + BeDouble(value); }
Bytes AmfString(std::string_view text) { return Bytes{0x02} + AmfName(text); }

Bytes OnMetaData(const Bytes& properties) {
  return AmfString("onMetaData") + Bytes{0x08} + Be(0, 4) + properties + Bytes{0x00, 0x00, 0x09};
}

Bytes AppendedTag(std::string_view title) {
  auto field = [](std::string_view text) {
    Bytes bytes = Text(text);
    bytes.resize(30);
    return bytes;
  };
  return Text("TAG") + field(title) + field("Artist") + field("Album") + Text("2024") + field("") + Bytes{12};
}

namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

// 4 h 10 min 30 s at 25 frames a second, in each format's own terms.
constexpr std::uint64_t kFrames = (4 * 3600 + 10 * 60 + 30) * 25;
constexpr std::uint64_t kMinutes = 4 * 60 + 11;

LargeFile LargeMp4() {
  // ftyp, a 5 GiB mdat with a 64-bit size, then the movie box with a sample
  // table's worth of bulk after its header.
  LargeFile file{"large.mp4", {}, 0, 3, kMinutes};
  const std::uint64_t media = 5 * kGiB;
  const Bytes head = FileType() + LargeBoxHeader("mdat", media);
  const Bytes moov = Box("moov", MovieHeader(0, 25, kFrames) + Box("trak", Bytes(48 * 1024)));
  file.pieces = {{0, head}, {head.size() + media, moov}};
  file.size = head.size() + media + moov.size();
  return file;
}

LargeFile LargeFragmentedMp4() {
  // An empty movie box, then five fragments of a gigabyte each (moof, then a
  // 64-bit mdat) and the random-access table. The last fragment ends with a
  // run that lists 3,000 sample durations: a read of 24 KB.
  LargeFile file{"large-fragmented.mp4", {}, 0, 13, kMinutes};
  const std::uint64_t media = kGiB;
  const std::uint64_t perFragment = kFrames / 5, listed = 3000;
  const Bytes head = FileType() + Box("moov", MovieHeader(0, 1000, 0) + Track(1, 25) + Box("mvex", TrackExtends(1, 1)));
  file.pieces.push_back({0, head});
  std::uint64_t at = head.size(), lastMoof = 0;
  for (std::uint64_t i = 0; i < 5; ++i) {
    Bytes runs = TrackRun(static_cast<std::uint32_t>(perFragment), {});
    if (i == 4) {
      runs = TrackRun(static_cast<std::uint32_t>(perFragment - listed), {}) +
             TrackRun(static_cast<std::uint32_t>(listed), std::vector<std::uint32_t>(listed, 1));
    }
    const Bytes moof = Box("moof", Box("traf", TrackFragmentHeader(1, 0) + DecodeTime(1, i * perFragment) + runs));
    lastMoof = at;
    file.pieces.push_back({at, moof + LargeBoxHeader("mdat", media)});
    at += moof.size() + 16 + media;
  }
  const Bytes table = RandomAccessTable(1, 4 * perFragment, lastMoof, 1, 1);
  file.pieces.push_back({at, table});
  file.size = at + table.size();
  return file;
}

LargeFile LargeAvi() {
  // OpenDML: a RIFF 'AVI ' chunk with the headers and the first gigabyte,
  // then RIFF 'AVIX' chunks of a gigabyte each. Only the extended header
  // counts all frames; the stream header here says nothing.
  LargeFile file{"large.avi", {}, 0, 5, kMinutes};
  const std::uint32_t riffData = static_cast<std::uint32_t>(kGiB);
  const Bytes hdrl = List(
      "LIST", "hdrl",
      MainHeader(40000, 6000) + StreamList("vids", 1, 0, 0) + ExtendedHeader(kFrames) + Chunk("JUNK", Bytes(4096)));
  const Bytes first = Text("RIFF") + Le(riffData, 4) + Text("AVI ") + hdrl + Text("LIST") +
                      Le(riffData - 4 - hdrl.size() - 8, 4) + Text("movi");
  file.pieces.push_back({0, first});
  std::uint64_t at = 8 + std::uint64_t{riffData};
  for (int i = 0; i < 4; ++i, at += 8 + std::uint64_t{riffData})
    file.pieces.push_back(
        {at, Text("RIFF") + Le(riffData, 4) + Text("AVIX") + Text("LIST") + Le(riffData - 12, 4) + Text("movi")});
  file.size = at;
  return file;
}

LargeFile LargeMatroska() {
  LargeFile file{"large.mkv", {}, 0, 2, kMinutes};
  const std::uint64_t clusters = 5 * kGiB;
  const Bytes info = Element(
      kInfo, UintElement(kTimecodeScale, 40'000'000, 4) + Element(kDuration, BeDouble(static_cast<double>(kFrames))));
  const Bytes before = info + Element(kTracks, Bytes(2000));
  const Bytes clusterHeader = Be(kCluster, 4) + Be(0x0100000000000000 | (clusters - 12), 8);
  const Bytes head = EbmlHeader("matroska") + Be(kSegment, 4) + Be(0x0100000000000000 | (before.size() + clusters), 8) +
                     before + clusterHeader;
  file.pieces = {{0, head}};
  file.size = head.size() + clusters - 12;
  return file;
}

LargeFile LargeAsf() {
  // The header object, a 5 GiB data object and a small index at the end.
  LargeFile file{"large.wmv", {}, 0, 3, kMinutes};
  const std::uint64_t data = 5 * kGiB;
  const Bytes head =
      AsfHeader(FileProperties(kFrames * 400'000 + 5'000'000, 500, 2), 1) + AsfDataGuid() + Le(data, 8) + Bytes(26);
  const Bytes index = AsfObject(Bytes(16, 0x33), Bytes(40));
  file.pieces = {{0, head}, {head.size() - 50 + data, index}};
  file.size = head.size() - 50 + data + index.size();
  return file;
}

LargeFile LargeFlv() {
  // Metadata first, the tags after it (a hole here): the metadata is all
  // that is read.
  LargeFile file{"large.flv", {}, 0, 1, kMinutes};
  file.size = 5 * kGiB;
  const Bytes meta = OnMetaData(AmfName("duration") + AmfNumber(static_cast<double>(kFrames) / 25) +
                                AmfName("filesize") + AmfNumber(static_cast<double>(file.size)));
  file.pieces = {{0, FlvHeader() + FlvTag(18, meta)}};
  return file;
}

}  // namespace

std::vector<LargeFile> LargeFiles() {
  return {LargeMp4(), LargeFragmentedMp4(), LargeAvi(), LargeMatroska(), LargeAsf(), LargeFlv()};
}

void WriteSparse(const std::filesystem::path& path, const LargeFile& file) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  auto put = [&](std::uint64_t offset, const Bytes& bytes) {
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  std::uint64_t written = 0;
  for (const auto& [offset, bytes] : file.pieces) {
    put(offset, bytes);
    written = std::max(written, offset + bytes.size());
  }
  // The last byte sets the size; everything not written stays a hole.
  if (written < file.size) put(file.size - 1, Bytes(1));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tw::media::test
