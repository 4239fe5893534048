// The exception class tree. Every error of the system travels as one of these;
// handlers catch by class, and a handler for a class catches its descendants.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/Format.h"
#include "runtime/MessageIds.h"
#include "runtime/Object.h"

namespace tw {

// The message-table entry with this id (at most 1023 bytes); empty when absent.
std::string LoadResString(ResId id);

// Declares an exception class: its class record, its constructors and the
// polymorphic re-raise that lets a translated fault be thrown as its own class.
#define TW_EXCEPTION(Name, Parent)                          \
  TW_CLASS(Name, Parent)                                    \
 public:                                                    \
  using Parent::Parent;                                     \
  [[noreturn]] void Throw() const override { throw *this; } \
                                                            \
 private:

class Exception : public TObject {
 public:
  using Inherited = TObject;
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo info{"Exception", &TObject::StaticClassInfo(), sizeof(Exception)};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClassInfo(); }

  // The four ways to make an exception: from a text, from a format and its
  // arguments, from a message-table entry, from an entry used as the format.
  explicit Exception(std::string message);
  Exception(std::string_view format, FormatArgs args);
  Exception(std::string_view format, std::initializer_list<FormatArg> args)
      : Exception(format, FormatArgs(args.begin(), args.size())) {}
  explicit Exception(ResId id);
  Exception(ResId id, FormatArgs args);
  Exception(ResId id, std::initializer_list<FormatArg> args) : Exception(id, FormatArgs(args.begin(), args.size())) {}

  const std::string& Message() const { return *message_; }
  void SetMessage(std::string message);
  std::int32_t HelpContext() const { return helpContext_; }
  void SetHelpContext(std::int32_t context) { helpContext_ = context; }

  // Raises a copy of this object as its own most derived class.
  [[noreturn]] virtual void Throw() const { throw *this; }

 private:
  // Shared so that copying an exception (raising it) never needs memory.
  std::shared_ptr<const std::string> message_;
  std::int32_t helpContext_ = 0;
};

class EAbort : public Exception {
  TW_EXCEPTION(EAbort, Exception)
};

class EHeapException : public Exception {
  TW_EXCEPTION(EHeapException, Exception)
 public:
  bool MayBeFreed() const { return mayBeFreed_; }
  void SetMayBeFreed(bool value) { mayBeFreed_ = value; }

 private:
  bool mayBeFreed_ = true;
};
class EOutOfMemory : public EHeapException {
  TW_EXCEPTION(EOutOfMemory, EHeapException)
};
class EInvalidPointer : public EHeapException {
  TW_EXCEPTION(EInvalidPointer, EHeapException)
};
class EOutOfResources : public EOutOfMemory {
  TW_EXCEPTION(EOutOfResources, EOutOfMemory)
};

class EInOutError : public Exception {
  TW_EXCEPTION(EInOutError, Exception)
 public:
  int ErrorCode() const { return errorCode_; }
  void SetErrorCode(int code) { errorCode_ = code; }

 private:
  int errorCode_ = 0;
};

// A copy of the platform's exception record, kept by every fault object.
struct PlatformExceptionRecord {
  std::uint32_t code = 0;
  std::uint32_t flags = 0;
  std::uintptr_t address = 0;
  std::uint32_t parameterCount = 0;
  std::array<std::uintptr_t, 15> information{};
};

class EExternal : public Exception {
  TW_EXCEPTION(EExternal, Exception)
 public:
  const PlatformExceptionRecord& ExceptionRecord() const { return record_; }
  void SetExceptionRecord(const PlatformExceptionRecord& record) { record_ = record; }

