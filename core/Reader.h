// The form reader: reads the binary form format (a tagged, length-prefixed tree
// of components and property values) from a stream, creates or finds the
// components it describes, sets their published properties by name, and keeps
// references to other components for resolution once the whole tree exists.
//
// A stream is the signature "TPF0" followed by one object record. An object
// record is an optional flags byte (0xF0 ... 0xFF), the class name and the
// object name (short texts), property records (path, value) up to a 0 byte and
// child object records up to a 0 byte. Numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ClassInfo.h"
#include "core/Component.h"
#include "core/Persistent.h"
#include "core/Streams.h"
#include "core/TypeInfo.h"

namespace tw {

class TReader;
class TWriter;

// The tag byte in front of every value.
enum TStreamValue : std::uint8_t {
  svNull = 0,  // no payload; the end marker of every list
  svList = 1,
  svInt8 = 2,
  svInt16 = 3,
  svInt32 = 4,
  svExtended = 5,  // 10 bytes, 80-bit extended precision
  svString = 6,    // short text
  svIdent = 7,     // short text naming an identifier
  svFalse = 8,
  svTrue = 9,
  svBinary = 10,  // 4-byte length and the bytes
  svSet = 11,     // element names up to an empty one
  svLString = 12,
  svNil = 13,
  svCollection = 14,
  svSingle = 15,
  svCurrency = 16,  // 64-bit integer, the amount times 10000
  svDate = 17,      // 64-bit float
  svWString = 18,   // 4-byte count of 16-bit characters, then the characters
  svInt64 = 19,
};

// The flags of an object record (the low nibble of its flags byte).
enum TObjectFlag : std::uint8_t {
  ofInherited = 0,  // the object exists already (an ancestor's form made it)
  ofChildPos = 1,   // an integer with the child's position follows the flags byte
  ofInline = 2,     // an embedded root: names in its subtree are looked up in it
};
using TObjectFlags = TSet<TObjectFlag>;

// What ReadObjectFlags gives: the flags and, with ofChildPos, the position.
struct TObjectPrefix {
  TObjectFlags flags;
  std::int32_t childPosition = 0;
};

// The bytes of the signature.
inline constexpr std::string_view kFormSignature = "TPF0";
// The buffer size every reader of this system is created with.
inline constexpr std::size_t kReaderBufferSize = 4096;

// How deeply records and values may nest. Real forms nest a few levels; a
// crafted stream must not exhaust the stack, it gets a format error instead.
inline constexpr int kMaxReadNesting = 128;

// Procedures a class hands to DefineCustomProperty. The writing side is part of
// the declaration so that a class declares each custom property once; nothing
// in this system writes forms, so the reader ignores it.
using TReaderProc = std::function<void(TReader& reader)>;
using TWriterProc = std::function<void(TWriter& writer)>;
using TStreamProc = std::function<void(TStream& stream)>;

// A collection property's object: a list of items that a stream fills through
// svCollection values.
class TCollection : public TPersistent {
  TW_CLASS(TCollection, TPersistent)

 public:
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void Clear() = 0;
  // Appends a new item and gives it for its property records.
  virtual TPersistent& Add() = 0;
};

// A reference to another component, set once the component can be found: the
// object and property to set, the component whose owned components the name is
// looked up in, the root name (empty while the reference belongs to one read)
// and the name as read (the rest after the root name once it is global).
struct TPropFixup {
  TPersistent* object = nullptr;
  TComponent* instanceRoot = nullptr;
  const TPropInfo* prop = nullptr;
  std::string rootName;
  std::string name;
};

// The components of one load that wait for their after-load step, in the order
// their records were finished. Appending and the "already there" test are O(1).
// A listed component that is destroyed before the walk is dropped from the
// list, so that the walk never reaches freed memory.
class TNotificationList {
 public:
  TNotificationList();
  ~TNotificationList();
  TNotificationList(const TNotificationList&) = delete;
  TNotificationList& operator=(const TNotificationList&) = delete;

