// The WebBrowser wrapper: the exact calls it makes through the control's dispatch interface.
#include "tests/gui/fake_browser_dispatch.h"
#include "web/browser_ctrl.h"
#include "web/my_web_dlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "张三" followed by characters that a query would normally escape.
const std::wstring kOddUser = L"\u5f20\u4e09 & a=b?c#d%20+/\"<>";

TEST(BrowserCtrl, NavigateSendsTheAddressAndFourEmptyOptionalArguments) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  browser.SetDispatch(&fake);
  browser.Navigate(L"http://127.0.0.1:8080/Notice.html");
  EXPECT_EQ(S_OK, browser.GetLastResult());

  ASSERT_EQ(1u, fake.calls.size());
  const FakeBrowserDispatch::Call& call = fake.calls[0];
  EXPECT_EQ(104, call.id);
  EXPECT_EQ(DISPATCH_METHOD, call.flags);
  EXPECT_EQ(0u, call.namedArgs);
  EXPECT_FALSE(call.wantsResult);
  ASSERT_EQ(5u, call.args.size());
  EXPECT_EQ(VT_BSTR, call.args[0].type);
  EXPECT_EQ(L"http://127.0.0.1:8080/Notice.html", call.args[0].text);
  for (size_t i = 1; i < 5; ++i) EXPECT_EQ(VT_EMPTY, call.args[i].type) << "optional argument " << i;
  browser.DestroyControl();
  EXPECT_EQ(1, fake.refs);
}

TEST(BrowserCtrl, NavigateSendsTheAddressUnchanged) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  browser.SetDispatch(&fake);
  const std::wstring address = L"http://127.0.0.1:8080/Login.aspx?username=" + kOddUser;
  browser.Navigate(address);
  // A BSTR carries its length: nothing after a zero is lost either.
  browser.Navigate(std::wstring(L"about:blank\0tail", 16));
  browser.Navigate(L"");
  ASSERT_EQ(3u, fake.calls.size());
  EXPECT_EQ(address, fake.calls[0].args[0].text);
  EXPECT_EQ(std::wstring(L"about:blank\0tail", 16), fake.calls[1].args[0].text);
  EXPECT_FALSE(fake.calls[2].args[0].nullText);
  EXPECT_EQ(L"", fake.calls[2].args[0].text);
  browser.DestroyControl();
}

TEST(BrowserCtrl, LocationUrlReadsTheProperty) {
  FakeBrowserDispatch fake;
  fake.location = L"http://127.0.0.1:8080/ShoppingCart.aspx?username=" + kOddUser;
  CBrowserCtrl browser;
  browser.SetDispatch(&fake);
  EXPECT_EQ(fake.location, browser.LocationURL());
  EXPECT_EQ(S_OK, browser.GetLastResult());
  ASSERT_EQ(1u, fake.calls.size());
  EXPECT_EQ(211, fake.calls[0].id);
  EXPECT_EQ(DISPATCH_PROPERTYGET, fake.calls[0].flags);
  EXPECT_TRUE(fake.calls[0].args.empty());
  EXPECT_EQ(0u, fake.calls[0].namedArgs);
  EXPECT_TRUE(fake.calls[0].wantsResult);

  fake.location.clear();
  EXPECT_EQ(L"", browser.LocationURL());
  browser.DestroyControl();
}

TEST(BrowserCtrl, LocationUrlIsEmptyWhenTheControlCannotTell) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  EXPECT_EQ(L"", browser.LocationURL());  // no control at all
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());

  browser.SetDispatch(&fake);
  fake.location = L"http://127.0.0.1/x";
  fake.answer = DISP_E_EXCEPTION;
  EXPECT_EQ(L"", browser.LocationURL());
  EXPECT_EQ(DISP_E_EXCEPTION, browser.GetLastResult());

  fake.answer = S_OK;
  fake.locationType = VT_I4;  // not a string
  EXPECT_EQ(L"", browser.LocationURL());
  fake.locationType = VT_EMPTY;
  EXPECT_EQ(L"", browser.LocationURL());
  EXPECT_EQ(3u, fake.calls.size());
  browser.DestroyControl();
}

TEST(BrowserCtrl, RefreshCallsTheMethodWithoutArguments) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  browser.SetDispatch(&fake);
  browser.Refresh();
  EXPECT_EQ(S_OK, browser.GetLastResult());
  fake.answer = DISP_E_EXCEPTION;  // what the control answers when it has no page engine
  browser.Refresh();
  EXPECT_EQ(DISP_E_EXCEPTION, browser.GetLastResult());
  ASSERT_EQ(2u, fake.calls.size());
  for (const FakeBrowserDispatch::Call& call : fake.calls) {
    EXPECT_EQ(-550, call.id);
    EXPECT_EQ(DISPATCH_METHOD, call.flags);
    EXPECT_TRUE(call.args.empty());
    EXPECT_EQ(0u, call.namedArgs);
  }
  browser.DestroyControl();
}

TEST(BrowserCtrl, CallsWithoutAControlFailQuietly) {
  CBrowserCtrl browser;
  browser.Navigate(L"http://127.0.0.1/Notice.html");
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());
  browser.Refresh();
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());
  EXPECT_FALSE(browser.CreateInPlaceOf(nullptr, 1001));
  EXPECT_EQ(nullptr, browser.m_hWnd);
}

TEST(BrowserCtrl, ControlsCreatedWhileASubstituteIsSetUseIt) {
  FakeBrowserDispatch fake;
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{0, 0, 400, 300}, nullptr, 0));
  {
    CBrowserCtrl::SetDispatchForNewControls(&fake);
    CMyWebDlg page;
    const bool created = page.Create(parent.m_hWnd);
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
    ASSERT_TRUE(created);
    ASSERT_NE(nullptr, page.m_browser.GetControlUnknown());  // the real control runs
    page.Navigate(L"http://127.0.0.1:8080/Welcome.html");
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.1:8080/Welcome.html"}), fake.NavigatedAddresses());

    // Created after the reset: the control's own interface.
    CMyWebDlg other;
    ASSERT_TRUE(other.Create(parent.m_hWnd));
    other.Navigate(L"about:blank");
    EXPECT_EQ(1u, fake.calls.size());
  }
  EXPECT_EQ(1, fake.refs);  // let go with the controls
}

}  // namespace
