// Responses and expected requests of the two services, for tests against scripted peers.
#pragma once

#include <string>

#include "fotrel_config.h"

namespace servicetest {

constexpr const char* kNs = FOTREL_SERVICE_NAMESPACE;

inline std::string EnvelopeStart() {
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
}

// The body the client must send for operation `op` with the given parameter elements.
inline std::string RequestBody(const std::string& op, const std::string& elements) {
  return EnvelopeStart() + "<soap:Body><" + op + " xmlns=\"" + kNs + "\">" + elements + "</" + op +
         "></soap:Body></soap:Envelope>";
}

// The whole request the client must send.
inline std::string Request(const std::string& path, const std::string& op, const std::string& body, int port) {
  return "POST " + path + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: \"" + kNs + op +
         "\"\r\nAccept: text/xml\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUser-Agent: Fotrel-Native/1.0\r\n\r\n" + body;
}

// A response envelope the way such services write it.
inline std::string ResponseEnvelope(const std::string& inner, const std::string& header = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">" +
         header + "<soap:Body>" + inner + "</soap:Body></soap:Envelope>";
}

inline std::string Result(const std::string& op, const std::string& value) {
  return ResponseEnvelope("<" + op + "Response xmlns=\"" + kNs + "\"><" + op + "Result>" + value + "</" + op +
                          "Result></" + op + "Response>");
}

inline std::string Http(const std::string& status, const std::string& body,
                        const std::string& contentType = "text/xml; charset=utf-8") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The same answer with the status line of an HTTP/1.0 server.
inline std::string AsHttp10(const std::string& answer) { return "HTTP/1.0" + answer.substr(answer.find(' ')); }

inline std::string Fault(const std::string& code, const std::string& text) {
  return ResponseEnvelope("<soap:Fault><faultcode>" + code + "</faultcode><faultstring>" + text +
                          "</faultstring></soap:Fault>");
}

}  // namespace servicetest
