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

TEST(BrowserCtrl, NavigateSendsTheAddressUnchangedAndFourEmptyOptionalArguments) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  browser.SetDispatch(&fake);
  const std::wstring addresses[] = {L"http://127.0.0.1:8080/Login.aspx?username=" + kOddUser,
                                    std::wstring(L"about:blank\0tail", 16), L""};
  for (const std::wstring& address : addresses) {
    browser.Navigate(address);
    EXPECT_EQ(S_OK, browser.GetLastResult());
  }
  ASSERT_EQ(3u, fake.calls.size());
  for (size_t i = 0; i < 3; ++i) {
    const FakeBrowserDispatch::Call& call = fake.calls[i];
    EXPECT_EQ(104, call.id);
    EXPECT_EQ(DISPATCH_METHOD, call.flags);
    EXPECT_EQ(0u, call.namedArgs);
    EXPECT_FALSE(call.wantsResult);
    ASSERT_EQ(5u, call.args.size());
    EXPECT_EQ(VT_BSTR, call.args[0].type);
    EXPECT_FALSE(call.args[0].nullText);
    EXPECT_EQ(addresses[i], call.args[0].text);  // a BSTR carries its length: nothing after a zero is lost
    for (size_t a = 1; a < 5; ++a) EXPECT_EQ(VT_EMPTY, call.args[a].type) << "optional argument " << a;
  }
  browser.DestroyControl();
  EXPECT_EQ(1, fake.refs);
}

TEST(BrowserCtrl, LocationUrlAndRefreshAndTheirFailures) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  // Without a control everything fails quietly.
  EXPECT_EQ(L"", browser.LocationURL());
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());
  browser.Navigate(L"http://127.0.0.1/Notice.html");
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());
  browser.Refresh();
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());
  EXPECT_FALSE(browser.CreateInPlaceOf(nullptr, 1001));

  browser.SetDispatch(&fake);
  fake.location = L"http://127.0.0.1:8080/ShoppingCart.aspx?username=" + kOddUser;
  EXPECT_EQ(fake.location, browser.LocationURL());
  EXPECT_EQ(S_OK, browser.GetLastResult());
  ASSERT_EQ(1u, fake.calls.size());
  EXPECT_EQ(211, fake.calls[0].id);
  EXPECT_EQ(DISPATCH_PROPERTYGET, fake.calls[0].flags);
  EXPECT_TRUE(fake.calls[0].args.empty());
  EXPECT_TRUE(fake.calls[0].wantsResult);
  // Empty when the control cannot tell: an exception, a value that is no string.
  fake.answer = DISP_E_EXCEPTION;
  EXPECT_EQ(L"", browser.LocationURL());
  EXPECT_EQ(DISP_E_EXCEPTION, browser.GetLastResult());
  fake.answer = S_OK;
  fake.locationType = VT_I4;
  EXPECT_EQ(L"", browser.LocationURL());
  fake.locationType = VT_EMPTY;
  EXPECT_EQ(L"", browser.LocationURL());

  fake.calls.clear();
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
  }
  browser.DestroyControl();
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
