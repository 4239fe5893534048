#include "core/Reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "core/ClassRegistry.h"
#include "core/FormLoading.h"
#include "core/PropertyAccess.h"
#include "runtime/Exceptions.h"

namespace tw {

namespace {

// Texts of the identifier values that have tags of their own.
constexpr std::string_view kFalseIdent = "False";
constexpr std::string_view kTrueIdent = "True";
constexpr std::string_view kNilIdent = "nil";
constexpr std::string_view kNullIdent = "Null";

// Long payloads are read in pieces of this size, so that a damaged length
// costs no more memory than the stream actually holds.
constexpr std::size_t kReadPiece = 64 * 1024;

std::uint16_t Le16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | b[1] << 8); }

std::uint32_t Le32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::uint64_t Le64(const std::uint8_t* b) {
  return static_cast<std::uint64_t>(Le32(b)) | static_cast<std::uint64_t>(Le32(b + 4)) << 32;
}

// The value of an 80-bit extended-precision number (64-bit significand with
// an explicit integer bit, 15-bit exponent, sign). Decoded arithmetically, so
// that every bit pattern gives a proper value of the machine's long double and
// none reaches the floating-point unit as an unsupported encoding.
long double DecodeExtended(const std::uint8_t* b) {
  const std::uint64_t significand = Le64(b);
  const int exponent = Le16(b + 8) & 0x7FFF;
  const bool negative = (b[9] & 0x80) != 0;
  long double value;
  if (exponent == 0x7FFF) {
    value = (significand << 1) == 0 ? std::numeric_limits<long double>::infinity()
                                    : std::numeric_limits<long double>::quiet_NaN();
  } else {
    // Denormals use the smallest exponent; the integer bit is taken as stored.
    const int unbiased = (exponent == 0 ? 1 : exponent) - 16383 - 63;
    value = std::ldexp(static_cast<long double>(significand), unbiased);
  }
  return negative ? -value : value;
}

// The notification lists and readers alive on this thread, told when any object
// is destroyed. Plain pointers, so that objects destroyed during the program's
// shutdown find nothing destroyed before them here.
thread_local std::vector<TNotificationList*>* liveLists = nullptr;
thread_local std::vector<TReader*>* liveReaders = nullptr;

template <class T>
void Enlist(std::vector<T*>*& live, T* item) {
  if (!live) live = new std::vector<T*>;
  live->push_back(item);
}

template <class T>
void Delist(std::vector<T*>*& live, T* item) {
  if (!live) return;
  auto it = std::find(live->rbegin(), live->rend(), item);
  if (it != live->rend()) live->erase(std::next(it).base());
  if (live->empty()) {
    delete live;
    live = nullptr;
  }
}

}  // namespace

void ForgetInLiveLoads(const TPersistent* object) {
  if (liveLists)
    for (TNotificationList* list : *liveLists) list->Forget(object);
  if (liveReaders)
    for (TReader* reader : *liveReaders) reader->Forget(object);
}

// ---- TNotificationList ------------------------------------------------------------

TNotificationList::TNotificationList() {
  InstallDestructionHook();
  Enlist(liveLists, this);
}

TNotificationList::~TNotificationList() {
  for (TComponent* component : items_)
    if (component && component->notificationList_ == this) component->notificationList_ = nullptr;
  Delist(liveLists, this);
}

void TNotificationList::Append(TComponent& component) {
  if (component.notificationList_ == this) {
    repeats_ = true;
  } else if (component.notificationList_) {
    foreign_ = true;
  } else {
    component.notificationList_ = this;
    component.notificationIndex_ = items_.size();
  }
  items_.push_back(&component);
}

bool TNotificationList::AppendUnique(TComponent& component) {
  if (Contains(component)) return false;
  Append(component);
  return true;
}

bool TNotificationList::Contains(const TComponent& component) const {
  if (component.notificationList_ == this) return true;
  return foreign_ && std::find(items_.begin(), items_.end(), &component) != items_.end();
}

void TNotificationList::NotifyAll() {
  // An after-load step may destroy components further down the list; those
  // entries are emptied by Forget and passed over.
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (TComponent* component = items_[i]) component->AfterLoad();
}

void TNotificationList::Forget(TComponent& component) {
  if (component.notificationList_ == this) {
    items_[component.notificationIndex_] = nullptr;
    component.notificationList_ = nullptr;
  }
  if (NeedsWalk()) Blank(&component);
}

