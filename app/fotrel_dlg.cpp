#include "app/fotrel_dlg.h"

#include <windowsx.h>
#include <gdiplus.h>

#include <cstring>

#include "account/login_dlg.h"
#include "common/messages.h"
#include "common/settings.h"
#include "common/window_identity.h"
#include "res/resource.h"
#include "services/service_host.h"
#include "web/main_upload_dlg.h"
#include "web/my_web_dlg.h"
#include "web/service_pages.h"

static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX && IDM_ABOUTBOX < 0xF000,
              "a system-menu command is a multiple of 16 below the system's own commands");

namespace {

// Resource ids of the skin images, in the order of CFotrelDlg::SkinImage (the loading order).
constexpr int kSkinIds[CFotrelDlg::kSkinImageCount] = {
    IDB_SKIN_BACKGROUND, IDB_SKIN_INNER,       IDB_SKIN_TOP,   IDB_SKIN_LEFT,
    IDB_SKIN_RIGHT,      IDB_SKIN_BOTTOM,      IDB_SKIN_TOPLEFT, IDB_SKIN_TOPRIGHT,
    IDB_SKIN_BOTTOMLEFT, IDB_SKIN_BOTTOMRIGHT, IDB_SKIN_CLOSE_HOVER, IDB_SKIN_CLOSE,
    IDB_SKIN_HIDE,       IDB_SKIN_HIDE_HOVER};

// Move by dragging the caption: SC_MOVE with the caption hit code.
constexpr WPARAM kDragMove = 0xF012;
constexpr BYTE kRedrawAlpha = 255;
constexpr BYTE kCreationAlpha = 250;

constexpr wchar_t kTitle[] = L"Zorvan照片冲印";
constexpr wchar_t kTrayTip[] = L"Zorvan在线冲印";
constexpr wchar_t kQuitQuestion[] = L"确定要退出程序吗??";
constexpr wchar_t kNoticeCaption[] = L"提示";

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

bool Inside(const RECT& rect, POINT point) { return ::PtInRect(&rect, point) != FALSE; }

// Runs `draw` on a GDI+ surface over W x H pixels of 32 bits with premultiplied alpha, in the
// bottom-up row order of a device-independent section (the last row first, so a negative stride).
template <typename DrawFn>
void DrawOnRows(uint32_t* bottomUpRows, int width, int height, DrawFn draw) {
  const int stride = width * 4;
  uint32_t* const lastRow = bottomUpRows + static_cast<size_t>(height - 1) * static_cast<size_t>(width);
  Gdiplus::Bitmap surface(width, height, -stride, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(lastRow));
  Gdiplus::Graphics graphics(&surface);
  draw(graphics);
}

// A failing draw does not stop the composition: the other images are still drawn.
void Draw(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int x, int y, int width, int height) {
  if (image != nullptr) graphics.DrawImage(image, x, y, width, height);
}

}  // namespace

CFotrelDlg::CFotrelDlg(HWND parent) : CFotrelDlg(DefaultServiceHost(), parent) {}

CFotrelDlg::CFotrelDlg(const std::u16string& serviceHost, HWND parent)
    : CDialog(IDD_FOTREL_DIALOG, parent),
      m_strServiceHost(serviceHost),
      m_hIcon(nullptr),
      m_pLoginDlg(nullptr),
      m_pTabsDlg(nullptr),
      m_pLoginPageDlg(nullptr),
      m_hUserLib(nullptr),
      m_pUpdateLayeredWindow(nullptr),
      m_blend{AC_SRC_OVER, 0, kCreationAlpha, AC_SRC_ALPHA},
      m_nBorder(0),
      m_nWidth(0),
      m_nHeight(0),
      m_nCornerWidth(0),
      m_nCornerHeight(0),
      m_nButtonWidth(0),
      m_nButtonHeight(0),
      m_bPressedOnce(0),
      m_nChildMode(kModeNone),
      m_bHoverClose(0),
      m_bHoverMin(0),
      m_bTracking(0),
      m_bJustRestored(0),
      m_trayIcon{},
      m_bTrayIconAdded(false) {}

