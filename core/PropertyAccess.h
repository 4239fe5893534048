// Reading and writing published properties by their records, without knowing
// the object's class at compile time, and the identifier maps that let an
// integer property be given as a named constant ("clBtnFace").
//
// None of these operations validates: the form reader finds the property first
// (FindPropertyInfo), checks that it can be written (TPropInfo::Writable) and
// reports missing properties, read-only ones and unknown names itself. So that
// a caller that skips a check cannot crash the program, a write to a property
// without a writer of the matching kind does nothing, and a read of a property
// without a reader of the matching kind gives the zero value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/ClassInfo.h"
#include "core/TypeInfo.h"
#include "core/Variant.h"

namespace tw {

// ---- Finding ------------------------------------------------------------------

// FindPropertyInfo (class record, name) comes from the class information; this
// one takes a class-kind type record (none for any other kind).
const TPropInfo* FindPropertyInfo(const TTypeInfo& classType, std::string_view name);

// ---- Reading and writing ----------------------------------------------------------

// An ordinal (integer, character, enumeration, set) sign-extended for owSByte
// and owSWord and zero-extended for owUByte and owUWord, whatever the reader
// returns. Class-kind properties are read with ReadObjectProperty.
std::int32_t ReadOrdinalProperty(const TObject& object, const TPropInfo& prop);
// Stored with the width of the property's storage (-12 into a signed byte is
// the byte 0xF4). On a class-kind property, 0 stores none; any other number
// names no object and raises EInvalidCast.
void WriteOrdinalProperty(TObject& object, const TPropInfo& prop, std::int32_t value);

TObject* ReadObjectProperty(const TObject& object, const TPropInfo& prop);
// An object that is not of the property's class is not stored.
void WriteObjectProperty(TObject& object, const TPropInfo& prop, TObject* value);

// Long and short text; a wide-text property is read with ReadWideTextProperty.
std::string ReadTextProperty(const TObject& object, const TPropInfo& prop);
std::u16string ReadWideTextProperty(const TObject& object, const TPropInfo& prop);
// By the property's kind: long text as it is; wide text converted from the ANSI
// code page; short text cut to 255 bytes, and for a field to the type's
// maximum length, never inside a double-byte character.
void WriteTextProperty(TObject& object, const TPropInfo& prop, std::string_view text);

THandler ReadHandlerProperty(const TObject& object, const TPropInfo& prop);
void WriteHandlerProperty(TObject& object, const TPropInfo& prop, THandler handler);

long double ReadFloatProperty(const TObject& object, const TPropInfo& prop);
// Converted to the property's float type; a finite value beyond that type's
// range raises EOverflow, as the floating-point policy has it.
void WriteFloatProperty(TObject& object, const TPropInfo& prop, long double value);

std::int64_t ReadInt64Property(const TObject& object, const TPropInfo& prop);
void WriteInt64Property(TObject& object, const TPropInfo& prop, std::int64_t value);

TVariant ReadVariantProperty(const TObject& object, const TPropInfo& prop);
void WriteVariantProperty(TObject& object, const TPropInfo& prop, const TVariant& value);

// ---- Names of values ---------------------------------------------------------------

// The value whose name matches (bit-5 rule) in the base type of an enumeration,
// or -1 (also for the empty name and for kinds without names). For an integer
// type the name is a number text: ParseInteger, which raises EConvertError.
std::int32_t EnumValueOf(const TTypeInfo& type, std::string_view name);

// The ordinal value of a set type's element of that name (EnumValueOf on the
// element type), or -1.
std::int32_t SetElementValueOf(const TTypeInfo& setType, std::string_view name);
// The 32-bit set of the named elements; values above 31 are left out. Nothing
// when a name is unknown.
std::optional<std::uint32_t> SetValueOf(const TTypeInfo& setType, std::span<const std::string_view> names);

// ---- Identifier maps -----------------------------------------------------------------

struct TIdentMapEntry {
  std::int32_t value;
  std::string_view name;
};

// The value of the first entry whose name equals the identifier without regard
// to ASCII letter case; nothing after the last entry.
std::optional<std::int32_t> IdentToValue(std::string_view ident, std::span<const TIdentMapEntry> map);
// The name of the first entry with the value; nothing after the last entry.
std::optional<std::string_view> ValueToIdent(std::int32_t value, std::span<const TIdentMapEntry> map);

// The pair of functions an integer type registers, each calling the one above
// with its own table.
using TIdentToIntFn = std::optional<std::int32_t> (*)(std::string_view ident);
using TIntToIdentFn = std::optional<std::string_view> (*)(std::int32_t value);

// Registrations are kept in order for the whole run; a type record registered
// twice keeps its first functions.
void RegisterIdentMap(const TTypeInfo& type, TIdentToIntFn identToInt, TIntToIdentFn intToIdent);
// The functions of the first registration for exactly this type record (not
// another record of the same name); none when it has none.
TIdentToIntFn FindIdentMapper(const TTypeInfo& type);
TIntToIdentFn FindIntToIdent(const TTypeInfo& type);

}  // namespace tw
