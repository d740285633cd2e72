// The skinned main window: hiding and restoring, the quit question, and the switch from the
// login dialog to the tabbed window.
#include "app/fotrel_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "common/messages.h"
#include "common/settings.h"
#include "res/resource.h"
#include "services/passport.h"
#include "tests/gui/account_test_util.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/upload_flow_util.h"
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

// The main window with its state in view; the platform's close request is counted, and the
// ticks of the login poll are watched.
class TestMainWindow : public CFotrelDlg {
 public:
  using CFotrelDlg::CFotrelDlg;
  int closes = 0, ticks = 0, firstTickWithSuccess = 0, switchTick = 0, successTicksAtSwitch = 0;
  std::atomic<int> successTicks{0};  // ticks that found the login dialog with its success flag up

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_CLOSE) return ++closes, 0;
    if (msg != WM_TIMER || wParam != kLoginPollTimer) return CFotrelDlg::WindowProc(msg, wParam, lParam);
    ++ticks;
    const bool loginBefore = m_pLoginDlg != nullptr, successSeen = loginBefore && m_pLoginDlg->IsLoggedIn();
    if (successSeen) ++successTicks;
    const LRESULT result = CFotrelDlg::WindowProc(msg, wParam, lParam);
    const bool switched = loginBefore && m_pLoginDlg == nullptr;
    if ((successSeen || switched) && firstTickWithSuccess == 0) firstTickWithSuccess = ticks;
    if (switched) switchTick = ticks, successTicksAtSwitch = successTicks;
    return result;
  }
  int W() const { return m_nWidth; }
  int Mode() const { return m_nChildMode; }
  CMyLoginDlg* Login() const { return m_pLoginDlg; }
  CMainUpLoadDlg* Tabs() const { return m_pTabsDlg; }
  CMyWebDlg* LoginPage() const { return m_pLoginPageDlg; }
  void Release(int x, int y) { SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
};

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);  // keep the real pointer off the window
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

TEST_F(MainWindowTest, HidingRestoringAndTheQuitQuestion) {
  TestMainWindow window(u"127.0.0.1:9");
  ASSERT_TRUE(window.Create(nullptr));
  const int W = window.W();
  const HWND login = window.Login()->m_hWnd;
  auto shown = [&] { return window.IsWindowVisible() && IsWindowVisible(login); };
  m_boxes.SetAnswer(IDNO);
  window.Release(W - 101, 34);
  EXPECT_TRUE(!window.IsWindowVisible() && !IsWindowVisible(login));
  window.SendMessage(WM_TRAYICON, 1, WM_LBUTTONDOWN);
  EXPECT_TRUE(shown());
  window.Release(W - 51, 34);  // the close button asks; "no" leaves everything
  ASSERT_EQ(1u, m_boxes.Count());
  const CapturedMessageBox box = m_boxes.Boxes()[0];
  EXPECT_EQ(L"[提示] 确定要退出程序吗??", L"[" + box.caption + L"] " + box.text);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
  EXPECT_TRUE(shown());
  m_boxes.SetAnswer(IDYES);
  window.Release(W - 100, 10);
  EXPECT_TRUE(PumpUntil([&] { return window.closes == 1; }));
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
  EXPECT_EQ(user, ReadSetting(settings::kUploadUser));
  EXPECT_EQ(0, ReadSettingInt(settings::kState, 7));

  CMainUpLoadDlg* tabs = window.Tabs();
  ASSERT_TRUE(tabs != nullptr && tabs->IsWindow());
  EXPECT_TRUE(tabs->IsWindowVisible() && GetWindow(tabs->m_hWnd, GW_OWNER) == window.m_hWnd);
  // The hidden login page, opened once with the name appended as it is.
  CMyWebDlg* page = window.LoginPage();
  ASSERT_TRUE(page != nullptr && page->IsWindow());
  EXPECT_FALSE(page->IsWindowVisible());
  const std::wstring loginPages = L"http://pages.invalid/Login.aspx?username=";
  auto loginPagesOpened = [&] {
    const std::vector<std::wstring> all = m_pages.NavigatedAddresses();
    return std::count_if(all.begin(), all.end(), [&](const std::wstring& a) { return a.rfind(loginPages, 0) == 0; });
  };
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
  for (const CapturedMessageBox& box : m_boxes.Boxes())
    ADD_FAILURE() << "message box: " << testing::PrintToString(box.text);
}