void TNotificationList::Forget(const TPersistent* object) {
  // Marked components leave through Forget(TComponent&) as they are destroyed.
  if (NeedsWalk()) Blank(object);
}

void TNotificationList::Blank(const TPersistent* object) {
  for (TComponent*& item : items_)
    if (item && static_cast<const TPersistent*>(item) == object) item = nullptr;
}

// ---- TFiler ------------------------------------------------------------------------

TFiler::TFiler(TStream& stream, std::size_t bufferSize)
    : stream_(stream), bufferSize_(std::max<std::size_t>(bufferSize, 1)) {
  buffer_ = std::make_unique<std::uint8_t[]>(bufferSize_);
}

TFiler::~TFiler() = default;

void TFiler::SetRoot(TComponent* root) { root_ = root; }

// ---- TReader: buffer and low level ---------------------------------------------------

// Counts how deeply records and values lie inside each other; too deep a
// stream is refused before it can use up the stack.
class TReader::NestingGuard {
 public:
  explicit NestingGuard(TReader& reader) : reader_(reader) {
    if (reader_.nesting_ >= kMaxReadNesting) throw EReadError(msg::InvalidImage);
    ++reader_.nesting_;
  }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
  ~NestingGuard() { --reader_.nesting_; }

 private:
  TReader& reader_;
};

TReader::TReader(TStream& stream, std::size_t bufferSize) : TFiler(stream, bufferSize) {
  InstallDestructionHook();
  Enlist(liveReaders, this);
}

TReader::~TReader() {
  Delist(liveReaders, this);
  // A destructor cannot report a stream that refuses to move back.
  try {
    if (bufferPos_ != bufferEnd_)
      stream_.Seek(static_cast<std::int64_t>(bufferPos_) - static_cast<std::int64_t>(bufferEnd_), soCurrent);
  } catch (...) {
  }
}

std::int64_t TReader::Position() const {
  return stream_.Position() - static_cast<std::int64_t>(bufferEnd_) + static_cast<std::int64_t>(bufferPos_);
}

void TReader::FlushReadBuffer() {
  if (bufferPos_ != bufferEnd_)
    stream_.Seek(static_cast<std::int64_t>(bufferPos_) - static_cast<std::int64_t>(bufferEnd_), soCurrent);
  bufferPos_ = 0;
  bufferEnd_ = 0;
}

void TReader::FillBuffer() {
  const std::size_t count = std::min(stream_.Read(buffer_.get(), bufferSize_), bufferSize_);
  if (count == 0) throw EReadError(msg::ReadError);
  bufferPos_ = 0;
  bufferEnd_ = count;
}

void TReader::StepBack() {
  if (bufferPos_ > 0) --bufferPos_;
}

void TReader::ReadRaw(void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    if (bufferPos_ == bufferEnd_) FillBuffer();
    const std::size_t take = std::min(count, bufferEnd_ - bufferPos_);
    std::memcpy(out, buffer_.get() + bufferPos_, take);
    bufferPos_ += take;
    out += take;
    count -= take;
  }
}

void TReader::SkipBytes(std::uint64_t count) {
  while (count > 0) {
    if (bufferPos_ == bufferEnd_) FillBuffer();
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, bufferEnd_ - bufferPos_));
    bufferPos_ += take;
    count -= take;
  }
}

TStreamValue TReader::ReadTag() {
  if (bufferPos_ == bufferEnd_) FillBuffer();
  return static_cast<TStreamValue>(buffer_[bufferPos_++]);
}

TStreamValue TReader::PeekTag() {
  const TStreamValue tag = ReadTag();
  StepBack();
  return tag;
}

bool TReader::AtEndMarker() { return PeekTag() == svNull; }

void TReader::ExpectTag(TStreamValue tag) {
  if (ReadTag() != tag) RejectValue();
}

void TReader::RejectValue() {
  StepBack();
  SkipValueData();
  throw EReadError(msg::InvalidPropertyValue);
}

std::uint32_t TReader::ReadUInt32() {
  std::uint8_t bytes[4];
  ReadRaw(bytes, sizeof bytes);
  return Le32(bytes);
}

void TReader::ReadBytesInto(std::string& out, std::uint64_t count) {
  out.clear();
  while (count > 0) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, kReadPiece));
    const std::size_t at = out.size();
    out.resize(at + take);
    ReadRaw(out.data() + at, take);
    count -= take;
  }
}

