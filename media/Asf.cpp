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

using Guid = std::array<std::uint8_t, 16>;

constexpr Guid kDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kSimpleIndex = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                               0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
constexpr Guid kIndex = {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,
                         0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE};
constexpr Guid kMediaObjectIndex = {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C,
                                    0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C};
constexpr Guid kTimecodeIndex = {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48,
                                 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C};
constexpr Guid kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::uint64_t kObjectHeader = 24;
constexpr std::uint64_t kHeaderObjectFields = 6;  // the child count and two reserved bytes

struct Object {
  Extent extent;
  Guid guid{};
};

Object ParseObject(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  if (bytes.size() < kObjectHeader) Damaged();
  Object object;
  std::copy_n(bytes.begin(), 16, object.guid.begin());
  const std::uint64_t size = Le64(bytes, 16);
  if (size < kObjectHeader) Damaged();
  object.extent = {start, start + kObjectHeader, EndWithin(start, size, parentEnd)};
  return object;
}

// The objects that stand at the top of an ASF file.
bool IsTopLevel(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 16) return false;
  for (const Guid& guid : {kAsfHeaderObject, kDataObject, kSimpleIndex, kIndex, kMediaObjectIndex, kTimecodeIndex}) {
    if (std::equal(guid.begin(), guid.end(), bytes.begin())) return true;
  }
  return false;
}

// Whether the bytes at the top, after the last whole object, are not the
// file's own (zeros, a tag appended by a tagger): too few for an object header
// and not the GUID of a top-level object, or an object of another GUID that
// is not whole. A top-level object that runs past the end was cut short.
bool IsTrailing(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t end) {
  if (IsTopLevel(bytes)) return false;
  if (bytes.size() < kObjectHeader) return true;
  const std::uint64_t size = Le64(bytes, 16);
  return size < kObjectHeader || size > end - start;
}

// The objects of parent's content in order, until visit returns true. At the
// top (the file) each header is read free of the budget and the walk ends at
// trailing bytes; below it each is charged, and fewer bytes than a header at
// the end of the parent are ignored.
template <typename Visit>
void ForEachObject(Input& in, const Extent& parent, Level level, Visit visit) {
  for (std::uint64_t at = parent.contentStart; at < parent.end;) {
    std::array<std::uint8_t, kObjectHeader> buffer{};
    std::span<const std::uint8_t> bytes;
    if (level == Level::Top) {
      bytes = in.Header(at, kObjectHeader);
      if (IsTrailing(bytes, at, parent.end)) return;
    } else {
      if (Span(at, parent.end) < kObjectHeader) return;
      in.Read(at, buffer);
      bytes = buffer;
    }
    const Object object = ParseObject(bytes, at, parent.end);
    if (visit(object)) return;
    at = object.extent.end;
  }
}

// The file properties' play duration less the preroll.
std::optional<Duration> ReadFileProperties(Input& in, const Object& header) {
  const Extent children{header.extent.start,
                        EndWithin(header.extent.contentStart, kHeaderObjectFields, header.extent.end),
                        header.extent.end};
  std::optional<Duration> duration;
  ForEachObject(in, children, Level::Nested, [&](const Object& child) {
    if (child.guid != kFileProperties) return false;
    // File id (16), file size, creation date, packet count, play duration,
    // send duration, preroll (8 each), flags (4).
    std::array<std::uint8_t, 68> fields{};
    if (child.extent.end - child.extent.contentStart < fields.size()) Damaged();
    in.Read(child.extent.contentStart, fields);
    // A broadcast file is still being written: its durations mean nothing.
    if ((Le32(fields, 64) & 1) != 0) Damaged();
    const std::uint64_t play = Le64(fields, 40);
    const std::uint64_t preroll = Le64(fields, 56);
    constexpr std::uint64_t kTicksPerMillisecond = 10'000;
    if (preroll > play / kTicksPerMillisecond) Damaged();
    duration = Duration{play - preroll * kTicksPerMillisecond, 10'000'000};
    return true;
  });
  return duration;
}

}  // namespace

Duration ReadAsf(Input& in) {
  // Every top-level object is passed (a header each): a file cut short shows
  // as an object that runs past its end, or as one without its data object.
  std::optional<Duration> duration;
  bool haveData = false;
  ForEachObject(in, Extent{0, 0, in.Size()}, Level::Top, [&](const Object& object) {
    if (object.extent.start == 0) {
      duration = ReadFileProperties(in, object);
      if (!duration) Damaged();
    }
    if (object.guid == kDataObject) haveData = true;
    return false;
  });
  if (!duration || !haveData) Damaged();
  return *duration;
}

}  // namespace tw::media::detail
