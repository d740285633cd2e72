// The login and registration dialog: a modeless popup (template 131) that the main window keeps
// inside its frame until a login or a registration has succeeded. Two forms share one surface;
// beside them the notice and welcome pages of the service. The dialog does the cheap checks
// (network present, worker not running, the characters of a new user name) and draws the wait
// line; the account workers do the rest and set the success flag that the main window polls.
//
// What the workers write lives in a CAccountWork shared between the dialog and every running
// worker, so that a worker still running when the dialog is deleted touches nothing freed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "account/account_workers.h"
#include "controls/my_static.h"
#include "controls/skin_button.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class CMyWebDlg;

class CMyLoginDlg : public CDialog {
 public:
  // The account calls go to the build-time service host, or to `serviceHost`. The pages use
  // the process-wide page host (SetServicePageHost).
  CMyLoginDlg();
  explicit CMyLoginDlg(const std::u16string& serviceHost);
  // After a success: writes the settings (the signed-in name, then the remembered login as the
  // form shows it). Always: deletes the pages and the button bitmaps and lets go of the work.
  ~CMyLoginDlg() override;

  // Creates the dialog from its template, owned by `parent`; not shown.
  bool Create(HWND parent);

  // The remembered login: user name and password into the login form, remember box checked.
  void FillLoginForm(const std::wstring& userName, const std::wstring& password);

  // 1 once a login or registration has succeeded (polled by the main window).
  int IsLoggedIn() const { return m_work ? m_work->m_bLoggedIn.load() : 0; }
  // A message box owned by the dialog is open (its own or a worker's): the dialog must not be
  // deleted now.
  bool HasOpenMessageBox() const { return m_work && m_work->m_nOpenBoxes > 0; }

  // The one network-presence check, made when the window is created; tests put another in
  // its place (null: the platform's InternetGetConnectedState again).
  using NetworkCheck = bool (*)();
  static void SetNetworkCheck(NetworkCheck check);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnCommand(UINT id, UINT code, HWND control) override;

  // Where the two pages sit in the dialog, pixels.
  static constexpr RECT kNoticePane = {10, 270, 10 + 300, 270 + 245};
  static constexpr RECT kWelcomePane = {318, 38, 318 + 300, 38 + 478};
  // Where the wait lines are written.
  static constexpr POINT kLoginWaitPoint = {50, 200};
  static constexpr POINT kRegisterWaitPoint = {50, 230};

  // --- Controls and values, in the order of the form ---
  CEdit m_editUserName;      // 1002
  CEdit m_editPassword;      // 1003, masked
  CMyStatic m_stUserName;    // 1005 "用户名"
  CMyStatic m_stPassword;    // 1007 "密码"
  CMyWebDlg* m_pNoticeDlg;   // null when there was no network at creation
  CMyWebDlg* m_pWelcomeDlg;
  // Button images: hover and normal of the login, switch and register buttons.
  HBITMAP m_hLoginHover;     // 232
  HBITMAP m_hLoginNormal;    // 230
  HBITMAP m_hSwitchHover;    // 231
  HBITMAP m_hSwitchNormal;   // 233
  HBITMAP m_hRegisterHover;  // 231
  HBITMAP m_hRegisterNormal; // 233
  CMyStatic m_stRemember;    // 1014 "记住我的密码"
  int m_bRemember;           // check state of 1013
  std::wstring m_strUserName;
  CMyStatic m_stRegEmail;     // 1021 "邮箱"
  CMyStatic m_stRegUserName;  // 1022 "用户名"
  CMyStatic m_stRegPassword;  // 1023 "密码"
  CMyStatic m_stRegConfirm;   // 1024 "确认密码"
  CEdit m_editEmail;          // 1017
  CEdit m_editRegUserName;    // 1018
  CEdit m_editRegPassword;    // 1019, masked
  CEdit m_editRegConfirm;     // 1020, masked
  CSkinButton m_btnLogin;     // 1004
  CSkinButton m_btnSwitch;    // 1006
  CSkinButton m_btnRegister;  // 1025
  CButton m_checkRemember;    // 1013
  std::wstring m_strPassword;
  std::wstring m_strEmail;
  std::wstring m_strRegUserName;
  std::wstring m_strRegPassword;
  std::wstring m_strRegConfirm;
  int m_bRegisterMode;  // 1 once the registration form is shown
  int m_bConnected;     // the network check at creation

  // The success and busy flags, the client, the saved password and the signed-in name: shared
  // with the workers. Made when the window is created (it needs the window's handle).
  std::shared_ptr<CAccountWork> m_work;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  // Enter: register in the registration form, log in otherwise.
  void OnOK() override;
  // The dialog ends only by being deleted.
  void OnCancel() override;

  void OnLogin();
  void OnSwitchToRegister();
  void OnRegister();
  void EraseBackground(HDC dc);
  HBRUSH CtlColorStatic(HDC dc, HWND control);
  void DrawWaitLine(const wchar_t* text, POINT at);
  // One of the dialog's own messages (the application's name as caption), counted while open.
  void Say(const wchar_t* text);
  void OpenPages();

 private:
  void Init(const std::u16string& serviceHost);

  std::u16string m_strServiceHost;
  HBRUSH m_hBackBrush;  // the dialog's grey, for the labels' background
};
