// The application object: the running program towards the platform. It owns
// the hidden application window, the title, the forms made through MakeForm,
// the message loop and idle step, the hint machinery, and the report of
// exceptions that escape event handlers.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Component.h"
#include "graphics/Graphics.h"
#include "ui/Controls.h"
#include "ui/Hints.h"
#include "ui/TaskWindows.h"

namespace tw {

class TCustomForm;

// A procedure that sees the application window's messages first: true ends
// their processing.
struct TWindowHook {
  bool (*procedure)(void* data, TMessage& message);
  void* data;
  friend bool operator==(const TWindowHook&, const TWindowHook&) = default;
};

class TApplication : public TComponent, private THintOwner {
  TW_PUBLISHED_CLASS(TApplication, TComponent)

 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;
  void BeforeFree() override;

  // Runs the procedure in the framework's initialisation slot, if one was
  // registered (SetInitProc); nothing otherwise.
  void Prepare();
  std::string AppTitle() const;
  void SetAppTitle(std::string_view title);
  HWND WindowHandle() const { return handle_; }

  // Makes a form of class T owned by the application. The reference is set as
  // soon as the form's base part exists, so that handlers running during the
  // construction reach the form, and cleared when the construction fails.
  template <class T>
  void MakeForm(T*& reference) {
    MakeFormOf(
        T::StaticClassInfo(), [](TComponent* owner) -> TCustomForm* { return new T(owner); },
        // T's construction has begun when its base part announces itself.
        [&reference](TCustomForm* form) { reference = form ? static_cast<T*>(form) : nullptr; });
  }
  using TFormAnnouncer = std::function<void(TCustomForm*)>;
  void MakeFormOf(const TClassInfo& cls, TCustomForm* (*construct)(TComponent*), const TFormAnnouncer& announce);

