// The program's entry: the framework around the main window and its loop.
#include <windows.h>

#include "app/Mainunit.h"
#include "runtime/Exceptions.h"
#include "runtime/Faults.h"
#include "runtime/Platform.h"
#include "runtime/Runtime.h"
#include "ui/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The floating-point policy, the memory errors and the fault translation come
  // before any framework code runs.
  tw::InitRuntime();
  // The windows and messages in the user's language, decided before anything
  // is read.
  tw::SetUiLanguage(tw::platform::UserInterfaceLanguage());

  // The show command the starting process asked for; the command-line
  // argument of the same meaning is not used, as nothing here reads the
  // command line.
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  tw::SetStartupShowCommand((startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT);

  int exitCode = 0;
  try {
    // Inside the guard: the framework's own windows can fail to be made, and
    // the user must hear of it rather than see the program vanish.
    tw::InitializeFramework();
    tw::TApplication& application = *tw::Application();
    application.Prepare();
    application.SetAppTitle("Tarnwick for MPEG4");
    application.MakeForm(tw::Form1);
    application.RunLoop();
  } catch (const tw::Exception& e) {
    if (tw::TApplication* application = tw::Application())
      application->ReportException(e);
    else
      tw::GenericExceptionReport(&e, 0);
    // The user has seen the message; whoever started the program learns of
    // the failure from the exit code.
    exitCode = 1;
  }
  tw::FinalizeFramework();
  return exitCode;
}
