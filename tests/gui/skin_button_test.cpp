// The flat bitmap button: its image copies, hover tracking, the pressed and disabled looks.
#include "controls/skin_button.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using guitest::Canvas;

constexpr int kW = 40;
constexpr int kH = 20;
constexpr COLORREF kNormalFill = RGB(200, 40, 40);
constexpr COLORREF kHoverFill = RGB(40, 40, 200);
constexpr COLORREF kMarker = RGB(20, 220, 20);
const HBITMAP kNotABitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(0x7a5c01));
const COLORREF kFace = GetSysColor(COLOR_BTNFACE), kLight = GetSysColor(COLOR_BTNHIGHLIGHT);
const COLORREF kShadow = GetSysColor(COLOR_BTNSHADOW);

// A 24-bit DIB section like the program's button images: `fill` everywhere, 2 x 2 black
// (transparent) corners, and one marker pixel at (5, 5).
HBITMAP MakeImage(int w, int h, COLORREF fill) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool corner = (x < 2 || x >= w - 2) && (y < 2 || y >= h - 2);
      SetPixelV(dc, x, y, corner ? RGB(0, 0, 0) : x == 5 && y == 5 ? kMarker : fill);
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

HWND MakeButton(HWND parent, UINT id, DWORD type, int x, int y, int w = kW, int h = kH) {
  return CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | type, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
}

class SkinButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(5, 5);
    ASSERT_TRUE(host_.CreateEx(WS_EX_TOPMOST, CWnd::DefaultWindowClass(), L"SkinButtonTest", WS_POPUP | WS_VISIBLE,
                               RECT{100, 100, 400, 300}, nullptr, 0));
    SetForegroundWindow(host_);
    SetActiveWindow(host_);
    ASSERT_TRUE(first_.SubclassWindow(MakeButton(host_, 501, BS_PUSHBUTTON, 20, 20)));
    ASSERT_TRUE(second_.SubclassWindow(MakeButton(host_, 502, BS_PUSHBUTTON, 120, 20)));
    ASSERT_EQ(0u, first_.SetImages(hover_, normal_));
    ASSERT_EQ(0u, second_.SetImages(hover_, normal_));
    PumpFor(50);  // pointer moves of earlier warps may still be queued; every test starts unhovered
    SendMessageW(first_, WM_MOUSELEAVE, 0, 0);
    ASSERT_FALSE(first_.m_bHover);
  }
  void TearDown() override {
    SetCursorPos(5, 5);
    PumpFor(50);  // the queued pointer moves go to this test's windows
    host_.DestroyWindow();
    DeleteObject(hover_);
    DeleteObject(normal_);
  }

  // A mouse move at client point (x, y) of the button, with the cursor really there.
  static bool MoveTo(CSkinButton& button, int x, int y, WPARAM flags = 0) {
    POINT screen{x, y};
    ClientToScreen(button, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(button, WM_MOUSEMOVE, flags, MAKELPARAM(x, y));
    return button.m_bHover != FALSE;
  }
  // What the button paints now, with the state the control keeps.
  static std::unique_ptr<Canvas> Paint(CSkinButton& button, int w = kW, int h = kH) {
    auto canvas = std::make_unique<Canvas>(w, h, RGB(1, 2, 3));
    canvas->Send(button, WM_PRINTCLIENT, PRF_CLIENT);
    return canvas;
  }

  CWnd host_;
  CSkinButton first_, second_;
  HBITMAP hover_ = MakeImage(kW, kH, kHoverFill), normal_ = MakeImage(kW, kH, kNormalFill);
};

TEST_F(SkinButtonTest, ImagesAreTheButtonsOwnCopies) {
  CSkinButton b;
  ASSERT_EQ(0u, b.SetImages(hover_, normal_));
  EXPECT_TRUE(b.m_images[0].nWidth == kW && b.m_images[1].nHeight == kH && b.m_images[0].hBitmap != hover_);
  const HGDIOBJ copies[] = {b.m_images[0].hBitmap, b.m_images[0].hMask, b.m_images[1].hBitmap, b.m_images[1].hMask};
  EXPECT_EQ(1u, b.SetImages(kNotABitmap, normal_));  // a failed call leaves no image and frees the copies
  for (const auto& image : b.m_images) EXPECT_TRUE(image.hBitmap == nullptr && image.hMask == nullptr);
  for (HGDIOBJ h : copies) EXPECT_EQ(0u, GetObjectType(h));
  EXPECT_EQ(1u, b.SetImages(nullptr, normal_));  // the hover image is required
}