 private:
  PlatformExceptionRecord record_;
};
class EExternalException : public EExternal {
  TW_EXCEPTION(EExternalException, EExternal)
};
class EIntError : public EExternal {
  TW_EXCEPTION(EIntError, EExternal)
};
class EDivByZero : public EIntError {
  TW_EXCEPTION(EDivByZero, EIntError)
};
class ERangeError : public EIntError {
  TW_EXCEPTION(ERangeError, EIntError)
};
class EIntOverflow : public EIntError {
  TW_EXCEPTION(EIntOverflow, EIntError)
};
class EMathError : public EExternal {
  TW_EXCEPTION(EMathError, EExternal)
};
class EInvalidOp : public EMathError {
  TW_EXCEPTION(EInvalidOp, EMathError)
};
class EZeroDivide : public EMathError {
  TW_EXCEPTION(EZeroDivide, EMathError)
};
class EOverflow : public EMathError {
  TW_EXCEPTION(EOverflow, EMathError)
};
class EUnderflow : public EMathError {
  TW_EXCEPTION(EUnderflow, EMathError)
};
class EAccessViolation : public EExternal {
  TW_EXCEPTION(EAccessViolation, EExternal)
};
class EPrivilege : public EExternal {
  TW_EXCEPTION(EPrivilege, EExternal)
};
class EStackOverflow : public EExternal {
  TW_EXCEPTION(EStackOverflow, EExternal)
};
class EControlC : public EExternal {
  TW_EXCEPTION(EControlC, EExternal)
};

class EInvalidCast : public Exception {
  TW_EXCEPTION(EInvalidCast, Exception)
};
class EConvertError : public Exception {
  TW_EXCEPTION(EConvertError, Exception)
};
class EVariantError : public Exception {
  TW_EXCEPTION(EVariantError, Exception)
};
class EAssertionFailed : public Exception {
  TW_EXCEPTION(EAssertionFailed, Exception)
};
class EAbstractError : public Exception {
  TW_EXCEPTION(EAbstractError, Exception)
};
class EIntfCastError : public Exception {
  TW_EXCEPTION(EIntfCastError, Exception)
};
class EWin32Error : public Exception {
  TW_EXCEPTION(EWin32Error, Exception)
 public:
  std::uint32_t ErrorCode() const { return errorCode_; }
  void SetErrorCode(std::uint32_t code) { errorCode_ = code; }

 private:
  std::uint32_t errorCode_ = 0;
};
class ESafecallException : public Exception {
  TW_EXCEPTION(ESafecallException, Exception)
};

// The framework's own errors.
class EMenuError : public Exception {
  TW_EXCEPTION(EMenuError, Exception)
};
class EInvalidGraphic : public Exception {
  TW_EXCEPTION(EInvalidGraphic, Exception)
};
class EInvalidGraphicOperation : public Exception {
  TW_EXCEPTION(EInvalidGraphicOperation, Exception)
};
class EStreamError : public Exception {
  TW_EXCEPTION(EStreamError, Exception)
};
class EFCreateError : public EStreamError {
  TW_EXCEPTION(EFCreateError, EStreamError)
};
class EFOpenError : public EStreamError {
  TW_EXCEPTION(EFOpenError, EStreamError)
};
class EFilerError : public EStreamError {
  TW_EXCEPTION(EFilerError, EStreamError)
};
class EReadError : public EFilerError {
  TW_EXCEPTION(EReadError, EFilerError)
};
class EWriteError : public EFilerError {
  TW_EXCEPTION(EWriteError, EFilerError)
};
class EClassNotFound : public EFilerError {
  TW_EXCEPTION(EClassNotFound, EFilerError)
};
class EResNotFound : public Exception {
  TW_EXCEPTION(EResNotFound, Exception)
};
class EListError : public Exception {
  TW_EXCEPTION(EListError, Exception)
};
class EBitsError : public Exception {
  TW_EXCEPTION(EBitsError, Exception)
};
class EStringListError : public Exception {
  TW_EXCEPTION(EStringListError, Exception)
};
class EComponentError : public Exception {
  TW_EXCEPTION(EComponentError, Exception)
};
class EInvalidOperation : public Exception {
  TW_EXCEPTION(EInvalidOperation, Exception)
};

// The two memory errors exist from start-up on, so that they can be raised when
// no memory is left. Raising them throws the preallocated object's copy, whose
// message is shared and needs no allocation.
[[noreturn]] void RaiseOutOfMemory();
[[noreturn]] void RaiseInvalidPointer();
const EOutOfMemory& PreallocatedOutOfMemory();
const EInvalidPointer& PreallocatedInvalidPointer();

// Raises the abstract-call error.
[[noreturn]] void RaiseAbstractError();

// The error for a language-runtime object that is not of this tree.
std::string ForeignExceptionMessage();

}  // namespace tw
