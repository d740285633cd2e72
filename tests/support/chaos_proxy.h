// A proxy on 127.0.0.1 in front of a real service that misbehaves at random: it refuses calls
// itself (a 503 or a SOAP fault, without forwarding), closes the connection before forwarding,
// after forwarding but before the answer, or in the middle of the answer, and holds answers back
// past the client's time-out. What it does to the k-th request of the c-th connection follows
// from the seed alone; the last call of an upload (isCompleted true) may have odds of its own.
// Every wait is bounded.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "tests/support/scripted_server.h"

class ChaosProxy {
 public:
  enum Act { kPass, kRefuse503, kRefuseFault, kCloseBefore, kCloseAfterForward, kCloseInAnswer, kStall, kActs };
  // Chances of the acts in percent; kPass takes the rest.
  using Odds = std::array<int, kActs>;

  // `stallMs`: how long a held answer waits before it is sent (and the connection closed).
  ChaosProxy(uint16_t upstreamPort, uint64_t seed, const Odds& odds, const Odds& lastCallOdds, int stallMs);

  std::u16string Host() const { return m_server.Host(); }
  // How often each act happened so far.
  std::array<int, kActs> Counts() const;
  static const char* Name(int act);

 private:
  Act Choose(int connection, int request, const Odds& odds) const;
  void Serve(TestConnection& client, int connection);

  uint16_t m_upstreamPort;
  uint64_t m_seed;
  Odds m_odds;
  Odds m_lastCallOdds;
  int m_stallMs;
  std::array<std::atomic<int>, kActs> m_counts{};
  ScriptedServer m_server;  // last: its threads use the members above
};
