#include "ui/CheckBox.h"

#include <oleacc.h>

#include "runtime/MessageIds.h"

namespace tw {

// Every message it handles is its base's.
void TCustomCheckBox::Publish(Publisher&) {}

void TCheckBox::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  TW_PROPERTY(Checked, &Self::Checked, &Self::SetChecked);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::OnClick);
  PublishMouseEvents(p, false);
}

TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) {
  ControlStyle = {csSetsCaption, csDoubleClicks};
  PlaceControl(Left(), Top(), 97, 17);
  SetTabStop(true);
}

void TCustomCheckBox::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  // Not the platform's automatic kind: the platform would flip the state on
  // a click but not on the accelerator or a screen reader's action; here
  // Click flips it for all of them alike.
  params.style |= BS_CHECKBOX;
}

void TCustomCheckBox::Click() {
  SetCheckState(!CheckState());
  TButtonControl::Click();
}

TAccessibleTraits TCustomCheckBox::AccessibleTraits() const {
  const bool checked = CheckState();
  return {.role = ROLE_SYSTEM_CHECKBUTTON,
          .states = checked ? static_cast<std::uint32_t>(STATE_SYSTEM_CHECKED) : 0u,
          .defaultAction = (checked ? msg::ActionUncheck : msg::ActionCheck).value};
}

}  // namespace tw
