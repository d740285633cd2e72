// Reads one SOAP 1.1 request envelope (document/literal, wrapped) with expat, fed in pieces as
// the body arrives, and checks it against the operation that the SOAPAction named. Namespaces
// are compared, prefixes are not. A DTD is refused. Base64 values are decoded on the fly into
// a sink, so a large piece is never held as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fotrel::service {

constexpr std::string_view kSoapEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

enum class ParamType { kString, kBoolean, kBase64 };

struct ParamSpec {
  const char* name;
  ParamType type;
  bool nullable;  // xsi:nil is allowed
};

struct OperationSpec {
  const char* name;        // wrapper element, and the SOAPAction after the namespace
  const char* resultName;  // the one element of the response wrapper
  const ParamSpec* params;
  size_t paramCount;
};

enum class FaultCode { kVersionMismatch, kMustUnderstand, kClient, kServer };

struct Fault {
  FaultCode code = FaultCode::kClient;
  std::string text;
};

// A string longer than this keeps only its first bytes; its full length stays known.
constexpr size_t kMaxKeptText = 4096;

struct ParamValue {
  bool present = false;
  bool nil = false;
  std::string text;          // string value (at most kMaxKeptText bytes of it)
  size_t textBytes = 0;      // full length of a string in UTF-8 bytes
  size_t textUnits = 0;      // full length of a string in UTF-16 code units
  bool boolean = false;
  uint64_t binaryBytes = 0;  // decoded length of a base64 value
  bool binaryOverLimit = false;
};

// Where decoded base64 bytes go.
class BinarySink {
 public:
  virtual bool Write(const uint8_t* data, size_t length) = 0;

 protected:
  ~BinarySink() = default;
};

class EnvelopeReader {
 public:
  // `encoding`: the charset of the Content-Type, or empty to let the document say.
  // `sink` receives the bytes of base64 parameters up to `binaryLimit` bytes; beyond that the
  // value is marked over the limit and the rest is only counted.
  EnvelopeReader(std::string_view serviceNamespace, const OperationSpec& operation,
                 const std::string& encoding, BinarySink* sink, uint64_t binaryLimit);
  ~EnvelopeReader();
  EnvelopeReader(const EnvelopeReader&) = delete;
  EnvelopeReader& operator=(const EnvelopeReader&) = delete;

  // Passes more of the body; after a failure the rest is ignored.
  void Feed(const char* data, size_t length);
  // Ends the document. True when it was a complete, valid request; otherwise Error() says why.
  bool Finish();
  bool Failed() const { return m_failed; }
  const Fault& Error() const { return m_fault; }
  // Values in the order of the operation's parameters.
  const ParamValue& Value(size_t index) const { return m_values[index]; }

 private:
  struct Impl;
  friend struct Impl;
  void Fail(FaultCode code, std::string text);

  std::unique_ptr<Impl> m_impl;
  std::vector<ParamValue> m_values;
  Fault m_fault;
  bool m_failed = false;
};

}  // namespace fotrel::service
