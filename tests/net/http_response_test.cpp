// Reading responses: status line, header lines, bodies by length or to the close.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

// Records the notifications a client gets.
class RecordingClient : public CHttpClient {
 public:
  std::vector<std::u16string> cookies;
  std::vector<bool> negotiations;
  bool negotiateResult = false;

 protected:
  void OnSetCookie(const std::u16string& value) override { cookies.push_back(value); }
  bool NegotiateAuthentication(bool proxy) override {
    negotiations.push_back(proxy);
    return negotiateResult;
  }
};

TEST(HttpResponseTest, StatusHeadersAndBodyByLength) {
  ScriptedServer server(ScriptedServer::Reply(
      "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: 11\r\n\r\nhello world"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_EQ(client.StatusCode(), -1);
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NothingRead);
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::Complete);
  EXPECT_EQ(Header(client, u"content-type"), "text/xml; charset=utf-8");
  EXPECT_EQ(Header(client, u"CONTENT-LENGTH"), "11");
  EXPECT_EQ(BodyOf(client), "hello world");
  EXPECT_TRUE(client.IsConnected());  // kept for the next exchange
}

TEST(HttpResponseTest, ContinueIsSkippedForTheRealResponse) {
  ScriptedServer server(ScriptedServer::Reply(
      "HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\n"
      "HTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\ndone"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 201);
  EXPECT_EQ(Header(client, u"X-Interim"), "<absent>");
  EXPECT_EQ(BodyOf(client), "done");
}

TEST(HttpResponseTest, ContinueArrivingAloneIsFollowedByTheResponse) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 100 Continue\r\n\r\n");
    c.Pause(50);
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    c.ReadRequest(&request);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(BodyOf(client), "ok");
}

TEST(HttpResponseTest, HeaderLinesAreSplitAtTheFirstColon) {
  ScriptedServer server(ScriptedServer::Reply(
      "HTTP/1.1 200 OK\r\n"
      "X-Plain:value\r\n"
      "X-Blanks: \t  spaced value \r\n"
      "X-Colons: a:b: c\r\n"
      "No colon on this line\r\n"
      ": empty name\r\n"
      "X-Empty:\r\n"
      "Content-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-Plain"), "value");
  EXPECT_EQ(Header(client, u"X-Blanks"), "spaced value ");
  EXPECT_EQ(Header(client, u"X-Colons"), "a:b: c");
  EXPECT_EQ(Header(client, u"X-Empty"), "");
  EXPECT_EQ(Header(client, u"No colon on this line"), "<absent>");
  EXPECT_EQ(client.Headers().size(), 5u);
}

TEST(HttpResponseTest, ContinuationLinesStayInTheValue) {
  ScriptedServer server(ScriptedServer::Reply(
      "HTTP/1.1 200 OK\r\n"
      "X-Folded: first\r\n   second\r\n\tthird\r\n"
      "X-After: 1\r\n"
      "Content-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-Folded"), "first\r\n   second\r\n\tthird");
  EXPECT_EQ(Header(client, u"X-After"), "1");
}

TEST(HttpResponseTest, ContinuationRightAfterTheStatusLineIsIgnored) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\n  stray\r\nX-A: 1\r\nContent-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-A"), "1");
  EXPECT_EQ(client.Headers().size(), 2u);
}

TEST(HttpResponseTest, NameOrValueOf1024BytesDropsTheLine) {
  const std::string value1023(1023, 'v');
  const std::string value1024(1024, 'w');
  const std::string name1024(1024, 'N');
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nX-Kept: " + value1023 + "\r\nX-Dropped: " + value1024 +
                                              "\r\n" + name1024 + ": x\r\nX-Next: 2\r\nContent-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-Kept"), value1023);
  EXPECT_EQ(Header(client, u"X-Dropped"), "<absent>");
  EXPECT_EQ(Header(client, U16(name1024)), "<absent>");
  EXPECT_EQ(Header(client, u"X-Next"), "2");
}

TEST(HttpResponseTest, RepeatedHeadersAreJoinedAndCookiesNotKept) {
  ScriptedServer server(ScriptedServer::Reply(
      "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX-Multi: one\r\nset-cookie: b=2\r\nX-MULTI: two\r\n"
      "Content-Length: 0\r\n\r\n"));
  RecordingClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"set-cookie"), "a=1,b=2");
  EXPECT_EQ(Header(client, u"x-multi"), "one,two");
  EXPECT_EQ(client.cookies, (std::vector<std::u16string>{u"a=1", u"b=2"}));

  // Nothing is sent back on the next request.
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/again"), &s));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].find("ookie"), std::string::npos);
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpResponseTest, HeadersOfTheLastExchangeOnly) {
  ScriptedServer server(Sequence({"HTTP/1.1 200 OK\r\nX-First: 1\r\nContent-Length: 0\r\n\r\n",
                                  "HTTP/1.1 200 OK\r\nX-Second: 2\r\nContent-Length: 0\r\n\r\n"}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-First"), "<absent>");
  EXPECT_EQ(Header(client, u"X-Second"), "2");
}

TEST(HttpResponseTest, ContentLengthZeroEndsWithoutAnotherReceive) {
  // The server keeps the connection open; a client waiting for more would close it after the
  // time-out and the second exchange would need a new connection.
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.BodyLength(), 0u);
  EXPECT_TRUE(client.IsConnected());
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpResponseTest, NoContentAnswersCarryNoBody) {
  ScriptedServer server(Sequence({"HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 304 Not Modified\r\n\r\n",
                                  "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx"}));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 204);
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 304);
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "x");
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpResponseTest, BodyWithoutLengthIsReadToTheClose) {
  std::string big(20000, 'b');
  ScriptedServer server([big](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nstart-");
    c.Pause(30);
    c.Send(big);
    c.Close();
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "start-" + big);
  EXPECT_FALSE(client.IsConnected());  // the body ended with the connection
}

TEST(HttpResponseTest, BodyWithoutLengthEndsAtTheTimeout) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\n\r\npartial");
    c.Pause(5000);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "partial");
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpResponseTest, ReadBlockSizeZeroStillReads) {
  const std::string body(5000, 'z');
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + body));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  s.readBlockSize = 0;
  size_t lastProgress = 0;
  s.onRead = [&lastProgress](size_t bytes) { lastProgress = bytes; };
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), body);
  EXPECT_GE(lastProgress, body.size());
}

