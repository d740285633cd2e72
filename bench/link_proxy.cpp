// link_proxy: a TCP proxy on 127.0.0.1 that behaves like a customer's home connection, so that
// uploads can be timed as a customer would see them.
//
//   link_proxy --target HOST:PORT [--listen 127.0.0.1:PORT] [--delay-ms MS] [--mbit RATE]
//
// The line: "20 Mbit/s shared up and down" is read as one line of RATE Mbit/s in each direction
// (full duplex, as DSL and cable lines are), each direction shared by all connections through
// the proxy. Every direction is a queue that serialises bytes at the line rate in the order they
// were read, whichever connection they came from (a token bucket with no burst allowance);
// a byte reaches the far side only after its turn on the line plus the one-way delay (default
// 20 ms, so a round trip adds 40 ms). Data are released in packet-sized segments, as a real line
// delivers them. A new connection pays its handshake: what the client sends leaves no earlier
// than one round trip after the connection was accepted.
//
// Bounds: at most 64 connections at once (further ones wait in the listen backlog); at most
// 1 MiB read but not yet delivered per connection and direction (it acts like a TCP window);
// the line's own queue holds at most 10 ms of data, the rest waits in the sender's socket.
//
// The port is printed on the first line (port 0 picks one); at SIGINT/SIGTERM the proxy stops and
// prints what it carried: "up BYTES down BYTES connections N".
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxConnections = 64;
constexpr size_t kPipeCap = 1 << 20;
constexpr size_t kSegment = 1448;  // one TCP segment on an Ethernet-sized path
constexpr int64_t kQueueNs = 10'000'000;
constexpr int64_t kNever = INT64_MAX;

int64_t Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// One direction of the line, shared by every connection.
class Line {
 public:
  Line(double bitsPerSecond, int64_t delayNs) : m_nsPerByte(8e9 / bitsPerSecond), m_delay(delayNs) {}

  // Puts `bytes` that were ready to go at `ready` on the line; returns when their last byte
  // reaches the far side.
  int64_t Send(int64_t ready, size_t bytes) {
    m_free = std::max(m_free, static_cast<double>(ready)) + static_cast<double>(bytes) * m_nsPerByte;
    return static_cast<int64_t>(std::ceil(m_free)) + m_delay;
  }
  // When an end-of-stream ready at `ready` reaches the far side: behind the data on the line.
  int64_t EndArrives(int64_t ready) const {
    return std::max(ready, static_cast<int64_t>(std::ceil(m_free))) + m_delay;
  }
  // Bytes that may join the queue now. The queue is refilled only once it has drained to half,
  // so that reads come in useful sizes.
  size_t Room(int64_t now) const {
    const double backlog = m_free - static_cast<double>(now);
    if (backlog > kQueueNs / 2) return 0;
    return static_cast<size_t>((static_cast<double>(kQueueNs) - std::max(backlog, 0.0)) / m_nsPerByte) + 1;
  }
  // When Room becomes non-zero.
  int64_t RoomAt() const { return static_cast<int64_t>(m_free) - kQueueNs / 2; }

  uint64_t carried = 0;

 private:
  double m_nsPerByte;
  int64_t m_delay;
  double m_free = 0;  // when the line has sent everything queued so far
};

// One direction of one connection: bytes read from `from`, waiting for their time, then written
// to `to`. The buffer holds the stream's bytes [written, read); `segments` say when each part of
// it may be delivered.
struct Pipe {
  struct Segment {
    uint64_t end;
    int64_t due;
  };
  int from = -1;
  int to = -1;
  Line* line = nullptr;
  std::vector<char> buffer;
  size_t head = 0;  // first unwritten byte in `buffer`
  std::deque<Segment> segments;
  uint64_t read = 0;
  uint64_t released = 0;
  uint64_t written = 0;
  int64_t notBefore = 0;
  // Since when `from` is known to hold data (kNever: not known). The line takes data from then
  // on, not from when this process got round to reading it: on a busy machine the proxy may run
  // late, and a line left idle meanwhile would understate its rate. Bytes scheduled in the past
  // are delivered at once.
  int64_t waitingSince = kNever;
  bool blocked = false;  // `to` refused the last write
  bool ended = false;    // `from` reached its end
  int64_t endDue = kNever;
  bool endSent = false;

  size_t Buffered() const { return static_cast<size_t>(read - written); }
  bool WantsRead(int64_t now) const { return !ended && Buffered() < kPipeCap && now >= notBefore; }
  bool Done() const { return endSent; }