TEST_F(SkinButtonTest, HoverComesWithTheMouseAndGoesWithItsLeavingOrTheWindowsAttention) {
  // Normal: the image, the background through the transparent corners, no edge.
  Paint(first_)->Expect({{10, 10, kNormalFill}, {5, 5, kMarker}, {0, 0, kFace}, {kW - 1, kH - 1, kFace}});
  // Hovered: the hover image, a raised edge where the image is transparent.
  ASSERT_TRUE(MoveTo(first_, 10, 10));
  EXPECT_FALSE(second_.m_bHover);
  Paint(first_)->Expect(
      {{10, 10, kHoverFill}, {5, 5, kMarker}, {1, 0, kLight}, {kW - 1, kH - 1, kShadow}, {1, 1, kFace}});
  SendMessageW(first_, WM_MOUSEMOVE, 0, MAKELPARAM(-6, 4));  // a move off the button
  EXPECT_FALSE(first_.m_bHover);
  EXPECT_EQ(kNormalFill, Paint(first_)->Pixel(10, 10));

  ASSERT_TRUE(MoveTo(first_, 10, 10));
  SetCursorPos(700, 700);  // a jump away without a move over the button: only the leave notice tells
  EXPECT_TRUE(PumpUntil([&] { return !first_.m_bHover; }));
  EXPECT_FALSE(MoveTo(first_, 10, 10, MK_LBUTTON));  // dragged onto it with the button down
  EXPECT_TRUE(MoveTo(first_, 11, 10));
  EXPECT_TRUE(MoveTo(first_, 12, 10, MK_LBUTTON));  // pressing on a hovered button keeps it hovered
  const std::function<void()> enders[] = {[&] { SendMessageW(first_, WM_CANCELMODE, 0, 0); },
                                          [&] { SendMessageW(first_, WM_ACTIVATE, WA_INACTIVE, 0); },
                                          [&] { second_.SetFocus(); }};
  for (const auto& end : enders) {
    first_.SetFocus();
    ASSERT_TRUE(MoveTo(first_, 10, 10));
    SendMessageW(first_, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(first_.m_bHover);
    end();
    EXPECT_FALSE(first_.m_bHover) << (&end - enders);
  }
}

TEST_F(SkinButtonTest, PressedAndDisabledLooks) {
  // Held down: the image moved by one, sunken: the shadow along the top and left lines, the
  // highlight through the moved corner.
  SendMessageW(first_, BM_SETSTATE, TRUE, 0);
  Paint(first_)->Expect({{6, 6, kMarker},
                         {5, 5, kNormalFill},
                         {0, 0, kShadow},
                         {kW - 2, 0, kShadow},
                         {0, kH - 2, kShadow},
                         {kW - 1, kH - 1, kLight},
                         {1, 1, kFace}});
  EXPECT_TRUE(first_.m_bPressed);
  SendMessageW(first_, BM_SETSTATE, FALSE, 0);
  EXPECT_EQ(kMarker, Paint(first_)->Pixel(5, 5));
  EXPECT_FALSE(first_.m_bPressed);
  ASSERT_TRUE(MoveTo(first_, 10, 10));
  SendMessageW(first_, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(kHoverFill, Paint(first_)->Pixel(10, 10));  // pressed while hovered: the hover image
  SendMessageW(first_, BM_SETSTATE, FALSE, 0);

  // Disabling drops the hover, passes the focus on and greys the image: no colour of it is left.
  first_.SetFocus();
  ASSERT_TRUE(first_.m_bHover);
  auto enabled = Paint(first_);
  first_.EnableWindow(FALSE);
  EXPECT_FALSE(first_.m_bHover);
  EXPECT_EQ(second_.m_hWnd, GetFocus());
  auto disabled = Paint(first_);
  int differing = 0, foreign = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const COLORREF c = disabled->Pixel(x, y);
      foreign += c != kFace && c != kShadow && c != kLight && c != GetSysColor(COLOR_3DSHADOW) &&
                 c != GetSysColor(COLOR_3DHILIGHT);
      differing += c != enabled->Pixel(x, y);
    }
  }
  EXPECT_EQ(0, foreign);
  EXPECT_GT(differing, kW * kH / 2);
}

}  // namespace
