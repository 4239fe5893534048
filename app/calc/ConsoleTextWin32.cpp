// A Windows console shows its own code page, which need not be the program's.
#include <windows.h>

#include "app/calc/CommandLine.h"

namespace tw::calc {

std::string ConsoleText(std::string_view text) {
  // Without a console (output to a file or pipe and no console at all) the
  // ANSI code page is what the reader expects.
  const UINT codePage = GetConsoleOutputCP();
  if (text.empty() || codePage == 0 || codePage == GetACP()) return std::string(text);
  const int length = static_cast<int>(text.size());
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength);
  const int outLength = WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(outLength), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, out.data(), outLength, nullptr, nullptr);
  return out;
}

}  // namespace tw::calc
