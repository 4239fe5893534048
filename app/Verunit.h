// The version window: title, version, rights notice, the author's address and
// an OK button, all from its form resource.
#pragma once

#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TForm2 : public TForm {
  TW_PUBLISHED_CLASS(TForm2, TForm)

 public:
  using TForm::TForm;

  TButton* Button1 = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* Label4 = nullptr;

  // Closes the box; the button's modal result has already ended the loop's wait.
  void Button1Click(TObject* sender);
};

// The version window while it is shown, else none.
extern TForm2* Form2;

}  // namespace tw
