#include "core/Persistent.h"

#include "runtime/Exceptions.h"

namespace tw {

void TPersistent::AssignFrom(const TPersistent* source) {
  if (!source) RaiseAssignError(nullptr);
  source->AssignInto(this);
}

void TPersistent::AssignInto(TPersistent* destination) const { destination->RaiseAssignError(this); }

void TPersistent::DeclareCustomProperties(TFiler*) {}

void TPersistent::RaiseAssignError(const TPersistent* source) const {
  throw EConvertError(msg::AssignError, {source ? source->ClassName() : "nil", ClassName()});
}

}  // namespace tw
