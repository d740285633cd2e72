// The program's resources as the windows use them: every image at the size its window expects,
// the buttons' transparent colour, the dialog templates with their controls and texts, the
// folder menu, the about string and the common controls the manifest selects.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
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

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(ResourcesTest, DialogTemplatesHoldTheirControlsAndTexts) {
  const struct {
    int id, cx, cy;  // dialog units
    DWORD required, forbidden;
    std::vector<int> controls;  // in template order
  } templates[] = {
      {IDD_FOTREL_DIALOG, 459, 416, WS_POPUP | DS_CENTER, WS_CHILD | WS_CAPTION | WS_THICKFRAME, {}},
      {IDD_WEBPAGE, 279, 177, WS_CHILD, WS_POPUP | WS_VISIBLE | WS_CAPTION, {IDC_BROWSER}},
      {IDD_LOGIN,
       416,
       364,
       WS_POPUP,
       WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME,
       {IDC_USERNAME_LABEL, IDC_USERNAME, IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_REMEMBER, IDC_REMEMBER_LABEL, IDC_LOGIN,
        IDC_SWITCH_REGISTER, IDC_REG_EMAIL_LABEL, IDC_REG_EMAIL, IDC_REG_USERNAME_LABEL, IDC_REG_USERNAME,
        IDC_REG_PASSWORD_LABEL, IDC_REG_PASSWORD, IDC_REG_CONFIRM_LABEL, IDC_REG_CONFIRM, IDC_REGISTER}},
      {IDD_MAINUPLOAD, 424, 314, WS_POPUP | WS_SYSMENU, WS_CHILD | WS_VISIBLE | WS_CAPTION, {IDC_TABS}},
      {IDD_UPLOAD,
       434,
       286,
       WS_CHILD | WS_VISIBLE,
       WS_POPUP | WS_CAPTION,
       {IDC_PHOTO_LIST, IDC_SELECT_ALL, IDC_SELECT_NONE, IDC_UPLOAD, IDC_PREVIEW, IDC_PROGRESS}},
  };
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 700, nullptr, nullptr, Module(), nullptr);
  for (const auto& t : templates) {
    SCOPED_TRACE(t.id);
    // The fixed header of an extended template: style at 12, count at 16, size at 22 and 24.
    const std::vector<unsigned char> bytes = ResourceBytes(t.id, RT_DIALOG);
    ASSERT_GE(bytes.size(), 26u);
    auto word = [&](size_t at) { return static_cast<DWORD>(bytes[at] | (bytes[at + 1] << 8)); };
    ASSERT_EQ(0xFFFFu, word(2));
    const DWORD style = word(12) | (word(14) << 16);
    EXPECT_EQ(t.required, style & t.required);
    EXPECT_EQ(0u, style & t.forbidden);
    EXPECT_EQ(t.controls.size(), word(16));
    EXPECT_EQ(static_cast<DWORD>(t.cx), word(22));
    EXPECT_EQ(static_cast<DWORD>(t.cy), word(24));
    HWND dialog = CreateDialogParamW(Module(), MAKEINTRESOURCEW(t.id), parent, PlainDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
    std::vector<int> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
      controls.push_back(GetDlgCtrlID(c));
    EXPECT_EQ(t.controls, controls);
    if (t.id != IDD_LOGIN) {
      DestroyWindow(dialog);
      continue;
    }
    // The login forms: the labels' texts, masked passwords, no length limit, buttons without text.
    const std::pair<int, const wchar_t*> labels[] = {
        {IDC_USERNAME_LABEL, L"用户名"},     {IDC_PASSWORD_LABEL, L"密码"},       {IDC_REMEMBER_LABEL, L"记住我的密码"},
        {IDC_REG_EMAIL_LABEL, L"邮箱"},      {IDC_REG_USERNAME_LABEL, L"用户名"}, {IDC_REG_PASSWORD_LABEL, L"密码"},
        {IDC_REG_CONFIRM_LABEL, L"确认密码"}};
    for (const auto& label : labels) {
      wchar_t text[32] = {};
      GetDlgItemTextW(dialog, label.first, text, 32);
      EXPECT_EQ(std::wstring(label.second), text) << label.first;
    }
    for (int id : {IDC_USERNAME, IDC_PASSWORD, IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM}) {
      const bool masked = id == IDC_PASSWORD || id == IDC_REG_PASSWORD || id == IDC_REG_CONFIRM;
      EXPECT_EQ(masked, (GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & ES_PASSWORD) != 0) << id;
      EXPECT_GT(SendDlgItemMessageW(dialog, id, EM_GETLIMITTEXT, 0, 0), 1000) << id;
    }
    EXPECT_EQ(BS_AUTOCHECKBOX, GetWindowLongPtrW(GetDlgItem(dialog, IDC_REMEMBER), GWL_STYLE) & BS_TYPEMASK);
    for (int id : {IDC_LOGIN, IDC_SWITCH_REGISTER, IDC_REGISTER}) {
      EXPECT_EQ(BS_PUSHBUTTON, GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & BS_TYPEMASK) << id;
      EXPECT_EQ(0, GetWindowTextLengthW(GetDlgItem(dialog, id))) << id;
    }
    DestroyWindow(dialog);
  }
  DestroyWindow(parent);
}

TEST(ResourcesTest, MenuStringsNumbersAndCommonControls) {
  HMENU menu = LoadMenuW(Module(), MAKEINTRESOURCEW(IDM_FOLDER_CONTEXT));
  ASSERT_NE(nullptr, menu);
  wchar_t text[64] = {};
  GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(L"My Ctx Menu", text);
  HMENU popup = GetSubMenu(menu, 0);
  EXPECT_EQ(1, GetMenuItemCount(menu));
  EXPECT_EQ(1, GetMenuItemCount(popup));
  GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(L"&Shell", text);
  EXPECT_EQ(32771u, GetMenuItemID(popup, 0));
  DestroyMenu(menu);
  EXPECT_EQ(16, LoadStringW(Module(), IDS_ABOUTBOX, text, 64));
  EXPECT_EQ(std::wstring(L"关于 Fotrel(&A)..."), text);
  // The windows and other programs' resources agree on these numbers, not on the names.
  const int numbers[] = {IDD_FOTREL_DIALOG,  IDD_WEBPAGE,  IDD_LOGIN,    IDD_MAINUPLOAD, IDD_UPLOAD,
                         IDM_FOLDER_CONTEXT, IDS_ABOUTBOX, IDM_ABOUTBOX, IDI_TRAY,       IDB_NO_PHOTO};
  EXPECT_EQ((std::vector<int>{102, 129, 131, 10000, 10001, 10003, 101, 16, 242, 10005}),
            std::vector<int>(std::begin(numbers), std::end(numbers)));
  EXPECT_NE(nullptr, FindResourceW(Module(), MAKEINTRESOURCEW(1), RT_VERSION));
  // Version 6 of the common controls is a side-by-side assembly: the manifest makes the process
  // load it from WinSxS instead of the system folder's version 5.
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH), 0u);
  std::wstring lower(path);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(std::wstring::npos, lower.find(L"\\winsxs\\")) << lower;
  EXPECT_NE(std::wstring::npos, lower.find(L"common-controls")) << lower;
}

}  // namespace
