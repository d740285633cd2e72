// The flat bitmap button: images and masks, hover tracking, the pressed and disabled looks,
// clicks, and the dialog-manager messages it answers.
#include "controls/skin_button.h"
#include "res/resource.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kW = 40;
constexpr int kH = 20;
constexpr UINT kFirstId = 501;
constexpr UINT kSecondId = 502;
constexpr COLORREF kNormalFill = RGB(200, 40, 40);
constexpr COLORREF kHoverFill = RGB(40, 40, 200);
constexpr COLORREF kMarker = RGB(20, 220, 20);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A 32-bit top-down DIB section selected into a memory DC; pixels are read from its bits.
class Canvas {
 public:
  Canvas(int w, int h, COLORREF fill) : w_(w), h_(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
    RECT rc{0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc_, &rc, brush);
    DeleteObject(brush);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  COLORREF Pixel(int x, int y) const {
    GdiFlush();
    if (bits_ == nullptr || x < 0 || y < 0 || x >= w_ || y >= h_) return CLR_INVALID;
    const uint32_t p = bits_[static_cast<size_t>(y) * w_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }

 private:
  int w_;
  int h_;
  HBITMAP bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// A 24-bit DIB section like the program's button images: `fill` everywhere, 2 x 2 black
// (transparent) corners, and one marker pixel at (5, 5).
HBITMAP MakeImage(int w, int h, COLORREF fill) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT rc{0, 0, w, h};
  HBRUSH brush = CreateSolidBrush(fill);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      SetPixelV(dc, x, y, kBlack);
      SetPixelV(dc, w - 1 - x, y, kBlack);
      SetPixelV(dc, x, h - 1 - y, kBlack);
      SetPixelV(dc, w - 1 - x, h - 1 - y, kBlack);
    }
  }
  SetPixelV(dc, 5, 5, kMarker);
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

// The parent: records the notifications of its buttons.
class HostWnd : public CWnd {
 public:
  std::vector<std::pair<UINT, UINT>> commands;  // control id, notification code
  bool OnCommand(UINT id, UINT code, HWND) override {
    commands.emplace_back(id, code);
    return true;
  }
  int Count(UINT id, UINT code) const {
    int n = 0;
    for (const auto& c : commands) n += (c.first == id && c.second == code) ? 1 : 0;
    return n;
  }
};

HWND MakeButton(HWND parent, UINT id, DWORD type, int x, int y, int w, int h) {
  return CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | type, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

class SkinButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    ParkCursor();
    ASSERT_TRUE(host_.CreateEx(WS_EX_TOPMOST, CWnd::DefaultWindowClass(), L"SkinButtonTest", WS_POPUP | WS_VISIBLE,
                               RECT{100, 100, 400, 300}, nullptr, 0));
    SetForegroundWindow(host_);
    SetActiveWindow(host_);
    ASSERT_TRUE(first_.SubclassWindow(MakeButton(host_, kFirstId, BS_PUSHBUTTON, 20, 20, kW, kH)));
    ASSERT_TRUE(second_.SubclassWindow(MakeButton(host_, kSecondId, BS_PUSHBUTTON, 120, 20, kW, kH)));
    hover_ = MakeImage(kW, kH, kHoverFill);
    normal_ = MakeImage(kW, kH, kNormalFill);
    ASSERT_EQ(0u, first_.SetImages(hover_, normal_));
    ASSERT_EQ(0u, second_.SetImages(hover_, normal_));
    // Pointer moves of the earlier warps may still be queued; every test starts unhovered.
    PumpFor(50);
    SendMessageW(first_, WM_MOUSELEAVE, 0, 0);
    SendMessageW(second_, WM_MOUSELEAVE, 0, 0);
    ASSERT_FALSE(first_.m_bHover);
  }
  void TearDown() override {
    ParkCursor();
    PumpFor(50);  // the queued pointer moves go to this test's windows
    host_.DestroyWindow();
    DeleteObject(hover_);
    DeleteObject(normal_);
  }

  static void ParkCursor() { SetCursorPos(5, 5); }

