// Helpers of the window tests: pumping the window thread's messages the way the program's
// message loop does (PreTranslateMessage chain and dialog manager first).
#pragma once

#include "framework/dialog.h"
#include "tests/support/message_pump.h"

#include <functional>

// Pumps until `done()` holds, at most `timeoutMs` (a bound, not an expectation).
inline bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 5000) {
  return PumpMessagesUntil(done, timeoutMs, &CDialog::FilterMessage);
}

inline void PumpFor(unsigned ms) { PumpMessagesFor(ms, &CDialog::FilterMessage); }
