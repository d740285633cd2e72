#include "services/passport.h"

#include <cstddef>

#include "services/service_host.h"
#include "services/service_tables.h"

namespace Passport {
namespace {

using namespace service_tables;

const ParameterDescriptor kCreateUserEntries[] = {
    Entry("username", u"username", kXsdString, kInput, offsetof(CreateUserRecord, username)),
    Entry("password", u"password", kXsdString, kInput, offsetof(CreateUserRecord, password)),
    Entry("emailAddress", u"emailAddress", kXsdString, kInput, offsetof(CreateUserRecord, emailAddress)),
    Entry("CreateUserResult", u"CreateUserResult", kXsdInt, kResult, offsetof(CreateUserRecord, CreateUserResult)),
    kEnd,
};

const ParameterDescriptor kLoginUserEntries[] = {
    Entry("username", u"username", kXsdString, kInput, offsetof(LoginUserRecord, username)),
    Entry("password", u"password", kXsdString, kInput, offsetof(LoginUserRecord, password)),
    Entry("LoginUserResult", u"LoginUserResult", kXsdBoolean, kResult, offsetof(LoginUserRecord, LoginUserResult)),
    kEnd,
};

const OperationDescriptor kOperations[] = {
    Operation("CreateUser", u"CreateUserResponse", "CreateUserResponse", kCreateUserEntries, sizeof(CreateUserRecord)),
    Operation("LoginUser", u"LoginUserResponse", "LoginUserResponse", kLoginUserEntries, sizeof(LoginUserRecord)),
};

const OperationDescriptor kHeaderSets[] = {
    HeaderSet("CreateUser", u"CreateUserResponse", "CreateUserResponse"),
    HeaderSet("LoginUser", u"LoginUserResponse", "LoginUserResponse"),
};

}  // namespace

CPassportT::CPassportT() : CPassportT(DefaultServiceHost()) {}

CPassportT::CPassportT(const std::u16string& host) : CSoapClient(ServiceUrl(host, kPath)) { SetClientMode(true); }

const OperationDescriptor* CPassportT::OperationTable(int index) const {
  return index >= 0 && index < 2 ? &kOperations[index] : nullptr;
}

const OperationDescriptor* CPassportT::HeaderTable(int index) const {
  return index >= 0 && index < 2 ? &kHeaderSets[index] : nullptr;
}

int32_t CPassportT::CreateUser(const char16_t* username, const char16_t* password, const char16_t* emailAddress,
                               int32_t* result) {
  if (!result) return kE_POINTER;
  CreateUserRecord record{};
  record.username = SoapStringOf(username);
  record.password = SoapStringOf(password);
  record.emailAddress = SoapStringOf(emailAddress);
  return Invoke(*this, kCreateUser, &record, sizeof record, FOTREL_SOAP_ACTION(u"CreateUser"),
                [&] { *result = record.CreateUserResult; });
}

int32_t CPassportT::LoginUser(const char16_t* username, const char16_t* password, bool* result) {
  if (!result) return kE_POINTER;
  LoginUserRecord record{};
  record.username = SoapStringOf(username);
  record.password = SoapStringOf(password);
  return Invoke(*this, kLoginUser, &record, sizeof record, FOTREL_SOAP_ACTION(u"LoginUser"),
                [&] { *result = record.LoginUserResult != 0; });
}

}  // namespace Passport
