// MP4, MOV, 3GP, M4V: ISO base media boxes (and QuickTime atoms, their origin).
// A box is a 32-bit size (0: to the end of its parent, 1: a 64-bit size
// follows), a four-character type and its content. The movie box holds the
// movie header, and in a fragmented file the movie-extends box.
#include <algorithm>
#include <array>
#include <optional>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

struct Box {
  std::uint64_t start = 0;
  std::uint64_t contentStart = 0;
  std::uint64_t end = 0;
  std::array<std::uint8_t, 4> type{};

  bool Is(std::string_view code) const { return HasCode(type, 0, code); }
};

// The box whose header is in bytes (at least 8 there; 16 where it has a 64-bit
// size), starting at start in a parent that ends at parentEnd.
Box ParseBox(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  if (bytes.size() < 8) Damaged();
  Box box;
  box.start = start;
  std::copy_n(bytes.begin() + 4, 4, box.type.begin());
  const std::uint32_t size = Be32(bytes, 0);
  if (size == 1) {
    if (bytes.size() < 16) Damaged();
    const std::uint64_t largeSize = Be64(bytes, 8);
    if (largeSize < 16) Damaged();
    box.contentStart = start + 16;
    box.end = EndWithin(start, largeSize, parentEnd);
  } else if (size == 0) {
    box.contentStart = EndWithin(start, 8, parentEnd);
    box.end = parentEnd;
  } else {
    if (size < 8) Damaged();
    box.contentStart = start + 8;
    box.end = EndWithin(start, size, parentEnd);
  }
  return box;
}

// A child box's header, read within the parent and charged; nothing where
// fewer bytes than a header are left (QuickTime ends some lists with a short
// terminator).
std::optional<Box> ReadChild(Input& in, std::uint64_t start, std::uint64_t parentEnd) {
  std::array<std::uint8_t, 16> bytes{};
  const std::uint64_t room = Span(start, parentEnd);
  if (room < 8) return std::nullopt;
  return ParseBox(in.ReadUpTo(start, std::span(bytes).first(room < 16 ? 8 : 16)), start, parentEnd);
}

// The first count bytes of a box's content, or all of it where it is shorter.
std::size_t ContentUpTo(const Box& box, std::size_t count) {
  const std::uint64_t length = box.end - box.contentStart;
  return length < count ? static_cast<std::size_t>(length) : count;
}

// The movie-header fields that count, and the movie-extends header's.
struct Movie {
  std::uint32_t timeScale = 0;
  std::uint64_t duration = 0;
  std::optional<std::uint64_t> fragmentDuration;
};

// Version 1 of a full box widens its times from 32 to 64 bits; a duration of
// all ones means unknown, which counts as none.
std::uint64_t KnownDuration(std::uint64_t value, bool wide) {
  const std::uint64_t unknown = wide ? ~std::uint64_t{0} : 0xFFFFFFFF;
  return value == unknown ? 0 : value;
}

void ReadMovieHeader(Input& in, const Box& box, Movie& movie) {
  // Version and flags; creation and modification times; time scale; duration.
  std::array<std::uint8_t, 32> bytes{};
  const auto content = in.ReadUpTo(box.contentStart, std::span(bytes).first(ContentUpTo(box, bytes.size())));
  if (content.empty() || content[0] > 1) Damaged();
  const bool wide = content[0] == 1;
  if (content.size() < (wide ? 32u : 20u)) Damaged();
  movie.timeScale = Be32(content, wide ? 20 : 12);
  movie.duration = KnownDuration(wide ? Be64(content, 24) : Be32(content, 16), wide);
}

void ReadMovieExtends(Input& in, const Box& mvex, Movie& movie) {
  for (std::uint64_t at = mvex.contentStart; at < mvex.end;) {
    const std::optional<Box> child = ReadChild(in, at, mvex.end);
    if (!child) break;
    const Box& box = *child;
    if (box.Is("mehd")) {
      // Version and flags; the fragment duration.
      std::array<std::uint8_t, 12> bytes{};
      const auto content = in.ReadUpTo(box.contentStart, std::span(bytes).first(ContentUpTo(box, bytes.size())));
      if (content.empty() || content[0] > 1) Damaged();
      const bool wide = content[0] == 1;
      if (content.size() < (wide ? 12u : 8u)) Damaged();
      movie.fragmentDuration = KnownDuration(wide ? Be64(content, 4) : Be32(content, 4), wide);
      return;
    }
    at = box.end;
  }
}

Movie ReadMovie(Input& in, const Box& moov) {
  Movie movie;
  bool haveHeader = false;
  for (std::uint64_t at = moov.contentStart; at < moov.end;) {
    const std::optional<Box> child = ReadChild(in, at, moov.end);
    if (!child) break;
    const Box& box = *child;
    if (box.Is("mvhd") && !haveHeader) {
      ReadMovieHeader(in, box, movie);
      haveHeader = true;
    } else if (box.Is("mvex") && !movie.fragmentDuration) {
      ReadMovieExtends(in, box, movie);
    }
    at = box.end;
  }
  if (!haveHeader || movie.timeScale == 0) Damaged();
  return movie;
}

}  // namespace

Duration ReadIsoMedia(Input& in) {
  // Every top-level box is passed (a header each), so that the movie box is
  // found wherever it stands, fragments are seen, and a file cut short shows:
  // its last box runs past the end, what is left cannot hold a header, or
  // the media data is missing.
  std::optional<Movie> movie;
  bool fragmented = false, haveMedia = false;
  const std::uint64_t end = in.Size();
  for (std::uint64_t at = 0; at < end;) {
    const Box box = ParseBox(in.Header(at, 16), at, end);
    if (box.Is("moov") && !movie) movie = ReadMovie(in, box);
    if (box.Is("moof")) fragmented = true;
    if (box.Is("mdat")) haveMedia = true;
    at = box.end;
  }
  // Without media data the file was cut short after its header.
  if (!movie || !haveMedia) Damaged();
  // A fragmented file's movie header covers the samples before the first
  // fragment at most (none with an empty movie box); only the movie-extends
  // header speaks for the whole.
  if (!fragmented && movie->duration != 0) return {movie->duration, movie->timeScale};
  if (movie->fragmentDuration && *movie->fragmentDuration != 0) return {*movie->fragmentDuration, movie->timeScale};
  Damaged();
}

}  // namespace tw::media::detail
