#include "web/my_web_dlg.h"

#include "res/resource.h"

namespace {

const COLORREF kBackground = RGB(241, 241, 241);
const COLORREF kText = RGB(89, 127, 147);

}  // namespace

CMyWebDlg::CMyWebDlg() : CDialog(IDD_WEBPAGE), m_hBackground(::CreateSolidBrush(kBackground)) {}

CMyWebDlg::~CMyWebDlg() {
  // The browser goes with the window while every member is still whole.
  DestroyWindow();
  if (m_hBackground != nullptr) ::DeleteObject(m_hBackground);
}

bool CMyWebDlg::Create(HWND parent) { return CDialog::Create(parent); }

void CMyWebDlg::Navigate(const std::wstring& address) { m_browser.Navigate(address); }

BOOL CMyWebDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // Without the control the placeholder stays and the page shows nothing; calls then fail
  // quietly (a page that cannot load is not reported).
  if (m_browser.CreateInPlaceOf(m_hWnd, IDC_BROWSER)) {
    RECT parent{};
    const HWND parentWnd = GetParent();
    if (parentWnd != nullptr) ::GetClientRect(parentWnd, &parent);
    const int width = parent.right - parent.left - 10;
    const int height = parent.bottom - parent.top - 22;
    // A parent smaller than the margins leaves an empty control, not a negative size.
    m_browser.MoveWindow(-2, -2, width > 0 ? width : 0, height > 0 ? height : 0);
  }
  // The page is created hidden inside some other window: the keyboard focus stays where it
  // is (the dialog manager would give it to the hidden browser).
  return FALSE;
}

LRESULT CMyWebDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SYSCOMMAND: {
      const LRESULT result = CDialog::WindowProc(msg, wParam, lParam);
      const UINT command = static_cast<UINT>(wParam & 0xFFF0);
      if ((command == SC_MINIMIZE || command == SC_MAXIMIZE || command == SC_RESTORE) && m_hWnd != nullptr &&
          m_browser.m_hWnd != nullptr) {
        RECT client;
        GetClientRect(&client);
        m_browser.MoveWindow(0, 0, client.right - client.left, client.bottom - client.top);
      }
      return result;
    }
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(&client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, m_hBackground);
      return TRUE;
    }
    case WM_PAINT: {
      // Also when the area was invalidated without erasing.
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(m_hWnd, &paint);
      if (dc != nullptr) ::FillRect(dc, &paint.rcPaint, m_hBackground);
      ::EndPaint(m_hWnd, &paint);
      return 0;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkColor(dc, kBackground);
      ::SetTextColor(dc, kText);
      return reinterpret_cast<LRESULT>(m_hBackground);
    }
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}
