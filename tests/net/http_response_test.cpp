// Reading responses: status line, header lines, bodies by length, chunked or to the close, and
// the bounds against a hostile peer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;
using RR = ResponseReadResult;

const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kChunks = "6\r\n<a>xyz\r\n1F\r\n0123456789abcdefghijklmnopqrstu\r\n4\r\n</a>\r\n0\r\n\r\n";
const std::string kDecoded = "<a>xyz0123456789abcdefghijklmnopqrstu</a>";
const std::string kAny = "<not checked>";
constexpr size_t kSmallCap = 64 * 1024;

// A client whose response cap is small enough to test without sending 64 MiB.
class CappedClient : public CHttpClient {
 public:
  explicit CappedClient(size_t cap) {
    if (cap != 0) m_maxResponseBytes = cap;
  }
};

// Records the notifications a client gets.
class RecordingClient : public CHttpClient {
 public:
  std::vector<std::u16string> cookies;
  std::vector<bool> negotiations;

 protected:
  void OnSetCookie(const std::u16string& value) override { cookies.push_back(value); }
  bool NegotiateAuthentication(bool proxy) override {
    negotiations.push_back(proxy);
    return false;
  }
};

std::string Length0(int status) { return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: 0\r\n\r\n"; }

std::string ManyHeaderLines(size_t count) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (size_t i = 0; i + 1 < count; ++i) head += "X-H" + std::to_string(i) + ": v\r\n";
  return head + "Content-Length: 2\r\n\r\nok";
}

struct Case {
  std::string name;
  std::vector<std::string> steps;  // after the request has been read
  bool ok;
  int status;
  RR read;
  std::string body;
  bool connected;
  uint32_t timeout = kNormalTimeoutMs;
  size_t cap = 0;  // the client's response cap; 0 for the real one
};

