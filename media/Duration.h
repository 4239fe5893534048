// The running time of a video file, read from its container's own header.
//
// Formats, told apart by their content and never by the file's name:
// - AVI: the longest of the video and audio streams that record a length,
//   scale and rate (length × scale ÷ rate, compared exactly): the audio may
//   outlast the video, and a file may hold audio alone; else the OpenDML
//   extended header's total frame count × the main header's frame duration;
//   else the main header's frame count × frame duration.
// - MP4 / MOV / 3GP / M4V: the movie header's duration ÷ its time scale,
//   wherever the movie box stands; the first box may also be a uuid or junk
//   atom that a box of the format follows. A fragmented file (one with movie
//   fragments) takes the movie-extends header's fragment duration where it is
//   not zero (its movie header covers at most the samples before the first
//   fragment); else the fragments' own records, the longest track winning,
//   each in its own time scale: a segment index (the first or the last) whose
//   references end where the last fragment's media data ends, as its earliest
//   time plus their durations; the last fragment, and each track's last
//   fragment with a sync sample in the random-access table, as its decode time
//   (else the table's time for that sample, less its composition offset and
//   the samples before it) plus its samples' durations. Cut short, it is
//   Damaged as any MP4 where a box runs past the end, and also where the last
//   fragment has no media data after it or a segment index refers past the
//   end; a cut just after a fragment's media data leaves a file that looks
//   complete and runs to that fragment's end. After the last whole box, fewer
//   bytes than a box header, or a header of a type no file holds at its top
//   level (a tag appended to the file), are ignored.
// - Matroska / WebM: the segment information's duration × timecode scale;
//   the segment and its top elements may be of unknown size. A SeekHead met
//   before the information that lists it leads there (past any number of
//   clusters); one that lists it where it is not makes the file Damaged.
// - ASF / WMV: the file properties' play duration minus the preroll.
// - FLV: the "duration" of the onMetaData script data; a value after it that
//   cannot be read ends the metadata and the duration stands. Other scripts,
//   empty ones too, are passed.
// A running time that is missing, zero, negative, not a number or longer than
// kMaxMinutes makes the file Damaged, and so does a file cut short: every
// top-level structure of AVI, MP4 and ASF is passed and must lie inside the
// file, MP4 must have media data and ASF its data object, Matroska's segment
// must fit, and FLV must not be shorter than its metadata's "filesize". After
// the last whole top-level structure of AVI and ASF, fewer bytes than a header
// or a structure of a kind that does not stand at the top and is not whole (a
// tag appended to the file) are ignored; a top-level kind there (AVI's RIFF,
// LIST, JUNK, idx1; ASF's header, data and index objects) that runs past the
// end, or shows its id but not its size, was cut short.
//
// Reads are bounded whatever the file's size: at most kReadBudget bytes plus
// one header (at most kMaxHeaderBytes) per top-level box, chunk or element.
// Every length and offset is checked against the file's size before use; all
// sizes and offsets are 64-bit in every build.
//
// The one call for the window and the command line:
//
//   auto facts = tw::media::ReadMinutesAndSize(path);
//   if (!facts) Report(facts.Error(), path);   // the message for that kind
//   else Use(facts->minutes, tw::media::MegabytesRoundedUp(facts->bytes));
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "media/FilePath.h"

namespace tw::media {

enum class MediaError : std::uint8_t {
  CannotOpen,         // missing or no permission
  NotAFile,           // a folder, or anything else that is not a regular file
  UnsupportedFormat,  // none of the formats above
  Damaged,            // a known format whose header is damaged or records no usable running time
  ReadFailed,         // opened, but reading it failed part way (a disk error, a network drive gone)
};

// The reason's name as spelled above ("Damaged"), for reports and tests.
const char* NameOf(MediaError error);

// A value of T, or the reason there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(MediaError error) : error_(error) {}

  explicit operator bool() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // Meaningful only when there is no value.
  MediaError Error() const { return error_; }

