// The skinned main window: its hit rectangles, dragging, hiding and restoring, the quit
// question, the placement of its popup, the composed skin, the remembered login, and the switch
// from the login dialog to the tabbed window.
#include "app/fotrel_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "app/messages.h"
#include "app/settings.h"
#include "res/resource.h"
#include "services/passport.h"
#include "tests/gui/gui_test_util.h"
#include "tests/services/service_test_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_service.h"
#include "web/browser_ctrl.h"
#include "web/main_upload_dlg.h"
#include "web/my_web_dlg.h"
#include "web/service_pages.h"

namespace {

constexpr WPARAM kDragMove = 0xF012;
constexpr char16_t kPageHost[] = u"pages.invalid";

// Stands in for every browser control's dispatch interface and records the addresses opened.
class NavigationRecorder : public IDispatch {
 public:
  std::vector<std::wstring> addresses;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (result != nullptr) VariantInit(result);
    // The address is the first argument, the last one in DISPPARAMS order.
    if (id == CBrowserCtrl::kNavigateId && params->cArgs > 0) {
      const VARIANT& address = params->rgvarg[params->cArgs - 1];
      addresses.push_back(V_VT(&address) == VT_BSTR ? std::wstring(V_BSTR(&address)) : std::wstring());
    }
    return S_OK;
  }

  size_t CountStartingWith(const std::wstring& prefix) const {
    return static_cast<size_t>(std::count_if(addresses.begin(), addresses.end(), [&](const std::wstring& a) {
      return a.compare(0, prefix.size(), prefix) == 0;
    }));
  }
};

// The main window with its state in view; drags are recorded instead of run (a real drag would
// hold the test in the system's move loop), and the composed pixels are kept.
class TestMainWindow : public CFotrelDlg {
 public:
  using CFotrelDlg::CFotrelDlg;

  int drags = 0;
  int ticks = 0;
  int firstTickWithSuccess = 0;
  int switchTick = 0;
  std::vector<uint32_t> pixels;  // top-down rows
  int pixelWidth = 0;
  int pixelHeight = 0;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_SYSCOMMAND && wParam == kDragMove) {
      ++drags;
      return 0;
    }
    if (msg == WM_TIMER && wParam == kLoginPollTimer) {
      ++ticks;
      const bool loginBefore = m_pLoginDlg != nullptr;
      const bool successSeen = loginBefore && m_pLoginDlg->IsLoggedIn();
      const LRESULT result = CFotrelDlg::WindowProc(msg, wParam, lParam);
      const bool switched = loginBefore && m_pLoginDlg == nullptr;
      if ((successSeen || switched) && firstTickWithSuccess == 0) firstTickWithSuccess = ticks;
      if (switched) switchTick = ticks;
      return result;
    }
    return CFotrelDlg::WindowProc(msg, wParam, lParam);
  }

  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  int Border() const { return m_nBorder; }
  int HoverClose() const { return m_bHoverClose; }
  int HoverMin() const { return m_bHoverMin; }
  int Mode() const { return m_nChildMode; }
  CMyLoginDlg* Login() const { return m_pLoginDlg; }
  CMainUpLoadDlg* Tabs() const { return m_pTabsDlg; }
  CMyWebDlg* LoginPage() const { return m_pLoginPageDlg; }

  // Alpha of the composed pixel at (x, y), counted from the top-left corner.
  int AlphaAt(int x, int y) const { return static_cast<int>(pixels[static_cast<size_t>(y * pixelWidth + x)] >> 24); }
  void Move(WPARAM keys, int x, int y) { SendMessage(WM_MOUSEMOVE, keys, MAKELPARAM(x, y)); }

 protected:
  void OnSkinComposed(const uint32_t* bits, int width, int height) override {
    pixelWidth = width;
    pixelHeight = height;
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
      const uint32_t* row = bits + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
      std::copy(row, row + width, pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    }
  }
};

RECT WindowRect(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return rc;
}

