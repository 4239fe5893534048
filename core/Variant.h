// A small tagged value for variant-typed published properties: what a form
// stream can hold (integers of three widths, 64-bit integers, floats, currency,
// dates, booleans, texts and wide texts), plus the empty and the null value.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "core/TypeInfo.h"
#include "runtime/Exceptions.h"

namespace tw {

enum class TVarType : std::uint8_t {
  vtEmpty,  // nothing assigned (a cleared variant)
  vtNull,   // the explicit null value
  vtInt8,   // the integer widths keep the width the value came with
  vtInt16,
  vtInt32,
  vtInt64,
  vtSingle,
  vtExtended,
  vtCurrency,  // a 64-bit integer holding the amount times 10000
  vtDate,      // a day number as a 64-bit float
  vtBoolean,
  vtText,      // ANSI text
  vtWideText,  // 16-bit text
};

class TVariant {
 public:
  // The empty variant.
  TVariant() = default;

  static TVariant Null() { return TVariant(std::in_place_type<NullValue>, {}); }
  static TVariant Int8(std::int8_t v) { return TVariant(std::in_place_type<std::int8_t>, v); }
  static TVariant Int16(std::int16_t v) { return TVariant(std::in_place_type<std::int16_t>, v); }
  static TVariant Int32(std::int32_t v) { return TVariant(std::in_place_type<std::int32_t>, v); }
  static TVariant Int64(std::int64_t v) { return TVariant(std::in_place_type<std::int64_t>, v); }
  static TVariant Single(float v) { return TVariant(std::in_place_type<float>, v); }
  static TVariant Extended(long double v) { return TVariant(std::in_place_type<long double>, v); }
  static TVariant CurrencyScaled(std::int64_t amountTimes10000) {
    return TVariant(std::in_place_type<CurrencyValue>, {amountTimes10000});
  }
  static TVariant Date(double v) { return TVariant(std::in_place_type<DateValue>, {v}); }
  static TVariant Boolean(bool v) { return TVariant(std::in_place_type<bool>, v); }
  static TVariant Text(std::string v) { return TVariant(std::in_place_type<std::string>, std::move(v)); }
  static TVariant WideText(std::u16string v) { return TVariant(std::in_place_type<std::u16string>, std::move(v)); }

  TVarType Type() const { return static_cast<TVarType>(value_.index()); }
  bool IsEmpty() const { return Type() == TVarType::vtEmpty; }
  bool IsNull() const { return Type() == TVarType::vtNull; }
  void Clear() { value_ = std::monostate{}; }

  // The value of an integer or boolean variant (true counts as all bits set,
  // -1); any other type raises EVariantError.
  std::int64_t IntegerValue() const;
  // The value of any numeric variant (currency in whole units, a date as its
  // day number); any other type raises EVariantError.
  long double FloatValue() const;
  // The amount times 10000 of a currency variant.
  std::int64_t CurrencyScaledValue() const;
  bool BooleanValue() const;
  const std::string& TextValue() const;
  const std::u16string& WideTextValue() const;

  friend bool operator==(const TVariant&, const TVariant&) = default;

 private:
  struct NullValue {
    friend bool operator==(NullValue, NullValue) = default;
  };
  struct CurrencyValue {
    std::int64_t scaled;
    friend bool operator==(CurrencyValue, CurrencyValue) = default;
  };
  struct DateValue {
    double value;
    friend bool operator==(DateValue, DateValue) = default;
  };
  // The alternatives stand in the order of TVarType.
  using Storage = std::variant<std::monostate, NullValue, std::int8_t, std::int16_t, std::int32_t, std::int64_t, float,
                               long double, CurrencyValue, DateValue, bool, std::string, std::u16string>;

  template <class V>
  explicit TVariant(std::in_place_type_t<V> type, V value) : value_(type, std::move(value)) {}

  [[noreturn]] static void RaiseTypeCast() { throw EVariantError(msg::VarTypeCast); }

  template <class V>
  const V& Alternative() const {
    const V* v = std::get_if<V>(&value_);
    if (!v) RaiseTypeCast();
    return *v;
  }

  Storage value_;
};

inline std::int64_t TVariant::IntegerValue() const {
  switch (Type()) {
    case TVarType::vtInt8: return std::get<std::int8_t>(value_);
    case TVarType::vtInt16: return std::get<std::int16_t>(value_);
    case TVarType::vtInt32: return std::get<std::int32_t>(value_);
    case TVarType::vtInt64: return std::get<std::int64_t>(value_);
    case TVarType::vtBoolean: return std::get<bool>(value_) ? -1 : 0;
    default: RaiseTypeCast();
  }
}

inline long double TVariant::FloatValue() const {
  switch (Type()) {
    case TVarType::vtSingle: return std::get<float>(value_);
    case TVarType::vtExtended: return std::get<long double>(value_);
    case TVarType::vtCurrency: return static_cast<long double>(std::get<CurrencyValue>(value_).scaled) / 10000;
    case TVarType::vtDate: return std::get<DateValue>(value_).value;
    default: return static_cast<long double>(IntegerValue());
  }
}

inline std::int64_t TVariant::CurrencyScaledValue() const { return Alternative<CurrencyValue>().scaled; }
inline bool TVariant::BooleanValue() const { return Alternative<bool>(); }
inline const std::string& TVariant::TextValue() const { return Alternative<std::string>(); }
inline const std::u16string& TVariant::WideTextValue() const { return Alternative<std::u16string>(); }

template <>
struct TypeTraits<TVariant> {
  static TTypeInfo Make() { return {.kind = TPropKind::pkVariant, .name = "Variant"}; }
};

}  // namespace tw
