// One resolved address list, found without holding up a stop or outliving a time-out.
#pragma once

#include <cstdint>
#include <string>

class CStopSignal;

class CResolvedAddress {
 public:
  static constexpr uint32_t kNoTimeout = UINT32_MAX;

  CResolvedAddress();
  ~CResolvedAddress();
  CResolvedAddress(const CResolvedAddress&) = delete;
  CResolvedAddress& operator=(const CResolvedAddress&) = delete;

  // Resolves host and port (decimal); returns 0 or the resolution error number. An address
  // literal is taken at once. A name is looked up on a helper thread, so that a raised `stop`
  // (kSockErrInterrupted) or `timeoutMs` running out (kSockErrTimedOut) ends the wait; the
  // abandoned lookup finishes on its own and frees what it found.
  uint32_t Resolve(const std::u16string& host, uint16_t port, const CStopSignal* stop = nullptr,
                   uint32_t timeoutMs = kNoTimeout);
  void Release();
  // The first entry of the list (an addrinfo*), or null.
  const void* First() const;

  // Test-only: stands in for the system's lookup of names (not of address literals); null
  // restores it. The function returns 0 and an address list, or an error number and none.
  using LookupFunction = uint32_t (*)(const std::string& host, const std::string& port, void** list);
  static void SetLookupForTests(LookupFunction lookup);

 private:
  void* m_list = nullptr;
};

// The system's lookup behind CResolvedAddress, one implementation per platform, in Winsock
// error numbers. `numericOnly` takes address literals only: a name then gives
// kSockErrHostNotFound without asking anyone.
namespace address_lookup {
uint32_t LookUp(const std::string& host, const std::string& port, bool numericOnly, void** list);
void Free(void* list);
}  // namespace address_lookup