// Where a popup belongs inside the frame `frame` of a main window with border b.
RECT ChildRect(const RECT& frame, int b, int widthLess, int heightLess) {
  const int left = frame.left + b + 10, top = frame.top + b + 30;
  return RECT{left, top, left + (frame.right - frame.left) - 2 * b - widthLess,
              top + (frame.bottom - frame.top) - 2 * b - heightLess};
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual) {
  if (EqualRect(&expected, &actual)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected (" << expected.left << "," << expected.top << ")-("
                                       << expected.right << "," << expected.bottom << "), got (" << actual.left
                                       << "," << actual.top << ")-(" << actual.right << "," << actual.bottom << ")";
}

// Whether `upper` lies above `lower` in the z-order.
bool Above(HWND upper, HWND lower) {
  for (HWND hwnd = GetWindow(upper, GW_HWNDNEXT); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
    if (hwnd == lower) return true;
  return false;
}

// Runs `dialog` modally; `step` runs once from inside its loop. Should the step not end the
// loop, a guard ends it with -2 after 30 s.
INT_PTR RunModal(CDialog& dialog, const std::function<void()>& step) {
  static const std::function<void()>* s_step;
  static CDialog* s_dialog;
  struct Timers {
    static void CALLBACK Step(HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      if (s_step != nullptr) (*s_step)();
    }
    static void CALLBACK Guard(HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      if (s_dialog != nullptr) s_dialog->EndDialog(-2);
    }
  };
  s_step = &step;
  s_dialog = &dialog;
  const UINT_PTR stepTimer = SetTimer(nullptr, 0, 200, &Timers::Step);
  const UINT_PTR guardTimer = SetTimer(nullptr, 0, 30000, &Timers::Guard);
  const INT_PTR result = dialog.DoModal();
  KillTimer(nullptr, stepTimer);
  KillTimer(nullptr, guardTimer);
  s_step = nullptr;
  s_dialog = nullptr;
  return result;
}

bool NetworkPresent() { return true; }

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t old[MAX_PATH] = {};
    m_hadAppData = GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH) > 0;
    m_oldAppData = old;
    SetEnvironmentVariableW(L"APPDATA", m_dir.Path().wstring().c_str());
    // Keep the real pointer off the window, so that no real mouse move mixes in.
    SetCursorPos(0, 0);
    CMyLoginDlg::SetNetworkCheck(&NetworkPresent);
    CBrowserCtrl::SetDispatchForNewControls(&m_pages);
    SetServicePageHost(kPageHost);
  }
  void TearDown() override {
    SetServicePageHost(u"");
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
    CMyLoginDlg::SetNetworkCheck(nullptr);
    SetEnvironmentVariableW(L"APPDATA", m_hadAppData ? m_oldAppData.c_str() : nullptr);
  }

  bool SettingsFileExists() const {
    return GetFileAttributesW((m_dir.Path() / "user.ini").wstring().c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  TempDir m_dir;
  NavigationRecorder m_pages;  // outlives every window of a test
  MessageBoxCapture m_boxes{IDOK};
  std::wstring m_oldAppData;
  bool m_hadAppData = false;
};

// --- Initialisation ---

TEST_F(MainWindowTest, InitialisationTitlesStylesMenuIconsAndLoginDialog) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  EXPECT_EQ(L"Zorvan照片冲印", window.GetWindowText());
  EXPECT_EQ(0u, window.GetExStyle() & WS_EX_APPWINDOW);
  EXPECT_NE(0u, window.GetExStyle() & WS_EX_LAYERED);
  EXPECT_TRUE(window.IsWindowVisible());

  // The skin sizes come from the images.
  EXPECT_EQ(18, window.Border());
  RECT client;
  window.GetClientRect(&client);
  EXPECT_EQ(client.right, window.Width());
  EXPECT_EQ(client.bottom, window.Height());

  // "About" after a separator at the end of the system menu.
  const HMENU menu = GetSystemMenu(window.m_hWnd, FALSE);
  ASSERT_NE(nullptr, menu);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, count - 1));
  wchar_t text[64] = {};
  GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(L"关于 Fotrel(&A)...", text);
  MENUITEMINFOW separator{};
  separator.cbSize = sizeof(separator);
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoW(menu, count - 2, TRUE, &separator));
  EXPECT_NE(0u, separator.fType & MFT_SEPARATOR);

  EXPECT_NE(0, window.SendMessage(WM_GETICON, ICON_BIG, 0));
  EXPECT_NE(0, window.SendMessage(WM_GETICON, ICON_SMALL, 0));

  // The login dialog: a shown popup owned by the main window.
  ASSERT_NE(nullptr, window.Login());
  ASSERT_TRUE(window.Login()->IsWindow());
  EXPECT_TRUE(window.Login()->IsWindowVisible());
  EXPECT_EQ(window.m_hWnd, GetWindow(window.Login()->m_hWnd, GW_OWNER));
  EXPECT_EQ(1, window.Mode());
  EXPECT_EQ(0u, m_boxes.Count());
}

