#include "account/account_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::u16string Units(size_t n) { return std::u16string(n, u'中'); }

// The message (empty when accepted) and the boxes emptied, in order.
void Expect(const AccountVerdict& v, const std::u16string& message, std::vector<int> boxes, const char* name) {
  EXPECT_EQ(v.accepted, message.empty()) << name;
  EXPECT_EQ(v.message ? std::u16string(v.message) : std::u16string(), message) << name;
  boxes.resize(4, 0);
  EXPECT_EQ(std::vector<int>(v.clearBoxes, v.clearBoxes + 4), boxes) << name;
}

TEST(AccountRules, LoginInputInItsOrderWithThe25UnitBoundary) {
  const std::u16string tooLong = u"字符太长不能登陆!!!", badName = u"用户名格式不正确!!!请重新输入!!!";
  Expect(CheckLoginInput(Units(25), u"pw"), u"", {}, "25 units");
  Expect(CheckLoginInput(u"", u"pw"), u"", {}, "an empty name goes to the service");
  Expect(CheckLoginInput(Units(26), u"pw"), tooLong, {kBoxLoginUser, kBoxLoginPassword}, "26 units");
  Expect(CheckLoginInput(u"user", std::u16string(26, u'x')), tooLong, {kBoxLoginUser, kBoxLoginPassword},
         "26-unit password");
  // A space first, then the empty password, then the length.
  Expect(CheckLoginInput(u"a b" + Units(30), u""), badName, {kBoxLoginUser}, "space");
  Expect(CheckLoginInput(Units(30), u""), u"密码不能为空!!!", {}, "empty password");
  Expect(JudgeLoginResult(false), u"登陆失败!!!请重试!!!", {kBoxLoginUser, kBoxLoginPassword}, "refused");
  EXPECT_TRUE(JudgeLoginResult(true).loggedIn);
}

TEST(AccountRules, RegisterInputInItsOrderWithThe3To4And25To26Boundaries) {
  const std::u16string badEmail = u"邮箱格式不正确!!!请重新输入!!!";
  Expect(CheckRegisterInput(u"a@b", u"abcd", u"p", u"p"), u"", {}, "4 units");
  Expect(CheckRegisterInput(u"a@b", Units(25), u"p", u"p"), u"", {}, "25 units");
  for (const char16_t* email : {u"", u"ab", u"a @b", u"a@b "}) {
    Expect(CheckRegisterInput(email, u"ab", u"", u"x"), badEmail, {kBoxEmail}, "e-mail first");
  }
  Expect(CheckRegisterInput(u"a@b", u"abc", u"p", u"p"), u"用户名不得少于4位!!!请重新输入!!!", {kBoxRegUser}, "3 units");
  Expect(CheckRegisterInput(u"a@b", u"ab c", u"p", u"p"), u"用户名格式不正确!!!请重新输入!!!", {kBoxRegUser}, "space");
  Expect(CheckRegisterInput(u"a@b", u"abcd", u"", u""), u"密码不能为空!!请重输!!!", {}, "empty");
  Expect(CheckRegisterInput(u"a@b", u"abcd", u"Secret", u"secret"), u"密码不同!!请重输!!!",
         {kBoxRegConfirm, kBoxRegPassword}, "confirmation");
  const AccountVerdict v = CheckRegisterInput(u"a@b", Units(26), u"p", u"p");
  Expect(v, u"字符太长不能注册!!!", {kBoxRegConfirm, kBoxRegPassword, kBoxRegUser, kBoxEmail}, "26 units");
  EXPECT_TRUE(v.dropClient);
  EXPECT_FALSE(CheckRegisterInput(u"a@" + std::u16string(24, u'b'), u"abcd", u"p", u"p").accepted);
}

TEST(AccountRules, RegisterAnswers) {
  EXPECT_TRUE(JudgeRegisterResult(1).loggedIn);
  Expect(JudgeRegisterResult(2), u"用户名重复!!! ", {kBoxRegConfirm, kBoxRegPassword, kBoxRegUser}, "2");
  Expect(JudgeRegisterResult(3), u"EMAIL重复!!! ", {kBoxRegConfirm, kBoxRegPassword, kBoxEmail}, "3");
  Expect(JudgeRegisterResult(0), u"失败!!!检查网络或重试!!! ", {kBoxRegConfirm, kBoxRegPassword}, "0");
  Expect(JudgeRegisterResult(-1), u"失败!!!检查网络或重试!!! ", {kBoxRegConfirm, kBoxRegPassword}, "-1");
  Expect(JudgeRegisterResult(7), u"失败!!! ", {}, "7");
}

}  // namespace
