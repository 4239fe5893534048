#include "ui/Application.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "runtime/Exceptions.h"
#include "runtime/Faults.h"
#include "runtime/Format.h"
#include "runtime/Text.h"
#include "ui/Forms.h"
#include "ui/Guard.h"
#include "ui/Hints.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

TApplication* application = nullptr;
int startupShowCommand = -1;

// Asked by the watcher thread, answered on the user-interface thread: the
// pointer has left the program's windows, drop the hint.
constexpr UINT kDropHintRequest = FM_BASE + 0x0F0;

// The control of the window at a screen point, or of its nearest ancestor
// window that belongs to one.
TWinControl* ControlWindowAt(POINT screenPoint) {
  for (HWND w = WindowFromPoint(screenPoint); w; w = GetParent(w))
    if (TWinControl* c = TWinControl::FromHandle(w)) return c;
  return nullptr;
}

// The deepest control at a screen point, disabled ones included.
TControl* ControlAtScreenPoint(POINT screenPoint) {
  TWinControl* window = ControlWindowAt(screenPoint);
  if (!window || !window->WindowHandle()) return nullptr;
  POINT client = screenPoint;
  ScreenToClient(window->WindowHandle(), &client);
  TControl* deeper = window->ControlAtPoint(client, true);
  return deeper ? deeper : window;
}

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

void ControlGoneToApplication(TControl* control) {
  if (application) application->ControlGone(control);
}

void CALLBACK HintTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  GuardWindowCallback(application, [] {
    if (application) application->HintTimerFired();
  });
}

LRESULT CALLBACK HintMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
  if (code == HC_ACTION && lParam) {
    GuardWindowCallback(application, [&] {
      const MSG& message = *reinterpret_cast<const MSG*>(lParam);
      if (application && application->HintWindow() && IsHintEndingMessage(message)) application->DropHint();
    });
  }
  return result;
}

LRESULT CALLBACK AppWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* app = static_cast<TApplication*>(WindowObject(window, TWindowKind::Application));
  if (!app) return DefWindowProcA(window, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  GuardWindowCallback(app, [&] { app->AppWndProc(m); });
  return m.result;
}

// The number of pixel rows of the current cursor's visible shape below its hot
// spot; the system cursor height when the shape cannot be read.
int CursorHeightMargin() {
  const int fallback = GetSystemMetrics(SM_CYCURSOR);
  HCURSOR cursor = GetCursor();
  ICONINFO info{};
  if (!cursor || !GetIconInfo(cursor, &info)) return fallback;
  int result = fallback;
  BITMAP bm{};
  if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bm, &bm) && bm.bmWidth > 0 && bm.bmHeight > 0) {
    const int width = bm.bmWidth;
    const int height = bm.bmHeight;
    const int stride = ((width + 31) / 32) * 4;
    std::vector<unsigned char> bits(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[2];
    } bmi{};
    bmi.header.biSize = sizeof bmi.header;
    bmi.header.biWidth = width;
    bmi.header.biHeight = -height;  // top-down rows
    bmi.header.biPlanes = 1;
    bmi.header.biBitCount = 1;
    bmi.header.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    const int got = GetDIBits(dc, info.hbmMask, 0, static_cast<UINT>(height), bits.data(),
                              reinterpret_cast<BITMAPINFO*>(&bmi), DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (got == height) {
      const bool withXor = !info.hbmColor && height == 2 * width;
      const int maskRows = withXor ? height / 2 : height;
      const int rowBytes = (width + 7) / 8;
      auto rowAt = [&](int y) { return bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride); };
      int lowest = -1;
      for (int y = maskRows - 1; y >= 0 && lowest < 0; --y)
        for (int x = 0; x < rowBytes; ++x)
          if (rowAt(y)[x] != 0xFF) {
            lowest = y;
            break;
          }
      if (lowest < 0 && withXor) {
        for (int y = height - 1; y >= maskRows && lowest < 0; --y)
          for (int x = 0; x < rowBytes; ++x)
            if (rowAt(y)[x] != 0) {
              lowest = y - maskRows;
              break;
            }
      }
      if (lowest >= 0) result = lowest + 1 - static_cast<int>(info.yHotspot);
    }
  }
  // GetIconInfo hands over two bitmaps of its own; they are ours to delete.
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return result;
}

