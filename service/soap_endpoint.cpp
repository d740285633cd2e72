#include "service/soap_endpoint.h"

#include <httplib.h>

#include <exception>
#include <memory>

#include "service/html.h"
#include "service/markup.h"
#include "service/names.h"
#include "service/request_note.h"
#include "service/soap_messages.h"

namespace fotrel::service {

namespace {

constexpr const char* kXmlType = "text/xml; charset=utf-8";

// The wire contract of both services, in the order of the elements on the wire.
constexpr ParamSpec kCreateUserParams[] = {
    {"username", ParamType::kString, true},
    {"password", ParamType::kString, true},
    {"emailAddress", ParamType::kString, true},
};
constexpr ParamSpec kLoginUserParams[] = {
    {"username", ParamType::kString, true},
    {"password", ParamType::kString, true},
};
constexpr ParamSpec kUploadFileParams[] = {
    {"TempBytes", ParamType::kBase64, true},
    {"strTempFileName", ParamType::kString, true},
    {"FileName", ParamType::kString, true},
    {"isCompleted", ParamType::kBoolean, false},
    {"userName", ParamType::kString, true},
};

enum Operation : size_t { kCreateUser, kLoginUser, kUploadFile };
constexpr OperationSpec kOperations[] = {
    {"CreateUser", "CreateUserResult", kCreateUserParams, 3},
    {"LoginUser", "LoginUserResult", kLoginUserParams, 2},
    {"UploadFile", "UploadFileResult", kUploadFileParams, 5},
};

// Room for the envelope, the names and the other values around the one large value.
constexpr uint64_t kEnvelopeAllowance = 1 << 20;
// How far past the limit a body is still read (and dropped) to keep the connection usable.
constexpr uint64_t kDrainFactor = 2;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "text/xml" with an optional charset parameter (returned in *charset, unquoted).
bool IsXmlContentType(std::string_view value, std::string* charset) {
  size_t semicolon = value.find(';');
  if (!EqualsNoCase(Trim(value.substr(0, semicolon)), "text/xml")) return false;
  while (semicolon != std::string_view::npos) {
    value.remove_prefix(semicolon + 1);
    semicolon = value.find(';');
    std::string_view parameter = Trim(value.substr(0, semicolon));
    size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (!EqualsNoCase(Trim(parameter.substr(0, equals)), "charset")) continue;
    std::string_view name = Trim(parameter.substr(equals + 1));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
      name = name.substr(1, name.size() - 2);
    charset->assign(name);
  }
  return true;
}

std::string Quoted(std::string_view text) { return "\"" + LogSafe(text, 64) + "\""; }

}  // namespace

struct ServiceContract {
  const char* name;
  const char* path;
  const char* pattern;
  Operation operations[2];
  size_t operationCount;
};

namespace {
const ServiceContract kPassport = {"Passport", "/WebService/Passport.asmx",
                                   "/WebService/Passport\\.asmx", {kCreateUser, kLoginUser}, 2};
const ServiceContract kUpload = {"Upload", "/WebService/Upload.asmx", "/WebService/Upload\\.asmx",
                                 {kUploadFile, kUploadFile}, 1};
}  // namespace

SoapEndpoint::SoapEndpoint(std::string serviceNamespace, Accounts& accounts, Uploads& uploads)
    : m_namespace(std::move(serviceNamespace)), m_accounts(accounts), m_uploads(uploads) {
  // base64 of the largest piece, with a line break every 76 characters.
  uint64_t text = (uploads.Limits().pieceBytes + 2) / 3 * 4;
  m_bodyLimit = text + text / 76 * 2 + kEnvelopeAllowance;
}

void SoapEndpoint::Register(httplib::Server& server) {
  for (const ServiceContract* contract : {&kPassport, &kUpload}) {
    server.Post(contract->pattern, [this, contract](const httplib::Request& req,
                                                    httplib::Response& res,
                                                    const httplib::ContentReader& content) {
      Post(*contract, req, res, content);
    });
    server.Get(contract->pattern,
               [this, contract](const httplib::Request&, httplib::Response& res) {
                 Get(*contract, res);
               });
  }
}

static void AnswerFault(httplib::Response& res, const Fault& fault) {
  res.status = 500;
  res.set_content(FaultEnvelope(fault), kXmlType);
  NoteRequest(std::string("fault ") + FaultCodeName(fault.code) + ": " + LogSafe(fault.text));
}

void SoapEndpoint::AnswerTooLarge(httplib::Response& res, uint64_t limit) {
  AnswerFault(res, {FaultCode::kClient, "the request is larger than " + FormatBytes(limit)});
}

void SoapEndpoint::Post(const ServiceContract& contract, const httplib::Request& req,
                        httplib::Response& res, const httplib::ContentReader& content) {
  bool bodyRead = false;
  try {
    Fault fault;
    bool faulted = false;
    auto refuse = [&](FaultCode code, std::string text) {
      if (faulted) return;
      faulted = true;
      fault = {code, std::move(text)};
    };

    size_t operation = 0;
    if (!req.has_header("SOAPAction")) {
      refuse(FaultCode::kClient, "the SOAPAction header is missing");
    } else {
      std::string header = req.get_header_value("SOAPAction");
      std::string_view action = Trim(header);
      if (action.size() >= 2 && action.front() == '"' && action.back() == '"')
        action = action.substr(1, action.size() - 2);
      bool found = false;
      for (size_t i = 0; i < contract.operationCount && !found; ++i) {
        const char* name = kOperations[contract.operations[i]].name;
        if (action.size() == m_namespace.size() + std::string_view(name).size() &&
            action.substr(0, m_namespace.size()) == m_namespace &&
            action.substr(m_namespace.size()) == name) {
          operation = contract.operations[i];
          found = true;
        }
      }
      if (!found)
        refuse(FaultCode::kClient, "the SOAPAction " + Quoted(action) +
                                       " names no operation of the " + contract.name +
                                       " service");
    }
    std::string charset;
    std::string contentType = req.get_header_value("Content-Type");
    if (!faulted && !IsXmlContentType(contentType, &charset))
      refuse(FaultCode::kClient, "the Content-Type must be text/xml");

    std::unique_ptr<PieceFile> piece;
    std::unique_ptr<EnvelopeReader> envelope;
    if (!faulted) {
      if (operation == kUploadFile) piece = m_uploads.NewPiece();
      envelope = std::make_unique<EnvelopeReader>(m_namespace, kOperations[operation], charset,
                                                  piece.get(), m_uploads.Limits().pieceBytes);
    }
    // The body is always read to its end, also after a refusal, so that the connection stays
    // in step for the next request. A body that passes the limit (only a chunked one can: a
    // declared length over it is refused by the HTTP layer) is read on without being kept, up
    // to a bound, and then the reading stops.
    uint64_t received = 0;
    bool tooLarge = false;
    bool read = content([&](const char* data, size_t length) {
      received += length;
      if (received > m_bodyLimit) {
        tooLarge = true;
        envelope.reset();
        return received <= m_bodyLimit * kDrainFactor;
      }
      if (envelope) envelope->Feed(data, length);
      return true;
    });
    bodyRead = read;
    // The HTTP layer refuses a declared length over the limit itself and says so with 413.
    if (tooLarge || (!read && res.status == 413)) {
      if (!read) res.set_header("Connection", "close");
      AnswerTooLarge(res, m_bodyLimit);
      return;
    }
    if (!read) refuse(FaultCode::kClient, "the request body could not be read");
    if (!faulted && !envelope->Finish()) refuse(envelope->Error().code, envelope->Error().text);

    std::string result;
    if (!faulted && !Dispatch(operation, *envelope, piece.get(), &result, &fault)) faulted = true;
    if (faulted) return AnswerFault(res, fault);
    res.status = 200;
    res.set_content(ResultEnvelope(m_namespace, kOperations[operation], result), kXmlType);
  } catch (const std::exception&) {
    if (!bodyRead) res.set_header("Connection", "close");
    AnswerFault(res, {FaultCode::kServer, "internal error"});
  }
}

bool SoapEndpoint::Dispatch(size_t operation, const EnvelopeReader& envelope, PieceFile* piece,
                            std::string* result, Fault* fault) {
  std::string error;
  auto shown = [](const ParamValue& value) {
    return value.nil ? std::string("(nil)") : Quoted(value.text);
  };
  switch (operation) {
    case kCreateUser: {
      int32_t answer = 0;
      if (!m_accounts.CreateUser(envelope.Value(0), envelope.Value(1), envelope.Value(2), &answer,
                                 &error))
        break;
      *result = std::to_string(answer);
      NoteRequest("CreateUser user=" + shown(envelope.Value(0)) + " -> " + *result);
      return true;
    }
    case kLoginUser: {
      bool answer = false;
      if (!m_accounts.LoginUser(envelope.Value(0), envelope.Value(1), &answer, &error)) break;
      *result = answer ? "true" : "false";
      NoteRequest("LoginUser user=" + shown(envelope.Value(0)) + " -> " + *result);
      return true;
    }
    case kUploadFile: {
      const ParamValue& bytes = envelope.Value(0);
      bool completed = envelope.Value(3).boolean;
      UploadAnswer answer = m_uploads.UploadFile(*piece, bytes, envelope.Value(1),
                                                 envelope.Value(2), completed, envelope.Value(4));
      if (answer.faulted) {
        *fault = answer.fault;
        return false;
      }
      *result = answer.result ? "true" : "false";
      std::string note = "UploadFile user=" + shown(envelope.Value(4)) +
                         " file=" + shown(envelope.Value(2)) +
                         " piece=" + shown(envelope.Value(1)) +
                         " bytes=" + std::to_string(bytes.binaryBytes) +
                         (completed ? " completed" : "") + " -> " + *result;
      if (!answer.storedName.empty()) note += " stored as " + Quoted(answer.storedName);
      NoteRequest(std::move(note));
      return true;
    }
  }
  *fault = {FaultCode::kServer, error.empty() ? "internal error" : error};
  return false;
}

void SoapEndpoint::Get(const ServiceContract& contract, httplib::Response& res) {
  std::string body = "<h1>";
  AppendEscaped(body, contract.name);
  body += " 服务</h1><p>本服务使用 SOAP 1.1（命名空间 ";
  AppendEscaped(body, m_namespace);
  body += "），支持下列操作：</p><ul>";
  for (size_t i = 0; i < contract.operationCount; ++i) {
    const OperationSpec& op = kOperations[contract.operations[i]];
    body += "<li><b>";
    AppendEscaped(body, op.name);
    body += "</b>(";
    for (size_t k = 0; k < op.paramCount; ++k) {
      if (k) body += ", ";
      AppendEscaped(body, op.params[k].name);
    }
    body += ") → ";
    AppendEscaped(body, op.resultName);
    body += "</li>";
  }
  body += "</ul>";
  res.status = 200;
  res.set_content(HtmlPage(std::string(contract.name) + " 服务", body), kHtmlType);
}

}  // namespace fotrel::service
