#include "ui/StdCtrls.h"

#include "core/ClassRegistry.h"

namespace tw {

void RegisterStdControlClasses() {
  RegisterStreamClasses({&TLabel::StaticClassInfo(), &TGroupBox::StaticClassInfo(), &TEdit::StaticClassInfo(),
                         &TComboBox::StaticClassInfo(), &TButton::StaticClassInfo()});
}

}  // namespace tw
