#include "tests/support/chaos_proxy.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

#include "tests/services/service_test_util.h"
#include "tests/support/loopback_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIdleMs = 5000;          // a client connection with no new request is closed
constexpr int kUpstreamMs = 10000;     // one forwarded exchange, connect to last byte
constexpr size_t kMaxAnswer = 1 << 20;  // the service's answers to these calls are small

uint64_t Mix(uint64_t x) {  // splitmix64
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 50));
}

// The whole answer length (head and body) once the head is complete; 0 while it is not, or
// when it has no Content-Length (which the service always sends).
size_t AnswerLength(const std::string& received) {
  const size_t headEnd = received.find("\r\n\r\n");
  if (headEnd == std::string::npos) return 0;
  std::string head = received.substr(0, headEnd + 2);
  std::transform(head.begin(), head.end(), head.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  const size_t field = head.find("\r\ncontent-length:");
  if (field == std::string::npos) return 0;
  const size_t body = std::strtoul(head.c_str() + field + 17, nullptr, 10);
  return body > kMaxAnswer ? 0 : headEnd + 4 + body;
}

// One exchange with the service on a connection of its own.
bool Forward(uint16_t port, const std::string& request, std::string* answer) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kUpstreamMs);
  const loopback::Handle h = loopback::ConnectStart(port);
  if (h == loopback::kInvalid) return false;
  bool ok = loopback::WaitWritable(h, kUpstreamMs) > 0;
  for (size_t sent = 0; ok && sent < request.size();) {
    const long rc = loopback::Send(h, request.data() + sent, request.size() - sent);
    if (rc > 0) {
      sent += static_cast<size_t>(rc);
    } else {
      ok = rc == loopback::kWouldBlock && Clock::now() < deadline && loopback::WaitWritable(h, MsLeft(deadline)) >= 0;
    }
  }
  answer->clear();
  while (ok && (AnswerLength(*answer) == 0 || answer->size() < AnswerLength(*answer))) {
    char block[16384];
    const long rc = loopback::Recv(h, block, sizeof block);
    if (rc > 0) {
      answer->append(block, static_cast<size_t>(rc));
      ok = answer->size() <= kMaxAnswer + 4096;
    } else {
      ok = rc == loopback::kWouldBlock && Clock::now() < deadline && loopback::WaitReadable(h, MsLeft(deadline)) >= 0;
    }
  }
  loopback::Close(h);
  return ok;
}

}  // namespace

ChaosProxy::ChaosProxy(uint16_t upstreamPort, uint64_t seed, const Odds& odds, const Odds& lastCallOdds,
                       int stallMs)
    : m_upstreamPort(upstreamPort),
      m_seed(seed),
      m_odds(odds),
      m_lastCallOdds(lastCallOdds),
      m_stallMs(stallMs),
      m_server([this](TestConnection& client, int connection) { Serve(client, connection); }) {}

std::array<int, ChaosProxy::kActs> ChaosProxy::Counts() const {
  std::array<int, kActs> counts{};
  for (int i = 0; i < kActs; ++i) counts[i] = m_counts[i].load();
  return counts;
}

const char* ChaosProxy::Name(int act) {
  static const char* const kNames[kActs] = {"passed",           "refused (503)",   "refused (fault)", "closed before",
                                            "closed after forwarding", "closed in answer", "stalled"};
  return act >= 0 && act < kActs ? kNames[act] : "?";
}

ChaosProxy::Act ChaosProxy::Choose(int connection, int request, const Odds& odds) const {
  int roll = static_cast<int>(Mix(m_seed ^ Mix(static_cast<uint64_t>(connection) << 20 | static_cast<uint64_t>(request))) % 100);
  for (int act = kPass + 1; act < kActs; ++act) {
    if (roll < odds[act]) return static_cast<Act>(act);
    roll -= odds[act];
  }
  return kPass;
}

void ChaosProxy::Serve(TestConnection& client, int connection) {
  using namespace servicetest;
  std::string request, answer;
  for (int k = 0; client.ReadRequest(&request, kIdleMs); ++k) {
    const bool lastCall = request.find("<isCompleted>true</isCompleted>") != std::string::npos;
    const Act act = Choose(connection, k, lastCall ? m_lastCallOdds : m_odds);
    ++m_counts[act];
    if (act == kRefuse503) {
      if (!client.Send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n")) return;
      continue;
    }
    if (act == kRefuseFault) {
      if (!client.Send(Http("500 Internal Server Error", Fault("soap:Server", "Server is busy")))) return;
      continue;
    }
    // The server closes the connection when the script returns.
    if (act == kCloseBefore || !Forward(m_upstreamPort, request, &answer)) return;
    switch (act) {
      case kCloseAfterForward:
        return;
      case kCloseInAnswer:
        client.Send(answer.substr(0, 1 + Mix(m_seed + static_cast<uint64_t>(k)) % (answer.size() - 1)));
        return;
      case kStall:
        // Past the client's time-out: whatever arrives now is for a call it has given up.
        if (client.Pause(m_stallMs)) client.Send(answer);
        return;
      default:
        if (!client.Send(answer)) return;
    }
  }
}
