#include "ui/MenuDispatch.h"

namespace tw {

std::vector<TMenuItem*>& DispatchStack() {
  static std::vector<TMenuItem*> stack;
  return stack;
}

}  // namespace tw
