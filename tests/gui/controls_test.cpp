// The thin control wrappers and the image list owner.
#include "framework/controls.h"
#include "framework/dialog.h"
#include "tests/gui/framework_test_resource.h"

#include <gtest/gtest.h>

namespace {

HBITMAP MakeBitmap(int cx, int cy, COLORREF colour) {
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, cx, cy);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT rc{0, 0, cx, cy};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

class ControlsDialog : public CDialog {
 public:
  ControlsDialog() : CDialog(IDD_FW_MAIN) {}
  CListCtrl m_list;
  CTreeCtrl m_tree;
  CTabCtrl m_tab;
  CProgressCtrl m_progress;
  CButton m_check;
  CEdit m_edit;
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, IDC_FW_LIST, m_list);
    DDX_Control(dx, IDC_FW_TREE, m_tree);
    DDX_Control(dx, IDC_FW_TAB, m_tab);
    DDX_Control(dx, IDC_FW_PROGRESS, m_progress);
    DDX_Control(dx, IDC_FW_CHECK, m_check);
    DDX_Control(dx, IDC_FW_EDIT, m_edit);
  }
};

TEST(FrameworkImageList, CreateAddReplaceCountRemove) {
  CImageList images;
  EXPECT_EQ(nullptr, images.GetSafeHandle());
  ASSERT_TRUE(images.Create(80, 55, ILC_COLOR24, 0, 1));
  EXPECT_FALSE(images.Create(80, 55, ILC_COLOR24, 0, 1));  // holds one already
  int cx = 0;
  int cy = 0;
  ASSERT_TRUE(images.GetIconSize(&cx, &cy));
  EXPECT_EQ(80, cx);
  EXPECT_EQ(55, cy);
  EXPECT_EQ(0, images.GetImageCount());

  HBITMAP white = MakeBitmap(80, 55, RGB(255, 255, 255));
  HBITMAP red = MakeBitmap(80, 55, RGB(132, 29, 22));
  EXPECT_EQ(0, images.Add(white));
  EXPECT_EQ(1, images.Add(red));
  EXPECT_EQ(2, images.GetImageCount());

  // Growing by count, then filling a slot; cutting back to the first image.
  ASSERT_TRUE(images.SetImageCount(5));
  EXPECT_EQ(5, images.GetImageCount());
  EXPECT_TRUE(images.Replace(4, red));
  EXPECT_FALSE(images.Replace(-2, red));
  ASSERT_TRUE(images.SetImageCount(1));
  EXPECT_EQ(1, images.GetImageCount());
  EXPECT_TRUE(images.Remove(0));
  EXPECT_EQ(0, images.GetImageCount());
  EXPECT_EQ(0, images.Add(white));
  EXPECT_TRUE(images.Remove(-1));
  EXPECT_EQ(0, images.GetImageCount());

  // Handing the list over and back.
  HIMAGELIST raw = images.Detach();
  ASSERT_NE(nullptr, raw);
  EXPECT_EQ(nullptr, images.GetSafeHandle());
  EXPECT_FALSE(images.DeleteImageList());
  EXPECT_FALSE(images.Attach(nullptr));
  ASSERT_TRUE(images.Attach(raw));
  EXPECT_FALSE(images.Attach(raw));
  EXPECT_TRUE(images.Destroy());
  EXPECT_EQ(nullptr, images.GetSafeHandle());
  DeleteObject(white);
  DeleteObject(red);
}

TEST(FrameworkControls, ListWithCheckBoxesAndImages) {
  ControlsDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  CListCtrl& list = dialog.m_list;
  CImageList images;
  ASSERT_TRUE(images.Create(80, 55, ILC_COLOR24, 0, 1));
  HBITMAP tile = MakeBitmap(80, 55, RGB(255, 255, 255));
  images.Add(tile);
  EXPECT_EQ(nullptr, list.SetImageList(images, LVSIL_NORMAL));
  EXPECT_EQ(images.GetSafeHandle(), list.GetImageList(LVSIL_NORMAL));
  list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_CHECKBOXES);
  EXPECT_NE(0u, list.GetExtendedStyle() & LVS_EX_CHECKBOXES);

  EXPECT_EQ(0, list.InsertItem(0, L"x.JPG", 0));
  EXPECT_EQ(1, list.InsertItem(1, L"\u7167\u7247.gif", 0));
  EXPECT_EQ(2, list.GetItemCount());
  EXPECT_EQ(L"\u7167\u7247.gif", list.GetItemText(1, 0));
  EXPECT_EQ(L"", list.GetItemText(7, 0));
  EXPECT_FALSE(list.GetCheck(0));
  EXPECT_TRUE(list.SetCheck(1));
  EXPECT_TRUE(list.GetCheck(1));
  EXPECT_FALSE(list.GetCheck(0));
  EXPECT_TRUE(list.SetCheck(1, FALSE));
  EXPECT_FALSE(list.GetCheck(1));
  EXPECT_TRUE(list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED));
  EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), list.GetItemState(0, LVIS_SELECTED));

  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 1;
  item.iImage = 3;
  EXPECT_TRUE(list.SetItem(&item));
  item.iImage = -1;
  EXPECT_TRUE(list.GetItem(&item));
  EXPECT_EQ(3, item.iImage);
  POINT pt{};
  EXPECT_TRUE(list.GetItemPosition(0, &pt));
  EXPECT_TRUE(list.DeleteItem(0));
  EXPECT_EQ(1, list.GetItemCount());
  EXPECT_TRUE(list.DeleteAllItems());
  EXPECT_EQ(0, list.GetItemCount());
  list.SetImageList(nullptr, LVSIL_NORMAL);
  DeleteObject(tile);
}

