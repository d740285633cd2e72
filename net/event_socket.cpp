// The parts of the socket every platform shares: the stop and the overall deadline as seen
// before and after each wait.
#include "net/event_socket.h"

#include "net/stop_signal.h"

void CEventSocket::SetDeadline(uint32_t milliseconds) {
  m_hasDeadline = milliseconds != 0;
  if (m_hasDeadline) m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

bool CEventSocket::StopRaised() const { return m_stop != nullptr && m_stop->Raised(); }

bool CEventSocket::BeginWait(uint32_t* bound, bool* cutByDeadline) {
  *bound = m_timeout;
  *cutByDeadline = false;
  if (StopRaised()) {
    m_lastError = kSockErrInterrupted;
    return false;
  }
  if (!m_hasDeadline) return true;
  const auto left = m_deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) {
    m_lastError = kSockErrTimedOut;
    return false;
  }
  // Rounded up, so a wait never ends just short of the deadline and finds it not yet passed.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  if (ms < static_cast<long long>(m_timeout)) {
    *bound = static_cast<uint32_t>(ms);
    *cutByDeadline = true;
  }
  return true;
}

void CEventSocket::WaitRanOut(bool cutByDeadline) {
  if (cutByDeadline) m_lastError = kSockErrTimedOut;
}
