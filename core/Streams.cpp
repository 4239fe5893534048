#include "core/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "runtime/Exceptions.h"
#include "runtime/Platform.h"

namespace tw {

namespace {

constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinPosition = std::numeric_limits<std::int64_t>::min();

// base + offset, held at the ends of the 64-bit range instead of wrapping.
std::int64_t Advance(std::int64_t base, std::int64_t offset) {
  if (offset > 0 && base > kMaxPosition - offset) return kMaxPosition;
  if (offset < 0 && base < kMinPosition - offset) return kMinPosition;
  return base + offset;
}

}  // namespace

// ---- TStream -------------------------------------------------------------------

std::int64_t TStream::Size() {
  const std::int64_t position = Seek(0, soCurrent);
  const std::int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError(msg::WriteError); }

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(msg::ReadError);
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(msg::WriteError);
}

// ---- TCustomMemoryStream ---------------------------------------------------------

std::size_t TCustomMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ < 0 || static_cast<std::uint64_t>(position_) >= size_) return 0;
  const std::size_t at = static_cast<std::size_t>(position_);
  const std::size_t n = std::min(count, size_ - at);
  if (n == 0) return 0;
  std::memcpy(buffer, memory_ + at, n);
  position_ += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TCustomMemoryStream::Write(const void*, std::size_t) { return 0; }

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ = Advance(position_, offset); break;
    case soEnd: position_ = Advance(static_cast<std::int64_t>(size_), offset); break;
  }
  return position_;
}

// ---- TMemoryStream ---------------------------------------------------------------

void TMemoryStream::Resize(std::size_t newSize) {
  try {
    data_.resize(newSize);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  } catch (const std::length_error&) {
    RaiseOutOfMemory();
  }
  SetBlock(data_.data(), data_.size());
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  const std::int64_t position = CurrentPosition();
  if (position < 0 || count == 0) return 0;
  // The end must be addressable on this machine; a block that large cannot be
  // had anyway.
  if (static_cast<std::uint64_t>(position) > std::numeric_limits<std::size_t>::max() - count) RaiseOutOfMemory();
  const std::size_t at = static_cast<std::size_t>(position);
  const std::size_t end = at + count;
  if (end > data_.size()) Resize(end);
  std::memcpy(data_.data() + at, buffer, count);
  MoveTo(static_cast<std::int64_t>(end));
  return count;
}

void TMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) throw EStreamError(msg::WriteError);
  if (static_cast<std::uint64_t>(newSize) > std::numeric_limits<std::size_t>::max()) RaiseOutOfMemory();
  Resize(static_cast<std::size_t>(newSize));
  if (CurrentPosition() > newSize) MoveTo(newSize);
}

void TMemoryStream::Clear() {
  std::vector<std::uint8_t>().swap(data_);
  SetBlock(nullptr, 0);
  MoveTo(0);
}

// ---- TResourceStream -------------------------------------------------------------

TResourceStream::TResourceStream(std::string_view resourceName) {
  // A name with a zero byte would be cut there by the platform and could find
  // a different resource.
  std::optional<std::span<const std::uint8_t>> bytes;
  if (resourceName.find('\0') == std::string_view::npos) bytes = platform::FindRawResource(resourceName);
  if (!bytes) throw EResNotFound(msg::ResNotFound, {resourceName});
  SetBlock(bytes->data(), bytes->size());
}

std::size_t TResourceStream::Write(const void*, std::size_t) { throw EStreamError(msg::CantWriteResourceStream); }

void TResourceStream::SetSize(std::int64_t) { throw EStreamError(msg::CantWriteResourceStream); }

}  // namespace tw
