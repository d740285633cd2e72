// The tabbed window: its initialisation, the tab change, the print tab at the end of an upload
// (the cart reloaded or opened again, photo management), painting and closing, Escape, and the
// way back to the login dialog when no user is signed in.
#include "web/main_upload_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "app/fotrel_dlg.h"
#include "app/messages.h"
#include "res/resource.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/upload_flow_util.h"
#include "tests/support/message_box_capture.h"
#include "web/browser_ctrl.h"
#include "web/service_pages.h"

namespace {

using namespace uploadtest;
using Geometry = std::array<LONG, 4>;  // x, y, width, height in the parent's client area
using Calls = std::vector<FakeBrowserDispatch::Call>;
using Lines = std::vector<std::wstring>;

constexpr wchar_t kUser[] = L"tester&x=";
constexpr wchar_t kCart[] = L"http://pages.invalid/ShoppingCart.aspx?username=tester&x=";
constexpr wchar_t kManage[] = L"http://pages.invalid/PhotoManage.aspx";
constexpr DISPID kNavigate = 104, kLocation = 211, kRefresh = -550;
const COLORREF kGrey = RGB(241, 241, 241);

Geometry GeometryOf(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
  return {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
}
bool Visible(const CWnd& wnd) { return (GetWindowLongPtrW(wnd.m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0; }
std::wstring TabText(const CWnd& tab, int index) {
  wchar_t text[64] = {};
  TCITEMW item{TCIF_TEXT, 0, 0, text, 64, 0, 0};
  return SendMessageW(tab.m_hWnd, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) ? text : L"?";
}
// The browser calls, readable: "LocationURL", "Refresh", "Navigate <address>".
std::vector<std::wstring> Trace(const Calls& calls) {
  std::vector<std::wstring> out;
  for (const auto& call : calls) {
    if (call.id == kLocation && (call.flags & DISPATCH_PROPERTYGET)) out.push_back(L"LocationURL");
    else if (call.id == kRefresh && call.args.empty()) out.push_back(L"Refresh");
    else if (call.id == kNavigate && !call.args.empty()) out.push_back(L"Navigate " + call.args[0].text);
    else out.push_back(L"?" + std::to_wstring(call.id));
  }
  return out;
}
// Returns once every message posted to this thread before the call has been handled.
void HandlePosted() {
  struct Marker : CWnd {
    bool seen = false;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
      seen = seen || msg == WM_APP;
      return CWnd::WindowProc(msg, wParam, lParam);
    }
  } marker;
  ASSERT_TRUE(marker.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{0, 0, 1, 1}, nullptr, 0));
  marker.PostMessage(WM_APP);
  ASSERT_TRUE(PumpUntil([&] { return marker.seen; }, 3000));
}

bool NetworkPresent() { return true; }

class MainUpLoadDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    CBrowserCtrl::SetDispatchForNewControls(&m_browser);
    SetServicePageHost(u"pages.invalid");
    CMyLoginDlg::SetNetworkCheck(&NetworkPresent);
    ASSERT_TRUE(m_owner.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{0, 0, 700, 650}, nullptr, 0));
  }
  void TearDown() override {
    CMyLoginDlg::SetNetworkCheck(nullptr);
    SetServicePageHost(u"");
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
  }
  // The browser calls since the last look.
  Calls NewCalls() {
    Calls out(m_browser.calls.begin() + static_cast<ptrdiff_t>(m_seenCalls), m_browser.calls.end());
    m_seenCalls = m_browser.calls.size();
    return out;
  }

  SettingsFolder m_settings{kUser};
  FakeBrowserDispatch m_browser;  // outlives every browser of a test
  size_t m_seenCalls = 0;
  MessageBoxCapture m_boxes{IDOK};
  CWnd m_owner;  // stands in for the main window
};

