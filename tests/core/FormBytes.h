// Form streams written by hand, for tests and benchmarks: only the bytes of the
// binary form format, with no knowledge of any class.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "core/Streams.h"

namespace tw::test {

class FormBytes {
 public:
  FormBytes& Raw(std::initializer_list<int> values) {
    for (int v : values) data_.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  FormBytes& Text(std::string_view text) {
    for (char c : text) data_.push_back(static_cast<std::uint8_t>(c));
    return *this;
  }
  FormBytes& Le32(std::uint32_t v) {
    return Raw({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)});
  }
  FormBytes& Short(std::string_view text) { return Raw({int(text.size())}).Text(text); }
  FormBytes& Signature() { return Text("TPF0"); }
  FormBytes& Int8(int v) { return Raw({2, v & 0xFF}); }
  FormBytes& Int16(int v) { return Raw({3, v & 0xFF, (v >> 8) & 0xFF}); }
  FormBytes& Int32(std::int32_t v) { return Raw({4}).Le32(static_cast<std::uint32_t>(v)); }
  // The smallest integer tag that holds the value, as a writer picks it.
  FormBytes& Int(std::int32_t v) {
    if (v >= -128 && v <= 127) return Int8(v);
    if (v >= -32768 && v <= 32767) return Int16(v);
    return Int32(v);
  }
  FormBytes& Bool(bool v) { return Raw({v ? 9 : 8}); }
  FormBytes& Str(std::string_view text) { return Raw({6}).Short(text); }
  FormBytes& LStr(std::string_view text) { return Raw({12}).Le32(static_cast<std::uint32_t>(text.size())).Text(text); }
  FormBytes& Ident(std::string_view text) { return Raw({7}).Short(text); }
  FormBytes& Set(std::initializer_list<std::string_view> names) {
    Raw({11});
    for (std::string_view name : names) Short(name);
    return Raw({0});
  }
  FormBytes& List() { return Raw({1}); }
  FormBytes& End() { return Raw({0}); }
  FormBytes& Prop(std::string_view path) { return Short(path); }
  FormBytes& Object(std::string_view cls, std::string_view name) { return Short(cls).Short(name); }
  FormBytes& Append(const FormBytes& other) {
    data_.insert(data_.end(), other.data_.begin(), other.data_.end());
    return *this;
  }

  std::unique_ptr<TMemoryStream> Stream() const {
    auto stream = std::make_unique<TMemoryStream>();
    if (!data_.empty()) stream->WriteBuffer(data_.data(), data_.size());
    stream->SetPosition(0);
    return stream;
  }
  std::size_t Size() const { return data_.size(); }
  const std::vector<std::uint8_t>& Data() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
};

}  // namespace tw::test
