#include "net/event_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/net/net_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using nettest::kNormalTimeoutMs;
using nettest::kShortTimeoutMs;

// Echoes what arrives until the peer closes.
void Echo(TestConnection& c, int) {
  std::string line;
  while (c.ReadUntil("\n", &line, 5000)) {
    if (!c.Send(line)) return;
  }
}

std::string ReadSome(CEventSocket& socket, uint32_t capacity = 256) {
  std::string buffer(capacity, '\0');
  uint32_t length = capacity;
  if (!socket.Read(&buffer[0], &length)) return "<failed>";
  buffer.resize(length);
  return buffer;
}

std::string ReadExactly(CEventSocket& socket, size_t count) {
  std::string all;
  while (all.size() < count) {
    const std::string piece = ReadSome(socket);
    if (piece == "<failed>" || piece.empty()) return all + "<" + piece + ">";
    all += piece;
  }
  return all;
}

TEST(EventSocketTest, StartsDisconnectedWithDefaults) {
  CEventSocket socket;
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.LastError(), 0u);
  EXPECT_EQ(socket.Timeout(), 10000u);
}

TEST(EventSocketTest, SendsAGatherListAndReceivesTheAnswer) {
  ScriptedServer server(Echo);
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  EXPECT_TRUE(socket.IsConnected());

  char first[] = "hello, ";
  char second[] = "world\n";
  const SocketBuffer buffers[2] = {{7, first}, {6, second}};
  uint32_t sent = 0;
  ASSERT_TRUE(socket.Write(buffers, 2, &sent));
  EXPECT_EQ(sent, 13u);
  EXPECT_EQ(ReadExactly(socket, 13), "hello, world\n");
}

TEST(EventSocketTest, ReadGivesZeroWhenThePeerCloses) {
  ScriptedServer server([](TestConnection& c, int) {
    c.Send("bye");
    c.Close();
  });
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  EXPECT_EQ(ReadExactly(socket, 3), "bye");
  EXPECT_EQ(ReadSome(socket), "");
}

TEST(EventSocketTest, ConnectWhenConnectedSucceedsWithoutResolving) {
  ScriptedServer server(Echo);
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  EXPECT_TRUE(socket.Connect(u"nonexistent.invalid", 1));
  EXPECT_EQ(socket.LastError(), 0u);
  EXPECT_TRUE(socket.IsConnected());
  // Still the first connection: an echo goes through it.
  char ping[] = "ping\n";
  const SocketBuffer one{5, ping};
  uint32_t sent = 0;
  ASSERT_TRUE(socket.Write(&one, 1, &sent));
  EXPECT_EQ(ReadExactly(socket, 5), "ping\n");
  EXPECT_EQ(server.Connections(), 1);
}

TEST(EventSocketTest, UnresolvableHostFailsWithTheResolutionError) {
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"nonexistent.invalid", 80));
  // The exact number depends on the resolver (host not found, no data, try again).
  EXPECT_NE(socket.LastError(), 0u);
  EXPECT_FALSE(socket.IsConnected());
}

TEST(EventSocketTest, EmptyHostFails) {
  CEventSocket socket;
  EXPECT_FALSE(socket.Connect(u"", 80));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrHostNotFound));
}

TEST(EventSocketTest, RefusedConnectionReportsTheRefusal) {
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"127.0.0.1", UnusedLoopbackPort()));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrRefused));
  EXPECT_FALSE(socket.IsConnected());
}

TEST(EventSocketTest, ConnectThatNeverCompletesFailsAfterTheTimeout) {
  FullBacklogListener listener;
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  EXPECT_FALSE(socket.Connect(u"127.0.0.1", listener.Port()));
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.LastError(), 0u);  // a time-out adds no error number
  // Sends and receives on the unconnected socket are refused as not connected.
  char byte = 'x';
  const SocketBuffer one{1, &byte};
  uint32_t sent = 1;
  EXPECT_FALSE(socket.Write(&one, 1, &sent));
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrNotConnected));
}

