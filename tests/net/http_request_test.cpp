// The exact bytes of requests on the wire.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

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

TEST(HttpRequestTest, BodyGoesInBlocksAndArrivesWhole) {
  Fetch fetch(kOk);
  const std::string body = Pattern(3 * 4096 + 123);
  SoapLike(fetch.s, body);
  fetch.s.sendBlockSize = 4096;
  std::vector<uint32_t> progress;
  fetch.s.onSend = [&](uint32_t sent, uint32_t) { progress.push_back(sent); };
  ASSERT_TRUE(fetch("/up"));
  EXPECT_EQ(progress, (std::vector<uint32_t>{4096, 8192, 12288, 12411}));
  const std::string request = fetch.server.Requests().at(0);
  EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), body);
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
