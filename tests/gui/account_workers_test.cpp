// The account workers on their own, with the login template as their window (no login dialog
// object): what they write into the shared work, the client's life, the rules the dialog's own
// check hides, and two workers sharing one client.
#include "account/account_workers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "res/resource.h"
#include "services/passport.h"
#include "tests/gui/account_test_util.h"
#include "tests/support/test_service.h"

namespace {

using namespace accounttest;

class AccountWorkersTest : public AccountWindowTest {
 protected:
  // The boxes the workers clear, in a bare window of the login template.
  bool OpenHost(const std::u16string& serviceHost) {
    if (!m_host.Create(IDD_LOGIN, nullptr)) return false;
    m_host.ShowWindow(SW_SHOWNOACTIVATE);
    m_work = std::make_shared<CAccountWork>(m_host.m_hWnd, serviceHost);
    return true;
  }
  bool Login(const std::wstring& user, const std::wstring& password) {
    m_work->m_bLoggingIn = 1;
    if (!StartLoginWorker(m_work, LoginInput{user, password})) return false;
    return LoginDone(*m_work);
  }
  bool Register(const std::wstring& email, const std::wstring& user, const std::wstring& password,
                const std::wstring& confirm) {
    m_work->m_bRegistering = 1;
    if (!StartRegisterWorker(m_work, RegisterInput{email, user, password, confirm})) return false;
    return RegisterDone(*m_work);
  }

