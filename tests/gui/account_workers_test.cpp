// The account workers on their own, with the login template as their window: the rule the
// dialog's own check hides, the client a refused registration keeps, and two workers sharing it.
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

namespace {

using namespace accounttest;

class AccountWorkersTest : public AccountWindowTest {
 protected:
  void SetUp() override {
    AccountWindowTest::SetUp();
    ASSERT_TRUE(m_host.Create(IDD_LOGIN, nullptr));
    m_host.ShowWindow(SW_SHOWNOACTIVATE);
    m_work = std::make_shared<CAccountWork>(m_host.m_hWnd, m_peer.Host());
  }
  bool Register(const std::wstring& email, const std::wstring& user) {
    m_work->m_bRegistering = 1;
    return StartRegisterWorker(m_work, RegisterInput{email, user, L"pw", L"pw"}) && RegisterDone(*m_work);
  }

  MessageBoxCapture m_boxes;  // before the window: a worker's last box is answered after the window has gone
  Peer m_peer{CreateAnswer(2), /*held=*/false};
  CDialog m_host{IDD_LOGIN};
  std::shared_ptr<CAccountWork> m_work;
};

TEST_F(AccountWorkersTest, TheSpaceRuleBehindTheLengthRuleAndTheClientARefusedRegistrationKeeps) {
  FillAll(m_host.m_hWnd);
  ASSERT_TRUE(Register(L"a@b", L"ab cd"));
  EXPECT_EQ(L"[提示] 用户名格式不正确!!!请重新输入!!!", Describe(m_boxes.Boxes().back()));
  EXPECT_EQ(m_host.m_hWnd, m_boxes.Boxes().back().owner);
  EXPECT_EQ(std::vector<int>{IDC_REG_USERNAME}, EmptyBoxes(m_host.m_hWnd));
  ASSERT_TRUE(Register(L"a@b", L"a b"));  // three units: the length rule speaks first
  EXPECT_EQ(L"用户名不得少于4位!!!请重新输入!!!", m_boxes.Boxes().back().text);
  EXPECT_EQ(0, m_peer.Arrived());
  // Refused by the service (name taken): the client stays for the next try.
  ASSERT_TRUE(Register(L"a@b", L"abcd"));
  ASSERT_TRUE(m_work->m_pPassport);
  const Passport::CPassportT* kept = m_work->m_pPassport.get();
  EXPECT_EQ(u"http://" + m_peer.Host() + u"/WebService/Passport.asmx", kept->Endpoint());
  ASSERT_TRUE(Register(L"a@b", L"abcd"));
  EXPECT_EQ(kept, m_work->m_pPassport.get());
  EXPECT_EQ(2, m_peer.Arrived());
  // A worker whose window is gone still ends cleanly (its box has no owner to show it).
  m_host.DestroyWindow();
  ASSERT_TRUE(Register(L"a@b", L"abcd"));
  EXPECT_EQ(3, m_peer.Arrived());
  EXPECT_EQ(4u, m_boxes.Count());
}

TEST_F(AccountWorkersTest, ALoginAndARegistrationAtOnceNeverOverlapOnTheirClient) {
  Peer peer("", /*held=*/true);
  peer.SetResponder([](const std::string& request) {
    return request.find("<LoginUser ") != std::string::npos ? LoginAnswer("false") : CreateAnswer(1);
  });
  m_work = std::make_shared<CAccountWork>(m_host.m_hWnd, peer.Host());
  {
    std::lock_guard<std::mutex> client(m_work->m_passportLock);
    m_work->m_pPassport.reset(new Passport::CPassportT(peer.Host()));
  }
  m_work->m_bLoggingIn = 1;
  ASSERT_TRUE(StartLoginWorker(m_work, LoginInput{L"user", L"pw"}));
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
  m_work->m_bRegistering = 1;
  ASSERT_TRUE(StartRegisterWorker(m_work, RegisterInput{L"a@b", L"abcd", L"pw", L"pw"}));
  PumpFor(300);  // the registration waits for the client while the login's call is out
  EXPECT_EQ(1, peer.Arrived());
  peer.Release();
  ASSERT_TRUE(LoginDone(*m_work) && RegisterDone(*m_work));
  EXPECT_EQ(2, peer.Arrived());
  EXPECT_EQ(1, peer.MostInFlight());
  // The login failed, the registration succeeded: the flag stands, and the refused login did
  // not delete the client the registration went on to use.
  EXPECT_EQ(1, m_work->m_bLoggedIn);
  ASSERT_EQ(1u, m_boxes.Count());
  EXPECT_EQ(L"登陆失败!!!请重试!!!", m_boxes.Boxes()[0].text);
  EXPECT_TRUE(m_work->m_pPassport);
}

}  // namespace
