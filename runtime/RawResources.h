// The compiled-in raw-data resources of the native build (the Windows build has
// them as RCDATA resources of the module).
#pragma once

#include <cstddef>

namespace tw {

struct RawResourceEntry {
  const char* name;
  unsigned short language;  // the platform's language id (0x0411, 0x0409)
  const unsigned char* data;
  std::size_t size;
};

// Ends with an entry whose name is null.
extern const RawResourceEntry kRawResources[];

}  // namespace tw
