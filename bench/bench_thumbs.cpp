// The photo list's thumbnails as a person sees them, under Wine: a real upload page in a
// window, a folder chosen as the folder tree does, and the time until the first 12 items and
// all items show their own tiles. Uses only what the upload page offered before the thumbnail
// loader changed, so the same source builds against the older tree for a before/after run.
//   bench_thumbs FOLDER           "items N  first 12: X s  all: Y s"
//   bench_thumbs --breakdown FILE where the time of one photo goes with the platform's loaders
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <olectl.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <cstdio>
#include <string>
#include <vector>

// The older tree this also builds in kept the window messages under app/.
#if __has_include("common/messages.h")
#include "common/messages.h"
#else
#include "app/messages.h"
#endif
#include "framework/dialog.h"
#include "framework/wnd.h"
#include "upload/upload_dlg.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The pictures' share of the item images: how many of the first `count` items show a tile.
int ItemsWithTiles(CListCtrl& list, int count) {
  int done = 0;
  for (int i = 0; i < count; ++i) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = i;
    if (list.GetItem(&item) && item.iImage != 0) ++done;
  }
  return done;
}

int TimeFolder(const std::wstring& folder) {
  // A signed-in user, so that the page asks nothing.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring appData = std::wstring(temp) + L"fotrel-bench";
  CreateDirectoryW(appData.c_str(), nullptr);
  SetEnvironmentVariableW(L"APPDATA", appData.c_str());
  WritePrivateProfileStringW(L"UserConfig", L"UserNameForUpLoad", L"bench", (appData + L"\\user.ini").c_str());

  CWnd host;
  if (!host.CreateEx(0, CWnd::DefaultWindowClass(), L"bench_thumbs", WS_POPUP | WS_VISIBLE, RECT{0, 0, 700, 560},
                     nullptr, 0)) {
    std::fprintf(stderr, "no window\n");
    return 1;
  }
  int items = 0;
  double first = -1, all = -1, start = 0;
  {
    CMyUpLoadDlg page;
    if (!page.Create(host.m_hWnd)) return 1;
    page.ShowWindow(SW_SHOW);
    page.m_strFolder = folder;
    start = Now();
    page.SendMessage(WM_FOLDER_CHANGED, 0, 0);
    items = page.m_listPhotos.GetItemCount();
    const int firstCount = items < 12 ? items : 12;
    while (Now() - start < 300 && all < 0) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!CDialog::FilterMessage(&msg)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
      if (first < 0 && ItemsWithTiles(page.m_listPhotos, firstCount) == firstCount) first = Now() - start;
      if (ItemsWithTiles(page.m_listPhotos, items) == items) all = Now() - start;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
  }
  host.DestroyWindow();
  std::printf("items %d  first 12: %.2f s  all: %.2f s\n", items, first, all);
  return all >= 0 ? 0 : 1;
}

// One photo through the platform's two loaders: the picture object (decode, then the
// stretching copy the old tiles made) and the imaging component (the frame, which under Wine
// decodes the whole picture, then the pixels).
int Breakdown(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const DWORD size = GetFileSize(file, nullptr);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  DWORD got = 0;
  ReadFile(file, GlobalLock(block), size, &got, nullptr);
  GlobalUnlock(block);
  CloseHandle(file);
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(block, TRUE, &stream);
  double t0 = Now();
  IPicture* picture = nullptr;
  if (FAILED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture, reinterpret_cast<void**>(&picture)))) {
    return 1;
  }
  const double decode = Now() - t0;
  OLE_HANDLE handle = 0;
  picture->get_Handle(&handle);
  t0 = Now();
  HBITMAP scaled = static_cast<HBITMAP>(CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 73, 55, 0));
  const double scaling = Now() - t0;
  DeleteObject(scaled);
  picture->Release();
  stream->Release();
  std::printf("picture object: decode %.3f s, scaling to the tile %.3f s\n", decode, scaling);

  IWICImagingFactory* factory = nullptr;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                   reinterpret_cast<void**>(&factory));
  IStream* fileStream = nullptr;
  SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, &fileStream);
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  t0 = Now();
  if (factory == nullptr || fileStream == nullptr ||
      FAILED(factory->CreateDecoderFromStream(fileStream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame))) {
    return 1;
  }
  const double frameTime = Now() - t0;
  UINT w = 0, h = 0;
  frame->GetSize(&w, &h);
  const IID sourceTransform = {0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};
  IUnknown* transform = nullptr;
  const bool scaledDecode = SUCCEEDED(frame->QueryInterface(sourceTransform, reinterpret_cast<void**>(&transform)));
  if (transform != nullptr) transform->Release();
  IWICBitmapSource* thumbnail = nullptr;
  const HRESULT thumb = frame->GetThumbnail(&thumbnail);
  if (thumbnail != nullptr) thumbnail->Release();
  IWICFormatConverter* converter = nullptr;
  factory->CreateFormatConverter(&converter);
  converter->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                        WICBitmapPaletteTypeCustom);
  const UINT stride = (w * 3 + 3) & ~3u;
  std::vector<BYTE> strip(static_cast<size_t>(stride) * 64);
  t0 = Now();
  for (UINT y = 0; y < h; y += 64) {
    const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(w), static_cast<INT>(h - y < 64 ? h - y : 64)};
    converter->CopyPixels(&rect, stride, static_cast<UINT>(strip.size()), strip.data());
  }
  const double pixels = Now() - t0;
  std::printf("imaging component: %ux%u, frame (decodes) %.3f s, pixels out %.3f s; scaled decode %s, "
              "embedded thumbnail %s (0x%08lx)\n",
              w, h, frameTime, pixels, scaledDecode ? "offered" : "not offered", SUCCEEDED(thumb) ? "offered" : "not offered",
              static_cast<unsigned long>(thumb));
  converter->Release();
  frame->Release();
  decoder->Release();
  fileStream->Release();
  factory->Release();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The window thread as the program sets it up (the page needs no GDI+).
  INITCOMMONCONTROLSEX icc{sizeof icc, 0xFF};
  InitCommonControlsEx(&icc);
  OleInitialize(nullptr);
  int rc = 2;
  if (argc == 3 && std::wstring(argv[1]) == L"--breakdown") {
    rc = Breakdown(argv[2]);
  } else if (argc == 2) {
    rc = TimeFolder(argv[1]);
  } else {
    std::fprintf(stderr, "usage: bench_thumbs FOLDER | bench_thumbs --breakdown FILE\n");
  }
  OleUninitialize();
  return rc;
}
