#include "app/Bitrate.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

using F = BitrateField;

// The main window's fields with their initial texts; every read and write is
// logged so that tests can check the order the computations follow.
class Fields : public BitrateFields {
 public:
  std::map<F, std::string> text{{F::Time, "120"},     {F::NextSize, "700"}, {F::NowAudio, "128"},  {F::Video, ""},
                                {F::NowVideo, "700"}, {F::NowSize, "700"},  {F::NextAudio, "128"}, {F::NextVideo, ""}};
  std::vector<std::string> log;

  std::string ReadField(F f) override {
    log.push_back("r" + std::to_string(static_cast<int>(f)));
    return text[f];
  }
  void WriteField(F f, const std::string& t) override {
    log.push_back("w" + std::to_string(static_cast<int>(f)) + "=" + t);
    text[f] = t;
  }
};

// Both computations in the processor's arithmetic and in software, on the
// texts a user types (and some a user should not), field by field: the same
// texts, or the same exception.
TEST(BitrateArithmetics, TheSoftwareGivesTheProcessorsFields) {
  std::mt19937 random(7);
  auto number = [&](std::uint32_t below) { return std::to_string(static_cast<std::int32_t>(random() % below)); };
  auto run = [](void (*compute)(BitrateFields&, Arithmetic), Fields fields, Arithmetic arithmetic) {
    try {
      compute(fields, arithmetic);
    } catch (const Exception& e) {
      fields.text[F::Video] = e.ClassName();
    }
    return fields.text;
  };
  for (int i = 0; i < 20000; ++i) {
    Fields fields;
    fields.text = {{F::Time, number(300)},      {F::NextSize, number(i % 7 ? 20000 : 0x7FFFFFFF)},
                   {F::NowAudio, number(500)},  {F::Video, ""},
                   {F::NowVideo, number(5000)}, {F::NowSize, number(i % 5 ? 20000 : 100)},
                   {F::NextAudio, number(500)}, {F::NextVideo, ""}};
    using Step = void (*)(BitrateFields&, Arithmetic);
    for (const Step step : {Step{&CalcBitrate}, Step{&ReCalcBitrate}}) {
      ASSERT_EQ(run(step, fields, Arithmetic::Software), run(step, fields, Arithmetic::Processor))
          << fields.text[F::NextSize] << " MB, " << fields.text[F::Time] << " min";
    }
  }
}

#if TW_HAS_X87
TEST(TruncateToInt32, ChopsAndWrapsModulo2To32) {
  EXPECT_EQ(TruncateToInt32(668.425L), 668);
  EXPECT_EQ(TruncateToInt32(-126.86225L), -126);
  EXPECT_EQ(TruncateToInt32(293195942324.91L), 1138166196);
  EXPECT_EQ(TruncateToInt32(4294967296.0L), 0);
  EXPECT_EQ(TruncateToInt32(2147483648.0L), INT32_MIN);
  EXPECT_THROW(TruncateToInt32(1e19L), EInvalidOp);
}
#endif

struct CalcCase {
  const char* size;
  const char* time;
  const char* audio;
  const char* video;
};

TEST(CalcBitrate, WorkedExamples) {
  const CalcCase cases[] = {
      {"700", "120", "128", "668"},   {"700", "90", "128", "933"},  {"1400", "120", "192", "1400"},
      {"1", "120", "128", "-126"},    {"700", "120", "$80", "668"}, {"2147483647", "1", "0", "1138166196"},
      {"700", "  120", "128", "668"}, {"0", "120", "0", "0"},       {"-700", "120", "0", "-796"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size + std::string("/") + c.time + "/" + c.audio);
    Fields f;
    f.text[F::NextSize] = c.size;
    f.text[F::Time] = c.time;
    f.text[F::NowAudio] = c.audio;
    CalcBitrate(f);
    EXPECT_EQ(f.text[F::Video], c.video);
    EXPECT_EQ(f.text[F::NowVideo], c.video);
    EXPECT_EQ(f.text[F::NextAudio], c.audio);
  }
}

TEST(CalcBitrate, ReadsAndWritesInOrder) {
  Fields f;
  CalcBitrate(f);
  const std::vector<std::string> expected = {"r1", "r0", "r2", "w3=668", "r3", "w4=668", "r2", "w6=128"};
  EXPECT_EQ(f.log, expected);
}

TEST(CalcBitrate, DivisionByZeroShowsDashesBeforeTheAudioIsRead) {
  Fields f;
  f.text[F::Time] = "0";
  f.text[F::NowAudio] = "abc";
  CalcBitrate(f);
  EXPECT_EQ(f.text[F::Video], "---");
  EXPECT_EQ(f.text[F::NowVideo], "700");
  EXPECT_EQ(f.text[F::NextAudio], "abc");
  const std::vector<std::string> expected = {"r1", "r0", "w3=---", "r2", "w6=abc"};
  EXPECT_EQ(f.log, expected);
}

