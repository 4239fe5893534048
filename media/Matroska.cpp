// Matroska and WebM: EBML elements. An element is an id (1 to 4 bytes, its
// length marker kept), a size (1 to 8 bytes, its marker removed; all value bits
// set means "unknown") and its data. The file is an EBML header naming the
// document type, then the Segment; the Segment's children (level 1) include
// the segment information 'Info' with the timecode scale and the duration.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

constexpr std::uint32_t kEbmlHeader = 0x1A45DFA3;
constexpr std::uint32_t kDocType = 0x4282;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kInfo = 0x1549A966;
constexpr std::uint32_t kTimecodeScale = 0x2AD7B1;
constexpr std::uint32_t kDuration = 0x4489;

// The ids that can only stand at the top or directly in the Segment: one of
// them ends an element of unknown size.
bool IsUpperLevel(std::uint32_t id) {
  switch (id) {
    case kEbmlHeader:
    case kSegment:
    case 0x114D9B74:  // SeekHead
    case kInfo:
    case 0x1654AE6B:  // Tracks
    case 0x1F43B675:  // Cluster
    case 0x1C53BB6B:  // Cues
    case 0x1941A469:  // Attachments
    case 0x1043A770:  // Chapters
    case 0x1254C367:  // Tags
      return true;
    default: return false;
  }
}

constexpr std::size_t kMaxElementHeader = 12;  // a 4-byte id and an 8-byte size

struct Element {
  std::uint32_t id = 0;
  std::uint64_t start = 0;
  std::uint64_t dataStart = 0;
  std::optional<std::uint64_t> dataEnd;  // nothing: unknown size

  std::uint64_t DataLength() const { return *dataEnd - dataStart; }
};

// The element whose header begins bytes, starting at start in a parent that
// ends at parentEnd.
Element ParseElement(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint64_t parentEnd) {
  if (bytes.empty() || bytes[0] == 0) Damaged();
  const auto idLength = static_cast<std::size_t>(std::countl_zero(bytes[0])) + 1;
  if (idLength > 4 || bytes.size() <= idLength || bytes[idLength] == 0) Damaged();
  const auto sizeLength = static_cast<std::size_t>(std::countl_zero(bytes[idLength])) + 1;
  if (bytes.size() < idLength + sizeLength) Damaged();
  Element element;
  element.id = static_cast<std::uint32_t>(BeN(bytes, 0, idLength));
  element.start = start;
  element.dataStart = EndWithin(start, idLength + sizeLength, parentEnd);
  const std::uint64_t marker = std::uint64_t{1} << (7 * sizeLength);
  const std::uint64_t size = BeN(bytes, idLength, sizeLength) & (marker - 1);
  if (size != marker - 1) element.dataEnd = EndWithin(element.dataStart, size, parentEnd);
  return element;
}

// An element below the top, its header read and charged.
Element ReadChild(Input& in, std::uint64_t start, std::uint64_t parentEnd) {
  std::array<std::uint8_t, kMaxElementHeader> bytes{};
  const std::uint64_t room = Span(start, parentEnd);
  const auto count = static_cast<std::size_t>(room < bytes.size() ? room : bytes.size());
  return ParseElement(in.ReadUpTo(start, std::span(bytes).first(count)), start, parentEnd);
}

// Where an element of unknown size ends: at the first child that can only
// stand higher up, or with its parent. Its children must have known sizes.
std::uint64_t EndOfUnknown(Input& in, const Element& element, std::uint64_t parentEnd) {
  std::uint64_t at = element.dataStart;
  while (at < parentEnd) {
    const Element child = ReadChild(in, at, parentEnd);
    if (IsUpperLevel(child.id)) return at;
    if (!child.dataEnd) Damaged();
    at = *child.dataEnd;
  }
  return parentEnd;
}

// The document type is "matroska" (the default) or "webm"; anything else is
// another EBML format.
void CheckDocType(Input& in, const Element& header) {
  if (!header.dataEnd) Damaged();
  for (std::uint64_t at = header.dataStart; at < *header.dataEnd;) {
    const Element child = ReadChild(in, at, *header.dataEnd);
    if (!child.dataEnd) Damaged();
    if (child.id == kDocType) {
      std::array<std::uint8_t, 8> bytes{};
      if (child.DataLength() > bytes.size()) Fail(MediaError::UnsupportedFormat);
      const auto text = std::span(bytes).first(static_cast<std::size_t>(child.DataLength()));
      in.Read(child.dataStart, text);
      // Strings may be padded with zero bytes.
      std::string_view type(reinterpret_cast<const char*>(text.data()), text.size());
      type = type.substr(0, type.find('\0'));
      if (type != "matroska" && type != "webm") Fail(MediaError::UnsupportedFormat);
      return;
    }
    at = *child.dataEnd;
  }
}

double ReadFloat(Input& in, const Element& element) {
  std::array<std::uint8_t, 8> bytes{};
  if (element.DataLength() == 4) {
    in.Read(element.dataStart, std::span(bytes).first(4));
    return std::bit_cast<float>(Be32(bytes, 0));
  }
  if (element.DataLength() == 8) {
    in.Read(element.dataStart, bytes);
    return std::bit_cast<double>(Be64(bytes, 0));
  }
  Damaged();
}

// The segment information; one of unknown size runs to the next upper-level id.
Duration ReadInfo(Input& in, const Element& info, std::uint64_t segmentEnd) {
  const std::uint64_t end = info.dataEnd ? *info.dataEnd : segmentEnd;
  std::uint64_t timecodeScale = 1'000'000;  // nanoseconds per unit
  std::optional<double> duration;
  for (std::uint64_t at = info.dataStart; at < end;) {
    const Element child = ReadChild(in, at, end);
    if (!info.dataEnd && IsUpperLevel(child.id)) break;
    if (!child.dataEnd) Damaged();
    if (child.id == kTimecodeScale) {
      std::array<std::uint8_t, 8> bytes{};
      if (child.DataLength() > bytes.size()) Damaged();
      const auto length = static_cast<std::size_t>(child.DataLength());
      in.Read(child.dataStart, std::span(bytes).first(length));
      timecodeScale = BeN(bytes, 0, length);
    } else if (child.id == kDuration) {
      duration = ReadFloat(in, child);
    }
    at = *child.dataEnd;
  }
  if (!duration || timecodeScale == 0) Damaged();
  return FloatDuration(*duration, timecodeScale);
}

Duration ReadSegment(Input& in, const Element& segment) {
  const std::uint64_t end = segment.dataEnd ? *segment.dataEnd : in.Size();
  for (std::uint64_t at = segment.dataStart; at < end;) {
    const Element child = ReadChild(in, at, end);
    if (child.id == kInfo) return ReadInfo(in, child, end);
    at = child.dataEnd ? *child.dataEnd : EndOfUnknown(in, child, end);
  }
  Damaged();
}

}  // namespace

Duration ReadMatroska(Input& in) {
  const std::uint64_t end = in.Size();
  const Element header = ParseElement(in.Header(0, kMaxElementHeader), 0, end);
  CheckDocType(in, header);
  // Top-level elements up to the Segment, a header each.
  for (std::uint64_t at = *header.dataEnd; at < end;) {
    const Element element = ParseElement(in.Header(at, kMaxElementHeader), at, end);
    if (element.id == kSegment) return ReadSegment(in, element);
    if (!element.dataEnd) Damaged();
    at = *element.dataEnd;
  }
  Damaged();
}

}  // namespace tw::media::detail
