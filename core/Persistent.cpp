#include "core/Persistent.h"

#include <atomic>

#include "runtime/Exceptions.h"

namespace tw {

namespace {

std::atomic<DropReferencesHook> dropReferencesHook{nullptr};

}  // namespace

DropReferencesHook SetDropReferencesHook(DropReferencesHook hook) { return dropReferencesHook.exchange(hook); }

TPersistent::~TPersistent() {
  if (DropReferencesHook hook = dropReferencesHook.load()) hook(this);
}

void TPersistent::AssignFrom(const TPersistent* source) {
  if (!source) RaiseAssignError(nullptr);
  source->AssignInto(this);
}

void TPersistent::AssignInto(TPersistent* destination) const { destination->RaiseAssignError(this); }

void TPersistent::DeclareCustomProperties(TFiler*) {}

TPersistent* TPersistent::OwnerOf() const { return nullptr; }

void TPersistent::RaiseAssignError(const TPersistent* source) const {
  throw EConvertError(msg::AssignError, {source ? source->ClassName() : "nil", ClassName()});
}

}  // namespace tw
