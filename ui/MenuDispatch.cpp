#include "ui/MenuDispatch.h"

#include <vector>

namespace tw {

namespace {

std::vector<TMenuItem*>& DispatchStack() {
  static std::vector<TMenuItem*> stack;
  return stack;
}

}  // namespace

std::size_t EnterDispatch(TMenuItem* item) {
  DispatchStack().push_back(item);
  return DispatchStack().size() - 1;
}

void LeaveDispatch(std::size_t slot) { DispatchStack().resize(slot); }

TMenuItem* DispatchedItem(std::size_t slot) { return DispatchStack()[slot]; }

void SetDispatchedItem(std::size_t slot, TMenuItem* item) { DispatchStack()[slot] = item; }

void ForgetDispatchedItem(const TMenuItem* item) {
  for (TMenuItem*& entry : DispatchStack())
    if (entry == item) entry = nullptr;
}

}  // namespace tw
