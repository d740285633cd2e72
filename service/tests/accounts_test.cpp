// CreateUser's four answers, LoginUser's true only for the right password, passwords only as hashes.
#include "service_fixture.h"

namespace {

using Accounts = ServiceTest;

TEST_F(Accounts, AnswersCreateUserAndLoginUser) {
  std::string chinese;
  for (int i = 0; i < 25; ++i) chinese += "中";  // 25 code units, 75 bytes
  const struct {
    std::string user, password, email, answer;
  } creates[] = {
      {"", "pw", "a@b", "-1"}, {"dave", "pw", "no-at", "-1"}, {std::string(26, 'd'), "pw", "a@b", "-1"},
      {"a/b", "pw", "a@b", "-1"}, {"..", "pw", "a@b", "-1"}, {chinese, "pw", "zh@x", "1"},
      {"erin", "S3cret&<pw>", "erin@x", "1"}, {"ERIN", "pw2", "x@example.org", "2"}, {"carol", "pw2", "Erin@X", "3"},
  };
  for (const auto& c : creates)
    EXPECT_EQ(ResultOf(CreateUser(Port(), c.user, c.password, c.email), "CreateUser"), c.answer) << c.user;
  const struct {
    std::string user, password, answer;
  } logins[] = {{"ERIN", "S3cret&<pw>", "true"}, {chinese, "pw", "true"}, {"erin", "s3cret&<pw>", "false"},
                {"nobody", "S3cret&<pw>", "false"}};
  for (const auto& c : logins)
    EXPECT_EQ(ResultOf(LoginUser(Port(), c.user, c.password), "LoginUser"), c.answer) << c.user << c.password;
}

TEST_F(Accounts, KeepsOnlyArgon2idHashes) {
  ASSERT_EQ(ResultOf(CreateUser(Port(), "gina", "Unmistakable-Passw0rd", "g@x"), "CreateUser"), "1");
  auto rows = Query(Data(), "SELECT password_hash FROM users WHERE name = 'gina'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].rfind("$argon2id$v=19$", 0), 0u) << rows[0][0];
  service->Stop();
  for (const char* file : {"fotrel.db", "fotrel.db-wal"})
    EXPECT_EQ(ReadFile(Data() / file).find("Unmistakable-Passw0rd"), std::string::npos) << file;
}

}  // namespace
