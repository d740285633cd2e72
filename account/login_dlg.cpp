#include "account/login_dlg.h"

#include <wininet.h>

#include <utility>

#include "common/settings.h"
#include "res/resource.h"
#include "services/passport.h"
#include "services/service_host.h"
#include "web/service_pages.h"
#include "web/my_web_dlg.h"

namespace {

constexpr COLORREF kBackColour = RGB(241, 241, 241);
constexpr COLORREF kTextColour = RGB(89, 127, 147);
constexpr COLORREF kFrameColour = RGB(172, 172, 172);

// The dialog's messages carry no caption of their own: the application's name stands there.
constexpr const wchar_t kNoNetwork[] = L"您的网络没有连接!!!";
constexpr const wchar_t kLoginBusy[] = L"正在登陆.....";
constexpr const wchar_t kRegisterBusy[] = L"正在注册....";
constexpr const wchar_t kBadNameCharacter[] = L"请输入字母或数字(a~z 0~9)!!!";
constexpr const wchar_t kLoginWaitText[] = L"正在登陆!!!..........请等待!!!.....";
constexpr const wchar_t kRegisterWaitText[] = L"正在注册!!!..........请等待!!!.....";

bool PlatformNetworkCheck() {
  DWORD flags = 0;
  return InternetGetConnectedState(&flags, 0) != FALSE;
}

CMyLoginDlg::NetworkCheck g_networkCheck = nullptr;

// A new user name may hold digits and the code units 'A' to 'z' (which takes in the six signs
// between 'Z' and 'a', the underscore among them).
bool IsNewUserNameUnit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= 0x41 && c <= 0x7A); }

