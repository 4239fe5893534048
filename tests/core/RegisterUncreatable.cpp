// Compiled by the tests, never linked: registering a component class that the
// form reader could not create must not compile. With
// TW_GIVE_OWNER_CONSTRUCTOR the same class has its constructor and compiles.
#include "core/ClassRegistry.h"

namespace tw {

class TGadget : public TComponent {
  TW_PUBLISHED_CLASS(TGadget, TComponent)

 public:
#ifdef TW_GIVE_OWNER_CONSTRUCTOR
  explicit TGadget(TComponent* owner) : TComponent(owner) {}
#else
  TGadget() : TComponent(nullptr) {}
#endif
};

void RegisterGadget() { RegisterComponentClasses<TGadget>(); }

}  // namespace tw
