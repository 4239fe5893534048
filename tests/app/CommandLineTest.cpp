#include "app/calc/CommandLine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "app/FileMessage.h"
#include "runtime/Language.h"
#include "tests/TestSupport.h"

namespace tw::calc {
namespace {

using test::Sjis;

struct Outcome {
  std::string out;
  std::string err;
  int status;
};

Outcome RunCalc(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCommandLine(args, out, err);
  return {out.str(), err.str(), status};
}

// The Japanese texts the program prints, as its console shows them.
std::string Shown(std::string_view utf8) { return ConsoleText(Sjis(utf8)); }

struct Case {
  std::vector<std::string> args;
  const char* out;  // what the window's result field shows, with the line end
  int status;
};

// The results the window gives for the same texts (the worked examples and the
// edge cases of its two computations).
TEST(CommandLine, GivesTheWindowsResults) {
  const Case cases[] = {
      {{"calc", "--minutes", "120", "--size", "700", "--audio", "128"}, "668\n", kNumber},
      {{"calc", "--minutes", "90", "--size", "700", "--audio", "128"}, "933\n", kNumber},
      {{"calc", "--minutes", "120", "--size", "1400", "--audio", "192"}, "1400\n", kNumber},
      {{"calc", "--minutes", "120", "--size", "1", "--audio", "128"}, "-126\n", kNumber},
      {{"calc", "--minutes=120", "--size=700", "--audio=$80"}, "668\n", kNumber},
      {{"calc", "--audio", "0", "--size", "2147483647", "--minutes", "1"}, "1138166196\n", kNumber},
      {{"calc", "--minutes", "  120", "--size", "700", "--audio", "0x80"}, "668\n", kNumber},
      {{"calc", "--minutes", "120", "--size", "700", "--audio", "-128"}, "924\n", kNumber},
      {{"calc", "--minutes", "0", "--size", "700", "--audio", "abc"}, "---\n", kNoNumber},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size", "700"},
       "700\n",
       kNumber},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "668", "--now-size", "700"},
       "668\n",
       kNumber},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "96", "--now-video", "700", "--now-size", "750",
        "--now-audio", "128"},
       "675\n",
       kNumber},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "64", "--now-video", "800", "--now-size", "600",
        "--now-audio", "128"},
       "1056\n",
       kNumber},
      // The first encode's audio defaults to the new one: 96 kb/s both times.
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "96", "--now-video", "700", "--now-size", "750"},
       "647\n",
       kNumber},
      {{"recalc", "--minutes", "128", "--size", "700", "--audio", "96", "--now-video", "700", "--now-size", "120",
        "--now-audio", "128"},
       "---\n",
       kNoNumber},
      {{"recalc", "--minutes", "65536", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size", "700",
        "--now-audio", "65536"},
       "-60740\n",
       kNumber},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const Outcome o = RunCalc(c.args);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, "");
  }
}

// Texts the window's parser rejects: "ERR", and each rejected value named on
// the error stream with the parser's message.
TEST(CommandLine, RejectedValuesGiveErrAndNameTheOption) {
  struct Rejected {
    std::vector<std::string> args;
    std::string err;
  };
  const Rejected cases[] = {
      {{"calc", "--minutes", "12a", "--size", "700", "--audio", "128"}, "--minutes: '12a' は整数ではありません\n"},
      {{"calc", "--minutes", "120 ", "--size", "700", "--audio", "128"}, "--minutes: '120 ' は整数ではありません\n"},
      {{"calc", "--minutes", "120", "--size", " ", "--audio", "128"}, "--size: ' ' は整数ではありません\n"},
      {{"calc", "--minutes", "120", "--size", "", "--audio", "128"}, "--size: '' は整数ではありません\n"},
      {{"calc", "--minutes", "120", "--size=", "--audio", "128"}, "--size: '' は整数ではありません\n"},
      {{"calc", "--minutes", "120", "--size", "2147483648", "--audio", "1.5"},
       "--size: '2147483648' は整数ではありません\n--audio: '1.5' は整数ではありません\n"},
      {{"calc", "--minutes", "\t120", "--size", "700", "--audio", "$100000000"},
       "--minutes: '\t120' は整数ではありません\n--audio: '$100000000' は整数ではありません\n"},
      {{"recalc", "--minutes", "120", "--size", "x", "--audio", "128", "--now-video", "700", "--now-size", "700"},
       "--size: 'x' は整数ではありません\n"},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size", "700",
        "--now-audio", "--5"},
       "--now-audio: '--5' は整数ではありません\n"},
  };
  for (const Rejected& c : cases) {
    SCOPED_TRACE(c.err);
    const Outcome o = RunCalc(c.args);
    EXPECT_EQ(o.out, "ERR\n");
    EXPECT_EQ(o.status, kNoNumber);
    EXPECT_EQ(o.err, Shown(c.err));
  }
}