void Click(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A registration started while a login waits for its answer: the program signs in under the
// name of the first success. A message box of the dialog that is open when the success flag
// rises (a worker's, or the dialog's own on the window thread) keeps the dialog until it is
// closed.
TEST_F(MainWindowTest, AnOverlappingRegistrationNeitherTakesTheNameNorLosesAnOpenMessageBox) {
  const struct {
    const char* what;
    const wchar_t* email;
    const wchar_t* regUser;
    bool holdBox;  // the box stays open until three ticks have seen the success
    size_t boxes;
  } cases[] = {
      {"registration refused by its worker", L"no-at-sign", L"regname", false, 1},
      {"registration that succeeds after the login", L"r@e.cn", L"regname", false, 0},
      {"the worker's box open when the flag rises", L"no-at-sign", L"regname", true, 1},
      {"the dialog's own box open when the flag rises", L"r@e.cn", L"reg name", true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    accounttest::Peer peer("", /*held=*/true);
    peer.SetResponder([](const std::string& request) {
      return request.find("<LoginUser ") != std::string::npos ? accounttest::LoginAnswer("true")
                                                               : accounttest::CreateAnswer(1);
    });
    TestMainWindow window(peer.Host());
    ASSERT_TRUE(window.Create(nullptr));
    const HWND dialog = window.Login()->m_hWnd;
    const std::shared_ptr<CAccountWork> work = window.Login()->m_work;
    SetDlgItemTextW(dialog, IDC_USERNAME, L"loginname");
    SetDlgItemTextW(dialog, IDC_PASSWORD, L"pw");
    Click(dialog, IDC_LOGIN);
    ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
    Click(dialog, IDC_SWITCH_REGISTER);
    for (const auto& box : {std::make_pair(IDC_REG_EMAIL, c.email), std::make_pair(IDC_REG_USERNAME, c.regUser),
                            std::make_pair(IDC_REG_PASSWORD, L"pw"), std::make_pair(IDC_REG_CONFIRM, L"pw")}) {
      SetDlgItemTextW(dialog, box.first, box.second);
    }
    const size_t before = m_boxes.Count();
    if (c.holdBox) {
      // The login's answer goes once the box is up; the box is answered after three ticks.
      m_boxes.HoldWhile([&] {
        if (m_boxes.Count() > before) peer.Release();
        return window.successTicks < 3;
      });
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_REGISTER, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_REGISTER)));
    } else {
      Click(dialog, IDC_REGISTER);
      if (c.boxes != 0) {
        ASSERT_TRUE(PumpUntil([&] { return work->m_bRegistering == 0; }));
      }
      peer.Release();
    }
    const bool switched = PumpUntil([&] { return window.Login() == nullptr; }, 30000);
    m_boxes.HoldWhile(nullptr);
    ASSERT_TRUE(switched);
    EXPECT_EQ(L"loginname", ReadSetting(settings::kUploadUser));
    ASSERT_NE(nullptr, window.Tabs());
    EXPECT_STREQ(L"loginname", window.Tabs()->m_szUploadUser);
    if (c.holdBox) {
      EXPECT_GE(window.successTicksAtSwitch, 3);
    } else {
      EXPECT_EQ(1, window.successTicksAtSwitch);
    }
    EXPECT_EQ(before + c.boxes, m_boxes.Count());
    // The registration that came second published nothing.
    EXPECT_TRUE(PumpUntil([&] { return work->m_bRegistering == 0; }, 20000));
    EXPECT_EQ(L"loginname", work->UploadUser());
  }
}

