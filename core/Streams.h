// Byte streams: the abstract stream, a read-only view over a memory block, the
// growable memory stream and the read-only stream over a raw-data resource of
// the program (a form resource, for one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/Object.h"

namespace tw {

enum TSeekOrigin : std::uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
  TW_CLASS(TStream, TObject)

 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Transfer up to count bytes at the position and advance it; the result is
  // the number of bytes transferred, which may be fewer (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Moves the position relative to the origin and returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
  // The default measures by seeking to the end and back.
  virtual std::int64_t Size();
  // Changes the size; a stream that cannot be resized raises EStreamError.
  virtual void SetSize(std::int64_t newSize);

  // Exactly count bytes or an error: EReadError / EWriteError when fewer were
  // transferred (the position has moved past those that were).
  void ReadBuffer(void* buffer, std::size_t count);
  void WriteBuffer(const void* buffer, std::size_t count);
};

// A read-only stream over a block of memory that it does not own. The position
// may be set anywhere, also outside the block; reading there gives nothing.
class TCustomMemoryStream : public TStream {
  TW_CLASS(TCustomMemoryStream, TStream)

 public:
  TCustomMemoryStream() = default;
  explicit TCustomMemoryStream(std::span<const std::uint8_t> block) { SetBlock(block.data(), block.size()); }

  // Copies min(count, size - position) bytes.
  std::size_t Read(void* buffer, std::size_t count) override;
  // The block is not ours to change: nothing is written (WriteBuffer raises).
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Positions past the largest 64-bit value stop there.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

  const std::uint8_t* Memory() const { return memory_; }

 protected:
  void SetBlock(const std::uint8_t* memory, std::size_t size) {
    memory_ = memory;
    size_ = size;
  }
  std::size_t BlockSize() const { return size_; }
  std::int64_t CurrentPosition() const { return position_; }
  void MoveTo(std::int64_t position) { position_ = position; }

 private:
  const std::uint8_t* memory_ = nullptr;
  std::size_t size_ = 0;
  std::int64_t position_ = 0;
};

// A memory stream that owns its block and grows as it is written. Writing past
// the end fills the gap with zero bytes.
class TMemoryStream : public TCustomMemoryStream {
  TW_CLASS(TMemoryStream, TCustomMemoryStream)

 public:
  TMemoryStream() = default;

  std::size_t Write(const void* buffer, std::size_t count) override;
  // Growing adds zero bytes; shrinking below the position moves the position
  // to the new end. Memory exhaustion raises EOutOfMemory.
  void SetSize(std::int64_t newSize) override;
  // Size 0, position 0, memory released.
  void Clear();

  std::uint8_t* Memory() { return data_.data(); }
  using TCustomMemoryStream::Memory;

 private:
  void Resize(std::size_t newSize);

  std::vector<std::uint8_t> data_;
};

// The bytes of the program's raw-data resource (type 10) of a name, looked up
// without regard to letter case; read-only.
class TResourceStream : public TCustomMemoryStream {
  TW_CLASS(TResourceStream, TCustomMemoryStream)

 public:
  // Raises EResNotFound (msg::ResNotFound, with the name) when the
  // program has no such resource.
  explicit TResourceStream(std::string_view resourceName);

  // Both raise EStreamError: a resource cannot be changed.
  std::size_t Write(const void* buffer, std::size_t count) override;
  void SetSize(std::int64_t newSize) override;
};

}  // namespace tw
