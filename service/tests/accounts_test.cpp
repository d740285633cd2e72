// CreateUser and LoginUser over HTTP: the four answers of CreateUser, LoginUser's true only for
// the right password, and passwords kept only as Argon2id hashes.
#include "service_fixture.h"

namespace {

using Accounts = ServiceTest;

TEST_F(Accounts, AnswersCreateUserAndLoginUser) {
  std::string chinese;
  for (int i = 0; i < 25; ++i) chinese += "中";  // 25 code units, 75 bytes
  const std::string nilName = "<CreateUser xmlns=\"http://tempuri.org/\"><username xsi:nil=\"1\"/><password>pw"
                              "</password><emailAddress>a@b</emailAddress></CreateUser>";
  EXPECT_EQ(ResultOf(CallSoap(Port(), kPassportPath, "CreateUser", nilName), "CreateUser"), "-1");
  const struct {
    std::string user, password, email, answer;
  } creates[] = {
      // Invalid: empty, over 25 UTF-16 code units, no '@', names that are no folder name.
      {"", "pw", "a@b", "-1"}, {"dave", "", "a@b", "-1"}, {"dave", "pw", "", "-1"}, {"dave", "pw", "no-at", "-1"},
      {std::string(26, 'd'), "pw", "a@b", "-1"}, {std::string(5000, 'd'), "pw", "a@b", "-1"},
      {"dave", std::string(26, 'p'), "a@b", "-1"}, {"dave", "pw", std::string(24, 'e') + "@x", "-1"},
      {chinese + "文", "pw", "zh2@x", "-1"},
      {std::string(24, 'm') + "\xF0\x9F\x98\x80", "pw", "m@x", "-1"},  // beyond the basic plane counts twice
      {"a/b", "pw", "a@b", "-1"}, {"a\\b", "pw", "a@b", "-1"}, {"..", "pw", "a@b", "-1"}, {"a\tb", "pw", "a@b", "-1"},
      {"alice", "pw1", "alice@example.org", "1"}, {"alice", "pw2", "other@example.org", "2"},
      {"bob", "pw3", "alice@example.org", "3"},
      // Both checks ignore ASCII letter case; the name is checked first.
      {"ALICE", "pw2", "x@example.org", "2"}, {"carol", "pw2", "ALICE@Example.ORG", "3"},
      {"Alice", "pw", "alice@example.org", "2"},
      {std::string(25, 'n'), std::string(25, 'p'), std::string(23, 'e') + "@x", "1"}, {chinese, "pw", "zh@x", "1"},
      {std::string(23, 'm') + "\xF0\x9F\x98\x80", "pw", "m@x", "1"}, {"erin", "S3cret&<pw>", "erin@x", "1"},
  };
  for (const auto& c : creates)
    EXPECT_EQ(ResultOf(CreateUser(Port(), c.user, c.password, c.email), "CreateUser"), c.answer) << c.user;
  EXPECT_EQ(Query(Data(), "SELECT COUNT(*) FROM users")[0][0], "5");
  const struct {
    std::string user, password, answer;
  } logins[] = {{"erin", "S3cret&<pw>", "true"}, {"ERIN", "S3cret&<pw>", "true"}, {chinese, "pw", "true"},
                {"erin", "s3cret&<pw>", "false"}, {"erin", "", "false"}, {"nobody", "S3cret&<pw>", "false"},
                {"", "", "false"}};
  for (const auto& c : logins)
    EXPECT_EQ(ResultOf(LoginUser(Port(), c.user, c.password), "LoginUser"), c.answer) << c.user << c.password;
  const std::string nilPassword = "<LoginUser xmlns=\"http://tempuri.org/\"><username>erin</username>"
                                  "<password xsi:nil=\"1\"/></LoginUser>";
  EXPECT_EQ(ResultOf(CallSoap(Port(), kPassportPath, "LoginUser", nilPassword), "LoginUser"), "false");
}

TEST_F(Accounts, KeepsOnlyArgon2idHashesWithTheInteractiveLimitsByDefault) {
  ASSERT_EQ(ResultOf(CreateUser(Port(), "gina", "Unmistakable-Passw0rd", "g@x"), "CreateUser"), "1");
  auto rows = Query(Data(), "SELECT password_hash FROM users WHERE name = 'gina'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].rfind("$argon2id$v=19$", 0), 0u) << rows[0][0];
  service->Stop();
  for (const char* file : {"fotrel.db", "fotrel.db-wal"})
    EXPECT_EQ(ReadFile(Data() / file).find("Unmistakable-Passw0rd"), std::string::npos) << file;
  Start([](fotrel::service::ServiceConfig& c) { c.hashStrength = fotrel::service::HashStrength::kInteractive; });
  Register("hana");
  rows = Query(Data(), "SELECT password_hash FROM users WHERE name = 'hana'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].rfind("$argon2id$v=19$m=65536,t=2,p=1$", 0), 0u) << rows[0][0];
  EXPECT_EQ(ResultOf(LoginUser(Port(), "hana", "pw"), "LoginUser"), "true");
}

}  // namespace
