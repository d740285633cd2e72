#include "services/upload_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "net/allocation_fault.h"

#include "tests/net/net_test_util.h"
#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace servicetest;

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

std::string UploadRequest(int port, const std::string& elements) {
  return Request("/WebService/Upload.asmx", "UploadFile", RequestBody("UploadFile", elements), port);
}

// Base64 of Bytes(57): exactly one full line.
const std::string kLine57 = "AQgPFh0kKzI5QEdOVVxjanF4f4aNlJuiqbC3vsXM09rh6O/2/QQLEhkgJy41PENKUVhfZm10e4KJ";

TEST(UploadWire, PiecesOfZero57_58And60Bytes) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "true"))));
  Upload::CUploadT client(server.Host());
  const std::pair<size_t, std::string> cases[] = {
      {0, ""}, {57, kLine57 + "\r\n"}, {58, kLine57 + "\r\nkA=="}, {60, kLine57 + "\r\nkJee"}};
  for (size_t i = 0; i < 4; ++i) {
    const auto& [size, text] = cases[i];
    const std::vector<uint8_t> bytes = Bytes(size);
    static const uint8_t kNone = 0;
    const bool last = size == 0;
    bool ok = false;
    ASSERT_EQ(client.UploadFile(size ? bytes.data() : &kNone, static_cast<uint32_t>(size), u"3.jpg", u"200815349.jpg",
                                last, u"张u", &ok),
              0);
    EXPECT_TRUE(ok);
    ASSERT_EQ(server.Requests().size(), i + 1);
    EXPECT_EQ(server.Requests()[i],
              UploadRequest(server.Port(), "<TempBytes>" + text + "</TempBytes><strTempFileName>3.jpg</strTempFileName>"
                                           "<FileName>200815349.jpg</FileName><isCompleted>" +
                                               (last ? "true" : "false") +
                                               "</isCompleted><userName>&#x5F20;u</userName>"))
        << size;
  }
  EXPECT_EQ(server.Connections(), 1);
}

TEST(UploadWire, NullPieceAndNamesAreNilAndFalseIsAnAnswer) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "false"))));
  Upload::CUploadT client(server.Host());
  bool ok = true;
  ASSERT_EQ(client.UploadFile(nullptr, 5, nullptr, nullptr, false, nullptr, &ok), 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(server.Requests()[0],
            UploadRequest(server.Port(), "<TempBytes xsi:nil=\"1\"/><strTempFileName xsi:nil=\"1\"/><FileName "
                                         "xsi:nil=\"1\"/><isCompleted>false</isCompleted><userName xsi:nil=\"1\"/>"));
}

// The 21 calls of one file's pieces through one client, `pauseMs` apart; the number refused.
int RefusedOf21Pieces(ScriptedServer& server, int pauseMs) {
  Upload::CUploadT client(server.Host());
  const std::vector<uint8_t> piece = Bytes(3000);
  int refused = 0;
  for (int i = 0; i < 21; ++i) {
    if (i > 0 && pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    bool ok = false;
    if (client.UploadFile(piece.data(), static_cast<uint32_t>(piece.size()), u"1.jpg", u"2026011101023.jpg", i == 20,
                          u"u", &ok) != 0 ||
        !ok) {
      ++refused;
    }
  }
  return refused;
}

TEST(UploadWire, ServersThatDropConnectionsRefuseNoPiece) {
  const std::string answer = Http("200 OK", Result("UploadFile", "true"));
  const struct {
    const char* name;
    ScriptedServer::Script script;
    int pauseMs;
  } cases[] = {
      {"HTTP/1.0, closed after each answer", nettest::Play({AsHttp10(answer), nettest::kClose}), 0},
      {"keep-alive, closed 200 ms after the last answer", ScriptedServer::Reply(answer, 200), 500},
  };
  for (const auto& c : cases) {
    ScriptedServer server(c.script);
    const int refused = RefusedOf21Pieces(server, c.pauseMs);
    std::printf("  %s: 21 calls, %d refused, %d connections\n", c.name, refused, server.Connections());
    EXPECT_EQ(refused, 0) << c.name;
    EXPECT_EQ(server.Requests().size(), 21u) << c.name;
  }
}

TEST(UploadWire, RequestReadWholeIsNeverSentTwice) {
  const std::string answer = Http("200 OK", Result("UploadFile", "true"));
  // Answers the first request of a connection; reads the second whole and closes unanswered.
  ScriptedServer server([answer](TestConnection& c, int) {
    std::string request;
    if (c.ReadRequest(&request) && c.Send(answer)) c.ReadRequest(&request);
  });
  Upload::CUploadT client(server.Host());
  const std::vector<uint8_t> piece = Bytes(3000);
  const auto call = [&] {
    bool ok = false;
    const int32_t hr = client.UploadFile(piece.data(), 3000, u"1.jpg", u"a.jpg", false, u"u", &ok);
    return hr == 0 && ok;
  };
  ASSERT_TRUE(call());
  EXPECT_FALSE(call());
  EXPECT_EQ(client.GetClientError(), ClientErrorCode::SendFailed);
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Connections(), 1);
  // The failed call closed the connection; the next one connects anew.
  EXPECT_TRUE(call());
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.Connections(), 2);
}

