#include "upload/upload_dlg.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string_view>
#include <utility>

#include "common/messages.h"
#include "common/settings.h"
#include "res/resource.h"
#include "upload/thumb_tile.h"

namespace {

constexpr COLORREF kBackColour = RGB(241, 241, 241);
constexpr COLORREF kStatusColour = RGB(89, 127, 147);
constexpr COLORREF kOutlineColour = RGB(192, 192, 192);
constexpr COLORREF kFooterColour = RGB(71, 71, 71);
constexpr wchar_t kStatusFormat[] = L"总数: %d   完成数: %d";
constexpr wchar_t kFontFace[] = L"宋体";
constexpr POINT kStatusPoint = {50, 448};
constexpr POINT kFooterPoint = {20, 467};

// Where the page puts its controls (client pixels).
constexpr RECT kTreeShown = {15, 25, 15 + 172, 25 + 236};
constexpr RECT kListShown = {202, 30, 202 + 415, 30 + 375};
constexpr RECT kSelectAllRect = {213, 410, 213 + 93, 410 + 26};
constexpr RECT kSelectNoneRect = {313, 410, 313 + 93, 410 + 26};
constexpr RECT kUploadRect = {513, 410, 513 + 98, 410 + 24};
constexpr RECT kProgressRect = {202, 448, 202 + 410, 448 + 15};
constexpr RECT kPreviewRect = {12, 285, 12 + 177, 285 + 157};

constexpr int kPreviewWidth = 175;
constexpr int kPreviewHeight = 155;

CMyUpLoadDlg::ShellExecuteFunc g_shellExecute = nullptr;

HBITMAP LoadSection(int id) {
  return static_cast<HBITMAP>(
      LoadImageW(GetResourceInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void FreeBitmap(HBITMAP* bitmap) {
  if (*bitmap != nullptr) DeleteObject(*bitmap);
  *bitmap = nullptr;
}

bool BitmapSize(HBITMAP bitmap, SIZE* size) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof info, &info) != sizeof info) return false;
  size->cx = info.bmWidth;
  size->cy = info.bmHeight;
  return true;
}

// Draws a whole bitmap into the rectangle at (x, y) of width x height, stretched when the sizes differ.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height) {
  SIZE size{};
  if (!BitmapSize(bitmap, &size)) return;
  const HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return;
  const HGDIOBJ old = SelectObject(memory, bitmap);
  if (width == size.cx && height == size.cy) {
    BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
  } else {
    StretchBlt(dc, x, y, width, height, memory, 0, 0, size.cx, size.cy, SRCCOPY);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
}

void DrawBitmapNatural(HDC dc, HBITMAP bitmap, int x, int y) {
  SIZE size{};
  if (BitmapSize(bitmap, &size)) DrawBitmap(dc, bitmap, x, y, size.cx, size.cy);
}

// A bitmap loaded only for one paint.
void DrawResourceBitmap(HDC dc, int id, int x, int y, int extraWidth) {
  HBITMAP bitmap = LoadSection(id);
  SIZE size{};
  if (BitmapSize(bitmap, &size)) DrawBitmap(dc, bitmap, x, y, size.cx + extraWidth, size.cy);
  FreeBitmap(&bitmap);
}

// The outline of a rectangle, drawn from its top-left corner down, right, up and back left.
void Outline(HDC dc, int left, int top, int right, int bottom) {
  MoveToEx(dc, left, top, nullptr);
  LineTo(dc, left, bottom);
  LineTo(dc, right, bottom);
  LineTo(dc, right, top);
  LineTo(dc, left, top);
}

HFONT CreatePointFont(HDC dc, int points) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(font.lfFaceName, kFontFace, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void Place(HWND control, const RECT& rc) {
  if (control != nullptr) {
    SetWindowPos(control, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace

void CMyUpLoadDlg::SetShellExecute(ShellExecuteFunc function) { g_shellExecute = function; }

CMyUpLoadDlg::CMyUpLoadDlg()
    : CDialog(IDD_UPLOAD),
      m_nColumns(0),
      m_nThumbNames(0),
      m_bmpPlaceholder(nullptr),
      m_rcTree{16, 26, 182, 255},
      m_rcListPanel{202, 25, 617, 415},
      m_hListHeader(nullptr),
      m_hListTitle(nullptr),
      m_hSelectAllHover(nullptr),
      m_hSelectAllNormal(nullptr),
      m_hSelectNoneHover(nullptr),
      m_hSelectNoneNormal(nullptr),
      m_hUploadHover(nullptr),
      m_hUploadNormal(nullptr),
      m_nCurrentFile(0),
      m_bUploading(0),
      m_szUploadUser{},
      m_bTearingDown(false),
      m_bRefreshing(false),
      m_bRefreshPending(false) {}

CMyUpLoadDlg::~CMyUpLoadDlg() {
  m_bTearingDown = true;
  // The upload worker first: it may still ask the window thread about the list. Then the
  // loader, which reads the names and posts to the page.
  m_uploadWorker.StopAndWait();
  StopThumbLoader();

  // The page owns the image list; the list view must not destroy it with itself.
  if (m_listPhotos.IsWindow()) {
    m_listPhotos.SetImageList(nullptr, LVSIL_NORMAL);
    m_listPhotos.DeleteAllItems();
  }
  if (m_imgThumbs.GetSafeHandle() != nullptr) m_imgThumbs.Remove(-1);
  m_vecNames.clear();
  DestroyWindow();

  FreeBitmap(&m_bmpPlaceholder);
  for (HBITMAP* bitmap : {&m_hListHeader, &m_hListTitle, &m_hSelectAllHover, &m_hSelectAllNormal,
                          &m_hSelectNoneHover, &m_hSelectNoneNormal, &m_hUploadHover, &m_hUploadNormal}) {
    FreeBitmap(bitmap);
  }
}

bool CMyUpLoadDlg::Create(HWND parent) { return CDialog::Create(IDD_UPLOAD, parent); }

void CMyUpLoadDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_PHOTO_LIST, m_listPhotos);
  DDX_Control(dx, IDC_PROGRESS, m_progress);
  DDX_Control(dx, IDC_SELECT_ALL, m_btnSelectAll);
  DDX_Control(dx, IDC_SELECT_NONE, m_btnSelectNone);
  DDX_Control(dx, IDC_PREVIEW, m_stPreview);
  DDX_Control(dx, IDC_UPLOAD, m_btnUpload);
}

BOOL CMyUpLoadDlg::OnInitDialog() {
  // 1. Binds the controls.
  CDialog::OnInitDialog();

  // 2.
  m_nThumbNames = 0;
  m_nColumns = 0;
  m_nCurrentFile = 0;
  m_bUploading = 0;
  std::fill(std::begin(m_szUploadUser), std::end(m_szUploadUser), L'\0');

  // 3. The signed-in user, sent with every upload call.
  const std::wstring user = ReadSetting(settings::kUploadUser);
  const size_t length = std::min<size_t>(user.size(), std::size(m_szUploadUser) - 1);
  std::copy_n(user.begin(), length, m_szUploadUser);
  m_szUploadUser[length] = L'\0';
  if (length == 0) MessageBox(kNoUserText, kNoUserCaption, MB_OK);

  // 4. The folder tree; without it the page has nothing to list.
  if (!m_treeFolders.CreateEx(WS_EX_CLIENTEDGE, L"SysTreeView32", L"ShellTree Control",
                              WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, RECT{},
                              m_hWnd, IDC_FOLDER_TREE)) {
    return -1;
  }

  // 5.
  m_treeFolders.LoadRootFolder();
  m_treeFolders.m_pfnOnFolderSelected = &CMyUpLoadDlg::OnFolderSelected;
  m_treeFolders.m_pFolderSelectedContext = this;
  m_treeFolders.ShowWindow(SW_SHOW);

  // 6. The thumbnails. The page owns the image list (the list view only shares it).
  m_imgThumbs.Create(kThumbWidth, kThumbHeight, ILC_COLOR24, 0, 1);
  m_listPhotos.SetExtendedStyle(m_listPhotos.GetExtendedStyle() | LVS_EX_CHECKBOXES);
  m_listPhotos.ModifyStyle(0, LVS_SHAREIMAGELISTS);
  m_listPhotos.SetImageList(m_imgThumbs, LVSIL_NORMAL);

  // 7. - 9. The placeholder tile. There is nothing to load yet: the loader starts with the
  // first refresh.
  FreeBitmap(&m_bmpPlaceholder);
  m_bmpPlaceholder = MakePlaceholderTile();

  // 10.
  m_rcTree = RECT{16, 26, 182, 255};
  m_rcListPanel = RECT{202, 25, 617, 415};
  m_hListHeader = LoadSection(IDB_LIST_HEADER);
  m_hListTitle = LoadSection(IDB_LIST_TITLE);
  m_hSelectAllHover = LoadSection(IDB_SELECTALL_BUTTON_HOVER);
  m_hSelectAllNormal = LoadSection(IDB_SELECTALL_BUTTON);
  m_hSelectNoneHover = LoadSection(IDB_SELECTNONE_BUTTON_HOVER);
  m_hSelectNoneNormal = LoadSection(IDB_SELECTNONE_BUTTON);
  m_hUploadHover = LoadSection(IDB_UPLOAD_BUTTON_HOVER);
  m_hUploadNormal = LoadSection(IDB_UPLOAD_BUTTON);

  // 11.
  Place(m_btnSelectAll, kSelectAllRect);
  Place(m_btnSelectNone, kSelectNoneRect);
  Place(m_btnUpload, kUploadRect);
  Place(m_progress, kProgressRect);
  Place(m_stPreview, kPreviewRect);
  m_btnSelectAll.SetImages(m_hSelectAllHover, m_hSelectAllNormal);
  m_btnSelectNone.SetImages(m_hSelectNoneHover, m_hSelectNoneNormal);
  m_btnUpload.SetImages(m_hUploadHover, m_hUploadNormal);
  m_progress.ShowWindow(SW_HIDE);
  m_stPreview.ShowWindow(SW_HIDE);

  // 12.
  return TRUE;
}

LRESULT CMyUpLoadDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SHOWWINDOW:
      PlaceControls();
      break;
    case WM_ERASEBKGND:
      EraseBackground(reinterpret_cast<HDC>(wParam));
      return TRUE;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_PHOTO_CLICKED:
      ShowPreview(wParam);
      break;  // and on to the ordinary handling
    case WM_THUMB_READY:
      OnThumbReady(wParam, lParam);
      return 0;
    case WM_FOLDER_CHANGED:
      return RefreshFolder();
    case WM_DESTROY:
      // The window may go before the object (with its parent): the threads that use the page
      // stop with its window rather than run on until the object goes.
      m_bTearingDown = true;
      m_uploadWorker.StopAndWait();
      StopThumbLoader();
      break;
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}

bool CMyUpLoadDlg::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) return false;
  return CDialog::PreTranslateMessage(msg);
}