// 0 divided by 0: the window reports the invalid operation in a message box
// and leaves its result field alone; here its message goes to the error stream.
TEST(CommandLine, InvalidOperationPrintsTheMessageTableText) {
  const std::vector<std::string> cases[] = {
      {"calc", "--minutes", "0", "--size", "0", "--audio", "128"},
      {"recalc", "--minutes", "128", "--size", "700", "--audio", "96", "--now-video", "0", "--now-size", "120",
       "--now-audio", "128"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0]);
    const Outcome o = RunCalc(args);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.status, kNoNumber);
    EXPECT_EQ(o.err, Shown("不正な浮動小数点数演算命令\n"));
  }
}

// Usage errors: nothing on standard output, one line naming the problem.
TEST(CommandLine, UsageErrorsNameTheOption) {
  struct Usage {
    std::vector<std::string> args;
    const char* named;
  };
  const Usage cases[] = {
      {{}, "a command is required"},
      {{"divide"}, "divide"},
      {{"calc", "--minutes", "120", "--size", "700"}, "--audio is required"},
      {{"calc", "--minutes", "120", "--audio", "128", "--size"}, "--size"},
      {{"calc", "--minutes", "120", "--size", "700", "--audio", "128", "--bitrate", "5"}, "--bitrate"},
      {{"calc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "5"}, "--now-video"},
      {{"calc", "--minutes", "1", "--minutes", "2", "--size", "700", "--audio", "128"}, "--minutes"},
      {{"calc", "--minutes", "120", "--size", "700", "--audio", "128", "extra"}, "extra"},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-size", "700"}, "--now-video"},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700"}, "--now-size"},
  };
  for (const Usage& c : cases) {
    SCOPED_TRACE(c.named);
    const Outcome o = RunCalc(c.args);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.status, kUsage);
    EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
  }
}

TEST(CommandLine, HelpExplainsTheInputsWithAnEncoderExample) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"recalc", "--help"}}) {
    const Outcome o = RunCalc(args);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find("tarnwick-calc calc --minutes 120 --size 700 --audio 128"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("-b:v"), std::string::npos);
  }
  EXPECT_NE(RunCalc({"recalc", "--help"}).out.find("--now-audio"), std::string::npos);
  const Outcome version = RunCalc({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, TW_VERSION "\n");
}

// ---- Files named instead of numbers ----

namespace fs = std::filesystem;

std::string Sample(const char* name) { return (fs::path(TW_MEDIA_TEST_DATA) / name).string(); }

