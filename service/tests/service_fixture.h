// Runs fotrel-service in-process on 127.0.0.1 (a free port) over a temporary data folder, talks
// to it over plain sockets so that tests see the wire as it is, and builds requests the way the
// project's client writes them. Every wait is bounded (10 s).
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "service/service.h"

namespace fs = std::filesystem;

inline const char kPassportPath[] = "/WebService/Passport.asmx";
inline const char kUploadPath[] = "/WebService/Upload.asmx";

struct HttpReply {
  bool ok = false;  // a complete response was read
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string Header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
  }
};

// One connection that sends exactly the bytes it is given and reads one response at a time.
class RawConnection {
 public:
  explicit RawConnection(int port) : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    timeval timeout{10, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  ~RawConnection() { close(m_fd); }
  bool Send(std::string_view bytes) {
    for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<size_t>(n)))
      if ((n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) return false;
    return true;
  }
  HttpReply Read() {  // by Content-Length, or up to the end of the connection
    HttpReply reply;
    size_t end;
    while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return reply;
    std::string head = m_buffer.substr(0, end + 2);
    m_buffer.erase(0, end + 4);
    reply.status = std::atoi(head.c_str() + head.find(' ') + 1);
    for (size_t line = head.find("\r\n") + 2, next; (next = head.find("\r\n", line)) != std::string::npos;
         line = next + 2) {
      std::string text = head.substr(line, next - line), name = text.substr(0, text.find(':'));
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      size_t value = text.find_first_not_of(' ', name.size() + 1);
      reply.headers[name] = value < text.size() ? text.substr(value) : "";
    }
    size_t length = reply.headers.count("content-length") ? std::stoul(reply.Header("content-length")) : SIZE_MAX;
    while (m_buffer.size() < length && Fill()) {
    }
    if (length != SIZE_MAX && m_buffer.size() < length) return reply;
    reply.body = m_buffer.substr(0, length);
    m_buffer.erase(0, reply.body.size());
    reply.ok = true;
    return reply;
  }

 private:
  bool Fill() {
    char block[65536];
    ssize_t n = recv(m_fd, block, sizeof block, 0);
    if (n > 0) m_buffer.append(block, static_cast<size_t>(n));
    return n > 0;
  }
  int m_fd;
  std::string m_buffer;
};

inline HttpReply Exchange(int port, std::string_view request) {  // on a new connection
  RawConnection connection(port);
  return connection.Send(request) ? connection.Read() : HttpReply{};
}

// A request with the headers the project's client sends.
inline std::string PostRequest(std::string_view path, std::string_view soapAction, std::string_view body,
                               std::string_view contentType = "text/xml; charset=utf-8") {
  std::string request = "POST " + std::string(path) + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\n";
  if (!contentType.empty()) request += "Content-Type: " + std::string(contentType) + "\r\n";
  if (!soapAction.empty()) request += "SOAPAction: " + std::string(soapAction) + "\r\n";
  return request + "Accept: text/xml\r\nHost: 127.0.0.1\r\nUser-Agent: Fotrel-Native/1.0\r\n\r\n" + std::string(body);
}

inline std::string GetRequest(std::string_view target, std::string_view extraHeaders = {}) {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + std::string(extraHeaders) + "\r\n";
}

class RunningService {
 public:
  using Tweak = std::function<void(fotrel::service::ServiceConfig&)>;
  explicit RunningService(const fs::path& dataFolder, const Tweak& tweak = {}) {
    fotrel::service::ServiceConfig config;
    config.host = "127.0.0.1";
    config.port = 0;
    config.dataFolder = dataFolder;
    config.hashStrength = fotrel::service::HashStrength::kTestOnlyMinimum;  // keeps the tests quick
    config.threads = 16;
    config.keepAliveSeconds = 2;
    config.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(m_logLock);
      m_log.push_back(line);
      m_logAdded.notify_all();
    };
    if (tweak) tweak(config);
    m_service = std::make_unique<fotrel::service::Service>(config);
    int port = m_service->Open(&m_error) ? m_service->Bind(&m_error) : -1;
    if (port <= 0) return;
    // The socket listens from Bind on, so clients may connect before Run accepts.
    m_thread = std::thread([this] { m_service->Run(); });
    m_port = port;
  }
  ~RunningService() { Stop(); }
  bool Started() const { return m_port > 0; }
  int Port() const { return m_port; }
  const std::string& Error() const { return m_error; }
  // The log lines so far, once there are `atLeast` (a request is logged after its answer).
  std::vector<std::string> LogLines(size_t atLeast = 0) {
    std::unique_lock<std::mutex> lock(m_logLock);
    m_logAdded.wait_for(lock, std::chrono::seconds(10), [&] { return m_log.size() >= atLeast; });
    return m_log;
  }
  void Stop() {
    // Often right after start-up, before Run serves: the service must take it even then.
    if (m_service) m_service->Stop();
    if (m_thread.joinable()) m_thread.join();
    m_service.reset();
  }

 private:
  std::unique_ptr<fotrel::service::Service> m_service;
  std::thread m_thread;
  int m_port = -1;
  std::string m_error;
  std::mutex m_logLock;
  std::condition_variable m_logAdded;
  std::vector<std::string> m_log;
};

