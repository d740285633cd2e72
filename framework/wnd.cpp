#include "framework/wnd.h"

#include <vector>

// Per-window record of a bound window. The window's property points at it while our procedure
// is in the window's chain; the object points at it while bound; StaticWndProc frames hold it
// while they run. It goes when none of the three does.
struct CWnd::Thunk {
  CWnd* wnd = nullptr;         // null once the object is unbound
  WNDPROC original = nullptr;  // the procedure we chain to
  bool inWindow = false;       // property set and StaticWndProc in the window's chain
  int depth = 0;               // StaticWndProc frames running for this window
  // The message being handled, for Default().
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

namespace {

const wchar_t kThunkProp[] = L"Fotrel.CWnd";

void ReleaseIfUnused(CWnd::Thunk* t) {
  if (!t->inWindow && t->wnd == nullptr && t->depth == 0) delete t;
}

// The object waiting to be bound by the creation hook, per thread.
struct CreationState {
  HHOOK hook = nullptr;
  int depth = 0;
  CWnd* pending = nullptr;
  const wchar_t* className = nullptr;
};
thread_local CreationState t_creation;

bool ClassMatches(HWND hwnd, const wchar_t* className) {
  if (className == nullptr) return true;
  if (IS_INTRESOURCE(className)) {
    return static_cast<ATOM>(GetClassLongPtrW(hwnd, GCW_ATOM)) ==
           static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(className));
  }
  wchar_t name[256];
  if (GetClassNameW(hwnd, name, 256) == 0) return false;
  return lstrcmpiW(name, className) == 0;
}

struct AppState {
  std::wstring name;
  HINSTANCE resources = nullptr;
};

AppState& App() {
  static AppState state = [] {
    AppState s;
    std::vector<wchar_t> path(32768);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring file(path.data(), n < path.size() ? n : 0);
    const size_t slash = file.find_last_of(L"\\/");
    if (slash != std::wstring::npos) file.erase(0, slash + 1);
    const size_t dot = file.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) file.erase(dot);
    s.name = file;
    return s;
  }();
  return state;
}

}  // namespace

const std::wstring& GetAppName() { return App().name; }
void SetAppName(const wchar_t* name) { App().name = name ? name : L""; }
HINSTANCE GetResourceInstance() {
  HINSTANCE h = App().resources;
  return h ? h : GetModuleHandleW(nullptr);
}
void SetResourceInstance(HINSTANCE instance) { App().resources = instance; }

CWnd::CWnd() : m_hWnd(nullptr), m_bOwnsWindow(false), m_pThunk(nullptr) {}

CWnd::~CWnd() {
  const HWND hwnd = m_hWnd;
  const bool owns = m_bOwnsWindow;
  // Unbind first: the window's last messages must not reach a half-destroyed object.
  Detach();
  if (owns && hwnd != nullptr && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

bool CWnd::Attach(HWND hwnd) {
  if (m_hWnd != nullptr || hwnd == nullptr) return false;
  m_hWnd = hwnd;
  return true;
}

HWND CWnd::Detach() {
  if (m_pThunk != nullptr) return UnsubclassWindow();
  const HWND hwnd = m_hWnd;
  m_hWnd = nullptr;
  m_bOwnsWindow = false;
  return hwnd;
}

bool CWnd::SubclassWindow(HWND hwnd) {
  if (hwnd == nullptr || m_hWnd != nullptr || !::IsWindow(hwnd)) return false;
  Thunk* t = static_cast<Thunk*>(GetPropW(hwnd, kThunkProp));
  if (t != nullptr && t->wnd != nullptr) return false;  // bound to another object
  m_hWnd = hwnd;
  PreSubclassWindow();
  if (t == nullptr) {
    t = new Thunk;
    t->original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (!SetPropW(hwnd, kThunkProp, t)) {
      delete t;
      m_hWnd = nullptr;
      return false;
    }
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWndProc));
    t->inWindow = true;
  }
  // else: a record left forwarding by an earlier object (another procedure had been put over
  // ours); this object takes it over.
  t->wnd = this;
  m_pThunk = t;
  return true;
}

