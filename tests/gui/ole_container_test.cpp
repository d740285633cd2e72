// The ActiveX container with the platform's WebBrowser control, and its dispatch seam.
#include "framework/dialog.h"
#include "framework/ole_container.h"
#include "tests/gui/framework_test_resource.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
const CLSID kWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// A class that is registered nowhere.
const CLSID kNoSuchClass = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

constexpr DISPID kNavigate = 104;
constexpr DISPID kLocationUrl = 211;
constexpr DISPID kRefresh = -550;

// Stands in for the control's dispatch interface and records every call.
class RecordingDispatch : public IDispatch {
 public:
  struct Call {
    DISPID id;
    WORD flags;
    std::vector<VARTYPE> types;  // in natural order
    std::wstring firstString;
    UINT named;
  };
  std::vector<Call> calls;
  LONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    Call call{id, flags, {}, {}, params->cNamedArgs};
    for (UINT i = params->cArgs; i > 0; --i) {
      const VARIANT& arg = params->rgvarg[i - 1];
      call.types.push_back(V_VT(&arg));
      if (call.types.size() == 1 && V_VT(&arg) == VT_BSTR) call.firstString = V_BSTR(&arg);
    }
    calls.push_back(call);
    if (id == kLocationUrl && (flags & DISPATCH_PROPERTYGET) && result != nullptr) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocString(L"http://127.0.0.1/ShoppingCart.aspx?username=\u5f20");
    }
    return S_OK;
  }
};

class HostDialog : public CDialog {
 public:
  HostDialog() : CDialog(IDD_FW_MAIN) {}
};

VARIANT BstrVariant(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

RECT ChildRect(HWND parent, HWND child) {
  RECT rc;
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

TEST(FrameworkOleContainer, WebBrowserRunsInPlaceOfThePlaceholderAndNavigates) {
  const long sitesBefore = COleControlHost::LiveSites();
  HostDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  dialog.ShowWindow(SW_SHOWNOACTIVATE);
  const HWND placeholder = dialog.GetDlgItem(IDC_FW_PLACEHOLDER);
  ASSERT_NE(nullptr, placeholder);
  const RECT placeholderRect = ChildRect(dialog.m_hWnd, placeholder);
  const HWND before = GetWindow(placeholder, GW_HWNDPREV);

  COleControlHost host;
  ASSERT_TRUE(host.CreateControlInPlaceOf(kWebBrowser, dialog.m_hWnd, IDC_FW_PLACEHOLDER));
  EXPECT_FALSE(IsWindow(placeholder));
  EXPECT_EQ(host.m_hWnd, dialog.GetDlgItem(IDC_FW_PLACEHOLDER));
  EXPECT_EQ(before, GetWindow(host.m_hWnd, GW_HWNDPREV));
  const RECT hostRect = ChildRect(dialog.m_hWnd, host.m_hWnd);
  EXPECT_TRUE(EqualRect(&placeholderRect, &hostRect));
  EXPECT_TRUE(host.IsWindowVisible());
  EXPECT_NE(nullptr, host.GetControlUnknown());
  EXPECT_EQ(sitesBefore + 1, COleControlHost::LiveSites());

  // In place: the control's own window lives inside the host and fills it.
  const HWND inner = GetWindow(host.m_hWnd, GW_CHILD);
  ASSERT_NE(nullptr, inner);
  ASSERT_TRUE(host.MoveWindow(-2, -2, 230, 170));
  RECT innerRect;
  GetClientRect(inner, &innerRect);
  EXPECT_EQ(230, innerRect.right - innerRect.left);
  EXPECT_EQ(170, innerRect.bottom - innerRect.top);

  IDispatch* dispatch = nullptr;
  ASSERT_EQ(S_OK, host.GetDispatch(&dispatch));
  ASSERT_NE(nullptr, dispatch);
  dispatch->Release();

  // Navigate with the address alone, then with the four optional arguments empty.
  VARIANT args[5];
  args[0] = BstrVariant(L"about:blank");
  for (int i = 1; i < 5; ++i) VariantInit(&args[i]);
  EXPECT_EQ(S_OK, host.Invoke(kNavigate, DISPATCH_METHOD, args, 1, nullptr));
  EXPECT_EQ(S_OK, host.Invoke(kNavigate, DISPATCH_METHOD, args, 5, nullptr));
  VariantClear(&args[0]);
  PumpFor(100);
  VARIANT location;
  EXPECT_EQ(S_OK, host.Invoke(kLocationUrl, DISPATCH_PROPERTYGET, nullptr, 0, &location));
  VariantClear(&location);

  // The dialog's end takes the control with it; the site object goes too.
  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_EQ(nullptr, host.m_hWnd);
  EXPECT_EQ(nullptr, host.GetControlUnknown());
  EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));
  EXPECT_EQ(sitesBefore, COleControlHost::LiveSites());
  EXPECT_EQ(E_NOINTERFACE, host.Invoke(kRefresh, DISPATCH_METHOD, nullptr, 0, nullptr));
}

