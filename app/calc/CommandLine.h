// The calculator on the command line: the main window's two computations, with
// the field texts given as options and the result field's text printed.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace tw::calc {

// Exit statuses.
inline constexpr int kNumber = 0;    // the result is a number
inline constexpr int kNoNumber = 1;  // "ERR", "---", or the computation failed
inline constexpr int kUsage = 2;     // a missing, unknown or repeated option

// Runs one command line (the arguments after the program's name) and returns
// its exit status. The result goes to out exactly as the window's result field
// would show it, with a line end; every other text goes to err.
int RunCommandLine(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// The program's own text (code page 932) in the encoding its console shows:
// UTF-8 on a Linux terminal, the console's code page on Windows.
std::string ConsoleText(std::string_view text);

}  // namespace tw::calc
