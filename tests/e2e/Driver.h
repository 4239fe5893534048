// Drives a running tarnwick.exe from outside its process, the way a user does:
// it finds the windows by class, caption and position, types and clicks by
// posting messages and reads what the windows show. Nothing here links the
// program's own code; the driver only knows what the user sees.
#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::e2e {

// The fields of the main window, in the order Tab visits them from Time.
enum class Field { Time, NextSize, NowAudio, Calc, Video, NowVideo, NowSize, NextAudio, ReCalc, NextVideo };
inline constexpr int kFieldCount = 10;
const char* FieldName(Field field);

// A message box of the program as the user sees it.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::string caption;
  std::string text;
};

// Counts of what the process holds; compared before and after a run.
struct ProcessCounts {
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;
  int windows = 0;  // every window of the process's threads, children included
  bool operator==(const ProcessCounts&) const = default;
};

// A failure of the program as seen from outside (it hung, died or lost a
// window); the tests report it as a failure with the text.
class DriverError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Polls the condition every few milliseconds until it holds or the limit is
// reached; true when it held.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);

class Program {
 public:
  // Starts the program and waits for its main window with every field.
  explicit Program(const std::string& path);
  // The same for a path that the process's code page may not hold (a folder
  // named with "ë" where the code page is 932).
  explicit Program(const std::wstring& path);
  // Ends a program that is still running (a test that failed half-way).
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD ProcessId() const { return processId_; }
  DWORD ThreadId() const { return threadId_; }
  HWND MainWindow() const { return main_; }
  HWND Window(Field field) const { return fields_[static_cast<int>(field)]; }
  // The window that receives typing for the field (a combo box's edit child).
  HWND TypingWindow(Field field) const;
  bool Running() const;

  // Window text through WM_GETTEXT / WM_SETTEXT (sent with a time limit).
  std::string Text(HWND window);
  std::string Text(Field field) { return Text(Window(field)); }
  void SetText(Field field, std::string_view text);
  // Sets several fields in one go.
  void SetTexts(std::initializer_list<std::pair<Field, std::string_view>> texts);

  // Posts a click to a push button and waits until the program has taken it.
  void Click(HWND button);
  void Click(Field field) { Click(Window(field)); }
  // Posts one typed byte (WM_CHAR) to the window.
  void PostChar(HWND window, unsigned char byte);
  // Posts a key press (WM_KEYDOWN, WM_KEYUP) to the window.
  void PostKey(HWND window, UINT virtualKey);
  // Sends a message, failing when the program does not answer in time.
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Posts a message; a failure to post means the window is gone.
  void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Returns once the program has handled every message posted to it before:
  // a posted marker is awaited (the edit's modified flag of Video, which the
  // program never reads). Throws DriverError when it does not come (a hang).
  void Sync();

  // The window with the keyboard focus in the program's thread, or null.
  HWND Focus() const;
  // The field the focus is on (a combo box's edit child counts as the combo).
  std::optional<Field> FocusedField() const;

  // Chooses an item of the main menu. Where the menu of another process can
  // be read (Windows), the item's command id is posted as WM_COMMAND; Wine
  // keeps menus inside their process, so there the item is chosen the way a
  // user does from the keyboard: the bar's access key, then the item's.
  void ChooseMenuItem(int submenu, int item, char barKey, char itemKey);
  // The command id of an item of the main menu, or nothing when the menu
  // cannot be read from here.
  std::optional<UINT> MenuCommand(int submenu, int item) const;
  void PostCommand(UINT id) { Post(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  // A visible top-level window of the process with the class name, or null.
  HWND FindTopWindow(std::string_view className) const;
  std::optional<MessageBoxSeen> FindMessageBox();
  MessageBoxSeen WaitMessageBox();
  // Presses OK (posted) and waits until the box is gone.
  void CloseMessageBox(HWND box);
  // Waits for the about box and returns it.
  HWND WaitAboutBox();
  // Presses the about box's OK button and waits until the box is gone.
  void CloseAboutBox(HWND box);
  // The visible hint window of the process and its text, waiting up to the limit.
  std::optional<std::string> WaitHint(std::chrono::milliseconds limit);
  bool HintVisible() const;
  // Moves the pointer onto the middle of a window, nudged right by some pixels.
  static void PointAt(HWND window, int nudge = 0);
  // Moves the pointer and waits until the platform reports it there.
  static void MovePointer(int x, int y);
  // Rests the pointer on the window and returns the hint shown for it.
  std::optional<std::string> HintOver(HWND window);

  ProcessCounts Counts() const;
  // Every window of the program (top-level and children).
  std::vector<HWND> Windows() const;

  // Posts WM_CLOSE to the main window and returns the exit code.
  DWORD Close();
  // Waits for the process to end and returns its exit code.
  DWORD WaitExit(std::chrono::milliseconds limit);

 private:
  // Starts the program and waits for its main window.
  void Start(const std::wstring& path);
  // Waits until the main window is shown and active, with its fields found.
  void AwaitMainWindow();
  // Ends the process if it still runs and lets go of its handles.
  void Stop();
  void FindFields();

  PROCESS_INFORMATION process_{};
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND main_ = nullptr;
  std::array<HWND, kFieldCount> fields_{};
  bool exited_ = false;
};

// The program the build made, beside which its readme lies.
std::string TarnwickPath();

}  // namespace tw::e2e
