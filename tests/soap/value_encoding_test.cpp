#include "soap/value_encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "soap/descriptors.h"

namespace {

// Counts stream calls and fails the call with index `failAt` (and refuses any after it).
class CCountingStream : public IWriteStream {
 public:
  explicit CCountingStream(size_t failAt = SIZE_MAX, HResult code = kE_FAIL) : m_failAt(failAt), m_code(code) {}
  HResult Write(const char* data, size_t length) override {
    const size_t index = calls++;
    if (index >= m_failAt) {
      if (index > m_failAt) ++callsAfterFailure;
      return m_code;
    }
    bytes.append(data, length);
    return kS_OK;
  }
  size_t calls = 0;
  size_t callsAfterFailure = 0;
  std::string bytes;

 private:
  size_t m_failAt;
  HResult m_code;
};

std::string Escaped(std::u16string_view text) {
  CStringWriteStream s;
  EXPECT_EQ(WriteEscapedString(text, &s), kS_OK);
  return s.Data();
}

std::string Utf8(std::u16string_view text) {
  CStringWriteStream s;
  EXPECT_EQ(WriteUtf8(text, &s), kS_OK);
  EXPECT_EQ(s.Data().size(), Utf8Length(text));
  return s.Data();
}

std::string Base64(const std::string& bytes) {
  CStringWriteStream s;
  EXPECT_EQ(WriteBase64(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &s), kS_OK);
  EXPECT_EQ(s.Data().size(), Base64TextLength(bytes.size()));
  return s.Data();
}

std::string Decoded(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadBase64(text, &bytes));
  EXPECT_EQ(bytes.size(), Base64DecodedSize(text));
  return std::string(bytes.begin(), bytes.end());
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Bytes(size_t n) {
  std::string b(n, '\0');
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i);
  return b;
}

// Plain base64 without line breaks, written independently of the encoder under test.
std::string PlainBase64(const std::string& in) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
    out += {a[v >> 18], a[v >> 12 & 63], a[v >> 6 & 63], a[v & 63]};
  }
  if (in.size() - i == 1) {
    unsigned v = (unsigned char)in[i] << 16;
    out += {a[v >> 18], a[v >> 12 & 63], '=', '='};
  } else if (in.size() - i == 2) {
    unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
    out += {a[v >> 18], a[v >> 12 & 63], a[v >> 6 & 63], '='};
  }
  return out;
}

// The line rule: CR LF after every 76 characters of whole groups; the padded group follows.
std::string WithLineBreaks(const std::string& plain, size_t byteCount) {
  const size_t whole = byteCount / 3 * 4;
  std::string out;
  for (size_t i = 0; i < whole; i += 76) {
    out += plain.substr(i, std::min<size_t>(76, whole - i));
    if (whole - i >= 76) out += "\r\n";
  }
  return out + plain.substr(whole);
}

// ---- Escaping and UTF-8

TEST(ValueEscape, EveryRowOfTheEscapeTable) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"a<b&c>d", "a&lt;b&amp;c&gt;d"},
      {u"say \"it's\" ok", "say \"it's\" ok"},  // quotes and apostrophes unchanged
      {u"", ""},
      {u" ~", " ~"},  // the printable ASCII bounds
      {u"\x1F\x7F", "&#x001F;&#x007F;"},
      {std::u16string(1, u'\0'), "&#x0000;"},
      {u"a\tb", "a&#x0009;b"},
      {u"\r\n", "&#x000D;&#x000A;"},
      {u"\u00E9\u4E2D\uFFFF", "&#x00E9;&#x4E2D;&#xFFFF;"},
      {u"\U0001F600", "&#x01F600;"},  // a pair is one six-digit reference
      {u"x\U00010000\U0010FFFF", "x&#x010000;&#x10FFFF;"},
      {std::u16string{0xD83D}, "&#xD83D;"},  // lone surrogates: their own value
      {std::u16string{0xD83D, u'a'}, "&#xD83D;a"},
      {std::u16string{0xDE00, 0xD83D}, "&#xDE00;&#xD83D;"},  // low before high is no pair
      {std::u16string{0xD83D, 0xD83D, 0xDE00}, "&#xD83D;&#x01F600;"},
  };
  for (const auto& c : cases) EXPECT_EQ(Escaped(c.first), c.second) << c.second;
}

