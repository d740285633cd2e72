// A TCP client socket whose every wait is bounded by one time-out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Error numbers the socket sets itself (Winsock numbering on every platform).
enum : uint32_t {
  kSockErrInProgress = 10036,  // WSAEINPROGRESS: an earlier operation in the same direction is outstanding
  kSockErrAlready = 10037,     // WSAEALREADY: creation requested while a socket exists
  kSockErrNotConnected = 10057 // WSAENOTCONN: no connect within the time-out
};
// System errors the posix side translates to Winsock numbers, so callers see one numbering.
enum : uint32_t {
  kSockErrTimedOut = 10060,     // WSAETIMEDOUT
  kSockErrRefused = 10061,      // WSAECONNREFUSED
  kSockErrHostNotFound = 11001  // WSAHOST_NOT_FOUND
};

// One entry of a gather list; same member order as WSABUF.
struct SocketBuffer {
  uint32_t len;
  char* buf;
};

// One resolved address list; only the first entry is used.
class CResolvedAddress {
 public:
  CResolvedAddress();
  ~CResolvedAddress();
  CResolvedAddress(const CResolvedAddress&) = delete;
  CResolvedAddress& operator=(const CResolvedAddress&) = delete;

  // Resolves host and port (decimal); returns 0 or the resolution error number.
  uint32_t Resolve(const std::u16string& host, uint16_t port);
  void Release();
  // The first entry of the list (an addrinfo*), or null.
  const void* First() const;

 private:
  void* m_list = nullptr;
};

class CEventSocket {
 public:
  CEventSocket();
  virtual ~CEventSocket();
  CEventSocket(const CEventSocket&) = delete;
  CEventSocket& operator=(const CEventSocket&) = delete;

  // Resolves, creates the socket when there is none, connects. True at once when already connected.
  bool Connect(const std::u16string& host, uint16_t port);
  // Sends the gather list; *sent receives the byte count.
  bool Write(const SocketBuffer* buffers, uint32_t count, uint32_t* sent);
  // On entry *length is the capacity; on return the bytes received (0: the peer closed).
  bool Read(char* buffer, uint32_t* length);
  // Closes socket and events; harmless when nothing is open. The object can connect again.
  void Close();

  void SetTimeout(uint32_t milliseconds) { m_timeout = milliseconds; }
  uint32_t Timeout() const { return m_timeout; }
  uint32_t LastError() const { return m_lastError; }
  bool IsConnected() const { return m_connected; }

 protected:
  template <typename Issue>
  bool Transfer(bool write, Issue issue, uint32_t* transferred);  // the Windows side of Read and Write

  uint32_t m_createFlags = 1;  // overlapped
  struct Platform;             // events, locks and the socket handle of this platform
  std::unique_ptr<Platform> m_platform;
  bool m_connected = false;
  uint32_t m_lastError = 0;
  uint32_t m_timeout = 10000;
};
