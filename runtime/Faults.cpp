#include "runtime/Faults.h"

#include "runtime/Platform.h"
#include "runtime/Text.h"

namespace tw {

namespace {

template <class E>
std::unique_ptr<Exception> MakeExternal(const PlatformExceptionRecord& record, ResId id) {
  auto error = std::make_unique<E>(id);
  error->SetExceptionRecord(record);
  return error;
}

std::unique_ptr<Exception> MakeAccessViolation(const PlatformExceptionRecord& record) {
  const void* faultAddress = reinterpret_cast<const void*>(record.address);
  const void* target = reinterpret_cast<const void*>(record.information[1]);
  std::string kind = LoadResString(record.information[0] == 0 ? msg::ReadAccess : msg::WriteAccess);
  std::unique_ptr<EAccessViolation> error;
  if (auto owner = platform::DescribeAddress(record.address)) {
    std::string module(FileNameOnly(owner->moduleFileName));
    error.reset(new EAccessViolation(msg::AccessViolationModule, {faultAddress, module, kind, target}));
  } else {
    error.reset(new EAccessViolation(msg::AccessViolationNoModule, {faultAddress, kind, target}));
  }
  error->SetExceptionRecord(record);
  return error;
}

// The runtime error numbers 3 to 24, in order.
std::unique_ptr<Exception> MakeRuntimeError(int error) {
  const PlatformExceptionRecord none;
  switch (error) {
    case 3: return MakeExternal<EDivByZero>(none, msg::DivByZero);
    case 4: return MakeExternal<ERangeError>(none, msg::RangeError);
    case 5: return MakeExternal<EIntOverflow>(none, msg::IntOverflow);
    case 6: return MakeExternal<EInvalidOp>(none, msg::InvalidOp);
    case 7: return MakeExternal<EZeroDivide>(none, msg::ZeroDivide);
    case 8: return MakeExternal<EOverflow>(none, msg::Overflow);
    case 9: return MakeExternal<EUnderflow>(none, msg::Underflow);
    case 10: return std::make_unique<EInvalidCast>(msg::InvalidCast);
    case 11: return MakeExternal<EAccessViolation>(none, msg::AccessViolationNoModule);
    case 12: return MakeExternal<EPrivilege>(none, msg::PrivilegedInstruction);
    case 13: return MakeExternal<EControlC>(none, msg::ControlC);
    case 14: return MakeExternal<EStackOverflow>(none, msg::StackOverflow);
    case 15: return std::make_unique<EVariantError>(msg::VarTypeCast);
    case 16: return std::make_unique<EVariantError>(msg::VarOverflow);
    case 17: return std::make_unique<EVariantError>(msg::VarInvalidOp);
    case 18: return std::make_unique<EVariantError>(msg::VarBadType);
    case 19: return std::make_unique<EVariantError>(msg::VarArrayBounds);
    case 20: return std::make_unique<EVariantError>(msg::VarArrayCreate);
    case 21: return std::make_unique<EAssertionFailed>(msg::AssertionFailed);
    case 22: return MakeExternal<EExternalException>(none, msg::ExternalException);
    case 23: return std::make_unique<EIntfCastError>(msg::IntfCastError);
    case 24: return std::make_unique<ESafecallException>(msg::SafecallException);
    default: return nullptr;
  }
}

thread_local int inOutResult = 0;

}  // namespace

std::string_view FileNameOnly(std::string_view path) { return path.substr(FileNameStart(path)); }

std::unique_ptr<Exception> TranslateFault(const PlatformExceptionRecord& record) {
  switch (record.code) {
    case 0xC0000094: return MakeExternal<EDivByZero>(record, msg::DivByZero);
    case 0xC000008C: return MakeExternal<ERangeError>(record, msg::RangeError);
    case 0xC0000095: return MakeExternal<EIntOverflow>(record, msg::IntOverflow);
    case 0xC0000090:
    case 0xC000008F:
    case 0xC0000092: return MakeExternal<EInvalidOp>(record, msg::InvalidOp);
    case 0xC000008E: return MakeExternal<EZeroDivide>(record, msg::ZeroDivide);
    case 0xC0000091: return MakeExternal<EOverflow>(record, msg::Overflow);
    case 0xC0000093:
    case 0xC000008D: return MakeExternal<EUnderflow>(record, msg::Underflow);
    case 0xC0000005: return MakeAccessViolation(record);
    case 0xC0000096: return MakeExternal<EPrivilege>(record, msg::PrivilegedInstruction);
    case 0xC000013A: return MakeExternal<EControlC>(record, msg::ControlC);
    case 0xC00000FD: return MakeExternal<EStackOverflow>(record, msg::StackOverflow);
    default: break;
  }
  std::unique_ptr<EExternalException> error(new EExternalException(msg::ExternalException, {record.code}));
  error->SetExceptionRecord(record);
  if (record.code == kLanguageExceptionStatus) error->SetMessage(ForeignExceptionMessage());
  return error;
}

void SetInOutResult(int code) { inOutResult = code; }

int TakeInOutResult() {
  int code = inOutResult;
  inOutResult = 0;
  return code;
}

void RaiseRuntimeError(int error) {
  if (error == 1) RaiseOutOfMemory();
  if (error == 2) RaiseInvalidPointer();
  if (auto translated = MakeRuntimeError(error)) translated->Throw();
  const int code = TakeInOutResult();
  static constexpr int kKnownCodes[] = {2, 3, 4, 5, 100, 101, 106};
  std::unique_ptr<EInOutError> io;
  for (std::size_t i = 0; i < std::size(kKnownCodes); ++i)
    if (kKnownCodes[i] == code)
      io = std::make_unique<EInOutError>(ResId{static_cast<std::uint16_t>(msg::FileNotFound.value + i)});
  if (!io) io.reset(new EInOutError(msg::InOutError, {code}));
  io->SetErrorCode(code);
  throw EInOutError(*io);
}

void RaiseAssertionFailed(std::string_view text, std::string_view file, int line) {
  std::string message = text.empty() ? LoadResString(msg::AssertionFailed) : std::string(text);
  throw EAssertionFailed(msg::AssertError, {message, file, line});
}

void RaisePlatformError() {
  const std::uint32_t code = platform::LastErrorCode();
  if (code == 0) {
    throw EWin32Error(msg::UnknownWin32Error);
  }
  std::string text = platform::ErrorCodeText(code);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) < '!' || text.back() == '.')) text.pop_back();
  EWin32Error error(msg::Win32Error, {static_cast<std::int32_t>(code), text});
  error.SetErrorCode(code);
  throw error;
}

ExceptionReport MakeExceptionReport(const TObject* object, std::uintptr_t address) {
  std::string module;
  if (auto owner = platform::DescribeAddress(address)) {
    module = owner->moduleFileName;
    address -= owner->allocationBase;
  } else {
    module = platform::ModuleFileName();
    if (address) address -= 0x1000;
  }
  std::string message;
  if (auto* exception = dynamic_cast<const Exception*>(object)) message = exception->Message();
  const char* dot = !message.empty() && message.back() != '.' ? "." : "";
  std::string text = FormatText(
      LoadResString(msg::ExceptionReport),
      {object ? object->ClassName() : "", FileNameOnly(module), reinterpret_cast<const void*>(address), message, dot});
  return {std::string(CutText(text, 1023)), std::string(CutText(LoadResString(msg::ExceptionReportCaption), 63))};
}

void GenericExceptionReport(const TObject* object, std::uintptr_t address) {
  ExceptionReport report = MakeExceptionReport(object, address);
  platform::ShowErrorBox(report.text, report.caption);
}

#ifndef _WIN32
void InstallFaultTranslation() {}
#endif

}  // namespace tw
