#include <gtest/gtest.h>

#include <string>

#include "runtime/Platform.h"

namespace tw::platform {
namespace {

// What every build agrees on: ASCII passes both ways, and a byte or unit that
// cannot be a whole character becomes one "?" without swallowing its neighbour.
TEST(CodePage, AsciiAndBrokenSequences) {
  EXPECT_EQ(WideToAnsi(u"abc 123\n"), "abc 123\n");
  EXPECT_EQ(AnsiToWide("abc 123\n"), u"abc 123\n");
  EXPECT_EQ(WideToAnsi(u""), "");
  EXPECT_EQ(AnsiToWide(""), u"");
  // A lone surrogate, high or low, in the middle or at the end.
  EXPECT_EQ(WideToAnsi(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
  EXPECT_EQ(WideToAnsi(std::u16string(u"a") + char16_t(0xDC00)), "a?");
  EXPECT_EQ(WideToAnsi(std::u16string(u"a") + char16_t(0xD83D)), "a?");
  // A lead byte cut off at the end, or followed by a byte that cannot trail it.
  EXPECT_EQ(AnsiToWide("ab\x82"), u"ab?");
  EXPECT_EQ(AnsiToWide("\x82\n"), u"?\n");
  // A character outside every code page's reach (an emoji) is one "?".
  EXPECT_EQ(WideToAnsi(u"x\U0001F600y"), "x?y");
}

#ifdef __EMSCRIPTEN__
// The browser build converts nothing beyond ASCII: one "?" per character.
TEST(CodePage, BrowserBuildKeepsOnlyAscii) {
  EXPECT_EQ(WideToAnsi(u"日本語"), "???");
  EXPECT_EQ(WideToAnsi(u"é\U0001F600"), "??");
  // "日本" in code page 932: two double-byte characters, then half-width
  // katakana and bytes that start nothing, each one character.
  EXPECT_EQ(AnsiToWide("\x93\xFA\x96{x"), u"??x");
  EXPECT_EQ(AnsiToWide("\xB1\x80\xFD"), u"???");
  EXPECT_EQ(AnsiToWide("\x81\x7F"), u"?\x7F");
}
#else
TEST(CodePage, DoubleByteCharactersConvertBothWays) {
  EXPECT_EQ(WideToAnsi(u"日本語"), "\x93\xFA\x96{\x8C\xEA");
  EXPECT_EQ(AnsiToWide("\x93\xFA\x96{\x8C\xEA"), u"日本語");
  EXPECT_EQ(AnsiToWide("\xB1"), u"\uFF71");  // half-width katakana
}
#endif

}  // namespace
}  // namespace tw::platform
