// Helpers of the window tests: pumping the window thread's messages the way the program's
// message loop does (PreTranslateMessage chain and dialog manager first), and, in namespace
// guitest, pixels, rectangles and a private %APPDATA%.
#pragma once

#include <gtest/gtest.h>

#include "framework/dialog.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"

#include <functional>
#include <initializer_list>
#include <string>

// Pumps until `done()` holds, at most `timeoutMs` (a bound, not an expectation).
inline bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 5000) {
  return PumpMessagesUntil(done, timeoutMs, &CDialog::FilterMessage);
}

inline void PumpFor(unsigned ms) { PumpMessagesFor(ms, &CDialog::FilterMessage); }

// A key pressed and released as a person would: the keyboard focus put on `target` in the
// foreground window, then the key through the input queue (SendInput), and the thread's
// messages pumped through the dialog layer until the release has been taken from the queue
// (seen by a message hook, so also when a nested loop took it). False when the focus or the
// key could not be given.
namespace guitest {
struct KeyWatch {
  static inline thread_local WORD key = 0;
  static inline thread_local int releases = 0;
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_KEYUP && msg->wParam == key) ++releases;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};
}  // namespace guitest

inline bool PressKey(HWND target, WORD key) {
  SetForegroundWindow(GetAncestor(target, GA_ROOT));
  SetFocus(target);
  if (GetFocus() != target) return false;
  guitest::KeyWatch::key = key;
  guitest::KeyWatch::releases = 0;
  const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, &guitest::KeyWatch::Hook, nullptr, GetCurrentThreadId());
  if (hook == nullptr) return false;
  INPUT input[2] = {};
  input[0].type = INPUT_KEYBOARD;
  input[0].ki.wVk = key;
  input[1] = input[0];
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  const bool sent = SendInput(2, input, sizeof(INPUT)) == 2 && PumpUntil([] { return guitest::KeyWatch::releases > 0; });
  UnhookWindowsHookEx(hook);
  return sent;
}

namespace guitest {

// A 32-bit memory surface, filled with one colour, for a window to draw into.
class Canvas {
 public:
  Canvas(int w, int h, COLORREF fill = RGB(0, 0, 0)) : width(w), height(h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_old = SelectObject(m_dc, m_bitmap);
    RECT rc{0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(m_dc, &rc, brush);
    DeleteObject(brush);
  }
  explicit Canvas(HWND clientSizeOf) : Canvas(ClientSize(clientSizeOf).right, ClientSize(clientSizeOf).bottom) {}
  ~Canvas() {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return m_dc; }
  COLORREF Pixel(int x, int y) const { return GetPixel(m_dc, x, y); }
  struct At {
    int x, y;
    COLORREF colour;
  };
  // Several expected pixels at once.
  void Expect(std::initializer_list<At> pixels) const {
    for (const At& p : pixels) EXPECT_EQ(p.colour, Pixel(p.x, p.y)) << "at " << p.x << "," << p.y;
  }
  // Sends a message whose wParam is this surface's context (WM_ERASEBKGND, WM_PRINTCLIENT).
  LRESULT Send(HWND hwnd, UINT msg, LPARAM lParam = 0) const {
    return SendMessageW(hwnd, msg, reinterpret_cast<WPARAM>(m_dc), lParam);
  }
  static RECT ClientSize(HWND hwnd) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    return rc;
  }

  const int width;
  const int height;

 private:
  HDC m_dc = CreateCompatibleDC(nullptr);
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_old = nullptr;
};

// The colour of a brush a window answered to a WM_CTLCOLOR* message (CLR_INVALID if none).
inline COLORREF BrushColour(LRESULT brush) {
  LOGBRUSH info{};
  if (brush == 0 || GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof info, &info) != sizeof info) return CLR_INVALID;
  return info.lbColor;
}

// What a window shows now at client point (x, y).
inline COLORREF WindowPixel(HWND hwnd, int x, int y) {
  HDC dc = GetDC(hwnd);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(hwnd, dc);
  return c;
}

// A window's rectangle in the client coordinates of `parent` (the screen when null).
inline RECT RectIn(HWND parent, HWND child) {
  RECT rc{};
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

inline RECT Rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

inline testing::AssertionResult SameRect(const RECT& expected, const RECT& actual) {
  if (EqualRect(&expected, &actual)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "expected (" << expected.left << "," << expected.top << ")-(" << expected.right
                                     << "," << expected.bottom << "), got (" << actual.left << "," << actual.top
                                     << ")-(" << actual.right << "," << actual.bottom << ")";
}

// %APPDATA% pointed at a fresh folder while the object lives (the settings file goes there).
class AppDataScope {
 public:
  AppDataScope() {
    wchar_t old[MAX_PATH] = {};
    m_had = GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH) > 0;
    m_old = old;
    SetEnvironmentVariableW(L"APPDATA", dir.Path().wstring().c_str());
  }
  ~AppDataScope() { SetEnvironmentVariableW(L"APPDATA", m_had ? m_old.c_str() : nullptr); }
  AppDataScope(const AppDataScope&) = delete;
  AppDataScope& operator=(const AppDataScope&) = delete;
  bool SettingsFileExists() const {
    return GetFileAttributesW((dir.Path() / "user.ini").wstring().c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  TempDir dir;

 private:
  std::wstring m_old;
  bool m_had = false;
};

}  // namespace guitest
