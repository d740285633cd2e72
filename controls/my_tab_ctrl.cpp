#include "controls/my_tab_ctrl.h"

LRESULT CMyTabCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_ERASEBKGND) {
    const HDC dc = reinterpret_cast<HDC>(wParam);
    if (dc != nullptr) {
      SetBkMode(dc, TRANSPARENT);
      SetBkColor(dc, kBackground);
      RECT rc{};
      GetClientRect(&rc);
      HBRUSH brush = CreateSolidBrush(kBackground);
      if (brush != nullptr) {
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
      }
    }
    return TRUE;
  }
  return CTabCtrl::WindowProc(msg, wParam, lParam);
}