// The main window run modally, as the program runs it; `script` runs inside its loop once it is
// up, and DoModal returns when the window has been closed.
class ModalMainWindow : public CFotrelDlg {
 public:
  using CFotrelDlg::CFotrelDlg;
  std::function<void(ModalMainWindow&)> script;
  CMyLoginDlg* Login() const { return m_pLoginDlg; }
  CMainUpLoadDlg* Tabs() const { return m_pTabsDlg; }
  int W() const { return m_nWidth; }

 protected:
  static constexpr UINT kRunScript = WM_APP + 70;
  BOOL OnInitDialog() override {
    const BOOL result = CFotrelDlg::OnInitDialog();
    PostMessage(kRunScript);
    return result;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg != kRunScript) return CFotrelDlg::WindowProc(msg, wParam, lParam);
    if (script) script(*this);
    return 0;
  }
};

// A service that accepts and never answers the call numbered `stuckAt` (0-based, over all its
// connections); the calls before it are accepted.
class StuckService {
 public:
  StuckService(int stuckAt, std::string answer)
      : m_stuckAt(stuckAt), m_answer(std::move(answer)), m_server([this](TestConnection& c, int) {
          std::string request;
          while (c.ReadRequest(&request)) {
            if (m_calls++ >= m_stuckAt) {
              while (c.Pause(20)) {
              }
              return;
            }
            if (!c.Send(m_answer)) return;
          }
        }) {}
  std::u16string Host() const { return m_server.Host(); }
  int Calls() const { return m_calls; }
  std::vector<std::string> Requests() const { return m_server.Requests(); }

 private:
  const int m_stuckAt;
  const std::string m_answer;
  std::atomic<int> m_calls{0};
  ScriptedServer m_server;  // last: its threads end before the members above go
};

