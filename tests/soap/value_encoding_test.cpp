// Value text on the wire: escaping, UTF-8, numbers, base64 with its line rule, and reading
// values back exactly (a failed read leaves the value untouched).
#include "soap/value_encoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/soap/soap_test_tables.h"

using soaptest::CFailingStream;

namespace {

template <typename Write>
std::string Written(Write write) {
  CStringWriteStream s;
  EXPECT_EQ(write(&s), kS_OK);
  return s.Data();
}

std::string Base64(const std::string& bytes) {
  std::string text = Written([&](IWriteStream* s) {
    return WriteBase64(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), s);
  });
  EXPECT_EQ(text.size(), Base64TextLength(bytes.size()));
  return text;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::string Ascii(std::u16string_view text) { return std::string(text.begin(), text.end()); }

std::string Bytes(size_t n, unsigned step = 1) {
  std::string b(n, '\0');
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i * step + n * (step != 1));
  return b;
}

TEST(ValueWrite, EscapedTextAndUtf8) {
  const std::pair<std::u16string, std::string> escaped[] = {
      {u"a<b&c>d", "a&lt;b&amp;c&gt;d"},
      {u"say \"it's\" ok ~", "say \"it's\" ok ~"},  // quotes and the printable ASCII bounds unchanged
      {u"", ""},
      {std::u16string{0, 0x1F, 0x7F, u'\t', u'\r', u'\n'}, "&#x0000;&#x001F;&#x007F;&#x0009;&#x000D;&#x000A;"},
      {u"\u00E9\u4E2D\uFFFF", "&#x00E9;&#x4E2D;&#xFFFF;"},
      {u"\U0001F600x\U00010000\U0010FFFF", "&#x01F600;x&#x010000;&#x10FFFF;"},  // a pair is one reference
      {std::u16string{0xD83D, u'a'}, "&#xD83D;a"},                              // lone surrogates: their value
      {std::u16string{0xDE00, 0xD83D, 0xD83D, 0xDE00}, "&#xDE00;&#xD83D;&#x01F600;"},
  };
  for (const auto& c : escaped)
    EXPECT_EQ(Written([&](IWriteStream* s) { return WriteEscapedString(c.first, s); }), c.second);
  // Long text crosses the writer's blocks intact.
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    text += u"\u4E2D&a\U0001F600";
    expected += "&#x4E2D;&amp;a&#x01F600;";
  }
  EXPECT_EQ(Written([&](IWriteStream* s) { return WriteEscapedString(text, s); }), expected);
  const std::pair<std::u16string, std::string> utf8[] = {
      {u"A\u007F\u0080\u07FF\u0800", "A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
      {u"\u4E2D\uFFFF\U0001F600\U0010FFFF", "\xE4\xB8\xAD\xEF\xBF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {std::u16string{0xDC00, u'a', 0xD800}, "\xED\xB0\x80" "a\xED\xA0\x80"},
  };
  for (const auto& c : utf8) {
    EXPECT_EQ(Written([&](IWriteStream* s) { return WriteUtf8(c.first, s); }), c.second);
    EXPECT_EQ(Utf8Length(c.first), c.second.size());
  }
}

TEST(ValueWrite, SimpleValuesAndDoublesThatReadBackBitForBit) {
  for (uint8_t b : {0, 1, 2, 255})  // true only for 1
    EXPECT_EQ(Written([b](IWriteStream* s) { return WriteBoolean(b, s); }), b == 1 ? "true" : "false");
  for (const auto& [v, text] : {std::pair<int32_t, const char*>{0, "0"}, {-1, "-1"}, {100, "100"},
                                {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}})
    EXPECT_EQ(Written([v = v](IWriteStream* s) { return WriteInt(v, s); }), text);
  const uint8_t bytes[] = {0x00, 0xAB, 0x0F, 0xF0, 0x9c};
  EXPECT_EQ(Written([&bytes](IWriteStream* s) { return WriteHexBinary(bytes, sizeof bytes, s); }), "00AB0FF09C");
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [v, text] : {std::pair<double, const char*>{std::nan(""), "NaN"}, {inf, "INF"}, {-inf, "-INF"},
                                {-0.0, "-0"}, {1.5, "1.5"}, {-2500.0, "-2500"}, {0.1, "0.1"}, {1e22, "1e+22"},
                                {1e-7, "1e-07"}, {123456.0, "123456"}})
    EXPECT_EQ(Written([v = v](IWriteStream* s) { return WriteDouble(v, s); }), text);
  EXPECT_EQ(Written([](IWriteStream* s) { return WriteFloat(0.1f, s); }), "0.1");
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    double v, back = 0;
    float f, fback = 0;
    const uint32_t high = static_cast<uint32_t>(state >> 32);
    std::memcpy(&v, &state, sizeof v);
    std::memcpy(&f, &high, sizeof f);
    if (std::isfinite(v)) {
      const std::string text = Written([v](IWriteStream* s) { return WriteDouble(v, s); });
      ASSERT_TRUE(ReadDouble(Widen(text), &back) && std::memcmp(&v, &back, sizeof v) == 0) << text;
    }
    if (std::isfinite(f)) {
      const std::string text = Written([f](IWriteStream* s) { return WriteFloat(f, s); });
      ASSERT_TRUE(ReadFloat(Widen(text), &fback) && std::memcmp(&f, &fback, sizeof f) == 0) << text;
    }
  }
}

