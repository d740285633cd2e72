// Client of the account service: CreateUser and LoginUser.
#pragma once

#include <cstdint>
#include <string>

#include "soap/soap_client.h"
#include "soap/soap_handler.h"
#include "soap/soap_values.h"

namespace Passport {

struct CreateUserRecord {
  SoapString username;
  SoapString password;
  SoapString emailAddress;
  int32_t CreateUserResult;
};

struct LoginUserRecord {
  SoapString username;
  SoapString password;
  uint8_t LoginUserResult;
};

class CPassportT : public CSoapClient, public CSoapHandler {
 public:
  static constexpr const char16_t* kPath = u"/WebService/Passport.asmx";
  enum Operation { kCreateUser = 0, kLoginUser = 1 };

  // The service on `host` ("name" or "name:port"); by default the build-time service host.
  CPassportT();
  explicit CPassportT(const std::u16string& host);

  // Null strings travel as nil elements. *result is written only when the call succeeds.
  int32_t CreateUser(const char16_t* username, const char16_t* password, const char16_t* emailAddress,
                     int32_t* result);
  int32_t LoginUser(const char16_t* username, const char16_t* password, bool* result);

  const OperationDescriptor* OperationTable(int index) const override;
  const OperationDescriptor* HeaderTable(int index) const override;
};

}  // namespace Passport
