// Type records of the types that published properties use. One read-only record
// per type, made on first use from a traits specialisation; a record's address is
// its identity (identifier maps are registered for exactly one record).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "runtime/Object.h"

namespace tw {

enum class TPropKind : std::uint8_t {
  pkUnknown = 0,
  pkInteger = 1,
  pkChar = 2,
  pkEnumeration = 3,
  pkFloat = 4,
  pkShortText = 5,
  pkSet = 6,
  pkClass = 7,
  pkMethod = 8,
  pkLongText = 10,
  pkWideText = 11,
  pkVariant = 12,
  pkInt64 = 16,
};

enum TOrdWidth : std::uint8_t { owSByte = 0, owUByte = 1, owSWord = 2, owUWord = 3, owSLong = 4 };

// The storage of a float-kind property, which a written value is converted to.
enum TFloatType : std::uint8_t { ftSingle = 0, ftDouble = 1, ftExtended = 2 };

struct TTypeInfo {
  TPropKind kind = TPropKind::pkUnknown;
  std::string_view name = {};
  // Ordinal types (integer, character, enumeration, set storage). A short
  // text keeps its maximum length (1 ... 255) in maxValue.
  TOrdWidth width = owSLong;
  std::int32_t minValue = 0;
  std::int32_t maxValue = 0;
  // Float kind.
  TFloatType floatType = ftExtended;
  // Enumerations: the base enumeration (none for a full enumeration, which is
  // its own base) and the value names from value 0 up.
  const TTypeInfo* baseType = nullptr;
  std::span<const std::string_view> valueNames = {};
  // Sets: the element enumeration.
  const TTypeInfo* elementType = nullptr;
  // Class kind: the class.
  const TClassInfo* classInfo = nullptr;

  const TTypeInfo& BaseType() const { return baseType ? *baseType : *this; }
};

// Specialised for every type a published property uses; Make() builds the record.
template <class T, class Enable = void>
struct TypeTraits;

template <class T>
const TTypeInfo& TypeInfoOf() {
  static const TTypeInfo info = TypeTraits<T>::Make();
  return info;
}

template <class T>
constexpr TOrdWidth OrdWidthOf() {
  if constexpr (sizeof(T) == 1) return std::is_signed_v<T> ? owSByte : owUByte;
  if constexpr (sizeof(T) == 2) return std::is_signed_v<T> ? owSWord : owUWord;
  return owSLong;
}

#define TW_INTEGER_TYPE(Type, Name)                                                     \
  template <>                                                                           \
  struct TypeTraits<Type> {                                                             \
    static TTypeInfo Make() {                                                           \
      return {.kind = TPropKind::pkInteger,                                             \
              .name = Name,                                                             \
              .width = OrdWidthOf<Type>(),                                              \
              .minValue = static_cast<std::int32_t>(std::numeric_limits<Type>::min()),  \
              .maxValue = static_cast<std::int32_t>(std::numeric_limits<Type>::max())}; \
    }                                                                                   \
  };

TW_INTEGER_TYPE(std::int32_t, "Integer")
TW_INTEGER_TYPE(std::int16_t, "Smallint")
TW_INTEGER_TYPE(std::int8_t, "Shortint")
TW_INTEGER_TYPE(std::uint8_t, "Byte")
TW_INTEGER_TYPE(std::uint16_t, "Word")

template <>
struct TypeTraits<char> {
  static TTypeInfo Make() {
    return {.kind = TPropKind::pkChar, .name = "Char", .width = owUByte, .minValue = 0, .maxValue = 255};
  }
};

template <>
struct TypeTraits<std::string> {
  static TTypeInfo Make() { return {.kind = TPropKind::pkLongText, .name = "string"}; }
};

template <>
struct TypeTraits<std::u16string> {
  static TTypeInfo Make() { return {.kind = TPropKind::pkWideText, .name = "WideString"}; }
};

template <>
struct TypeTraits<std::int64_t> {
  static TTypeInfo Make() { return {.kind = TPropKind::pkInt64, .name = "Int64"}; }
};

template <class T>
struct TypeTraits<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static TTypeInfo Make() {
    constexpr TFloatType type = sizeof(T) == sizeof(float)    ? ftSingle
                                : sizeof(T) == sizeof(double) ? ftDouble
                                                              : ftExtended;
    constexpr std::string_view names[] = {"Single", "Double", "Extended"};
    return {.kind = TPropKind::pkFloat, .name = names[type], .floatType = type};
  }
};

