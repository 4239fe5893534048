// MP4, MOV, 3GP, M4V: ISO base media boxes (and QuickTime atoms, their origin).
// A box is a 32-bit size (0: to the end of its parent, 1: a 64-bit size
// follows), a four-character type and its content. The movie box holds the
// movie header and the tracks, and in a fragmented file the movie-extends box.
// A fragmented file's samples come in movie fragments after it, each a
// fragment box (one track fragment per track) followed by its media data;
// segment indexes may stand before them, and a random-access table after.
#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

struct Box {
  Extent extent;
  std::array<std::uint8_t, 4> type{};

  bool Is(std::string_view code) const { return HasCode(type, 0, code); }
};

// The box whose header is in bytes (at least 8 there), starting at start in a
// parent that ends at parentEnd; nothing where its size is impossible, needs
// more bytes than there are, or runs past the parent's end.
std::optional<Box> ParseBox(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  Box box;
  std::copy_n(bytes.begin() + 4, 4, box.type.begin());
  const std::uint32_t size = Be32(bytes, 0);
  std::uint64_t headerSize = 8, length = size;
  if (size == 1) {
    if (bytes.size() < 16) return std::nullopt;
    headerSize = 16;
    length = Be64(bytes, 8);
  } else if (size == 0) {
    length = parentEnd - start;
  }
  if (length < headerSize || length > parentEnd - start) return std::nullopt;
  box.extent = {start, start + headerSize, start + length};
  return box;
}

// The types a file holds at its top level. Where a header after the last whole
// box is of none of them, what follows is not a box but bytes appended to a
// finished file (a tag, padding); one of them that runs past the end is a box
// cut short.
bool KnownAtTopLevel(std::span<const std::uint8_t> header) {
  constexpr std::string_view kTypes[] = {"ftyp", "styp", "pdin", "moov", "moof", "mfra", "mdat", "free", "skip", "wide",
                                         "junk", "pnot", "uuid", "meta", "sidx", "ssix", "prft", "emsg", "meco"};
  return std::any_of(std::begin(kTypes), std::end(kTypes),
                     [&](std::string_view type) { return HasCode(header, 4, type); });
}

// The one walk over boxes: visit(box) for each box of parent in turn, while it
// returns true. At the top level each header is read free of the budget, and
// after the last whole box, fewer bytes than a header or a header of no known
// top-level type end the walk. Inside a box each header is charged, and fewer
// bytes than a header end the list (QuickTime ends some lists with a short
// terminator).
template <typename Visit>
void ForEachBox(Input& in, const Extent& parent, Level level, Visit visit) {
  for (std::uint64_t at = parent.contentStart; at < parent.end;) {
    std::array<std::uint8_t, 16> buffer{};
    const std::uint64_t room = parent.end - at;
    std::span<const std::uint8_t> header;
    if (level == Level::Top) {
      header = in.Header(at, buffer.size());
    } else if (room >= 8) {
      header = in.ReadUpTo(at, std::span(buffer).first(room < 16 ? 8 : 16));
    }
    if (header.size() < 8) return;
    const std::optional<Box> box = ParseBox(header, at, parent.end);
    if (!box) {
      if (level == Level::Top && !KnownAtTopLevel(header)) return;
      Damaged();
    }
    if (!visit(*box)) return;
    at = box->extent.end;
  }
}

// The box at offset in the file, read and charged; nothing where no whole box
// of that type stands there.
std::optional<Box> BoxAt(Input& in, std::uint64_t offset, std::string_view type) {
  if (offset >= in.Size()) return std::nullopt;
  std::array<std::uint8_t, 16> buffer{};
  const auto header = in.ReadUpTo(offset, buffer);
  if (header.size() < 8) return std::nullopt;
  const std::optional<Box> box = ParseBox(header, offset, in.Size());
  if (!box || !box->Is(type)) return std::nullopt;
  return box;
}

// The first bytes of a box's content, as many as into holds or the content
// has, read and charged.
std::span<const std::uint8_t> ReadContent(Input& in, const Box& box, std::span<std::uint8_t> into) {
  const std::uint64_t length = box.extent.end - box.extent.contentStart;
  return in.ReadUpTo(box.extent.contentStart,
                     into.first(length < into.size() ? static_cast<std::size_t>(length) : into.size()));
}

