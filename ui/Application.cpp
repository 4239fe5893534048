#include "ui/Application.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/ClassRegistry.h"
#include "runtime/Exceptions.h"
#include "runtime/Faults.h"
#include "runtime/Format.h"
#include "runtime/Platform.h"
#include "runtime/ScopeExit.h"
#include "runtime/Text.h"
#include "ui/Accessible.h"
#include "ui/Forms.h"
#include "ui/Guard.h"
#include "ui/Hints.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

TApplication* application = nullptr;
TInitProc initProc = nullptr;

// The hidden application window: a captioned pop-up with a system menu and a
// minimise box, so that the task bar shows it and its menu.
constexpr DWORD kAppWindowStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Moves a window and nothing else: no size, order, activation or redrawing.
constexpr UINT kMoveOnly = SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE;
// Shows or hides a window where it is.
constexpr UINT kInPlace = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
int startupShowCommand = -1;

// Shows the window with the minimise/restore animation switched off for the call.
void ShowWithoutAnimation(HWND window, int command) {
  ANIMATIONINFO animation{sizeof animation, 0};
  SystemParametersInfoA(SPI_GETANIMATION, sizeof animation, &animation, 0);
  const int previous = animation.iMinAnimate;
  animation.iMinAnimate = 0;
  SystemParametersInfoA(SPI_SETANIMATION, sizeof animation, &animation, 0);
  ShowWindow(window, command);
  animation.iMinAnimate = previous;
  SystemParametersInfoA(SPI_SETANIMATION, sizeof animation, &animation, 0);
}

// Installed only while the application exists; before and after, the guard
// falls back to the runtime's own report.
void UncaughtToApplication(TObject* sender) { application->HandleUncaught(sender); }

// The application as the control tree's host: what the tree tells it
// reaches the application object, while there is one.
class TApplicationHost final : public TControlHost {
 public:
  void MouseMovedOver(TControl& control, const TMessage& move) override {
    if (application) application->Hints().MouseMoved(control, move);
  }
  bool OfferKey(TMessage& key) override {
    if (!application || !application->WindowHandle()) return false;
    return SendMessageA(application->WindowHandle(), FM_APPKEYDOWN, key.wParam, reinterpret_cast<LPARAM>(&key)) != 0;
  }
  void ControlFreed(TControl& control) override {
    if (auto* windowed = dynamic_cast<TWinControl*>(&control)) ReleaseAccessibleObject(*windowed);
    if (application) application->ControlGone(&control);
  }
  void WindowDestroyed(TWinControl& control) override {
    ReleaseAccessibleObject(control);
    if (application) application->WindowGone(&control);
  }
  bool AnswerObjectQuery(TWinControl& control, TMessage& query) override {
    return AnswerAccessibleQuery(control, query);
  }
  void TextChanged(TControl& control) override { TellTextChanged(control); }
  void FormsChanged() override {
    if (application) application->SyncTaskbarVisibility();
  }
  HWND OwnerWindow() override { return application ? application->WindowHandle() : nullptr; }
  TCustomForm* PrimaryForm() override { return application ? application->PrimaryForm() : nullptr; }
  void PrimaryFormClosed() override {
    if (application) application->RequestQuit();
  }
  void PrimaryFormMinimized() override {
    if (application) application->MinimizeApp();
  }
  bool PumpModalMessage() override {
    if (!application) return true;
    application->HandleOneMessage();
    return application->QuitRequested();
  }
};

TApplicationHost applicationHost;

LRESULT CALLBACK AppWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* app = static_cast<TApplication*>(WindowObject(window, TWindowKind::Application));
  if (!app) return DefWindowProcA(window, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  GuardWindowCallback(app, [&] { app->AppWndProc(m); });
  return m.result;
}

struct TopmostSearch {
  HWND appWindow;
  std::vector<HWND>* list;
};

BOOL CALLBACK TopmostProc(HWND window, LPARAM data) {
  return GuardCallback(application, TRUE, [&]() -> BOOL {
    auto& search = *reinterpret_cast<TopmostSearch*>(data);
    if (window != search.appWindow && IsWindowVisible(window) && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST))
      search.list->push_back(window);
    return TRUE;
  });
}

}  // namespace