bool CWnd::SubclassDlgItem(int id, HWND parent) { return SubclassWindow(::GetDlgItem(parent, id)); }

HWND CWnd::UnsubclassWindow() {
  Thunk* t = m_pThunk;
  if (t == nullptr) return nullptr;
  const HWND hwnd = m_hWnd;
  if (t->inWindow &&
      reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &CWnd::StaticWndProc) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(t->original));
    RemovePropW(hwnd, kThunkProp);
    t->inWindow = false;
  }
  // Otherwise another procedure sits above ours and still calls it: the record stays in the
  // window and forwards every message to the original procedure until the window goes.
  t->wnd = nullptr;
  m_pThunk = nullptr;
  m_hWnd = nullptr;
  m_bOwnsWindow = false;
  ReleaseIfUnused(t);
  return hwnd;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  Thunk* t = static_cast<Thunk*>(GetPropW(hwnd, kThunkProp));
  return t != nullptr ? t->wnd : nullptr;
}

const wchar_t* CWnd::DefaultWindowClass() {
  static const wchar_t kName[] = L"FotrelWindow";
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  (void)registered;
  return kName;
}

HWND CWnd::CreateBound(const wchar_t* className, const std::function<HWND()>& create) {
  if (m_hWnd != nullptr) return nullptr;
  CreationState& st = t_creation;
  CWnd* const savedWnd = st.pending;
  const wchar_t* const savedClass = st.className;
  if (st.depth++ == 0) st.hook = SetWindowsHookExW(WH_CBT, &CWnd::CreationHook, nullptr, GetCurrentThreadId());
  st.pending = this;
  st.className = className;
  const HWND hwnd = create();
  st.pending = savedWnd;
  st.className = savedClass;
  if (--st.depth == 0 && st.hook != nullptr) {
    UnhookWindowsHookEx(st.hook);
    st.hook = nullptr;
  }
  if (hwnd == nullptr || !::IsWindow(hwnd)) return nullptr;
  if (m_hWnd != hwnd && !SubclassWindow(hwnd)) return nullptr;  // the hook did not see it
  m_bOwnsWindow = true;
  return hwnd;
}

LRESULT CALLBACK CWnd::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  CreationState& st = t_creation;
  if (code == HCBT_CREATEWND && st.pending != nullptr) {
    const HWND hwnd = reinterpret_cast<HWND>(wParam);
    // Windows the system makes on the side (the input method's) are passed by.
    if (ClassMatches(hwnd, st.className)) {
      CWnd* const wnd = st.pending;
      st.pending = nullptr;
      wnd->SubclassWindow(hwnd);
    }
  }
  return CallNextHookEx(st.hook, code, wParam, lParam);
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                    const RECT& rect, HWND parent, UINT id) {
  const HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
  return CreateBound(className, [&]() {
           return CreateWindowExW(exStyle, className, windowName, style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent, menu,
                                  GetModuleHandleW(nullptr), nullptr);
         }) != nullptr;
}

bool CWnd::DestroyWindow() {
  const HWND hwnd = m_hWnd;
  if (hwnd == nullptr) return false;
  if (m_pThunk == nullptr) {
    m_hWnd = nullptr;
    m_bOwnsWindow = false;
  }
  // A bound object is unbound by WM_NCDESTROY; it may even be deleted by PostNcDestroy, so no
  // member is touched after this call.
  return ::DestroyWindow(hwnd) != FALSE;
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Thunk* t = static_cast<Thunk*>(GetPropW(hwnd, kThunkProp));
  if (t == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  ++t->depth;
  const UINT savedMsg = t->msg;
  const WPARAM savedW = t->wParam;
  const LPARAM savedL = t->lParam;
  t->msg = msg;
  t->wParam = wParam;
  t->lParam = lParam;
  LRESULT result = 0;
  if (t->wnd == nullptr) {
    result = CallWindowProcW(t->original, hwnd, msg, wParam, lParam);
  } else if (!Reflect(hwnd, msg, wParam, lParam, &result) && t->wnd != nullptr) {
    result = t->wnd->WindowProc(msg, wParam, lParam);
  }
  t->msg = savedMsg;
  t->wParam = savedW;
  t->lParam = savedL;
  if (msg == WM_NCDESTROY) WindowDestroyed(hwnd, t);
  --t->depth;
  ReleaseIfUnused(t);
  return result;
}

void CWnd::WindowDestroyed(HWND hwnd, Thunk* t) {
  if (t->inWindow) {
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &CWnd::StaticWndProc) {
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(t->original));
    }
    RemovePropW(hwnd, kThunkProp);
    t->inWindow = false;
  }
  CWnd* const wnd = t->wnd;
  if (wnd != nullptr) {
    t->wnd = nullptr;
    wnd->m_pThunk = nullptr;
    wnd->m_hWnd = nullptr;
    wnd->m_bOwnsWindow = false;
    wnd->PostNcDestroy();  // may delete the object
  }
}