// Base64 with the line rule, written independently of the encoder: CR LF after every 19 whole
// groups (76 characters); the padded group follows.
std::string ReferenceBase64(const std::string& in) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    const size_t n = std::min<size_t>(3, in.size() - i);
    unsigned v = 0;
    for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(in[i + k]) : 0u);
    out += {a[v >> 18], a[v >> 12 & 63], n > 1 ? a[v >> 6 & 63] : '=', n > 2 ? a[v & 63] : '='};
    if (n == 3 && (i / 3 + 1) % 19 == 0) out += "\r\n";
  }
  return out;
}

const char kLine0To56[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4";

TEST(Base64, LineBreakAfterEachFullLineOnly) {
  const std::string line = kLine0To56;
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {std::string("\xFF\xFE\x00", 3), "//4A"},
      {Bytes(56), line.substr(0, 72) + "Njc="},  // a short last line has no CR LF
      {Bytes(57), line + "\r\n"},                // a full line is followed by CR LF
      {Bytes(58), line + "\r\nOQ=="},            // the padded group after the CR LF of a full line
      {Bytes(59), line + "\r\nOTo="},
      {Bytes(60), line + "\r\nOTo7"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(Base64(bytes), text) << bytes.size();
  for (size_t n = 0; n <= 400; ++n) ASSERT_EQ(Base64(Bytes(n, 37)), ReferenceBase64(Bytes(n, 37))) << n;
  // An upload piece goes out in block writes, never one call per character.
  const std::string piece = Bytes(250000, 131);
  CFailingStream s;
  ASSERT_EQ(WriteBase64(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), &s), kS_OK);
  EXPECT_EQ(s.bytes.size(), 333336u + 2 * (83333u / 19));
  EXPECT_LE(s.calls, 64u);
  std::vector<uint8_t> back;
  ASSERT_TRUE(ReadBase64(Widen(s.bytes), &back));
  EXPECT_TRUE(std::string(back.begin(), back.end()) == piece);
}

TEST(ValueWrite, FailingStreamStopsAtTheFirstFailure) {
  CFailingStream escaped(1, kE_OUTOFMEMORY);
  EXPECT_EQ(WriteEscapedString(std::u16string(20000, u'\u4E2D'), &escaped), kE_OUTOFMEMORY);  // 160000 bytes
  EXPECT_EQ(escaped.calls, 2u);
  EXPECT_EQ(escaped.callsAfterFailure, 0u);
  const std::string piece(100000, 'x');
  CFailingStream s(2, static_cast<HResult>(0x80070070u));
  EXPECT_EQ(WriteBase64(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), &s),
            static_cast<HResult>(0x80070070u));
  EXPECT_EQ(s.calls, 3u);
  EXPECT_EQ(s.callsAfterFailure, 0u);
  CStringWriteStream ok;
  EXPECT_EQ(WriteEscapedString(u"x", nullptr), kE_POINTER);
  EXPECT_EQ(WriteBase64(nullptr, 3, &ok), kE_POINTER);
  EXPECT_EQ(WriteBase64(nullptr, 0, &ok), kS_OK);
  // Impossible lengths are refused and leave the text as it was.
  EXPECT_EQ(ok.Write(nullptr, 3), kE_POINTER);
  EXPECT_EQ(ok.Write("x", SIZE_MAX), kE_OUTOFMEMORY);
  std::string target = "pre:";
  CStringAppendStream append(&target);
  EXPECT_EQ(WriteInt(-12, &append), kS_OK);
  EXPECT_EQ(append.Write("x", SIZE_MAX), kE_OUTOFMEMORY);
  EXPECT_EQ(target + ok.Data(), "pre:-12");
}