TEST_F(MainUpLoadDlgTest, InitialisationBuildsTabsPagesCartAndStylesAndTheTabChangeShowsItsPage) {
  CMainUpLoadDlg window;
  ASSERT_TRUE(window.Create(m_owner.m_hWnd));
  EXPECT_FALSE(window.IsWindowVisible());  // the main window places and shows it
  EXPECT_EQ(m_owner.m_hWnd, GetWindow(window.m_hWnd, GW_OWNER));
  EXPECT_STREQ(kUser, window.m_szUploadUser);
  EXPECT_EQ(kCart, window.m_strCartUrl);  // the name appended as it is
  EXPECT_EQ(Lines{L"Navigate " + std::wstring(kCart)}, Trace(NewCalls()));

  const CMyTabCtrl& tab = window.m_tab;
  ASSERT_EQ(tab.m_hWnd, window.GetDlgItem(IDC_TABS));
  ASSERT_EQ(2, tab.GetItemCount());
  EXPECT_EQ(L"上传我的照片", TabText(tab, 0));
  EXPECT_EQ(L"冲印我的照片", TabText(tab, 1));
  EXPECT_EQ(0, tab.GetCurSel());
  RECT client, tabClient;
  window.GetClientRect(&client);
  tab.GetClientRect(&tabClient);
  EXPECT_EQ((Geometry{0, 32, client.right, client.bottom}), GeometryOf(tab.m_hWnd));
  EXPECT_EQ((Geometry{3, 20, tabClient.right, tabClient.bottom}), GeometryOf(window.m_uploadPage.m_hWnd));
  EXPECT_EQ((Geometry{3, 22, tabClient.right, tabClient.bottom}), GeometryOf(window.m_printPage.m_hWnd));
  EXPECT_EQ((Geometry{0, 0, client.right - 15, client.bottom - 25}), GeometryOf(window.m_printPage.m_browser.m_hWnd));
  EXPECT_TRUE(Visible(window.m_uploadPage));
  EXPECT_FALSE(Visible(window.m_printPage));

  // No taskbar button, nearly opaque.
  EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), window.GetExStyle() & (WS_EX_APPWINDOW | WS_EX_TOOLWINDOW));
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window.m_hWnd, nullptr, &alpha, &flags));
  EXPECT_EQ(254, alpha);
  EXPECT_EQ(static_cast<DWORD>(LWA_ALPHA), flags);
  EXPECT_EQ(0u, m_boxes.Count());
  MSG backToLogin;
  EXPECT_FALSE(PeekMessageW(&backToLogin, m_owner.m_hWnd, WM_BACKTOLOGIN, WM_BACKTOLOGIN, PM_NOREMOVE));

  // The tab change shows the chosen page; the cart is reloaded only during an upload.
  auto change = [&](int index) {
    window.m_tab.SetCurSel(index);
    NMHDR header{window.m_tab.m_hWnd, static_cast<UINT_PTR>(IDC_TABS), static_cast<UINT>(TCN_SELCHANGE)};
    return window.SendMessage(WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&header));
  };
  for (int index : {1, 0}) {
    EXPECT_EQ(0, change(index));
    EXPECT_EQ(index == 0, Visible(window.m_uploadPage));
    EXPECT_EQ(index == 1, Visible(window.m_printPage));
  }
  window.SelectPage(1);
  EXPECT_EQ(1, window.m_tab.GetCurSel());
  EXPECT_TRUE(Visible(window.m_printPage));
  EXPECT_TRUE(NewCalls().empty());  // without an upload: the cart as it was last loaded
  window.m_uploadPage.m_bUploading = 1;
  EXPECT_EQ(0, change(1));
  EXPECT_EQ(Lines{L"Refresh"}, Trace(NewCalls()));
  window.m_uploadPage.m_bUploading = 0;
}

