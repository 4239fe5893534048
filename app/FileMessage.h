// What the window and the command line say about a file whose running time
// cannot be had: one message-table text for each reason, naming the file.
#pragma once

#include <string>

#include "media/Duration.h"
#include "runtime/MessageIds.h"

namespace tw {

// The message-table entry for the reason; its text has one "%s" for the name.
ResId FileErrorMessageId(media::MediaError error);

// The message's text (code page 932) before and after the file's name. The
// name is put in between in whatever form shows it whole: a name outside code
// page 932 must not go through that code page.
struct TTextAroundName {
  std::string before;
  std::string after;
};
TTextAroundName FileErrorText(media::MediaError error);

}  // namespace tw
