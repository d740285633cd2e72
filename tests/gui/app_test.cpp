// The application object: the modal run of the main window between the start and the
// shut-down of the libraries, and the refusal to start without GDI+.
#include "app/fotrel_app.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "app/fotrel_dlg.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/temp_dir.h"
#include "web/browser_ctrl.h"

namespace {

constexpr wchar_t kTitle[] = L"Zorvan照片冲印";

bool NetworkPresent() { return true; }

// A window of this process with the title (other processes of the prefix share the desktop).
struct WindowSearch {
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId() || GetWindowTextString(hwnd) != search->title) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindOwnWindow(const wchar_t* title) {
  WindowSearch search{title, nullptr};
  EnumWindows(&MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Records the steps of start-up; the main window's run is watched from a timer of its loop.
class TestApp : public CFotrelApp {
 public:
  TestApp() : CFotrelApp(u"127.0.0.1:9") {}

  bool failGdiplus = false;
  std::vector<std::string> steps;
  // Seen while the main window ran.
  bool mainWindowRegistered = false;
  bool mainWindowShown = false;
  bool loginShown = false;
  std::wstring title;
  int imagesWhileRunning = -1;
  // Seen when GDI+ was shut down.
  int imagesAtGdiplusStop = -1;
  bool mainWindowObjectAliveAtStop = false;

 protected:
  bool StartGdiplus(ULONG_PTR* token) override {
    steps.push_back("gdiplus start");
    if (failGdiplus) return false;
    return CFotrelApp::StartGdiplus(token);
  }
  void StopGdiplus(ULONG_PTR token) override {
    steps.push_back("gdiplus stop");
    mainWindowObjectAliveAtStop = s_window != nullptr;
    if (s_window != nullptr) imagesAtGdiplusStop = s_window->LoadedSkinImages();
    CFotrelApp::StopGdiplus(token);
  }
  INT_PTR RunMainWindow(CFotrelDlg& mainWindow) override {
    steps.push_back("run");
    s_app = this;
    s_window = &mainWindow;
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, &Inspect);
    const INT_PTR result = CFotrelApp::RunMainWindow(mainWindow);
    KillTimer(nullptr, timer);
    steps.push_back("run ended");
    return result;
  }

 private:
  // Looks at the running main window once, then closes it as the platform would.
  static void CALLBACK Inspect(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    TestApp* app = s_app;
    CFotrelDlg* window = s_window;
    app->mainWindowRegistered = GetApp() == app && app->m_pMainWnd == window;
    app->mainWindowShown = window->IsWindowVisible() != FALSE;
    app->title = window->GetWindowText();
    app->imagesWhileRunning = window->LoadedSkinImages();
    for (HWND hwnd = GetWindow(window->m_hWnd, GW_HWNDFIRST); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
      if (hwnd != window->m_hWnd && GetWindow(hwnd, GW_OWNER) == window->m_hWnd && IsWindowVisible(hwnd))
        app->loginShown = true;
    }
    window->SendMessage(WM_CLOSE);
  }

  static TestApp* s_app;

 public:
  static CFotrelDlg* s_window;
};

TestApp* TestApp::s_app = nullptr;
CFotrelDlg* TestApp::s_window = nullptr;

class AppTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t old[MAX_PATH] = {};
    m_hadAppData = GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH) > 0;
    m_oldAppData = old;
    SetEnvironmentVariableW(L"APPDATA", m_dir.Path().wstring().c_str());
    SetCursorPos(0, 0);
    CMyLoginDlg::SetNetworkCheck(&NetworkPresent);
    CBrowserCtrl::SetDispatchForNewControls(&m_noPages);
  }
  void TearDown() override {
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
    CMyLoginDlg::SetNetworkCheck(nullptr);
    SetEnvironmentVariableW(L"APPDATA", m_hadAppData ? m_oldAppData.c_str() : nullptr);
    TestApp::s_window = nullptr;
  }

  // Answers every browser call with success and opens nothing.
  class NoPages : public IDispatch {
   public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
      *object = (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) ? this : nullptr;
      return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
      *count = 0;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
      if (result != nullptr) VariantInit(result);
      return S_OK;
    }
  };

  TempDir m_dir;
  NoPages m_noPages;
  MessageBoxCapture m_boxes{IDOK};
  std::wstring m_oldAppData;
  bool m_hadAppData = false;
};

TEST_F(AppTest, RunsTheMainWindowModallyBetweenStartAndShutDown) {
  TestApp app;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ((std::vector<std::string>{"gdiplus start", "run", "run ended", "gdiplus stop"}), app.steps);
  EXPECT_TRUE(app.mainWindowRegistered);
  EXPECT_TRUE(app.mainWindowShown);
  EXPECT_TRUE(app.loginShown);
  EXPECT_EQ(kTitle, app.title);
  EXPECT_EQ(CFotrelDlg::kSkinImageCount, app.imagesWhileRunning);
  // The images went before GDI+ did; the window object itself is destroyed after.
  EXPECT_TRUE(app.mainWindowObjectAliveAtStop);
  EXPECT_EQ(0, app.imagesAtGdiplusStop);
  EXPECT_EQ(nullptr, app.m_pMainWnd);
  // No window of the program is left, no message loop runs, and from the login stage the
  // settings file stays untouched.
  EXPECT_EQ(nullptr, FindOwnWindow(kTitle));
  EXPECT_EQ(GetFileAttributesW((m_dir.Path() / "user.ini").wstring().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(0u, m_boxes.Count());
}

TEST_F(AppTest, WithoutGdiplusOnlyTheMessageIsShown) {
  TestApp app;
  app.failGdiplus = true;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ((std::vector<std::string>{"gdiplus start"}), app.steps);
  const std::vector<CapturedMessageBox> boxes = m_boxes.Boxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"缺少系统文件!!!.请更新系统!!!", boxes[0].text);
  EXPECT_EQ(L"提示", boxes[0].caption);
  EXPECT_EQ(std::vector<int>{IDOK}, boxes[0].buttons);
  EXPECT_EQ(nullptr, boxes[0].owner);
  EXPECT_EQ(nullptr, FindOwnWindow(kTitle));
  EXPECT_EQ(nullptr, app.m_pMainWnd);
}

}  // namespace
