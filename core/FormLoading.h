// Loading a form from its resources: the class chain's form streams read into
// one instance, references between components resolved once they all exist
// (within one form at the end of its read, across forms whenever the form they
// name turns up), and the after-load step given to every loaded component.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Component.h"
#include "core/Reader.h"
#include "core/Streams.h"

namespace tw {

// ---- The name-space lock ------------------------------------------------------------

// Many readers or one writer, guarding form loading, reference resolution and
// the creation and destruction of forms. The writer may take it again (a form
// constructed while another loads), and may also take it for reading; each
// Begin needs its End. A thread that holds it for reading must not ask for
// writing.
class TNameSpaceLock {
 public:
  TNameSpaceLock() = default;
  TNameSpaceLock(const TNameSpaceLock&) = delete;
  TNameSpaceLock& operator=(const TNameSpaceLock&) = delete;

  void BeginWrite();
  void EndWrite();
  void BeginRead();
  void EndRead();

  // True when the calling thread holds it for writing.
  bool HeldForWriting() const;
  // How many times the calling thread holds it for writing (0 for other threads).
  int WriteDepth() const;

  class WriteGuard {
   public:
    explicit WriteGuard(TNameSpaceLock& lock) : lock_(lock) { lock_.BeginWrite(); }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;
    ~WriteGuard() { lock_.EndWrite(); }

   private:
    TNameSpaceLock& lock_;
  };

 private:
  std::shared_mutex mutex_;
  std::atomic<std::thread::id> holder_{};
  int depth_ = 0;  // the holder's nesting; only the holder touches it
};

// The process-wide lock.
TNameSpaceLock& NameSpaceLock();

// ---- Finding other forms ---------------------------------------------------------------

// Gives the top-level component (a form) of that name, or none.
using TGlobalComponentFinder = TComponent* (*)(std::string_view name);
// Installs the finder (none: root names are not made unique, they become
// empty, and references to other forms are never resolved); returns the
// previous one.
TGlobalComponentFinder SetGlobalComponentFinder(TGlobalComponentFinder finder);
TGlobalComponentFinder GlobalComponentFinder();

// ---- References to components of other forms --------------------------------------------

// The references that name a component of another root ("Form2.Button1"),
// waiting for that root to exist. Each record holds the object and property to
// set, the instance root, the root name and the rest of the name.
class TPendingReferenceList {
 public:
  TPendingReferenceList() = default;
  TPendingReferenceList(const TPendingReferenceList&) = delete;
  TPendingReferenceList& operator=(const TPendingReferenceList&) = delete;

  std::size_t Count() const;
  // Copies of the records, in list order.
  std::vector<TPropFixup> Records() const;
  // Whether a record sets a property of the object.
  bool HoldsReferencesOf(const TPersistent* object) const;

  void Add(std::unique_ptr<TPropFixup> record);
  // Removes the records for that object and property.
  void RemoveFor(const TPersistent* object, const TPropInfo* prop);
  // Removes the records of the instance root (any when none) whose root name
  // matches (ASCII letters without case; any when none).
  void DropRoot(const TComponent* root, std::optional<std::string_view> rootName);
  // Removes the records for the object; runs as any object is destroyed.
  void DropObject(const TPersistent* object);
  // Sets every reference whose root the finder knows, and every one whose
  // property got a value meanwhile is given up; objects left without pending
  // references lose their fixups-pending state.
  void Resolve(TGlobalComponentFinder finder);

 private:
  // Takes the record out, leaving a hole that Compact closes.
  std::unique_ptr<TPropFixup> Take(std::size_t index);
  void Compact();

  mutable std::recursive_mutex lock_;
  std::vector<std::unique_ptr<TPropFixup>> records_;
  // How many records each object has: most objects have none, and asking
  // about them must not walk the list.
  std::unordered_map<const TPersistent*, int> perObject_;
  std::atomic<std::size_t> live_{0};
  std::size_t holes_ = 0;
  int walking_ = 0;
  // During Resolve: the objects whose references were settled.
  std::unordered_set<TPersistent*>* settled_ = nullptr;
};

// The process-wide list.
TPendingReferenceList& PendingReferenceList();

// ---- Loading -------------------------------------------------------------------------------

// The name a root read under the given name gets: empty without a finder, else
// the first of name, name_1, name_2, ... that the finder does not know.
std::string MakeUniqueRootName(std::string_view name);

// Reads one form stream into the instance (a new instance of the stream's root
// class when none is given) with a reader of 4096 bytes; the root read.
TComponent* ReadComponentFromStream(TStream& stream, TComponent* instance);

// Reads the form resource of every class from just below the root ancestor
// down to the instance's own class into the instance; true when at least one
// was found.
bool LoadInheritedResources(TComponent& instance, const TClassInfo& rootAncestor);

// Reads the program's form resource of that name (letter case ignored) into
// the instance; false, reading nothing, when there is none.
bool ReadResourceInto(std::string_view name, TComponent& instance);

// Sets the references the reader met (when its outermost body was read):
// found components are written, names with a "." wait in the pending list,
// other names give null. The reader's list is freed in any case.
void ResolveLocalReferences(TReader& reader);
// Resolves what the pending list can resolve now (nothing without a finder).
void ResolveGlobalReferences();
// Removes pending references of the root (any when none) and root name (any
// when none).
void DropGlobalReferences(const TComponent* root, std::optional<std::string_view> rootName);
// Removes pending references that would set a property of the object.
void DropReferencesOf(const TPersistent* object);

// The component a path of names leads to from the start ("A.B", "A-B" and
// "A->B" are B owned by A; "Owner" stays where it is when nothing of that name
// is owned); none when a name is not found or the path is empty.
TComponent* FindByNamePath(TComponent* start, std::string_view path);

// ---- Shared loads --------------------------------------------------------------------------

// A shared load collects the components of all the reads of a class chain in
// one notification list of the thread; loads may nest, each restoring the
// outer one's list when it ends.
void BeginSharedLoading();
// The after-load step of every component in the current shared list.
void NotifyLoadedList();
void EndSharedLoading();
// The thread's current shared list, or none.
TNotificationList* CurrentSharedList();

// Makes every TPersistent drop its pending references and leave the live
// notification lists as it is destroyed. Done on first use of loading; safe
// to call again.
void InstallDestructionHook();

}  // namespace tw
