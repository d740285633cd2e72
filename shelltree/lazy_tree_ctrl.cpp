#include "shelltree/lazy_tree_ctrl.h"

namespace {

// Posted to the tree itself after an item was found empty; private to this class.
UINT RetryMessage() {
  static const UINT message = RegisterWindowMessageW(L"Fotrel.LazyTree.AllowRetry");
  return message;
}

}  // namespace

CLazyTreeCtrl::CLazyTreeCtrl()
    : m_strPlaceholder(L"Loading..."), m_hPlaceholder(nullptr), m_hPending(nullptr), m_hRetry(nullptr) {}

CLazyTreeCtrl::~CLazyTreeCtrl() = default;

BOOL CLazyTreeCtrl::RefreshOnExpand(HTREEITEM) { return FALSE; }

bool CLazyTreeCtrl::OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_NOTIFY && lParam != 0) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    // The item fields sit at the same places in the ANSI and the wide form.
    const NMTREEVIEWW* info = reinterpret_cast<const NMTREEVIEWW*>(lParam);
    switch (header->code) {
      case TVN_ITEMEXPANDINGW:
      case TVN_ITEMEXPANDINGA:
        OnExpanding(info, result);
        return false;
      case TVN_ITEMEXPANDEDW:
      case TVN_ITEMEXPANDEDA:
        OnExpanded(info, result);
        return false;
      case TVN_DELETEITEMW:
      case TVN_DELETEITEMA:
        OnLazyItemDeleted(info);
        return false;
      default:
        break;
    }
  }
  return CTreeCtrl::OnReflectedMessage(msg, wParam, lParam, result);
}

LRESULT CLazyTreeCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == RetryMessage() && msg != 0) {
    const HTREEITEM item = m_hRetry;
    m_hRetry = nullptr;
    if (item != nullptr && GetChildItem(item) == nullptr) SetItemState(item, 0, TVIS_EXPANDED | TVIS_EXPANDEDONCE);
    return 0;
  }
  return CTreeCtrl::WindowProc(msg, wParam, lParam);
}

void CLazyTreeCtrl::OnExpanding(const NMTREEVIEWW* info, LRESULT* result) {
  if (info->action & TVE_EXPAND) BeginExpand(info->itemNew.hItem);
  *result = 0;
}

void CLazyTreeCtrl::OnExpanded(const NMTREEVIEWW* info, LRESULT* result) {
  const HTREEITEM item = info->itemNew.hItem;
  if (info->action & TVE_EXPAND) {
    FinishExpand(item);
  } else if ((info->action & TVE_COLLAPSE) && RefreshOnExpand(item)) {
    // Emptied for the next expansion, but with its button kept.
    const int flag = GetChildFlag(item);
    RemoveChildren(item);
    SetChildFlag(item, flag);
  }
  *result = 0;
}

void CLazyTreeCtrl::OnLazyItemDeleted(const NMTREEVIEWW* info) {
  // Handles of deleted items may be reused by the control: forget them.
  if (info->itemOld.hItem == m_hPlaceholder) m_hPlaceholder = nullptr;
  if (info->itemOld.hItem == m_hPending) m_hPending = nullptr;
  if (info->itemOld.hItem == m_hRetry) m_hRetry = nullptr;
}

void CLazyTreeCtrl::BeginExpand(HTREEITEM item) {
  if (m_hPlaceholder != nullptr) {
    // An earlier expansion never finished (the parent refused it): take its placeholder away,
    // give its item back the button it had, let it be tried again, and let the tree paint.
    const HTREEITEM stale = m_hPlaceholder;
    const HTREEITEM owner = GetParentItem(stale);
    m_hPlaceholder = nullptr;
    const int flag = owner != nullptr ? GetChildFlag(owner) : 0;
    DeleteItem(stale);
    if (owner != nullptr && GetChildItem(owner) == nullptr) {
      SetChildFlag(owner, flag);
      SetItemState(owner, 0, TVIS_EXPANDED | TVIS_EXPANDEDONCE);
    }
    SetRedraw(TRUE);
  }
  if (GetChildItem(item) != nullptr) {
    if (!RefreshOnExpand(item)) {
      m_hPending = nullptr;
      return;
    }
    RemoveChildren(item);
  }
  m_hPending = item;
  UpdateWindow();
  SetRedraw(FALSE);
  m_hPlaceholder = InsertItem(m_strPlaceholder.c_str(), item, TVI_LAST);
}

void CLazyTreeCtrl::FinishExpand(HTREEITEM item) {
  if (m_hPending == nullptr || m_hPending != item) return;
  m_hPending = nullptr;
  SetRedraw(FALSE);
  // Deleting the last child may clear the item's flag in the control: note it first.
  const int flagBefore = item != TVI_ROOT ? GetChildFlag(item) : 0;
  if (m_hPlaceholder != nullptr) {
    const HTREEITEM placeholder = m_hPlaceholder;
    m_hPlaceholder = nullptr;
    DeleteItem(placeholder);
  }
  const BOOL ok = FillChildren(item);
  if (item != TVI_ROOT) {
    const bool hasChild = GetChildItem(item) != nullptr;
    if (ok) {
      SetChildFlag(item, hasChild ? 1 : 0);
    } else if (!hasChild) {
      // Keep the button and let the next expansion try again.
      SetChildFlag(item, flagBefore);
      AllowRetry(item);
    }
  }
  SetRedraw(TRUE);
  // Show as many of the new children as fit, but never scroll the item itself out at the top.
  for (HTREEITEM child = GetChildItem(item); child != nullptr; child = GetNextSiblingItem(child)) {
    if (GetFirstVisibleItem() == item) break;
    EnsureVisible(child);
  }
}

void CLazyTreeCtrl::AllowRetry(HTREEITEM item) {
  // A click always asks again; TVM_EXPAND asks only while the mark is off.
  SetItemState(item, 0, TVIS_EXPANDED | TVIS_EXPANDEDONCE);
  m_hRetry = item;
  if (RetryMessage() != 0) PostMessage(RetryMessage(), 0, 0);
}

int CLazyTreeCtrl::GetChildFlag(HTREEITEM item) const {
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
  tv.hItem = item;
  return GetItem(&tv) ? tv.cChildren : 0;
}

void CLazyTreeCtrl::SetChildFlag(HTREEITEM item, int flag) {
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
  tv.hItem = item;
  tv.cChildren = flag;
  SetItem(&tv);
}

void CLazyTreeCtrl::RemoveChildren(HTREEITEM item) {
  HTREEITEM child = GetChildItem(item);
  while (child != nullptr) {
    const HTREEITEM next = GetNextSiblingItem(child);
    DeleteItem(child);
    child = next;
  }
}
