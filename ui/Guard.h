// The one guard around every platform callback (window, timer and hook
// procedures, enumeration callbacks): no exception may cross the platform's
// frames, so each callback hands whatever it raises to the application object.
#pragma once

#include "runtime/Object.h"

namespace tw {

// Called with an exception in flight. The application object installs its
// HandleUncaught here; without one the runtime's last-resort report shows it.
using TUncaughtHandler = void (*)(TObject* sender);
TUncaughtHandler SetUncaughtHandler(TUncaughtHandler handler);

// Hands the exception in flight to the installed handler. Never raises.
void HandleUncaughtException(TObject* sender);

// Runs body(); an exception it raises goes to HandleUncaughtException and the
// fallback is returned instead.
template <class R, class F>
R GuardCallback(TObject* sender, R fallback, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    HandleUncaughtException(sender);
    return fallback;
  }
}

template <class F>
void GuardCallback(TObject* sender, F&& body) noexcept {
  try {
    body();
  } catch (...) {
    HandleUncaughtException(sender);
  }
}

}  // namespace tw