TEST_F(MainUpLoadDlgTest, PaintsTheTitleBandOnGreyAndOnlyCloseNotEscapeEndsIt) {
  // Counts the dialog manager's cancel, what Escape would be turned into.
  struct Counting : CMainUpLoadDlg {
    explicit Counting(bool letEscapeThrough) { m_bSwallowEscape = m_bSwallowEscape && !letEscapeThrough; }
    int cancels = 0;
    void OnCancel() override { ++cancels, CMainUpLoadDlg::OnCancel(); }
  } window(false), probe(true);  // the same keys do cancel a dialog that lets Escape through
  ASSERT_TRUE(window.Create(m_owner.m_hWnd));
  ASSERT_TRUE(probe.Create(nullptr));
  const HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 700, 60);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  auto erase = [&] {
    const RECT all{0, 0, 700, 60};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    return window.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  };
  // The band (640 x 32) ends in a frame line at row 31; grey below it.
  EXPECT_NE(0, erase());
  EXPECT_EQ(RGB(172, 172, 172), GetPixel(dc, 100, 31));
  EXPECT_EQ(kGrey, GetPixel(dc, 100, 32));

  window.ShowWindow(SW_SHOWNOACTIVATE);
  for (HWND target : {window.m_hWnd, window.m_tab.m_hWnd, window.m_uploadPage.m_listPhotos.m_hWnd,
                      window.m_printPage.m_hWnd, probe.m_hWnd, probe.m_tab.m_hWnd})
    PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  HandlePosted();
  EXPECT_EQ(0, window.cancels);
  EXPECT_TRUE(window.IsWindowVisible() && window.m_uploadPage.IsWindowVisible());
  EXPECT_EQ(2, probe.cancels);

  // Closing drops the band at once; the cancel that the default handling posts then ends the
  // dialog: hidden, not destroyed.
  window.SendMessage(WM_CLOSE);
  EXPECT_NE(0, erase());
  EXPECT_EQ(kGrey, GetPixel(dc, 100, 31));
  EXPECT_TRUE(PumpUntil([&] { return !window.IsWindowVisible(); }, 3000));
  EXPECT_EQ(1, window.cancels);
  EXPECT_TRUE(window.IsWindow());
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// The upload worker's question, answered after a real upload of one photo from the page.
TEST_F(MainUpLoadDlgTest, ThePrintQuestionBringsThePrintTabWithTheCartOrPhotoManagement) {
  UploadPeer peer;
  TempDir photos;
  photos.Write("a.jpg", PatternBytes(60));
  const std::wstring cart = kCart, notQuiteTheCart = cart + L"&more";
  struct Case {
    std::wstring shown;  // by the browser when the question is answered
    int answer;
    Lines calls;
  } const cases[] = {
      {cart, IDYES, {L"LocationURL", L"Refresh"}},
      {notQuiteTheCart, IDYES, {L"LocationURL", L"Navigate " + cart}},  // then reloaded once, later
      {cart, IDNO, {L"LocationURL", L"Refresh", L"Navigate " + std::wstring(kManage)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown + (c.answer == IDYES ? L" yes" : L" no"));
    CMainUpLoadDlg window;
    ASSERT_TRUE(window.Create(m_owner.m_hWnd));
    CMyUpLoadDlg& page = window.m_uploadPage;
    page.m_uploadWorker.SetServiceHost(peer.Host());
    page.m_uploadWorker.SetMaxPause(1);
    ListPhotos(page, photos.Path().wstring(), {L"a.jpg"}, {0});
    m_browser.location = c.shown;
    m_boxes.SetAnswer(c.answer);
    const size_t boxes = m_boxes.Count();
    NewCalls();
    page.OnUpload();
    ASSERT_TRUE(WaitForUpload(page));
    ASSERT_EQ(boxes + 1, m_boxes.Count());
    EXPECT_EQ(L"您的图片已上传成功!!!是否要冲印??", m_boxes.Boxes().back().text);
    EXPECT_EQ(1, window.m_tab.GetCurSel());
    EXPECT_FALSE(Visible(page));
    EXPECT_TRUE(Visible(window.m_printPage));
    EXPECT_EQ(c.calls, Trace(NewCalls()));
    if (c.shown != cart) {
      ASSERT_TRUE(PumpUntil([&] { return m_browser.calls.size() > m_seenCalls; }, 3000));
      EXPECT_EQ(Lines{L"Refresh"}, Trace(NewCalls()));
    }
    PumpFor(800);
    EXPECT_TRUE(NewCalls().empty());  // one shot, and no timer when the cart was shown
  }
}

// No signed-in user: the tabbed window says so twice (its own message, then the upload page's),
// closes itself and the main window brings the login dialog back; the next login goes on.
struct MainWindow : CFotrelDlg {
  using CFotrelDlg::CFotrelDlg;
  CMyLoginDlg* Login() const { return m_pLoginDlg; }
  CMainUpLoadDlg* Tabs() const { return m_pTabsDlg; }
  int Mode() const { return m_nChildMode; }
  void PressLogin(const wchar_t* user) {
    m_pLoginDlg->SetDlgItemText(IDC_USERNAME, user);
    m_pLoginDlg->SetDlgItemText(IDC_PASSWORD, L"pw-12345");
    m_pLoginDlg->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LOGIN, BN_CLICKED),
                             reinterpret_cast<LPARAM>(m_pLoginDlg->GetDlgItem(IDC_LOGIN)));
  }
};

