#include "net/event_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

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

}  // namespace
