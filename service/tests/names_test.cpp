// Name rules, piece names, alternative names, log-safe text, and the command line.
#include <gtest/gtest.h>

#include "service/base64.h"
#include "service/names.h"
#include "service/options.h"
#include "service/uploads.h"

using namespace fotrel::service;

TEST(Names, AcceptsOrdinaryNames) {
  for (std::string name : {"200815349.jpg", "a", ".hidden", "照片 1.jpg", "a.b.c", "x&y'z.jpg"})
    EXPECT_EQ(CheckName(name), NameProblem::kNone) << name;
  EXPECT_EQ(CheckName(std::string(255, 'n')), NameProblem::kNone);
}

TEST(Names, RefusesNamesThatCouldLeaveTheFolder) {
  EXPECT_EQ(CheckName(""), NameProblem::kEmpty);
  EXPECT_EQ(CheckName(std::string(256, 'n')), NameProblem::kTooLong);
  EXPECT_EQ(CheckName("../x"), NameProblem::kSeparator);
  EXPECT_EQ(CheckName("a/b"), NameProblem::kSeparator);
  EXPECT_EQ(CheckName("a\\b"), NameProblem::kSeparator);
  EXPECT_EQ(CheckName(".."), NameProblem::kDotDot);
  EXPECT_EQ(CheckName("."), NameProblem::kDotDot);
  EXPECT_EQ(CheckName("a..jpg"), NameProblem::kDotDot);
  EXPECT_EQ(CheckName("a\tb"), NameProblem::kControl);
  EXPECT_EQ(CheckName(std::string("a\0b", 3)), NameProblem::kControl);
  EXPECT_EQ(CheckName("a\x7F"), NameProblem::kControl);
  EXPECT_EQ(CheckName("a\xC2\x85"), NameProblem::kControl);  // U+0085, a C1 control
  EXPECT_EQ(CheckName("a\xC2\xA0"), NameProblem::kNone);     // U+00A0 is not
  EXPECT_EQ(CheckName("a\xFF"), NameProblem::kBadText);
  EXPECT_EQ(CheckName("\xED\xA0\x80"), NameProblem::kBadText);  // an encoded surrogate
  EXPECT_STREQ(Describe(NameProblem::kSeparator), "contains a path separator");
}

TEST(Names, ReadsPieceNumbersZeroToTwenty) {
  EXPECT_EQ(PieceIndex("0.jpg"), 0);
  EXPECT_EQ(PieceIndex("9.jpg"), 9);
  EXPECT_EQ(PieceIndex("20.jpg"), 20);
  for (std::string name : {"21.jpg", "00.jpg", "01.jpg", "-1.jpg", "1.JPG", "1.jpeg", ".jpg",
                           "1.jpgx", " 1.jpg", "100.jpg", "a.jpg", "1"})
    EXPECT_EQ(PieceIndex(name), -1) << name;
}

TEST(Names, MakesAlternativesWithinTheLengthLimit) {
  EXPECT_EQ(AlternativeName("200815349.jpg", 1), "200815349-1.jpg");
  EXPECT_EQ(AlternativeName("200815349.jpg", 12), "200815349-12.jpg");
  EXPECT_EQ(AlternativeName("noextension", 2), "noextension-2");
  EXPECT_EQ(AlternativeName(".hidden", 1), ".hidden-1");
  EXPECT_EQ(AlternativeName("a.tar.gz", 1), "a.tar-1.gz");
  std::string longName = std::string(251, 'n') + ".jpg";
  std::string alternative = AlternativeName(longName, 3);
  EXPECT_EQ(alternative.size(), 255u);
  EXPECT_EQ(alternative, std::string(249, 'n') + "-3.jpg");
  // A three-byte character is never cut in two.
  std::string wide;
  for (int i = 0; i < 83; ++i) wide += "中";
  wide += ".jpg";  // 253 bytes
  alternative = AlternativeName(wide, 1);
  EXPECT_LE(alternative.size(), 255u);
  EXPECT_TRUE(IsValidUtf8(alternative));
  EXPECT_EQ(alternative.substr(alternative.size() - 6), "-1.jpg");
}

TEST(Names, CountsUtf16CodeUnits) {
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(Utf16Length("abc"), 3u);
  EXPECT_EQ(Utf16Length("中文"), 2u);
  EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);
}