TEST(FrameworkOleContainer, DestroyingTheHostObjectFirstReleasesEverything) {
  const long sitesBefore = COleControlHost::LiveSites();
  HostDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  HWND hostWindow = nullptr;
  {
    COleControlHost host;
    RECT rc{10, 10, 110, 90};
    ASSERT_TRUE(host.CreateControl(kWebBrowser, dialog.m_hWnd, 31000, rc));
    hostWindow = host.m_hWnd;
    EXPECT_EQ(hostWindow, dialog.GetDlgItem(31000));
  }
  EXPECT_FALSE(IsWindow(hostWindow));
  EXPECT_TRUE(PumpUntil([&] { return COleControlHost::LiveSites() == sitesBefore; }, 3000));
  EXPECT_TRUE(dialog.IsWindow());
}

TEST(FrameworkOleContainer, AnUnknownClassFailsAndKeepsThePlaceholder) {
  const long sitesBefore = COleControlHost::LiveSites();
  HostDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND placeholder = dialog.GetDlgItem(IDC_FW_PLACEHOLDER);
  COleControlHost host;
  EXPECT_FALSE(host.CreateControlInPlaceOf(kNoSuchClass, dialog.m_hWnd, IDC_FW_PLACEHOLDER));
  EXPECT_EQ(nullptr, host.m_hWnd);
  EXPECT_EQ(placeholder, dialog.GetDlgItem(IDC_FW_PLACEHOLDER));
  EXPECT_EQ(sitesBefore, COleControlHost::LiveSites());
  EXPECT_FALSE(host.CreateControlInPlaceOf(kWebBrowser, dialog.m_hWnd, IDC_FW_MISSING));
}

TEST(FrameworkOleContainer, ASubstituteDispatchReceivesTheCalls) {
  RecordingDispatch fake;
  {
    HostDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    COleControlHost host;
    ASSERT_TRUE(host.CreateControlInPlaceOf(kWebBrowser, dialog.m_hWnd, IDC_FW_PLACEHOLDER));
    host.SetDispatch(&fake);
    EXPECT_EQ(2, fake.refs);

    VARIANT args[5];
    args[0] = BstrVariant(L"http://127.0.0.1/Notice.html");
    for (int i = 1; i < 5; ++i) VariantInit(&args[i]);
    EXPECT_EQ(S_OK, host.Invoke(kNavigate, DISPATCH_METHOD, args, 5, nullptr));
    VariantClear(&args[0]);
    VARIANT location;
    EXPECT_EQ(S_OK, host.Invoke(kLocationUrl, DISPATCH_PROPERTYGET, nullptr, 0, &location));
    ASSERT_EQ(VT_BSTR, V_VT(&location));
    EXPECT_EQ(std::wstring(L"http://127.0.0.1/ShoppingCart.aspx?username=\u5f20"), V_BSTR(&location));
    VariantClear(&location);
    EXPECT_EQ(S_OK, host.Invoke(kRefresh, DISPATCH_METHOD, nullptr, 0, nullptr));
    VARIANT flag;
    VariantInit(&flag);
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = VARIANT_TRUE;
    EXPECT_EQ(S_OK, host.Invoke(300, DISPATCH_PROPERTYPUT, &flag, 1, nullptr));

    ASSERT_EQ(4u, fake.calls.size());
    EXPECT_EQ(kNavigate, fake.calls[0].id);
    EXPECT_EQ(DISPATCH_METHOD, fake.calls[0].flags);
    EXPECT_EQ((std::vector<VARTYPE>{VT_BSTR, VT_EMPTY, VT_EMPTY, VT_EMPTY, VT_EMPTY}), fake.calls[0].types);
    EXPECT_EQ(L"http://127.0.0.1/Notice.html", fake.calls[0].firstString);
    EXPECT_EQ(0u, fake.calls[0].named);
    EXPECT_EQ(kLocationUrl, fake.calls[1].id);
    EXPECT_EQ(DISPATCH_PROPERTYGET, fake.calls[1].flags);
    EXPECT_EQ(kRefresh, fake.calls[2].id);
    EXPECT_TRUE(fake.calls[2].types.empty());
    EXPECT_EQ(1u, fake.calls[3].named);

    IDispatch* current = nullptr;
    ASSERT_EQ(S_OK, host.GetDispatch(&current));
    EXPECT_EQ(static_cast<IDispatch*>(&fake), current);
    current->Release();

    // Back to the control's own interface.
    host.SetDispatch(nullptr);
    EXPECT_EQ(1, fake.refs);
    ASSERT_EQ(S_OK, host.GetDispatch(&current));
    EXPECT_NE(static_cast<IDispatch*>(&fake), current);
    current->Release();
    host.SetDispatch(&fake);
  }
  EXPECT_EQ(1, fake.refs);  // released with the control

  // A host without any control can still be driven through a substitute.
  COleControlHost bare;
  EXPECT_EQ(E_NOINTERFACE, bare.Invoke(kRefresh, DISPATCH_METHOD, nullptr, 0, nullptr));
  bare.SetDispatch(&fake);
  EXPECT_EQ(S_OK, bare.Invoke(kRefresh, DISPATCH_METHOD, nullptr, 0, nullptr));
  bare.DestroyControl();
  EXPECT_EQ(1, fake.refs);
}

}  // namespace