TEST(CalcBitrate, RejectedTextsShowErr) {
  for (const char* time : {"12a", "120 ", "", " ", "1.5", "99999999999"}) {
    SCOPED_TRACE(time);
    Fields f;
    f.text[F::Time] = time;
    f.text[F::NowAudio] = "96";
    CalcBitrate(f);
    EXPECT_EQ(f.text[F::Video], "ERR");
    EXPECT_EQ(f.text[F::NowVideo], "700");
    EXPECT_EQ(f.text[F::NextAudio], "96");
  }
}

TEST(CalcBitrate, ZeroByZeroEscapesAndSkipsTheAudioCopy) {
  Fields f;
  f.text[F::Time] = "0";
  f.text[F::NextSize] = "0";
  f.text[F::Video] = "old";
  f.text[F::NextAudio] = "64";
  try {
    CalcBitrate(f);
    FAIL();
  } catch (const EInvalidOp& e) {
    EXPECT_EQ(e.Message(), test::Sjis("不正な浮動小数点数演算命令"));
  }
  EXPECT_EQ(f.text[F::Video], "old");
  EXPECT_EQ(f.text[F::NextAudio], "64");
}

struct ReCalcCase {
  const char* nextAudio;
  const char* nowVideo;
  const char* nowSize;
  const char* nextVideo;
};

TEST(ReCalcBitrate, WorkedExamples) {
  const ReCalcCase cases[] = {
      {"128", "700", "700", "700"},
      {"128", "668", "700", "668"},
      {"96", "700", "750", "675"},
      {"64", "800", "600", "1056"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nextVideo);
    Fields f;
    f.text[F::NextAudio] = c.nextAudio;
    f.text[F::NowVideo] = c.nowVideo;
    f.text[F::NowSize] = c.nowSize;
    ReCalcBitrate(f);
    EXPECT_EQ(f.text[F::NextVideo], c.nextVideo);
    EXPECT_EQ(f.text[F::NowAudio], c.nextAudio);
  }
}

TEST(ReCalcBitrate, FollowsTheFirstCalculation) {
  Fields f;
  CalcBitrate(f);
  ReCalcBitrate(f);
  EXPECT_EQ(f.text[F::NextVideo], "668");
}

TEST(ReCalcBitrate, ReadsAndWritesInOrder) {
  Fields f;
  ReCalcBitrate(f);
  const std::vector<std::string> expected = {"r2", "r0", "r6", "r0", "r4", "r1", "r5", "w7=700", "r6", "w2=128"};
  EXPECT_EQ(f.log, expected);
}

TEST(ReCalcBitrate, AudioSizeEqualToTheFileSize) {
  Fields f;
  f.text[F::Time] = "128";
  f.text[F::NowSize] = "120";
  f.text[F::NextAudio] = "96";
  ReCalcBitrate(f);
  EXPECT_EQ(f.text[F::NextVideo], "---");
  EXPECT_EQ(f.text[F::NowAudio], "96");

  Fields g;
  g.text[F::Time] = "128";
  g.text[F::NowSize] = "120";
  g.text[F::NowVideo] = "0";
  g.text[F::NextVideo] = "prev";
  g.text[F::NextAudio] = "96";
  EXPECT_THROW(ReCalcBitrate(g), EInvalidOp);
  EXPECT_EQ(g.text[F::NextVideo], "prev");
  EXPECT_EQ(g.text[F::NowAudio], "128");
}

TEST(ReCalcBitrate, AudioProductWrapsWithoutError) {
  Fields f;
  f.text[F::NowAudio] = "65536";
  f.text[F::Time] = "65536";
  f.text[F::NextAudio] = "0";
  ReCalcBitrate(f);
  // Both audio sizes count as 0 MB: 700 × 700 / 700.
  EXPECT_EQ(f.text[F::NextVideo], "700");
}

TEST(ReCalcBitrate, RejectedTextShowsErrAndQuotientBeyond64BitsEscapes) {
  Fields f;
  f.text[F::NowSize] = "x";
  ReCalcBitrate(f);
  EXPECT_EQ(f.text[F::NextVideo], "ERR");
  EXPECT_EQ(f.text[F::NowAudio], "128");

  // D = 1/2048 MB with a huge N: the quotient leaves the 64-bit range.
  Fields g;
  g.text[F::NowAudio] = "1";
  g.text[F::Time] = "136533";  // 136533 × 15/2048 = 999.99755859375
  g.text[F::NowSize] = "1000";
  g.text[F::NowVideo] = "2147483647";
  g.text[F::NextSize] = "2147483647";
  g.text[F::NextAudio] = "0";
  EXPECT_THROW(ReCalcBitrate(g), EInvalidOp);
}

}  // namespace
}  // namespace tw
