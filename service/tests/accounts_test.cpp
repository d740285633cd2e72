// CreateUser and LoginUser over HTTP: the four answers of CreateUser, LoginUser's true only for
// the right password, and passwords kept only as Argon2id hashes.
#include <gtest/gtest.h>

#include "service_fixture.h"

namespace {

class Accounts : public ::testing::Test {
 protected:
  TempFolder root;
  std::unique_ptr<RunningService> service;
  void SetUp() override {
    service = std::make_unique<RunningService>(Data());
    ASSERT_TRUE(service->Started()) << service->Error();
  }
  std::filesystem::path Data() const { return root.Path() / "data"; }
  std::string Create(std::string_view user, std::string_view password, std::string_view email) {
    return ResultOf(CreateUser(service->Port(), user, password, email), "CreateUser");
  }
  std::string Login(std::string_view user, std::string_view password) {
    return ResultOf(LoginUser(service->Port(), user, password), "LoginUser");
  }
};

}  // namespace

TEST_F(Accounts, CreatesAUserOnce) {
  EXPECT_EQ(Create("alice", "pw1", "alice@example.org"), "1");
  EXPECT_EQ(Create("alice", "pw2", "other@example.org"), "2");
  EXPECT_EQ(Create("bob", "pw3", "alice@example.org"), "3");
  // Both checks ignore ASCII letter case.
  EXPECT_EQ(Create("ALICE", "pw2", "x@example.org"), "2");
  EXPECT_EQ(Create("carol", "pw2", "ALICE@Example.ORG"), "3");
  // The name is checked before the address.
  EXPECT_EQ(Create("Alice", "pw", "alice@example.org"), "2");
}

TEST_F(Accounts, RefusesInvalidInputWithMinusOne) {
  EXPECT_EQ(Create("", "pw", "a@b"), "-1");
  EXPECT_EQ(Create("dave", "", "a@b"), "-1");
  EXPECT_EQ(Create("dave", "pw", ""), "-1");
  EXPECT_EQ(Create("dave", "pw", "no-at-sign"), "-1");
  EXPECT_EQ(Create(std::string(26, 'd'), "pw", "a@b"), "-1");
  EXPECT_EQ(Create("dave", std::string(26, 'p'), "a@b"), "-1");
  EXPECT_EQ(Create("dave", "pw", std::string(24, 'e') + "@x"), "-1");
  // A user name becomes a folder name: separators and ".." are refused.
  EXPECT_EQ(Create("a/b", "pw", "a@b"), "-1");
  EXPECT_EQ(Create("a\\b", "pw", "a@b"), "-1");
  EXPECT_EQ(Create("..", "pw", "a@b"), "-1");
  EXPECT_EQ(Create("a\tb", "pw", "a@b"), "-1");
  // A nil value is no value.
  HttpReply reply = CallSoap(service->Port(), kPassportPath, "CreateUser",
                             "<CreateUser xmlns=\"http://tempuri.org/\"><username xsi:nil=\"1\"/>"
                             "<password>pw</password><emailAddress>a@b</emailAddress>"
                             "</CreateUser>");
  EXPECT_EQ(ResultOf(reply, "CreateUser"), "-1");
  EXPECT_TRUE(Query(Data(), "SELECT name FROM users").empty());
}

TEST_F(Accounts, CountsTwentyFiveUtf16CodeUnits) {
  EXPECT_EQ(Create(std::string(25, 'n'), std::string(25, 'p'), std::string(23, 'e') + "@x"), "1");
  std::string chinese;
  for (int i = 0; i < 25; ++i) chinese += "中";  // 25 code units, 75 bytes
  EXPECT_EQ(Create(chinese, "pw", "zh@x"), "1");
  EXPECT_EQ(Create(chinese + "文", "pw", "zh2@x"), "-1");
  // A character beyond the basic plane counts twice: 24 + 2 is too long.
  EXPECT_EQ(Create(std::string(24, 'm') + "\xF0\x9F\x98\x80", "pw", "m@x"), "-1");
  EXPECT_EQ(Create(std::string(23, 'm') + "\xF0\x9F\x98\x80", "pw", "m@x"), "1");
  EXPECT_EQ(Login(chinese, "pw"), "true");
}

TEST_F(Accounts, LogsInOnlyWithTheRightPassword) {
  ASSERT_EQ(Create("erin", "S3cret&<pw>", "erin@x"), "1");
  EXPECT_EQ(Login("erin", "S3cret&<pw>"), "true");
  EXPECT_EQ(Login("ERIN", "S3cret&<pw>"), "true");
  EXPECT_EQ(Login("erin", "s3cret&<pw>"), "false");
  EXPECT_EQ(Login("erin", ""), "false");
  EXPECT_EQ(Login("nobody", "S3cret&<pw>"), "false");
  EXPECT_EQ(Login("", ""), "false");
  HttpReply reply = CallSoap(service->Port(), kPassportPath, "LoginUser",
                             "<LoginUser xmlns=\"http://tempuri.org/\"><username>erin</username>"
                             "<password xsi:nil=\"1\"/></LoginUser>");
  EXPECT_EQ(ResultOf(reply, "LoginUser"), "false");
}

TEST_F(Accounts, KeepsOnlyArgon2idHashes) {
  ASSERT_EQ(Create("frank", "Unmistakable-Passw0rd", "frank@x"), "1");
  auto rows = Query(Data(), "SELECT password_hash FROM users WHERE name = 'frank'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].rfind("$argon2id$v=19$", 0), 0u) << rows[0][0];
  service->Stop();
  for (const char* file : {"fotrel.db", "fotrel.db-wal"}) {
    std::string bytes = ReadFile(Data() / file);
    EXPECT_EQ(bytes.find("Unmistakable-Passw0rd"), std::string::npos) << file;
  }
}

TEST(AccountsInteractive, HashesWithTheInteractiveLimitsByDefault) {
  TempFolder root;
  RunningService service(root.Path() / "data", [](fotrel::service::ServiceConfig& c) {
    c.hashStrength = fotrel::service::HashStrength::kInteractive;
  });
  ASSERT_TRUE(service.Started());
  ASSERT_EQ(ResultOf(CreateUser(service.Port(), "gina", "pw", "g@x"), "CreateUser"), "1");
  auto rows = Query(root.Path() / "data", "SELECT password_hash FROM users");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].rfind("$argon2id$v=19$m=65536,t=2,p=1$", 0), 0u) << rows[0][0];
  EXPECT_EQ(ResultOf(LoginUser(service.Port(), "gina", "pw"), "LoginUser"), "true");
}
