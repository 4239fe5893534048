// A file's name in the platform's own form: UTF-16 on Windows, so that a name
// outside every code page still opens; the bytes the system gave elsewhere.
// The project's own type rather than the standard library's path, whose
// stream and locale machinery would double the size of the window program.
#pragma once

#include <concepts>
#include <string>
#include <utility>

namespace tw::media {

class FilePath {
 public:
#ifdef _WIN32
  using String = std::wstring;
#else
  using String = std::string;
#endif

  FilePath() = default;
  explicit FilePath(String native) : native_(std::move(native)) {}
  // Any path type that gives its name in the same form (a standard library
  // path does) converts, without this header naming it.
  template <typename Path>
  requires requires(const Path& path) {
    { path.native() } -> std::convertible_to<const String&>;
  }
  FilePath(const Path& path) : native_(path.native()) {}

  const String& Native() const { return native_; }

 private:
  String native_;
};

}  // namespace tw::media
