// Name resolution that a stop can abandon. getaddrinfo has no time-out and cannot be cancelled,
// so a name is looked up on a detached thread that shares one small record with the caller;
// whichever of the two lets go last frees it, and a lookup nobody waits for any more frees
// the list it found.
#include "net/resolved_address.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "net/codepage.h"
#include "net/event_socket.h"
#include "net/stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting caller looks at the stop signal.
constexpr auto kStopCheckStep = std::chrono::milliseconds(10);

std::atomic<CResolvedAddress::LookupFunction> g_testLookup{nullptr};

struct PendingLookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  uint32_t error = 0;
  void* list = nullptr;
};

void RunLookup(const std::shared_ptr<PendingLookup>& state, const std::string& host, const std::string& port) {
  void* list = nullptr;
  const CResolvedAddress::LookupFunction test = g_testLookup.load();
  const uint32_t error = test != nullptr ? test(host, port, &list) : address_lookup::LookUp(host, port, false, &list);
  std::lock_guard<std::mutex> lock(state->mutex);
  if (state->abandoned) {
    if (list != nullptr) address_lookup::Free(list);
    return;
  }
  state->error = error;
  state->list = list;
  state->done = true;
  state->finished.notify_all();
}

}  // namespace

CResolvedAddress::CResolvedAddress() = default;

CResolvedAddress::~CResolvedAddress() { Release(); }

void CResolvedAddress::Release() {
  if (m_list != nullptr) {
    address_lookup::Free(m_list);
    m_list = nullptr;
  }
}

const void* CResolvedAddress::First() const { return m_list; }

void CResolvedAddress::SetLookupForTests(LookupFunction lookup) { g_testLookup.store(lookup); }

uint32_t CResolvedAddress::Resolve(const std::u16string& host, uint16_t port, const CStopSignal* stop,
                                   uint32_t timeoutMs) {
  Release();
  if (stop != nullptr && stop->Raised()) return kSockErrInterrupted;
  try {
    const std::string name = Utf16ToAnsi(host);
    // An embedded NUL would silently resolve a different, shorter name.
    if (name.empty() || name.find('\0') != std::string::npos) return kSockErrHostNotFound;
    const std::string service = std::to_string(port);
    void* list = nullptr;
    uint32_t error = address_lookup::LookUp(name, service, true, &list);
    if (error != kSockErrHostNotFound) {
      m_list = list;
      return error;
    }

    auto state = std::make_shared<PendingLookup>();
    std::thread(RunLookup, state, name, service).detach();
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
      if (state->done) {
        m_list = state->list;
        state->list = nullptr;
        return state->error;
      }
      const bool stopped = stop != nullptr && stop->Raised();
      if (stopped || Clock::now() >= end) {
        state->abandoned = true;
        return stopped ? uint32_t{kSockErrInterrupted} : uint32_t{kSockErrTimedOut};
      }
      state->finished.wait_for(lock, std::min<Clock::duration>(kStopCheckStep, end - Clock::now()));
    }
  } catch (...) {
    // Out of memory, or no thread could be started: either way the system is out of resources.
    return kSockErrNoMemory;
  }
}
