// What the container readers share: checked, bounded reads and byte decoding.
// Internal to media/.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "media/Duration.h"

namespace tw::media::detail {

// Where one structure of a container lies: its header from start, its content
// from contentStart to end. Every reader's boxes, chunks, elements and objects
// are an extent and a type.
struct Extent {
  std::uint64_t start = 0;
  std::uint64_t contentStart = 0;
  std::uint64_t end = 0;
};

// Where a child walk is: at the top of the file, whose headers are read free
// of the budget (one per structure), or inside a structure, where they are
// charged.
enum class Level { Top, Nested };

// Raised by a reader that cannot go on; ReadDuration turns it into the result.
struct Failure {
  MediaError kind;
};

[[noreturn]] inline void Fail(MediaError kind) { throw Failure{kind}; }
[[noreturn]] inline void Damaged() { Fail(MediaError::Damaged); }

// The source with the read bound enforced. A top-level header is read free of
// the budget (one per top-level structure); everything else is charged to it,
// and a read that would exceed it fails as Damaged: a running time that
// cannot be found within the bound counts as not recorded.
class Input {
 public:
  explicit Input(ByteSource& source) : source_(source), size_(source.Size()) {}

  std::uint64_t Size() const { return size_; }
  std::uint64_t BudgetLeft() const { return kReadBudget - charged_; }

  // Up to count (≤ kMaxHeaderBytes) bytes at offset, fewer where the source
  // ends first. The file's first header is read once however often asked for.
  std::span<const std::uint8_t> Header(std::uint64_t offset, std::size_t count);
  // Exactly into.size() bytes at offset, charged; Damaged past the end.
  void Read(std::uint64_t offset, std::span<std::uint8_t> into);
  // Up to count bytes at offset, charged; fewer where the source ends first.
  std::span<const std::uint8_t> ReadUpTo(std::uint64_t offset, std::span<std::uint8_t> into);

 private:
  void Fetch(std::uint64_t offset, std::span<std::uint8_t> into);

  ByteSource& source_;
  std::uint64_t size_;
  std::uint64_t charged_ = 0;
  std::uint64_t headers_ = 0;
  std::array<std::uint8_t, kMaxHeaderBytes> header_{};
  std::array<std::uint8_t, kMaxHeaderBytes> first_{};
  std::size_t firstSize_ = 0;
  bool haveFirst_ = false;
};

// a runs longer than b, exactly, for any tick counts and rates.
bool Longer(const Duration& a, const Duration& b);

// end − start where start ≤ end; Damaged otherwise.
std::uint64_t Span(std::uint64_t start, std::uint64_t end);
// start + length where it stays within limit; Damaged otherwise.
std::uint64_t EndWithin(std::uint64_t start, std::uint64_t length, std::uint64_t limit);

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint64_t Le64(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint16_t Be16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t Be24(std::span<const std::uint8_t> bytes, std::size_t at);
// The value of type To with the same bits as from: std::bit_cast, which not
// every standard library the readers are built with has yet.
template <class To, class From>
To BitCast(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

std::uint32_t Be32(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint64_t Be64(std::span<const std::uint8_t> bytes, std::size_t at);
// count (≤ 8) bytes, most significant first.
std::uint64_t BeN(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count);
// The four bytes at 'at' are the text of code.
bool HasCode(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view code);

// value × unitNanoseconds nanoseconds, rounded up to a whole nanosecond
// (microsecond when nanoseconds overflow). Damaged for a value that is not a
// positive finite number, or a result beyond every representable count.
Duration FloatDuration(double value, std::uint64_t unitNanoseconds);

// The GUID an ASF file opens with: its signature, and its first object's type.
inline constexpr std::array<std::uint8_t, 16> kAsfHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                                  0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

// The readers, each called once the first bytes have shown its format.
Duration ReadAvi(Input& in);
Duration ReadIsoMedia(Input& in);
Duration ReadMatroska(Input& in);
Duration ReadAsf(Input& in);
Duration ReadFlv(Input& in);

}  // namespace tw::media::detail
