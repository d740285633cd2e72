// The photo list and its thumbnails: the placement arithmetic, the tiles the loader makes (read
// back from the image list's slots), the placeholder, the bound of the loader, stopping it, and
// the list control's mouse and keyboard rules.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/gui/upload_page_test_util.h"

namespace {

using namespace pagetest;
using ThumbnailsTest = PageFixture;

TEST_F(ThumbnailsTest, PhotosGetScaledCentredTilesAndAnUnreadableOneKeepsThePlaceholder) {
  // The picture expected inside each tile (colour, x, y, width, height): 4:3, 3:2 and 1:1
  // photos, an unreadable file (none) and a picture too small to be scaled (a white tile).
  struct Tile {
    COLORREF colour;
    int x, y, width, height;
  };
  const std::map<std::wstring, Tile> tiles = {
      {L"a.bmp", {kRed, 3, 0, 73, 55}},   {L"b.bmp", {kGreen, 0, 1, 80, 53}}, {L"c.jpg", {0, 0, 0, 0, 0}},
      {L"d.bmp", {kBlue, 12, 0, 55, 55}}, {L"e.bmp", {kWhite, 0, 0, 80, 55}}};
  Write("a.bmp", SolidBmp(400, 300, kRed));
  Write("b.bmp", SolidBmp(300, 200, kGreen));
  Write("c.jpg", std::vector<uint8_t>(300, 0x11));
  Write("d.bmp", SolidBmp(100, 100, kBlue));
  Write("e.bmp", SolidBmp(1, 1, kRed));
  ShowFolder(Folder());
  ASSERT_EQ(5u, m_page->m_vecNames.size());
  for (int k = 0; k < 5; ++k) {
    const std::wstring& name = m_page->m_vecNames[static_cast<size_t>(k)];
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    const Tile t = tiles.at(name);
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
  // The placeholder: white, framed in RGB(132,29,22), the NO PHOTO picture at (17,5).
  const std::vector<COLORREF> tile = SlotPixels(m_page->m_imgThumbs, 0);
  for (POINT p : {POINT{0, 0}, POINT{79, 54}, POINT{40, 0}, POINT{0, 27}, POINT{1, 1}, POINT{16, 27}, POINT{63, 27},
                  POINT{40, 4}, POINT{40, 50}}) {
    EXPECT_EQ(p.x % 79 == 0 || p.y % 54 == 0 ? RGB(132, 29, 22) : kWhite, At(tile, p.x, p.y)) << p.x << "," << p.y;
  }
  const HBITMAP picture = static_cast<HBITMAP>(
      LoadImageW(GetResourceInstance(), MAKEINTRESOURCEW(IDB_NO_PHOTO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  const HDC memory = CreateCompatibleDC(nullptr);
  const HGDIOBJ old = SelectObject(memory, picture);
  int differing = 0;
  for (int i = 0; i < 46 * 45; ++i) differing += GetPixel(memory, i % 46, i / 46) != At(tile, 17 + i % 46, 5 + i / 46);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(picture);
  EXPECT_EQ(0, differing);
  // The columns were counted from the first row.
  int columns = 0;
  POINT first{}, pt{};
  m_page->m_listPhotos.GetItemPosition(0, &first);
  for (int k = 0; k < 5; ++k) columns += m_page->m_listPhotos.GetItemPosition(k, &pt) && pt.y == first.y ? 1 : 0;
  EXPECT_EQ(columns, m_page->m_nColumns);
  EXPECT_GT(columns, 1);
  // A picture of the tile's own shape (0.6875 is not above it) fills the whole tile.
  const CMyUpLoadDlg::ThumbPlacement p = CMyUpLoadDlg::PlaceThumbnail(8000, 5500);
  EXPECT_EQ((std::vector<int>{80, 55, 0, 0}), (std::vector<int>{p.width, p.height, p.x, p.y}));
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

// Starts a refresh of a folder whose thumbnails take a while and waits until its loader has
// posted a tile (left unhandled); yields the loader thread.
HANDLE StartSlowRefresh(CMyUpLoadDlg& page, const std::wstring& folder) {
  page.m_strFolder = folder;
  page.SendMessage(WM_FOLDER_CHANGED, 0, 0);
  const HANDLE loader = OpenThread(SYNCHRONIZE, FALSE, page.ThumbLoaderThreadId());
  for (int i = 0; i < 6000 && !ThumbQueued(page.m_hWnd); ++i) Sleep(5);
  EXPECT_TRUE(ThumbQueued(page.m_hWnd));
  return loader;
}

TEST_F(ThumbnailsTest, AFolderChangeOrTeardownStopsTheLoaderAndNoOldThumbnailIsShown) {
  const std::vector<uint8_t> big = SolidBmp(1600, 1200, kGreen);
  for (int i = 0; i < 10; ++i) Write("big" + std::to_string(i) + ".bmp", big);
  TempDir fresh;  // nothing readable: every item keeps the placeholder
  for (int i = 0; i < 10; ++i) fresh.Write("n" + std::to_string(i) + ".jpg", std::vector<uint8_t>(64, 7));

  // The change arrives ahead of the old loader's queued thumbnails.
  HANDLE loader = StartSlowRefresh(*m_page, Folder());
  ASSERT_NE(nullptr, loader);
  m_page->m_strFolder = fresh.Path().wstring();
  m_page->SendMessage(WM_FOLDER_CHANGED, 0, 0);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(loader, 0));
  CloseHandle(loader);
  ASSERT_EQ(10, m_page->m_listPhotos.GetItemCount());
  EXPECT_EQ(L'n', m_page->m_listPhotos.GetItemText(0, 0)[0]);
  EXPECT_EQ(1, m_page->m_imgThumbs.GetImageCount());
  ASSERT_TRUE(WaitForThumbnails());
  for (int k = 0; k < 10; ++k) EXPECT_EQ(0, ItemImage(m_page->m_listPhotos, k)) << k;
  EXPECT_EQ(1, m_page->m_imgThumbs.GetImageCount());

  // Teardown, the object first or its window first (as with its parent): the loader has
  // ended when either returns.
  for (bool windowFirst : {false, true}) {
    if (!m_page) {
      m_page = std::make_unique<CMyUpLoadDlg>();
      ASSERT_TRUE(m_page->Create(m_host.m_hWnd));
    }
    loader = StartSlowRefresh(*m_page, Folder());
    ASSERT_NE(nullptr, loader);
    if (windowFirst) {
      m_page->DestroyWindow();
    } else {
      m_page.reset();
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(loader, 0)) << windowFirst;
    CloseHandle(loader);
  }
  PumpFor(50);
  EXPECT_EQ(0u, m_capture.Count());
}

std::vector<WPARAM> g_clicks;
WNDPROC g_pageProc = nullptr;
LRESULT CALLBACK RecordClicks(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PHOTO_CLICKED) g_clicks.push_back(wParam);
  return CallWindowProcW(g_pageProc, hwnd, msg, wParam, lParam);
}

TEST_F(ThumbnailsTest, TheListReportsSelectingClicksDropsEmptySpaceAndSelectsAllOnCtrlA) {
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) Write(name, SolidBmp(40, 30, kRed));
  ShowFolder(Folder());
  CMyListCtrl& list = m_page->m_listPhotos;
  g_clicks.clear();
  g_pageProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(m_page->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordClicks)));
  RECT client{};
  list.GetClientRect(&client);
  // Selecting item 1, clicking it again (no change), clicking empty space (dropped).
  for (POINT pt : {ItemCentre(list, 1), ItemCentre(list, 1), POINT{client.right - 4, client.bottom - 4}}) {
    PostMessageW(list.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));  // ends the list's mouse tracking
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    PumpFor(20);
  }
  SetWindowLongPtrW(m_page->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_pageProc));
  EXPECT_EQ(std::vector<WPARAM>{1}, g_clicks);
  EXPECT_EQ(1, list.SendMessage(LVM_GETSELECTEDCOUNT));
  EXPECT_NE(0u, list.GetItemState(1, LVIS_SELECTED));
  EXPECT_EQ(m_page->FullPath(1), m_page->m_stPreview.m_strImagePath);

  // Ctrl+A selects every photo and checks none.
  BYTE keys[256] = {}, withCtrl[256];
  ASSERT_TRUE(GetKeyboardState(keys));
  std::copy(std::begin(keys), std::end(keys), std::begin(withCtrl));
  withCtrl[VK_CONTROL] = withCtrl[VK_LCONTROL] = 0x80;
  SetKeyboardState(withCtrl);
  list.SendMessage(WM_KEYDOWN, 'A', 0);
  SetKeyboardState(keys);
  EXPECT_EQ(3, list.SendMessage(LVM_GETSELECTEDCOUNT));
  EXPECT_EQ(0, uploadtest::CheckedCount(*m_page));
  list.SetItemState(-1, 0, LVIS_SELECTED);
  list.SendMessage(WM_KEYDOWN, 'A', 0);  // A alone: the list's own handling only
  EXPECT_LT(list.SendMessage(LVM_GETSELECTEDCOUNT), 3);
}

}  // namespace