TEST_F(MainWindowTest, RememberedLoginIsFilledInOnlyWhenStateIsOne) {
  WriteSetting(settings::kState, L"1");
  WriteSetting(settings::kUserName, ShiftEncode(L"张abc"));
  WriteSetting(settings::kPassword, ShiftEncode(L"p{w}~"));
  {
    TestMainWindow window(u"127.0.0.1:9");
    ASSERT_TRUE(window.Create(nullptr));
    ASSERT_NE(nullptr, window.Login());
    EXPECT_EQ(L"张abc", window.Login()->GetDlgItemText(IDC_USERNAME));
    EXPECT_EQ(L"p{w}~", window.Login()->GetDlgItemText(IDC_PASSWORD));
    EXPECT_EQ(BST_CHECKED, SendMessageW(window.Login()->GetDlgItem(IDC_REMEMBER), BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, window.Login()->IsLoggedIn());
  }
  for (const wchar_t* state : {L"0", L"2", L"x"}) {
    SCOPED_TRACE(testing::Message() << "State " << (state[0] == L'x' ? "x" : state[0] == L'0' ? "0" : "2"));
    WriteSetting(settings::kState, state);
    TestMainWindow window(u"127.0.0.1:9");
    ASSERT_TRUE(window.Create(nullptr));
    ASSERT_NE(nullptr, window.Login());
    EXPECT_EQ(L"", window.Login()->GetDlgItemText(IDC_USERNAME));
    EXPECT_EQ(L"", window.Login()->GetDlgItemText(IDC_PASSWORD));
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(window.Login()->GetDlgItem(IDC_REMEMBER), BM_GETCHECK, 0, 0));
  }
}

// --- Hit rectangles ---

TEST_F(MainWindowTest, HighlightRectanglesExcludeTheirRightAndBottomEdges) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.Width();
  struct Probe {
    int x, y, close, hide;
  };
  const Probe probes[] = {
      {W - 100, 10, 1, 1},  // both: the highlight rectangles overlap by five pixels
      {W - 96, 39, 1, 1},   {W - 95, 20, 1, 0},  {W - 46, 39, 1, 0},  {W - 45, 20, 0, 0},
      {W - 100, 40, 0, 0},  {W - 100, 9, 0, 0},  {W - 101, 20, 0, 1}, {W - 150, 10, 0, 1},
      {W - 150, 39, 0, 1},  {W - 151, 20, 0, 0}, {W - 150, 40, 0, 0}, {W - 120, 9, 0, 0},
      {200, 200, 0, 0},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(testing::Message() << "W" << p.x - W << ", " << p.y);
    window.Move(0, p.x, p.y);
    EXPECT_EQ(p.close, window.HoverClose());
    EXPECT_EQ(p.hide, window.HoverMin());
  }
  // Leaving the window clears both.
  window.Move(0, W - 100, 20);
  window.SendMessage(WM_MOUSELEAVE);
  EXPECT_EQ(0, window.HoverClose());
  EXPECT_EQ(0, window.HoverMin());
  EXPECT_EQ(0, window.drags);
}

TEST_F(MainWindowTest, DragsFromAnywhereButTheButtonsAndOnlyWithAKeyOrButtonHeld) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.Width();
  struct Probe {
    WPARAM keys;
    int x, y;
    bool drags;
  };
  const Probe probes[] = {
      {MK_LBUTTON, W - 100, 10, false}, {MK_LBUTTON, W - 51, 39, false}, {MK_LBUTTON, W - 150, 10, false},
      {MK_LBUTTON, W - 101, 39, false}, {MK_LBUTTON, W - 50, 20, true},   {MK_LBUTTON, W - 100, 40, true},
      {MK_LBUTTON, W - 151, 20, true},  {MK_LBUTTON, W - 120, 9, true},   {MK_LBUTTON, 200, 200, true},
      {MK_RBUTTON, 5, 5, true},         {MK_SHIFT, 300, 300, true},       {0, 200, 200, false},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(testing::Message() << "keys " << p.keys << " at W" << p.x - W << ", " << p.y);
    // The drag switches full-window dragging on for the session.
    SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
    const int before = window.drags;
    window.Move(p.keys, p.x, p.y);
    EXPECT_EQ(p.drags ? before + 1 : before, window.drags);
    BOOL full = FALSE;
    SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
    EXPECT_EQ(p.drags, full != FALSE);
  }
}