  // A mouse move at client point (x, y) of the button, with the cursor really there.
  static void MoveTo(CSkinButton& button, int x, int y, WPARAM flags = 0) {
    POINT screen{x, y};
    ClientToScreen(button, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(button, WM_MOUSEMOVE, flags, MAKELPARAM(x, y));
  }

  // What the button paints now (its own paint, with the state the control keeps).
  static void Paint(CSkinButton& button, Canvas* canvas) {
    SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->dc()), PRF_CLIENT);
  }

  static void DrawDirect(CSkinButton& button, UINT state, Canvas* canvas) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID(button));
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button;
    item.hDC = canvas->dc();
    item.rcItem = RECT{0, 0, kW, kH};
    button.DrawItem(&item);
  }

  HostWnd host_;
  CSkinButton first_;
  CSkinButton second_;
  HBITMAP hover_ = nullptr;
  HBITMAP normal_ = nullptr;
};

TEST(SkinButton, StartsFlatWithSystemColoursAndNoImages) {
  CSkinButton b;
  EXPECT_TRUE(b.m_bFlat);
  EXPECT_TRUE(b.m_bShowEdge);
  EXPECT_FALSE(b.m_bFlatFocus);
  EXPECT_TRUE(b.m_bTrackInactive);
  EXPECT_TRUE(b.m_bDisabledImage);
  EXPECT_FALSE(b.m_bHover);
  EXPECT_FALSE(b.m_bPressed);
  EXPECT_FALSE(b.m_bFocused);
  EXPECT_FALSE(b.m_bDisabled);
  EXPECT_FALSE(b.m_bDefault);
  EXPECT_FALSE(b.m_bCheckStyle);
  EXPECT_EQ(15u, b.m_nButtonType);
  EXPECT_EQ(3, b.m_ptImageMargin.x);
  EXPECT_EQ(3, b.m_ptImageMargin.y);
  EXPECT_EQ(1, b.m_ptPushOffset.x);
  EXPECT_EQ(1, b.m_ptPushOffset.y);
  for (int i = 0; i < CSkinButton::kColorCount; i += 2) {
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), b.m_crColors[i]) << i;
    EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), b.m_crColors[i + 1]) << i;
  }
  for (const auto& image : b.m_images) {
    EXPECT_EQ(nullptr, image.hBitmap);
    EXPECT_EQ(nullptr, image.hMask);
    EXPECT_EQ(0, image.nWidth);
    EXPECT_EQ(0, image.nHeight);
  }
}

TEST(SkinButton, BindingMakesItOwnerDrawnAndReadsTheTemplateType) {
  HostWnd host;
  ASSERT_TRUE(host.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{0, 0, 200, 100}, nullptr, 0));
  CSkinButton plain;
  CSkinButton def;
  CSkinButton check;
  ASSERT_TRUE(plain.SubclassWindow(MakeButton(host, 1, BS_PUSHBUTTON, 0, 0, 10, 10)));
  ASSERT_TRUE(def.SubclassWindow(MakeButton(host, 2, BS_DEFPUSHBUTTON, 20, 0, 10, 10)));
  ASSERT_TRUE(check.SubclassWindow(MakeButton(host, 3, BS_AUTOCHECKBOX, 40, 0, 10, 10)));

  EXPECT_EQ(static_cast<UINT>(BS_PUSHBUTTON), plain.m_nButtonType);
  EXPECT_FALSE(plain.m_bDefault);
  EXPECT_FALSE(plain.m_bCheckStyle);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), plain.GetButtonStyle());

  EXPECT_EQ(static_cast<UINT>(BS_PUSHBUTTON), def.m_nButtonType);
  EXPECT_TRUE(def.m_bDefault);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), def.GetButtonStyle());

  EXPECT_EQ(static_cast<UINT>(BS_AUTOCHECKBOX), check.m_nButtonType);
  EXPECT_TRUE(check.m_bCheckStyle);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), check.GetButtonStyle());
  host.DestroyWindow();
}

