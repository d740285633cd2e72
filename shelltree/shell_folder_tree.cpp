#include "shelltree/shell_folder_tree.h"

#include "shelltree/shell_name.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace {

constexpr int kItemTextChars = 260;  // the item text buffer, terminator included

long g_liveRecords = 0;

// The attributes of one item among `mask`; 0 when the folder does not answer.
SFGAOF ItemAttributes(IShellFolder* folder, LPCITEMIDLIST id, SFGAOF mask) {
  SFGAOF attributes = mask;
  LPCITEMIDLIST ids[1] = {id};
  if (folder == nullptr || FAILED(folder->GetAttributesOf(1, ids, &attributes))) return 0;
  return attributes;
}

}  // namespace

FolderItemData::FolderItemData(IShellFolder* parentFolder, LPITEMIDLIST absolutePidl)
    : pParentFolder(parentFolder), pidl(absolutePidl) {
  if (pParentFolder != nullptr) pParentFolder->AddRef();
  ++g_liveRecords;
}

FolderItemData::~FolderItemData() {
  if (pParentFolder != nullptr) pParentFolder->Release();
  pParentFolder = nullptr;
  --g_liveRecords;
  // pidl frees its list with the shell allocator.
}

long FolderItemData::LiveCount() { return g_liveRecords; }

CShellFolderTree::CShellFolderTree()
    : m_pDesktopFolder(AcquireDesktopFolder()),
      m_hDesktopItem(nullptr),
      m_pfnOnFolderSelected(nullptr),
      m_pFolderSelectedContext(nullptr) {}

CShellFolderTree::~CShellFolderTree() {
  // The window outlives this part of the object (the window layer destroys it later), and its
  // deletion notifications would no longer reach the records: free them now.
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) FreeAllRecords();
  if (m_pDesktopFolder != nullptr) ReleaseDesktopFolder();
  m_pDesktopFolder = nullptr;
}

