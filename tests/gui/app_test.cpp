// The application object: the modal run of the main window between the start and the
// shut-down of GDI+, and the refusal to start without it.
#include "app/fotrel_app.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "app/fotrel_dlg.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/message_box_capture.h"
#include "web/browser_ctrl.h"

namespace {

constexpr wchar_t kTitle[] = L"Zorvan照片冲印";

// A window of this process with the title (other processes of the prefix share the desktop).
bool OwnWindowLeft() {
  for (HWND hwnd = FindWindowW(nullptr, kTitle); hwnd != nullptr;
       hwnd = FindWindowExW(nullptr, hwnd, nullptr, kTitle)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) return true;
  }
  return false;
}

// Records the steps of start-up and looks at the running main window once, from a timer of its
// loop, before closing it as the platform would.
class TestApp : public CFotrelApp {
 public:
  TestApp() : CFotrelApp(u"127.0.0.1:9") {}
  bool failGdiplus = false;
  std::vector<std::string> steps;
  std::wstring seen;  // while running: registered, shown, the login dialog shown, title, skin images
  int imagesAtGdiplusStop = -1;
  static TestApp* s_app;
  static CFotrelDlg* s_window;

 protected:
  bool StartGdiplus(ULONG_PTR* token) override {
    steps.push_back("gdiplus start");
    return !failGdiplus && CFotrelApp::StartGdiplus(token);
  }
  void StopGdiplus(ULONG_PTR token) override {
    steps.push_back("gdiplus stop");
    if (s_window != nullptr) imagesAtGdiplusStop = s_window->LoadedSkinImages();
    CFotrelApp::StopGdiplus(token);
  }
  INT_PTR RunMainWindow(CFotrelDlg& mainWindow) override {
    steps.push_back("run");
    s_app = this;
    s_window = &mainWindow;
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      CFotrelDlg* window = s_window;
      bool loginShown = false;
      for (HWND hwnd = GetWindow(window->m_hWnd, GW_HWNDFIRST); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        loginShown = loginShown || (GetWindow(hwnd, GW_OWNER) == window->m_hWnd && IsWindowVisible(hwnd));
      }
      s_app->seen = std::to_wstring(GetApp() == s_app && s_app->m_pMainWnd == window) +
                    std::to_wstring(window->IsWindowVisible()) + std::to_wstring(loginShown) + L" " +
                    window->GetWindowText() + L" " + std::to_wstring(window->LoadedSkinImages());
      window->SendMessage(WM_CLOSE);
    });
    const INT_PTR result = CFotrelApp::RunMainWindow(mainWindow);
    KillTimer(nullptr, timer);
    steps.push_back("run ended");
    return result;
  }
};

TestApp* TestApp::s_app = nullptr;
CFotrelDlg* TestApp::s_window = nullptr;

class AppTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);
    CMyLoginDlg::SetNetworkCheck([] { return true; });
    CBrowserCtrl::SetDispatchForNewControls(&m_pages);
  }
  void TearDown() override {
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
    CMyLoginDlg::SetNetworkCheck(nullptr);
    TestApp::s_window = nullptr;
  }
  guitest::AppDataScope m_appData;
  FakeBrowserDispatch m_pages;
  MessageBoxCapture m_boxes{IDOK};
};

TEST_F(AppTest, RunsTheMainWindowModallyBetweenStartAndShutDown) {
  TestApp app;
  EXPECT_FALSE(app.InitInstance());  // no message loop of the application's own follows
  EXPECT_EQ((std::vector<std::string>{"gdiplus start", "run", "run ended", "gdiplus stop"}), app.steps);
  EXPECT_EQ(L"111 " + std::wstring(kTitle) + L" " + std::to_wstring(CFotrelDlg::kSkinImageCount), app.seen);
  EXPECT_EQ(0, app.imagesAtGdiplusStop);  // the images went before GDI+, the window object after
  EXPECT_EQ(nullptr, app.m_pMainWnd);
  EXPECT_FALSE(OwnWindowLeft());
  EXPECT_FALSE(m_appData.SettingsFileExists());  // nobody logged in
  EXPECT_EQ(0u, m_boxes.Count());
}

TEST_F(AppTest, WithoutGdiplusOnlyTheMessageIsShown) {
  TestApp app;
  app.failGdiplus = true;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ((std::vector<std::string>{"gdiplus start"}), app.steps);
  const std::vector<CapturedMessageBox> boxes = m_boxes.Boxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"[提示] 缺少系统文件!!!.请更新系统!!!", L"[" + boxes[0].caption + L"] " + boxes[0].text);
  EXPECT_EQ(std::vector<int>{IDOK}, boxes[0].buttons);
  EXPECT_EQ(nullptr, boxes[0].owner);
  EXPECT_FALSE(OwnWindowLeft());
  EXPECT_EQ(nullptr, app.m_pMainWnd);
}

}  // namespace
