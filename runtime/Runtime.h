// Start-up of the runtime services, run once before anything else.
#pragma once

namespace tw {

// Loads the floating-point policy, creates the preallocated memory errors and, in
// the Windows build, installs the translation of processor faults into exceptions.
void InitRuntime();

}  // namespace tw