// Text escaped as the client escapes it: & < > as entities, every other code unit outside
// printable ASCII as &#xHHHH; (beyond the basic plane one &#xHHHHHH;).
inline std::string ClientEscape(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    unsigned long code = length == 1 ? b : b & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    char ref[16];
    std::snprintf(ref, sizeof ref, code > 0xFFFF ? "&#x%06lX;" : "&#x%04lX;", code);
    out += code == '&' ? "&amp;" : code == '<' ? "&lt;" : code == '>' ? "&gt;"
         : code >= 0x20 && code <= 0x7E ? std::string(1, static_cast<char>(code)) : std::string(ref);
  }
  return out;
}

// base64 as the client writes it: CR LF after every full line of 76 characters.
inline std::string ClientBase64(std::string_view bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    size_t n = std::min<size_t>(3, bytes.size() - i);
    unsigned v = 0;
    for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    out += {kDigits[v >> 18], kDigits[v >> 12 & 63], n > 1 ? kDigits[v >> 6 & 63] : '=', n > 2 ? kDigits[v & 63] : '='};
    if (n == 3 && (i / 3 + 1) % 19 == 0) out += "\r\n";
  }
  return out;
}

inline std::string Envelope(std::string_view inner) {  // the client's envelope
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\"><soap:Body>" +
         std::string(inner) + "</soap:Body></soap:Envelope>";
}

inline std::string Wrapper(const std::string& operation, std::vector<std::pair<std::string, std::string>> params) {
  std::string out = "<" + operation + " xmlns=\"http://tempuri.org/\">";
  for (const auto& [name, text] : params) out += "<" + name + ">" + text + "</" + name + ">";
  return out + "</" + operation + ">";
}
inline std::string CreateUserBody(std::string_view user, std::string_view password, std::string_view email) {
  return Wrapper("CreateUser", {{"username", ClientEscape(user)}, {"password", ClientEscape(password)},
                                {"emailAddress", ClientEscape(email)}});
}
inline std::string LoginUserBody(std::string_view user, std::string_view password) {
  return Wrapper("LoginUser", {{"username", ClientEscape(user)}, {"password", ClientEscape(password)}});
}
inline std::string UploadFileBody(std::string_view bytes, std::string_view pieceName, std::string_view fileName,
                                  bool completed, std::string_view user) {
  return Wrapper("UploadFile", {{"TempBytes", ClientBase64(bytes)}, {"strTempFileName", ClientEscape(pieceName)},
                                {"FileName", ClientEscape(fileName)}, {"isCompleted", completed ? "true" : "false"},
                                {"userName", ClientEscape(user)}});
}
// Envelopes around a LoginUser wrapper's content, and around an UploadFile wrapper with these
// TempBytes and isCompleted texts.
inline std::string LoginWith(std::string_view inner) {
  return Envelope("<LoginUser xmlns=\"http://tempuri.org/\">" + std::string(inner) + "</LoginUser>");
}
inline std::string UploadWith(std::string_view bytes, std::string_view completed = "true") {
  return Envelope(Wrapper("UploadFile", {{"TempBytes", std::string(bytes)}, {"strTempFileName", "0.jpg"},
                                         {"FileName", "a.jpg"}, {"isCompleted", std::string(completed)},
                                         {"userName", "user"}}));
}
inline std::string Action(std::string_view operation) {
  return "\"http://tempuri.org/" + std::string(operation) + "\"";
}

// Calls, each on its own connection.
inline HttpReply CallSoap(int port, std::string_view path, std::string_view operation, std::string_view body) {
  return Exchange(port, PostRequest(path, Action(operation), Envelope(body)));
}
inline HttpReply CreateUser(int port, std::string_view user, std::string_view password, std::string_view email) {
  return CallSoap(port, kPassportPath, "CreateUser", CreateUserBody(user, password, email));
}
inline HttpReply LoginUser(int port, std::string_view user, std::string_view password) {
  return CallSoap(port, kPassportPath, "LoginUser", LoginUserBody(user, password));
}
inline HttpReply UploadFile(int port, std::string_view bytes, std::string_view pieceName, std::string_view fileName,
                            bool completed, std::string_view user) {
  return CallSoap(port, kUploadPath, "UploadFile", UploadFileBody(bytes, pieceName, fileName, completed, user));
}

inline std::string ElementText(const std::string& body, std::string_view name) {  // "" when absent
  std::string open = "<" + std::string(name) + ">", close = "</" + std::string(name) + ">";
  size_t start = body.find(open);
  size_t end = start == std::string::npos ? start : body.find(close, start += open.size());
  return end == std::string::npos ? std::string() : body.substr(start, end - start);
}
inline std::string FaultCodeOf(const HttpReply& reply) { return ElementText(reply.body, "faultcode"); }
inline std::string FaultStringOf(const HttpReply& reply) { return ElementText(reply.body, "faultstring"); }
inline std::string ResultOf(const HttpReply& reply, std::string_view operation) {  // "" for a fault
  return reply.ok && reply.status == 200 ? ElementText(reply.body, std::string(operation) + "Result") : "";
}