TEST(EventSocketTest, ReadAndWriteBeforeConnectFailAsNotConnected) {
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  char buffer[16];
  uint32_t length = sizeof buffer;
  EXPECT_FALSE(socket.Read(buffer, &length));
  EXPECT_EQ(socket.LastError(), uint32_t(kSockErrNotConnected));
  EXPECT_EQ(length, 0u);

  CEventSocket other;
  other.SetTimeout(kShortTimeoutMs);
  const SocketBuffer one{1, buffer};
  uint32_t sent = 0;
  EXPECT_FALSE(other.Write(&one, 1, &sent));
  EXPECT_EQ(other.LastError(), uint32_t(kSockErrNotConnected));
}

TEST(EventSocketTest, TimedOutReadLosesNothingThatArrivesLater) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string go;
    if (!c.ReadUntil("\n", &go, 5000)) return;
    c.Send("late");
    c.Pause(5000);
  });
  CEventSocket socket;
  socket.SetTimeout(kShortTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  char buffer[16];
  uint32_t length = sizeof buffer;
  EXPECT_FALSE(socket.Read(buffer, &length));
  EXPECT_EQ(socket.LastError(), 0u);
  EXPECT_TRUE(socket.IsConnected());  // a failed receive does not close

  // The cancelled receive must not have taken the bytes that come now.
  char go[] = "go\n";
  const SocketBuffer one{3, go};
  uint32_t sent = 0;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Write(&one, 1, &sent));
  EXPECT_EQ(ReadExactly(socket, 4), "late");
}

TEST(EventSocketTest, SecondReceiveWhileOneIsOutstandingIsRefused) {
  ScriptedServer server([](TestConnection& c, int) {
    std::string go;
    if (!c.ReadUntil("\n", &go, 5000)) return;
    c.Send("done");
    c.Pause(5000);
  });
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));

  std::atomic<bool> started{false};
  std::string firstResult;
  std::thread reader([&] {
    started = true;
    firstResult = ReadExactly(socket, 4);
  });
  while (!started) std::this_thread::yield();
  // Give the reader time to be inside its receive; then a second receive must be refused.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  char buffer[16];
  uint32_t length = sizeof buffer;
  const bool secondOk = socket.Read(buffer, &length);
  const uint32_t secondError = socket.LastError();

  char go[] = "go\n";
  const SocketBuffer one{3, go};
  uint32_t sent = 0;
  EXPECT_TRUE(socket.Write(&one, 1, &sent));
  reader.join();
  EXPECT_FALSE(secondOk);
  EXPECT_EQ(secondError, uint32_t(kSockErrInProgress));
  EXPECT_EQ(firstResult, "done");
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
  char text[] = "again\n";
  const SocketBuffer one{6, text};
  uint32_t sent = 0;
  ASSERT_TRUE(socket.Write(&one, 1, &sent));
  EXPECT_EQ(ReadExactly(socket, 6), "again\n");
  EXPECT_EQ(server.Connections(), 2);
}

TEST(EventSocketTest, WriteToAClosedPeerFailsWithoutASignal) {
  ScriptedServer server([](TestConnection& c, int) { c.Close(); });
  CEventSocket socket;
  socket.SetTimeout(kNormalTimeoutMs);
  ASSERT_TRUE(socket.Connect(u"127.0.0.1", server.Port()));
  EXPECT_EQ(ReadSome(socket), "");  // the peer has gone
  std::string block(65536, 'x');
  const SocketBuffer one{static_cast<uint32_t>(block.size()), &block[0]};
  // The first sends may still be taken in before the peer's close is complete.
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) {
    uint32_t sent = 0;
    failed = !socket.Write(&one, 1, &sent);
    if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(failed);
  EXPECT_NE(socket.LastError(), 0u);
}

}  // namespace