CFotrelDlg::~CFotrelDlg() {
  // The window (with the child page and the owned popups) goes first, while every member lives.
  DestroyWindow();
  ReleaseResources();
  if (m_bTrayIconAdded) ::Shell_NotifyIconW(NIM_DELETE, &m_trayIcon);
  if (m_hUserLib != nullptr) ::FreeLibrary(m_hUserLib);
}

void CFotrelDlg::ReleaseResources() {
  // The login dialog writes no settings here unless a login succeeded and was not acted on yet.
  delete m_pLoginDlg;
  m_pLoginDlg = nullptr;
  delete m_pLoginPageDlg;
  m_pLoginPageDlg = nullptr;
  delete m_pTabsDlg;
  m_pTabsDlg = nullptr;
  for (SkinPicture& picture : m_images) {
    delete picture.image;
    picture.image = nullptr;
    if (picture.stream != nullptr) picture.stream->Release();
    picture.stream = nullptr;
  }
  m_frameLayer.clear();
}

int CFotrelDlg::LoadedSkinImages() const {
  int count = 0;
  for (const SkinPicture& picture : m_images)
    if (picture.image != nullptr) ++count;
  return count;
}

// --- Creation ---

bool CFotrelDlg::LoadPngResource(int id, SkinPicture* picture) {
  const HINSTANCE module = GetResourceInstance();
  const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (resource == nullptr) return false;
  const DWORD size = ::SizeofResource(module, resource);
  const HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) return false;

  const HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return false;
  void* copy = ::GlobalLock(block);
  if (copy == nullptr) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(copy, bytes, size);
  ::GlobalUnlock(block);
  // The stream owns the block from here on and frees it when released.
  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream)) || stream == nullptr) {
    ::GlobalFree(block);
    return false;
  }
  Gdiplus::Image* image = Gdiplus::Image::FromStream(stream);
  if (image == nullptr || image->GetLastStatus() != Gdiplus::Ok) {
    delete image;
    stream->Release();
    return false;
  }
  picture->image = image;
  picture->stream = stream;
  return true;
}

void CFotrelDlg::OnCreate(LRESULT* result) {
  *result = Default();
  if (*result == -1) return;

  RECT client;
  GetClientRect(&client);
  m_nWidth = client.right - client.left;
  m_nHeight = client.bottom - client.top;

  m_hUserLib = ::LoadLibraryW(L"User32.DLL");
  if (m_hUserLib == nullptr) {
    // Creation fails, the modal run ends at once and start-up lets the process end.
    ::MessageBoxW(nullptr, L"User32.dll ERROR!", GetAppName().c_str(), MB_OK);
    *result = -1;
    return;
  }
  // Through the generic function type, which converts to any other without a warning.
  const FARPROC update = ::GetProcAddress(m_hUserLib, "UpdateLayeredWindow");
  m_pUpdateLayeredWindow = reinterpret_cast<UpdateLayeredWindowFn>(reinterpret_cast<void (*)()>(update));

  m_blend = BLENDFUNCTION{AC_SRC_OVER, 0, kCreationAlpha, AC_SRC_ALPHA};

  for (int i = 0; i < kSkinImageCount; ++i) LoadPngResource(kSkinIds[i], &m_images[i]);

  // A size that cannot be read leaves the value as it was.
  if (Gdiplus::Image* top = m_images[kTop].image) {
    if (top->GetHeight() > 0) m_nBorder = static_cast<int>(top->GetHeight());
  }
  if (Gdiplus::Image* corner = m_images[kTopLeft].image) {
    if (corner->GetWidth() > 0) m_nCornerWidth = static_cast<int>(corner->GetWidth());
    if (corner->GetHeight() > 0) m_nCornerHeight = static_cast<int>(corner->GetHeight());
  }
  if (Gdiplus::Image* button = m_images[kCloseHover].image) {
    if (button->GetWidth() > 0) m_nButtonWidth = static_cast<int>(button->GetWidth());
    if (button->GetHeight() > 0) m_nButtonHeight = static_cast<int>(button->GetHeight());
  }
}