TEST_F(MainUpLoadDlgTest, WithoutAUserTheMainWindowGoesBackToTheLoginDialogAndOnAfterTheNextLogin) {
  SetCursorPos(0, 0);
  ScriptedServer passport(
      ScriptedServer::Reply(servicetest::Http("200 OK", servicetest::Result("LoginUser", "true"))));
  // A settings file that cannot be written: the login leaves no user name behind.
  const std::filesystem::path ini = m_settings.Path() / "user.ini";
  ASSERT_TRUE(std::filesystem::remove(ini) && std::filesystem::create_directory(ini));

  MainWindow window(passport.Host());
  ASSERT_TRUE(window.Create(nullptr));
  ASSERT_NE(nullptr, window.Login());
  window.PressLogin(L"first");
  ASSERT_TRUE(PumpUntil([&] { return window.Tabs() != nullptr; }, 30000));
  const HWND firstTabs = window.Tabs()->m_hWnd;
  EXPECT_EQ(L"http://pages.invalid/ShoppingCart.aspx?username=", window.Tabs()->m_strCartUrl);
  ASSERT_TRUE(PumpUntil([&] { return window.Mode() == 1; }, 5000));
  EXPECT_EQ(nullptr, window.Tabs());
  EXPECT_FALSE(IsWindow(firstTabs));
  ASSERT_NE(nullptr, window.Login());
  EXPECT_TRUE(window.Login()->IsWindowVisible());
  ASSERT_EQ(2u, m_boxes.Count());
  for (const CapturedMessageBox& box : m_boxes.Boxes()) {
    EXPECT_EQ(L"失败!! 重新登陆!!", box.text);
    EXPECT_EQ(L"提示", box.caption);
    EXPECT_EQ(firstTabs, box.owner);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
  }

  // The next login, with settings that work again, reaches the tabbed window for good; a late
  // request of the window already gone changes nothing.
  std::filesystem::remove(ini);
  window.PressLogin(L"second");
  ASSERT_TRUE(PumpUntil([&] { return window.Mode() == 3; }, 30000));
  ASSERT_NE(nullptr, window.Tabs());
  EXPECT_STREQ(L"second", window.Tabs()->m_szUploadUser);
  EXPECT_TRUE(window.Tabs()->IsWindowVisible());
  window.PostMessage(WM_BACKTOLOGIN, reinterpret_cast<WPARAM>(firstTabs));
  PumpFor(700);
  EXPECT_EQ(3, window.Mode());
  EXPECT_EQ(nullptr, window.Login());
  EXPECT_EQ(2u, m_boxes.Count());
  // The hidden login page was opened anew for the name signed in now.
  const std::vector<std::wstring> pages = m_browser.NavigatedAddresses();
  EXPECT_EQ(1, std::count(pages.begin(), pages.end(), L"http://pages.invalid/Login.aspx?username=second"));
}

}  // namespace
