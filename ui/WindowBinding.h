// The one way between a platform window and the framework's object behind it,
// and the time the platform is calling into the framework.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

#include "ui/Guard.h"

namespace tw {

// The atoms naming the window properties that map a window to its object.
void RegisterControlAtoms();
void DeleteControlAtoms();

// The one way from a window to the framework's object behind it: a window
// property named by one of the framework's atoms, one atom per kind of
// window. The window's user-data slot is left to whoever made the window.
enum class TWindowKind : std::uint8_t { Control, ComboPart, Application };
// Ties the window to the object (none: unties it). A control window is also
// tagged for the whole process (see the atoms).
void BindWindowObject(HWND window, TWindowKind kind, void* object);
// The object tied to the window as that kind, or none.
void* WindowObject(HWND window, TWindowKind kind);

// Marks the time the platform is calling into the framework. When the
// outermost scope ends, the device contexts control canvases took meanwhile
// are given back: the one place they are released.
class TCallbackScope {
 public:
  TCallbackScope();
  ~TCallbackScope();
  TCallbackScope(const TCallbackScope&) = delete;
  TCallbackScope& operator=(const TCallbackScope&) = delete;
};

// Every window, timer and hook procedure of the framework runs its body here:
// under the one guard, inside a callback scope.
template <class F>
void GuardWindowCallback(TObject* sender, F&& body) noexcept {
  TCallbackScope scope;
  GuardCallback(sender, std::forward<F>(body));
}

}  // namespace tw
