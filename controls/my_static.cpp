#include "controls/my_static.h"

#include <objbase.h>

#include <atomic>
#include <mutex>
#include <new>

#include "controls/dib_bitmap.h"
#include "framework/shared_thread.h"
#include "photo/picture_loader.h"

// What the decoding thread and the control share; the thread keeps it alive while it runs, so
// the control may go (or supersede the request) at any time without waiting.
struct CMyStatic::Request {
  std::u16string path;
  photo::Size area;
  HWND target = nullptr;
  unsigned number = 0;
  photo::StopFlag stop{false};
  std::mutex lock;
  HBITMAP result = nullptr;  // set by the thread, taken by the control

  ~Request() {
    if (result != nullptr) DeleteObject(result);
  }
};

namespace {

void FillGrey(HDC dc, const RECT& rc) {
  HBRUSH brush = CreateSolidBrush(CMyStatic::kBackground);
  if (brush == nullptr) return;
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

// The preview bitmap: the picture fitted into the area, centred on the grey; null when the file
// gives no picture or the request was superseded.
HBITMAP MakePreview(const std::u16string& path, photo::Size area, const photo::StopFlag* stop) {
  const photo::Bgr grey{GetBValue(CMyStatic::kBackground), GetGValue(CMyStatic::kBackground),
                        GetRValue(CMyStatic::kBackground)};
  photo::Image preview;
  if (photo::LoadIntoBox(path, area, grey, false, stop, &preview) != photo::PhotoStatus::kOk) return nullptr;
  return MakeDibBitmap(preview);
}

}  // namespace

CMyStatic::~CMyStatic() {
  // A decode still running is abandoned: its thread owns the request and frees its result.
  if (m_request != nullptr) m_request->stop = true;
  if (m_hPreview != nullptr) DeleteObject(m_hPreview);
}

bool CMyStatic::ShowImage(const std::wstring& path, int width, int height) {
  if (!IsWindow() || path.empty() || width <= 0 || height <= 0) return false;
  if (m_request != nullptr) m_request->stop = true;
  m_request.reset();
  std::shared_ptr<Request> request;
  try {
    request = std::make_shared<Request>();
    request->path.assign(path.begin(), path.end());
  } catch (const std::bad_alloc&) {
    return false;
  }
  request->area = photo::Size{width, height};
  request->target = m_hWnd;
  request->number = ++m_requests;
  const HANDLE thread = StartSharingThread<Request, &CMyStatic::Decode>(request);
  if (thread == nullptr) return false;
  CloseHandle(thread);  // never waited for
  m_request = std::move(request);
  return true;
}

void CMyStatic::Decode(Request& request) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  HBITMAP preview = nullptr;
  try {
    preview = MakePreview(request.path, request.area, &request.stop);
  } catch (const std::bad_alloc&) {
  }
  if (SUCCEEDED(com)) CoUninitialize();
  {
    std::lock_guard<std::mutex> lock(request.lock);
    request.result = preview;
  }
  // A superseded request still reports back, so that the control knows it has ended; a control
  // that is gone takes nothing.
  if (!request.stop) ::PostMessageW(request.target, kPreviewReady, request.number, 0);
}

void CMyStatic::OnPreviewReady(WPARAM number) {
  if (m_request == nullptr || m_request->number != number) return;  // superseded
  const std::shared_ptr<Request> request = std::move(m_request);
  HBITMAP preview = nullptr;
  {
    std::lock_guard<std::mutex> lock(request->lock);
    preview = request->result;
    request->result = nullptr;
  }
  if (preview == nullptr) return;  // no picture: the previous preview stays
  if (m_hPreview != nullptr) DeleteObject(m_hPreview);
  m_hPreview = preview;
  m_strImagePath.assign(request->path.begin(), request->path.end());
  const HDC dc = GetDC();
  if (dc != nullptr) {
    DrawPreview(dc);
    ReleaseDC(dc);
  }
}

void CMyStatic::DrawPreview(HDC dc) const {
  BITMAP size{};
  if (m_hPreview == nullptr || GetObjectW(m_hPreview, sizeof size, &size) != sizeof size) return;
  const HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return;
  const HGDIOBJ old = SelectObject(memory, m_hPreview);
  BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

LRESULT CMyStatic::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      if (dc != nullptr) {
        RECT rc{};
        GetClientRect(&rc);
        FillGrey(dc, rc);
        DrawPreview(dc);
      }
      SetTimer(kRedrawTimer, kRedrawDelayMs);
      return 0;
    }
    case WM_TIMER:
      if (m_hPreview != nullptr) {
        const HDC dc = GetDC();
        if (dc != nullptr) {
          DrawPreview(dc);
          ReleaseDC(dc);
        }
      }
      KillTimer(kRedrawTimer);
      return Default();
    case kPreviewReady:
      OnPreviewReady(wParam);
      return 0;
    default:
      break;
  }
  return CStatic::WindowProc(msg, wParam, lParam);
}
