// Hints: the small pop-up text shown near the pointer when it rests on a
// control that has hints switched on. Here are the pop-up window, the rules
// that pick a hint's subject and text, and the hint machine: the timer and
// its mode, the subject and the cursor area, showing and dropping the hint,
// and the watch that ends it. The application object owns the machine; the
// machine holds its settings, and reads the platform through a seam that a
// test may replace.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"

namespace tw {

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

using TShowHintEvent = TEvent<std::string&, bool&, THintInfo&>;

class THintWindow : public TCustomControl {
  TW_PUBLISHED_CLASS(THintWindow, TCustomControl)

 public:
  explicit THintWindow(TComponent* owner);
  ~THintWindow() override;

  // The rectangle the text needs within the width limit, with the margins.
  virtual RECT MeasureHint(std::int32_t widthLimit, std::string_view text, void* extraData);
  virtual void ShowAtWithData(RECT rect, std::string_view text, void* extraData);
  // Shows the text at the rectangle, kept on the desktop, above every window
  // and without taking the activation.
  virtual void ShowAt(RECT rect, std::string_view text);
  // Destroys the platform window; the object stays.
  void ReleaseWindow() { DestroyWindowHandle(); }
  bool Activating() const { return activating_; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;

 private:
  void WMNCHitTest(TMessage& m);
  void WMNCPaint(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void FMTextChanged(TMessage& m);

  bool activating_ = false;
};

// The class of hint windows the application makes (THintWindow by default).
extern const TClassInfo* HintWindowKind;

// A message that ends a showing hint: keys, button presses and releases, the
// wheel, commands, activation changes, non-client moves; never a plain move.
bool IsHintEndingMessage(const MSG& message);

// The first control going up from this one whose ShowHint is set, or none.
TControl* FindHintSubject(TControl* control);
// The first non-empty Hint going up from this control (empty when none).
std::string FindHintText(TControl* control);
// The text before the first "|" (all of it without one), and after it.
std::string ShortHintPart(std::string_view hint);
std::string LongHintPart(std::string_view hint);

// The request the watcher thread posts to the owner's window when the pointer
// has left the program's windows; the owner hands it to TakeDropRequest.
inline constexpr UINT kDropHintRequest = FM_BASE + 0x0F0;

// The hint machine's settings, read at every step so that a change counts at
// once.
struct THintSettings {
  TColor backColor = clInfoBk;
  // The wait before a hint, before one while a hint was just shown, and how
  // long one stays up (milliseconds).
  std::int32_t delay = 500;
  std::int32_t nextDelay = 0;
  std::int32_t hideDelay = 2500;
};

// What the machine tells or asks the object that owns it.
class THintOwner {
 public:
  // The hint window's owner, and the sender of the hooks and of errors.
  virtual TComponent& HintComponent() = 0;
  // The window the watcher posts its drop request to, while the owner's
  // message loop runs; none otherwise (then no watch runs).
  virtual HWND HintWatchWindow() = 0;
  // A hint is about to show: the owner may change it or veto it.
  virtual void HintShowing(std::string& text, bool& mayShow, THintInfo& info) = 0;
  // The long part of the hint under the pointer changed.
  virtual void HintTextChanged() = 0;

 protected:
  ~THintOwner() = default;
};

// The machine's three reads of the platform: the pointer, whether this
// thread's window is the active one, and the control under a screen point.
// The defaults ask the platform; a test steps the machine with its own.
class THintReads {
 public:
  virtual ~THintReads() = default;
  virtual POINT Cursor();
  virtual bool ProgramInFront();
  virtual TControl* ControlAt(POINT screenPoint);
};

class THintMachine {
 public:
  explicit THintMachine(THintOwner& owner);
  ~THintMachine();
  THintMachine(const THintMachine&) = delete;
  THintMachine& operator=(const THintMachine&) = delete;

  // Switching hints on makes the hint window (of HintWindowKind); off drops
  // the hint and frees the window.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  TComponent& Owner() const { return owner_.HintComponent(); }
  THintSettings& Settings() { return settings_; }
  const THintSettings& Settings() const { return settings_; }
  const std::string& CurrentHint() const { return currentHint_; }
  // The platform reads, or others in their place (none: the platform's again).
  THintReads& Reads() const { return *reads_; }
  void SetReads(THintReads* reads);

  TControl* Subject() const { return subject_; }
  bool RecentlyShown() const { return recentlyShown_; }
  THintWindow* Window() const { return window_; }
  bool WatchRunning() const { return watchHook_ != nullptr; }
  // The armed timer's wait and mode (none armed: 0).
  UINT_PTR Timer() const { return timer_; }
  std::int32_t TimerDelay() const { return timerDelay_; }
  TTimerMode TimerMode() const { return timerMode_; }
  const RECT& CursorArea() const { return cursorArea_; }

  // The pointer moved over the control: picks the subject and arms the timer.
  void MouseMoved(TControl& control, const TMessage& move);
  // The idle step found this control under the pointer (or none).
  void PointerRestsOn(TControl* control);
  // Shows the subject's hint for the cursor position, if it still applies.
  void Present(POINT cursor);
  // The timer's step, the platform's timer or a test calling.
  void TimerFired();
  void HideWindow();
  // Hides the hint and forgets the subject.
  void Drop();
  void ArmTimer(std::int32_t milliseconds, TTimerMode mode);
  void DisarmTimer();
  // The watch: the message hook that ends a hint, and the thread that sees
  // the pointer leave the program's windows.
  void StartWatch();
  void StopWatch();
  void TakeDropRequest();
  // A control that goes, or whose window goes, is no subject any more.
  void ForgetControl(const TControl* control);
  void ForgetWindowOf(const TWinControl* control);

 private:
  // Shows the hint window for the subject as the hint information says.
  void ShowWindowFor(TControl& subject, const THintInfo& info);
  static DWORD WINAPI WatcherThread(void* parameter);
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR timer, DWORD);
  static LRESULT CALLBACK EndingMessageHook(int code, WPARAM wParam, LPARAM lParam);
  // Every live machine: the platform's timer and hook hand back no data of
  // ours, so they find their machine here.
  static std::vector<THintMachine*>& Machines();

  THintOwner& owner_;
  THintReads* reads_;
  THintSettings settings_;
  std::string currentHint_;
  bool enabled_ = false;
  TControl* subject_ = nullptr;
  bool recentlyShown_ = false;
  RECT cursorArea_{};
  THintWindow* window_ = nullptr;
  UINT_PTR timer_ = 0;
  std::int32_t timerDelay_ = 0;
  TTimerMode timerMode_ = tmShow;
  HHOOK watchHook_ = nullptr;
  HANDLE watcherThread_ = nullptr;
  DWORD watcherThreadId_ = 0;
  HWND watchTarget_ = nullptr;
  HANDLE watcherEvent_ = nullptr;
  std::atomic<bool> watcherSubject_{false};
  std::atomic<bool> dropRequested_{false};
};

}  // namespace tw
