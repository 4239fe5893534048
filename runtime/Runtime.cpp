#include "runtime/Runtime.h"

#include "runtime/Exceptions.h"
#include "runtime/Faults.h"
#include "runtime/Fpu.h"

namespace tw {

void InitRuntime() {
  ResetFpu();
  PreallocatedOutOfMemory();
  PreallocatedInvalidPointer();
  InstallFaultTranslation();
}

}  // namespace tw
