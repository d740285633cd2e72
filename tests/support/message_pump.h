// Runs the calling thread's messages for a bounded time, for window tests.
#pragma once

#include <windows.h>

#include <functional>

// A message loop step before Translate/Dispatch; true = the message was consumed.
using MessageFilter = bool (*)(MSG* msg);

// Dispatches the thread's messages until `done()` holds or `timeoutMs` has passed; `done` is
// checked after every message and at least every 10 ms. Each message goes to `filter` first
// when one is given. WM_QUIT is posted again and ends the pump. Returns done().
bool PumpMessagesUntil(const std::function<bool()>& done, unsigned timeoutMs, MessageFilter filter = nullptr);
// Dispatches the thread's messages for `ms` milliseconds.
void PumpMessagesFor(unsigned ms, MessageFilter filter = nullptr);
