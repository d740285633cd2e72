// The program's resources as the windows use them: every image at the size its window expects,
// the skin's transparency, the dialog templates in dialog units with their controls, the folder
// menu and the about string.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

HMODULE Module() { return GetModuleHandleW(nullptr); }

// Bytes of one resource; empty when it is missing.
std::vector<unsigned char> ResourceBytes(int id, const wchar_t* type) {
  HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(id), type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(Module(), found);
  const DWORD size = SizeofResource(Module(), found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  const unsigned char* p = static_cast<const unsigned char*>(data);
  return std::vector<unsigned char>(p, p + size);
}

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// ------------------------------------------------------------------------------------------
// PNG skin of the main window.

struct PngSize {
  int id;
  int width;
  int height;
};

const PngSize kPngs[] = {
    {IDB_SKIN_BACKGROUND, 560, 560}, {IDB_SKIN_INNER, 457, 398},     {IDB_SKIN_LEFT, 19, 182},
    {IDB_SKIN_RIGHT, 23, 182},       {IDB_SKIN_TOP, 300, 18},        {IDB_SKIN_BOTTOM, 300, 24},
    {IDB_SKIN_TOPLEFT, 19, 18},      {IDB_SKIN_TOPRIGHT, 23, 18},    {IDB_SKIN_BOTTOMLEFT, 19, 24},
    {IDB_SKIN_BOTTOMRIGHT, 23, 24},  {IDB_SKIN_CLOSE, 61, 35},       {IDB_SKIN_CLOSE_HOVER, 61, 35},
    {IDB_SKIN_HIDE, 61, 35},         {IDB_SKIN_HIDE_HOVER, 61, 35},
};

TEST(ResourcesTest, PngHeadersGiveTheSkinSizesWithAlpha) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const PngSize& png : kPngs) {
    SCOPED_TRACE(png.id);
    const std::vector<unsigned char> bytes = ResourceBytes(png.id, L"PNG");
    ASSERT_GE(bytes.size(), 33u);
    EXPECT_EQ(std::memcmp(bytes.data(), kSignature, 8), 0);
    EXPECT_EQ(BigEndian32(&bytes[8]), 13u);
    EXPECT_EQ(std::memcmp(&bytes[12], "IHDR", 4), 0);
    EXPECT_EQ(BigEndian32(&bytes[16]), uint32_t(png.width));
    EXPECT_EQ(BigEndian32(&bytes[20]), uint32_t(png.height));
    EXPECT_EQ(bytes[24], 8);  // bits per channel
    EXPECT_EQ(bytes[25], 6);  // truecolour with alpha
  }
}

// Decodes a PNG resource the way the main window does: its bytes in a stream, GDI+ on top.
class SkinImage {
 public:
  explicit SkinImage(int id) {
    const std::vector<unsigned char> bytes = ResourceBytes(id, L"PNG");
    if (bytes.empty()) return;
    IStream* stream = SHCreateMemStream(bytes.data(), UINT(bytes.size()));
    if (!stream) return;
    m_bitmap = Gdiplus::Bitmap::FromStream(stream);
    stream->Release();
    if (m_bitmap && m_bitmap->GetLastStatus() != Gdiplus::Ok) {
      delete m_bitmap;
      m_bitmap = nullptr;
    }
  }
  ~SkinImage() { delete m_bitmap; }
  SkinImage(const SkinImage&) = delete;
  SkinImage& operator=(const SkinImage&) = delete;

  bool Ok() const { return m_bitmap != nullptr; }
  int Width() const { return int(m_bitmap->GetWidth()); }
  int Height() const { return int(m_bitmap->GetHeight()); }
  int Alpha(int x, int y) const {
    Gdiplus::Color c;
    m_bitmap->GetPixel(x, y, &c);
    return c.GetA();
  }
  Gdiplus::ARGB Argb(int x, int y) const {
    Gdiplus::Color c;
    m_bitmap->GetPixel(x, y, &c);
    return c.GetValue();
  }

 private:
  Gdiplus::Bitmap* m_bitmap = nullptr;
};

TEST(ResourcesTest, GdiplusDecodesEverySkinImage) {
  for (const PngSize& png : kPngs) {
    SCOPED_TRACE(png.id);
    SkinImage image(png.id);
    ASSERT_TRUE(image.Ok());
    EXPECT_EQ(image.Width(), png.width);
    EXPECT_EQ(image.Height(), png.height);
  }
}

