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
  }
  bool Register(CAccountWork& work, const std::wstring& user) {
    work.m_bRegistering = 1;
    return StartRegisterWorker(m_work, RegisterInput{L"a@b", user, L"pw", L"pw"}) && RegisterDone(work);
  }

  MessageBoxCapture m_boxes;  // before the window: a worker's last box is answered after the window has gone
  CDialog m_host{IDD_LOGIN};
  std::shared_ptr<CAccountWork> m_work;
};

TEST_F(AccountWorkersTest, TheSpaceRuleAndTheClientARefusedRegistrationKeeps) {
  Peer peer(CreateAnswer(2));
  m_work = std::make_shared<CAccountWork>(m_host.m_hWnd, peer.Host());
  FillAll(m_host.m_hWnd);
  ASSERT_TRUE(Register(*m_work, L"ab cd"));
  EXPECT_EQ(L"[提示] 用户名格式不正确!!!请重新输入!!!", Describe(m_boxes.Boxes().back()));
  EXPECT_EQ(std::vector<int>{IDC_REG_USERNAME}, EmptyBoxes(m_host.m_hWnd));
  EXPECT_EQ(0, peer.Arrived());
  ASSERT_TRUE(Register(*m_work, L"abcd"));  // name taken: the client stays for the next try
  const Passport::CPassportT* kept = m_work->m_pPassport.get();
  ASSERT_TRUE(kept);
  ASSERT_TRUE(Register(*m_work, L"abcd"));
  EXPECT_EQ(kept, m_work->m_pPassport.get());
  m_host.DestroyWindow();  // a worker whose window is gone still ends cleanly
  ASSERT_TRUE(Register(*m_work, L"abcd"));
  EXPECT_EQ(3, peer.Arrived());
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
  peer.Release();
  ASSERT_TRUE(LoginDone(*m_work) && RegisterDone(*m_work));
  EXPECT_EQ(2, peer.Arrived());
  EXPECT_EQ(1, peer.MostInFlight());
  // The refused login did not delete the client the registration went on to use.
  EXPECT_EQ(1, m_work->m_bLoggedIn);
  EXPECT_TRUE(m_work->m_pPassport);
}

}  // namespace