// A file named instead of a number gives what that number typed gives: the
// running time in whole minutes rounded up, the size in whole MB rounded up.
TEST(CommandLine, FilesGiveTheNumbersTheyStandFor) {
  const std::string avi = Sample("avi-2h15m45s.avi");  // 136 minutes
  const std::string wmv = Sample("wmv-2h01m15s.wmv");  // 122 minutes, 51,193 bytes: 1 MB
  const std::string mov = Sample("mov-1h30m15s.mov");  // 91 minutes
  struct Same {
    std::vector<std::string> withFiles;
    std::vector<std::string> typed;
  };
  const Same cases[] = {
      {{"calc", "--minutes-of", avi, "--size", "700", "--audio", "128"},
       {"calc", "--minutes", "136", "--size", "700", "--audio", "128"}},
      {{"calc", "--size", "700", "--minutes-of=" + mov, "--audio", "128"},
       {"calc", "--minutes", "91", "--size", "700", "--audio", "128"}},
      {{"recalc", "--minutes-of", avi, "--size", "700", "--audio", "96", "--now-video", "600", "--now-size-of", wmv},
       {"recalc", "--minutes", "136", "--size", "700", "--audio", "96", "--now-video", "600", "--now-size", "1"}},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "96", "--now-video", "600", "--now-size-of=" + avi,
        "--now-audio", "128"},
       {"recalc", "--minutes", "120", "--size", "700", "--audio", "96", "--now-video", "600", "--now-size", "1",
        "--now-audio", "128"}},
      // Fragmented, as DASH downloads and crash-safe recorders leave it.
      {{"calc", "--minutes-of", Sample("mp4-fragmented-dash-1h40m00s.mp4"), "--size", "700", "--audio", "128"},
       {"calc", "--minutes", "100", "--size", "700", "--audio", "128"}},
      // Audio that outlasts the video counts.
      {{"calc", "--minutes-of", Sample("avi-remux-audio-outlasts-video-1m05s.avi"), "--size", "700", "--audio", "128"},
       {"calc", "--minutes", "2", "--size", "700", "--audio", "128"}},
      // A file gives a number, the rest of the line still decides the result.
      {{"calc", "--minutes-of", wmv, "--size", "x", "--audio", "128"},
       {"calc", "--minutes", "122", "--size", "x", "--audio", "128"}},
  };
  for (const Same& c : cases) {
    SCOPED_TRACE(c.typed[2]);
    const Outcome withFiles = RunCalc(c.withFiles);
    const Outcome typed = RunCalc(c.typed);
    EXPECT_EQ(withFiles.out, typed.out);
    EXPECT_EQ(withFiles.status, typed.status);
    EXPECT_EQ(withFiles.err, typed.err);
  }
  EXPECT_EQ(RunCalc(cases[0].withFiles).out, "574\n");
}

