// The stop signal over a manual-reset event, which a socket wait adds to its own events.
#include "net/stop_signal.h"

#include <windows.h>

CStopSignal::CStopSignal() {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event != nullptr) m_object = reinterpret_cast<intptr_t>(event);
}

CStopSignal::~CStopSignal() {
  if (m_object != -1) CloseHandle(reinterpret_cast<HANDLE>(m_object));
}

void CStopSignal::Raise() {
  m_raised.store(true, std::memory_order_release);
  if (m_object != -1) SetEvent(reinterpret_cast<HANDLE>(m_object));
}

void CStopSignal::Reset() {
  // Flag first: a raise that slips in between leaves the flag set, which every wait sees when
  // it starts.
  m_raised.store(false, std::memory_order_release);
  if (m_object != -1) ResetEvent(reinterpret_cast<HANDLE>(m_object));
}
