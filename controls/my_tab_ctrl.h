// A tab control with the skin's light grey background.
//
// Owner-drawn items of its children (WM_DRAWITEM sent to the tab control) reach the child's
// object through the window layer's reflection; an item without such an object, and a menu
// item, gets the control's default processing. The class draws no tab itself.
#pragma once

#include "framework/controls.h"

class CMyTabCtrl : public CTabCtrl {
 public:
  static constexpr COLORREF kBackground = RGB(241, 241, 241);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
