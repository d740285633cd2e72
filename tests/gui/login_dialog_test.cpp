// The login and registration dialog in-process: its checks and exact messages, the boxes a
// refusal empties, the boundaries of the lengths, a worker that outlives the dialog, and a
// login and registration against the reference service.
#include "account/login_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/settings.h"
#include "res/resource.h"
#include "tests/gui/account_test_util.h"
#include "tests/support/test_service.h"

namespace {

using namespace accounttest;

using LoginDialogTest = AccountWindowTest;

const std::wstring kTip = L"提示";
const std::wstring kApp = L"Fotrel";
const std::wstring kLoginFailed = L"登陆失败!!!请重试!!!";
const std::wstring kRegisterFailed = L"失败!!!检查网络或重试!!! ";

void ExpectBox(const CapturedMessageBox& box, HWND owner, const std::wstring& caption, const std::wstring& text) {
  EXPECT_EQ(Describe(box), L"[" + caption + L"] " + text);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << Describe(box);
  EXPECT_EQ(box.owner, owner) << Describe(box);
}

TEST_F(LoginDialogTest, WithoutNetworkEveryButtonSaysSo) {
  CMyLoginDlg::SetNetworkCheck([] { return false; });
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  EXPECT_EQ(nullptr, dlg->m_pNoticeDlg);
  TypeAll(dlg->m_hWnd, {{IDC_USERNAME, L"user"}, {IDC_PASSWORD, L"secret"}});
  for (int button : {IDC_LOGIN, IDC_SWITCH_REGISTER, IDC_REGISTER}) Press(dlg->m_hWnd, button);
  ASSERT_EQ(3u, boxes.Count());
  for (const CapturedMessageBox& box : boxes.Boxes()) ExpectBox(box, dlg->m_hWnd, kApp, L"您的网络没有连接!!!");
  EXPECT_EQ(0, dlg->m_bRegisterMode);
  EXPECT_EQ(0, peer.Arrived());
}

TEST_F(LoginDialogTest, LoginRulesTheirMessagesAndTheBoxesTheyEmpty) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  const std::wstring tooLong = L"字符太长不能登陆!!!", badName = L"用户名格式不正确!!!请重新输入!!!";
  const std::wstring noPassword = L"密码不能为空!!!";
  const struct {
    std::wstring user, password, message;
    std::vector<int> emptied;
    bool reachesService;
  } cases[] = {
      {L"abc", L"", noPassword, {IDC_PASSWORD}, false},
      {L"ab c", L"pw", badName, {IDC_USERNAME}, false},
      {std::wstring(26, L'a'), L"pw", tooLong, {IDC_USERNAME, IDC_PASSWORD}, false},
      {L"abc", std::wstring(26, L'p'), tooLong, {IDC_USERNAME, IDC_PASSWORD}, false},
      {std::wstring(24, L'a') + L"张", std::wstring(25, L'p'), kLoginFailed, {IDC_USERNAME, IDC_PASSWORD}, true},
  };
  int reached = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "user of " << c.user.size() << " units, password of " << c.password.size());
    const size_t seen = boxes.Count();
    FillAll(hwnd);
    TypeAll(hwnd, {{IDC_USERNAME, c.user}, {IDC_PASSWORD, c.password}});
    Press(hwnd, IDC_LOGIN);
    ASSERT_TRUE(LoginDone(*dlg->m_work));
    ASSERT_EQ(seen + 1, boxes.Count());
    ExpectBox(boxes.Boxes().back(), hwnd, kTip, c.message);
    EXPECT_EQ(c.emptied, EmptyBoxes(hwnd));
    reached += c.reachesService;
    EXPECT_EQ(reached, peer.Arrived());
    EXPECT_EQ(0, dlg->IsLoggedIn());
  }
  // The 25-unit values travel whole.
  ASSERT_EQ(1u, peer.Requests().size());
  EXPECT_NE(std::string::npos, peer.Requests()[0].find("<username>" + std::string(24, 'a') +
                                                       "&#x5F20;</username><password>" + std::string(25, 'p')))
      << peer.Requests()[0];
  peer.SetAnswer(LoginAnswer("true"));
  TypeAll(hwnd, {{IDC_USERNAME, L"user"}, {IDC_PASSWORD, L"secret"}});
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  EXPECT_EQ(1, dlg->IsLoggedIn());
  EXPECT_EQ(L"user", dlg->m_work->UploadUser());
  EXPECT_EQ(std::size(cases), boxes.Count());
}