  void Append(TComponent& component);
  // Appends unless the component is listed already; true when appended.
  bool AppendUnique(TComponent& component);
  bool Contains(const TComponent& component) const;
  std::size_t Count() const { return items_.size(); }
  // The entry at the index; none when that component was destroyed meanwhile.
  TComponent* At(std::size_t index) const { return items_[index]; }
  // The after-load step of every listed component, in list order.
  void NotifyAll();

  // Called as any object is destroyed.
  void Forget(const TPersistent* object);
  // Called as a listed component is destroyed.
  void Forget(TComponent& component);

 private:
  // Whether a walk is needed to find a component: the component's own mark
  // (the list it waits in and its place there) answers for nearly every entry,
  // except a component listed twice or listed while waiting in another list.
  bool NeedsWalk() const { return repeats_ || foreign_; }
  void Blank(const TPersistent* object);

  std::vector<TComponent*> items_;
  bool repeats_ = false;  // some component was appended twice
  bool foreign_ = false;  // some component was marked by another list
};

// A hook of the reader: a callback with a context pointer, called with the
// reader first. An unset hook is not called.
template <class... Args>
struct TReaderHook {
  void (*fn)(void* context, TReader& reader, Args... args) = nullptr;
  void* context = nullptr;

  explicit operator bool() const { return fn != nullptr; }
  void operator()(TReader& reader, Args... args) const { fn(context, reader, args...); }
};

// (name, code, error): may supply the code of a handler name and clear or set the error.
using TMethodLookupHook = TReaderHook<std::string_view, TMethodCode&, bool&>;
// (component, name): may change the name a created component gets.
using TSetObjectNameHook = TReaderHook<TComponent&, std::string&>;
// (name): may change a reference name before it is looked up.
using TMapReferenceHook = TReaderHook<std::string&>;
// (name, class, component): may supply the object of an inherited record.
using TInheritedNotFoundHook = TReaderHook<std::string_view, const TClassInfo&, TComponent*&>;
// (message, handled): setting handled makes reading go on with the next record.
using TReadErrorHook = TReaderHook<std::string_view, bool&>;
// (class name, class): may change the class a record's class name resolves to.
using TResolveClassHook = TReaderHook<std::string_view, const TClassInfo*&>;
// (class, component): may supply the object instead of constructing one.
using TCreateObjectHook = TReaderHook<const TClassInfo&, TComponent*&>;

// The base of form readers (and writers): the stream, the buffer and the roots.
class TFiler : public TObject {
  TW_CLASS(TFiler, TObject)

 public:
  TFiler(TStream& stream, std::size_t bufferSize);
  ~TFiler() override;
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;

  TStream& Stream() const { return stream_; }
  TComponent* Root() const { return root_; }
  virtual void SetRoot(TComponent* root);
  // Where reference names and inherited objects are looked up.
  TComponent* LookupRoot() const { return lookupRoot_; }

  // Called by an object's DeclareCustomProperties for each property that it
  // handles itself. The reader calls the read procedure when the name is the
  // one it is looking for.
  virtual void DefineCustomProperty(std::string_view name, const TReaderProc& read, const TWriterProc& write = {},
                                    bool hasData = false) = 0;
  // The same for a property whose value is a block of bytes, handed to the
  // procedure as a memory stream.
  virtual void DefineBinaryCustomProperty(std::string_view name, const TStreamProc& read, const TStreamProc& write = {},
                                          bool hasData = false) = 0;

 protected:
  TStream& stream_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t bufferSize_;
  std::size_t bufferPos_ = 0;  // bytes of the buffer consumed
  std::size_t bufferEnd_ = 0;  // bytes the buffer holds
  TComponent* root_ = nullptr;
  TComponent* lookupRoot_ = nullptr;
};

class TReader : public TFiler {
  TW_CLASS(TReader, TFiler)

 public:
  explicit TReader(TStream& stream, std::size_t bufferSize = kReaderBufferSize);
  // Gives the unread buffered bytes back: the stream ends up just after the
  // last byte the reader consumed.
  ~TReader() override;

  // Where the reader stands in the stream.
  std::int64_t Position() const;
  // Gives the unread buffered bytes back and empties the buffer.
  virtual void FlushReadBuffer();

  // ---- Low level ----

