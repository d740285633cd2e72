// The skinned main window: its hit rectangles, dragging, hiding and restoring, the quit
// question, the placement of its popup, the composed skin, the remembered login, and the switch
// from the login dialog to the tabbed window.
#include "app/fotrel_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "app/messages.h"
#include "app/settings.h"
#include "res/resource.h"
#include "services/passport.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "tests/services/service_test_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_service.h"
#include "web/browser_ctrl.h"
#include "web/main_upload_dlg.h"
#include "web/my_web_dlg.h"
#include "web/service_pages.h"

namespace {

using namespace guitest;

constexpr WPARAM kDragMove = 0xF012;

// The main window with its state in view; drags are recorded instead of run (a real drag would
// hold the test in the system's move loop), and the composed pixels are kept.
class TestMainWindow : public CFotrelDlg {
 public:
  using CFotrelDlg::CFotrelDlg;
  int drags = 0, closes = 0, ticks = 0, firstTickWithSuccess = 0, switchTick = 0;
  std::vector<uint32_t> pixels;  // top-down rows

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_SYSCOMMAND && wParam == kDragMove) return ++drags, 0;
    if (msg == WM_CLOSE) return ++closes, 0;  // the platform's close request: counted, the window stays
    if (msg != WM_TIMER || wParam != kLoginPollTimer) return CFotrelDlg::WindowProc(msg, wParam, lParam);
    ++ticks;
    const bool loginBefore = m_pLoginDlg != nullptr, successSeen = loginBefore && m_pLoginDlg->IsLoggedIn();
    const LRESULT result = CFotrelDlg::WindowProc(msg, wParam, lParam);
    const bool switched = loginBefore && m_pLoginDlg == nullptr;
    if ((successSeen || switched) && firstTickWithSuccess == 0) firstTickWithSuccess = ticks;
    if (switched) switchTick = ticks;
    return result;
  }
  int W() const { return m_nWidth; }
  int Border() const { return m_nBorder; }
  std::pair<int, int> Hover() const { return {m_bHoverClose, m_bHoverMin}; }
  int Mode() const { return m_nChildMode; }
  CMyLoginDlg* Login() const { return m_pLoginDlg; }
  CMainUpLoadDlg* Tabs() const { return m_pTabsDlg; }
  CMyWebDlg* LoginPage() const { return m_pLoginPageDlg; }
  int AlphaAt(int x, int y) const { return static_cast<int>(pixels[static_cast<size_t>(y * m_nWidth + x)] >> 24); }
  void Move(WPARAM keys, int x, int y) { SendMessage(WM_MOUSEMOVE, keys, MAKELPARAM(x, y)); }
  void Release(int x, int y) { SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }

 protected:
  void OnSkinComposed(const uint32_t* bits, int width, int height) override {
    pixels.clear();
    for (int y = height - 1; y >= 0; --y) pixels.insert(pixels.end(), bits + y * width, bits + (y + 1) * width);
  }
};

// Where a popup belongs inside the window rectangle `frame` of a main window with border b.
RECT ChildRect(const RECT& frame, int b, int widthLess, int heightLess) {
  return Rect(frame.left + b + 10, frame.top + b + 30, frame.right - frame.left - 2 * b - widthLess,
              frame.bottom - frame.top - 2 * b - heightLess);
}

// Whether `upper` lies above `lower` in the z-order.
bool Above(HWND upper, HWND lower) {
  for (HWND hwnd = GetWindow(upper, GW_HWNDNEXT); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
    if (hwnd == lower) return true;
  }
  return false;
}

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);  // keep the real pointer off the window, so that no real mouse move mixes in
    CMyLoginDlg::SetNetworkCheck([] { return true; });
    CBrowserCtrl::SetDispatchForNewControls(&m_pages);
    SetServicePageHost(u"pages.invalid");
  }
  void TearDown() override {
    SetServicePageHost(u"");
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
    CMyLoginDlg::SetNetworkCheck(nullptr);
  }

  AppDataScope m_appData;
  FakeBrowserDispatch m_pages;  // outlives every window of a test
  MessageBoxCapture m_boxes{IDOK};
};

