#include "core/StringList.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/Streams.h"
#include "runtime/Exceptions.h"
#include "runtime/Platform.h"

namespace tw {

// ---- TStrings ----------------------------------------------------------------

void TStrings::RaiseIndexError(int index) { throw EStringListError(msg::ListIndexError, {index}); }

void TStrings::AssignFrom(const TPersistent* source) {
  const auto* lines = dynamic_cast<const TStrings*>(source);
  if (!lines) {
    Inherited::AssignFrom(source);
    return;
  }
  // Clearing first would empty the source too.
  if (lines == this) return;
  WithinBatch([&] {
    ClearLines();
    AddLines(*lines);
  });
}

int TStrings::LineCapacity() const { return LineCount(); }

void TStrings::ChangeLineCapacity(int) {}

TObject* TStrings::ObjectAt(int) const { return nullptr; }

void TStrings::PutObjectAt(int, TObject*) {}

void TStrings::PutLine(int index, std::string_view text) {
  TObject* object = ObjectAt(index);
  DeleteLine(index);
  InsertLineWithObject(index, text, object);
}

std::string TStrings::JoinedText() const {
  const int count = LineCount();
  std::string result;
  for (int i = 0; i < count; ++i) {
    result += LineAt(i);
    result += "\r\n";
  }
  return result;
}

void TStrings::SetJoinedText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  WithinBatch([&] {
    ClearLines();
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t start = pos;
      while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') ++pos;
      AddLine(text.substr(start, pos - start));
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
  });
}

void TStrings::UpdateStateChanged(bool) {}

int TStrings::AddLine(std::string_view text) {
  const int index = LineCount();
  InsertLine(index, text);
  return index;
}

int TStrings::AddLineWithObject(std::string_view text, TObject* object) {
  const int index = AddLine(text);
  PutObjectAt(index, object);
  return index;
}

void TStrings::AddLines(const TStrings& other) {
  WithinBatch([&] {
    // The count is taken once, so that a list can append its own lines.
    const int count = other.LineCount();
    for (int i = 0; i < count; ++i) AddLineWithObject(other.LineAt(i), other.ObjectAt(i));
  });
}

void TStrings::SwapLines(int index1, int index2) {
  WithinBatch([&] {
    TObject* object1 = ObjectAt(index1);
    const std::string text1 = LineAt(index1);
    PutLine(index1, LineAt(index2));
    PutObjectAt(index1, ObjectAt(index2));
    PutLine(index2, text1);
    PutObjectAt(index2, object1);
  });
}

int TStrings::IndexOfLine(std::string_view text) const {
  const int count = LineCount();
  for (int i = 0; i < count; ++i)
    if (platform::CompareTextIgnoreCase(LineAt(i), text) == 0) return i;
  return -1;
}

void TStrings::MoveLine(int fromIndex, int toIndex) {
  // Both indices are checked before the line is taken out, so that a bad
  // target cannot lose it.
  const int count = LineCount();
  if (fromIndex < 0 || fromIndex >= count) RaiseIndexError(fromIndex);
  if (toIndex < 0 || toIndex >= count) RaiseIndexError(toIndex);
  WithinBatch([&] {
    const std::string text = LineAt(fromIndex);
    TObject* object = ObjectAt(fromIndex);
    DeleteLine(fromIndex);
    InsertLineWithObject(toIndex, text, object);
  });
}

void TStrings::LoadLines(TStream& stream) {
  WithinBatch([&] {
    const std::int64_t remaining = stream.Size() - stream.Position();
    std::string text;
    if (remaining > 0) {
      // More than the address space can hold cannot be read into one text.
      if (static_cast<std::uint64_t>(remaining) >= text.max_size()) RaiseOutOfMemory();
      try {
        text.resize(static_cast<std::size_t>(remaining));
      } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
      }
      stream.ReadBuffer(text.data(), text.size());
    }
    SetJoinedText(text);
  });
}

void TStrings::SaveLines(TStream& stream) const {
  const std::string text = JoinedText();
  stream.WriteBuffer(text.data(), text.size());
}

void TStrings::InsertLineWithObject(int index, std::string_view text, TObject* object) {
  InsertLine(index, text);
  PutObjectAt(index, object);
}

void TStrings::ReplaceLines(const std::function<bool(std::string& line)>& nextLine) {
  WithinBatch([&] {
    ClearLines();
    std::string line;
    while (nextLine(line)) AddLine(line);
  });
}

void TStrings::ReplaceLines(std::span<const std::string> lines) {
  WithinBatch([&] {
    ClearLines();
    for (const std::string& line : lines) AddLine(line);
  });
}

void TStrings::BeginBatch() {
  if (updateCount_ == 0) UpdateStateChanged(true);
  ++updateCount_;
}

void TStrings::EndBatch() {
  // An unmatched end would leave the counter below zero and silence the list
  // for good; it is ignored instead.
  if (updateCount_ == 0) return;
  --updateCount_;
  if (updateCount_ == 0) UpdateStateChanged(false);
}

// ---- TStringList -------------------------------------------------------------

TStringList::~TStringList() {
  onLinesChanged_ = nullptr;
  onLinesChanging_ = nullptr;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= count_) RaiseIndexError(index);
}

std::string TStringList::LineAt(int index) const {
  CheckIndex(index);
  return items_[index].text;
}

const std::string& TStringList::LineRef(int index) const {
  CheckIndex(index);
  return items_[index].text;
}

TObject* TStringList::ObjectAt(int index) const {
  CheckIndex(index);
  return items_[index].object;
}

