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
  const std::string big(20000, 'b');
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
      {"header block cut", {"HTTP/1.1 200 OK\r\nContent-Len", kClose}, false, -1, RR::NoHeaderData, "", false},
      {"peer never answers", {kHang}, false, -1, RR::NoHeaderData, "", false, kShortTimeoutMs},
      {"body cut short", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", kClose}, false, 200,
       RR::BodyShort, "only this", false},
      {"401 refused by default", {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"}, false, 401,
       RR::Complete, "", false},
      {"chunked", {kChunkedHead + kChunks}, true, 200, RR::Complete, kDecoded, true},
      {"chunks cut short", {kChunkedHead + "10\r\nonly part", kClose}, false, 200, RR::BadChunked, "only part", false},
      // The bounds: header lines, header block, body and announced length.
      {"1000 header lines", {ManyHeaderLines(1000)}, true, 200, RR::Complete, "ok", true},
      {"1001 header lines", {ManyHeaderLines(1001)}, false, 200, RR::BadHeaders, kAny, false},
      {"header block over the cap", {"HTTP/1.1 200 OK\r\nX-Endless: ", std::string(4 * kSmallCap, 's'), kClose},
       false, -1, RR::BadHeaders, "", false, kNormalTimeoutMs, kSmallCap},
      {"body to the close over the cap", {"HTTP/1.1 200 OK\r\n\r\n", std::string(4 * kSmallCap, 's'), kClose}, false,
       200, RR::BodyShort, kAny, false, kNormalTimeoutMs, kSmallCap},
      {"announced length over 64 MiB", {"HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabc"}, false, 200,
       RR::BodyShort, kAny, false},
  };
  std::string overCap = kChunkedHead;
  for (int i = 0; i < 40; ++i) overCap += "2000\r\n" + std::string(0x2000, 'c') + "\r\n";
  cases.push_back({"chunked over the cap", {overCap + "0\r\n\r\n"}, false, 200, RR::BadChunked, kAny, false,
                   kNormalTimeoutMs, kSmallCap});
  for (const char* chunks : {"zz\r\n", "3\r\nabcd\r\n0\r\n\r\n", "11111111111111111\r\n"}) {
    cases.push_back({std::string("bad chunks ") + chunks, {kChunkedHead + chunks}, false, 200, RR::BadChunked, kAny,
                     false});
  }
  for (const char* length : {"12x", "-1", "99999999999999999999999"}) {
    cases.push_back({std::string("bad length ") + length,
                     {std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\n0123456789ab"}, false, 200,
                     RR::BodyShort, kAny, false});
  }
  for (int status : {201, 202, 305}) {
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

TEST(HttpResponseTest, ChunkedSplitAnywhereWithTrailers) {
  // Pieces cut inside a size line, between CR and LF and inside the trailer, arriving apart.
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

}  // namespace