// ---- Framework start-up ------------------------------------------------------------

namespace {

// The classes of the window layer, made known to the form reader.
void RegisterControlClasses() {
  RegisterComponentClasses<TForm>();
  RegisterMenuClasses();
  RegisterStdControlClasses();
}

}  // namespace

TApplication* Application() { return application; }

void InitializeFramework() {
  if (application) return;
  RegisterControlAtoms();
  RegisterGraphicsIdentMaps();
  if (!Screen()) SetScreen(new TScreen(nullptr));
  if (!Screen()->HintFont()) Screen()->ReadMetrics();
  InstallGlobalFormFinder();
  RegisterControlClasses();
  {
    // The constructor names itself the application before it makes its
    // window; a failed one must not stay named.
    TScopeFail unname([] { application = nullptr; });
    application = new TApplication(nullptr);
    unname.Dismiss();
  }
  SetUncaughtHandler(&UncaughtToApplication);
  SetControlHost(&applicationHost);
  application->SetHintsEnabled(true);
  RegisterCursorIdentMap();
}

void FinalizeFramework() {
  SetUncaughtHandler(nullptr);
  if (application) {
    application->Cleanup();
    TApplication* app = application;
    delete app;
  }
  // After the last window: the objects screen readers hold are let go.
  FinishAccessibility();
  SetControlHost(nullptr);
  if (TScreen* screen = Screen()) {
    SetScreen(nullptr);
    delete screen;
  }
  // The atoms live in a table shared by every process of the session.
  DeleteControlAtoms();
}

int StartupShowCommand() {
  if (startupShowCommand < 0) {
    STARTUPINFOA info{};
    info.cb = sizeof info;
    GetStartupInfoA(&info);
    startupShowCommand = (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
  }
  return startupShowCommand;
}

void SetStartupShowCommand(int command) { startupShowCommand = command; }

std::string AppTitleFromModuleName(std::string_view fileName) {
  // Scanned a character at a time: the second byte of a double-byte
  // character may have the value of "\" or ".".
  std::string title(fileName.substr(FileNameStart(fileName)));
  for (std::size_t i = 0; i < title.size(); ++i) {
    const auto byte = static_cast<unsigned char>(title[i]);
    if (byte == '.') {
      title.resize(i);
      break;
    }
    if (IsDBCSLeadByte(byte) && i + 1 < title.size()) ++i;
  }
  if (title.size() > 1) {
    // The first character keeps its case (both bytes when it is double-byte).
    const std::size_t first = IsDBCSLeadByte(static_cast<unsigned char>(title[0])) ? 2 : 1;
    if (title.size() > first) CharLowerBuffA(title.data() + first, static_cast<DWORD>(title.size() - first));
  }
  return title;
}

// ---- TApplication ---------------------------------------------------------------

void TApplication::Publish(Publisher& p) {
  TW_MESSAGE(WM_WININICHANGE, WMWinIniChange);
  TW_MESSAGE(WM_SETFOCUS, WMSetFocus);
  TW_MESSAGE(WM_ENABLE, WMEnable);
  TW_MESSAGE(WM_PAINT, WMPaint);
  TW_MESSAGE(WM_CLOSE, WMClose);
  TW_MESSAGE(WM_ERASEBKGND, WMEraseBkgnd);
  TW_MESSAGE(WM_ENDSESSION, WMEndSession);
  TW_MESSAGE(WM_ACTIVATEAPP, WMActivateApp);
  TW_MESSAGE(WM_QUERYDRAGICON, WMQueryDragIcon);
  TW_MESSAGE(WM_SYSCOMMAND, WMSysCommand);
  for (UINT colorRequest = WM_CTLCOLORMSGBOX; colorRequest <= WM_CTLCOLORSTATIC; ++colorRequest)
    TW_MESSAGE(colorRequest, WMCtlColor);
  TW_MESSAGE(FM_ACTIVATE, FMActivate);
  TW_MESSAGE(FM_DEACTIVATE, FMDeactivate);
  TW_MESSAGE(FM_APPKEYDOWN, FMAppKeyDown);
  TW_MESSAGE(FM_APPSYSCOMMAND, FMAppSysCommand);
  TW_MESSAGE(FM_ENTER, FMEnter);
  TW_MESSAGE(FM_WINDOWHOOK, FMWindowHook);
  TW_MESSAGE(FM_DIALOGHANDLE, FMDialogHandle);
  TW_MESSAGE(kDropHintRequest, FMDropHint);
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  if (!application) application = this;
  icon_ = LoadIconA(ModuleInstance(), "MAINICON");
  // Read wide and only the file's own name converted: a folder whose name the
  // program's code page cannot hold must not spoil the title.
  wchar_t path[1024] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  const std::wstring_view full(path, std::min<std::size_t>(n, std::size(path) - 1));
  const std::wstring_view name = full.substr(full.find_last_of(L"\\/") + 1);
  storedTitle_ = AppTitleFromModuleName(
      platform::WideToAnsi(std::u16string(reinterpret_cast<const char16_t*>(name.data()), name.size())));
  CreateAppWindow();
}

TApplication::~TApplication() {
  DestroyAppWindow();
  if (application == this) application = nullptr;
}

void TApplication::BeforeFree() {
  active_ = false;
  DropHint();
  SetHintsEnabled(false);
  TComponent::BeforeFree();
  DestroyAppWindow();
  appWindowHooks_.clear();
  topmostList_.clear();
  icon_ = nullptr;
}

void TApplication::DestroyAppWindow() {
  if (!handle_) return;
  if (NewStyleControls()) SendMessageA(handle_, WM_SETICON, ICON_BIG, 0);
  BindWindowObject(handle_, TWindowKind::Application, nullptr);
  DestroyWindow(std::exchange(handle_, nullptr));
}

void TApplication::CreateAppWindow() {
  if (handle_) return;
  WNDCLASSA existing{};
  if (!GetClassInfoA(ModuleInstance(), "TApplication", &existing)) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = ModuleInstance();
    wc.lpszClassName = "TApplication";
    if (!RegisterClassA(&wc)) throw EOutOfResources(msg::WindowClass);
  }
  handle_ = CreateWindowExA(0, "TApplication", storedTitle_.c_str(), kAppWindowStyle, GetSystemMetrics(SM_CXSCREEN) / 2,
                            GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, ModuleInstance(), nullptr);
  if (!handle_) RaisePlatformError();
  storedTitle_.clear();
  BindWindowObject(handle_, TWindowKind::Application, this);
  SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AppWindowProc));
  if (NewStyleControls() && icon_) {
    SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SetClassLongPtrA(handle_, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon_));
  }
  HMENU menu = GetSystemMenu(handle_, FALSE);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  if (NewStyleControls()) DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
}