  // Reads what the line has room for. False when the connection has failed.
  bool Fill(int64_t now) {
    while (WantsRead(now)) {
      const size_t room = std::min(line->Room(now), kPipeCap - Buffered());
      if (room == 0) return true;
      if (head > 0 && head == buffer.size()) {
        buffer.clear();
        head = 0;
      } else if (head > buffer.size() / 2) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(head));
        head = 0;
      }
      const size_t want = std::min<size_t>(room, 65536);
      const size_t old = buffer.size();
      buffer.resize(old + want);
      const ssize_t n = recv(from, buffer.data() + old, want, 0);
      buffer.resize(old + static_cast<size_t>(std::max<ssize_t>(n, 0)));
      const int64_t ready = waitingSince == kNever ? now : std::max(waitingSince, notBefore);
      if (n < 0) {
        waitingSince = kNever;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
      }
      if (n == 0) {
        ended = true;
        endDue = line->EndArrives(ready);
        return true;
      }
      for (size_t done = 0; done < static_cast<size_t>(n);) {
        const size_t part = std::min(kSegment, static_cast<size_t>(n) - done);
        done += part;
        segments.push_back({read + done, line->Send(ready, part)});
      }
      read += static_cast<uint64_t>(n);
      if (static_cast<size_t>(n) < want) waitingSince = kNever;
    }
    return true;
  }

  // Writes what is due. False when the connection has failed.
  bool Flush(int64_t now) {
    while (!segments.empty() && segments.front().due <= now) {
      released = segments.front().end;
      segments.pop_front();
    }
    while (written < released) {
      const ssize_t n = send(to, buffer.data() + head, static_cast<size_t>(released - written), MSG_NOSIGNAL);
      if (n < 0) {
        blocked = errno == EAGAIN || errno == EWOULDBLOCK;
        return blocked || errno == EINTR;
      }
      blocked = false;
      head += static_cast<size_t>(n);
      written += static_cast<uint64_t>(n);
      line->carried += static_cast<uint64_t>(n);
    }
    blocked = false;
    if (ended && !endSent && written == read && now >= endDue) {
      shutdown(to, SHUT_WR);
      endSent = true;
    }
    return true;
  }

  // The next moment something falls due without any socket becoming ready.
  int64_t NextDue(const Line& l, int64_t now) const {
    int64_t next = kNever;
    if (!segments.empty()) next = segments.front().due;
    if (ended && !endSent && segments.empty() && written == read) next = std::min(next, endDue);
    if (!ended && Buffered() < kPipeCap) {
      if (now < notBefore) next = std::min(next, notBefore);
      else if (l.Room(now) == 0) next = std::min(next, l.RoomAt());
    }
    return next;
  }
};

struct Connection {
  int client = -1;
  int server = -1;
  bool failed = false;  // reset or refused: both sides are closed at once
  Pipe up;
  Pipe down;
  ~Connection() {
    if (client >= 0) close(client);
    if (server >= 0) close(server);
  }
};

bool ParseAddress(const std::string& text, sockaddr_in* out) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 >= text.size() || colon + 6 < text.size()) return false;
  std::string host = text.substr(0, colon);
  if (host == "localhost") host = "127.0.0.1";
  char* end = nullptr;
  const unsigned long port = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port > 65535) return false;
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &out->sin_addr) != 1) return false;
  // Loopback only: this is a test tool, never a relay.
  return (ntohl(out->sin_addr.s_addr) >> 24) == 127;
}

bool ParseNumber(const char* text, double low, double high, double* out) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(v >= low && v <= high)) return false;
  *out = v;
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: link_proxy --target HOST:PORT [--listen 127.0.0.1:PORT] [--delay-ms MS] [--mbit RATE]\n"
               "  defaults: --listen 127.0.0.1:0 (port printed on the first line), --delay-ms 20 (each way),\n"
               "  --mbit 20 (per direction, shared by all connections); HOST must be a loopback address\n");
  return 2;
}

void NoDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int Connect(const sockaddr_in& target) {
  // A blocking connect: the target is on this machine, so it answers at once or refuses.
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  NoDelay(fd);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  sockaddr_in listenAt{};
  sockaddr_in target{};
  bool haveTarget = false;
  double delayMs = 20;
  double mbit = 20;
  ParseAddress("127.0.0.1:0", &listenAt);
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[i + 1];
    if (option == "--listen") {
      if (!ParseAddress(value, &listenAt) || listenAt.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) return Usage();
    } else if (option == "--target") {
      if (!ParseAddress(value, &target)) return Usage();
      haveTarget = true;
    } else if (option == "--delay-ms") {
      if (!ParseNumber(value, 0, 10000, &delayMs)) return Usage();
    } else if (option == "--mbit") {
      if (!ParseNumber(value, 0.001, 100000, &mbit)) return Usage();
    } else {
      return Usage();
    }
  }
  if (!haveTarget) return Usage();

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (signals < 0 || listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&listenAt), sizeof listenAt) != 0 ||
      listen(listener, static_cast<int>(kMaxConnections)) != 0) {
    std::fprintf(stderr, "link_proxy: cannot listen: %s\n", std::strerror(errno));
    return 1;
  }
  socklen_t length = sizeof listenAt;
  getsockname(listener, reinterpret_cast<sockaddr*>(&listenAt), &length);
  std::printf("%u\n", ntohs(listenAt.sin_port));
  std::fflush(stdout);

  const int64_t delay = static_cast<int64_t>(delayMs * 1e6);
  Line upLine(mbit * 1e6, delay);
  Line downLine(mbit * 1e6, delay);
  std::vector<std::unique_ptr<Connection>> connections;
  uint64_t accepted = 0;
  size_t turn = 0;  // whose pipe reads first, so that connections share the line in turn
  std::vector<pollfd> fds;
  std::vector<std::pair<Pipe*, size_t>> readers;  // pipes waited on for reading, with their fds index

  for (bool running = true; running;) {
    int64_t now = Now();
    // Read in turn, then deliver what is due; a failed connection goes at once, a finished one
    // once both directions have ended.
    const size_t count = connections.size();
    size_t nextTurn = turn;
    for (size_t k = 0; k < count; ++k) {
      Connection& c = *connections[(turn + k) % count];
      const uint64_t before = c.up.read + c.down.read;
      if (!c.up.Fill(now) || !c.down.Fill(now)) c.failed = true;
      if (c.up.read + c.down.read != before) nextTurn = (turn + k + 1) % count;
    }
    turn = nextTurn;
    now = Now();
    for (auto it = connections.begin(); it != connections.end();) {
      Connection& c = **it;
      if (!c.failed && (!c.up.Flush(now) || !c.down.Flush(now))) c.failed = true;
      if (c.failed || (c.up.Done() && c.down.Done())) {
        it = connections.erase(it);
      } else {
        ++it;
      }
    }

    fds.clear();
    fds.push_back({signals, POLLIN, 0});
    fds.push_back({listener, static_cast<short>(connections.size() < kMaxConnections ? POLLIN : 0), 0});
    readers.clear();
    int64_t wake = kNever;
    for (const auto& c : connections) {
      for (Pipe* p : {&c->up, &c->down}) {
        // A socket not waited for is left out, so that a hang-up on it cannot spin the loop.
        if (p->WantsRead(now) && p->line->Room(now) > 0) {
          readers.push_back({p, fds.size()});
          fds.push_back({p->from, POLLIN, 0});
        } else if (!p->ended && p->Buffered() < kPipeCap && p->waitingSince == kNever) {
          // Held back by the line or the handshake: note whether data is waiting already.
          int pending = 0;
          if (ioctl(p->from, FIONREAD, &pending) == 0 && pending > 0) p->waitingSince = now;
        }
        if (p->blocked) fds.push_back({p->to, POLLOUT, 0});
        wake = std::min(wake, p->NextDue(*p->line, now));
      }
    }
    timespec timeout{};
    timespec* wait = nullptr;
    if (wake != kNever) {
      const int64_t ns = std::max<int64_t>(wake - Now(), 0);
      timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      wait = &timeout;
    }
    if (ppoll(fds.data(), fds.size(), wait, nullptr) < 0 && errno != EINTR) break;
    const int64_t woke = Now();
    for (const auto& [pipe, index] : readers) {
      if (fds[index].revents != 0) pipe->waitingSince = std::min(pipe->waitingSince, woke);
    }
    if (fds[0].revents != 0) running = false;
    if ((fds[1].revents & POLLIN) != 0 && connections.size() < kMaxConnections) {
      const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (client >= 0) {
        auto c = std::make_unique<Connection>();
        c->client = client;
        c->server = Connect(target);
        if (c->server < 0) continue;  // the destructor closes the client: the target refused
        NoDelay(client);
        ++accepted;
        const int64_t at = Now();
        c->up.from = client;
        c->up.to = c->server;
        c->up.line = &upLine;
        c->up.notBefore = at + 2 * delay;  // the handshake's round trip
        c->down.from = c->server;
        c->down.to = client;
        c->down.line = &downLine;
        connections.push_back(std::move(c));
      }
    }
  }
  connections.clear();
  close(listener);
  std::printf("up %llu down %llu connections %llu\n", static_cast<unsigned long long>(upLine.carried),
              static_cast<unsigned long long>(downLine.carried), static_cast<unsigned long long>(accepted));
  return 0;
}
