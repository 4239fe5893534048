#include "runtime/Format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

struct Case {
  std::string format;
  std::vector<FormatArg> args;
  std::string expected;
};

void ExpectFormats(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatText(c.format, FormatArgs(c.args)), c.expected);
  }
}

const void* Address(std::uintptr_t value) { return reinterpret_cast<const void*>(value); }

TEST(FormatText, IntegerDirectives) {
  ExpectFormats({
      {"%d", {INT32_MIN}, "-2147483648"},
      {"%d", {std::int64_t{INT64_MIN}}, "-9223372036854775808"},
      {"%u", {-1}, "4294967295"},
      {"%u", {std::int64_t{-1}}, "18446744073709551615"},
      {"%x", {255}, "FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%X", {std::int64_t{-2}}, "FFFFFFFFFFFFFFFE"},
      {"%.4x", {255}, "00FF"},
      {"%.5d", {-12}, "-00012"},
      {"%.3u", {7}, "007"},
      {"%.0d", {0}, "0"},
      {"%.16d", {1}, "0000000000000001"},
      {"%.17d", {1}, "1"},  // beyond sixteen no zeros are added
      {"%.2d", {12345}, "12345"},
      {"%D|%U|%X", {-5, 5, 10}, "-5|5|A"},
  });
}

TEST(FormatText, PointerIsEightUpperCaseHexDigits) {
  ExpectFormats({
      {"%p", {Address(0)}, "00000000"},
      {"%P", {Address(0x1234abcd)}, "1234ABCD"},
      {"%.2p", {Address(0xff)}, "000000FF"},
      {"%10p|%-10p|", {Address(1), Address(2)}, "  00000001|00000002  |"},
  });
  if constexpr (sizeof(void*) == 8) {
    // Only the low 32 bits, so that both builds write the same text.
    const auto wide = static_cast<std::uintptr_t>(0x12345678ABCDEF01ull);
    EXPECT_EQ(FormatText("%p", {Address(wide)}), "ABCDEF01");
  }
}

TEST(FormatText, WidthPadsAndNeverCuts) {
  ExpectFormats({
      {"%5d", {42}, "   42"},
      {"%-5d|", {42}, "42   |"},
      {"%1d", {1234}, "1234"},
      {"%5s|%-4s|", {"ab", "c"}, "   ab|c   |"},
      {"%2s", {"abcdef"}, "abcdef"},
      {"%8.3d", {-7}, "    -007"},
  });
}

TEST(FormatText, StarTakesTheNextIntegerArgument) {
  ExpectFormats({
      {"%*d", {4, 7}, "   7"},
      {"%-*d|", {3, 7}, "7  |"},
      {"%.*d", {3, 7}, "007"},
      {"%*.*d", {5, 3, 7}, "  007"},
      {"%.*s", {2, "abc"}, "ab"},
      // Not an integer: counts as 0, but the argument is still used up.
      {"%*d", {"x", 7}, "7"},
      {"%*d", {std::int64_t{9}, 7}, "7"},
      // Negative values: no padding, and no precision.
      {"%*d|", {-5, 7}, "7|"},
      {"%.*s", {-1, "abc"}, "abc"},
      {"%*:s", {2, "a", "b"}, "b"},
  });
}

TEST(FormatText, TextArguments) {
  const char16_t* nullWide = nullptr;
  const char* nullText = nullptr;
  ExpectFormats({
      {"%s", {"abc"}, "abc"},
      {"%.2s", {"abc"}, "ab"},
      {"%.0s|", {"abc"}, "|"},
      {"%.9s", {"abc"}, "abc"},
      {"%s%S", {'z', 'Y'}, "zY"},
      {"%s", {FormatArg::ShortText("short")}, "short"},
      {"[%s]", {nullText}, "[]"},
      {"[%s]", {nullWide}, "[]"},
      {"%s", {u"wide"}, "wide"},
      {"%s", {std::u16string_view(u"view")}, "view"},
      {"%s", {FormatArg::VariantText("var")}, "var"},
      {"[%s]", {FormatArg::VariantEmpty()}, "[]"},
      {"%s", {std::string_view("a\0b", 3)}, std::string("a\0b", 3)},
  });
  // Wide text is converted to the system code page.
  EXPECT_EQ(FormatText("%s", {u"日本語"}), test::Sjis("日本語"));
  EXPECT_EQ(FormatText("<%s>", {std::u16string_view(u"計算x")}), "<" + test::Sjis("計算x") + ">");
}