// Fails the first growth of one buffer past a size, then lets everything through.
std::atomic<int> g_failSite{-1};
std::atomic<size_t> g_failAbove{0};
bool FailOnce(AllocationSite site, size_t bytes) {
  int expected = static_cast<int>(site);
  return bytes > g_failAbove.load() && g_failSite.compare_exchange_strong(expected, -1);
}

TEST(UploadWire, AllocationFailureFailsThatCallOnly) {
  constexpr int32_t kEOutOfMemory = static_cast<int32_t>(0x8007000Eu);
  // The first answer is large ("true"), every later one small ("false"): a call that read
  // what an earlier one left would see "true".
  const std::string large = Http("200 OK", Result("UploadFile", "true") + std::string(20000, ' '));
  const std::string small = Http("200 OK", Result("UploadFile", "false"));
  const struct {
    const char* name;
    AllocationSite site;
    size_t above;
    ClientErrorCode error;
    size_t requestsAfterFailure;
  } cases[] = {
      {"envelope with the piece's base64", AllocationSite::RequestBody, 50000, ClientErrorCode::GenerateFailed, 0},
      {"response buffer", AllocationSite::ResponseBuffer, 8192, ClientErrorCode::SendFailed, 1},
  };
  SetAllocationFaultHook(&FailOnce);
  for (const auto& c : cases) {
    std::atomic<int> answered{0};
    ScriptedServer server([&](TestConnection& conn, int) {
      std::string request;
      while (conn.ReadRequest(&request) && conn.Send(answered++ == 0 ? large : small)) {
      }
    });
    Upload::CUploadT client(server.Host());
    const std::vector<uint8_t> piece = Bytes(65536);
    g_failAbove = c.above;
    g_failSite = static_cast<int>(c.site);
    bool ok = false;
    EXPECT_EQ(client.UploadFile(piece.data(), 65536, u"1.jpg", u"a.jpg", false, u"u", &ok), kEOutOfMemory) << c.name;
    EXPECT_EQ(client.GetClientError(), c.error) << c.name;
    EXPECT_FALSE(client.Http().IsConnected()) << c.name;
    EXPECT_EQ(server.Requests().size(), c.requestsAfterFailure) << c.name;
    EXPECT_EQ(g_failSite.load(), -1) << c.name;  // the failure did happen
    ok = true;
    EXPECT_EQ(client.UploadFile(piece.data(), 65536, u"1.jpg", u"a.jpg", false, u"u", &ok), 0) << c.name;
    EXPECT_EQ(client.GetClientError(), ClientErrorCode::Success) << c.name;
    EXPECT_EQ(ok, c.requestsAfterFailure == 0) << c.name;
  }
  SetAllocationFaultHook(nullptr);
}

}  // namespace
