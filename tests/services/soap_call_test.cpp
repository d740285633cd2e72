// How a service call reports each way an exchange can end.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "services/passport.h"
#include "tests/net/net_test_util.h"
#include "tests/services/service_test_util.h"

namespace {

using namespace servicetest;
using nettest::Play;
using nettest::PlayPerConnection;

constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);
const std::string kTrue = Http("200 OK", Result("LoginUser", "true"));

struct Outcome {
  int32_t hr;
  ClientErrorCode error;
  bool result;
  SoapFaultInfo fault;
};

Outcome LoginAgainst(const std::u16string& host, uint32_t timeoutMs = 5000) {
  Passport::CPassportT client(host);
  client.SetTimeout(timeoutMs);
  bool ok = true;  // a failed call must leave it as it was
  const int32_t hr = client.LoginUser(u"u", u"p", &ok);
  return Outcome{hr, client.GetClientError(), ok, client.GetFault()};
}

Outcome LoginAnswered(ScriptedServer::Script script, uint32_t timeoutMs = 5000) {
  ScriptedServer server(std::move(script));
  return LoginAgainst(server.Host(), timeoutMs);
}

std::u16string LoopbackHost(uint16_t port) {
  const std::string text = "127.0.0.1:" + std::to_string(port);
  return std::u16string(text.begin(), text.end());
}

TEST(SoapCall, FailuresMapToClientErrors) {
  FullBacklogListener full;
  const struct {
    const char* name;
    std::function<Outcome()> call;
    ClientErrorCode error;
  } cases[] = {
      {"404", [] { return LoginAnswered(ScriptedServer::Reply(Http("404 Not Found", "<html>missing</html>", "text/html"))); },
       ClientErrorCode::SendFailed},
      {"503", [] { return LoginAnswered(ScriptedServer::Reply(Http("503 Service Unavailable", ""))); },
       ClientErrorCode::SendFailed},
      {"204", [] { return LoginAnswered(ScriptedServer::Reply("HTTP/1.1 204 No Content\r\n\r\n")); },
       ClientErrorCode::ServerStatus},
      {"201", [] { return LoginAnswered(ScriptedServer::Reply(Http("201 Created", Result("LoginUser", "true")))); },
       ClientErrorCode::ServerStatus},
      {"200 empty", [] { return LoginAnswered(ScriptedServer::Reply(Http("200 OK", ""))); }, ClientErrorCode::ReadFailed},
      {"202", [] { return LoginAnswered(ScriptedServer::Reply(Http("202 Accepted", ""))); },
       ClientErrorCode::ParseFailed},
      {"500 empty", [] { return LoginAnswered(ScriptedServer::Reply(Http("500 Internal Server Error", ""))); },
       ClientErrorCode::SoapFault},
      // Faults that cannot be read.
      {"fault code without prefix",
       [] { return LoginAnswered(ScriptedServer::Reply(Http("500 Internal Server Error", Fault("Server", "x")))); },
       ClientErrorCode::FaultParseFailed},
      {"fault code with an unbound prefix",
       [] { return LoginAnswered(ScriptedServer::Reply(Http("500 Internal Server Error", Fault("env:Server", "x")))); },
       ClientErrorCode::FaultParseFailed},
      {"HTML fault",
       [] {
         return LoginAnswered(ScriptedServer::Reply(
             Http("500 Internal Server Error", "<html><body><h1>Internal Server Error</h1></body></html>")));
       },
       ClientErrorCode::FaultParseFailed},
      // A peer that never answers, a connection that never completes, a refusal, an unknown name.
      {"no answer", [] { return LoginAnswered(Play({nettest::kHang}), 300); }, ClientErrorCode::SendFailed},
      {"full accept queue", [&full] { return LoginAgainst(LoopbackHost(full.Port()), 300); },
       ClientErrorCode::SendFailed},
      {"refused", [] { return LoginAgainst(LoopbackHost(UnusedLoopbackPort()), 2000); }, ClientErrorCode::SendFailed},
      {".invalid", [] { return LoginAgainst(u"fotrel-service.invalid", 2000); }, ClientErrorCode::SendFailed},
  };
  for (const auto& c : cases) {
    const Outcome o = c.call();
    EXPECT_EQ(o.hr, kEFail) << c.name;
    EXPECT_EQ(o.error, c.error) << c.name;
    EXPECT_TRUE(o.result) << c.name;
  }
}

TEST(SoapCall, ServerFaultIsParsedIntoTheFaultRecord) {
  Outcome o = LoginAnswered(
      ScriptedServer::Reply(Http("500 Internal Server Error", Fault("soap:Server", "database &amp; disk down"))));
  EXPECT_EQ(o.hr, kEFail);
  EXPECT_EQ(o.error, ClientErrorCode::SoapFault);
  EXPECT_EQ(o.fault.code, 400);
  EXPECT_EQ(o.fault.codeText, u"Server");
  EXPECT_EQ(o.fault.faultString, u"database & disk down");
  o = LoginAnswered(ScriptedServer::Reply(Http("500 Internal Server Error", Fault("soap:Client", "missing username"))));
  EXPECT_EQ(o.error, ClientErrorCode::SoapFault);
  EXPECT_EQ(o.fault.code, 300);
}

TEST(SoapCall, KeptAliveConnectionSurvivesAParseFailureButNotAFailedExchange) {
  // Two calls on one kept-alive connection; a failed parse (a LoginUser answer to CreateUser)
  // does not break it. A one-way answer then never reads the earlier response.
  ScriptedServer server(Play({kTrue, nettest::kRead, kTrue, nettest::kRead, kTrue, nettest::kRead,
                              "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n"}));
  Passport::CPassportT client(server.Host());
  bool ok = false;
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  int32_t created = 0;
  ASSERT_EQ(client.CreateUser(u"abcd", u"p", u"a@b", &created), kEFail);
  ok = false;
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_TRUE(ok);
  ok = false;
  EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), kEFail);
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::ParseFailed);
  EXPECT_FALSE(ok);
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(server.Requests().size(), 4u);
  // A failed exchange closes; the next call connects again.
  ScriptedServer failing(PlayPerConnection({{Http("404 Not Found", "gone")}, {Http("200 OK", Result("LoginUser", "1"))}}));
  Passport::CPassportT second(failing.Host());
  EXPECT_EQ(second.LoginUser(u"u", u"p", &ok), kEFail);
  EXPECT_EQ(second.GetClientError(), ClientErrorCode::SendFailed);
  EXPECT_EQ(second.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_EQ(second.GetClientError(), ClientErrorCode::Success);
  EXPECT_TRUE(ok);
  EXPECT_EQ(failing.Connections(), 2);
}

TEST(SoapCall, ChunkedAndRedirectedAnswersAreRead) {
  const std::string body = Result("LoginUser", "true");
  char size[16];
  std::snprintf(size, sizeof size, "%zx", body.size() - 10);
  ScriptedServer target(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                              std::string(size) + "\r\n" + body.substr(0, body.size() - 10) +
                                              "\r\na\r\n" + body.substr(body.size() - 10) + "\r\n0\r\n\r\n"));
  ScriptedServer redirector(ScriptedServer::Reply("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" +
                                                  std::to_string(target.Port()) +
                                                  "/WebService/Passport.asmx\r\nContent-Length: 0\r\n\r\n"));
  Passport::CPassportT client(redirector.Host());
  bool ok = false;
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(target.Requests().size(), 1u);
}

}  // namespace
