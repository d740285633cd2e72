// Loopback test peers over the small socket layer of loopback_socket.h. Every wait is bounded
// by its time-out and cut short when the server is being destroyed.
#include "tests/support/scripted_server.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/loopback_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollStepMs = 20;
constexpr int kSendTimeoutMs = 10000;
constexpr size_t kMaxRequestBody = size_t(64) << 20;

int MsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, kPollStepMs));
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The Content-Length of a request head, or 0.
size_t ContentLength(const std::string& head) {
  size_t pos = 0;
  for (;;) {
    pos = head.find("\r\n", pos);
    if (pos == std::string::npos) return 0;
    pos += 2;
    static const char kName[] = "content-length:";
    const size_t n = sizeof kName - 1;
    if (head.size() - pos < n) return 0;
    bool match = true;
    for (size_t i = 0; i < n && match; ++i) match = Lower(head[pos + i]) == kName[i];
    if (!match) continue;
    size_t i = pos + n;
    while (i < head.size() && head[i] == ' ') ++i;
    size_t value = 0;
    while (i < head.size() && head[i] >= '0' && head[i] <= '9' && value <= kMaxRequestBody) {
      value = value * 10 + static_cast<size_t>(head[i] - '0');
      ++i;
    }
    return std::min(value, kMaxRequestBody);
  }
}

// What the connections of one server share with it.
struct ServerState {
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  std::vector<std::string> requests;
};

class Connection : public TestConnection {
 public:
  Connection(loopback::Handle handle, ServerState& server) : m_handle(handle), m_server(server) {}
  ~Connection() override { Close(); }

  bool ReadRequest(std::string* request, int timeoutMs) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string head;
    if (!ReadUntilDeadline("\r\n\r\n", &head, deadline)) return false;
    std::string body;
    if (!ReadExactlyDeadline(ContentLength(head), &body, deadline)) return false;
    std::string whole = head + body;
    {
      std::lock_guard<std::mutex> lock(m_server.mutex);
      m_server.requests.push_back(whole);
    }
    if (request != nullptr) *request = std::move(whole);
    return true;
  }

  bool ReadUntil(std::string_view delimiter, std::string* out, int timeoutMs) override {
    return ReadUntilDeadline(delimiter, out, Clock::now() + std::chrono::milliseconds(timeoutMs));
  }

  bool Send(std::string_view bytes) override {
    if (m_handle == loopback::kInvalid) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    size_t done = 0;
    while (done < bytes.size()) {
      const long rc = loopback::Send(m_handle, bytes.data() + done, bytes.size() - done);
      if (rc > 0) {
        done += static_cast<size_t>(rc);
        continue;
      }
      if (rc != loopback::kWouldBlock || m_server.stopping.load() || Clock::now() >= deadline) return false;
      if (loopback::WaitWritable(m_handle, MsUntil(deadline)) < 0) return false;
    }
    return true;
  }

  void Close() override {
    if (m_handle == loopback::kInvalid) return;
    loopback::ShutdownSend(m_handle);
    // Unread input would turn the close into a reset, which can destroy the answer in flight.
    char scrap[4096];
    for (int i = 0; i < 64 && loopback::Recv(m_handle, scrap, sizeof scrap) > 0; ++i) {
    }
    loopback::Close(m_handle);
    m_handle = loopback::kInvalid;
  }

  bool Pause(int milliseconds) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < deadline) {
      if (m_server.stopping.load()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(MsUntil(deadline), 10)));
    }
    return !m_server.stopping.load();
  }

 private:
  // Receives more input into m_pending; false on close, error, time-out or stop.
  bool Fill(Clock::time_point deadline) {
    if (m_handle == loopback::kInvalid) return false;
    for (;;) {
      if (m_server.stopping.load()) return false;
      char buffer[16384];
      const long rc = loopback::Recv(m_handle, buffer, sizeof buffer);
      if (rc > 0) {
        m_pending.append(buffer, static_cast<size_t>(rc));
        return true;
      }
      if (rc != loopback::kWouldBlock) return false;
      if (Clock::now() >= deadline) return false;
      if (loopback::WaitReadable(m_handle, MsUntil(deadline)) < 0) return false;
    }
  }

  bool ReadUntilDeadline(std::string_view delimiter, std::string* out, Clock::time_point deadline) {
    size_t from = 0;
    for (;;) {
      const size_t pos = m_pending.find(delimiter.data(), from, delimiter.size());
      if (pos != std::string::npos) {
        const size_t end = pos + delimiter.size();
        if (out != nullptr) *out = m_pending.substr(0, end);
        m_pending.erase(0, end);
        return true;
      }
      from = m_pending.size() >= delimiter.size() ? m_pending.size() - delimiter.size() + 1 : 0;
      if (!Fill(deadline)) return false;
    }
  }

  bool ReadExactlyDeadline(size_t count, std::string* out, Clock::time_point deadline) {
    while (m_pending.size() < count) {
      if (!Fill(deadline)) return false;
    }
    if (out != nullptr) *out = m_pending.substr(0, count);
    m_pending.erase(0, count);
    return true;
  }

  loopback::Handle m_handle;
  ServerState& m_server;
  std::string m_pending;
};

}  // namespace