// The first 32 bytes of a full box's content, or all of it where it is
// shorter: Damaged where its version is above 1 or it holds fewer bytes than
// its version needs.
std::span<const std::uint8_t> ReadFullBox(Input& in, const Box& box, std::array<std::uint8_t, 32>& buffer,
                                          std::size_t needed0, std::size_t needed1) {
  const auto content = ReadContent(in, box, buffer);
  if (content.empty() || content[0] > 1) Damaged();
  if (content.size() < (content[0] == 1 ? needed1 : needed0)) Damaged();
  return content;
}

std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
  if (b > ~std::uint64_t{0} - a) Damaged();
  return a + b;
}

// The movie-header fields that count, and the movie-extends header's.
struct Movie {
  std::uint32_t timeScale = 0;
  std::uint64_t duration = 0;
  std::uint64_t fragmentDuration = 0;
};

// Version 1 of a full box widens its times from 32 to 64 bits; a duration of
// all ones means unknown, which counts as none.
std::uint64_t KnownDuration(std::span<const std::uint8_t> content, std::size_t at) {
  const bool wide = content[0] == 1;
  const std::uint64_t value = wide ? Be64(content, at) : Be32(content, at);
  return value == (wide ? ~std::uint64_t{0} : 0xFFFFFFFF) ? 0 : value;
}

// The time scale of a movie or media header (laid out alike): version and
// flags; creation and modification times; time scale; duration.
std::uint32_t TimeScale(std::span<const std::uint8_t> content) { return Be32(content, content[0] == 1 ? 20 : 12); }

Movie ReadMovie(Input& in, const Box& moov) {
  Movie movie;
  bool haveHeader = false, haveExtends = false;
  ForEachBox(in, moov.extent, Level::Nested, [&](const Box& box) {
    std::array<std::uint8_t, 32> buffer{};
    if (box.Is("mvhd") && !haveHeader) {
      const auto content = ReadFullBox(in, box, buffer, 20, 32);
      movie.timeScale = TimeScale(content);
      movie.duration = KnownDuration(content, content[0] == 1 ? 24 : 16);
      haveHeader = true;
    } else if (box.Is("mvex") && !haveExtends) {
      ForEachBox(in, box.extent, Level::Nested, [&](const Box& child) {
        if (!child.Is("mehd")) return true;
        // Version and flags; the fragment duration.
        movie.fragmentDuration = KnownDuration(ReadFullBox(in, child, buffer, 8, 12), 4);
        haveExtends = true;
        return false;
      });
    }
    return true;
  });
  if (!haveHeader || movie.timeScale == 0) Damaged();
  return movie;
}

// What a fragment's times need of a track: its time scale (its media header's)
// and the default sample duration of the movie-extends box.
struct Track {
  std::uint32_t id = 0;
  std::uint32_t timeScale = 0;
  std::uint32_t defaultDuration = 0;
};

std::vector<Track> ReadTracks(Input& in, const Box& moov) {
  std::vector<Track> tracks;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> defaults;  // track, default sample duration
  ForEachBox(in, moov.extent, Level::Nested, [&](const Box& box) {
    std::array<std::uint8_t, 32> buffer{};
    if (box.Is("trak")) {
      Track track;
      ForEachBox(in, box.extent, Level::Nested, [&](const Box& child) {
        if (child.Is("tkhd")) {
          // Version and flags; creation and modification times; track id.
          const auto content = ReadFullBox(in, child, buffer, 16, 24);
          track.id = Be32(content, content[0] == 1 ? 20 : 12);
        } else if (child.Is("mdia")) {
          ForEachBox(in, child.extent, Level::Nested, [&](const Box& media) {
            if (!media.Is("mdhd")) return true;
            track.timeScale = TimeScale(ReadFullBox(in, media, buffer, 16, 24));
            return false;
          });
        }
        return true;
      });
      if (track.timeScale != 0) tracks.push_back(track);
    } else if (box.Is("mvex")) {
      ForEachBox(in, box.extent, Level::Nested, [&](const Box& child) {
        if (child.Is("trex")) {
          // Version and flags; track id; sample description; sample duration.
          const auto content = ReadFullBox(in, child, buffer, 16, 16);
          defaults.emplace_back(Be32(content, 4), Be32(content, 12));
        }
        return true;
      });
    }
    return true;
  });
  for (Track& track : tracks) {
    for (const auto& [id, duration] : defaults)
      if (id == track.id) track.defaultDuration = duration;
  }
  return tracks;
}

