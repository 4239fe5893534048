// The compiled-in message table of the native build (the Windows build reads the
// same entries from its string resources).
#pragma once

#include <cstddef>

namespace tw {

struct MessageTableEntry {
  unsigned short id;
  const char* text;  // code page 932
};

// The Japanese table and the English one, each sorted by id.
extern const MessageTableEntry kMessageTable[];
extern const std::size_t kMessageTableSize;
extern const MessageTableEntry kMessageTableEnglish[];
extern const std::size_t kMessageTableEnglishSize;

}  // namespace tw
