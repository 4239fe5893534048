// Files through POSIX: stat to refuse what is not a regular file before
// opening it (opening a pipe could block), pread for reads at any offset.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "media/Duration.h"

namespace tw::media {

static_assert(sizeof(off_t) >= 8, "offsets past 4 GiB need a 64-bit file offset");

Result<std::unique_ptr<FileSource>> FileSource::Open(const FilePath& path) {
  struct stat status {};
  if (::stat(path.Native().c_str(), &status) != 0) return MediaError::CannotOpen;
  if (!S_ISREG(status.st_mode)) return MediaError::NotAFile;
  // Not blocking, in case a pipe took the name's place since stat.
  const int descriptor = ::open(path.Native().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return MediaError::CannotOpen;
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return MediaError::NotAFile;
  }
  return std::unique_ptr<FileSource>(new FileSource(descriptor, static_cast<std::uint64_t>(status.st_size)));
}

FileSource::~FileSource() { ::close(static_cast<int>(handle_)); }

namespace {

// Emscripten's C library (3.1) passes pread only the offset's low word, as a
// signed number, so a file would be misread from 2 GiB on; a seek and a read
// take the whole offset.
ssize_t ReadAtOffset(int descriptor, std::uint8_t* into, std::size_t length, std::uint64_t offset) {
#ifdef __EMSCRIPTEN__
  if (::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) < 0) return -1;
  return ::read(descriptor, into, length);
#else
  return ::pread(descriptor, into, length, static_cast<off_t>(offset));
#endif
}

}  // namespace

std::size_t FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got =
        ReadAtOffset(static_cast<int>(handle_), buffer.data() + done, buffer.size() - done, offset + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

}  // namespace tw::media