struct ScriptedServer::Impl {
  ScriptedServer* owner = nullptr;
  Script script;
  loopback::Handle listener = loopback::kInvalid;
  ServerState state;
  std::thread acceptThread;
  std::vector<std::thread> connectionThreads;  // guarded by state.mutex

  void AcceptLoop();
};

void ScriptedServer::Impl::AcceptLoop() {
  while (!state.stopping.load()) {
    if (loopback::WaitReadable(listener, kPollStepMs) <= 0) continue;
    const loopback::Handle handle = loopback::Accept(listener);
    if (handle == loopback::kInvalid) continue;
    const int index = owner->m_connections.fetch_add(1);
    std::lock_guard<std::mutex> lock(state.mutex);
    connectionThreads.emplace_back([this, handle, index] {
      Connection connection(handle, state);
      script(connection, index);
      connection.Close();
    });
  }
}

ScriptedServer::ScriptedServer(Script script) : m_impl(new Impl) {
  m_impl->owner = this;
  m_impl->script = std::move(script);
  m_impl->listener = loopback::Listen(16, &m_port);
  if (m_impl->listener != loopback::kInvalid) {
    m_impl->acceptThread = std::thread([this] { m_impl->AcceptLoop(); });
  }
}

ScriptedServer::~ScriptedServer() {
  m_impl->state.stopping.store(true);
  if (m_impl->acceptThread.joinable()) m_impl->acceptThread.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(m_impl->state.mutex);
    threads.swap(m_impl->connectionThreads);
  }
  for (std::thread& t : threads) t.join();
  loopback::Close(m_impl->listener);
}

std::u16string ScriptedServer::Host() const {
  const std::string text = "127.0.0.1:" + std::to_string(m_port);
  return std::u16string(text.begin(), text.end());
}

std::vector<std::string> ScriptedServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_impl->state.mutex);
  return m_impl->state.requests;
}

ScriptedServer::Script ScriptedServer::Reply(std::string response, int idleCloseMs) {
  return [response, idleCloseMs](TestConnection& connection, int) {
    std::string request;
    for (int answered = 0; connection.ReadRequest(&request, answered > 0 && idleCloseMs > 0 ? idleCloseMs : 10000);
         ++answered) {
      if (!connection.Send(response)) return;
    }
  };
}

// ---------------------------------------------------------------------------------------------

struct FullBacklogListener::Impl {
  loopback::Handle listener = loopback::kInvalid;
  std::vector<loopback::Handle> fillers;
};

FullBacklogListener::FullBacklogListener() : m_impl(new Impl) {
  m_impl->listener = loopback::Listen(0, &m_port);
  if (m_impl->listener == loopback::kInvalid) return;
  // Connect until one connect no longer completes: from then on the accept queue is full and
  // the system drops further connection requests instead of answering them.
  for (int i = 0; i < 64; ++i) {
    const loopback::Handle h = loopback::ConnectStart(m_port);
    if (h == loopback::kInvalid) break;
    m_impl->fillers.push_back(h);
    if (loopback::WaitWritable(h, 200) == 0) break;
  }
}

FullBacklogListener::~FullBacklogListener() {
  for (loopback::Handle h : m_impl->fillers) loopback::Close(h);
  loopback::Close(m_impl->listener);
}

uint16_t UnusedLoopbackPort() {
  // The port stays bound (not listening) for the rest of the process, so nothing else can take
  // it and connects to it are refused.
  static std::mutex mutex;
  static std::vector<loopback::Handle> reserved;
  uint16_t port = 0;
  const loopback::Handle h = loopback::BindOnly(&port);
  if (h == loopback::kInvalid) return 0;
  std::lock_guard<std::mutex> lock(mutex);
  reserved.push_back(h);
  return port;
}
