#include "tests/ui/TestControls.h"

#include "runtime/Exceptions.h"

namespace tw::test {

void TTestPanel::Publish(Publisher&) {}

void TTestLeaf::Publish(Publisher& p) {
  TW_MESSAGE(kThrowMessage, Boom);
  TW_MESSAGE(kCountMessage, Count);
  TW_MESSAGE(FM_HINTSHOW, HintShow);
}

void TTestLeaf::Boom(TMessage&) {
  ++thrown;
  if (throwAbort) throw EAbort("quiet");
  throw EConvertError("bad value");
}

void TTestLeaf::Count(TMessage& m) {
  ++handled;
  m.result = 1;
}

void TTestLeaf::HintShow(TMessage& m) { m.result = vetoHint ? 1 : 0; }

void TTestButton::Publish(Publisher& p) { TW_MESSAGE(FN_COMMAND, FNCommand); }

void TTestButton::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.style |= BS_PUSHBUTTON;
}

void TTestButton::FNCommand(TMessage& m) {
  ++clicks;
  lastNotification = HIWORD(m.wParam);
}

void TTestGraphic::Publish(Publisher&) {}

}  // namespace tw::test
