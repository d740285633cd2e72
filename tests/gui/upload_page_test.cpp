// The upload page: the photo filter and the folder scan, the selection buttons, and the photo
// list's thumbnails (read back from the image list's slots): upright in every orientation, from
// embedded thumbnails when they serve, the placeholder for what cannot be read or is too large,
// the bound of the loader, and stopping it at a folder change and at teardown within a second.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/messages.h"
#include "framework/wnd.h"
#include "res/resource.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/upload_flow_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/temp_dir.h"
#include "upload/thumb_loader.h"
#include "upload/thumb_tile.h"
#include "upload/upload_dlg.h"

namespace {


constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(220, 20, 30);
constexpr COLORREF kGreen = RGB(20, 180, 40);
constexpr COLORREF kBlue = RGB(0, 0, 255);

inline bool Near(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= 40 && std::abs(GetGValue(a) - GetGValue(b)) <= 40 &&
         std::abs(GetBValue(a) - GetBValue(b)) <= 40;
}

// A 24-bit bottom-up BMP of one colour.
inline std::vector<uint8_t> SolidBmp(int w, int h, COLORREF colour) {
  const uint32_t row = static_cast<uint32_t>((w * 3 + 3) & ~3), size = row * static_cast<uint32_t>(h);
  std::vector<uint8_t> out = {'B', 'M'};
  // File and info headers as 32-bit fields (planes 1 and 24 bits per pixel make 0x180001).
  for (uint32_t v : {54 + size, 0u, 54u, 40u, static_cast<uint32_t>(w), static_cast<uint32_t>(h), 0x180001u, 0u, size,
                     2835u, 2835u, 0u, 0u}) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out.insert(out.end(), {GetBValue(colour), GetGValue(colour), GetRValue(colour)});
    out.resize(out.size() + row - static_cast<uint32_t>(w) * 3, 0);
  }
  return out;
}

// A GIF of one colour (palette entry 1 of 128; entry 0 white), written with 8-bit literal LZW
// codes and a clear code before every 100 of them so the code width never grows.
inline std::vector<uint8_t> SolidGif(int w, int h, COLORREF colour) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  auto le16 = [&](int v) { out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); };
  le16(w);
  le16(h);
  out.insert(out.end(), {0xF6, 0, 0});  // global table of 128 colours
  for (int i = 0; i < 128; ++i) {
    if (i == 1) {
      out.insert(out.end(), {GetRValue(colour), GetGValue(colour), GetBValue(colour)});
    } else {
      out.insert(out.end(), {255, 255, 255});
    }
  }
  out.push_back(0x2C);
  le16(0);
  le16(0);
  le16(w);
  le16(h);
  out.insert(out.end(), {0, 7});  // no local table; minimum code size 7: clear 128, end 129
  std::vector<uint8_t> codes;
  for (int i = 0; i < w * h; ++i) {
    if (i % 100 == 0) codes.push_back(128);
    codes.push_back(1);
  }
  codes.push_back(129);
  for (size_t at = 0; at < codes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, codes.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(at), codes.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  out.insert(out.end(), {0, 0x3B});
  return out;
}

// An uncompressed RGB TIFF of one colour (little-endian, one strip).
inline std::vector<uint8_t> SolidTif(int w, int h, COLORREF colour) {
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto le = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t pixels = static_cast<uint32_t>(w * h * 3);
  const struct {
    uint16_t tag, type;
    uint32_t count, value;
  } entries[] = {{256, 4, 1, static_cast<uint32_t>(w)}, {257, 4, 1, static_cast<uint32_t>(h)}, {258, 3, 3, 122},
                 {259, 3, 1, 1},   {262, 3, 1, 2},   {273, 4, 1, 128},
                 {277, 3, 1, 3},   {278, 4, 1, static_cast<uint32_t>(h)}, {279, 4, 1, pixels}};
  le(9, 2);
  for (const auto& e : entries) {
    le(e.tag, 2);
    le(e.type, 2);
    le(e.count, 4);
    le(e.value, 4);
  }
  le(0, 4);  // no further directory; the table ends at 122
  for (int i = 0; i < 3; ++i) le(8, 2);  // bits per sample, then the strip at 128
  for (uint32_t i = 0; i < pixels / 3; ++i) out.insert(out.end(), {GetRValue(colour), GetGValue(colour), GetBValue(colour)});
  return out;
}

