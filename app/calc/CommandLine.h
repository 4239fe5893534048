// The calculator on the command line: the main window's two computations, with
// the field texts given as options and the result field's text printed.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "media/FilePath.h"

namespace tw::calc {

// Exit statuses.
inline constexpr int kNumber = 0;     // the result is a number
inline constexpr int kNoNumber = 1;   // "ERR", "---", or the computation failed
inline constexpr int kUsage = 2;      // a missing, unknown or repeated option
inline constexpr int kFileError = 3;  // a named file whose running time or size cannot be read

// One argument: its text in the program's code page (932 on Windows), and the
// same argument as a file name in the platform's own form (wide on Windows, so
// that a name outside code page 932 still opens).
struct Argument {
  std::string text;
  media::FilePath path;
};

// Runs one command line (the arguments after the program's name) and returns
// its exit status. The result goes to out exactly as the window's result field
// would show it, with a line end; every other text goes to err.
int RunCommandLine(std::span<const Argument> args, std::ostream& out, std::ostream& err);
// The same for arguments given as text only: a file name is the text itself.
int RunCommandLine(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// The program's own text (code page 932) in the encoding its console shows:
// UTF-8 on a Linux terminal, the console's code page on Windows.
std::string ConsoleText(std::string_view text);

// A file name given as the program's text (code page 932 on Windows).
media::FilePath PathFromText(std::string_view text);

// Writes the program's texts before and after a file's name (code page 932),
// with the name shown whole where the stream is a console that can show it.
void WriteNamingFile(std::ostream& stream, std::string_view before, const media::FilePath& file,
                     std::string_view after);

}  // namespace tw::calc