void TStringList::PutObjectAt(int index, TObject* object) {
  CheckIndex(index);
  NotifyChanging();
  items_[index].object = object;
  NotifyChanged();
}

void TStringList::PutLine(int index, std::string_view text) {
  if (sorted_) throw EStringListError(msg::SortedListError);
  CheckIndex(index);
  std::string copy(text);
  NotifyChanging();
  items_[index].text = std::move(copy);
  NotifyChanged();
}

void TStringList::ClearLines() {
  if (count_ == 0) return;
  NotifyChanging();
  items_.reset();
  count_ = 0;
  capacity_ = 0;
  NotifyChanged();
}

void TStringList::DeleteLine(int index) {
  CheckIndex(index);
  NotifyChanging();
  TStringItem* items = items_.get();
  std::move(items + index + 1, items + count_, items + index);
  --count_;
  items[count_] = TStringItem{};
  NotifyChanged();
}

void TStringList::InsertLine(int index, std::string_view text) {
  if (sorted_) throw EStringListError(msg::SortedListError);
  if (index < 0 || index > count_) RaiseIndexError(index);
  InsertItem(index, text, nullptr);
}

void TStringList::InsertItem(int index, std::string_view text, TObject* object) {
  // Everything that can fail happens before the changing notice.
  std::string copy(text);
  if (count_ == capacity_) Grow();
  NotifyChanging();
  TStringItem* items = items_.get();
  std::move_backward(items + index, items + count_, items + count_ + 1);
  items[index].text = std::move(copy);
  items[index].object = object;
  ++count_;
  NotifyChanged();
}

void TStringList::Grow() { ChangeLineCapacity(GrownCapacity(capacity_)); }

void TStringList::ChangeLineCapacity(int newCapacity) {
  // Below the count the lines beyond it would be lost.
  if (newCapacity < count_ || newCapacity > MaxListSize) throw EStringListError(msg::ListCapacityError, {newCapacity});
  if (newCapacity == capacity_) return;
  std::unique_ptr<TStringItem[]> fresh;
  if (newCapacity > 0) {
    fresh.reset(new (std::nothrow) TStringItem[static_cast<std::size_t>(newCapacity)]);
    if (!fresh) RaiseOutOfMemory();
    std::move(items_.get(), items_.get() + count_, fresh.get());
  }
  items_ = std::move(fresh);
  capacity_ = newCapacity;
}

void TStringList::UpdateStateChanged(bool updating) {
  if (updating)
    NotifyChanging();
  else
    NotifyChanged();
}

int TStringList::AddLine(std::string_view text) {
  int index = count_;
  if (sorted_ && FindSorted(text, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError(msg::DuplicateString);
  }
  InsertItem(index, text, nullptr);
  return index;
}

void TStringList::SwapLines(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  NotifyChanging();
  SwapItems(index1, index2);
  NotifyChanged();
}

void TStringList::SwapItems(int index1, int index2) {
  using std::swap;
  swap(items_[index1].text, items_[index2].text);
  swap(items_[index1].object, items_[index2].object);
}

int TStringList::IndexOfLine(std::string_view text) const {
  if (!sorted_) return TStrings::IndexOfLine(text);
  int index = 0;
  return FindSorted(text, index) ? index : -1;
}

void TStringList::MoveLine(int fromIndex, int toIndex) {
  // Moving takes the line out and inserts it again, which a sorted list refuses;
  // refusing before the line is taken out keeps it.
  if (sorted_) {
    CheckIndex(fromIndex);
    throw EStringListError(msg::SortedListError);
  }
  TStrings::MoveLine(fromIndex, toIndex);
}

bool TStringList::FindSorted(std::string_view text, int& index) const {
  bool found = false;
  int lo = 0;
  int hi = count_ - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int order = platform::CompareTextIgnoreCase(items_[mid].text, text);
    if (order < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (order == 0) {
        found = true;
        if (duplicates_ != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::SortLines() {
  SortLinesBy([](const TStringList& list, int index1, int index2) {
    return platform::CompareTextIgnoreCase(list.items_[index1].text, list.items_[index2].text);
  });
}

void TStringList::SortLinesBy(const TStringListCompare& compare) {
  if (sorted_ || count_ < 2) return;
  NotifyChanging();
  QuickSort(0, count_ - 1, compare);
  NotifyChanged();
}

void TStringList::QuickSort(int lo, int hi, const TStringListCompare& compare) {
  // Partitions around the middle entry, compared by its index, which is followed
  // when a swap moves it. The scans are also bounded by the range, which a
  // consistent comparison never reaches but an inconsistent one would run past.
  // The smaller part is sorted by recursion and the larger by the loop, which
  // keeps the depth logarithmic and gives the same order as any other sequence,
  // since the parts are disjoint.
  while (lo < hi) {
    int i = lo;
    int j = hi;
    int p = lo + (hi - lo) / 2;
    do {
      while (i < hi && compare(*this, i, p) < 0) ++i;
      while (j > lo && compare(*this, j, p) > 0) --j;
      if (i <= j) {
        SwapItems(i, j);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(lo, j, compare);
      lo = i;
    } else {
      if (i < hi) QuickSort(i, hi, compare);
      hi = j;
    }
  }
}

void TStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) SortLines();
  sorted_ = value;
}

void TStringList::NotifyChanged() {
  if (BatchDepth() == 0 && onLinesChanged_) onLinesChanged_(*this);
}

void TStringList::NotifyChanging() {
  if (BatchDepth() == 0 && onLinesChanging_) onLinesChanging_(*this);
}

}  // namespace tw