BOOL CFotrelDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The notification icon.
  m_trayIcon.cbSize = sizeof(m_trayIcon);
  m_trayIcon.hWnd = m_hWnd;
  m_trayIcon.uID = 1;
  m_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_trayIcon.uCallbackMessage = WM_TRAYICON;
  m_trayIcon.hIcon = ::LoadIconW(GetResourceInstance(), MAKEINTRESOURCEW(IDI_TRAY));
  // The tip keeps to the 64 units (terminator included) of the oldest record layout.
  ::lstrcpynW(m_trayIcon.szTip, kTrayTip, 64);
  m_bTrayIconAdded = ::Shell_NotifyIconW(NIM_ADD, &m_trayIcon) != FALSE;

  // "About" in the system menu, after a separator, when the string exists.
  m_hIcon = ShowProgramIdentity(*this);

  ModifyStyleEx(WS_EX_APPWINDOW, 0);
  SetWindowText(kTitle);

  m_pLoginDlg = new CMyLoginDlg(m_strServiceHost);
  m_pLoginDlg->Create(m_hWnd);

  const int state = ReadSettingInt(settings::kState, 0);
  PlaceChild(m_pLoginDlg, 32, 52);
  m_nChildMode = kModeLogin;
  if (state == 1) {
    m_pLoginDlg->FillLoginForm(ShiftDecode(ReadSetting(settings::kUserName)),
                               ShiftDecode(ReadSetting(settings::kPassword)));
  }

  SetTimer(kLoginPollTimer, 500);
  RedrawSkin();
  // Sets the highlight flags and starts leave tracking.
  SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
  return TRUE;
}

void CFotrelDlg::OnOK() {}

// --- Composition ---

void CFotrelDlg::OnSkinComposed(const uint32_t*, int, int) {}

