// Turning platform faults and runtime errors into exception objects, and the
// last-resort report of an exception that nothing handled.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/Exceptions.h"

namespace tw {

// The status under which the language runtime raises its own exception objects.
inline constexpr std::uint32_t kLanguageExceptionStatus = 0x0EEFFACE;

// A new exception object for a platform exception record: the status selects the
// class, the class's message-table entry the message; the record is kept.
std::unique_ptr<Exception> TranslateFault(const PlatformExceptionRecord& record);

// In the Windows build, makes every processor fault that happens in this
// program's own code reach the nearest handler as the translated exception.
// Natively there is nothing to install.
void InstallFaultTranslation();

// The pending input/output result that the runtime error hook reports.
void SetInOutResult(int code);
int TakeInOutResult();

// The runtime error hook: raises the exception object for a runtime error number
// (1 and 2 the preallocated memory errors, 3 to 24 the fault classes, anything
// else an input/output error built from the pending result).
[[noreturn]] void RaiseRuntimeError(int error);

// EAssertionFailed for a failed assertion with its text (may be empty), file and line.
[[noreturn]] void RaiseAssertionFailed(std::string_view text, std::string_view file, int line);

// EWin32Error for the platform's last error code.
[[noreturn]] void RaisePlatformError();

// A non-zero result unchanged; zero raises the platform error.
template <class T>
T CheckPlatformResult(T value) {
  if (!value) RaisePlatformError();
  return value;
}

// The text and caption of the last-resort report of an object raised at an address.
struct ExceptionReport {
  std::string text;
  std::string caption;
};
ExceptionReport MakeExceptionReport(const TObject* object, std::uintptr_t address);

// Shows the last-resort report in a task-modal error box.
void GenericExceptionReport(const TObject* object, std::uintptr_t address);

// The file name after its last directory separator.
std::string_view FileNameOnly(std::string_view path);

}  // namespace tw