bool CWnd::Reflect(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  HWND child = nullptr;
  switch (msg) {
    case WM_COMMAND:  // lParam is 0 for menus and accelerators
      child = reinterpret_cast<HWND>(lParam);
      break;
    case WM_NOTIFY:
      if (lParam != 0) child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item != nullptr && item->CtlType != ODT_MENU) child = item->hwndItem;
      break;
    }
    case WM_MEASUREITEM: {
      const auto* item = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
      if (item != nullptr && item->CtlType != ODT_MENU) child = ::GetDlgItem(hwnd, static_cast<int>(item->CtlID));
      break;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
      child = reinterpret_cast<HWND>(lParam);
      break;
    default:
      return false;
  }
  if (child == nullptr || child == hwnd) return false;
  CWnd* const wnd = FromHandle(child);
  if (wnd == nullptr) return false;
  *result = 0;
  return wnd->OnReflectedMessage(msg, wParam, lParam, result);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return 0;
      break;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (lParam != 0 && OnNotify(reinterpret_cast<NMHDR*>(lParam), &result)) return result;
      break;
    }
    default:
      break;
  }
  return DefWindowProc(msg, wParam, lParam);
}

void CWnd::PreSubclassWindow() {}
bool CWnd::PreTranslateMessage(MSG*) { return false; }
bool CWnd::OnReflectedMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }
bool CWnd::OnCommand(UINT, UINT, HWND) { return false; }
bool CWnd::OnNotify(NMHDR*, LRESULT*) { return false; }
void CWnd::PostNcDestroy() {}

LRESULT CWnd::Default() {
  const Thunk* t = m_pThunk;
  if (t == nullptr) return 0;
  return CallWindowProcW(t->original, m_hWnd, t->msg, t->wParam, t->lParam);
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (m_hWnd == nullptr) return 0;
  if (m_pThunk == nullptr) return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
  return CallWindowProcW(m_pThunk->original, m_hWnd, msg, wParam, lParam);
}

std::wstring GetWindowTextString(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  if (length <= 0) return std::wstring();
  // The length may be an overestimate (never less); the copy tells the real one.
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int n = ::GetWindowTextW(hwnd, &text[0], length + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::wstring CWnd::GetWindowText() const { return GetWindowTextString(m_hWnd); }

std::wstring CWnd::GetDlgItemText(int id) const {
  const HWND item = GetDlgItem(id);
  return item != nullptr ? GetWindowTextString(item) : std::wstring();
}

bool CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
  const DWORD style = GetStyle();
  const DWORD changed = (style & ~remove) | add;
  if (changed == style) return false;
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
  if (swpFlags != 0) {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  }
  return true;
}

bool CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
  const DWORD style = GetExStyle();
  const DWORD changed = (style & ~remove) | add;
  if (changed == style) return false;
  ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(changed));
  if (swpFlags != 0) {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  }
  return true;
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) const {
  return ::MessageBoxW(m_hWnd, text, caption != nullptr ? caption : GetAppName().c_str(), type);
}

bool CWnd::WalkPreTranslateTree(MSG* msg) {
  for (HWND hwnd = msg->hwnd; hwnd != nullptr;) {
    const HWND next = ::GetParent(hwnd);  // taken first: a handler may destroy the window
    CWnd* const wnd = FromHandle(hwnd);
    if (wnd != nullptr && wnd->PreTranslateMessage(msg)) return true;
    hwnd = next;
  }
  return false;
}
