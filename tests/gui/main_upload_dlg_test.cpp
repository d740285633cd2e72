// The tabbed window: the print tab at the end of an upload (the cart reloaded or opened again,
// photo management) and the way back to the login dialog when no user is signed in.
#include "web/main_upload_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "app/fotrel_dlg.h"
#include "common/messages.h"
#include "res/resource.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/upload_flow_util.h"
#include "tests/support/message_box_capture.h"
#include "web/browser_ctrl.h"
#include "web/service_pages.h"

namespace {

using namespace uploadtest;
using Calls = std::vector<FakeBrowserDispatch::Call>;
using Lines = std::vector<std::wstring>;

constexpr wchar_t kUser[] = L"tester&x=";
constexpr wchar_t kCart[] = L"http://pages.invalid/ShoppingCart.aspx?username=tester&x=";
constexpr wchar_t kManage[] = L"http://pages.invalid/PhotoManage.aspx";
constexpr DISPID kNavigate = 104, kLocation = 211, kRefresh = -550;

bool Visible(const CWnd& wnd) { return (GetWindowLongPtrW(wnd.m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0; }
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

// The upload worker's question, answered after a real upload of one photo from the page.
TEST_F(MainUpLoadDlgTest, ThePrintQuestionBringsThePrintTabWithTheCartOrPhotoManagement) {
  UploadPeer peer;
  TempDir photos;
  photos.Write("a.jpg", PatternBytes(60));
  struct Case {
    int answer;
    Lines calls;
  } const cases[] = {{IDYES, {L"LocationURL", L"Refresh"}},
                     {IDNO, {L"LocationURL", L"Refresh", L"Navigate " + std::wstring(kManage)}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    CMainUpLoadDlg window;
    ASSERT_TRUE(window.Create(m_owner.m_hWnd));
    CMyUpLoadDlg& page = window.m_uploadPage;
    page.m_uploadWorker.SetServiceHost(peer.Host());
    page.m_uploadWorker.SetMaxPause(1);
    ListPhotos(page, photos.Path().wstring(), {L"a.jpg"}, {0});
    m_browser.location = kCart;
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
  }
}

// Enter and Escape pressed as a person presses them in every part of the tabbed window: the
// photo list, the folder tree, each button of the upload page, the tab control, the print page.
// Nothing hides; Enter on a focused button presses it.
TEST_F(MainUpLoadDlgTest, EnterAndEscapeHideNothingAndEnterPressesTheFocusedButton) {
  TempDir photos;
  photos.Write("a.jpg", PatternBytes(60));
  photos.Write("b.jpg", PatternBytes(70));
  CMainUpLoadDlg window;
  ASSERT_TRUE(window.Create(m_owner.m_hWnd));
  window.SetWindowPos(HWND_TOP, 20, 20, 640, 560, SWP_SHOWWINDOW);
  CMyUpLoadDlg& page = window.m_uploadPage;
  // A tree that first gets the focus selects its first folder, which lists that folder and takes
  // the focus to the list: chosen beforehand, so the keys below meet the photos listed here.
  const HWND tree = page.m_treeFolders.m_hWnd;
  TreeView_SelectItem(tree, TreeView_GetRoot(tree));
  ASSERT_TRUE(PumpUntil([&] {
    MSG msg;
    return !PeekMessageW(&msg, page.m_hWnd, WM_FOLDER_CHANGED, WM_FOLDER_CHANGED, PM_NOREMOVE);
  }));
  ListPhotos(page, photos.Path().wstring(), {L"a.jpg", L"b.jpg"}, {});
  const HWND browser = window.m_printPage.m_browser.m_hWnd;
  ASSERT_NE(nullptr, browser);
  const HWND browserInside = GetWindow(browser, GW_CHILD);

  const struct {
    const char* what;
    int tab;
    HWND focus;
    int checkedAfterEnter;  // -1: the check marks are not looked at
    const wchar_t* box;     // the message Enter brings, or none
  } cases[] = {
      {"photo list", 0, page.m_listPhotos.m_hWnd, 0, nullptr},
      {"folder tree", 0, tree, 0, nullptr},
      {"select all", 0, page.m_btnSelectAll.m_hWnd, 2, nullptr},
      {"select none", 0, page.m_btnSelectNone.m_hWnd, 0, nullptr},
      {"upload, nothing checked", 0, page.m_btnUpload.m_hWnd, 0, L"请选择图片!!!"},
      {"tab control", 0, window.m_tab.m_hWnd, 0, nullptr},
      {"print page", 1, browser, -1, nullptr},
      {"inside the browser", 1, browserInside != nullptr ? browserInside : browser, -1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    window.SelectPage(c.tab);
    auto allShown = [&] {
      return window.IsWindowVisible() && Visible(c.tab == 0 ? static_cast<CWnd&>(page) : window.m_printPage) &&
             !Visible(c.tab == 0 ? static_cast<CWnd&>(window.m_printPage) : page);
    };
    ASSERT_TRUE(allShown());
    const size_t boxes = m_boxes.Count();
    ASSERT_TRUE(PressKey(c.focus, VK_RETURN));
    ASSERT_TRUE(WaitForUpload(page));
    EXPECT_TRUE(allShown());
    if (c.checkedAfterEnter >= 0) {
      EXPECT_EQ(c.checkedAfterEnter, CheckedCount(page));
    }
    ASSERT_EQ(boxes + (c.box != nullptr ? 1 : 0), m_boxes.Count());
    if (c.box != nullptr) {
      EXPECT_EQ(c.box, m_boxes.Boxes().back().text);
    }
    ASSERT_TRUE(PressKey(c.focus, VK_ESCAPE));
    EXPECT_TRUE(allShown());
    EXPECT_EQ(boxes + (c.box != nullptr ? 1 : 0), m_boxes.Count());
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
  }

  // The next login, with settings that work again, reaches the tabbed window for good; a late
  // request of the window already gone changes nothing.
  std::filesystem::remove(ini);
  window.PressLogin(L"second");
  ASSERT_TRUE(PumpUntil([&] { return window.Mode() == 3; }, 30000));
  ASSERT_NE(nullptr, window.Tabs());
  EXPECT_STREQ(L"second", window.Tabs()->m_szUploadUser);
  window.PostMessage(WM_BACKTOLOGIN, reinterpret_cast<WPARAM>(firstTabs));
  PumpFor(700);
  EXPECT_EQ(3, window.Mode());
  EXPECT_EQ(nullptr, window.Login());
  EXPECT_EQ(2u, m_boxes.Count());
}

}  // namespace