bool CMyUpLoadDlg::OnCommand(UINT id, UINT code, HWND control) {
  // The tree's own routing comes first.
  if (m_treeFolders.m_hWnd != nullptr && m_treeFolders.OnCommand(id, code, control)) return true;
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_SELECT_ALL:
        OnSelectAll();
        return true;
      case IDC_SELECT_NONE:
        OnSelectNone();
        return true;
      case IDC_UPLOAD:
        OnUpload();
        return true;
      default:
        break;
    }
  }
  return CDialog::OnCommand(id, code, control);
}

bool CMyUpLoadDlg::OnNotify(NMHDR* header, LRESULT* result) {
  if (header->idFrom == IDC_PHOTO_LIST && header->code == NM_DBLCLK) {
    OnListDoubleClick(reinterpret_cast<const NMITEMACTIVATE*>(header));
    *result = 0;
    return true;
  }
  return CDialog::OnNotify(header, result);
}

void CMyUpLoadDlg::PlaceControls() {
  if (m_treeFolders.m_hWnd != nullptr) m_treeFolders.MoveWindow(kTreeShown);
  Place(GetDlgItem(IDC_PHOTO_LIST), kListShown);
}

// --- Paths and names ---

std::wstring CMyUpLoadDlg::JoinPath(const std::wstring& folder, const std::wstring& name) {
  std::wstring path;
  path.reserve(folder.size() + 1 + name.size());
  path = folder;
  if (path.empty() || path.back() != L'\\') path += L'\\';
  path += name;
  return path;
}

