#include "services/passport.h"

#include <gtest/gtest.h>

#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace servicetest;

TEST(PassportWire, LoginUserWithAChineseNameTravelsAsCharacterReferences) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("LoginUser", "true"))));
  Passport::CPassportT client(server.Host());
  bool ok = false;
  ASSERT_EQ(client.LoginUser(u"中文a&<>\"'", u"p\tw", &ok), 0);
  EXPECT_TRUE(ok);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string body = RequestBody(
      "LoginUser", "<username>&#x4E2D;&#x6587;a&amp;&lt;&gt;\"'</username><password>p&#x0009;w</password>");
  EXPECT_EQ(server.Requests()[0], Request("/WebService/Passport.asmx", "LoginUser", body, server.Port()));
}

TEST(PassportWire, CreateUserSendsItsThreeElementsInOrder) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("CreateUser", "-1"))));
  Passport::CPassportT client(server.Host());
  int32_t result = 99;
  ASSERT_EQ(client.CreateUser(u"abcd", u"", u"a@b", &result), 0);
  EXPECT_EQ(result, -1);
  const std::string body = RequestBody(
      "CreateUser", "<username>abcd</username><password></password><emailAddress>a@b</emailAddress>");
  EXPECT_EQ(server.Requests()[0], Request("/WebService/Passport.asmx", "CreateUser", body, server.Port()));
}

TEST(PassportWire, NullStringsAreNilElements) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("CreateUser", "1"))));
  Passport::CPassportT client(server.Host());
  int32_t result = 0;
  ASSERT_EQ(client.CreateUser(nullptr, u"p", nullptr, &result), 0);
  const std::string body = RequestBody(
      "CreateUser", "<username xsi:nil=\"1\"/><password>p</password><emailAddress xsi:nil=\"1\"/>");
  EXPECT_EQ(server.Requests()[0], Request("/WebService/Passport.asmx", "CreateUser", body, server.Port()));
}

TEST(PassportWire, NullResultPointerSendsNothing) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("LoginUser", "true"))));
  Passport::CPassportT client(server.Host());
  EXPECT_EQ(client.LoginUser(u"a", u"b", nullptr), static_cast<int32_t>(0x80004003u));
  int32_t* none = nullptr;
  EXPECT_EQ(client.CreateUser(u"a", u"b", u"c", none), static_cast<int32_t>(0x80004003u));
  EXPECT_EQ(server.Connections(), 0);
}

struct BoolCase {
  const char* text;
  bool expected;
};

TEST(PassportResponses, BooleanResultsReadAsTheServiceMeansThem) {
  for (BoolCase c : {BoolCase{"true", true}, BoolCase{"1", true}, BoolCase{"false", false}, BoolCase{"0", false}}) {
    ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("LoginUser", c.text))));
    Passport::CPassportT client(server.Host());
    bool ok = !c.expected;
    EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), 0) << c.text;
    EXPECT_EQ(ok, c.expected) << c.text;
    EXPECT_EQ(client.GetClientError(), ClientErrorCode::Success);
  }
}

// Responses the parser must refuse: the call fails with client error 10 and leaves the result alone.
TEST(PassportResponses, MalformedResultsFailWithParseFailed) {
  const std::string ns = kNs;
  const std::string bad[] = {
      // an extra element in the response element
      ResponseEnvelope("<LoginUserResponse xmlns=\"" + ns +
                       "\"><LoginUserResult>true</LoginUserResult><Extra>1</Extra></LoginUserResponse>"),
      // no result at all
      ResponseEnvelope("<LoginUserResponse xmlns=\"" + ns + "\"></LoginUserResponse>"),
      // nil on a result that may not be absent
      ResponseEnvelope("<LoginUserResponse xmlns=\"" + ns +
                       "\"><LoginUserResult xsi:nil=\"true\"/></LoginUserResponse>"),
      // a header entry the client must understand but does not know
      ResponseEnvelope("<LoginUserResponse xmlns=\"" + ns + "\"><LoginUserResult>true</LoginUserResult></LoginUserResponse>",
                       "<soap:Header><Session xmlns=\"urn:x\" soap:mustUnderstand=\"1\">7</Session></soap:Header>"),
      // blanks around a boolean
      Result("LoginUser", " true"),
      // an empty boolean
      Result("LoginUser", ""),
      // not XML
      "<html><body>Server Error</body></html>",
  };
  for (const std::string& body : bad) {
    ScriptedServer server(ScriptedServer::Reply(Http("200 OK", body)));
    Passport::CPassportT client(server.Host());
    bool ok = true;
    EXPECT_LT(client.LoginUser(u"u", u"p", &ok), 0) << body;
    EXPECT_TRUE(ok) << "result written on failure: " << body;
    EXPECT_EQ(client.GetClientError(), ClientErrorCode::ParseFailed) << body;
  }
}

TEST(PassportResponses, ResultsAreMatchedByLocalNameOnly) {
  const std::string ns = kNs;
  const std::string good[] = {
      // the result element without a namespace
      ResponseEnvelope("<LoginUserResponse xmlns=\"" + ns +
                       "\"><LoginUserResult xmlns=\"\">true</LoginUserResult></LoginUserResponse>"),
      // in another namespace, with a prefix
      ResponseEnvelope("<r:LoginUserResponse xmlns:r=\"urn:other\"><r:LoginUserResult>1</r:LoginUserResult>"
                       "</r:LoginUserResponse>"),
      // a header entry that need not be understood is skipped
      ResponseEnvelope("<LoginUserResponse xmlns=\"" + ns + "\"><LoginUserResult>true</LoginUserResult></LoginUserResponse>",
                       "<soap:Header><Session xmlns=\"urn:x\"><a>b</a></Session></soap:Header>"),
  };
  for (const std::string& body : good) {
    ScriptedServer server(ScriptedServer::Reply(Http("200 OK", body)));
    Passport::CPassportT client(server.Host());
    bool ok = false;
    EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), 0) << body;
    EXPECT_TRUE(ok) << body;
  }
}

TEST(PassportResponses, CreateUserResultIsADecimalInt) {
  for (const char* text : {"1", " 2 ", "3", "-1", "0"}) {
    ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("CreateUser", text))));
    Passport::CPassportT client(server.Host());
    int32_t result = 42;
    ASSERT_EQ(client.CreateUser(u"abcd", u"p", u"a@b", &result), 0) << text;
    EXPECT_EQ(result, std::stoi(text));
  }
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("CreateUser", "2147483648"))));
  Passport::CPassportT client(server.Host());
  int32_t result = 42;
  EXPECT_LT(client.CreateUser(u"abcd", u"p", u"a@b", &result), 0);
  EXPECT_EQ(result, 42);
}

}  // namespace
