#include "app/Verunit.h"

namespace tw {

TForm2* Form2 = nullptr;

void TForm2::Publish(Publisher& p) { TW_FORM2_MEMBERS(TW_PUBLISH_WINDOW_FIELD, TW_PUBLISH_WINDOW_HANDLER) }

void TForm2::Button1Click(TObject*) { CloseForm(); }

}  // namespace tw