TEST_F(LoginDialogTest, RegistrationRulesTheirMessagesAndTheServicesAnswers) {
  MessageBoxCapture boxes;
  Peer peer(CreateAnswer(-1));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  auto fill = [&](const std::wstring& email, const std::wstring& user, const std::wstring& password,
                  const std::wstring& confirm) {
    FillAll(hwnd);
    TypeAll(
        hwnd,
        {{IDC_REG_EMAIL, email}, {IDC_REG_USERNAME, user}, {IDC_REG_PASSWORD, password}, {IDC_REG_CONFIRM, confirm}});
  };
  // The dialog's own check, before any worker: digits and 'A' to 'z' only.
  for (const std::wstring name : {L"用户名字", L"abc@", L"abc{"}) {
    const size_t seen = boxes.Count();
    fill(L"a b", name, L"pw", L"pw");
    Press(hwnd, IDC_REGISTER);
    ASSERT_EQ(seen + 1, boxes.Count());
    ExpectBox(boxes.Boxes().back(), hwnd, kApp, L"请输入字母或数字(a~z 0~9)!!!");
    EXPECT_EQ(std::vector<int>{IDC_REG_USERNAME}, EmptyBoxes(hwnd));
  }

  const std::wstring badEmail = L"邮箱格式不正确!!!请重新输入!!!", shortName = L"用户名不得少于4位!!!请重新输入!!!";
  const std::wstring noPassword = L"密码不能为空!!请重输!!!", different = L"密码不同!!请重输!!!";
  const std::wstring tooLong = L"字符太长不能注册!!!";
  const std::wstring u25(25, L'u'), p25(25, L'p'), e25 = L"a@" + std::wstring(23, L'e');
  const std::vector<int> all = {IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM};
  const std::vector<int> passwords = {IDC_REG_PASSWORD, IDC_REG_CONFIRM};
  const struct {
    std::wstring email, user, password, confirm, message;
    std::vector<int> emptied;
  } cases[] = {
      {L"nothing", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}},
      {L"a @b", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}},
      {L"a@b", L"abc", L"pw", L"pw", shortName, {IDC_REG_USERNAME}},
      {L"a@b", L"abcd", L"", L"", noPassword, passwords},
      {L"a@b", L"abcd", L"Secret", L"secret", different, passwords},
      {e25 + L"e", L"abcd", L"pw", L"pw", tooLong, all},
      {L"a@b", u25 + L"u", L"pw", L"pw", tooLong, all},
      {L"a@b", L"abcd", p25 + L"p", p25 + L"p", tooLong, all},
      {e25, u25, p25, p25, kRegisterFailed, passwords},  // 25 units, a four-unit name, "a@b": all pass
      {L"a@b", L"abcd", L"pw", L"pw", kRegisterFailed, passwords},
  };
  int reached = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    const size_t seen = boxes.Count();
    fill(c.email, c.user, c.password, c.confirm);
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(seen + 1, boxes.Count());
    ExpectBox(boxes.Boxes().back(), hwnd, kTip, c.message);
    EXPECT_EQ(c.emptied, EmptyBoxes(hwnd));  // the hidden login boxes keep their text
    reached += c.message == kRegisterFailed;
    EXPECT_EQ(reached, peer.Arrived());
  }

  const struct {
    int result;
    std::wstring message;
    std::vector<int> emptied;
  } answers[] = {
      {2, L"用户名重复!!! ", {IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {3, L"EMAIL重复!!! ", {IDC_REG_EMAIL, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {0, kRegisterFailed, passwords},
      {7, L"失败!!! ", {}},
      {1, L"", {}},  // the new user counts as logged in
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(a.result);
    peer.SetAnswer(CreateAnswer(a.result));
    const size_t seen = boxes.Count();
    fill(L"me@example.test", L"abcd", L"pw", L"pw");
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(seen + !a.message.empty(), boxes.Count());
    if (!a.message.empty()) ExpectBox(boxes.Boxes().back(), hwnd, kTip, a.message);
    EXPECT_EQ(a.emptied, EmptyBoxes(hwnd));
    EXPECT_EQ(a.result == 1, dlg->IsLoggedIn() == 1);
  }
}

// The dialog deleted while its login waits for an answer that is held back: the call ends with
// the dialog (the peer never answers it), silently, and the worker lets go of the work.
TEST_F(LoginDialogTest, AWorkerThatOutlivesTheDialogStopsAndTouchesNothingFreed) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"), /*held=*/true);
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  TypeAll(hwnd, {{IDC_USERNAME, L"user"}, {IDC_PASSWORD, L"secret"}});
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
  std::weak_ptr<CAccountWork> work = dlg->m_work;
  dlg.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  ASSERT_TRUE(PumpUntil([&] { return work.expired(); }, 2000));
  EXPECT_EQ(0u, boxes.Count());
  EXPECT_FALSE(m_appData.SettingsFileExists());
}

// Each form once through its button and once through Enter in its last box (a person's key,
// through the dialog manager).
TEST_F(LoginDialogTest, RegistrationAndLoginAgainstTheReferenceServiceByButtonAndByEnter) {
  const std::u16string host = TestServiceHost();
  if (host.empty()) GTEST_SKIP() << "FOTREL_TEST_SERVICE is not set";
  MessageBoxCapture boxes;
  for (bool byEnter : {false, true}) {
    SCOPED_TRACE(byEnter ? "Enter" : "button");
    const std::wstring user = FreshUserName(L"d");
    {
      std::unique_ptr<CMyLoginDlg> dlg = Open(host);
      ASSERT_TRUE(dlg);
      Press(dlg->m_hWnd, IDC_SWITCH_REGISTER);
      TypeAll(dlg->m_hWnd, {{IDC_REG_EMAIL, user + L"@t.cn"},
                            {IDC_REG_USERNAME, user},
                            {IDC_REG_PASSWORD, L"Secret1"},
                            {IDC_REG_CONFIRM, L"Secret1"}});
      if (byEnter) {
        ASSERT_TRUE(PressKey(dlg->GetDlgItem(IDC_REG_CONFIRM), VK_RETURN));
      } else {
        Press(dlg->m_hWnd, IDC_REGISTER);
      }
      ASSERT_TRUE(RegisterDone(*dlg->m_work));
      EXPECT_EQ(1, dlg->IsLoggedIn());
      EXPECT_EQ(user, dlg->m_work->UploadUser());
    }
    std::unique_ptr<CMyLoginDlg> dlg = Open(host);
    ASSERT_TRUE(dlg);
    TypeAll(dlg->m_hWnd, {{IDC_USERNAME, user}, {IDC_PASSWORD, L"Secret1"}});
    SendDlgItemMessageW(dlg->m_hWnd, IDC_REMEMBER, BM_SETCHECK, BST_CHECKED, 0);
    if (byEnter) {
      ASSERT_TRUE(PressKey(dlg->GetDlgItem(IDC_PASSWORD), VK_RETURN));
      EXPECT_TRUE(dlg->IsWindowVisible());
    } else {
      Press(dlg->m_hWnd, IDC_LOGIN);
    }
    ASSERT_TRUE(LoginDone(*dlg->m_work));
    EXPECT_EQ(1, dlg->IsLoggedIn());
    ASSERT_EQ(0u, boxes.Count()) << Describe(boxes.Boxes()[0]);
    dlg.reset();  // its end writes the remembered login
    EXPECT_EQ(std::make_tuple(1, user, std::wstring(L"Secret1"), user),
              std::make_tuple(ReadSettingInt(settings::kState, 7), ShiftDecode(ReadSetting(settings::kUserName)),
                              ShiftDecode(ReadSetting(settings::kPassword)), ReadSetting(settings::kUploadUser)));
  }
}

}  // namespace
