// The control tree, for the many files that use all of it: controls
// (ui/Control.h), windowed controls (ui/WinControl.h), the controls that paint
// themselves (ui/CustomControl.h) and the binding of windows to their objects
// (ui/WindowBinding.h).
#pragma once

#include "ui/Control.h"
#include "ui/CustomControl.h"
#include "ui/WinControl.h"
#include "ui/WindowBinding.h"
