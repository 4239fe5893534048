#include "core/PropertyAccess.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <vector>

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"
#include "runtime/Platform.h"

// Turning ANSI text into 16-bit characters is the platform's job on Windows;
// natively the ANSI code page is the one the program's texts are in, 932.

namespace tw {

namespace {

std::int32_t ExtendToWidth(std::int32_t value, TOrdWidth width) {
  const auto bits = static_cast<std::uint32_t>(value);
  switch (width) {
    case owSByte: return static_cast<std::int8_t>(bits & 0xFF);
    case owUByte: return static_cast<std::int32_t>(bits & 0xFF);
    case owSWord: return static_cast<std::int16_t>(bits & 0xFFFF);
    case owUWord: return static_cast<std::int32_t>(bits & 0xFFFF);
    case owSLong: break;
  }
  return value;
}

std::size_t ShortTextLimit(const TTypeInfo* type) {
  if (type && type->maxValue >= 1 && type->maxValue <= 255) return static_cast<std::size_t>(type->maxValue);
  return 255;
}

// One registration of an identifier map.
struct TIntConst {
  const TTypeInfo* type;
  TIdentToIntFn identToInt;
  TIntToIdentFn intToIdent;
};

struct IdentMapRegistry {
  std::mutex lock;
  std::vector<TIntConst> entries;
};

IdentMapRegistry& IdentMaps() {
  static IdentMapRegistry registry;
  return registry;
}

// The first registration for exactly this type record (empty when none).
TIntConst RegistrationOf(const TTypeInfo& type) {
  IdentMapRegistry& maps = IdentMaps();
  std::lock_guard guard(maps.lock);
  for (const TIntConst& entry : maps.entries)
    if (entry.type == &type) return entry;
  return {};
}

}  // namespace

// ---- Finding ------------------------------------------------------------------------

const TPropInfo* FindPropertyInfo(const TTypeInfo& classType, std::string_view name) {
  if (classType.kind != TPropKind::pkClass || !classType.classInfo) return nullptr;
  return FindPropertyInfo(*classType.classInfo, name);
}

// ---- Reading and writing -------------------------------------------------------------

std::int32_t ReadOrdinalProperty(const TObject& object, const TPropInfo& prop) {
  if (!prop.readOrdinal) return 0;
  const std::int32_t value = prop.readOrdinal(object, prop);
  return prop.type ? ExtendToWidth(value, prop.type->width) : value;
}

void WriteOrdinalProperty(TObject& object, const TPropInfo& prop, std::int32_t value) {
  if (prop.writeOrdinal) {
    prop.writeOrdinal(object, prop, value);
  } else if (prop.writeObject) {
    // A number cannot name an object; only the null reference can be written.
    if (value != 0) throw EInvalidCast(msg::InvalidCast);
    prop.writeObject(object, prop, nullptr);
  }
}

TObject* ReadObjectProperty(const TObject& object, const TPropInfo& prop) {
  return prop.readObject ? prop.readObject(object, prop) : nullptr;
}

void WriteObjectProperty(TObject& object, const TPropInfo& prop, TObject* value) {
  if (prop.writeObject) prop.writeObject(object, prop, value);
}

std::string ReadTextProperty(const TObject& object, const TPropInfo& prop) {
  return prop.readText ? prop.readText(object, prop) : std::string();
}

std::u16string ReadWideTextProperty(const TObject& object, const TPropInfo& prop) {
  return prop.readWideText ? prop.readWideText(object, prop) : std::u16string();
}

void WriteTextProperty(TObject& object, const TPropInfo& prop, std::string_view text) {
  if (prop.writeWideText) {
    prop.writeWideText(object, prop, platform::AnsiToWide(text));
  } else if (prop.writeText) {
    // A short text holds at most 255 bytes; a field of a shorter type keeps
    // only what fits it, while a setter gets the whole short text.
    if (prop.type && prop.type->kind == TPropKind::pkShortText)
      text = CutText(text, prop.writesField ? ShortTextLimit(prop.type) : 255);
    prop.writeText(object, prop, text);
  }
}

THandler ReadHandlerProperty(const TObject& object, const TPropInfo& prop) {
  return prop.readHandler ? prop.readHandler(object, prop) : THandler{};
}

void WriteHandlerProperty(TObject& object, const TPropInfo& prop, THandler handler) {
  if (prop.writeHandler) prop.writeHandler(object, prop, handler);
}

long double ReadFloatProperty(const TObject& object, const TPropInfo& prop) {
  return prop.readFloat ? prop.readFloat(object, prop) : 0.0L;
}

void WriteFloatProperty(TObject& object, const TPropInfo& prop, long double value) {
  if (!prop.writeFloat) return;
  // Storing into a narrower type overflows like any other operation would; the
  // conversion itself gives an infinity, which tells.
  if (std::isfinite(value) && prop.type) {
    const bool overflows = (prop.type->floatType == ftSingle && std::isinf(static_cast<float>(value))) ||
                           (prop.type->floatType == ftDouble && std::isinf(static_cast<double>(value)));
    if (overflows) throw EOverflow(msg::Overflow);
  }
  prop.writeFloat(object, prop, value);
}

std::int64_t ReadInt64Property(const TObject& object, const TPropInfo& prop) {
  return prop.readInt64 ? prop.readInt64(object, prop) : 0;
}

void WriteInt64Property(TObject& object, const TPropInfo& prop, std::int64_t value) {
  if (prop.writeInt64) prop.writeInt64(object, prop, value);
}

TVariant ReadVariantProperty(const TObject& object, const TPropInfo& prop) {
  return prop.readVariant ? prop.readVariant(object, prop) : TVariant();
}

void WriteVariantProperty(TObject& object, const TPropInfo& prop, const TVariant& value) {
  if (prop.writeVariant) prop.writeVariant(object, prop, value);
}

// ---- Names of values -------------------------------------------------------------------

std::int32_t EnumValueOf(const TTypeInfo& type, std::string_view name) {
  if (type.kind == TPropKind::pkInteger) return ParseInteger(name);
  if (type.kind != TPropKind::pkEnumeration || name.empty()) return -1;
  const TTypeInfo& base = type.BaseType();
  if (base.maxValue < 0) return -1;
  const std::size_t count = std::min(base.valueNames.size(), static_cast<std::size_t>(base.maxValue) + 1);
  for (std::size_t value = 0; value < count; ++value)
    if (NamesMatch(base.valueNames[value], name)) return static_cast<std::int32_t>(value);
  return -1;
}

std::int32_t SetElementValueOf(const TTypeInfo& setType, std::string_view name) {
  if (setType.kind != TPropKind::pkSet || !setType.elementType) return -1;
  return EnumValueOf(*setType.elementType, name);
}

std::optional<std::uint32_t> SetValueOf(const TTypeInfo& setType, std::span<const std::string_view> names) {
  std::uint32_t bits = 0;
  for (std::string_view name : names) {
    const std::int32_t value = SetElementValueOf(setType, name);
    if (value < 0) return std::nullopt;
    if (value <= 31) bits |= std::uint32_t{1} << value;
  }
  return bits;
}

// ---- Identifier maps -------------------------------------------------------------------

std::optional<std::int32_t> IdentToValue(std::string_view ident, std::span<const TIdentMapEntry> map) {
  for (const TIdentMapEntry& entry : map)
    if (SameAsciiText(entry.name, ident)) return entry.value;
  return std::nullopt;
}

std::optional<std::string_view> ValueToIdent(std::int32_t value, std::span<const TIdentMapEntry> map) {
  for (const TIdentMapEntry& entry : map)
    if (entry.value == value) return entry.name;
  return std::nullopt;
}

void RegisterIdentMap(const TTypeInfo& type, TIdentToIntFn identToInt, TIntToIdentFn intToIdent) {
  IdentMapRegistry& maps = IdentMaps();
  std::lock_guard guard(maps.lock);
  maps.entries.push_back({&type, identToInt, intToIdent});
}

TIdentToIntFn FindIdentMapper(const TTypeInfo& type) { return RegistrationOf(type).identToInt; }

TIntToIdentFn FindIntToIdent(const TTypeInfo& type) { return RegistrationOf(type).intToIdent; }

}  // namespace tw
