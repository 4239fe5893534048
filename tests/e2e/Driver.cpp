#include "tests/e2e/Driver.h"

#include <cstdlib>
#include <thread>

namespace tw::e2e {

namespace {

using namespace std::chrono_literals;

// How long the program may take to answer one message before it counts as hung.
constexpr UINT kAnswerLimitMs = 10000;
constexpr auto kStartLimit = 30s;
constexpr auto kSettleLimit = 10s;

// Where each field stands: its class and its top-left corner in the main
// window's client area (the panels' offsets added), in the order of Field.
struct FieldPlace {
  const char* name;
  const char* className;
  int left;
  int top;
};
constexpr FieldPlace kPlaces[kFieldCount] = {
    {"Time", "TEdit", 112, 40},       {"NextSize", "TEdit", 112, 64},      {"NowAudio", "TComboBox", 112, 88},
    {"Calc", "TButton", 56, 120},     {"Video", "TEdit", 112, 144},        {"NowVideo", "TEdit", 320, 40},
    {"NowSize", "TEdit", 320, 64},    {"NextAudio", "TComboBox", 320, 88}, {"ReCalc", "TButton", 272, 120},
    {"NextVideo", "TEdit", 320, 144},
};
// A control counts as standing at its place within this many pixels.
constexpr int kPlaceSlack = 3;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

std::string CaptionOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

struct TopSearch {
  DWORD pid;
  std::function<bool(HWND)> match;
  HWND found = nullptr;
};

BOOL CALLBACK VisitTop(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TopSearch*>(data);
  if (ProcessOf(window) != search->pid || !search->match(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindTop(DWORD pid, std::function<bool(HWND)> match) {
  TopSearch search{pid, std::move(match)};
  EnumWindows(VisitTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  return TRUE;
}

}  // namespace

const char* FieldName(Field field) { return kPlaces[static_cast<int>(field)].name; }

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(5ms);
  }
}

std::string TarnwickPath() {
  // The build hands the path over; TW_TARNWICK overrides it for a copy elsewhere.
  if (const char* path = std::getenv("TW_TARNWICK"); path != nullptr && *path != '\0') return path;
  std::string path = TW_TARNWICK_PATH;
  if (path.empty() || path[0] != '/') return path;
  // The build runs on a Unix host: ask Wine for the Windows name of the file,
  // else take the drive Wine maps to the root.
  using ToDos = WCHAR* (*)(const char*);
  if (auto toDos = reinterpret_cast<ToDos>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_dos_file_name")))) {
    if (WCHAR* wide = toDos(path.c_str())) {
      char narrow[MAX_PATH * 2] = {};
      WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
      HeapFree(GetProcessHeap(), 0, wide);
      return narrow;
    }
  }
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

Program::Program(const std::string& path) {
  std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  if (!wide.empty()) wide.pop_back();
  Start(wide);
}

Program::Program(const std::wstring& path) { Start(path); }

void Program::Start(const std::wstring& path) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring commandLine = L"\"" + path + L"\"";
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_)) {
    throw DriverError("cannot start the program (error " + std::to_string(GetLastError()) + ")");
  }
  processId_ = process_.dwProcessId;
  threadId_ = process_.dwThreadId;
  try {
    AwaitMainWindow();
  } catch (...) {
    // No destructor runs for a failed constructor: a program that is still up
    // (say, showing a start-up error) must not outlive the attempt.
    Stop();
    throw;
  }
}

void Program::AwaitMainWindow() {
  const bool shown = WaitFor(
      [this] {
        main_ = FindTop(processId_, [](HWND w) {
          return IsWindowVisible(w) && ClassOf(w) == "TForm1" && CaptionOf(w) == "Tarnwick for MPEG4";
        });
        return main_ != nullptr || !Running();
      },
      kStartLimit);
  if (main_ == nullptr) {
    throw DriverError(shown ? "the program ended before showing its main window"
                            : "no main window \"Tarnwick for MPEG4\" of class TForm1 appeared");
  }
  FindFields();
  // Activation comes through the display server after the showing; the keys
  // and hints the tests give need the window active.
  if (!WaitFor(
          [this] {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            return GetGUIThreadInfo(threadId_, &info) && info.hwndActive == main_ && info.hwndFocus != nullptr;
          },
          kSettleLimit)) {
    throw DriverError("the main window did not become active");
  }
  Sync();
}

Program::~Program() { Stop(); }

void Program::Stop() {
  if (!exited_ && Running()) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

bool Program::Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

void Program::FindFields() {
  std::vector<HWND> children;
  EnumChildWindows(main_, CollectWindow, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    const std::string kind = ClassOf(child);
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&rect), 2);
    for (int i = 0; i < kFieldCount; ++i) {
      const FieldPlace& place = kPlaces[i];
      if (kind != place.className || std::abs(rect.left - place.left) > kPlaceSlack ||
          std::abs(rect.top - place.top) > kPlaceSlack) {
        continue;
      }
      if (fields_[i] != nullptr) throw DriverError(std::string("two controls stand where ") + place.name + " is");
      fields_[i] = child;
    }
  }
  for (int i = 0; i < kFieldCount; ++i) {
    if (fields_[i] == nullptr) {
      throw DriverError(std::string("no ") + kPlaces[i].className + " where " + kPlaces[i].name + " should be");
    }
  }
}