HBITMAP LoadSection(int id) {
  return static_cast<HBITMAP>(
      LoadImageW(GetResourceInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void Place(HWND control, int x, int y, int width, int height) {
  SetWindowPos(control, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// Controls of each form.
constexpr int kLoginForm[] = {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_LOGIN,
                              IDC_SWITCH_REGISTER, IDC_REMEMBER, IDC_USERNAME, IDC_PASSWORD};
constexpr int kRegisterForm[] = {IDC_REG_EMAIL_LABEL, IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL,
                                 IDC_REG_CONFIRM_LABEL, IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD,
                                 IDC_REG_CONFIRM, IDC_REGISTER};
constexpr int kLabels[] = {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_REG_EMAIL_LABEL,
                           IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL, IDC_REG_CONFIRM_LABEL};

constexpr int kButtonWidth = 58;
constexpr int kButtonHeight = 26;

}  // namespace

CMyLoginDlg::CMyLoginDlg() : CDialog(IDD_LOGIN) { Init(DefaultServiceHost()); }

CMyLoginDlg::CMyLoginDlg(const std::u16string& serviceHost) : CDialog(IDD_LOGIN) { Init(serviceHost); }

void CMyLoginDlg::Init(const std::u16string& serviceHost) {
  // Enter logs in or registers, whichever form is shown.
  m_bEnterRunsOnOK = true;
  m_pNoticeDlg = nullptr;
  m_pWelcomeDlg = nullptr;
  m_hLoginHover = m_hLoginNormal = nullptr;
  m_hSwitchHover = m_hSwitchNormal = nullptr;
  m_hRegisterHover = m_hRegisterNormal = nullptr;
  m_bRemember = 0;
  m_bRegisterMode = 0;
  m_bConnected = 0;
  m_strServiceHost = serviceHost;
  m_hBackBrush = CreateSolidBrush(kBackColour);
}

CMyLoginDlg::~CMyLoginDlg() {
  if (m_work && m_work->m_bLoggedIn) {
    WriteSetting(settings::kUploadUser, m_work->UploadUser());
    // The remember box and the login form's user name as the user left them; the window may
    // already be gone with its owner, and then the values of the last read stand.
    if (IsWindow()) UpdateData(true);
    WriteRememberedLogin(m_bRemember, m_strUserName, m_work->SavedPassword());
  }
  // The pages are child windows: they go while every member is whole.
  DestroyWindow();
  delete m_pNoticeDlg;
  delete m_pWelcomeDlg;
  m_pNoticeDlg = m_pWelcomeDlg = nullptr;
  for (HBITMAP* bitmap : {&m_hLoginHover, &m_hLoginNormal, &m_hSwitchHover, &m_hSwitchNormal, &m_hRegisterHover,
                          &m_hRegisterNormal}) {
    if (*bitmap) DeleteObject(*bitmap);
    *bitmap = nullptr;
  }
  if (m_hBackBrush) DeleteObject(m_hBackBrush);
  // A worker still running keeps the work (and the client in it) alive until it ends; its call
  // ends at once.
  if (m_work) m_work->m_stop.Raise();
  m_work.reset();
}

bool CMyLoginDlg::Create(HWND parent) { return CDialog::Create(IDD_LOGIN, parent); }

void CMyLoginDlg::SetNetworkCheck(NetworkCheck check) { g_networkCheck = check; }

void CMyLoginDlg::FillLoginForm(const std::wstring& userName, const std::wstring& password) {
  ::SetDlgItemTextW(m_hWnd, IDC_USERNAME, userName.c_str());
  ::SetDlgItemTextW(m_hWnd, IDC_PASSWORD, password.c_str());
  ::SendDlgItemMessageW(m_hWnd, IDC_REMEMBER, BM_SETCHECK, BST_CHECKED, 0);
}

void CMyLoginDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_USERNAME, m_editUserName);
  DDX_Control(dx, IDC_PASSWORD, m_editPassword);
  DDX_Control(dx, IDC_USERNAME_LABEL, m_stUserName);
  DDX_Control(dx, IDC_PASSWORD_LABEL, m_stPassword);
  DDX_Control(dx, IDC_REMEMBER_LABEL, m_stRemember);
  DDX_Check(dx, IDC_REMEMBER, m_bRemember);
  DDX_Text(dx, IDC_USERNAME, m_strUserName);
  DDX_Control(dx, IDC_REG_EMAIL_LABEL, m_stRegEmail);
  DDX_Control(dx, IDC_REG_USERNAME_LABEL, m_stRegUserName);
  DDX_Control(dx, IDC_REG_PASSWORD_LABEL, m_stRegPassword);
  DDX_Control(dx, IDC_REG_CONFIRM_LABEL, m_stRegConfirm);
  DDX_Control(dx, IDC_REG_EMAIL, m_editEmail);
  DDX_Control(dx, IDC_REG_USERNAME, m_editRegUserName);
  DDX_Control(dx, IDC_REG_PASSWORD, m_editRegPassword);
  DDX_Control(dx, IDC_REG_CONFIRM, m_editRegConfirm);
  DDX_Control(dx, IDC_LOGIN, m_btnLogin);
  DDX_Control(dx, IDC_SWITCH_REGISTER, m_btnSwitch);
  DDX_Control(dx, IDC_REGISTER, m_btnRegister);
  DDX_Control(dx, IDC_REMEMBER, m_checkRemember);
  DDX_Text(dx, IDC_PASSWORD, m_strPassword);
  DDX_Text(dx, IDC_REG_EMAIL, m_strEmail);
  DDX_Text(dx, IDC_REG_USERNAME, m_strRegUserName);
  DDX_Text(dx, IDC_REG_PASSWORD, m_strRegPassword);
  DDX_Text(dx, IDC_REG_CONFIRM, m_strRegConfirm);
}

LRESULT CMyLoginDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      const LRESULT result = Default();
      if (result == -1) return result;
      // The only network check of the dialog's life.
      m_bConnected = (g_networkCheck ? g_networkCheck() : PlatformNetworkCheck()) ? 1 : 0;
      if (!m_work) m_work = std::make_shared<CAccountWork>(m_hWnd, m_strServiceHost);
      return result;
    }
    case WM_DESTROY:
      // The window may go before the object (with the main window at the program's end): the
      // workers' calls end now rather than when the object goes.
      if (m_work) m_work->m_stop.Raise();
      break;
    case WM_ERASEBKGND:
      EraseBackground(reinterpret_cast<HDC>(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      HBRUSH brush = CtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      if (brush) return reinterpret_cast<LRESULT>(brush);
      break;
    }
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}

BOOL CMyLoginDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_work) m_work = std::make_shared<CAccountWork>(m_hWnd, m_strServiceHost);

  // 1. The pages, only when the network was there.
  if (m_bConnected) {
    m_pNoticeDlg = new CMyWebDlg;
    m_pWelcomeDlg = new CMyWebDlg;
    if (m_pNoticeDlg->Create(m_hWnd)) {
      m_pNoticeDlg->SetWindowPos(nullptr, kNoticePane.left, kNoticePane.top, kNoticePane.right - kNoticePane.left,
                                 kNoticePane.bottom - kNoticePane.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    if (m_pWelcomeDlg->Create(m_hWnd)) {
      m_pWelcomeDlg->SetWindowPos(nullptr, kWelcomePane.left, kWelcomePane.top,
                                  kWelcomePane.right - kWelcomePane.left, kWelcomePane.bottom - kWelcomePane.top,
                                  SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    OpenPages();
  }

  // 2. Button images.
  m_hLoginHover = LoadSection(IDB_LOGIN_BUTTON_HOVER);
  m_hLoginNormal = LoadSection(IDB_LOGIN_BUTTON);
  m_hSwitchHover = LoadSection(IDB_REGISTER_BUTTON_HOVER);
  m_hSwitchNormal = LoadSection(IDB_REGISTER_BUTTON);
  m_hRegisterHover = LoadSection(IDB_REGISTER_BUTTON_HOVER);
  m_hRegisterNormal = LoadSection(IDB_REGISTER_BUTTON);

  // 3. The buttons in place with their images.
  m_btnLogin.MoveWindow(78, 150, kButtonWidth, kButtonHeight);
  m_btnSwitch.MoveWindow(158, 150, kButtonWidth, kButtonHeight);
  m_btnRegister.MoveWindow(108, 150, kButtonWidth, kButtonHeight);
  m_btnLogin.SetImages(m_hLoginHover, m_hLoginNormal);
  m_btnSwitch.SetImages(m_hSwitchHover, m_hSwitchNormal);
  m_btnRegister.SetImages(m_hRegisterHover, m_hRegisterNormal);

  // 4. The registration form waits hidden.
  for (int id : kRegisterForm) ::ShowWindow(GetDlgItem(id), SW_HIDE);

  // 5.
  m_btnSwitch.SetFocus();

  // 6. Nearly opaque, like every popup of the program but the main window.
  ModifyStyleEx(0, WS_EX_LAYERED);
  SetLayeredWindowAttributes(m_hWnd, 0, 254, LWA_ALPHA);

  // 7. The client, for the first worker.
  {
    std::lock_guard<std::mutex> client(m_work->m_passportLock);
    m_work->Client();
  }
  return FALSE;  // the focus is set
}

void CMyLoginDlg::OpenPages() {
  if (m_pNoticeDlg && m_pNoticeDlg->m_hWnd) m_pNoticeDlg->Navigate(ServicePageUrl(kNoticePage));
  if (m_pWelcomeDlg && m_pWelcomeDlg->m_hWnd) m_pWelcomeDlg->Navigate(ServicePageUrl(kWelcomePage));
}

void CMyLoginDlg::EraseBackground(HDC dc) {
  RECT client;
  GetClientRect(&client);
  FillRect(dc, &client, m_hBackBrush);

  // The form's picture at its own size.
  if (HBITMAP form = LoadSection(m_bRegisterMode ? IDB_REGISTER_FORM : IDB_LOGIN_FORM)) {
    BITMAP info{};
    if (GetObjectW(form, sizeof info, &info) == sizeof info) {
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, form);
      BitBlt(dc, 0, 20, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    DeleteObject(form);
  }

  // The frame line.
  HPEN pen = CreatePen(PS_SOLID, 1, kFrameColour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, 5, 5, client.right - 6, client.bottom - 6);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

HBRUSH CMyLoginDlg::CtlColorStatic(HDC dc, HWND control) {
  const int id = ::GetDlgCtrlID(control);
  for (int label : kLabels) {
    if (id == label) {
      SetTextColor(dc, kTextColour);
      SetBkColor(dc, kBackColour);
      return m_hBackBrush;
    }
  }
  // The remember box sits on the same grey.
  if (id == IDC_REMEMBER) {
    SetBkColor(dc, kBackColour);
    return m_hBackBrush;
  }
  return nullptr;
}

void CMyLoginDlg::DrawWaitLine(const wchar_t* text, POINT at) {
  HDC dc = GetDC();
  if (!dc) return;
  LOGFONTW font{};
  font.lfHeight = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
  HFONT handle = CreateFontIndirectW(&font);
  HGDIOBJ old = handle ? SelectObject(dc, handle) : nullptr;
  SetBkColor(dc, kBackColour);
  SetTextColor(dc, kTextColour);
  TextOutW(dc, at.x, at.y, text, lstrlenW(text));
  if (old) SelectObject(dc, old);
  if (handle) DeleteObject(handle);
  ReleaseDC(dc);
}

bool CMyLoginDlg::OnCommand(UINT id, UINT code, HWND control) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_LOGIN:
        OnLogin();
        return true;
      case IDC_SWITCH_REGISTER:
        OnSwitchToRegister();
        return true;
      case IDC_REGISTER:
        OnRegister();
        return true;
      default:
        break;
    }
  }
  return CDialog::OnCommand(id, code, control);
}

void CMyLoginDlg::OnOK() {
  if (m_bRegisterMode) {
    OnRegister();
  } else {
    OnLogin();
  }
}

void CMyLoginDlg::OnCancel() {}

void CMyLoginDlg::Say(const wchar_t* text) {
  // The box runs a message loop; afterwards only the work (held here) is touched.
  const std::shared_ptr<CAccountWork> work = m_work;
  work->MessageBoxOnDialog(text, GetAppName().c_str(), MB_OK);
}

void CMyLoginDlg::OnLogin() {
  if (!m_bConnected) {
    Say(kNoNetwork);
    return;
  }
  if (m_work->m_bLoggingIn) {
    Say(kLoginBusy);
    return;
  }
  m_work->m_bLoggingIn = 1;
  DrawWaitLine(kLoginWaitText, kLoginWaitPoint);
  UpdateData(true);
  if (!StartLoginWorker(m_work, LoginInput{m_strUserName, m_strPassword})) InvalidateRect(&kLoginWaitLine);
}

void CMyLoginDlg::OnSwitchToRegister() {
  if (!m_bConnected) {
    Say(kNoNetwork);
    return;
  }
  for (int id : kLoginForm) ::ShowWindow(GetDlgItem(id), SW_HIDE);

  Place(GetDlgItem(IDC_REG_EMAIL_LABEL), 58, 70, 24, 12);
  Place(GetDlgItem(IDC_REG_USERNAME_LABEL), 58, 100, 36, 12);
  Place(GetDlgItem(IDC_REG_PASSWORD_LABEL), 58, 130, 24, 12);
  Place(GetDlgItem(IDC_REG_CONFIRM_LABEL), 58, 160, 48, 12);
  Place(GetDlgItem(IDC_REG_EMAIL), 115, 67, 160, 20);
  Place(GetDlgItem(IDC_REG_USERNAME), 115, 97, 160, 20);
  Place(GetDlgItem(IDC_REG_PASSWORD), 115, 127, 160, 20);
  Place(GetDlgItem(IDC_REG_CONFIRM), 115, 157, 160, 20);
  Place(GetDlgItem(IDC_REGISTER), 108, 200, kButtonWidth, kButtonHeight);

  m_bRegisterMode = 1;
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  OpenPages();
}

void CMyLoginDlg::OnRegister() {
  if (!m_bConnected) {
    Say(kNoNetwork);
    return;
  }
  if (m_work->m_bRegistering) {
    Say(kRegisterBusy);
    return;
  }
  UpdateData(true);
  for (wchar_t c : m_strRegUserName) {
    if (!IsNewUserNameUnit(c)) {
      const HWND dialog = m_hWnd;
      Say(kBadNameCharacter);
      ::SetDlgItemTextW(dialog, IDC_REG_USERNAME, L"");
      return;
    }
  }
  m_work->m_bRegistering = 1;
  DrawWaitLine(kRegisterWaitText, kRegisterWaitPoint);
  RegisterInput input{m_strEmail, m_strRegUserName, m_strRegPassword, m_strRegConfirm};
  if (!StartRegisterWorker(m_work, std::move(input))) InvalidateRect(&kRegisterWaitLine);
}