TEST_F(MainWindowTest, InitialisationAndTheRememberedLogin) {
  for (const wchar_t* state : {L"1", L"0", L"2", L"x"}) {
    SCOPED_TRACE(testing::Message() << "State " << char(state[0]));
    WriteSetting(settings::kState, state);
    WriteSetting(settings::kUserName, ShiftEncode(L"张abc"));
    WriteSetting(settings::kPassword, ShiftEncode(L"p{w}~"));
    TestMainWindow window(u"127.0.0.1:9");
    ASSERT_TRUE(window.Create(nullptr));
    EXPECT_EQ(L"Zorvan照片冲印", window.GetWindowText());
    EXPECT_EQ(static_cast<DWORD>(WS_EX_LAYERED), window.GetExStyle() & (WS_EX_APPWINDOW | WS_EX_LAYERED));
    EXPECT_EQ(18, window.Border());                          // the skin's sizes come from the images
    const HMENU menu = GetSystemMenu(window.m_hWnd, FALSE);  // "About" after a separator at the end
    const int count = GetMenuItemCount(menu);
    wchar_t text[64] = {};
    GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"关于 Fotrel(&A)...", text);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, count - 1));
    EXPECT_NE(0u, GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_TRUE(window.SendMessage(WM_GETICON, ICON_BIG, 0) && window.SendMessage(WM_GETICON, ICON_SMALL, 0));
    // The login dialog: a shown popup owned by the main window, filled only when State is 1.
    CMyLoginDlg* login = window.Login();
    ASSERT_NE(nullptr, login);
    EXPECT_TRUE(login->IsWindowVisible() && GetWindow(login->m_hWnd, GW_OWNER) == window.m_hWnd && window.Mode() == 1);
    const bool filled = state == std::wstring(L"1");
    EXPECT_EQ(filled ? L"张abc" : L"", login->GetDlgItemText(IDC_USERNAME));
    EXPECT_EQ(filled ? L"p{w}~" : L"", login->GetDlgItemText(IDC_PASSWORD));
    EXPECT_EQ(filled ? BST_CHECKED : BST_UNCHECKED, SendMessageW(login->GetDlgItem(IDC_REMEMBER), BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, login->IsLoggedIn());
  }
  EXPECT_EQ(0u, m_boxes.Count());
}

TEST_F(MainWindowTest, HoverAndDragFollowTheButtonRectanglesWithoutTheirRightAndBottomEdges) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.W();
  // Highlight rectangles: close (W-100, 10)-(W-45, 40), hide (W-150, 10)-(W-95, 40), overlapping
  // by five pixels. With a button held the window drags from anywhere but (W-150, 10)-(W-50, 40).
  const struct {
    int x, y, close, hide;
    bool drags;
  } probes[] = {
      {W - 100, 10, 1, 1, false}, {W - 96, 39, 1, 1, false},  {W - 95, 20, 1, 0, false},  {W - 51, 39, 1, 0, false},
      {W - 50, 20, 1, 0, true},   {W - 46, 39, 1, 0, true},   {W - 45, 20, 0, 0, true},   {W - 100, 40, 0, 0, true},
      {W - 100, 9, 0, 0, true},   {W - 101, 39, 0, 1, false}, {W - 150, 10, 0, 1, false}, {W - 151, 20, 0, 0, true},
      {W - 150, 40, 0, 0, true},  {W - 120, 9, 0, 0, true},   {200, 200, 0, 0, true},
  };
  for (const auto& p : probes) {
    SCOPED_TRACE(testing::Message() << "W" << p.x - W << ", " << p.y);
    window.Move(0, p.x, p.y);
    EXPECT_EQ(std::make_pair(p.close, p.hide), window.Hover());
    EXPECT_EQ(0, window.drags);
    SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
    window.Move(MK_LBUTTON, p.x, p.y);
    EXPECT_EQ(p.drags ? 1 : 0, window.drags);
    BOOL full = FALSE;  // a drag switches full-window dragging on for the session
    SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
    EXPECT_EQ(p.drags, full != FALSE);
    window.drags = 0;
  }
  window.Move(MK_RBUTTON, 5, 5);  // any button or key held
  window.Move(MK_SHIFT, 300, 300);
  EXPECT_EQ(2, window.drags);
  window.Move(0, W - 100, 20);
  window.SendMessage(WM_MOUSELEAVE);
  EXPECT_EQ(std::make_pair(0, 0), window.Hover());
  // The first move after a restore does not drag.
  for (bool byIcon : {false, true}) {
    window.drags = 0;
    if (byIcon)
      window.SendMessage(WM_TRAYICON, 1, WM_LBUTTONDOWN);
    else
      window.SendMessage(WM_SHOWMAINWND);
    window.Move(MK_LBUTTON, 200, 200);
    EXPECT_EQ(0, window.drags);
    window.Move(MK_LBUTTON, 201, 200);
    EXPECT_EQ(1, window.drags);
  }
}