TEST(ResourcesTest, SkinIsRoundedAndSoftAtTheOuterEdgeAndOpaqueInside) {
  // The outermost pixels are (almost) clear, so the window's corners and edges fade out.
  SkinImage topLeft(IDB_SKIN_TOPLEFT), topRight(IDB_SKIN_TOPRIGHT);
  SkinImage bottomLeft(IDB_SKIN_BOTTOMLEFT), bottomRight(IDB_SKIN_BOTTOMRIGHT);
  SkinImage left(IDB_SKIN_LEFT), right(IDB_SKIN_RIGHT), top(IDB_SKIN_TOP), bottom(IDB_SKIN_BOTTOM);
  SkinImage inner(IDB_SKIN_INNER), background(IDB_SKIN_BACKGROUND);
  for (const SkinImage* image : {&topLeft, &topRight, &bottomLeft, &bottomRight, &left, &right, &top,
                                 &bottom, &inner, &background})
    ASSERT_TRUE(image->Ok());
  EXPECT_LT(topLeft.Alpha(0, 0), 32);
  EXPECT_LT(topRight.Alpha(topRight.Width() - 1, 0), 32);
  EXPECT_LT(bottomLeft.Alpha(0, bottomLeft.Height() - 1), 32);
  EXPECT_LT(bottomRight.Alpha(bottomRight.Width() - 1, bottomRight.Height() - 1), 32);
  EXPECT_LT(left.Alpha(0, 91), 32);
  EXPECT_LT(right.Alpha(right.Width() - 1, 91), 32);
  EXPECT_LT(top.Alpha(150, 0), 32);
  EXPECT_LT(bottom.Alpha(150, bottom.Height() - 1), 32);
  // A rounded corner: the frame's corner pixel is more transparent than the frame's straight run.
  EXPECT_LT(topLeft.Alpha(7, 7), left.Alpha(7, 91));
  // Inside the frame the skin is opaque, in the grey of the pages below the top band.
  EXPECT_EQ(left.Alpha(left.Width() - 1, 150), 255);
  EXPECT_EQ(right.Alpha(0, 150), 255);
  EXPECT_EQ(inner.Alpha(0, 0), 255);
  EXPECT_EQ(inner.Alpha(inner.Width() - 1, inner.Height() - 1), 255);
  EXPECT_EQ(inner.Argb(228, 300), Gdiplus::ARGB(0xFFF1F1F1));
  // The background lies under everything else: no shadow of its own, clear outside the frame.
  EXPECT_EQ(background.Alpha(0, 280), 0);
  EXPECT_EQ(background.Alpha(280, background.Height() - 1), 0);
  EXPECT_EQ(background.Argb(280, 280), Gdiplus::ARGB(0xFFF1F1F1));
}

TEST(ResourcesTest, WindowButtonsChangeWhenHovered) {
  const int pairs[][2] = {{IDB_SKIN_CLOSE, IDB_SKIN_CLOSE_HOVER}, {IDB_SKIN_HIDE, IDB_SKIN_HIDE_HOVER}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair[0]);
    SkinImage normal(pair[0]), hover(pair[1]);
    ASSERT_TRUE(normal.Ok() && hover.Ok());
    // The glyph sits in the click area (the top-left 50 x 25); the rest is clear.
    int glyph = 0, outside = 0, differing = 0;
    for (int y = 0; y < 35; ++y)
      for (int x = 0; x < 61; ++x) {
        if (normal.Alpha(x, y) > 0) (x < 50 && y < 25 ? glyph : outside)++;
        if (normal.Argb(x, y) != hover.Argb(x, y)) ++differing;
      }
    EXPECT_GT(glyph, 10);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(differing, 200);
  }
}

// ------------------------------------------------------------------------------------------
// Bitmaps.

struct BitmapSize {
  int id;
  int width;
  int height;
  int bits;
};

const BitmapSize kButtonBitmaps[] = {
    {IDB_LOGIN_BUTTON, 58, 26, 24},     {IDB_LOGIN_BUTTON_HOVER, 58, 26, 24},
    {IDB_REGISTER_BUTTON, 58, 26, 24},  {IDB_REGISTER_BUTTON_HOVER, 58, 26, 24},
    {IDB_SELECTALL_BUTTON, 93, 26, 24}, {IDB_SELECTALL_BUTTON_HOVER, 93, 26, 24},
    {IDB_SELECTNONE_BUTTON, 93, 26, 24}, {IDB_SELECTNONE_BUTTON_HOVER, 93, 26, 24},
    {IDB_UPLOAD_BUTTON, 98, 24, 24},    {IDB_UPLOAD_BUTTON_HOVER, 98, 24, 24},
};

const BitmapSize kOtherBitmaps[] = {
    {IDB_LOGIN_FORM, 312, 248, 24},   {IDB_REGISTER_FORM, 312, 248, 24}, {IDB_LIST_HEADER, 1, 24, 24},
    {IDB_LIST_TITLE, 443, 21, 24},    {IDB_FOLDER_TITLE, 172, 22, 24},   {IDB_PREVIEW_FRAME, 172, 177, 24},
    {IDB_BUTTON_BAR, 415, 35, 24},    {IDB_NO_PHOTO, 46, 45, 8},         {IDB_TABS_BACKGROUND, 640, 32, 24},
    {IDB_TAB_ACTIVE, 96, 24, 24},     {IDB_TAB_NORMAL, 96, 24, 24},      {IDB_TAB_ROW, 1, 24, 24},
};