// A segment index: where the material it refers to ends, and when (its
// earliest presentation time plus the references' durations, in its own time
// scale). A reference to a further index counts with the size and duration
// of all that index covers, so the sums of the first cover the whole.
struct IndexReach {
  std::uint64_t end = 0;
  Duration time;
};

// Damaged where the references run past the end of the file (cut short);
// nothing where they cannot be summed within the bound or have no time scale.
std::optional<IndexReach> ReadSegmentIndex(Input& in, const Box& sidx) {
  // Version and flags; reference id; time scale; earliest presentation time
  // and first offset (32 or 64 bits); reserved; reference count.
  std::array<std::uint8_t, 32> buffer{};
  const auto content = ReadFullBox(in, sidx, buffer, 24, 32);
  const bool wide = content[0] == 1;
  const std::uint32_t timeScale = Be32(content, 8);
  const std::uint64_t earliest = wide ? Be64(content, 12) : Be32(content, 12);
  const std::uint64_t firstOffset = wide ? Be64(content, 20) : Be32(content, 16);
  const std::uint16_t count = Be16(content, wide ? 30 : 22);
  // Each reference: a type bit and a 31-bit size; a duration; access points.
  constexpr std::uint64_t kReference = 12;
  const std::uint64_t first = sidx.extent.contentStart + (wide ? 32 : 24);
  if (Span(first, sidx.extent.end) < count * kReference) Damaged();
  if (count * kReference > in.BudgetLeft()) return std::nullopt;
  std::uint64_t end = EndWithin(sidx.extent.end, firstOffset, in.Size());
  std::uint64_t duration = 0;
  std::array<std::uint8_t, 4092> chunk{};
  for (std::uint64_t i = 0; i < count;) {
    const std::uint64_t n = std::min<std::uint64_t>(count - i, chunk.size() / kReference);
    const auto references = std::span(chunk).first(static_cast<std::size_t>(n * kReference));
    in.Read(first + i * kReference, references);
    for (std::size_t at = 0; at < references.size(); at += kReference) {
      end = EndWithin(end, Be32(references, at) & 0x7FFFFFFF, in.Size());
      duration += Be32(references, at + 4);  // at most 2^16 × 2^32
    }
    i += n;
  }
  if (timeScale == 0) return std::nullopt;
  return IndexReach{end, {Add(earliest, duration), timeScale}};
}

// The last entry of a track's random-access table: the presentation time of a
// sync sample, the fragment box holding it, and where it stands there.
struct KeyFragment {
  std::uint32_t trackId = 0;
  std::uint64_t time = 0;
  std::uint64_t moof = 0;
  std::uint64_t run = 0;     // the track run, from 1
  std::uint64_t sample = 0;  // the sample in that run, from 1
};

std::vector<KeyFragment> ReadRandomAccess(Input& in, const Box& mfra) {
  std::vector<KeyFragment> keys;
  ForEachBox(in, mfra.extent, Level::Nested, [&](const Box& box) {
    if (!box.Is("tfra")) return true;
    // Version and flags; track id; the sizes of the numbers; entry count.
    std::array<std::uint8_t, 32> buffer{};
    const auto content = ReadFullBox(in, box, buffer, 16, 16);
    const std::size_t timeBytes = content[0] == 1 ? 8 : 4;
    const std::uint32_t sizes = Be32(content, 8);
    const std::size_t trafBytes = (sizes >> 4 & 3) + 1, runBytes = (sizes >> 2 & 3) + 1, sampleBytes = (sizes & 3) + 1;
    const std::size_t entrySize = 2 * timeBytes + trafBytes + runBytes + sampleBytes;
    const std::uint32_t count = Be32(content, 12);
    const std::uint64_t first = box.extent.contentStart + 16;
    if (Span(first, box.extent.end) / entrySize < count) Damaged();
    if (count == 0) return true;
    std::array<std::uint8_t, 28> bytes{};
    const auto entry = std::span(bytes).first(entrySize);
    in.Read(first + (count - 1) * std::uint64_t{entrySize}, entry);
    const std::size_t run = 2 * timeBytes + trafBytes;
    keys.push_back({Be32(content, 4), BeN(entry, 0, timeBytes), BeN(entry, timeBytes, timeBytes),
                    BeN(entry, run, runBytes), BeN(entry, run + runBytes, sampleBytes)});
    return true;
  });
  return keys;
}

// What a track fragment's runs record: their samples' total duration, and of
// a sample named by the random-access table the durations before it and its
// composition offset (decode time + offset = presentation time).
struct RunTimes {
  std::uint64_t duration = 0;
  std::optional<std::uint64_t> before;
  std::int64_t compositionOffset = 0;
};