struct TaskWindowSearch {
  HWND except;
  HWND appWindow;
  HWND firstNormal = nullptr;
  HWND firstTopmost = nullptr;
};

BOOL CALLBACK FindTopmostProc(HWND window, LPARAM data) {
  return GuardCallback(application, TRUE, [&]() -> BOOL {
    auto& search = *reinterpret_cast<TaskWindowSearch*>(data);
    if (window == search.except || window == search.appWindow || !IsWindowVisible(window) || !IsWindowEnabled(window))
      return TRUE;
    if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
      if (!search.firstTopmost) search.firstTopmost = window;
      return TRUE;
    }
    search.firstNormal = window;
    return FALSE;
  });
}

struct DisableSearch {
  HWND except;
  TDisabledWindows* list;
};

BOOL CALLBACK DisableProc(HWND window, LPARAM data) {
  return GuardCallback(application, TRUE, [&]() -> BOOL {
    auto& search = *reinterpret_cast<DisableSearch*>(data);
    if (window != search.except && IsWindowVisible(window) && IsWindowEnabled(window)) {
      search.list->push_back(window);
      EnableWindow(window, FALSE);
    }
    return TRUE;
  });
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

// ---- Task windows ----------------------------------------------------------------

TDisabledWindows DisableTaskWindows(HWND except) {
  TDisabledWindows list;
  DisableSearch search{except, &list};
  EnumThreadWindows(GetCurrentThreadId(), &DisableProc, reinterpret_cast<LPARAM>(&search));
  return list;
}

void EnableTaskWindows(const TDisabledWindows& windows) {
  for (HWND window : windows)
    if (IsWindow(window)) EnableWindow(window, TRUE);
}

HWND FindTopmostTaskWindow(HWND except) {
  TaskWindowSearch search{except, application ? application->WindowHandle() : nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &FindTopmostProc, reinterpret_cast<LPARAM>(&search));
  return search.firstNormal ? search.firstNormal : search.firstTopmost;
}

// ---- Framework start-up ------------------------------------------------------------

TApplication* Application() { return application; }

void InitializeFramework() {
  if (application) return;
  RegisterControlAtoms();
  RegisterGraphicsIdentMaps();
  if (!Screen()) SetScreen(new TScreen(nullptr));
  if (!Screen()->HintFont()) Screen()->ReadMetrics();
  InstallGlobalFormFinder();
  RegisterControlClasses();
  try {
    application = new TApplication(nullptr);
  } catch (...) {
    // The constructor names itself the application before it makes its
    // window; a failed one must not stay named.
    application = nullptr;
    throw;
  }
  SetUncaughtHandler(&UncaughtToApplication);
  SetControlGoneHook(&ControlGoneToApplication);
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
  SetControlGoneHook(nullptr);
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

void TApplication::Publish(Publisher&) {}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  if (!application) application = this;
  icon_ = LoadIconA(ModuleInstance(), "MAINICON");
  char path[256] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  path[std::min<DWORD>(n, sizeof path - 1)] = '\0';
  OemToCharA(path, path);
  storedTitle_ = AppTitleFromModuleName(path);
  CreateAppWindow();
}

TApplication::~TApplication() {
  DestroyAppWindow();
  if (watcherEvent_) CloseHandle(watcherEvent_);
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
  handle_ = CreateWindowExA(0, "TApplication", storedTitle_.c_str(), 0x84CA0000, GetSystemMetrics(SM_CXSCREEN) / 2,
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

void TApplication::Prepare() {}

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
  try {
    {
      const TFormAnnouncement announcement(announce);
      form = construct(this);
    }
    announce(form);
    // The resource is read once the most derived constructor has run; a
    // failure there frees the form.
    form->FinishConstruction();
  } catch (...) {
    announce(nullptr);
    throw;
  }
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
  loopRunning_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{loopRunning_};
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
  if (hintWindow_ && IsHintEndingMessage(message)) DropHint();
  if (handled) return true;
  if (message.message >= WM_KEYDOWN && message.message <= 0x108) {
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
    POINT cursor{};
    GetCursorPos(&cursor);
    TControl* found = ControlAtScreenPoint(cursor);
    TControl* captureControl = TWinControl::FromHandle(GetCapture());
    if (found != controlUnderMouse_) {
      if (controlUnderMouse_ && (!captureControl || controlUnderMouse_ == captureControl))
        controlUnderMouse_->Deliver(FM_MOUSELEAVE);
      controlUnderMouse_ = found;
      if (controlUnderMouse_ && (!captureControl || controlUnderMouse_ == captureControl))
        controlUnderMouse_->Deliver(FM_MOUSEENTER);
    }
    if (hintsEnabled_ && !controlUnderMouse_) DropHint();
    std::string hint = LongHintPart(FindHintText(found));
    if (hint != currentHint_) {
      currentHint_ = std::move(hint);
      HintTextHook(this);
    }
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

int TApplication::ShowMessageBox(const std::string& text, const std::string& caption, UINT flags) {
  HWND active = GetActiveWindow();
  bool moved = false;
  RECT saved{};
  HMONITOR activeMonitor = MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST);
  HMONITOR appMonitor = MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST);
  if (handle_ && activeMonitor != appMonitor) {
    MONITORINFO info{};
    info.cbSize = 40;
    if (GetMonitorInfoA(activeMonitor, &info)) {
      GetWindowRect(handle_, &saved);
      SetWindowPos(handle_, nullptr, info.rcMonitor.left + (info.rcMonitor.right - info.rcMonitor.left) / 2,
                   info.rcMonitor.top + (info.rcMonitor.bottom - info.rcMonitor.top) / 2, 0, 0, 0x1D);
      moved = true;
    }
  }
  TDisabledWindows disabled = DisableTaskWindows(nullptr);
  const int result = MessageBoxA(handle_, text.c_str(), caption.c_str(), flags);
  if (moved) SetWindowPos(handle_, nullptr, saved.left, saved.top, 0, 0, 0x1D);
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
  auto defaultProcessing = [&] { m.result = DefWindowProcA(handle_, m.msg, m.wParam, m.lParam); };
  m.result = 0;
  for (const TWindowHook& hook : std::vector<TWindowHook>(appWindowHooks_))
    if (hook.procedure && hook.procedure(hook.data, m)) return;
  if (m.msg == WM_WININICHANGE) {
    if (UpdateFormatSettings) {
      SetThreadLocale(LOCALE_USER_DEFAULT);
      ReadFormatSettings();
    }
    if (UpdateMetricSettings) {
      if (TScreen* screen = Screen()) screen->ReadMetrics();
      if (hintsEnabled_) {
        SetHintsEnabled(false);
        SetHintsEnabled(true);
      }
    }
  }
  switch (m.msg) {
    case WM_SETFOCUS:
      PostMessageA(handle_, FM_ENTER, 0, 0);
      defaultProcessing();
      break;
    case WM_ENABLE:
      if (m.wParam) {
        RestoreTopMosts();
        EnableTaskWindows(std::exchange(disabledByWindow_, {}));
        defaultProcessing();
      } else {
        defaultProcessing();
        disabledByWindow_ = DisableTaskWindows(handle_);
        NormalizeTopMosts();
      }
      break;
    case WM_PAINT:
      if (IsIconic(handle_)) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(handle_, &ps);
        if (icon_) DrawIcon(dc, 0, 0, icon_);
        EndPaint(handle_, &ps);
      } else {
        defaultProcessing();
      }
      break;
    case WM_CLOSE:
      if (primaryForm_) primaryForm_->CloseForm();
      break;
    case WM_ERASEBKGND: m.result = DefWindowProcA(handle_, WM_ICONERASEBKGND, m.wParam, m.lParam); break;
    case WM_ENDSESSION:
      if (m.wParam) quitRequested_ = true;
      break;
    case WM_ACTIVATEAPP:
      defaultProcessing();
      active_ = m.wParam != 0;
      if (active_) {
        RestoreTopMosts();
        PostMessageA(handle_, FM_ACTIVATE, 0, 0);
      } else {
        NormalizeTopMosts();
        PostMessageA(handle_, FM_DEACTIVATE, 0, 0);
      }
      break;
    case WM_QUERYDRAGICON: m.result = reinterpret_cast<std::intptr_t>(icon_); break;
    case WM_SYSCOMMAND:
      switch (m.wParam & 0xFFF0) {
        case SC_MINIMIZE: MinimizeApp(); break;
        case SC_RESTORE: RestoreApp(); break;
        default: defaultProcessing(); break;
      }
      break;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      m.result = SendMessageA(reinterpret_cast<HWND>(m.lParam), m.msg + FN_BASE, m.wParam, m.lParam);
      break;
    case FM_ACTIVATE: ActivateHook(this); break;
    case FM_DEACTIVATE: DeactivateHook(this); break;
    case FM_APPKEYDOWN: {
      auto* key = reinterpret_cast<TMessage*>(m.lParam);
      if (key && InSendMessageEx(nullptr) == ISMEX_NOSEND && ShortCutCheck(*key)) m.result = 1;
      break;
    }
    case FM_APPSYSCOMMAND:
      if (primaryForm_ && primaryForm_->WindowHandle() && IsWindowEnabled(primaryForm_->WindowHandle()) &&
          IsWindowVisible(primaryForm_->WindowHandle())) {
        ++FocusChangeCounter();
        HWND focused = GetFocus();
        SetFocus(primaryForm_->WindowHandle());
        primaryForm_->Deliver(WM_SYSCOMMAND, m.wParam, m.lParam);
        SetFocus(focused);
        --FocusChangeCounter();
        m.result = 1;
      }
      break;
    case FM_ENTER:
      if (!IsIconic(handle_) && GetFocus() == handle_)
        if (HWND w = FindTopmostTaskWindow(nullptr)) SetFocus(w);
      break;
    case FM_WINDOWHOOK: {
      // The pair is a pointer into this process: taken only from the
      // framework's own direct call on this thread.
      if (!trustedHookMessage_ || InSendMessageEx(nullptr) != ISMEX_NOSEND || !m.lParam) break;
      const TWindowHook hook = *reinterpret_cast<const TWindowHook*>(m.lParam);
      if (m.wParam == 0) {
        appWindowHooks_.insert(appWindowHooks_.begin(), hook);
      } else if (m.wParam == 1) {
        auto it = std::find(appWindowHooks_.begin(), appWindowHooks_.end(), hook);
        if (it != appWindowHooks_.end()) appWindowHooks_.erase(it);
      }
      break;
    }
    case FM_DIALOGHANDLE:
      if (m.wParam == 1) {
        m.result = reinterpret_cast<std::intptr_t>(ModelessDialogWindow);
      } else if (InSendMessageEx(nullptr) == ISMEX_NOSEND) {
        // Only a window of this thread is handed to the dialog translation.
        HWND dialog = reinterpret_cast<HWND>(m.lParam);
        if (!dialog || GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId()) ModelessDialogWindow = dialog;
      }
      break;
    case kDropHintRequest:
      dropRequested_ = false;
      if (hintSubject_) {
        POINT cursor{};
        GetCursorPos(&cursor);
        if (!ControlWindowAt(cursor)) DropHint();
      }
      break;
    default: defaultProcessing(); break;
  }
}

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
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0, wanted ? 0x57 : 0x97);
  taskbarShown_ = wanted;
}