TEST(ValueEscape, LongTextCrossesBlocksIntact) {
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    text += u"\u4E2D&a\U0001F600";
    expected += "&#x4E2D;&amp;a&#x01F600;";
  }
  EXPECT_EQ(Escaped(text), expected);
}

TEST(ValueEscape, FailingStreamStopsAtFirstFailure) {
  std::u16string text(20000, u'\u4E2D');  // 160000 bytes of output
  CCountingStream s(1, kE_OUTOFMEMORY);
  EXPECT_EQ(WriteEscapedString(text, &s), kE_OUTOFMEMORY);
  EXPECT_EQ(s.calls, 2u);
  EXPECT_EQ(s.callsAfterFailure, 0u);
  EXPECT_EQ(WriteEscapedString(u"x", nullptr), kE_POINTER);
}

TEST(Utf8, RangesPairsAndLoneSurrogates) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"A\u007F\u0080", "A\x7F\xC2\x80"},
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {u"\u4E2D\uFFFF", "\xE4\xB8\xAD\xEF\xBF\xBF"},
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {std::u16string{0xD800}, "\xED\xA0\x80"},
      {std::u16string{0xDC00, u'a'}, "\xED\xB0\x80" "a"},
      {std::u16string{0xDC00, 0xD800}, "\xED\xB0\x80\xED\xA0\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8(c.first), c.second);
}

// ---- Simple values

TEST(ValueWrite, BooleanIsTrueOnlyForOne) {
  for (int b : {0, 1, 2, 255}) {
    CStringWriteStream s;
    ASSERT_EQ(WriteBoolean(static_cast<uint8_t>(b), &s), kS_OK);
    EXPECT_EQ(s.Data(), b == 1 ? "true" : "false") << b;
  }
}

TEST(ValueWrite, IntDecimal) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "0"}, {7, "7"}, {-1, "-1"}, {100, "100"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (const auto& c : cases) {
    CStringWriteStream s;
    ASSERT_EQ(WriteInt(c.first, &s), kS_OK);
    EXPECT_EQ(s.Data(), c.second);
  }
}

TEST(ValueWrite, HexBinaryUpperCase) {
  const uint8_t bytes[] = {0x00, 0xAB, 0x0F, 0xF0, 0x9c};
  CStringWriteStream s;
  ASSERT_EQ(WriteHexBinary(bytes, sizeof(bytes), &s), kS_OK);
  EXPECT_EQ(s.Data(), "00AB0FF09C");
  CStringWriteStream empty;
  EXPECT_EQ(WriteHexBinary(nullptr, 0, &empty), kS_OK);
  EXPECT_EQ(empty.Data(), "");
}

std::string FloatText(double v) {
  CStringWriteStream s;
  EXPECT_EQ(WriteDouble(v, &s), kS_OK);
  return s.Data();
}

