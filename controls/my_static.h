// A static control with the skin's light grey background that can also preview a picture
// file. The picture is decoded once per request, off the window thread, into one bitmap of the
// preview's size: the picture upright, its shape kept, centred on the grey. Until it is ready
// the control shows what it showed before (grey at first). Once a picture has been shown, every
// background erase draws that bitmap again: at once, and once more from a 200 ms timer, after
// the control's own painting (which fills its face) has run.
#pragma once

#include "framework/controls.h"

#include <memory>
#include <string>

class CMyStatic : public CStatic {
 public:
  // The skin's background grey.
  static constexpr COLORREF kBackground = RGB(241, 241, 241);
  // The timer that repeats the picture after the control's own painting.
  static constexpr UINT_PTR kRedrawTimer = 1;
  static constexpr UINT kRedrawDelayMs = 200;
  // Size of the area the preview fills.
  static constexpr int kPreviewWidth = 175;
  static constexpr int kPreviewHeight = 155;
  // Posted by the decoding thread to the control: wParam is the request's number.
  static constexpr UINT kPreviewReady = WM_APP + 0x51;

  CMyStatic() = default;
  ~CMyStatic() override;

  // Starts decoding the picture in file `path` for a width x height area at the control's
  // top-left corner. Returns whether a decode was started (not for an empty path, a size that
  // is not positive, or a control without a window). A later request supersedes one still
  // running; a file that gives no picture keeps the previous preview and path.
  bool ShowImage(const std::wstring& path, int width, int height);
  // Whether a request has not come back yet.
  bool PreviewPending() const { return m_request != nullptr; }

  // Path of the picture shown; empty until the first one is ready.
  std::wstring m_strImagePath;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  struct Request;
  // The decoding thread's work.
  static void Decode(Request& request);
  void OnPreviewReady(WPARAM number);
  void DrawPreview(HDC dc) const;

  std::shared_ptr<Request> m_request;  // the latest request, until it comes back
  unsigned m_requests = 0;
  HBITMAP m_hPreview = nullptr;
};
