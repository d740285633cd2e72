// The skinned main window: a borderless popup whose look is composed from PNG images with
// GDI+ into a 32-bit per-pixel-alpha bitmap and handed to UpdateLayeredWindow. It draws its own
// close and hide buttons, can be dragged by any other point, keeps an icon in the notification
// area, and frames the program's working popup: first the login dialog, after a successful
// login the tabbed window. A 500 ms timer watches the login dialog and makes that switch.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/dialog.h"

namespace Gdiplus {
class Image;
}

class CMyLoginDlg;
class CMyWebDlg;
class CMainUpLoadDlg;

class CFotrelDlg : public CDialog {
 public:
  // The service host of the account calls made from the login dialog is the build-time one
  // unless given here. (The pages' host is process-wide: SetServicePageHost.)
  explicit CFotrelDlg(HWND parent = nullptr);
  explicit CFotrelDlg(const std::u16string& serviceHost, HWND parent = nullptr);
  ~CFotrelDlg() override;

  // Lets go of what needs the platform libraries: the skin images (GDI+) and the objects of
  // the login dialog, the hidden login page and the tabbed window (COM). Start-up calls it once
  // the modal loop has ended, before GDI+, OLE and COM are shut down; the destructor calls it
  // too. The windows themselves are gone by then (they went with the main window).
  void ReleaseResources();
  // How many of the skin images are loaded.
  int LoadedSkinImages() const;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // Skin images, in loading order.
  enum SkinImage {
    kBackground, kInner, kTop, kLeft, kRight, kBottom, kTopLeft, kTopRight, kBottomLeft,
    kBottomRight, kCloseHover, kClose, kHide, kHideHover, kSkinImageCount
  };

 protected:
  BOOL OnInitDialog() override;
  // Enter does nothing: the main window has no default action.
  void OnOK() override;

  // Composition of the skin: the layered window's content. Called with the memory bitmap's
  // pixels (32 bits, premultiplied alpha, bottom-up rows) after drawing, before they are handed
  // to the window. Nothing to do here; a test looks at the pixels.
  virtual void OnSkinComposed(const uint32_t* pixels, int width, int height);

  void RedrawSkin();
  // Places `child` inside the frame and shows it; `widthLess` / `heightLess` are 32 / 52 at
  // the first placement of the login dialog and 28 / 48 afterwards.
  void PlaceChild(CWnd* child, int widthLess, int heightLess);
  // The popup of the current mode (the login dialog or the tabbed window), or null.
  CWnd* CurrentChild() const;
  void Restore();

  // The hit rectangles of the two window buttons, client coordinates.
  RECT CloseClickRect() const;
  RECT HideClickRect() const;
  RECT CloseHighlightRect() const;
  RECT HideHighlightRect() const;
  RECT CloseNoDragRect() const;
  RECT HideNoDragRect() const;

  void OnCreate(LRESULT* result);
  void OnMouseMove(WPARAM keys, POINT point);
  void OnMouseLeave();
  void OnLButtonUp(POINT point);
  void OnMoved();
  void OnTimer(UINT_PTR id);
  // The tabbed window found no signed-in user: it goes, and the login dialog comes back.
  void OnBackToLogin(HWND tabbedWindow);

  std::u16string m_strServiceHost;
  HICON m_hIcon;
  CMyLoginDlg* m_pLoginDlg;
  CMainUpLoadDlg* m_pTabsDlg;
  CMyWebDlg* m_pLoginPageDlg;

  using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                              BLENDFUNCTION*, DWORD);
  HMODULE m_hUserLib;
  UpdateLayeredWindowFn m_pUpdateLayeredWindow;
  BLENDFUNCTION m_blend;

  // One skin image with the stream it was decoded from: GDI+ may read the image's data again
  // later, so the bytes live as long as the image.
  struct SkinPicture {
    Gdiplus::Image* image = nullptr;
    IStream* stream = nullptr;
  };
  SkinPicture m_images[kSkinImageCount];
  // The composition without the two window buttons, in the rows of the memory bitmap.
  std::vector<uint32_t> m_frameLayer;

  int m_nBorder;  // b
  int m_nWidth;   // W
  int m_nHeight;  // H
  int m_nCornerWidth;
  int m_nCornerHeight;
  int m_nButtonWidth;
  int m_nButtonHeight;

  int m_bPressedOnce;
  int m_nChildMode;  // 0 none, 1 the login dialog, 3 the tabbed window
  int m_bHoverClose;
  int m_bHoverMin;
  int m_bTracking;
  int m_bJustRestored;

  NOTIFYICONDATAW m_trayIcon;
  bool m_bTrayIconAdded;

  static constexpr int kModeNone = 0;
  static constexpr int kModeLogin = 1;
  static constexpr int kModeTabs = 3;
  static constexpr UINT_PTR kLoginPollTimer = 1;

 private:
  static bool LoadPngResource(int id, SkinPicture* picture);
};
