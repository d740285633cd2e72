#include "upload/my_list_ctrl.h"

#include <windowsx.h>

#include "common/messages.h"

bool CMyListCtrl::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) return false;
  return CListCtrl::PreTranslateMessage(msg);
}

LRESULT CMyListCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_KEYDOWN:
      // Ctrl+A selects every photo; the check marks stay as they are.
      if (wParam == 'A' && GetKeyState(VK_CONTROL) < 0) SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
      break;
    case WM_LBUTTONDOWN:
      OnLButtonDown(wParam, lParam);
      return 0;
    case WM_MOUSEMOVE: {
      // Over empty space the move is dropped, so no rubber band is dragged open.
      const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (HitTest(pt) < 0) return 0;
      break;
    }
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(&rc);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      return TRUE;
    }
    default:
      break;
  }
  return CListCtrl::WindowProc(msg, wParam, lParam);
}

void CMyListCtrl::OnLButtonDown(WPARAM flags, LPARAM point) {
  const POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  const int index = HitTest(pt);
  // A click on empty space neither clears the selection nor starts a rubber band.
  if (index < 0) return;
  const UINT before = GetItemState(index, LVIS_SELECTED);
  DefWindowProc(WM_LBUTTONDOWN, flags, point);
  // The default handling runs a modal mouse loop; the list may be gone when it returns.
  if (!IsWindow()) return;
  const UINT after = GetItemState(index, LVIS_SELECTED);
  if (before != after) ::SendMessageW(GetParent(), WM_PHOTO_CLICKED, static_cast<WPARAM>(index), 0);
}
