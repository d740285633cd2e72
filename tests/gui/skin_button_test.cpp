// The flat bitmap button: images and their ownership, hover tracking, the pressed and disabled
// looks, clicks, and the dialog-manager messages it answers.
#include "controls/skin_button.h"
#include "res/resource.h"
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

COLORREF BitmapPixel(HBITMAP bitmap, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

// The parent: counts the click notifications of its buttons.
struct HostWnd : CWnd {
  int clicks = 0, doubleClicks = 0;
  bool OnCommand(UINT, UINT code, HWND) override {
    clicks += code == BN_CLICKED;
    doubleClicks += code == BN_DOUBLECLICKED;
    return true;
  }
};

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

  HostWnd host_;
  CSkinButton first_, second_;
  HBITMAP hover_ = MakeImage(kW, kH, kHoverFill), normal_ = MakeImage(kW, kH, kNormalFill);
};

TEST_F(SkinButtonTest, BindingAndImagesOwnedByTheButton) {
  CSkinButton def, check;
  ASSERT_TRUE(def.SubclassWindow(MakeButton(host_, 3, BS_DEFPUSHBUTTON, 20, 60)));
  ASSERT_TRUE(check.SubclassWindow(MakeButton(host_, 4, BS_AUTOCHECKBOX, 70, 60)));
  EXPECT_TRUE(first_.m_nButtonType == BS_PUSHBUTTON && !first_.m_bDefault && !first_.m_bCheckStyle);
  EXPECT_TRUE(def.m_nButtonType == BS_PUSHBUTTON && def.m_bDefault);
  EXPECT_TRUE(check.m_nButtonType == BS_AUTOCHECKBOX && check.m_bCheckStyle);
  for (CSkinButton* b : {&first_, &def, &check}) EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), b->GetButtonStyle());

  // The button draws its own copies; a failed call leaves it without any image and frees the
  // earlier copies; the caller's bitmaps are never touched.
  CSkinButton b;
  ASSERT_EQ(0u, b.SetImages(hover_, normal_));
  EXPECT_TRUE(b.m_images[0].nWidth == kW && b.m_images[1].nHeight == kH && b.m_images[0].hBitmap != hover_);
  const HGDIOBJ copies[] = {b.m_images[0].hBitmap, b.m_images[0].hMask, b.m_images[1].hBitmap, b.m_images[1].hMask};
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  for (HBITMAP bad : {kNotABitmap, reinterpret_cast<HBITMAP>(brush)}) {
    ASSERT_EQ(0u, b.SetImages(hover_, normal_));
    EXPECT_EQ(1u, b.SetImages(bad, normal_));
    EXPECT_EQ(1u, b.SetImages(hover_, bad));
    for (const auto& image : b.m_images) EXPECT_TRUE(image.hBitmap == nullptr && image.hMask == nullptr);
  }
  DeleteObject(brush);
  for (HGDIOBJ h : copies) EXPECT_EQ(0u, GetObjectType(h));
  EXPECT_EQ(1u, b.SetImages(nullptr, normal_));  // the hover image is required
  EXPECT_EQ(0u, b.SetImages(hover_, nullptr));
  EXPECT_TRUE(b.m_images[0].hBitmap != nullptr && b.m_images[1].hBitmap == nullptr);
  EXPECT_EQ(0u, b.SetImages(nullptr, nullptr));
  EXPECT_EQ(nullptr, b.m_images[0].hBitmap);
  EXPECT_EQ(kHoverFill, BitmapPixel(hover_, 10, 10));

  // The program's images, deleted by the caller at once, stay drawable; the copies go with the button.
  HBITMAP images[2];
  for (int i : {0, 1}) {
    images[i] = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                MAKEINTRESOURCEW(i ? IDB_LOGIN_BUTTON : IDB_LOGIN_BUTTON_HOVER),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  }
  auto login = std::make_unique<CSkinButton>();
  ASSERT_TRUE(login->SubclassWindow(MakeButton(host_, 503, BS_PUSHBUTTON, 20, 90, 58, 26)));
  ASSERT_EQ(0u, login->SetImages(images[0], images[1]));
  const COLORREF normalFill = BitmapPixel(images[1], 5, 5);
  EXPECT_TRUE(DeleteObject(images[0]) && DeleteObject(images[1]));
  Paint(*login, 58, 26)->Expect({{5, 5, normalFill}, {0, 0, kFace}});  // the corner is transparent
  ASSERT_TRUE(MoveTo(*login, 30, 13));
  EXPECT_NE(normalFill, Paint(*login, 58, 26)->Pixel(5, 5));
  const HGDIOBJ own[] = {login->m_images[0].hBitmap, login->m_images[0].hMask, login->m_images[1].hBitmap,
                         login->m_images[1].hMask};
  login.reset();
  for (HGDIOBJ h : own) EXPECT_EQ(0u, GetObjectType(h));
}