// Object references: the class kind, for classes with a class record.
template <class T>
struct TypeTraits<T*, std::enable_if_t<std::is_base_of_v<TObject, T>>> {
  static TTypeInfo Make() {
    return {.kind = TPropKind::pkClass, .name = T::StaticClassInfo().name, .classInfo = &T::StaticClassInfo()};
  }
};

namespace detail {
// A type's own name: a record names its type as streams and messages do,
// without the namespaces that qualify it where the record is declared.
constexpr std::string_view UnqualifiedName(std::string_view name) {
  const std::size_t colons = name.rfind("::");
  return colons == std::string_view::npos ? name : name.substr(colons + 2);
}
}  // namespace detail

// Enumerations: TW_ENUMERATION(TAlignment, "taLeftJustify", ...) in namespace
// tw gives an enum type its record with the value names in value order. The
// type may be named with its namespace (TW_ENUMERATION(ns::TAlignment, ...));
// the record's name is the type's own.
#define TW_ENUMERATION(Type, ...)                                          \
  template <>                                                              \
  struct TypeTraits<Type> {                                                \
    static TTypeInfo Make() {                                              \
      static constexpr std::string_view names[] = {__VA_ARGS__};           \
      return {.kind = TPropKind::pkEnumeration,                            \
              .name = ::tw::detail::UnqualifiedName(#Type),                \
              .width = OrdWidthOf<std::underlying_type_t<Type>>(),         \
              .minValue = 0,                                               \
              .maxValue = static_cast<std::int32_t>(std::size(names)) - 1, \
              .valueNames = names};                                        \
    }                                                                      \
  };

template <>
struct TypeTraits<bool> {
  static TTypeInfo Make() {
    static constexpr std::string_view names[] = {"False", "True"};
    return {.kind = TPropKind::pkEnumeration,
            .name = "Boolean",
            .width = owUByte,
            .minValue = 0,
            .maxValue = 1,
            .valueNames = names};
  }
};

// The storage of a published Boolean field. Writing an ordinal property stores
// the low byte of the value in a one-byte field, whatever the value, so a
// Boolean field written with 2 holds 2 (and reads back 2); a C++ bool cannot
// hold that. True when the byte is not 0. Properties written through a setter
// may use bool.
class Boolean {
 public:
  constexpr Boolean(bool value = false) : byte_(value ? 1 : 0) {}  // NOLINT: stands in for bool
  static constexpr Boolean FromByte(std::uint8_t byte) {
    Boolean b;
    b.byte_ = byte;
    return b;
  }
  constexpr operator bool() const { return byte_ != 0; }  // NOLINT: stands in for bool
  constexpr std::uint8_t Byte() const { return byte_; }

 private:
  std::uint8_t byte_;
};

// One type, one record: a Boolean field has the record of bool.
template <>
inline const TTypeInfo& TypeInfoOf<Boolean>() {
  return TypeInfoOf<bool>();
}

// A set of the values of an enumeration (0 up to the storage's bit count),
// stored as bits.
template <class E, class Storage = std::uint32_t>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> elements) {
    for (E e : elements) bits_ = static_cast<Storage>(bits_ | Bit(e));
  }
  static constexpr TSet FromBits(Storage bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr Storage Bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr TSet& Include(E e) {
    bits_ = static_cast<Storage>(bits_ | Bit(e));
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    bits_ = static_cast<Storage>(bits_ & ~Bit(e));
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSet, TSet) = default;

 private:
  static constexpr Storage Bit(E e) { return static_cast<Storage>(Storage{1} << static_cast<unsigned>(e)); }
  Storage bits_ = 0;
};

template <class E, class S>
struct TypeTraits<TSet<E, S>> {
  static TTypeInfo Make() {
    const TTypeInfo& element = TypeInfoOf<E>();
    const std::int32_t count = element.maxValue + 1;
    return {.kind = TPropKind::pkSet,
            .name = element.name,
            .width = count <= 8    ? owUByte
                     : count <= 16 ? owUWord
                                   : owSLong,
            .elementType = &element};
  }
};

}  // namespace tw
