// FLV: a 9-byte file header (signature, version, flags, the offset of the
// body), then tags, each after the 32-bit size of the one before it. A tag is
// an 11-byte header (type, 24-bit data size, time stamp, stream id) and data.
// A script tag (type 18) holds AMF0 values: the name "onMetaData", then an
// object or associative array whose "duration" is a number of seconds.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "media/Input.h"

namespace tw::media::detail {

namespace {

constexpr std::uint64_t kFileHeader = 9;
constexpr std::uint64_t kTagHeader = 11;
constexpr std::uint8_t kScriptTag = 18;
constexpr std::uint8_t kEncryptedTag = 0x20;

// AMF0 value markers.
enum : std::uint8_t {
  kNumber = 0x00,
  kBoolean = 0x01,
  kString = 0x02,
  kObject = 0x03,
  kNull = 0x05,
  kUndefined = 0x06,
  kReference = 0x07,
  kEcmaArray = 0x08,
  kObjectEnd = 0x09,
  kStrictArray = 0x0A,
  kDate = 0x0B,
  kLongString = 0x0C,
  kUnsupported = 0x0D,
  kXmlDocument = 0x0F,
  kTypedObject = 0x10,
};

// Thrown where the script data ends before the value does.
struct OutOfData {};
// Thrown at a value that cannot be read: of an unknown kind, or nested too deep.
struct Unreadable {};

class Amf {
 public:
  explicit Amf(std::span<const std::uint8_t> data) : data_(data) {}

  std::uint8_t Byte() { return Take(1)[0]; }
  std::uint8_t PeekByte() {
    if (at_ >= data_.size()) throw OutOfData{};
    return data_[at_];
  }
  double Number() { return BitCast<double>(Be64(Take(8), 0)); }
  std::string_view ShortString() {
    const std::uint16_t length = Be16(Take(2), 0);
    const auto text = Take(length);
    return {reinterpret_cast<const char*>(text.data()), text.size()};
  }
  void Skip(std::uint64_t count) { Take(count); }

  // A property name, or nothing at the end marker (an empty name, 0x09).
  std::optional<std::string_view> PropertyName() {
    const std::string_view name = ShortString();
    if (name.empty() && PeekByte() == kObjectEnd) {
      Skip(1);
      return std::nullopt;
    }
    return name;
  }

  void SkipValue(int depth) {
    if (depth > kMaxDepth) throw Unreadable{};
    switch (Byte()) {
      case kNumber: Skip(8); break;
      case kBoolean: Skip(1); break;
      case kString: ShortString(); break;
      case kNull:
      case kUndefined:
      case kUnsupported: break;
      case kReference: Skip(2); break;
      case kDate: Skip(10); break;
      case kLongString:
      case kXmlDocument: Skip(Be32(Take(4), 0)); break;
      case kTypedObject:
        ShortString();
        SkipProperties(depth);
        break;
      case kEcmaArray:
        Skip(4);
        SkipProperties(depth);
        break;
      case kObject: SkipProperties(depth); break;
      case kStrictArray: {
        // Every value takes at least its marker byte: a count past the data
        // runs out of data before it could loop for long.
        for (std::uint32_t n = Be32(Take(4), 0); n > 0; --n) SkipValue(depth + 1);
        break;
      }
      default: throw Unreadable{};  // a movie clip, a record set, AMF3: not in metadata
    }
  }

 private:
  static constexpr int kMaxDepth = 32;

  void SkipProperties(int depth) {
    while (PropertyName()) SkipValue(depth + 1);
  }

  std::span<const std::uint8_t> Take(std::uint64_t count) {
    if (count > data_.size() - at_) throw OutOfData{};
    const auto taken = data_.subspan(at_, static_cast<std::size_t>(count));
    at_ += static_cast<std::size_t>(count);
    return taken;
  }

  std::span<const std::uint8_t> data_;
  std::size_t at_ = 0;
};

struct MetaData {
  std::optional<double> duration;
  std::optional<double> fileSize;
};

// The metadata of a script tag, or nothing when it is another script (one too
// short for the name too).
std::optional<MetaData> ParseScript(std::span<const std::uint8_t> data) {
  Amf amf(data);
  try {
    if (amf.Byte() != kString || amf.ShortString() != "onMetaData") return std::nullopt;
  } catch (const OutOfData&) {
    return std::nullopt;
  }
  MetaData meta;
  try {
    const std::uint8_t marker = amf.Byte();
    if (marker == kEcmaArray) {
      amf.Skip(4);  // a count that writers do not all keep: the end marker counts
    } else if (marker != kObject) {
      Damaged();
    }
    while (const auto name = amf.PropertyName()) {
      const bool isDuration = *name == "duration", isFileSize = *name == "filesize";
      if ((isDuration || isFileSize) && amf.PeekByte() == kNumber) {
        amf.Byte();
        (isDuration ? meta.duration : meta.fileSize) = amf.Number();
      } else {
        if (isDuration) Damaged();  // a duration that is not a number
        amf.SkipValue(0);
      }
    }
  } catch (const OutOfData&) {
    // Metadata cut short (by the tag or the read bound) keeps what came before.
  } catch (const Unreadable&) {
    // So does metadata with a value that cannot be read: it ends there.
  }
  return meta;
}

// A tag: its header from the extent's start, its data from contentStart.
struct Tag {
  Extent extent;
  std::uint8_t type = 0;  // with the filter flag
};

// The tags of the body at bodyOffset in order, each header read and charged,
// until visit returns true; fewer bytes than a header at the end are ignored.
// Each tag follows the size of the one before it (none before the first).
template <typename Visit>
void ForEachTag(Input& in, std::uint64_t bodyOffset, Visit visit) {
  const std::uint64_t end = in.Size();
  for (std::uint64_t at = EndWithin(bodyOffset, 4, end); end - at >= kTagHeader;) {
    std::array<std::uint8_t, kTagHeader> header{};
    in.Read(at, header);
    const std::uint64_t dataStart = at + kTagHeader;
    const Tag tag{{at, dataStart, EndWithin(dataStart, Be24(header, 1), end)}, header[0]};
    if (visit(tag)) return;
    at = end - tag.extent.end < 4 ? end : tag.extent.end + 4;
  }
}

}  // namespace

Duration ReadFlv(Input& in) {
  const std::uint64_t end = in.Size();
  const auto header = in.Header(0, kFileHeader);
  if (header.size() < kFileHeader) Damaged();
  const std::uint32_t bodyOffset = Be32(header, 5);
  if (bodyOffset < kFileHeader) Damaged();
  std::optional<Duration> duration;
  ForEachTag(in, bodyOffset, [&](const Tag& tag) {
    if ((tag.type & 0x1F) != kScriptTag || (tag.type & kEncryptedTag) != 0) return false;
    const Extent& where = tag.extent;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(std::min(where.end - where.contentStart, in.BudgetLeft())));
    in.Read(where.contentStart, data);
    const std::optional<MetaData> meta = ParseScript(data);
    if (!meta) return false;
    if (!meta->duration) Damaged();
    // A file shorter than its metadata says was cut short.
    if (meta->fileSize && std::isfinite(*meta->fileSize) && *meta->fileSize > static_cast<double>(end)) Damaged();
    duration = FloatDuration(*meta->duration, 1'000'000'000);
    return true;
  });
  if (!duration) Damaged();
  return *duration;
}

}  // namespace tw::media::detail
