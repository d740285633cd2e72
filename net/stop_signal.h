// A stop request that one thread raises and another thread's blocking waits notice at once.
#pragma once

#include <atomic>
#include <cstdint>

class CStopSignal {
 public:
  CStopSignal();
  ~CStopSignal();
  CStopSignal(const CStopSignal&) = delete;
  CStopSignal& operator=(const CStopSignal&) = delete;

  // From any thread, any number of times; never blocks.
  void Raise();
  // Only while no wait uses the signal.
  void Reset();
  bool Raised() const { return m_raised.load(std::memory_order_acquire); }

  // What a wait waits on beside its own object: a manual-reset event handle on Windows, a
  // descriptor that is readable once raised elsewhere. -1 when the system could not make one;
  // waits then look at Raised() in short steps.
  intptr_t WaitObject() const { return m_object; }

 private:
  std::atomic<bool> m_raised{false};
  intptr_t m_object = -1;
  intptr_t m_writeEnd = -1;  // posix: the pipe's end that Raise writes to
};
