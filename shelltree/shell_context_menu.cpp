#include "shelltree/shell_context_menu.h"

const wchar_t CShellContextMenu::kHookProperty[] = L"ShellContextMenu";

CShellContextMenu::CShellContextMenu()
    : m_pShellMenu(nullptr), m_nFirstCmd(0), m_nLastCmd(0), m_hHookedWnd(nullptr), m_pfnSavedWndProc(nullptr) {}

CShellContextMenu::~CShellContextMenu() {
  UnhookOwner();
  if (m_pShellMenu != nullptr) m_pShellMenu->Release();
  m_pShellMenu = nullptr;
}

bool CShellContextMenu::SetItem(IShellFolder* folder, LPCITEMIDLIST relativeId) {
  IContextMenu* menu = nullptr;
  if (folder != nullptr && relativeId != nullptr) {
    LPCITEMIDLIST ids[1] = {relativeId};
    if (FAILED(folder->GetUIObjectOf(nullptr, 1, ids, IID_IContextMenu, nullptr, reinterpret_cast<void**>(&menu)))) {
      menu = nullptr;
    }
  }
  if (m_pShellMenu != nullptr) m_pShellMenu->Release();
  m_pShellMenu = menu;
  // The identifiers of the last insertion belonged to the menu just dropped.
  m_nFirstCmd = 0;
  m_nLastCmd = 0;
  return m_pShellMenu != nullptr;
}

BOOL CShellContextMenu::InsertCommands(HMENU menu, UINT position) {
  if (m_pShellMenu == nullptr) return FALSE;
  m_nFirstCmd = kFirstCommand;
  m_nLastCmd = kCommandLimit;
  const int countBefore = GetMenuItemCount(menu);
  const UINT defaultItem = GetMenuDefaultItem(menu, TRUE, GMDI_USEDISABLED);
  const HRESULT hr = m_pShellMenu->QueryContextMenu(menu, position, kFirstCommand, kCommandLimit,
                                                    CMF_EXPLORE | CMF_NODEFAULT);
  // The menu's own default item moves down by the commands inserted before it.
  UINT restored = defaultItem;
  if (defaultItem != static_cast<UINT>(-1) && defaultItem >= position && countBefore >= 0) {
    const int inserted = GetMenuItemCount(menu) - countBefore;
    if (inserted > 0) restored = defaultItem + static_cast<UINT>(inserted);
  }
  SetMenuDefaultItem(menu, restored, TRUE);
  if (FAILED(hr)) {
    m_nFirstCmd = 0;
    m_nLastCmd = 0;
    return FALSE;
  }
  // The result's code is the largest offset used plus 1: no command when it is 0.
  m_nLastCmd = kFirstCommand + static_cast<UINT>(HRESULT_CODE(hr)) - 1;
  return TRUE;
}

bool CShellContextMenu::HookOwner(HWND window) {
  if (m_hHookedWnd != nullptr) UnhookOwner();
  if (window == nullptr || !::IsWindow(window)) return false;
  if (!SetPropW(window, kHookProperty, this)) return false;
  m_hHookedWnd = window;
  m_pfnSavedWndProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CShellContextMenu::HookWndProc)));
  return true;
}

void CShellContextMenu::UnhookOwner() {
  const HWND window = m_hHookedWnd;
  if (window == nullptr) return;
  if (::IsWindow(window)) {
    if (m_pfnSavedWndProc != nullptr) {
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSavedWndProc));
    }
    RemovePropW(window, kHookProperty);
  }
  m_hHookedWnd = nullptr;
  m_pfnSavedWndProc = nullptr;
}

LRESULT CALLBACK CShellContextMenu::HookWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CShellContextMenu* self = static_cast<CShellContextMenu*>(GetPropW(hwnd, kHookProperty));
  if (self == nullptr || self->m_hHookedWnd != hwnd) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  if (self->ForwardMenuMessage(msg, wParam, lParam, &result)) return result;
  const WNDPROC saved = self->m_pfnSavedWndProc;
  if (msg == WM_DESTROY) self->UnhookOwner();  // the window goes: its own procedure must be back
  return CallWindowProcW(saved, hwnd, msg, wParam, lParam);
}

bool CShellContextMenu::ForwardMenuMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (m_pShellMenu == nullptr) return false;
  switch (msg) {
    case WM_INITMENUPOPUP:
      *result = 0;
      break;
    case WM_MEASUREITEM: {
      const auto* item = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
      if (item == nullptr || item->CtlType != ODT_MENU) return false;
      *result = TRUE;
      break;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item == nullptr || item->CtlType != ODT_MENU) return false;
      *result = TRUE;
      break;
    }
    default:
      return false;
  }
  IContextMenu2* menu2 = nullptr;
  if (FAILED(m_pShellMenu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2))) ||
      menu2 == nullptr) {
    return false;
  }
  const HRESULT hr = menu2->HandleMenuMsg(msg, wParam, lParam);
  menu2->Release();
  return hr == S_OK;
}

bool CShellContextMenu::IsShellCommand(UINT commandId) const {
  return m_nFirstCmd != 0 && commandId >= m_nFirstCmd && commandId <= m_nLastCmd;
}

bool CShellContextMenu::InvokeCommand(UINT commandId, HWND owner) {
  if (m_pShellMenu == nullptr || !IsShellCommand(commandId)) return false;
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = MAKEINTRESOURCEA(commandId - m_nFirstCmd);
  info.nShow = SW_SHOWNORMAL;
  return SUCCEEDED(m_pShellMenu->InvokeCommand(&info));
}
