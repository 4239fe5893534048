// Helpers shared by the test executables.
#pragma once

#include <string>
#include <string_view>

namespace tw::test {

// The code page 932 bytes of a UTF-8 text: tests write Japanese expectations in
// UTF-8 and compare through this one conversion.
std::string Sjis(std::string_view utf8);

}  // namespace tw::test
