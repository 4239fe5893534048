// The shared resource records behind fonts, pens and brushes: one cache per
// kind, a list of records each holding the attribute data, a reference count
// and the platform handle made from the data. Objects with byte-equal data
// share one record, so one platform object, created once and deleted when the
// last user lets go.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace tw::detail {

class TResourceCacheBase;

struct TResourceRecord {
  virtual ~TResourceRecord() = default;

  TResourceRecord* next = nullptr;
  TResourceCacheBase* cache = nullptr;
  int refCount = 0;
  // Read without the lock to see whether it exists; made under the lock.
  std::atomic<HGDIOBJ> handle{nullptr};
  std::uint16_t hash = 0;
};

template <class Data>
struct TDataRecord : TResourceRecord {
  Data data;
};

// 16 bits, rotated left by 5 before each byte is folded in.
inline std::uint16_t HashResourceData(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint16_t hash = 0;
  for (std::size_t i = 0; i < size; ++i) hash = static_cast<std::uint16_t>(((hash << 5) | (hash >> 11)) ^ bytes[i]);
  return hash;
}

class TResourceCacheBase {
 public:
  // One more user of a record already held by someone.
  void AddRef(TResourceRecord* record) {
    std::lock_guard guard(lock_);
    ++record->refCount;
  }

  // One user less; the last one unlinks the record, and its platform object is
  // deleted outside the lock.
  void Release(TResourceRecord* record) {
    if (!record) return;
    {
      std::lock_guard guard(lock_);
      if (--record->refCount > 0) return;
      for (TResourceRecord** link = &head_; *link; link = &(*link)->next) {
        if (*link == record) {
          *link = record->next;
          break;
        }
      }
      --count_;
    }
    if (HGDIOBJ handle = record->handle.load()) DeleteObject(handle);
    delete record;
  }

  std::size_t Count() {
    std::lock_guard guard(lock_);
    return count_;
  }

 protected:
  std::mutex lock_;
  TResourceRecord* head_ = nullptr;
  std::size_t count_ = 0;
};

// Data: a trivially copyable record of the attributes with no padding bytes, its
// first member the handle of an adopted platform object (0 otherwise).
template <class Data>
class TResourceCache : public TResourceCacheBase {
  static_assert(std::is_trivially_copyable_v<Data> && std::has_unique_object_representations_v<Data>,
                "attribute data is compared and hashed byte by byte");

 public:
  using Record = TDataRecord<Data>;

  // The record of the data, with one more user. A platform object being adopted
  // that a record already owns is shared rather than owned twice.
  Record* Acquire(const Data& data) {
    const std::uint16_t hash = HashResourceData(&data, sizeof data);
    std::lock_guard guard(lock_);
    Record* found = nullptr;
    for (TResourceRecord* r = head_; r && !found; r = r->next) {
      auto* record = static_cast<Record*>(r);
      if (record->hash == hash && std::memcmp(&record->data, &data, sizeof data) == 0) found = record;
    }
    if (!found && data.handle) {
      for (TResourceRecord* r = head_; r && !found; r = r->next)
        if (r->handle.load() == data.handle) found = static_cast<Record*>(r);
    }
    if (!found) {
      found = new Record;
      found->cache = this;
      found->handle.store(data.handle);
      found->hash = hash;
      found->data = data;
      found->next = head_;
      head_ = found;
      ++count_;
    }
    ++found->refCount;
    return found;
  }

  // The record's platform object, made by make(data) on first request. Made
  // under the lock, so two users of one record make it once; one that cannot be
  // made stays 0 and is tried again next time.
  template <class Make>
  HGDIOBJ HandleOf(Record* record, Make make) {
    if (HGDIOBJ handle = record->handle.load()) return handle;
    std::lock_guard guard(lock_);
    HGDIOBJ handle = record->handle.load();
    if (!handle) {
      handle = make(record->data);
      record->handle.store(handle);
    }
    return handle;
  }

  // Deletes, under the lock, the platform objects of the records the predicate
  // picks; they are made again on next use.
  template <class Predicate>
  void DropHandles(Predicate pick) {
    std::lock_guard guard(lock_);
    for (TResourceRecord* r = head_; r; r = r->next) {
      auto* record = static_cast<Record*>(r);
      if (!pick(record->data)) continue;
      if (HGDIOBJ handle = record->handle.exchange(nullptr)) DeleteObject(handle);
    }
  }
};

// Deletes the platform objects of the pens and brushes whose colour is a system
// colour; they are made again, in the new colours, on next use.
void DropSystemColorHandles();

}  // namespace tw::detail