TInitProc SetInitProc(TInitProc procedure) { return std::exchange(initProc, procedure); }

void TApplication::Prepare() {
  if (initProc) initProc();
}

std::string TApplication::AppTitle() const {
  if (!handle_) return storedTitle_;
  char buffer[256] = {};
  const int n = GetWindowTextA(handle_, buffer, sizeof buffer);
  return std::string(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

void TApplication::SetAppTitle(std::string_view title) {
  if (!handle_) {
    storedTitle_ = title;
    return;
  }
  if (AppTitle() != title || !storedTitle_.empty()) {
    const std::string copy(title);
    SetWindowTextA(handle_, copy.c_str());
    storedTitle_.clear();
  }
}

void TApplication::SetIcon(HICON icon) {
  icon_ = icon;
  if (!handle_) return;
  if (NewStyleControls()) {
    SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SetClassLongPtrA(handle_, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon_));
  } else if (IsIconic(handle_)) {
    InvalidateRect(handle_, nullptr, TRUE);
  }
  if (TScreen* screen = Screen())
    for (TCustomForm* form : std::vector<TCustomForm*>(screen->CustomForms())) form->Deliver(FM_ICONCHANGED);
}

void TApplication::MakeFormOf(const TClassInfo& cls, TCustomForm* (*construct)(TComponent*),
                              const TFormAnnouncer& announce) {
  TCustomForm* form = nullptr;
  TScopeFail unannounce([&] { announce(nullptr); });
  {
    const TFormAnnouncement announcement(announce);
    form = construct(this);
  }
  announce(form);
  // The resource is read once the most derived constructor has run; a
  // failure there frees the form.
  form->FinishConstruction();
  unannounce.Dismiss();
  if (!primaryForm_ && cls.InheritsFrom(TForm::StaticClassInfo())) {
    form->Handle();
    primaryForm_ = form;
  }
}

void TApplication::Cleanup() {
  if (handle_) ShowOwnedPopups(handle_, FALSE);
  SetHintsEnabled(false);
  // The forms go, the last made first; the application itself stays.
  while (OwnedCount() > 0) delete OwnedAt(OwnedCount() - 1);
}

void TApplication::RunLoop() {
  const TFlagScope running(loopRunning_);
  static bool cleanupRegistered = false;
  if (!cleanupRegistered) {
    cleanupRegistered = true;
    std::atexit([] {
      if (application) application->Cleanup();
    });
  }
  if (!primaryForm_) return;
  switch (StartupShowCommand()) {
    case SW_SHOWMAXIMIZED: primaryForm_->SetWindowState(wsMaximized); break;
    case SW_SHOWMINNOACTIVE: primaryForm_->StoreWindowState(wsMinimized); break;
    default: break;
  }
  if (ShowPrimaryForm) {
    if (primaryForm_->WindowState() == wsMinimized)
      MinimizeApp();
    else
      primaryForm_->SetVisible(true);
  }
  while (!quitRequested_) HandleOneMessage();
}

void TApplication::RequestQuit() { PostQuitMessage(0); }

void TApplication::HandleOneMessage() {
  MSG message{};
  if (!TakeOneMessage(message)) IdleStep();
}

bool TApplication::TakeOneMessage(MSG& message) {
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    quitRequested_ = true;
    return true;
  }
  bool handled = false;
  MessageHook(message, handled);
  if (hints_.Window() && IsHintEndingMessage(message)) DropHint();
  if (handled) return true;
  if (message.message >= WM_KEYDOWN && message.message <= kKeyLast) {
    HWND target = GetCapture();
    bool foreign = false;
    if (target) {
      foreign = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(target, GWLP_HINSTANCE)) != ModuleInstance();
    } else {
      target = message.hwnd;
      for (HWND w = message.hwnd; w; w = GetParent(w))
        if (TWinControl::FromHandle(w)) {
          target = w;
          break;
        }
    }
    if (!foreign && target && SendMessageA(target, message.message + FN_BASE, message.wParam, message.lParam) != 0)
      return true;
  }
  if (ModelessDialogWindow && IsDialogMessageA(ModelessDialogWindow, &message)) return true;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void TApplication::IdleStep() {
  bool done = true;
  try {
    // The pointer is read as the hint machine reads it, so that both follow
    // the same pointer (the platform's, or a test's).
    THintReads& reads = hints_.Reads();
    TControl* found = reads.ControlAt(reads.Cursor());
    TControl* captureControl = TWinControl::FromHandle(GetCapture());
    if (found != controlUnderMouse_) {
      if (controlUnderMouse_ && (!captureControl || controlUnderMouse_ == captureControl))
        controlUnderMouse_->Deliver(FM_MOUSELEAVE);
      controlUnderMouse_ = found;
      if (controlUnderMouse_ && (!captureControl || controlUnderMouse_ == captureControl))
        controlUnderMouse_->Deliver(FM_MOUSEENTER);
    }
    hints_.PointerRestsOn(found);
    IdleHook(this, done);
  } catch (...) {
    HandleUncaught(this);
  }
  if (done) WaitMessage();
}