// A file that gives no running time: the window's reason on the error stream,
// naming the option and the file, status 3, and no result.
TEST(CommandLine, AnUnreadableFileIsNamedWithItsReason) {
  const fs::path folder =
      fs::temp_directory_path() / ("tw-calc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(folder);
  const std::string text = (folder / "notes.txt").string();
  std::ofstream(text) << "no video here\n";
  const std::string cut = (folder / "cut.avi").string();
  {
    std::ifstream in(Sample("avi-2h15m45s.avi"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
  }
  const std::string missing = (folder / "gone.mkv").string();
  const std::string dir = folder.string();
  struct Unreadable {
    std::vector<std::string> args;
    std::string err;  // UTF-8
  };
  const Unreadable cases[] = {
      {{"calc", "--minutes-of", missing, "--size", "700", "--audio", "128"},
       "--minutes-of: ファイル「" + missing + "」を開けません。\n"},
      {{"calc", "--minutes-of", dir, "--size", "700", "--audio", "128"},
       "--minutes-of: 「" + dir + "」はファイルではありません。\n"},
      {{"calc", "--minutes-of", text, "--size", "700", "--audio", "128"},
       "--minutes-of: ファイル「" + text + "」の形式には対応していません。\n"},
      {{"calc", "--minutes-of", cut, "--size", "700", "--audio", "128"},
       "--minutes-of: ファイル「" + cut + "」から再生時間を読み取れません。\n"},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size-of", dir},
       "--now-size-of: 「" + dir + "」はファイルではありません。\n"},
      {{"recalc", "--minutes-of", missing, "--size", "700", "--audio", "128", "--now-video", "700",
        "--now-size-of=", "--now-audio", "x"},
       "--minutes-of: ファイル「" + missing + "」を開けません。\n--now-size-of: ファイル「」を開けません。\n"},
  };
  for (const Unreadable& c : cases) {
    SCOPED_TRACE(c.err);
    const Outcome o = RunCalc(c.args);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.status, kFileError);
    EXPECT_EQ(o.err, Shown(c.err));
  }
  // The first encode's size needs no running time: any file gives it.
  for (const std::string& file : {text, cut}) {
    const Outcome sized = RunCalc(
        {"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size-of", file});
    const Outcome typed = RunCalc(
        {"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size", "1"});
    EXPECT_EQ(sized.status, kNumber) << file << ": " << sized.err;
    EXPECT_EQ(sized.out, typed.out) << file;
  }
  fs::remove_all(folder);
}

// Every reason a file gives no value has its own text in both languages, with
// the file's name inside it.
TEST(CommandLine, EveryFileErrorHasItsOwnMessage) {
  using media::MediaError;
  for (const TUiLanguage language : {TUiLanguage::Japanese, TUiLanguage::English}) {
    SetUiLanguage(language);
    std::set<std::string> texts;
    for (const MediaError error : {MediaError::CannotOpen, MediaError::NotAFile, MediaError::UnsupportedFormat,
                                   MediaError::Damaged, MediaError::ReadFailed}) {
      const TTextAroundName text = FileErrorText(error);
      EXPECT_FALSE(text.before.empty() || text.after.empty()) << static_cast<int>(error);
      EXPECT_TRUE(texts.insert(text.before + "\x01" + text.after).second) << text.before << text.after;
    }
  }
  SetUiLanguage(TUiLanguage::Japanese);
  const TTextAroundName failed = FileErrorText(MediaError::ReadFailed);
  EXPECT_EQ(failed.before + "a.mp4" + failed.after, Sjis("ファイル「a.mp4」の読み込み中にエラーが発生しました。"));
}

// The file's name is taken in the platform's own form, not from the text the
// parser sees: on Windows a wide name whose text lost a character still opens.
TEST(CommandLine, TheFileNameComesInThePlatformsForm) {
  const fs::path folder = fs::temp_directory_path() / "tw-calc-wide";
  fs::create_directories(folder);
  const fs::path zoe = folder / fs::path(u8"Zo\u00eb \u00c5.mp4");
  fs::copy_file(Sample("mp4-faststart-2h00m00s.mp4"), zoe, fs::copy_options::overwrite_existing);
  // The text as code page 932 holds it: the letters it lacks as "?".
  const std::string lossy = (folder / "Zo? ?.mp4").string();
  const Argument args[] = {{"calc", PathFromText("calc")},
                           {"--minutes-of", PathFromText("--minutes-of")},
                           {lossy, zoe},
                           {"--size", PathFromText("--size")},
                           {"700", PathFromText("700")},
                           {"--audio", PathFromText("--audio")},
                           {"128", PathFromText("128")}};
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunCommandLine(args, out, err), kNumber) << err.str();
  EXPECT_EQ(out.str(), "668\n");
  const Argument joined[] = {
      {"calc", PathFromText("calc")},
      {"--minutes-of=" + lossy, media::FilePath(PathFromText("--minutes-of=").Native() + zoe.native())},
      {"--size", PathFromText("--size")},
      {"700", PathFromText("700")},
      {"--audio", PathFromText("--audio")},
      {"128", PathFromText("128")}};
  std::ostringstream out2;
  EXPECT_EQ(RunCommandLine(joined, out2, err), kNumber) << err.str();
  EXPECT_EQ(out2.str(), "668\n");
  fs::remove_all(folder);
}

