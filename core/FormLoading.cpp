#include "core/FormLoading.h"

#include <algorithm>
#include <climits>

#include "core/PropertyAccess.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "runtime/Platform.h"

namespace tw {

namespace {

std::atomic<TGlobalComponentFinder> globalFinder{nullptr};

// How often the calling thread holds each name-space lock for reading. A
// plain pointer, made on first use and freed when the thread holds none.
struct ReadHold {
  const TNameSpaceLock* lock;
  int depth;
};
thread_local std::vector<ReadHold>* readHolds = nullptr;

ReadHold* FindReadHold(const TNameSpaceLock* lock) {
  if (!readHolds) return nullptr;
  for (ReadHold& hold : *readHolds)
    if (hold.lock == lock) return &hold;
  return nullptr;
}

// The current shared list of the thread and the lists of the loads around it.
// Plain pointers: made on first use, freed when the last load ends.
thread_local TNotificationList* currentShared = nullptr;
thread_local std::vector<TNotificationList*>* sharedStack = nullptr;

void ObjectDestroyed(TPersistent* object) {
  // Runs inside destructors: nothing may escape.
  try {
    DropReferencesOf(object);
    ForgetInLiveLoads(object);
  } catch (...) {
  }
}

bool ReadClassChain(TComponent& instance, const TClassInfo& cls, const TClassInfo& rootAncestor) {
  if (&cls == &TComponent::StaticClassInfo() || &cls == &rootAncestor || !cls.parent) return false;
  // The ancestor nearest the root ancestor first, the instance's own class last.
  const bool ancestorsRead = ReadClassChain(instance, *cls.parent, rootAncestor);
  const bool ownRead = ReadResourceInto(cls.name, instance);
  return ancestorsRead || ownRead;
}

}  // namespace

void InstallDestructionHook() {
  static const bool installed = (SetDropReferencesHook(&ObjectDestroyed), true);
  (void)installed;
}

// Objects made before the first load must drop their references as well.
namespace {
[[maybe_unused]] const bool kHookAtStartUp = (InstallDestructionHook(), true);
}  // namespace

// ---- TNameSpaceLock ---------------------------------------------------------------------

void TNameSpaceLock::BeginWrite() {
  const std::thread::id self = std::this_thread::get_id();
  if (holder_.load() == self) {
    ++depth_;
    return;
  }
  mutex_.lock();
  holder_.store(self);
  depth_ = 1;
}

void TNameSpaceLock::EndWrite() {
  // Only the holder can let go, and only as often as it took the lock.
  if (holder_.load() != std::this_thread::get_id() || depth_ == 0) return;
  if (--depth_ > 0) return;
  holder_.store(std::thread::id());
  mutex_.unlock();
}

void TNameSpaceLock::BeginRead() {
  // The writer reads under its own lock; a reader nests its reads.
  if (holder_.load() == std::this_thread::get_id()) {
    ++depth_;
    return;
  }
  if (ReadHold* hold = FindReadHold(this)) {
    ++hold->depth;
    return;
  }
  if (!readHolds) readHolds = new std::vector<ReadHold>;
  readHolds->push_back({this, 1});
  mutex_.lock_shared();
}

void TNameSpaceLock::EndRead() {
  ReadHold* hold = FindReadHold(this);
  if (!hold) {
    EndWrite();
    return;
  }
  if (--hold->depth > 0) return;
  std::erase_if(*readHolds, [this](const ReadHold& h) { return h.lock == this; });
  if (readHolds->empty()) {
    delete readHolds;
    readHolds = nullptr;
  }
  mutex_.unlock_shared();
}

bool TNameSpaceLock::HeldForWriting() const { return holder_.load() == std::this_thread::get_id(); }

int TNameSpaceLock::WriteDepth() const { return HeldForWriting() ? depth_ : 0; }

TNameSpaceLock& NameSpaceLock() {
  // Never destroyed: objects destroyed during shutdown may still take it.
  static TNameSpaceLock* lock = new TNameSpaceLock;
  return *lock;
}

// ---- The finder ----------------------------------------------------------------------------

TGlobalComponentFinder SetGlobalComponentFinder(TGlobalComponentFinder finder) { return globalFinder.exchange(finder); }

TGlobalComponentFinder GlobalComponentFinder() { return globalFinder.load(); }

std::string MakeUniqueRootName(std::string_view name) {
  const TGlobalComponentFinder finder = GlobalComponentFinder();
  if (!finder) return {};
  std::string candidate(name);
  for (int counter = 1; finder(candidate) && counter < INT_MAX; ++counter)
    candidate = FormatText("%s_%d", {name, counter});
  return candidate;
}

// ---- TPendingReferenceList ---------------------------------------------------------------------

TPendingReferenceList& PendingReferenceList() {
  InstallDestructionHook();
  // Never destroyed: objects destroyed during shutdown still ask it.
  static TPendingReferenceList* list = new TPendingReferenceList;
  return *list;
}

std::size_t TPendingReferenceList::Count() const { return live_.load(); }

std::vector<TPropFixup> TPendingReferenceList::Records() const {
  std::lock_guard hold(lock_);
  std::vector<TPropFixup> copies;
  for (const auto& record : records_)
    if (record) copies.push_back(*record);
  return copies;
}

bool TPendingReferenceList::HoldsReferencesOf(const TPersistent* object) const {
  std::lock_guard hold(lock_);
  return perObject_.contains(object);
}

void TPendingReferenceList::Add(std::unique_ptr<TPropFixup> record) {
  if (!record) return;
  std::lock_guard hold(lock_);
  ++perObject_[record->object];
  records_.push_back(std::move(record));
  ++live_;
}

std::unique_ptr<TPropFixup> TPendingReferenceList::Take(std::size_t index) {
  std::unique_ptr<TPropFixup> record = std::move(records_[index]);
  if (!record) return record;
  auto it = perObject_.find(record->object);
  if (it != perObject_.end() && --it->second <= 0) perObject_.erase(it);
  --live_;
  ++holes_;
  return record;
}

void TPendingReferenceList::Compact() {
  if (walking_ > 0 || holes_ == 0) return;
  std::erase(records_, nullptr);
  holes_ = 0;
}

void TPendingReferenceList::RemoveFor(const TPersistent* object, const TPropInfo* prop) {
  if (live_.load() == 0) return;
  std::lock_guard hold(lock_);
  if (!perObject_.contains(object)) return;
  for (std::size_t i = records_.size(); i-- > 0;)
    if (records_[i] && records_[i]->object == object && records_[i]->prop == prop) Take(i);
  Compact();
}

void TPendingReferenceList::DropRoot(const TComponent* root, std::optional<std::string_view> rootName) {
  std::lock_guard hold(lock_);
  for (std::size_t i = records_.size(); i-- > 0;) {
    const TPropFixup* record = records_[i].get();
    if (!record || (root && record->instanceRoot != root)) continue;
    if (rootName && !SameAsciiText(record->rootName, *rootName)) continue;
    Take(i);
  }
  Compact();
}

void TPendingReferenceList::DropObject(const TPersistent* object) {
  // Most objects are destroyed while nothing waits at all.
  if (live_.load() == 0) return;
  std::lock_guard hold(lock_);
  if (settled_) settled_->erase(const_cast<TPersistent*>(object));
  if (!perObject_.contains(object)) return;
  for (std::size_t i = records_.size(); i-- > 0;)
    if (records_[i] && records_[i]->object == object) Take(i);
  Compact();
}

void TPendingReferenceList::Resolve(TGlobalComponentFinder finder) {
  if (!finder) return;
  std::lock_guard hold(lock_);
  if (records_.empty()) return;
  std::unordered_set<TPersistent*> settled;
  settled_ = &settled;
  ++walking_;
  // Writing a reference runs the property's setter, which may destroy objects
  // (their records become holes) or add records (they are appended); the walk
  // goes by index and never keeps a record across a call.
  auto finish = [&] {
    --walking_;
    settled_ = nullptr;
    Compact();
  };
  try {
    for (std::size_t i = 0; i < records_.size(); ++i) {
      TPropFixup* record = records_[i].get();
      if (!record) continue;
      TComponent* root = finder(record->rootName);
      if (!root && ReadObjectProperty(*record->object, *record->prop) != nullptr) {
        // Someone set the property meanwhile: the reference is no longer wanted.
        settled.insert(Take(i)->object);
        continue;
      }
      if (!root) continue;
      const std::unique_ptr<TPropFixup> taken = Take(i);
      settled.insert(taken->object);
      WriteObjectProperty(*taken->object, *taken->prop, FindByNamePath(root, taken->name));
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  // An object whose references are all settled no longer waits. Objects
  // destroyed on the way were taken out of the set by DropObject.
  for (TPersistent* object : settled)
    if (!perObject_.contains(object) && IsInstanceOf(object, TComponent::StaticClassInfo()))
      static_cast<TComponent*>(object)->ExcludeState(stFixups);
}

// ---- Resolving and dropping -------------------------------------------------------------------

void ResolveLocalReferences(TReader& reader) {
  // The list goes however this ends.
  struct Release {
    TReader& reader;
    ~Release() { reader.DropPendingReferences(); }
  } release{reader};
  if (!reader.fixups_) return;

  TPendingReferenceList& pending = PendingReferenceList();
  // The loop asks for the list's size each time round: a setter may destroy an
  // object, whose references then become holes (TReader::Forget).
  for (std::size_t i = 0; i < reader.fixups_->size(); ++i) {
    if (!(*reader.fixups_)[i]) continue;
    TPropFixup& fixup = *(*reader.fixups_)[i];
    std::string name = fixup.name;
    reader.MapReferenceName(name);
    TComponent* found = FindByNamePath(fixup.instanceRoot, name);
    // The reference read last is the one that counts.
    pending.RemoveFor(fixup.object, fixup.prop);
    if (found) {
      WriteObjectProperty(*fixup.object, *fixup.prop, found);
      continue;
    }
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos) {
      WriteObjectProperty(*fixup.object, *fixup.prop, nullptr);
      continue;
    }
    // A component of another root: it waits until that root exists.
    std::unique_ptr<TPropFixup> record = reader.TakePendingReference(i);
    record->rootName = name.substr(0, dot);
    record->name = name.substr(dot + 1);
    if (IsInstanceOf(record->object, TComponent::StaticClassInfo()))
      static_cast<TComponent*>(record->object)->IncludeState(stFixups);
    pending.Add(std::move(record));
  }
}

void ResolveGlobalReferences() {
  const TGlobalComponentFinder finder = GlobalComponentFinder();
  if (!finder) return;
  TNameSpaceLock::WriteGuard hold(NameSpaceLock());
  PendingReferenceList().Resolve(finder);
}

void DropGlobalReferences(const TComponent* root, std::optional<std::string_view> rootName) {
  TNameSpaceLock::WriteGuard hold(NameSpaceLock());
  PendingReferenceList().DropRoot(root, rootName);
}

void DropReferencesOf(const TPersistent* object) { PendingReferenceList().DropObject(object); }

TComponent* FindByNamePath(TComponent* start, std::string_view path) {
  if (!start || path.empty()) return nullptr;
  TComponent* current = start;
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = at;
    while (end < path.size() && path[end] != '.' && path[end] != '-') ++end;
    const std::string_view segment = path.substr(at, end - at);
    TComponent* next = current->FindOwned(segment);
    if (!next) {
      if (!SameAsciiText(segment, "Owner")) return nullptr;
      next = current;
    }
    current = next;
    at = end;
    if (at < path.size() && path[at] == '.') ++at;
    if (at < path.size() && path[at] == '-') ++at;
    if (at < path.size() && path[at] == '>') ++at;
  }
  return current;
}

// ---- Shared loads -------------------------------------------------------------------------------

void BeginSharedLoading() {
  auto list = std::make_unique<TNotificationList>();
  if (!sharedStack) sharedStack = new std::vector<TNotificationList*>;
  sharedStack->push_back(currentShared);
  currentShared = list.release();
}

void NotifyLoadedList() {
  if (currentShared) currentShared->NotifyAll();
}

void EndSharedLoading() {
  if (!sharedStack) return;
  delete currentShared;
  currentShared = sharedStack->back();
  sharedStack->pop_back();
  if (sharedStack->empty()) {
    delete sharedStack;
    sharedStack = nullptr;
  }
}

TNotificationList* CurrentSharedList() { return currentShared; }

// ---- Reading ---------------------------------------------------------------------------------------

TComponent* ReadComponentFromStream(TStream& stream, TComponent* instance) {
  TReader reader(stream, kReaderBufferSize);
  return reader.ReadRootObject(instance);
}

bool ReadResourceInto(std::string_view name, TComponent& instance) {
  if (name.find('\0') != std::string_view::npos || !platform::FindRawResource(name)) return false;
  TResourceStream stream(name);
  ReadComponentFromStream(stream, &instance);
  return true;
}

bool LoadInheritedResources(TComponent& instance, const TClassInfo& rootAncestor) {
  TNameSpaceLock::WriteGuard hold(NameSpaceLock());
  // A component that is loading already (an embedded root inside another
  // form's stream) belongs to that load's notifications.
  const bool shared = !instance.HasState(stLoading) && !instance.HasState(stInline);
  if (shared) BeginSharedLoading();
  bool found = false;
  try {
    found = ReadClassChain(instance, instance.ClassType(), rootAncestor);
    if (shared) NotifyLoadedList();
  } catch (...) {
    if (shared) EndSharedLoading();
    throw;
  }
  if (shared) EndSharedLoading();
  return found;
}

}  // namespace tw
