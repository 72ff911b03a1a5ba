// Test helper: pump this thread's messages until a condition holds or a deadline passes,
// blocking in MsgWaitForMultipleObjects instead of sleeping and hoping.
#pragma once

#include <windows.h>

#include <functional>

// Dispatches messages until done() is true (tested after every message and on start) or
// timeoutMs have passed. Returns done()'s final answer.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      continue;
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
  }
}

// Dispatches whatever arrives during the next `ms` milliseconds.
inline void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}