TEST_F(SkinButtonTest, HoverComesWithTheMouseAndGoesWithItsLeavingOrTheWindowsAttention) {
  // Normal: the image, the background through the transparent corners, no edge.
  Paint(first_)->Expect({{10, 10, kNormalFill}, {5, 5, kMarker}, {0, 0, kFace}, {kW - 1, kH - 1, kFace}});
  first_.m_crColors[CSkinButton::kColorBkNormal] = RGB(10, 200, 30);  // the table's colour shows through
  EXPECT_EQ(RGB(10, 200, 30), Paint(first_)->Pixel(1, 1));
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
  const std::function<void()> enders[] = {
      [&] { SendMessageW(first_, WM_MOUSELEAVE, 0, 0); }, [&] { SendMessageW(first_, WM_CANCELMODE, 0, 0); },
      [&] { SendMessageW(first_, WM_ACTIVATE, WA_INACTIVE, 0); }, [&] { second_.SetFocus(); }};
  for (const auto& end : enders) {
    first_.SetFocus();
    ASSERT_TRUE(MoveTo(first_, 10, 10));
    SendMessageW(first_, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(first_.m_bHover);
    end();
    EXPECT_FALSE(first_.m_bHover) << (&end - enders);
  }
}

TEST_F(SkinButtonTest, PressedDisabledImagelessAndCaptionedLooks) {
  for (bool throughTheControl : {false, true}) {
    auto pressed = std::make_unique<Canvas>(kW, kH, RGB(1, 2, 3));
    if (throughTheControl) {  // the control's own paint while it is held down
      SendMessageW(first_, BM_SETSTATE, TRUE, 0);
      pressed = Paint(first_);
    } else {
      DRAWITEMSTRUCT item{ODT_BUTTON,         501, 0, ODA_DRAWENTIRE, ODS_SELECTED, first_, pressed->dc(),
                          RECT{0, 0, kW, kH}, 0};
      first_.DrawItem(&item);
    }
    EXPECT_TRUE(first_.m_bPressed);
    // The image moved by one; sunken: the shadow along the whole top and left lines, the
    // highlight through the moved corner.
    pressed->Expect({{6, 6, kMarker},
                     {5, 5, kNormalFill},
                     {0, 0, kShadow},
                     {10, 0, kShadow},
                     {kW - 2, 0, kShadow},
                     {0, kH - 2, kShadow},
                     {kW - 1, kH - 1, kLight},
                     {1, 1, kFace}});
  }
  SendMessageW(first_, BM_SETSTATE, FALSE, 0);
  EXPECT_EQ(kMarker, Paint(first_)->Pixel(5, 5));
  EXPECT_FALSE(first_.m_bPressed);
  ASSERT_TRUE(MoveTo(first_, 10, 10));
  SendMessageW(first_, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(kHoverFill, Paint(first_)->Pixel(10, 10));  // pressed while hovered: the hover image
  SendMessageW(first_, BM_SETSTATE, FALSE, 0);

  // Disabling drops the hover, passes the focus on (to the parent when no tab stop is left) and
  // greys the image: no colour of it is left.
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
  first_.m_bDisabledImage = FALSE;
  EXPECT_EQ(kNormalFill, Paint(first_)->Pixel(10, 10));
  second_.EnableWindow(FALSE);
  EXPECT_EQ(host_.m_hWnd, GetFocus());
  first_.EnableWindow(TRUE);
  second_.EnableWindow(TRUE);

  // Without images only the background and, when hovered, the edge.
  EXPECT_EQ(1u, second_.SetImages(kNotABitmap, nullptr));
  EXPECT_EQ(kFace, Paint(second_)->Pixel(10, 10));
  ASSERT_TRUE(MoveTo(second_, 10, 10));
  Paint(second_)->Expect({{0, 0, kLight}, {10, 10, kFace}});

  // With a caption the image sits at the margin (3, centred) and the text beside it.
  HBITMAP small = MakeImage(10, 10, kNormalFill);
  ASSERT_EQ(0u, first_.SetImages(small, nullptr));
  DeleteObject(small);
  first_.SetWindowText(L"Go");
  SendMessageW(first_, WM_MOUSELEAVE, 0, 0);
  auto captioned = Paint(first_);
  captioned->Expect({{3 + 5, 5 + 5, kMarker}, {2, 10, kFace}});
  int inked = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 16; x < kW; ++x) inked += captioned->Pixel(x, y) != kFace;
  }
  EXPECT_GT(inked, 0);
}