// A bitmap loaded as the windows load it (a DIB section), with its pixels as 0xRRGGBB.
class LoadedBitmap {
 public:
  explicit LoadedBitmap(int id)
      : m_handle(static_cast<HBITMAP>(
            LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))) {
    if (m_handle && GetObjectW(m_handle, sizeof m_dib, &m_dib) != sizeof m_dib) m_dib = DIBSECTION{};
  }
  ~LoadedBitmap() {
    if (m_handle) DeleteObject(m_handle);
  }
  LoadedBitmap(const LoadedBitmap&) = delete;
  LoadedBitmap& operator=(const LoadedBitmap&) = delete;

  bool Ok() const { return m_handle && m_dib.dsBm.bmBits; }
  int Width() const { return m_dib.dsBm.bmWidth; }
  int Height() const { return m_dib.dsBm.bmHeight; }
  int Bits() const { return m_dib.dsBm.bmBitsPixel; }
  // 24-bit sections only; rows are stored bottom-up.
  uint32_t Pixel(int x, int y) const {
    const unsigned char* row = static_cast<const unsigned char*>(m_dib.dsBm.bmBits) +
                               size_t(Height() - 1 - y) * size_t(m_dib.dsBm.bmWidthBytes);
    const unsigned char* p = row + 3 * x;
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
  }

 private:
  HBITMAP m_handle;
  DIBSECTION m_dib{};
};

void ExpectSize(const BitmapSize& expected) {
  SCOPED_TRACE(expected.id);
  LoadedBitmap bitmap(expected.id);
  ASSERT_TRUE(bitmap.Ok());
  EXPECT_EQ(bitmap.Width(), expected.width);
  EXPECT_EQ(bitmap.Height(), expected.height);
  EXPECT_EQ(bitmap.Bits(), expected.bits);
}

TEST(ResourcesTest, BitmapsHaveTheirSizesAndDepths) {
  for (const BitmapSize& b : kButtonBitmaps) ExpectSize(b);
  for (const BitmapSize& b : kOtherBitmaps) ExpectSize(b);
}

bool InCorner(int x, int y, int w, int h) {
  const int kCorner = 4;  // the corner radius
  return (x < kCorner || x >= w - kCorner) && (y < kCorner || y >= h - kCorner);
}

TEST(ResourcesTest, ButtonImagesAreBlackOnlyInTheirRoundedCorners) {
  // Black is the buttons' transparent colour: it may appear only where the background is meant
  // to show, the corners outside the rounded shape.
  for (const BitmapSize& b : kButtonBitmaps) {
    SCOPED_TRACE(b.id);
    LoadedBitmap bitmap(b.id);
    ASSERT_TRUE(bitmap.Ok());
    ASSERT_EQ(bitmap.Bits(), 24);
    int blackInside = 0;
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x)
        if (bitmap.Pixel(x, y) == 0 && !InCorner(x, y, b.width, b.height)) ++blackInside;
    EXPECT_EQ(blackInside, 0);
    EXPECT_EQ(bitmap.Pixel(0, 0), 0u);
    EXPECT_EQ(bitmap.Pixel(b.width - 1, 0), 0u);
    EXPECT_EQ(bitmap.Pixel(0, b.height - 1), 0u);
    EXPECT_EQ(bitmap.Pixel(b.width - 1, b.height - 1), 0u);
  }
}

TEST(ResourcesTest, HoverImagesDifferVisiblyFromNormalOnes) {
  const int pairs[][2] = {{IDB_LOGIN_BUTTON, IDB_LOGIN_BUTTON_HOVER},
                          {IDB_REGISTER_BUTTON, IDB_REGISTER_BUTTON_HOVER},
                          {IDB_SELECTALL_BUTTON, IDB_SELECTALL_BUTTON_HOVER},
                          {IDB_SELECTNONE_BUTTON, IDB_SELECTNONE_BUTTON_HOVER},
                          {IDB_UPLOAD_BUTTON, IDB_UPLOAD_BUTTON_HOVER}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair[0]);
    LoadedBitmap normal(pair[0]), hover(pair[1]);
    ASSERT_TRUE(normal.Ok() && hover.Ok());
    ASSERT_EQ(normal.Width(), hover.Width());
    ASSERT_EQ(normal.Height(), hover.Height());
    // The fill in the middle of the left half (clear of the caption) changes noticeably.
    const uint32_t a = normal.Pixel(4, normal.Height() / 2), b = hover.Pixel(4, hover.Height() / 2);
    int distance = 0;
    for (int shift = 0; shift < 24; shift += 8) distance += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    EXPECT_GE(distance, 30);
  }
}

TEST(ResourcesTest, OtherBitmapsHoldNoPureBlack) {
  for (const BitmapSize& b : kOtherBitmaps) {
    if (b.bits != 24) continue;
    SCOPED_TRACE(b.id);
    LoadedBitmap bitmap(b.id);
    ASSERT_TRUE(bitmap.Ok());
    int black = 0;
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x) black += bitmap.Pixel(x, y) == 0;
    EXPECT_EQ(black, 0);
  }
}

TEST(ResourcesTest, ListTitleContinuesTheListHeader) {
  // The title (443 wide) is drawn over the header strip (1 wide, stretched to 415): where the
  // caption is not, its rows are the strip's rows, so the two read as one band.
  LoadedBitmap strip(IDB_LIST_HEADER), title(IDB_LIST_TITLE);
  ASSERT_TRUE(strip.Ok() && title.Ok());
  for (int y = 0; y < title.Height(); ++y) {
    SCOPED_TRACE(y);
    EXPECT_EQ(title.Pixel(300, y), strip.Pixel(0, y));
  }
  // Past the list's width it is the page's grey.
  EXPECT_EQ(title.Pixel(430, 10), 0xF1F1F1u);
}