  // Exactly count bytes; a stream that ends first raises EReadError.
  void ReadRaw(void* buffer, std::size_t count);
  TStreamValue ReadTag();
  TStreamValue PeekTag();
  // True when the next byte is the end marker 0; nothing is consumed.
  bool AtEndMarker();
  // Reads a tag; another tag is stepped back over, its whole value skipped,
  // and EReadError "invalid property value" raised.
  void ExpectTag(TStreamValue tag);
  void ExpectListStart() { ExpectTag(svList); }
  void ExpectEndMarker() { ExpectTag(svNull); }
  // A length byte and that many bytes, with no tag.
  std::string ReadShortText();
  // The four bytes "TPF0", else EReadError "invalid stream format".
  void CheckSignature();

  // ---- Typed values (tag and payload) ----

  std::int32_t ReadIntValue();
  std::int64_t ReadInt64Value();
  long double ReadExtendedValue();
  float ReadSingleValue();
  // The amount times 10000.
  std::int64_t ReadCurrencyValue();
  double ReadDateValue();
  std::string ReadTextValue();
  std::u16string ReadWideTextValue();
  // svIdent's text; svFalse "False", svTrue "True", svNil "nil", svNull "Null".
  std::string ReadIdentValue();
  char ReadCharValue();
  // Reads one tag and no payload: true exactly for svTrue.
  bool ReadBoolValue();
  // The 32-bit set of the named elements of the set type's element
  // enumeration; elements above 31 are left out.
  std::uint32_t ReadSetValue(const TTypeInfo& setType);
  // The items after an svCollection tag that was consumed already.
  void ReadCollectionValue(TCollection& collection);

  // ---- Records ----

  virtual TObjectPrefix ReadObjectFlags();
  // One property record into the instance.
  void ReadPropertyRecord(TPersistent& instance);
  // Reads a value into one published property of the object, by its kind.
  void AssignPropertyValue(TPersistent& object, const TPropInfo& prop);
  // Property records, then child records. The outermost body of a read
  // collects the references it meets and resolves them at its end.
  void ReadObjectBody(TComponent& instance);
  // One child record: into the given component, or into one that the record
  // creates (or, inherited, finds). Nothing when an error was reported and
  // handled.
  TComponent* ReadChildObject(TComponent* existing);
  // The whole stream into the root, or into a new instance of the stream's
  // root class when none is given; the root read.
  TComponent* ReadRootObject(TComponent* root);
  // The class of a child record's class name: the classes of the root's (and
  // lookup root's) published fields, then the class registry.
  const TClassInfo& ResolveObjectClass(std::string_view className);

  void DefineCustomProperty(std::string_view name, const TReaderProc& read, const TWriterProc& write = {},
                            bool hasData = false) override;
  void DefineBinaryCustomProperty(std::string_view name, const TStreamProc& read, const TStreamProc& write = {},
                                  bool hasData = false) override;

  // ---- Skipping ----

  void SkipValueData();
  void SkipPropertyRecord();
  void SkipObjectRecord(bool withHeader);
  void SkipSetNames();

  // ---- Overridable steps ----

  // Asks OnReadError; true when the error was handled and reading goes on.
  virtual bool ReportReadError(std::string_view message);
  virtual TComponent* FindInheritedObject(std::string_view name, const TClassInfo& cls);
  // The code of the root's published method of that name (of the given event
  // signature, when one is given), as OnMethodLookup leaves it; EReadError
  // "invalid property value" when it is not found.
  virtual TMethodCode LookupHandler(TComponent* root, std::string_view name, const TTypeInfo* signature = nullptr);
  virtual void NameCreatedObject(TComponent& component, std::string_view name);
  virtual void MapReferenceName(std::string& name);

  // ---- State ----

  TComponent* Owner() const { return owner_; }
  void SetOwner(TComponent* owner) { owner_ = owner; }
  TComponent* Parent() const { return parent_; }
  void SetParent(TComponent* parent) { parent_ = parent; }
  void SetLookupRoot(TComponent* root) { lookupRoot_ = root; }
  // The last segment of the path being read.
  const std::string& PropertyName() const { return propName_; }
  bool CanHandleErrors() const { return canHandleErrors_; }

