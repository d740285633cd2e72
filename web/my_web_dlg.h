// The page dialog: shows one page of the service in the WebBrowser control. Its owner creates
// it as a child of some window, places it and tells it which address to open; the owner may
// also drive the control (m_browser) directly and move or size it.
#pragma once

#include "framework/dialog.h"
#include "web/browser_ctrl.h"

#include <string>

class CMyWebDlg : public CDialog {
 public:
  CMyWebDlg();
  ~CMyWebDlg() override;

  // Creates the dialog (template 129, not visible) as a child of `parent`. The browser takes
  // its first size from the parent's client area.
  bool Create(HWND parent);
  // Opens `address` in the browser; returns at once, the page loads by itself.
  void Navigate(const std::wstring& address);

  CBrowserCtrl m_browser;  // control 1001

 protected:
  BOOL OnInitDialog() override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  HBRUSH m_hBackground;
};
