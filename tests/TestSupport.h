// Helpers shared by the test executables.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tw::test {

// The code page 932 bytes of a UTF-8 text: tests write Japanese expectations in
// UTF-8 and compare through this one conversion.
std::string Sjis(std::string_view utf8);
// True when no byte of the text is outside ASCII.
bool IsAscii(std::string_view text);

// The message of the exception of class E that the action raises, or a marker
// text when it raises nothing.
template <typename E>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  }
  return "<nothing raised>";
}

}  // namespace tw::test
