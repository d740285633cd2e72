#include "net/event_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/net/net_test_util.h"

namespace {

using namespace nettest;

// Echoes lines until the peer closes.
void Echo(TestConnection& c, int) {
  std::string line;
  while (c.ReadUntil("\n", &line, 5000) && c.Send(line)) {
  }
}

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

TEST(EventSocketTest, GatherListOutAndAnswerIn) {
  ScriptedServer server(Echo);
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  char first[] = "hello, ", second[] = "world\n";
  const SocketBuffer buffers[2] = {{7, first}, {6, second}};
  uint32_t sent = 0;
  ASSERT_TRUE(socket.Write(buffers, 2, &sent));
  EXPECT_EQ(sent, 13u);
  EXPECT_EQ(Receive(socket, 13), "hello, world\n");
  // Connecting again while connected keeps the connection and resolves nothing.
  EXPECT_TRUE(socket.Connect(u"nonexistent.invalid", 1));
  EXPECT_EQ(socket.LastError(), 0u);
  ASSERT_TRUE(Send(socket, "ping\n"));
  EXPECT_EQ(Receive(socket, 5), "ping\n");
  EXPECT_EQ(server.Connections(), 1);
}

TEST(EventSocketTest, CloseTwiceIsHarmlessAndTheSocketConnectsAgain) {
  ScriptedServer server(Echo);
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  socket.Close();
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  socket.Close();
  socket.Close();
  EXPECT_FALSE(socket.IsConnected());
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  ASSERT_TRUE(Send(socket, "again\n"));
  EXPECT_EQ(Receive(socket, 6), "again\n");
  EXPECT_EQ(server.Connections(), 2);
}

TEST(EventSocketTest, ConnectFailures) {
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"", 80));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrHostNotFound));
  // The exact number for an unknown name depends on the resolver.
  EXPECT_FALSE(socket.Connect(u"nonexistent.invalid", 80));
  EXPECT_NE(socket.LastError(), 0u);
  socket.SetTimeout(kNormalTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"127.0.0.1", UnusedLoopbackPort()));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrRefused));
  EXPECT_FALSE(socket.IsConnected());
}

TEST(EventSocketTest, ConnectThatNeverCompletesFailsAfterTheTimeoutAndLeavesItUnconnected) {
  FullBacklogListener listener;
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"127.0.0.1", listener.Port()));
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.LastError(), 0u);  // a time-out adds no error number
  char byte = 'x';
  const SocketBuffer one{1, &byte};
  uint32_t sent = 1, length = 1;
  EXPECT_FALSE(socket.Write(&one, 1, &sent));
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrNotConnected));
  CEventSocket fresh;
  fresh.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(fresh.Read(&byte, &length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(fresh.LastError(), uint32_t(kSockErrNotConnected));
}

TEST(EventSocketTest, TimedOutReadKeepsTheConnectionAndLosesNothing) {
  ScriptedServer server(AnswerOnGo("late"));
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  EXPECT_EQ(Receive(socket), "<failed>");
  EXPECT_EQ(socket.LastError(), 0u);
  EXPECT_TRUE(socket.IsConnected());
  // The cancelled receive must not have taken the bytes that come now.
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(Send(socket, "go\n"));
  EXPECT_EQ(Receive(socket, 4), "late");
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

TEST(EventSocketTest, PeerCloseReadsAsZeroAndWritesFailWithoutASignal) {
  ScriptedServer server([](TestConnection& c, int) {
    c.Send("bye");
    c.Close();
  });
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  EXPECT_EQ(Receive(socket, 4), "bye<closed>");
  // The first sends may still be taken in before the peer's close is complete.
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) {
    failed = !Send(socket, std::string(65536, 'x'));
    if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(failed);
  EXPECT_NE(socket.LastError(), 0u);
}

}  // namespace