TEST_F(MainWindowTest, HidingRestoringEnterEscapeAndTheQuitQuestion) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.W();
  const HWND login = window.Login()->m_hWnd;
  auto shown = [&] { return window.IsWindowVisible() && IsWindowVisible(login); };
  auto hidden = [&] { return !window.IsWindowVisible() && !IsWindowVisible(login); };
  m_boxes.SetAnswer(IDNO);
  // Just outside the click rectangles (bottom edge, right edge, left edge): nothing happens.
  for (POINT p : {POINT{W - 150, 35}, POINT{W - 151, 20}, POINT{W - 50, 10}, POINT{W - 100, 35}})
    window.Release(p.x, p.y);
  EXPECT_TRUE(shown());
  EXPECT_EQ(0u, m_boxes.Count());
  window.Release(W - 101, 34);
  EXPECT_TRUE(hidden());
  for (LPARAM other : {WM_RBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, WM_LBUTTONDBLCLK})
    window.SendMessage(WM_TRAYICON, 1, other);
  EXPECT_TRUE(hidden());
  window.SendMessage(WM_TRAYICON, 1, WM_LBUTTONDOWN);
  EXPECT_TRUE(shown());
  EXPECT_TRUE(Above(login, window.m_hWnd));
  window.Release(W - 150, 10);
  EXPECT_TRUE(hidden());
  window.SendMessage(WM_SHOWMAINWND);
  EXPECT_TRUE(shown());
  EXPECT_TRUE(Above(login, window.m_hWnd));

  // Enter goes to the dialog manager, whose default action does nothing here; Escape never does.
  MSG enter{window.m_hWnd, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
  EXPECT_TRUE(CDialog::FilterMessage(&enter));
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  MSG escape{window.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {0, 0}};
  EXPECT_FALSE(CDialog::FilterMessage(&escape));
  DispatchMessageW(&escape);
  PumpFor(100);
  EXPECT_TRUE(shown());
  EXPECT_EQ(0u, m_boxes.Count());

  // Both corners of the close button's click rectangle ask; "no" leaves everything.
  window.Release(W - 100, 10);
  window.Release(W - 51, 34);
  ASSERT_EQ(2u, m_boxes.Count());
  for (const CapturedMessageBox& box : m_boxes.Boxes()) {
    EXPECT_EQ(L"[提示] 确定要退出程序吗??", L"[" + box.caption + L"] " + box.text);
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
    EXPECT_EQ(window.m_hWnd, box.owner);
  }
  PumpFor(100);
  EXPECT_TRUE(shown());
  EXPECT_EQ(login, window.Login()->m_hWnd);

  // "Yes" closes the window, which ends its modal loop.
  EXPECT_EQ(0, window.closes);
  m_boxes.SetAnswer(IDYES);
  window.Release(W - 100, 10);
  EXPECT_EQ(3u, m_boxes.Count());
  EXPECT_TRUE(PumpUntil([&] { return window.closes == 1; }));
}