void TApplication::ControlGone(TControl* control) {
  if (!control) return;
  if (controlUnderMouse_ == control) controlUnderMouse_ = nullptr;
  if (hintSubject_ == control) DropHint();
  if (static_cast<TControl*>(primaryForm_) == control) primaryForm_ = nullptr;
  if (static_cast<TControl*>(hintWindow_) == control) hintWindow_ = nullptr;
  if (TScreen* screen = Screen()) screen->ForgetControl(control);
}

// ---- Hints -----------------------------------------------------------------------

void TApplication::SetHintsEnabled(bool value) {
  if (!ChangeField(hintsEnabled_, value)) return;
  if (value) {
    const TClassInfo* kind = HintWindowKind ? HintWindowKind : &THintWindow::StaticClassInfo();
    hintWindow_ = static_cast<THintWindow*>(kind->construct(this));
    hintWindow_->SetColor(HintBackColor);
  } else {
    DropHint();
    if (THintWindow* window = std::exchange(hintWindow_, nullptr)) delete window;
  }
}

void HintMouseMove(TControl* control, TMessage& message) {
  if (application) application->HintMouseMove(control, message);
}

bool ApplicationKeyDown(TMessage& key) {
  if (!application || !application->WindowHandle()) return false;
  return SendMessageA(application->WindowHandle(), FM_APPKEYDOWN, key.wParam, reinterpret_cast<LPARAM>(&key)) != 0;
}

