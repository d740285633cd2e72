// A TCP client socket whose every wait is bounded by one time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/resolved_address.h"

class CStopSignal;

// Error numbers the socket sets itself (Winsock numbering on every platform).
enum : uint32_t {
  kSockErrNoMemory = 8,          // WSA_NOT_ENOUGH_MEMORY: a buffer could not grow
  kSockErrInterrupted = 10004,   // WSAEINTR: the stop signal was raised
  kSockErrInProgress = 10036,    // WSAEINPROGRESS: an earlier operation in the same direction is outstanding
  kSockErrAlready = 10037,       // WSAEALREADY: creation requested while a socket exists
  kSockErrNotConnected = 10057,  // WSAENOTCONN: no connect within the time-out
  kSockErrSystemCall = 10107,    // WSASYSCALLFAILURE: a failure with no closer number
};
// System errors the posix side translates to Winsock numbers, so callers see one numbering.
enum : uint32_t {
  kSockErrTimedOut = 10060,     // WSAETIMEDOUT; also a wait cut short by the deadline
  kSockErrRefused = 10061,      // WSAECONNREFUSED
  kSockErrHostNotFound = 11001  // WSAHOST_NOT_FOUND
};

// One entry of a gather list; same member order as WSABUF.
struct SocketBuffer {
  uint32_t len;
  char* buf;
};

class CEventSocket {
 public:
  CEventSocket();
  virtual ~CEventSocket();
  CEventSocket(const CEventSocket&) = delete;
  CEventSocket& operator=(const CEventSocket&) = delete;

  // Resolves, creates the socket when there is none, connects. True at once when already connected.
  // Every operation fails at once with kSockErrInterrupted while the stop signal is raised.
  bool Connect(const std::u16string& host, uint16_t port);
  // Sends the gather list; *sent receives the byte count.
  bool Write(const SocketBuffer* buffers, uint32_t count, uint32_t* sent);
  // On entry *length is the capacity; on return the bytes received (0: the peer closed).
  bool Read(char* buffer, uint32_t* length);
  // Closes socket and events; harmless when nothing is open. The object can connect again.
  void Close();

  // Without waiting: true when the connection can carry a new request, i.e. the peer has neither
  // closed nor reset it and has sent nothing unasked.
  bool IsReusable();

  // Raised from any thread, `signal` ends every wait of this socket: the waiting operation
  // cancels what it has pending and fails with kSockErrInterrupted. Not owned; null = none.
  void SetStopSignal(const CStopSignal* signal) { m_stop = signal; }
  // Bounds every later wait by one overall end, `milliseconds` from now (0: no bound); a wait
  // it cuts short fails with kSockErrTimedOut.
  void SetDeadline(uint32_t milliseconds);
  void SetTimeout(uint32_t milliseconds) { m_timeout = milliseconds; }
  uint32_t Timeout() const { return m_timeout; }
  uint32_t LastError() const { return m_lastError; }
  bool IsConnected() const { return m_connected; }

 protected:
  template <typename Issue>
  bool Transfer(bool write, Issue issue, uint32_t* transferred);  // the Windows side of Read and Write

  // Checks the stop and the deadline before a wait; false (error set) when it must not start.
  // *bound is the wait's time, the time-out cut to what is left of the deadline.
  bool BeginWait(uint32_t* bound, bool* cutByDeadline);
  // After a wait ran out: only the deadline leaves an error number.
  void WaitRanOut(bool cutByDeadline);
  bool StopRaised() const;

  uint32_t m_createFlags = 1;  // overlapped
  struct Platform;             // events, locks and the socket handle of this platform
  std::unique_ptr<Platform> m_platform;
  bool m_connected = false;
  uint32_t m_lastError = 0;
  uint32_t m_timeout = 10000;
  const CStopSignal* m_stop = nullptr;
  bool m_hasDeadline = false;
  std::chrono::steady_clock::time_point m_deadline;
};
