// What the control tree tells the program around it, or asks of it. The tree
// sits below the application and cannot name it, so the application installs
// itself here at start-up and takes itself away at shutdown. Without a host
// the tree tells no one and keeps every key to itself. Its one implementation
// is TApplicationHost in ui/Application.cpp, installed when the framework
// starts (InitializeFramework) and removed when it finishes.
#pragma once

#include <windows.h>

#include "core/ClassInfo.h"

namespace tw {

class TControl;
class TCustomForm;
class TWinControl;

class TControlHost {
 public:
  // The mouse moved over the control (a WM_MOUSEMOVE in its client
  // coordinates): hints follow the pointer.
  virtual void MouseMovedOver(TControl& control, const TMessage& move) = 0;
  // A key press that the focused control's form did not take, offered before
  // the control's own dialog handling; true when taken.
  virtual bool OfferKey(TMessage& key) = 0;
  // The control is being freed: nothing may point at it afterwards.
  virtual void ControlFreed(TControl& control) = 0;
  // The control's window was destroyed while the control lives on (it may be
  // given a new one): whatever followed the pointer or the focus to that
  // window lets go of the control.
  virtual void WindowDestroyed(TWinControl& control) = 0;
  // The platform asks the control's window for an accessibility object
  // (WM_GETOBJECT); true when answered (the query's result set).
  virtual bool AnswerObjectQuery(TWinControl& control, TMessage& query) = 0;
  // The control's text was set through the framework (not while it is read):
  // a screen reader following it is told.
  virtual void TextChanged(TControl& control) = 0;

  // What a form asks of the program: forms sit below the application too.
  // A form came, went or changed its visibility: the taskbar button follows.
  virtual void FormsChanged() = 0;
  // The window that owns every top-level form (none: the desktop).
  virtual HWND OwnerWindow() = 0;
  // The program's main form, or none yet.
  virtual TCustomForm* PrimaryForm() = 0;
  // The main form closed, or was minimised: the program quits, or hides.
  virtual void PrimaryFormClosed() = 0;
  virtual void PrimaryFormMinimized() = 0;
  // Handles one message for a modal loop (waiting for it); true once the
  // program has been asked to quit.
  virtual bool PumpModalMessage() = 0;

 protected:
  ~TControlHost() = default;
};

// The installed host, or none.
TControlHost* ControlHost();
// Installs the host (none: takes it away); returns the previous one.
TControlHost* SetControlHost(TControlHost* host);

}  // namespace tw
