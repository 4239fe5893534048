// The message formatter: a format text and a list of typed arguments make a text.
// Directives: %[index:][-][width][.precision]type with the types D U X E F G N M P S;
// width, precision and index may be "*" (taken from the next 32-bit integer argument).
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace tw {

class TObject;
struct TClassInfo;

enum class ArgKind : std::uint8_t {
  Integer,    // 32-bit integer
  Int64,      // 64-bit integer
  Extended,   // extended float
  Currency,   // 64-bit fixed point, four decimals
  Char,       // single character
  ShortText,  // short text
  Text,       // long text
  PChar,      // null-terminated text (null pointer: empty)
  PWideChar,  // null-terminated wide text
  WideText,   // wide text
  Variant,    // variant: text, or empty/null
  Pointer,
  Boolean,  // the kinds below are accepted by no directive
  Object,
  Class,
  WideChar,
  Interface,
};

// One tagged argument. Text arguments refer to the caller's storage, which must
// outlive the call.
struct FormatArg {
  ArgKind kind;
  union {
    std::int32_t integer;
    std::int64_t int64;  // also Currency, scaled by 10000
    long double extended;
    char character;
    char16_t wideChar;
    bool boolean;
    const void* pointer;    // Pointer, Object, Class, Interface
    const char* pchar;      // PChar
    const char16_t* pwide;  // PWideChar
  };
  std::string_view text;         // ShortText, Text, Variant
  std::u16string_view wideText;  // WideText
  bool variantEmpty = false;     // Variant: empty or null

  template <std::integral I>
  requires(!std::same_as<I, bool> && !std::same_as<I, char> && !std::same_as<I, char16_t>)
      FormatArg(I value) {  // NOLINT: implicit on purpose, arguments are written inline
    if constexpr (sizeof(I) <= 4) {
      kind = ArgKind::Integer;
      integer = static_cast<std::int32_t>(value);
    } else {
      kind = ArgKind::Int64;
      int64 = static_cast<std::int64_t>(value);
    }
  }
  FormatArg(long double v) : kind(ArgKind::Extended), extended(v) {}
  FormatArg(double v) : kind(ArgKind::Extended), extended(v) {}
  FormatArg(char c) : kind(ArgKind::Char), character(c) {}
  FormatArg(char16_t c) : kind(ArgKind::WideChar), wideChar(c) {}
  FormatArg(bool b) : kind(ArgKind::Boolean), boolean(b) {}
  FormatArg(const char* s) : kind(ArgKind::PChar), pchar(s) {}
  FormatArg(const char16_t* s) : kind(ArgKind::PWideChar), pwide(s) {}
  FormatArg(std::string_view s) : kind(ArgKind::Text), pointer(nullptr), text(s) {}
  FormatArg(const std::string& s) : FormatArg(std::string_view(s)) {}
  FormatArg(std::u16string_view s) : kind(ArgKind::WideText), pointer(nullptr), wideText(s) {}
  FormatArg(const void* p) : kind(ArgKind::Pointer), pointer(p) {}
  FormatArg(const TObject* o) : kind(ArgKind::Object), pointer(o) {}
  FormatArg(const TClassInfo* c) : kind(ArgKind::Class), pointer(c) {}

  static FormatArg Currency(std::int64_t scaled) {
    FormatArg a(scaled);
    a.kind = ArgKind::Currency;
    return a;
  }
  static FormatArg ShortText(std::string_view s) {
    FormatArg a(s);
    a.kind = ArgKind::ShortText;
    return a;
  }
  static FormatArg VariantText(std::string_view s) {
    FormatArg a(s);
    a.kind = ArgKind::Variant;
    return a;
  }
  static FormatArg VariantEmpty() {
    FormatArg a(std::string_view{});
    a.kind = ArgKind::Variant;
    a.variantEmpty = true;
    return a;
  }
  static FormatArg Interface(const void* p) {
    FormatArg a(p);
    a.kind = ArgKind::Interface;
    return a;
  }
};

using FormatArgs = std::span<const FormatArg>;

// The formatted text; no length limit. Raises EConvertError for a bad directive
// or a missing argument.
std::string FormatText(std::string_view format, FormatArgs args);
inline std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args) {
  return FormatText(format, FormatArgs(args.begin(), args.size()));
}

// Writes at most bufferLength bytes (no terminator) and returns how many were
// written; output beyond the buffer is dropped.
std::size_t FormatToBuffer(char* buffer, std::size_t bufferLength, const char* format, std::size_t formatLength,
                           FormatArgs args);

// The settings of the user's locale that formatting follows (the currency
// decimals of M without a precision). Read from the locale on first use; a
// program that hears the user changed them reads them again.
struct TFormatSettings {
  std::int32_t currencyDecimals = 0;
};
TFormatSettings FormatSettings();
void SetFormatSettings(const TFormatSettings& settings);
void ReadFormatSettings();

}  // namespace tw