std::wstring CMyUpLoadDlg::SearchPattern(const std::wstring& folder) {
  if (!folder.empty() && folder.back() == L'\\') return folder + L"*.*";
  return folder + L"\\*.*";
}

bool CMyUpLoadDlg::IsPhotoName(const wchar_t* name) {
  if (name == nullptr) return false;
  const std::wstring_view text(name, wcsnlen(name, MAX_PATH));
  if (text.size() < 3) return false;
  static constexpr const wchar_t* kExtensions[] = {L"bmp", L"jpg", L"raw", L"tif", L"gif"};
  wchar_t last[3];
  for (size_t i = 0; i < 3; ++i) {
    wchar_t c = text[text.size() - 3 + i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    last[i] = c;
  }
  for (const wchar_t* extension : kExtensions) {
    if (last[0] == extension[0] && last[1] == extension[1] && last[2] == extension[2]) return true;
  }
  return false;
}

std::wstring CMyUpLoadDlg::FullPath(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_vecNames.size()) return std::wstring();
  return JoinPath(m_strListedFolder, m_vecNames[static_cast<size_t>(index)]);
}

bool CMyUpLoadDlg::AddUploadPath(int index) {
  if (index < 0 || static_cast<size_t>(index) >= m_vecNames.size()) return false;
  m_arrUploadPaths.push_back(FullPath(index));
  return true;
}

