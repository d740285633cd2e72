// The grey tab control: its background, clicks on tabs, and where owner-drawn items of its
// children go.
#include "controls/my_tab_ctrl.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

namespace {

constexpr COLORREF kGrey = RGB(241, 241, 241);

class DrawCountingButton : public CButton {
 public:
  int draws = 0;
  void DrawItem(DRAWITEMSTRUCT*) override { ++draws; }
};

class MyTabCtrlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.CreateEx(WS_EX_TOPMOST, CWnd::DefaultWindowClass(), L"MyTabCtrlTest", WS_POPUP | WS_VISIBLE,
                               RECT{100, 100, 500, 400}, nullptr, 0));
    ASSERT_TRUE(tab_.CreateEx(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, RECT{0, 20, 380, 280},
                              host_, 1006));
    ASSERT_EQ(0, tab_.InsertItem(0, L"Upload"));
    ASSERT_EQ(1, tab_.InsertItem(1, L"Print"));
    tab_.SetCurSel(0);
  }
  void TearDown() override { host_.DestroyWindow(); }

  CWnd host_;
  CMyTabCtrl tab_;
};

TEST_F(MyTabCtrlTest, ErasingFillsGreyWithATransparentBackgroundMode) {
  RECT rc{};
  tab_.GetClientRect(&rc);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, rc.right, rc.bottom);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, rc.right, rc.bottom, BLACKNESS);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(255, 255, 255));

  EXPECT_EQ(TRUE, SendMessageW(tab_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
  EXPECT_EQ(kGrey, GetBkColor(dc));
  EXPECT_EQ(kGrey, GetPixel(dc, 0, 0));
  EXPECT_EQ(kGrey, GetPixel(dc, rc.right / 2, rc.bottom / 2));
  EXPECT_EQ(kGrey, GetPixel(dc, rc.right - 1, rc.bottom - 1));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(MyTabCtrlTest, ThePaintedControlShowsTheGreyBesideTheTabs) {
  tab_.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT last{};
  ASSERT_TRUE(tab_.GetItemRect(1, &last));
  RECT rc{};
  tab_.GetClientRect(&rc);
  // Right of the last tab, above the page frame: only the background is there.
  HDC dc = tab_.GetDC();
  EXPECT_EQ(kGrey, GetPixel(dc, (last.right + rc.right) / 2, (last.top + 2)));
  tab_.ReleaseDC(dc);
}

TEST_F(MyTabCtrlTest, AClickOnATabSelectsIt) {
  RECT second{};
  ASSERT_TRUE(tab_.GetItemRect(1, &second));
  const LPARAM at = MAKELPARAM((second.left + second.right) / 2, (second.top + second.bottom) / 2);
  SendMessageW(tab_, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tab_, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(1, tab_.GetCurSel());
}

TEST_F(MyTabCtrlTest, OwnerDrawnChildrenDrawThemselvesOtherItemsGetDefaultProcessing) {
  DrawCountingButton child;
  ASSERT_TRUE(child.CreateEx(0, L"BUTTON", L"", WS_CHILD | BS_OWNERDRAW, RECT{10, 40, 60, 60}, tab_, 77));
  HDC dc = child.GetDC();
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = 77;
  item.itemAction = ODA_DRAWENTIRE;
  item.hwndItem = child;
  item.hDC = dc;
  item.rcItem = RECT{0, 0, 50, 20};
  EXPECT_EQ(TRUE, SendMessageW(tab_, WM_DRAWITEM, 77, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(1, child.draws);

  // A menu item is not a child's: the control's default processing, which draws nothing.
  DRAWITEMSTRUCT menu = item;
  menu.CtlType = ODT_MENU;
  menu.CtlID = 0;
  menu.hwndItem = nullptr;
  EXPECT_EQ(FALSE, SendMessageW(tab_, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menu)));
  EXPECT_EQ(1, child.draws);

  // A child without an object of its own: default processing too.
  const HWND bare = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_OWNERDRAW, 70, 40, 50, 20, tab_,
                                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(78)), GetModuleHandleW(nullptr),
                                    nullptr);
  DRAWITEMSTRUCT other = item;
  other.CtlID = 78;
  other.hwndItem = bare;
  EXPECT_EQ(FALSE, SendMessageW(tab_, WM_DRAWITEM, 78, reinterpret_cast<LPARAM>(&other)));
  EXPECT_EQ(1, child.draws);
  child.ReleaseDC(dc);
}

}  // namespace
