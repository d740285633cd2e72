// The grey static with the picture preview: its background, the redraw timer, pictures from
// files (bitmap and JPEG) stretched into the corner, and files it refuses.
#include "controls/my_static.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <ole2.h>  // before gdiplus.h, which needs the OLE types
#include <gdiplus.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kGrey = RGB(241, 241, 241);
constexpr COLORREF kRed = RGB(220, 30, 30);
constexpr COLORREF kGreen = RGB(30, 200, 40);
constexpr COLORREF kBlue = RGB(30, 40, 210);
constexpr COLORREF kYellow = RGB(230, 220, 20);
constexpr int kPictureW = 400;  // 4:3
constexpr int kPictureH = 300;

// The colour of the picture's quadrant that holds (x, y).
COLORREF QuadrantColour(int x, int y, int w, int h) {
  if (y < h / 2) return x < w / 2 ? kRed : kGreen;
  return x < w / 2 ? kBlue : kYellow;
}

void Put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 24-bit bottom-up BMP file of four coloured quadrants.
std::vector<uint8_t> QuadrantBmp(int w, int h) {
  const uint32_t row = static_cast<uint32_t>((w * 3 + 3) & ~3);
  const uint32_t pixels = row * static_cast<uint32_t>(h);
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(&out, 54 + pixels);
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, static_cast<uint32_t>(w));
  Put32(&out, static_cast<uint32_t>(h));
  Put16(&out, 1);
  Put16(&out, 24);
  Put32(&out, 0);
  Put32(&out, pixels);
  Put32(&out, 2835);
  Put32(&out, 2835);
  Put32(&out, 0);
  Put32(&out, 0);
  for (int y = h - 1; y >= 0; --y) {
    const size_t start = out.size();
    for (int x = 0; x < w; ++x) {
      const COLORREF c = QuadrantColour(x, y, w, h);
      out.push_back(GetBValue(c));
      out.push_back(GetGValue(c));
      out.push_back(GetRValue(c));
    }
    while (out.size() - start < row) out.push_back(0);
  }
  return out;
}

bool JpegEncoder(CLSID* clsid) {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<uint8_t> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/jpeg") {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// A JPEG file of the same quadrants, written with GDI+.
bool WriteQuadrantJpeg(const std::wstring& path) {
  CLSID jpeg{};
  if (!JpegEncoder(&jpeg)) return false;
  Gdiplus::Bitmap bitmap(kPictureW, kPictureH, PixelFormat24bppRGB);
  Gdiplus::Graphics g(&bitmap);
  const COLORREF colours[] = {kRed, kGreen, kBlue, kYellow};
  for (int i = 0; i < 4; ++i) {
    Gdiplus::SolidBrush brush(Gdiplus::Color(255, GetRValue(colours[i]), GetGValue(colours[i]), GetBValue(colours[i])));
    g.FillRectangle(&brush, (i % 2) * kPictureW / 2, (i / 2) * kPictureH / 2, kPictureW / 2, kPictureH / 2);
  }
  return bitmap.Save(path.c_str(), &jpeg, nullptr) == Gdiplus::Ok;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

COLORREF ScreenPixel(HWND hwnd, int x, int y) {
  HDC dc = GetDC(hwnd);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(hwnd, dc);
  return c;
}

// Counts the messages that matter for the redraw cycle.
class CountingStatic : public CMyStatic {
 public:
  int ticks = 0;
  int erases = 0;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_TIMER) ++ticks;
    if (msg == WM_ERASEBKGND) ++erases;
    return CMyStatic::WindowProc(msg, wParam, lParam);
  }
};

class MyStaticTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.CreateEx(WS_EX_TOPMOST, CWnd::DefaultWindowClass(), L"MyStaticTest", WS_POPUP | WS_VISIBLE,
                               RECT{100, 100, 420, 340}, nullptr, 0));
    const HWND hwnd = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 10, 10, 200, 180, host_,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(1012)),
                                      GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(static_.SubclassWindow(hwnd));
    static_.Invalidate();
    static_.UpdateWindow();
    // Let the first paint's timer run out before a test looks.
    PumpUntil([&] { return static_.ticks > 0; }, 2000);
    bmp_ = dir_.Write("quadrants.bmp", QuadrantBmp(kPictureW, kPictureH)).wstring();
  }
  void TearDown() override { host_.DestroyWindow(); }

  // The corners and the middle of each quadrant of a 175 x 155 picture, and the area outside.
  void ExpectPictureInCorner(int tolerance) {
    const struct {
      int x, y;
    } points[] = {{0, 0}, {20, 20}, {150, 20}, {20, 130}, {150, 130}, {174, 0}, {0, 154}, {174, 154}};
    for (const auto& p : points) {
      const COLORREF expected = QuadrantColour(p.x, p.y, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight);
      const COLORREF actual = ScreenPixel(static_, p.x, p.y);
      EXPECT_TRUE(Near(expected, actual, tolerance)) << p.x << "," << p.y << " " << std::hex << actual;
    }
  }

  CWnd host_;
  CountingStatic static_;
  TempDir dir_;
  std::wstring bmp_;
};

