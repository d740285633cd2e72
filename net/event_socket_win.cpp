// The socket over overlapped Winsock calls with events. The connect event stays signalled once
// the connect has completed and so tells sends and receives that they may start; the read and
// write events are the completion events of the overlapped calls and are signalled whenever no
// operation of their direction is outstanding.
#include "net/event_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <string>

#include "net/stop_signal.h"

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

// How often a wait looks at a stop signal that has no event to wait on.
constexpr DWORD kStopCheckMs = 10;

enum class Wake { Ready, TimedOut, Stopped };

// Waits for `event` (WSA_INVALID_EVENT: for the time alone) or for the stop, up to the time.
Wake WaitEvent(WSAEVENT event, const CStopSignal* stop, DWORD milliseconds) {
  WSAEVENT events[2];
  DWORD count = 0;
  if (event != WSA_INVALID_EVENT) events[count++] = event;
  const bool stopHasEvent = stop != nullptr && stop->WaitObject() != -1;
  if (stopHasEvent) events[count++] = reinterpret_cast<HANDLE>(stop->WaitObject());
  const DWORD step = stop != nullptr && !stopHasEvent ? kStopCheckMs : milliseconds;
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    if (stop != nullptr && stop->Raised()) return Wake::Stopped;
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
    const DWORD wait = left < step ? left : step;
    DWORD rc = WSA_WAIT_TIMEOUT;
    if (count > 0) {
      rc = WSAWaitForMultipleEvents(count, events, FALSE, wait, FALSE);
    } else {
      Sleep(wait);
    }
    if (rc == WSA_WAIT_EVENT_0 && event != WSA_INVALID_EVENT) return Wake::Ready;
    if (stop != nullptr && stop->Raised()) return Wake::Stopped;
    if (rc != WSA_WAIT_TIMEOUT || wait == left) return Wake::TimedOut;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The system's lookup

uint32_t address_lookup::LookUp(const std::string& host, const std::string& port, bool numericOnly, void** list) {
  WinsockStartup::Ensure();
  addrinfo hints{};
  hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = 0;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    if (found != nullptr) freeaddrinfo(found);
    return static_cast<uint32_t>(rc);
  }
  if (found == nullptr) return kSockErrHostNotFound;
  *list = found;
  return 0;
}

void address_lookup::Free(void* list) { freeaddrinfo(static_cast<addrinfo*>(list)); }

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

enum class Outcome { Done, Failed, TimedOut, Stopped };

// Issues one overlapped send or receive and waits for it up to the time-out or the stop. A wait
// that ends without the operation cancels it and waits for the cancellation, so nothing pending
// refers to the caller's buffers or to the operation record once this returns. *closed tells
// that the socket had to be closed to end the operation; Failed sets *error.
template <typename Issue>
Outcome OverlappedCall(SOCKET s, WSAEVENT event, const CStopSignal* stop, DWORD timeout, Issue issue,
                       DWORD* transferred, DWORD* error, bool* closed) {
  *closed = false;
  WSAOVERLAPPED overlapped{};
  overlapped.hEvent = event;
  WSAResetEvent(event);
  if (issue(&overlapped) == SOCKET_ERROR) {
    const int code = WSAGetLastError();
    if (code != WSA_IO_PENDING) {
      // Nothing is outstanding: leave the event signalled for the next call.
      WSASetEvent(event);
      *error = static_cast<DWORD>(code);
      return Outcome::Failed;
    }
  }
  DWORD flags = 0;
  const Wake wake = WaitEvent(event, stop, timeout);
  if (wake == Wake::Ready) {
    if (!WSAGetOverlappedResult(s, &overlapped, transferred, FALSE, &flags)) {
      *error = static_cast<DWORD>(WSAGetLastError());
      return Outcome::Failed;
    }
    return Outcome::Done;
  }
  // Cancel and wait until the system has let go of the operation.
  DWORD ignored = 0;
  if (CancelIoEx(reinterpret_cast<HANDLE>(s), &overlapped) || GetLastError() == ERROR_NOT_FOUND) {
    WSAGetOverlappedResult(s, &overlapped, &ignored, TRUE, &flags);
    WSASetEvent(event);
  } else {
    // Cancellation refused: closing the socket ends every operation on it.
    closesocket(s);
    WSAWaitForMultipleEvents(1, &event, FALSE, INFINITE, FALSE);
    *closed = true;
  }
  return wake == Wake::Stopped ? Outcome::Stopped : Outcome::TimedOut;
}

}  // namespace