// Sends a file in 21 pieces as the client does (P = size / 20, then the rest), pieces `from` to `to`.
inline bool SendFile(int port, std::string_view bytes, std::string_view fileName, std::string_view user,
                        RawConnection* connection = nullptr, int from = 0, int to = 20) {
  size_t piece = bytes.size() / 20;
  for (int n = from; n <= to; ++n) {
    std::string_view part = bytes.substr(piece * static_cast<size_t>(n), n < 20 ? piece : std::string_view::npos);
    std::string request = PostRequest(kUploadPath, Action("UploadFile"),
                                      Envelope(UploadFileBody(part, std::to_string(n) + ".jpg", fileName,
                                                              n == 20 || part.empty(), user)));
    HttpReply reply = !connection                ? Exchange(port, request)
                      : connection->Send(request) ? connection->Read()
                                                  : HttpReply{};
    if (ResultOf(reply, "UploadFile") != "true") return false;
  }
  return true;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline std::vector<std::string> FilesBelow(const fs::path& root) {  // relative paths, sorted
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), root).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

// Sets the modification time of every piece in a piece folder `hours` back, as if the upload had
// stopped that long ago.
inline void AgePieces(const fs::path& folder, int hours) {
  fs::file_time_type then = fs::file_time_type::clock::now() - std::chrono::hours(hours);
  for (const fs::directory_entry& piece : fs::directory_iterator(folder)) fs::last_write_time(piece.path(), then);
}

// Watches the service's sweeps of old pieces (ServiceConfig::beforePieceSweep): counts the times
// a sweep came to each folder, and runs an action, once, in the sweeping thread as it next comes
// to a given folder (a user's, before it is read; a piece folder, before it is locked and
// judged). Shared with the service, which may sweep until it is stopped.
class SweepProbe : public std::enable_shared_from_this<SweepProbe> {
 public:
  void Attach(fotrel::service::ServiceConfig& config) {
    std::shared_ptr<SweepProbe> self = shared_from_this();
    config.beforePieceSweep = [self](const fs::path& folder) { self->Came(folder); };
  }
  void OnNextVisit(const fs::path& folder, std::function<void(SweepProbe&)> action) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_actions[folder] = std::move(action);
  }
  int Visits(const fs::path& folder) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_visits[folder];
  }
  // Until a sweep that began after this call has judged `folder`, or the folder is gone
  // (bounded: 10 s). A sweep judges a folder before it comes to the next one, or to the same one
  // in its next pass.
  bool WaitJudged(const fs::path& folder) {
    int target = Visits(folder) + 2;
    for (int i = 0; i < 2000; ++i) {
      if (Visits(folder) >= target || !fs::exists(folder)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  void Came(const fs::path& folder) {
    std::function<void(SweepProbe&)> action;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      ++m_visits[folder];
      auto it = m_actions.find(folder);
      if (it != m_actions.end()) {
        action = std::move(it->second);
        m_actions.erase(it);
      }
    }
    if (action) action(*this);
  }
  std::mutex m_lock;
  std::map<fs::path, int> m_visits;
  std::map<fs::path, std::function<void(SweepProbe&)>> m_actions;
};

// Rows of a query on the service's database, every column as text ("NULL" for null).
inline std::vector<std::vector<std::string>> Query(const fs::path& dataFolder, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((dataFolder / "fotrel.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    auto add = [](void* out, int count, char** values, char**) {
      auto& row = static_cast<std::vector<std::vector<std::string>>*>(out)->emplace_back();
      for (int i = 0; i < count; ++i) row.push_back(values[i] ? values[i] : "NULL");
      return 0;
    };
    sqlite3_exec(db, sql.c_str(), add, &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

// Bytes that vary along the whole length, so pieces in a wrong order show.
inline std::string Pattern(size_t length, unsigned seed = 0) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) {
    uint32_t x = static_cast<uint32_t>(i) * 2654435761u + seed * 40503u;
    bytes[i] = static_cast<char>((x >> 13) ^ (x >> 24));
  }
  return bytes;
}

// A running service over a data folder in a fresh temporary folder, removed afterwards.
class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    std::string pattern = (fs::temp_directory_path() / "fotrel-service-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) root = pattern;
  }
  ~ServiceTest() override {
    service.reset();
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }
  void SetUp() override { Start(); }
  void Start(const RunningService::Tweak& tweak = {}) {
    service.reset();
    service = std::make_unique<RunningService>(Data(), tweak);
    ASSERT_TRUE(service->Started()) << service->Error();
  }
  int Port() const { return service->Port(); }
  fs::path Data() const { return root / "data"; }
  void Register(const std::string& user) {  // password "pw"
    ASSERT_EQ(ResultOf(CreateUser(Port(), user, "pw", user + "@x"), "CreateUser"), "1");
  }

  fs::path root;
  std::unique_ptr<RunningService> service;
};
