// How a service call reports each way an exchange can end.
#include <gtest/gtest.h>

#include "services/passport.h"
#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace servicetest;

constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);

struct Outcome {
  int32_t hr;
  ClientErrorCode error;
  bool result;
};

Outcome LoginAgainst(const std::u16string& host, uint32_t timeoutMs = 5000, SoapFaultInfo* fault = nullptr) {
  Passport::CPassportT client(host);
  client.SetTimeout(timeoutMs);
  bool ok = true;  // a failed call must leave it as it was
  int32_t hr = client.LoginUser(u"u", u"p", &ok);
  if (fault) *fault = client.GetFault();
  return Outcome{hr, client.GetClientError(), ok};
}

Outcome LoginAnswered(const std::string& response, SoapFaultInfo* fault = nullptr) {
  ScriptedServer server(ScriptedServer::Reply(response));
  return LoginAgainst(server.Host(), 5000, fault);
}

TEST(SoapCall, StatusCodesMapToClientErrors) {
  struct Case {
    std::string response;
    ClientErrorCode error;
  } cases[] = {
      {Http("404 Not Found", "<html>missing</html>", "text/html"), ClientErrorCode::SendFailed},
      {Http("503 Service Unavailable", ""), ClientErrorCode::SendFailed},
      {"HTTP/1.1 204 No Content\r\n\r\n", ClientErrorCode::ServerStatus},
      {Http("201 Created", Result("LoginUser", "true")), ClientErrorCode::ServerStatus},
      {Http("200 OK", ""), ClientErrorCode::ReadFailed},
      {Http("202 Accepted", ""), ClientErrorCode::ParseFailed},
      {Http("500 Internal Server Error", ""), ClientErrorCode::SoapFault},
  };
  for (const Case& c : cases) {
    Outcome o = LoginAnswered(c.response);
    EXPECT_EQ(o.hr, kEFail) << c.response;
    EXPECT_EQ(o.error, c.error) << c.response;
    EXPECT_TRUE(o.result) << c.response;
  }
}

TEST(SoapCall, AOneWayAnswerNeverReadsTheEarlierResponse) {
  // The first call reads "true"; the 202 of the second must not reuse that body.
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(Http("200 OK", Result("LoginUser", "true")));
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n");
  });
  Passport::CPassportT client(server.Host());
  bool ok = false;
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  ASSERT_TRUE(ok);
  ok = false;
  EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), kEFail);
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::ParseFailed);
  EXPECT_FALSE(ok);
}

TEST(SoapCall, ServerFaultIsParsedIntoTheFaultRecord) {
  SoapFaultInfo fault;
  Outcome o = LoginAnswered(Http("500 Internal Server Error", Fault("soap:Server", "database &amp; disk down")), &fault);
  EXPECT_EQ(o.hr, kEFail);
  EXPECT_EQ(o.error, ClientErrorCode::SoapFault);
  EXPECT_EQ(fault.code, 400);
  EXPECT_EQ(fault.codeText, u"Server");
  EXPECT_EQ(fault.faultString, u"database & disk down");
  Outcome client = LoginAnswered(Http("500 Internal Server Error", Fault("soap:Client", "missing username")), &fault);
  EXPECT_EQ(client.error, ClientErrorCode::SoapFault);
  EXPECT_EQ(fault.code, 300);
}

TEST(SoapCall, UnreadableFaultsAreFaultParseFailures) {
  for (const std::string& body : {Fault("Server", "no prefix"), Fault("env:Server", "unbound prefix"),
                                  std::string("<html><body><h1>Internal Server Error</h1></body></html>")}) {
    Outcome o = LoginAnswered(Http("500 Internal Server Error", body));
    EXPECT_EQ(o.hr, kEFail) << body;
    EXPECT_EQ(o.error, ClientErrorCode::FaultParseFailed) << body;
  }
}

TEST(SoapCall, APeerThatNeverAnswersFailsAfterTheTimeOut) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    c.ReadRequest(&request);
    c.Pause(3000);
  });
  Outcome o = LoginAgainst(server.Host(), 300);
  EXPECT_EQ(o.hr, kEFail);
  EXPECT_EQ(o.error, ClientErrorCode::SendFailed);
  EXPECT_TRUE(o.result);
}

TEST(SoapCall, UnreachableHostsAreSendFailures) {
  FullBacklogListener full;
  Outcome hanging = LoginAgainst(u"127.0.0.1:" + std::u16string(u"") + [&] {
    std::string p = std::to_string(full.Port());
    return std::u16string(p.begin(), p.end());
  }(), 300);
  EXPECT_EQ(hanging.error, ClientErrorCode::SendFailed);

  std::string refused = std::to_string(UnusedLoopbackPort());
  Outcome o = LoginAgainst(u"127.0.0.1:" + std::u16string(refused.begin(), refused.end()), 2000);
  EXPECT_EQ(o.hr, kEFail);
  EXPECT_EQ(o.error, ClientErrorCode::SendFailed);

  Outcome unknown = LoginAgainst(u"fotrel-service.invalid", 2000);
  EXPECT_EQ(unknown.error, ClientErrorCode::SendFailed);
}

TEST(SoapCall, TwoCallsShareOneKeptAliveConnection) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("LoginUser", "true"))));
  Passport::CPassportT client(server.Host());
  bool ok = false;
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  int32_t created = 0;
  ASSERT_EQ(client.CreateUser(u"abcd", u"p", u"a@b", &created), kEFail);  // a LoginUser answer
  ok = false;
  // The failed parse did not break the connection; the next call reuses it.
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(SoapCall, AFailedExchangeClosesAndTheNextCallConnectsAgain) {
  ScriptedServer server([](TestConnection& c, int index) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    if (index == 0) {
      c.Send(Http("404 Not Found", "gone"));
      return;
    }
    c.Send(Http("200 OK", Result("LoginUser", "1")));
  });
  Passport::CPassportT client(server.Host());
  bool ok = false;
  EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), kEFail);
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::SendFailed);
  EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::Success);
  EXPECT_TRUE(ok);
  EXPECT_EQ(server.Connections(), 2);
}

TEST(SoapCall, ChunkedAndRedirectedAnswersAreRead) {
  const std::string body = Result("LoginUser", "true");
  ScriptedServer target(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                              [&] {
                                                char size[16];
                                                std::snprintf(size, sizeof size, "%zx", body.size() - 10);
                                                return std::string(size) + "\r\n" + body.substr(0, body.size() - 10) +
                                                       "\r\na\r\n" + body.substr(body.size() - 10) + "\r\n0\r\n\r\n";
                                              }()));
  const std::string location = "http://127.0.0.1:" + std::to_string(target.Port()) + "/WebService/Passport.asmx";
  ScriptedServer redirector(ScriptedServer::Reply("HTTP/1.1 302 Found\r\nLocation: " + location +
                                                  "\r\nContent-Length: 0\r\n\r\n"));
  Passport::CPassportT client(redirector.Host());
  bool ok = false;
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_TRUE(ok);
  ASSERT_EQ(target.Requests().size(), 1u);
}

}  // namespace
