#include "common/window_identity.h"

#include "res/resource.h"

HICON ShowProgramIdentity(CWnd& window) {
  if (HMENU systemMenu = ::GetSystemMenu(window.m_hWnd, FALSE)) {
    wchar_t about[256] = {};
    ::LoadStringW(GetResourceInstance(), IDS_ABOUTBOX, about, 256);
    if (about[0] != L'\0') {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  const HICON icon = ::LoadIconW(GetResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
  window.SetIcon(icon, TRUE);
  window.SetIcon(icon, FALSE);
  return icon;
}