// Closing the program while a worker is inside a call that never returns, or while every lane of
// an upload is: every window is gone at once (the stop reaches into each call), the upload's
// earlier file stays sent, the files in flight are abandoned without a message, a login in
// flight ends without one.
TEST_F(MainWindowTest, ClosingDuringAStuckCallTakesEveryWindowAwayAtOnce) {
  TempDir photos;
  const std::vector<std::wstring> names = {L"a.jpg", L"b.jpg", L"c.jpg", L"d.jpg", L"e.jpg", L"f.jpg"};
  for (size_t k = 0; k < names.size(); ++k) {
    photos.Write(std::string(names[k].begin(), names[k].end()), PatternBytes(40, static_cast<uint8_t>(k + 1)));
  }
  const std::string uploaded = servicetest::Http("200 OK", servicetest::Result("UploadFile", "true"));
  const std::string loggedIn = servicetest::Http("200 OK", servicetest::Result("LoginUser", "true"));
  enum Close { kTabbedWindow, kQuitQuestion };
  const struct {
    const char* what;
    bool upload;  // the upload worker is stuck, else the login worker
    int lanes;    // 1: after file a, in b's first call; more: every lane in its first call
    Close close;
  } cases[] = {
      {"upload, the tabbed window closed", true, 1, kTabbedWindow},
      {"upload, the quit question answered yes", true, 1, kQuitQuestion},
      {"upload over 4 lanes, the tabbed window closed", true, 4, kTabbedWindow},
      {"upload over 4 lanes, the quit question answered yes", true, 4, kQuitQuestion},
      {"login, the quit question answered yes", false, 0, kQuitQuestion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StuckService passport(c.upload ? 1 : 0, loggedIn);
    // One lane: file a's 21 calls answered, b's first one never. Four: no call answered.
    const int stuckCalls = c.lanes == 1 ? 22 : c.lanes;
    StuckService upload(stuckCalls - c.lanes, uploaded);
    m_boxes.SetAnswer(IDYES);
    const size_t boxesBefore = m_boxes.Count();
    ModalMainWindow window(passport.Host());
    std::vector<HWND> windows;
    std::weak_ptr<CAccountWork> loginWork;
    CUploadWorker* worker = nullptr;
    std::chrono::steady_clock::time_point closed;
    // Up to the stuck call; a failure here still closes the window below.
    auto prepare = [&](ModalMainWindow& w) {
      w.Login()->SetDlgItemText(IDC_USERNAME, L"closer");
      w.Login()->SetDlgItemText(IDC_PASSWORD, L"pw");
      loginWork = w.Login()->m_work;
      windows = {w.m_hWnd, w.Login()->m_hWnd};
      Click(w.Login()->m_hWnd, IDC_LOGIN);
      if (c.upload) {
        ASSERT_TRUE(PumpUntil([&] { return w.Tabs() != nullptr; }, 20000));
        CMyUpLoadDlg& page = w.Tabs()->m_uploadPage;
        windows = {w.m_hWnd, w.Tabs()->m_hWnd, page.m_hWnd, page.m_listPhotos.m_hWnd};
        worker = &page.m_uploadWorker;
        worker->SetServiceHost(upload.Host());
        worker->SetMaxPause(1);
        worker->SetLanes(c.lanes);
        uploadtest::ListPhotos(page, photos.Path().wstring(), names, {0, 1, 2, 3, 4, 5});
        page.OnUpload();
        ASSERT_TRUE(PumpUntil([&] { return upload.Calls() == stuckCalls; }, 20000));
      } else {
        ASSERT_TRUE(PumpUntil([&] { return passport.Calls() == 1; }, 20000));
      }
      PumpFor(100);  // well inside the call
    };
    window.script = [&](ModalMainWindow& w) {
      prepare(w);
      closed = std::chrono::steady_clock::now();
      if (c.close == kTabbedWindow && w.Tabs() != nullptr) {
        w.Tabs()->PostMessage(WM_CLOSE);
      } else {
        w.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(w.W() - 60, 20));
      }
    };
    window.DoModal();
    const auto gone = std::chrono::steady_clock::now();
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(gone - closed).count();
    std::printf("[ measured ] %s: every window gone %lld ms after the close\n", c.what, ms);
    for (HWND hwnd : windows) EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_LT(ms, 5000);
    if (c.upload) {
      ASSERT_NE(nullptr, worker);
      EXPECT_FALSE(worker->Running());
      const std::vector<std::string> calls = upload.Requests();
      ASSERT_EQ(static_cast<size_t>(stuckCalls), calls.size());
      if (c.lanes == 1) {
        EXPECT_EQ("true", uploadtest::Element(calls[20], "isCompleted"));  // file a complete
      }
      // The stuck calls: each the first of its photo, no further one.
      std::set<std::string> stuckPhotos;
      for (size_t i = calls.size() - static_cast<size_t>(c.lanes); i < calls.size(); ++i) {
        EXPECT_EQ("0.jpg", uploadtest::Element(calls[i], "strTempFileName"));
        stuckPhotos.insert(uploadtest::Element(calls[i], "FileName"));
      }
      EXPECT_EQ(static_cast<size_t>(c.lanes), stuckPhotos.size());
      if (c.lanes == 1) {
        EXPECT_NE(uploadtest::Element(calls[20], "FileName"), *stuckPhotos.begin());
      }
    } else {
      // The worker's call ended with the close, without a message.
      std::shared_ptr<CAccountWork> work = loginWork.lock();
      ASSERT_TRUE(work);
      EXPECT_TRUE(PumpUntil([&] { return work->m_bLoggingIn == 0; }, 2000));
      EXPECT_EQ(0, work->m_bLoggedIn);
    }
    // Only the quit question, when asked.
    EXPECT_EQ(boxesBefore + (c.close == kQuitQuestion ? 1 : 0), m_boxes.Count());
  }
}

}  // namespace