// --- Folder selection and refresh ---

void CMyUpLoadDlg::OnFolderSelected(std::wstring path, void* context) {
  if (context == nullptr) return;
  CMyUpLoadDlg* const page = static_cast<CMyUpLoadDlg*>(context);
  const HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  page->m_strFolder = std::move(path);
  if (!page->m_strFolder.empty()) {
    page->m_listPhotos.SetScrollPos(SB_HORZ, 0, TRUE);
    page->m_listPhotos.SetScrollPos(SB_VERT, 0, TRUE);
    page->PostMessage(WM_FOLDER_CHANGED, 0, 0);
  }
  SetCursor(old);
}

LRESULT CMyUpLoadDlg::RefreshFolder() {
  // Nothing to list (a tree item without a folder was chosen after the refresh was asked
  // for), no thumbnail machinery (the initialisation ended early), or the page is going.
  if (m_strFolder.empty() || m_bTearingDown || m_imgThumbs.GetSafeHandle() == nullptr) {
    return 0;
  }
  // A message box of this refresh runs a message loop, which may bring another refresh: it
  // runs once this one has ended.
  if (m_bRefreshing) {
    m_bRefreshPending = true;
    return 0;
  }
  m_bRefreshing = true;

  // 1.
  StopThumbLoader();
  {
    // 2. - 5.
    std::lock_guard<std::mutex> lock(m_mtxRefresh);
    if (ScanFolder()) m_strListedFolder = m_strFolder;
    FillList();
    m_listPhotos.SetFocus();
    m_nThumbNames = static_cast<int>(m_vecNames.size());
  }
  StartThumbLoader();

  m_bRefreshing = false;
  if (m_bRefreshPending) {
    m_bRefreshPending = false;
    PostMessage(WM_FOLDER_CHANGED, 0, 0);
  }
  return 0;
}

void CMyUpLoadDlg::MessageBoxWithSystemText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0,
                 nullptr);
  MessageBox(text != nullptr ? text : L"", kScanErrorCaption, MB_OK | MB_ICONERROR);
  if (text != nullptr) LocalFree(text);
}

bool CMyUpLoadDlg::ScanFolder() {
  const std::wstring pattern = SearchPattern(m_strFolder);
  WIN32_FIND_DATAW entry{};
  const HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    MessageBoxWithSystemText(GetLastError());
    return false;
  }
  constexpr DWORD kSkipped =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
  std::vector<std::wstring> names;
  for (;;) {
    if ((entry.dwFileAttributes & kSkipped) == 0) {
      entry.cFileName[MAX_PATH - 1] = L'\0';
      if (IsPhotoName(entry.cFileName)) names.emplace_back(entry.cFileName);
    }
    if (!FindNextFileW(find, &entry)) {
      const DWORD error = GetLastError();
      if (error == ERROR_NO_MORE_FILES) {
        FindClose(find);
        m_vecNames = std::move(names);
        return true;
      }
      MessageBoxWithSystemText(error);
      FindClose(find);
      return false;
    }
  }
}

bool CMyUpLoadDlg::FillList() {
  if (!m_listPhotos.IsWindow() || m_imgThumbs.GetSafeHandle() == nullptr) return false;
  // 1. Only the placeholder stays in the image list. Redrawing stays off until the list is
  // filled: a list view that repaints after every insertion takes seconds for a large folder.
  m_listPhotos.SetRedraw(FALSE);
  m_imgThumbs.SetImageCount(1);
  if (m_listPhotos.GetItemCount() > 0) m_listPhotos.DeleteAllItems();

  // 2.
  m_listPhotos.SetScrollPos(SB_HORZ, 0, TRUE);
  m_listPhotos.SetScrollPos(SB_VERT, 0, TRUE);
  m_imgThumbs.SetImageCount(1);

  // 3. - 4.
  if (!m_vecNames.empty()) m_imgThumbs.Replace(0, m_bmpPlaceholder);

  // 5. - 6. Every item shows the placeholder. The columns are counted once the list lays its
  // items out again: the first row's item positions tell how many there are.
  for (size_t i = 0; i < m_vecNames.size(); ++i) m_listPhotos.InsertItem(static_cast<int>(i), m_vecNames[i].c_str(), 0);
  m_listPhotos.SetRedraw(TRUE);
  m_nColumns = 0;
  LONG maxX = 0;
  const int count = m_listPhotos.GetItemCount();
  for (int i = 0; i < count; ++i) {
    POINT pt{};
    if (m_listPhotos.GetItemPosition(i, &pt) && pt.x > maxX) {
      ++m_nColumns;
      maxX = pt.x;
    }
  }
  m_listPhotos.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  return true;
}

