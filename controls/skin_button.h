// A flat push button drawn from two bitmaps: the normal image while the mouse is elsewhere, the
// hover image while it is over the button. It shows a thin 3-D edge only while hovered or
// pressed, and the image moves by m_ptPushOffset while pressed. Pure black pixels of the images
// are transparent: the button's background (and edge) shows through them.
//
// A dialog binds the object to a push button of its template (DDX_Control); binding turns the
// button owner-drawn. The dialog then hands it its images once, with SetImages.
//
// Image ownership: SetImages takes its own copies of the bitmaps it is given (DIB sections made
// with CopyImage), builds the transparency masks on those copies, and deletes only the copies and
// the masks (at the next SetImages and in the destructor). The caller keeps its own handles and
// deletes them whenever it likes, also right after SetImages. So the button owns the images it
// draws, and the dialog that loaded the bitmaps still deletes what it loaded, without any GDI
// handle being deleted twice.
#pragma once

#include "framework/controls.h"

class CSkinButton : public CButton {
 public:
  // The colour table: background and text colour for each of the three drawing states.
  enum ColorIndex {
    kColorBkHover = 0,   // hovered or pressed
    kColorFgHover,
    kColorBkNormal,
    kColorFgNormal,
    kColorBkFocus,       // focused, not hovered
    kColorFgFocus,
    kColorCount
  };

  // Index of the image records.
  enum ImageIndex { kImageHover = 0, kImageNormal = 1 };

  // One image: the button's own copy of a bitmap, its size, and its mask (1 where transparent).
  struct ImageRecord {
    HBITMAP hBitmap;
    int nWidth;
    int nHeight;
    HBITMAP hMask;
    COLORREF crTransparent;
  };

  // Results of SetImages.
  enum : DWORD { kImagesOk = 0, kImageSizeUnreadable = 1, kImageMaskFailed = 2 };

  CSkinButton();
  ~CSkinButton() override;

  // Replaces both images. `hover` is required; `normal` may be null (the hover image is then
  // drawn in every state). Both null only drops the images. Returns 0 on success; 1 when a
  // bitmap's size cannot be read (not a bitmap handle); 2 when the copy or its mask cannot be
  // made. On failure the button is left without images. Repaints the button.
  DWORD SetImages(HBITMAP hover, HBITMAP normal);

  // --- State (values after construction in brackets) ---
  BOOL m_bFlat;           // [TRUE] no permanent 3-D frame; hover tracking on
  BOOL m_bShowEdge;       // [TRUE] thin edge while hovered or pressed
  BOOL m_bFlatFocus;      // [FALSE] focus rectangle although flat
  BOOL m_bTrackInactive;  // [TRUE] hover also while the button's window is not active
  BOOL m_bDisabledImage;  // [TRUE] disabled-style image when disabled
  BOOL m_bHover;          // [FALSE] the mouse is over the button
  BOOL m_bPressed;        // [FALSE] state of the last drawing request
  BOOL m_bFocused;        // [FALSE]
  BOOL m_bDisabled;       // [FALSE]
  BOOL m_bDefault;        // [FALSE] the dialog's default button
  BOOL m_bCheckStyle;     // [FALSE] the template's type was a check-box type (bit 1)
  UINT m_nButtonType;     // [15] the template's button type, read when bound
  POINT m_ptImageMargin;  // [(3, 3)] image margin when the button has text
  POINT m_ptPushOffset;   // [(1, 1)] offset of image and text while pressed
  COLORREF m_crColors[kColorCount];  // [COLOR_BTNFACE backgrounds, COLOR_BTNTEXT texts]
  ImageRecord m_images[2];           // [zero] [0] hover image, [1] normal image

  // --- Drawing: the owner-draw call and its steps, in this order ---
  void DrawItem(DRAWITEMSTRUCT* item) override;
  // `item` is the whole button; `caption` the part left for the text.
  virtual void DrawBackground(HDC dc, const RECT& item);
  virtual void DrawEdge(HDC dc, const RECT& item);
  virtual void DrawIconImage(HDC dc, const RECT& item, RECT* caption);
  virtual void DrawBitmapImage(HDC dc, const RECT& item, RECT* caption);
  virtual void DrawCaption(HDC dc, const RECT& item, const RECT& caption, const std::wstring& text);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  void PreSubclassWindow() override;

 protected:
  // Clears the hover look (flat buttons) and repaints.
  void CancelHover();
  void OnMouseMove(WPARAM flags, LPARAM point);
  void ReadSysColors();
  void FreeImages();

 private:
  static bool PrepareImage(HBITMAP source, ImageRecord* record, DWORD* error);
};
