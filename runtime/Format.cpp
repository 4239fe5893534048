#include "runtime/Format.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"
#include "runtime/MessageIds.h"
#include "runtime/Platform.h"

namespace tw {

namespace {

// The longest quotation of a bad directive in an error message.
constexpr std::size_t kMaxQuotedDirective = 31;
// Integer directives pad with zeros only up to this precision.
constexpr std::int64_t kMaxZeroPadding = 16;
// Floating-point directives: the largest precision taken as given, the
// significant digits of G and E without one, the decimals of F and N without
// one, the significant digits behind F, N and M, and the exponent's minimum width.
constexpr std::int64_t kMaxFloatPrecision = 18;
constexpr int kDefaultSignificant = 15;
constexpr int kDefaultDecimals = 2;
constexpr int kFixedSignificant = 18;
constexpr int kExponentDigits = 3;
// The Japanese locale writes currency without decimals: the value before the
// locale is read, and when it states nothing usable.
constexpr int kCurrencyDecimals = 0;
// A locale's currency decimals lie in 0 ... 9.
constexpr int kMaxCurrencyDecimals = 9;
// The work buffer of FormatText; a format of three quarters of it or more
// would likely not fit, so it starts straight at twice the format's length.
constexpr std::size_t kWorkBufferSize = 4098;
constexpr std::size_t kLongFormat = kWorkBufferSize - kWorkBufferSize / 4;

// ---------------------------------------------------------------------------
// Output

// A fixed-capacity output: what does not fit is dropped, cheaply, so that a huge
// width costs nothing beyond the buffer.
class Sink {
 public:
  Sink(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  void Put(std::string_view text) {
    std::size_t n = std::min(text.size(), capacity_ - length_);
    if (n == 0) return;
    std::memcpy(buffer_ + length_, text.data(), n);
    length_ += n;
  }
  void Fill(char c, std::size_t count) {
    std::size_t n = std::min(count, capacity_ - length_);
    if (n == 0) return;
    std::memset(buffer_ + length_, c, n);
    length_ += n;
  }
  std::size_t Length() const { return length_; }

 private:
  char* buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

// ---------------------------------------------------------------------------
// Text conversions

bool IsLead(char c) { return platform::IsLeadByte(static_cast<std::uint8_t>(c)); }

std::u16string_view WideZ(const char16_t* text) {
  if (!text) return {};
  std::size_t n = 0;
  while (text[n]) ++n;
  return {text, n};
}

// ---------------------------------------------------------------------------
// Integers

// Digits of magnitude in base 10 or 16 (upper case), zero-padded to minDigits,
// written backwards from end; returns the first character.
char* UnsignedDigits(std::uint64_t magnitude, unsigned base, int minDigits, char* end) {
  char* p = end;
  int count = 0;
  do {
    unsigned digit = static_cast<unsigned>(magnitude % base);
    *--p = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
    magnitude /= base;
    ++count;
  } while (magnitude != 0);
  while (count < minDigits) {
    *--p = '0';
    ++count;
  }
  return p;
}

// ---------------------------------------------------------------------------
// Floating point

enum class FloatClass { Finite, Infinite, NotANumber };

// Classifies by the bits rather than by comparisons, so that no encoding the
// processor refuses (unnormals, pseudo-infinities) ever reaches an operation.
// A pseudo-denormal is rewritten to the normal encoding of the same value.
FloatClass Classify(long double& value) {
  if constexpr (std::numeric_limits<long double>::digits == 64 && sizeof(long double) >= 10) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &value, sizeof value);
    std::uint64_t mantissa;
    std::uint16_t signExponent;
    std::memcpy(&mantissa, bytes, 8);
    std::memcpy(&signExponent, bytes + 8, 2);
    unsigned exponent = signExponent & 0x7FFFu;
    bool integerBit = (mantissa >> 63) != 0;
    if (exponent == 0x7FFF) return integerBit && (mantissa << 1) == 0 ? FloatClass::Infinite : FloatClass::NotANumber;
    if (exponent != 0 && !integerBit) return FloatClass::NotANumber;
    if (exponent == 0 && integerBit) {
      signExponent = static_cast<std::uint16_t>((signExponent & 0x8000u) | 1u);
      std::memcpy(bytes + 8, &signExponent, 2);
      std::memcpy(&value, bytes, sizeof value);
    }
    return FloatClass::Finite;
  } else {
    if (value != value) return FloatClass::NotANumber;
    if (value > std::numeric_limits<long double>::max() || value < -std::numeric_limits<long double>::max())
      return FloatClass::Infinite;
    return FloatClass::Finite;
  }
}

// The C library's conversions give correctly rounded digits; MinGW's own
// printf family is the one that knows the extended type.
int PrintExtended(char* buffer, std::size_t size, bool scientific, int decimals, long double value) {
  const char* format = scientific ? "%.*Le" : "%.*Lf";
#ifdef __MINGW32__
  return __mingw_snprintf(buffer, size, format, decimals, value);
#else
  return std::snprintf(buffer, size, format, decimals, value);
#endif
}

// magnitude = d.ddd × 10^exponent, rounded to `significant` digits.
struct Scientific {
  std::string digits;
  int exponent = 0;
};

Scientific ScientificDigits(long double magnitude, int significant) {
  char buffer[64];
  int n = PrintExtended(buffer, sizeof buffer, true, significant - 1, magnitude);
  Scientific out;
  int i = 0;
  for (; i < n && buffer[i] != 'e'; ++i)
    if (buffer[i] >= '0' && buffer[i] <= '9') out.digits.push_back(buffer[i]);
  bool negative = i + 1 < n && buffer[i + 1] == '-';
  for (i += 2; i < n; ++i) out.exponent = out.exponent * 10 + (buffer[i] - '0');
  if (negative) out.exponent = -out.exponent;
  return out;
}

void AppendExponent(std::string& out, int exponent, int minDigits) {
  out += 'E';
  out += exponent < 0 ? '-' : '+';
  char buffer[16];
  char* end = buffer + sizeof buffer;
  char* p = UnsignedDigits(static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent), 10, minDigits, end);
  out.append(p, end);
}

// "-d.dddE+ddd" with `significant` digits, trailing zeros kept.
std::string ExponentForm(bool negative, long double magnitude, int significant, int exponentDigits) {
  Scientific sci = ScientificDigits(magnitude, significant);
  std::string out = negative && magnitude != 0 ? "-" : "";
  out += sci.digits[0];
  if (sci.digits.size() > 1) {
    out += '.';
    out.append(sci.digits, 1);
  }
  AppendExponent(out, magnitude != 0 ? sci.exponent : 0, exponentDigits);
  return out;
}

// The shortest of fixed and scientific notation with `significant` digits and
// no trailing zeros; scientific when the integer part has more digits than
// that, or below 0.00001.
std::string GeneralForm(bool negative, long double magnitude, int significant, int exponentDigits) {
  if (magnitude == 0) return "0";
  Scientific sci = ScientificDigits(magnitude, significant);
  std::string& d = sci.digits;
  while (d.size() > 1 && d.back() == '0') d.pop_back();
  const int x = sci.exponent;
  std::string out = negative ? "-" : "";
  if (x >= significant || x < -5) {
    out += d[0];
    if (d.size() > 1) {
      out += '.';
      out.append(d, 1);
    }
    AppendExponent(out, x, exponentDigits);
  } else if (x >= 0) {
    const auto integerDigits = static_cast<std::size_t>(x) + 1;
    out.append(d, 0, integerDigits);
    if (d.size() < integerDigits) out.append(integerDigits - d.size(), '0');
    if (d.size() > integerDigits) {
      out += '.';
      out.append(d, integerDigits);
    }
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-x - 1), '0');
    out += d;
  }
  return out;
}