TEST(SkinButton, SetImagesReportsUnreadableBitmapsAndDropsEverything) {
  HBITMAP hover = MakeImage(kW, kH, kHoverFill);
  HBITMAP normal = MakeImage(kW, kH, kNormalFill);
  CSkinButton b;
  ASSERT_EQ(0u, b.SetImages(hover, normal));
  EXPECT_EQ(kW, b.m_images[CSkinButton::kImageHover].nWidth);
  EXPECT_EQ(kH, b.m_images[CSkinButton::kImageHover].nHeight);
  EXPECT_EQ(kW, b.m_images[CSkinButton::kImageNormal].nWidth);
  EXPECT_EQ(kBlack, b.m_images[CSkinButton::kImageNormal].crTransparent);
  const HBITMAP oldCopy = b.m_images[CSkinButton::kImageHover].hBitmap;
  const HBITMAP oldMask = b.m_images[CSkinButton::kImageHover].hMask;
  ASSERT_NE(nullptr, oldCopy);
  ASSERT_NE(nullptr, oldMask);
  EXPECT_NE(hover, oldCopy);  // the button draws its own copy

  // Not a GDI handle at all; then a GDI object that is no bitmap.
  HBITMAP bogus = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(0x7a5c01));
  EXPECT_EQ(1u, b.SetImages(bogus, normal));
  for (const auto& image : b.m_images) {
    EXPECT_EQ(nullptr, image.hBitmap);
    EXPECT_EQ(nullptr, image.hMask);
  }
  // The copies of the earlier call are gone with it.
  EXPECT_EQ(0u, GetObjectType(oldCopy));
  EXPECT_EQ(0u, GetObjectType(oldMask));

  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_EQ(1u, b.SetImages(hover, reinterpret_cast<HBITMAP>(brush)));
  EXPECT_EQ(nullptr, b.m_images[CSkinButton::kImageHover].hBitmap);  // the good one dropped too
  DeleteObject(brush);
  EXPECT_EQ(1u, b.SetImages(nullptr, normal));  // the hover image is required

  // Only the hover image; then none at all.
  EXPECT_EQ(0u, b.SetImages(hover, nullptr));
  EXPECT_NE(nullptr, b.m_images[CSkinButton::kImageHover].hBitmap);
  EXPECT_EQ(nullptr, b.m_images[CSkinButton::kImageNormal].hBitmap);
  EXPECT_EQ(0u, b.SetImages(nullptr, nullptr));
  EXPECT_EQ(nullptr, b.m_images[CSkinButton::kImageHover].hBitmap);

  // The caller's bitmaps were never touched.
  EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(hover));
  EXPECT_EQ(kHoverFill, BitmapPixel(hover, 10, 10));
  EXPECT_TRUE(DeleteObject(hover));
  EXPECT_TRUE(DeleteObject(normal));
}

TEST(SkinButton, MasksMarkExactlyTheBlackPixels) {
  HBITMAP image = MakeImage(kW, kH, kNormalFill);
  CSkinButton b;
  ASSERT_EQ(0u, b.SetImages(image, nullptr));
  const HBITMAP mask = b.m_images[CSkinButton::kImageHover].hMask;
  BITMAP info{};
  ASSERT_NE(0, GetObjectW(mask, sizeof info, &info));
  EXPECT_EQ(1, info.bmBitsPixel);
  EXPECT_EQ(kW, info.bmWidth);
  EXPECT_EQ(kH, info.bmHeight);
  const COLORREF white = RGB(255, 255, 255);
  EXPECT_EQ(white, BitmapPixel(mask, 0, 0));
  EXPECT_EQ(white, BitmapPixel(mask, kW - 2, kH - 1));
  EXPECT_EQ(kBlack, BitmapPixel(mask, 2, 0));
  EXPECT_EQ(kBlack, BitmapPixel(mask, 5, 5));
  EXPECT_EQ(kBlack, BitmapPixel(mask, 10, 10));
  DeleteObject(image);
}

TEST_F(SkinButtonTest, NormalImageWithBlackPixelsShowingTheBackground) {
  Canvas canvas(kW, kH, RGB(1, 2, 3));
  Paint(first_, &canvas);
  EXPECT_FALSE(first_.m_bHover);
  EXPECT_EQ(kNormalFill, canvas.Pixel(10, 10));
  EXPECT_EQ(kMarker, canvas.Pixel(5, 5));
  // Transparent corners: the button face, no edge.
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(0, 0));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(kW - 1, kH - 1));
  EXPECT_EQ(kNormalFill, canvas.Pixel(2, 0));

  // The background colour of the table is what shows through.
  first_.m_crColors[CSkinButton::kColorBkNormal] = RGB(10, 200, 30);
  Canvas again(kW, kH, RGB(1, 2, 3));
  Paint(first_, &again);
  EXPECT_EQ(RGB(10, 200, 30), again.Pixel(0, 0));
  EXPECT_EQ(RGB(10, 200, 30), again.Pixel(1, 1));
  EXPECT_EQ(kNormalFill, again.Pixel(10, 10));
}

