// The tabbed window shown after the login: a tab control with the upload tab (the upload page)
// and the print tab (the service's shopping-cart page in a browser). Created as a hidden popup
// (template 10000) owned by the main window, which places and shows it. At the end of an
// upload the worker sends it WM_GOTOPRINT or WM_GOTOMANAGE, which bring the print tab up.
//
// Lifetime: only the main window deletes this window (and its pages with it), and never from
// inside one of their handlers: after the program's loop has ended, or at the posted request
// of a window that found no user, before any action of the user's reaches it. So a handler of
// this window or of its pages may show a message box and go on with its object afterwards.
#pragma once

#include <string>

#include "controls/my_tab_ctrl.h"
#include "framework/dialog.h"
#include "upload/upload_dlg.h"
#include "web/my_web_dlg.h"

class CMainUpLoadDlg : public CDialog {
 public:
  static constexpr int kUploadTab = 0;
  static constexpr int kPrintTab = 1;
  // One shot: reloads the cart page a while after SelectPage opened it anew.
  static constexpr UINT_PTR kRefreshTimer = 2;
  static constexpr UINT kRefreshDelayMs = 500;

  CMainUpLoadDlg();
  // Stops a running upload, then the window goes with its pages.
  ~CMainUpLoadDlg() override;

  // Creates the window (not shown) owned by `parent`. With no signed-in user name in the
  // settings it says so, closes itself and asks its owner to go back to the login dialog.
  // Closing it otherwise (WM_CLOSE) closes its owner, and so the program.
  bool Create(HWND parent);

  // Makes tab `index` (0 or 1) current and shows its page. While an upload is being finished,
  // the print tab also brings the cart page up to date.
  void SelectPage(int index);

  CMyTabCtrl m_tab;           // control 1006
  CMyUpLoadDlg m_uploadPage;  // tab 0
  CMyWebDlg m_printPage;      // tab 1
  std::wstring m_strCartUrl;
  wchar_t m_szUploadUser[260];

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 private:
  void ShowPage(int index);
  void DeleteBitmaps();
  void PaintBackground(HDC dc);

  HBITMAP m_hBackgroundBitmap;  // 194
  HBITMAP m_hTabActive;         // 158
  HBITMAP m_hTabNormal;         // 152
  HBITMAP m_hTabRow;            // 155
  HICON m_hIcon;
  HBRUSH m_hBackground;
};