HWND Program::TypingWindow(Field field) const {
  HWND window = Window(field);
  if (ClassOf(window) != "TComboBox") return window;
  HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
  if (edit == nullptr) throw DriverError(std::string(FieldName(field)) + " has no edit part");
  return edit;
}

LRESULT Program::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kAnswerLimitMs, &result)) {
    throw DriverError(Running() ? "the program did not answer message " + std::to_string(message) + " in time"
                                : "the program has ended");
  }
  return static_cast<LRESULT>(result);
}

std::string Program::Text(HWND window) {
  const LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

void Program::SetText(Field field, std::string_view text) {
  const std::string copy(text);
  Send(TypingWindow(field), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()));
}

void Program::SetTexts(std::initializer_list<std::pair<Field, std::string_view>> texts) {
  for (const auto& [field, text] : texts) SetText(field, text);
}

void Program::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!PostMessageA(window, message, wParam, lParam)) {
    throw DriverError("cannot post message " + std::to_string(message) + " (error " + std::to_string(GetLastError()) +
                      ")");
  }
}

void Program::Click(HWND button) {
  Post(button, BM_CLICK, 0, 0);
  Sync();
}

void Program::PostChar(HWND window, unsigned char byte) { Post(window, WM_CHAR, byte, 1); }

void Program::PostKey(HWND window, UINT virtualKey) {
  const UINT scan = MapVirtualKeyA(virtualKey, 0);
  Post(window, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16));
  Post(window, WM_KEYUP, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16) | (3 << 30));
}

void Program::Sync() {
  // Messages posted to one thread are taken in the order they were posted, and
  // every loop of the program (its own, a modal form's, a message box's)
  // dispatches them, so the marker arrives after everything posted before it.
  HWND marker = Window(Field::Video);
  Send(marker, EM_SETMODIFY, FALSE, 0);
  Post(marker, EM_SETMODIFY, TRUE, 0);
  if (!WaitFor([&] { return Send(marker, EM_GETMODIFY, 0, 0) != 0; }, kSettleLimit)) {
    throw DriverError(Running() ? "the program did not take its posted messages in time" : "the program has ended");
  }
}

HWND Program::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(threadId_, &info)) return nullptr;
  return info.hwndFocus;
}

std::optional<Field> Program::FocusedField() const {
  HWND focus = Focus();
  if (focus == nullptr) return std::nullopt;
  if (ClassOf(focus) == "Edit") focus = GetParent(focus);
  for (int i = 0; i < kFieldCount; ++i) {
    if (fields_[i] == focus) return static_cast<Field>(i);
  }
  return std::nullopt;
}

std::optional<UINT> Program::MenuCommand(int submenu, int item) const {
  HMENU bar = GetMenu(main_);
  if (bar == nullptr) throw DriverError("the main window has no menu bar");
  HMENU sub = GetSubMenu(bar, submenu);
  if (sub == nullptr) {
    // A foreign menu that cannot be read at all, or a bar without that submenu.
    if (GetMenuItemCount(bar) < 0) return std::nullopt;
    throw DriverError("the menu bar has no submenu " + std::to_string(submenu));
  }
  const UINT id = GetMenuItemID(sub, item);
  if (id == static_cast<UINT>(-1)) {
    throw DriverError("submenu " + std::to_string(submenu) + " has no command item " + std::to_string(item));
  }
  return id;
}

void Program::ChooseMenuItem(int submenu, int item, char barKey, char itemKey) {
  if (const auto id = MenuCommand(submenu, item)) {
    PostCommand(*id);
    return;
  }
  // The bar's access key starts the menu's own loop, which opens the submenu
  // through a key message it posts to itself; the item's key must come after
  // that, so it waits for the open submenu.
  Post(main_, WM_SYSCOMMAND, SC_KEYMENU, static_cast<unsigned char>(barKey));
  if (!WaitFor([&] { return FindTopWindow("#32768") != nullptr; }, kSettleLimit)) {
    throw DriverError(std::string("the menu with access key ") + barKey + " did not open");
  }
  Post(main_, WM_CHAR, static_cast<unsigned char>(itemKey), 1);
}

