// Small helpers shared by the transport and service tests.
#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/http_client.h"
#include "net/stop_signal.h"
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
inline std::u16string PortUrl(uint16_t port) { return U16("http://127.0.0.1:" + std::to_string(port) + "/"); }

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

// Steps of a scripted answer: each text is sent as it is, except these markers.
constexpr const char* kPause = "<pause>";  // 50 ms
constexpr const char* kHang = "<hang>";    // 5 s, or until the server stops
constexpr const char* kClose = "<close>";

// Reads a request, then plays the steps; unless closed, then waits for the client to go away.
// Connection N plays steps[min(N, last)].
inline ScriptedServer::Script PlayPerConnection(std::vector<std::vector<std::string>> steps) {
  return [steps](TestConnection& c, int index) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    for (const std::string& step : steps[std::min<size_t>(static_cast<size_t>(index), steps.size() - 1)]) {
      const bool going = step == kPause ? c.Pause(50)
                         : step == kHang ? c.Pause(5000)
                         : step == kClose ? (c.Close(), false)
                                          : c.Send(step);
      if (!going) return;
    }
    c.ReadRequest(&request);
  };
}
inline ScriptedServer::Script Play(std::vector<std::string> steps) {
  return PlayPerConnection({std::move(steps)});
}

// Reads a request, then sends `text` a byte at a time: the first at once, then one every `everyMs`.
inline ScriptedServer::Script Trickle(std::string text, int everyMs) {
  return [text, everyMs](TestConnection& c, int) {
    std::string request;
    if (!c.ReadRequest(&request)) return;
    for (size_t i = 0; i < text.size() && c.Send(text.substr(i, 1)) && c.Pause(everyMs); ++i) {
    }
  };
}

// Raises a stop signal from a thread of its own after a delay, and tells how long ago that was.
class DelayedRaise {
 public:
  using Clock = std::chrono::steady_clock;
  DelayedRaise(CStopSignal& signal, int delayMs)
      : m_thread([this, &signal, delayMs] {
          std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
          m_raisedAt = Clock::now();
          signal.Raise();
        }) {}
  ~DelayedRaise() { Join(); }
  // Milliseconds from the raise to now (the raise is waited for).
  double MsSinceRaise() {
    const auto now = Clock::now();
    Join();
    return std::chrono::duration<double, std::milli>(now - m_raisedAt).count();
  }

 private:
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }
  Clock::time_point m_raisedAt;
  std::thread m_thread;
};

// Answers each request on a connection with the next of `responses` (the last one repeats).
inline ScriptedServer::Script Sequence(std::vector<std::string> responses) {
  return [responses](TestConnection& c, int) {
    std::string request;
    for (size_t i = 0; c.ReadRequest(&request); ++i) {
      if (!c.Send(responses[std::min(i, responses.size() - 1)])) return;
    }
  };
}

// One client and its settings against one scripted server.
struct Fetch {
  explicit Fetch(ScriptedServer::Script script, uint32_t timeout = kNormalTimeoutMs)
      : server(std::move(script)), s(Settings(timeout)) {}
  explicit Fetch(const std::string& response, uint32_t timeout = kNormalTimeoutMs)
      : Fetch(ScriptedServer::Reply(response), timeout) {}
  bool operator()(const std::string& path = "/") { return client.Exchange(UrlOf(server, path), &s); }
  std::string Body() const { return BodyOf(client); }

  ScriptedServer server;
  CHttpClient client;
  HttpRequestSettings s;
};

}  // namespace nettest
