// The few socket calls the loopback test peers need, over BSD sockets or Winsock. Every socket
// made here is non-blocking; waits are explicit and bounded by the caller.
#pragma once

#include <cstddef>
#include <cstdint>

namespace loopback {

using Handle = intptr_t;
constexpr Handle kInvalid = -1;

// Starts the socket library when the platform needs it; harmless to call often.
void Startup();

// A listener on 127.0.0.1 at a free port.
Handle Listen(int backlog, uint16_t* port);
// A socket bound to 127.0.0.1 at a free port, not listening.
Handle BindOnly(uint16_t* port);
// Starts a connect to 127.0.0.1:port.
Handle ConnectStart(uint16_t port);

// 1 ready, 0 timed out, -1 failed.
int WaitReadable(Handle h, int timeoutMs);
int WaitWritable(Handle h, int timeoutMs);

Handle Accept(Handle listener);

constexpr long kWouldBlock = -1;
constexpr long kFailed = -2;
// Bytes received, 0 when the peer closed, kWouldBlock or kFailed.
long Recv(Handle h, char* buffer, size_t capacity);
// Bytes sent, kWouldBlock or kFailed. Never raises SIGPIPE.
long Send(Handle h, const char* data, size_t size);

void ShutdownSend(Handle h);
void Close(Handle h);

}  // namespace loopback
