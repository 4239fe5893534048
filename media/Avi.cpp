// AVI: RIFF chunks, little-endian. A chunk is a four-character id, a 32-bit
// size and its data, padded to an even length; a RIFF or LIST chunk's data
// begins with its form type. The file is a RIFF 'AVI ' chunk (followed by RIFF
// 'AVIX' chunks in an OpenDML file over 1 GB) whose first list, 'hdrl', holds
// the main header 'avih', one 'strl' list per stream (its header 'strh') and
// the OpenDML list 'odml' with the extended header 'dmlh'.
#include <algorithm>
#include <array>
#include <optional>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

constexpr std::uint64_t kChunkHeader = 8;
constexpr std::uint64_t kListHeader = 12;  // with the form type

// A chunk's content is its data; a RIFF or LIST chunk's, the chunks after its
// form type.
struct Chunk {
  Extent extent;
  std::array<std::uint8_t, 4> id{};
  std::array<std::uint8_t, 4> form{};  // RIFF and LIST only

  bool Is(std::string_view code) const { return HasCode(id, 0, code); }
  bool IsList(std::string_view formType) const { return Is("LIST") && HasCode(form, 0, formType); }
};

// The chunk whose header is in bytes (8, or 12 with a form type), starting at
// start in a parent that ends at parentEnd.
Chunk ParseChunk(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  if (bytes.size() < kChunkHeader) Damaged();
  Chunk chunk;
  std::copy_n(bytes.begin(), 4, chunk.id.begin());
  const std::uint64_t dataStart = start + kChunkHeader;
  chunk.extent = {start, dataStart, EndWithin(dataStart, Le32(bytes, 4), parentEnd)};
  if (chunk.Is("RIFF") || chunk.Is("LIST")) {
    if (bytes.size() < kListHeader || chunk.extent.end - dataStart < 4) Damaged();
    std::copy_n(bytes.begin() + kChunkHeader, 4, chunk.form.begin());
    chunk.extent.contentStart = dataStart + 4;
  }
  return chunk;
}

// The ids that stand at the top of an AVI file.
bool IsTopLevel(std::span<const std::uint8_t> bytes) {
  return HasCode(bytes, 0, "RIFF") || HasCode(bytes, 0, "LIST") || HasCode(bytes, 0, "JUNK") ||
         HasCode(bytes, 0, "idx1");
}

// Whether the bytes at the top, after the last whole chunk, are not the
// file's own (zeros, a tag appended by a tagger): too few for a chunk header
// and not the id of a top-level chunk, or a chunk of another id that runs
// past the end. A top-level chunk that runs past the end was cut short.
bool IsTrailing(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t end) {
  if (IsTopLevel(bytes)) return false;
  return bytes.size() < kChunkHeader || Le32(bytes, 4) > end - start - kChunkHeader;
}

// The chunks of parent's content in order, until visit returns true. At the
// top (the file) each header is read free of the budget and the walk ends at
// trailing bytes; within a list each is charged, and fewer bytes than a
// header at its end are padding. A final pad byte may be missing.
template <typename Visit>
void ForEachChunk(Input& in, const Extent& parent, Level level, Visit visit) {
  for (std::uint64_t at = parent.contentStart; at < parent.end;) {
    std::array<std::uint8_t, kListHeader> buffer{};
    std::span<const std::uint8_t> bytes;
    const std::uint64_t room = Span(at, parent.end);
    if (level == Level::Top) {
      bytes = in.Header(at, kListHeader);
      if (IsTrailing(bytes, at, parent.end)) return;
    } else {
      if (room < kChunkHeader) return;
      bytes = in.ReadUpTo(at, std::span(buffer).first(room < kListHeader ? kChunkHeader : kListHeader));
    }
    const Chunk chunk = ParseChunk(bytes, at, parent.end);
    if (visit(chunk)) return;
    const std::uint64_t end = chunk.extent.end;
    at = end + (end % 2 != 0 && end < parent.end ? 1 : 0);
  }
}

