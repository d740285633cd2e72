#include "controls/skin_button.h"

#include <windowsx.h>

#include <algorithm>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

void FillSolid(HDC dc, const RECT& rc, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  if (brush == nullptr) return;
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

// A one-pixel frame: top and left lines in `topLeft`, right and bottom lines in `bottomRight`.
void Draw3dRect(HDC dc, const RECT& rc, COLORREF topLeft, COLORREF bottomRight) {
  const int w = rc.right - rc.left;
  const int h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return;
  FillSolid(dc, RECT{rc.left, rc.top, rc.right - 1, rc.top + 1}, topLeft);
  FillSolid(dc, RECT{rc.left, rc.top, rc.left + 1, rc.bottom - 1}, topLeft);
  FillSolid(dc, RECT{rc.right - 1, rc.top, rc.right, rc.bottom}, bottomRight);
  FillSolid(dc, RECT{rc.left, rc.bottom - 1, rc.right, rc.bottom}, bottomRight);
}

}  // namespace

CSkinButton::CSkinButton()
    : m_bFlat(TRUE),
      m_bShowEdge(TRUE),
      m_bFlatFocus(FALSE),
      m_bTrackInactive(TRUE),
      m_bDisabledImage(TRUE),
      m_bHover(FALSE),
      m_bPressed(FALSE),
      m_bFocused(FALSE),
      m_bDisabled(FALSE),
      m_bDefault(FALSE),
      m_bCheckStyle(FALSE),
      m_nButtonType(15),
      m_ptImageMargin{3, 3},
      m_ptPushOffset{1, 1},
      m_crColors{},
      m_images{} {
  ReadSysColors();
}

// The window is unbound by the base destructor right after this, before any further message.
CSkinButton::~CSkinButton() { FreeImages(); }

void CSkinButton::ReadSysColors() {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF text = GetSysColor(COLOR_BTNTEXT);
  m_crColors[kColorBkHover] = face;
  m_crColors[kColorFgHover] = text;
  m_crColors[kColorBkNormal] = face;
  m_crColors[kColorFgNormal] = text;
  m_crColors[kColorBkFocus] = face;
  m_crColors[kColorFgFocus] = text;
}

void CSkinButton::FreeImages() {
  for (ImageRecord& image : m_images) {
    if (image.hBitmap != nullptr) DeleteObject(image.hBitmap);
    if (image.hMask != nullptr) DeleteObject(image.hMask);
    image = ImageRecord{};
  }
}

