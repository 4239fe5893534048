#include "runtime/Convert.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

struct Accepted {
  const char* text;
  std::int32_t value;
};

TEST(ParseInteger, AcceptsDecimalAndHexadecimalForms) {
  const Accepted cases[] = {
      {"120", 120},
      {"   120", 120},
      {"+5", 5},
      {"-5", -5},
      {"007", 7},
      {"0", 0},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$7F", 127},
      {"x7F", 127},
      {"X7f", 127},
      {"0x7F", 127},
      {"0X7F", 127},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"0x7fffffff", 2147483647},
      {"$0000000012", 18},
      {"$80", 128},
      {"  $10", 16},
      {"0009", 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInteger(c.text), c.value);
    EXPECT_EQ(ParseIntegerOr(c.text, 99), c.value);
  }
}

TEST(ParseInteger, RejectsEverythingElseQuotingTheWholeText) {
  const char* cases[] = {"",    " ",          "120 ",        "1 20",        "--5",        "+-5",  "+",
                         "-",   "2147483648", "-2147483649", "99999999999", "$100000000", "-$10", "-0x10",
                         "$",   "x",          "0x",          "$1G",         "1.0",        "1e3",  "\t120",
                         "12a", "0x-1",       "+ 5",         "5-",          "4294967296", "0b1"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseIntegerOr(text, 99), 99);
    try {
      ParseInteger(text);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + std::string(text) + test::Sjis("' は整数ではありません"));
    }
  }
}

TEST(ParseInteger, DoubleByteCharactersAreNeitherDigitsNorBlanks) {
  const std::string fullWidthDigits = test::Sjis("１２０");
  const std::string fullWidthBlank = test::Sjis("　") + "120";
  for (const std::string& text : {fullWidthDigits, fullWidthBlank}) {
    EXPECT_FALSE(ScanInteger(text).has_value());
    try {
      ParseInteger(text);
      ADD_FAILURE();
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + text + test::Sjis("' は整数ではありません"));
    }
  }
  EXPECT_THROW(ParseInteger(" 12a"), EConvertError);
  try {
    ParseInteger(" 12a");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), test::Sjis("' 12a' は整数ではありません"));
  }
}

TEST(IntegerToText, IsPlainDecimalAndMatchesTheFormatter) {
  const std::int32_t values[] = {-126, 0, 7, 2147483647, INT32_MIN, -1, 1000000};
  const char* texts[] = {"-126", "0", "7", "2147483647", "-2147483648", "-1", "1000000"};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(IntegerToText(values[i]), texts[i]);
    EXPECT_EQ(IntegerToText(values[i]), FormatText("%d", {values[i]}));
    EXPECT_EQ(ParseInteger(IntegerToText(values[i])), values[i]);
  }
}

}  // namespace
}  // namespace tw