void TApplication::HintMouseMove(TControl* control, TMessage& message) {
  if (!control) return;
  const POINT screenPoint = control->ClientToScreen(PointOf(message.lParam));
  TControl* subject = FindHintSubject(ControlAtScreenPoint(screenPoint));
  if (!subject || !subject->ShowHint()) {
    DropHint();
    return;
  }
  if (subject == hintSubject_ && PtInRect(&hintCursorArea_, screenPoint)) return;
  const bool recentlyShown = hintRecentlyShown_;
  std::int32_t delay = recentlyShown ? HintNextDelay : HintDelay;
  subject->Deliver(FM_HINTSHOWPAUSE, recentlyShown, reinterpret_cast<std::intptr_t>(&delay));
  if (recentlyShown && delay == 0) {
    hintSubject_ = subject;
    POINT cursor{};
    GetCursorPos(&cursor);
    PresentHint(cursor);
    return;
  }
  DropHint();
  hintRecentlyShown_ = recentlyShown;
  hintSubject_ = subject;
  ArmHintTimer(delay, tmShow);
}

void TApplication::ArmHintTimer(std::int32_t milliseconds, TTimerMode mode) {
  DisarmHintTimer();
  hintTimer_ = SetTimer(nullptr, 0, static_cast<UINT>(std::max(milliseconds, 0)), &HintTimerProc);
  hintTimerMode_ = mode;
  if (!hintTimer_) DropHint();
}

