#include "app/calc/CommandLine.h"

#include <CLI/CLI.hpp>

#include <array>
#include <optional>
#include <ostream>
#include <vector>

#include "app/Bitrate.h"
#include "app/FileMessage.h"
#include "media/Duration.h"
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

// What a file given instead of a number gives the field.
enum class FileFact : std::uint8_t { Minutes, Megabytes };

// The option that names a file to read the value from instead.
struct FileInput {
  const char* option;
  FileFact fact;
  const char* description;
};

constexpr FileInput kMinutesOf{"--minutes-of", FileFact::Minutes,
                               "the running time read from this video file (whole minutes, rounded up)"};
constexpr FileInput kNowSizeOf{"--now-size-of", FileFact::Megabytes,
                               "the size of this file, the first encode (whole MB, rounded up)"};

struct Input {
  const char* option;
  F field;
  const char* description;
  // An option that may be left out: the field then takes this field's text.
  std::optional<F> otherwise = std::nullopt;
  // The file option that may stand in its place (one of the two is required).
  const FileInput* file = nullptr;
};

constexpr Input kCalcInputs[] = {
    {"--minutes", F::Time, "running time in minutes", std::nullopt, &kMinutesOf},
    {"--size", F::NextSize, "target size in MB"},
    {"--audio", F::NowAudio, "audio bitrate in kb/s"},
};

constexpr Input kReCalcInputs[] = {
    {"--minutes", F::Time, "running time in minutes", std::nullopt, &kMinutesOf},
    {"--size", F::NextSize, "target size in MB"},
    {"--audio", F::NextAudio, "audio bitrate of the new encode in kb/s"},
    {"--now-video", F::NowVideo, "video bitrate of the first encode in kb/s"},
    {"--now-size", F::NowSize, "size the first encode came to, in MB", std::nullopt, &kNowSizeOf},
    {"--now-audio", F::NowAudio, "audio bitrate of the first encode in kb/s (default: --audio)", F::NextAudio},
};

struct Command {
  const char* name;
  const char* description;
  std::span<const Input> inputs;
  void (*compute)(BitrateFields&);
  F result;
  CLI::App* app = nullptr;
  std::vector<std::optional<std::string>> values{};
  // The files named instead of values, by input.
  std::vector<std::optional<media::FilePath>> files{};
};

constexpr const char* kFooter =
    "Each value is read as the window reads its fields: whole numbers, \"$\" or \"0x\" for\n"
    "hexadecimal. Instead of a number, --minutes-of FILE takes the running time from\n"
    "a video file's header (whole minutes, rounded up; AVI, MP4/MOV/3GP/M4V,\n"
    "Matroska/WebM, ASF/WMV or FLV, told by their content) and --now-size-of FILE\n"
    "the size of the first encode, any file whatever it holds (whole MB of 1,048,576\n"
    "bytes, rounded up). Give one form of each value, not both.\n"
    "\n"
    "Standard output gets what the window's result field shows: the bitrate, \"ERR\"\n"
    "for a value that is not a whole number, \"---\" for a division by zero.\n"
    "Exit status: 0 for a bitrate, 1 for \"ERR\", \"---\" or a failed computation, 2 for\n"
    "a usage error, 3 for a named file that gives no value: missing, unreadable or a\n"
    "folder, or for --minutes-of another format or a damaged header (the reason,\n"
    "naming the file, goes to standard error).\n"
    "\n"
    "Messages are Japanese where the user's interface language is Japanese (the\n"
    "messages locale: LC_ALL, LC_MESSAGES or LANG starting with \"ja\"; on Windows\n"
    "the display language), else English. The Windows program's show in a console\n"
    "whatever its code page; written to a pipe or a file they are code page 932.\n"
    "\n"
    "Example, a two-pass encode of a 120-minute film to 700 MB with 128 kb/s audio:\n"
    "  rate=$(tarnwick-calc calc --minutes 120 --size 700 --audio 128) &&\n"
    "  ffmpeg -i film.avi -c:v mpeg4 -b:v \"${rate}k\" -pass 1 -an -f null /dev/null &&\n"
    "  ffmpeg -i film.avi -c:v mpeg4 -b:v \"${rate}k\" -pass 2 -c:a libmp3lame -b:a 128k film-700.avi\n"
    "\n"
    "The whole loop from the files themselves: a first encode at the bitrate the\n"
    "source's running time gives, then a second corrected by the size it came to:\n"
    "  rate=$(tarnwick-calc calc --minutes-of film.avi --size 700 --audio 128) &&\n"
    "  ffmpeg -i film.avi -c:v mpeg4 -b:v \"${rate}k\" -c:a libmp3lame -b:a 128k first.avi &&\n"
    "  rate2=$(tarnwick-calc recalc --minutes-of film.avi --size 700 --audio 128 \\\n"
    "          --now-video \"$rate\" --now-size-of first.avi --now-audio 128) &&\n"
    "  ffmpeg -i film.avi -c:v mpeg4 -b:v \"${rate2}k\" -c:a libmp3lame -b:a 128k film-700.avi";