TEST(ResourcesTest, FormBackgroundsArePageGreyWhereTheLabelsSit) {
  // Labels paint their own background in the page grey; the form under them must match.
  for (int id : {IDB_LOGIN_FORM, IDB_REGISTER_FORM}) {
    SCOPED_TRACE(id);
    LoadedBitmap form(id);
    ASSERT_TRUE(form.Ok());
    // Dialog pixel (60, 75) and (60, 165) lie under labels; the bitmap is drawn at (0, 20).
    EXPECT_EQ(form.Pixel(60, 75 - 20), 0xF1F1F1u);
    EXPECT_EQ(form.Pixel(60, 165 - 20), 0xF1F1F1u);
    EXPECT_EQ(form.Pixel(2, 100), 0xF1F1F1u);
  }
}

// ------------------------------------------------------------------------------------------
// Icons.

TEST(ResourcesTest, IconsLoadAtEverySize) {
  for (int id : {IDR_MAINFRAME, IDI_TRAY}) {
    for (int size : {16, 32, 48}) {
      SCOPED_TRACE(testing::Message() << id << " at " << size);
      HICON icon = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
      ASSERT_NE(icon, nullptr);
      ICONINFO info{};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP colour{};
      ASSERT_NE(info.hbmColor, nullptr);
      GetObjectW(info.hbmColor, sizeof colour, &colour);
      EXPECT_EQ(colour.bmWidth, size);
      EXPECT_EQ(colour.bmHeight, size);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
      DestroyIcon(icon);
    }
    // The icon directory offers exactly the three sizes.
    const std::vector<unsigned char> group = ResourceBytes(id, RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    EXPECT_EQ(group[4] | (group[5] << 8), 3);
  }
}

// ------------------------------------------------------------------------------------------
// Dialog templates, read from their bytes.

struct TemplateItem {
  DWORD id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
};

struct Template {
  bool extended = false;
  DWORD style = 0;
  DWORD exStyle = 0;
  int items = 0;
  int cx = 0;
  int cy = 0;
  int pointSize = 0;
  std::wstring typeface;
  std::vector<TemplateItem> itemList;  // extended templates only

  const TemplateItem* Find(DWORD id) const {
    for (const TemplateItem& item : itemList)
      if (item.id == id) return &item;
    return nullptr;
  }
};

// Reads the header of a DLGTEMPLATE or DLGTEMPLATEEX; false when the bytes are too short.
bool ParseTemplate(const std::vector<unsigned char>& bytes, Template& out) {
  size_t pos = 0;
  auto word = [&](uint16_t& value) {
    if (pos + 2 > bytes.size()) return false;
    value = uint16_t(bytes[pos] | (bytes[pos + 1] << 8));
    pos += 2;
    return true;
  };
  auto dword = [&](DWORD& value) {
    uint16_t lo = 0, hi = 0;
    if (!word(lo) || !word(hi)) return false;
    value = DWORD(lo) | (DWORD(hi) << 16);
    return true;
  };
  auto text = [&](std::wstring* value) {  // a string, or 0xFFFF and an ordinal
    uint16_t first = 0;
    if (!word(first)) return false;
    if (first == 0xFFFF) return word(first);
    while (first != 0) {
      if (value) value->push_back(wchar_t(first));
      if (!word(first)) return false;
    }
    return true;
  };
  uint16_t a = 0, b = 0, count = 0, x = 0, y = 0, cx = 0, cy = 0;
  if (!word(a) || !word(b)) return false;
  out.extended = a == 1 && b == 0xFFFF;
  DWORD ignored = 0;
  if (out.extended) {
    if (!dword(ignored) || !dword(out.exStyle) || !dword(out.style)) return false;
  } else {
    out.style = DWORD(a) | (DWORD(b) << 16);
    if (!dword(out.exStyle)) return false;
  }
  if (!word(count) || !word(x) || !word(y) || !word(cx) || !word(cy)) return false;
  out.items = count;
  out.cx = cx;
  out.cy = cy;
  if (!text(nullptr) || !text(nullptr) || !text(nullptr)) return false;  // menu, class, title
  if (out.style & DS_SETFONT) {
    uint16_t points = 0, weight = 0, italicAndCharset = 0;
    if (!word(points)) return false;
    if (out.extended && (!word(weight) || !word(italicAndCharset))) return false;
    out.pointSize = points;
    if (!text(&out.typeface)) return false;
  }
  if (!out.extended) return true;
  for (int i = 0; i < out.items; ++i) {  // DLGITEMTEMPLATEEX, each on a 4-byte boundary
    pos = (pos + 3) & ~size_t(3);
    TemplateItem item;
    uint16_t extra = 0;
    if (!dword(ignored) || !dword(item.exStyle) || !dword(item.style)) return false;
    if (!word(x) || !word(y) || !word(cx) || !word(cy) || !dword(item.id)) return false;
    if (!text(nullptr) || !text(nullptr) || !word(extra)) return false;  // class, title
    pos += extra;
    out.itemList.push_back(item);
  }
  return pos <= bytes.size();
}

struct ExpectedTemplate {
  int id;
  int cx;
  int cy;
  int items;
  DWORD required;
  DWORD forbidden;
};

TEST(ResourcesTest, DialogTemplatesHaveTheirSizesStylesAndFont) {
  const ExpectedTemplate kTemplates[] = {
      {IDD_FOTREL_DIALOG, 459, 416, 0, WS_POPUP | DS_CENTER, WS_CHILD | WS_CAPTION | WS_THICKFRAME},
      {IDD_WEBPAGE, 279, 177, 1, WS_CHILD, WS_POPUP | WS_VISIBLE | WS_CAPTION},
      {IDD_LOGIN, 416, 364, 17, WS_POPUP, WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME},
      {IDD_MAINUPLOAD, 424, 314, 1, WS_POPUP | WS_SYSMENU, WS_CHILD | WS_VISIBLE | WS_CAPTION},
      {IDD_UPLOAD, 434, 286, 6, WS_CHILD | WS_VISIBLE, WS_POPUP | WS_CAPTION},
  };
  for (const ExpectedTemplate& expected : kTemplates) {
    SCOPED_TRACE(expected.id);
    Template parsed;
    ASSERT_TRUE(ParseTemplate(ResourceBytes(expected.id, RT_DIALOG), parsed));
    EXPECT_EQ(parsed.cx, expected.cx);
    EXPECT_EQ(parsed.cy, expected.cy);
    EXPECT_EQ(parsed.items, expected.items);
    EXPECT_EQ(parsed.style & expected.required, expected.required);
    EXPECT_EQ(parsed.style & expected.forbidden, 0u);
    EXPECT_EQ(parsed.pointSize, 8);
    EXPECT_EQ(parsed.typeface, L"MS Shell Dlg");
    EXPECT_EQ(int(parsed.itemList.size()), expected.items);
  }
  // The controls each template holds, by identifier.
  struct Items {
    int dialog;
    std::vector<DWORD> ids;
  };
  const Items kItems[] = {
      {IDD_WEBPAGE, {IDC_BROWSER}},
      {IDD_LOGIN, {IDC_USERNAME_LABEL, IDC_USERNAME, IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_REMEMBER,
                   IDC_REMEMBER_LABEL, IDC_LOGIN, IDC_SWITCH_REGISTER, IDC_REG_EMAIL_LABEL, IDC_REG_EMAIL,
                   IDC_REG_USERNAME_LABEL, IDC_REG_USERNAME, IDC_REG_PASSWORD_LABEL, IDC_REG_PASSWORD,
                   IDC_REG_CONFIRM_LABEL, IDC_REG_CONFIRM, IDC_REGISTER}},
      {IDD_MAINUPLOAD, {IDC_TABS}},
      {IDD_UPLOAD, {IDC_PHOTO_LIST, IDC_SELECT_ALL, IDC_SELECT_NONE, IDC_UPLOAD, IDC_PREVIEW, IDC_PROGRESS}},
  };
  for (const Items& items : kItems) {
    SCOPED_TRACE(items.dialog);
    Template parsed;
    ASSERT_TRUE(ParseTemplate(ResourceBytes(items.dialog, RT_DIALOG), parsed));
    ASSERT_EQ(parsed.itemList.size(), items.ids.size());
    for (size_t i = 0; i < items.ids.size(); ++i) EXPECT_EQ(parsed.itemList[i].id, items.ids[i]) << i;
  }
}

// ------------------------------------------------------------------------------------------
// Dialogs made from the templates: controls, their kinds, styles and texts, and where they land.

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class DialogFromTemplate {
 public:
  explicit DialogFromTemplate(int id) {
    m_parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 700, nullptr, nullptr, Module(), nullptr);
    m_dialog = CreateDialogParamW(Module(), MAKEINTRESOURCEW(id), m_parent, PlainDialogProc, 0);
  }
  ~DialogFromTemplate() {
    if (m_dialog) DestroyWindow(m_dialog);
    if (m_parent) DestroyWindow(m_parent);
  }
  DialogFromTemplate(const DialogFromTemplate&) = delete;
  DialogFromTemplate& operator=(const DialogFromTemplate&) = delete;

  HWND Handle() const { return m_dialog; }
  HWND Item(int id) const { return GetDlgItem(m_dialog, id); }
  std::wstring ClassOf(int id) const {
    wchar_t name[64] = {};
    GetClassNameW(Item(id), name, 64);
    return name;
  }
  std::wstring TextOf(int id) const {
    wchar_t text[64] = {};
    GetWindowTextW(Item(id), text, 64);
    return text;
  }
  DWORD StyleOf(int id) const { return DWORD(GetWindowLongPtrW(Item(id), GWL_STYLE)); }
  DWORD ExStyleOf(int id) const { return DWORD(GetWindowLongPtrW(Item(id), GWL_EXSTYLE)); }
  // Rectangle of a control in the dialog's client pixels.
  RECT RectOf(int id) const {
    RECT r{};
    GetWindowRect(Item(id), &r);
    MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // Whether the dialog units of this dialog map to the usual 6 x 13 pixels per 4 x 8 units.
  bool UsualBaseUnits() const {
    RECT r{0, 0, 4, 8};
    MapDialogRect(m_dialog, &r);
    return r.right == 6 && r.bottom == 13;
  }

 private:
  HWND m_parent = nullptr;
  HWND m_dialog = nullptr;
};

bool Contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool Overlap(const RECT& a, const RECT& b) {
  RECT common{};
  return IntersectRect(&common, &a, &b) != FALSE;
}

TEST(ResourcesTest, MainWindowTemplateIsAnEmptyBorderlessPopup) {
  DialogFromTemplate dialog(IDD_FOTREL_DIALOG);
  ASSERT_NE(dialog.Handle(), nullptr);
  EXPECT_EQ(GetWindow(dialog.Handle(), GW_CHILD), nullptr);
  if (!dialog.UsualBaseUnits()) GTEST_SKIP() << "unusual dialog base units";
  RECT client{}, window{};
  GetClientRect(dialog.Handle(), &client);
  GetWindowRect(dialog.Handle(), &window);
  // The skin is drawn for this size; no border makes the window larger than its client area.
  EXPECT_EQ(client.right, 689);
  EXPECT_EQ(client.bottom, 676);
  EXPECT_EQ(window.right - window.left, 689);
  EXPECT_EQ(window.bottom - window.top, 676);
}

TEST(ResourcesTest, LoginTemplateHoldsBothFormsWithTheirTexts) {
  DialogFromTemplate dialog(IDD_LOGIN);
  ASSERT_NE(dialog.Handle(), nullptr);
  for (int id : {IDC_USERNAME, IDC_PASSWORD, IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(dialog.ClassOf(id), L"Edit");
    EXPECT_EQ(dialog.TextOf(id), L"");
    EXPECT_TRUE(dialog.StyleOf(id) & WS_TABSTOP);
  }
  // Passwords are masked, names and the address are not.
  EXPECT_TRUE(dialog.StyleOf(IDC_PASSWORD) & ES_PASSWORD);
  EXPECT_TRUE(dialog.StyleOf(IDC_REG_PASSWORD) & ES_PASSWORD);
  EXPECT_TRUE(dialog.StyleOf(IDC_REG_CONFIRM) & ES_PASSWORD);
  EXPECT_FALSE(dialog.StyleOf(IDC_USERNAME) & ES_PASSWORD);
  EXPECT_FALSE(dialog.StyleOf(IDC_REG_USERNAME) & ES_PASSWORD);
  EXPECT_FALSE(dialog.StyleOf(IDC_REG_EMAIL) & ES_PASSWORD);
  // No length limit in the template: the workers check lengths.
  EXPECT_GT(SendMessageW(dialog.Item(IDC_USERNAME), EM_GETLIMITTEXT, 0, 0), 1000);

  struct Label {
    int id;
    const wchar_t* text;
  };
  const Label kLabels[] = {{IDC_USERNAME_LABEL, L"用户名"},     {IDC_PASSWORD_LABEL, L"密码"},
                           {IDC_REMEMBER_LABEL, L"记住我的密码"}, {IDC_REG_EMAIL_LABEL, L"邮箱"},
                           {IDC_REG_USERNAME_LABEL, L"用户名"}, {IDC_REG_PASSWORD_LABEL, L"密码"},
                           {IDC_REG_CONFIRM_LABEL, L"确认密码"}};
  for (const Label& label : kLabels) {
    SCOPED_TRACE(label.id);
    EXPECT_EQ(dialog.ClassOf(label.id), L"Static");
    EXPECT_EQ(dialog.TextOf(label.id), label.text);
  }

  EXPECT_EQ(dialog.ClassOf(IDC_REMEMBER), L"Button");
  EXPECT_EQ(dialog.StyleOf(IDC_REMEMBER) & BS_TYPEMASK, DWORD(BS_AUTOCHECKBOX));
  EXPECT_EQ(dialog.TextOf(IDC_REMEMBER), L"");
  // Plain push buttons without text: Enter goes to the dialog's default action, not to a button,
  // and the skinned buttons draw only their images.
  for (int id : {IDC_LOGIN, IDC_SWITCH_REGISTER, IDC_REGISTER}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(dialog.ClassOf(id), L"Button");
    EXPECT_EQ(dialog.StyleOf(id) & BS_TYPEMASK, DWORD(BS_PUSHBUTTON));
    EXPECT_EQ(dialog.TextOf(id), L"");
  }
}

TEST(ResourcesTest, LoginFormFitsItsPanelBesideThePages) {
  DialogFromTemplate dialog(IDD_LOGIN);
  ASSERT_NE(dialog.Handle(), nullptr);
  if (!dialog.UsualBaseUnits()) GTEST_SKIP() << "unusual dialog base units";
  RECT client{};
  GetClientRect(dialog.Handle(), &client);
  // Room for both pages and the frame line 5 pixels inside the edge.
  EXPECT_TRUE(Contains(RECT{5, 5, client.right - 5, client.bottom - 5}, RECT{318, 38, 618, 516}));
  EXPECT_TRUE(Contains(RECT{5, 5, client.right - 5, client.bottom - 5}, RECT{10, 270, 310, 515}));
  EXPECT_EQ(client.right, 624);
  EXPECT_EQ(client.bottom, 592);

  // Below the panel's title band (dialog y 38 to 61 in bitmap 229) and above the notice page;
  // left of the welcome page. The login form's controls do not overlap one another.
  const RECT panel{11, 62, 309, 264};
  const int loginForm[] = {IDC_USERNAME_LABEL, IDC_USERNAME, IDC_PASSWORD_LABEL, IDC_PASSWORD,
                           IDC_REMEMBER,       IDC_REMEMBER_LABEL, IDC_LOGIN, IDC_SWITCH_REGISTER};
  for (int id : loginForm) {
    SCOPED_TRACE(id);
    EXPECT_TRUE(Contains(panel, dialog.RectOf(id)));
    for (int other : loginForm) {
      if (other == id) continue;
      EXPECT_FALSE(Overlap(dialog.RectOf(id), dialog.RectOf(other))) << other;
    }
  }
  const int registrationForm[] = {IDC_REG_EMAIL_LABEL,    IDC_REG_EMAIL,    IDC_REG_USERNAME_LABEL,
                                  IDC_REG_USERNAME,       IDC_REG_PASSWORD_LABEL, IDC_REG_PASSWORD,
                                  IDC_REG_CONFIRM_LABEL,  IDC_REG_CONFIRM,  IDC_REGISTER};
  for (int id : registrationForm) {
    SCOPED_TRACE(id);
    EXPECT_TRUE(Contains(panel, dialog.RectOf(id)));
    for (int other : registrationForm) {
      if (other == id) continue;
      EXPECT_FALSE(Overlap(dialog.RectOf(id), dialog.RectOf(other))) << other;
    }
  }
  // The buttons sit where the dialog later puts them, 58 x 26 (one pixel of rounding allowed).
  const RECT login = dialog.RectOf(IDC_LOGIN), swap = dialog.RectOf(IDC_SWITCH_REGISTER);
  const RECT reg = dialog.RectOf(IDC_REGISTER);
  EXPECT_EQ(login.left, 78);
  EXPECT_EQ(login.top, 150);
  EXPECT_EQ(swap.left, 158);
  EXPECT_EQ(swap.top, 150);
  EXPECT_EQ(reg.left, 108);
  EXPECT_EQ(reg.top, 200);
  EXPECT_NEAR(login.right - login.left, 58, 1);
  EXPECT_EQ(login.bottom - login.top, 26);
  // The waiting lines, (50, 200) and (50, 230), stay clear of the login form's controls.
  for (int id : loginForm) EXPECT_LT(dialog.RectOf(id).bottom, 200) << id;
  EXPECT_LT(dialog.RectOf(IDC_REGISTER).bottom, 230);
}

TEST(ResourcesTest, WebPageTemplateHoldsTheBrowserPlaceholder) {
  DialogFromTemplate dialog(IDD_WEBPAGE);
  ASSERT_NE(dialog.Handle(), nullptr);
  EXPECT_FALSE(GetWindowLongPtrW(dialog.Handle(), GWL_STYLE) & WS_VISIBLE);
  ASSERT_NE(dialog.Item(IDC_BROWSER), nullptr);
  EXPECT_EQ(dialog.TextOf(IDC_BROWSER), L"");
  // Origin and size are converted separately, as the dialog manager does.
  RECT expected{49, 21, 147, 98};
  MapDialogRect(dialog.Handle(), &expected);
  const RECT placeholder = dialog.RectOf(IDC_BROWSER);
  EXPECT_EQ(placeholder.left, expected.left);
  EXPECT_EQ(placeholder.top, expected.top);
  EXPECT_EQ(placeholder.right - placeholder.left, expected.right);
  EXPECT_EQ(placeholder.bottom - placeholder.top, expected.bottom);
}

TEST(ResourcesTest, TabbedWindowTemplateHoldsOnlyTheTabControl) {
  DialogFromTemplate dialog(IDD_MAINUPLOAD);
  ASSERT_NE(dialog.Handle(), nullptr);
  EXPECT_FALSE(GetWindowLongPtrW(dialog.Handle(), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(dialog.ClassOf(IDC_TABS), L"SysTabControl32");
  EXPECT_EQ(GetWindow(dialog.Item(IDC_TABS), GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(dialog.Handle(), GW_CHILD), dialog.Item(IDC_TABS));
}

TEST(ResourcesTest, UploadPageTemplateHoldsItsControlsNearTheirPlaces) {
  DialogFromTemplate dialog(IDD_UPLOAD);
  ASSERT_NE(dialog.Handle(), nullptr);
  EXPECT_EQ(dialog.ClassOf(IDC_PHOTO_LIST), L"SysListView32");
  const DWORD list = dialog.StyleOf(IDC_PHOTO_LIST);
  EXPECT_EQ(list & LVS_TYPEMASK, DWORD(LVS_ICON));
  EXPECT_TRUE(list & LVS_SHOWSELALWAYS);
  EXPECT_TRUE(list & WS_TABSTOP);
  EXPECT_EQ(dialog.ClassOf(IDC_PROGRESS), L"msctls_progress32");
  // The bar replaces its border style when it is created: read it from the template.
  Template parsed;
  ASSERT_TRUE(ParseTemplate(ResourceBytes(IDD_UPLOAD, RT_DIALOG), parsed));
  ASSERT_EQ(parsed.itemList.size(), 6u);
  ASSERT_NE(parsed.Find(IDC_PROGRESS), nullptr);
  EXPECT_TRUE(parsed.Find(IDC_PROGRESS)->style & WS_BORDER);
  for (int id : {IDC_SELECT_ALL, IDC_SELECT_NONE, IDC_UPLOAD}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(dialog.ClassOf(id), L"Button");
    EXPECT_EQ(dialog.StyleOf(id) & BS_TYPEMASK, DWORD(BS_PUSHBUTTON));
    EXPECT_EQ(dialog.TextOf(id), L"");
  }
  EXPECT_EQ(dialog.ClassOf(IDC_PREVIEW), L"Static");
  EXPECT_TRUE(dialog.StyleOf(IDC_PREVIEW) & SS_NOTIFY);
  EXPECT_TRUE(dialog.ExStyleOf(IDC_PREVIEW) & WS_EX_STATICEDGE);
  EXPECT_TRUE(dialog.ExStyleOf(IDC_PREVIEW) & WS_EX_TRANSPARENT);
  // Shown only once used: the progress bar by an upload, the preview by a click on a photo.
  EXPECT_FALSE(dialog.StyleOf(IDC_PROGRESS) & WS_VISIBLE);
  EXPECT_FALSE(dialog.StyleOf(IDC_PREVIEW) & WS_VISIBLE);
  // The tree is the page's own window, not part of the template.
  EXPECT_EQ(dialog.Item(IDC_FOLDER_TREE), nullptr);

  if (!dialog.UsualBaseUnits()) GTEST_SKIP() << "unusual dialog base units";
  // Where the page moves them (client pixels); the template keeps them within 2 pixels, which
  // is where they stay if the page cannot set itself up.
  struct Place {
    int id;
    RECT rect;
  };
  const Place kPlaces[] = {
      {IDC_PHOTO_LIST, {202, 30, 202 + 415, 30 + 375}},   {IDC_PROGRESS, {202, 448, 202 + 410, 448 + 15}},
      {IDC_SELECT_ALL, {213, 410, 213 + 93, 410 + 26}},   {IDC_SELECT_NONE, {313, 410, 313 + 93, 410 + 26}},
      {IDC_UPLOAD, {513, 410, 513 + 98, 410 + 24}},       {IDC_PREVIEW, {12, 285, 12 + 177, 285 + 157}},
  };
  for (const Place& place : kPlaces) {
    SCOPED_TRACE(place.id);
    const RECT r = dialog.RectOf(place.id);
    EXPECT_NEAR(r.left, place.rect.left, 2);
    EXPECT_NEAR(r.top, place.rect.top, 2);
    EXPECT_NEAR(r.right, place.rect.right, 2);
    EXPECT_NEAR(r.bottom, place.rect.bottom, 2);
  }
}

// ------------------------------------------------------------------------------------------
// Menu, strings, version.

TEST(ResourcesTest, FolderMenuHasOnePopupWithTheShellMarker) {
  HMENU menu = LoadMenuW(Module(), MAKEINTRESOURCEW(IDM_FOLDER_CONTEXT));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(menu), 1);
  wchar_t text[64] = {};
  GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"My Ctx Menu");
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(GetMenuItemCount(popup), 1);
  GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&Shell");
  EXPECT_EQ(GetMenuItemID(popup, 0), UINT(ID_SHELL_COMMANDS));
  EXPECT_EQ(GetMenuItemID(popup, 0), 32771u);
  DestroyMenu(menu);
}

TEST(ResourcesTest, AboutStringIsExact) {
  wchar_t text[64] = {};
  const int length = LoadStringW(Module(), IDS_ABOUTBOX, text, 64);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(std::wstring(text), std::wstring(L"\x5173\x4E8E Fotrel(&A)..."));
  EXPECT_EQ(std::wstring(text), std::wstring(L"关于 Fotrel(&A)..."));
}

TEST(ResourcesTest, ManifestSelectsCommonControlsVersion6) {
  // Version 6 is a side-by-side assembly: with the manifest the process loads it from WinSxS,
  // without it the system folder's version 5 is used.
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH), 0u);
  std::wstring lower(path);
  for (wchar_t& c : lower) c = wchar_t(towlower(c));
  EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos) << lower;
  EXPECT_NE(lower.find(L"common-controls"), std::wstring::npos) << lower;
}

TEST(ResourcesTest, IdentifiersAreTheProgramsNumbers) {
  // The windows and other programs' resources agree on these numbers, not on the names.
  EXPECT_EQ(IDD_FOTREL_DIALOG, 102);
  EXPECT_EQ(IDD_WEBPAGE, 129);
  EXPECT_EQ(IDD_LOGIN, 131);
  EXPECT_EQ(IDD_MAINUPLOAD, 10000);
  EXPECT_EQ(IDD_UPLOAD, 10001);
  EXPECT_EQ(IDM_FOLDER_CONTEXT, 10003);
  EXPECT_EQ(IDS_ABOUTBOX, 101);
  EXPECT_EQ(IDM_ABOUTBOX, 16);
  EXPECT_EQ(IDI_TRAY, 242);
  EXPECT_EQ(IDB_NO_PHOTO, 10005);
  EXPECT_NE(FindResourceW(Module(), MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
}

}  // namespace
