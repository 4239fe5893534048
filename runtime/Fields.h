// Small rules for the fields behind properties.
#pragma once

#include <utility>

namespace tw {

// Stores the value in the field; true when that changed it, so that a setter's
// reaction follows only a real change.
template <class T, class V>
bool ChangeField(T& field, V&& value) {
  if (field == value) return false;
  field = std::forward<V>(value);
  return true;
}

}  // namespace tw
