#include "runtime/Exceptions.h"

#include "runtime/Platform.h"

namespace tw {

std::string LoadResString(ResId id) { return platform::LoadMessage(id.value).value_or(std::string()); }

Exception::Exception(std::string message) : message_(std::make_shared<const std::string>(std::move(message))) {}

Exception::Exception(std::string_view format, FormatArgs args) : Exception(FormatText(format, args)) {}

Exception::Exception(ResId id) : Exception(LoadResString(id)) {}

Exception::Exception(ResId id, FormatArgs args) : Exception(FormatText(LoadResString(id), args)) {}

void Exception::SetMessage(std::string message) { message_ = std::make_shared<const std::string>(std::move(message)); }

namespace {

template <class E>
E MakePreallocated(ResId id) {
  E error{id};
  error.SetMayBeFreed(false);
  return error;
}

}  // namespace

const EOutOfMemory& PreallocatedOutOfMemory() {
  static const EOutOfMemory error = MakePreallocated<EOutOfMemory>(msg::OutOfMemory);
  return error;
}

const EInvalidPointer& PreallocatedInvalidPointer() {
  static const EInvalidPointer error = MakePreallocated<EInvalidPointer>(msg::InvalidPointer);
  return error;
}

void RaiseOutOfMemory() { throw PreallocatedOutOfMemory(); }
void RaiseInvalidPointer() { throw PreallocatedInvalidPointer(); }

void RaiseAbstractError() { throw EAbstractError(msg::AbstractError); }

std::string ForeignExceptionMessage() { return "C++ Exception"; }

}  // namespace tw
