// Off Windows the header code page is UTF-8; bad input is replaced, never fatal.
#include <gtest/gtest.h>

#include "net/codepage.h"

namespace {

TEST(CodepageUtf8Test, ChineseRoundTrips) {
  const std::u16string text = u"提示 \U0001F600";
  const std::string utf8 = Utf16ToAnsi(text);
  EXPECT_EQ(utf8, "\xE6\x8F\x90\xE7\xA4\xBA \xF0\x9F\x98\x80");
  EXPECT_EQ(AnsiToUtf16(utf8), text);
}

TEST(CodepageUtf8Test, LoneSurrogatesBecomeReplacement) {
  EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToAnsi(std::u16string{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToAnsi(std::u16string{char16_t(0xD800), u'a'}), "\xEF\xBF\xBD" "a");
}

TEST(CodepageUtf8Test, MalformedBytesBecomeReplacement) {
  EXPECT_EQ(AnsiToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(AnsiToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");          // overlong lead byte
  EXPECT_EQ(AnsiToUtf16("\xE0\x80\xAF"), u"\uFFFD");            // overlong three-byte form
  EXPECT_EQ(AnsiToUtf16("\xED\xA0\x80"), u"\uFFFD");            // encoded surrogate
  EXPECT_EQ(AnsiToUtf16("\xE6\x8F"), u"\uFFFD");                // cut short at the end
  EXPECT_EQ(AnsiToUtf16("\xE6\x8F" "a"), u"\uFFFD" "a");        // cut short before ASCII
  EXPECT_EQ(AnsiToUtf16("\xF4\x90\x80\x80"), u"\uFFFD");        // beyond U+10FFFF
  EXPECT_EQ(AnsiToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

}  // namespace
