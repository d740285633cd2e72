#include "controls/my_static.h"

#include <ole2.h>
#include <olectl.h>

namespace {

void FillGrey(HDC dc, const RECT& rc) {
  HBRUSH brush = CreateSolidBrush(CMyStatic::kBackground);
  if (brush == nullptr) return;
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

// Reads the whole file into a movable global block (at most `limit` bytes; an empty or larger
// file is refused). Returns the block and, in *size, the number of bytes read into it.
HGLOBAL ReadFileToGlobal(const std::wstring& path, unsigned long long limit, DWORD* size) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file, &length) || length.QuadPart <= 0 ||
      static_cast<unsigned long long>(length.QuadPart) > limit) {
    CloseHandle(file);
    return nullptr;
  }
  const DWORD capacity = static_cast<DWORD>(length.QuadPart);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, capacity);
  BYTE* data = block != nullptr ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
  DWORD total = 0;
  bool ok = data != nullptr;
  // The file may change while it is read: never more than the block holds, stop at its end.
  while (ok && total < capacity) {
    DWORD got = 0;
    if (!ReadFile(file, data + total, capacity - total, &got, nullptr)) {
      ok = false;
    } else if (got == 0) {
      break;
    } else {
      total += got;
    }
  }
  if (data != nullptr) GlobalUnlock(block);
  CloseHandle(file);
  if (!ok || total == 0) {
    if (block != nullptr) GlobalFree(block);
    return nullptr;
  }
  *size = total;
  return block;
}

}  // namespace

bool CMyStatic::ShowImage(const std::wstring& path, int width, int height) {
  if (!IsWindow() || path.empty() || width <= 0 || height <= 0) return false;
  DWORD size = 0;
  HGLOBAL block = ReadFileToGlobal(path, kMaxImageFileBytes, &size);
  if (block == nullptr) return false;
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || stream == nullptr) {
    GlobalFree(block);
    return false;
  }
  // From here the stream owns the block.
  IPicture* picture = nullptr;
  const HRESULT hr =
      OleLoadPicture(stream, static_cast<LONG>(size), TRUE, IID_IPicture, reinterpret_cast<void**>(&picture));
  if (FAILED(hr) || picture == nullptr) {
    stream->Release();
    return false;
  }
  OLE_XSIZE_HIMETRIC pictureWidth = 0;
  OLE_YSIZE_HIMETRIC pictureHeight = 0;
  picture->get_Width(&pictureWidth);
  picture->get_Height(&pictureHeight);
  bool drawn = false;
  const HDC dc = GetDC();
  if (dc != nullptr) {
    // HIMETRIC runs bottom-up: start at the picture's height with a negative extent.
    drawn = SUCCEEDED(picture->Render(dc, 0, 0, width, height, 0, pictureHeight, pictureWidth, -pictureHeight, nullptr));
    ReleaseDC(dc);
  }
  picture->Release();
  stream->Release();
  m_strImagePath = path;
  return drawn;
}

LRESULT CMyStatic::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      if (dc != nullptr) {
        RECT rc{};
        GetClientRect(&rc);
        FillGrey(dc, rc);
      }
      if (!m_strImagePath.empty()) ShowImage(m_strImagePath, kPreviewWidth, kPreviewHeight);
      SetTimer(kRedrawTimer, kRedrawDelayMs);
      return 0;
    }
    case WM_TIMER:
      if (!m_strImagePath.empty()) ShowImage(m_strImagePath, kPreviewWidth, kPreviewHeight);
      KillTimer(kRedrawTimer);
      return Default();
    default:
      break;
  }
  return CStatic::WindowProc(msg, wParam, lParam);
}
