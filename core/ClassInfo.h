// Published class information: the fields, methods, properties and message
// handlers that a class declares for streaming and dispatch, and their lookup by
// name. A class declares them once, next to its code:
//
//   class TForm1 : public TForm {
//     TW_PUBLISHED_CLASS(TForm1, TForm)
//    public:
//     TLabel* Label9 = nullptr;
//     void CalcClick(TObject* sender);
//   };
//
//   void TForm1::Publish(Publisher& p) {
//     TW_FIELD(Label9);
//     TW_METHOD(CalcClick);
//   }
//
// Properties are published with TW_PROPERTY(Name, getter, setter), where the
// getter and setter are data members or member functions, checked at compile
// time against each other.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "core/TypeInfo.h"
#include "core/Variant.h"
#include "runtime/Exceptions.h"
#include "runtime/Text.h"

namespace tw {

// Names of class information match when their lengths are equal and every byte
// pair is equal after clearing bit 5 of both (ASCII letters without case, and
// "@" with "`" as well). Names of components, field classes and identifiers
// compare with SameAsciiText instead, which takes only ASCII letters.
bool NamesMatch(std::string_view a, std::string_view b);
// The key under which NamesMatch-equal names fall together.
std::string NameKey(std::string_view name);

// ---- Handlers (event values) ----------------------------------------------

// Published methods are kept as one code type; the signature travels beside it.
using TMethodCode = void (TObject::*)();

// The pair of code and receiving object; unset when either is missing.
struct THandler {
  TMethodCode code = nullptr;
  TObject* receiver = nullptr;
  bool Assigned() const { return code != nullptr && receiver != nullptr; }
  friend bool operator==(const THandler&, const THandler&) = default;
};

template <class... Args>
class TEvent {
 public:
  using Code = void (TObject::*)(Args...);
  THandler handler;

  template <class T>
  void Bind(T* receiver, void (T::*method)(Args...)) {
    handler = {std::bit_cast<TMethodCode>(static_cast<Code>(method)), receiver};
  }
  explicit operator bool() const { return handler.Assigned(); }
  // Calls the handler; an unset one is skipped.
  void operator()(Args... args) const {
    if (handler.Assigned()) (handler.receiver->*std::bit_cast<Code>(handler.code))(args...);
  }
};

using TNotifyEvent = TEvent<TObject*>;

template <class E>
struct EventTypeName {
  static constexpr std::string_view value = "TMethod";
};
template <>
struct EventTypeName<TNotifyEvent> {
  static constexpr std::string_view value = "TNotifyEvent";
};

template <class... Args>
struct TypeTraits<TEvent<Args...>> {
  static TTypeInfo Make() { return {.kind = TPropKind::pkMethod, .name = EventTypeName<TEvent<Args...>>::value}; }
};

// ---- Messages --------------------------------------------------------------

// A message delivered synchronously to an object: number, two parameters and a result.
struct TMessage {
  std::uint32_t msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::intptr_t result = 0;
};

// ---- Table entries ---------------------------------------------------------

struct TPublishedField {
  std::string_view name;
  const TClassInfo* fieldClass;
  TObject* (*get)(const TObject& object);
  // Stores a component (or none); an object not of the field's class is not stored.
  void (*set)(TObject& object, TObject* value);
};

struct TPublishedMethod {
  std::string_view name;
  TMethodCode code;
  const TTypeInfo* signature;  // the event type this method can serve
};

struct TMessageHandler {
  std::uint16_t index;
  void (*call)(TObject& object, TMessage& message);
};

inline constexpr std::int32_t kNoIndex = INT32_MIN;
inline constexpr std::int32_t kNoDefault = INT32_MIN;

// A published property: its type, name, and the access that fits its kind. A
// property without write access has no writer.
struct TPropInfo {
  const TTypeInfo* type = nullptr;
  std::string_view name;
  std::int32_t index = kNoIndex;
  // The value the constructor gives an ordinal property, or kNoDefault.
  std::int32_t defaultValue = kNoDefault;
  // The property's number across the class and its ancestors: the ancestors'
  // properties come first, then the class's own in declaration order.
  std::uint16_t nameIndex = 0;
  // The writer stores into a data member (rather than calling a setter).
  bool writesField = false;