TEST(ValueWrite, DoubleSpecialValues) {
  EXPECT_EQ(FloatText(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(FloatText(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(FloatText(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(FloatText(-0.0), "-0");
  EXPECT_EQ(FloatText(0.0), "0");
}

TEST(ValueWrite, DoubleShortestForm) {
  EXPECT_EQ(FloatText(1.0), "1");
  EXPECT_EQ(FloatText(1.5), "1.5");
  EXPECT_EQ(FloatText(-2500.0), "-2500");
  EXPECT_EQ(FloatText(0.1), "0.1");
  EXPECT_EQ(FloatText(1e22), "1e+22");
  EXPECT_EQ(FloatText(1e-7), "1e-07");
  EXPECT_EQ(FloatText(123456.0), "123456");
  CStringWriteStream s;
  ASSERT_EQ(WriteFloat(0.1f, &s), kS_OK);
  EXPECT_EQ(s.Data(), "0.1");
}

TEST(ValueWrite, DoubleRoundTripsBitForBit) {
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    double v;
    std::memcpy(&v, &state, sizeof(v));
    if (!std::isfinite(v)) continue;
    const std::string text = FloatText(v);
    double back = 0;
    ASSERT_TRUE(ReadDouble(Widen(text), &back)) << text;
    ASSERT_EQ(std::memcmp(&v, &back, sizeof(v)), 0) << text;
    float f;
    uint32_t fbits = static_cast<uint32_t>(state >> 32);
    std::memcpy(&f, &fbits, sizeof(f));
    if (!std::isfinite(f)) continue;
    CStringWriteStream s;
    ASSERT_EQ(WriteFloat(f, &s), kS_OK);
    float fback = 0;
    ASSERT_TRUE(ReadFloat(Widen(s.Data()), &fback)) << s.Data();
    ASSERT_EQ(std::memcmp(&f, &fback, sizeof(f)), 0) << s.Data();
  }
}

// ---- Base64 writing

TEST(Base64Write, SmallSizes) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("a"), "YQ==");
  EXPECT_EQ(Base64("ab"), "YWI=");
  EXPECT_EQ(Base64("abc"), "YWJj");
  EXPECT_EQ(Base64(std::string("\xFF\xFE\x00", 3)), "//4A");
}

const char kLine0To56[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4";

TEST(Base64Write, FullLineIsFollowedByCrLf) {
  EXPECT_EQ(Base64(Bytes(57)), std::string(kLine0To56) + "\r\n");
}

TEST(Base64Write, PaddedGroupAfterTheCrLfOfAFullLine) {
  EXPECT_EQ(Base64(Bytes(58)), std::string(kLine0To56) + "\r\nOQ==");
  EXPECT_EQ(Base64(Bytes(59)), std::string(kLine0To56) + "\r\nOTo=");
}

TEST(Base64Write, ShortLastLineHasNoCrLf) {
  EXPECT_EQ(Base64(Bytes(60)), std::string(kLine0To56) + "\r\nOTo7");
  EXPECT_EQ(Base64(Bytes(56)), std::string(kLine0To56).substr(0, 72) + "Njc=");
}

TEST(Base64Write, MatchesLineRuleForEverySizeUpTo400) {
  for (size_t n = 0; n <= 400; ++n) {
    std::string in = Bytes(n);
    for (size_t i = 0; i < n; ++i) in[i] = static_cast<char>(i * 37 + n);
    ASSERT_EQ(Base64(in), WithLineBreaks(PlainBase64(in), n)) << n;
  }
}

TEST(Base64Write, UploadPieceInFewBlockWrites) {
  std::string piece(250000, '\0');
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i * 131 >> 3);
  CCountingStream s;
  ASSERT_EQ(WriteBase64(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), &s), kS_OK);
  EXPECT_EQ(s.bytes.size(), Base64TextLength(piece.size()));
  EXPECT_EQ(s.bytes.size(), 333336u + 2 * (83333u / 19));
  EXPECT_LE(s.calls, 64u);  // block writes, never one call per character
  EXPECT_EQ(Decoded(Widen(s.bytes)), piece);
}

TEST(Base64Write, FailingStreamStopsAtFirstFailure) {
  std::string piece(100000, 'x');
  CCountingStream s(2, static_cast<HResult>(0x80070070u));
  EXPECT_EQ(WriteBase64(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), &s),
            static_cast<HResult>(0x80070070u));
  EXPECT_EQ(s.calls, 3u);
  EXPECT_EQ(s.callsAfterFailure, 0u);
  CStringWriteStream ok;
  EXPECT_EQ(WriteBase64(nullptr, 3, &ok), kE_POINTER);
  EXPECT_EQ(WriteBase64(nullptr, 0, &ok), kS_OK);
}

// ---- Base64 reading

TEST(Base64Read, WholeGroups) {
  EXPECT_EQ(Decoded(u"YWJj"), "abc");
  EXPECT_EQ(Decoded(u""), "");
  EXPECT_EQ(Decoded(u"//4A"), std::string("\xFF\xFE\x00", 3));
}

TEST(Base64Read, SkipsLineBreaksBlanksAndPadding) {
  EXPECT_EQ(Decoded(u"YW\r\nJj"), "abc");
  EXPECT_EQ(Decoded(u" Y W\tJ j "), "abc");
  EXPECT_EQ(Decoded(u"=Y=W=J=j="), "abc");
  EXPECT_EQ(Decoded(u"YW\u4E2DJ*j"), "abc");
  EXPECT_EQ(Decoded(Widen(std::string(kLine0To56) + "\r\nOQ==")), Bytes(58));
}

TEST(Base64Read, FinalPartialGroups) {
  EXPECT_EQ(Decoded(u"YQ=="), "a");
  EXPECT_EQ(Decoded(u"YQ"), "a");
  EXPECT_EQ(Decoded(u"YWI="), "ab");
  EXPECT_EQ(Decoded(u"YWI"), "ab");
  EXPECT_EQ(Decoded(u"YWJjYQ"), "abca");
  // One character carries no whole byte.
  EXPECT_EQ(Decoded(u"Y"), "");
  EXPECT_EQ(Decoded(u"YWJjY"), "abc");
}

TEST(Base64Read, StopsAtNul) {
  const std::u16string text{u'Y', u'W', u'J', u'j', 0, u'Y', u'W', u'J', u'j'};
  EXPECT_EQ(Decoded(text), "abc");
  EXPECT_EQ(Decoded(std::u16string{u'Y', u'Q', 0, u'Y'}), "a");
}

TEST(Base64Read, DecodeMatchesSize) {
  const std::u16string text = u"YWJjZGVm\r\nZ2g=";
  ASSERT_EQ(Base64DecodedSize(text), 8u);
  uint8_t out[8];
  EXPECT_EQ(DecodeBase64(text, out), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), "abcdefgh");
  EXPECT_EQ(DecodeBase64(text, nullptr), 0u);
}