  // The components to notify after loading; none: nothing is recorded.
  TNotificationList* NotificationList() const { return notifications_; }

  // Frees the list of references met by the current read (those not resolved
  // yet are dropped). The list exists while the outermost object body is read.
  void DropPendingReferences();

  const TMethodLookupHook& OnMethodLookup() const { return onMethodLookup_; }
  void SetOnMethodLookup(TMethodLookupHook hook) { onMethodLookup_ = hook; }
  const TSetObjectNameHook& OnSetObjectName() const { return onSetObjectName_; }
  void SetOnSetObjectName(TSetObjectNameHook hook) { onSetObjectName_ = hook; }
  const TMapReferenceHook& OnMapReference() const { return onMapReference_; }
  void SetOnMapReference(TMapReferenceHook hook) { onMapReference_ = hook; }
  const TInheritedNotFoundHook& OnInheritedNotFound() const { return onInheritedNotFound_; }
  void SetOnInheritedNotFound(TInheritedNotFoundHook hook) { onInheritedNotFound_ = hook; }
  const TReadErrorHook& OnReadError() const { return onReadError_; }
  void SetOnReadError(TReadErrorHook hook) { onReadError_ = hook; }
  const TResolveClassHook& OnResolveClass() const { return onResolveClass_; }
  void SetOnResolveClass(TResolveClassHook hook) { onResolveClass_ = hook; }
  const TCreateObjectHook& OnCreateObject() const { return onCreateObject_; }
  void SetOnCreateObject(TCreateObjectHook hook) { onCreateObject_ = hook; }

  // Called as any object is destroyed: references of this read to it go.
  void Forget(const TPersistent* object);

 private:
  class NestingGuard;

  void FillBuffer();
  void StepBack();
  void SkipBytes(std::uint64_t count);
  std::uint32_t ReadUInt32();
  // count bytes, taken in pieces so that a wrong length in a damaged stream
  // costs no more memory than the stream holds.
  void ReadBytesInto(std::string& out, std::uint64_t count);
  // Steps back over the tag just read, skips its value and raises
  // EReadError "invalid property value".
  [[noreturn]] void RejectValue();
  std::int32_t ReadIntPayload(TStreamValue tag);
  long double ReadExtendedPayload();
  float ReadSinglePayload();
  // svInt64 and svCurrency (the amount times 10000).
  std::int64_t ReadInt64Payload();
  double ReadDatePayload();
  std::string ReadTextPayload(TStreamValue tag);
  std::u16string ReadWidePayload();
  void ReadPropertyPath(TPersistent& instance, const std::string& path);
  void ReadVariantValue(TPersistent& object, const TPropInfo& prop);
  void AddPendingReference(TPersistent& object, const TPropInfo& prop, std::string name);
  // Takes one reference out of the list (leaving a hole).
  std::unique_ptr<TPropFixup> TakePendingReference(std::size_t index);
  TComponent* CreateObject(std::string_view className, TObjectFlags flags);

  TComponent* owner_ = nullptr;
  TComponent* parent_ = nullptr;
  std::unique_ptr<std::vector<std::unique_ptr<TPropFixup>>> fixups_;
  // How many references of the list each object has, so that forgetting a
  // destroyed object is O(1) when it has none.
  std::unordered_map<const TPersistent*, int> fixupObjects_;
  TNotificationList* notifications_ = nullptr;
  TMethodLookupHook onMethodLookup_;
  TSetObjectNameHook onSetObjectName_;
  TMapReferenceHook onMapReference_;
  TInheritedNotFoundHook onInheritedNotFound_;
  TReadErrorHook onReadError_;
  TResolveClassHook onResolveClass_;
  TCreateObjectHook onCreateObject_;
  std::string propName_;
  bool propPending_ = false;  // the current property still waits for a custom reader
  bool canHandleErrors_ = false;
  int nesting_ = 0;    // records and values being read or skipped inside each other
  int bodyDepth_ = 0;  // object bodies being read inside each other

  friend void ResolveLocalReferences(TReader& reader);
};

// Tells the live notification lists and readers of this thread that the object
// is destroyed, so that none of them touches it afterwards.
void ForgetInLiveLoads(const TPersistent* object);

}  // namespace tw
