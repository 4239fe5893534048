// Automatic accelerators for the entries of one submenu: each entry gets a
// character of its own from "1" ... "9", "0", "A" ... "Z" where its caption
// has one, and accelerators that are already unique stay as they are.
#pragma once

#include <string>
#include <vector>

namespace tw {

struct THotkeyCaption {
  int index = 0;  // the entry's position among its siblings
  std::string caption;
};

// Takes the captions of the entries that join in (visible, neither empty nor
// a separator) and answers those it gave a caption, each with that caption,
// which may be the old one. On a double-byte system an accelerator that is
// added to a caption holding a double-byte character is "(&X)" at its end
// (or before a final "..."), and a repeated one is taken out with its
// brackets.
std::vector<THotkeyCaption> AssignHotkeys(const std::vector<THotkeyCaption>& captions, bool doubleByte);

}  // namespace tw
