// Matroska and WebM: EBML elements. An element is an id (1 to 4 bytes, its
// length marker kept), a size (1 to 8 bytes, its marker removed; all value bits
// set means "unknown") and its data. The file is an EBML header naming the
// document type, then the Segment; the Segment's children (level 1) include
// the segment information 'Info' with the timecode scale and the duration, and
// the SeekHead, whose Seek entries give where other level-1 elements stand.
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
constexpr std::uint32_t kSeekHead = 0x114D9B74;
constexpr std::uint32_t kSeek = 0x4DBB;
constexpr std::uint32_t kSeekId = 0x53AB;
constexpr std::uint32_t kSeekPosition = 0x53AC;
constexpr std::uint32_t kInfo = 0x1549A966;
constexpr std::uint32_t kTimecodeScale = 0x2AD7B1;
constexpr std::uint32_t kDuration = 0x4489;
// No element has the id 0: it stands for the file itself, the parent of the
// top level.
constexpr std::uint32_t kFile = 0;

// The ids that can only stand at the top or directly in the Segment: one of
// them ends an element of unknown size.
bool IsUpperLevel(std::uint32_t id) {
  switch (id) {
    case kEbmlHeader:
    case kSegment:
    case kSeekHead:
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

// An element of unknown size ends, until its children show otherwise, where
// its parent does.
struct Element {
  Extent extent;
  std::uint32_t id = 0;
  bool sizeKnown = true;

  std::uint64_t DataLength() const { return extent.end - extent.contentStart; }
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
  const std::uint64_t dataStart = EndWithin(start, idLength + sizeLength, parentEnd);
  const std::uint64_t marker = std::uint64_t{1} << (7 * sizeLength);
  const std::uint64_t size = BeN(bytes, idLength, sizeLength) & (marker - 1);
  element.sizeKnown = size != marker - 1;
  element.extent = {start, dataStart, element.sizeKnown ? EndWithin(dataStart, size, parentEnd) : parentEnd};
  return element;
}

// An element below the top, its header read and charged.
Element ReadElement(Input& in, std::uint64_t start, std::uint64_t parentEnd) {
  std::array<std::uint8_t, kMaxElementHeader> bytes{};
  const std::uint64_t room = Span(start, parentEnd);
  const auto count = static_cast<std::size_t>(room < bytes.size() ? room : bytes.size());
  return ParseElement(in.ReadUpTo(start, std::span(bytes).first(count)), start, parentEnd);
}

// A visit that passes every element: a walk of an element's children only to
// find where it ends.
constexpr auto kPassAll = [](const Element&) { return false; };

// The children of parent in order, until visit returns true; returns where the
// walk ended. The top level's headers (the file's children) are read free of
// the budget, all others charged. Only the Segment and the level-1 elements
// in it may be of unknown size: a level-1 element then ends at its first
// child that can only stand higher up (a walk of its children finds it), the
// Segment with the file.
template <typename Visit>
std::uint64_t ForEachChild(Input& in, const Element& parent, Visit visit) {
  const std::uint64_t end = parent.extent.end;
  const bool endsAtUpperLevel = !parent.sizeKnown && parent.id != kSegment;
  for (std::uint64_t at = parent.extent.contentStart; at < end;) {
    const Element child =
        parent.id == kFile ? ParseElement(in.Header(at, kMaxElementHeader), at, end) : ReadElement(in, at, end);
    if (endsAtUpperLevel && IsUpperLevel(child.id)) return at;
    const bool mayBeUnknown = parent.id == kFile ? child.id == kSegment : parent.id == kSegment && child.id != kSegment;
    if (!child.sizeKnown && !mayBeUnknown) Damaged();
    if (visit(child)) return at;
    if (child.sizeKnown) {
      at = child.extent.end;
    } else if (parent.id == kSegment) {
      at = ForEachChild(in, child, kPassAll);
    } else {
      Damaged();  // a Segment of unknown size runs to the end: nothing follows it
    }
  }
  return end;
}

// An unsigned integer of up to 8 bytes (none: 0).
std::uint64_t ReadUnsigned(Input& in, const Element& element) {
  std::array<std::uint8_t, 8> bytes{};
  if (element.DataLength() > bytes.size()) Damaged();
  const auto length = static_cast<std::size_t>(element.DataLength());
  in.Read(element.extent.contentStart, std::span(bytes).first(length));
  return BeN(bytes, 0, length);
}

// The document type is "matroska" (the default) or "webm"; anything else is
// another EBML format.
void CheckDocType(Input& in, const Element& header) {
  if (!header.sizeKnown) Damaged();
  ForEachChild(in, header, [&](const Element& child) {
    if (child.id != kDocType) return false;
    std::array<std::uint8_t, 8> bytes{};
    if (child.DataLength() > bytes.size()) Fail(MediaError::UnsupportedFormat);
    const auto text = std::span(bytes).first(static_cast<std::size_t>(child.DataLength()));
    in.Read(child.extent.contentStart, text);
    // Strings may be padded with zero bytes.
    std::string_view type(reinterpret_cast<const char*>(text.data()), text.size());
    type = type.substr(0, type.find('\0'));
    if (type != "matroska" && type != "webm") Fail(MediaError::UnsupportedFormat);
    return true;
  });
}

double ReadFloat(Input& in, const Element& element) {
  std::array<std::uint8_t, 8> bytes{};
  if (element.DataLength() == 4) {
    in.Read(element.extent.contentStart, std::span(bytes).first(4));
    return BitCast<float>(Be32(bytes, 0));
  }
  if (element.DataLength() == 8) {
    in.Read(element.extent.contentStart, bytes);
    return BitCast<double>(Be64(bytes, 0));
  }
  Damaged();
}

// The segment information; one of unknown size runs to the next upper-level id.
Duration ReadInfo(Input& in, const Element& info) {
  std::uint64_t timecodeScale = 1'000'000;  // nanoseconds per unit
  std::optional<double> duration;
  ForEachChild(in, info, [&](const Element& child) {
    if (child.id == kTimecodeScale) {
      timecodeScale = ReadUnsigned(in, child);
    } else if (child.id == kDuration) {
      duration = ReadFloat(in, child);
    }
    return false;
  });
  if (!duration || timecodeScale == 0) Damaged();
  return FloatDuration(*duration, timecodeScale);
}

// Where the SeekHead says the level-1 element of the id begins (its position
// counts from the start of the segment's data); nothing where it does not
// list it.
std::optional<std::uint64_t> FindInSeekHead(Input& in, const Element& seekHead, std::uint32_t id,
                                            const Element& segment) {
  std::optional<std::uint64_t> found;
  ForEachChild(in, seekHead, [&](const Element& seek) {
    if (seek.id != kSeek) return false;
    std::optional<std::uint64_t> seekId, position;
    ForEachChild(in, seek, [&](const Element& field) {
      if (field.id == kSeekId) seekId = ReadUnsigned(in, field);
      if (field.id == kSeekPosition) position = ReadUnsigned(in, field);
      return false;
    });
    if (seekId != id || !position) return false;
    found = EndWithin(segment.extent.contentStart, *position, segment.extent.end);
    return true;
  });
  return found;
}

Duration ReadSegment(Input& in, const Element& segment) {
  std::optional<Duration> duration;
  ForEachChild(in, segment, [&](const Element& child) {
    if (child.id == kInfo) {
      duration = ReadInfo(in, child);
    } else if (child.id == kSeekHead) {
      // The information may stand behind the clusters, thousands of them:
      // the SeekHead leads there without a walk past them.
      const std::optional<std::uint64_t> at = FindInSeekHead(in, child, kInfo, segment);
      if (!at) return false;
      const Element info = ReadElement(in, *at, segment.extent.end);
      if (info.id != kInfo) Damaged();
      duration = ReadInfo(in, info);
    }
    return duration.has_value();
  });
  if (!duration) Damaged();
  return *duration;
}

}  // namespace

Duration ReadMatroska(Input& in) {
  // Top-level elements up to the Segment, a header each.
  std::optional<Duration> duration;
  ForEachChild(in, Element{{0, 0, in.Size()}, kFile, true}, [&](const Element& element) {
    if (element.extent.start == 0) {
      CheckDocType(in, element);
    } else if (element.id == kSegment) {
      duration = ReadSegment(in, element);
    }
    return duration.has_value();
  });
  if (!duration) Damaged();
  return *duration;
}

}  // namespace tw::media::detail