// Fixed notation with `decimals` decimals and at most kFixedSignificant
// significant digits (the rest are zeros), thousands separated by "," when asked.
std::string FixedForm(bool negative, long double magnitude, int decimals, bool thousands) {
  if (magnitude >= 1e18L) return GeneralForm(negative, magnitude, kFixedSignificant, kExponentDigits);
  std::string digits;  // "iii.ddd"
  Scientific sci = ScientificDigits(magnitude, kFixedSignificant);
  if (magnitude == 0 || sci.exponent + 1 + decimals <= kFixedSignificant) {
    char buffer[64];
    int n = PrintExtended(buffer, sizeof buffer, false, decimals, magnitude);
    digits.assign(buffer, static_cast<std::size_t>(n));
  } else {
    // More digits than the significant ones: those beyond become zeros.
    auto digitAt = [&](int power) {
      int k = sci.exponent - power;
      return k >= 0 && k < static_cast<int>(sci.digits.size()) ? sci.digits[static_cast<std::size_t>(k)] : '0';
    };
    for (int power = std::max(sci.exponent, 0); power >= 0; --power) digits += digitAt(power);
    if (decimals > 0) {
      digits += '.';
      for (int power = -1; power >= -decimals; --power) digits += digitAt(power);
    }
  }
  std::string out;
  bool nonZero = digits.find_first_of("123456789") != std::string::npos;
  if (negative && nonZero) out += '-';
  std::size_t integerDigits = digits.find('.');
  if (integerDigits == std::string::npos) integerDigits = digits.size();
  for (std::size_t i = 0; i < integerDigits; ++i) {
    if (thousands && i > 0 && (integerDigits - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  out.append(digits, integerDigits);
  return out;
}

std::string FloatText(char type, long double value, std::optional<std::int64_t> precision) {
  FloatClass cls = Classify(value);
  bool negative = std::signbit(value);
  if (cls == FloatClass::NotANumber) return "NAN";
  if (cls == FloatClass::Infinite) return negative ? "-INF" : "INF";
  long double magnitude = negative ? -value : value;

  const bool usable = precision && *precision <= kMaxFloatPrecision;
  const int significant = usable ? std::max(1, static_cast<int>(*precision)) : kDefaultSignificant;
  switch (type) {
    case 'G': return GeneralForm(negative, magnitude, significant, kExponentDigits);
    case 'E': return ExponentForm(negative, magnitude, significant, kExponentDigits);
    case 'F': return FixedForm(negative, magnitude, usable ? static_cast<int>(*precision) : kDefaultDecimals, false);
    case 'N': return FixedForm(negative, magnitude, usable ? static_cast<int>(*precision) : kDefaultDecimals, true);
    default:  // 'M'
      return FixedForm(negative, magnitude, usable ? static_cast<int>(*precision) : FormatSettings().currencyDecimals,
                       true);
  }
}

// ---------------------------------------------------------------------------
// The formatter

enum class ErrorKind { Invalid, Missing };

// The directive as an error message quotes it: from its "%" to its type
// character, at most kMaxQuotedDirective bytes, never half a double-byte character.
std::string QuoteDirective(std::string_view directive) {
  std::size_t cut = 0;
  while (cut < directive.size()) {
    std::size_t width = IsLead(directive[cut]) ? 2 : 1;
    if (cut + width > directive.size() || cut + width > kMaxQuotedDirective) break;
    cut += width;
  }
  return std::string(directive.substr(0, cut));
}

std::string FormatGrowing(std::string_view format, FormatArgs args, bool quiet);

[[noreturn]] void RaiseFormatError(ErrorKind kind, std::string_view directive) {
  const std::string quote = QuoteDirective(directive);
  const FormatArg arg{std::string_view(quote)};
  // The entry is formatted quietly: should it hold a directive that does not
  // fit, the message must still be made instead of raising about itself.
  std::string message = FormatGrowing(
      LoadResString(kind == ErrorKind::Invalid ? msg::InvalidFormat : msg::ArgumentMissing), FormatArgs(&arg, 1), true);
  throw EConvertError(std::move(message));
}

class Formatter {
 public:
  Formatter(std::string_view format, FormatArgs args, bool quiet) : format_(format), args_(args), quiet_(quiet) {}

  // Formats into out. A format that ends inside a directive ends the output.
  void Run(Sink& out) {
    pos_ = 0;
    argIndex_ = 0;
    while (pos_ < format_.size()) {
      std::size_t percent = format_.find('%', pos_);
      if (percent == std::string_view::npos) percent = format_.size();
      out.Put(format_.substr(pos_, percent - pos_));
      pos_ = percent;
      if (pos_ < format_.size() && !Directive(out)) return;
    }
  }

 private:
  bool AtEnd() const { return pos_ >= format_.size(); }
  char Current() const { return format_[pos_]; }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // The value of a "*": the next argument when it is a 32-bit integer, else 0;
  // the index moves on whenever there was an argument.
  std::int64_t Star() {
    ++pos_;
    if (argIndex_ < 0 || argIndex_ >= static_cast<std::int64_t>(args_.size())) return 0;
    const FormatArg& arg = args_[static_cast<std::size_t>(argIndex_++)];
    return arg.kind == ArgKind::Integer ? arg.integer : 0;
  }

  // Decimal digits, saturating rather than wrapping: an absurd number must not
  // turn into a small or negative one.
  std::int64_t Number() {
    std::int64_t value = 0;
    while (!AtEnd() && IsDigit(Current())) {
      value = std::min<std::int64_t>(value * 10 + (Current() - '0'), std::numeric_limits<std::int32_t>::max());
      ++pos_;
    }
    return value;
  }

  // One directive starting at the "%" at pos_; false when the format ended inside it.
  bool Directive(Sink& out) {
    const std::size_t start = pos_++;
    if (AtEnd()) return false;
    if (Current() == '%') {
      out.Put("%");
      ++pos_;
      return true;
    }
    bool leftJustify = false;
    std::int64_t width = 0;
    for (;;) {
      leftJustify = false;
      if (Current() == '-') {
        leftJustify = true;
        if (++pos_, AtEnd()) return false;
      }
      std::int64_t number = Current() == '*' ? Star() : Number();
      if (AtEnd()) return false;
      if (Current() != ':') {
        width = number;
        break;
      }
      argIndex_ = number;
      if (++pos_, AtEnd()) return false;
    }
    std::optional<std::int64_t> precision;
    if (Current() == '.') {
      if (++pos_, AtEnd()) return false;
      std::int64_t value = Current() == '*' ? Star() : Number();
      if (AtEnd()) return false;
      if (value >= 0) precision = value;  // a negative one from "*" counts as none
    }

    // The type character; a double-byte one is quoted whole.
    const char type = Current();
    std::size_t end = pos_ + 1;
    if (IsLead(type) && end < format_.size()) ++end;
    const std::string_view directive = format_.substr(start, end - start);
    pos_ = end;

    // The argument is looked up before the type is checked.
    if (argIndex_ < 0 || argIndex_ >= static_cast<std::int64_t>(args_.size()))
      return Fail(out, ErrorKind::Missing, directive);
    const FormatArg& arg = args_[static_cast<std::size_t>(argIndex_++)];

    std::string owned;
    std::string_view text;
    char digits[32];
    char* const digitsEnd = digits + sizeof digits;
    const bool isInteger = arg.kind == ArgKind::Integer || arg.kind == ArgKind::Int64;
    const int zeros = precision && *precision <= kMaxZeroPadding ? static_cast<int>(*precision) : 0;
    switch (type) {
      case 'd':
      case 'D': {
        if (!isInteger) return Fail(out, ErrorKind::Invalid, directive);
        std::int64_t value = arg.kind == ArgKind::Integer ? arg.integer : arg.int64;
        std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        char* p = UnsignedDigits(magnitude, 10, zeros, digitsEnd);
        if (value < 0) *--p = '-';
        text = std::string_view(p, static_cast<std::size_t>(digitsEnd - p));
        break;
      }
      case 'u':
      case 'U':
      case 'x':
      case 'X': {
        if (!isInteger) return Fail(out, ErrorKind::Invalid, directive);
        std::uint64_t bits = arg.kind == ArgKind::Integer ? static_cast<std::uint32_t>(arg.integer)
                                                          : static_cast<std::uint64_t>(arg.int64);
        char* p = UnsignedDigits(bits, type == 'u' || type == 'U' ? 10 : 16, zeros, digitsEnd);
        text = std::string_view(p, static_cast<std::size_t>(digitsEnd - p));
        break;
      }
      case 'p':
      case 'P': {
        if (arg.kind != ArgKind::Pointer) return Fail(out, ErrorKind::Invalid, directive);
        // Always the low 32 bits, so that every build writes the same eight digits.
        auto bits = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg.pointer));
        char* p = UnsignedDigits(bits, 16, 8, digitsEnd);
        text = std::string_view(p, static_cast<std::size_t>(digitsEnd - p));
        break;
      }
      case 's':
      case 'S':
        switch (arg.kind) {
          case ArgKind::Char: text = std::string_view(&arg.character, 1); break;
          case ArgKind::ShortText:
          case ArgKind::Text: text = arg.text; break;
          case ArgKind::Variant: text = arg.variantEmpty ? std::string_view() : arg.text; break;
          case ArgKind::PChar: text = arg.pchar ? std::string_view(arg.pchar) : std::string_view(); break;
          case ArgKind::PWideChar:
            owned = platform::WideToAnsi(WideZ(arg.pwide));
            text = owned;
            break;
          case ArgKind::WideText:
            owned = platform::WideToAnsi(arg.wideText);
            text = owned;
            break;
          default: return Fail(out, ErrorKind::Invalid, directive);
        }
        if (precision && static_cast<std::uint64_t>(*precision) < text.size())
          text = text.substr(0, static_cast<std::size_t>(*precision));
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'n':
      case 'N':
      case 'm':
      case 'M': {
        long double value;
        if (arg.kind == ArgKind::Extended)
          value = arg.extended;
        else if (arg.kind == ArgKind::Currency)
          value = static_cast<long double>(arg.int64) / 10000;
        else
          return Fail(out, ErrorKind::Invalid, directive);
        owned = FloatText(static_cast<char>(type & ~0x20), value, precision);
        text = owned;
        break;
      }
      default: return Fail(out, ErrorKind::Invalid, directive);
    }

    const std::size_t pad =
        width > static_cast<std::int64_t>(text.size()) ? static_cast<std::size_t>(width) - text.size() : 0;
    if (!leftJustify) out.Fill(' ', pad);
    out.Put(text);
    if (leftJustify) out.Fill(' ', pad);
    return true;
  }

  // Raises the error; when formatting quietly, writes the directive as it stands instead.
  bool Fail(Sink& out, ErrorKind kind, std::string_view directive) {
    if (!quiet_) RaiseFormatError(kind, directive);
    out.Put(directive);
    return true;
  }

  std::string_view format_;
  FormatArgs args_;
  bool quiet_;
  std::size_t pos_ = 0;
  std::int64_t argIndex_ = 0;
};

// Formats into a buffer big enough for everything, by trying: a work buffer
// first, then doubled heap buffers until the text is shorter than the limit.
std::string FormatGrowing(std::string_view format, FormatArgs args, bool quiet) {
  Formatter formatter(format, args, quiet);
  std::size_t size;
  if (format.size() < kLongFormat) {
    char work[kWorkBufferSize];
    Sink sink(work, kWorkBufferSize - 1);
    formatter.Run(sink);
    if (sink.Length() < kWorkBufferSize - 1) return std::string(work, sink.Length());
    size = kWorkBufferSize * 2;
  } else {
    size = format.size() * 2;
  }
  for (;;) {
    std::string result;
    try {
      result.resize(size - 1);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory();
    } catch (const std::length_error&) {
      RaiseOutOfMemory();
    }
    Sink sink(result.data(), result.size());
    formatter.Run(sink);
    if (sink.Length() < result.size()) {
      result.resize(sink.Length());
      return result;
    }
    if (size > result.max_size() / 2) RaiseOutOfMemory();
    size *= 2;
  }
}

}  // namespace

