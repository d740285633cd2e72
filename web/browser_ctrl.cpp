#include "web/browser_ctrl.h"

#include <oleauto.h>

namespace {

IDispatch* g_pDispatchForNewControls = nullptr;

// Navigate's arguments in natural order: the address, then the four optional ones.
constexpr UINT kNavigateArgs = 5;
// The most code units a BSTR can hold.
constexpr size_t kMaxAddress = 0x7FFFFFFFu / sizeof(wchar_t) - 1;

}  // namespace

const CLSID CBrowserCtrl::kClassId = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

CBrowserCtrl::CBrowserCtrl() : m_hrLast(S_OK) {}

void CBrowserCtrl::SetDispatchForNewControls(IDispatch* dispatch) { g_pDispatchForNewControls = dispatch; }

bool CBrowserCtrl::CreateInPlaceOf(HWND dialog, int id) {
  if (!CreateControlInPlaceOf(kClassId, dialog, id)) return false;
  if (g_pDispatchForNewControls != nullptr) SetDispatch(g_pDispatchForNewControls);
  return true;
}

void CBrowserCtrl::Navigate(const std::wstring& address) {
  VARIANT args[kNavigateArgs];
  for (VARIANT& arg : args) VariantInit(&arg);
  // A BSTR carries its length: an address is sent exactly as given.
  if (address.size() > kMaxAddress) {
    m_hrLast = E_INVALIDARG;
    return;
  }
  const BSTR text = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
  if (text == nullptr) {
    m_hrLast = E_OUTOFMEMORY;
    return;
  }
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = text;
  m_hrLast = Invoke(kNavigateId, DISPATCH_METHOD, args, kNavigateArgs, nullptr);
  VariantClear(&args[0]);
}

std::wstring CBrowserCtrl::LocationURL() {
  VARIANT result;
  VariantInit(&result);
  m_hrLast = Invoke(kLocationUrlId, DISPATCH_PROPERTYGET, nullptr, 0, &result);
  std::wstring url;
  if (SUCCEEDED(m_hrLast) && V_VT(&result) == VT_BSTR && V_BSTR(&result) != nullptr) {
    url.assign(V_BSTR(&result), SysStringLen(V_BSTR(&result)));
  }
  VariantClear(&result);
  return url;
}

void CBrowserCtrl::Refresh() { m_hrLast = Invoke(kRefreshId, DISPATCH_METHOD, nullptr, 0, nullptr); }