std::string TReader::ReadShortText() {
  const auto length = static_cast<std::uint8_t>(ReadTag());
  std::string text(length, '\0');
  ReadRaw(text.data(), length);
  return text;
}

void TReader::CheckSignature() {
  char signature[4];
  ReadRaw(signature, sizeof signature);
  if (std::string_view(signature, sizeof signature) != kFormSignature) throw EReadError(msg::InvalidImage);
}

// ---- TReader: typed values ---------------------------------------------------------------

std::int32_t TReader::ReadIntPayload(TStreamValue tag) {
  std::uint8_t bytes[4];
  switch (tag) {
    case svInt8: ReadRaw(bytes, 1); return static_cast<std::int8_t>(bytes[0]);
    case svInt16: ReadRaw(bytes, 2); return static_cast<std::int16_t>(Le16(bytes));
    case svInt32: ReadRaw(bytes, 4); return static_cast<std::int32_t>(Le32(bytes));
    default: RejectValue();
  }
}

long double TReader::ReadExtendedPayload() {
  std::uint8_t bytes[10];
  ReadRaw(bytes, sizeof bytes);
  return DecodeExtended(bytes);
}

std::string TReader::ReadTextPayload(TStreamValue tag) {
  std::string text;
  ReadBytesInto(text, tag == svString ? static_cast<std::uint8_t>(ReadTag()) : ReadUInt32());
  return text;
}