// The first N bytes of a chunk's content; Damaged where it is shorter.
template <std::size_t N>
std::array<std::uint8_t, N> ReadContent(Input& in, const Chunk& chunk) {
  std::array<std::uint8_t, N> bytes{};
  if (chunk.extent.end - chunk.extent.contentStart < N) Damaged();
  in.Read(chunk.extent.contentStart, bytes);
  return bytes;
}

bool Usable(std::uint64_t a, std::uint64_t b) { return a != 0 && b != 0; }

// What the header list records; 0 where it records nothing.
struct Headers {
  bool haveMain = false, haveExtended = false;
  // avih: microseconds per frame, total frames (of the first RIFF chunk).
  std::uint32_t microsecondsPerFrame = 0, mainFrames = 0;
  // The longest of the video and audio streams that record their length.
  std::optional<Duration> longestStream;
  // dmlh: total frames of the whole file.
  std::uint32_t extendedFrames = 0;
};

// A stream list's header: a video or audio stream's length × scale ÷ rate
// where all three are recorded.
std::optional<Duration> ReadStream(Input& in, const Chunk& strl) {
  std::optional<Duration> duration;
  ForEachChunk(in, strl.extent, Level::Nested, [&](const Chunk& strh) {
    if (!strh.Is("strh")) return false;
    const auto fields = ReadContent<36>(in, strh);
    // Interleaved DV ('iavs') carries the video too.
    if (HasCode(fields, 0, "vids") || HasCode(fields, 0, "iavs") || HasCode(fields, 0, "auds")) {
      const std::uint32_t scale = Le32(fields, 20), rate = Le32(fields, 24), length = Le32(fields, 32);
      if (Usable(scale, rate) && length != 0) duration = Duration{std::uint64_t{length} * scale, rate};
    }
    return true;  // one stream header per stream list
  });
  return duration;
}

Headers ReadHeaderList(Input& in, const Chunk& hdrl) {
  Headers headers;
  ForEachChunk(in, hdrl.extent, Level::Nested, [&](const Chunk& chunk) {
    if (chunk.Is("avih") && !headers.haveMain) {
      const auto avih = ReadContent<20>(in, chunk);
      headers.microsecondsPerFrame = Le32(avih, 0);
      headers.mainFrames = Le32(avih, 16);
      headers.haveMain = true;
    } else if (chunk.IsList("strl")) {
      // The audio may outlast the video (a remux), and the other way round.
      const std::optional<Duration> stream = ReadStream(in, chunk);
      if (stream && (!headers.longestStream || Longer(*stream, *headers.longestStream))) headers.longestStream = stream;
    } else if (chunk.IsList("odml") && !headers.haveExtended) {
      ForEachChunk(in, chunk.extent, Level::Nested, [&](const Chunk& dmlh) {
        if (!dmlh.Is("dmlh")) return false;
        headers.extendedFrames = Le32(ReadContent<4>(in, dmlh), 0);
        headers.haveExtended = true;
        return true;
      });
    }
    return false;
  });
  return headers;
}

}  // namespace

Duration ReadAvi(Input& in) {
  // Each top-level chunk is passed (a header each): a file cut short shows as
  // a chunk that runs past its end.
  Headers headers;
  bool haveHeaders = false;
  ForEachChunk(in, Extent{0, 0, in.Size()}, Level::Top, [&](const Chunk& chunk) {
    if (chunk.extent.start == 0) {
      // The header list comes first in the 'AVI ' chunk.
      ForEachChunk(in, chunk.extent, Level::Nested, [&](const Chunk& child) {
        if (child.IsList("hdrl")) {
          headers = ReadHeaderList(in, child);
          haveHeaders = true;
        }
        return haveHeaders;
      });
      if (!haveHeaders) Damaged();
    }
    return false;
  });
  if (!haveHeaders) Damaged();
  if (headers.longestStream) return *headers.longestStream;
  const std::uint64_t frameMicroseconds = headers.microsecondsPerFrame;
  if (Usable(frameMicroseconds, headers.extendedFrames)) return {headers.extendedFrames * frameMicroseconds, 1'000'000};
  if (Usable(frameMicroseconds, headers.mainFrames)) return {headers.mainFrames * frameMicroseconds, 1'000'000};
  Damaged();
}

}  // namespace tw::media::detail