  // Declared before the window: a worker's last box is answered after the window has gone.
  MessageBoxCapture m_boxes;
  CDialog m_host{IDD_LOGIN};
  std::shared_ptr<CAccountWork> m_work;
};

TEST_F(AccountWorkersTest, RegistrationRefusesAUserNameWithASpaceAfterItsLengthCheck) {
  Peer peer(CreateAnswer(1));
  ASSERT_TRUE(OpenHost(peer.Host()));
  FillAll(m_host.m_hWnd);
  ASSERT_TRUE(Register(L"a@b", L"ab cd", L"pw", L"pw"));
  ASSERT_EQ(m_boxes.Count(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].caption, L"提示");
  EXPECT_EQ(m_boxes.Boxes()[0].text, L"用户名格式不正确!!!请重新输入!!!");
  EXPECT_EQ(m_boxes.Boxes()[0].owner, m_host.m_hWnd);
  EXPECT_EQ(EmptyBoxes(m_host.m_hWnd), std::vector<int>{IDC_REG_USERNAME});

  // Three units with a space: the length rule speaks first.
  FillAll(m_host.m_hWnd);
  ASSERT_TRUE(Register(L"a@b", L"a b", L"pw", L"pw"));
  ASSERT_EQ(m_boxes.Count(), 2u);
  EXPECT_EQ(m_boxes.Boxes()[1].text, L"用户名不得少于4位!!!请重新输入!!!");
  EXPECT_EQ(peer.Arrived(), 0);
  EXPECT_EQ(m_work->m_bLoggedIn, 0);
}

TEST_F(AccountWorkersTest, LoginRecordsNameAndPasswordOnlyOnceItsChecksPass) {
  Peer peer(LoginAnswer("false"));
  ASSERT_TRUE(OpenHost(peer.Host()));
  ASSERT_TRUE(Login(L"with space", L"pw"));
  EXPECT_EQ(m_work->UploadUser(), L"");
  EXPECT_EQ(m_work->SavedPassword(), L"");
  ASSERT_TRUE(Login(L"name", L""));
  EXPECT_EQ(m_work->UploadUser(), L"");
  ASSERT_TRUE(Login(L"name", std::wstring(26, L'p')));
  EXPECT_EQ(m_work->SavedPassword(), L"");
  // Checks passed, service refused: both are recorded all the same.
  ASSERT_TRUE(Login(L"用户", L"secret"));
  EXPECT_EQ(m_work->UploadUser(), L"用户");
  EXPECT_EQ(m_work->SavedPassword(), L"secret");
  EXPECT_EQ(peer.Arrived(), 1);
  EXPECT_EQ(m_boxes.Count(), 4u);
}

TEST_F(AccountWorkersTest, RegistrationHandsOnItsNameFirstAndLeavesThePasswordAlone) {
  Peer peer(LoginAnswer("true"));
  ASSERT_TRUE(OpenHost(peer.Host()));
  ASSERT_TRUE(Login(L"first", L"secret"));
  ASSERT_EQ(m_work->m_bLoggedIn, 1);
  m_work->m_bLoggedIn = 0;
  // Refused at its very first check, the name is handed on anyway.
  ASSERT_TRUE(Register(L"", L"second", L"pw", L"pw"));
  EXPECT_EQ(m_work->UploadUser(), L"second");
  EXPECT_EQ(m_work->SavedPassword(), L"secret");
}

TEST_F(AccountWorkersTest, TheClientLivesOnAfterASuccessAndGoesAfterARefusedLogin) {
  Peer peer(LoginAnswer("false"));
  ASSERT_TRUE(OpenHost(peer.Host()));
  EXPECT_FALSE(m_work->m_pPassport);
  // Refused by the service: the client made for the call is gone afterwards.
  ASSERT_TRUE(Login(L"user", L"pw"));
  EXPECT_FALSE(m_work->m_pPassport);
  // Accepted: a new client, kept.
  peer.SetAnswer(LoginAnswer("true"));
  ASSERT_TRUE(Login(L"user", L"pw"));
  EXPECT_EQ(m_work->m_bLoggedIn, 1);
  ASSERT_TRUE(m_work->m_pPassport);
  const Passport::CPassportT* kept = m_work->m_pPassport.get();
  EXPECT_EQ(kept->Endpoint(), u"http://" + peer.Host() + u"/WebService/Passport.asmx");
  // A registration refused by the service uses the same client and keeps it.
  peer.SetAnswer(CreateAnswer(2));
  FillAll(m_host.m_hWnd);
  ASSERT_TRUE(Register(L"a@b", L"abcd", L"pw", L"pw"));
  EXPECT_EQ(m_work->m_pPassport.get(), kept);
  // Only its length check lets go of it; the next registration makes a new one.
  ASSERT_TRUE(Register(L"a@b", std::wstring(26, L'u'), L"pw", L"pw"));
  EXPECT_FALSE(m_work->m_pPassport);
  ASSERT_TRUE(Register(L"a@b", L"abcd", L"pw", L"pw"));
  EXPECT_TRUE(m_work->m_pPassport);
  EXPECT_EQ(peer.Arrived(), 4);
}

TEST_F(AccountWorkersTest, ALoginAndARegistrationAtOnceNeverOverlapOnTheirClient) {
  Peer peer("", /*held=*/true);
  peer.SetResponder([](const std::string& request) {
    return request.find("<LoginUser ") != std::string::npos ? LoginAnswer("false") : CreateAnswer(1);
  });
  ASSERT_TRUE(OpenHost(peer.Host()));
  {
    std::lock_guard<std::mutex> client(m_work->m_passportLock);
    m_work->m_pPassport.reset(new Passport::CPassportT(peer.Host()));
  }
  m_work->m_bLoggingIn = 1;
  ASSERT_TRUE(StartLoginWorker(m_work, LoginInput{L"user", L"pw"}));
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
  m_work->m_bRegistering = 1;
  ASSERT_TRUE(StartRegisterWorker(m_work, RegisterInput{L"a@b", L"abcd", L"pw", L"pw"}));
  // The registration waits for the client while the login's call is out.
  PumpFor(300);
  EXPECT_EQ(peer.Arrived(), 1);
  peer.Release();
  ASSERT_TRUE(LoginDone(*m_work));
  ASSERT_TRUE(RegisterDone(*m_work));
  EXPECT_EQ(peer.Arrived(), 2);
  EXPECT_EQ(peer.MostInFlight(), 1);
  // The login failed, the registration succeeded: the flag stands, and the refused login did
  // not delete the client the registration went on to use.
  EXPECT_EQ(m_work->m_bLoggedIn, 1);
  ASSERT_EQ(m_boxes.Count(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].text, L"登陆失败!!!请重试!!!");
  EXPECT_TRUE(m_work->m_pPassport);
}

TEST_F(AccountWorkersTest, AWorkerWhoseWindowIsGoneStillEndsCleanly) {
  Peer peer(LoginAnswer("false"));
  ASSERT_TRUE(OpenHost(peer.Host()));
  m_host.DestroyWindow();
  ASSERT_TRUE(Login(L"user", L"pw"));
  ASSERT_TRUE(Register(L"", L"abcd", L"pw", L"pw"));
  EXPECT_EQ(m_work->m_bLoggingIn, 0);
  EXPECT_EQ(m_work->m_bRegistering, 0);
  EXPECT_EQ(m_work->m_bLoggedIn, 0);
  EXPECT_EQ(peer.Arrived(), 1);
  PumpFor(50);
}

TEST_F(AccountWorkersTest, RealRegistrationAndLoginSetTheFlag) {
  const std::u16string host = TestServiceHost();
  if (host.empty()) GTEST_SKIP() << "FOTREL_TEST_SERVICE is not set";
  ASSERT_TRUE(OpenHost(host));
  const std::wstring user = FreshUserName(L"w");
  ASSERT_TRUE(Register(user + L"@t.cn", user, L"pw", L"pw"));
  ASSERT_EQ(m_boxes.Count(), 0u) << Describe(m_boxes.Boxes()[0]);
  EXPECT_EQ(m_work->m_bLoggedIn, 1);
  m_work->m_bLoggedIn = 0;
  // E-mail taken, compared without case.
  FillAll(m_host.m_hWnd);
  ASSERT_TRUE(Register(user + L"@T.CN", user + L"2", L"pw", L"pw"));
  ASSERT_EQ(m_boxes.Count(), 1u);
  EXPECT_EQ(m_boxes.Boxes()[0].text, L"EMAIL重复!!! ");
  EXPECT_EQ(m_work->m_bLoggedIn, 0);
  ASSERT_TRUE(Login(user, L"pw"));
  EXPECT_EQ(m_work->m_bLoggedIn, 1);
  EXPECT_EQ(m_boxes.Count(), 1u);
}

}  // namespace