void CShellFolderTree::PreSubclassWindow() {
  CLazyTreeCtrl::PreSubclassWindow();
  m_pfnOnFolderSelected = nullptr;
  m_pFolderSelectedContext = nullptr;
  m_hDesktopItem = nullptr;
  // The system's small-icon list; it belongs to the system and is never destroyed here.
  CPidl desktop;
  if (SUCCEEDED(SHGetSpecialFolderLocation(m_hWnd, CSIDL_DESKTOP, desktop.Out())) && !desktop.IsEmpty()) {
    SHFILEINFOW info{};
    const DWORD_PTR list = SHGetFileInfoW(reinterpret_cast<LPCWSTR>(desktop.Get()), 0, &info, sizeof info,
                                          SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    // Posted: the control is still being created when this runs.
    if (list != 0) PostMessage(TVM_SETIMAGELIST, TVSIL_NORMAL, static_cast<LPARAM>(list));
  }
}

bool CShellFolderTree::LoadRootFolder() {
  if (m_hWnd == nullptr || m_pDesktopFolder == nullptr) return false;
  if (m_hDesktopItem != nullptr) return true;  // loaded already
  CPidl desktop;
  if (FAILED(SHGetSpecialFolderLocation(m_hWnd, CSIDL_DESKTOP, desktop.Out())) || desktop.IsEmpty()) return false;
  // The Desktop's absolute list is the empty list; its folder is the desktop folder itself.
  m_hDesktopItem = AddFolderItem(TVI_ROOT, m_pDesktopFolder, nullptr, desktop.Get());
  if (m_hDesktopItem == nullptr) return false;
  Expand(m_hDesktopItem, TVE_EXPAND);
  return true;
}

FolderItemData* CShellFolderTree::GetItemRecord(HTREEITEM item) const {
  if (item == nullptr || item == TVI_ROOT || m_hWnd == nullptr) return nullptr;
  return reinterpret_cast<FolderItemData*>(GetItemData(item));
}

HTREEITEM CShellFolderTree::AddFolderItem(HTREEITEM parent, IShellFolder* parentFolder, LPCITEMIDLIST parentPidl,
                                          LPCITEMIDLIST childId) {
  if (parentFolder == nullptr || childId == nullptr) return nullptr;
  LPITEMIDLIST absolute = CPidl::Concat(parentPidl, childId);
  if (absolute == nullptr) return nullptr;  // no list, no item
  FolderItemData* record = new FolderItemData(parentFolder, absolute);

  wchar_t text[kItemTextChars] = {};
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
  insert.item.pszText = text;
  insert.item.cchTextMax = kItemTextChars;
  insert.item.lParam = reinterpret_cast<LPARAM>(record);
  ComputeItemInfo(&insert.item);
  const HTREEITEM item = InsertItem(&insert);
  if (item == nullptr) delete record;
  return item;
}

void CShellFolderTree::ComputeItemInfo(TVITEMW* item) {
  const FolderItemData* record = reinterpret_cast<const FolderItemData*>(item->lParam);
  if (record == nullptr) return;
  IShellFolder* const folder = record->pParentFolder;
  const LPCITEMIDLIST id = record->RelativeId();

  if (item->mask & TVIF_TEXT) {
    CShellName name;
    std::wstring text;
    if (SUCCEEDED(folder->GetDisplayNameOf(id, SHGDN_INFOLDER, name.Prepare(id)))) text = name.ToString();
    if (item->pszText != nullptr && item->cchTextMax > 0) lstrcpynW(item->pszText, text.c_str(), item->cchTextMax);
  }

  if (item->mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
    const SFGAOF attributes = ItemAttributes(folder, id, SFGAO_FOLDER | SFGAO_SHARE | SFGAO_LINK | SFGAO_GHOSTED);
    if (attributes & SFGAO_GHOSTED) {
      item->state |= TVIS_CUT;
      item->stateMask |= TVIS_CUT;
      item->mask |= TVIF_STATE;
    }
    // The shared overlay wins over the shortcut one.
    UINT overlay = 0;
    if (attributes & SFGAO_SHARE) {
      overlay = INDEXTOOVERLAYMASK(1);
    } else if (attributes & SFGAO_LINK) {
      overlay = INDEXTOOVERLAYMASK(2);
    }
    if (overlay != 0) {
      item->state = (item->state & ~TVIS_OVERLAYMASK) | overlay;
      item->stateMask |= TVIS_OVERLAYMASK;
      item->mask |= TVIF_STATE;
    }
    item->iImage = item->iSelectedImage = CPidl::GetIconIndex(record->pidl.Get(), SHGFI_SMALLICON);
    if (attributes & SFGAO_FOLDER) {
      item->iSelectedImage = CPidl::GetIconIndex(record->pidl.Get(), SHGFI_SMALLICON | SHGFI_OPENICON);
    }
  }

  if (item->mask & TVIF_CHILDREN) {
    const SFGAOF attributes = ItemAttributes(folder, id, SFGAO_FOLDER);
    if (!(attributes & SFGAO_FOLDER)) {
      item->cChildren = 0;
    } else if (attributes & SFGAO_REMOVABLE) {
      item->cChildren = 1;  // asking a removable drive would wake it up
    } else {
      item->cChildren = (ItemAttributes(folder, id, SFGAO_HASSUBFOLDER) & SFGAO_HASSUBFOLDER) ? 1 : 0;
    }
  }
}

BOOL CShellFolderTree::FillChildren(HTREEITEM item) {
  if (item == TVI_ROOT) return TRUE;
  const FolderItemData* record = GetItemRecord(item);
  if (record == nullptr) return TRUE;
  wchar_t path[MAX_PATH] = {};
  if (EnumerateFolder(item, record->pidl.Get()) && SHGetPathFromIDListW(record->pidl.Get(), path)) {
    // Only on fixed drives is an empty folder taken as final; removable, optical and network
    // drives, and paths that start with no drive root, may fill up later.
    path[MAX_PATH - 1] = L'\0';
    if (lstrlenW(path) < 3) return FALSE;
    path[3] = L'\0';
    if (GetDriveTypeW(path) != DRIVE_FIXED) return FALSE;
  }
  return TRUE;
}

bool CShellFolderTree::EnumerateFolder(HTREEITEM parent, LPCITEMIDLIST parentPidl) {
  if (m_pDesktopFolder == nullptr) return false;
  IShellFolder* folder = nullptr;
  if (CPidl::IsEmptyList(parentPidl)) {
    folder = m_pDesktopFolder;
    folder->AddRef();
  } else if (FAILED(m_pDesktopFolder->BindToObject(parentPidl, nullptr, IID_IShellFolder,
                                                   reinterpret_cast<void**>(&folder))) ||
             folder == nullptr) {
    return false;
  }

  IEnumIDList* enumerator = nullptr;
  if (SUCCEEDED(folder->EnumObjects(m_hWnd, SHCONTF_FOLDERS, &enumerator)) && enumerator != nullptr) {
    LPITEMIDLIST id = nullptr;
    ULONG fetched = 0;
    while (enumerator->Next(1, &id, &fetched) == S_OK && id != nullptr) {
      AddFolderItem(parent, folder, parentPidl, id);
      ShellFree(id);
      id = nullptr;
    }
    TVSORTCB sort{};
    sort.hParent = parent;
    sort.lpfnCompare = &CShellFolderTree::CompareFolderItems;
    sort.lParam = reinterpret_cast<LPARAM>(this);
    SortChildrenCB(&sort);
    enumerator->Release();
  }
  folder->Release();
  return true;
}

int CALLBACK CShellFolderTree::CompareFolderItems(LPARAM first, LPARAM second, LPARAM) {
  const FolderItemData* a = reinterpret_cast<const FolderItemData*>(first);
  const FolderItemData* b = reinterpret_cast<const FolderItemData*>(second);
  if (a == nullptr || b == nullptr || b->pParentFolder == nullptr) return 0;
  // Both are children of one folder; column 0 is the shell's name order.
  const HRESULT hr = b->pParentFolder->CompareIDs(0, a->RelativeId(), b->RelativeId());
  if (FAILED(hr)) return 0;
  const short order = static_cast<short>(HRESULT_CODE(hr));
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool CShellFolderTree::OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_NOTIFY && lParam != 0) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    const NMTREEVIEWW* info = reinterpret_cast<const NMTREEVIEWW*>(lParam);
    switch (header->code) {
      case TVN_DELETEITEMW:
      case TVN_DELETEITEMA:
        OnItemDeleted(info);
        break;  // the lazy tree forgets the handle too
      case TVN_SELCHANGEDW:
      case TVN_SELCHANGEDA:
        OnSelectionChanged(info);
        *result = 0;
        return false;
      default:
        break;
    }
  }
  return CLazyTreeCtrl::OnReflectedMessage(msg, wParam, lParam, result);
}

