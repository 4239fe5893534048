#include "ui/WindowBinding.h"

#include <cstdint>

#include "runtime/Format.h"
#include "ui/CustomControl.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// Two properties name a control window's control. The thread's (controlAtom)
// is the one the framework reads. The process's (windowAtom) is set on every
// control window and read by nothing here: code outside the framework that
// inspects the process's windows from another thread (a hook, a test tool)
// tells a control window by it without knowing which thread made it.
ATOM windowAtom = 0;
ATOM controlAtom = 0;
ATOM comboPartAtom = 0;
ATOM applicationAtom = 0;

}  // namespace

void RegisterControlAtoms() {
  if (controlAtom) return;
  const auto process = static_cast<std::int32_t>(GetCurrentProcessId());
  windowAtom = GlobalAddAtomA(FormatText("Varnet%.8X", {process}).c_str());
  controlAtom = GlobalAddAtomA(
      FormatText("ControlOfs%.8X%.8X", {static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(ModuleInstance())),
                                        static_cast<std::int32_t>(GetCurrentThreadId())})
          .c_str());
  comboPartAtom = GlobalAddAtomA(FormatText("ComboPart%.8X", {process}).c_str());
  applicationAtom = GlobalAddAtomA(FormatText("AppWindow%.8X", {process}).c_str());
}

void DeleteControlAtoms() {
  for (ATOM* atom : {&windowAtom, &controlAtom, &comboPartAtom, &applicationAtom}) {
    if (*atom) GlobalDeleteAtom(*atom);
    *atom = 0;
  }
}

namespace {

// The kind's atom, or none before the atoms are made (or after they go).
ATOM AtomOf(TWindowKind kind) {
  switch (kind) {
    case TWindowKind::Control: return controlAtom;
    case TWindowKind::ComboPart: return comboPartAtom;
    case TWindowKind::Application: return applicationAtom;
  }
  return 0;
}

// How deep the thread is in the framework's platform callbacks.
thread_local int callbackDepth = 0;

}  // namespace

void BindWindowObject(HWND window, TWindowKind kind, void* object) {
  if (!window) return;
  RegisterControlAtoms();
  const ATOM atom = AtomOf(kind);
  if (object) {
    SetPropA(window, MAKEINTATOM(atom), object);
    if (kind == TWindowKind::Control) SetPropA(window, MAKEINTATOM(windowAtom), object);
  } else {
    RemovePropA(window, MAKEINTATOM(atom));
    if (kind == TWindowKind::Control) RemovePropA(window, MAKEINTATOM(windowAtom));
  }
}

void* WindowObject(HWND window, TWindowKind kind) {
  const ATOM atom = AtomOf(kind);
  return window && atom ? GetPropA(window, MAKEINTATOM(atom)) : nullptr;
}

TCallbackScope::TCallbackScope() { ++callbackDepth; }

TCallbackScope::~TCallbackScope() {
  // Contexts borrowed while the platform called in go back when the outermost
  // callback returns; a nested message must not take one from under the
  // handler that sent it.
  if (--callbackDepth == 0) TControlCanvas::ReleaseAllContexts();
}

}  // namespace tw
