// What a screen reader hears. Each windowed control answers the platform's
// accessibility query (WM_GETOBJECT for its client area) with one object of
// its own, made on the first query and kept until its window goes. The object
// wraps the platform's standard object for the window (location, focus,
// parent and window navigation stay the platform's) and answers name, role,
// value, states, description and default action from the control at the
// moment of each call, never from a copy:
//
// - a field (an edit, a combo box: TAccessibleTraits::field) is named by the
//   visible controls that name it (a label's FocusControl), in the order a
//   reader's eye meets them: "時間 (分)". Its value is its text. A field no
//   label names has no name, never its value;
// - any other control is named by its caption as it is drawn;
// - role, extra states and the default action are what the class states.
//
// Controls without a window (labels) appear as simple elements of their
// parent's object, in reading order, each field's labels right before it.
// Every method answers E_FAIL rather than letting an exception out; nothing a
// screen reader asks is ever reported to the user.
#pragma once

#include <string>
#include <vector>

namespace tw {

struct TMessage;
class TControl;
class TWinControl;

// Answers WM_GETOBJECT for the control's window (the combo box's edit part
// answers with its combo box): true when answered, the result set; any other
// object id, or a failure, is left to the default handling.
bool AnswerAccessibleQuery(TWinControl& control, TMessage& query);

// The control's text was set: a field's value changed, any other control's
// name (and, for a label, the name of the field it names).
void TellTextChanged(TControl& control);
// A label names another field now (or none): the names of the label, of the
// field it named before and of the one it names now changed.
void TellNamingChanged(TControl& label, TWinControl* previous);

// The control's window is gone: its object is disconnected from every client
// (whose next call answers RPC_E_DISCONNECTED) and lets go of the control.
void ReleaseAccessibleObject(TWinControl& control);
// After the last window: every object let go, COM closed if it was opened here.
void FinishAccessibility();

// The rules, readable in-process.
std::string AccessibleName(const TControl& control);
std::string AccessibleShortcut(const TControl& control);
// A windowed control's elements in reading order: top, then left, except
// that a field's labels come right before it. Only visible controls.
std::vector<TControl*> AccessibleElements(const TWinControl& parent);
// How many accessibility objects exist (clients may hold disconnected ones).
int LiveAccessibleObjects();

}  // namespace tw