TEST_F(MyStaticTest, WithoutAPictureItPaintsGreyAndStopsItsTimerAtTheFirstTick) {
  EXPECT_TRUE(static_.m_strImagePath.empty());
  KillTimer(static_, CMyStatic::kRedrawTimer);
  const int ticks = static_.ticks;
  const int erases = static_.erases;

  RECT rc{};
  static_.GetClientRect(&rc);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, rc.right, rc.bottom);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, rc.right, rc.bottom, BLACKNESS);
  EXPECT_EQ(0, SendMessageW(static_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(kGrey, GetPixel(dc, 0, 0));
  EXPECT_EQ(kGrey, GetPixel(dc, rc.right / 2, rc.bottom / 2));
  EXPECT_EQ(kGrey, GetPixel(dc, rc.right - 1, rc.bottom - 1));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);

  ASSERT_TRUE(PumpUntil([&] { return static_.ticks > ticks; }));
  EXPECT_EQ(ticks + 1, static_.ticks);
  EXPECT_EQ(erases + 1, static_.erases);  // nothing else started the timer again
  // The tick stopped it: there is no timer 1 left to kill.
  EXPECT_FALSE(KillTimer(static_, CMyStatic::kRedrawTimer));
  EXPECT_TRUE(static_.m_strImagePath.empty());
}

TEST_F(MyStaticTest, ABitmapIsStretchedUprightIntoTheTopLeftArea) {
  const COLORREF outsideRight = ScreenPixel(static_, 190, 20);
  const COLORREF outsideBelow = ScreenPixel(static_, 20, 170);
  ASSERT_TRUE(static_.ShowImage(bmp_, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  // The 4:3 picture fills 175 x 155 exactly, top row first; nothing is drawn beyond it.
  ExpectPictureInCorner(0);
  EXPECT_EQ(outsideRight, ScreenPixel(static_, 175, 20));
  EXPECT_EQ(outsideRight, ScreenPixel(static_, 190, 20));
  EXPECT_EQ(outsideBelow, ScreenPixel(static_, 20, 155));
  EXPECT_EQ(outsideBelow, ScreenPixel(static_, 20, 170));

  // Any size given is filled.
  ASSERT_TRUE(static_.ShowImage(bmp_, 40, 20));
  EXPECT_EQ(kRed, ScreenPixel(static_, 5, 3));
  EXPECT_EQ(kYellow, ScreenPixel(static_, 39, 19));
}

TEST_F(MyStaticTest, AJpegIsShownToo) {
  const std::wstring jpeg = (dir_.Path() / "quadrants.jpg").wstring();
  ASSERT_TRUE(WriteQuadrantJpeg(jpeg));
  ASSERT_TRUE(static_.ShowImage(jpeg, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_EQ(jpeg, static_.m_strImagePath);
  ExpectPictureInCorner(48);
}

TEST_F(MyStaticTest, FilesThatAreNoPictureKeepThePreviousPathAndPreview) {
  ASSERT_TRUE(static_.ShowImage(bmp_, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  const std::string text = "not a picture at all\r\n";
  const std::wstring notPicture = dir_.Write("notes.jpg", std::vector<uint8_t>(text.begin(), text.end())).wstring();
  const std::wstring empty = dir_.Write("empty.bmp", {}).wstring();
  // A bitmap header that promises more than the file holds.
  std::vector<uint8_t> truncated = QuadrantBmp(kPictureW, kPictureH);
  truncated.resize(60);
  const std::wstring cut = dir_.Write("cut.bmp", truncated).wstring();

  EXPECT_FALSE(static_.ShowImage(notPicture, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_FALSE(static_.ShowImage(empty, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_FALSE(static_.ShowImage((dir_.Path() / "missing.bmp").wstring(), 175, 155));
  EXPECT_FALSE(static_.ShowImage(cut, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_FALSE(static_.ShowImage(bmp_, 0, 155));
  EXPECT_FALSE(static_.ShowImage(L"", 175, 155));
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  ExpectPictureInCorner(0);
}

TEST_F(MyStaticTest, FilesAboveTheSizeLimitAreNotRead) {
  std::vector<uint8_t> bytes = QuadrantBmp(8, 8);
  const std::wstring big = dir_.Write("huge.bmp", bytes).wstring();
  // Grown to one byte over the limit without writing it (the tail reads as zeros).
  HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(CMyStatic::kMaxImageFileBytes) + 1;
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  const std::wstring small = dir_.Write("small.bmp", bytes).wstring();

  EXPECT_FALSE(static_.ShowImage(big, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_TRUE(static_.m_strImagePath.empty());
  EXPECT_TRUE(static_.ShowImage(small, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  EXPECT_EQ(small, static_.m_strImagePath);
}

TEST_F(MyStaticTest, UncoveringRedrawsThePreviewAfterTheControlsOwnPainting) {
  ASSERT_TRUE(static_.ShowImage(bmp_, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  // Covered: something else painted over the control.
  HDC dc = GetDC(static_);
  PatBlt(dc, 0, 0, 200, 180, BLACKNESS);
  ReleaseDC(static_, dc);
  ASSERT_EQ(RGB(0, 0, 0), ScreenPixel(static_, 20, 20));

  // Uncovered: erase (picture at once), the static's own paint, then the timer's picture.
  const int ticks = static_.ticks;
  const int erases = static_.erases;
  static_.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_EQ(erases + 1, static_.erases);
  ASSERT_TRUE(PumpUntil([&] { return static_.ticks > ticks; }));
  ExpectPictureInCorner(0);
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  EXPECT_FALSE(KillTimer(static_, CMyStatic::kRedrawTimer));
}

TEST_F(MyStaticTest, ATimerTickDrawsTheRememberedPictureAgain) {
  ASSERT_TRUE(static_.ShowImage(bmp_, CMyStatic::kPreviewWidth, CMyStatic::kPreviewHeight));
  HDC dc = GetDC(static_);
  PatBlt(dc, 0, 0, 200, 180, BLACKNESS);
  ReleaseDC(static_, dc);
  SendMessageW(static_, WM_TIMER, 7, 0);  // any timer
  ExpectPictureInCorner(0);
}

}  // namespace