// The 80 x 55 pixels of an image list slot, row by row.
inline std::vector<COLORREF> SlotPixels(HIMAGELIST list, int slot) {
  const HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 80, 55);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  ImageList_Draw(list, slot, dc, 0, 0, ILD_NORMAL);
  std::vector<COLORREF> pixels;
  for (int i = 0; i < 80 * 55; ++i) pixels.push_back(GetPixel(dc, i % 80, i / 80));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

inline COLORREF At(const std::vector<COLORREF>& pixels, int x, int y) {
  return pixels[static_cast<size_t>(y * CMyUpLoadDlg::kThumbWidth + x)];
}

inline bool ThumbQueued(HWND page) {
  MSG msg;
  return PeekMessageW(&msg, page, WM_THUMB_READY, WM_THUMB_READY, PM_NOREMOVE) != FALSE;
}

inline int ItemImage(const CListCtrl& list, int index) {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  return list.GetItem(&item) ? item.iImage : -1;
}

// A visible popup holding the page, with a signed-in user and a capture of message boxes.
class PageFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_host.CreateEx(0, CWnd::DefaultWindowClass(), L"upload page host", WS_POPUP | WS_VISIBLE,
                                RECT{0, 0, 700, 560}, nullptr, 0));
    m_page = std::make_unique<CMyUpLoadDlg>();
    ASSERT_TRUE(m_page->Create(m_host.m_hWnd));
  }
  void TearDown() override {
    m_page.reset();
    m_host.DestroyWindow();
  }

  std::wstring Folder() const { return m_dir.Path().wstring(); }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const { m_dir.Write(name, bytes); }
  // Lists a folder the way a folder choice does and lets the loader finish.
  void ShowFolder(const std::wstring& folder) {
    m_page->m_strFolder = folder;
    m_page->SendMessage(WM_FOLDER_CHANGED, 0, 0);
    ASSERT_TRUE(WaitForThumbnails());
  }
  // Until the loader has ended and its messages are handled.
  bool WaitForThumbnails() {
    return PumpUntil([&] { return !m_page->ThumbLoaderRunning() && !ThumbQueued(m_page->m_hWnd); }, 60000);
  }

  MessageBoxCapture m_capture;
  uploadtest::SettingsFolder m_settings{L"tester"};
  TempDir m_dir;
  CWnd m_host;
  std::unique_ptr<CMyUpLoadDlg> m_page;
};

using UploadPageTest = PageFixture;
using ThumbnailsTest = PageFixture;

void Click(CWnd& page, int id) {
  page.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(page.GetDlgItem(id)));
}

