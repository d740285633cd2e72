// The grey static with the picture preview: pictures from files stretched into the corner, the
// redraw after its own painting, and files it refuses.
#include "controls/my_static.h"
#include "controls/picture_file.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace guitest;

constexpr COLORREF kColours[] = {RGB(220, 30, 30), RGB(30, 200, 40), RGB(30, 40, 210), RGB(230, 220, 20)};
constexpr int kW = CMyStatic::kPreviewWidth;
constexpr int kH = CMyStatic::kPreviewHeight;

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

  // The corners and the middle of each quadrant of the 175 x 155 preview.
  void ExpectPreview() {
    const POINT points[] = {{0, 0}, {20, 20}, {150, 20}, {20, 130}, {150, 130}, {174, 0}, {0, 154}, {174, 154}};
    for (POINT p : points) {
      EXPECT_EQ(Quadrant(p.x, p.y, kW, kH), WindowPixel(static_, p.x, p.y)) << p.x << "," << p.y;
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
  EXPECT_TRUE(PictureBytesAreComplete(full.data(), full.size()));
  EXPECT_FALSE(PictureBytesAreComplete(full.data(), full.size() - 1));
  std::vector<uint8_t> offset = full, palette = QuadrantBmp(8, 8), rle = full;
  offset[12] = 0x7F;  // the rows said to start far beyond the file
  palette[28] = 8;    // 8 bits per pixel: the rows are there, the 1 KiB colour table is not
  rle[28] = 8;        // compressed without a size
  rle[30] = BI_RLE8;
  std::fill(rle.begin() + 34, rle.begin() + 38, 0);
  const std::string text = "not a picture at all";
  const std::vector<std::vector<uint8_t>> files = {
      {}, {text.begin(), text.end()}, {full.begin(), full.begin() + 60}, offset, palette, rle};

  ASSERT_TRUE(static_.ShowImage(bmp_, kW, kH));
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_FALSE(static_.ShowImage(dir_.Write("bad" + std::to_string(i) + ".bmp", files[i]).wstring(), kW, kH)) << i;
  }
  EXPECT_FALSE(static_.ShowImage((dir_.Path() / "missing.bmp").wstring(), kW, kH));
  EXPECT_FALSE(static_.ShowImage(bmp_, 0, kH));
  // Above the size limit the file is not read (grown without writing: the tail reads as zeros).
  const std::wstring big = dir_.Write("huge.bmp", QuadrantBmp(8, 8)).wstring();
  HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(CMyStatic::kMaxImageFileBytes) + 1;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_FALSE(static_.ShowImage(big, kW, kH));
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  ExpectPreview();
}

TEST_F(MyStaticTest, PicturesAreStretchedIntoTheCornerAndRedrawnAfterTheControlsOwnPainting) {
  const COLORREF right = WindowPixel(static_, 190, 20), below = WindowPixel(static_, 20, 170);
  ASSERT_TRUE(static_.ShowImage(bmp_, kW, kH));
  EXPECT_EQ(bmp_, static_.m_strImagePath);
  // The 4:3 picture fills 175 x 155 exactly, top row first; nothing is drawn beyond it.
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

}  // namespace
