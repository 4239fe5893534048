// The version window: title, version, rights notice, the author's address and
// an OK button, all from its form resource.
#pragma once

#include "app/WindowMembers.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TForm2 : public TForm {
  TW_PUBLISHED_CLASS(TForm2, TForm)

 public:
  using TForm::TForm;

  // The fields the resource binds and the handlers its events name
  // (app/WindowMembers.h). Button1Click closes the box; the button's modal
  // result has already ended the loop's wait.
  TW_FORM2_MEMBERS(TW_DECLARE_WINDOW_FIELD, TW_DECLARE_WINDOW_HANDLER)
};

// The version window while it is shown, else none.
extern TForm2* Form2;

}  // namespace tw