TEST_F(UploadPageTest, TheScanListsUncheckedPhotosAndSkipsHiddenFilesAndFoldersEvenAtADriveRoot) {
  // A short name is read within its own length: the "jpg" just before "pg" does not count.
  const wchar_t text[] = L"xjpg";
  EXPECT_FALSE(CMyUpLoadDlg::IsPhotoName(text + 2));
  EXPECT_FALSE(CMyUpLoadDlg::IsPhotoName(nullptr));

  const std::vector<uint8_t> bytes = SolidBmp(8, 6, kRed);
  for (const char* name : {"x.JPG", "y.gif", "z.jpeg", "h.jpg", "notes.txt"}) Write(name, bytes);
  std::filesystem::create_directory(m_dir.Path() / "sub.bmp");
  ASSERT_TRUE(SetFileAttributesW((m_dir.Path() / "h.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN));

  // A drive-root-like path ending in a backslash: searched and joined without a doubled one.
  for (const std::wstring& folder : {Folder(), Folder() + L"\\"}) {
    ShowFolder(folder);
    EXPECT_EQ(0u, m_capture.Count());
    std::vector<std::wstring> names = m_page->m_vecNames;
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::wstring>{L"x.JPG", L"y.gif"}), names);
    ASSERT_EQ(2, m_page->m_listPhotos.GetItemCount());
    EXPECT_FALSE(m_page->m_listPhotos.GetCheck(0) || m_page->m_listPhotos.GetCheck(1));
    EXPECT_EQ(Folder() + L"\\" + m_page->m_vecNames[0], m_page->FullPath(0));
  }
  EXPECT_EQ(L"", m_page->FullPath(2));
  EXPECT_FALSE(m_page->AddUploadPath(-1));
}

TEST_F(UploadPageTest, SelectAllChecksAtMostTheFirst100AndSelectNoneUnchecksAll) {
  for (int photos : {3, 150}) {
    SCOPED_TRACE(photos);
    std::vector<std::wstring> names;
    for (int i = 0; i < photos; ++i) names.push_back(L"p" + std::to_wstring(i) + L".jpg");
    const size_t before = m_capture.Count();
    uploadtest::ListPhotos(*m_page, L"C:\\p", names, photos > 120 ? std::vector<int>{120} : std::vector<int>{});
    Click(*m_page, IDC_SELECT_ALL);
    ASSERT_EQ(before + (photos > 100 ? 1 : 0), m_capture.Count());
    if (photos > 100) {
      EXPECT_EQ(L"每次只能上传100张照片!请您分次进行上传!", m_capture.Boxes().back().text);
      EXPECT_EQ(GetAppName(), m_capture.Boxes().back().caption);
    }
    std::vector<std::wstring> paths;  // the first 100 and item 120, checked before
    for (int i = 0; i < photos; ++i) {
      EXPECT_EQ(i < 100 || i == 120, m_page->m_listPhotos.GetCheck(i) != FALSE) << i;
      if (i < 100 || i == 120) paths.push_back(L"C:\\p\\" + names[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(paths, m_page->m_arrUploadPaths);

    Click(*m_page, IDC_SELECT_NONE);
    EXPECT_EQ(0, uploadtest::CheckedCount(*m_page));
    EXPECT_TRUE(m_page->m_arrUploadPaths.empty());
  }
}

// The page's footer band (from y = 460 down) as drawn on grey, against `text` written there in
// the footer's font and colour: true when every pixel agrees.
bool FooterShows(CMyUpLoadDlg& page, const wchar_t* text) {
  constexpr COLORREF kGrey = RGB(241, 241, 241);
  guitest::Canvas drawn(700, 520, kGrey), expected(700, 520, kGrey);
  drawn.Send(page.m_hWnd, WM_ERASEBKGND);
  LOGFONTW font{};
  font.lfHeight = -MulDiv(10, GetDeviceCaps(expected.dc(), LOGPIXELSY), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
  const HFONT handle = CreateFontIndirectW(&font);
  const HGDIOBJ old = SelectObject(expected.dc(), handle);
  SetBkMode(expected.dc(), TRANSPARENT);
  SetTextColor(expected.dc(), RGB(71, 71, 71));
  TextOutW(expected.dc(), 20, 467, text, lstrlenW(text));
  SelectObject(expected.dc(), old);
  DeleteObject(handle);
  for (int y = 460; y < 520; ++y) {
    for (int x = 0; x < 700; ++x) {
      if (drawn.Pixel(x, y) != expected.Pixel(x, y)) return false;
    }
  }
  return true;
}

TEST_F(UploadPageTest, TheFooterShowsOnlyTheProductsNameAndRights) {
  EXPECT_STREQ(L"Zorvan照片冲印 版权所有", CMyUpLoadDlg::kFooterText);
  EXPECT_TRUE(FooterShows(*m_page, L"Zorvan照片冲印 版权所有"));
  // The font tells the characters apart, so the comparison means something.
  EXPECT_FALSE(FooterShows(*m_page, L"Zorvan照片冲印 有限公司"));
  EXPECT_FALSE(FooterShows(*m_page, L""));
}

TEST_F(ThumbnailsTest, PhotosGetScaledCentredTilesAndAnUnreadableOneKeepsThePlaceholder) {
  // The picture expected inside each tile (colour, x, y, width, height): 4:3, 3:2 and 1:1
  // photos, an unreadable file (none), and a GIF and a TIFF (the platform's decoders, whose
  // indexed and RGB pixels reach the tile by another path than a BMP's).
  struct Tile {
    COLORREF colour;
    int x, y, width, height;
  };
  const Tile tiles[] = {{kRed, 3, 0, 73, 55},   {kGreen, 0, 1, 80, 53}, {0, 0, 0, 0, 0},
                        {kBlue, 12, 0, 55, 55}, {kGreen, 3, 0, 73, 55}, {kRed, 0, 1, 80, 53}};
  Write("a.bmp", SolidBmp(400, 300, kRed));
  Write("b.bmp", SolidBmp(300, 200, kGreen));
  Write("c.jpg", std::vector<uint8_t>(300, 0x11));
  Write("d.bmp", SolidBmp(100, 100, kBlue));
  Write("e.gif", SolidGif(120, 90, kGreen));
  Write("f.tif", SolidTif(150, 100, kRed));
  ShowFolder(Folder());
  ASSERT_EQ(6u, m_page->m_vecNames.size());
  for (int k = 0; k < 6; ++k) {
    const std::wstring& name = m_page->m_vecNames[static_cast<size_t>(k)];
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    const Tile t = tiles[name[0] - L'a'];
    ASSERT_EQ(t.width == 0 ? 0 : k + 1, ItemImage(m_page->m_listPhotos, k));  // each item its own slot
    if (t.width == 0) continue;
    const std::vector<COLORREF> tile = SlotPixels(m_page->m_imgThumbs, k + 1);
    const int right = t.x + t.width - 1, bottom = t.y + t.height - 1, midX = t.x + t.width / 2,
              midY = t.y + t.height / 2;
    for (POINT p : {POINT{t.x, midY}, POINT{right, midY}, POINT{midX, t.y}, POINT{midX, bottom}}) {
      EXPECT_TRUE(Near(t.colour, At(tile, p.x, p.y))) << p.x << "," << p.y;
    }
    for (POINT p : {POINT{t.x - 1, midY}, POINT{right + 1, midY}, POINT{midX, t.y - 1}, POINT{midX, bottom + 1}}) {
      EXPECT_TRUE(p.x < 0 || p.x > 79 || p.y < 0 || p.y > 54 || At(tile, p.x, p.y) == kWhite) << p.x << "," << p.y;
    }
  }
}

TEST_F(ThumbnailsTest, TheLoaderCoversColumnsTimes255ItemsAtMost) {
  m_page->m_listPhotos.MoveWindow(202, 30, 130, 375);  // one column
  const std::vector<uint8_t> bytes = SolidBmp(8, 6, kRed);
  for (int i = 0; i < 257; ++i) Write("p" + std::to_string(1000 + i) + ".bmp", bytes);
  ShowFolder(Folder());
  ASSERT_EQ(257, m_page->m_listPhotos.GetItemCount());
  ASSERT_EQ(1, m_page->m_nColumns);
  EXPECT_EQ(256, m_page->m_imgThumbs.GetImageCount());
  for (int k = 0; k < 257; ++k) EXPECT_EQ(k < 255 ? k + 1 : 0, ItemImage(m_page->m_listPhotos, k)) << k;
}

// A JPEG's frame header (the last SOF0 in the file, after any thumbnail's) declaring w x h.
void DeclareSize(std::vector<uint8_t>* jpeg, int w, int h) {
  for (size_t i = jpeg->size() - 9; i > 2; --i) {
    if ((*jpeg)[i] == 0xFF && (*jpeg)[i + 1] == 0xC0) {
      (*jpeg)[i + 5] = static_cast<uint8_t>(h >> 8), (*jpeg)[i + 6] = static_cast<uint8_t>(h);
      (*jpeg)[i + 7] = static_cast<uint8_t>(w >> 8), (*jpeg)[i + 8] = static_cast<uint8_t>(w);
      return;
    }
  }
}

constexpr jpegtest::Bgr kJpegRed{30, 20, 220}, kJpegGreen{40, 180, 20}, kJpegBlue{255, 0, 0};

TEST_F(ThumbnailsTest, EveryOrientationGivesAnUprightPortraitTile) {
  // Portrait photos (3:4 upright) stored turned each way; the upright top-left quarter is green.
  for (int o = 1; o <= 8; ++o) {
    Write("o" + std::to_string(o) + ".jpg", jpegtest::OrientedCornerJpeg(300, 400, o, kJpegRed, kJpegGreen));
  }
  ShowFolder(Folder());
  ASSERT_EQ(8u, m_page->m_vecNames.size());
  for (int k = 0; k < 8; ++k) {
    const std::wstring& name = m_page->m_vecNames[static_cast<size_t>(k)];
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ASSERT_EQ(k + 1, ItemImage(m_page->m_listPhotos, k));
    // 41 x 55 at x = 19: green top left, red elsewhere, white beside.
    const std::vector<COLORREF> tile = SlotPixels(m_page->m_imgThumbs, k + 1);
    EXPECT_TRUE(Near(kGreen, At(tile, 19 + 5, 5)));
    EXPECT_TRUE(Near(kRed, At(tile, 19 + 36, 5)));
    EXPECT_TRUE(Near(kRed, At(tile, 19 + 5, 50)));
    EXPECT_TRUE(Near(kRed, At(tile, 19 + 36, 50)));
    EXPECT_EQ(kWhite, At(tile, 18, 27));
    EXPECT_EQ(kWhite, At(tile, 60, 27));
  }
}

TEST_F(ThumbnailsTest, EmbeddedThumbnailsServeWithoutBarsAndDamagedOnesAreIgnored) {
  // 3:2 photos, red, with a blue 160 x 120 thumbnail that shows them between black bars.
  const std::vector<uint8_t> barred = jpegtest::EncodeJpeg(160, 120, [](int, int y) {
    return y >= 6 && y < 113 ? kJpegBlue : jpegtest::Bgr{0, 0, 0};
  });
  std::vector<uint8_t> cut = barred;
  cut.resize(cut.size() / 2);
  const std::vector<uint8_t> twoMb(65000, 0x5A);
  std::vector<std::vector<uint8_t>> segments(32, jpegtest::Segment(0xE2, twoMb));
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    COLORREF colour;
  };
  const Case cases[] = {
      {"a_thumbnail.jpg", jpegtest::OrientedCornerJpeg(600, 400, 1, kJpegRed, kJpegRed, barred), kBlue},
      {"b_damaged.jpg", jpegtest::OrientedCornerJpeg(600, 400, 1, kJpegRed, kJpegRed, cut), kRed},
      {"c_segments.jpg", jpegtest::WithSegments(jpegtest::CornerJpeg(600, 400, kJpegRed, kJpegRed), segments), kRed},
  };
  for (const Case& c : cases) Write(c.name, c.file);
  ASSERT_GT(cases[2].file.size(), 2000000u);
  ShowFolder(Folder());
  for (int k = 0; k < 3; ++k) {
    const std::wstring& name = m_page->m_vecNames[static_cast<size_t>(k)];
    const Case& c = cases[name[0] - L'a'];
    SCOPED_TRACE(c.name);
    ASSERT_EQ(k + 1, ItemImage(m_page->m_listPhotos, k));
    // 80 x 53 at y = 1: the picture's colour on its first and last rows, white outside.
    const std::vector<COLORREF> tile = SlotPixels(m_page->m_imgThumbs, k + 1);
    for (int x : {0, 40, 79}) {
      EXPECT_TRUE(Near(c.colour, At(tile, x, 1))) << x;
      EXPECT_TRUE(Near(c.colour, At(tile, x, 53))) << x;
      EXPECT_EQ(kWhite, At(tile, x, 0));
      EXPECT_EQ(kWhite, At(tile, x, 54));
    }
  }
}

TEST_F(ThumbnailsTest, ATinyJpegDeclaring30000By30000KeepsItsPlaceholderAtOnce) {
  std::vector<uint8_t> huge = jpegtest::CornerJpeg(64, 48, kJpegRed, kJpegGreen);
  DeclareSize(&huge, 30000, 30000);
  ASSERT_LT(huge.size(), 2048u);
  Write("huge.jpg", huge);
  PROCESS_MEMORY_COUNTERS before{};
  ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before));
  const DWORD start = GetTickCount();
  ShowFolder(Folder());
  const DWORD elapsed = GetTickCount() - start;
  PROCESS_MEMORY_COUNTERS after{};
  ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after));
  EXPECT_EQ(0, ItemImage(m_page->m_listPhotos, 0));
  EXPECT_LT(after.PeakWorkingSetSize - before.PeakWorkingSetSize, 64u << 20);
  EXPECT_LT(elapsed, 5000u);  // a bound only a decode of 900 million pixels would break
  std::cout << "[ info ] placeholder after " << elapsed << " ms, peak working set grew by "
            << (after.PeakWorkingSetSize - before.PeakWorkingSetSize) / 1024 << " KiB\n";
}