// --- The thumbnail loader ---

bool CMyUpLoadDlg::StartThumbLoader() {
  // The loader works on its own copy of the paths: the names may change while it runs.
  const long long count = std::min(static_cast<long long>(m_nThumbNames), static_cast<long long>(m_nColumns) * kThumbRows);
  std::vector<std::wstring> paths;
  for (long long i = 0; i < count && static_cast<size_t>(i) < m_vecNames.size(); ++i) {
    paths.push_back(FullPath(static_cast<int>(i)));
  }
  return m_thumbLoader.Start(m_hWnd, std::move(paths));
}

void CMyUpLoadDlg::StopThumbLoader() {
  m_thumbLoader.Stop();
  // The stopped loader's messages still queued would set images of a list about to change.
  if (m_hWnd != nullptr) {
    MSG msg;
    while (PeekMessageW(&msg, m_hWnd, WM_THUMB_READY, WM_THUMB_READY, PM_REMOVE)) {
    }
  }
}

void CMyUpLoadDlg::OnThumbReady(WPARAM item, LPARAM slotParam) {
  const int slot = static_cast<int>(slotParam);
  HBITMAP tile = m_thumbLoader.TakeTile(slot);
  if (tile == nullptr) return;
  bool placed = false;
  if (slot >= 1 && m_imgThumbs.GetSafeHandle() != nullptr) {
    // Room for every slot the current loader can fill, made at once rather than one by one.
    if (m_imgThumbs.GetImageCount() < slot + 1) {
      const long long covered =
          std::min(static_cast<long long>(m_nThumbNames), static_cast<long long>(m_nColumns) * kThumbRows);
      const long long wanted = std::max(static_cast<long long>(slot) + 1, covered + 1);
      m_imgThumbs.SetImageCount(static_cast<UINT>(wanted));
    }
    placed = m_imgThumbs.Replace(slot, tile);
  }
  FreeBitmap(&tile);
  if (!placed || item >= static_cast<WPARAM>(m_listPhotos.GetItemCount())) return;
  LVITEMW lvItem{};
  lvItem.mask = LVIF_IMAGE;
  lvItem.iItem = static_cast<int>(item);
  if (!m_listPhotos.GetItem(&lvItem)) return;
  lvItem.iImage = slot;
  m_listPhotos.SetItem(&lvItem);
  m_listPhotos.RedrawItems(static_cast<int>(item), static_cast<int>(item));
}

// --- Buttons, clicks and double clicks ---