// ---- Boolean and int reading

TEST(BooleanRead, ExactWordsOnly) {
  const std::pair<const char16_t*, bool> good[] = {{u"true", true}, {u"1", true}, {u"false", false}, {u"0", false}};
  for (const auto& c : good) {
    bool v = !c.second;
    EXPECT_TRUE(ReadBoolean(c.first, &v));
    EXPECT_EQ(v, c.second);
  }
  for (const char16_t* bad : {u" true", u"true ", u"TRUE", u"True", u"", u"2", u"01", u"yes", u"t", u" 1"}) {
    bool v = true;
    EXPECT_FALSE(ReadBoolean(bad, &v));
    EXPECT_TRUE(v) << "value changed on failure";
  }
  bool v = false;
  EXPECT_FALSE(ReadBoolean(std::u16string{u't', u'r', u'u', u'e', 0}, &v));
}

TEST(IntRead, AcceptedForms) {
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u" 42 ", 42},  {u"\t\r\n-7\n", -7}, {u"+5", 5}, {u"-0", 0}, {u"0000000000000000000042", 42},
      {u"", 0},       {u"  ", 0},  // white space only reads as 0
      {u"2147483647", 2147483647}, {u"-2147483648", INT32_MIN}};
  for (const auto& c : cases) {
    int32_t v = -1;
    EXPECT_TRUE(ReadInt(c.first, &v));
    EXPECT_EQ(v, c.second);
  }
}