 private:
  std::optional<T> value_;
  MediaError error_ = MediaError::Damaged;
};

// ticks ÷ ticksPerSecond seconds. Kept in the container's own units where it
// counts in integers (an MP4 time scale, an AVI rate, 100 ns for ASF), so that
// rounding to whole minutes is exact. Matroska and FLV record a binary
// floating-point number: that is kept as whole nanoseconds rounded up (whole
// microseconds past 2^64 ns), which rounds up to the same whole minutes.
struct Duration {
  std::uint64_t ticks = 0;
  std::uint64_t ticksPerSecond = 1;

  friend bool operator==(const Duration&, const Duration&) = default;
};

// The longest running time accepted, in minutes: 2^31 − 1.
inline constexpr std::uint64_t kMaxMinutes = 2147483647;
// What a reading may take beyond the top-level headers.
inline constexpr std::uint64_t kReadBudget = 64 * 1024;
// The largest top-level header read (an ASF object's).
inline constexpr std::uint64_t kMaxHeaderBytes = 24;
// A container of a million top-level structures before its running time is
// no film header: the walk stops there and the file counts as Damaged. So no
// reading takes more than kReadBudget + kMaxTopLevelHeaders × kMaxHeaderBytes
// bytes (24,065,536), whatever the file's size; a real file takes hundreds.
inline constexpr std::uint64_t kMaxTopLevelHeaders = 1'000'000;

// Whole minutes, rounded up, exactly: 7,200 s gives 120 and 7,200.001 s 121.
// (0 for a duration of no ticks per second, which no reading gives.)
std::uint64_t WholeMinutesRoundedUp(Duration duration);

// Whole megabytes of 1,048,576 bytes, rounded up.
std::uint64_t MegabytesRoundedUp(std::uint64_t bytes);

// Bytes at offsets of a source of known size. Counts the bytes it delivers.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  std::uint64_t Size() const { return size_; }
  // Copies the bytes at offset into buffer; fewer (none too) only past the
  // end of the source or when reading fails.
  std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> buffer);
  std::uint64_t BytesRead() const { return bytesRead_; }

 protected:
  explicit ByteSource(std::uint64_t size) : size_(size) {}
  // Called with offset + buffer.size() ≤ Size() and a non-empty buffer.
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;

 private:
  std::uint64_t size_;
  std::uint64_t bytesRead_ = 0;
};

// A block of memory that the source does not own.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : ByteSource(bytes.size()), bytes_(bytes) {}
  // The bytes must outlive the source.
  explicit MemorySource(std::vector<std::uint8_t>&&) = delete;

 protected:
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// A regular file, read through the platform's own file functions (the wide
// ones on Windows). Each read asks the system for exactly the bytes wanted, so
// that what is counted is what is read.
class FileSource final : public ByteSource {
 public:
  // The open file, or CannotOpen (missing, no permission) or NotAFile (a
  // folder, a device, a pipe: nothing is read from those).
  static Result<std::unique_ptr<FileSource>> Open(const FilePath& path);
  ~FileSource() override;

 protected:
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;

 private:
  // handle: the platform's (a HANDLE on Windows, a descriptor elsewhere).
  FileSource(std::intptr_t handle, std::uint64_t size) : ByteSource(size), handle_(handle) {}

  std::intptr_t handle_;
};

// The running time recorded in the source's container header.
Result<Duration> ReadDuration(ByteSource& source);

struct FileFacts {
  std::uint64_t minutes = 0;    // the running time in whole minutes, rounded up
  std::uint64_t bytes = 0;      // the file's size
  std::uint64_t bytesRead = 0;  // what finding the running time read
};

// Opens the file and reads its running time: the window and the command line
// both take their numbers from here.
Result<FileFacts> ReadMinutesAndSize(const FilePath& path);

// The size of any regular file, whatever it holds: CannotOpen or NotAFile as
// for ReadMinutesAndSize, and nothing is read.
Result<std::uint64_t> ReadFileSize(const FilePath& path);

}  // namespace tw::media