  // Integer, character, enumeration and set kinds.
  std::int32_t (*readOrdinal)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeOrdinal)(TObject&, const TPropInfo&, std::int32_t) = nullptr;
  // Class kind.
  TObject* (*readObject)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeObject)(TObject&, const TPropInfo&, TObject*) = nullptr;
  // Text kinds.
  std::string (*readText)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeText)(TObject&, const TPropInfo&, std::string_view) = nullptr;
  // Wide text kind.
  std::u16string (*readWideText)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeWideText)(TObject&, const TPropInfo&, std::u16string_view) = nullptr;
  // Method kind.
  THandler (*readHandler)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeHandler)(TObject&, const TPropInfo&, THandler) = nullptr;
  // Float kind.
  long double (*readFloat)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeFloat)(TObject&, const TPropInfo&, long double) = nullptr;
  // 64-bit integer kind.
  std::int64_t (*readInt64)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeInt64)(TObject&, const TPropInfo&, std::int64_t) = nullptr;
  // Variant kind.
  TVariant (*readVariant)(const TObject&, const TPropInfo&) = nullptr;
  void (*writeVariant)(TObject&, const TPropInfo&, const TVariant&) = nullptr;

  bool Writable() const {
    return writeOrdinal || writeObject || writeText || writeWideText || writeHandler || writeFloat || writeInt64 ||
           writeVariant;
  }
};

// What one class itself publishes, in declaration order, with name indexes.
struct TPublishedTables {
  std::vector<TPublishedField> fields;
  std::vector<const TClassInfo*> fieldClasses;  // the field class table
  std::vector<TPublishedMethod> methods;
  std::vector<TPropInfo> properties;
  std::vector<TMessageHandler> messageHandlers;

  // First entry of each name (by NameKey), so lookups need no walk.
  std::unordered_map<std::string, std::size_t> fieldByName;
  std::unordered_map<std::string, std::size_t> methodByName;
  std::unordered_map<std::string, std::size_t> propertyByName;
  std::unordered_map<std::uint16_t, std::size_t> handlerByIndex;

  void BuildIndexes();
};

// ---- Lookups (from a class up through its parents, first match wins) -------

const TPublishedTables* PublishedTablesOf(const TClassInfo& cls);
// How many properties the class and its ancestors publish together.
std::uint16_t PublishedPropertyCount(const TClassInfo& cls);
const TPublishedField* FindPublishedField(const TClassInfo& cls, std::string_view name);
const TPublishedMethod* FindPublishedMethod(const TClassInfo& cls, std::string_view name);
const TPropInfo* FindPropertyInfo(const TClassInfo& cls, std::string_view name);
const TMessageHandler* FindMessageHandler(const TClassInfo& cls, std::uint16_t index);

// Index dispatch: a message whose number (its low 16 bits) is not 0 and below
// 0xC000 goes to the handler registered for that number by the object's class
// or its nearest ancestor; otherwise, or when there is none, to the object's
// DefaultHandler.
void DispatchById(TObject& object, TMessage& message);
// The same search starting at the given class (a handler passes a message on
// to its ancestors with the parent of its own class).
void DispatchFromClass(const TClassInfo* start, TObject& object, TMessage& message);

// The code of the published method of that name, or none.
TMethodCode PublishedMethodAddress(const TClassInfo& cls, std::string_view name);

// Stores the component in the object's published field of that name; false when
// there is no such field.
bool SetPublishedField(TObject& object, std::string_view name, TObject* value);

// Class operations.
inline std::string_view NameOfClass(const TClassInfo& cls) { return cls.name; }
bool ClassNameMatches(const TClassInfo& cls, std::string_view name);
inline bool DescendsFrom(const TClassInfo& cls, const TClassInfo& ancestor) { return cls.InheritsFrom(ancestor); }
inline bool IsInstanceOf(const TObject* object, const TClassInfo& cls) { return object && object->InheritsFrom(cls); }
// A checked conversion: raises EInvalidCast when the object is not of the class.
template <class T>
T* CheckedCast(TObject* object) {
  if (object && !object->InheritsFrom(T::StaticClassInfo())) throw EInvalidCast(msg::InvalidCast);
  return static_cast<T*>(object);
}

// ---- Publishing -----------------------------------------------------------

