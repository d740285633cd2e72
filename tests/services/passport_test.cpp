#include "services/passport.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace servicetest;

TEST(PassportWire, ExactRequests) {
  const struct {
    const char* op;
    std::function<int32_t(Passport::CPassportT&)> call;
    std::string elements;
  } cases[] = {
      {"LoginUser",
       [](Passport::CPassportT& c) {
         bool ok = false;
         return c.LoginUser(u"中文a&<>\"'", u"p\tw", &ok);
       },
       "<username>&#x4E2D;&#x6587;a&amp;&lt;&gt;\"'</username><password>p&#x0009;w</password>"},
      {"CreateUser",
       [](Passport::CPassportT& c) {
         int32_t result = 0;
         return c.CreateUser(u"abcd", u"", u"a@b", &result);
       },
       "<username>abcd</username><password></password><emailAddress>a@b</emailAddress>"},
      // Null strings are nil elements.
      {"CreateUser",
       [](Passport::CPassportT& c) {
         int32_t result = 0;
         return c.CreateUser(nullptr, u"p", nullptr, &result);
       },
       "<username xsi:nil=\"1\"/><password>p</password><emailAddress xsi:nil=\"1\"/>"},
  };
  for (const auto& c : cases) {
    ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result(c.op, c.op[0] == 'L' ? "true" : "1"))));
    Passport::CPassportT client(server.Host());
    ASSERT_EQ(c.call(client), 0) << c.elements;
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              Request("/WebService/Passport.asmx", c.op, RequestBody(c.op, c.elements), server.Port()));
  }
}

// How LoginUser reads each response: the result, or a parse failure (client error 10) that
// leaves the caller's variable alone.
TEST(PassportResponses, LoginUserResults) {
  const std::string ns = kNs, open = "<LoginUserResponse xmlns=\"" + ns + "\">", close = "</LoginUserResponse>";
  const std::string result = open + "<LoginUserResult>true</LoginUserResult>" + close;
  const struct {
    std::string body;
    int expected;  // 1 true, 0 false, -1 a parse failure
  } cases[] = {
      {Result("LoginUser", "1"), 1}, {Result("LoginUser", "false"), 0},
      // A header entry that need not be understood is skipped; one that must be fails.
      {ResponseEnvelope(result, "<soap:Header><Session xmlns=\"urn:x\"><a>b</a></Session></soap:Header>"), 1},
      {ResponseEnvelope(result, "<soap:Header><Session xmlns=\"urn:x\" soap:mustUnderstand=\"1\">7</Session>"
                                "</soap:Header>"), -1},
      {ResponseEnvelope(open + close), -1},  // no result at all
      {"<html><body>Server Error</body></html>", -1},
  };
  for (const auto& c : cases) {
    ScriptedServer server(ScriptedServer::Reply(Http("200 OK", c.body)));
    Passport::CPassportT client(server.Host());
    for (bool before : {false, true}) {
      bool ok = before;
      EXPECT_EQ(client.LoginUser(u"u", u"p", &ok) == 0, c.expected >= 0) << c.body;
      EXPECT_EQ(ok, c.expected >= 0 ? c.expected == 1 : before) << c.body;
      EXPECT_EQ(client.GetClientError(), c.expected >= 0 ? ClientErrorCode::Success : ClientErrorCode::ParseFailed);
    }
  }
}

}  // namespace