// One value in one form: both, or neither, is a usage error naming them, and
// no file is read for a line that is not used.
TEST(CommandLine, OneFormOfEachValue) {
  const std::string avi = Sample("avi-2h15m45s.avi");
  struct Usage {
    std::vector<std::string> args;
    std::vector<const char*> named;
  };
  const Usage cases[] = {
      {{"calc", "--minutes", "120", "--minutes-of", avi, "--size", "700", "--audio", "128"},
       {"--minutes", "--minutes-of"}},
      {{"calc", "--minutes-of=" + avi, "--size", "700", "--audio", "128", "--minutes=120"},
       {"--minutes", "--minutes-of"}},
      {{"recalc", "--minutes", "120", "--size", "700", "--audio", "128", "--now-video", "700", "--now-size", "700",
        "--now-size-of", "/no/such/file"},
       {"--now-size", "--now-size-of"}},
      {{"calc", "--size", "700", "--audio", "128"}, {"--minutes or --minutes-of is required"}},
      {{"recalc", "--minutes-of", avi, "--size", "700", "--audio", "128", "--now-video", "700"},
       {"--now-size or --now-size-of is required"}},
      {{"calc", "--minutes-of", avi, "--size", "700", "--audio", "128", "--now-size-of", avi}, {"--now-size-of"}},
      {{"calc", "--size", "700", "--audio", "128", "--minutes-of"}, {"--minutes-of"}},
      {{"calc", "--minutes-of", avi, "--minutes-of", avi, "--size", "700", "--audio", "128"}, {"--minutes-of"}},
  };
  for (const Usage& c : cases) {
    SCOPED_TRACE(c.named[0]);
    const Outcome o = RunCalc(c.args);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.status, kUsage);
    for (const char* named : c.named) EXPECT_NE(o.err.find(named), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
  }
}

// "--opt=" is rewritten to the option and an empty value: an unknown option
// keeps its own name in the error, and "--size==" stays a rejected value.
TEST(CommandLine, TheEmptyValueFormKeepsNamesAndValues) {
  const Outcome bogus = RunCalc({"calc", "--minutes", "120", "--size", "700", "--audio", "128", "--bogus="});
  EXPECT_EQ(bogus.status, kUsage);
  EXPECT_EQ(bogus.out, "");
  EXPECT_NE(bogus.err.find("--bogus"), std::string::npos) << bogus.err;
  EXPECT_EQ(bogus.err.find("--bogus="), std::string::npos) << bogus.err;
  const Outcome unknownFirst = RunCalc({"calc", "--bogus=", "--minutes", "120", "--size", "700", "--audio", "128"});
  EXPECT_EQ(unknownFirst.status, kUsage);
  EXPECT_NE(unknownFirst.err.find("--bogus"), std::string::npos) << unknownFirst.err;
  EXPECT_EQ(unknownFirst.err.find("--bogus="), std::string::npos) << unknownFirst.err;

  const Outcome doubled = RunCalc({"calc", "--minutes", "120", "--size==", "--audio", "128"});
  EXPECT_EQ(doubled.out, "ERR\n");
  EXPECT_EQ(doubled.status, kNoNumber);
  EXPECT_NE(doubled.err.find("--size: "), std::string::npos) << doubled.err;
}

TEST(CommandLine, HelpShowsTheFileOptionsStatusesAndTheLoop) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"recalc", "--help"}}) {
    const Outcome o = RunCalc(args);
    EXPECT_EQ(o.status, 0);
    for (const char* text :
         {"--minutes-of FILE", "--now-size-of FILE", "3 for a named file", "tarnwick-calc calc --minutes-of film.avi",
          "tarnwick-calc recalc --minutes-of film.avi", "--now-size-of first.avi", "-b:v \"${rate2}k\""})
      EXPECT_NE(o.out.find(text), std::string::npos) << text;
  }
}

TEST(CommandLine, ConsoleTextShowsTheProgramsTexts) {
  EXPECT_EQ(ConsoleText("ERR"), "ERR");
  EXPECT_EQ(ConsoleText(""), "");
#ifdef _WIN32
  // A pipe has no console: the texts stay in the program's code page.
  EXPECT_EQ(ConsoleText(Sjis("整数")), Sjis("整数"));
#else
  EXPECT_EQ(ConsoleText(Sjis("'%s' は整数ではありません")), "'%s' は整数ではありません");
  EXPECT_EQ(ConsoleText(Sjis("ｶﾅ・β①")), "ｶﾅ・β①");
#endif
}

}  // namespace
}  // namespace tw::calc