void ReadRun(Input& in, const Box& trun, std::uint32_t defaultDuration, std::uint64_t named, RunTimes& times) {
  // Version and flags; sample count; a data offset and first sample's flags
  // where the flags say; then per sample the duration, size, flags and
  // composition offset that the flags say, in that order.
  std::array<std::uint8_t, 32> buffer{};
  const auto content = ReadFullBox(in, trun, buffer, 8, 8);
  const bool signedOffsets = content[0] == 1;
  const std::uint32_t flags = Be24(content, 1), count = Be32(content, 4);
  const std::uint64_t first = trun.extent.contentStart + 8 + (flags & 0x1 ? 4 : 0) + (flags & 0x4 ? 4 : 0);
  const std::uint64_t entrySize = 4 * static_cast<std::uint64_t>(std::popcount(flags & 0xF00));
  if (Span(first, trun.extent.end) < count * entrySize) Damaged();
  if (named > count) named = 0;
  std::uint64_t duration = 0, before = 0;
  if (flags & 0x100) {
    std::array<std::uint8_t, 4096> chunk{};
    for (std::uint64_t i = 0; i < count;) {
      const std::uint64_t n = std::min<std::uint64_t>(count - i, chunk.size() / entrySize);
      const auto entries = std::span(chunk).first(static_cast<std::size_t>(n * entrySize));
      in.Read(first + i * entrySize, entries);
      for (std::uint64_t j = 0; j < n; ++j) {
        if (i + j + 1 == named) before = duration;
        duration += Be32(entries, static_cast<std::size_t>(j * entrySize));  // at most 2^32 × 2^32
      }
      i += n;
    }
  } else {
    duration = count * std::uint64_t{defaultDuration};
    if (named != 0) before = (named - 1) * defaultDuration;
  }
  if (named != 0) {
    times.before = Add(times.duration, before);
    if (flags & 0x800) {
      std::array<std::uint8_t, 4> offset{};
      in.Read(first + named * entrySize - 4, offset);
      const std::uint32_t raw = Be32(offset, 0);
      times.compositionOffset = signedOffsets ? static_cast<std::int32_t>(raw) : std::int64_t{raw};
    }
  }
  times.duration = Add(times.duration, duration);
}

// Where a track fragment ends on its track's time line: its decode time, or
// the random-access table's time for the sample it names, plus its samples'
// durations. Nothing for a track the movie does not describe, or where neither
// time is recorded.
std::optional<Duration> TrackFragmentEnd(Input& in, const Box& traf, std::uint64_t moof,
                                         const std::vector<Track>& tracks, const std::vector<KeyFragment>& keys) {
  const Track* track = nullptr;
  const KeyFragment* key = nullptr;
  std::uint32_t defaultDuration = 0;
  std::optional<std::uint64_t> decodeTime;
  RunTimes times;
  std::uint64_t runs = 0;
  ForEachBox(in, traf.extent, Level::Nested, [&](const Box& box) {
    std::array<std::uint8_t, 32> buffer{};
    if (box.Is("tfhd")) {
      // Version and flags; track id; then where the flags say a base data
      // offset (8 bytes), a sample description (4) and a sample duration (4).
      const auto content = ReadFullBox(in, box, buffer, 8, 8);
      const std::uint32_t flags = Be24(content, 1), id = Be32(content, 4);
      const auto found = std::find_if(tracks.begin(), tracks.end(), [&](const Track& t) { return t.id == id; });
      if (found == tracks.end()) return false;
      track = &*found;
      defaultDuration = track->defaultDuration;
      if (flags & 0x8) {
        const std::size_t at = 8 + (flags & 0x1 ? 8 : 0) + (flags & 0x2 ? 4 : 0);
        if (content.size() < at + 4) Damaged();
        defaultDuration = Be32(content, at);
      }
      for (const KeyFragment& k : keys)
        if (k.trackId == id && k.moof == moof) key = &k;
    } else if (box.Is("tfdt") && track) {
      // Version and flags; the base media decode time (32 or 64 bits).
      const auto content = ReadFullBox(in, box, buffer, 8, 12);
      decodeTime = content[0] == 1 ? Be64(content, 4) : Be32(content, 4);
    } else if (box.Is("trun") && track) {
      ++runs;
      ReadRun(in, box, defaultDuration, key && key->run == runs ? key->sample : 0, times);
    }
    return true;
  });
  if (!track) return std::nullopt;
  std::uint64_t start;
  if (decodeTime) {
    start = *decodeTime;
  } else if (key && times.before) {
    // The sample's presentation time less its offset is its decode time; less
    // the durations before it, the fragment's.
    const std::int64_t offset = times.compositionOffset;
    const std::uint64_t earlier = Add(*times.before, offset > 0 ? static_cast<std::uint64_t>(offset) : 0);
    start = Span(earlier, Add(key->time, offset < 0 ? 0 - static_cast<std::uint64_t>(offset) : 0));
  } else {
    return std::nullopt;
  }
  return Duration{Add(start, times.duration), track->timeScale};
}