void CMyUpLoadDlg::OnSelectAll() {
  const int count = m_listPhotos.GetItemCount();
  for (int i = 0; i < count; ++i) {
    m_listPhotos.SetCheck(i, TRUE);
    if (i == kSelectAllLimit - 1) {
      MessageBox(kLimitText, GetAppName().c_str(), MB_OK);
      break;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (m_listPhotos.GetCheck(i) && !AddUploadPath(i)) break;
  }
}

void CMyUpLoadDlg::UncheckAllAndClear() {
  const int count = m_listPhotos.GetItemCount();
  for (int i = 0; i < count; ++i) m_listPhotos.SetCheck(i, FALSE);
  m_arrUploadPaths.clear();
}

void CMyUpLoadDlg::OnSelectNone() { UncheckAllAndClear(); }

void CMyUpLoadDlg::CollectUpload(std::vector<std::wstring>* paths, std::wstring* user) {
  m_arrUploadPaths.clear();
  for (int i = 0; i < m_listPhotos.GetItemCount(); ++i) {
    if (m_listPhotos.GetCheck(i)) AddUploadPath(i);
  }
  *paths = m_arrUploadPaths;
  user->assign(m_szUploadUser, wcsnlen(m_szUploadUser, std::size(m_szUploadUser)));
}

void CMyUpLoadDlg::OnUpload() {
  if (m_bUploading == 1) {
    MessageBox(kBusyText, GetAppName().c_str(), MB_OK);
    return;
  }
  m_nCurrentFile = 0;
  Invalidate(TRUE);
  m_progress.ShowWindow(SW_SHOW);
  if (!m_uploadWorker.Start(this)) {
    // The last worker has lowered its flag but not yet ended: still busy.
    if (m_uploadWorker.Running()) MessageBox(kBusyText, GetAppName().c_str(), MB_OK);
    if (m_bUploading == 0) {
      m_progress.ShowWindow(SW_HIDE);
      Invalidate(TRUE);
    }
  }
}

void CMyUpLoadDlg::ShowPreview(WPARAM index) {
  if (index >= static_cast<WPARAM>(kPreviewLimit)) return;
  m_stPreview.ShowWindow(SW_SHOW);
  m_stPreview.ShowImage(FullPath(static_cast<int>(index)), kPreviewWidth, kPreviewHeight);
}

void CMyUpLoadDlg::OnListDoubleClick(const NMITEMACTIVATE* activate) {
  LVHITTESTINFO hit{};
  hit.pt = activate->ptAction;
  if (m_listPhotos.SubItemHitTest(&hit) < 0 || hit.iItem < 0) return;
  const std::wstring path = FullPath(hit.iItem);
  if (path.empty()) return;
  const ShellExecuteFunc execute = g_shellExecute != nullptr ? g_shellExecute : &::ShellExecuteW;
  execute(m_hWnd, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// --- Painting ---

void CMyUpLoadDlg::DrawStatusLine(HDC dc, int total, int done) {
  if (dc == nullptr) return;
  wchar_t text[64];
  const int length = swprintf(text, std::size(text), kStatusFormat, total, done);
  if (length <= 0) return;
  const HFONT font = CreatePointFont(dc, 9);
  const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, kBackColour);
  SetTextColor(dc, kStatusColour);
  TextOutW(dc, kStatusPoint.x, kStatusPoint.y, text, length);
  if (old != nullptr) SelectObject(dc, old);
  if (font != nullptr) DeleteObject(font);
}

void CMyUpLoadDlg::Paint() {
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(m_hWnd, &ps);
  if (dc == nullptr) return;
  // The worker's own batch: the selection buttons may change m_arrUploadPaths meanwhile.
  if (m_bUploading == 1) DrawStatusLine(dc, m_uploadWorker.BatchSize(), m_nCurrentFile);
  EndPaint(m_hWnd, &ps);
}

void CMyUpLoadDlg::EraseBackground(HDC dc) {
  if (dc == nullptr) return;
  // 1.
  RECT window{};
  GetWindowRect(&window);
  const RECT fill{0, 0, window.right - window.left, window.bottom - window.top};
  const HBRUSH back = CreateSolidBrush(kBackColour);
  if (back != nullptr) {
    FillRect(dc, &fill, back);
    DeleteObject(back);
  }

  // 2.
  if (m_treeFolders.m_hWnd != nullptr) m_treeFolders.MoveWindow(m_rcTree);

  // 3. The list's header strip ends where the list begins.
  SIZE header{};
  if (BitmapSize(m_hListHeader, &header)) {
    const int y = m_rcListPanel.top + 5 - header.cy;
    DrawBitmap(dc, m_hListHeader, m_rcListPanel.left, y, m_rcListPanel.right - m_rcListPanel.left, header.cy);
    DrawBitmapNatural(dc, m_hListTitle, m_rcListPanel.left, y);
  }

  // 4. - 5.
  DrawResourceBitmap(dc, IDB_FOLDER_TITLE, 13, 6, 0);
  DrawResourceBitmap(dc, IDB_PREVIEW_FRAME, 12, 265, 4);

  // 6.
  const HPEN pen = CreatePen(PS_SOLID, 1, kOutlineColour);
  if (pen != nullptr) {
    const HGDIOBJ old = SelectObject(dc, pen);
    Outline(dc, 201, 5, 617, 440);
    Outline(dc, 13, 6, 184, 257);
    SelectObject(dc, old);
    DeleteObject(pen);
  }

  // 7.
  DrawResourceBitmap(dc, IDB_BUTTON_BAR, 202, 405, 0);

  // 8.
  const HFONT font = CreatePointFont(dc, 10);
  const HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour = SetTextColor(dc, kFooterColour);
  TextOutW(dc, kFooterPoint.x, kFooterPoint.y, kFooterText, lstrlenW(kFooterText));
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
  if (font != nullptr) DeleteObject(font);
}
