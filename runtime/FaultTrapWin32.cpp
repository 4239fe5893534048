// Processor faults in this program's own code become exception objects thrown at
// the faulting instruction, so that the nearest handler catches them by class.
//
// A vectored handler sees the fault first. It keeps a copy of the record and
// resumes the thread in a function that throws the translated object, with the
// faulting address made to look like that function's caller: the unwinder then
// walks out of the faulting function as if it had made a call there. The code is
// compiled with unwind tables for every trapping instruction. Faults elsewhere
// (the platform's own code probes memory and handles its faults) are left alone.
#include <windows.h>

#include "runtime/Faults.h"
#include "runtime/Fpu.h"

namespace tw {

namespace {

thread_local PlatformExceptionRecord pendingFault;

bool InOwnModule(std::uintptr_t address) {
  static const auto range = [] {
    auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<std::uintptr_t>(dos->e_lfanew));
    return std::pair<std::uintptr_t, std::uintptr_t>(base, base + nt->OptionalHeader.SizeOfImage);
  }();
  return address >= range.first && address < range.second;
}

bool IsTranslatedStatus(DWORD code) {
  switch (code) {
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_ILLEGAL_INSTRUCTION: return true;
    default: return false;
  }
}

// Entered in place of the faulting instruction. The floating-point unit is reset
// first (with non-waiting instructions), so a pending fault cannot go off again.
extern "C" [[noreturn]] __attribute__((noinline, used)) void TwThrowPendingFault() {
  ResetFpu();
  TranslateFault(pendingFault)->Throw();
  __builtin_unreachable();  // Throw never returns; the virtual call hides that
}

LONG CALLBACK FaultHandler(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  const auto address = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
  if (!IsTranslatedStatus(record->ExceptionCode) || !InOwnModule(address)) return EXCEPTION_CONTINUE_SEARCH;

  PlatformExceptionRecord copy;
  copy.code = record->ExceptionCode;
  copy.flags = record->ExceptionFlags;
  copy.address = address;
  copy.parameterCount = record->NumberParameters;
  for (DWORD i = 0; i < record->NumberParameters && i < copy.information.size(); ++i)
    copy.information[i] = record->ExceptionInformation[i];
  pendingFault = copy;

  CONTEXT* context = pointers->ContextRecord;
  // Clear the fault flags that the thread resumes with.
  context->FloatSave.StatusWord &= ~0x80FFu;
  context->FloatSave.ControlWord = kFpuPolicyWord | 0x3F;
  // One past the faulting instruction: the unwinder steps back one byte to find
  // the instruction that "made the call", which is then the faulting one itself.
  context->Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(context->Esp) = static_cast<DWORD>(address + 1);
  context->Eip = reinterpret_cast<DWORD>(&TwThrowPendingFault);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallFaultTranslation() {
  static const PVOID handler = AddVectoredExceptionHandler(1, FaultHandler);
  (void)handler;
}

}  // namespace tw