void TApplication::HandleUncaught(TObject* sender) {
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  try {
    throw;
  } catch (const EAbort&) {
    // An abort is the program's own way to stop quietly.
  } catch (const Exception& e) {
    if (ExceptionHook)
      ExceptionHook(sender, e);
    else
      ReportException(e);
  } catch (const TObject& object) {
    GenericExceptionReport(&object, 0);
  } catch (...) {
    GenericExceptionReport(nullptr, 0);
  }
}

void TApplication::ReportException(const Exception& exception) {
  std::string text = exception.Message();
  if (!text.empty()) {
    // The first byte of the last character (a double-byte one counts whole).
    std::size_t last = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      last = i;
      if (IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
    }
    if (static_cast<unsigned char>(text[last]) > '.') text += '.';
  }
  ShowMessageBox(text, AppTitle(), MB_ICONSTOP);
}

void TApplication::ReportError(std::wstring text) {
  // UTF-16 has no double-byte characters: the last unit is the last character.
  if (!text.empty() && text.back() > L'.') text += L'.';
  const std::u16string caption = platform::AnsiToWide(AppTitle());
  ShowMessageBox(text, std::wstring(caption.begin(), caption.end()), MB_ICONSTOP);
}

int TApplication::ShowMessageBox(const std::string& text, const std::string& caption, UINT flags) {
  return RunMessageBox([&] { return MessageBoxA(handle_, text.c_str(), caption.c_str(), flags); });
}