TEST_F(SkinButtonTest, HoverShowsTheHoverImageAndARaisedEdgeUntilTheMouseMovesOff) {
  MoveTo(first_, 10, 10);
  EXPECT_TRUE(first_.m_bHover);
  EXPECT_FALSE(second_.m_bHover);
  Canvas hovered(kW, kH, RGB(1, 2, 3));
  Paint(first_, &hovered);
  EXPECT_EQ(kHoverFill, hovered.Pixel(10, 10));
  EXPECT_EQ(kMarker, hovered.Pixel(5, 5));
  // Raised edge where the image is transparent: highlight top-left, shadow bottom-right.
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), hovered.Pixel(0, 0));
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), hovered.Pixel(1, 0));
  EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), hovered.Pixel(kW - 1, kH - 1));
  EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), hovered.Pixel(kW - 1, 0));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), hovered.Pixel(1, 1));  // inside the edge

  // A move whose point is off the button (the parent is under it) ends the hover.
  SendMessageW(first_, WM_MOUSEMOVE, 0, MAKELPARAM(-6, 4));
  EXPECT_FALSE(first_.m_bHover);
  Canvas normal(kW, kH, RGB(1, 2, 3));
  Paint(first_, &normal);
  EXPECT_EQ(kNormalFill, normal.Pixel(10, 10));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), normal.Pixel(0, 0));
}

TEST_F(SkinButtonTest, LeavingFastEndsTheHoverThroughTheLeaveNotification) {
  MoveTo(first_, 10, 10);
  ASSERT_TRUE(first_.m_bHover);
  // The pointer jumps away without a move over the button: only the leave notice tells.
  SetCursorPos(700, 700);
  EXPECT_TRUE(PumpUntil([&] { return !first_.m_bHover; }));

  MoveTo(first_, 10, 10);
  ASSERT_TRUE(first_.m_bHover);
  EXPECT_EQ(0, SendMessageW(first_, WM_MOUSELEAVE, 0, 0));
  EXPECT_FALSE(first_.m_bHover);
}

TEST_F(SkinButtonTest, DraggingOntoTheButtonWithTheLeftButtonDownDoesNotHoverIt) {
  MoveTo(first_, 10, 10, MK_LBUTTON);
  EXPECT_FALSE(first_.m_bHover);
  MoveTo(first_, 11, 10);
  EXPECT_TRUE(first_.m_bHover);
  // Pressing on a hovered button keeps it hovered.
  MoveTo(first_, 12, 10, MK_LBUTTON);
  EXPECT_TRUE(first_.m_bHover);
}

TEST_F(SkinButtonTest, HoverTrackingIsOffForANonFlatButton) {
  first_.m_bFlat = FALSE;
  MoveTo(first_, 10, 10);
  EXPECT_FALSE(first_.m_bHover);
  // Without hover the permanent frame is raised.
  Canvas canvas(kW, kH, RGB(1, 2, 3));
  Paint(first_, &canvas);
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), canvas.Pixel(0, 0));
}

TEST_F(SkinButtonTest, WithTrackingOfInactiveWindowsOffOnlyTheActiveWindowHovers) {
  first_.m_bTrackInactive = FALSE;
  MoveTo(first_, 10, 10);
  EXPECT_TRUE(first_.m_bHover);
  SendMessageW(first_, WM_MOUSELEAVE, 0, 0);
  CWnd other;
  ASSERT_TRUE(other.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP | WS_VISIBLE, RECT{600, 600, 700, 700},
                             nullptr, 0));
  SetActiveWindow(other);
  ASSERT_EQ(other.m_hWnd, GetActiveWindow());
  MoveTo(first_, 10, 10);
  EXPECT_FALSE(first_.m_bHover);
  first_.m_bTrackInactive = TRUE;
  MoveTo(first_, 11, 10);
  EXPECT_TRUE(first_.m_bHover);
  other.DestroyWindow();
}

