#include "app/Verunit.h"

namespace tw {

TForm2* Form2 = nullptr;

void TForm2::Publish(Publisher& p) {
  TW_FIELD(Button1);
  TW_FIELD(Label1);
  TW_FIELD(Label2);
  TW_FIELD(Label3);
  TW_FIELD(Label4);
  TW_METHOD(Button1Click);
}

void TForm2::Button1Click(TObject*) { CloseForm(); }

}  // namespace tw
