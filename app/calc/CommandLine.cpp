#include "app/calc/CommandLine.h"

#include <CLI/CLI.hpp>

#include <array>
#include <optional>
#include <ostream>
#include <vector>

#include "app/Bitrate.h"
#include "runtime/Convert.h"
#include "runtime/Exceptions.h"

namespace tw::calc {

namespace {

using F = BitrateField;

// The main window's fields, holding the texts the options gave instead of
// typed ones.
class OptionFields final : public BitrateFields {
 public:
  std::string ReadField(F field) override { return texts_[Index(field)]; }
  void WriteField(F field, const std::string& text) override { texts_[Index(field)] = text; }

 private:
  static std::size_t Index(F field) { return static_cast<std::size_t>(field); }
  std::array<std::string, 8> texts_;
};

struct Input {
  const char* option;
  F field;
  const char* description;
  // An option that may be left out: the field then takes this field's text.
  std::optional<F> otherwise = std::nullopt;
};

constexpr Input kCalcInputs[] = {
    {"--minutes", F::Time, "running time in minutes"},
    {"--size", F::NextSize, "target size in MB"},
    {"--audio", F::NowAudio, "audio bitrate in kb/s"},
};

constexpr Input kReCalcInputs[] = {
    {"--minutes", F::Time, "running time in minutes"},
    {"--size", F::NextSize, "target size in MB"},
    {"--audio", F::NextAudio, "audio bitrate of the new encode in kb/s"},
    {"--now-video", F::NowVideo, "video bitrate of the first encode in kb/s"},
    {"--now-size", F::NowSize, "size the first encode came to, in MB"},
    {"--now-audio", F::NowAudio, "audio bitrate of the first encode in kb/s (default: --audio)", F::NextAudio},
};

struct Command {
  const char* name;
  const char* description;
  std::span<const Input> inputs;
  void (*compute)(BitrateFields&);
  F result;
  CLI::App* app;
  std::vector<std::optional<std::string>> values;
};

constexpr const char* kFooter =
    "Each value is read as the window reads its fields: whole numbers, \"$\" or \"0x\" for\n"
    "hexadecimal. Standard output gets what the window's result field shows: the\n"
    "bitrate, \"ERR\" for a value that is not a whole number, \"---\" for a division\n"
    "by zero. Exit status: 0 for a bitrate, 1 for \"ERR\", \"---\" or a failed\n"
    "computation, 2 for a usage error.\n"
    "\n"
    "The Windows program's Japanese messages show in a console whatever its code\n"
    "page; written to a pipe or a file they are Shift-JIS (code page 932).\n"
    "\n"
    "Example, a two-pass encode of a 120-minute film to 700 MB with 128 kb/s audio:\n"
    "  rate=$(tarnwick-calc calc --minutes 120 --size 700 --audio 128) &&\n"
    "  ffmpeg -i film.avi -c:v mpeg4 -b:v \"${rate}k\" -pass 1 -an -f null /dev/null &&\n"
    "  ffmpeg -i film.avi -c:v mpeg4 -b:v \"${rate}k\" -pass 2 -c:a libmp3lame -b:a 128k film-700.avi";

// Says on err which values the parser rejected, in the message the window's
// parser gives.
void ExplainRejected(const Command& command, std::ostream& err) {
  const std::string format = ConsoleText(LoadResString(msg::InvalidInteger));
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    const auto& value = command.values[i];
    if (value && !ScanInteger(*value)) err << command.inputs[i].option << ": " << FormatText(format, {*value}) << '\n';
  }
}

int Compute(Command& command, std::ostream& out, std::ostream& err) {
  OptionFields fields;
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    if (command.values[i]) fields.WriteField(command.inputs[i].field, *command.values[i]);
  }
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    const Input& input = command.inputs[i];
    if (!command.values[i] && input.otherwise) fields.WriteField(input.field, fields.ReadField(*input.otherwise));
  }
  try {
    command.compute(fields);
  } catch (const Exception& e) {
    // What the window would report in its message box (an invalid operation
    // such as 0 divided by 0); the result field keeps its empty text.
    err << ConsoleText(e.Message()) << '\n';
    return kNoNumber;
  }
  const std::string result = fields.ReadField(command.result);
  out << result << '\n';
  if (result == kRejectedText) {
    ExplainRejected(command, err);
    return kNoNumber;
  }
  return result == kZeroDivideText ? kNoNumber : kNumber;
}

}  // namespace

int RunCommandLine(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  CLI::App app("The video bitrate that fits a target size, computed as Tarnwick for MPEG4 does.", "tarnwick-calc");
  app.set_version_flag("--version", TW_VERSION);
  // At most one; none is reported after parsing, so that an unknown word is
  // named as such rather than as a missing command.
  app.require_subcommand(0, 1);
  app.footer(kFooter);

  Command commands[] = {
      {"calc",
       "the bitrate that fills the target size (the window's Calc)",
       kCalcInputs,
       CalcBitrate,
       F::Video,
       {},
       {}},
      {"recalc",
       "the corrected bitrate of a second encode (the window's ReCalc)",
       kReCalcInputs,
       ReCalcBitrate,
       F::NextVideo,
       {},
       {}},
  };
  for (Command& command : commands) {
    command.app = app.add_subcommand(command.name, command.description);
    command.values.resize(command.inputs.size());
    for (std::size_t i = 0; i < command.inputs.size(); ++i) {
      const Input& input = command.inputs[i];
      // Taken as text: the window's parser decides what a number is.
      CLI::Option* option = command.app->add_option_function<std::string>(
          input.option, [&command, i](const std::string& value) { command.values[i] = value; }, input.description);
      option->type_name("N");
      if (!input.otherwise) option->required();
    }
  }

  // "--size=" gives the empty text, as "--size ''" does (the parser would
  // take it for a missing value).
  std::vector<std::string> words;
  for (const std::string& arg : args) {
    if (arg.size() > 3 && arg.starts_with("--") && arg.back() == '=') {
      words.push_back(arg.substr(0, arg.size() - 1));
      words.emplace_back();
    } else {
      words.push_back(arg);
    }
  }
  std::vector<const char*> argv{"tarnwick-calc"};
  for (const std::string& word : words) argv.push_back(word.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::Success& e) {
    // --help or --version.
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << "tarnwick-calc: " << e.what() << " (see tarnwick-calc --help)\n";
    return kUsage;
  }
  for (Command& command : commands) {
    if (command.app->parsed()) return Compute(command, out, err);
  }
  err << "tarnwick-calc: a command is required, calc or recalc (see tarnwick-calc --help)\n";
  return kUsage;
}

}  // namespace tw::calc