TEST_F(MainWindowTest, ThePopupStartsFourPixelsSmallerAndFollowsAfterTheFirstPressAndTheSkinIsComposed) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int b = window.Border();
  const HWND login = window.Login()->m_hWnd;
  const RECT start = RectIn(nullptr, window.m_hWnd);
  EXPECT_TRUE(SameRect(ChildRect(start, b, 32, 52), RectIn(nullptr, login)));
  // Moved before any press (as from the keyboard): the popup stays where it was.
  window.SetWindowPos(nullptr, start.left + 7, start.top + 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(SameRect(ChildRect(start, b, 32, 52), RectIn(nullptr, login)));
  window.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
  window.Release(200, 200);
  window.SetWindowPos(nullptr, start.left + 17, start.top + 11, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(SameRect(ChildRect(RectIn(nullptr, window.m_hWnd), b, 28, 48), RectIn(nullptr, login)));

  // Clear at the corners, opaque inside, premultiplied; the close button's image follows the pointer.
  const int W = window.W(), H = static_cast<int>(window.pixels.size()) / W;
  RECT client;
  window.GetClientRect(&client);
  ASSERT_EQ(client.right * client.bottom, static_cast<int>(window.pixels.size()));
  window.SendMessage(WM_MOUSELEAVE);
  for (POINT p : {POINT{0, 0}, POINT{W - 1, 0}, POINT{0, H - 1}, POINT{W - 1, H - 1}})
    EXPECT_LT(window.AlphaAt(p.x, p.y), 32);
  EXPECT_EQ(255, window.AlphaAt(W / 2, H / 2));
  EXPECT_EQ(255, window.AlphaAt(40, H - 40));
  for (int shift : {0, 8, 16}) EXPECT_LE((window.pixels[0] >> shift) & 0xFF, window.pixels[0] >> 24);
  const std::vector<uint32_t> normal = window.pixels;
  window.Move(0, W - 60, 30);
  ASSERT_EQ(std::make_pair(1, 0), window.Hover());
  auto differing = [&](int left, int right) {
    int count = 0;
    for (int y = 10; y < 45; ++y) {
      for (int x = left; x < right; ++x) count += normal[y * W + x] != window.pixels[y * W + x];
    }
    return count;
  };
  EXPECT_GT(differing(W - 100, W - 50), 20);
  EXPECT_EQ(0, differing(W - 150, W - 100));
}

TEST_F(MainWindowTest, ASuccessfulLoginSwitchesToTheTabbedWindowOnce) {
  // The reference service when the test run has one; otherwise a scripted peer that accepts.
  std::unique_ptr<ScriptedServer> scripted;
  std::u16string host = TestServiceHost();
  const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"t" + std::to_wstring(GetTickCount64() % 1000000);
  const std::wstring user = L"用户a&b=%" + tag, password = L"pw-12345", email = L"m" + tag + L"@e.cn";
  if (host.empty()) {
    scripted = std::make_unique<ScriptedServer>(
        ScriptedServer::Reply(servicetest::Http("200 OK", servicetest::Result("LoginUser", "true"))));
    host = scripted->Host();
  } else {
    Passport::CPassportT passport(host);
    int32_t created = 0;
    const std::u16string name(user.begin(), user.end()), pass(password.begin(), password.end());
    const std::u16string mail(email.begin(), email.end());
    ASSERT_EQ(0, passport.CreateUser(name.c_str(), pass.c_str(), mail.c_str(), &created));
    ASSERT_EQ(1, created);
  }
  TestMainWindow window(host);
  ASSERT_TRUE(window.Create(nullptr));
  CMyLoginDlg* login = window.Login();
  login->SetDlgItemText(IDC_USERNAME, user.c_str());
  login->SetDlgItemText(IDC_PASSWORD, password.c_str());
  login->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LOGIN, BN_CLICKED),
                     reinterpret_cast<LPARAM>(login->GetDlgItem(IDC_LOGIN)));
  ASSERT_TRUE(PumpUntil([&] { return window.Login() == nullptr; }, 30000)) << "no switch; boxes: " << m_boxes.Count();
  EXPECT_TRUE(window.switchTick != 0 && window.switchTick == window.firstTickWithSuccess);  // the first tick acted
  EXPECT_EQ(3, window.Mode());
  // The login dialog wrote the settings as it went.
  EXPECT_EQ(user, ReadSetting(settings::kUploadUser));
  EXPECT_EQ(0, ReadSettingInt(settings::kState, 7));

  // The tabbed window, placed with the later sizes and shown.
  CMainUpLoadDlg* tabs = window.Tabs();
  ASSERT_TRUE(tabs != nullptr && tabs->IsWindow());
  EXPECT_TRUE(tabs->IsWindowVisible() && GetWindow(tabs->m_hWnd, GW_OWNER) == window.m_hWnd);
  EXPECT_TRUE(
      SameRect(ChildRect(RectIn(nullptr, window.m_hWnd), window.Border(), 28, 48), RectIn(nullptr, tabs->m_hWnd)));
  // The hidden login page: a child of the main window, opened once with the name appended as it is.
  CMyWebDlg* page = window.LoginPage();
  ASSERT_TRUE(page != nullptr && page->IsWindow());
  EXPECT_TRUE(!page->IsWindowVisible() && GetParent(page->m_hWnd) == window.m_hWnd);
  const std::wstring loginPages = L"http://pages.invalid/Login.aspx?username=";
  auto loginPagesOpened = [&] {
    const std::vector<std::wstring> all = m_pages.NavigatedAddresses();
    return std::count_if(all.begin(), all.end(), [&](const std::wstring& a) { return a.rfind(loginPages, 0) == 0; });
  };
  EXPECT_EQ(1, loginPagesOpened());
  const std::vector<std::wstring> all = m_pages.NavigatedAddresses();
  EXPECT_NE(all.end(), std::find(all.begin(), all.end(), loginPages + user));

  // The poll timer is gone: later periods neither tick nor write the settings again.
  const int ticksAtSwitch = window.ticks;
  ASSERT_TRUE(DeleteFileW(GetSettingsPath().c_str()));
  PumpFor(1300);
  EXPECT_EQ(ticksAtSwitch, window.ticks);
  EXPECT_FALSE(m_appData.SettingsFileExists());
  EXPECT_EQ(1, loginPagesOpened());
  EXPECT_EQ(tabs, window.Tabs());
  // The tabbed window is hidden and shown with the main window now.
  window.Release(window.W() - 150, 10);
  EXPECT_FALSE(window.IsWindowVisible() || tabs->IsWindowVisible());
  window.SendMessage(WM_SHOWMAINWND);
  EXPECT_TRUE(window.IsWindowVisible() && tabs->IsWindowVisible());
  EXPECT_FALSE(page->IsWindowVisible());
  for (const CapturedMessageBox& box : m_boxes.Boxes())
    ADD_FAILURE() << "message box: " << testing::PrintToString(box.text);
}

}  // namespace