namespace detail {

template <class V>
constexpr bool kIsOrdinal =
    (std::is_integral_v<V> && sizeof(V) <= 4) || std::is_enum_v<V> || std::is_same_v<V, Boolean>;

// The type of a data member, from a pointer to it.
template <class M>
struct MemberType {};
template <class T, class C>
struct MemberType<T C::*> {
  using type = T;
};

// Whether a property's writer is a data member of type bool, which could not
// keep what a property write stores (see Boolean).
template <auto Setter>
constexpr bool WritesBoolField() {
  if constexpr (std::is_member_object_pointer_v<decltype(Setter)>)
    return std::is_same_v<typename MemberType<decltype(Setter)>::type, bool>;
  else
    return false;
}

template <class V>
struct IsSet : std::false_type {};
template <class E, class S>
struct IsSet<TSet<E, S>> : std::true_type {};

template <class V>
struct IsEvent : std::false_type {};
template <class... A>
struct IsEvent<TEvent<A...>> : std::true_type {};

template <class V>
std::int32_t ToOrdinal(const V& v) {
  if constexpr (IsSet<V>::value)
    return static_cast<std::int32_t>(v.Bits());
  else if constexpr (std::is_same_v<V, Boolean>)
    return v.Byte();
  else if constexpr (std::is_enum_v<V>)
    return static_cast<std::int32_t>(v);
  else
    return static_cast<std::int32_t>(v);
}

template <class V>
V FromOrdinal(std::int32_t value) {
  if constexpr (IsSet<V>::value)
    return V::FromBits(static_cast<std::uint32_t>(value));
  else if constexpr (std::is_same_v<V, bool>)
    return value != 0;
  else if constexpr (std::is_same_v<V, Boolean>)
    return Boolean::FromByte(static_cast<std::uint8_t>(value & 0xFF));
  else if constexpr (std::is_enum_v<V>)
    return static_cast<V>(static_cast<std::underlying_type_t<V>>(value));
  else
    return static_cast<V>(value);  // keeps the low bytes of the member's width
}

template <class T, auto Getter>
decltype(auto) Read(const TObject& object, const TPropInfo& info) {
  const T& self = static_cast<const T&>(object);
  if constexpr (std::is_member_object_pointer_v<decltype(Getter)>) {
    (void)info;
    return (self.*Getter);
  } else if constexpr (std::is_invocable_v<decltype(Getter), const T&, std::int32_t>) {
    return (self.*Getter)(info.index);
  } else {
    (void)info;
    return (self.*Getter)();
  }
}

// The value type a getter yields: a data member's type or a function's result.
template <class T, auto Getter>
using GetterValue =
    std::remove_cvref_t<decltype(Read<T, Getter>(std::declval<const TObject&>(), std::declval<const TPropInfo&>()))>;

template <class T, auto Setter, class V>
void Write(TObject& object, const TPropInfo& info, V value) {
  T& self = static_cast<T&>(object);
  if constexpr (std::is_member_object_pointer_v<decltype(Setter)>) {
    (void)info;
    self.*Setter = std::move(value);
  } else if constexpr (std::is_invocable_v<decltype(Setter), T&, std::int32_t, V>) {
    (self.*Setter)(info.index, std::move(value));
  } else {
    (void)info;
    (self.*Setter)(std::move(value));
  }
}

}  // namespace detail

// What Property gives back, to declare more about the property just published:
//   TW_PROPERTY(Tag, &Self::Tag, &Self::SetTag).Default(0);
class TPropertyDeclaration {
 public:
  TPropertyDeclaration(TPublishedTables& tables, std::size_t index) : tables_(tables), index_(index) {}
  // The value the constructor gives the property (ordinal kinds: integers,
  // characters, enumerations, Booleans, sets).
  template <class V>
  TPropertyDeclaration& Default(const V& value) {
    tables_.properties[index_].defaultValue = detail::ToOrdinal<V>(value);
    return *this;
  }

 private:
  TPublishedTables& tables_;
  std::size_t index_;
};

template <class T>
class ClassPublisher {
 public:
  using Class = T;
  explicit ClassPublisher(TPublishedTables& tables) : tables_(tables) {}