// Copies `source` into a DIB section of the button's own and builds its mask: 1 where the image
// is black (transparent), and the transparent pixels of the copy made black for SRCPAINT.
bool CSkinButton::PrepareImage(HBITMAP source, ImageRecord* record, DWORD* error) {
  BITMAP info{};
  if (source == nullptr || GetObjectType(source) != OBJ_BITMAP ||
      GetObjectW(source, sizeof info, &info) != static_cast<int>(sizeof info) || info.bmWidth <= 0 ||
      info.bmHeight <= 0) {
    *error = kImageSizeUnreadable;
    return false;
  }
  const int w = info.bmWidth;
  const int h = info.bmHeight;
  const COLORREF transparent = kBlack;

  HBITMAP copy = static_cast<HBITMAP>(CopyImage(source, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  HBITMAP mask = copy != nullptr ? CreateBitmap(w, h, 1, 1, nullptr) : nullptr;
  HDC imageDc = CreateCompatibleDC(nullptr);
  HDC maskDc = CreateCompatibleDC(nullptr);
  bool ok = copy != nullptr && mask != nullptr && imageDc != nullptr && maskDc != nullptr;
  if (ok) {
    HGDIOBJ oldImage = SelectObject(imageDc, copy);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    // Colour to monochrome: pixels of the source's background colour become 1.
    SetBkColor(imageDc, transparent);
    ok = BitBlt(maskDc, 0, 0, w, h, imageDc, 0, 0, SRCCOPY) != FALSE;
    // Monochrome to colour: 1 becomes the background (black), 0 the text colour (white).
    SetTextColor(imageDc, kWhite);
    SetBkColor(imageDc, kBlack);
    ok = ok && BitBlt(imageDc, 0, 0, w, h, maskDc, 0, 0, SRCAND) != FALSE;
    SelectObject(maskDc, oldMask);
    SelectObject(imageDc, oldImage);
  }
  if (maskDc != nullptr) DeleteDC(maskDc);
  if (imageDc != nullptr) DeleteDC(imageDc);
  if (!ok) {
    if (mask != nullptr) DeleteObject(mask);
    if (copy != nullptr) DeleteObject(copy);
    *error = kImageMaskFailed;
    return false;
  }
  record->hBitmap = copy;
  record->nWidth = w;
  record->nHeight = h;
  record->hMask = mask;
  record->crTransparent = transparent;
  return true;
}

DWORD CSkinButton::SetImages(HBITMAP hover, HBITMAP normal) {
  FreeImages();
  DWORD result = kImagesOk;
  if (hover != nullptr || normal != nullptr) {
    if (!PrepareImage(hover, &m_images[kImageHover], &result) ||
        (normal != nullptr && !PrepareImage(normal, &m_images[kImageNormal], &result))) {
      FreeImages();
    }
  }
  if (IsWindow()) Invalidate();
  return result;
}

void CSkinButton::PreSubclassWindow() {
  CButton::PreSubclassWindow();
  const UINT type = GetStyle() & BS_TYPEMASK;
  m_nButtonType = type;
  if ((type & 0x2) != 0) m_bCheckStyle = TRUE;
  if (type == BS_DEFPUSHBUTTON) {
    m_bDefault = TRUE;
    m_nButtonType = BS_PUSHBUTTON;
  }
  ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW, SWP_FRAMECHANGED);
}

void CSkinButton::CancelHover() {
  if (m_bFlat && m_bHover) {
    m_bHover = FALSE;
    Invalidate();
  }
}

void CSkinButton::OnMouseMove(WPARAM flags, LPARAM point) {
  POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  ClientToScreen(&pt);
  const HWND under = ::WindowFromPoint(pt);
  // A press that began elsewhere and drags onto the button does not hover it.
  if (((flags & MK_LBUTTON) != 0 && !m_bHover) || !m_bFlat) return;
  const bool active = m_bTrackInactive || ::GetAncestor(m_hWnd, GA_ROOT) == ::GetActiveWindow();
  if (under == m_hWnd && active) {
    if (!m_bHover) {
      m_bHover = TRUE;
      Invalidate();
      TRACKMOUSEEVENT track{};
      track.cbSize = sizeof track;
      track.dwFlags = TME_LEAVE;
      track.hwndTrack = m_hWnd;
      ::TrackMouseEvent(&track);
    }
  } else if (m_bHover) {
    m_bHover = FALSE;
    Invalidate();
  }
}

LRESULT CSkinButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_MOUSEMOVE: {
      const LRESULT result = Default();
      OnMouseMove(wParam, lParam);
      return result;
    }
    case WM_MOUSELEAVE:
      CancelHover();
      return 0;
    case WM_KILLFOCUS:
    case WM_CANCELMODE: {
      const LRESULT result = Default();
      CancelHover();
      return result;
    }
    case WM_ACTIVATE: {
      const LRESULT result = Default();
      if (LOWORD(wParam) == WA_INACTIVE) CancelHover();
      return result;
    }
    case WM_ENABLE: {
      const LRESULT result = Default();
      if (!wParam) {
        const HWND parent = GetParent();
        if (parent != nullptr) {
          const HWND next = ::GetNextDlgTabItem(parent, m_hWnd, FALSE);
          ::SetFocus(next != nullptr && next != m_hWnd ? next : parent);
        }
        CancelHover();
      }
      return result;
    }
    case WM_GETDLGCODE:
      return Default() | (m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE: {
      // The dialog manager moves the default-button look with this; the button stays owner-drawn.
      const UINT type = static_cast<UINT>(wParam) & BS_TYPEMASK;
      if (type == BS_DEFPUSHBUTTON) {
        m_bDefault = TRUE;
      } else if (type == BS_PUSHBUTTON) {
        m_bDefault = FALSE;
      }
      const WPARAM style = (wParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
      return DefWindowProc(BM_SETSTYLE, style, lParam);
    }
    case WM_SYSCOLORCHANGE: {
      const LRESULT result = Default();
      ReadSysColors();
      Invalidate();
      return result;
    }
    case WM_LBUTTONDBLCLK:
      // An owner-drawn button would report a double click instead of a second click. Handled
      // here rather than in the message loop, so that every loop (also modal ones) agrees.
      return DefWindowProc(WM_LBUTTONDOWN, wParam, lParam);
    default:
      break;
  }
  return CButton::WindowProc(msg, wParam, lParam);
}

bool CSkinButton::OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (msg) {
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
      // The button paints its whole face itself: nothing to erase first.
      *result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      return true;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) SetFocus();
      return false;  // the parent handles the click as usual
    default:
      break;
  }
  return CButton::OnReflectedMessage(msg, wParam, lParam, result);
}