// A decode that cannot be interrupted: it ignores the stop flag until released (10 s at most).
HANDLE BlockRelease() {
  static const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return release;
}
std::atomic<int> g_blockedTiles{0};
HBITMAP BlockingTile(const std::wstring& path, const photo::StopFlag*) {
  ++g_blockedTiles;
  WaitForSingleObject(BlockRelease(), 10000);
  return MakePhotoTile(path, nullptr);
}

TEST_F(ThumbnailsTest, RefreshAndTeardownDuringLoadingReturnWithinASecondAndNoOldTileIsShown) {
  const std::vector<uint8_t> picture = SolidBmp(160, 120, kGreen);
  for (int i = 0; i < 10; ++i) Write("p" + std::to_string(i) + ".bmp", picture);
  TempDir fresh;  // nothing readable: every item keeps the placeholder
  for (int i = 0; i < 10; ++i) fresh.Write("n" + std::to_string(i) + ".jpg", std::vector<uint8_t>(64, 7));
  CThumbLoader::SetTileMaker(&BlockingTile);
  auto startBlocked = [&](const std::wstring& folder) {
    ResetEvent(BlockRelease());
    const int before = g_blockedTiles;
    m_page->m_strFolder = folder;
    m_page->SendMessage(WM_FOLDER_CHANGED, 0, 0);
    return PumpUntil([&] { return g_blockedTiles > before; }, 5000);
  };

  // A folder change while every decoding thread is stuck.
  ASSERT_TRUE(startBlocked(Folder()));
  DWORD start = GetTickCount();
  m_page->m_strFolder = fresh.Path().wstring();
  m_page->SendMessage(WM_FOLDER_CHANGED, 0, 0);
  const DWORD refresh = GetTickCount() - start;
  EXPECT_LT(refresh, 1000u);
  ASSERT_EQ(10, m_page->m_listPhotos.GetItemCount());
  EXPECT_EQ(L'n', m_page->m_listPhotos.GetItemText(0, 0)[0]);
  // Released, the abandoned decodes end; their tiles are thrown away.
  SetEvent(BlockRelease());
  ASSERT_TRUE(WaitForThumbnails());
  PumpFor(300);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(0, ItemImage(m_page->m_listPhotos, k)) << k;
  EXPECT_EQ(1, m_page->m_imgThumbs.GetImageCount());

  // Teardown while every decoding thread is stuck.
  ASSERT_TRUE(startBlocked(Folder()));
  start = GetTickCount();
  m_page.reset();
  const DWORD teardown = GetTickCount() - start;
  EXPECT_LT(teardown, 1000u);
  SetEvent(BlockRelease());
  CThumbLoader::SetTileMaker(nullptr);
  std::cout << "[ info ] refresh " << refresh << " ms, teardown " << teardown << " ms with decodes stuck\n";
  Sleep(300);  // the abandoned threads end by themselves, touching nothing of the page
}

}  // namespace