// Says on err which values the parser rejected, in the message the window's
// parser gives.
void ExplainRejected(const Command& command, std::ostream& err) {
  const std::string format = ConsoleText(LoadResString(msg::InvalidInteger));
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    const auto& value = command.values[i];
    if (value && !ScanInteger(*value)) err << command.inputs[i].option << ": " << FormatText(format, {*value}) << '\n';
  }
}

// What a file gives its field: the running time in whole minutes, or the
// size in whole MB, which needs nothing but the size: any file has one.
media::Result<std::uint64_t> FileValue(FileFact fact, const media::FilePath& path) {
  if (fact == FileFact::Megabytes) {
    const media::Result<std::uint64_t> bytes = media::ReadFileSize(path);
    if (!bytes) return bytes.Error();
    return media::MegabytesRoundedUp(*bytes);
  }
  const media::Result<media::FileFacts> facts = media::ReadMinutesAndSize(path);
  if (!facts) return facts.Error();
  return facts->minutes;
}

// The values of the files named instead of numbers, as the texts the window's
// fields would hold after the files were dropped on it; false after saying on
// err why a file gives none.
bool ReadFiles(Command& command, std::ostream& err) {
  bool all = true;
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    const FileInput* file = command.inputs[i].file;
    if (file == nullptr || !command.files[i]) continue;
    const media::Result<std::uint64_t> value = FileValue(file->fact, *command.files[i]);
    if (!value) {
      const TTextAroundName text = FileErrorText(value.Error());
      WriteNamingFile(err, std::string(file->option) + ": " + text.before, *command.files[i], text.after + "\n");
      all = false;
      continue;
    }
    command.values[i] = std::to_string(*value);
  }
  return all;
}

int Compute(Command& command, std::ostream& out, std::ostream& err) {
  if (!ReadFiles(command, err)) return kFileError;
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

// The file names given to one file option, in the order of the command line,
// each in the platform's own form: "--minutes-of NAME" and "--minutes-of=NAME".
std::vector<Argument> FilesGivenTo(std::string_view option, std::span<const Argument> words) {
  std::vector<Argument> files;
  const std::string joined = std::string(option) + "=";
  for (std::size_t i = 0; i < words.size(); ++i) {
    const Argument& word = words[i];
    if (word.text == option && i + 1 < words.size()) {
      files.push_back(words[i + 1]);
    } else if (word.text.starts_with(joined)) {
      // The option's name is ASCII: as many units in either form.
      const auto& native = word.path.Native();
      files.push_back(
          {word.text.substr(joined.size()), media::FilePath(native.substr(std::min(joined.size(), native.size())))});
    }
  }
  return files;
}

// "--size=" gives the empty text, as "--size ''" does (the parser would take
// it for a missing value): such a word becomes the option and an empty word.
std::vector<Argument> JoinEmptyValues(std::span<const Argument> args) {
  std::vector<Argument> words;
  for (const Argument& arg : args) {
    if (arg.text.size() > 3 && arg.text.starts_with("--") && arg.text.back() == '=') {
      const auto& native = arg.path.Native();
      words.push_back({arg.text.substr(0, arg.text.size() - 1),
                       media::FilePath(native.substr(0, native.empty() ? 0 : native.size() - 1))});
      words.emplace_back();
    } else {
      words.push_back(arg);
    }
  }
  return words;
}

// Declares the file option that may stand in for the input at index i; the
// two exclude each other.
void DeclareFileOption(Command& command, std::size_t i, CLI::Option& value, std::span<const Argument> words) {
  const FileInput& input = *command.inputs[i].file;
  // The file's name as the platform gave it: the parser hands over the text,
  // which on Windows may have lost characters of a wide name.
  CLI::Option* file = command.app->add_option_function<std::string>(
      input.option,
      [&command, i, given = FilesGivenTo(input.option, words)](const std::string& text) {
        for (const Argument& name : given) {
          if (name.text == text) {
            command.files[i] = name.path;
            return;
          }
        }
        command.files[i] = PathFromText(text);
      },
      input.description);
  file->type_name("FILE");
  value.excludes(file);
  file->excludes(&value);
}

// Declares the command and its options, each storing what it is given in the
// command.
void DeclareCommand(CLI::App& app, Command& command, std::span<const Argument> words) {
  command.app = app.add_subcommand(command.name, command.description);
  command.values.resize(command.inputs.size());
  command.files.resize(command.inputs.size());
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    const Input& input = command.inputs[i];
    // Taken as text: the window's parser decides what a number is.
    CLI::Option* option = command.app->add_option_function<std::string>(
        input.option, [&command, i](const std::string& value) { command.values[i] = value; }, input.description);
    option->type_name("N");
    if (input.file != nullptr)
      DeclareFileOption(command, i, *option, words);
    else if (!input.otherwise)
      option->required();
  }
}

