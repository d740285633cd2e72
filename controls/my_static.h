// A static control with the skin's light grey background that can also show a picture file,
// stretched into its top-left corner. Once a picture has been shown, every background erase
// draws it again: at once, and once more from a 200 ms timer, after the control's own painting
// (which fills its face) has run.
#pragma once

#include "framework/controls.h"

#include <string>

class CMyStatic : public CStatic {
 public:
  // The skin's background grey.
  static constexpr COLORREF kBackground = RGB(241, 241, 241);
  // The timer that repeats the picture after the control's own painting.
  static constexpr UINT_PTR kRedrawTimer = 1;
  static constexpr UINT kRedrawDelayMs = 200;
  // Size of the area every erase and timer tick draws the remembered picture into.
  static constexpr int kPreviewWidth = 175;
  static constexpr int kPreviewHeight = 155;
  // Larger files are not read into memory for a preview.
  static constexpr unsigned long long kMaxImageFileBytes = 64ull * 1024 * 1024;

  // Draws the picture in file `path` (any format OleLoadPicture reads) stretched to
  // width x height pixels at the control's top-left corner, and remembers the path. Returns
  // whether the picture was drawn. A missing, empty, too large or unreadable file, one that is
  // not a picture, or a bitmap file cut short, draws nothing and keeps the previously
  // remembered path.
  bool ShowImage(const std::wstring& path, int width, int height);

  // Path of the picture last shown successfully; empty until then.
  std::wstring m_strImagePath;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
