#include "app/calc/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

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