HWND Program::FindTopWindow(std::string_view className) const {
  return FindTop(processId_, [&](HWND w) { return IsWindowVisible(w) && ClassOf(w) == className; });
}

std::optional<MessageBoxSeen> Program::FindMessageBox() {
  HWND box = FindTopWindow("#32770");
  if (box == nullptr) return std::nullopt;
  MessageBoxSeen seen;
  seen.window = box;
  seen.caption = CaptionOf(box);
  if (HWND label = GetDlgItem(box, 0xFFFF)) seen.text = Text(label);
  return seen;
}

MessageBoxSeen Program::WaitMessageBox() {
  std::optional<MessageBoxSeen> seen;
  if (!WaitFor([&] { return (seen = FindMessageBox()).has_value(); }, kSettleLimit)) {
    throw DriverError("no message box appeared");
  }
  return *seen;
}

void Program::CloseMessageBox(HWND box) {
  Post(box, WM_COMMAND, IDOK, 0);
  if (!WaitFor([&] { return !IsWindow(box); }, kSettleLimit)) throw DriverError("the message box stayed open");
  Sync();
}

HWND Program::WaitAboutBox() {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindTopWindow("TForm2")) != nullptr; }, kSettleLimit)) {
    throw DriverError("no about box appeared");
  }
  // Activation follows the showing, through the display server: keys meant
  // for the box must wait until the focus is in it.
  if (!WaitFor([&] { return Focus() != nullptr && IsChild(box, Focus()); }, kSettleLimit)) {
    throw DriverError("the about box did not take the focus");
  }
  return box;
}

void Program::CloseAboutBox(HWND box) {
  HWND ok = FindWindowExA(box, nullptr, "TButton", nullptr);
  if (ok == nullptr) throw DriverError("the about box has no button");
  Post(ok, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return !IsWindow(box); }, kSettleLimit)) throw DriverError("the about box stayed open");
  Sync();
}

bool Program::HintVisible() const { return FindTopWindow("THintWindow") != nullptr; }

std::optional<std::string> Program::WaitHint(std::chrono::milliseconds limit) {
  HWND hint = nullptr;
  if (!WaitFor([&] { return (hint = FindTopWindow("THintWindow")) != nullptr; }, limit)) return std::nullopt;
  return Text(hint);
}

void Program::PointAt(HWND window, int nudge) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MovePointer((rect.left + rect.right) / 2 + nudge, (rect.top + rect.bottom) / 2);
}

void Program::MovePointer(int x, int y) {
  SetCursorPos(x, y);
  WaitFor(
      [&] {
        POINT at{};
        return GetCursorPos(&at) && at.x == x && at.y == y;
      },
      kSettleLimit);
}

std::optional<std::string> Program::HintOver(HWND window) {
  // The display server may report the real pointer's place after a move of
  // ours (a window mapped under it sends it along), and the program then
  // sees the pointer elsewhere when its hint timer fires; a user's hand
  // never stays that still, so the pointer is nudged within the field and
  // the hint awaited again, a bounded number of times.
  for (int nudge = 0; nudge < 4; ++nudge) {
    PointAt(window, nudge);
    if (auto text = WaitHint(1500ms)) return text;
  }
  return std::nullopt;
}

std::vector<HWND> Program::Windows() const {
  std::vector<HWND> tops;
  EnumThreadWindows(threadId_, CollectWindow, reinterpret_cast<LPARAM>(&tops));
  std::vector<HWND> all;
  for (HWND top : tops) {
    all.push_back(top);
    EnumChildWindows(top, CollectWindow, reinterpret_cast<LPARAM>(&all));
  }
  return all;
}

ProcessCounts Program::Counts() const {
  ProcessCounts counts;
  counts.gdiObjects = GetGuiResources(process_.hProcess, GR_GDIOBJECTS);
  counts.userObjects = GetGuiResources(process_.hProcess, GR_USEROBJECTS);
  counts.windows = static_cast<int>(Windows().size());
  return counts;
}

DWORD Program::Close() {
  Post(main_, WM_CLOSE, 0, 0);
  return WaitExit(kSettleLimit);
}

DWORD Program::WaitExit(std::chrono::milliseconds limit) {
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    throw DriverError("the program did not end");
  }
  exited_ = true;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

}  // namespace tw::e2e
