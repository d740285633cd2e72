// Following redirects: where the next request goes, what it carries, and when the chain stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

std::string Redirect(const std::string& location, int status = 302, const std::string& extra = "") {
  return "HTTP/1.1 " + std::to_string(status) + " Moved\r\nLocation: " + location + "\r\n" + extra +
         "Content-Length: 5\r\n\r\nmoved";
}

const std::string kFinal = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfinal";

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

TEST(RedirectTest, AbsolutePathReplacesThePath) {
  ScriptedServer server(Sequence({Redirect("/x?y=1"), kFinal}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/a/b?old"), &s));
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(BodyOf(client), "final");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RequestLine(requests[0]), "GET /a/b?old HTTP/1.1");
  EXPECT_EQ(requests[1], "GET /x?y=1 HTTP/1.1\r\n" + HostHeader(server) + "User-Agent: Fotrel-Native/1.0\r\n\r\n");
  EXPECT_EQ(client.CurrentUrl().path, u"/x");
  EXPECT_EQ(client.CurrentUrl().extra, u"?y=1");
  EXPECT_EQ(server.Connections(), 1);  // the kept connection carries the next request
}

TEST(RedirectTest, RelativeLocationReplacesTheLastSegment) {
  ScriptedServer server(Sequence({Redirect("x"), Redirect("../up"), kFinal}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/a/b"), &s));
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(RequestLine(requests[1]), "GET /a/x HTTP/1.1");
  EXPECT_EQ(RequestLine(requests[2]), "GET /a/../up HTTP/1.1");
}

TEST(RedirectTest, AbsoluteUrlOnTheSameHost) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    bool first = true;
    while (c.ReadRequest(&request)) {
      // The location names this very server.
      const size_t hostAt = request.find("Host: ") + 6;
      const std::string host = request.substr(hostAt, request.find("\r\n", hostAt) - hostAt);
      if (!c.Send(first ? Redirect("http://" + host + "/abs/path?q") : kFinal)) return;
      first = false;
    }
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/start"), &s));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(server.Requests()[1]), "GET /abs/path?q HTTP/1.1");
  EXPECT_EQ(server.Connections(), 1);
}

TEST(RedirectTest, OtherHostGetsItsOwnConnection) {
  ScriptedServer target(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nthere!"));
  ScriptedServer origin(ScriptedServer::Reply(Redirect("http://" + Narrow(target.Host()) + "/elsewhere", 301)));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(origin, "/here"), &s));
  EXPECT_EQ(BodyOf(client), "there!");
  EXPECT_EQ(origin.Connections(), 1);
  EXPECT_EQ(target.Connections(), 1);
  ASSERT_EQ(target.Requests().size(), 1u);
  EXPECT_EQ(target.Requests()[0],
            "GET /elsewhere HTTP/1.1\r\n" + HostHeader(target) + "User-Agent: Fotrel-Native/1.0\r\n\r\n");
  EXPECT_EQ(client.CurrentUrl().port, target.Port());
}

TEST(RedirectTest, RedirectWithConnectionCloseReconnects) {
  ScriptedServer server([](TestConnection& c, int index) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    if (index == 0) {
      c.Send(Redirect("/next", 303, "Connection: close\r\n"));
      c.Close();
      return;
    }
    c.Send(kFinal);
    c.ReadRequest(&request);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "final");
  EXPECT_EQ(server.Connections(), 2);
}

TEST(RedirectTest, PostIsRepeatedWithItsBody) {
  ScriptedServer server(Sequence({Redirect("/moved"), kFinal}));
  CHttpClient client;
  const std::string body = "<envelope/>";
  HttpRequestSettings s = Settings();
  s.method = u"POST";
  s.contentType = u"text/xml; charset=utf-8";
  s.extraHeaders = u"SOAPAction: \"urn:op\"\r\n";
  s.body = body.data();
  s.bodyLength = static_cast<uint32_t>(body.size());
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/svc"), &s));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1],
            "POST /moved HTTP/1.1\r\nContent-Length: 11\r\nContent-Type: text/xml; charset=utf-8\r\n"
            "SOAPAction: \"urn:op\"\r\n" +
                HostHeader(server) + "User-Agent: Fotrel-Native/1.0\r\n\r\n" + body);
}