TEST(Names, ReadsBooleans) {
  bool value = false;
  EXPECT_TRUE(ParseBoolean("1", &value));
  EXPECT_TRUE(value);
  EXPECT_TRUE(ParseBoolean(" false\n", &value));
  EXPECT_FALSE(value);
  EXPECT_FALSE(ParseBoolean("TRUE", &value));
  EXPECT_FALSE(ParseBoolean("", &value));
}

TEST(Names, MakesLogTextSafe) {
  EXPECT_EQ(LogSafe("abc 中"), "abc 中");
  EXPECT_EQ(LogSafe("a\nb\x1B[1m\\"), "a\\x0Ab\\x1B[1m\\\\");
  EXPECT_EQ(LogSafe("\xC2\x9B" "x\xFF"), "\\xC2\\x9Bx\\xFF");
  EXPECT_EQ(LogSafe("abcdef", 3), "abc...");
}

TEST(Names, FormatsByteCounts) {
  EXPECT_EQ(FormatBytes(64ull << 20), "64 MiB");
  EXPECT_EQ(FormatBytes(2ull << 30), "2 GiB");
  EXPECT_EQ(FormatBytes(1000), "1000 bytes");
}

TEST(Base64Decoder, DecodesAcrossFeedsOfAnySize) {
  const std::string text = "SGVsbG8s\r\nIHdvcmxkIQ==";
  for (size_t step = 1; step <= text.size(); ++step) {
    Base64Decoder decoder;
    std::string out;
    for (size_t at = 0; at < text.size(); at += step) {
      uint8_t buffer[64];
      size_t produced = 0;
      size_t n = std::min(step, text.size() - at);
      ASSERT_TRUE(decoder.Feed(text.data() + at, n, buffer, &produced));
      out.append(reinterpret_cast<char*>(buffer), produced);
    }
    EXPECT_TRUE(decoder.Finish());
    EXPECT_EQ(out, "Hello, world!") << step;
  }
}

TEST(Options, ReadsTheCommandLine) {
  ServiceConfig config;
  std::string error;
  const char* argv[] = {"fotrel-service", "--listen", "0.0.0.0:9000", "--data", "/tmp/d",
                        "--namespace",    "urn:ns/", "--threads",    "4",      "--fast-hash"};
  ASSERT_EQ(ParseOptions(10, argv, &config, &error), OptionsResult::kRun) << error;
  EXPECT_EQ(config.host, "0.0.0.0");
  EXPECT_EQ(config.port, 9000);
  EXPECT_EQ(config.dataFolder, "/tmp/d");
  EXPECT_EQ(config.serviceNamespace, "urn:ns/");
  EXPECT_EQ(config.threads, 4u);
  EXPECT_EQ(config.hashStrength, HashStrength::kTestOnlyMinimum);
}

TEST(Options, KeepsTheDefaults) {
  ServiceConfig config;
  std::string error;
  const char* argv[] = {"fotrel-service"};
  ASSERT_EQ(ParseOptions(1, argv, &config, &error), OptionsResult::kRun);
  EXPECT_EQ(config.host, "127.0.0.1");
  EXPECT_EQ(config.port, 8080);
  EXPECT_EQ(config.dataFolder, "fotrel-data");
  EXPECT_EQ(config.hashStrength, HashStrength::kInteractive);
}

TEST(Options, RefusesWhatItDoesNotKnow) {
  ServiceConfig config;
  std::string error;
  const char* unknown[] = {"fotrel-service", "--port", "1"};
  EXPECT_EQ(ParseOptions(3, unknown, &config, &error), OptionsResult::kError);
  EXPECT_EQ(error, "unknown option --port");
  const char* missing[] = {"fotrel-service", "--data"};
  EXPECT_EQ(ParseOptions(2, missing, &config, &error), OptionsResult::kError);
  EXPECT_EQ(error, "--data needs a value");
  const char* help[] = {"fotrel-service", "--help"};
  EXPECT_EQ(ParseOptions(2, help, &config, &error), OptionsResult::kHelp);
}

TEST(Options, ReadsListenAddresses) {
  std::string host;
  int port = 0;
  EXPECT_TRUE(ParseListen("127.0.0.1:8080", &host, &port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 8080);
  EXPECT_TRUE(ParseListen("[::1]:0", &host, &port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 0);
  EXPECT_TRUE(ParseListen("localhost:65535", &host, &port));
  for (std::string bad : {"8080", ":8080", "::1:80", "host:65536", "host:", "host:8o", "[]:1"})
    EXPECT_FALSE(ParseListen(bad, &host, &port)) << bad;
}
