// The exact bytes of requests on the wire.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"
#include "tests/support/loopback_socket.h"

namespace {

using namespace nettest;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string Pattern(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return body;
}

HttpRequestSettings SoapLike(const std::string& body) {
  HttpRequestSettings s = Settings();
  s.extraHeaders = u"SOAPAction: \"http://tempuri.org/LoginUser\"\r\nAccept: text/xml\r\n";
  s.method = u"POST";
  s.contentType = u"text/xml; charset=utf-8";
  s.bodyLength = static_cast<uint32_t>(body.size());
  s.body = body.data();
  s.flags = kHttpFollowRedirects | kHttpJudgeStatus | kHttpSendBlocks;
  return s;
}

TEST(HttpRequestTest, DefaultRequestIsAPlainGet) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  client.SetTimeout(kNormalTimeoutMs);
  // No settings record: the defaults apply (GET, no body, 10000 ms).
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/page.aspx?user=a&x=1"), nullptr));
  EXPECT_EQ(client.Timeout(), 10000u);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], "GET /page.aspx?user=a&x=1 HTTP/1.1\r\n" + HostHeader(server) +
                             "User-Agent: Fotrel-Native/1.0\r\n\r\n");
}

TEST(HttpRequestTest, EmptyPathBecomesSlash) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(u"http://" + server.Host(), &s));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(0, 16), "GET / HTTP/1.1\r\n");
  EXPECT_EQ(client.CurrentUrl().path, u"/");
}

TEST(HttpRequestTest, PostCarriesHeadersInOrderThenTheBody) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  const std::string body = "<?xml version=\"1.0\"?><a>\xE4\xB8\xAD</a>";
  HttpRequestSettings s = SoapLike(body);
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/WebService/Passport.asmx"), &s));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "POST /WebService/Passport.asmx HTTP/1.1\r\n"
            "Content-Length: " + std::to_string(body.size()) + "\r\n"
            "Content-Type: text/xml; charset=utf-8\r\n"
            "SOAPAction: \"http://tempuri.org/LoginUser\"\r\n"
            "Accept: text/xml\r\n" +
                HostHeader(server) + "User-Agent: Fotrel-Native/1.0\r\n\r\n" + body);
  EXPECT_EQ(BodyOf(client), "ok");
}

TEST(HttpRequestTest, EmptyContentTypeAndZeroLengthAreLeftOut) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  s.method = u"DELETE";
  s.extraHeaders = u"X-One: 1\r\n";
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/r"), &s));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "DELETE /r HTTP/1.1\r\nX-One: 1\r\n" + HostHeader(server) + "User-Agent: Fotrel-Native/1.0\r\n\r\n");
}

TEST(HttpRequestTest, SettingsPortAppliesWhenTheUrlHasNone) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  s.port = server.Port();
  ASSERT_TRUE(client.Exchange(u"http://127.0.0.1/p", &s));
  EXPECT_EQ(client.CurrentUrl().port, server.Port());
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find(HostHeader(server)), std::string::npos);
}

TEST(HttpRequestTest, HostHeaderHasNoPortForPortEighty) {
  uint16_t port = 0;
  loopback::Startup();
  // Port 80 needs the rights to bind it and nobody else on it; without them nothing is shown.
  const loopback::Handle listener = loopback::ListenAt(80, 4, &port);
  if (listener == loopback::kInvalid) GTEST_SKIP() << "port 80 not available";
  std::string request;
  std::thread peer([&] {
    if (loopback::WaitReadable(listener, 5000) <= 0) return;
    const loopback::Handle c = loopback::Accept(listener);
    if (c == loopback::kInvalid) return;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && loopback::WaitReadable(c, 5000) > 0) {
      const long n = loopback::Recv(c, buffer, sizeof buffer);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    loopback::Send(c, kOk.data(), kOk.size());
    loopback::WaitReadable(c, 5000);  // until the client closes
    loopback::Close(c);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_TRUE(client.Exchange(u"http://127.0.0.1/x", &s));
  client.Close();
  peer.join();
  loopback::Close(listener);
  EXPECT_EQ(request, "GET /x HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Fotrel-Native/1.0\r\n\r\n");
}

TEST(HttpRequestTest, BodyGoesInBlocksAndArrivesWhole) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  const std::string body = Pattern(3 * 4096 + 123);
  HttpRequestSettings s = SoapLike(body);
  std::vector<uint32_t> progress;
  s.onSend = [&progress](uint32_t sent, uint32_t total) {
    EXPECT_EQ(total, 3u * 4096 + 123);
    progress.push_back(sent);
  };
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/up"), &s));
  EXPECT_EQ(progress, (std::vector<uint32_t>{4096, 8192, 12288, 12411}));
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string request = server.Requests()[0];
  const size_t headEnd = request.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos);
  EXPECT_EQ(request.substr(headEnd + 4), body);
  EXPECT_NE(request.find("Content-Length: 12411\r\n"), std::string::npos);
}

TEST(HttpRequestTest, SmallerSendBlocksStillDeliverEveryByte) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  const std::string body = Pattern(10000);
  HttpRequestSettings s = SoapLike(body);
  s.sendBlockSize = 1000;
  int sends = 0;
  s.onSend = [&sends](uint32_t, uint32_t) { ++sends; };
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/up"), &s));
  EXPECT_EQ(sends, 10);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(server.Requests()[0].size() - body.size()), body);
}

TEST(HttpRequestTest, WithoutBlockFlagTheBodyGoesInOneGatheredSend) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  const std::string body = Pattern(9000);
  HttpRequestSettings s = SoapLike(body);
  s.flags = kHttpJudgeStatus;
  int sends = 0;
  s.onSend = [&sends](uint32_t sent, uint32_t total) {
    EXPECT_EQ(sent, total);
    ++sends;
  };
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/up"), &s));
  EXPECT_EQ(sends, 1);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(server.Requests()[0].size() - body.size()), body);
}

TEST(HttpRequestTest, SendCallbackWritesTheRequestItself) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  s.flags = kHttpSendCallback | kHttpJudgeStatus;
  std::string seen;
  s.sendCallback = [&seen](CHttpClient& c, const std::string& text) {
    seen = text;
    std::string copy = text;
    const SocketBuffer one{static_cast<uint32_t>(copy.size()), &copy[0]};
    uint32_t sent = 0;
    return c.Write(&one, 1, &sent) && sent == copy.size();
  };
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/cb"), &s));
  EXPECT_EQ(seen, "GET /cb HTTP/1.1\r\n" + HostHeader(server) + "User-Agent: Fotrel-Native/1.0\r\n\r\n");

  s.sendCallback = [](CHttpClient&, const std::string&) { return false; };
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/cb"), &s));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NothingRead);
}

TEST(HttpRequestTest, RefusesWhatCannotBeSent) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(u"https://" + server.Host() + u"/", &s));
  EXPECT_FALSE(client.Exchange(u"ftp://" + server.Host() + u"/", &s));
  EXPECT_FALSE(client.Exchange(u"http:///nohost", &s));
  EXPECT_FALSE(client.Exchange(u"http://" + server.Host() + u"/a b", &s));
  s.method = u"GET /evil";
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  s.method = u"POST";
  s.bodyLength = 5;  // and no body
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), -1);
  EXPECT_EQ(server.Connections(), 0);
}

}  // namespace
