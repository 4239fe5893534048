#include "core/Lists.h"

#include <algorithm>
#include <new>

#include "runtime/Exceptions.h"

namespace tw {

// ---- TList -------------------------------------------------------------------

TList::~TList() = default;

void TList::RaiseListError(ResId id, int value) { throw EListError(id, {value}); }

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= count_) RaiseListError(msg::ListIndexError, index);
}

int TList::Append(void* item) {
  if (count_ == capacity_) GrowCapacity();
  const int index = count_;
  items_[index] = item;
  ++count_;
  if (item) ItemNotice(item, inAdded);
  return index;
}

void TList::InsertAt(int index, void* item) {
  if (index < 0 || index > count_) RaiseListError(msg::ListIndexError, index);
  if (count_ == capacity_) GrowCapacity();
  void** items = items_.get();
  std::copy_backward(items + index, items + count_, items + count_ + 1);
  items[index] = item;
  ++count_;
  if (item) ItemNotice(item, inAdded);
}

void TList::DeleteAt(int index) {
  CheckIndex(index);
  void** items = items_.get();
  void* item = items[index];
  --count_;
  std::copy(items + index + 1, items + count_ + 1, items + index);
  if (item) ItemNotice(item, inDeleted);
}

void* TList::ItemAt(int index) const {
  CheckIndex(index);
  return items_[index];
}

void TList::PutAt(int index, void* item) {
  CheckIndex(index);
  void* old = items_[index];
  items_[index] = item;
  if (old) ItemNotice(old, inDeleted);
  if (item) ItemNotice(item, inAdded);
}

void* TList::FirstItem() const { return ItemAt(0); }

void* TList::LastItem() const { return ItemAt(count_ - 1); }

int TList::IndexOfItem(const void* item) const {
  void* const* items = items_.get();
  for (int i = 0; i < count_; ++i)
    if (items[i] == item) return i;
  return -1;
}

int TList::LastIndexOfItem(const void* item) const {
  void* const* items = items_.get();
  for (int i = count_ - 1; i >= 0; --i)
    if (items[i] == item) return i;
  return -1;
}

int TList::RemoveItem(const void* item) {
  const int index = IndexOfItem(item);
  if (index >= 0) DeleteAt(index);
  return index;
}

int TList::RemoveItemFromEnd(const void* item) {
  const int index = LastIndexOfItem(item);
  if (index >= 0) DeleteAt(index);
  return index;
}

void TList::MoveItem(int fromIndex, int toIndex) {
  if (fromIndex == toIndex) return;
  if (toIndex < 0 || toIndex >= count_) RaiseListError(msg::ListIndexError, toIndex);
  CheckIndex(fromIndex);
  void** items = items_.get();
  if (fromIndex < toIndex)
    std::rotate(items + fromIndex, items + fromIndex + 1, items + toIndex + 1);
  else
    std::rotate(items + toIndex, items + fromIndex, items + fromIndex + 1);
}

TList& TList::EnsureRoom() {
  if (count_ == capacity_) GrowCapacity();
  return *this;
}

void TList::GrowCapacity() { ChangeCapacity(GrownCapacity(capacity_)); }

void TList::ChangeCapacity(int newCapacity) {
  if (newCapacity < count_ || newCapacity > MaxListSize) RaiseListError(msg::ListCapacityError, newCapacity);
  if (newCapacity == capacity_) return;
  std::unique_ptr<void*[]> fresh;
  if (newCapacity > 0) {
    fresh.reset(new (std::nothrow) void*[static_cast<std::size_t>(newCapacity)]);
    if (!fresh) RaiseOutOfMemory();
    std::copy(items_.get(), items_.get() + count_, fresh.get());
  }
  items_ = std::move(fresh);
  capacity_ = newCapacity;
}

void TList::ChangeCount(int newCount) {
  if (newCount < 0 || newCount > MaxListSize) RaiseListError(msg::ListCountError, newCount);
  if (newCount > capacity_) ChangeCapacity(newCount);
  if (newCount > count_) {
    std::fill(items_.get() + count_, items_.get() + newCount, nullptr);
    count_ = newCount;
  } else {
    for (int i = count_ - 1; i >= newCount; --i) DeleteAt(i);
  }
}

void TList::ClearAll() {
  ChangeCount(0);
  ChangeCapacity(0);
}

void TList::ItemNotice(void*, TListNotice) {}

// ---- TThreadList -------------------------------------------------------------

TThreadList::TThreadList() : list_(std::make_unique<TList>()) {}

TThreadList::~TThreadList() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  list_.reset();
}

TList& TThreadList::Lock() {
  lock_.lock();
  return *list_;
}

void TThreadList::Unlock() { lock_.unlock(); }

void TThreadList::AddItem(void* item) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (duplicates_ == dupAccept || list_->IndexOfItem(item) < 0) {
    list_->Append(item);
  } else if (duplicates_ == dupError) {
    // The message shows the reference in hexadecimal as a 32-bit number, which
    // is all of it on the 32-bit platform.
    throw EListError(msg::DuplicateItem,
                     {static_cast<std::int32_t>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(item)))});
  }
}

void TThreadList::RemoveItem(const void* item) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  list_->RemoveItem(item);
}

TDuplicates TThreadList::Duplicates() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return duplicates_;
}

void TThreadList::SetDuplicates(TDuplicates value) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  duplicates_ = value;
}

}  // namespace tw