CEventSocket::CEventSocket() : m_platform(new Platform) { WinsockStartup::Ensure(); }

CEventSocket::~CEventSocket() { Close(); }

bool CEventSocket::Connect(const std::u16string& host, uint16_t port) {
  uint32_t bound = 0;
  bool cut = false;
  if (!BeginWait(&bound, &cut)) return false;
  if (m_connected) return true;

  CResolvedAddress address;
  const uint32_t resolveError = address.Resolve(host, port, m_stop, bound);
  if (resolveError != 0) {
    m_lastError = resolveError;
    return false;
  }
  const addrinfo* first = static_cast<const addrinfo*>(address.First());
  // The connect's own wait gets what the lookup left of the deadline.
  if (!BeginWait(&bound, &cut)) return false;
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
  switch (WaitEvent(p.connectEvent, m_stop, bound)) {
    case Wake::Ready:
      break;
    case Wake::TimedOut:
      WaitRanOut(cut);  // the time-out alone leaves no new error number
      return false;
    case Wake::Stopped:
      // A pending connect has no cancel of its own: closing the socket (on this, its own
      // thread) ends it.
      Close();
      m_lastError = kSockErrInterrupted;
      return false;
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
  uint32_t bound = 0;
  bool cut = false;
  if (!BeginWait(&bound, &cut)) return false;
  const ULONGLONG start = GetTickCount64();
  switch (WaitEvent(p.connectEvent, m_stop, bound)) {
    case Wake::Ready:
      break;
    case Wake::Stopped:
      m_lastError = kSockErrInterrupted;
      return false;
    case Wake::TimedOut:
      m_lastError = cut ? uint32_t{kSockErrTimedOut} : uint32_t{kSockErrNotConnected};
      return false;
  }
  // The operation's wait gets what the wait for the connection left.
  const ULONGLONG spent = GetTickCount64() - start;
  bound = spent >= bound ? 0 : bound - static_cast<uint32_t>(spent);
  WSAEVENT& event = write ? p.writeEvent : p.readEvent;
  if (event == WSA_INVALID_EVENT || WSAWaitForMultipleEvents(1, &event, FALSE, 0, FALSE) != WSA_WAIT_EVENT_0) {
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
  bool closed = false;
  const Outcome outcome = OverlappedCall(
      s, event, m_stop, bound, [&](WSAOVERLAPPED* overlapped) { return issue(s, overlapped); }, &done, &error,
      &closed);
  if (closed) {
    m_connected = false;
    p.ReleaseAll(true);
  }
  switch (outcome) {
    case Outcome::Done:
      *transferred = done;
      return true;
    case Outcome::Failed:
      m_lastError = error;
      return false;
    case Outcome::TimedOut:
      WaitRanOut(cut);
      return false;
    case Outcome::Stopped:
      m_lastError = kSockErrInterrupted;
      return false;
  }
  return false;
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

bool CEventSocket::IsReusable() {
  Platform& p = *m_platform;
  if (!m_connected || p.socket == INVALID_SOCKET) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(p.socket, &readable);
  timeval now{0, 0};
  const int rc = select(0, &readable, nullptr, nullptr, &now);
  if (rc == 0) return true;  // nothing arrived: neither a close nor stray bytes
  if (rc == SOCKET_ERROR) return false;
  // Readable: a close reads as 0 bytes, a reset as an error; bytes nobody asked for would be
  // taken for the next answer.
  char byte;
  const int n = recv(p.socket, &byte, 1, MSG_PEEK);
  return n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
}

void CEventSocket::Close() {
  Platform& p = *m_platform;
  if (p.socket == INVALID_SOCKET) return;
  m_connected = false;
  p.ReleaseAll(false);
}