std::u16string TReader::ReadWidePayload() {
  const std::uint64_t count = ReadUInt32();
  std::string bytes;
  ReadBytesInto(bytes, count * 2);
  std::u16string text(static_cast<std::size_t>(count), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(Le16(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2 * i));
  return text;
}

std::int32_t TReader::ReadIntValue() { return ReadIntPayload(ReadTag()); }

float TReader::ReadSinglePayload() {
  std::uint8_t bytes[4];
  ReadRaw(bytes, sizeof bytes);
  return std::bit_cast<float>(Le32(bytes));
}

std::int64_t TReader::ReadInt64Payload() {
  std::uint8_t bytes[8];
  ReadRaw(bytes, sizeof bytes);
  return static_cast<std::int64_t>(Le64(bytes));
}

double TReader::ReadDatePayload() { return std::bit_cast<double>(ReadInt64Payload()); }

std::int64_t TReader::ReadInt64Value() {
  const TStreamValue tag = ReadTag();
  return tag == svInt64 ? ReadInt64Payload() : ReadIntPayload(tag);
}

long double TReader::ReadExtendedValue() {
  const TStreamValue tag = ReadTag();
  return tag == svExtended ? ReadExtendedPayload() : ReadIntPayload(tag);
}

float TReader::ReadSingleValue() {
  const TStreamValue tag = ReadTag();
  return tag == svSingle ? ReadSinglePayload() : static_cast<float>(ReadIntPayload(tag));
}

std::int64_t TReader::ReadCurrencyValue() {
  const TStreamValue tag = ReadTag();
  return tag == svCurrency ? ReadInt64Payload() : std::int64_t{ReadIntPayload(tag)} * 10000;
}

double TReader::ReadDateValue() {
  const TStreamValue tag = ReadTag();
  return tag == svDate ? ReadDatePayload() : ReadIntPayload(tag);
}

std::string TReader::ReadTextValue() {
  const TStreamValue tag = ReadTag();
  if (tag != svString && tag != svLString) RejectValue();
  return ReadTextPayload(tag);
}

std::u16string TReader::ReadWideTextValue() {
  if (ReadTag() != svWString) RejectValue();
  return ReadWidePayload();
}

std::string TReader::ReadIdentValue() {
  switch (ReadTag()) {
    case svIdent: return ReadShortText();
    case svFalse: return std::string(kFalseIdent);
    case svTrue: return std::string(kTrueIdent);
    case svNil: return std::string(kNilIdent);
    case svNull: return std::string(kNullIdent);
    default: RejectValue();
  }
}

char TReader::ReadCharValue() {
  ExpectTag(svString);
  const std::string text = ReadShortText();
  if (text.size() != 1) throw EReadError(msg::InvalidPropertyValue);
  return text[0];
}

bool TReader::ReadBoolValue() { return ReadTag() == svTrue; }

std::uint32_t TReader::ReadSetValue(const TTypeInfo& setType) {
  if (ReadTag() != svSet) RejectValue();
  std::uint32_t bits = 0;
  try {
    for (;;) {
      const std::string name = ReadShortText();
      if (name.empty()) break;
      const std::int32_t value = SetElementValueOf(setType, name);
      if (value < 0) throw EReadError(msg::InvalidPropertyValue);
      if (value <= 31) bits |= std::uint32_t{1} << value;
    }
  } catch (...) {
    // The rest of the set goes, so that the reader stands at the next record;
    // a stream that ends on the way keeps the first error.
    try {
      SkipSetNames();
    } catch (...) {
    }
    throw;
  }
  return bits;
}

void TReader::ReadCollectionValue(TCollection& collection) {
  NestingGuard nesting(*this);
  collection.BeginUpdate();
  try {
    if (!AtEndMarker()) collection.Clear();
    while (!AtEndMarker()) {
      const TStreamValue tag = PeekTag();
      if (tag == svInt8 || tag == svInt16 || tag == svInt32) ReadIntValue();
      TPersistent& item = collection.Add();
      ExpectListStart();
      while (!AtEndMarker()) ReadPropertyRecord(item);
      ExpectEndMarker();
    }
    ExpectEndMarker();
  } catch (...) {
    collection.EndUpdate();
    throw;
  }
  collection.EndUpdate();
}

// ---- TReader: skipping ------------------------------------------------------------------

void TReader::SkipValueData() {
  switch (ReadTag()) {
    case svList: {
      NestingGuard nesting(*this);
      while (!AtEndMarker()) SkipValueData();
      ReadTag();
      break;
    }
    case svInt8: SkipBytes(1); break;
    case svInt16: SkipBytes(2); break;
    case svInt32:
    case svSingle: SkipBytes(4); break;
    case svExtended: SkipBytes(10); break;
    case svString:
    case svIdent: SkipBytes(static_cast<std::uint8_t>(ReadTag())); break;
    case svBinary:
    case svLString: SkipBytes(ReadUInt32()); break;
    case svWString: SkipBytes(std::uint64_t{ReadUInt32()} * 2); break;
    case svSet: SkipSetNames(); break;
    case svCollection: {
      NestingGuard nesting(*this);
      while (!AtEndMarker()) {
        const TStreamValue tag = PeekTag();
        if (tag == svInt8 || tag == svInt16 || tag == svInt32) SkipValueData();
        ReadTag();  // the item's list start
        while (!AtEndMarker()) SkipPropertyRecord();
        ReadTag();
      }
      ReadTag();
      break;
    }
    case svCurrency:
    case svDate:
    case svInt64: SkipBytes(8); break;
    default: break;  // svNull, svFalse, svTrue, svNil and unknown tags carry nothing
  }
}

void TReader::SkipSetNames() {
  for (;;) {
    const auto length = static_cast<std::uint8_t>(ReadTag());
    if (length == 0) break;
    SkipBytes(length);
  }
}

void TReader::SkipPropertyRecord() {
  SkipBytes(static_cast<std::uint8_t>(ReadTag()));
  SkipValueData();
}

void TReader::SkipObjectRecord(bool withHeader) {
  // Without its header this is the rest of the record being read, which
  // counts for its depth already; counting it again would refuse a record
  // skipped at the limit that the same record read would pass.
  std::optional<NestingGuard> nesting;
  if (withHeader) {
    nesting.emplace(*this);
    ReadObjectFlags();
    SkipBytes(static_cast<std::uint8_t>(ReadTag()));
    SkipBytes(static_cast<std::uint8_t>(ReadTag()));
  }
  while (!AtEndMarker()) SkipPropertyRecord();
  ReadTag();
  while (!AtEndMarker()) SkipObjectRecord(true);
  ReadTag();
}

// ---- TReader: properties -----------------------------------------------------------------

TObjectPrefix TReader::ReadObjectFlags() {
  TObjectPrefix prefix;
  if (PeekTag() < 0xF0) return prefix;
  prefix.flags = TObjectFlags::FromBits(static_cast<std::uint8_t>(ReadTag()) & 0x0Fu);
  if (prefix.flags.Contains(ofChildPos)) prefix.childPosition = ReadIntValue();
  return prefix;
}

void TReader::ReadPropertyRecord(TPersistent& instance) {
  const std::string path = ReadShortText();
  std::optional<EReadError> failure;
  try {
    ReadPropertyPath(instance, path);
  } catch (const Exception& e) {
    std::string_view who = instance.ClassName();
    if (IsInstanceOf(&instance, TComponent::StaticClassInfo())) {
      const std::string& name = static_cast<const TComponent&>(instance).Name();
      if (!name.empty()) who = name;
    }
    failure.emplace(msg::PropertyException, std::initializer_list<FormatArg>{who, ".", path, e.Message()});
  }
  if (!failure) return;
  if (canHandleErrors_ && ReportReadError(failure->Message())) return;
  throw *failure;
}

void TReader::ReadPropertyPath(TPersistent& instance, const std::string& path) {
  canHandleErrors_ = true;
  TPersistent* current = &instance;
  std::size_t start = 0;
  for (std::size_t dot; (dot = path.find('.', start)) != std::string::npos; start = dot + 1) {
    const std::string_view segment(path.data() + start, dot - start);
    const TPropInfo* prop = FindPropertyInfo(current->ClassType(), segment);
    if (!prop) {
      SkipValueData();
      throw EReadError(msg::UnknownProperty);
    }
    // Only an object that is there can be walked into; the property holding
    // it is not assigned.
    TObject* value =
        prop->type && prop->type->kind == TPropKind::pkClass ? ReadObjectProperty(*current, *prop) : nullptr;
    if (!IsInstanceOf(value, TPersistent::StaticClassInfo())) {
      SkipValueData();
      throw EReadError(msg::InvalidPropertyPath);
    }
    current = static_cast<TPersistent*>(value);
  }
  propName_.assign(path, start);

  if (const TPropInfo* prop = FindPropertyInfo(current->ClassType(), propName_)) {
    AssignPropertyValue(*current, *prop);
    return;
  }

  // Not published: maybe the object reads it itself. Errors of its reading are
  // never passed over, the reader could not tell where the value ends.
  propPending_ = true;
  canHandleErrors_ = false;
  try {
    current->DeclareCustomProperties(this);
  } catch (...) {
    propPending_ = false;
    throw;
  }
  canHandleErrors_ = true;
  if (propPending_) {
    propPending_ = false;
    SkipValueData();
    throw EReadError(msg::UnknownProperty);
  }
}

void TReader::AssignPropertyValue(TPersistent& object, const TPropInfo& prop) {
  if (!prop.Writable() || !prop.type) {
    // The value goes too, so that an error hook that passes over the error
    // leaves the reader at the next record.
    SkipValueData();
    throw EReadError(prop.type ? msg::ReadOnlyProperty : msg::InvalidPropertyValue);
  }
  const TTypeInfo& type = *prop.type;
  switch (type.kind) {
    case TPropKind::pkInteger: {
      if (PeekTag() != svIdent) {
        WriteOrdinalProperty(object, prop, ReadIntValue());
        break;
      }
      const std::string ident = ReadIdentValue();
      const TIdentToIntFn toInt = FindIdentMapper(type);
      const std::optional<std::int32_t> value = toInt ? toInt(ident) : std::nullopt;
      if (!value) throw EReadError(msg::InvalidPropertyValue);
      WriteOrdinalProperty(object, prop, *value);
      break;
    }
    case TPropKind::pkChar: WriteOrdinalProperty(object, prop, static_cast<std::uint8_t>(ReadCharValue())); break;
    case TPropKind::pkEnumeration: {
      const std::int32_t value = EnumValueOf(type, ReadIdentValue());
      if (value < 0) throw EReadError(msg::InvalidPropertyValue);
      WriteOrdinalProperty(object, prop, value);
      break;
    }
    case TPropKind::pkFloat: WriteFloatProperty(object, prop, ReadExtendedValue()); break;
    case TPropKind::pkShortText:
    case TPropKind::pkLongText:
    case TPropKind::pkWideText: WriteTextProperty(object, prop, ReadTextValue()); break;
    case TPropKind::pkSet: WriteOrdinalProperty(object, prop, static_cast<std::int32_t>(ReadSetValue(type))); break;
    case TPropKind::pkClass: {
      const TStreamValue tag = PeekTag();
      if (tag == svNil) {
        ReadTag();
        WriteOrdinalProperty(object, prop, 0);
      } else if (tag == svCollection) {
        ReadTag();
        // Items can only be read into a collection that is there.
        TObject* target = ReadObjectProperty(object, prop);
        if (!IsInstanceOf(target, TCollection::StaticClassInfo())) RejectValue();
        ReadCollectionValue(*static_cast<TCollection*>(target));
      } else {
        // The component may come later in the stream, or from another form:
        // the reference is set once the whole tree was read.
        AddPendingReference(object, prop, ReadIdentValue());
      }
      break;
    }
    case TPropKind::pkMethod: {
      if (PeekTag() == svNil) {
        ReadTag();
        WriteHandlerProperty(object, prop, {});
        break;
      }
      const std::string name = ReadIdentValue();
      if (const TMethodCode code = LookupHandler(root_, name, &type)) WriteHandlerProperty(object, prop, {code, root_});
      break;
    }
    case TPropKind::pkVariant: ReadVariantValue(object, prop); break;
    case TPropKind::pkInt64: WriteInt64Property(object, prop, ReadInt64Value()); break;
    default:
      // No stream holds values of other kinds; passing over the value keeps
      // the reader in step.
      SkipValueData();
      throw EReadError(msg::InvalidPropertyValue);
  }
}

void TReader::ReadVariantValue(TPersistent& object, const TPropInfo& prop) {
  TVariant value;
  const TStreamValue tag = ReadTag();
  switch (tag) {
    case svNull: value = TVariant::Null(); break;
    case svNil: break;
    case svInt8: value = TVariant::Int8(static_cast<std::int8_t>(ReadIntPayload(tag))); break;
    case svInt16: value = TVariant::Int16(static_cast<std::int16_t>(ReadIntPayload(tag))); break;
    case svInt32: value = TVariant::Int32(ReadIntPayload(tag)); break;
    case svExtended: value = TVariant::Extended(ReadExtendedPayload()); break;
    case svString:
    case svLString: value = TVariant::Text(ReadTextPayload(tag)); break;
    case svFalse:
    case svTrue: value = TVariant::Boolean(tag == svTrue); break;
    case svSingle: value = TVariant::Single(ReadSinglePayload()); break;
    case svCurrency: value = TVariant::CurrencyScaled(ReadInt64Payload()); break;
    case svDate: value = TVariant::Date(ReadDatePayload()); break;
    case svWString: value = TVariant::WideText(ReadWidePayload()); break;
    default:
      StepBack();
      SkipValueData();
      throw EReadError(msg::ReadError);
  }
  WriteVariantProperty(object, prop, value);
}

TMethodCode TReader::LookupHandler(TComponent* root, std::string_view name, const TTypeInfo* signature) {
  TMethodCode code = nullptr;
  if (root) {
    // A method of another signature cannot serve the event: calling it would
    // pass arguments it does not take.
    const TPublishedMethod* method = FindPublishedMethod(root->ClassType(), name);
    if (method && (!signature || method->signature == signature)) code = method->code;
  }
  bool error = code == nullptr;
  if (onMethodLookup_) onMethodLookup_(*this, name, code, error);
  if (error) throw EReadError(msg::InvalidPropertyValue);
  return code;
}

void TReader::AddPendingReference(TPersistent& object, const TPropInfo& prop, std::string name) {
  if (!fixups_) fixups_ = std::make_unique<std::vector<std::unique_ptr<TPropFixup>>>();
  fixups_->push_back(std::make_unique<TPropFixup>(TPropFixup{&object, root_, &prop, {}, std::move(name)}));
  ++fixupObjects_[&object];
}

std::unique_ptr<TPropFixup> TReader::TakePendingReference(std::size_t index) {
  std::unique_ptr<TPropFixup> fixup = std::move((*fixups_)[index]);
  if (fixup) {
    auto it = fixupObjects_.find(fixup->object);
    if (it != fixupObjects_.end() && --it->second <= 0) fixupObjects_.erase(it);
  }
  return fixup;
}

void TReader::DropPendingReferences() {
  fixups_.reset();
  fixupObjects_.clear();
}

void TReader::Forget(const TPersistent* object) {
  auto it = fixupObjects_.find(object);
  if (it == fixupObjects_.end()) return;
  fixupObjects_.erase(it);
  for (auto& fixup : *fixups_)
    if (fixup && fixup->object == object) fixup.reset();
}

void TReader::DefineCustomProperty(std::string_view name, const TReaderProc& read, const TWriterProc&, bool) {
  if (!propPending_ || !read || !SameAsciiText(name, propName_)) return;
  read(*this);
  propPending_ = false;
  propName_.clear();
}

void TReader::DefineBinaryCustomProperty(std::string_view name, const TStreamProc& read, const TStreamProc&, bool) {
  if (!propPending_ || !read || !SameAsciiText(name, propName_)) return;
  // Errors here can be passed over: the value's extent is known.
  if (ReadTag() != svBinary) {
    StepBack();
    SkipValueData();
    canHandleErrors_ = true;
    throw EReadError(msg::InvalidPropertyValue);
  }
  std::uint64_t remaining = ReadUInt32();
  TMemoryStream data;
  std::uint8_t piece[4096];
  while (remaining > 0) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, sizeof piece));
    ReadRaw(piece, take);
    data.WriteBuffer(piece, take);
    remaining -= take;
  }
  data.SetPosition(0);
  canHandleErrors_ = true;
  read(data);
  propPending_ = false;
  propName_.clear();
}

