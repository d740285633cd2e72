// The socket over non-blocking BSD sockets and poll. Behaves as the Winsock one does: every wait
// is bounded by the time-out, errors are reported in Winsock numbering, and the "connect event"
// is the connected state, which a send or receive waits for.
#include "net/event_socket.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "net/codepage.h"

namespace {

using Clock = std::chrono::steady_clock;

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

// Generic failure of a system call with no closer Winsock equivalent (WSASYSCALLFAILURE).
constexpr uint32_t kSockErrSystemCall = 10107;

uint32_t WinsockFromErrno(int err) {
  switch (err) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAGAIN: return 10035;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return 10035;
#endif
    case EINPROGRESS: return kSockErrInProgress;
    case EALREADY: return kSockErrAlready;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // the peer is gone: Winsock reports a reset
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return kSockErrNotConnected;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return kSockErrTimedOut;
    case ECONNREFUSED: return kSockErrRefused;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOMEM: return 8;  // WSA_NOT_ENOUGH_MEMORY
    default: return kSockErrSystemCall;
  }
}

uint32_t WinsockFromResolver(int rc) {
  switch (rc) {
    case EAI_NONAME: return kSockErrHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;  // WSANO_DATA
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return 11004;
#endif
    case EAI_AGAIN: return 11002;  // WSATRY_AGAIN
    case EAI_FAIL: return 11003;   // WSANO_RECOVERY
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SERVICE: return 10109;  // WSATYPE_NOT_FOUND
    case EAI_BADFLAGS: return 10022;
    case EAI_MEMORY: return 8;
    case EAI_SYSTEM: return WinsockFromErrno(errno);
    default: return kSockErrHostNotFound;
  }
}

// Milliseconds left until `deadline`, for poll.
int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

// Waits for `events` on fd until the deadline. 1 ready (or error condition pending), 0 timed out,
// -1 poll failed (errno set).
int WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int rc = poll(&p, 1, RemainingMs(deadline));
    if (rc > 0) return 1;
    if (rc == 0) return 0;
    if (errno != EINTR) return -1;
    if (Clock::now() >= deadline) return 0;
  }
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
    return WinsockFromResolver(rc);
  }
  if (list == nullptr) return kSockErrHostNotFound;
  m_list = list;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// CEventSocket

struct CEventSocket::Platform {
  int fd = -1;
  std::mutex readLock;
  std::mutex writeLock;
  // The connected state plays the connect event: sends and receives wait for it.
  std::mutex stateMutex;
  std::condition_variable stateChanged;
  bool connectSignalled = false;

  void SignalConnected(bool value) {
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      connectSignalled = value;
    }
    stateChanged.notify_all();
  }
  bool WaitConnected(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(stateMutex);
    return stateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return connectSignalled; });
  }
};

CEventSocket::CEventSocket() : m_platform(new Platform) {}

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
  if (p.fd < 0) {
    const int fd = socket(first->ai_family, first->ai_socktype | SOCK_CLOEXEC, first->ai_protocol);
    if (fd < 0) {
      m_lastError = WinsockFromErrno(errno);
      return false;
    }
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
      m_lastError = WinsockFromErrno(errno);
      ::close(fd);
      return false;
    }
    int one = 1;
#ifdef SO_NOSIGPIPE
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    // A request goes out as header text and then body blocks; with Nagle the last small block
    // waits for the peer's delayed acknowledgement (tens of milliseconds per call).
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    p.fd = fd;
  }

  int rc;
  do {
    rc = ::connect(p.fd, first->ai_addr, first->ai_addrlen);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    m_connected = true;
    p.SignalConnected(true);
    return true;
  }
  if (errno != EINPROGRESS) {
    m_lastError = WinsockFromErrno(errno);
    return false;
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeout);
  const int ready = WaitFor(p.fd, POLLOUT, deadline);
  if (ready == 0) return false;  // timed out: no new error number
  if (ready < 0) {
    m_lastError = WinsockFromErrno(errno);
    return false;
  }
  int soError = 0;
  socklen_t len = sizeof soError;
  if (getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) {
    m_lastError = WinsockFromErrno(errno);
    return false;
  }
  if (soError != 0) {
    m_lastError = WinsockFromErrno(soError);
    return false;
  }
  m_connected = true;
  p.SignalConnected(true);
  return true;
}

