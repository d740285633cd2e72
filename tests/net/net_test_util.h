// Small helpers shared by the transport tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "tests/support/scripted_server.h"

namespace nettest {

// Short time-outs keep the failing paths quick; the passing paths never wait for them.
constexpr uint32_t kShortTimeoutMs = 300;
constexpr uint32_t kNormalTimeoutMs = 5000;

inline std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

inline std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

inline std::u16string UrlOf(const ScriptedServer& server, const std::string& pathAndExtra) {
  return u"http://" + server.Host() + U16(pathAndExtra);
}

inline std::string HostHeader(const ScriptedServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
}

inline HttpRequestSettings Settings(uint32_t timeout = kNormalTimeoutMs) {
  HttpRequestSettings s;
  s.timeout = timeout;
  return s;
}

inline std::string Header(const CHttpClient& client, const std::u16string& name) {
  std::u16string value;
  return client.GetHeader(name, &value) ? Narrow(value) : std::string("<absent>");
}

inline std::string BodyOf(const CHttpClient& client) { return std::string(client.Body(), client.BodyLength()); }

// A script that answers each request on a connection with the next of `responses` (the last
// one repeats).
inline ScriptedServer::Script Sequence(std::vector<std::string> responses) {
  return [responses](TestConnection& c, int) {
    std::string request;
    size_t i = 0;
    while (c.ReadRequest(&request)) {
      if (!c.Send(responses[std::min(i, responses.size() - 1)])) return;
      ++i;
    }
  };
}

}  // namespace nettest
