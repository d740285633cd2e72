#include "web/main_upload_dlg.h"

#include "res/resource.h"

namespace {

const COLORREF kBackground = RGB(241, 241, 241);
const wchar_t kUploadTab[] = L"\u4e0a\u4f20\u6211\u7684\u7167\u7247";  // "上传我的照片"
const wchar_t kPrintTab[] = L"\u51b2\u5370\u6211\u7684\u7167\u7247";   // "冲印我的照片"

}  // namespace

CMainUpLoadDlg::CMainUpLoadDlg() : CDialog(IDD_MAINUPLOAD), m_hBackground(::CreateSolidBrush(kBackground)) {}

CMainUpLoadDlg::~CMainUpLoadDlg() {
  DestroyWindow();
  if (m_hBackground != nullptr) ::DeleteObject(m_hBackground);
}

bool CMainUpLoadDlg::Create(HWND parent) { return CDialog::Create(parent); }

void CMainUpLoadDlg::DoDataExchange(CDataExchange* dx) { DDX_Control(dx, IDC_TABS, m_tab); }

BOOL CMainUpLoadDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (m_tab.m_hWnd != nullptr) {
    RECT client;
    GetClientRect(&client);
    m_tab.MoveWindow(0, 32, client.right - client.left, client.bottom - client.top);
    m_tab.InsertItem(0, kUploadTab);
    m_tab.InsertItem(1, kPrintTab);
  }
  return TRUE;
}

LRESULT CMainUpLoadDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(&client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, m_hBackground);
      return TRUE;
    }
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}