TEST(HttpResponseTest, StatusLineMustCarryANumber) {
  struct Case {
    const char* response;
    ResponseReadResult result;
  } cases[] = {
      {"HTTP/1.1 OK\r\n\r\n", ResponseReadResult::BadStatusLine},
      {"HTTP/1.1\r\n\r\n", ResponseReadResult::BadStatusLine},
      {"200 OK\r\n\r\n", ResponseReadResult::BadStatusLine},
      {"HTTP/1.1 99999999999 Big\r\n\r\n", ResponseReadResult::BadHeaders},
  };
  for (const Case& c : cases) {
    ScriptedServer server(ScriptedServer::Reply(c.response));
    CHttpClient client;
    HttpRequestSettings s = Settings();
    EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s)) << c.response;
    EXPECT_EQ(client.LastReadResult(), c.result) << c.response;
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST(HttpResponseTest, StatusLineKeepsOnlyTheNumber) {
  ScriptedServer server(ScriptedServer::Reply("XYZ \t 203abc whatever\r\nContent-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 203);
}

TEST(HttpResponseTest, EmptyLinesBeforeTheStatusLineArePassedOver) {
  ScriptedServer server(ScriptedServer::Reply("\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(BodyOf(client), "1");
}

TEST(HttpResponseTest, HeaderBlockCutShortGivesNoHeaderData) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Len");
    c.Close();
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NoHeaderData);
  EXPECT_EQ(client.StatusCode(), -1);
}

TEST(HttpResponseTest, PeerThatNeverAnswersFailsAfterTheTimeout) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    c.ReadRequest(&request);
    c.Pause(5000);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::NoHeaderData);
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpResponseTest, ShortBodyFailsButWhatArrivedStaysReadable) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
    c.Close();
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BodyShort);
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_EQ(BodyOf(client), "only this");
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpResponseTest, ContentLengthMustBeADecimalNumber) {
  for (const char* length : {"12x", "-1", "", "0x10", "1 2", "99999999999999999999999"}) {
    ScriptedServer server(ScriptedServer::Reply(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length +
                                                "\r\n\r\n0123456789ab"));
    CHttpClient client;
    HttpRequestSettings s = Settings();
    EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s)) << length;
    EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BodyShort) << length;
  }
}

TEST(HttpResponseTest, BlanksAroundContentLengthAreAccepted) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 3 \r\n\r\nabc"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "abc");
}

TEST(HttpResponseTest, RejectedStatusLeavesStatusHeadersAndBody) {
  for (int status : {404, 500, 503, 307, 100 + 99}) {
    const std::string response = "HTTP/1.1 " + std::to_string(status) + " X\r\nX-Why: because\r\n"
                                 "Content-Length: 6\r\n\r\nfault!";
    ScriptedServer server(ScriptedServer::Reply(response));
    CHttpClient client;
    HttpRequestSettings s = Settings();
    EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s)) << status;
    EXPECT_EQ(client.StatusCode(), status);
    EXPECT_EQ(client.LastReadResult(), ResponseReadResult::Complete);
    EXPECT_EQ(Header(client, u"X-Why"), "because");
    EXPECT_EQ(BodyOf(client), "fault!");
    EXPECT_FALSE(client.IsConnected());

    // Without judging, the same answer is a success.
    s.flags = 0;
    EXPECT_TRUE(client.Exchange(UrlOf(server, "/"), &s)) << status;
    EXPECT_EQ(client.StatusCode(), status);
  }
}

TEST(HttpResponseTest, AcceptedStatuses) {
  for (int status : {200, 201, 202, 203, 205, 206, 305}) {
    ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: 0\r\n\r\n"));
    CHttpClient client;
    HttpRequestSettings s = Settings();
    EXPECT_TRUE(client.Exchange(UrlOf(server, "/"), &s)) << status;
  }
}

TEST(HttpResponseTest, AuthenticationChallengesAreNegotiatedAndRefused) {
  // A refused status closes the connection, so each answer comes on its own connection.
  ScriptedServer server([](TestConnection& c, int index) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(index == 0 ? "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"a\"\r\n"
                        "www-authenticate: Negotiate\r\nContent-Length: 0\r\n\r\n"
                      : "HTTP/1.1 407 Proxy\r\nProxy-Authenticate: Basic\r\nContent-Length: 0\r\n\r\n");
    c.ReadRequest(&request);
  });
  RecordingClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 401);
  EXPECT_EQ(client.Challenges(), (std::vector<std::u16string>{u"Basic realm=\"a\"", u"Negotiate"}));
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 407);
  EXPECT_EQ(client.Challenges(), (std::vector<std::u16string>{u"Basic"}));
  EXPECT_EQ(client.negotiations, (std::vector<bool>{false, true}));
}

TEST(HttpResponseTest, DefaultClientRefusesAuthentication) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.StatusCode(), 401);
}

}  // namespace
