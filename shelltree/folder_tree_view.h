// The folder tree of the upload page: the shell folder tree plus the shell's own context menu on
// a right click on a folder. The menu is menu resource IDM_FOLDER_CONTEXT, whose "&Shell" entry
// marks where the shell's commands go; a chosen shell command is run.
#pragma once

#include "shelltree/shell_context_menu.h"
#include "shelltree/shell_folder_tree.h"

class CFolderTreeView : public CShellFolderTree {
 public:
  CFolderTreeView();
  // m_folderMenu goes first (a replaced window procedure is put back), then the tree.
  ~CFolderTreeView() override;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  // The menu `menu` or one of its submenus (when `recursive`) that holds an entry whose text is
  // exactly `text` (case matters), with the entry's position in *position; null when none.
  static HMENU FindMenuEntry(HMENU menu, const wchar_t* text, int* position, bool recursive);

  CShellContextMenu m_folderMenu;

 protected:
  // WM_CONTEXTMENU about this tree at a screen point: shows the menu when the point is on an item
  // and runs the chosen shell command. False when no menu was shown.
  bool OnContextMenu(HWND window, POINT screenPoint);
  // Reflected NM_RCLICK: the context menu at the position of the last message.
  void OnRightClick(LRESULT* result);
  // Shows `popup` at `screenPoint` with this tree as owner until it closes; returns the chosen
  // command, 0 when none.
  virtual UINT TrackPopup(HMENU popup, POINT screenPoint);
};
