// The growable list of untyped references and its locked form. They carry most of
// the framework's bookkeeping: owned components, notification lists, pending
// references and the process-wide registries.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "runtime/MessageIds.h"
#include "runtime/Object.h"

namespace tw {

// What a list does when an entry that it already holds is added again.
enum TDuplicates : std::uint8_t { dupIgnore = 0, dupAccept = 1, dupError = 2 };

// What happened to a reference, as reported to TList::ItemNotice.
enum TListNotice : std::uint8_t { inAdded = 0, inDeleted = 2 };

// The largest count and capacity a list accepts.
inline constexpr int MaxListSize = 0x7FFFFFF;

// The capacity a full list grows to, for TList and TStringList alike: a quarter
// more above 64 slots, 16 more above 8, else 4 more (0, 4, 8, 12, 28, 44, 60,
// 76, 95, ...). Appends cost amortised O(1) without wasting much on the many
// small lists.
constexpr int GrownCapacity(int capacity) {
  if (capacity > 64) return capacity + capacity / 4;
  if (capacity > 8) return capacity + 16;
  return capacity + 4;
}

class TList : public TObject {
  TW_CLASS(TList, TObject)

 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  // Releases the array only; the referenced items are never freed by the list.
  // A derived class that wants deleted notices on destruction calls ClearAll in
  // its own destructor, since its ItemNotice is gone by the time this one runs.
  ~TList() override;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  // The items 0 ... Count-1, for fast walks; valid until the list changes.
  void* const* Items() const { return items_.get(); }

  // Stores the item at the end and returns its index.
  int Append(void* item);
  // Index 0 ... Count: the items from the index up move up by one.
  void InsertAt(int index, void* item);
  void DeleteAt(int index);
  void* ItemAt(int index) const;
  // Replaces the item: a deleted notice for the old one, then an added notice.
  void PutAt(int index, void* item);
  void* FirstItem() const;
  void* LastItem() const;

  // The first index holding the reference, or -1.
  int IndexOfItem(const void* item) const;
  // Deletes the first occurrence and returns its index, or -1 when absent.
  int RemoveItem(const void* item);
  // Searches from the end instead. For lists that hold each reference once the
  // result is the same as IndexOfItem/RemoveItem, and taking items off the end
  // (as an owner does when it frees its components, last first) stays O(1).
  int LastIndexOfItem(const void* item) const;
  int RemoveItemFromEnd(const void* item);

  // Takes the item out and puts it back at the target index, without notices.
  void MoveItem(int fromIndex, int toIndex);
  // Grows when full, so that one more item fits.
  TList& EnsureRoom();
  // Count ... MaxListSize.
  void ChangeCapacity(int newCapacity);
  // 0 ... MaxListSize: new slots hold null; shrinking deletes from the last item
  // down, each with its notice.
  void ChangeCount(int newCount);
  // Count 0 (deleting from the last item down), then capacity 0.
  virtual void ClearAll();

 protected:
  // Grows to GrownCapacity.
  virtual void GrowCapacity();
  // Called after a non-null item entered or left the list. Nothing here.
  virtual void ItemNotice(void* item, TListNotice action);

  [[noreturn]] static void RaiseListError(ResId id, int value);

 private:
  void CheckIndex(int index) const;

  std::unique_ptr<void*[]> items_;
  int count_ = 0;
  int capacity_ = 0;
};

// A TList behind a lock, for registries that any thread may touch. The lock is
// re-entrant, as a platform critical section is.
class TThreadList : public TObject {
  TW_CLASS(TThreadList, TObject)

 public:
  TThreadList();
  TThreadList(const TThreadList&) = delete;
  TThreadList& operator=(const TThreadList&) = delete;
  ~TThreadList() override;

  // Enters the lock and hands out the inner list; every Lock needs its Unlock.
  TList& Lock();
  void Unlock();

  // Holds the lock for a scope.
  class Guard {
   public:
    explicit Guard(TThreadList& list) : list_(list), inner_(list.Lock()) {}
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    ~Guard() { list_.Unlock(); }
    TList& operator*() const { return inner_; }
    TList* operator->() const { return &inner_; }

   private:
    TThreadList& list_;
    TList& inner_;
  };

  // Appends the item unless the duplicate policy says otherwise: dupIgnore
  // drops an item already present, dupError raises EListError.
  void AddItem(void* item);
  void RemoveItem(const void* item);

  TDuplicates Duplicates() const;
  void SetDuplicates(TDuplicates value);

 private:
  mutable std::recursive_mutex lock_;
  std::unique_ptr<TList> list_;
  TDuplicates duplicates_ = dupIgnore;
};

}  // namespace tw
