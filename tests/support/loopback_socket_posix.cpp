#include "tests/support/loopback_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loopback {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int NewSocket() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (!SetNonBlocking(fd)) {
    ::close(fd);
    return -1;
  }
#ifdef SO_NOSIGPIPE
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  return fd;
}

Handle BindLoopback(uint16_t wanted, uint16_t* port) {
  const int fd = NewSocket();
  if (fd < 0) return kInvalid;
  sockaddr_in a = Loopback(wanted);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    return kInvalid;
  }
  *port = ntohs(a.sin_port);
  return fd;
}

int Wait(Handle h, short events, int timeoutMs) {
  pollfd p{static_cast<int>(h), events, 0};
  for (;;) {
    const int rc = poll(&p, 1, timeoutMs);
    if (rc > 0) return 1;
    if (rc == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

void Startup() {}

Handle Listen(int backlog, uint16_t* port) {
  const Handle h = BindLoopback(0, port);
  if (h == kInvalid) return kInvalid;
  if (listen(static_cast<int>(h), backlog) != 0) {
    ::close(static_cast<int>(h));
    return kInvalid;
  }
  return h;
}

Handle BindOnly(uint16_t* port) { return BindLoopback(0, port); }

Handle ConnectStart(uint16_t port) {
  const int fd = NewSocket();
  if (fd < 0) return kInvalid;
  const sockaddr_in a = Loopback(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    return kInvalid;
  }
  return fd;
}

int WaitReadable(Handle h, int timeoutMs) { return Wait(h, POLLIN, timeoutMs); }
int WaitWritable(Handle h, int timeoutMs) { return Wait(h, POLLOUT, timeoutMs); }

Handle Accept(Handle listener) {
  const int fd = accept(static_cast<int>(listener), nullptr, nullptr);
  if (fd < 0) return kInvalid;
  if (!SetNonBlocking(fd)) {
    ::close(fd);
    return kInvalid;
  }
  return fd;
}

long Recv(Handle h, char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t rc = recv(static_cast<int>(h), buffer, capacity, 0);
    if (rc >= 0) return static_cast<long>(rc);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : kFailed;
  }
}

long Send(Handle h, const char* data, size_t size) {
  for (;;) {
    const ssize_t rc = send(static_cast<int>(h), data, size, kSendFlags);
    if (rc >= 0) return static_cast<long>(rc);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : kFailed;
  }
}

void ShutdownSend(Handle h) { shutdown(static_cast<int>(h), SHUT_WR); }

void Close(Handle h) {
  if (h != kInvalid) ::close(static_cast<int>(h));
}

}  // namespace loopback
