#include "tests/support/message_pump.h"

bool PumpMessagesUntil(const std::function<bool()>& done, unsigned timeoutMs, MessageFilter filter) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return done();
      }
      if (filter == nullptr || !filter(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (done()) return true;
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const ULONGLONG left = deadline - now;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left < 10 ? left : 10), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

void PumpMessagesFor(unsigned ms, MessageFilter filter) {
  PumpMessagesUntil([] { return false; }, ms, filter);
}