TEST_F(SkinButtonTest, WithTextTheImageSitsAtTheMarginAndTheTextBesideIt) {
  HBITMAP small = MakeImage(10, 10, kNormalFill);
  ASSERT_EQ(0u, first_.SetImages(small, nullptr));
  DeleteObject(small);
  first_.SetWindowText(L"Go");
  Canvas canvas(kW, kH, RGB(1, 2, 3));
  Paint(first_, &canvas);
  EXPECT_EQ(kMarker, canvas.Pixel(3 + 5, 5 + 5));
  EXPECT_EQ(kNormalFill, canvas.Pixel(3 + 2, 5 + 2));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(2, 10));
  int inked = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 16; x < kW; ++x) inked += canvas.Pixel(x, y) != GetSysColor(COLOR_BTNFACE) ? 1 : 0;
  }
  EXPECT_GT(inked, 0);  // the caption, right of the image
}

TEST_F(SkinButtonTest, PressingShiftsTheImageByOneAndSinksTheEdge) {
  Canvas canvas(kW, kH, RGB(1, 2, 3));
  DrawDirect(first_, ODS_SELECTED, &canvas);
  EXPECT_TRUE(first_.m_bPressed);
  EXPECT_EQ(kMarker, canvas.Pixel(6, 6));
  EXPECT_EQ(kNormalFill, canvas.Pixel(5, 5));
  // Sunken: the shadow along the whole top and left lines, uncovered by the moved image.
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  EXPECT_EQ(shadow, canvas.Pixel(0, 0));
  EXPECT_EQ(shadow, canvas.Pixel(10, 0));
  EXPECT_EQ(shadow, canvas.Pixel(kW - 2, 0));
  EXPECT_EQ(shadow, canvas.Pixel(0, 10));
  EXPECT_EQ(shadow, canvas.Pixel(0, kH - 2));
  // The highlight shows at the bottom right through the moved transparent corner.
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), canvas.Pixel(kW - 1, kH - 1));
  // The moved transparent top-left corner shows the background, the image starts at (1, 1).
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(1, 1));
  EXPECT_EQ(kNormalFill, canvas.Pixel(3, 1));

  // The same through the control's own paint while it is held down.
  SendMessageW(first_, BM_SETSTATE, TRUE, 0);
  Canvas held(kW, kH, RGB(1, 2, 3));
  Paint(first_, &held);
  EXPECT_TRUE(first_.m_bPressed);
  EXPECT_EQ(kMarker, held.Pixel(6, 6));
  EXPECT_EQ(shadow, held.Pixel(0, 0));
  SendMessageW(first_, BM_SETSTATE, FALSE, 0);
  Canvas released(kW, kH, RGB(1, 2, 3));
  Paint(first_, &released);
  EXPECT_FALSE(first_.m_bPressed);
  EXPECT_EQ(kMarker, released.Pixel(5, 5));
}

TEST_F(SkinButtonTest, PressedWhileHoveredKeepsTheHoverImage) {
  MoveTo(first_, 10, 10);
  Canvas canvas(kW, kH, RGB(1, 2, 3));
  DrawDirect(first_, ODS_SELECTED, &canvas);
  EXPECT_EQ(kHoverFill, canvas.Pixel(10, 10));
  EXPECT_EQ(kMarker, canvas.Pixel(6, 6));
}

TEST_F(SkinButtonTest, DisablingDropsTheHoverAndPassesTheFocusOn) {
  first_.SetFocus();
  MoveTo(first_, 10, 10);
  ASSERT_TRUE(first_.m_bHover);
  ASSERT_EQ(first_.m_hWnd, GetFocus());
  first_.EnableWindow(FALSE);
  EXPECT_FALSE(first_.m_bHover);
  EXPECT_EQ(second_.m_hWnd, GetFocus());

  // No tab stop left: the focus goes to the parent.
  second_.EnableWindow(FALSE);
  EXPECT_EQ(host_.m_hWnd, GetFocus());
}

