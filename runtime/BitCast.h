// The value of type To with the same bits as from: std::bit_cast, which not
// every standard library the portable layers are built with has yet.
#pragma once

#include <cstring>

namespace tw {

template <class To, class From>
To BitCast(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

}  // namespace tw
