// The exact bytes of requests on the wire.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"
#include "tests/support/loopback_socket.h"

namespace {

using namespace nettest;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
const std::string kAgent = "User-Agent: Fotrel-Native/1.0\r\n\r\n";

std::string Pattern(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return body;
}

void SoapLike(HttpRequestSettings& s, const std::string& body) {
  s.extraHeaders = u"SOAPAction: \"http://tempuri.org/LoginUser\"\r\nAccept: text/xml\r\n";
  s.method = u"POST";
  s.contentType = u"text/xml; charset=utf-8";
  s.bodyLength = static_cast<uint32_t>(body.size());
  s.body = body.data();
}

TEST(HttpRequestTest, ExactRequestBytes) {
  ScriptedServer server(ScriptedServer::Reply(kOk));
  const std::string host = HostHeader(server);
  const std::string body = "<?xml version=\"1.0\"?><a>\xE4\xB8\xAD</a>";
  struct Case {
    std::u16string url;
    std::function<void(HttpRequestSettings&)> tweak;  // none: no settings record at all
    std::string expected;
  } cases[] = {
      {UrlOf(server, "/page.aspx?user=a&x=1"), nullptr, "GET /page.aspx?user=a&x=1 HTTP/1.1\r\n" + host + kAgent},
      {u"http://" + server.Host(), [](HttpRequestSettings&) {}, "GET / HTTP/1.1\r\n" + host + kAgent},
      {UrlOf(server, "/WebService/Passport.asmx"), [&](HttpRequestSettings& s) { SoapLike(s, body); },
       "POST /WebService/Passport.asmx HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: \"http://tempuri.org/LoginUser\"\r\n"
           "Accept: text/xml\r\n" + host + kAgent + body},
      // No content type and no length when there are none.
      {UrlOf(server, "/r"),
       [](HttpRequestSettings& s) {
         s.method = u"DELETE";
         s.extraHeaders = u"X-One: 1\r\n";
       },
       "DELETE /r HTTP/1.1\r\nX-One: 1\r\n" + host + kAgent},
      // The settings' port applies when the URL has none.
      {u"http://127.0.0.1/p", [&](HttpRequestSettings& s) { s.port = server.Port(); },
       "GET /p HTTP/1.1\r\n" + host + kAgent},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    CHttpClient client;
    HttpRequestSettings s = Settings();
    if (cases[i].tweak) cases[i].tweak(s);
    client.SetTimeout(kNormalTimeoutMs);
    ASSERT_TRUE(client.Exchange(cases[i].url, cases[i].tweak ? &s : nullptr)) << i;
    EXPECT_EQ(BodyOf(client), "ok");
    ASSERT_EQ(server.Requests().size(), i + 1);
    EXPECT_EQ(server.Requests()[i], cases[i].expected) << i;
    if (!cases[i].tweak) {  // the default settings' time-out
      EXPECT_EQ(client.Timeout(), 10000u);
    }
  }
}

TEST(HttpRequestTest, HostHeaderHasNoPortForPortEighty) {
  uint16_t port = 0;
  loopback::Startup();
  // Port 80 needs the rights to bind it and nobody else on it.
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
  EXPECT_EQ(request, "GET /x HTTP/1.1\r\nHost: 127.0.0.1\r\n" + kAgent);
}

TEST(HttpRequestTest, BodyGoesInBlocksOrOneSendAndArrivesWhole) {
  struct Case {
    uint32_t flags, blockSize;
    size_t size;
    std::vector<uint32_t> progress;
  } cases[] = {
      {kHttpSendBlocks, 4096, 3 * 4096 + 123, {4096, 8192, 12288, 12411}},
      {kHttpSendBlocks, 1000, 10000, {1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000}},
      {0, 4096, 9000, {9000}},  // without the block flag: one gathered send
  };
  for (const Case& c : cases) {
    ScriptedServer server(ScriptedServer::Reply(kOk));
    CHttpClient client;
    const std::string body = Pattern(c.size);
    HttpRequestSettings s = Settings();
    SoapLike(s, body);
    s.flags = c.flags | kHttpJudgeStatus;
    s.sendBlockSize = c.blockSize;
    std::vector<uint32_t> progress;
    s.onSend = [&](uint32_t sent, uint32_t total) {
      EXPECT_EQ(total, c.size);
      progress.push_back(sent);
    };
    ASSERT_TRUE(client.Exchange(UrlOf(server, "/up"), &s)) << c.size;
    EXPECT_EQ(progress, c.progress) << c.size;
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), body) << c.size;
    EXPECT_NE(request.find("Content-Length: " + std::to_string(c.size) + "\r\n"), std::string::npos);
  }
}

TEST(HttpRequestTest, SendCallbackWritesTheRequestItself) {
  Fetch fetch(kOk);
  fetch.s.flags = kHttpSendCallback | kHttpJudgeStatus;
  std::string seen;
  fetch.s.sendCallback = [&seen](CHttpClient& c, const std::string& text) {
    seen = text;
    std::string copy = text;
    const SocketBuffer one{static_cast<uint32_t>(copy.size()), &copy[0]};
    uint32_t sent = 0;
    return c.Write(&one, 1, &sent) && sent == copy.size();
  };
  ASSERT_TRUE(fetch("/cb"));
  EXPECT_EQ(seen, "GET /cb HTTP/1.1\r\n" + HostHeader(fetch.server) + kAgent);
  fetch.s.sendCallback = [](CHttpClient&, const std::string&) { return false; };
  EXPECT_FALSE(fetch("/cb"));
  EXPECT_FALSE(fetch.client.IsConnected());
  EXPECT_EQ(fetch.client.LastReadResult(), ResponseReadResult::NothingRead);
}

TEST(HttpRequestTest, RefusesWhatCannotBeSent) {
  Fetch fetch(kOk);
  const std::u16string host = fetch.server.Host();
  for (const std::u16string& url : {u"https://" + host + u"/", u"ftp://" + host + u"/", std::u16string(u"http:///nohost"),
                                    u"http://" + host + u"/a b"}) {
    EXPECT_FALSE(fetch.client.Exchange(url, &fetch.s)) << Narrow(url);
  }
  fetch.s.method = u"GET /evil";
  EXPECT_FALSE(fetch());
  fetch.s.method = u"POST";
  fetch.s.bodyLength = 5;  // and no body
  EXPECT_FALSE(fetch());
  EXPECT_EQ(fetch.client.StatusCode(), -1);
  EXPECT_EQ(fetch.server.Connections(), 0);
}

}  // namespace
