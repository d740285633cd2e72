// The tabbed window as far as it stands: the template, its tab control and the two tabs.
#include "controls/my_tab_ctrl.h"
#include "res/resource.h"
#include "tests/gui/gui_test_util.h"
#include "web/main_upload_dlg.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring TabText(HWND tab, int index) {
  wchar_t buffer[64] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = buffer;
  item.cchTextMax = 64;
  if (!SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return L"?";
  return buffer;
}

class Marker : public CWnd {
 public:
  bool seen = false;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_APP) seen = true;
    return CWnd::WindowProc(msg, wParam, lParam);
  }
};

TEST(MainUpLoadDlg, CreatesHiddenWithTheTwoTabsAcrossItsClientArea) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{0, 0, 700, 650}, nullptr, 0));
  CMainUpLoadDlg window;
  ASSERT_TRUE(window.Create(owner.m_hWnd));
  EXPECT_FALSE(window.IsWindowVisible());  // the main window places and shows it
  EXPECT_EQ(owner.m_hWnd, GetWindow(window.m_hWnd, GW_OWNER));
  EXPECT_EQ(0u, window.GetStyle() & WS_CHILD);

  const HWND tab = window.GetDlgItem(IDC_TABS);
  ASSERT_NE(nullptr, tab);
  EXPECT_EQ(&window.m_tab, CWnd::FromHandle(tab));
  EXPECT_NE(nullptr, dynamic_cast<CMyTabCtrl*>(CWnd::FromHandle(tab)));
  ASSERT_EQ(2, window.m_tab.GetItemCount());
  EXPECT_EQ(L"\u4e0a\u4f20\u6211\u7684\u7167\u7247", TabText(tab, 0));  // 上传我的照片
  EXPECT_EQ(L"\u51b2\u5370\u6211\u7684\u7167\u7247", TabText(tab, 1));  // 冲印我的照片
  EXPECT_EQ(0, window.m_tab.GetCurSel());

  RECT client;
  window.GetClientRect(&client);
  RECT rc;
  GetWindowRect(tab, &rc);
  MapWindowPoints(nullptr, window.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ(0, rc.left);
  EXPECT_EQ(32, rc.top);
  EXPECT_EQ(client.right, rc.right - rc.left);
  EXPECT_EQ(client.bottom, rc.bottom - rc.top);
}

// Counts the dialog manager's cancel (what Escape would be turned into).
class CountingMainUpLoadDlg : public CMainUpLoadDlg {
 public:
  explicit CountingMainUpLoadDlg(bool swallowEscape) { m_bSwallowEscape = swallowEscape; }
  int cancels = 0;

 protected:
  void OnCancel() override {
    ++cancels;
    CMainUpLoadDlg::OnCancel();
  }
};

TEST(MainUpLoadDlg, PaintsGrey) {
  CMainUpLoadDlg window;
  ASSERT_TRUE(window.Create(nullptr));
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 16, 16};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_NE(0, window.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(RGB(241, 241, 241), GetPixel(dc, 5, 5));
  // The tab control's own background too.
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_NE(0, window.m_tab.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(RGB(241, 241, 241), GetPixel(dc, 5, 5));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST(MainUpLoadDlg, EscapeDoesNotReachTheDialogManager) {
  CountingMainUpLoadDlg window(true);
  CountingMainUpLoadDlg probe(false);  // the same keys do cancel a dialog that allows it
  ASSERT_TRUE(window.Create(nullptr));
  ASSERT_TRUE(probe.Create(nullptr));
  // Everything posted before the marker has been handled once the marker arrives.
  Marker marker;
  ASSERT_TRUE(marker.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{0, 0, 1, 1}, nullptr, 0));
  for (CMainUpLoadDlg* dialog : {static_cast<CMainUpLoadDlg*>(&window), static_cast<CMainUpLoadDlg*>(&probe)}) {
    PostMessageW(dialog->GetDlgItem(IDC_TABS), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(dialog->m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  }
  marker.PostMessage(WM_APP);
  ASSERT_TRUE(PumpUntil([&] { return marker.seen; }, 3000));
  EXPECT_EQ(0, window.cancels);
  EXPECT_EQ(2, probe.cancels);
}

TEST(MainUpLoadDlg, DestroyingTheObjectTakesTheWindow) {
  HWND hwnd = nullptr;
  HWND tab = nullptr;
  {
    CMainUpLoadDlg window;
    ASSERT_TRUE(window.Create(nullptr));
    hwnd = window.m_hWnd;
    tab = window.GetDlgItem(IDC_TABS);
  }
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(tab));
  EXPECT_EQ(nullptr, CWnd::FromHandle(tab));
}

}  // namespace