  // A field that receives the owned component of the same name.
  template <auto Member>
  void Field(std::string_view name) {
    using F = std::remove_pointer_t<std::remove_reference_t<decltype(std::declval<T&>().*Member)>>;
    const TClassInfo* fieldClass = &F::StaticClassInfo();
    bool known = false;
    for (auto* c : tables_.fieldClasses) known = known || c == fieldClass;
    if (!known) tables_.fieldClasses.push_back(fieldClass);
    tables_.fields.push_back({name, fieldClass,
                              [](const TObject& o) -> TObject* { return static_cast<const T&>(o).*Member; },
                              [](TObject& o, TObject* value) {
                                if (!value) {
                                  static_cast<T&>(o).*Member = nullptr;
                                } else if (value->InheritsFrom(F::StaticClassInfo())) {
                                  static_cast<T&>(o).*Member = static_cast<F*>(value);
                                }
                              }});
  }

  // A method that event properties can name.
  template <auto Method, class... Args>
  void PublishedMethod(std::string_view name, void (T::*)(Args...)) {
    using Code = void (TObject::*)(Args...);
    tables_.methods.push_back(
        {name, std::bit_cast<TMethodCode>(static_cast<Code>(Method)), &TypeInfoOf<TEvent<Args...>>()});
  }

  // A property read by Getter and written by Setter (nullptr: read-only). Each is
  // a data member or a member function (taking the index first when the
  // property has one). The type record may be given for a type whose C++ type
  // is shared (a component name is a text). A Boolean data member is a
  // tw::Boolean, not a bool.
  template <auto Getter, auto Setter = nullptr>
  TPropertyDeclaration Property(std::string_view name, const TTypeInfo* type = nullptr, std::int32_t index = kNoIndex) {
    using V = detail::GetterValue<T, Getter>;
    static_assert(!detail::WritesBoolField<Setter>(),
                  "a published Boolean field must be a tw::Boolean: a bool cannot keep every value written to it");
    TPropInfo info;
    info.type = type ? type : &TypeInfoOf<V>();
    info.name = name;
    info.index = index;
    info.writesField = std::is_member_object_pointer_v<decltype(Setter)>;
    constexpr bool writable = !std::is_same_v<decltype(Setter), std::nullptr_t>;
    if constexpr (detail::IsSet<V>::value || detail::kIsOrdinal<V>) {
      info.readOrdinal = [](const TObject& o, const TPropInfo& i) {
        return detail::ToOrdinal<V>(detail::Read<T, Getter>(o, i));
      };
      if constexpr (writable)
        info.writeOrdinal = [](TObject& o, const TPropInfo& i, std::int32_t v) {
          detail::Write<T, Setter, V>(o, i, detail::FromOrdinal<V>(v));
        };
    } else if constexpr (std::is_pointer_v<V>) {
      using P = std::remove_pointer_t<V>;
      info.readObject = [](const TObject& o, const TPropInfo& i) -> TObject* { return detail::Read<T, Getter>(o, i); };
      if constexpr (writable)
        info.writeObject = [](TObject& o, const TPropInfo& i, TObject* v) {
          // Only an object of the property's class (or none) can be stored.
          if (!v || v->InheritsFrom(P::StaticClassInfo())) detail::Write<T, Setter, V>(o, i, static_cast<V>(v));
        };
    } else if constexpr (std::is_same_v<V, std::string>) {
      info.readText = [](const TObject& o, const TPropInfo& i) { return std::string(detail::Read<T, Getter>(o, i)); };
      if constexpr (writable)
        info.writeText = [](TObject& o, const TPropInfo& i, std::string_view v) {
          detail::Write<T, Setter, std::string>(o, i, std::string(v));
        };
    } else if constexpr (std::is_same_v<V, std::u16string>) {
      info.readWideText = [](const TObject& o, const TPropInfo& i) {
        return std::u16string(detail::Read<T, Getter>(o, i));
      };
      if constexpr (writable)
        info.writeWideText = [](TObject& o, const TPropInfo& i, std::u16string_view v) {
          detail::Write<T, Setter, std::u16string>(o, i, std::u16string(v));
        };
    } else if constexpr (std::is_same_v<V, TVariant>) {
      info.readVariant = [](const TObject& o, const TPropInfo& i) { return TVariant(detail::Read<T, Getter>(o, i)); };
      if constexpr (writable)
        info.writeVariant = [](TObject& o, const TPropInfo& i, const TVariant& v) {
          detail::Write<T, Setter, TVariant>(o, i, v);
        };
    } else if constexpr (detail::IsEvent<V>::value) {
      info.readHandler = [](const TObject& o, const TPropInfo& i) { return detail::Read<T, Getter>(o, i).handler; };
      if constexpr (writable)
        info.writeHandler = [](TObject& o, const TPropInfo& i, THandler h) {
          V event;
          event.handler = h;
          detail::Write<T, Setter, V>(o, i, event);
        };
    } else if constexpr (std::is_floating_point_v<V>) {
      info.readFloat = [](const TObject& o, const TPropInfo& i) {
        return static_cast<long double>(detail::Read<T, Getter>(o, i));
      };
      if constexpr (writable)
        info.writeFloat = [](TObject& o, const TPropInfo& i, long double v) {
          detail::Write<T, Setter, V>(o, i, static_cast<V>(v));
        };
    } else if constexpr (std::is_same_v<V, std::int64_t>) {
      info.readInt64 = [](const TObject& o, const TPropInfo& i) { return detail::Read<T, Getter>(o, i); };
      if constexpr (writable)
        info.writeInt64 = [](TObject& o, const TPropInfo& i, std::int64_t v) {
          detail::Write<T, Setter, std::int64_t>(o, i, v);
        };
    } else {
      static_assert(sizeof(V) == 0, "no published access for this property type");
    }
    tables_.properties.push_back(info);
    return TPropertyDeclaration(tables_, tables_.properties.size() - 1);
  }

