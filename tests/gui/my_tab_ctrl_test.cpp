// The grey tab control: its background, clicks on tabs, and where owner-drawn items of its
// children go.
#include "controls/my_tab_ctrl.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace guitest;

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

TEST_F(MyTabCtrlTest, BackgroundIsGreyAndAClickSelectsATab) {
  // Painted for real: right of the last tab, above the page frame, only the background is there.
  tab_.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT last{};
  ASSERT_TRUE(tab_.GetItemRect(1, &last));
  EXPECT_EQ(kGrey, WindowPixel(tab_, (last.right + Canvas::ClientSize(tab_).right) / 2, last.top + 2));

  const LPARAM at = MAKELPARAM((last.left + last.right) / 2, (last.top + last.bottom) / 2);
  SendMessageW(tab_, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tab_, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(1, tab_.GetCurSel());
}

TEST_F(MyTabCtrlTest, OwnerDrawnChildrenDrawThemselvesOtherItemsGetDefaultProcessing) {
  DrawCountingButton child;
  ASSERT_TRUE(child.CreateEx(0, L"BUTTON", L"", WS_CHILD | BS_OWNERDRAW, RECT{10, 40, 60, 60}, tab_, 77));
  const HWND bare = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_OWNERDRAW, 70, 40, 50, 20, tab_,
                                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(78)), nullptr, nullptr);
  HDC dc = child.GetDC();
  DRAWITEMSTRUCT item{ODT_BUTTON, 77, 0, ODA_DRAWENTIRE, 0, child, dc, RECT{0, 0, 50, 20}, 0};
  EXPECT_EQ(TRUE, SendMessageW(tab_, WM_DRAWITEM, 77, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(1, child.draws);
  // A child without an object: default processing, no drawing.
  DRAWITEMSTRUCT other{ODT_BUTTON, 78, 0, ODA_DRAWENTIRE, 0, bare, dc, RECT{0, 0, 50, 20}, 0};
  EXPECT_EQ(FALSE, SendMessageW(tab_, WM_DRAWITEM, 78, reinterpret_cast<LPARAM>(&other)));
  EXPECT_EQ(1, child.draws);
  child.ReleaseDC(dc);
}

}  // namespace
