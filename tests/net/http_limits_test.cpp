// Bounds against a hostile peer: the response size and the number of header lines.
#include <gtest/gtest.h>

#include <string>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

constexpr size_t kSmallCap = 64 * 1024;

// A client whose response cap is small enough to test without sending 64 MiB.
class SmallCapClient : public CHttpClient {
 public:
  explicit SmallCapClient(size_t cap) { m_maxResponseBytes = cap; }
};

// Streams `total` body bytes without a length, then closes.
ScriptedServer::Script Streamer(const std::string& head, size_t total) {
  return [head, total](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    if (!c.Send(head)) return;
    const std::string block(8192, 's');
    for (size_t sent = 0; sent < total; sent += block.size()) {
      if (!c.Send(block.substr(0, std::min(block.size(), total - sent)))) return;
    }
    c.Close();
  };
}

TEST(HttpLimitsTest, DefaultBounds) {
  EXPECT_EQ(CHttpClient::kMaxResponseBytes, size_t(64) << 20);
  EXPECT_EQ(CHttpClient::kMaxHeaderLines, 1000u);
  EXPECT_EQ(CHttpClient::kMaxRedirects, 10);
}

TEST(HttpLimitsTest, BodyToTheCloseBeyondTheCapFails) {
  ScriptedServer server(Streamer("HTTP/1.1 200 OK\r\n\r\n", 4 * kSmallCap));
  SmallCapClient client(kSmallCap);
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BodyShort);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_LE(client.BodyLength(), kSmallCap + 1);
}

TEST(HttpLimitsTest, ResponseExactlyAtTheCapIsRead) {
  const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
  ScriptedServer server(Streamer(head, kSmallCap - head.size()));
  SmallCapClient client(kSmallCap);
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.BodyLength(), kSmallCap - head.size());
}

TEST(HttpLimitsTest, AnnouncedLengthBeyondTheCapFailsAtOnce) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSmallCap) +
                                              "\r\n\r\nabc"));
  SmallCapClient client(kSmallCap);
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BodyShort);

  // The real cap: a length of more than 64 MiB is refused before anything is read.
  ScriptedServer huge(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabc"));
  CHttpClient plain;
  EXPECT_FALSE(plain.Exchange(UrlOf(huge, "/"), &s));
  EXPECT_EQ(plain.LastReadResult(), ResponseReadResult::BodyShort);
}

TEST(HttpLimitsTest, ChunkedBodyBeyondTheCapFails) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    if (!c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")) return;
    const std::string chunk = "2000\r\n" + std::string(0x2000, 'c') + "\r\n";
    for (int i = 0; i < 40; ++i) {
      if (!c.Send(chunk)) return;
    }
    c.Send("0\r\n\r\n");
  });
  SmallCapClient client(kSmallCap);
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BadChunked);
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpLimitsTest, HeaderBlockBeyondTheCapFails) {
  ScriptedServer server(Streamer("HTTP/1.1 200 OK\r\nX-Endless: ", 4 * kSmallCap));
  SmallCapClient client(kSmallCap);
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BadHeaders);
  EXPECT_FALSE(client.IsConnected());
}

std::string ManyHeaderLines(size_t count) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (size_t i = 0; i + 1 < count; ++i) head += "X-H" + std::to_string(i) + ": v\r\n";
  return head + "Content-Length: 2\r\n\r\nok";
}

TEST(HttpLimitsTest, HeaderLinesUpToTheBoundAreRead) {
  ScriptedServer server(ScriptedServer::Reply(ManyHeaderLines(CHttpClient::kMaxHeaderLines)));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.Headers().size(), CHttpClient::kMaxHeaderLines);
  EXPECT_EQ(BodyOf(client), "ok");
}

TEST(HttpLimitsTest, OneHeaderLineMoreFails) {
  ScriptedServer server(ScriptedServer::Reply(ManyHeaderLines(CHttpClient::kMaxHeaderLines + 1)));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BadHeaders);
  EXPECT_FALSE(client.IsConnected());
}

}  // namespace
