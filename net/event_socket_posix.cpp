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

#include "net/stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

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

// How often a wait looks at a stop signal that has no descriptor to wait on.
constexpr int kStopCheckMs = 10;

enum class Wake { Ready, TimedOut, Failed, Stopped };

// Waits for `events` on fd until the deadline, or until the stop is raised. Failed leaves
// errno set.
Wake WaitFor(int fd, short events, Clock::time_point deadline, const CStopSignal* stop) {
  const int stopFd = stop != nullptr ? static_cast<int>(stop->WaitObject()) : -1;
  for (;;) {
    if (stop != nullptr && stop->Raised()) return Wake::Stopped;
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int ms = RemainingMs(deadline);
    if (stop != nullptr && stopFd < 0) ms = std::min(ms, kStopCheckMs);
    const int rc = poll(p, stopFd >= 0 ? 2 : 1, ms);
    if (rc > 0) return p[0].revents != 0 ? Wake::Ready : Wake::Stopped;
    if (rc < 0 && errno != EINTR) return Wake::Failed;
    if (Clock::now() >= deadline) return Wake::TimedOut;
  }
}

Clock::time_point After(uint32_t milliseconds) { return Clock::now() + std::chrono::milliseconds(milliseconds); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The system's lookup

uint32_t address_lookup::LookUp(const std::string& host, const std::string& port, bool numericOnly, void** list) {
  addrinfo hints{};
  hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = 0;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    if (found != nullptr) freeaddrinfo(found);
    return WinsockFromResolver(rc);
  }
  if (found == nullptr) return kSockErrHostNotFound;
  *list = found;
  return 0;
}

void address_lookup::Free(void* list) { freeaddrinfo(static_cast<addrinfo*>(list)); }

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
  // A condition variable cannot wait on the stop's descriptor: the stop is looked at in steps.
  Wake WaitConnected(uint32_t timeoutMs, const CStopSignal* stop) {
    const auto end = After(timeoutMs);
    std::unique_lock<std::mutex> lock(stateMutex);
    while (!connectSignalled) {
      if (stop != nullptr && stop->Raised()) return Wake::Stopped;
      const auto now = Clock::now();
      if (now >= end) return Wake::TimedOut;
      stateChanged.wait_for(lock, std::min<Clock::duration>(end - now, std::chrono::milliseconds(kStopCheckMs)));
    }
    return Wake::Ready;
  }
};

CEventSocket::CEventSocket() : m_platform(new Platform) {}

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

  switch (WaitFor(p.fd, POLLOUT, After(bound), m_stop)) {
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
    case Wake::Failed:
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
  uint32_t bound = 0;
  bool cut = false;
  if (!BeginWait(&bound, &cut)) return false;
  // Like an overlapped send, the call completes when every byte has been handed to the system,
  // and the whole of it is bounded by one wait's time.
  const auto deadline = After(bound);
  Platform& p = *m_platform;
  switch (p.WaitConnected(bound, m_stop)) {
    case Wake::Ready:
      break;
    case Wake::Stopped:
      m_lastError = kSockErrInterrupted;
      return false;
    default:
      m_lastError = cut ? uint32_t{kSockErrTimedOut} : uint32_t{kSockErrNotConnected};
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
      if (sent != nullptr) *sent = static_cast<uint32_t>(total);
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        m_lastError = WinsockFromErrno(errno);
        return false;
      }
      const Wake wake = WaitFor(p.fd, POLLOUT, deadline, m_stop);
      if (wake == Wake::Ready) continue;
      if (wake == Wake::TimedOut) WaitRanOut(cut);
      if (wake == Wake::Stopped) m_lastError = kSockErrInterrupted;
      if (wake == Wake::Failed) m_lastError = WinsockFromErrno(errno);
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
  uint32_t bound = 0;
  bool cut = false;
  if (!BeginWait(&bound, &cut)) return false;
  const auto deadline = After(bound);
  switch (p.WaitConnected(bound, m_stop)) {
    case Wake::Ready:
      break;
    case Wake::Stopped:
      m_lastError = kSockErrInterrupted;
      return false;
    default:
      m_lastError = cut ? uint32_t{kSockErrTimedOut} : uint32_t{kSockErrNotConnected};
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
    const Wake wake = WaitFor(p.fd, POLLIN, deadline, m_stop);
    if (wake == Wake::Ready) continue;
    if (wake == Wake::TimedOut) WaitRanOut(cut);
    if (wake == Wake::Stopped) m_lastError = kSockErrInterrupted;
    if (wake == Wake::Failed) m_lastError = WinsockFromErrno(errno);
    return false;
  }
}

bool CEventSocket::IsReusable() {
  Platform& p = *m_platform;
  if (!m_connected || p.fd < 0) return false;
  pollfd check{p.fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&check, 1, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return true;  // nothing arrived: neither a close nor stray bytes
  if (rc < 0) return false;
  // Readable: a close reads as 0 bytes, a reset as an error; bytes nobody asked for would be
  // taken for the next answer.
  char byte;
  const ssize_t n = recv(p.fd, &byte, 1, MSG_PEEK);
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

void CEventSocket::Close() {
  Platform& p = *m_platform;
  if (p.fd < 0) return;
  m_connected = false;
  p.SignalConnected(false);
  ::close(p.fd);
  p.fd = -1;
}
