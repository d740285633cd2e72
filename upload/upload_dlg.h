// The upload page: the first page of the tabbed window (a child dialog, template 10001). The
// user picks a folder in the shell folder tree on the left, sees its photos as thumbnails with
// check boxes on the right and presses the upload button; the upload worker then sends the
// checked photos while the page shows a progress bar and a status line. A click on a photo
// previews it, a double click opens it in its associated program.
//
// Threads. Everything here runs on the window thread except the thumbnail loader's decoding
// threads (upload/thumb_loader.h), which work on their own copy of the listed photos' paths and
// hand finished tiles over with WM_THUMB_READY; the window thread puts each tile into the image
// list when the message arrives, so that the list view never paints from an image list another
// thread is changing. A refresh stops the loader (a bounded wait) and throws away the messages
// of the stopped one before the list is refilled.
//
// Teardown stops the upload worker and then the loader before anything they use is freed; so
// does the destruction of the page's window when it goes before the object.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "controls/my_static.h"
#include "controls/skin_button.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "shelltree/folder_tree_view.h"
#include "upload/my_list_ctrl.h"
#include "upload/thumb_loader.h"
#include "upload/thumb_tile.h"
#include "upload/upload_page.h"
#include "upload/upload_worker.h"

class CMyUpLoadDlg : public CDialog, public IUploadPage {
 public:
  // Texts of the page's messages.
  static constexpr const wchar_t* kNoUserText = L"失败!! 重新登陆!!";
  static constexpr const wchar_t* kNoUserCaption = L"提示";
  static constexpr const wchar_t* kLimitText = L"每次只能上传100张照片!请您分次进行上传!";
  static constexpr const wchar_t* kBusyText = L"上传进行中....请等待完成后在试!!!";
  static constexpr const wchar_t* kScanErrorCaption = L"error";
  // The one-line footer under the page: the product's display name, as the installer shows it.
  static constexpr const wchar_t* kFooterText = L"Zorvan照片冲印 版权所有";

  // Thumbnail tiles.
  static constexpr int kThumbWidth = kTileWidth;
  static constexpr int kThumbHeight = kTileHeight;
  // The loader covers at most this many rows of the list: m_nColumns x kThumbRows items.
  static constexpr int kThumbRows = 255;
  // A click on an item from this index on shows no preview (3 x 255).
  static constexpr int kPreviewLimit = 765;
  // OnSelectAll checks at most this many photos.
  static constexpr int kSelectAllLimit = 100;

  // The shell's open call for a double-clicked photo; tests put another in its place (null:
  // ShellExecuteW again).
  using ShellExecuteFunc = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
  static void SetShellExecute(ShellExecuteFunc function);

  CMyUpLoadDlg();
  // Stops and waits for the upload worker, then stops the thumbnail loader, then frees the rest.
  ~CMyUpLoadDlg() override;

  // Creates the page from template 10001 as a child of `parent`.
  bool Create(HWND parent);

  // --- Members, in the order of the page's data ---
  CImageList m_imgThumbs;             // 80 x 55, 24-bit; slot 0 the placeholder, slot i+1 item i
  CMyListCtrl m_listPhotos;           // 10000
  std::vector<std::wstring> m_vecNames;  // photo names of the listed folder, in scan order
  int m_nColumns;                     // columns counted while the list was filled
  std::vector<std::wstring> m_arrUploadPaths;  // window thread only
  CFolderTreeView m_treeFolders;      // 59648
  std::wstring m_strFolder;           // the folder chosen in the tree; empty until then
  // The folder m_vecNames were read from. Photo paths are made from it, not from m_strFolder:
  // a tree item without a folder, or a folder that could not be searched, leaves the list (and
  // this folder) as it was, and its photos must not be looked for elsewhere.
  std::wstring m_strListedFolder;
  std::mutex m_mtxRefresh;            // held while the folder is rescanned and the list refilled
  int m_nThumbNames;                  // names the loader may cover; taken after each refill
  HBITMAP m_bmpPlaceholder;           // image 0
  RECT m_rcTree;                      // (16,26)-(182,255)
  RECT m_rcListPanel;                 // (202,25)-(617,415)
  HBITMAP m_hListHeader;              // 172
  HBITMAP m_hListTitle;               // 185
  HBITMAP m_hSelectAllHover;          // 215
  HBITMAP m_hSelectAllNormal;         // 210
  HBITMAP m_hSelectNoneHover;         // 216
  HBITMAP m_hSelectNoneNormal;        // 191
  HBITMAP m_hUploadHover;             // 212
  HBITMAP m_hUploadNormal;            // 220
  std::atomic<int> m_nCurrentFile;    // photos of the worker's batch sent so far
  std::atomic<int> m_bUploading;      // 1 while the upload worker runs
  CProgressCtrl m_progress;           // 1000
  CSkinButton m_btnSelectAll;         // 1009
  CSkinButton m_btnSelectNone;        // 1010
  CMyStatic m_stPreview;              // 1012
  wchar_t m_szUploadUser[260];        // UserNameForUpLoad, read at initialisation
  CSkinButton m_btnUpload;            // 10012
  CUploadWorker m_uploadWorker;