// ---- TReader: objects ---------------------------------------------------------------------

void TReader::ReadObjectBody(TComponent& instance) {
  // The outermost body of a read collects the references to components and
  // resolves them once everything it encloses exists.
  const bool outermost = bodyDepth_ == 0;
  if (outermost && !fixups_) fixups_ = std::make_unique<std::vector<std::unique_ptr<TPropFixup>>>();
  ++bodyDepth_;
  try {
    while (!AtEndMarker()) ReadPropertyRecord(instance);
    ExpectEndMarker();

    TComponent* const oldParent = parent_;
    TComponent* const oldOwner = owner_;
    try {
      parent_ = instance.ChildParentFor();
      owner_ = instance.ChildOwnerFor();
      if (!owner_) owner_ = root_;
      while (!AtEndMarker()) ReadChildObject(nullptr);
      ExpectEndMarker();
    } catch (...) {
      parent_ = oldParent;
      owner_ = oldOwner;
      throw;
    }
    parent_ = oldParent;
    owner_ = oldOwner;
  } catch (...) {
    --bodyDepth_;
    if (outermost) DropPendingReferences();
    throw;
  }
  --bodyDepth_;
  if (outermost) ResolveLocalReferences(*this);
}

const TClassInfo& TReader::ResolveObjectClass(std::string_view className) {
  const TClassInfo* cls = root_ ? FieldClassIn(*root_, className) : nullptr;
  if (!cls && lookupRoot_ && lookupRoot_ != root_) cls = FieldClassIn(*lookupRoot_, className);
  if (!cls) cls = LookupClass(className);
  if (onResolveClass_) onResolveClass_(*this, className, cls);
  if (!cls || !cls->InheritsFrom(TComponent::StaticClassInfo())) throw EClassNotFound(msg::ClassNotFound, {className});
  return *cls;
}

