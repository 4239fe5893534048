// Files through the wide file functions, so that any name opens whatever the
// process's code page. Reads give their offset with each call: no shared file
// position to seek.
#include <windows.h>

#include <algorithm>

#include "media/Duration.h"

namespace tw::media {

Result<std::unique_ptr<FileSource>> FileSource::Open(const FilePath& path) {
  const DWORD attributes = GetFileAttributesW(path.Native().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return MediaError::CannotOpen;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return MediaError::NotAFile;
  // Others may go on writing or renaming it: the reading takes a moment only.
  HANDLE file = CreateFileW(path.Native().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return MediaError::CannotOpen;
  // A device ("NUL", "CON") or a pipe opens too: nothing is read from those.
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return MediaError::NotAFile;
  }
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    CloseHandle(file);
    return MediaError::CannotOpen;
  }
  return std::unique_ptr<FileSource>(
      new FileSource(reinterpret_cast<std::intptr_t>(file), static_cast<std::uint64_t>(size.QuadPart)));
}

FileSource::~FileSource() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

std::size_t FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const std::uint64_t position = offset + done;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer.data() + done, want, &got, &at) || got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace tw::media
