#include "web/main_upload_dlg.h"

#include <cwchar>

#include "common/messages.h"
#include "common/settings.h"
#include "common/window_identity.h"
#include "res/resource.h"
#include "web/service_pages.h"

namespace {

const COLORREF kBackground = RGB(241, 241, 241);
const wchar_t kUploadTabText[] = L"上传我的照片";
const wchar_t kPrintTabText[] = L"冲印我的照片";
const wchar_t kNoUser[] = L"失败!! 重新登陆!!";
const wchar_t kNoticeCaption[] = L"提示";

// Where the pages sit in the tab control's client area.
constexpr int kPageLeft = 3;
constexpr int kUploadPageTop = 20;
constexpr int kPrintPageTop = 22;
constexpr int kTabTop = 32;

HBITMAP LoadSection(int id) {
  return static_cast<HBITMAP>(
      ::LoadImageW(GetResourceInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace

CMainUpLoadDlg::CMainUpLoadDlg()
    : CDialog(IDD_MAINUPLOAD),
      m_szUploadUser{},
      m_hBackgroundBitmap(nullptr),
      m_hTabActive(nullptr),
      m_hTabNormal(nullptr),
      m_hTabRow(nullptr),
      m_hIcon(nullptr),
      m_hBackground(::CreateSolidBrush(kBackground)) {}

CMainUpLoadDlg::~CMainUpLoadDlg() {
  // The worker talks to the page's windows: it ends while they still exist.
  m_uploadPage.m_uploadWorker.StopAndWait();
  DestroyWindow();
  DeleteBitmaps();
  if (m_hBackground != nullptr) ::DeleteObject(m_hBackground);
}

bool CMainUpLoadDlg::Create(HWND parent) { return CDialog::Create(parent); }

void CMainUpLoadDlg::DoDataExchange(CDataExchange* dx) { DDX_Control(dx, IDC_TABS, m_tab); }

BOOL CMainUpLoadDlg::OnInitDialog() {
  // 1. The system menu's "about" item (no handler of its own here) and the icons.
  CDialog::OnInitDialog();
  m_hIcon = ShowProgramIdentity(*this);

  // 2. The signed-in user. Without one the window closes itself; the rest is still built, so
  // that the window stays whole until its owner has taken it down.
  const std::wstring user = ReadSetting(settings::kUploadUser);
  ::lstrcpynW(m_szUploadUser, user.c_str(), 260);
  const bool noUser = m_szUploadUser[0] == L'\0';
  if (noUser) {
    MessageBox(kNoUser, kNoticeCaption, MB_OK);
    // Closed (hidden, its pictures let go), but not as the user's close, which ends the program.
    DeleteBitmaps();
    EndDialog(IDCANCEL);
  }

  // 3.
  m_hBackgroundBitmap = LoadSection(IDB_TABS_BACKGROUND);
  m_hTabActive = LoadSection(IDB_TAB_ACTIVE);
  m_hTabNormal = LoadSection(IDB_TAB_NORMAL);
  m_hTabRow = LoadSection(IDB_TAB_ROW);

  // 4. and 5.
  RECT client;
  GetClientRect(&client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  m_tab.MoveWindow(0, kTabTop, width, height);
  m_tab.InsertItem(kUploadTab, kUploadTabText);
  m_tab.InsertItem(kPrintTab, kPrintTabText);

  // 6. to 8. The print page with the user's cart.
  m_printPage.Create(m_tab.m_hWnd);
  m_strCartUrl = ServicePageUrl(std::wstring(kShoppingCartPage) + m_szUploadUser);
  if (m_printPage.m_browser.m_hWnd != nullptr) {
    m_printPage.m_browser.MoveWindow(0, 0, width - 15, height - 25);
  }
  m_printPage.m_browser.Navigate(m_strCartUrl);

  // 9. and 10.
  m_uploadPage.Create(m_tab.m_hWnd);
  ShowPage(kUploadTab);

  // 11. No taskbar button.
  UpdateWindow();
  ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);

  // 12. Nearly opaque, like every popup of the program but the main window.
  ModifyStyleEx(0, WS_EX_LAYERED);
  ::SetLayeredWindowAttributes(m_hWnd, 0, 254, LWA_ALPHA);

  // The user cannot do anything here without a name: the owner brings the login dialog back
  // once this window's creation is over.
  const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  if (noUser && owner != nullptr) ::PostMessageW(owner, WM_BACKTOLOGIN, reinterpret_cast<WPARAM>(m_hWnd), 0);
  return TRUE;
}

void CMainUpLoadDlg::ShowPage(int index) {
  RECT client{};
  if (m_tab.m_hWnd != nullptr) m_tab.GetClientRect(&client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (m_uploadPage.m_hWnd != nullptr) {
    m_uploadPage.MoveWindow(kPageLeft, kUploadPageTop, width, height);
    m_uploadPage.ShowWindow(index == kUploadTab ? SW_SHOW : SW_HIDE);
  }
  if (m_printPage.m_hWnd != nullptr) {
    m_printPage.MoveWindow(kPageLeft, kPrintPageTop, width, height);
    m_printPage.ShowWindow(index == kPrintTab ? SW_SHOW : SW_HIDE);
  }
}

void CMainUpLoadDlg::SelectPage(int index) {
  if (index != kUploadTab && index != kPrintTab) return;
  m_tab.SetCurSel(index);
  ShowPage(index);
  if (index != kPrintTab || m_uploadPage.m_bUploading == 0) return;
  // The end of an upload: the cart must show the new photos.
  if (m_printPage.m_browser.LocationURL() == m_strCartUrl) {
    m_printPage.m_browser.Refresh();
  } else {
    m_printPage.m_browser.Navigate(m_strCartUrl);
    SetTimer(kRefreshTimer, kRefreshDelayMs);
  }
}

bool CMainUpLoadDlg::OnNotify(NMHDR* header, LRESULT* result) {
  if (header != nullptr && m_tab.m_hWnd != nullptr && header->hwndFrom == m_tab.m_hWnd &&
      header->code == static_cast<UINT>(TCN_SELCHANGE)) {
    const int selected = m_tab.GetCurSel();
    ShowPage(selected);
    if (selected == kPrintTab && m_uploadPage.m_bUploading != 0) m_printPage.m_browser.Refresh();
    *result = 0;
    return true;
  }
  return CDialog::OnNotify(header, result);
}

void CMainUpLoadDlg::DeleteBitmaps() {
  for (HBITMAP* bitmap : {&m_hBackgroundBitmap, &m_hTabActive, &m_hTabNormal, &m_hTabRow}) {
    if (*bitmap != nullptr) ::DeleteObject(*bitmap);
    *bitmap = nullptr;
  }
}

void CMainUpLoadDlg::PaintBackground(HDC dc) {
  RECT client;
  GetClientRect(&client);
  ::FillRect(dc, &client, m_hBackground);
  if (m_hBackgroundBitmap == nullptr) return;
  BITMAP info{};
  if (::GetObjectW(m_hBackgroundBitmap, sizeof(info), &info) == 0) return;
  const HDC memory = ::CreateCompatibleDC(dc);
  if (memory == nullptr) return;
  const HGDIOBJ old = ::SelectObject(memory, m_hBackgroundBitmap);
  ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
}

LRESULT CMainUpLoadDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      PaintBackground(reinterpret_cast<HDC>(wParam));
      return TRUE;
    case WM_TIMER:
      if (wParam == kRefreshTimer) {
        m_printPage.m_browser.Refresh();
        KillTimer(kRefreshTimer);
        return 0;
      }
      break;
    case WM_GOTOPRINT:
      SelectPage(kPrintTab);
      break;
    case WM_GOTOMANAGE:
      SelectPage(kPrintTab);
      m_printPage.Navigate(ServicePageUrl(kPhotoManagePage));
      break;
    case WM_CLOSE: {
      // The user closes the working window: the program closes. The upload stops at once; the
      // owner (the main window) ends and takes this window with it.
      DeleteBitmaps();
      m_uploadPage.m_uploadWorker.RequestStop();
      const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
      if (owner != nullptr) {
        ::PostMessageW(owner, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    }
    case WM_DESTROY:
      // Also when the window goes with its owner before this object is deleted.
      m_uploadPage.m_uploadWorker.StopAndWait();
      break;
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}
