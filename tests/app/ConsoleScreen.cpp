// Runs a console program in a console of its own, at a given console code
// page, and writes what the console's screen then shows, read back in wide
// form, to a file as UTF-8. A pipe would show the program's bytes; only the
// screen shows what a user in front of that console reads.
// Usage: console_screen CODEPAGE OUTPUT PROGRAM [ARGUMENT...]
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring Quoted(const wchar_t* word) {
  std::wstring out = L"\"";
  for (const wchar_t* c = word; *c; ++c) {
    if (*c == L'"') out += L'\\';
    out += *c;
  }
  return out + L"\"";
}

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr || count < 4) {
    std::fprintf(stderr, "usage: console_screen CODEPAGE OUTPUT PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  const UINT codePage = static_cast<UINT>(std::wcstoul(words[1], nullptr, 10));
  const std::wstring output = words[2];
  std::wstring commandLine;
  for (int i = 3; i < count; ++i) commandLine += (i > 3 ? L" " : L"") + Quoted(words[i]);

  // A new console, not whatever this process was started with.
  FreeConsole();
  if (!AllocConsole()) return 3;
  if (!SetConsoleOutputCP(codePage) || !SetConsoleCP(codePage)) return 4;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
  HANDLE keyboard = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
  if (screen == INVALID_HANDLE_VALUE || keyboard == INVALID_HANDLE_VALUE) return 5;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = keyboard;
  startup.hStdOutput = screen;
  startup.hStdError = screen;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return 6;
  DWORD exitCode = 99;
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 98);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(screen, &info)) return 7;
  std::string shown;
  // Up to the cursor's line: everything the program wrote.
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring line(static_cast<std::size_t>(info.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, line.data(), static_cast<DWORD>(line.size()), COORD{0, y}, &read);
    line.resize(read);
    while (!line.empty() && line.back() == L' ') line.pop_back();
    shown += Utf8(line) + "\n";
  }
  shown += "exit " + std::to_string(exitCode) + " codepage " + std::to_string(GetConsoleOutputCP()) + "\n";

  HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 8;
  DWORD written = 0;
  WriteFile(file, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr);
  CloseHandle(file);
  LocalFree(words);
  return 0;
}
