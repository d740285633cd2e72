// The ActiveX container with the platform's WebBrowser control, and its dispatch seam.
#include "framework/dialog.h"
#include "framework/ole_container.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/framework_test_resource.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace guitest;

// {8856F961-340A-11D0-A96B-00C04FD705A2}
const CLSID kWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const CLSID kNoSuchClass = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

TEST(FrameworkOleContainer, TheControlTakesThePlaceholdersPlaceAndASubstituteGetsItsCalls) {
  const long sitesBefore = COleControlHost::LiveSites();
  FakeBrowserDispatch fake;
  {
    CDialog dialog(IDD_FW_MAIN);
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.ShowWindow(SW_SHOWNOACTIVATE);
    const HWND placeholder = dialog.GetDlgItem(IDC_FW_PLACEHOLDER);
    const RECT place = RectIn(dialog.m_hWnd, placeholder);
    const HWND before = GetWindow(placeholder, GW_HWNDPREV);
    COleControlHost failed, host;
    EXPECT_FALSE(failed.CreateControlInPlaceOf(kNoSuchClass, dialog.m_hWnd, IDC_FW_PLACEHOLDER));
    EXPECT_FALSE(failed.CreateControlInPlaceOf(kWebBrowser, dialog.m_hWnd, IDC_FW_MISSING));
    EXPECT_EQ(placeholder, dialog.GetDlgItem(IDC_FW_PLACEHOLDER));
    EXPECT_EQ(sitesBefore, COleControlHost::LiveSites());

    ASSERT_TRUE(host.CreateControlInPlaceOf(kWebBrowser, dialog.m_hWnd, IDC_FW_PLACEHOLDER));
    EXPECT_FALSE(IsWindow(placeholder));
    EXPECT_EQ(host.m_hWnd, dialog.GetDlgItem(IDC_FW_PLACEHOLDER));
    EXPECT_EQ(before, GetWindow(host.m_hWnd, GW_HWNDPREV));  // the same place in the tab order
    EXPECT_TRUE(SameRect(place, RectIn(dialog.m_hWnd, host.m_hWnd)));
    EXPECT_TRUE(host.IsWindowVisible());
    EXPECT_EQ(sitesBefore + 1, COleControlHost::LiveSites());

    host.SetDispatch(&fake);
    EXPECT_EQ(2, fake.refs);
    VARIANT args[5];
    for (VARIANT& v : args) VariantInit(&v);
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = SysAllocString(L"http://127.0.0.1/Notice.html");
    EXPECT_EQ(S_OK, host.Invoke(104, DISPATCH_METHOD, args, 5, nullptr));
    VariantClear(&args[0]);
    ASSERT_EQ(1u, fake.calls.size());
    EXPECT_EQ(L"http://127.0.0.1/Notice.html", fake.calls[0].args.at(0).text);  // the arguments in their order
    EXPECT_EQ(VT_EMPTY, fake.calls[0].args.at(4).type);
    host.SetDispatch(nullptr);  // back to the control's own interface
    EXPECT_EQ(1, fake.refs);
    VARIANT location;
    EXPECT_EQ(S_OK, host.Invoke(211, DISPATCH_PROPERTYGET, nullptr, 0, &location));
    VariantClear(&location);
    host.SetDispatch(&fake);
    // The dialog's end takes the control with it; the site goes too, and the substitute is let go.
    EXPECT_TRUE(dialog.DestroyWindow());
    EXPECT_EQ(nullptr, host.GetControlUnknown());
    EXPECT_EQ(E_NOINTERFACE, host.Invoke(-550, DISPATCH_METHOD, nullptr, 0, nullptr));
    EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));
    EXPECT_EQ(1, fake.refs);
  }
}

}  // namespace