// Parses the words; the exit status when that ends the run (--help,
// --version, a usage error), else nothing.
std::optional<int> Parse(CLI::App& app, std::span<const Argument> words, std::ostream& out, std::ostream& err) {
  std::vector<const char*> argv{"tarnwick-calc"};
  for (const Argument& word : words) argv.push_back(word.text.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::Success& e) {
    // --help or --version.
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << "tarnwick-calc: " << e.what() << " (see tarnwick-calc --help)\n";
    return kUsage;
  }
  return std::nullopt;
}

// Whether each value that may come from a file is given in one of its two
// forms; false after saying on err which one is missing.
bool HasRequiredValues(const Command& command, std::ostream& err) {
  for (std::size_t i = 0; i < command.inputs.size(); ++i) {
    const Input& input = command.inputs[i];
    if (input.file != nullptr && !command.values[i] && !command.files[i]) {
      err << "tarnwick-calc: " << command.name << ": " << input.option << " or " << input.file->option
          << " is required (see tarnwick-calc --help)\n";
      return false;
    }
  }
  return true;
}

}  // namespace

int RunCommandLine(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  std::vector<Argument> arguments;
  arguments.reserve(args.size());
  for (const std::string& arg : args) arguments.push_back({arg, PathFromText(arg)});
  return RunCommandLine(std::span<const Argument>(arguments), out, err);
}

int RunCommandLine(std::span<const Argument> args, std::ostream& out, std::ostream& err) {
  CLI::App app("The video bitrate that fits a target size, computed as Tarnwick for MPEG4 does.", "tarnwick-calc");
  app.set_version_flag("--version", TW_VERSION);
  // At most one; none is reported after parsing, so that an unknown word is
  // named as such rather than as a missing command.
  app.require_subcommand(0, 1);
  app.footer(kFooter);

  Command commands[] = {
      {"calc", "the bitrate that fills the target size (the window's Calc)", kCalcInputs, CalcBitrate, F::Video},
      {"recalc", "the corrected bitrate of a second encode (the window's ReCalc)", kReCalcInputs, ReCalcBitrate,
       F::NextVideo},
  };
  const std::vector<Argument> words = JoinEmptyValues(args);
  for (Command& command : commands) DeclareCommand(app, command, words);
  if (const std::optional<int> status = Parse(app, words, out, err)) return *status;
  for (Command& command : commands) {
    if (!command.app->parsed()) continue;
    if (!HasRequiredValues(command, err)) return kUsage;
    return Compute(command, out, err);
  }
  err << "tarnwick-calc: a command is required, calc or recalc (see tarnwick-calc --help)\n";
  return kUsage;
}

}  // namespace tw::calc
