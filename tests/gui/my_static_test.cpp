// The grey static with the picture preview: pictures from files decoded off the window thread,
// upright and centred on the grey with their shape kept, the redraw after its own painting,
// later requests superseding earlier ones, and files it refuses.
#include "controls/my_static.h"
#include "photo/bitmap_check.h"
#include "photo/picture_loader.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/jpeg_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace guitest;

constexpr COLORREF kColours[] = {RGB(220, 30, 30), RGB(30, 200, 40), RGB(30, 40, 210), RGB(230, 220, 20)};
constexpr int kW = CMyStatic::kPreviewWidth;
constexpr int kH = CMyStatic::kPreviewHeight;

// Where a 4:3 picture goes in the 175 x 155 preview: 175 x 131 at (0, 12).
constexpr int kTop = 12;
constexpr int kPictureH = 131;

// The colour of the quadrant of a w x h picture that holds (x, y).
COLORREF Quadrant(int x, int y, int w, int h) { return kColours[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)]; }

void Put(std::vector<uint8_t>* out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A 24-bit bottom-up BMP file of the four quadrants (4:3 by default).
std::vector<uint8_t> QuadrantBmp(int w = 400, int h = 300) {
  const uint32_t row = static_cast<uint32_t>((w * 3 + 3) & ~3);
  std::vector<uint8_t> out = {'B', 'M'};
  for (uint32_t v : {54 + row * h, 0u, 54u, 40u, uint32_t(w), uint32_t(h)}) Put(&out, v, 4);
  Put(&out, 1, 2);
  Put(&out, 24, 2);
  for (uint32_t v : {0u, row * h, 2835u, 2835u, 0u, 0u}) Put(&out, v, 4);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const COLORREF c = Quadrant(x, y, w, h);
      for (int v : {GetBValue(c), GetGValue(c), GetRValue(c)}) out.push_back(static_cast<uint8_t>(v));
    }
    out.resize(out.size() + (row - w * 3), 0);
  }
  return out;
}

// Counts the messages of the redraw cycle.
class CountingStatic : public CMyStatic {
 public:
  int ticks = 0;
  int erases = 0;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    ticks += msg == WM_TIMER;
    erases += msg == WM_ERASEBKGND;
    return CMyStatic::WindowProc(msg, wParam, lParam);
  }
};

class MyStaticTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.CreateEx(WS_EX_TOPMOST, CWnd::DefaultWindowClass(), L"MyStaticTest", WS_POPUP | WS_VISIBLE,
                               RECT{100, 100, 420, 340}, nullptr, 0));
    ASSERT_TRUE(
        static_.CreateEx(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, Rect(10, 10, 200, 180), host_, 1012));
    static_.Invalidate();
    static_.UpdateWindow();
    PumpUntil([&] { return static_.ticks > 0; }, 2000);  // the first paint's timer has run out
    bmp_ = dir_.Write("quadrants.bmp", QuadrantBmp()).wstring();
  }
  void TearDown() override { host_.DestroyWindow(); }

  // Starts a preview and pumps until it has come back.
  bool Show(const std::wstring& path) {
    if (!static_.ShowImage(path, kW, kH)) return false;
    return PumpUntil([&] { return !static_.PreviewPending(); }, 20000);
  }
  // The corners and the middle of each quadrant of the 4:3 picture, and the grey above and below.
  void ExpectPreview() {
    const POINT points[] = {{0, 0}, {20, 20}, {150, 20}, {20, 110}, {150, 110}, {174, 0}, {0, 130}, {174, 130}};
    for (POINT p : points) {
      EXPECT_EQ(Quadrant(p.x, p.y, kW, kPictureH), WindowPixel(static_, p.x, p.y + kTop)) << p.x << "," << p.y;
    }
    for (POINT p : {POINT{0, 0}, POINT{174, kTop - 1}, POINT{80, kTop + kPictureH}, POINT{174, kH - 1}}) {
      EXPECT_EQ(CMyStatic::kBackground, WindowPixel(static_, p.x, p.y)) << p.x << "," << p.y;
    }
  }

  CWnd host_;
  CountingStatic static_;
  TempDir dir_;
  std::wstring bmp_;
};

TEST_F(MyStaticTest, FilesThatAreNoPictureKeepThePreviousPathAndPreview) {
  // A bitmap file is complete with every row of pixels, not one byte less: the loader would
  // read a file cut short past its end.
  const std::vector<uint8_t> full = QuadrantBmp();
  EXPECT_TRUE(photo::PictureBytesAreComplete(full.data(), full.size()));
  EXPECT_FALSE(photo::PictureBytesAreComplete(full.data(), full.size() - 1));
  std::vector<uint8_t> offset = full, palette = QuadrantBmp(8, 8), rle = full;
  offset[12] = 0x7F;  // the rows said to start far beyond the file
  palette[28] = 8;    // 8 bits per pixel: the rows are there, the 1 KiB colour table is not
  rle[28] = 8;        // compressed without a size
  rle[30] = BI_RLE8;
  std::fill(rle.begin() + 34, rle.begin() + 38, 0);
  const std::string text = "not a picture at all";
  const std::vector<std::vector<uint8_t>> files = {
      {}, {text.begin(), text.end()}, {full.begin(), full.begin() + 60}, offset, palette, rle};

  ASSERT_TRUE(Show(bmp_));
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_TRUE(Show(dir_.Write("bad" + std::to_string(i) + ".bmp", files[i]).wstring())) << i;
  }
  EXPECT_TRUE(Show((dir_.Path() / "missing.bmp").wstring()));
  EXPECT_FALSE(static_.ShowImage(bmp_, 0, kH));
  EXPECT_FALSE(static_.ShowImage(L"", kW, kH));
  // Above the size limit the file is not read (grown without writing: the tail reads as zeros).
  const std::wstring big = dir_.Write("huge.bmp", QuadrantBmp(8, 8)).wstring();
  HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(photo::kMaxWholeFileBytes) + 1;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_TRUE(Show(big));
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  ExpectPreview();
}

