// The accelerator rule that buttons, labels, group boxes and menu items share:
// a caption's accelerator is the character after its last single "&". The
// scan steps over both bytes of a double-byte character and over each "&&"
// pair, which stands for a literal "&".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// Where the "&" that marks the caption's accelerator stands; npos when the
// caption marks none (no single "&", or only one at the very end).
std::size_t AcceleratorPosition(std::string_view caption);

// The accelerator character (one byte, or both bytes of a double-byte
// character); empty when the caption has none. A lead byte that ends the
// caption is taken alone: the scan never reads past the caption.
std::string AcceleratorOf(std::string_view caption);

// True when the typed character (as for CharMatches) is the caption's
// accelerator; never for a caption without one.
bool IsAccelerator(std::uint32_t charCode, std::string_view caption);

// True when the typed character equals the one-character text: a code above
// 0xFF is a double-byte character (lead byte in the high byte), compared
// exactly; a single byte is compared without regard to ASCII letter case.
bool CharMatches(std::uint32_t charCode, std::string_view character);

// The caption without its accelerator mark. With bracketGroups (a double-byte
// system) a group "(&X)" is deleted whole, otherwise only the "&" goes. A
// caption without an accelerator comes back unchanged.
std::string StripAccelerator(std::string_view caption, bool bracketGroups);

// The caption as it is drawn: each "&&" one "&", every other "&" gone.
std::string CaptionAsShown(std::string_view caption);

// The length of the character that starts at the position: 2 for a lead byte
// with a byte after it, else 1 (0 at or past the end).
std::size_t CharLengthAt(std::string_view text, std::size_t pos);

// True when the text holds a double-byte character.
bool HasDoubleByteChar(std::string_view text);

}  // namespace tw