TEST(FormatText, ArgumentIndexes) {
  ExpectFormats({
      {"%1:s %0:s", {"a", "b"}, "b a"},
      {"%1:s %s", {"a", "b", "c"}, "b c"},
      {"%s %0:s %s", {"a", "b"}, "a a b"},
      {"%:s", {"a"}, "a"},
      // A "-" before the index is forgotten; one after it counts.
      {"%-1:3s|", {"a", "b"}, "  b|"},
      {"%1:-3s|", {"a", "b"}, "b  |"},
      {"%2:1:s", {"a", "b", "c"}, "b"},
  });
}

TEST(FormatText, LiteralsAndFormatsEndingInsideADirective) {
  ExpectFormats({
      {"100%%", {}, "100%"},
      {"%%d", {}, "%d"},
      {"abc%", {}, "abc"},
      {"%-", {}, ""},
      {"ab%5", {1}, "ab"},
      {"ab%1:", {1, 2}, "ab"},
      {"ab%.", {1}, "ab"},
      {"ab%.*", {1, 2}, "ab"},
      {"ab%*", {}, "ab"},
      {"", {}, ""},
      {std::string("a\0b", 3), {}, std::string("a\0b", 3)},
  });
}

TEST(FormatText, FloatingPointDirectives) {
  const long double inf = std::numeric_limits<long double>::infinity();
  ExpectFormats({
      {"%f", {1.0}, "1.00"},
      {"%.2f", {3.14159}, "3.14"},
      {"%.0f", {2.7}, "3"},
      {"%f", {-0.001}, "0.00"},
      {"%.20f", {1.5}, "1.50"},  // beyond eighteen: the default
      {"%6.1f|%-6.1f|", {2.3, 2.3}, "   2.3|2.3   |"},
      {"%.18f", {1.0L / 3}, "0.333333333333333333"},
      {"%.18f", {100.0L / 3}, "33.333333333333333300"},  // eighteen significant digits
      {"%f", {1e18}, "1E+018"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%n", {-1234.5}, "-1,234.50"},
      {"%N", {999.999}, "1,000.00"},
      {"%.0n", {123.0}, "123"},
      {"%m", {1234567.6}, "1,234,568"},
      {"%m", {-1234.7}, "-1,235"},
      {"%.2m", {FormatArg::Currency(12345678)}, "1,234.57"},
      {"%m", {FormatArg::Currency(INT64_MAX)}, "922,337,203,685,478"},
      {"%f", {FormatArg::Currency(-15000)}, "-1.50"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {-0.000123456}, "-1.23E-004"},
      {"%.0e", {1234.5}, "1E+003"},
      {"%e", {0.0}, "0.00000000000000E+000"},
      {"%g", {1.5}, "1.5"},
      {"%g", {0.0}, "0"},
      {"%g", {1e20}, "1E+020"},
      {"%g", {0.0001}, "0.0001"},
      {"%g", {0.00001}, "0.00001"},  // the smallest power of ten without an exponent
      {"%g", {1e-6}, "1E-006"},
      {"%g", {123456789012345678.0L}, "1.23456789012346E+017"},
      {"%.3g", {1234.0}, "1.23E+003"},
      {"%.3g", {-123.0}, "-123"},
      {"%G", {100.0}, "100"},
      {"%f|%g|%e", {inf, -inf, std::numeric_limits<long double>::quiet_NaN()}, "INF|-INF|NAN"},
  });
}

std::string InvalidMessage(const std::string& quote) {
  return test::Sjis("書式文字列 '") + quote + test::Sjis("' は正しくないか引数の型と一致しません");
}
std::string MissingMessage(const std::string& quote) {
  return test::Sjis("書式文字列 '") + quote + test::Sjis("' の引数が見つかりません");
}

void ExpectError(const std::string& format, const std::vector<FormatArg>& args, const std::string& message) {
  try {
    std::string text = FormatText(format, FormatArgs(args));
    ADD_FAILURE() << "formatted to \"" << text << '"';
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(FormatText, ArgumentKindsThatTheTypeDoesNotAcceptAreInvalid) {
  struct Bad {
    std::string format;
    FormatArg arg;
  };
  const Bad cases[] = {
      {"%d", {"text"}},
      {"%u", {1.5}},
      {"%x", {'c'}},
      {"%d", {true}},
      {"%d", {FormatArg::Currency(1)}},
      {"%s", {5}},
      {"%s", {std::int64_t{5}}},
      {"%s", {u'w'}},
      {"%s", {Address(1)}},
      {"%s", {static_cast<const TObject*>(nullptr)}},
      {"%p", {5}},
      {"%p", {static_cast<const TClassInfo*>(nullptr)}},
      {"%p", {FormatArg::Interface(nullptr)}},
      {"%f", {5}},
      {"%e", {"1.5"}},
      {"%m", {false}},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.format + " with kind " + std::to_string(static_cast<int>(c.arg.kind)));
    ExpectError(c.format, {c.arg}, InvalidMessage(c.format));
  }
}

TEST(FormatText, ErrorsQuoteTheDirective) {
  const std::string a = test::Sjis("あ");  // a double-byte character
  ASSERT_EQ(a.size(), 2u);
  const std::string digits28(28, '0');
  struct ErrorCase {
    std::string format;
    std::vector<FormatArg> args;
    std::string message;
  };
  const ErrorCase cases[] = {
      {"%d %d", {1}, MissingMessage("%d")},
      {"x%y", {1}, InvalidMessage("%y")},
      {"%y", {}, MissingMessage("%y")},  // the argument is looked up first
      {"%dabc", {"t"}, InvalidMessage("%d")},
      {"ok %-1:-12.*xz", {1, 2}, MissingMessage("%-1:-12.*x")},
      {"%5:d", {1, 2}, MissingMessage("%5:d")},
      {"%*:d", {-1}, MissingMessage("%*:d")},
      {"%99999999999:d", {1}, MissingMessage("%99999999999:d")},
      {"%" + std::string(40, '1') + "d", {1.0}, InvalidMessage("%" + std::string(30, '1'))},
      // A double-byte type character is quoted whole, or not at all when it
      // would be cut at the 31st byte.
      {"%" + a + "b", {1}, InvalidMessage("%" + a)},
      {"%" + digits28 + a, {1}, InvalidMessage("%" + digits28 + a)},
      {"%0" + digits28 + a, {1}, InvalidMessage("%0" + digits28)},
      {"%\x82", {1}, InvalidMessage("%")},  // a lead byte cut off by the end
      {"%%%" + a, {}, MissingMessage("%" + a)},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.format);
    ExpectError(c.format, c.args, c.message);
  }
}

TEST(FormatToBuffer, WritesAtMostTheBufferAndNoTerminator) {
  char buffer[16];
  const std::string format = "abc%5d|%s";
  const FormatArg args[] = {42, "tail"};
  struct Limit {
    std::size_t length;
    std::string expected;
  };
  const Limit limits[] = {{0, ""}, {1, "a"}, {6, "abc   "}, {13, "abc   42|tail"}, {16, "abc   42|tail"}};
  for (const Limit& l : limits) {
    SCOPED_TRACE(l.length);
    std::memset(buffer, '#', sizeof buffer);
    std::size_t n = FormatToBuffer(buffer, l.length, format.data(), format.size(), args);
    EXPECT_EQ(std::string(buffer, n), l.expected);
    EXPECT_EQ(std::string(buffer + n, sizeof buffer - n), std::string(sizeof buffer - n, '#'));
  }
  // The format's length counts, not a terminator.
  EXPECT_EQ(FormatToBuffer(buffer, sizeof buffer, "abcdef", 3, {}), 3u);
}

TEST(FormatToBuffer, HugeWidthFillsOnlyTheBuffer) {
  char buffer[8];
  const FormatArg args[] = {1};
  const char* format = "%2000000000d";
  EXPECT_EQ(FormatToBuffer(buffer, sizeof buffer, format, std::strlen(format), args), 8u);
  EXPECT_EQ(std::string(buffer, 8), std::string(8, ' '));
}

TEST(FormatToBuffer, ErrorsAfterAFullBufferStillRaise) {
  char buffer[2];
  const char* format = "abcdef%d";
  EXPECT_THROW(FormatToBuffer(buffer, sizeof buffer, format, std::strlen(format), {}), EConvertError);
}

TEST(FormatText, OutputLongerThanTheWorkBuffer) {
  for (int width : {4096, 4097, 4098, 8195, 8196, 100000}) {
    SCOPED_TRACE(width);
    std::string text = FormatText("%*s|", {width, "x"});
    ASSERT_EQ(text.size(), static_cast<std::size_t>(width) + 1);
    EXPECT_EQ(text, std::string(static_cast<std::size_t>(width) - 1, ' ') + "x|");
  }
  EXPECT_EQ(FormatText(std::string(10000, 'q'), {}), std::string(10000, 'q'));
}

TEST(FormatText, LongFormats) {
  // At and beyond the length where the work buffer is skipped.
  for (std::size_t length : {3073u, 3074u, 5000u}) {
    SCOPED_TRACE(length);
    const std::string format = std::string(length - 2, '.') + "%d";
    EXPECT_EQ(FormatText(format, {7}), std::string(length - 2, '.') + "7");
  }
  // A long format whose text grows past twice its length.
  std::string format;
  std::string expected;
  for (int i = 0; i < 800; ++i) {
    format += "%0:s";
    expected += "twenty characters...";
  }
  EXPECT_EQ(FormatText(format, {"twenty characters..."}), expected);
  EXPECT_EQ(FormatText(std::string(4000, '%'), {}), std::string(2000, '%'));
}

}  // namespace
}  // namespace tw
