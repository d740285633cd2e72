#include "account/account_rules.h"

#include <gtest/gtest.h>

namespace {

std::u16string Units(size_t n) { return std::u16string(n, u'中'); }

TEST(LoginRules, LengthBoundaryIs25CodeUnits) {
  EXPECT_TRUE(CheckLoginInput(Units(25), u"pw").accepted);
  AccountVerdict v = CheckLoginInput(Units(26), u"pw");
  ASSERT_FALSE(v.accepted);
  EXPECT_EQ(std::u16string(v.message), u"字符太长不能登陆!!!");
  EXPECT_EQ(v.clearBoxes[0], kBoxLoginUser);
  EXPECT_EQ(v.clearBoxes[1], kBoxLoginPassword);
  EXPECT_FALSE(CheckLoginInput(u"user", std::u16string(26, u'x')).accepted);
}

TEST(LoginRules, OrderSpaceThenEmptyPasswordThenLength) {
  // A user name with a space is refused before the empty password is looked at.
  AccountVerdict v = CheckLoginInput(u"a b" + Units(30), u"");
  EXPECT_EQ(std::u16string(v.message), u"用户名格式不正确!!!请重新输入!!!");
  EXPECT_EQ(v.clearBoxes[0], kBoxLoginUser);
  EXPECT_EQ(v.clearBoxes[1], 0);
  v = CheckLoginInput(Units(30), u"");
  EXPECT_EQ(std::u16string(v.message), u"密码不能为空!!!");
  EXPECT_EQ(v.clearBoxes[0], 0);
  // An empty user name goes to the service.
  EXPECT_TRUE(CheckLoginInput(u"", u"pw").accepted);
}

TEST(LoginRules, RefusedLoginClearsBothBoxes) {
  AccountVerdict v = JudgeLoginResult(false);
  EXPECT_EQ(std::u16string(v.message), u"登陆失败!!!请重试!!!");
  EXPECT_EQ(v.clearBoxes[0], kBoxLoginUser);
  EXPECT_EQ(v.clearBoxes[1], kBoxLoginPassword);
  EXPECT_TRUE(JudgeLoginResult(true).loggedIn);
}

TEST(RegisterRules, EmailCheckedFirst) {
  EXPECT_TRUE(CheckRegisterInput(u"a@b", u"abcd", u"p", u"p").accepted);
  for (const char16_t* bad : {u"", u"ab", u"a @b", u"a@b "}) {
    AccountVerdict v = CheckRegisterInput(bad, u"ab", u"", u"x");
    EXPECT_EQ(std::u16string(v.message), u"邮箱格式不正确!!!请重新输入!!!");
    EXPECT_EQ(v.clearBoxes[0], kBoxEmail);
  }
}

TEST(RegisterRules, UserNameAtLeastFourUnitsAndNoSpace) {
  AccountVerdict v = CheckRegisterInput(u"a@b", u"abc", u"p", u"p");
  EXPECT_EQ(std::u16string(v.message), u"用户名不得少于4位!!!请重新输入!!!");
  EXPECT_EQ(v.clearBoxes[0], kBoxRegUser);
  v = CheckRegisterInput(u"a@b", u"ab c", u"p", u"p");
  EXPECT_EQ(std::u16string(v.message), u"用户名格式不正确!!!请重新输入!!!");
}

TEST(RegisterRules, PasswordsAndLengths) {
  AccountVerdict v = CheckRegisterInput(u"a@b", u"abcd", u"", u"");
  EXPECT_EQ(std::u16string(v.message), u"密码不能为空!!请重输!!!");
  v = CheckRegisterInput(u"a@b", u"abcd", u"Secret", u"secret");
  EXPECT_EQ(std::u16string(v.message), u"密码不同!!请重输!!!");
  EXPECT_EQ(v.clearBoxes[0], kBoxRegConfirm);
  EXPECT_EQ(v.clearBoxes[1], kBoxRegPassword);
  EXPECT_TRUE(CheckRegisterInput(u"a@b", Units(25), u"p", u"p").accepted);
  v = CheckRegisterInput(u"a@b", Units(26), u"p", u"p");
  EXPECT_EQ(std::u16string(v.message), u"字符太长不能注册!!!");
  EXPECT_TRUE(v.dropClient);
  const int expected[4] = {kBoxRegConfirm, kBoxRegPassword, kBoxRegUser, kBoxEmail};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(v.clearBoxes[i], expected[i]);
  EXPECT_FALSE(CheckRegisterInput(u"a@" + std::u16string(24, u'b'), u"abcd", u"p", u"p").accepted);
}

TEST(RegisterRules, ServiceAnswers) {
  EXPECT_TRUE(JudgeRegisterResult(1).loggedIn);
  EXPECT_EQ(std::u16string(JudgeRegisterResult(2).message), u"用户名重复!!! ");
  EXPECT_EQ(std::u16string(JudgeRegisterResult(3).message), u"EMAIL重复!!! ");
  EXPECT_EQ(std::u16string(JudgeRegisterResult(0).message), u"失败!!!检查网络或重试!!! ");
  EXPECT_EQ(std::u16string(JudgeRegisterResult(-1).message), u"失败!!!检查网络或重试!!! ");
  AccountVerdict v = JudgeRegisterResult(7);
  EXPECT_EQ(std::u16string(v.message), u"失败!!! ");
  EXPECT_EQ(v.clearBoxes[0], 0);
}

}  // namespace