TEST(FrameworkControls, TreeItemsDataAndNavigation) {
  ControlsDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  CTreeCtrl& tree = dialog.m_tree;
  const HTREEITEM root = tree.InsertItem(L"Desktop");
  ASSERT_NE(nullptr, root);
  const HTREEITEM a = tree.InsertItem(L"Loading...", root);
  const HTREEITEM b = tree.InsertItem(L"\u6211\u7684\u7535\u8111", root);
  EXPECT_EQ(root, tree.GetRootItem());
  EXPECT_EQ(a, tree.GetChildItem(root));
  EXPECT_EQ(b, tree.GetNextSiblingItem(a));
  EXPECT_EQ(nullptr, tree.GetNextSiblingItem(b));
  EXPECT_EQ(root, tree.GetParentItem(b));
  EXPECT_TRUE(tree.ItemHasChildren(root));
  EXPECT_FALSE(tree.ItemHasChildren(a));
  EXPECT_EQ(L"\u6211\u7684\u7535\u8111", tree.GetItemText(b));
  EXPECT_EQ(3u, tree.GetCount());

  int record = 0;
  EXPECT_TRUE(tree.SetItemData(b, reinterpret_cast<DWORD_PTR>(&record)));
  EXPECT_EQ(reinterpret_cast<DWORD_PTR>(&record), tree.GetItemData(b));
  EXPECT_TRUE(tree.Expand(root, TVE_EXPAND));
  EXPECT_NE(0u, tree.GetItemState(root, TVIS_EXPANDED));
  EXPECT_TRUE(tree.SetItemState(b, TVIS_CUT, TVIS_CUT));
  EXPECT_EQ(static_cast<UINT>(TVIS_CUT), tree.GetItemState(b, TVIS_CUT));
  EXPECT_TRUE(tree.SelectItem(b));
  EXPECT_EQ(b, tree.GetSelectedItem());
  EXPECT_EQ(nullptr, tree.GetImageList());

  EXPECT_TRUE(tree.DeleteItem(a));
  EXPECT_EQ(b, tree.GetChildItem(root));
  EXPECT_TRUE(tree.DeleteAllItems());
  EXPECT_EQ(0u, tree.GetCount());
}

TEST(FrameworkControls, TabProgressButtonEdit) {
  ControlsDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  CTabCtrl& tab = dialog.m_tab;
  EXPECT_EQ(0, tab.InsertItem(0, L"\u4e0a\u4f20\u6211\u7684\u7167\u7247"));
  EXPECT_EQ(1, tab.InsertItem(1, L"\u51b2\u5370\u6211\u7684\u7167\u7247"));
  EXPECT_EQ(2, tab.GetItemCount());
  EXPECT_EQ(0, tab.GetCurSel());
  EXPECT_EQ(0, tab.SetCurSel(1));  // the previous selection
  EXPECT_EQ(1, tab.GetCurSel());
  RECT item{};
  EXPECT_TRUE(tab.GetItemRect(0, &item));
  EXPECT_GT(item.right, item.left);
  RECT rc;
  tab.GetClientRect(&rc);
  RECT display = rc;
  tab.AdjustRect(FALSE, &display);
  EXPECT_GT(display.top, rc.top);  // the tabs take the top
  EXPECT_TRUE(tab.DeleteItem(0));
  EXPECT_EQ(1, tab.GetItemCount());
  EXPECT_TRUE(tab.DeleteAllItems());

  CProgressCtrl& progress = dialog.m_progress;
  progress.SetRange32(0, 2100);
  int lower = -1;
  int upper = -1;
  progress.GetRange(lower, upper);
  EXPECT_EQ(0, lower);
  EXPECT_EQ(2100, upper);
  progress.SetPos(21);
  EXPECT_EQ(21, progress.GetPos());
  EXPECT_EQ(21, progress.OffsetPos(10));  // the previous position
  EXPECT_EQ(31, progress.GetPos());
  progress.SetStep(100);
  progress.StepIt();
  EXPECT_EQ(131, progress.GetPos());

  CButton& check = dialog.m_check;
  EXPECT_EQ(static_cast<UINT>(BS_AUTOCHECKBOX), check.GetButtonStyle());
  check.SetCheck(BST_CHECKED);
  EXPECT_EQ(BST_CHECKED, check.GetCheck());

  CEdit& edit = dialog.m_edit;
  edit.SetWindowText(L"abcdef");
  edit.SetSel(2, 4);
  edit.ReplaceSel(L"\u4e2d");
  EXPECT_EQ(L"ab\u4e2def", edit.GetWindowText());
  edit.SetPasswordChar(L'*');
  EXPECT_EQ(L'*', static_cast<wchar_t>(edit.SendMessage(EM_GETPASSWORDCHAR)));
}

}  // namespace
