// The yardstick for the calculator's start-up: the same main window (class
// style, frame, caption, menu bar, 418 x 195 client area, font) with the same
// controls made directly with CreateWindowExW, and nothing else: no framework,
// no form resource, no component tree. startup_bench.exe starts this and
// tarnwick.exe in turn and compares the two.
//
// The calculator's labels are painted by their parent and its group boxes are
// windows of their own class; here every control is a platform window (STATIC
// and BUTTON with BS_GROUPBOX), which is what a hand-written program would use.
//
// Run alone it stays up until closed; with the argument "/exit-when-idle" it
// closes itself the first time its queue runs empty after the window is shown.
#include <windows.h>

#include <cstring>

namespace {

// Menu command ids; only the exit command does anything.
constexpr UINT kExitCommand = 100;
constexpr UINT kHelpCommand = 101;
constexpr UINT kSiteCommand = 102;
constexpr UINT kAboutCommand = 103;

enum class Kind { Group, Label, Edit, ReadOnlyEdit, Combo, Button };

struct ControlSpec {
  Kind kind;
  int left, top, width, height;  // in the main window's client area
  const wchar_t* text;
  bool red;  // the result captions are drawn in red
};

// The calculator's window, its nested panels flattened into the main window's
// client area: the outer panel sits at (8, 8), the inner one at (16, 24).
// Order: the tab order of the calculator, then the labels, the panels last so
// that they lie beneath the controls they frame.
constexpr ControlSpec kControls[] = {
    {Kind::Edit, 112, 40, 41, 20, L"120", false},         // time
    {Kind::Edit, 112, 64, 41, 20, L"700", false},         // target size
    {Kind::Combo, 112, 88, 41, 20, L"128", false},        // audio bitrate
    {Kind::Button, 56, 120, 113, 17, L"計算", false},     // calculate
    {Kind::ReadOnlyEdit, 112, 144, 41, 20, L"", false},   // video bitrate
    {Kind::Edit, 320, 40, 41, 20, L"700", false},         // current video bitrate
    {Kind::Edit, 320, 64, 41, 20, L"700", false},         // current size
    {Kind::Combo, 320, 88, 41, 20, L"128", false},        // new audio bitrate
    {Kind::Button, 272, 120, 113, 17, L"再計算", false},  // recalculate
    {Kind::ReadOnlyEdit, 320, 144, 41, 20, L"", false},   // new video bitrate
    {Kind::Label, 200, 152, 113, 12, L"新しい映像ビットレート", true},
    {Kind::Label, 369, 152, 24, 12, L"kb/s", true},
    {Kind::Label, 368, 48, 24, 12, L"kb/s", false},
    {Kind::Label, 200, 48, 117, 12, L"現在の映像ビットレート", false},
    {Kind::Label, 200, 96, 113, 12, L"新しい音声ビットレート", false},
    {Kind::Label, 368, 96, 24, 12, L"kb/s", false},
    {Kind::Label, 368, 72, 17, 12, L"MB", false},
    {Kind::Label, 200, 72, 70, 12, L"現在のサイズ", false},
    {Kind::Label, 24, 48, 24, 12, L"時間", false},
    {Kind::Label, 24, 72, 58, 12, L"目標サイズ", false},
    {Kind::Label, 24, 152, 81, 12, L"映像ビットレート", true},
    {Kind::Label, 160, 48, 12, 12, L"分", false},
    {Kind::Label, 160, 72, 17, 12, L"MB", false},
    {Kind::Label, 160, 152, 24, 12, L"kb/s", true},
    {Kind::Label, 24, 96, 81, 12, L"音声ビットレート", false},
    {Kind::Label, 160, 96, 24, 12, L"kb/s", false},
    {Kind::Group, 16, 24, 177, 153, L"Tarnwick", false},
    {Kind::Group, 8, 8, 401, 177, L"Re-Tarnwick", false},
};

constexpr const wchar_t* kAudioItems[] = {L"0", L"56", L"64", L"96", L"112", L"128", L"160", L"192"};

// The drop-down list shows every item: the edit part plus eight 12-pixel items
// and the list's frame.
constexpr int kComboDroppedHeight = 20 + 8 * 12 + 2;

HFONT font = nullptr;
HBRUSH faceBrush = nullptr;

HMENU MakeMenuBar() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kExitCommand, L"終了(&X)");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"ファイル(&F)");
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, kHelpCommand, L"ヘルプ(&H)");
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(help, MF_STRING, kSiteCommand, L"作者のサイトへ(&J)");
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(help, MF_STRING, kAboutCommand, L"バージョン情報(&A)");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"ヘルプ(&H)");
  return bar;
}

bool MakeControls(HWND window, HINSTANCE instance) {
  int id = 1;
  for (const ControlSpec& c : kControls) {
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    int height = c.height;
    switch (c.kind) {
      case Kind::Group:
        className = L"BUTTON";
        style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
        break;
      case Kind::Label: style |= SS_LEFT | SS_NOPREFIX; break;
      case Kind::Edit:
      case Kind::ReadOnlyEdit:
        className = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_AUTOVSCROLL | (c.kind == Kind::ReadOnlyEdit ? ES_READONLY : 0);
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Combo:
        className = L"COMBOBOX";
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_HASSTRINGS | CBS_AUTOHSCROLL;
        height = kComboDroppedHeight;
        break;
      case Kind::Button:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    }
    HWND control = CreateWindowExW(exStyle, className, c.text, style, c.left, c.top, c.width, height, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!control) return false;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (c.red) SetWindowLongPtrW(control, GWLP_USERDATA, 1);
    if (c.kind == Kind::Combo) {
      for (const wchar_t* item : kAudioItems) SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      SetWindowTextW(control, c.text);
    }
    ++id;
  }
  return true;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      HWND control = reinterpret_cast<HWND>(lParam);
      // Read-only edits ask through this message as well; they keep the
      // platform's colours apart from the panel's face.
      const bool red = GetWindowLongPtrW(control, GWLP_USERDATA) != 0;
      SetTextColor(dc, red ? RGB(255, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(faceBrush);
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 && LOWORD(wParam) == kExitCommand) PostMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  const bool exitWhenIdle = commandLine && std::strstr(commandLine, "/exit-when-idle") != nullptr;

  font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック");
  faceBrush = GetSysColorBrush(COLOR_BTNFACE);

  WNDCLASSW wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"TBareWindow";
  if (!RegisterClassW(&wc)) return 1;

  // The calculator's frame: a single border, a caption with the system menu
  // and the minimize box, no maximize box, and the menu bar. Not
  // WS_CLIPCHILDREN: the platform's group boxes leave their inside to the
  // parent's background, which would then stay unpainted.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  HMENU menu = MakeMenuBar();
  RECT frame{0, 0, 418, 195};
  AdjustWindowRectEx(&frame, style, TRUE, 0);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"Tarnwick for MPEG4", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, menu, instance, nullptr);
  if (!window || !MakeControls(window, instance)) return 1;
  ShowWindow(window, showCommand);
  // As the calculator does: the first field has the focus, its text selected.
  HWND first = GetDlgItem(window, 1);
  SetFocus(first);
  SendMessageW(first, EM_SETSEL, 0, -1);
  UpdateWindow(window);

  bool closing = false;
  MSG msg;
  for (;;) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (exitWhenIdle && !closing) {
        closing = true;
        PostMessageW(window, WM_CLOSE, 0, 0);
      } else {
        WaitMessage();
      }
      continue;
    }
    if (msg.message == WM_QUIT) break;
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  DeleteObject(font);
  return static_cast<int>(msg.wParam);
}
