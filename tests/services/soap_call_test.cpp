// How a service call reports each way an exchange can end.
#include <gtest/gtest.h>

#include <chrono>
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
      {"204", [] { return LoginAnswered(ScriptedServer::Reply("HTTP/1.1 204 No Content\r\n\r\n")); },
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
      // A peer that never answers, a connection that never completes, a refusal, an unknown name.
      {"no answer", [] { return LoginAnswered(Play({nettest::kHang}), 300); }, ClientErrorCode::SendFailed},
      {"full accept queue", [&full] { return LoginAgainst(LoopbackHost(full.Port()), 300); },
       ClientErrorCode::SendFailed},
      {"refused", [] { return LoginAgainst(LoopbackHost(UnusedLoopbackPort()), 2000); }, ClientErrorCode::SendFailed},
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
}

TEST(SoapCall, StopEndsTheCallInFlightAndTheClientCarriesOnAfterReset) {
  const std::string answer = Http("200 OK", Result("LoginUser", "true"));
  // The first connection never answers; later ones answer at once.
  ScriptedServer server(PlayPerConnection({{nettest::kHang}, {answer}}));
  Passport::CPassportT client(server.Host());
  CStopSignal stop;
  client.SetStopSignal(&stop);
  bool ok = false;
  double ms = 0;
  int32_t hr = 0;
  {
    nettest::DelayedRaise raise(stop, 300);
    hr = client.LoginUser(u"u", u"p", &ok);
    ms = raise.MsSinceRaise();
  }
  std::printf("  stop -> failed return of a call on a silent server: %.1f ms\n", ms);
  EXPECT_LT(ms, 5000);
  EXPECT_EQ(hr, kEFail);
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::SendFailed);
  EXPECT_EQ(client.Http().LastError(), uint32_t(kSockErrInterrupted));
  EXPECT_TRUE(client.WasStopped());
  EXPECT_FALSE(ok);
  // Still raised: the next call fails at once, without touching the network.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), kEFail);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(client.WasStopped());
  EXPECT_EQ(server.Connections(), 1);
  stop.Reset();
  ASSERT_EQ(client.LoginUser(u"u", u"p", &ok), 0);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(client.WasStopped());
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::Success);
}

TEST(SoapCall, CallDeadlineEndsATricklingAnswer) {
  Passport::CPassportT defaults(u"127.0.0.1:1");
  EXPECT_EQ(defaults.CallDeadline(), 60000u);
  // A byte every 100 ms: no single wait runs out, only the whole call does.
  ScriptedServer server(nettest::Trickle(Http("200 OK", Result("LoginUser", "true")), 100));
  Passport::CPassportT client(server.Host());
  client.SetTimeout(1000);
  client.SetCallDeadline(1500);
  bool ok = false;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.LoginUser(u"u", u"p", &ok), kEFail);
  const auto spent = std::chrono::steady_clock::now() - start;
  EXPECT_GE(spent, std::chrono::milliseconds(1400));
  EXPECT_LT(spent, std::chrono::seconds(5));
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::SendFailed);
  EXPECT_EQ(client.Http().LastError(), uint32_t(kSockErrTimedOut));
  EXPECT_FALSE(client.WasStopped());
}

}  // namespace