void TApplication::DisarmHintTimer() {
  if (!hintTimer_) return;
  KillTimer(nullptr, hintTimer_);
  hintTimer_ = 0;
}

void TApplication::HintTimerFired() {
  DisarmHintTimer();
  if (hintTimerMode_ == tmShow) {
    POINT cursor{};
    GetCursorPos(&cursor);
    PresentHint(cursor);
  } else {
    HideHintWindow();
  }
}

void TApplication::PresentHint(POINT cursor) {
  hintRecentlyShown_ = false;
  HWND active = GetActiveWindow();
  const bool foreground = active && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId();
  if (!hintsEnabled_ || !hintSubject_ || !foreground || FindHintSubject(ControlAtScreenPoint(cursor)) != hintSubject_) {
    DropHint();
    return;
  }
  TControl* subject = hintSubject_;
  THintInfo info;
  info.Subject = subject;
  info.AnchorPoint = {cursor.x, cursor.y + CursorHeightMargin()};
  info.WidthLimit = GetSystemMetrics(SM_CXSCREEN);
  info.BackColor = HintBackColor;
  // The subject's bounds in its own client coordinates.
  const RECT bounds = subject->BoundsRect();
  POINT topLeft{bounds.left, bounds.top};
  if (TWinControl* parent = subject->Parent()) {
    topLeft = parent->ClientToScreen(topLeft);
  } else if (auto* windowed = dynamic_cast<TWinControl*>(subject); windowed && windowed->WindowHandle()) {
    RECT w{};
    GetWindowRect(windowed->WindowHandle(), &w);
    topLeft = {w.left, w.top};
  }
  topLeft = subject->ScreenToClient(topLeft);
  info.SubjectArea = {topLeft.x, topLeft.y, topLeft.x + subject->Width(), topLeft.y + subject->Height()};
  info.CursorPoint = subject->ScreenToClient(cursor);
  info.HintText = ShortHintPart(FindHintText(subject));
  info.ReshowAfter = 0;
  info.HideAfter = HintHideDelay;
  info.WindowKind = HintWindowKind;
  info.ExtraData = nullptr;
  bool mayShow = subject->Deliver(FM_HINTSHOW, 0, reinterpret_cast<std::intptr_t>(&info)) == 0;
  if (mayShow) ShowHintHook(info.HintText, mayShow, info);
  hintRecentlyShown_ = mayShow && info.Subject != nullptr;
  if (hintRecentlyShown_ && !info.HintText.empty() && hintWindow_) {
    const TClassInfo* kind = info.WindowKind ? info.WindowKind : &THintWindow::StaticClassInfo();
    if (&hintWindow_->ClassType() != kind && kind->construct) {
      delete std::exchange(hintWindow_, nullptr);
      hintWindow_ = static_cast<THintWindow*>(kind->construct(this));
    }
    RECT r = hintWindow_->MeasureHint(info.WidthLimit, info.HintText, info.ExtraData);
    OffsetRect(&r, info.AnchorPoint.x, info.AnchorPoint.y);
    const POINT areaTopLeft = subject->ClientToScreen({info.SubjectArea.left, info.SubjectArea.top});
    hintCursorArea_ = {areaTopLeft.x, areaTopLeft.y, areaTopLeft.x + (info.SubjectArea.right - info.SubjectArea.left),
                       areaTopLeft.y + (info.SubjectArea.bottom - info.SubjectArea.top)};
    hintWindow_->SetColor(info.BackColor);
    hintWindow_->ShowAtWithData(r, info.HintText, info.ExtraData);
    StartHintWatch();
    if (info.ReshowAfter > 0)
      ArmHintTimer(info.ReshowAfter, tmShow);
    else
      ArmHintTimer(info.HideAfter, tmHide);
    return;
  }
  if (info.ReshowAfter > 0)
    ArmHintTimer(info.ReshowAfter, tmShow);
  else
    DropHint();
}

