// A Windows console shows its own code page, which need not be the program's:
// text for a console goes out through the wide console function instead.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "app/calc/CommandLine.h"
#include "app/calc/Console.h"
#include "runtime/Platform.h"

namespace tw::calc {

// The streams take care of the console; a pipe or a file gets the program's
// code page, as every Windows program that writes text there does.
std::string ConsoleText(std::string_view text) { return std::string(text); }

media::FilePath PathFromText(std::string_view text) {
  const std::u16string wide = platform::AnsiToWide(text);
  return media::FilePath(std::wstring(wide.begin(), wide.end()));
}

std::vector<Argument> WideArguments() {
  std::vector<Argument> args;
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const int length = static_cast<int>(wcslen(words[i]));
    const int needed =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, words[i], length, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0)
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, words[i], length, arg.data(), needed, nullptr, nullptr);
    args.push_back({std::move(arg), media::FilePath(std::wstring(words[i], static_cast<std::size_t>(length)))});
  }
  LocalFree(words);
  return args;
}

namespace {

// Collects the bytes written and hands them to the console as wide text on
// each flush, keeping back a lead byte whose second byte has not come yet.
class WideConsoleBuffer : public std::streambuf {
 public:
  explicit WideConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (pending_.size() >= 4096 || c == '\n') return Flush() ? c : traits_type::eof();
    return c;
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i)
      if (traits_type::eq_int_type(overflow(traits_type::to_int_type(s[i])), traits_type::eof())) return i;
    return n;
  }

  int sync() override { return Flush() ? 0 : -1; }

 public:
  // Wide text straight to the console, after what is pending.
  bool WriteWide(std::wstring_view text) { return Flush() && WriteOut(text); }

 private:
  bool WriteOut(std::wstring_view wide) {
    std::size_t done = 0;
    while (done < wide.size()) {
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(console_, wide.data() + done, piece, &written, nullptr) || written == 0) return false;
      done += written;
    }
    return true;
  }

  bool Flush() {
    std::size_t whole = 0;
    while (whole < pending_.size()) {
      const std::size_t step = platform::IsLeadByte(static_cast<std::uint8_t>(pending_[whole])) ? 2 : 1;
      if (whole + step > pending_.size()) break;
      whole += step;
    }
    const std::u16string wide = platform::AnsiToWide(std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    return WriteOut(std::wstring_view(reinterpret_cast<const wchar_t*>(wide.data()), wide.size()));
  }

  HANDLE console_;
  std::string pending_;
};

// The console behind a standard handle; null for a pipe, a file or none.
HANDLE ConsoleOf(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

void WriteNamingFile(std::ostream& stream, std::string_view before, const media::FilePath& file,
                     std::string_view after) {
  // A console shows the name whole; a pipe or a file gets the program's code
  // page, where a character it lacks becomes "?".
  stream << before;
  if (auto* console = dynamic_cast<WideConsoleBuffer*>(stream.rdbuf())) {
    if (!console->WriteWide(file.Native())) stream.setstate(std::ios::badbit);
  } else {
    const std::wstring& name = file.Native();
    stream << platform::WideToAnsi(std::u16string(name.begin(), name.end()));
  }
  stream << after;
}

void UseWideConsole() {
  // Never freed: the standard streams flush into them until the very end of
  // the process, after every static object is gone.
  if (HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE)) {
    std::cout.flush();
    std::cout.rdbuf(new WideConsoleBuffer(console));
  }
  if (HANDLE console = ConsoleOf(STD_ERROR_HANDLE)) {
    std::cerr.flush();
    std::cerr.rdbuf(new WideConsoleBuffer(console));
  }
}

}  // namespace tw::calc
