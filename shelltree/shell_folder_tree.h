// A lazily expanding tree of the shell namespace rooted at the Desktop, showing folders only
// (file-system and virtual ones) with the shell's small icons, names and order, and reporting the
// file-system path of each newly selected folder through a callback.
//
// Use: create the window (CreateEx with the class "SysTreeView32" as a child of a window bound to
// the window layer, which reflects the tree's notifications back to it), call LoadRootFolder()
// once, then set m_pfnOnFolderSelected and m_pFolderSelectedContext. Window thread only.
#pragma once

#include "shelltree/lazy_tree_ctrl.h"
#include "shelltree/pidl.h"

#include <shobjidl.h>

#include <string>

// Called with the selected folder's file-system path (empty for a folder without one, such as the
// computer folder); the callee owns its copy of the path.
using FolderSelectedCallback = void (*)(std::wstring path, void* context);

// The item data of every item of the tree, owned by the tree: made when the item is inserted,
// destroyed when the control reports the item's deletion or the window goes.
struct FolderItemData {
  // Adds a reference to `parentFolder`; takes ownership of `absolutePidl`.
  FolderItemData(IShellFolder* parentFolder, LPITEMIDLIST absolutePidl);
  ~FolderItemData();
  FolderItemData(const FolderItemData&) = delete;
  FolderItemData& operator=(const FolderItemData&) = delete;

  // The item's own id, relative to pParentFolder: the last item of pidl.
  LPCITEMIDLIST RelativeId() const { return pidl.LastItem(); }

  IShellFolder* pParentFolder;  // the folder holding the item (the Desktop's: the desktop folder)
  CPidl pidl;                   // absolute id list, from the Desktop

  // Records alive in the process (all trees), for checks of their release.
  static long LiveCount();
};

class CShellFolderTree : public CLazyTreeCtrl {
 public:
  CShellFolderTree();
  ~CShellFolderTree() override;

  // Inserts the Desktop item and expands it, so the Desktop's folders are there on return.
  // False without a window, without the desktop folder or when the item cannot be inserted.
  bool LoadRootFolder();

  BOOL FillChildren(HTREEITEM item) override;
  void PreSubclassWindow() override;
  bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // The record of an item, or null (the placeholder, or no such item).
  FolderItemData* GetItemRecord(HTREEITEM item) const;
  HTREEITEM GetDesktopItem() const { return m_hDesktopItem; }

 protected:
  IShellFolder* m_pDesktopFolder;  // this tree's share of the process-wide desktop folder
  HTREEITEM m_hDesktopItem;

 public:
  std::wstring m_strSelPath;  // path of the most recently selected folder (empty: none)
  FolderSelectedCallback m_pfnOnFolderSelected;
  void* m_pFolderSelectedContext;

 protected:
  void OnItemDeleted(const NMTREEVIEWW* info);
  void OnSelectionChanged(const NMTREEVIEWW* info);

  // Inserts the subfolders of the item, sorted in the shell's name order. False when the folder
  // cannot be opened.
  bool EnumerateFolder(HTREEITEM parent, LPCITEMIDLIST parentPidl);
  // Inserts one item at the end of `parent`'s children; null when it cannot be made.
  HTREEITEM AddFolderItem(HTREEITEM parent, IShellFolder* parentFolder, LPCITEMIDLIST parentPidl,
                          LPCITEMIDLIST childId);
  // Completes text, images, state and child flag of an item whose lParam is its record.
  void ComputeItemInfo(TVITEMW* item);
  static int CALLBACK CompareFolderItems(LPARAM first, LPARAM second, LPARAM tree);

 private:
  // Destroys the records of all items and clears their item data, for a window that goes while
  // its notifications may no longer reach this object.
  void FreeAllRecords();
};