void TApplication::HideHintWindow() {
  if (hintWindow_ && hintWindow_->WindowHandle() && IsWindowVisible(hintWindow_->WindowHandle()))
    ShowWindow(hintWindow_->WindowHandle(), SW_HIDE);
}

void TApplication::DropHint() {
  if (!hintSubject_) return;
  HideHintWindow();
  hintSubject_ = nullptr;
  hintRecentlyShown_ = false;
  StopHintWatch();
  DisarmHintTimer();
}

void TApplication::StartHintWatch() {
  if (!loopRunning_) return;
  watcherSubject_ = true;
  if (!watchHook_) watchHook_ = SetWindowsHookExA(WH_GETMESSAGE, &HintMessageHook, nullptr, GetCurrentThreadId());
  if (!watcherThread_) {
    if (!watcherEvent_) watcherEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (watcherEvent_) {
      dropRequested_ = false;
      watcherThread_ = CreateThread(nullptr, 1000, &WatcherThread, this, 0, &watcherThreadId_);
    }
  }
}

void TApplication::StopHintWatch() {
  watcherSubject_ = false;
  if (watchHook_) {
    UnhookWindowsHookEx(watchHook_);
    watchHook_ = nullptr;
  }
  if (watcherThread_) {
    SetEvent(watcherEvent_);
    if (watcherThreadId_ != GetCurrentThreadId()) WaitForSingleObject(watcherThread_, INFINITE);
    CloseHandle(watcherThread_);
    watcherThread_ = nullptr;
  }
}

// The watcher only looks and asks: the hint's state and window belong to the
// user-interface thread, which checks again and drops the hint itself.
DWORD WINAPI TApplication::WatcherThread(void* parameter) {
  auto* app = static_cast<TApplication*>(parameter);
  const HWND target = app->handle_;
  const DWORD uiThread = GetWindowThreadProcessId(target, nullptr);
  while (WaitForSingleObject(app->watcherEvent_, 100) == WAIT_TIMEOUT) {
    if (!app->watcherSubject_) continue;
    POINT cursor{};
    if (!GetCursorPos(&cursor)) continue;
    HWND under = WindowFromPoint(cursor);
    if (under && GetWindowThreadProcessId(under, nullptr) == uiThread) continue;
    if (!app->dropRequested_.exchange(true)) PostMessageA(target, kDropHintRequest, 0, 0);
  }
  return 0;
}

// ---- The screen's metrics ------------------------------------------------------------

void TScreen::ReadMetrics() {
  pixelsPerInch_ = ScreenPixelsPerInch();
  // The record as the platform's older definition has it (340 bytes); the
  // compiler's newer structure is longer and is refused by some platforms.
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = 340;
  auto font = std::make_unique<TFont>();
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 340, &metrics, 0)) {
    HFONT handle = CreateFontIndirectA(&metrics.lfStatusFont);
    if (handle)
      font->SetHandle(handle);
    else
      font->SetSize(8);
  } else {
    font->SetSize(8);
  }
  hintFont_ = std::move(font);
}

}  // namespace tw
