#include "framework/ole_container.h"

#include <olectl.h>

#include <utility>
#include <vector>

namespace {

LONG g_liveSites = 0;

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) {
    p->Release();
    p = nullptr;
  }
}

}  // namespace

// The control's view of its container: client site, in-place site, in-place frame, and the
// ambient properties (IDispatch). It outlives the host when the control holds on to it, so
// every call checks that the host is still there.
class COleControlHost::Site final : public IOleClientSite,
                                    public IOleInPlaceSite,
                                    public IOleInPlaceFrame,
                                    public IDispatch {
 public:
  explicit Site(COleControlHost* host) : m_refs(1), m_pHost(host) { InterlockedIncrement(&g_liveSites); }
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;
  void Forget() { m_pHost = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
      *object = static_cast<IOleInPlaceFrame*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
    if (hwnd == nullptr) return E_POINTER;
    *hwnd = m_pHost != nullptr ? m_pHost->m_hWnd : nullptr;
    return *hwnd != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return m_pHost != nullptr ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                             LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame != nullptr) *frame = nullptr;
    if (document != nullptr) *document = nullptr;
    if (m_pHost == nullptr || m_pHost->m_hWnd == nullptr) return E_FAIL;
    if (frame != nullptr) {
      *frame = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
    }
    RECT rc;
    ::GetClientRect(m_pHost->m_hWnd, &rc);
    if (position != nullptr) *position = rc;
    if (clip != nullptr) *clip = rc;
    if (info != nullptr) {
      info->fMDIApp = FALSE;
      info->hwndFrame = ::GetAncestor(m_pHost->m_hWnd, GA_ROOT);
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  // The host decides the control's rectangle (its own client area).
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    if (m_pHost == nullptr) return S_OK;
    if (object != nullptr) object->AddRef();
    ReleaseAndClear(m_pHost->m_pActiveObject);
    m_pHost->m_pActiveObject = object;
    return S_OK;
  }

  // IOleInPlaceFrame: no menus, no status bar, no accelerators of the container.
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch: the ambient properties a control asks its container for.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if ((flags & DISPATCH_PROPERTYGET) == 0 || result == nullptr) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    switch (id) {
      case DISPID_AMBIENT_USERMODE:  // run mode, not design mode
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = VARIANT_TRUE;
        return S_OK;
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = VARIANT_FALSE;
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  ~Site() { InterlockedDecrement(&g_liveSites); }

  LONG m_refs;
  COleControlHost* m_pHost;
};

long COleControlHost::LiveSites() { return InterlockedCompareExchange(&g_liveSites, 0, 0); }

COleControlHost::COleControlHost()
    : m_pSite(nullptr),
      m_pOleObject(nullptr),
      m_pInPlaceObject(nullptr),
      m_pActiveObject(nullptr),
      m_pControlDispatch(nullptr),
      m_pSubstituteDispatch(nullptr) {}

COleControlHost::~COleControlHost() {
  // The window's WM_DESTROY no longer reaches a dying object: let the control go here.
  DestroyControl();
}

bool COleControlHost::CreateControl(REFCLSID clsid, HWND parent, int id, const RECT& rect, DWORD style) {
  if (m_hWnd != nullptr || m_pOleObject != nullptr) return false;
  if (!CreateEx(0, DefaultWindowClass(), L"", style | WS_CHILD | WS_CLIPCHILDREN, rect, parent,
                static_cast<UINT>(id))) {
    return false;
  }
  if (!StartControl(clsid)) {
    DestroyControl();
    DestroyWindow();
    return false;
  }
  return true;
}

bool COleControlHost::CreateControlInPlaceOf(REFCLSID clsid, HWND dialog, int id) {
  const HWND placeholder = ::GetDlgItem(dialog, id);
  if (placeholder == nullptr) return false;
  RECT rc;
  ::GetWindowRect(placeholder, &rc);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
  const DWORD kept = static_cast<DWORD>(::GetWindowLongPtrW(placeholder, GWL_STYLE)) & (WS_VISIBLE | WS_TABSTOP | WS_DISABLED);
  if (!CreateControl(clsid, dialog, id, rc, WS_CHILD | WS_CLIPSIBLINGS | kept)) return false;
  // Into the placeholder's place in the z-order, which is also the tab order.
  const HWND before = ::GetWindow(placeholder, GW_HWNDPREV);
  ::SetWindowPos(m_hWnd, before != nullptr ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::DestroyWindow(placeholder);
  return true;
}

bool COleControlHost::StartControl(REFCLSID clsid) {
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&m_pOleObject));
  if (FAILED(hr) || m_pOleObject == nullptr) {
    m_pOleObject = nullptr;
    return false;
  }
  m_pSite = new Site(this);
  IOleClientSite* const site = m_pSite;

  DWORD misc = 0;
  m_pOleObject->GetMiscStatus(DVASPECT_CONTENT, &misc);
  const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (siteFirst && FAILED(m_pOleObject->SetClientSite(site))) return false;
  IPersistStreamInit* init = nullptr;
  if (SUCCEEDED(m_pOleObject->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&init))) && init) {
    init->InitNew();
    init->Release();
  }
  if (!siteFirst && FAILED(m_pOleObject->SetClientSite(site))) return false;
  OleRun(m_pOleObject);

  RECT rc;
  GetClientRect(&rc);
  hr = m_pOleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, m_hWnd, &rc);
  if (FAILED(hr)) return false;
  if (SUCCEEDED(m_pOleObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_pInPlaceObject))) &&
      m_pInPlaceObject != nullptr) {
    m_pInPlaceObject->SetObjectRects(&rc, &rc);
  }
  if (FAILED(m_pOleObject->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&m_pControlDispatch)))) {
    m_pControlDispatch = nullptr;
  }
  return true;
}