  void RunLoop();
  void RequestQuit();
  void HandleOneMessage();
  bool TakeOneMessage(MSG& message);
  void IdleStep();
  // Called with an exception in flight.
  void HandleUncaught(TObject* sender);
  void ReportException(const Exception& exception);
  // Reports an error whose text the program's code page may not hold (a file
  // name) as an exception is reported: the same full-stop rule, caption and
  // icon, the text wide.
  void ReportError(std::wstring text);
  // A message box over the application window, the task's other windows
  // disabled while it is up; the text in the program's code page, or wide
  // (for text such as a file name that the code page may not hold).
  int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);
  int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);
  void MinimizeApp();
  void RestoreApp();
  void SyncTaskbarVisibility();
  void AddWindowHook(TWindowHook hook);
  void RemoveWindowHook(TWindowHook hook);

  TCustomForm* PrimaryForm() const { return primaryForm_; }
  bool ShowPrimaryForm = true;
  bool QuitRequested() const { return quitRequested_; }
  void SetQuitRequested(bool value) { quitRequested_ = value; }
  bool LoopRunning() const { return loopRunning_; }
  bool Active() const { return active_; }
  TControl* ControlUnderMouse() const { return controlUnderMouse_; }
  const std::string& CurrentHint() const { return hints_.CurrentHint(); }
  HWND ModelessDialogWindow = nullptr;
  // What a change of the user's settings (WM_WININICHANGE) refreshes: the
  // thread's locale and the format settings; the screen's metrics and hints.
  bool UpdateFormatSettings = true;
  bool UpdateMetricSettings = true;

  // ---- Hints ----
  // The machine and its settings (held by the machine, read at each step).
  bool HintsEnabled() const { return hints_.Enabled(); }
  void SetHintsEnabled(bool value) { hints_.SetEnabled(value); }
  TColor HintBackColor() const { return hints_.Settings().backColor; }
  void SetHintBackColor(TColor value) { hints_.Settings().backColor = value; }
  std::int32_t HintDelay() const { return hints_.Settings().delay; }
  void SetHintDelay(std::int32_t value) { hints_.Settings().delay = value; }
  std::int32_t HintNextDelay() const { return hints_.Settings().nextDelay; }
  void SetHintNextDelay(std::int32_t value) { hints_.Settings().nextDelay = value; }
  std::int32_t HintHideDelay() const { return hints_.Settings().hideDelay; }
  void SetHintHideDelay(std::int32_t value) { hints_.Settings().hideDelay = value; }
  bool HintShortcuts = true;
  THintMachine& Hints() { return hints_; }
  TControl* HintSubject() const { return hints_.Subject(); }
  bool HintRecentlyShown() const { return hints_.RecentlyShown(); }
  THintWindow* HintWindow() const { return hints_.Window(); }
  void HideHintWindow() { hints_.HideWindow(); }
  void DropHint() { hints_.Drop(); }

  // The application forgets every reference to a control that goes, and the
  // references that followed the pointer or the focus to a destroyed window.
  void ControlGone(TControl* control);
  void WindowGone(TWinControl* control);

  // The application icon (the module's "MAINICON"); changing it tells the
  // window and every form.
  HICON Icon() const { return icon_; }
  void SetIcon(HICON icon);
  // The clean-up that also runs at program exit: owned pop-ups hidden, hints
  // off, the forms destroyed.
  void Cleanup();
  // The application window's message handling: the window hooks first, then
  // the handler of the message's number, else the platform's default.
  void AppWndProc(TMessage& message);
  void DefaultHandler(TMessage& message) override;

  TEvent<MSG&, bool&> MessageHook;
  TEvent<TObject*, bool&> IdleHook;
  TEvent<TObject*, const Exception&> ExceptionHook;
  TNotifyEvent HintTextHook;
  TShowHintEvent ShowHintHook;
  TNotifyEvent ActivateHook, DeactivateHook, MinimizeHook, RestoreHook;
  TEvent<MSG&, bool&> ShortCutHook;

 private:
  void CreateAppWindow();
  void DestroyAppWindow();
  void RestoreTopMosts();
  void NormalizeTopMosts();
  bool ShortCutCheck(TMessage& key);
  int RunMessageBox(const std::function<int()>& show);

  // The application window's messages, one handler each.
  void WMWinIniChange(TMessage& m);
  void WMSetFocus(TMessage& m);
  void WMEnable(TMessage& m);
  void WMPaint(TMessage& m);
  void WMClose(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMEndSession(TMessage& m);
  void WMActivateApp(TMessage& m);
  void WMQueryDragIcon(TMessage& m);
  void WMSysCommand(TMessage& m);
  void WMCtlColor(TMessage& m);
  void FMActivate(TMessage& m);
  void FMDeactivate(TMessage& m);
  void FMAppKeyDown(TMessage& m);
  void FMAppSysCommand(TMessage& m);
  void FMEnter(TMessage& m);
  void FMWindowHook(TMessage& m);
  void FMDialogHandle(TMessage& m);
  void FMDropHint(TMessage& m);

  HICON icon_ = nullptr;
  std::vector<TWindowHook> appWindowHooks_;
  std::vector<HWND> topmostList_;
  int topmostLevel_ = 0;
  TDisabledWindows disabledByWindow_;
  bool taskbarShown_ = false;
  bool trustedHookMessage_ = false;
  HWND handle_ = nullptr;
  std::string storedTitle_;
  TCustomForm* primaryForm_ = nullptr;
  bool quitRequested_ = false;
  bool loopRunning_ = false;
  bool active_ = true;
  TControl* controlUnderMouse_ = nullptr;
  // What the hint machine asks of its owner.
  TComponent& HintComponent() override { return *this; }
  HWND HintWatchWindow() override { return loopRunning_ ? handle_ : nullptr; }
  void HintShowing(std::string& text, bool& mayShow, THintInfo& info) override { ShowHintHook(text, mayShow, info); }
  void HintTextChanged() override { HintTextHook(this); }
  // Last, so that it goes first: it may still call back while it drops a hint.
  THintMachine hints_{*this};
};

// The framework's initialisation slot: a procedure a unit registers to run
// when the program prepares its application object, before its windows are
// made. Returns the procedure registered before.
using TInitProc = void (*)();
TInitProc SetInitProc(TInitProc procedure);

// The application object (made at framework start-up), or none.
TApplication* Application();

// The framework's start-up and shutdown: atoms, screen, application, hint
// window, cursor names; and the reverse.
void InitializeFramework();
void FinalizeFramework();

// The title a module file name gives (already in the ANSI code page): the part
// after the last "\", cut at its first ".", with every character but the first
// lower-cased.
std::string AppTitleFromModuleName(std::string_view fileName);

// The show command the process was started with (SW_SHOWDEFAULT without one).
int StartupShowCommand();
void SetStartupShowCommand(int command);

}  // namespace tw
