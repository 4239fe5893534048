// The Windows console program's ends towards the console: its arguments and
// its two output streams.
#pragma once

#include <string>
#include <vector>

#include "app/calc/CommandLine.h"

namespace tw::calc {

// The arguments after the program's name, read in wide form from the command
// line: each as text in the process's code page (932), where a character that
// code page lacks becomes "?", so such a value is rejected as not a number
// rather than read as something it does not say; and each as the wide file
// name it may be.
std::vector<Argument> WideArguments();

// Standard output and standard error, where they are consoles, from now on
// write through the wide console function: the texts (code page 932) then show
// whatever the console's own code page. Where they are pipes or files, the
// bytes go out unchanged, in code page 932.
void UseWideConsole();

}  // namespace tw::calc