std::vector<Case> Cases() {
  const std::string big(20000, 'b'), huge(70000, 'q');
  std::string hugeChunks;
  for (size_t i = 0; i < huge.size(); i += 10000) hugeChunks += "2710\r\n" + huge.substr(i, 10000) + "\r\n";
  std::vector<Case> cases = {
      {"by length", {"HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world"}, true, 200, RR::Complete,
       "hello world", true},
      {"100 then 201 at once",
       {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\ndone"}, true, 201,
       RR::Complete, "done", true},
      {"100, later 200", {"HTTP/1.1 100 Continue\r\n\r\n", kPause, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"},
       true, 200, RR::Complete, "ok", true},
      {"no length: to the close", {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nstart-", kPause, big, kClose},
       true, 200, RR::Complete, "start-" + big, false},
      {"no length: to the time-out", {"HTTP/1.1 200 OK\r\n\r\npartial", kHang}, true, 200, RR::Complete, "partial",
       false, kShortTimeoutMs},
      {"status without number", {"HTTP/1.1 OK\r\n\r\n"}, false, -1, RR::BadStatusLine, "", false},
      {"status line cut", {"HTTP/1.1\r\n\r\n"}, false, -1, RR::BadStatusLine, "", false},
      {"no version", {"200 OK\r\n\r\n"}, false, -1, RR::BadStatusLine, "", false},
      {"status beyond 32 bits", {"HTTP/1.1 99999999999 Big\r\n\r\n"}, false, -1, RR::BadHeaders, "", false},
      {"only the number counts", {"XYZ \t 203abc whatever\r\nContent-Length: 0\r\n\r\n"}, true, 203, RR::Complete,
       "", true},
      {"empty lines first", {"\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1"}, true, 200, RR::Complete, "1",
       true},
      {"header block cut", {"HTTP/1.1 200 OK\r\nContent-Len", kClose}, false, -1, RR::NoHeaderData, "", false},
      {"peer never answers", {kHang}, false, -1, RR::NoHeaderData, "", false, kShortTimeoutMs},
      {"body cut short", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", kClose}, false, 200,
       RR::BodyShort, "only this", false},
      {"blanks around the length", {"HTTP/1.1 200 OK\r\nContent-Length: 3 \r\n\r\nabc"}, true, 200, RR::Complete,
       "abc", true},
      {"401 refused by default", {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"}, false, 401,
       RR::Complete, "", false},
      {"chunked", {kChunkedHead + kChunks}, true, 200, RR::Complete, kDecoded, true},
      {"chunked over many buffers", {kChunkedHead + hugeChunks + "0\r\n\r\n"}, true, 200, RR::Complete, huge, true},
      {"chunked wins over a length",
       {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: CHUNKED\r\n\r\n" + kChunks}, true, 200,
       RR::Complete, kDecoded, true},
      {"chunks cut short", {kChunkedHead + "10\r\nonly part", kClose}, false, 200, RR::BadChunked, "only part", false},
      {"chunks stop", {kChunkedHead + "4\r\nab", kHang}, false, 200, RR::BadChunked, kAny, false, kShortTimeoutMs},
      // The bounds: header lines, header block, body and announced length.
      {"1000 header lines", {ManyHeaderLines(1000)}, true, 200, RR::Complete, "ok", true},
      {"1001 header lines", {ManyHeaderLines(1001)}, false, 200, RR::BadHeaders, kAny, false},
      {"header block over the cap", {"HTTP/1.1 200 OK\r\nX-Endless: ", std::string(4 * kSmallCap, 's'), kClose},
       false, -1, RR::BadHeaders, "", false, kNormalTimeoutMs, kSmallCap},
      {"response exactly at the cap", {"HTTP/1.1 200 OK\r\n\r\n", std::string(kSmallCap - 19, 's'), kClose}, true,
       200, RR::Complete, std::string(kSmallCap - 19, 's'), false, kNormalTimeoutMs, kSmallCap},
      {"body to the close over the cap", {"HTTP/1.1 200 OK\r\n\r\n", std::string(4 * kSmallCap, 's'), kClose}, false,
       200, RR::BodyShort, kAny, false, kNormalTimeoutMs, kSmallCap},
      {"announced length over the cap", {"HTTP/1.1 200 OK\r\nContent-Length: 65536\r\n\r\nabc"}, false, 200,
       RR::BodyShort, kAny, false, kNormalTimeoutMs, kSmallCap},
      {"announced length over 64 MiB", {"HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabc"}, false, 200,
       RR::BodyShort, kAny, false},
  };
  std::string overCap = kChunkedHead;
  for (int i = 0; i < 40; ++i) overCap += "2000\r\n" + std::string(0x2000, 'c') + "\r\n";
  cases.push_back({"chunked over the cap", {overCap + "0\r\n\r\n"}, false, 200, RR::BadChunked, kAny, false,
                   kNormalTimeoutMs, kSmallCap});
  for (const char* chunks : {"5;ext=1\r\nhello\r\n0\r\n\r\n", "zz\r\n", "3\r\nabcd\r\n0\r\n\r\n", "3\nabc\r\n0\r\n\r\n",
                             "11111111111111111\r\n"}) {
    cases.push_back({std::string("bad chunks ") + chunks, {kChunkedHead + chunks}, false, 200, RR::BadChunked, kAny,
                     false});
  }
  for (const char* length : {"12x", "-1", "", "0x10", "1 2", "99999999999999999999999"}) {
    cases.push_back({std::string("bad length ") + length,
                     {std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\n0123456789ab"}, false, 200,
                     RR::BodyShort, kAny, false});
  }
  for (int status : {200, 201, 202, 203, 205, 206, 305}) {
    cases.push_back({"accepted " + std::to_string(status), {Length0(status)}, true, status, RR::Complete, "", true});
  }
  // 204 and 304 carry no body even without a length.
  for (int status : {204, 304}) {
    cases.push_back({"no body " + std::to_string(status), {"HTTP/1.1 " + std::to_string(status) + " X\r\n\r\n"}, true,
                     status, RR::Complete, "", true});
  }
  return cases;
}

TEST(HttpResponseTest, OneResponseEach) {
  for (const Case& c : Cases()) {
    ScriptedServer server(Play(c.steps));
    CappedClient client(c.cap);
    HttpRequestSettings s = Settings(c.timeout);
    EXPECT_EQ(client.Exchange(UrlOf(server, "/"), &s), c.ok) << c.name;
    EXPECT_EQ(client.StatusCode(), c.status) << c.name;
    EXPECT_EQ(client.LastReadResult(), c.read) << c.name;
    if (c.body != kAny) {
      EXPECT_EQ(BodyOf(client), c.body) << c.name;
    }
    EXPECT_LE(client.BodyLength(), (c.cap ? c.cap : CHttpClient::kMaxResponseBytes) + 1) << c.name;
    EXPECT_EQ(client.IsConnected(), c.connected) << c.name;
  }
}

TEST(HttpResponseTest, HeaderLinesOfTheLastExchangeOnly) {
  const std::string value1023(1023, 'v'), name1024(1024, 'N');
  RecordingClient client;
  HttpRequestSettings s = Settings();
  ScriptedServer server(Sequence({"HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\n"
                                  "HTTP/1.1 200 OK\r\n  stray continuation\r\n"
                                  "X-Plain:value\r\nX-Blanks: \t  spaced value \r\nX-Colons: a:b: c\r\n"
                                  "No colon on this line\r\n: empty name\r\nX-Empty:\r\n"
                                  "X-Folded: first\r\n   second\r\n\tthird\r\n"
                                  "X-Kept: " + value1023 + "\r\nX-Dropped: " + std::string(1024, 'w') + "\r\n" +
                                      name1024 + ": x\r\n"
                                  "Set-Cookie: a=1\r\nX-Multi: one\r\nset-cookie: b=2\r\nX-MULTI: two\r\n"
                                  "Content-Type: text/xml; charset=utf-8\r\nContent-Length: 0\r\n\r\n",
                                  "HTTP/1.1 200 OK\r\nX-Second: 2\r\nContent-Length: 0\r\n\r\n"}));
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  const std::pair<std::u16string, std::string> expected[] = {
      {u"x-plain", "value"},      {u"X-Blanks", "spaced value "},   {u"X-Colons", "a:b: c"},
      {u"X-Empty", ""},           {u"X-Folded", "first\r\n   second\r\n\tthird"},
      {u"X-Kept", value1023},     {u"set-cookie", "a=1,b=2"},        {u"x-multi", "one,two"},
      {u"CONTENT-TYPE", "text/xml; charset=utf-8"},
      {u"X-Interim", "<absent>"}, {u"No colon on this line", "<absent>"}, {u"X-Dropped", "<absent>"},
      {U16(name1024), "<absent>"}};
  for (const auto& [name, value] : expected) EXPECT_EQ(Header(client, name), value) << Narrow(name);
  EXPECT_EQ(client.Headers().size(), 10u);
  EXPECT_EQ(client.cookies, (std::vector<std::u16string>{u"a=1", u"b=2"}));
  // The next exchange: its own headers only, and no cookie goes back.
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/again"), &s));
  EXPECT_EQ(Header(client, u"X-Plain"), "<absent>");
  EXPECT_EQ(Header(client, u"X-Second"), "2");
  EXPECT_EQ(server.Requests()[1].find("ookie"), std::string::npos);
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpResponseTest, EmptyBodiesEndWithoutAnotherReceive) {
  // The server keeps the connection open: a client waiting for more would time out and close.
  Fetch fetch(Sequence({"HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 304 Not Modified\r\n\r\n", Length0(200),
                        "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx"}));
  size_t progress = 0;
  fetch.s.onRead = [&progress](size_t bytes) { progress = bytes; };
  fetch.s.readBlockSize = 0;  // the default block size stands in
  for (int status : {204, 304, 200}) {
    ASSERT_TRUE(fetch()) << status;
    EXPECT_EQ(fetch.client.StatusCode(), status);
    EXPECT_EQ(fetch.client.BodyLength(), 0u);
  }
  ASSERT_TRUE(fetch());
  EXPECT_EQ(fetch.Body(), "x");
  EXPECT_EQ(progress, 39u);
  EXPECT_EQ(fetch.server.Connections(), 1);
}

TEST(HttpResponseTest, RejectedStatusLeavesStatusHeadersAndBody) {
  for (int status : {404, 500, 503, 307, 199}) {
    Fetch fetch("HTTP/1.1 " + std::to_string(status) + " X\r\nX-Why: because\r\nContent-Length: 6\r\n\r\nfault!");
    EXPECT_FALSE(fetch()) << status;
    EXPECT_EQ(fetch.client.StatusCode(), status);
    EXPECT_EQ(fetch.client.LastReadResult(), RR::Complete);
    EXPECT_EQ(Header(fetch.client, u"X-Why"), "because");
    EXPECT_EQ(fetch.Body(), "fault!");
    EXPECT_FALSE(fetch.client.IsConnected());
    // Without judging, the same answer is a success.
    fetch.s.flags = 0;
    EXPECT_TRUE(fetch()) << status;
  }
}

TEST(HttpResponseTest, ChunkedSplitAnywhereWithTrailers) {
  // Pieces cut inside a size line, between CR and LF and inside the trailer, arriving apart.
  // An announced trailer's lines join the header table.
  const std::vector<std::string> steps = {
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\nX-Sum: early\r\n\r\n6\r\n<a>", kPause,
      "xyz\r\n1", kPause, "F\r", kPause, "\n0123456789abcdefghijklmnopqrstu\r\n4\r\n</a>\r\n0\r", kPause, "\n",
      kPause, "X-Sum: 90", kPause, "01\r\nX-Sneaky: 1\r\n\r\n"};
  Fetch fetch(Play(steps));
  std::vector<uint64_t> sizes;
  fetch.s.onChunk = [&sizes](uint64_t size) { sizes.push_back(size); };
  fetch.s.readBlockSize = 0;  // the default block size stands in
  ASSERT_TRUE(fetch());
  EXPECT_EQ(fetch.Body(), kDecoded);
  EXPECT_EQ(sizes, (std::vector<uint64_t>{6, 31, 4, 0}));
  EXPECT_EQ(Header(fetch.client, u"X-Sum"), "early,9001");
  EXPECT_EQ(Header(fetch.client, u"X-Sneaky"), "1");
  EXPECT_TRUE(fetch.client.IsConnected());
}

TEST(HttpResponseTest, ChunkedEndLeftOnTheConnectionDoesNotDisturbTheNextExchange) {
  // An unannounced trailer (read, not kept), then a final empty line that comes only with the
  // next answer.
  Fetch fetch(Play({kChunkedHead + "2\r\nhi\r\n0\r\nX-Sneaky: 1\r\n\r\n", kRead, kChunkedHead + "3\r\none\r\n0\r\n",
                    kRead, "\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo"}));
  for (const char* body : {"hi", "one", "two"}) {
    ASSERT_TRUE(fetch()) << body;
    EXPECT_EQ(fetch.Body(), body);
    EXPECT_EQ(Header(fetch.client, u"X-Sneaky"), "<absent>");
  }
  EXPECT_EQ(fetch.server.Connections(), 1);
}

TEST(HttpResponseTest, AuthenticationChallengesAreNegotiatedAndRefused) {
  // A refused status closes the connection, so each answer comes on its own connection.
  ScriptedServer server(PlayPerConnection({{"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"a\"\r\n"
                               "www-authenticate: Negotiate\r\nContent-Length: 0\r\n\r\n"},
                              {"HTTP/1.1 407 Proxy\r\nProxy-Authenticate: Basic\r\nContent-Length: 0\r\n\r\n"}}));
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

}  // namespace