TEST_F(SkinButtonTest, DisabledButtonDrawsTheImageInTheDisabledStyle) {
  Canvas enabled(kW, kH, RGB(1, 2, 3));
  Paint(first_, &enabled);
  first_.EnableWindow(FALSE);
  Canvas disabled(kW, kH, RGB(1, 2, 3));
  Paint(first_, &disabled);
  EXPECT_TRUE(first_.m_bDisabled);
  // No colour of the image is left; only the system's greys and the background.
  const COLORREF allowed[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW),
                              GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_3DSHADOW),
                              GetSysColor(COLOR_3DHILIGHT)};
  int differing = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const COLORREF c = disabled.Pixel(x, y);
      bool ok = false;
      for (COLORREF a : allowed) ok = ok || c == a;
      EXPECT_TRUE(ok) << x << "," << y << " " << std::hex << c;
      differing += c != enabled.Pixel(x, y) ? 1 : 0;
    }
  }
  EXPECT_GT(differing, kW * kH / 2);

  // Without the disabled style the image is drawn as it is.
  first_.m_bDisabledImage = FALSE;
  Canvas plain(kW, kH, RGB(1, 2, 3));
  Paint(first_, &plain);
  EXPECT_EQ(kNormalFill, plain.Pixel(10, 10));
}

TEST_F(SkinButtonTest, WithoutImagesOnlyBackgroundAndEdgeAreDrawn) {
  EXPECT_EQ(1u, first_.SetImages(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(0x7a5c01)), nullptr));
  Canvas canvas(kW, kH, RGB(1, 2, 3));
  Paint(first_, &canvas);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(10, 10));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(0, 0));
  MoveTo(first_, 10, 10);
  Canvas hovered(kW, kH, RGB(1, 2, 3));
  Paint(first_, &hovered);
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), hovered.Pixel(0, 0));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), hovered.Pixel(10, 10));
}

TEST_F(SkinButtonTest, FocusCancelModeAndDeactivationEndTheHover) {
  first_.SetFocus();
  MoveTo(first_, 10, 10);
  ASSERT_TRUE(first_.m_bHover);
  second_.SetFocus();  // WM_KILLFOCUS
  EXPECT_FALSE(first_.m_bHover);

  MoveTo(first_, 10, 10);
  ASSERT_TRUE(first_.m_bHover);
  SendMessageW(first_, WM_CANCELMODE, 0, 0);
  EXPECT_FALSE(first_.m_bHover);

  MoveTo(first_, 10, 10);
  ASSERT_TRUE(first_.m_bHover);
  SendMessageW(first_, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(first_.m_bHover);
  SendMessageW(first_, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(first_.m_bHover);
}

TEST_F(SkinButtonTest, DoubleClickCountsAsTwoClicks) {
  const LPARAM at = MAKELPARAM(10, 10);
  SendMessageW(first_, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(first_, WM_LBUTTONUP, 0, at);
  SendMessageW(first_, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(first_, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(2, host_.Count(kFirstId, BN_CLICKED));
  EXPECT_EQ(0, host_.Count(kFirstId, BN_DOUBLECLICKED));

  // The same through the queue, as the mouse delivers them.
  host_.commands.clear();
  PostMessageW(first_, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(first_, WM_LBUTTONUP, 0, at);
  PostMessageW(first_, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(first_, WM_LBUTTONUP, 0, at);
  EXPECT_TRUE(PumpUntil([&] { return host_.Count(kFirstId, BN_CLICKED) >= 2; }));
  EXPECT_EQ(2, host_.Count(kFirstId, BN_CLICKED));
}

TEST_F(SkinButtonTest, AClickGivesTheButtonTheFocusAndStillReachesTheParent) {
  second_.SetFocus();
  ASSERT_EQ(second_.m_hWnd, GetFocus());
  SendMessageW(host_, WM_COMMAND, MAKEWPARAM(kFirstId, BN_CLICKED), reinterpret_cast<LPARAM>(first_.m_hWnd));
  EXPECT_EQ(first_.m_hWnd, GetFocus());
  EXPECT_EQ(1, host_.Count(kFirstId, BN_CLICKED));
}

TEST_F(SkinButtonTest, DialogCodeAndStyleFollowTheDefaultButton) {
  const LRESULT plain = SendMessageW(first_, WM_GETDLGCODE, 0, 0);
  EXPECT_TRUE(plain & DLGC_UNDEFPUSHBUTTON);
  EXPECT_FALSE(plain & DLGC_DEFPUSHBUTTON);
  EXPECT_TRUE(plain & DLGC_BUTTON);

  first_.SetButtonStyle(BS_DEFPUSHBUTTON);
  EXPECT_TRUE(first_.m_bDefault);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), first_.GetButtonStyle());
  const LRESULT def = SendMessageW(first_, WM_GETDLGCODE, 0, 0);
  EXPECT_TRUE(def & DLGC_DEFPUSHBUTTON);
  EXPECT_FALSE(def & DLGC_UNDEFPUSHBUTTON);

  first_.SetButtonStyle(BS_PUSHBUTTON);
  EXPECT_FALSE(first_.m_bDefault);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), first_.GetButtonStyle());
  EXPECT_TRUE(SendMessageW(first_, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON);

  // Other types leave the default flag alone and the button owner-drawn.
  first_.SetButtonStyle(BS_DEFPUSHBUTTON);
  first_.SetButtonStyle(BS_AUTOCHECKBOX);
  EXPECT_TRUE(first_.m_bDefault);
  EXPECT_EQ(static_cast<UINT>(BS_OWNERDRAW), first_.GetButtonStyle());
}

TEST_F(SkinButtonTest, ColourRequestsGetTheHollowBrushAndSystemColoursAreReread) {
  Canvas canvas(4, 4, RGB(1, 2, 3));
  const LRESULT brush = SendMessageW(host_, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(canvas.dc()),
                                     reinterpret_cast<LPARAM>(first_.m_hWnd));
  EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)), brush);

  for (COLORREF& c : first_.m_crColors) c = RGB(9, 9, 9);
  SendMessageW(first_, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), first_.m_crColors[CSkinButton::kColorBkHover]);
  EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), first_.m_crColors[CSkinButton::kColorFgFocus]);
}

