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
const std::string kAgent = "User-Agent: Fotrel-Native/1.0\r\n\r\n";

std::vector<std::string> RequestLines(const ScriptedServer& server) {
  std::vector<std::string> lines;
  for (const std::string& request : server.Requests()) lines.push_back(request.substr(0, request.find("\r\n")));
  return lines;
}

TEST(RedirectTest, AbsoluteAndRelativeLocationsOnTheKeptConnection) {
  Fetch fetch(Sequence({Redirect("/x?y=1"), Redirect("b/c"), Redirect("../up"), kFinal}));
  ASSERT_TRUE(fetch("/a/b?old"));
  EXPECT_EQ(fetch.client.StatusCode(), 200);
  EXPECT_EQ(fetch.Body(), "final");
  // A relative location replaces the last segment of the path.
  EXPECT_EQ(RequestLines(fetch.server), (std::vector<std::string>{"GET /a/b?old HTTP/1.1", "GET /x?y=1 HTTP/1.1",
                                                                   "GET /b/c HTTP/1.1", "GET /b/../up HTTP/1.1"}));
  EXPECT_EQ(fetch.server.Requests()[1], "GET /x?y=1 HTTP/1.1\r\n" + HostHeader(fetch.server) + kAgent);
  EXPECT_EQ(fetch.client.CurrentUrl().path, u"/b/../up");
  EXPECT_EQ(fetch.server.Connections(), 1);
}

TEST(RedirectTest, AbsoluteUrlsOnTheSameHostAndOnAnother) {
  ScriptedServer target(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nthere!"));
  const std::string there = "http://" + Narrow(target.Host()) + "/elsewhere";
  Fetch fetch([there](TestConnection& c, int) {
    std::string request;
    for (int i = 0; c.ReadRequest(&request); ++i) {
      // The first location names this very server.
      const size_t at = request.find("Host: ") + 6;
      const std::string self = "http://" + request.substr(at, request.find("\r\n", at) - at) + "/abs/path?q";
      if (!c.Send(Redirect(i == 0 ? self : there, 301))) return;
    }
  });
  ASSERT_TRUE(fetch("/start"));
  EXPECT_EQ(fetch.Body(), "there!");
  EXPECT_EQ(RequestLines(fetch.server), (std::vector<std::string>{"GET /start HTTP/1.1", "GET /abs/path?q HTTP/1.1"}));
  EXPECT_EQ(fetch.server.Connections(), 1);
  ASSERT_EQ(target.Requests().size(), 1u);
  EXPECT_EQ(target.Requests()[0], "GET /elsewhere HTTP/1.1\r\n" + HostHeader(target) + kAgent);
  EXPECT_EQ(target.Connections(), 1);
  EXPECT_EQ(fetch.client.CurrentUrl().port, target.Port());
}

TEST(RedirectTest, PostIsRepeatedWithItsBodyOnANewConnectionAfterClose) {
  Fetch fetch(PlayPerConnection({{Redirect("/moved", 302, "Connection: close\r\n"), kClose}, {kFinal}}));
  const std::string body = "<envelope/>";
  fetch.s.method = u"POST";
  fetch.s.contentType = u"text/xml; charset=utf-8";
  fetch.s.extraHeaders = u"SOAPAction: \"urn:op\"\r\n";
  fetch.s.body = body.data();
  fetch.s.bodyLength = static_cast<uint32_t>(body.size());
  ASSERT_TRUE(fetch("/svc"));
  EXPECT_EQ(fetch.Body(), "final");
  ASSERT_EQ(fetch.server.Requests().size(), 2u);
  EXPECT_EQ(fetch.server.Requests()[1], "POST /moved HTTP/1.1\r\nContent-Length: 11\r\nContent-Type: text/xml; "
                                        "charset=utf-8\r\nSOAPAction: \"urn:op\"\r\n" +
                                            HostHeader(fetch.server) + kAgent + body);
  EXPECT_EQ(fetch.server.Connections(), 2);
}

TEST(RedirectTest, WhereTheChainStops) {
  struct Case {
    std::string name;
    ScriptedServer::Script script;
    bool ok;
    int status;
    size_t requests;
    std::string body;
    uint32_t flags = kHttpFollowRedirects | kHttpJudgeStatus | kHttpSendBlocks;
  } cases[] = {
      // Ten redirects are followed; the eleventh is left to the caller with its status.
      {"endless loop", ScriptedServer::Reply(Redirect("/loop")), true, 302, 11, "moved"},
      {"no location", ScriptedServer::Reply("HTTP/1.1 301 Moved\r\nContent-Length: 0\r\n\r\n"), true, 301, 1, ""},
      {"overlong location line dropped", ScriptedServer::Reply(Redirect("/" + std::string(1100, 'p'))), true, 302, 1,
       "moved"},
      {"status after a redirect", Sequence({Redirect("/missing"), "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope"}),
       true, 404, 2, "nope"},
      {"read failing after a redirect", Play({Redirect("/next"), kRead, "garbage without an end", kClose}), true, -1, 2,
       ""},
      {"without the follow flag", ScriptedServer::Reply(Redirect("/x")), false, 302, 1, "moved", kHttpJudgeStatus},
      // A continuation line keeps its line break in the value; it must not reach a request line.
      {"folded location", ScriptedServer::Reply("HTTP/1.1 302 Found\r\nLocation: /x\r\n X-Injected: 1\r\n"
                                                "Content-Length: 0\r\n\r\n"),
       false, 302, 1, ""},
      {"https", ScriptedServer::Reply(Redirect("https://127.0.0.1/secure")), false, 302, 1, "moved"},
      {"ftp", ScriptedServer::Reply(Redirect("ftp://h/x")), false, 302, 1, "moved"},
      {"bad host", ScriptedServer::Reply(Redirect("http://bad host/")), false, 302, 1, "moved"},
      {"blank in the path", ScriptedServer::Reply(Redirect("/a b")), false, 302, 1, "moved"},
  };
  for (const Case& c : cases) {
    Fetch fetch(c.script);
    fetch.s.flags = c.flags;
    EXPECT_EQ(fetch(), c.ok) << c.name;
    EXPECT_EQ(fetch.client.StatusCode(), c.status) << c.name;
    EXPECT_EQ(fetch.server.Requests().size(), c.requests) << c.name;
    if (c.status != -1) {
      EXPECT_EQ(fetch.Body(), c.body) << c.name;
    }
    if (!c.ok || c.status == -1) {
      EXPECT_FALSE(fetch.client.IsConnected()) << c.name;
    }
  }
}

TEST(RedirectTest, ResolvedUrlIsBoundedTo2048Characters) {
  // A relative location extends the current path; the resolved URL may have 2048 characters.
  const std::string location(800, 'n');
  for (size_t extra : {0, 1}) {
    Fetch fetch(Sequence({Redirect(location), kFinal}));
    const size_t prefix = ("http://" + Narrow(fetch.server.Host())).size();
    EXPECT_EQ(fetch("/" + std::string(2048 - prefix - 2 - location.size() + extra, 'd') + "/page"), extra == 0);
    EXPECT_EQ(fetch.server.Requests().size(), 2 - extra);
    if (extra == 0) {
      EXPECT_EQ(fetch.client.CurrentUrl().ToString().size(), 2048u);
    }
  }
}

}  // namespace
