// Connections across exchanges (kept, closed on request or failure, never made) and redirects.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

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
  // A kept connection the server has closed since, or one that holds bytes nobody asked for, is
  // noticed before the next exchange, which connects anew.
  for (const std::string& first : {Ok("0"), Ok("0") + "HTTP/1.1 200 OK\r\n"}) {
    Fetch dropped(PlayPerConnection({{first, kClose}, {Ok("1")}}));
    ASSERT_TRUE(dropped());
    for (int i = 0; i < 200 && dropped.client.IsReusable(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(dropped.client.IsReusable());
    ASSERT_TRUE(dropped());
    EXPECT_EQ(dropped.Body(), "1");
    EXPECT_EQ(dropped.server.Connections(), 2);
  }
}

TEST(HttpConnectionTest, VersionAndConnectionHeaderDecideWhetherTheConnectionIsKept) {
  const struct {
    std::string version, connection;  // connection: the header lines, "" for none
    bool kept;
  } cases[] = {
      {"HTTP/1.1", "", true},
      {"HTTP/1.1", "Connection: close\r\n", false},
      {"HTTP/1.1", "Connection: CLOSE\r\n", false},
      {"HTTP/1.1", "Connection: keep-alive, close\r\n", false},
      {"HTTP/1.1", "Connection: TE ,\t Close \r\n", false},
      {"HTTP/1.1", "Connection: TE\r\nConnection: close\r\n", false},
      {"HTTP/1.1", "Connection: closed\r\n", true},
      {"HTTP/1.1", "Connection: keep-alive\r\n", true},
      {"HTTP/1.0", "", false},
      {"HTTP/1.0", "Connection: keep-alive\r\n", true},
      {"HTTP/1.0", "Connection: Keep-Alive\r\n", true},
      {"HTTP/1.0", "Connection: TE, keep-alive\r\n", true},
      {"HTTP/1.0", "Connection: TE\r\nConnection: keep-alive\r\n", true},
      {"HTTP/1.0", "Connection: keep-alive, close\r\n", false},
      {"HTTP/1.0", "Connection: keep-alives\r\n", false},
      {"HTTP/1.0", "Keep-Alive: timeout=5\r\n", false},
  };
  for (const auto& c : cases) {
    Fetch fetch(c.version + " 200 OK\r\n" + c.connection + "Content-Length: 2\r\n\r\nok");
    ASSERT_TRUE(fetch()) << c.version << " " << c.connection;
    EXPECT_EQ(fetch.client.IsConnected(), c.kept) << c.version << " " << c.connection;
    ASSERT_TRUE(fetch());
    EXPECT_EQ(fetch.server.Connections(), c.kept ? 1 : 2) << c.version << " " << c.connection;
  }
}

TEST(HttpConnectionTest, OnlyARequestThatFailedToLeaveAKeptConnectionIsSentAgain) {
  struct Case {
    const char* name;
    bool reused;        // a first exchange leaves a kept connection
    int failingSends;   // sends that fail halfway
    bool ok;
    int sends, connections;
  } cases[] = {
      {"kept connection", true, 1, true, 2, 2},
      {"kept connection, fails again", true, 2, false, 2, 2},
      {"fresh connection", false, 1, false, 1, 1},
  };
  for (const Case& c : cases) {
    Fetch fetch(Sequence({Ok("0"), Ok("1")}));
    if (c.reused) {
      ASSERT_TRUE(fetch()) << c.name;
    }
    int sends = 0;
    fetch.s.flags |= kHttpSendCallback;
    fetch.s.sendCallback = [&](CHttpClient& client, const std::string& text) {
      // Half the request leaves; then the send fails.
      const bool fail = ++sends <= c.failingSends;
      std::string part = fail ? text.substr(0, text.size() / 2) : text;
      const SocketBuffer buffer{static_cast<uint32_t>(part.size()), &part[0]};
      uint32_t sent = 0;
      return client.Write(&buffer, 1, &sent) && !fail;
    };
    EXPECT_EQ(fetch(), c.ok) << c.name;
    EXPECT_EQ(sends, c.sends) << c.name;
    // The server counts a connection when it accepts it, which may be after the client gave up.
    for (int i = 0; i < 100 && fetch.server.Connections() < c.connections; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(fetch.server.Connections(), c.connections) << c.name;
    // The fresh connection answers with its first response.
    if (c.ok) {
      EXPECT_EQ(fetch.Body(), "0") << c.name;
    }
  }
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
