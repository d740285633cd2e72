// The upload page: initialisation, the photo filter and the folder scan, folder choices, the
// selection buttons, preview and opening of a photo.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/gui/upload_page_test_util.h"

namespace {

using namespace pagetest;
using UploadPageTest = PageFixture;

void Click(CWnd& page, int id) {
  page.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(page.GetDlgItem(id)));
}

TEST_F(UploadPageTest, InitialisesWithTheSignedInUserOrAsksForANewLoginAndWorksOn) {
  EXPECT_EQ(0u, m_capture.Count());
  EXPECT_STREQ(L"tester", m_page->m_szUploadUser);
  const HWND page = m_page->m_hWnd, tree = GetDlgItem(page, IDC_FOLDER_TREE);
  ASSERT_EQ(m_page->m_treeFolders.m_hWnd, tree);
  EXPECT_EQ(L"ShellTree Control", GetWindowTextString(tree));
  EXPECT_EQ(m_page.get(), m_page->m_treeFolders.m_pFolderSelectedContext);
  EXPECT_EQ(m_page->m_imgThumbs.GetSafeHandle(), m_page->m_listPhotos.GetImageList(LVSIL_NORMAL));
  EXPECT_FALSE(m_page->m_progress.IsWindowVisible() || m_page->m_stPreview.IsWindowVisible());
  // Shown, the list moves to (202,30); every erase puts the tree to (16,26).
  m_page->SendMessage(WM_SHOWWINDOW, TRUE, 0);
  const HDC dc = GetDC(page);
  m_page->SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  ReleaseDC(page, dc);
  for (auto [control, want] : {std::pair{m_page->m_listPhotos.m_hWnd, RECT{202, 30, 617, 405}},
                               std::pair{tree, RECT{16, 26, 182, 255}}}) {
    RECT rc{};
    GetWindowRect(control, &rc);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_TRUE(EqualRect(&rc, &want)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
  }
  // Escape is never translated into the page's cancel.
  MSG escape{};
  escape.message = WM_KEYDOWN;
  escape.wParam = VK_ESCAPE;
  EXPECT_FALSE(m_page->m_listPhotos.PreTranslateMessage(&escape) || m_page->PreTranslateMessage(&escape));

  uploadtest::SettingsFolder signedOut(L"");
  CMyUpLoadDlg other;
  ASSERT_TRUE(other.Create(m_host.m_hWnd));
  ASSERT_EQ(1u, m_capture.Count());
  EXPECT_EQ(L"失败!! 重新登陆!!", m_capture.Boxes()[0].text);
  EXPECT_EQ(L"提示", m_capture.Boxes()[0].caption);
  EXPECT_EQ(L'\0', other.m_szUploadUser[0]);
  EXPECT_NE(nullptr, other.m_imgThumbs.GetSafeHandle());
}

TEST(UploadPageNames, PhotoFilterAndPathsOfDriveRoots) {
  for (const wchar_t* name : {L"x.JPG", L"y.gif", L"a.bmp", L"b.Raw", L"c.tIf", L"jpg", L"photo.jpg.GIF"}) {
    EXPECT_TRUE(CMyUpLoadDlg::IsPhotoName(name)) << name;
  }
  for (const wchar_t* name : {L"z.jpeg", L"a.tiff", L"a.png", L"bmp.txt", L"pg", L"g", L""}) {
    EXPECT_FALSE(CMyUpLoadDlg::IsPhotoName(name)) << name;
  }
  EXPECT_FALSE(CMyUpLoadDlg::IsPhotoName(nullptr));
  // A short name is read within its own length: the "jpg" just before "pg" and "g" does not count.
  const wchar_t text[] = L"xjpg";
  EXPECT_FALSE(CMyUpLoadDlg::IsPhotoName(text + 2));
  EXPECT_FALSE(CMyUpLoadDlg::IsPhotoName(text + 3));

  EXPECT_EQ(L"D:\\*.*", CMyUpLoadDlg::SearchPattern(L"D:\\"));
  EXPECT_EQ(L"D:\\photos\\*.*", CMyUpLoadDlg::SearchPattern(L"D:\\photos"));
  EXPECT_EQ(L"D:\\x.jpg", CMyUpLoadDlg::JoinPath(L"D:\\", L"x.jpg"));
  EXPECT_EQ(L"D:\\photos\\x.jpg", CMyUpLoadDlg::JoinPath(L"D:\\photos", L"x.jpg"));
}

TEST_F(UploadPageTest, TheScanListsUncheckedPhotosAndSkipsHiddenSystemFilesAndFolders) {
  const std::vector<uint8_t> bytes = SolidBmp(8, 6, kRed);
  for (const char* name : {"x.JPG", "y.gif", "t.raw", "w.Tif", "z.jpeg", "h.jpg", "s.bmp", "ab", "notes.txt"}) {
    Write(name, bytes);
  }
  std::filesystem::create_directory(m_dir.Path() / "sub.bmp");
  ASSERT_TRUE(SetFileAttributesW((m_dir.Path() / "h.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW((m_dir.Path() / "s.bmp").c_str(), FILE_ATTRIBUTE_SYSTEM));

  // A drive-root-like path ending in a backslash: searched and joined without a doubled one.
  for (const std::wstring& folder : {Folder(), Folder() + L"\\"}) {
    ShowFolder(folder);
    EXPECT_EQ(0u, m_capture.Count());
    std::vector<std::wstring> names = m_page->m_vecNames;
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::wstring>{L"t.raw", L"w.Tif", L"x.JPG", L"y.gif"}), names);
    ASSERT_EQ(4, m_page->m_listPhotos.GetItemCount());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(m_page->m_vecNames[static_cast<size_t>(i)], m_page->m_listPhotos.GetItemText(i, 0));
      EXPECT_FALSE(m_page->m_listPhotos.GetCheck(i));
    }
    EXPECT_EQ(Folder() + L"\\" + m_page->m_vecNames[0], m_page->FullPath(0));
    EXPECT_EQ(4, m_page->m_nThumbNames);
    EXPECT_EQ(m_page->m_listPhotos.m_hWnd, GetFocus());
  }
  EXPECT_EQ(L"", m_page->FullPath(4));
  EXPECT_FALSE(m_page->AddUploadPath(4));
  EXPECT_FALSE(m_page->AddUploadPath(-1));
}

TEST_F(UploadPageTest, AChosenFolderIsListedThroughAPostedRefreshAndAFailedSearchKeepsTheNames) {
  Write("x.jpg", SolidBmp(8, 6, kRed));
  CMyUpLoadDlg::OnFolderSelected(Folder(), m_page.get());
  EXPECT_EQ(Folder(), m_page->m_strFolder);
  EXPECT_EQ(0, m_page->m_listPhotos.GetItemCount());  // not before the posted message
  ASSERT_TRUE(PumpUntil([&] { return m_page->m_listPhotos.GetItemCount() == 1; }));
  ASSERT_TRUE(WaitForThumbnails());

  // A tree item without a path, even one chosen before a refresh asked for ran: the folder is
  // emptied and the list stays (no search of "\*.*"). Without a context nothing happens.
  TempDir other;
  other.Write("y.jpg", SolidBmp(8, 6, kRed));
  CMyUpLoadDlg::OnFolderSelected(other.Path().wstring(), m_page.get());
  CMyUpLoadDlg::OnFolderSelected(L"", m_page.get());
  CMyUpLoadDlg::OnFolderSelected(L"C:\\", nullptr);
  PumpFor(100);
  EXPECT_TRUE(m_page->m_strFolder.empty());
  EXPECT_EQ(std::vector<std::wstring>{L"x.jpg"}, m_page->m_vecNames);
  EXPECT_EQ(1, m_page->m_listPhotos.GetItemCount());
  EXPECT_EQ(Folder() + L"\\x.jpg", m_page->FullPath(0));  // still where it was listed from
  EXPECT_EQ(0u, m_capture.Count());

  // A folder that cannot be searched: the system's text, captioned "error"; the list is filled
  // again from the names as they were.
  CMyUpLoadDlg::OnFolderSelected(Folder() + L"\\missing", m_page.get());
  ASSERT_TRUE(PumpUntil([&] { return m_capture.Count() == 1; }));
  ASSERT_TRUE(WaitForThumbnails());
  EXPECT_EQ(L"error", m_capture.Boxes()[0].caption);
  EXPECT_FALSE(m_capture.Boxes()[0].text.empty());
  EXPECT_EQ(std::vector<std::wstring>{L"x.jpg"}, m_page->m_vecNames);
  EXPECT_EQ(L"x.jpg", m_page->m_listPhotos.GetItemText(0, 0));
  EXPECT_EQ(Folder() + L"\\x.jpg", m_page->FullPath(0));
}

TEST_F(UploadPageTest, SelectAllChecksAtMostTheFirst100AndSelectNoneUnchecksAll) {
  const struct {
    int photos;
    size_t messages;
  } cases[] = {{3, 0}, {100, 1}, {150, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.photos);
    std::vector<std::wstring> names;
    for (int i = 0; i < c.photos; ++i) names.push_back(L"p" + std::to_wstring(i) + L".jpg");
    const size_t before = m_capture.Count();
    uploadtest::ListPhotos(*m_page, L"C:\\p", names, c.photos > 120 ? std::vector<int>{120} : std::vector<int>{});
    Click(*m_page, IDC_SELECT_ALL);
    ASSERT_EQ(before + c.messages, m_capture.Count());
    if (c.messages > 0) {
      EXPECT_EQ(L"每次只能上传100张照片!请您分次进行上传!", m_capture.Boxes().back().text);
      EXPECT_EQ(GetAppName(), m_capture.Boxes().back().caption);
    }
    std::vector<std::wstring> paths;  // the first 100 and item 120, checked before
    for (int i = 0; i < c.photos; ++i) {
      EXPECT_EQ(i < 100 || i == 120, m_page->m_listPhotos.GetCheck(i) != FALSE) << i;
      if (i < 100 || i == 120) paths.push_back(L"C:\\p\\" + names[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(paths, m_page->m_arrUploadPaths);

    Click(*m_page, IDC_SELECT_NONE);
    EXPECT_EQ(0, uploadtest::CheckedCount(*m_page));
    EXPECT_TRUE(m_page->m_arrUploadPaths.empty());
  }
}

std::vector<std::wstring> g_opened;
HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show) {
  const bool plain = parameters == nullptr && directory == nullptr && show == SW_SHOWNORMAL && owner != nullptr;
  g_opened.push_back(std::wstring(verb) + L" " + file + (plain ? L"" : L" (other arguments)"));
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

TEST_F(UploadPageTest, AClickPreviewsPhotosBelow765AndADoubleClickOpensOneWithTheShell) {
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) Write(name, SolidBmp(8, 6, kRed));
  ShowFolder(Folder());
  for (WPARAM index : {800, 765}) m_page->SendMessage(WM_PHOTO_CLICKED, index, 0);
  EXPECT_FALSE(m_page->m_stPreview.IsWindowVisible());
  m_page->SendMessage(WM_PHOTO_CLICKED, 764, 0);
  EXPECT_TRUE(m_page->m_stPreview.IsWindowVisible());
  m_page->SendMessage(WM_PHOTO_CLICKED, 1, 0);
  EXPECT_EQ(m_page->FullPath(1), m_page->m_stPreview.m_strImagePath);

  g_opened.clear();
  CMyUpLoadDlg::SetShellExecute(&RecordOpen);
  RECT client{};
  m_page->m_listPhotos.GetClientRect(&client);
  for (POINT pt : {ItemCentre(m_page->m_listPhotos, 2), POINT{client.right - 3, client.bottom - 3}}) {
    m_page->m_listPhotos.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    m_page->m_listPhotos.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
  }
  CMyUpLoadDlg::SetShellExecute(nullptr);
  EXPECT_EQ(std::vector<std::wstring>{L"open " + m_page->FullPath(2)}, g_opened);
}

}  // namespace
