// The command-line calculator's entry.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "app/calc/Console.h"
#endif

#include "app/calc/CommandLine.h"
#include "runtime/Platform.h"
#include "runtime/Runtime.h"

int main(int argc, char** argv) {
  // The floating-point policy the window computes under.
  tw::InitRuntime();
  // Its messages in the user's language (--help stays English).
  tw::SetUiLanguage(tw::platform::UserInterfaceLanguage());
#ifdef _WIN32
  // One line end on every platform: a pipeline reading the bitrate must not
  // find a carriage return after it.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A console shows any text through the wide console function, whatever its
  // code page; the arguments are read in wide form for the same reason.
  tw::calc::UseWideConsole();
  const std::vector<tw::calc::Argument> args = tw::calc::WideArguments();
  (void)argc;
  (void)argv;
#else
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
  try {
    const int status = tw::calc::RunCommandLine(args, std::cout, std::cerr);
    std::cout.flush();
    return std::cout ? status : tw::calc::kNoNumber;
  } catch (const std::exception& e) {
    std::cerr << "tarnwick-calc: " << e.what() << '\n';
    return tw::calc::kNoNumber;
  }
}