// The longest track's end in the fragments' own records.
Duration FragmentsDuration(Input& in, const Box& moov, const Box& lastMoof, std::uint64_t fragmentsEnd,
                           const std::vector<Box>& indexes, const std::optional<Box>& randomAccess) {
  std::optional<Duration> longest;
  auto consider = [&](std::optional<Duration> end) {
    if (end && end->ticks != 0 && (!longest || Longer(*end, *longest))) longest = end;
  };
  // An index counts where what it refers to ends with the last fragment (one
  // that ends earlier covers only some of the fragments).
  for (const Box& sidx : indexes) {
    const std::optional<IndexReach> reach = ReadSegmentIndex(in, sidx);
    if (reach && reach->end == fragmentsEnd) consider(reach->time);
  }
  const std::vector<Track> tracks = ReadTracks(in, moov);
  const std::vector<KeyFragment> keys = randomAccess ? ReadRandomAccess(in, *randomAccess) : std::vector<KeyFragment>{};
  // The last fragment, and each track's last fragment with a sync sample.
  std::vector<std::uint64_t> read;
  auto readFragment = [&](const Box& moof) {
    if (std::find(read.begin(), read.end(), moof.extent.start) != read.end()) return;
    read.push_back(moof.extent.start);
    ForEachBox(in, moof.extent, Level::Nested, [&](const Box& traf) {
      if (traf.Is("traf")) consider(TrackFragmentEnd(in, traf, moof.extent.start, tracks, keys));
      return true;
    });
  };
  readFragment(lastMoof);
  for (const KeyFragment& key : keys) {
    if (const std::optional<Box> moof = BoxAt(in, key.moof, "moof")) readFragment(*moof);
  }
  if (!longest) Damaged();
  return *longest;
}

}  // namespace

Duration ReadIsoMedia(Input& in) {
  // Every top-level box is passed (a header each), so that the movie box is
  // found wherever it stands, fragments are seen, and a file cut short shows:
  // its last box runs past the end, the media data is missing, or the last
  // fragment has none.
  std::optional<Box> moov, lastMoof, randomAccess;
  std::optional<Movie> movie;
  std::vector<Box> indexes;  // the first and the last segment index
  bool haveMedia = false;
  std::uint64_t fragmentsEnd = 0;  // the end of the last fragment's media data
  ForEachBox(in, {0, 0, in.Size()}, Level::Top, [&](const Box& box) {
    if (box.Is("moov") && !moov) {
      moov = box;
      movie = ReadMovie(in, box);
    } else if (box.Is("moof")) {
      lastMoof = box;
      fragmentsEnd = 0;
    } else if (box.Is("mdat")) {
      haveMedia = true;
      if (lastMoof) fragmentsEnd = box.extent.end;
    } else if (box.Is("sidx")) {
      if (indexes.size() == 2) indexes.pop_back();
      indexes.push_back(box);
    } else if (box.Is("mfra")) {
      randomAccess = box;
    }
    return true;
  });
  // Without media data the file was cut short after its header.
  if (!movie || !haveMedia) Damaged();
  if (!lastMoof) {
    if (movie->duration != 0) return {movie->duration, movie->timeScale};
    if (movie->fragmentDuration != 0) return {movie->fragmentDuration, movie->timeScale};
    Damaged();
  }
  // A fragmented file's movie header covers the samples before the first
  // fragment at most (none with an empty movie box). The movie-extends header
  // speaks for the whole where it is there; else the fragments themselves.
  if (fragmentsEnd == 0) Damaged();
  if (movie->fragmentDuration != 0) return {movie->fragmentDuration, movie->timeScale};
  return FragmentsDuration(in, *moov, *lastMoof, fragmentsEnd, indexes, randomAccess);
}

}  // namespace tw::media::detail
