// A tree control that fills an item's children only when the item is first expanded.
//
// While an expansion runs, the item gets one placeholder child ("Loading...") so that the control
// carries the expansion out; when the expansion is done the placeholder goes and FillChildren
// inserts the real children, with redrawing held off in between, so the tree is painted once with
// them. Children stay across collapse and re-expansion.
//
// The expansion notifications are handled through the window layer's reflection, so the parent
// must be a window bound to the layer (a CDialog or another CWnd). They are not consumed: the
// parent sees them too, and expansions are never vetoed here.
#pragma once

#include "framework/controls.h"

#include <string>

class CLazyTreeCtrl : public CTreeCtrl {
 public:
  CLazyTreeCtrl();
  ~CLazyTreeCtrl() override;

  // Whether an item that already has children is emptied and refilled at each expansion (and
  // emptied at collapse). The base: FALSE.
  virtual BOOL RefreshOnExpand(HTREEITEM item);
  // Inserts the children of `item`. TRUE: the item's has-children flag may be set from what was
  // found (an item found empty loses its expand button); FALSE: the flag is left alone, and an
  // item found empty is collapsed so that its next expansion tries again.
  virtual BOOL FillChildren(HTREEITEM item) = 0;

  bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  const std::wstring& PlaceholderText() const { return m_strPlaceholder; }

 protected:
  // Reflected TVN_ITEMEXPANDING / TVN_ITEMEXPANDED / TVN_DELETEITEM; the result stays 0.
  void OnExpanding(const NMTREEVIEWW* info, LRESULT* result);
  void OnExpanded(const NMTREEVIEWW* info, LRESULT* result);
  void OnLazyItemDeleted(const NMTREEVIEWW* info);

  void BeginExpand(HTREEITEM item);
  void FinishExpand(HTREEITEM item);
  // Deletes every child of `item`.
  void RemoveChildren(HTREEITEM item);
  // The item's has-children flag (TVIF_CHILDREN).
  int GetChildFlag(HTREEITEM item) const;
  void SetChildFlag(HTREEITEM item, int flag);
  // Lets the next expansion of an item found empty (fill said FALSE) ask again. The control
  // marks an item "expanded once" only after its expansion notifications return, so the mark is
  // taken off by a message posted to this window.
  void AllowRetry(HTREEITEM item);

  std::wstring m_strPlaceholder;
  HTREEITEM m_hPlaceholder;  // the placeholder of the expansion under way
  HTREEITEM m_hPending;      // the item whose expansion must be filled; null when none
  HTREEITEM m_hRetry;        // the item found empty whose "expanded once" mark must go; null when none
};