LRESULT CShellFolderTree::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    // The parent may already be unbound from its object while its children go, and then the
    // deletion notifications would not come back here: free the records first.
    FreeAllRecords();
    m_hDesktopItem = nullptr;
  }
  return CLazyTreeCtrl::WindowProc(msg, wParam, lParam);
}

void CShellFolderTree::OnItemDeleted(const NMTREEVIEWW* info) {
  delete reinterpret_cast<FolderItemData*>(info->itemOld.lParam);
  if (info->itemOld.hItem == m_hDesktopItem) m_hDesktopItem = nullptr;
}

void CShellFolderTree::OnSelectionChanged(const NMTREEVIEWW* info) {
  if (m_pfnOnFolderSelected == nullptr) return;
  const FolderItemData* record = GetItemRecord(info->itemNew.hItem);
  if (record == nullptr) return;
  wchar_t path[MAX_PATH] = {};
  if (record->pidl.IsEmpty() || !SHGetPathFromIDListW(record->pidl.Get(), path)) path[0] = L'\0';
  path[MAX_PATH - 1] = L'\0';
  m_strSelPath = path;
  m_pfnOnFolderSelected(m_strSelPath, m_pFolderSelectedContext);
}

void CShellFolderTree::FreeAllRecords() {
  if (m_hWnd == nullptr) return;
  std::vector<HTREEITEM> pending;
  for (HTREEITEM root = GetRootItem(); root != nullptr; root = GetNextSiblingItem(root)) pending.push_back(root);
  while (!pending.empty()) {
    const HTREEITEM item = pending.back();
    pending.pop_back();
    for (HTREEITEM child = GetChildItem(item); child != nullptr; child = GetNextSiblingItem(child)) {
      pending.push_back(child);
    }
    FolderItemData* record = reinterpret_cast<FolderItemData*>(GetItemData(item));
    if (record != nullptr) {
      SetItemData(item, 0);
      delete record;
    }
  }
}
