// Objects that can be assigned from one another (and, with the component model,
// streamed).
#pragma once

#include "runtime/Object.h"

namespace tw {

class TFiler;

class TPersistent : public TObject {
  TW_CLASS(TPersistent, TObject)

 public:
  // Copies the source into this object. The default hands the work to the
  // source's AssignInto; no source raises the assignment error.
  virtual void AssignFrom(const TPersistent* source);

  // Copies this object into the destination. The default raises the assignment
  // error: a class that can copy itself overrides this or AssignFrom.
  virtual void AssignInto(TPersistent* destination) const;

  // Declares the properties that the form reader handles by name rather than
  // through published property access. Nothing by default.
  virtual void DeclareCustomProperties(TFiler* filer);

 protected:
  // EConvertError naming the source's class ("nil" for none) and this class.
  [[noreturn]] void RaiseAssignError(const TPersistent* source) const;
};

}  // namespace tw
