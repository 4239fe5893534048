// AVI: RIFF chunks, little-endian. A chunk is a four-character id, a 32-bit
// size and its data, padded to an even length; a RIFF or LIST chunk's data
// begins with its form type. The file is a RIFF 'AVI ' chunk (followed by RIFF
// 'AVIX' chunks in an OpenDML file over 1 GB) whose first list, 'hdrl', holds
// the main header 'avih', one 'strl' list per stream (its header 'strh') and
// the OpenDML list 'odml' with the extended header 'dmlh'.
#include <algorithm>
#include <array>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

struct Chunk {
  std::array<std::uint8_t, 4> id{};
  std::array<std::uint8_t, 4> form{};  // RIFF and LIST only
  std::uint64_t dataStart = 0;
  std::uint64_t dataEnd = 0;
  std::uint64_t next = 0;  // past the padding

  bool Is(std::string_view code) const { return HasCode(id, 0, code); }
  bool IsList(std::string_view formType) const { return Is("LIST") && HasCode(form, 0, formType); }
};

// The chunk whose header is in bytes (8, or 12 with a form type), starting at
// start in a parent that ends at parentEnd. A final pad byte may be missing.
Chunk ParseChunk(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  if (bytes.size() < 8) Damaged();
  Chunk chunk;
  std::copy_n(bytes.begin(), 4, chunk.id.begin());
  chunk.dataStart = start + 8;
  chunk.dataEnd = EndWithin(chunk.dataStart, Le32(bytes, 4), parentEnd);
  chunk.next = chunk.dataEnd + (chunk.dataEnd % 2 != 0 && chunk.dataEnd < parentEnd ? 1 : 0);
  if (chunk.Is("RIFF") || chunk.Is("LIST")) {
    if (bytes.size() < 12 || chunk.dataEnd - chunk.dataStart < 4) Damaged();
    std::copy_n(bytes.begin() + 8, 4, chunk.form.begin());
  }
  return chunk;
}

// The chunks of a list, each header read and charged; the walk stops where
// visit returns true.
template <typename Visit>
void ForEachChunk(Input& in, const Chunk& list, Visit visit) {
  for (std::uint64_t at = list.dataStart + 4; at < list.dataEnd;) {
    std::array<std::uint8_t, 12> bytes{};
    const std::uint64_t room = Span(at, list.dataEnd);
    if (room < 8) return;  // padding at the end of the list
    const Chunk chunk = ParseChunk(in.ReadUpTo(at, std::span(bytes).first(room < 12 ? 8 : 12)), at, list.dataEnd);
    if (visit(chunk)) return;
    at = chunk.next;
  }
}

// The first count bytes of a chunk's data; Damaged where it is shorter.
template <std::size_t N>
std::array<std::uint8_t, N> ReadData(Input& in, const Chunk& chunk) {
  std::array<std::uint8_t, N> bytes{};
  if (chunk.dataEnd - chunk.dataStart < N) Damaged();
  in.Read(chunk.dataStart, bytes);
  return bytes;
}

bool Usable(std::uint64_t a, std::uint64_t b) { return a != 0 && b != 0; }

// What the header list records; 0 where it records nothing.
struct Headers {
  bool haveMain = false, haveVideo = false, haveExtended = false;
  // avih: microseconds per frame, total frames (of the first RIFF chunk).
  std::uint32_t microsecondsPerFrame = 0, mainFrames = 0;
  // the first video stream's strh.
  std::uint32_t scale = 0, rate = 0, length = 0;
  // dmlh: total frames of the whole file.
  std::uint32_t extendedFrames = 0;
};

Headers ReadHeaderList(Input& in, const Chunk& hdrl) {
  Headers headers;
  ForEachChunk(in, hdrl, [&](const Chunk& chunk) {
    if (chunk.Is("avih") && !headers.haveMain) {
      const auto avih = ReadData<20>(in, chunk);
      headers.microsecondsPerFrame = Le32(avih, 0);
      headers.mainFrames = Le32(avih, 16);
      headers.haveMain = true;
    } else if (chunk.IsList("strl") && !headers.haveVideo) {
      ForEachChunk(in, chunk, [&](const Chunk& strh) {
        if (!strh.Is("strh")) return false;
        const auto fields = ReadData<36>(in, strh);
        // Interleaved DV ('iavs') carries the video too.
        if (HasCode(fields, 0, "vids") || HasCode(fields, 0, "iavs")) {
          headers.scale = Le32(fields, 20);
          headers.rate = Le32(fields, 24);
          headers.length = Le32(fields, 32);
          headers.haveVideo = true;
        }
        return true;  // one stream header per stream list
      });
    } else if (chunk.IsList("odml") && !headers.haveExtended) {
      ForEachChunk(in, chunk, [&](const Chunk& dmlh) {
        if (!dmlh.Is("dmlh")) return false;
        headers.extendedFrames = Le32(ReadData<4>(in, dmlh), 0);
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
  // Each top-level RIFF chunk is passed (a header each): a file cut short
  // shows as a chunk that runs past its end.
  Headers headers;
  bool haveHeaders = false;
  const std::uint64_t end = in.Size();
  for (std::uint64_t at = 0; at < end;) {
    const Chunk chunk = ParseChunk(in.Header(at, 12), at, end);
    if (at == 0) {
      // The header list comes first in the 'AVI ' chunk.
      ForEachChunk(in, chunk, [&](const Chunk& child) {
        if (child.IsList("hdrl")) {
          headers = ReadHeaderList(in, child);
          haveHeaders = true;
        }
        return haveHeaders;
      });
      if (!haveHeaders) Damaged();
    }
    at = chunk.next;
  }
  const std::uint64_t frameMicroseconds = headers.microsecondsPerFrame;
  if (Usable(headers.scale, headers.rate) && headers.length != 0)
    return {std::uint64_t{headers.length} * headers.scale, headers.rate};
  if (Usable(frameMicroseconds, headers.extendedFrames)) return {headers.extendedFrames * frameMicroseconds, 1'000'000};
  if (Usable(frameMicroseconds, headers.mainFrames)) return {headers.mainFrames * frameMicroseconds, 1'000'000};
  Damaged();
}

}  // namespace tw::media::detail