  // --- Operations ---
  // Appends the full path of name `index` to m_arrUploadPaths; false when there is no such name.
  bool AddUploadPath(int index);
  // The listed folder joined with name `index`; empty when there is no such name.
  std::wstring FullPath(int index) const;
  // Unchecks every item and empties m_arrUploadPaths.
  void UncheckAllAndClear() override;
  // The status line at (50,448): "总数: %d   完成数: %d" in the page's status style.
  void DrawStatusLine(HDC dc, int total, int done) override;

  // --- What the upload worker sees of the page ---
  HWND PageWindow() const override { return m_hWnd; }
  HWND ProgressWindow() const override { return m_progress.m_hWnd; }
  int IsUploading() const override { return m_bUploading; }
  int ExchangeUploading(int value) override { return m_bUploading.exchange(value); }
  void SetCurrentFile(int filesDone) override { m_nCurrentFile = filesDone; }
  // Refills m_arrUploadPaths with the checked photos and hands a copy out with m_szUploadUser.
  void CollectUpload(std::vector<std::wstring>* paths, std::wstring* user) override;

  // The folder tree's callback (window thread); `context` is the page.
  static void OnFolderSelected(std::wstring path, void* context);

  // A folder and a name joined by one backslash (none added after a drive root such as C:\).
  static std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
  // The search pattern of a folder's entries: C:\*.* for C:\, C:\a\*.* for C:\a.
  static std::wstring SearchPattern(const std::wstring& folder);
  // Whether a file name's last three characters are bmp, jpg, raw, tif or gif in any case.
  static bool IsPhotoName(const wchar_t* name);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnCommand(UINT id, UINT code, HWND control) override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;
  bool PreTranslateMessage(MSG* msg) override;

  // --- Handlers, public for the tests ---
  LRESULT RefreshFolder();
  bool ScanFolder();
  bool FillList();
  void OnSelectAll();
  void OnSelectNone();
  void OnUpload();
  void ShowPreview(WPARAM index);
  // Whether a decoding thread of the running thumbnail loader has not ended.
  bool ThumbLoaderRunning() const { return m_thumbLoader.Running(); }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void OnThumbReady(WPARAM item, LPARAM slot);
  void OnListDoubleClick(const NMITEMACTIVATE* activate);
  void EraseBackground(HDC dc);
  void Paint();
  void PlaceControls();

 private:
  // Starts the loader on the listed photos the list covers (m_nColumns x kThumbRows at most).
  bool StartThumbLoader();
  // Stops the loader (a bounded wait) and throws away its queued messages; its tiles go with it.
  void StopThumbLoader();
  void MessageBoxWithSystemText(DWORD error);

  CThumbLoader m_thumbLoader;
  bool m_bTearingDown;     // the destructor runs: no more refreshes
  bool m_bRefreshing;      // a refresh runs (its message box may bring another)
  bool m_bRefreshPending;  // a refresh was asked for meanwhile; it follows this one
};