int TApplication::ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
  return RunMessageBox([&] { return MessageBoxW(handle_, text.c_str(), caption.c_str(), flags); });
}

int TApplication::RunMessageBox(const std::function<int()>& show) {
  HWND active = GetActiveWindow();
  bool moved = false;
  RECT saved{};
  HMONITOR activeMonitor = MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST);
  HMONITOR appMonitor = MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST);
  if (handle_ && activeMonitor != appMonitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(activeMonitor, &info)) {
      GetWindowRect(handle_, &saved);
      SetWindowPos(handle_, nullptr, info.rcMonitor.left + (info.rcMonitor.right - info.rcMonitor.left) / 2,
                   info.rcMonitor.top + (info.rcMonitor.bottom - info.rcMonitor.top) / 2, 0, 0, kMoveOnly);
      moved = true;
    }
  }
  TDisabledWindows disabled = DisableTaskWindows(nullptr);
  const int result = show();
  if (moved) SetWindowPos(handle_, nullptr, saved.left, saved.top, 0, 0, kMoveOnly);
  EnableTaskWindows(disabled);
  if (active) SetActiveWindow(active);
  return result;
}

void TApplication::AddWindowHook(TWindowHook hook) {
  trustedHookMessage_ = true;
  SendMessageA(handle_, FM_WINDOWHOOK, 0, reinterpret_cast<LPARAM>(&hook));
  trustedHookMessage_ = false;
}

void TApplication::RemoveWindowHook(TWindowHook hook) {
  trustedHookMessage_ = true;
  SendMessageA(handle_, FM_WINDOWHOOK, 1, reinterpret_cast<LPARAM>(&hook));
  trustedHookMessage_ = false;
}

