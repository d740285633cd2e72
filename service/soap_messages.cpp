#include "service/soap_messages.h"

#include "service/markup.h"
#include "service/names.h"

namespace fotrel::service {

namespace {

constexpr std::string_view kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>";
constexpr std::string_view kEnvelopeEnd = "</soap:Body></soap:Envelope>";

// The text may quote what a client sent: bytes that are not UTF-8 and characters XML does not
// allow become U+FFFD, so the answer stays well-formed.
std::string XmlSafe(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    std::string_view sequence = text.substr(i, length);
    bool control = b < 0x20 && b != '\t' && b != '\n' && b != '\r';
    if (control || !IsValidUtf8(sequence) || sequence.size() != length || b == 0x7F) {
      out += "\xEF\xBF\xBD";
      i += 1;
      continue;
    }
    out.append(sequence);
    i += length;
  }
  return out;
}

}  // namespace

std::string ResultEnvelope(std::string_view serviceNamespace, const OperationSpec& operation,
                           std::string_view valueText) {
  std::string out(kEnvelopeStart);
  out += '<';
  out += operation.name;
  out += "Response xmlns=\"";
  AppendEscaped(out, serviceNamespace);
  out += "\"><";
  out += operation.resultName;
  out += '>';
  AppendEscapedText(out, valueText);
  out += "</";
  out += operation.resultName;
  out += "></";
  out += operation.name;
  out += "Response>";
  out += kEnvelopeEnd;
  return out;
}

const char* FaultCodeName(FaultCode code) {
  switch (code) {
    case FaultCode::kVersionMismatch: return "VersionMismatch";
    case FaultCode::kMustUnderstand: return "MustUnderstand";
    case FaultCode::kClient: return "Client";
    case FaultCode::kServer: return "Server";
  }
  return "Server";
}

std::string FaultEnvelope(const Fault& fault) {
  std::string out(kEnvelopeStart);
  out += "<soap:Fault><faultcode>soap:";
  out += FaultCodeName(fault.code);
  out += "</faultcode><faultstring>";
  AppendEscapedText(out, XmlSafe(fault.text));
  out += "</faultstring><detail /></soap:Fault>";
  out += kEnvelopeEnd;
  return out;
}

}  // namespace fotrel::service
