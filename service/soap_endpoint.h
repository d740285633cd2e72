// The two SOAP 1.1 services over HTTP: POST /WebService/Passport.asmx (CreateUser, LoginUser)
// and POST /WebService/Upload.asmx (UploadFile). The operation comes from the SOAPAction and
// must match the body's wrapper element; requests are read as they arrive. GET on either path
// gives a short page listing its operations.
#pragma once

#include <cstdint>
#include <string>

#include "service/accounts.h"
#include "service/envelope_reader.h"
#include "service/uploads.h"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace fotrel::service {

struct ServiceContract;

class SoapEndpoint {
 public:
  SoapEndpoint(std::string serviceNamespace, Accounts& accounts, Uploads& uploads);

  void Register(httplib::Server& server);
  // Largest request body read; larger ones are answered with a fault.
  uint64_t BodyLimit() const { return m_bodyLimit; }
  // The answer to a request body over the limit that the HTTP layer refused before reading.
  static void AnswerTooLarge(httplib::Response& res, uint64_t limit);

 private:
  void Post(const ServiceContract& contract, const httplib::Request& req,
            httplib::Response& res, const httplib::ContentReader& content);
  void Get(const ServiceContract& contract, httplib::Response& res);
  // Runs a request that was read completely; returns the result text or fills *fault.
  bool Dispatch(size_t operation, const EnvelopeReader& envelope, PieceFile* piece,
                std::string* result, Fault* fault);

  std::string m_namespace;
  Accounts& m_accounts;
  Uploads& m_uploads;
  uint64_t m_bodyLimit;
};

}  // namespace fotrel::service