TEST_F(MainWindowTest, FirstMoveAfterARestoreDoesNotDrag) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  window.SendMessage(WM_SHOWMAINWND);
  window.Move(MK_LBUTTON, 200, 200);
  EXPECT_EQ(0, window.drags);
  window.Move(MK_LBUTTON, 201, 200);
  EXPECT_EQ(1, window.drags);

  window.SendMessage(WM_TRAYICON, 1, WM_LBUTTONDOWN);
  window.Move(MK_LBUTTON, 202, 200);
  EXPECT_EQ(1, window.drags);
  window.Move(MK_LBUTTON, 203, 200);
  EXPECT_EQ(2, window.drags);
}

// --- Hiding and restoring ---

TEST_F(MainWindowTest, HideButtonHidesBothAndTheTrayIconOrTheUploadWorkerShowsBoth) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.Width();
  ASSERT_NE(nullptr, window.Login());
  const HWND login = window.Login()->m_hWnd;

  // Just outside the click rectangle (bottom edge, right edge): nothing happens.
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 150, 35));
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 151, 20));
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_TRUE(IsWindowVisible(login));

  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 101, 34));
  EXPECT_FALSE(window.IsWindowVisible());
  EXPECT_FALSE(IsWindowVisible(login));

  // Other mouse messages of the icon leave the windows hidden.
  for (LPARAM other : {LPARAM(WM_RBUTTONDOWN), LPARAM(WM_LBUTTONUP), LPARAM(WM_MOUSEMOVE), LPARAM(WM_LBUTTONDBLCLK)})
    window.SendMessage(WM_TRAYICON, 1, other);
  EXPECT_FALSE(window.IsWindowVisible());
  EXPECT_FALSE(IsWindowVisible(login));

  window.SendMessage(WM_TRAYICON, 1, WM_LBUTTONDOWN);
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_TRUE(IsWindowVisible(login));
  EXPECT_TRUE(Above(login, window.m_hWnd));

  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 150, 10));
  EXPECT_FALSE(window.IsWindowVisible());
  EXPECT_FALSE(IsWindowVisible(login));
  window.SendMessage(WM_SHOWMAINWND);
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_TRUE(IsWindowVisible(login));
  EXPECT_TRUE(Above(login, window.m_hWnd));
  EXPECT_EQ(0u, m_boxes.Count());
}

// --- Closing ---

TEST_F(MainWindowTest, QuitQuestionAnsweredNoLeavesEverything) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.Width();
  const HWND login = window.Login()->m_hWnd;
  m_boxes.SetAnswer(IDNO);

  // Outside the click rectangle: no question.
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 50, 10));
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 100, 35));
  EXPECT_EQ(0u, m_boxes.Count());

  // Both corners of the click rectangle ask (and the hide button's does not reach here).
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 100, 10));
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(W - 51, 34));
  const std::vector<CapturedMessageBox> boxes = m_boxes.Boxes();
  ASSERT_EQ(2u, boxes.size());
  for (const CapturedMessageBox& box : boxes) {
    EXPECT_EQ(L"确定要退出程序吗??", box.text);
    EXPECT_EQ(L"提示", box.caption);
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
    EXPECT_EQ(window.m_hWnd, box.owner);
    EXPECT_EQ(IDNO, box.answer);
  }

  PumpFor(100);
  EXPECT_TRUE(window.IsWindow());
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_TRUE(IsWindowVisible(login));
  EXPECT_EQ(window.Login()->m_hWnd, login);
  EXPECT_EQ(1, window.Mode());
}

TEST_F(MainWindowTest, QuitQuestionAnsweredYesEndsTheModalLoop) {
  TestMainWindow window(u"127.0.0.1:9");
  m_boxes.SetAnswer(IDYES);
  HWND seen = nullptr;
  const INT_PTR result = RunModal(window, [&] {
    seen = window.m_hWnd;
    window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(window.Width() - 100, 10));
  });
  EXPECT_EQ(IDCANCEL, result);
  EXPECT_NE(nullptr, seen);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_EQ(nullptr, window.m_hWnd);
  ASSERT_EQ(1u, m_boxes.Count());
  EXPECT_EQ(L"确定要退出程序吗??", m_boxes.Boxes()[0].text);
  // Nothing was logged in: the login dialog goes without writing settings.
  window.ReleaseResources();
  EXPECT_EQ(nullptr, window.Login());
  EXPECT_FALSE(SettingsFileExists());
}

