// The compiled-in message table of the native build (the Windows build reads the
// same entries from its string resources).
#pragma once

#include <cstddef>

namespace tw {

struct MessageTableEntry {
  unsigned short id;
  const char* text;  // code page 932
};

extern const MessageTableEntry kMessageTable[];
extern const std::size_t kMessageTableSize;

}  // namespace tw