void TApplication::NormalizeTopMosts() {
  if (!handle_) return;
  if (topmostLevel_++ == 0) {
    topmostList_.clear();
    TopmostSearch search{handle_, &topmostList_};
    EnumThreadWindows(GetCurrentThreadId(), &TopmostProc, reinterpret_cast<LPARAM>(&search));
    for (HWND w : topmostList_) SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void TApplication::RestoreTopMosts() {
  if (!handle_ || topmostLevel_ == 0) return;
  if (--topmostLevel_ == 0) {
    for (auto it = topmostList_.rbegin(); it != topmostList_.rend(); ++it)
      if (IsWindow(*it)) SetWindowPos(*it, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    topmostList_.clear();
  }
}

bool TApplication::ShortCutCheck(TMessage& key) {
  MSG msg{handle_, key.msg, key.wParam, key.lParam, 0, {}};
  bool handled = false;
  ShortCutHook(msg, handled);
  if (handled) return true;
  if (primaryForm_ && primaryForm_->WindowHandle() && IsWindowEnabled(primaryForm_->WindowHandle()))
    return primaryForm_->IsShortCut(key);
  return false;
}

void TApplication::AppWndProc(TMessage& m) {
  m.result = 0;
  for (const TWindowHook& hook : std::vector<TWindowHook>(appWindowHooks_))
    if (hook.procedure && hook.procedure(hook.data, m)) return;
  DispatchById(*this, m);
}

void TApplication::DefaultHandler(TMessage& m) {
  m.result = handle_ ? DefWindowProcA(handle_, m.msg, m.wParam, m.lParam) : 0;
}

// ---- The application window's messages ----

void TApplication::WMWinIniChange(TMessage& m) {
  if (UpdateFormatSettings) {
    SetThreadLocale(LOCALE_USER_DEFAULT);
    ReadFormatSettings();
  }
  if (UpdateMetricSettings) {
    if (TScreen* screen = Screen()) screen->ReadMetrics();
    if (hints_.Enabled()) {
      SetHintsEnabled(false);
      SetHintsEnabled(true);
    }
  }
  DefaultHandler(m);
}

void TApplication::WMSetFocus(TMessage& m) {
  PostMessageA(handle_, FM_ENTER, 0, 0);
  DefaultHandler(m);
}

void TApplication::WMEnable(TMessage& m) {
  if (m.wParam) {
    RestoreTopMosts();
    EnableTaskWindows(std::exchange(disabledByWindow_, {}));
    DefaultHandler(m);
  } else {
    DefaultHandler(m);
    disabledByWindow_ = DisableTaskWindows(handle_);
    NormalizeTopMosts();
  }
}

void TApplication::WMPaint(TMessage& m) {
  if (!IsIconic(handle_)) {
    DefaultHandler(m);
    return;
  }
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(handle_, &ps);
  if (icon_) DrawIcon(dc, 0, 0, icon_);
  EndPaint(handle_, &ps);
}

void TApplication::WMClose(TMessage&) {
  if (primaryForm_) primaryForm_->CloseForm();
}

void TApplication::WMEraseBkgnd(TMessage& m) {
  m.result = DefWindowProcA(handle_, WM_ICONERASEBKGND, m.wParam, m.lParam);
}

void TApplication::WMEndSession(TMessage& m) {
  if (m.wParam) quitRequested_ = true;
}

void TApplication::WMActivateApp(TMessage& m) {
  DefaultHandler(m);
  active_ = m.wParam != 0;
  if (active_) {
    RestoreTopMosts();
    PostMessageA(handle_, FM_ACTIVATE, 0, 0);
  } else {
    NormalizeTopMosts();
    PostMessageA(handle_, FM_DEACTIVATE, 0, 0);
  }
}

void TApplication::WMQueryDragIcon(TMessage& m) { m.result = reinterpret_cast<std::intptr_t>(icon_); }

void TApplication::WMSysCommand(TMessage& m) {
  switch (m.wParam & kSysCommandMask) {
    case SC_MINIMIZE: MinimizeApp(); break;
    case SC_RESTORE: RestoreApp(); break;
    default: DefaultHandler(m); break;
  }
}

// A control's colour request goes back to the control as its own notification.
void TApplication::WMCtlColor(TMessage& m) {
  m.result = SendMessageA(reinterpret_cast<HWND>(m.lParam), m.msg + FN_BASE, m.wParam, m.lParam);
}

void TApplication::FMActivate(TMessage&) { ActivateHook(this); }

void TApplication::FMDeactivate(TMessage&) { DeactivateHook(this); }

void TApplication::FMAppKeyDown(TMessage& m) {
  auto* key = reinterpret_cast<TMessage*>(m.lParam);
  if (key && InSendMessageEx(nullptr) == ISMEX_NOSEND && ShortCutCheck(*key)) m.result = 1;
}

void TApplication::FMAppSysCommand(TMessage& m) {
  if (!primaryForm_ || !primaryForm_->WindowHandle() || !IsWindowEnabled(primaryForm_->WindowHandle()) ||
      !IsWindowVisible(primaryForm_->WindowHandle()))
    return;
  ++FocusChangeCounter();
  HWND focused = GetFocus();
  SetFocus(primaryForm_->WindowHandle());
  primaryForm_->Deliver(WM_SYSCOMMAND, m.wParam, m.lParam);
  SetFocus(focused);
  --FocusChangeCounter();
  m.result = 1;
}

void TApplication::FMEnter(TMessage&) {
  if (!IsIconic(handle_) && GetFocus() == handle_)
    if (HWND w = FindTopmostTaskWindow(nullptr)) SetFocus(w);
}

void TApplication::FMWindowHook(TMessage& m) {
  // The pair is a pointer into this process: taken only from the framework's
  // own direct call on this thread.
  if (!trustedHookMessage_ || InSendMessageEx(nullptr) != ISMEX_NOSEND || !m.lParam) return;
  const TWindowHook hook = *reinterpret_cast<const TWindowHook*>(m.lParam);
  if (m.wParam == 0) {
    appWindowHooks_.insert(appWindowHooks_.begin(), hook);
  } else if (m.wParam == 1) {
    auto it = std::find(appWindowHooks_.begin(), appWindowHooks_.end(), hook);
    if (it != appWindowHooks_.end()) appWindowHooks_.erase(it);
  }
}

void TApplication::FMDialogHandle(TMessage& m) {
  if (m.wParam == 1) {
    m.result = reinterpret_cast<std::intptr_t>(ModelessDialogWindow);
  } else if (InSendMessageEx(nullptr) == ISMEX_NOSEND) {
    // Only a window of this thread is handed to the dialog translation.
    HWND dialog = reinterpret_cast<HWND>(m.lParam);
    if (!dialog || GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId()) ModelessDialogWindow = dialog;
  }
}

void TApplication::FMDropHint(TMessage&) { hints_.TakeDropRequest(); }

void TApplication::MinimizeApp() {
  if (!handle_ || IsIconic(handle_)) return;
  NormalizeTopMosts();
  SetActiveWindow(handle_);
  if (primaryForm_ && (ShowPrimaryForm || primaryForm_->Visible())) {
    SetWindowPos(handle_, primaryForm_->WindowHandle(), primaryForm_->Left(), primaryForm_->Top(),
                 primaryForm_->Width(), 0, SWP_SHOWWINDOW);
    DefWindowProcA(handle_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else {
    ShowWithoutAnimation(handle_, SW_MINIMIZE);
  }
  MinimizeHook(this);
}

void TApplication::RestoreApp() {
  if (!handle_ || !IsIconic(handle_)) return;
  SetActiveWindow(handle_);
  if (primaryForm_ && (ShowPrimaryForm || primaryForm_->Visible())) {
    DefWindowProcA(handle_, WM_SYSCOMMAND, SC_RESTORE, 0);
  } else {
    ShowWithoutAnimation(handle_, SW_RESTORE);
  }
  SetWindowPos(handle_, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
               SWP_SHOWWINDOW | SWP_NOZORDER | SWP_NOACTIVATE);
  if (primaryForm_ && primaryForm_->WindowState() == wsMinimized && !primaryForm_->Visible()) {
    primaryForm_->SetWindowState(wsNormal);
    primaryForm_->ShowForm();
  }
  RestoreTopMosts();
  if (TScreen* screen = Screen())
    if (TWinControl* control = screen->ActiveControl(); control && control->WindowHandle())
      SetFocus(control->WindowHandle());
  RestoreHook(this);
}

void TApplication::SyncTaskbarVisibility() {
  if (!handle_) return;
  bool wanted = false;
  if (TScreen* screen = Screen()) {
    for (TCustomForm* form : screen->CustomForms()) {
      if (!form->Visible()) continue;
      HWND window = form->WindowHandle();
      const HWND parentWindow = form->ParentWindow();
      if (!parentWindow || !window || !IsChild(parentWindow, window)) {
        wanted = true;
        break;
      }
    }
  }
  // Someone else changed it meanwhile: theirs stands.
  if ((IsWindowVisible(handle_) != FALSE) != taskbarShown_) return;
  if (wanted == taskbarShown_) return;
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0, (wanted ? SWP_SHOWWINDOW : SWP_HIDEWINDOW) | kInPlace);
  taskbarShown_ = wanted;
}

void TApplication::ControlGone(TControl* control) {
  if (!control) return;
  if (controlUnderMouse_ == control) controlUnderMouse_ = nullptr;
  hints_.ForgetControl(control);
  if (static_cast<TControl*>(primaryForm_) == control) primaryForm_ = nullptr;
  if (TScreen* screen = Screen()) screen->ForgetControl(control);
}

void TApplication::WindowGone(TWinControl* control) {
  // The primary form and the hint window stay: their objects live on, and a
  // window made again belongs to them as before.
  if (controlUnderMouse_ && controlUnderMouse_->IsWithin(control)) controlUnderMouse_ = nullptr;
  hints_.ForgetWindowOf(control);
  if (TScreen* screen = Screen()) screen->ForgetControl(control);
}

}  // namespace tw
