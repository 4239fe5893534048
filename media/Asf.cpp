// ASF (WMV, WMA): objects, little-endian. An object is a 16-byte GUID, a
// 64-bit size that counts its own 24-byte header, and its data. The file is
// the header object (with a count and two reserved bytes before its children),
// the data object and optional index objects. The header object's child, the
// file properties object, records the play duration in 100 ns units, which
// includes the preroll, given in milliseconds.
#include <algorithm>
#include <array>
#include <optional>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

constexpr std::array<std::uint8_t, 16> kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                          0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::array<std::uint8_t, 16> kDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint64_t kObjectHeader = 24;
constexpr std::uint64_t kHeaderObjectFields = 6;  // the child count and two reserved bytes

struct Object {
  std::array<std::uint8_t, 16> guid{};
  std::uint64_t dataStart = 0;
  std::uint64_t end = 0;
};

Object ParseObject(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  if (bytes.size() < kObjectHeader) Damaged();
  Object object;
  std::copy_n(bytes.begin(), 16, object.guid.begin());
  const std::uint64_t size = Le64(bytes, 16);
  if (size < kObjectHeader) Damaged();
  object.end = EndWithin(start, size, parentEnd);
  object.dataStart = start + kObjectHeader;
  return object;
}

// The file properties' play duration less the preroll.
std::optional<Duration> ReadFileProperties(Input& in, const Object& header) {
  const std::uint64_t childrenStart = EndWithin(header.dataStart, kHeaderObjectFields, header.end);
  for (std::uint64_t at = childrenStart; at < header.end;) {
    std::array<std::uint8_t, kObjectHeader> bytes{};
    if (Span(at, header.end) < kObjectHeader) break;
    in.Read(at, bytes);
    const Object child = ParseObject(bytes, at, header.end);
    if (child.guid == kFileProperties) {
      // File id (16), file size, creation date, packet count, play duration,
      // send duration, preroll (8 each), flags (4).
      std::array<std::uint8_t, 68> fields{};
      if (child.end - child.dataStart < fields.size()) Damaged();
      in.Read(child.dataStart, fields);
      // A broadcast file is still being written: its durations mean nothing.
      if ((Le32(fields, 64) & 1) != 0) Damaged();
      const std::uint64_t play = Le64(fields, 40);
      const std::uint64_t preroll = Le64(fields, 56);
      constexpr std::uint64_t kTicksPerMillisecond = 10'000;
      if (preroll > play / kTicksPerMillisecond) Damaged();
      return Duration{play - preroll * kTicksPerMillisecond, 10'000'000};
    }
    at = child.end;
  }
  return std::nullopt;
}

}  // namespace

Duration ReadAsf(Input& in) {
  // Every top-level object is passed (a header each): a file cut short shows
  // as an object that runs past its end, or as one without its data object.
  std::optional<Duration> duration;
  bool haveData = false;
  const std::uint64_t end = in.Size();
  for (std::uint64_t at = 0; at < end;) {
    const Object object = ParseObject(in.Header(at, kObjectHeader), at, end);
    if (at == 0) {
      duration = ReadFileProperties(in, object);
      if (!duration) Damaged();
    }
    if (object.guid == kDataObject) haveData = true;
    at = object.end;
  }
  if (!haveData) Damaged();
  return *duration;
}

}  // namespace tw::media::detail
