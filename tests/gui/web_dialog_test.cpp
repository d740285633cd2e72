// The page dialog: placement of the browser, system commands, colours, Escape, the real
// WebBrowser control and teardown.
#include "framework/ole_container.h"
#include "res/resource.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "web/my_web_dlg.h"
#include "web/service_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A borderless popup, so that its client area is its window rectangle; counts WM_APP, the
// marker that everything posted before it has been handled.
class TestParent : public CWnd {
 public:
  int markers = 0;
  bool Create(int width, int height) {
    return CreateEx(0, DefaultWindowClass(), L"", WS_POPUP | WS_CLIPCHILDREN, RECT{20, 20, 20 + width, 20 + height},
                    nullptr, 0);
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_APP) {
      ++markers;
      return 0;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
  }
  // Posts the marker and pumps until it arrives.
  bool Flush() {
    const int target = markers + 1;
    PostMessage(WM_APP);
    return PumpUntil([&] { return markers >= target; }, 3000);
  }
};

// A page dialog that lets the dialog manager have Escape: the probe that Escape arrives.
class EscapablePage : public CMyWebDlg {
 public:
  EscapablePage() { m_bSwallowEscape = false; }
};

RECT ChildRect(HWND parent, HWND child) {
  RECT rc;
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

RECT ClientRect(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  return rc;
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual) {
  if (EqualRect(&expected, &actual)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected (" << expected.left << "," << expected.top << ")-("
                                       << expected.right << "," << expected.bottom << "), got (" << actual.left
                                       << "," << actual.top << ")-(" << actual.right << "," << actual.bottom << ")";
}

class WebDialog : public testing::Test {
 protected:
  void SetUp() override {
    sitesBefore = COleControlHost::LiveSites();
    SetServicePageHost(u"127.0.0.1:9");
  }
  void TearDown() override {
    SetServicePageHost(u"");
    parent.DestroyWindow();
    EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));
  }
  long sitesBefore = 0;
  TestParent parent;
};

TEST_F(WebDialog, TheBrowserTakesItsFirstSizeFromTheParentsClientArea) {
  ASSERT_TRUE(parent.Create(640, 480));
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  EXPECT_EQ(parent.m_hWnd, page.GetParent());
  EXPECT_NE(0u, page.GetStyle() & WS_CHILD);
  EXPECT_FALSE(page.IsWindowVisible());  // the owner shows it
  ASSERT_NE(nullptr, page.m_browser.m_hWnd);
  EXPECT_EQ(page.m_browser.m_hWnd, page.GetDlgItem(IDC_BROWSER));
  EXPECT_TRUE(SameRect(RECT{-2, -2, -2 + 630, -2 + 458}, ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));

  // The parent decides, not the dialog's own size.
  TestParent small;
  ASSERT_TRUE(small.Create(300, 245));
  CMyWebDlg second;
  ASSERT_TRUE(second.Create(small.m_hWnd));
  EXPECT_TRUE(SameRect(RECT{-2, -2, -2 + 290, -2 + 223}, ChildRect(second.m_hWnd, second.m_browser.m_hWnd)));
}

TEST_F(WebDialog, AParentSmallerThanTheMarginsLeavesAnEmptyBrowser) {
  ASSERT_TRUE(parent.Create(8, 20));
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  EXPECT_TRUE(SameRect(RECT{-2, -2, -2, -2}, ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));
}

TEST_F(WebDialog, MinimiseMaximiseAndRestoreMakeTheBrowserFillTheDialog) {
  ASSERT_TRUE(parent.Create(640, 480));
  parent.ShowWindow(SW_SHOWNOACTIVATE);
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  page.MoveWindow(10, 270, 300, 245);
  page.ShowWindow(SW_SHOWNOACTIVATE);
  // Any other system command leaves the browser where its owner put it.
  page.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  EXPECT_TRUE(SameRect(RECT{-2, -2, 628, 456}, ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));

  page.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(SameRect(RECT{0, 0, 300, 245}, ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));

  page.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(SameRect(ClientRect(page.m_hWnd), ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));
  page.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(SameRect(ClientRect(page.m_hWnd), ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));
  page.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(page.m_hWnd));
  EXPECT_TRUE(SameRect(ClientRect(page.m_hWnd), ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));
  // The low four bits of the command are the system's own.
  page.m_browser.MoveWindow(5, 5, 10, 10);
  page.SendMessage(WM_SYSCOMMAND, SC_RESTORE | 0x2, 0);
  EXPECT_TRUE(SameRect(ClientRect(page.m_hWnd), ChildRect(page.m_hWnd, page.m_browser.m_hWnd)));
}