TEST(IntRead, OverflowAndAnythingElseRejected) {
  int32_t v = 9;
  for (const char16_t* bad : {u"2147483648", u"-2147483649", u"99999999999999999999999999", u"4 2", u"-", u"+",
                              u" - 5", u"--5", u"0x10", u"42a", u"1.0", u"1e3", u"\uFF14\uFF12", u"\u00A042"}) {
    EXPECT_FALSE(ReadInt(bad, &v)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
  EXPECT_FALSE(ReadInt(std::u16string{u'4', 0}, &v));
  EXPECT_EQ(v, 9);
}

// ---- Float and double reading

TEST(DoubleRead, SpecialWordsExactly) {
  double v = 0;
  EXPECT_TRUE(ReadDouble(u"INF", &v));
  EXPECT_TRUE(std::isinf(v) && v > 0);
  EXPECT_TRUE(ReadDouble(u"-INF", &v));
  EXPECT_TRUE(std::isinf(v) && v < 0);
  EXPECT_TRUE(ReadDouble(u"NaN", &v));
  EXPECT_TRUE(std::isnan(v));
  for (const char16_t* bad : {u" INF", u"inf", u"+INF", u"nan", u"Infinity", u"NaN "}) {
    EXPECT_FALSE(ReadDouble(bad, &v));
  }
}

TEST(DoubleRead, DecimalForms) {
  const std::pair<const char16_t*, double> cases[] = {
      {u"1.5", 1.5},     {u" 1.5 ", 1.5}, {u"-2.5e3", -2500}, {u"+1", 1},     {u"1.", 1},
      {u".5", 0.5},      {u"1E2", 100},   {u"1e+2", 100},     {u"7e-1", 0.7}, {u"\n0\t", 0},
      {u"1e308", 1e308}, {u"0e99999", 0}};
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_TRUE(ReadDouble(c.first, &v)) << std::string(c.first, c.first + std::char_traits<char16_t>::length(c.first));
    EXPECT_EQ(v, c.second);
  }
  double z = 1;
  EXPECT_TRUE(ReadDouble(u"-0", &z));
  EXPECT_TRUE(z == 0 && std::signbit(z));
}

TEST(DoubleRead, MalformedAndOutOfRangeRejected) {
  double v = 3;
  for (const char16_t* bad : {u"", u"  ", u".", u"-", u"1e", u"1e+", u"e5", u"0x1p3", u"1,5", u"1.5.", u"1 5",
                              u"1e400", u"-1e400", u"1e-400", u"--1", u"1d"}) {
    EXPECT_FALSE(ReadDouble(bad, &v)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
  EXPECT_EQ(v, 3);
}

TEST(FloatRead, RangeOfFloat) {
  float f = 0;
  EXPECT_TRUE(ReadFloat(u"3.4e38", &f));
  EXPECT_FALSE(ReadFloat(u"1e39", &f));
  EXPECT_FALSE(ReadFloat(u"1e-50", &f));
  EXPECT_TRUE(ReadFloat(u" 0.25 ", &f));
  EXPECT_EQ(f, 0.25f);
  EXPECT_TRUE(ReadFloat(u"-INF", &f));
  EXPECT_TRUE(std::isinf(f) && f < 0);
  double d = 0;
  EXPECT_TRUE(ReadDouble(u"1e39", &d));
}

// ---- Streams and the type table

TEST(StringWriteStream, AppendsAndRefusesImpossibleLengths) {
  CStringWriteStream s;
  EXPECT_EQ(s.Write("ab", 2), kS_OK);
  EXPECT_EQ(s.Write(nullptr, 0), kS_OK);
  EXPECT_EQ(s.Write("c", 1), kS_OK);
  EXPECT_EQ(s.Data(), "abc");
  EXPECT_EQ(s.Write(nullptr, 3), kE_POINTER);
  EXPECT_EQ(s.Write("x", SIZE_MAX), kE_OUTOFMEMORY);
  EXPECT_EQ(s.Data(), "abc");
  s.Clear();
  EXPECT_EQ(s.Data(), "");

  std::string target = "pre:";
  CStringAppendStream a(&target);
  EXPECT_EQ(WriteInt(-12, &a), kS_OK);
  EXPECT_EQ(a.Write("x", SIZE_MAX), kE_OUTOFMEMORY);
  EXPECT_EQ(target, "pre:-12");
}

TEST(XsdTypeNames, TableOrder) {
  EXPECT_STREQ(kXsdTypeNames[kXsdString], "string");
  EXPECT_STREQ(kXsdTypeNames[kXsdBoolean], "boolean");
  EXPECT_STREQ(kXsdTypeNames[kXsdFloat], "float");
  EXPECT_STREQ(kXsdTypeNames[kXsdHexBinary], "hexBinary");
  EXPECT_STREQ(kXsdTypeNames[kXsdBase64Binary], "base64Binary");
  EXPECT_STREQ(kXsdTypeNames[22], "NCName");
  EXPECT_STREQ(kXsdTypeNames[kXsdInt], "int");
  EXPECT_STREQ(kXsdTypeNames[35], "positiveInteger");
  EXPECT_STREQ(kXsdTypeNames[36], "dateTime");
  EXPECT_STREQ(kXsdTypeNames[43], "gDay");
  for (const char* name : kXsdTypeNames) EXPECT_NE(name, nullptr);
}

}  // namespace
