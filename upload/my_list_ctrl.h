// The photo list of the upload page: the platform's list view in icon view with check boxes,
// showing one 80 by 55 thumbnail per photo. It adds no data of its own; it tells its parent
// which item a click selected or deselected (WM_PHOTO_CLICKED), drops clicks and mouse moves
// over empty space, selects every item on Ctrl+A and keeps Escape from the dialog manager.
#pragma once

#include "framework/controls.h"

class CMyListCtrl : public CListCtrl {
 public:
  // An Escape key-down is left untranslated (and so never becomes the dialog's cancel);
  // everything else goes to the base class.
  bool PreTranslateMessage(MSG* msg) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void OnLButtonDown(WPARAM flags, LPARAM point);
};