TEST_F(MainWindowTest, EnterAndEscapeCloseNothing) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  // Enter goes to the dialog manager, whose default action does nothing here.
  MSG enter{window.m_hWnd, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
  EXPECT_TRUE(CDialog::FilterMessage(&enter));
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  // Escape never reaches the dialog manager; the window itself ignores it.
  MSG escape{window.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {0, 0}};
  EXPECT_FALSE(CDialog::FilterMessage(&escape));
  DispatchMessageW(&escape);
  PumpFor(100);
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_TRUE(window.Login()->IsWindowVisible());
  EXPECT_EQ(0u, m_boxes.Count());
}

// --- Placement of the popup ---

TEST_F(MainWindowTest, LoginDialogStartsFourPixelsSmallerAndFollowsOnlyAfterTheFirstPress) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int b = window.Border();
  const HWND login = window.Login()->m_hWnd;
  const RECT start = WindowRect(window.m_hWnd);
  EXPECT_TRUE(SameRect(ChildRect(start, b, 32, 52), WindowRect(login)));

  // Moved before any press (as from the keyboard): the popup stays where it was.
  window.SetWindowPos(nullptr, start.left + 7, start.top + 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(SameRect(ChildRect(start, b, 32, 52), WindowRect(login)));

  window.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(200, 200));
  window.SetWindowPos(nullptr, start.left + 17, start.top + 11, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT moved = WindowRect(window.m_hWnd);
  EXPECT_EQ(start.left + 17, moved.left);
  const RECT later = WindowRect(login);
  EXPECT_TRUE(SameRect(ChildRect(moved, b, 28, 48), later));
  EXPECT_EQ(4, (later.right - later.left) - (start.right - start.left - 2 * b - 32));
  EXPECT_EQ(4, (later.bottom - later.top) - (start.bottom - start.top - 2 * b - 52));
}

// --- The composed skin ---

TEST_F(MainWindowTest, ComposedSkinIsClearAtTheCornersOpaqueInsideAndShowsTheHover) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.Width(), H = window.Height();
  window.SendMessage(WM_MOUSELEAVE);
  ASSERT_EQ(W, window.pixelWidth);
  ASSERT_EQ(H, window.pixelHeight);
  EXPECT_LT(window.AlphaAt(0, 0), 32);
  EXPECT_LT(window.AlphaAt(W - 1, 0), 32);
  EXPECT_LT(window.AlphaAt(0, H - 1), 32);
  EXPECT_LT(window.AlphaAt(W - 1, H - 1), 32);
  EXPECT_EQ(255, window.AlphaAt(W / 2, H / 2));
  EXPECT_EQ(255, window.AlphaAt(40, H - 40));
  // Premultiplied: no colour channel exceeds the alpha.
  const uint32_t corner = window.pixels[0];
  const uint32_t alpha = corner >> 24;
  EXPECT_LE((corner >> 16) & 0xFF, alpha);
  EXPECT_LE((corner >> 8) & 0xFF, alpha);
  EXPECT_LE(corner & 0xFF, alpha);

  // The close button's image changes with the pointer over it; the hide button's stays.
  const std::vector<uint32_t> normal = window.pixels;
  window.Move(0, W - 60, 30);
  ASSERT_EQ(1, window.HoverClose());
  ASSERT_EQ(0, window.HoverMin());
  const std::vector<uint32_t> hover = window.pixels;
  auto differing = [&](const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int left, int right) {
    int count = 0;
    for (int y = 10; y < 45; ++y)
      for (int x = left; x < right; ++x)
        if (a[static_cast<size_t>(y * W + x)] != b[static_cast<size_t>(y * W + x)]) ++count;
    return count;
  };
  EXPECT_GT(differing(normal, hover, W - 100, W - 50), 20);
  EXPECT_EQ(0, differing(normal, hover, W - 150, W - 100));
}

// --- Destruction before any login ---

TEST_F(MainWindowTest, ClosingBeforeALoginWritesNoSettings) {
  {
    TestMainWindow window(u"127.0.0.1:9");
    ASSERT_TRUE(window.Create(nullptr));
    PumpFor(50);
  }
  EXPECT_FALSE(SettingsFileExists());
  EXPECT_EQ(0u, m_boxes.Count());
}

// --- The switch to the tabbed window ---

