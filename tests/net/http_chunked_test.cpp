// Chunked response bodies read through the client.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kChunks = "6\r\n<a>xyz\r\n1F\r\n0123456789abcdefghijklmnopqrstu\r\n4\r\n</a>\r\n0\r\n\r\n";
const std::string kDecoded = "<a>xyz0123456789abcdefghijklmnopqrstu</a>";

TEST(HttpChunkedTest, DecodesABodyReceivedWhole) {
  ScriptedServer server(ScriptedServer::Reply(kChunkedHead + kChunks));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  std::vector<uint64_t> sizes;
  s.onChunk = [&sizes](uint64_t size) { sizes.push_back(size); };
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), kDecoded);
  EXPECT_EQ(sizes, (std::vector<uint64_t>{6, 31, 4, 0}));
  EXPECT_TRUE(client.IsConnected());
}

TEST(HttpChunkedTest, SplitInsideSizeLinesDecodesTheSame) {
  // Every byte of the chunked part in its own send, with pauses so that they arrive apart.
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(kChunkedHead);
    for (char byte : kChunks) {
      if (!c.Send(std::string(1, byte)) || !c.Pause(2)) return;
    }
    c.ReadRequest(&request);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), kDecoded);
}

TEST(HttpChunkedTest, BodyDecodedOverTheBufferStartsAtOffsetZero) {
  const std::string big(70000, 'q');
  std::string chunks;
  for (size_t i = 0; i < big.size(); i += 10000) chunks += "2710\r\n" + big.substr(i, 10000) + "\r\n";
  ScriptedServer server(ScriptedServer::Reply(kChunkedHead + chunks + "0\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.BodyLength(), big.size());
  EXPECT_EQ(BodyOf(client), big);
}

TEST(HttpChunkedTest, ChunkedWinsOverContentLengthInAnyLetterCase) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: CHUNKED\r\n\r\n" +
                                              kChunks));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), kDecoded);
}

TEST(HttpChunkedTest, AnnouncedTrailerGoesIntoTheHeaderTable) {
  ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Checksum\r\n"
                                              "X-Checksum: early\r\n\r\n"
                                              "3\r\nabc\r\n0\r\nX-Checksum: 900150983cd24fb0\r\nX-Other: 1\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "abc");
  EXPECT_EQ(Header(client, u"X-Checksum"), "early,900150983cd24fb0");
  EXPECT_EQ(Header(client, u"X-Other"), "1");
}

TEST(HttpChunkedTest, TrailerArrivingLaterIsWaitedFor) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Late\r\n\r\n1\r\nz\r\n0\r\n");
    c.Pause(50);
    c.Send("X-Late: yes\r\n\r\n");
    c.ReadRequest(&request);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-Late"), "yes");
  EXPECT_EQ(BodyOf(client), "z");
}

TEST(HttpChunkedTest, UnannouncedTrailerIsReadButNotKept) {
  ScriptedServer server(ScriptedServer::Reply(kChunkedHead + "2\r\nhi\r\n0\r\nX-Sneaky: 1\r\n\r\n"));
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(Header(client, u"X-Sneaky"), "<absent>");
  // The trailer did not stay on the connection: the next exchange reads a clean response.
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "hi");
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpChunkedTest, LateFinalLineDoesNotDisturbTheNextExchange) {
  // The closing empty line comes only with the next answer; the body is complete without it.
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(kChunkedHead + "3\r\none\r\n0\r\n");
    if (!c.ReadRequest(&request)) return;
    c.Send("\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo");
    c.ReadRequest(&request);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "one");
  ASSERT_TRUE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(BodyOf(client), "two");
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpChunkedTest, MalformedChunksFail) {
  for (const char* chunks : {"5;ext=1\r\nhello\r\n0\r\n\r\n", "zz\r\n", "3\r\nabcd\r\n0\r\n\r\n",
                             "3\nabc\r\n0\r\n\r\n", "11111111111111111\r\n"}) {
    ScriptedServer server(ScriptedServer::Reply(kChunkedHead + chunks));
    CHttpClient client;
    HttpRequestSettings s = Settings();
    EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s)) << chunks;
    EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BadChunked) << chunks;
    EXPECT_EQ(client.StatusCode(), 200);
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST(HttpChunkedTest, ChunksCutShortFail) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(kChunkedHead + "10\r\nonly part");
    c.Close();
  });
  CHttpClient client;
  HttpRequestSettings s = Settings();
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BadChunked);
  EXPECT_EQ(BodyOf(client), "only part");
}

TEST(HttpChunkedTest, ChunksStoppingFailAfterTheTimeout) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    c.Send(kChunkedHead + "4\r\nab");
    c.Pause(5000);
  });
  CHttpClient client;
  HttpRequestSettings s = Settings(kShortTimeoutMs);
  EXPECT_FALSE(client.Exchange(UrlOf(server, "/"), &s));
  EXPECT_EQ(client.LastReadResult(), ResponseReadResult::BadChunked);
  EXPECT_FALSE(client.IsConnected());
}

}  // namespace
