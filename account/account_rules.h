// The input rules of the login and registration forms and the meaning of the service's answers,
// shared by the account workers and the command-line tool.
#pragma once

#include <cstdint>
#include <string>

// Longest user name, password or e-mail the forms accept, in UTF-16 code units.
constexpr size_t kMaxAccountField = 25;
// Shortest user name a registration accepts.
constexpr size_t kMinRegisterUserName = 4;

// Edit boxes of the login dialog that a refusal empties.
enum AccountBox : int {
  kBoxLoginUser = 1002,
  kBoxLoginPassword = 1003,
  kBoxEmail = 1017,
  kBoxRegUser = 1018,
  kBoxRegPassword = 1019,
  kBoxRegConfirm = 1020,
};

// The outcome of one check: accepted, or the message to show and the boxes to empty, in order.
struct AccountVerdict {
  bool accepted = true;
  const char16_t* message = nullptr;
  int clearBoxes[4] = {0, 0, 0, 0};  // 0 ends the list
  bool dropClient = false;           // the registration's length check also deletes the client
  bool loggedIn = false;             // a service answer that counts as signed in
};

// Login form: a user name with a space, an empty password, a field over 25 code units.
// An empty user name is not refused: the service decides.
AccountVerdict CheckLoginInput(const std::u16string& userName, const std::u16string& password);
// The answer of LoginUser (false also for a call that failed).
AccountVerdict JudgeLoginResult(bool accepted);

// Registration form, in its order: e-mail, user name length, space, empty password,
// confirmation, field lengths.
AccountVerdict CheckRegisterInput(const std::u16string& email, const std::u16string& userName,
                                  const std::u16string& password, const std::u16string& confirm);
// The answer of CreateUser (0 also for a call that failed).
AccountVerdict JudgeRegisterResult(int32_t result);
