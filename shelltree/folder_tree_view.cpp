#include "shelltree/folder_tree_view.h"

#include "res/resource.h"

#include <windowsx.h>

#include <cwchar>

namespace {

const wchar_t kShellEntry[] = L"&Shell";
constexpr int kMenuTextChars = 256;

}  // namespace

CFolderTreeView::CFolderTreeView() = default;

CFolderTreeView::~CFolderTreeView() = default;

LRESULT CFolderTreeView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CONTEXTMENU && reinterpret_cast<HWND>(wParam) == m_hWnd) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    OnContextMenu(reinterpret_cast<HWND>(wParam), point);
    return 0;
  }
  return CShellFolderTree::WindowProc(msg, wParam, lParam);
}

bool CFolderTreeView::OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_NOTIFY && lParam != 0 && reinterpret_cast<const NMHDR*>(lParam)->code == NM_RCLICK) {
    OnRightClick(result);
    return true;
  }
  return CShellFolderTree::OnReflectedMessage(msg, wParam, lParam, result);
}

void CFolderTreeView::OnRightClick(LRESULT* result) {
  const DWORD position = GetMessagePos();
  SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hWnd), static_cast<LPARAM>(position));
  // Nonzero: the control must not send WM_CONTEXTMENU a second time for the same click.
  *result = 1;
}

bool CFolderTreeView::OnContextMenu(HWND window, POINT screenPoint) {
  if (window != m_hWnd || m_hWnd == nullptr) return false;
  // The context-menu key gives no point; it lies on no item.
  if (screenPoint.x == -1 && screenPoint.y == -1) return false;
  POINT client = screenPoint;
  ScreenToClient(&client);
  UINT flags = 0;
  const HTREEITEM item = HitTest(client, &flags);
  if (item == nullptr || !(flags & TVHT_ONITEM)) return false;

  HMENU menu = LoadMenuW(GetResourceInstance(), MAKEINTRESOURCEW(IDM_FOLDER_CONTEXT));
  HMENU popup = menu != nullptr ? GetSubMenu(menu, 0) : nullptr;
  if (popup == nullptr) {
    // Without the resource the shell's commands still get a menu of their own.
    if (menu != nullptr) DestroyMenu(menu);
    menu = popup = CreatePopupMenu();
    if (menu == nullptr) return false;
  }
  // Ctrl changes nothing: the "&Shell" entry opens no submenu to put the commands in.
  int position = 0;
  HMENU target = FindMenuEntry(popup, kShellEntry, &position, true);
  if (target != nullptr) {
    DeleteMenu(target, static_cast<UINT>(position), MF_BYPOSITION);
  } else {
    target = popup;
    position = 0;
  }

  // Only this item's commands: a menu held from an earlier click must not be offered for it.
  const FolderItemData* record = GetItemRecord(item);
  if (record != nullptr && record->pParentFolder != nullptr && !record->pidl.IsEmpty()) {
    m_folderMenu.SetItem(record->pParentFolder, record->RelativeId());
  } else {
    m_folderMenu.SetItem(nullptr, nullptr);
  }
  m_folderMenu.InsertCommands(target, static_cast<UINT>(position));

  m_folderMenu.HookOwner(m_hWnd);
  const UINT command = TrackPopup(popup, screenPoint);
  m_folderMenu.UnhookOwner();

  if (command != 0 && m_hWnd != nullptr && m_folderMenu.IsShellCommand(command)) {
    m_folderMenu.InvokeCommand(command, m_hWnd);
  }
  DestroyMenu(menu);
  return true;
}

UINT CFolderTreeView::TrackPopup(HMENU popup, POINT screenPoint) {
  return static_cast<UINT>(TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD, screenPoint.x, screenPoint.y, 0,
                                          m_hWnd, nullptr));
}

HMENU CFolderTreeView::FindMenuEntry(HMENU menu, const wchar_t* text, int* position, bool recursive) {
  if (menu == nullptr || !IsMenu(menu) || text == nullptr) return nullptr;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t entry[kMenuTextChars] = {};
    if (GetMenuStringW(menu, static_cast<UINT>(i), entry, kMenuTextChars, MF_BYPOSITION) > 0 &&
        wcscmp(entry, text) == 0) {
      if (position != nullptr) *position = i;
      return menu;
    }
    if (recursive && (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_POPUP)) {
      HMENU found = FindMenuEntry(GetSubMenu(menu, i), text, position, recursive);
      if (found != nullptr) return found;
    }
  }
  return nullptr;
}
