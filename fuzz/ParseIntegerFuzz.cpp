// Any text either parses to a value or raises EConvertError quoting it; the two
// parsing entry points agree, and a parsed value prints back to a text that
// parses to the same value.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"
#include "runtime/Runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = (tw::InitRuntime(), true);
  (void)ready;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::int32_t value = 0;
  bool parsed = true;
  try {
    value = tw::ParseInteger(text);
  } catch (const tw::EConvertError& e) {
    parsed = false;
    if (e.Message().find(text) == std::string::npos) std::abort();
  }
  if (parsed != tw::ScanInteger(text).has_value()) std::abort();
  if (tw::ParseIntegerOr(text, 12345) != (parsed ? value : 12345)) std::abort();
  if (parsed && tw::ParseInteger(tw::IntegerToText(value)) != value) std::abort();
  return 0;
}