TComponent* TReader::FindInheritedObject(std::string_view name, const TClassInfo& cls) {
  TComponent* component = lookupRoot_ ? lookupRoot_->FindOwned(name) : nullptr;
  if (!component && onInheritedNotFound_) onInheritedNotFound_(*this, name, cls, component);
  if (!component) throw EReadError(msg::AncestorNotFound, {name});
  return component;
}

void TReader::NameCreatedObject(TComponent& component, std::string_view name) {
  std::string newName(name);
  if (onSetObjectName_) onSetObjectName_(*this, component, newName);
  component.Rename(newName);
}

void TReader::MapReferenceName(std::string& name) {
  if (onMapReference_) onMapReference_(*this, name);
}

bool TReader::ReportReadError(std::string_view message) {
  bool handled = false;
  if (onReadError_) onReadError_(*this, message, handled);
  return handled;
}

TComponent* TReader::CreateObject(std::string_view className, TObjectFlags flags) {
  const TClassInfo& cls = ResolveObjectClass(className);
  TComponent* component = nullptr;
  if (onCreateObject_) onCreateObject_(*this, cls, component);
  if (!component) {
    // An abstract class has no constructor to create the object with.
    if (!cls.construct) throw EClassNotFound(msg::ClassNotFound, {className});
    // An embedded root is marked before its constructor runs, which would
    // otherwise start a load of its own.
    const TComponentFlags state = flags.Contains(ofInline) ? TComponentFlags{stLoading, stInline} : TComponentFlags{};
    component = TComponent::ConstructWithState(cls, owner_, state);
  }
  component->IncludeState(stLoading);
  return component;
}

