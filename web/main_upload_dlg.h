// The tabbed window shown after the login: a tab control with the upload tab and the print
// tab. Created as a hidden popup (template 10000) owned by the main window, which places and
// shows it.
#pragma once

#include "controls/my_tab_ctrl.h"
#include "framework/dialog.h"

class CMainUpLoadDlg : public CDialog {
 public:
  CMainUpLoadDlg();
  ~CMainUpLoadDlg() override;

  bool Create(HWND parent);

  CMyTabCtrl m_tab;  // control 1006

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  HBRUSH m_hBackground;
};
