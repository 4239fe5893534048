#include "media/Duration.h"

#include <algorithm>
#include <cstring>

#include "media/Input.h"

namespace tw::media {

std::uint64_t WholeMinutesRoundedUp(Duration duration) {
  if (duration.ticksPerSecond == 0) return 0;
  // ⌈⌈t ÷ r⌉ ÷ 60⌉ = ⌈t ÷ 60r⌉, without forming 60r (which may overflow).
  const std::uint64_t seconds =
      duration.ticks / duration.ticksPerSecond + (duration.ticks % duration.ticksPerSecond != 0 ? 1 : 0);
  return seconds / 60 + (seconds % 60 != 0 ? 1 : 0);
}

const char* NameOf(MediaError error) {
  switch (error) {
    case MediaError::CannotOpen: return "CannotOpen";
    case MediaError::NotAFile: return "NotAFile";
    case MediaError::UnsupportedFormat: return "UnsupportedFormat";
    case MediaError::Damaged: return "Damaged";
    case MediaError::ReadFailed: return "ReadFailed";
  }
  return "?";
}

std::uint64_t MegabytesRoundedUp(std::uint64_t bytes) {
  constexpr std::uint64_t kMegabyte = 1024 * 1024;
  return bytes / kMegabyte + (bytes % kMegabyte != 0 ? 1 : 0);
}

std::size_t ByteSource::Read(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (offset >= size_) return 0;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - offset));
  if (count == 0) return 0;
  const std::size_t got = ReadAt(offset, buffer.first(count));
  bytesRead_ += got;
  return got;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::memcpy(buffer.data(), bytes_.data() + offset, buffer.size());
  return buffer.size();
}

namespace {

using namespace detail;

// The first bytes of each format. MP4 has no signature: its first box's type
// is one that the format begins with, and its size one that a box can have.
enum class Format { Unknown, Avi, IsoMedia, Matroska, Asf, Flv };

Format Recognise(Input& in) {
  const auto head = in.Header(0, kMaxHeaderBytes);
  if (HasCode(head, 0, "RIFF") && HasCode(head, 8, "AVI ")) return Format::Avi;
  if (head.size() >= 4 && Be32(head, 0) == 0x1A45DFA3) return Format::Matroska;
  if (head.size() >= 16 && std::equal(kAsfHeaderObject.begin(), kAsfHeaderObject.end(), head.begin()))
    return Format::Asf;
  if (HasCode(head, 0, "FLV\x01")) return Format::Flv;
  auto isoMediaStart = [](std::span<const std::uint8_t> header) {
    if (header.size() < 8) return false;
    const std::uint32_t size = Be32(header, 0);
    if (size != 0 && size != 1 && size < 8) return false;
    for (const char* type : {"ftyp", "styp", "moov", "mdat", "free", "skip", "wide", "pnot"}) {
      if (HasCode(header, 4, type)) return true;
    }
    return false;
  };
  if (isoMediaStart(head)) return Format::IsoMedia;
  // QuickTime may open with a uuid (its 16-byte identifier after the header)
  // or junk atom of any content: one that ends inside the file before a box
  // of the types above counts. That header is read and charged.
  const bool uuid = HasCode(head, 4, "uuid");
  if (uuid || HasCode(head, 4, "junk")) {
    const std::uint32_t size = Be32(head, 0);
    if (size >= (uuid ? 24u : 8u) && std::uint64_t{size} + 8 <= in.Size()) {
      std::array<std::uint8_t, 8> next{};
      in.Read(size, next);
      if (isoMediaStart(next)) return Format::IsoMedia;
    }
  }
  return Format::Unknown;
}

}  // namespace

Result<Duration> ReadDuration(ByteSource& source) {
  try {
    Input in(source);
    Duration duration;
    switch (Recognise(in)) {
      case Format::Avi: duration = ReadAvi(in); break;
      case Format::IsoMedia: duration = ReadIsoMedia(in); break;
      case Format::Matroska: duration = ReadMatroska(in); break;
      case Format::Asf: duration = ReadAsf(in); break;
      case Format::Flv: duration = ReadFlv(in); break;
      case Format::Unknown: return MediaError::UnsupportedFormat;
    }
    if (duration.ticks == 0 || duration.ticksPerSecond == 0) return MediaError::Damaged;
    if (WholeMinutesRoundedUp(duration) > kMaxMinutes) return MediaError::Damaged;
    return duration;
  } catch (const Failure& failure) {
    return failure.kind;
  }
}

Result<FileFacts> ReadMinutesAndSize(const FilePath& path) {
  auto file = FileSource::Open(path);
  if (!file) return file.Error();
  FileSource& source = **file;
  const Result<Duration> duration = ReadDuration(source);
  if (!duration) return duration.Error();
  return FileFacts{WholeMinutesRoundedUp(*duration), source.Size(), source.BytesRead()};
}

Result<std::uint64_t> ReadFileSize(const FilePath& path) {
  auto file = FileSource::Open(path);
  if (!file) return file.Error();
  return (*file)->Size();
}

}  // namespace tw::media
