// Stands in for the WebBrowser control's dispatch interface (COleControlHost::SetDispatch,
// CBrowserCtrl::SetDispatchForNewControls) and records every call exactly as it arrived.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

class FakeBrowserDispatch : public IDispatch {
 public:
  struct Arg {
    VARTYPE type = VT_EMPTY;
    std::wstring text;  // VT_BSTR: the whole BSTR, its length from SysStringLen
  };
  struct Call {
    DISPID id = 0;
    WORD flags = 0;
    UINT namedArgs = 0;
    bool wantsResult = false;
    std::vector<Arg> args;  // natural order (DISPPARAMS holds them reversed)
  };

  std::vector<Call> calls;
  LONG refs = 1;
  // What a property read of LocationURL (211) answers, and what every call returns.
  std::wstring location;
  HRESULT answer = S_OK;

  // The addresses of all Navigate calls, in order.
  std::vector<std::wstring> NavigatedAddresses() const {
    std::vector<std::wstring> out;
    for (const Call& call : calls) {
      if (call.id == 104 && !call.args.empty()) out.push_back(call.args[0].text);
    }
    return out;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch);
    *object = known ? static_cast<IDispatch*>(this) : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    Call call{id, flags, params != nullptr ? params->cNamedArgs : 0, result != nullptr, {}};
    for (UINT i = params != nullptr ? params->cArgs : 0; i > 0; --i) {
      const VARIANT& v = params->rgvarg[i - 1];
      Arg arg;
      arg.type = V_VT(&v);
      if (arg.type == VT_BSTR && V_BSTR(&v) != nullptr) arg.text.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
      call.args.push_back(arg);
    }
    calls.push_back(call);
    if (FAILED(answer)) return answer;
    if (id == 211 && (flags & DISPATCH_PROPERTYGET) != 0 && result != nullptr) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocStringLen(location.data(), static_cast<UINT>(location.size()));
    }
    return S_OK;
  }
};