void CSkinButton::DrawItem(DRAWITEMSTRUCT* item) {
  if (item == nullptr || item->hDC == nullptr) return;
  const HDC dc = item->hDC;
  m_bPressed = (item->itemState & ODS_SELECTED) ? TRUE : FALSE;
  m_bFocused = (item->itemState & ODS_FOCUS) ? TRUE : FALSE;
  m_bDisabled = (item->itemState & ODS_DISABLED) ? TRUE : FALSE;
  const RECT rc = item->rcItem;
  const int oldMode = SetBkMode(dc, TRANSPARENT);

  DrawBackground(dc, rc);
  DrawEdge(dc, rc);
  RECT caption = rc;
  if (m_images[kImageHover].hBitmap != nullptr) {
    DrawBitmapImage(dc, rc, &caption);
  } else {
    DrawIconImage(dc, rc, &caption);
  }
  const std::wstring text = GetWindowText();
  if (!text.empty()) DrawCaption(dc, rc, caption, text);
  if (m_bFocused && (!m_bFlat || m_bFlatFocus)) {
    RECT focus = rc;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
  SetBkMode(dc, oldMode);
}

void CSkinButton::DrawBackground(HDC dc, const RECT& item) {
  COLORREF colour = m_crColors[kColorBkNormal];
  if (m_bHover || m_bPressed) {
    colour = m_crColors[kColorBkHover];
  } else if (m_bFocused) {
    colour = m_crColors[kColorBkFocus];
  }
  FillSolid(dc, item, colour);
}

void CSkinButton::DrawEdge(HDC dc, const RECT& item) {
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  if (m_bPressed) {
    if (m_bShowEdge || !m_bFlat) Draw3dRect(dc, item, shadow, highlight);
  } else if (!m_bFlat || (m_bHover && m_bShowEdge)) {
    Draw3dRect(dc, item, highlight, shadow);
  }
}

void CSkinButton::DrawIconImage(HDC, const RECT&, RECT*) {}

void CSkinButton::DrawBitmapImage(HDC dc, const RECT& item, RECT* caption) {
  const ImageRecord& image =
      (!m_bHover && m_images[kImageNormal].hBitmap != nullptr) ? m_images[kImageNormal] : m_images[kImageHover];
  if (image.hBitmap == nullptr || image.hMask == nullptr) return;
  const int w = image.nWidth;
  const int h = image.nHeight;

  int x = item.left + ((item.right - item.left) - w) / 2;
  const int y0 = item.top + ((item.bottom - item.top) - h) / 2;
  if (GetWindowTextLength() > 0) {
    // Image on the left, the text beside it.
    x = item.left + m_ptImageMargin.x;
    if (caption != nullptr) caption->left = x + w + m_ptImageMargin.x;
  }
  int y = y0;
  if (m_bPressed) {
    x += m_ptPushOffset.x;
    y += m_ptPushOffset.y;
  }
  // Only the part inside the button is drawn (the pressed image sticks out by the offset).
  RECT place{x, y, x + w, y + h};
  RECT visible{};
  if (!IntersectRect(&visible, &place, &item)) return;
  const int sx = visible.left - x;
  const int sy = visible.top - y;
  const int vw = visible.right - visible.left;
  const int vh = visible.bottom - visible.top;

  const COLORREF oldBk = SetBkColor(dc, kWhite);
  const COLORREF oldText = SetTextColor(dc, kBlack);
  HDC mem = CreateCompatibleDC(dc);
  if (mem != nullptr) {
    HGDIOBJ old = SelectObject(mem, image.hMask);
    if (m_bDisabled && m_bDisabledImage) {
      // Composed on white first: the system's disabled style takes white as background.
      HBITMAP composed = CreateCompatibleBitmap(dc, vw, vh);
      HDC comp = composed != nullptr ? CreateCompatibleDC(dc) : nullptr;
      if (comp != nullptr) {
        HGDIOBJ oldComp = SelectObject(comp, composed);
        PatBlt(comp, 0, 0, vw, vh, WHITENESS);
        SetBkColor(comp, kWhite);
        SetTextColor(comp, kBlack);
        BitBlt(comp, 0, 0, vw, vh, mem, sx, sy, SRCAND);
        SelectObject(mem, image.hBitmap);
        BitBlt(comp, 0, 0, vw, vh, mem, sx, sy, SRCPAINT);
        SelectObject(comp, oldComp);
        DeleteDC(comp);
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(composed), 0, visible.left, visible.top, vw, vh,
                   DST_BITMAP | DSS_DISABLED);
      }
      if (composed != nullptr) DeleteObject(composed);
    } else {
      BitBlt(dc, visible.left, visible.top, vw, vh, mem, sx, sy, SRCAND);
      SelectObject(mem, image.hBitmap);
      BitBlt(dc, visible.left, visible.top, vw, vh, mem, sx, sy, SRCPAINT);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBk);
}

void CSkinButton::DrawCaption(HDC dc, const RECT&, const RECT& caption, const std::wstring& text) {
  const HFONT font = GetFont();
  HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT measured = caption;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
  const int w = measured.right - measured.left;
  const int h = measured.bottom - measured.top;
  RECT rc;
  rc.left = caption.left + ((caption.right - caption.left) - w) / 2;
  rc.top = caption.top + ((caption.bottom - caption.top) - h) / 2;
  rc.right = rc.left + w;
  rc.bottom = rc.top + h;
  if (m_bPressed) OffsetRect(&rc, m_ptPushOffset.x, m_ptPushOffset.y);

  const int oldMode = SetBkMode(dc, TRANSPARENT);
  COLORREF colour = m_crColors[kColorFgNormal];
  if (m_bHover || m_bPressed) {
    colour = m_crColors[kColorFgHover];
  } else if (m_bFocused) {
    colour = m_crColors[kColorFgFocus];
  }
  const int len = static_cast<int>(text.size());
  COLORREF oldText;
  if (m_bDisabled) {
    // Embossed: the highlight one pixel down-right, the shadow in place.
    OffsetRect(&rc, 1, 1);
    oldText = SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
    DrawTextW(dc, text.c_str(), len, &rc, DT_WORDBREAK | DT_CENTER);
    OffsetRect(&rc, -1, -1);
    SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
    DrawTextW(dc, text.c_str(), len, &rc, DT_WORDBREAK | DT_CENTER);
  } else {
    oldText = SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), len, &rc, DT_WORDBREAK | DT_CENTER);
  }
  SetTextColor(dc, oldText);
  SetBkMode(dc, oldMode);
  if (font != nullptr) SelectObject(dc, oldFont);
}
