#include "tests/support/loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

namespace loopback {
namespace {

SOCKET S(Handle h) { return static_cast<SOCKET>(h); }

bool SetNonBlocking(SOCKET s) {
  u_long one = 1;
  return ioctlsocket(s, FIONBIO, &one) == 0;
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

SOCKET NewSocket() {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  if (!SetNonBlocking(s)) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

Handle BindLoopback(uint16_t wanted, uint16_t* port) {
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return kInvalid;
  sockaddr_in a = Loopback(wanted);
  int len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    closesocket(s);
    return kInvalid;
  }
  *port = ntohs(a.sin_port);
  return static_cast<Handle>(s);
}

// select on one socket; `write` also reports a failed connect (exception set).
int Wait(Handle h, bool write, int timeoutMs) {
  fd_set main;
  fd_set except;
  FD_ZERO(&main);
  FD_ZERO(&except);
  FD_SET(S(h), &main);
  FD_SET(S(h), &except);
  timeval tv;
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  const int rc = write ? select(0, nullptr, &main, &except, &tv) : select(0, &main, nullptr, &except, &tv);
  if (rc > 0) return 1;
  return rc == 0 ? 0 : -1;
}

}  // namespace

void Startup() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

Handle Listen(int backlog, uint16_t* port) {
  Startup();
  const Handle h = BindLoopback(0, port);
  if (h == kInvalid) return kInvalid;
  if (listen(S(h), backlog) != 0) {
    closesocket(S(h));
    return kInvalid;
  }
  return h;
}

Handle BindOnly(uint16_t* port) {
  Startup();
  return BindLoopback(0, port);
}

Handle ConnectStart(uint16_t port) {
  Startup();
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return kInvalid;
  const sockaddr_in a = Loopback(port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(s);
    return kInvalid;
  }
  return static_cast<Handle>(s);
}

int WaitReadable(Handle h, int timeoutMs) { return Wait(h, false, timeoutMs); }
int WaitWritable(Handle h, int timeoutMs) { return Wait(h, true, timeoutMs); }

Handle Accept(Handle listener) {
  const SOCKET s = accept(S(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kInvalid;
  if (!SetNonBlocking(s)) {
    closesocket(s);
    return kInvalid;
  }
  return static_cast<Handle>(s);
}

long Recv(Handle h, char* buffer, size_t capacity) {
  const int n = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  const int rc = recv(S(h), buffer, n, 0);
  if (rc >= 0) return rc;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

long Send(Handle h, const char* data, size_t size) {
  const int n = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  const int rc = send(S(h), data, n, 0);
  if (rc >= 0) return rc;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

void ShutdownSend(Handle h) { shutdown(S(h), SD_SEND); }

void Close(Handle h) {
  if (h != kInvalid) closesocket(S(h));
}

}  // namespace loopback
