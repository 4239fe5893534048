#include "ui/Guard.h"

#include <atomic>
#include <exception>

#include "runtime/Exceptions.h"
#include "runtime/Faults.h"

namespace tw {

namespace {
std::atomic<TUncaughtHandler> uncaughtHandler{nullptr};
}

TUncaughtHandler SetUncaughtHandler(TUncaughtHandler handler) { return uncaughtHandler.exchange(handler); }

void HandleUncaughtException(TObject* sender) {
  try {
    if (TUncaughtHandler handler = uncaughtHandler.load()) {
      handler(sender);
      return;
    }
    try {
      throw;
    } catch (const TObject& object) {
      GenericExceptionReport(&object, 0);
    } catch (...) {
      GenericExceptionReport(nullptr, 0);
    }
  } catch (...) {
    // The report itself failed; there is nobody left to tell.
  }
}

}  // namespace tw