TComponent* TReader::ReadChildObject(TComponent* existing) {
  NestingGuard nesting(*this);
  const TObjectPrefix prefix = ReadObjectFlags();
  const std::string className = ReadShortText();
  const std::string objectName = ReadShortText();
  const bool inherited = prefix.flags.Contains(ofInherited);
  const bool created = !inherited && !existing;

  // Parent and lookup root are this record's own; the enclosing record gets
  // its own back however this one ends.
  struct Restore {
    TReader& reader;
    TComponent* parent;
    TComponent* lookupRoot;
    ~Restore() {
      reader.parent_ = parent;
      reader.lookupRoot_ = lookupRoot;
    }
  } restore{*this, parent_, lookupRoot_};

  TComponent* component = existing;
  try {
    if (!component) {
      if (inherited) {
        const TClassInfo& cls = ResolveObjectClass(className);
        component = FindInheritedObject(objectName, cls);
        parent_ = component->StreamParentOf();
        if (!parent_) parent_ = root_;
      } else {
        component = CreateObject(className, prefix.flags);
      }
    }
    component->IncludeState(stLoading);
    if (!inherited) {
      component->SetStreamParent(parent_);
      NameCreatedObject(*component, objectName);
      const TGlobalComponentFinder finder = GlobalComponentFinder();
      if (finder && finder(objectName) == component) component->IncludeState(stInline);
    }
  } catch (const Exception& e) {
    if (created) FreeIfPresent(component);
    SkipObjectRecord(false);
    if (!ReportReadError(e.Message())) throw;
    return nullptr;
  }

  try {
    if (component->HasState(stInline)) lookupRoot_ = component;
    component->IncludeState(stReading);
    component->ReadStateFrom(*this);
    component->ExcludeState(stReading);
    if (prefix.flags.Contains(ofChildPos) && parent_) parent_->PlaceChildAt(*component, prefix.childPosition);
    // A component is listed after everything it encloses; one that an
    // ancestor's form or an embedded root listed already is not listed twice.
    if (notifications_) {
      if (!inherited && !component->HasState(stInline))
        notifications_->Append(*component);
      else
        notifications_->AppendUnique(*component);
    }
  } catch (...) {
    if (created) FreeIfPresent(component);
    throw;
  }
  return component;
}

