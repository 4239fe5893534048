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

namespace tw {

class TCustomForm;
class THintWindow;

enum TTimerMode : std::uint8_t { tmShow, tmHide };

// What the subject control and ShowHintHook get before a hint shows.
struct THintInfo {
  TControl* Subject = nullptr;
  POINT AnchorPoint{};
  std::int32_t WidthLimit = 0;
  TColor BackColor = clInfoBk;
  RECT SubjectArea{};
  POINT CursorPoint{};
  std::string HintText;
  std::int32_t ReshowAfter = 0;
  std::int32_t HideAfter = 0;
  const TClassInfo* WindowKind = nullptr;
  void* ExtraData = nullptr;
};

// A procedure that sees the application window's messages first: true ends
// their processing.
struct TWindowHook {
  bool (*procedure)(void* data, TMessage& message);
  void* data;
  friend bool operator==(const TWindowHook&, const TWindowHook&) = default;
};

// The list of windows a disabling switched off, for the matching enabling.
using TDisabledWindows = std::vector<HWND>;
// Disables the visible, enabled top-level windows of this thread except one.
TDisabledWindows DisableTaskWindows(HWND except);
// Re-enables the recorded windows that still exist.
void EnableTaskWindows(const TDisabledWindows& windows);
// The first visible, enabled top-level window of this thread (other than the
// excepted one and the application window) that is not topmost, else the first
// topmost one, else none.
HWND FindTopmostTaskWindow(HWND except);

class TApplication : public TComponent {
  TW_PUBLISHED_CLASS(TApplication, TComponent)

 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;
  void BeforeFree() override;

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
  int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);
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
  const std::string& CurrentHint() const { return currentHint_; }
  HWND ModelessDialogWindow = nullptr;
  // What a change of the user's settings (WM_WININICHANGE) refreshes: the
  // thread's locale and the format settings; the screen's metrics and hints.
  bool UpdateFormatSettings = true;
  bool UpdateMetricSettings = true;

  // ---- Hints ----
  bool HintsEnabled() const { return hintsEnabled_; }
  void SetHintsEnabled(bool value);
  TColor HintBackColor = clInfoBk;
  std::int32_t HintDelay = 500;
  std::int32_t HintNextDelay = 0;
  std::int32_t HintHideDelay = 2500;
  bool HintShortcuts = true;
  TControl* HintSubject() const { return hintSubject_; }
  bool HintRecentlyShown() const { return hintRecentlyShown_; }
  THintWindow* HintWindow() const { return hintWindow_; }
  void HintMouseMove(TControl* control, TMessage& message);
  void PresentHint(POINT cursor);
  void HintTimerFired();
  void HideHintWindow();
  void DropHint();
  void ArmHintTimer(std::int32_t milliseconds, TTimerMode mode);
  void DisarmHintTimer();

  // The application forgets every reference to a control that goes.
  void ControlGone(TControl* control);

  // The application icon (the module's "MAINICON"); changing it tells the
  // window and every form.
  HICON Icon() const { return icon_; }
  void SetIcon(HICON icon);
  // The clean-up that also runs at program exit: owned pop-ups hidden, hints
  // off, the forms destroyed.
  void Cleanup();
  // The application window's message handling.
  void AppWndProc(TMessage& message);
  // The hint watch: the message hook and the cursor-leave watcher thread.
  void StartHintWatch();
  void StopHintWatch();
  bool HintWatchRunning() const { return watchHook_ != nullptr; }

  TEvent<MSG&, bool&> MessageHook;
  TEvent<TObject*, bool&> IdleHook;
  TEvent<TObject*, const Exception&> ExceptionHook;
  TNotifyEvent HintTextHook;
  TEvent<std::string&, bool&, THintInfo&> ShowHintHook;
  TNotifyEvent ActivateHook, DeactivateHook, MinimizeHook, RestoreHook;
  TEvent<MSG&, bool&> ShortCutHook;

 private:
  void CreateAppWindow();
  void DestroyAppWindow();
  void RestoreTopMosts();
  void NormalizeTopMosts();
  bool ShortCutCheck(TMessage& key);
  static DWORD WINAPI WatcherThread(void* parameter);

  HICON icon_ = nullptr;
  std::vector<TWindowHook> appWindowHooks_;
  std::vector<HWND> topmostList_;
  int topmostLevel_ = 0;
  TDisabledWindows disabledByWindow_;
  bool taskbarShown_ = false;
  bool trustedHookMessage_ = false;
  HHOOK watchHook_ = nullptr;
  HANDLE watcherThread_ = nullptr;
  DWORD watcherThreadId_ = 0;
  HANDLE watcherEvent_ = nullptr;
  std::atomic<bool> watcherSubject_{false};
  std::atomic<bool> dropRequested_{false};
  HWND handle_ = nullptr;
  std::string storedTitle_;
  TCustomForm* primaryForm_ = nullptr;
  bool quitRequested_ = false;
  bool loopRunning_ = false;
  bool active_ = true;
  bool hintsEnabled_ = false;
  TControl* controlUnderMouse_ = nullptr;
  std::string currentHint_;
  TControl* hintSubject_ = nullptr;
  bool hintRecentlyShown_ = false;
  RECT hintCursorArea_{};
  THintWindow* hintWindow_ = nullptr;
  UINT_PTR hintTimer_ = 0;
  TTimerMode hintTimerMode_ = tmShow;
};

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