  // An index-dispatched message handler.
  template <auto Handler>
  void MessageHandler(std::uint16_t index) {
    tables_.messageHandlers.push_back({index, [](TObject& o, TMessage& m) { (static_cast<T&>(o).*Handler)(m); }});
  }

 private:
  TPublishedTables& tables_;
};

template <class T>
TPublishedTables BuildPublishedTables() {
  TPublishedTables tables;
  ClassPublisher<T> publisher(tables);
  T::Publish(publisher);
  // The ancestors' properties are numbered first.
  const std::uint16_t first = PublishedPropertyCount(T::Inherited::StaticClassInfo());
  for (std::size_t i = 0; i < tables.properties.size(); ++i)
    tables.properties[i].nameIndex = static_cast<std::uint16_t>(first + i);
  tables.BuildIndexes();
  return tables;
}

template <class T>
constexpr TComponent* (*ConstructorOf())(TComponent*) {
  if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*> && !std::is_abstract_v<T>)
    return [](TComponent* owner) -> TComponent* { return new T(owner); };
  else
    return nullptr;
}

// Declares the class record of a class that publishes fields, methods,
// properties or message handlers; the class defines Publish in its source.
#define TW_PUBLISHED_CLASS(Name, Parent)                                                                        \
 public:                                                                                                        \
  using Inherited = Parent;                                                                                     \
  using Self = Name;                                                                                            \
  using Publisher = ::tw::ClassPublisher<Name>;                                                                 \
  static const ::tw::TClassInfo& StaticClassInfo() {                                                            \
    static const ::tw::TClassInfo info{#Name, &Parent::StaticClassInfo(), sizeof(Name), &Name::PublishedTables, \
                                       ::tw::ConstructorOf<Name>()};                                            \
    return info;                                                                                                \
  }                                                                                                             \
  const ::tw::TClassInfo& ClassType() const override { return StaticClassInfo(); }                              \
  static const ::tw::TPublishedTables& PublishedTables() {                                                      \
    static const ::tw::TPublishedTables tables = ::tw::BuildPublishedTables<Name>();                            \
    return tables;                                                                                              \
  }                                                                                                             \
  static void Publish(Publisher& p);                                                                            \
                                                                                                                \
 private:

// Inside Publish(Publisher& p):
#define TW_FIELD(Member) p.template Field<&Self::Member>(#Member)
#define TW_METHOD(Method) p.template PublishedMethod<&Self::Method>(#Method, &Self::Method)
#define TW_PROPERTY(Name, ...) p.template Property<__VA_ARGS__>(#Name)
#define TW_MESSAGE(Number, Handler) p.template MessageHandler<&Self::Handler>(Number)

}  // namespace tw