TEST_F(SkinButtonTest, TheProgramsImagesStayDrawableAfterTheCallerDeletesItsHandles) {
  const HINSTANCE self = GetModuleHandleW(nullptr);
  HBITMAP normal = static_cast<HBITMAP>(
      LoadImageW(self, MAKEINTRESOURCEW(IDB_LOGIN_BUTTON), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  HBITMAP hover = static_cast<HBITMAP>(
      LoadImageW(self, MAKEINTRESOURCEW(IDB_LOGIN_BUTTON_HOVER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(nullptr, normal);
  ASSERT_NE(nullptr, hover);
  BITMAP info{};
  ASSERT_NE(0, GetObjectW(normal, sizeof info, &info));
  ASSERT_EQ(58, info.bmWidth);
  ASSERT_EQ(26, info.bmHeight);
  const COLORREF normalFill = BitmapPixel(normal, 5, 5);
  const COLORREF hoverFill = BitmapPixel(hover, 5, 5);
  ASSERT_NE(normalFill, hoverFill);
  ASSERT_EQ(kBlack, BitmapPixel(normal, 0, 0));  // a transparent corner

  CSkinButton* login = new CSkinButton;
  ASSERT_TRUE(login->SubclassWindow(MakeButton(host_, 503, BS_PUSHBUTTON, 20, 60, 58, 26)));
  ASSERT_EQ(0u, login->SetImages(hover, normal));
  // The caller deletes what it loaded at once; each handle is deleted exactly once.
  EXPECT_TRUE(DeleteObject(hover));
  EXPECT_TRUE(DeleteObject(normal));

  Canvas canvas(58, 26, RGB(1, 2, 3));
  Paint(*login, &canvas);
  EXPECT_EQ(normalFill, canvas.Pixel(5, 5));
  EXPECT_EQ(normalFill, canvas.Pixel(4, 20));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), canvas.Pixel(0, 0));
  MoveTo(*login, 30, 13);
  ASSERT_TRUE(login->m_bHover);
  Canvas hovered(58, 26, RGB(1, 2, 3));
  Paint(*login, &hovered);
  EXPECT_EQ(hoverFill, hovered.Pixel(5, 5));

  // The button deletes its own copies and masks when it goes.
  const HGDIOBJ own[] = {login->m_images[0].hBitmap, login->m_images[0].hMask, login->m_images[1].hBitmap,
                         login->m_images[1].hMask};
  for (HGDIOBJ h : own) EXPECT_NE(0u, GetObjectType(h));
  const HWND window = login->m_hWnd;
  delete login;
  for (HGDIOBJ h : own) EXPECT_EQ(0u, GetObjectType(h));
  DestroyWindow(window);
}

}  // namespace