TEST_F(WebDialog, EscapeDoesNotCloseThePage) {
  ASSERT_TRUE(parent.Create(640, 480));
  parent.ShowWindow(SW_SHOWNOACTIVATE);
  CMyWebDlg page;
  EscapablePage probe;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  ASSERT_TRUE(probe.Create(parent.m_hWnd));
  for (CMyWebDlg* dialog : {static_cast<CMyWebDlg*>(&page), static_cast<CMyWebDlg*>(&probe)}) {
    dialog->ShowWindow(SW_SHOWNOACTIVATE);
    const HWND inner = GetWindow(dialog->m_browser.m_hWnd, GW_CHILD);
    for (HWND target : {dialog->m_hWnd, dialog->m_browser.m_hWnd, inner}) {
      if (target != nullptr) PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
  }
  ASSERT_TRUE(parent.Flush());
  EXPECT_TRUE(page.IsWindowVisible());
  EXPECT_FALSE(probe.IsWindowVisible());  // the same keys do close a dialog that allows it
}

TEST_F(WebDialog, BackgroundAndControlColoursAreTheSkins) {
  ASSERT_TRUE(parent.Create(640, 480));
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  page.MoveWindow(0, 0, 40, 30);

  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 30);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 40, 30};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_NE(0, page.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(RGB(241, 241, 241), GetPixel(dc, 0, 0));
  EXPECT_EQ(RGB(241, 241, 241), GetPixel(dc, 39, 29));

  for (UINT msg : {WM_CTLCOLORDLG, WM_CTLCOLORSTATIC, WM_CTLCOLORBTN}) {
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(0, 0, 0));
    const HWND from = msg == WM_CTLCOLORDLG ? page.m_hWnd : page.m_browser.m_hWnd;
    const auto brush = reinterpret_cast<HBRUSH>(
        page.SendMessage(msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(from)));
    ASSERT_NE(nullptr, brush) << msg;
    LOGBRUSH info{};
    ASSERT_EQ(static_cast<int>(sizeof info), GetObjectW(brush, sizeof info, &info));
    EXPECT_EQ(RGB(241, 241, 241), info.lbColor) << msg;
    EXPECT_EQ(RGB(241, 241, 241), GetBkColor(dc)) << msg;
    EXPECT_EQ(RGB(89, 127, 147), GetTextColor(dc)) << msg;
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(WebDialog, TheRealWebBrowserRunsAndTakesAnAddress) {
  ASSERT_TRUE(parent.Create(640, 480));
  parent.ShowWindow(SW_SHOWNOACTIVATE);
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  EXPECT_EQ(sitesBefore + 1, COleControlHost::LiveSites());
  ASSERT_NE(nullptr, page.m_browser.GetControlUnknown());
  IDispatch* own = nullptr;
  ASSERT_EQ(S_OK, page.m_browser.GetDispatch(&own));
  own->Release();
  page.ShowWindow(SW_SHOWNOACTIVATE);

  // The real control accepts the call as the wrapper makes it (empty optional arguments) and
  // then reports the address it was given, once its navigation has started.
  const std::wstring notice = ServicePageUrl(kNoticePage);
  page.Navigate(notice);
  EXPECT_EQ(S_OK, page.m_browser.GetLastResult());
  EXPECT_TRUE(PumpUntil([&] { return page.m_browser.LocationURL() == notice; }, 3000));
  // (The control itself canonicalises some characters, a space for one; the wrapper sends
  // every address unchanged, see the wrapper's own tests.)
  const std::wstring login = ServicePageUrl(kLoginPage + std::wstring(L"\u5f20\u4e09&b"));
  page.Navigate(login);
  EXPECT_EQ(S_OK, page.m_browser.GetLastResult());
  EXPECT_TRUE(PumpUntil([&] { return page.m_browser.LocationURL() == login; }, 3000));
  // Reloading comes back too (an engine-less control answers with an exception).
  page.m_browser.Refresh();
  // The owner may move the control; the control's own window follows the host.
  page.m_browser.MoveWindow(0, 0, 200, 100);
  const HWND inner = GetWindow(page.m_browser.m_hWnd, GW_CHILD);
  if (inner != nullptr) {
    EXPECT_TRUE(SameRect(RECT{0, 0, 200, 100}, ClientRect(inner)));
  }
}

TEST_F(WebDialog, DestroyingThePageReleasesTheControlAndItsSite) {
  ASSERT_TRUE(parent.Create(640, 480));
  FakeBrowserDispatch fake;
  HWND pageWindow = nullptr;
  HWND browserWindow = nullptr;
  {
    CMyWebDlg page;
    ASSERT_TRUE(page.Create(parent.m_hWnd));
    pageWindow = page.m_hWnd;
    browserWindow = page.m_browser.m_hWnd;
    EXPECT_EQ(sitesBefore + 1, COleControlHost::LiveSites());
    page.m_browser.SetDispatch(&fake);
    page.Navigate(ServicePageUrl(kWelcomePage));
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.1:9/Welcome.html"}), fake.NavigatedAddresses());
    EXPECT_EQ(2, fake.refs);
  }
  EXPECT_FALSE(IsWindow(pageWindow));
  EXPECT_FALSE(IsWindow(browserWindow));
  EXPECT_EQ(1, fake.refs);
  EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));

  // The parent going first takes the page's windows with it; the object then goes quietly.
  {
    CMyWebDlg page;
    ASSERT_TRUE(page.Create(parent.m_hWnd));
    parent.DestroyWindow();
    EXPECT_EQ(nullptr, page.m_hWnd);
    EXPECT_EQ(nullptr, page.m_browser.m_hWnd);
    page.Navigate(L"about:blank");
    EXPECT_EQ(E_NOINTERFACE, page.m_browser.GetLastResult());
  }
  EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));
}

TEST_F(WebDialog, CreatingAPageLeavesTheKeyboardFocusWhereItWas) {
  ASSERT_TRUE(parent.Create(640, 480));
  parent.ShowWindow(SW_SHOW);
  SetForegroundWindow(parent.m_hWnd);
  CWnd edit;
  ASSERT_TRUE(edit.CreateEx(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, RECT{5, 5, 105, 25}, parent.m_hWnd, 77));
  edit.SetFocus();
  ASSERT_EQ(edit.m_hWnd, GetFocus());
  CMyWebDlg page;  // hidden until its owner shows it: it must not take the keyboard
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  EXPECT_EQ(edit.m_hWnd, GetFocus());
  page.Navigate(ServicePageUrl(kNoticePage));
  PumpFor(50);
  EXPECT_EQ(edit.m_hWnd, GetFocus());
}

TEST_F(WebDialog, WithoutAParentThereIsNoPage) {
  CMyWebDlg page;
  EXPECT_FALSE(page.Create(nullptr));  // a child template needs a parent
  EXPECT_EQ(nullptr, page.m_hWnd);
  EXPECT_EQ(sitesBefore, COleControlHost::LiveSites());
}

}  // namespace
