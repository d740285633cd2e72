// Shared by the login dialog's and the account workers' window tests: a private settings
// folder, a Passport peer that can hold its answer back, and helpers to drive the dialog.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "account/login_dlg.h"
#include "framework/wnd.h"
#include "res/resource.h"
#include "tests/gui/fake_browser_dispatch.h"
#include "tests/gui/gui_test_util.h"
#include "tests/services/service_test_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/scripted_server.h"
#include "web/browser_ctrl.h"

namespace accounttest {

inline std::string LoginAnswer(const char* value) {
  return servicetest::Http("200 OK", servicetest::Result("LoginUser", value));
}
inline std::string CreateAnswer(int value) {
  return servicetest::Http("200 OK", servicetest::Result("CreateUser", std::to_string(value)));
}

// A Passport peer on 127.0.0.1 with one answer (or one chosen by the request); when held it
// waits after each request (at most 8 s, below the client's 10 s) until released.
class Peer {
 public:
  using Responder = std::function<std::string(const std::string& request)>;
  explicit Peer(std::string answer, bool held = false)
      : m_answer(std::move(answer)), m_held(held), m_server([this](TestConnection& c, int) {
          std::string request;
          while (c.ReadRequest(&request)) {
            const int inFlight = ++m_inFlight;
            if (inFlight > m_mostInFlight) m_mostInFlight = inFlight;
            ++m_arrived;
            for (int waited = 0; m_held && waited < 8000; waited += 10) {
              if (!c.Pause(10)) return;
            }
            --m_inFlight;
            if (!c.Send(Answer(request))) return;
          }
        }) {}
  ~Peer() { m_held = false; }
  std::u16string Host() const { return m_server.Host(); }
  int Arrived() const { return m_arrived; }            // requests read so far
  int MostInFlight() const { return m_mostInFlight; }  // most requests waiting for answers at one time
  std::vector<std::string> Requests() const { return m_server.Requests(); }
  void Release() { m_held = false; }
  void SetAnswer(std::string answer) {
    std::lock_guard<std::mutex> g(m_lock);
    m_answer = std::move(answer);
  }
  void SetResponder(Responder responder) {
    std::lock_guard<std::mutex> g(m_lock);
    m_responder = std::move(responder);
  }

 private:
  std::string Answer(const std::string& request) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_responder ? m_responder(request) : m_answer;
  }
  Responder m_responder;
  std::mutex m_lock;
  std::string m_answer;
  std::atomic<bool> m_held;
  std::atomic<int> m_arrived{0}, m_inFlight{0}, m_mostInFlight{0};
  ScriptedServer m_server;  // last: its threads stop before the members above go
};

constexpr int kAllBoxes[] = {IDC_USERNAME,     IDC_PASSWORD,     IDC_REG_EMAIL,
                             IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM};

// %APPDATA% in a fresh folder, the application's name "Fotrel", the pages' browser recorded,
// the network present unless a test says otherwise.
class AccountWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    m_oldAppName = GetAppName();
    SetAppName(L"Fotrel");
    CMyLoginDlg::SetNetworkCheck(&Connected);
    CBrowserCtrl::SetDispatchForNewControls(&m_pages);
  }
  void TearDown() override {
    CBrowserCtrl::SetDispatchForNewControls(nullptr);
    CMyLoginDlg::SetNetworkCheck(nullptr);
    SetAppName(m_oldAppName.c_str());
  }
  static bool Connected() { return true; }

  std::unique_ptr<CMyLoginDlg> Open(const std::u16string& host) {
    std::unique_ptr<CMyLoginDlg> dialog(new CMyLoginDlg(host));
    if (!dialog->Create(nullptr)) return nullptr;
    dialog->SetWindowPos(HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    dialog->UpdateWindow();
    PumpFor(30);
    return dialog;
  }
  static void Type(HWND dialog, int box, const std::wstring& text) { SetDlgItemTextW(dialog, box, text.c_str()); }
  static std::wstring Text(HWND dialog, int box) { return GetWindowTextString(GetDlgItem(dialog, box)); }
  static void TypeAll(HWND dialog, std::initializer_list<std::pair<int, std::wstring>> values) {
    for (const auto& v : values) Type(dialog, v.first, v.second);
  }
  static void Press(HWND dialog, int button) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
  }
  // Every box of both forms filled, so a test can see which ones a refusal empties.
  static void FillAll(HWND dialog) {
    for (int box : kAllBoxes) Type(dialog, box, L"keep" + std::to_wstring(box));
  }
  static std::vector<int> EmptyBoxes(HWND dialog) {
    std::vector<int> empty;
    for (int box : kAllBoxes) {
      if (Text(dialog, box).empty()) empty.push_back(box);
    }
    return empty;
  }
  // Until the worker has ended (it clears its busy flag last).
  static bool LoginDone(const CAccountWork& work) {
    return PumpUntil([&] { return work.m_bLoggingIn == 0; }, 20000);
  }
  static bool RegisterDone(const CAccountWork& work) {
    return PumpUntil([&] { return work.m_bRegistering == 0; }, 20000);
  }

  guitest::AppDataScope m_appData;
  FakeBrowserDispatch m_pages;

 private:
  std::wstring m_oldAppName;
};

inline std::wstring Describe(const CapturedMessageBox& box) { return L"[" + box.caption + L"] " + box.text; }

// A user name no earlier run of the reference service has taken.
inline std::wstring FreshUserName(const wchar_t* prefix) {
  static unsigned counter = 0;
  return prefix + std::to_wstring(GetCurrentProcessId()) + L"x" + std::to_wstring(GetTickCount() % 100000) + L"n" +
         std::to_wstring(++counter);
}

}  // namespace accounttest