TEST_F(MainWindowTest, SuccessfulLoginSwitchesToTheTabbedWindowOnce) {
  // The reference service when the test run has one; otherwise a scripted peer that accepts.
  std::unique_ptr<ScriptedServer> scripted;
  std::u16string host = TestServiceHost();
  std::wstring user = L"用户a&b=%" + std::to_wstring(GetTickCount64() % 1000000);
  const std::wstring password = L"pw-12345";
  if (host.empty()) {
    scripted = std::make_unique<ScriptedServer>(
        ScriptedServer::Reply(servicetest::Http("200 OK", servicetest::Result("LoginUser", "true"))));
    host = scripted->Host();
  } else {
    Passport::CPassportT passport(host);
    const std::u16string name(user.begin(), user.end()), pass(password.begin(), password.end());
    int32_t created = 0;
    ASSERT_EQ(0, passport.CreateUser(name.c_str(), pass.c_str(), u"someone@example.invalid", &created));
    ASSERT_EQ(1, created);
  }

  TestMainWindow window(host);
  ASSERT_TRUE(window.Create(nullptr));
  CMyLoginDlg* login = window.Login();
  ASSERT_NE(nullptr, login);
  login->SetDlgItemText(IDC_USERNAME, user.c_str());
  login->SetDlgItemText(IDC_PASSWORD, password.c_str());
  login->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LOGIN, BN_CLICKED), reinterpret_cast<LPARAM>(login->GetDlgItem(IDC_LOGIN)));

  ASSERT_TRUE(PumpUntil([&] { return window.Login() == nullptr; }, 30000)) << "no switch; boxes: " << m_boxes.Count();
  // The first tick that saw the success acted on it.
  EXPECT_NE(0, window.switchTick);
  EXPECT_EQ(window.firstTickWithSuccess, window.switchTick);
  EXPECT_EQ(3, window.Mode());

  // The settings were written by the login dialog as it went.
  EXPECT_EQ(user, ReadSetting(settings::kUploadUser));
  EXPECT_EQ(0, ReadSettingInt(settings::kState, 7));
  EXPECT_EQ(L"", ReadSetting(settings::kUserName));

  // The tabbed window, placed with the later sizes and shown.
  CMainUpLoadDlg* tabs = window.Tabs();
  ASSERT_NE(nullptr, tabs);
  ASSERT_TRUE(tabs->IsWindow());
  EXPECT_TRUE(tabs->IsWindowVisible());
  EXPECT_EQ(window.m_hWnd, GetWindow(tabs->m_hWnd, GW_OWNER));
  EXPECT_TRUE(SameRect(ChildRect(WindowRect(window.m_hWnd), window.Border(), 28, 48), WindowRect(tabs->m_hWnd)));

  // The hidden login page: a child of the main window, never shown, opened once with the name
  // appended as it is.
  CMyWebDlg* page = window.LoginPage();
  ASSERT_NE(nullptr, page);
  ASSERT_TRUE(page->IsWindow());
  EXPECT_FALSE(page->IsWindowVisible());
  EXPECT_EQ(window.m_hWnd, GetParent(page->m_hWnd));
  const std::wstring loginPages = L"http://pages.invalid/Login.aspx?username=";
  EXPECT_EQ(1u, m_pages.CountStartingWith(loginPages));
  EXPECT_NE(m_pages.addresses.end(),
            std::find(m_pages.addresses.begin(), m_pages.addresses.end(), loginPages + user));

  // Timer 1 is gone: later periods neither tick nor write the settings again.
  const int ticksAtSwitch = window.ticks;
  ASSERT_TRUE(DeleteFileW((m_dir.Path() / "user.ini").wstring().c_str()));
  PumpFor(1300);
  EXPECT_EQ(ticksAtSwitch, window.ticks);
  EXPECT_FALSE(SettingsFileExists());
  EXPECT_EQ(1u, m_pages.CountStartingWith(loginPages));
  EXPECT_EQ(tabs, window.Tabs());

  // The tabbed window is hidden and shown with the main window now.
  window.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(window.Width() - 150, 10));
  EXPECT_FALSE(window.IsWindowVisible());
  EXPECT_FALSE(tabs->IsWindowVisible());
  window.SendMessage(WM_SHOWMAINWND);
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_TRUE(tabs->IsWindowVisible());
  EXPECT_FALSE(page->IsWindowVisible());
  for (const CapturedMessageBox& box : m_boxes.Boxes()) ADD_FAILURE() << "message box: " << testing::PrintToString(box.text);
}

}  // namespace
