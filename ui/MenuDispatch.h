// The items whose clicks are running (shortcut dispatch, submenu opening),
// process-wide. An item that is freed meanwhile leaves a null entry, so the
// dispatch can tell.
#pragma once

#include <cstddef>
#include <vector>

namespace tw {

class TMenuItem;

std::vector<TMenuItem*>& DispatchStack();

class DispatchSlot {
 public:
  explicit DispatchSlot(TMenuItem* item) : index_(DispatchStack().size()) { DispatchStack().push_back(item); }
  ~DispatchSlot() { DispatchStack().resize(index_); }
  DispatchSlot(const DispatchSlot&) = delete;
  DispatchSlot& operator=(const DispatchSlot&) = delete;

  TMenuItem* Item() const { return DispatchStack()[index_]; }
  void SetItem(TMenuItem* item) { DispatchStack()[index_] = item; }

 private:
  std::size_t index_;
};

}  // namespace tw