TEST_F(MyStaticTest, PicturesKeepTheirShapeCentredOnTheGreyAndAreRedrawnAfterTheControlsOwnPainting) {
  const COLORREF right = WindowPixel(static_, 190, 20), below = WindowPixel(static_, 20, 170);
  // Grey until the picture is ready; the request returns before it is.
  ASSERT_TRUE(static_.ShowImage(bmp_, kW, kH));
  EXPECT_TRUE(static_.PreviewPending());
  EXPECT_EQ(L"", static_.m_strImagePath);
  ASSERT_TRUE(PumpUntil([&] { return !static_.PreviewPending(); }, 20000));
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  // The 4:3 picture is 175 x 131 at (0, 12), top row first; nothing is drawn beyond 175 x 155.
  ExpectPreview();
  EXPECT_EQ(right, WindowPixel(static_, 175, 20));
  EXPECT_EQ(below, WindowPixel(static_, 20, 155));
  HDC dc = GetDC(static_);
  PatBlt(dc, 0, 0, 200, 180, BLACKNESS);
  ReleaseDC(static_, dc);
  // Erase (picture at once), the static's own paint, then the timer's picture.
  const int ticks = static_.ticks, erases = static_.erases;
  static_.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_EQ(erases + 1, static_.erases);
  ASSERT_TRUE(PumpUntil([&] { return static_.ticks > ticks; }));
  ExpectPreview();
  EXPECT_FALSE(KillTimer(static_, CMyStatic::kRedrawTimer));  // the tick stopped it
}

// A photo of upright w x h pixels whose top-left quarter is green on red.
std::wstring WriteOriented(const TempDir& dir, const std::string& name, int w, int h, int orientation,
                           const std::vector<uint8_t>& thumbnail = {}) {
  return dir.Write(name, jpegtest::OrientedCornerJpeg(w, h, orientation, {30, 30, 220}, {40, 190, 30}, thumbnail))
      .wstring();
}

bool Near(COLORREF want, COLORREF got) {
  return std::abs(GetRValue(want) - GetRValue(got)) <= 40 && std::abs(GetGValue(want) - GetGValue(got)) <= 40 &&
         std::abs(GetBValue(want) - GetBValue(got)) <= 40;
}

TEST_F(MyStaticTest, EveryOrientationIsShownUprightAndALaterRequestWins) {
  constexpr COLORREF kRed = RGB(220, 30, 30), kGreen = RGB(30, 190, 40);
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    // A portrait photo, 3:4 upright: 116 x 155 at (29, 0).
    ASSERT_TRUE(Show(WriteOriented(dir_, "o" + std::to_string(o) + ".jpg", 480, 640, o)));
    EXPECT_TRUE(Near(kGreen, WindowPixel(static_, 29 + 10, 10)));
    EXPECT_TRUE(Near(kRed, WindowPixel(static_, 29 + 105, 10)));
    EXPECT_TRUE(Near(kRed, WindowPixel(static_, 29 + 10, 145)));
    EXPECT_TRUE(Near(kRed, WindowPixel(static_, 29 + 105, 145)));
    EXPECT_EQ(CMyStatic::kBackground, WindowPixel(static_, 27, 80));
    EXPECT_EQ(CMyStatic::kBackground, WindowPixel(static_, 29 + 117, 80));
  }
  // Two requests at once: the second is what is shown, whichever decode ends first.
  const std::wstring first = WriteOriented(dir_, "first.jpg", 640, 480, 1);
  const std::wstring second = WriteOriented(dir_, "second.jpg", 480, 640, 6);
  ASSERT_TRUE(static_.ShowImage(first, kW, kH));
  ASSERT_TRUE(Show(second));
  PumpFor(300);
  EXPECT_EQ(second, static_.m_strImagePath);
  EXPECT_EQ(CMyStatic::kBackground, WindowPixel(static_, 10, 80));
}

TEST_F(MyStaticTest, AnEmbeddedThumbnailServesWhenItIsAsLargeAsThePreview) {
  // The thumbnails are blue; the photos red and green. 200 x 150 covers the 175 x 131 the
  // picture takes; 160 x 120 does not.
  const auto blue = [](int w, int h) {
    return jpegtest::EncodeJpeg(w, h, [](int, int) { return jpegtest::Bgr{200, 60, 20}; });
  };
  ASSERT_TRUE(Show(WriteOriented(dir_, "large.jpg", 1600, 1200, 1, blue(200, 150))));
  EXPECT_TRUE(Near(RGB(20, 60, 200), WindowPixel(static_, 150, 100)));
  ASSERT_TRUE(Show(WriteOriented(dir_, "small.jpg", 1600, 1200, 1, blue(160, 120))));
  EXPECT_TRUE(Near(RGB(220, 30, 30), WindowPixel(static_, 150, 100)));
}

}  // namespace
