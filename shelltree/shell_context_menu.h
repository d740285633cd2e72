// The shell's own context menu of one item: asks the item's folder for it, inserts its commands
// into a menu, forwards the menu's owner-drawn messages to it while the menu is up (by putting a
// procedure of its own in front of the owner window's), and runs a chosen command.
#pragma once

#include "shelltree/pidl.h"

#include <shobjidl.h>

class CShellContextMenu {
 public:
  // The command identifiers given to the shell: from kFirstCommand up to kCommandLimit.
  static constexpr UINT kFirstCommand = 20000;
  static constexpr UINT kCommandLimit = 21000;
  // The window property that carries the object while an owner window is hooked.
  static const wchar_t kHookProperty[];

  CShellContextMenu();
  // Puts back a replaced window procedure and releases the shell's menu.
  virtual ~CShellContextMenu();
  CShellContextMenu(const CShellContextMenu&) = delete;
  CShellContextMenu& operator=(const CShellContextMenu&) = delete;

  // Takes the context menu of `relativeId` from `folder` (no owner window, one item) in place of
  // the one held; true when one is held now. Null arguments just drop the held one.
  bool SetItem(IShellFolder* folder, LPCITEMIDLIST relativeId);
  // Lets the shell insert its commands into `menu` at `position`, none of them the default; the
  // menu's own default item stays. TRUE on success; on failure the command range is 0 to 0.
  BOOL InsertCommands(HMENU menu, UINT position);
  // Puts HookWndProc in front of the window's procedure (an earlier hook is taken off first).
  bool HookOwner(HWND window);
  // Puts the window's procedure back and removes the property; nothing when no window is hooked.
  void UnhookOwner();
  // One menu message for the shell (WM_INITMENUPOPUP, and WM_MEASUREITEM / WM_DRAWITEM of menu
  // items), while a menu is held; true = the shell handled it and *result is the answer.
  bool ForwardMenuMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Whether `commandId` is one of the identifiers the shell used in the last InsertCommands.
  bool IsShellCommand(UINT commandId) const;
  // Runs the shell's command `commandId` (its offset from the first identifier goes to
  // InvokeCommand); false outside the range, without a menu or when the shell fails.
  bool InvokeCommand(UINT commandId, HWND owner);

  IContextMenu* GetShellMenu() const { return m_pShellMenu; }
  UINT GetFirstCommand() const { return m_nFirstCmd; }
  UINT GetLastCommand() const { return m_nLastCmd; }
  HWND GetHookedWindow() const { return m_hHookedWnd; }

 private:
  static LRESULT CALLBACK HookWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  IContextMenu* m_pShellMenu;  // one reference held; null when none
  UINT m_nFirstCmd;
  UINT m_nLastCmd;
  HWND m_hHookedWnd;           // the window whose procedure is replaced; null when none
  WNDPROC m_pfnSavedWndProc;   // its procedure before
};
