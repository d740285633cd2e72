// Shared by the upload page's and the thumbnails' tests: photo files of one colour, a page in a
// visible popup with a signed-in user and a capture of message boxes, and a reader of image
// list slots.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/messages.h"
#include "framework/wnd.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/upload_flow_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/temp_dir.h"
#include "upload/upload_dlg.h"

namespace pagetest {

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

// The centre of an item's icon, in the list's client coordinates.
inline POINT ItemCentre(const CListCtrl& list, int index) {
  RECT rc{LVIR_ICON, 0, 0, 0};
  list.SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
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
  explicit PageFixture(const std::wstring& user = L"tester") : m_settings(user) {}

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
  uploadtest::SettingsFolder m_settings;
  TempDir m_dir;
  CWnd m_host;
  std::unique_ptr<CMyUpLoadDlg> m_page;
};

}  // namespace pagetest