bool CEventSocket::Write(const SocketBuffer* buffers, uint32_t count, uint32_t* sent) {
  if (sent != nullptr) *sent = 0;
  Platform& p = *m_platform;
  if (!p.WaitConnected(m_timeout)) {
    m_lastError = kSockErrNotConnected;
    return false;
  }
  std::unique_lock<std::mutex> lock(p.writeLock, std::try_to_lock);
  if (!lock.owns_lock()) {
    m_lastError = kSockErrInProgress;
    return false;
  }
  if (count > 0 && buffers == nullptr) {
    m_lastError = 10014;  // WSAEFAULT
    return false;
  }

  // Like an overlapped send, the call completes when every byte has been handed to the system,
  // and the whole of it is bounded by one time-out.
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeout);
  uint32_t index = 0;   // current buffer
  uint32_t offset = 0;  // bytes of it already sent
  uint64_t total = 0;
  constexpr uint32_t kMaxIov = 64;
  for (;;) {
    while (index < count && offset >= buffers[index].len) {
      ++index;
      offset = 0;
    }
    if (index >= count) break;
    iovec iov[kMaxIov];
    uint32_t n = 0;
    for (uint32_t i = index; i < count && n < kMaxIov; ++i) {
      const uint32_t skip = i == index ? offset : 0;
      if (buffers[i].len <= skip) continue;
      iov[n].iov_base = buffers[i].buf + skip;
      iov[n].iov_len = buffers[i].len - skip;
      ++n;
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = n;
    const ssize_t rc = sendmsg(p.fd, &msg, kSendFlags);
    if (rc < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        const int ready = WaitFor(p.fd, POLLOUT, deadline);
        if (ready == 0) {  // timed out: no new error number
          if (sent != nullptr) *sent = static_cast<uint32_t>(total);
          return false;
        }
        if (ready < 0) {
          m_lastError = WinsockFromErrno(errno);
          return false;
        }
        continue;
      }
      m_lastError = WinsockFromErrno(errno);
      if (sent != nullptr) *sent = static_cast<uint32_t>(total);
      return false;
    }
    total += static_cast<uint64_t>(rc);
    size_t advance = static_cast<size_t>(rc);
    while (advance > 0 && index < count) {
      const uint32_t left = buffers[index].len - offset;
      if (advance < left) {
        offset += static_cast<uint32_t>(advance);
        advance = 0;
      } else {
        advance -= left;
        ++index;
        offset = 0;
      }
    }
  }
  if (sent != nullptr) *sent = static_cast<uint32_t>(total);
  return true;
}

bool CEventSocket::Read(char* buffer, uint32_t* length) {
  Platform& p = *m_platform;
  const uint32_t capacity = length != nullptr ? *length : 0;
  if (length != nullptr) *length = 0;
  if (!p.WaitConnected(m_timeout)) {
    m_lastError = kSockErrNotConnected;
    return false;
  }
  std::unique_lock<std::mutex> lock(p.readLock, std::try_to_lock);
  if (!lock.owns_lock()) {
    m_lastError = kSockErrInProgress;
    return false;
  }
  if (length == nullptr || (buffer == nullptr && capacity > 0)) {
    m_lastError = 10014;  // WSAEFAULT
    return false;
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeout);
  for (;;) {
    const ssize_t rc = recv(p.fd, buffer, capacity, 0);
    if (rc >= 0) {
      *length = static_cast<uint32_t>(rc);
      return true;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      m_lastError = WinsockFromErrno(errno);
      return false;
    }
    const int ready = WaitFor(p.fd, POLLIN, deadline);
    if (ready == 0) return false;  // timed out: no new error number
    if (ready < 0) {
      m_lastError = WinsockFromErrno(errno);
      return false;
    }
  }
}

void CEventSocket::Close() {
  Platform& p = *m_platform;
  if (p.fd < 0) return;
  m_connected = false;
  p.SignalConnected(false);
  ::close(p.fd);
  p.fd = -1;
}