void CFotrelDlg::RedrawSkin() {
  if (m_hWnd == nullptr || m_nWidth <= 0 || m_nHeight <= 0) return;
  const int W = m_nWidth, H = m_nHeight, b = m_nBorder;
  const int cw = m_nCornerWidth, ch = m_nCornerHeight, bw = m_nButtonWidth, bh = m_nButtonHeight;

  const HDC windowDC = ::GetDC(m_hWnd);
  const HDC memoryDC = ::CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = W;
  info.bmiHeader.biHeight = H;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP section =
      memoryDC != nullptr ? ::CreateDIBSection(memoryDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (section == nullptr || bits == nullptr) {
    if (section != nullptr) ::DeleteObject(section);
    if (memoryDC != nullptr) ::DeleteDC(memoryDC);
    ::ReleaseDC(m_hWnd, windowDC);
    return;
  }
  const HGDIOBJ previous = ::SelectObject(memoryDC, section);

  m_blend.SourceConstantAlpha = kRedrawAlpha;
  uint32_t* const pixels = static_cast<uint32_t*>(bits);
  const size_t count = static_cast<size_t>(W) * static_cast<size_t>(H);
  // Everything below the two window buttons never changes (GDI+ scales the large images
  // slowly): it is composed once, and each redraw starts from a copy of it.
  if (m_frameLayer.size() != count) {
    m_frameLayer.assign(count, 0);
    DrawOnRows(m_frameLayer.data(), W, H, [&](Gdiplus::Graphics& graphics) {
      if (Gdiplus::Image* background = m_images[kBackground].image) {
        const Gdiplus::Point corners[3] = {Gdiplus::Point(0, 0), Gdiplus::Point(W, 0), Gdiplus::Point(0, H)};
        graphics.DrawImage(background, corners, 3);
      }
      Draw(graphics, m_images[kInner].image, b, b, W - 2 * b, H - 2 * b);
      Draw(graphics, m_images[kLeft].image, 0, b, b, H - 2 * b + 1);
      Draw(graphics, m_images[kRight].image, W - b, b + 1, b, H - 2 * b + 1);
      Draw(graphics, m_images[kTop].image, b + 1, 0, W - 2 * b, b);
      Draw(graphics, m_images[kBottom].image, b, H - b, W - 2 * b, b);
      Draw(graphics, m_images[kTopLeft].image, 0, 0, cw, ch);
      // The other three corners go into boxes with width and height exchanged.
      Draw(graphics, m_images[kTopRight].image, W - ch, 0, ch, cw);
      Draw(graphics, m_images[kBottomLeft].image, 0, H - ch - 1, ch, cw);
      Draw(graphics, m_images[kBottomRight].image, W - cw, H - ch, ch, cw);
    });
  }
  std::memcpy(pixels, m_frameLayer.data(), count * sizeof(uint32_t));
  DrawOnRows(pixels, W, H, [&](Gdiplus::Graphics& graphics) {
    Draw(graphics, m_images[m_bHoverClose ? kCloseHover : kClose].image, W - 100, 10, bw, bh);
    Draw(graphics, m_images[m_bHoverMin ? kHideHover : kHide].image, W - 150, 10, bw, bh);
  });
  ::GdiFlush();
  OnSkinComposed(pixels, W, H);

  if ((GetExStyle() & WS_EX_LAYERED) == 0) ModifyStyleEx(0, WS_EX_LAYERED);
  if (m_pUpdateLayeredWindow != nullptr) {
    RECT window;
    GetWindowRect(&window);
    POINT destination{window.left, window.top};
    SIZE size{W, H};
    POINT source{0, 0};
    const HDC screenDC = ::GetDC(nullptr);
    m_pUpdateLayeredWindow(m_hWnd, screenDC, &destination, &size, memoryDC, &source, 0, &m_blend, ULW_ALPHA);
    ::ReleaseDC(nullptr, screenDC);
  }

  ::SelectObject(memoryDC, previous);
  ::DeleteObject(section);
  ::DeleteDC(memoryDC);
  ::ReleaseDC(m_hWnd, windowDC);
}

// --- Placement and visibility ---

void CFotrelDlg::PlaceChild(CWnd* child, int widthLess, int heightLess) {
  if (child == nullptr || child->m_hWnd == nullptr) return;
  RECT frame;
  GetWindowRect(&frame);
  const int b = m_nBorder;
  child->MoveWindow(frame.left + b + 10, frame.top + b + 30, frame.right - frame.left - 2 * b - widthLess,
                    frame.bottom - frame.top - 2 * b - heightLess);
  child->ShowWindow(SW_SHOW);
}

CWnd* CFotrelDlg::CurrentChild() const {
  if (m_nChildMode == kModeLogin) return m_pLoginDlg;
  if (m_nChildMode == kModeTabs) return m_pTabsDlg;
  return nullptr;
}

void CFotrelDlg::Restore() {
  m_bJustRestored = 1;
  ShowWindow(SW_SHOW);
  CWnd* child = CurrentChild();
  if (child != nullptr && child->m_hWnd != nullptr) child->ShowWindow(SW_SHOW);
}

void CFotrelDlg::OnMoved() {
  if (!m_bPressedOnce) return;
  if (m_nChildMode == kModeLogin || m_nChildMode == kModeTabs) PlaceChild(CurrentChild(), 28, 48);
}

// --- Mouse ---

RECT CFotrelDlg::CloseClickRect() const { return Rect(m_nWidth - 100, 10, m_nWidth - 50, 35); }
RECT CFotrelDlg::HideClickRect() const { return Rect(m_nWidth - 150, 10, m_nWidth - 100, 35); }
RECT CFotrelDlg::CloseHighlightRect() const { return Rect(m_nWidth - 100, 10, m_nWidth - 45, 40); }
RECT CFotrelDlg::HideHighlightRect() const { return Rect(m_nWidth - 150, 10, m_nWidth - 95, 40); }
RECT CFotrelDlg::CloseNoDragRect() const { return Rect(m_nWidth - 100, 10, m_nWidth - 50, 40); }
RECT CFotrelDlg::HideNoDragRect() const { return Rect(m_nWidth - 150, 10, m_nWidth - 100, 40); }

void CFotrelDlg::OnMouseMove(WPARAM keys, POINT point) {
  if (keys != 0 && !Inside(CloseNoDragRect(), point) && !Inside(HideNoDragRect(), point) && !m_bJustRestored) {
    // Only for this session: the user's saved preference stays as it is.
    ::SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    // Drags the window until the button is released.
    SendMessage(WM_SYSCOMMAND, kDragMove, 0);
  }
  m_bJustRestored = 0;
  m_bHoverClose = Inside(CloseHighlightRect(), point) ? 1 : 0;
  m_bHoverMin = Inside(HideHighlightRect(), point) ? 1 : 0;
  if (!m_bTracking) {
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, HOVER_DEFAULT};
    ::TrackMouseEvent(&track);
    m_bTracking = 1;
  }
  RedrawSkin();
}