TEST(RedirectTest, EndlessLoopStopsAfterTenRedirects) {
  ScriptedServer server(ScriptedServer::Reply(Redirect("/loop")));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  // Ten redirects are followed; the eleventh is left to the caller with its status.
  EXPECT_TRUE(client.Exchange(UrlOf(server, "/loop"), &s));
  EXPECT_EQ(client.StatusCode(), 302);
  EXPECT_EQ(server.Requests().size(), size_t(1 + CHttpClient::kMaxRedirects));
  EXPECT_EQ(Header(client, u"Location"), "/loop");
}

TEST(RedirectTest, WithoutLocationTheRedirectIsLeftToTheCaller) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 301 Moved\r\nContent-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 301);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(RedirectTest, WithoutTheFollowFlagARedirectIsRejected) {
  ScriptedServer server(ScriptedServer::Reply(Redirect("/x")));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  s.flags = kHttpJudgeStatus;
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 302);
  EXPECT_EQ(BodyOf(client), "moved");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(RedirectTest, StatusAfterARedirectIsForTheCallerToJudge) {
  ScriptedServer server(Sequence({Redirect("/missing"),
                                  "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope"}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 404);
  EXPECT_EQ(BodyOf(client), "nope");
}

TEST(RedirectTest, FailedReadAfterARedirectClosesTheConnection) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(Redirect("/next"));
    if (!c.ReadRequest(&request)) return;
    c.Send("garbage without an end");
    c.Close();
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), -1);
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NoHeaderData);
  EXPECT_FALSE(client.IsConnected());
}

TEST(RedirectTest, LocationsThatCannotBeFollowedFail) {
  for (const std::string& location : {std::string("https://127.0.0.1/secure"), std::string("ftp://h/x"),
                                      std::string("http://bad host/"), std::string("/a b")}) {
    ScriptedServer server(ScriptedServer::Reply(Redirect(location)));
    CHttpClient client;
    HttpRequestSettings s = Settings();
    EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s)) << location;
    EXPECT_EQ(client.StatusCode(), 302);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

TEST(RedirectTest, ResolvedUrlIsBoundedTo2048Characters) {
  // A relative location extends the current path; the resolved URL may have 2048 characters.
  const std::string location(800, 'n');
  for (size_t extra : {0, 1}) {
    ScriptedServer server(Sequence({Redirect(location), kFinal}));
    const size_t prefix = ("http://" + Narrow(server.Host())).size();
    const std::string dir(2048 - prefix - 2 - location.size() + extra, 'd');
    CHttpClient client;
    HttpRequestSettings s = Settings();
    const bool followed = client.Exchange(UrlOf(server, "/" + dir + "/page"), &s);
    if (extra == 0) {
      EXPECT_TRUE(followed);
      EXPECT_EQ(client.CurrentUrl().ToString().size(), 2048u);
      EXPECT_EQ(server.Requests().size(), 2u);
    } else {
      EXPECT_FALSE(followed);
      EXPECT_EQ(server.Requests().size(), 1u);
    }
  }
}

TEST(RedirectTest, OverlongLocationLineIsDroppedSoTheRedirectIsLeftToTheCaller) {
  ScriptedServer server(ScriptedServer::Reply(Redirect("/" + std::string(1100, 'p'))));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 302);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(RedirectTest, FoldedLocationCannotInjectHeaders) {
  // A continuation line keeps its line break in the value; it must not reach a request line.
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 302 Found\r\nLocation: /x\r\n X-Injected: 1\r\n"
                                              "Content-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
