// Objects that can be assigned from one another (and, with the component model,
// streamed).
#pragma once

#include "runtime/Object.h"

namespace tw {

class TFiler;
class TPersistent;

// Called as each TPersistent is destroyed, so that references still waiting to
// be written into it (pending cross-form references) are dropped. It must not
// raise: it runs inside a destructor.
using DropReferencesHook = void (*)(TPersistent* object);
// Installs the hook (none: nothing is called) and returns the previous one.
DropReferencesHook SetDropReferencesHook(DropReferencesHook hook);

class TPersistent : public TObject {
  TW_CLASS(TPersistent, TObject)

 public:
  ~TPersistent() override;

  // Copies the source into this object. The default hands the work to the
  // source's AssignInto; no source raises the assignment error.
  virtual void AssignFrom(const TPersistent* source);

  // Copies this object into the destination. The default raises the assignment
  // error: a class that can copy itself overrides this or AssignFrom.
  virtual void AssignInto(TPersistent* destination) const;

  // Declares the properties that the form reader handles by name rather than
  // through published property access. Nothing by default.
  virtual void DeclareCustomProperties(TFiler* filer);

  // The object that owns this one, for naming it in context: none by default.
  virtual TPersistent* OwnerOf() const;

 protected:
  // EConvertError naming the source's class ("nil" for none) and this class.
  [[noreturn]] void RaiseAssignError(const TPersistent* source) const;
};

}  // namespace tw