std::string FormatText(std::string_view format, FormatArgs args) { return FormatGrowing(format, args, false); }

std::size_t FormatToBuffer(char* buffer, std::size_t bufferLength, const char* format, std::size_t formatLength,
                           FormatArgs args) {
  Sink sink(buffer, buffer ? bufferLength : 0);
  Formatter(std::string_view(format, format ? formatLength : 0), args, false).Run(sink);
  return sink.Length();
}

// ---- Format settings ----------------------------------------------------------------

namespace {

// Unset until the locale is first read; formatting may run on any thread.
std::atomic<std::int32_t> currencyDecimals{-1};

}  // namespace

void ReadFormatSettings() {
  std::int32_t decimals = kCurrencyDecimals;
  if (auto text = platform::UserLocaleSetting(platform::LocaleSetting::CurrencyDecimals)) {
    const std::int32_t stated = ParseIntegerOr(*text, kCurrencyDecimals);
    if (stated >= 0 && stated <= kMaxCurrencyDecimals) decimals = stated;
  }
  currencyDecimals.store(decimals);
}

TFormatSettings FormatSettings() {
  if (currencyDecimals.load() < 0) ReadFormatSettings();
  return {currencyDecimals.load()};
}

void SetFormatSettings(const TFormatSettings& settings) {
  currencyDecimals.store(std::clamp(settings.currencyDecimals, 0, kMaxCurrencyDecimals));
}

}  // namespace tw
