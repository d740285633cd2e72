// The program's resources as the windows use them: every image at the size its window expects,
// the buttons' transparent colour, the folder menu, the about string and the manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <tuple>
#include <vector>

#include "res/resource.h"

namespace {

HMODULE Module() { return GetModuleHandleW(nullptr); }

std::vector<unsigned char> ResourceBytes(int id, const wchar_t* type) {
  HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(id), type);
  const void* data = found ? LockResource(LoadResource(Module(), found)) : nullptr;
  if (!data) return {};
  return std::vector<unsigned char>(static_cast<const unsigned char*>(data),
                                    static_cast<const unsigned char*>(data) + SizeofResource(Module(), found));
}

TEST(ResourcesTest, ImagesHaveTheSizesTheirWindowsExpect) {
  const struct {
    int id, width, height;
  } pngs[] = {{IDB_SKIN_BACKGROUND, 560, 560}, {IDB_SKIN_INNER, 457, 398},   {IDB_SKIN_LEFT, 19, 182},
              {IDB_SKIN_RIGHT, 23, 182},       {IDB_SKIN_TOP, 300, 18},      {IDB_SKIN_BOTTOM, 300, 24},
              {IDB_SKIN_TOPLEFT, 19, 18},      {IDB_SKIN_TOPRIGHT, 23, 18},  {IDB_SKIN_BOTTOMLEFT, 19, 24},
              {IDB_SKIN_BOTTOMRIGHT, 23, 24},  {IDB_SKIN_CLOSE, 61, 35},     {IDB_SKIN_CLOSE_HOVER, 61, 35},
              {IDB_SKIN_HIDE, 61, 35},         {IDB_SKIN_HIDE_HOVER, 61, 35}};
  for (const auto& png : pngs) {  // the PNG header: width, height, 8 bits per channel with alpha
    const std::vector<unsigned char> b = ResourceBytes(png.id, L"PNG");
    ASSERT_GE(b.size(), 26u) << png.id;
    const auto be32 = [&](size_t at) {
      return int(b[at]) << 24 | int(b[at + 1]) << 16 | int(b[at + 2]) << 8 | b[at + 3];
    };
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\nIHDR"),
              std::string(b.begin(), b.begin() + 8) + std::string(b.begin() + 12, b.begin() + 16));
    EXPECT_EQ(std::make_tuple(png.width, png.height, 8, 6), std::make_tuple(be32(16), be32(20), int(b[24]), int(b[25])))
        << png.id;
  }
  const struct {
    int id, width, height, bits;
    bool button;  // black is a button's transparent colour: only in its four rounded corners
  } bitmaps[] = {{IDB_LOGIN_BUTTON, 58, 26, 24, true},      {IDB_LOGIN_BUTTON_HOVER, 58, 26, 24, true},
                 {IDB_REGISTER_BUTTON, 58, 26, 24, true},   {IDB_REGISTER_BUTTON_HOVER, 58, 26, 24, true},
                 {IDB_SELECTALL_BUTTON, 93, 26, 24, true},  {IDB_SELECTALL_BUTTON_HOVER, 93, 26, 24, true},
                 {IDB_SELECTNONE_BUTTON, 93, 26, 24, true}, {IDB_SELECTNONE_BUTTON_HOVER, 93, 26, 24, true},
                 {IDB_UPLOAD_BUTTON, 98, 24, 24, true},     {IDB_UPLOAD_BUTTON_HOVER, 98, 24, 24, true},
                 {IDB_LOGIN_FORM, 312, 248, 24, false},     {IDB_REGISTER_FORM, 312, 248, 24, false},
                 {IDB_LIST_HEADER, 1, 24, 24, false},       {IDB_LIST_TITLE, 443, 21, 24, false},
                 {IDB_FOLDER_TITLE, 172, 22, 24, false},    {IDB_PREVIEW_FRAME, 172, 177, 24, false},
                 {IDB_BUTTON_BAR, 415, 35, 24, false},      {IDB_NO_PHOTO, 46, 45, 8, false},
                 {IDB_TABS_BACKGROUND, 640, 32, 24, false}, {IDB_TAB_ACTIVE, 96, 24, 24, false},
                 {IDB_TAB_NORMAL, 96, 24, 24, false},       {IDB_TAB_ROW, 1, 24, 24, false}};
  for (const auto& b : bitmaps) {
    SCOPED_TRACE(b.id);
    HBITMAP handle =
        static_cast<HBITMAP>(LoadImageW(Module(), MAKEINTRESOURCEW(b.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION dib{};
    ASSERT_EQ(static_cast<int>(sizeof dib), GetObjectW(handle, sizeof dib, &dib));
    EXPECT_EQ(std::make_tuple(b.width, b.height, b.bits),
              std::make_tuple(dib.dsBm.bmWidth, dib.dsBm.bmHeight, int(dib.dsBm.bmBitsPixel)));
    int blackInside = 0, blackCorners = 0;
    for (int y = 0; b.bits == 24 && y < b.height; ++y) {  // rows bottom-up, 0xBBGGRR
      const unsigned char* row =
          static_cast<const unsigned char*>(dib.dsBm.bmBits) + size_t(b.height - 1 - y) * dib.dsBm.bmWidthBytes;
      for (int x = 0; x < b.width; ++x) {
        const bool black = row[3 * x] == 0 && row[3 * x + 1] == 0 && row[3 * x + 2] == 0;
        const bool corner = (x < 4 || x >= b.width - 4) && (y < 4 || y >= b.height - 4);
        blackInside += black && !(b.button && corner);
        blackCorners += black && (x == 0 || x == b.width - 1) && (y == 0 || y == b.height - 1);
      }
    }
    EXPECT_EQ(std::make_pair(0, b.button ? 4 : 0), std::make_pair(blackInside, blackCorners));
    DeleteObject(handle);
  }
  for (int id : {IDR_MAINFRAME, IDI_TRAY}) {  // the icon directories offer 16, 32 and 48 pixels
    const std::vector<unsigned char> group = ResourceBytes(id, RT_GROUP_ICON);
    ASSERT_EQ(6u + 3 * 14, group.size()) << id;
    std::vector<int> sizes = {group[6], group[20], group[34]};
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ((std::vector<int>{16, 32, 48}), sizes) << id;
  }
}

TEST(ResourcesTest, MenuAboutStringAndCommonControls) {
  HMENU menu = LoadMenuW(Module(), MAKEINTRESOURCEW(IDM_FOLDER_CONTEXT));
  ASSERT_NE(nullptr, menu);
  wchar_t text[64] = {};
  GetMenuStringW(GetSubMenu(menu, 0), 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(L"&Shell", text);
  EXPECT_EQ(32771u, GetMenuItemID(GetSubMenu(menu, 0), 0));
  DestroyMenu(menu);
  EXPECT_EQ(16, LoadStringW(Module(), IDS_ABOUTBOX, text, 64));
  EXPECT_EQ(std::wstring(L"关于 Fotrel(&A)..."), text);
  // The manifest selects version 6 of the common controls, a side-by-side assembly from WinSxS.
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH), 0u);
  std::wstring lower(path);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(std::wstring::npos, lower.find(L"\\winsxs\\")) << lower;
}

}  // namespace
