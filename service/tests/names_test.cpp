// Name rules, piece names, alternative names, log-safe text, and the command line.
#include <gtest/gtest.h>

#include "service/names.h"
#include "service/options.h"

using namespace fotrel::service;

TEST(Names, ChecksNamesThatBecomePathComponents) {
  const std::pair<std::string, NameProblem> cases[] = {
      {"200815349.jpg", NameProblem::kNone}, {".hidden", NameProblem::kNone}, {"照片 1.jpg", NameProblem::kNone},
      {"x&y'z.jpg", NameProblem::kNone}, {std::string(255, 'n'), NameProblem::kNone},
      {"a\xC2\xA0", NameProblem::kNone},  // U+00A0 is no control
      {"", NameProblem::kEmpty}, {std::string(256, 'n'), NameProblem::kTooLong},
      {"../x", NameProblem::kSeparator}, {"a/b", NameProblem::kSeparator}, {"a\\b", NameProblem::kSeparator},
      {"..", NameProblem::kDotDot}, {".", NameProblem::kDotDot}, {"a..jpg", NameProblem::kDotDot},
      {"a\tb", NameProblem::kControl}, {std::string("a\0b", 3), NameProblem::kControl},
      {"a\x7F", NameProblem::kControl}, {"a\xC2\x85", NameProblem::kControl},  // U+0085, a C1 control
      {"a\xFF", NameProblem::kBadText}, {"\xED\xA0\x80", NameProblem::kBadText},  // an encoded surrogate
  };
  for (const auto& [name, problem] : cases) EXPECT_EQ(CheckName(name), problem) << name;
  // Pieces 0 to 20 are taken over HTTP; everything else is refused.
  for (std::string name : {"21.jpg", "00.jpg", "01.jpg", "-1.jpg", "1.JPG", "1.jpeg", ".jpg", "1.jpgx", " 1.jpg",
                           "100.jpg", "a.jpg", "1"})
    EXPECT_EQ(PieceIndex(name), -1) << name;
}

TEST(Names, MakesAlternativesWithinTheLengthLimit) {
  std::string wide;
  for (int i = 0; i < 83; ++i) wide += "中";
  const std::pair<std::string, std::string> cases[] = {
      {"200815349.jpg", "200815349-12.jpg"}, {"noextension", "noextension-12"}, {".hidden", ".hidden-12"},
      {"a.tar.gz", "a.tar-12.gz"}, {std::string(251, 'n') + ".jpg", std::string(248, 'n') + "-12.jpg"},
      // A three-byte character is never cut in two: the stem loses a whole one.
      {wide + ".jpg", wide.substr(0, 82 * 3) + "-12.jpg"},
  };
  for (const auto& [name, alternative] : cases) EXPECT_EQ(AlternativeName(name, 12), alternative);
}

TEST(Names, MakesLogTextSafe) {
  EXPECT_EQ(LogSafe("abc 中"), "abc 中");
  EXPECT_EQ(LogSafe("a\nb\x1B[1m\\"), "a\\x0Ab\\x1B[1m\\\\");
  EXPECT_EQ(LogSafe("\xC2\x9B" "x\xFF"), "\\xC2\\x9Bx\\xFF");
  EXPECT_EQ(LogSafe("abcdef", 3), "abc...");
}

TEST(Options, ReadsTheCommandLineAndRefusesWhatItDoesNotKnow) {
  ServiceConfig config;
  std::string error, host;
  const char* argv[] = {"fotrel-service", "--listen", "[::1]:9000", "--data", "/tmp/d", "--namespace", "urn:ns/",
                        "--threads", "4", "--fast-hash"};
  ASSERT_EQ(ParseOptions(10, argv, &config, &error), OptionsResult::kRun) << error;
  EXPECT_EQ(config.host + config.dataFolder.string() + config.serviceNamespace, "::1/tmp/durn:ns/");
  EXPECT_EQ(config.port, 9000);
  EXPECT_EQ(config.threads, 4u);
  EXPECT_EQ(config.hashStrength, HashStrength::kTestOnlyMinimum);
  const std::pair<std::vector<const char*>, std::string> refused[] = {
      {{"fotrel-service", "--port", "1"}, "unknown option --port"},
      {{"fotrel-service", "--data"}, "--data needs a value"}};
  for (const auto& [args, text] : refused) {
    EXPECT_EQ(ParseOptions(static_cast<int>(args.size()), args.data(), &config, &error), OptionsResult::kError);
    EXPECT_EQ(error, text);
  }
  const char* help[] = {"fotrel-service", "--help"};
  EXPECT_EQ(ParseOptions(2, help, &config, &error), OptionsResult::kHelp);
  int port = 0;
  EXPECT_TRUE(ParseListen("localhost:65535", &host, &port) && port == 65535);
  for (std::string bad : {"8080", ":8080", "::1:80", "host:65536", "host:", "host:8o", "[]:1"})
    EXPECT_FALSE(ParseListen(bad, &host, &port)) << bad;
}
