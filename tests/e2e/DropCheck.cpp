// The running calculator, seen from outside while files are dropped on it from
// the X display (drop_test.sh drives the drops). It starts the program and
// answers one command a line on standard input, one line on standard output:
//   point FIELD     the screen point at the middle of a field: "x y"
//   client X Y      the screen point of a point of the main window's client area
//   fields          "Time NowSize" once every message sent before is handled
//   box             waits for a message box: "caption<TAB>text" (UTF-8)
//   nobox           "none" when no message box is up, else its text as for box
//   closebox        presses the box's OK: "closed"
//   quit            closes the program: "exit CODE"
// A failure answers "error TEXT" and ends the program.
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "tests/e2e/Driver.h"

namespace {

using namespace std::chrono_literals;
using tw::e2e::Field;
using tw::e2e::Program;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// A window's text in wide form, asked with a time limit.
std::wstring WideText(HWND window) {
  wchar_t buffer[2048] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                           5000, &copied))
    throw tw::e2e::DriverError("the window did not give its text");
  return std::wstring(buffer, copied);
}

std::string BoxLine(HWND box) {
  const HWND label = GetDlgItem(box, 0xFFFF);
  return Utf8(WideText(box)) + "\t" + (label ? Utf8(WideText(label)) : std::string());
}

Field FieldNamed(const std::string& name) {
  for (int i = 0; i < tw::e2e::kFieldCount; ++i)
    if (name == tw::e2e::FieldName(static_cast<Field>(i))) return static_cast<Field>(i);
  throw tw::e2e::DriverError("no field " + name);
}

void Answer(const std::string& line) { std::cout << line << std::endl; }

int Run() {
  Program program(tw::e2e::TarnwickPath());
  Program::MovePointer(2, 2);
  Answer("ready");
  std::string command;
  while (std::cin >> command) {
    if (command == "point") {
      std::string name;
      std::cin >> name;
      RECT rect{};
      GetWindowRect(program.Window(FieldNamed(name)), &rect);
      Answer(std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
    } else if (command == "client") {
      POINT point{};
      std::cin >> point.x >> point.y;
      ClientToScreen(program.MainWindow(), &point);
      Answer(std::to_string(point.x) + " " + std::to_string(point.y));
    } else if (command == "fields") {
      program.Sync();
      Answer(program.Text(Field::Time) + " " + program.Text(Field::NowSize));
    } else if (command == "box") {
      HWND box = nullptr;
      tw::e2e::WaitFor([&] { return (box = program.FindTopWindow("#32770")) != nullptr; }, 5000ms);
      Answer(box ? BoxLine(box) : "error no message box came");
    } else if (command == "nobox") {
      program.Sync();
      const HWND box = program.FindTopWindow("#32770");
      Answer(box ? BoxLine(box) : "none");
    } else if (command == "closebox") {
      const HWND box = program.FindTopWindow("#32770");
      if (box) program.CloseMessageBox(box);
      Answer(box ? "closed" : "error no message box to close");
    } else if (command == "quit") {
      Answer("exit " + std::to_string(program.Close()));
      return 0;
    } else {
      Answer("error unknown command " + command);
      return 2;
    }
  }
  return 0;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    Answer(std::string("error ") + e.what());
    return 9;
  }
}
