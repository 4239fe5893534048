// The items whose clicks are running (shortcut dispatch, submenu opening),
// process-wide. An item that is freed meanwhile leaves an empty slot, so the
// dispatch can tell.
#pragma once

#include <cstddef>

namespace tw {

class TMenuItem;

// Puts the item on the stack; answers its slot.
std::size_t EnterDispatch(TMenuItem* item);
// Takes the slot, and any slot above it, off the stack.
void LeaveDispatch(std::size_t slot);
// The slot's item; none once the item has been freed.
TMenuItem* DispatchedItem(std::size_t slot);
void SetDispatchedItem(std::size_t slot, TMenuItem* item);
// An item being freed: every slot that holds it is emptied.
void ForgetDispatchedItem(const TMenuItem* item);

}  // namespace tw