void COleControlHost::DestroyControl() {
  ReleaseAndClear(m_pActiveObject);
  if (m_pInPlaceObject != nullptr) {
    m_pInPlaceObject->InPlaceDeactivate();
    ReleaseAndClear(m_pInPlaceObject);
  }
  ReleaseAndClear(m_pControlDispatch);
  ReleaseAndClear(m_pSubstituteDispatch);
  if (m_pOleObject != nullptr) {
    m_pOleObject->Close(OLECLOSE_NOSAVE);
    m_pOleObject->SetClientSite(nullptr);
    ReleaseAndClear(m_pOleObject);
  }
  // Deactivation may have handed us an active object again.
  ReleaseAndClear(m_pActiveObject);
  if (m_pSite != nullptr) {
    m_pSite->Forget();
    m_pSite->Release();
    m_pSite = nullptr;
  }
}

HRESULT COleControlHost::GetDispatch(IDispatch** dispatch) const {
  if (dispatch == nullptr) return E_POINTER;
  *dispatch = m_pSubstituteDispatch != nullptr ? m_pSubstituteDispatch : m_pControlDispatch;
  if (*dispatch == nullptr) return E_NOINTERFACE;
  (*dispatch)->AddRef();
  return S_OK;
}

void COleControlHost::SetDispatch(IDispatch* dispatch) {
  if (dispatch != nullptr) dispatch->AddRef();
  ReleaseAndClear(m_pSubstituteDispatch);
  m_pSubstituteDispatch = dispatch;
}

HRESULT COleControlHost::Invoke(DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result) {
  if (argCount > 0 && args == nullptr) return E_INVALIDARG;
  IDispatch* dispatch = nullptr;
  HRESULT hr = GetDispatch(&dispatch);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args, args + argCount);
  for (size_t i = 0, j = reversed.size(); i + 1 < j; ++i, --j) std::swap(reversed[i], reversed[j - 1]);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = argCount;
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  if (result != nullptr) VariantInit(result);
  EXCEPINFO exception{};
  UINT badArg = 0;
  hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, &badArg);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  dispatch->Release();
  return hr;
}

LRESULT COleControlHost::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      if (m_pInPlaceObject != nullptr) {
        RECT rc{0, 0, LOWORD(lParam), HIWORD(lParam)};
        m_pInPlaceObject->SetObjectRects(&rc, &rc);
      }
      break;
    case WM_DESTROY:
      DestroyControl();
      break;
    default:
      break;
  }
  return CWnd::WindowProc(msg, wParam, lParam);
}

bool COleControlHost::PreTranslateMessage(MSG* msg) {
  if (m_pActiveObject == nullptr || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
  return m_pActiveObject->TranslateAccelerator(msg) == S_OK;
}
