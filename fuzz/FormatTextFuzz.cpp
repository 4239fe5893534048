// A format text and an argument list of mixed kinds either format to a text or
// raise EConvertError; anything else escapes and is reported. Beyond that:
// FormatText and FormatToBuffer agree on the text and on the error, and a
// smaller buffer receives a prefix of the same text.
//
// Input: one byte with the argument count (low three bits), then per argument a
// kind byte and its value, then the format text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "runtime/Runtime.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  template <class T>
  T Value() {
    unsigned char bytes[sizeof(T)] = {};
    for (auto& b : bytes) b = Byte();
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
  std::string Bytes(std::size_t n) {
    n = std::min(n, size_ - pos_);
    std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return out;
  }
  std::u16string Wide(std::size_t n) {
    std::u16string out;
    for (std::size_t i = 0; i < n && pos_ < size_; ++i) out.push_back(Value<char16_t>());
    return out;
  }
  std::string Rest() { return Bytes(size_ - pos_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The buffer that bounds the work of one input: a width of two thousand million
// is valid and only costs memory, which is not what this target looks for.
constexpr std::size_t kLimit = 1 << 20;

struct Outcome {
  bool raised = false;
  std::string text;  // the formatted text, or the error's message
};

Outcome ToBuffer(char* buffer, std::size_t length, const std::string& format, tw::FormatArgs args) {
  Outcome outcome;
  try {
    std::size_t n = tw::FormatToBuffer(buffer, length, format.data(), format.size(), args);
    if (n > length) std::abort();
    outcome.text.assign(buffer, n);
  } catch (const tw::EConvertError& e) {
    outcome.raised = true;
    outcome.text = e.Message();
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = (tw::InitRuntime(), true);
  (void)ready;
  static std::vector<char> buffer(kLimit);

  Input in(data, size);
  // Storage the arguments refer to; a deque keeps earlier elements in place.
  std::deque<std::string> texts;
  std::deque<std::u16string> wides;
  std::vector<tw::FormatArg> args;
  const int count = in.Byte() & 7;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t kind = in.Byte() % 17;
    switch (static_cast<tw::ArgKind>(kind)) {
      case tw::ArgKind::Integer: args.emplace_back(in.Value<std::int32_t>()); break;
      case tw::ArgKind::Int64: args.emplace_back(in.Value<std::int64_t>()); break;
      case tw::ArgKind::Extended: {
        // Raw bytes, so that every encoding, including those the processor
        // refuses, reaches the conversion.
        long double value = 0;
        unsigned char bytes[sizeof(long double)] = {};
        for (std::size_t b = 0; b < 10 && b < sizeof bytes; ++b) bytes[b] = in.Byte();
        std::memcpy(&value, bytes, sizeof value);
        args.emplace_back(value);
        break;
      }
      case tw::ArgKind::Currency: args.push_back(tw::FormatArg::Currency(in.Value<std::int64_t>())); break;
      case tw::ArgKind::Char: args.emplace_back(static_cast<char>(in.Byte())); break;
      case tw::ArgKind::ShortText:
        texts.push_back(in.Bytes(in.Byte()));
        args.push_back(tw::FormatArg::ShortText(texts.back()));
        break;
      case tw::ArgKind::Text:
        texts.push_back(in.Bytes(in.Byte()));
        args.emplace_back(texts.back());
        break;
      case tw::ArgKind::PChar: {
        std::uint8_t n = in.Byte();
        texts.push_back(in.Bytes(n));
        args.emplace_back(n == 0xFF ? static_cast<const char*>(nullptr) : texts.back().c_str());
        break;
      }
      case tw::ArgKind::PWideChar: {
        std::uint8_t n = in.Byte();
        wides.push_back(in.Wide(n));
        args.emplace_back(n == 0xFF ? static_cast<const char16_t*>(nullptr) : wides.back().c_str());
        break;
      }
      case tw::ArgKind::WideText:
        wides.push_back(in.Wide(in.Byte()));
        args.emplace_back(std::u16string_view(wides.back()));
        break;
      case tw::ArgKind::Variant: {
        std::uint8_t n = in.Byte();
        texts.push_back(in.Bytes(n));
        args.push_back(n == 0xFF ? tw::FormatArg::VariantEmpty() : tw::FormatArg::VariantText(texts.back()));
        break;
      }
      case tw::ArgKind::Pointer: args.emplace_back(reinterpret_cast<const void*>(in.Value<std::uintptr_t>())); break;
      case tw::ArgKind::Boolean: args.emplace_back(in.Byte() != 0); break;
      case tw::ArgKind::Object:
        args.emplace_back(reinterpret_cast<const tw::TObject*>(in.Value<std::uintptr_t>()));
        break;
      case tw::ArgKind::Class:
        args.emplace_back(reinterpret_cast<const tw::TClassInfo*>(in.Value<std::uintptr_t>()));
        break;
      case tw::ArgKind::WideChar: args.emplace_back(in.Value<char16_t>()); break;
      case tw::ArgKind::Interface:
        args.push_back(tw::FormatArg::Interface(reinterpret_cast<const void*>(in.Value<std::uintptr_t>())));
        break;
    }
  }
  const std::string format = in.Rest();
  const tw::FormatArgs list(args.data(), args.size());

  const Outcome bounded = ToBuffer(buffer.data(), kLimit, format, list);
  if (bounded.raised && bounded.text.empty()) std::abort();

  // A smaller buffer gets a prefix of the same text, or the same error.
  const std::size_t small = bounded.text.size() / 2;
  const Outcome cut = ToBuffer(buffer.data(), small, format, list);
  if (cut.raised != bounded.raised) std::abort();
  if (bounded.raised ? cut.text != bounded.text : bounded.text.compare(0, small, cut.text) != 0) std::abort();

  if (!bounded.raised && bounded.text.size() == kLimit) return 0;  // possibly longer: not worth the memory
  try {
    std::string text = tw::FormatText(format, list);
    if (bounded.raised || text != bounded.text) std::abort();
  } catch (const tw::EConvertError& e) {
    if (!bounded.raised || e.Message() != bounded.text) std::abort();
  }
  return 0;
}
