#include "net/event_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "net/http_client.h"
#include "net/stop_signal.h"
#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

// After the first line arrives, sends `answer` and keeps the connection open.
ScriptedServer::Script AnswerOnGo(const std::string& answer) {
  return [answer](TestConnection& c, int) {
    std::string go;
    if (c.ReadUntil("\n", &go, 5000) && c.Send(answer)) c.Pause(5000);
  };
}

bool Send(CEventSocket& socket, std::string text) {
  const SocketBuffer one{static_cast<uint32_t>(text.size()), &text[0]};
  uint32_t sent = 0;
  return socket.Write(&one, 1, &sent) && sent == text.size();
}

// Reads until `count` bytes arrived; a failed or empty read ends it with a marker.
std::string Receive(CEventSocket& socket, size_t count = 1) {
  std::string all;
  while (all.size() < count) {
    char buffer[256];
    uint32_t length = sizeof buffer;
    if (!socket.Read(buffer, &length)) return all + "<failed>";
    if (length == 0) return all + "<closed>";
    all.append(buffer, length);
  }
  return all;
}

TEST(EventSocketTest, ConnectFailuresLeaveItUnconnected) {
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"", 80));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrHostNotFound));
  EXPECT_FALSE(socket.Connect(u"127.0.0.1", UnusedLoopbackPort()));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrRefused));
  FullBacklogListener listener;
  CEventSocket pending;
  pending.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(pending.Connect(u"127.0.0.1", listener.Port()));
  EXPECT_FALSE(pending.IsConnected());
  EXPECT_EQ(pending.LastError(), 0u);  // a time-out adds no error number
  char byte = 'x';
  const SocketBuffer one{1, &byte};
  uint32_t sent = 1, length = 1;
  EXPECT_FALSE(pending.Write(&one, 1, &sent));
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(pending.LastError(), uint32_t(kSockErrNotConnected));
  CEventSocket fresh;
  fresh.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(fresh.Read(&byte, &length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(fresh.LastError(), uint32_t(kSockErrNotConnected));
}

TEST(EventSocketTest, SecondReceiveWhileOneIsOutstandingIsRefused) {
  ScriptedServer server(AnswerOnGo("done"));
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  std::atomic<bool> started{false};
  std::string first;
  std::thread reader([&] {
    started = true;
    first = Receive(socket, 4);
  });
  while (!started) std::this_thread::yield();
  // Give the reader time to be inside its receive.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string second = Receive(socket);
  const uint32_t secondError = socket.LastError();
  EXPECT_TRUE(Send(socket, "go\n"));
  reader.join();
  EXPECT_EQ(second, "<failed>");
  EXPECT_EQ(secondError, uint32_t(kSockErrInProgress));
  EXPECT_EQ(first, "done");
}

// A name lookup that hangs for a second, as one behind an unreachable name server does.
std::atomic<int> g_slowLookups{0};
uint32_t SlowLookup(const std::string&, const std::string&, void**) {
  ++g_slowLookups;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  --g_slowLookups;
  return kSockErrHostNotFound;
}

// Waits (bounded) until every slow lookup has ended, so none outlives the test.
void AwaitSlowLookups() {
  for (int i = 0; i < 500 && g_slowLookups.load() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  CResolvedAddress::SetLookupForTests(nullptr);
}

TEST(EventSocketTest, StopEndsEveryWaitAtOnce) {
  FullBacklogListener silentListener;  // connects never complete
  ScriptedServer silent(Play({kHang}));
  ScriptedServer trickling(Trickle("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 2000));
  ScriptedServer notReading([](TestConnection& c, int) { c.Pause(5000); });
  const std::string largeBody(32 << 20, 'x');  // more than the socket buffers hold
  CResolvedAddress::SetLookupForTests(&SlowLookup);
  const struct {
    const char* name;
    std::u16string url;
    int raiseAfterMs;  // -1: raised before the exchange
    const std::string* body;
  } cases[] = {
      {"silent server", UrlOf(silent, "/"), 300, nullptr},
      {"trickling server", UrlOf(trickling, "/"), 300, nullptr},
      {"send to a server that reads nothing", UrlOf(notReading, "/"), 300, &largeBody},
      {"connect that never completes", PortUrl(silentListener.Port()), 300, nullptr},
      {"name lookup that hangs", u"http://stuck.invalid/", 300, nullptr},
      {"raised before", UrlOf(silent, "/"), -1, nullptr},
  };
  for (const auto& c : cases) {
    CStopSignal stop;
    CHttpClient client;
    client.SetStopSignal(&stop);
    HttpRequestSettings s = Settings(10000);
    if (c.body != nullptr) {
      s.method = u"POST";
      s.body = c.body->data();
      s.bodyLength = static_cast<uint32_t>(c.body->size());
      s.flags &= ~uint32_t{kHttpSendBlocks};  // one send, which fills the buffers and waits
    }
    double ms = 0;
    bool ok = true;
    if (c.raiseAfterMs < 0) {
      stop.Raise();
      const auto start = std::chrono::steady_clock::now();
      ok = client.Exchange(c.url, &s);
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    } else {
      DelayedRaise raise(stop, c.raiseAfterMs);
      ok = client.Exchange(c.url, &s);
      ms = raise.MsSinceRaise();
    }
    std::printf("  stop -> failed return, %s: %.1f ms\n", c.name, ms);
    EXPECT_FALSE(ok) << c.name;
    EXPECT_EQ(client.LastError(), uint32_t(kSockErrInterrupted)) << c.name;
    EXPECT_FALSE(client.IsConnected()) << c.name;
    EXPECT_LT(ms, 5000) << c.name;  // a stop that waits for the 10 s time-out breaks this
  }
  // The signal raised before the exchange kept it off the wire.
  EXPECT_EQ(silent.Connections(), 1);
  AwaitSlowLookups();
}

TEST(EventSocketTest, ResolutionEndsAtItsTimeOut) {
  CResolvedAddress::SetLookupForTests(&SlowLookup);
  CResolvedAddress address;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(address.Resolve(u"stuck.invalid", 80, nullptr, 200), uint32_t(kSockErrTimedOut));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(address.First(), nullptr);
  // Address literals never wait for a lookup.
  EXPECT_EQ(address.Resolve(u"127.0.0.1", 80, nullptr, 200), 0u);
  EXPECT_NE(address.First(), nullptr);
  AwaitSlowLookups();
  // A name the system knows goes through the lookup thread.
  EXPECT_EQ(address.Resolve(u"localhost", 80), 0u);
  EXPECT_NE(address.First(), nullptr);
}

}  // namespace
