#include "ui/StdCtrls.h"

#include "core/ClassRegistry.h"

namespace tw {

void RegisterStdControlClasses() {
  RegisterComponentClasses<TLabel, TGroupBox, TEdit, TComboBox, TButton, TCheckBox>();
}

}  // namespace tw
