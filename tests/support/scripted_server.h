// A loopback HTTP peer for tests: listens on 127.0.0.1 (a free port), and runs a script
// on each accepted connection in its own thread. Every wait is bounded.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// One accepted connection, as seen by a script.
class TestConnection {
 public:
  virtual ~TestConnection() = default;
  // Reads one HTTP request: the header block and, when it has Content-Length, that many body
  // bytes. False on close, error or time-out.
  virtual bool ReadRequest(std::string* request, int timeoutMs = 10000) = 0;
  // Reads until `delimiter` has been seen (included in *out).
  virtual bool ReadUntil(std::string_view delimiter, std::string* out, int timeoutMs = 10000) = 0;
  virtual bool Send(std::string_view bytes) = 0;
  // Orderly close of the sending side, then close.
  virtual void Close() = 0;
  // Sleep in small steps; returns early (false) when the server is stopping.
  virtual bool Pause(int milliseconds) = 0;
};

class ScriptedServer {
 public:
  // script(connection, index): index counts accepted connections from 0.
  using Script = std::function<void(TestConnection& connection, int index)>;
  explicit ScriptedServer(Script script);
  ~ScriptedServer();  // stops accepting, closes connections, joins every thread

  uint16_t Port() const { return m_port; }
  // "127.0.0.1:PORT"
  std::u16string Host() const;
  int Connections() const { return m_connections.load(); }
  // Every request read through ReadRequest, in arrival order.
  std::vector<std::string> Requests() const;

  // Convenience: a script that answers every request on a connection with `response`. With
  // `idleCloseMs`, a connection that has had no request for that long after an answer is
  // closed, as servers drop idle kept-alive connections.
  static Script Reply(std::string response, int idleCloseMs = 0);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  uint16_t m_port = 0;
  std::atomic<int> m_connections{0};
  friend struct ScriptedServerAccess;
};

// A listener on 127.0.0.1 whose accept queue is kept full, so new connects never complete.
class FullBacklogListener {
 public:
  FullBacklogListener();
  ~FullBacklogListener();
  uint16_t Port() const { return m_port; }

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  uint16_t m_port = 0;
};

// A port on 127.0.0.1 with nothing listening (connections are refused).
uint16_t UnusedLoopbackPort();
