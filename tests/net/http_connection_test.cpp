// Connections across exchanges: kept alive, closed on request or on failure, failures to connect.
#include <gtest/gtest.h>

#include <string>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(HttpConnectionTest, TwoExchangesShareOneKeptConnection) {
  Fetch fetch(Sequence({Ok("first"), Ok("second")}));
  ASSERT_TRUE(fetch("/1"));
  EXPECT_EQ(fetch.Body(), "first");
  ASSERT_TRUE(fetch("/2"));
  EXPECT_EQ(fetch.Body(), "second");
  EXPECT_EQ(fetch.server.Connections(), 1);
  EXPECT_EQ(fetch.server.Requests().size(), 2u);
  // Another server gets its own connection.
  ScriptedServer other(ScriptedServer::Reply(Ok("B")));
  ASSERT_TRUE(fetch.client.Exchange(UrlOf(other, "/"), &fetch.s));
  EXPECT_EQ(fetch.Body(), "B");
  EXPECT_EQ(fetch.server.Requests().size(), 2u);
  EXPECT_EQ(other.Connections(), 1);
}

TEST(HttpConnectionTest, ConnectionCloseMakesTheNextExchangeConnectAgain) {
  Fetch fetch(Play({"HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 2\r\n\r\nok", kClose}));
  ASSERT_TRUE(fetch());
  EXPECT_FALSE(fetch.client.IsConnected());
  EXPECT_EQ(fetch.Body(), "ok");
  ASSERT_TRUE(fetch());
  EXPECT_EQ(fetch.server.Connections(), 2);
}

TEST(HttpConnectionTest, FailuresCloseAndTheNextExchangeReconnects) {
  // A refused status closes the connection; the new one starts the script over.
  Fetch refused(Sequence({"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\noops", Ok("ok")}));
  EXPECT_FALSE(refused());
  EXPECT_EQ(refused.client.StatusCode(), 500);
  EXPECT_FALSE(refused.client.IsConnected());
  EXPECT_FALSE(refused());
  EXPECT_EQ(refused.server.Connections(), 2);
  // A kept connection the server has closed fails the next exchange (no retry); the one after
  // reconnects.
  Fetch closing(PlayPerConnection({{Ok("0"), kClose}, {Ok("1")}}));
  ASSERT_TRUE(closing());
  EXPECT_TRUE(closing.client.IsConnected());
  EXPECT_FALSE(closing());
  EXPECT_FALSE(closing.client.IsConnected());
  ASSERT_TRUE(closing());
  EXPECT_EQ(closing.Body(), "1");
  EXPECT_EQ(closing.server.Connections(), 2);
}

TEST(HttpConnectionTest, ConnectFailures) {
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  {
    // A connection that never completes (the accept queue is full) fails after the time-out.
    FullBacklogListener listener;
    EXPECT_FALSE(client.Exchange(PortUrl(listener.Port()), &s));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.StatusCode(), -1);
    EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NothingRead);
  }
  EXPECT_FALSE(client.Exchange(u"http://nonexistent.invalid/x", &s));
  EXPECT_NE(client.LastError(), 0u);
  EXPECT_FALSE(client.IsConnected());
  s.timeout = kNormalTimeoutMs;
  EXPECT_FALSE(client.Exchange(PortUrl(UnusedLoopbackPort()), &s));
  EXPECT_EQ(client.LastError(), uint32_t(kSockErrRefused));
  EXPECT_EQ(client.StatusCode(), -1);
}

}  // namespace
