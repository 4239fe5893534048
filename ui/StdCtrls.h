// The standard controls: the label and the group box, the single-line edit,
// the combo box, the push button and the check box, each in its own file pair.
// The windowed ones sit on the platform's own EDIT, COMBOBOX and BUTTON
// classes; the label has no window and draws on its parent.
#pragma once

#include "ui/Button.h"
#include "ui/CheckBox.h"
#include "ui/ComboBox.h"
#include "ui/Edit.h"
#include "ui/GroupBox.h"
#include "ui/Label.h"

namespace tw {

// Makes every standard control class known to the form reader (once is enough;
// later calls change nothing).
void RegisterStdControlClasses();

}  // namespace tw
