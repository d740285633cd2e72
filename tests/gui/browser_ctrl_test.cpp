// The WebBrowser wrapper: the exact calls it makes through the control's dispatch interface.
#include "tests/gui/fake_browser_dispatch.h"
#include "web/browser_ctrl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "张三" followed by characters that a query would normally escape.
const std::wstring kOddUser = L"\u5f20\u4e09 & a=b?c#d%20+/\"<>";

TEST(BrowserCtrl, NavigateLocationUrlAndRefreshThroughTheDispatchInterface) {
  FakeBrowserDispatch fake;
  CBrowserCtrl browser;
  EXPECT_EQ(L"", browser.LocationURL());  // without a control everything fails quietly
  EXPECT_EQ(E_NOINTERFACE, browser.GetLastResult());
  browser.SetDispatch(&fake);

  // Navigate: the address unchanged (a BSTR keeps what follows a zero) and four empty optionals.
  const std::wstring address = L"http://127.0.0.1:8080/Login.aspx?username=" + kOddUser + std::wstring(1, L'\0') + L"t";
  browser.Navigate(address);
  EXPECT_EQ(S_OK, browser.GetLastResult());
  ASSERT_EQ(1u, fake.calls.size());
  const FakeBrowserDispatch::Call& call = fake.calls[0];
  EXPECT_TRUE(call.id == 104 && call.flags == DISPATCH_METHOD && call.namedArgs == 0 && !call.wantsResult);
  ASSERT_EQ(5u, call.args.size());
  EXPECT_EQ(VT_BSTR, call.args[0].type);
  EXPECT_EQ(address, call.args[0].text);
  for (size_t a = 1; a < 5; ++a) EXPECT_EQ(VT_EMPTY, call.args[a].type) << "optional argument " << a;

  // LocationURL: a property read; empty when the control answers with an exception.
  fake.location = L"http://127.0.0.1:8080/ShoppingCart.aspx?username=" + kOddUser;
  EXPECT_EQ(fake.location, browser.LocationURL());
  ASSERT_EQ(2u, fake.calls.size());
  EXPECT_TRUE(fake.calls[1].id == 211 && fake.calls[1].flags == DISPATCH_PROPERTYGET && fake.calls[1].wantsResult);
  fake.answer = DISP_E_EXCEPTION;
  EXPECT_EQ(L"", browser.LocationURL());
  EXPECT_EQ(DISP_E_EXCEPTION, browser.GetLastResult());

  // Refresh: a method without arguments; the control's failure is kept.
  browser.Refresh();
  EXPECT_EQ(DISP_E_EXCEPTION, browser.GetLastResult());
  ASSERT_EQ(4u, fake.calls.size());
  EXPECT_TRUE(fake.calls[3].id == -550 && fake.calls[3].flags == DISPATCH_METHOD && fake.calls[3].args.empty());
  browser.DestroyControl();
  EXPECT_EQ(1, fake.refs);
}

}  // namespace
