// The socket over overlapped Winsock calls with events. The connect event stays signalled once
// the connect has completed and so tells sends and receives that they may start; the read and
// write events are the completion events of the overlapped calls and are signalled whenever no
// operation of their direction is outstanding.
#include "net/event_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <string>

#include "net/codepage.h"

namespace {

// Winsock is started once per process; a failed start is tried again by the next socket, and
// the library is cleaned up at exit when the start succeeded.
class WinsockStartup {
 public:
  static void Ensure() { Instance().Start(); }

 private:
  static WinsockStartup& Instance() {
    static WinsockStartup instance;
    return instance;
  }
  void Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started) return;
    WSADATA data;
    m_started = WSAStartup(MAKEWORD(2, 0), &data) == 0;
  }
  ~WinsockStartup() {
    if (m_started) WSACleanup();
  }
  std::mutex m_mutex;
  bool m_started = false;
};

// Waits for one event; true when it is signalled within the time.
bool WaitEvent(WSAEVENT event, DWORD milliseconds) {
  if (event == WSA_INVALID_EVENT) {
    // Nothing to wait for yet; the wait still takes its time, as a wait on an event would.
    Sleep(milliseconds);
    return false;
  }
  return WSAWaitForMultipleEvents(1, &event, FALSE, milliseconds, FALSE) == WSA_WAIT_EVENT_0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CResolvedAddress

CResolvedAddress::CResolvedAddress() = default;

CResolvedAddress::~CResolvedAddress() { Release(); }

void CResolvedAddress::Release() {
  if (m_list != nullptr) {
    freeaddrinfo(static_cast<addrinfo*>(m_list));
    m_list = nullptr;
  }
}

const void* CResolvedAddress::First() const { return m_list; }

uint32_t CResolvedAddress::Resolve(const std::u16string& host, uint16_t port) {
  Release();
  WinsockStartup::Ensure();
  const std::string name = Utf16ToAnsi(host);
  // An embedded NUL would silently resolve a different, shorter name.
  if (name.empty() || name.find('\0') != std::string::npos) return kSockErrHostNotFound;
  const std::string service = std::to_string(port);
  addrinfo hints{};
  hints.ai_flags = 0;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = 0;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(name.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    if (list != nullptr) freeaddrinfo(list);
    return static_cast<uint32_t>(rc);
  }
  if (list == nullptr) return kSockErrHostNotFound;
  m_list = list;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// CEventSocket

struct CEventSocket::Platform {
  WSAEVENT readEvent = WSA_INVALID_EVENT;
  WSAEVENT writeEvent = WSA_INVALID_EVENT;
  WSAEVENT connectEvent = WSA_INVALID_EVENT;
  CRITICAL_SECTION readLock;
  CRITICAL_SECTION writeLock;
  SOCKET socket = INVALID_SOCKET;

  Platform() {
    InitializeCriticalSection(&readLock);
    InitializeCriticalSection(&writeLock);
  }
  ~Platform() {
    DeleteCriticalSection(&readLock);
    DeleteCriticalSection(&writeLock);
  }
  // Releases socket and events; `closed` tells that the socket handle is closed already.
  void ReleaseAll(bool closed) {
    if (!closed && socket != INVALID_SOCKET) closesocket(socket);
    socket = INVALID_SOCKET;
    for (WSAEVENT* event : {&readEvent, &writeEvent, &connectEvent}) {
      if (*event != WSA_INVALID_EVENT) {
        WSACloseEvent(*event);
        *event = WSA_INVALID_EVENT;
      }
    }
  }
};

namespace {

class SectionLock {
 public:
  explicit SectionLock(CRITICAL_SECTION* section) : m_section(section) { EnterCriticalSection(section); }
  ~SectionLock() { LeaveCriticalSection(m_section); }
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;

 private:
  CRITICAL_SECTION* m_section;
};

// Issues one overlapped send or receive and waits for it up to the time-out. A wait that runs
// out cancels the operation and waits for the cancellation, so nothing pending refers to the
// caller's buffers or to the operation record once this returns.
// Returns 1 done (*transferred set), 0 timed out, -1 failed (*error set), -2 timed out and the
// socket had to be closed to end the operation.
template <typename Issue>
int OverlappedCall(SOCKET s, WSAEVENT event, DWORD timeout, Issue issue, DWORD* transferred,
                   DWORD* error) {
  WSAOVERLAPPED overlapped{};
  overlapped.hEvent = event;
  WSAResetEvent(event);
  if (issue(&overlapped) == SOCKET_ERROR) {
    const int code = WSAGetLastError();
    if (code != WSA_IO_PENDING) {
      // Nothing is outstanding: leave the event signalled for the next call.
      WSASetEvent(event);
      *error = static_cast<DWORD>(code);
      return -1;
    }
  }
  DWORD flags = 0;
  if (WSAWaitForMultipleEvents(1, &event, FALSE, timeout, FALSE) == WSA_WAIT_EVENT_0) {
    if (!WSAGetOverlappedResult(s, &overlapped, transferred, FALSE, &flags)) {
      *error = static_cast<DWORD>(WSAGetLastError());
      return -1;
    }
    return 1;
  }
  // Timed out: cancel and wait until the system has let go of the operation.
  DWORD ignored = 0;
  if (CancelIoEx(reinterpret_cast<HANDLE>(s), &overlapped) || GetLastError() == ERROR_NOT_FOUND) {
    WSAGetOverlappedResult(s, &overlapped, &ignored, TRUE, &flags);
  } else {
    // Cancellation refused: closing the socket ends every operation on it.
    closesocket(s);
    WSAWaitForMultipleEvents(1, &event, FALSE, INFINITE, FALSE);
    return -2;
  }
  WSASetEvent(event);
  return 0;
}


}  // namespace

CEventSocket::CEventSocket() : m_platform(new Platform) { WinsockStartup::Ensure(); }

CEventSocket::~CEventSocket() { Close(); }

bool CEventSocket::Connect(const std::u16string& host, uint16_t port) {
  if (m_connected) return true;

  CResolvedAddress address;
  const uint32_t resolveError = address.Resolve(host, port);
  if (resolveError != 0) {
    m_lastError = resolveError;
    return false;
  }
  const addrinfo* first = static_cast<const addrinfo*>(address.First());
  Platform& p = *m_platform;

  if (p.socket == INVALID_SOCKET) {
    const SOCKET s = WSASocketW(first->ai_family, first->ai_socktype, first->ai_protocol, nullptr, 0,
                                m_createFlags);
    if (s == INVALID_SOCKET) {
      m_lastError = static_cast<uint32_t>(WSAGetLastError());
      return false;
    }
    p.socket = s;
    // A request goes out as header text and then body blocks; with Nagle the last small block
    // waits for the peer's delayed acknowledgement (tens of milliseconds per call).
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    p.readEvent = WSACreateEvent();
    p.writeEvent = WSACreateEvent();
    p.connectEvent = WSACreateEvent();
    if (p.readEvent == WSA_INVALID_EVENT || p.writeEvent == WSA_INVALID_EVENT ||
        p.connectEvent == WSA_INVALID_EVENT) {
      m_lastError = static_cast<uint32_t>(WSAGetLastError());
      Close();
      return false;
    }
    // No operation is outstanding yet.
    WSASetEvent(p.readEvent);
    WSASetEvent(p.writeEvent);
    // Each registration replaces the one before, so only the connect event stays tied to a
    // network event; the other two serve as completion events.
    if (WSAEventSelect(s, p.readEvent, FD_READ) != 0 || WSAEventSelect(s, p.writeEvent, FD_WRITE) != 0 ||
        WSAEventSelect(s, p.connectEvent, FD_CONNECT) != 0) {
      m_lastError = static_cast<uint32_t>(WSAGetLastError());
      Close();
      return false;
    }
  }

  if (WSAConnect(p.socket, first->ai_addr, static_cast<int>(first->ai_addrlen), nullptr, nullptr, nullptr,
                 nullptr) == 0) {
    WSASetEvent(p.connectEvent);
    m_connected = true;
    return true;
  }
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) {
    m_lastError = static_cast<uint32_t>(error);
    return false;
  }
  if (WSAWaitForMultipleEvents(1, &p.connectEvent, FALSE, m_timeout, FALSE) != WSA_WAIT_EVENT_0) {
    return false;  // timed out: no new error number
  }
  // No event handle here: the connect event must stay signalled for sends and receives.
  WSANETWORKEVENTS events{};
  if (WSAEnumNetworkEvents(p.socket, nullptr, &events) != 0) {
    m_lastError = static_cast<uint32_t>(WSAGetLastError());
    return false;
  }
  const int connectError = events.iErrorCode[FD_CONNECT_BIT];
  if (connectError != 0) {
    m_lastError = static_cast<uint32_t>(connectError);
    return false;
  }
  m_connected = true;
  return true;
}

// The shared path of Read and Write: wait for the connection, refuse a second operation in the
// same direction, then run the overlapped call under that direction's lock.
template <typename Issue>
bool CEventSocket::Transfer(bool write, Issue issue, uint32_t* transferred) {
  Platform& p = *m_platform;
  WSAEVENT& event = write ? p.writeEvent : p.readEvent;
  if (!WaitEvent(p.connectEvent, m_timeout)) {
    m_lastError = kSockErrNotConnected;
    return false;
  }
  if (!WaitEvent(event, 0)) {
    m_lastError = kSockErrInProgress;
    return false;
  }
  SectionLock lock(write ? &p.writeLock : &p.readLock);
  if (p.socket == INVALID_SOCKET) {
    m_lastError = kSockErrNotConnected;
    return false;
  }
  DWORD done = 0;
  DWORD error = 0;
  const SOCKET s = p.socket;
  const int rc = OverlappedCall(
      s, event, m_timeout, [&](WSAOVERLAPPED* overlapped) { return issue(s, overlapped); }, &done, &error);
  if (rc == -1) m_lastError = error;
  if (rc == -2) {
    m_connected = false;
    p.ReleaseAll(true);
  }
  if (rc <= 0) return false;
  *transferred = done;
  return true;
}

bool CEventSocket::Write(const SocketBuffer* buffers, uint32_t count, uint32_t* sent) {
  if (sent != nullptr) *sent = 0;
  if (count > 0 && buffers == nullptr) {
    m_lastError = WSAEFAULT;
    return false;
  }
  // SocketBuffer has WSABUF's layout.
  static_assert(sizeof(SocketBuffer) == sizeof(WSABUF), "SocketBuffer must match WSABUF");
  WSABUF* list = reinterpret_cast<WSABUF*>(const_cast<SocketBuffer*>(buffers));
  uint32_t transferred = 0;
  const bool ok = Transfer(
      true,
      [&](SOCKET s, WSAOVERLAPPED* overlapped) {
        DWORD immediate = 0;
        return WSASend(s, list, count, &immediate, 0, overlapped, nullptr);
      },
      &transferred);
  if (ok && sent != nullptr) *sent = transferred;
  return ok;
}

bool CEventSocket::Read(char* buffer, uint32_t* length) {
  const uint32_t capacity = length != nullptr ? *length : 0;
  if (length == nullptr || (buffer == nullptr && capacity > 0)) {
    m_lastError = WSAEFAULT;
    return false;
  }
  *length = 0;
  WSABUF one;
  one.len = capacity;
  one.buf = buffer;
  return Transfer(
      false,
      [&](SOCKET s, WSAOVERLAPPED* overlapped) {
        DWORD immediate = 0;
        DWORD flags = 0;
        return WSARecv(s, &one, 1, &immediate, &flags, overlapped, nullptr);
      },
      length);
}

void CEventSocket::Close() {
  Platform& p = *m_platform;
  if (p.socket == INVALID_SOCKET) return;
  m_connected = false;
  p.ReleaseAll(false);
}
