// Connections across exchanges (kept, closed on request or failure, never made) and redirects.
#include <gtest/gtest.h>

#include <string>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Redirect(const std::string& location, const std::string& extra = "") {
  return "HTTP/1.1 302 Moved\r\nLocation: " + location + "\r\n" + extra + "Content-Length: 5\r\n\r\nmoved";
}

TEST(HttpConnectionTest, KeptClosedOnRequestAndReconnectedAfterFailure) {
  Fetch kept(Sequence({Ok("first"), Ok("second")}));
  ASSERT_TRUE(kept("/1") && kept("/2"));
  EXPECT_EQ(kept.Body(), "second");
  EXPECT_EQ(kept.server.Connections(), 1);
  Fetch closing(Play({"HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 2\r\n\r\nok", kClose}));
  ASSERT_TRUE(closing());
  EXPECT_FALSE(closing.client.IsConnected());
  ASSERT_TRUE(closing());
  EXPECT_EQ(closing.server.Connections(), 2);
  // A kept connection the server has closed fails the next exchange (no retry); the one after reconnects.
  Fetch dropped(PlayPerConnection({{Ok("0"), kClose}, {Ok("1")}}));
  ASSERT_TRUE(dropped());
  EXPECT_FALSE(dropped());
  ASSERT_TRUE(dropped());
  EXPECT_EQ(dropped.Body(), "1");
}

TEST(HttpConnectionTest, ConnectFailures) {
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  {
    FullBacklogListener listener;  // connects never complete
    EXPECT_FALSE(client.Exchange(PortUrl(listener.Port()), &s));
    EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NothingRead);
  }
  s.timeout = kNormalTimeoutMs;
  EXPECT_FALSE(client.Exchange(PortUrl(UnusedLoopbackPort()), &s));
  EXPECT_EQ(client.LastError(), uint32_t(kSockErrRefused));
  EXPECT_EQ(client.StatusCode(), -1);
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpConnectionTest, RedirectsRepeatThePostAndStopAfterTen) {
  Fetch fetch(PlayPerConnection({{Redirect("../moved", "Connection: close\r\n"), kClose}, {Ok("final")}}));
  const std::string body = "<envelope/>";
  fetch.s.method = u"POST";
  fetch.s.body = body.data();
  fetch.s.bodyLength = static_cast<uint32_t>(body.size());
  ASSERT_TRUE(fetch("/a/svc"));
  EXPECT_EQ(fetch.Body(), "final");
  ASSERT_EQ(fetch.server.Requests().size(), 2u);
  EXPECT_EQ(fetch.server.Requests()[1], "POST /a/../moved HTTP/1.1\r\nContent-Length: 11\r\n" +
                                            HostHeader(fetch.server) + "User-Agent: Fotrel-Native/1.0\r\n\r\n" + body);
  struct Case {
    std::string name, response;
    bool ok;
    size_t requests;
  } cases[] = {
      // Ten redirects are followed; the eleventh is left to the caller with its status.
      {"endless loop", Redirect("/loop"), true, 11},
      {"folded location", "HTTP/1.1 302 Found\r\nLocation: /x\r\n X-Injected: 1\r\nContent-Length: 0\r\n\r\n", false,
       1},
      {"https", Redirect("https://127.0.0.1/secure"), false, 1},
  };
  for (const Case& c : cases) {
    Fetch loop(c.response);
    EXPECT_EQ(loop(), c.ok) << c.name;
    EXPECT_EQ(loop.client.StatusCode(), 302) << c.name;
    EXPECT_EQ(loop.server.Requests().size(), c.requests) << c.name;
  }
}

}  // namespace
