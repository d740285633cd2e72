#include "account/account_rules.h"

namespace {

AccountVerdict Refuse(const char16_t* message, int a = 0, int b = 0, int c = 0, int d = 0) {
  AccountVerdict v;
  v.accepted = false;
  v.message = message;
  v.clearBoxes[0] = a;
  v.clearBoxes[1] = b;
  v.clearBoxes[2] = c;
  v.clearBoxes[3] = d;
  return v;
}

bool HasSpace(const std::u16string& s) { return s.find(u' ') != std::u16string::npos; }

}  // namespace

AccountVerdict CheckLoginInput(const std::u16string& userName, const std::u16string& password) {
  if (!userName.empty() && HasSpace(userName))
    return Refuse(u"用户名格式不正确!!!请重新输入!!!", kBoxLoginUser);
  if (password.empty()) return Refuse(u"密码不能为空!!!");
  if (userName.size() > kMaxAccountField || password.size() > kMaxAccountField)
    return Refuse(u"字符太长不能登陆!!!", kBoxLoginUser, kBoxLoginPassword);
  return AccountVerdict{};
}

AccountVerdict JudgeLoginResult(bool accepted) {
  if (!accepted) return Refuse(u"登陆失败!!!请重试!!!", kBoxLoginUser, kBoxLoginPassword);
  AccountVerdict v;
  v.loggedIn = true;
  return v;
}

AccountVerdict CheckRegisterInput(const std::u16string& email, const std::u16string& userName,
                                  const std::u16string& password, const std::u16string& confirm) {
  if (email.empty() || email.find(u'@') == std::u16string::npos || HasSpace(email))
    return Refuse(u"邮箱格式不正确!!!请重新输入!!!", kBoxEmail);
  if (userName.size() < kMinRegisterUserName) return Refuse(u"用户名不得少于4位!!!请重新输入!!!", kBoxRegUser);
  if (HasSpace(userName)) return Refuse(u"用户名格式不正确!!!请重新输入!!!", kBoxRegUser);
  if (password.empty()) return Refuse(u"密码不能为空!!请重输!!!");
  if (password != confirm) return Refuse(u"密码不同!!请重输!!!", kBoxRegConfirm, kBoxRegPassword);
  if (userName.size() > kMaxAccountField || password.size() > kMaxAccountField || email.size() > kMaxAccountField) {
    AccountVerdict v = Refuse(u"字符太长不能注册!!!", kBoxRegConfirm, kBoxRegPassword, kBoxRegUser, kBoxEmail);
    v.dropClient = true;
    return v;
  }
  return AccountVerdict{};
}

AccountVerdict JudgeRegisterResult(int32_t result) {
  switch (result) {
    case 1: {
      AccountVerdict v;
      v.loggedIn = true;
      return v;
    }
    case 2: return Refuse(u"用户名重复!!! ", kBoxRegConfirm, kBoxRegPassword, kBoxRegUser);
    case 3: return Refuse(u"EMAIL重复!!! ", kBoxRegConfirm, kBoxRegPassword, kBoxEmail);
    case 0:
    case -1: return Refuse(u"失败!!!检查网络或重试!!! ", kBoxRegConfirm, kBoxRegPassword);
    default: return Refuse(u"失败!!! ");
  }
}