TEST_F(SkinButtonTest, ClicksDialogCodesAndColours) {
  for (bool posted : {false, true}) {  // a double click counts as two clicks, sent or through the queue
    host_.clicks = 0;
    for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
      const WPARAM keys = msg == WM_LBUTTONUP ? 0 : MK_LBUTTON;
      if (posted)
        PostMessageW(first_, msg, keys, MAKELPARAM(10, 10));
      else
        SendMessageW(first_, msg, keys, MAKELPARAM(10, 10));
    }
    EXPECT_TRUE(PumpUntil([&] { return host_.clicks >= 2; }));
    EXPECT_EQ(2, host_.clicks);
    EXPECT_EQ(0, host_.doubleClicks);
  }
  second_.SetFocus();  // a click gives the button the focus and still reaches the parent
  SendMessageW(host_, WM_COMMAND, MAKEWPARAM(501, BN_CLICKED), reinterpret_cast<LPARAM>(first_.m_hWnd));
  EXPECT_EQ(first_.m_hWnd, GetFocus());
  EXPECT_EQ(3, host_.clicks);

  const auto code = [&] {
    return SendMessageW(first_, WM_GETDLGCODE, 0, 0) & (DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON);
  };
  EXPECT_EQ(DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON, code());
  first_.SetButtonStyle(BS_DEFPUSHBUTTON);
  EXPECT_TRUE(first_.m_bDefault);
  EXPECT_EQ(DLGC_BUTTON | DLGC_DEFPUSHBUTTON, code());
  first_.SetButtonStyle(BS_AUTOCHECKBOX);  // other types leave the default flag alone
  EXPECT_TRUE(first_.m_bDefault);
  first_.SetButtonStyle(BS_PUSHBUTTON);
  EXPECT_FALSE(first_.m_bDefault);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), first_.GetButtonStyle());

  Canvas canvas(4, 4);  // colour requests get the hollow brush; system colours are read again
  EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)),
            canvas.Send(host_, WM_CTLCOLORBTN, reinterpret_cast<LPARAM>(first_.m_hWnd)));
  for (COLORREF& c : first_.m_crColors) c = RGB(9, 9, 9);
  SendMessageW(first_, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(kFace, first_.m_crColors[CSkinButton::kColorBkHover]);
  EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), first_.m_crColors[CSkinButton::kColorFgFocus]);
}

}  // namespace
