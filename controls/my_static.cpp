#include "controls/my_static.h"

#include "controls/picture_file.h"

namespace {

void FillGrey(HDC dc, const RECT& rc) {
  HBRUSH brush = CreateSolidBrush(CMyStatic::kBackground);
  if (brush == nullptr) return;
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

}  // namespace

bool CMyStatic::ShowImage(const std::wstring& path, int width, int height) {
  if (!IsWindow() || path.empty() || width <= 0 || height <= 0) return false;
  IPicture* picture = LoadPictureFile(path, kMaxImageFileBytes);
  if (picture == nullptr) return false;
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
