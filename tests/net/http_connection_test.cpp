// Connections across exchanges: kept alive, closed on request or on failure, failures to connect.
#include <gtest/gtest.h>

#include <string>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

TEST(HttpConnectionTest, TwoExchangesShareOneKeptConnection) {
  ScriptedServer server(Sequence({"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst",
                                  "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond"}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/1"), &s));
  EXPECT_EQ(BodyOf(client), "first");
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/2"), &s));
  EXPECT_EQ(BodyOf(client), "second");
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpConnectionTest, ConnectionCloseMakesTheNextExchangeConnectAgain) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 2\r\n\r\nok");
    c.Close();
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(BodyOf(client), "ok");
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(server.Connections(), 2);
}

TEST(HttpConnectionTest, KeptConnectionIsNotReusedForAnotherServer) {
  ScriptedServer first(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nA"));
  ScriptedServer second(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nB"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(first, "/"), &s));
  ASSERT_TRUE(client.Exchange(UrlOf(second, "/"), &s));
  EXPECT_EQ(BodyOf(client), "B");
  EXPECT_EQ(first.Connections(), 1);
  EXPECT_EQ(second.Connections(), 1);
  EXPECT_EQ(second.Requests().size(), 1u);
}

TEST(HttpConnectionTest, FailedExchangeClosesAndTheNextOneReconnects) {
  ScriptedServer server(Sequence({"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\noops",
                                  "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 500);
  EXPECT_EQ(BodyOf(client), "oops");
  EXPECT_FALSE(client.IsConnected());
  // A new connection: the script starts over with its first answer.
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(server.Connections(), 2);
}

TEST(HttpConnectionTest, ConnectionThatNeverCompletesFailsAfterTheTimeout) {
  FullBacklogListener listener;
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  EXPECT_FALSE(client.Exchange(u"http://127.0.0.1:" + U16(std::to_string(listener.Port())) + u"/", &s));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(client.StatusCode(), -1);
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NothingRead);
}

TEST(HttpConnectionTest, RefusedConnectionFailsWithTheRefusal) {
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(u"http://127.0.0.1:" + U16(std::to_string(UnusedLoopbackPort())) + u"/", &s));
  EXPECT_EQ(client.LastError(), uint32_t(kSockErrRefused));
  EXPECT_EQ(client.StatusCode(), -1);
}

TEST(HttpConnectionTest, UnresolvableHostFails) {
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  EXPECT_FALSE(client.Exchange(u"http://nonexistent.invalid/x", &s));
  EXPECT_NE(client.LastError(), 0u);
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpConnectionTest, ServerClosingAKeptConnectionFailsTheNextExchange) {
  // No retry: the exchange that finds the connection gone fails, the one after reconnects.
  ScriptedServer server([](TestConnection& c, int index) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n" + std::to_string(index));
    if (index == 0) c.Close();
    else c.ReadRequest(&request);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_TRUE(client.IsConnected());
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_FALSE(client.IsConnected());
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "1");
  EXPECT_EQ(server.Connections(), 2);
}

}  // namespace