void CFotrelDlg::OnMouseLeave() {
  m_bHoverClose = 0;
  m_bHoverMin = 0;
  m_bTracking = 0;
  RedrawSkin();
}

void CFotrelDlg::OnLButtonUp(POINT point) {
  if (Inside(HideClickRect(), point)) {
    // The notification icon stays and brings both back.
    ShowWindow(SW_HIDE);
    CWnd* child = CurrentChild();
    if (child != nullptr && child->m_hWnd != nullptr) child->ShowWindow(SW_HIDE);
  }
  if (Inside(CloseClickRect(), point)) {
    if (MessageBox(kQuitQuestion, kNoticeCaption, MB_YESNO) == IDYES) SendMessage(WM_CLOSE);
  }
}

// --- The switch from the login dialog to the tabbed window ---

void CFotrelDlg::OnTimer(UINT_PTR) {
  if (m_pLoginDlg == nullptr || !m_pLoginDlg->IsLoggedIn()) return;
  // A message box of the dialog is open (this tick may run inside its loop): the dialog stays
  // until the box is closed; a later tick makes the switch.
  if (m_pLoginDlg->HasOpenMessageBox()) return;

  // The destructor writes the settings, UserNameForUpLoad among them, which the windows
  // created below read back.
  delete m_pLoginDlg;
  m_pLoginDlg = nullptr;

  if (m_pLoginPageDlg == nullptr) {
    m_pLoginPageDlg = new CMyWebDlg();
    m_pLoginPageDlg->Create(m_hWnd);
    const std::wstring user = ReadSetting(settings::kUploadUser);
    // The name goes into the address as it is, unescaped.
    m_pLoginPageDlg->Navigate(ServicePageUrl(std::wstring(kLoginPage) + user));
  }

  m_pTabsDlg = new CMainUpLoadDlg();
  m_pTabsDlg->Create(m_hWnd);

  RedrawSkin();
  PlaceChild(m_pTabsDlg, 28, 48);
  m_nChildMode = kModeTabs;
  KillTimer(kLoginPollTimer);
}

// --- Back to the login dialog ---

void CFotrelDlg::OnBackToLogin(HWND tabbedWindow) {
  // Only the request of the tabbed window now shown counts (a late one of a window already
  // gone does not).
  if (m_nChildMode != kModeTabs || m_pTabsDlg == nullptr || m_pTabsDlg->m_hWnd != tabbedWindow) return;
  delete m_pTabsDlg;
  m_pTabsDlg = nullptr;
  // The hidden login page was opened for a name that was not there; the next switch opens the
  // login page again, for the name signed in then.
  delete m_pLoginPageDlg;
  m_pLoginPageDlg = nullptr;

  m_pLoginDlg = new CMyLoginDlg(m_strServiceHost);
  m_pLoginDlg->Create(m_hWnd);
  PlaceChild(m_pLoginDlg, 28, 48);
  m_nChildMode = kModeLogin;
  if (ReadSettingInt(settings::kState, 0) == 1) {
    m_pLoginDlg->FillLoginForm(ShiftDecode(ReadSetting(settings::kUserName)),
                               ShiftDecode(ReadSetting(settings::kPassword)));
  }
  SetTimer(kLoginPollTimer, 500);
}

// --- Messages ---

LRESULT CFotrelDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      LRESULT result = 0;
      OnCreate(&result);
      return result;
    }
    case WM_MOUSEMOVE:
      OnMouseMove(wParam, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_MOUSELEAVE:
      OnMouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
      m_bPressedOnce = 1;
      break;
    case WM_LBUTTONUP:
      OnLButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_MOVE: {
      const LRESULT result = CDialog::WindowProc(msg, wParam, lParam);
      OnMoved();
      return result;
    }
    case WM_TIMER:
      if (wParam == kLoginPollTimer) {
        OnTimer(wParam);
        return 0;
      }
      break;
    case WM_TRAYICON:
      // Only a left press on the icon brings the windows back.
      if (LOWORD(lParam) == WM_LBUTTONDOWN) Restore();
      return 0;
    case WM_SHOWMAINWND:
      Restore();
      return 0;
    case WM_BACKTOLOGIN:
      OnBackToLogin(reinterpret_cast<HWND>(wParam));
      return 0;
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}
