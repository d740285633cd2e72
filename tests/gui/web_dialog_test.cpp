// The page dialog: placement of the browser, system commands, Escape, the real WebBrowser
// control and teardown.
#include "framework/ole_container.h"
#include "tests/gui/gui_test_util.h"
#include "web/my_web_dlg.h"
#include "web/service_pages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace guitest;

// A borderless popup, so that its client area is its window rectangle.
struct TestParent : CWnd {
  bool Create(int width, int height, DWORD shown = 0) {
    return CreateEx(0, DefaultWindowClass(), L"", WS_POPUP | WS_CLIPCHILDREN | shown, Rect(20, 20, width, height),
                    nullptr, 0);
  }
};

// A page dialog that would let the dialog manager of a modal dialog have Escape, and counts the
// Escape keys that reach it: the probe that they arrive.
class EscapablePage : public CMyWebDlg {
 public:
  EscapablePage() { m_bSwallowEscape = false; }
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) ++escapes;
    return CMyWebDlg::PreTranslateMessage(msg);
  }
  int escapes = 0;
};

RECT BrowserRect(const CMyWebDlg& page) { return RectIn(page.m_hWnd, page.m_browser.m_hWnd); }

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

TEST_F(WebDialog, TheBrowserTakesItsFirstSizeFromTheParentAndTheFocusStaysWhereItWas) {
  // Width less 10, height less 22, at (-2, -2); a parent smaller than that leaves it empty.
  const struct {
    int width, height;
    RECT browser;
  } cases[] = {{640, 480, {-2, -2, 628, 456}}, {8, 20, {-2, -2, -2, -2}}};
  for (const auto& c : cases) {
    TestParent owner;
    ASSERT_TRUE(owner.Create(c.width, c.height));
    CMyWebDlg page;
    ASSERT_TRUE(page.Create(owner.m_hWnd));
    EXPECT_FALSE(page.IsWindowVisible());  // the owner shows it
    EXPECT_TRUE(SameRect(c.browser, BrowserRect(page))) << c.width << "x" << c.height;
  }

  // Hidden until its owner shows it: creating and navigating a page must not take the keyboard.
  ASSERT_TRUE(parent.Create(640, 480, WS_VISIBLE));
  SetForegroundWindow(parent.m_hWnd);
  CWnd edit;
  ASSERT_TRUE(
      edit.CreateEx(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, RECT{5, 5, 105, 25}, parent.m_hWnd, 77));
  edit.SetFocus();
  ASSERT_EQ(edit.m_hWnd, GetFocus());
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  page.Navigate(ServicePageUrl(kNoticePage));
  PumpFor(50);
  EXPECT_EQ(edit.m_hWnd, GetFocus());
}

TEST_F(WebDialog, SystemCommandsEscapeAndBackground) {
  ASSERT_TRUE(parent.Create(640, 480, WS_VISIBLE));
  CMyWebDlg page;
  EscapablePage probe;  // a modeless page keeps Escape even when its class would give it away
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  ASSERT_TRUE(probe.Create(parent.m_hWnd));
  int posted = 0;
  for (CMyWebDlg* dialog : {static_cast<CMyWebDlg*>(&page), static_cast<CMyWebDlg*>(&probe)}) {
    dialog->ShowWindow(SW_SHOWNOACTIVATE);
    for (HWND target : {dialog->m_hWnd, dialog->m_browser.m_hWnd, GetWindow(dialog->m_browser.m_hWnd, GW_CHILD)}) {
      if (target != nullptr && dialog == &probe) ++posted;
      if (target != nullptr) PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
  }
  EXPECT_TRUE(PumpUntil([&] { return probe.escapes == posted; }));  // by then the page has had its own
  EXPECT_TRUE(page.IsWindowVisible() && probe.IsWindowVisible());
  page.MoveWindow(10, 270, 300, 245);
  page.m_browser.MoveWindow(5, 5, 10, 10);
  page.SendMessage(WM_SYSCOMMAND, SC_RESTORE | 0x2, 0);  // low four bits: the system's
  EXPECT_TRUE(SameRect(Canvas::ClientSize(page.m_hWnd), BrowserRect(page)));
  EXPECT_FALSE(IsIconic(page.m_hWnd));

  Canvas canvas(40, 30);
  EXPECT_NE(0, canvas.Send(page.m_hWnd, WM_ERASEBKGND));
  EXPECT_EQ(RGB(241, 241, 241), canvas.Pixel(39, 29));
}

TEST_F(WebDialog, TheRealWebBrowserTakesAnAddressAndGoesWithThePage) {
  ASSERT_TRUE(parent.Create(640, 480, WS_VISIBLE));
  HWND pageWindow = nullptr, browserWindow = nullptr;
  {
    CMyWebDlg page;
    ASSERT_TRUE(page.Create(parent.m_hWnd));
    pageWindow = page.m_hWnd;
    browserWindow = page.m_browser.m_hWnd;
    EXPECT_EQ(sitesBefore + 1, COleControlHost::LiveSites());
    page.ShowWindow(SW_SHOWNOACTIVATE);
    // The real control takes the call as the wrapper makes it and then reports the address.
    for (const std::wstring& address :
         {ServicePageUrl(kNoticePage), ServicePageUrl(kLoginPage + std::wstring(L"张三&b"))}) {
      page.Navigate(address);
      EXPECT_EQ(S_OK, page.m_browser.GetLastResult());
      EXPECT_TRUE(PumpUntil([&] { return page.m_browser.LocationURL() == address; }, 3000)) << address;
    }
    page.m_browser.Refresh();  // an engine-less control answers with an exception; it comes back all the same
  }
  EXPECT_FALSE(IsWindow(pageWindow) || IsWindow(browserWindow));
  EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));
  // The parent going first takes the page's windows with it; the object then goes quietly.
  CMyWebDlg page;
  ASSERT_TRUE(page.Create(parent.m_hWnd));
  parent.DestroyWindow();
  EXPECT_EQ(nullptr, page.m_hWnd);
  EXPECT_EQ(nullptr, page.m_browser.m_hWnd);
  page.Navigate(L"about:blank");
  EXPECT_EQ(E_NOINTERFACE, page.m_browser.GetLastResult());
}

}  // namespace