TComponent* TReader::ReadRootObject(TComponent* root) {
  CheckSignature();
  TNameSpaceLock::WriteGuard hold(NameSpaceLock());
  TComponent* result = root;
  bool constructed = false;
  std::unique_ptr<TNotificationList> ownList;
  try {
    ReadObjectFlags();  // nothing to do with them for a root
    if (root) {
      ReadShortText();  // the class name: the root is what it is
      if (root->HasState(stDesigning)) {
        ReadShortText();
      } else {
        root->IncludeState(stLoading);
        root->IncludeState(stReading);
        root->Rename(MakeUniqueRootName(ReadShortText()));
      }
    } else {
      const std::string className = ReadShortText();
      const TClassInfo* cls = LookupClass(className);
      if (!cls || !cls->InheritsFrom(TComponent::StaticClassInfo()) || !cls->construct)
        throw EClassNotFound(msg::ClassNotFound, {className});
      result = cls->construct(nullptr);
      constructed = true;
      result->Rename(ReadShortText());
    }
    SetRoot(result);
    lookupRoot_ = result;

    TNotificationList* list = CurrentSharedList();
    if (!list) {
      ownList = std::make_unique<TNotificationList>();
      list = ownList.get();
    }
    notifications_ = list;
    list->AppendUnique(*result);
    owner_ = result;
    result->IncludeState(stLoading);
    result->IncludeState(stReading);
    result->ReadStateFrom(*this);
    result->ExcludeState(stReading);
    notifications_ = nullptr;

    if (ownList) {
      ownList->NotifyAll();
      ownList.reset();
    }
    ResolveGlobalReferences();
  } catch (...) {
    notifications_ = nullptr;
    // The list goes before the root: it must not hear of every component the
    // root takes with it.
    ownList.reset();
    // References of this root that went global wait for nothing any more;
    // those of other roots stay.
    try {
      if (result) DropGlobalReferences(result, std::nullopt);
    } catch (...) {
    }
    if (constructed) FreeIfPresent(result);
    throw;
  }
  return result;
}

}  // namespace tw