TEST(Base64, ReadingSkipsWhatIsNoDigitAndTakesPartialGroups) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"YWJj", "abc"}, {u"", ""}, {u"//4A", std::string("\xFF\xFE\x00", 3)}, {u" Y W\tJ\r\nj ", "abc"},
      {u"=Y=W=J=j=", "abc"}, {u"YW\u4E2DJ*j", "abc"}, {Widen(std::string(kLine0To56) + "\r\nOQ=="), Bytes(58)},
      {u"YQ==", "a"}, {u"YQ", "a"}, {u"YWI", "ab"}, {u"YWJjYQ", "abca"},
      {u"Y", ""}, {u"YWJjY", "abc"},  // one character carries no whole byte
      {std::u16string{u'Y', u'W', u'J', u'j', 0, u'Y', u'W'}, "abc"},  // a NUL ends the text
  };
  for (const auto& [text, bytes] : cases) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(ReadBase64(text, &out));
    EXPECT_EQ(std::string(out.begin(), out.end()), bytes) << Ascii(text);
    EXPECT_EQ(Base64DecodedSize(text), bytes.size()) << Ascii(text);
  }
  uint8_t out[8];
  EXPECT_EQ(DecodeBase64(u"YWJjZGVm\r\nZ2g=", out), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), "abcdefgh");
  EXPECT_EQ(DecodeBase64(u"YWJj", nullptr), 0u);
}

// Text, whether it reads, and the value; a failed read leaves the value untouched.
struct ReadCase {
  std::u16string text;
  bool ok;
  double value = 0;
};

template <typename T, typename Read>
void ExpectReads(const std::vector<ReadCase>& cases, Read read, T untouched) {
  for (const ReadCase& c : cases) {
    T v = untouched;
    EXPECT_EQ(read(c.text, &v), c.ok) << Ascii(c.text);
    const double got = static_cast<double>(v), expected = c.ok ? c.value : static_cast<double>(untouched);
    EXPECT_TRUE(std::isnan(expected) ? std::isnan(got) : got == expected && std::signbit(got) == std::signbit(expected))
        << Ascii(c.text);
  }
}

TEST(ValueRead, ExactWordsWhiteSpaceAndRanges) {
  const std::vector<ReadCase> booleans = {
      {u"true", true, 1}, {u"1", true, 1}, {u"false", true, 0}, {u"0", true, 0}, {u" true", false}, {u"true ", false},
      {u"TRUE", false}, {u"", false}, {u"2", false}, {u"01", false}, {u"yes", false},
      {std::u16string{u't', u'r', u'u', u'e', 0}, false}};
  ExpectReads(booleans, ReadBoolean, false);
  ExpectReads(booleans, ReadBoolean, true);
  ExpectReads<int32_t>(
      {{u" 42 ", true, 42}, {u"\t\r\n-7\n", true, -7}, {u"+5", true, 5}, {u"0000000000000000000042", true, 42},
       {u"", true, 0}, {u"  ", true, 0},  // white space only reads as 0
       {u"2147483647", true, 2147483647}, {u"-2147483648", true, INT32_MIN}, {u"2147483648", false},
       {u"-2147483649", false}, {u"99999999999999999999999999", false}, {u"4 2", false}, {u"-", false},
       {u"--5", false}, {u"0x10", false}, {u"1.0", false}, {u"\uFF14\uFF12", false}, {std::u16string{u'4', 0}, false}},
      ReadInt, 9);
  const double inf = std::numeric_limits<double>::infinity();
  // The special words exactly; no other forms; nothing out of range.
  ExpectReads<double>({{u"INF", true, inf}, {u"-INF", true, -inf}, {u"NaN", true, std::nan("")},
                       {u" 1.5 ", true, 1.5}, {u"-2.5e3", true, -2500}, {u".5", true, 0.5}, {u"-0", true, -0.0},
                       {u"0e99999", true, 0}, {u" INF", false}, {u"inf", false}, {u"", false}, {u".", false},
                       {u"1e", false}, {u"0x1p3", false}, {u"1,5", false}, {u"1e400", false}, {u"1e-400", false}},
                      ReadDouble, 3.0);
  ExpectReads<float>({{u"3.4e38", true, 3.4e38f}, {u"1e39", false}, {u"1e-50", false}}, ReadFloat, 3.0f);
}

}  // namespace
