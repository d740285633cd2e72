#include "service_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <sqlite3.h>

namespace fs = std::filesystem;
using fotrel::service::HashStrength;
using fotrel::service::Service;
using fotrel::service::ServiceConfig;

const char kNs[] = "http://tempuri.org/";
const char kPassportPath[] = "/WebService/Passport.asmx";
const char kUploadPath[] = "/WebService/Upload.asmx";

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "fotrel-service-test-XXXXXX").string();
  if (mkdtemp(pattern.data())) m_path = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!m_path.empty()) fs::remove_all(m_path, ignored);
}

RunningService::RunningService(const fs::path& dataFolder, const Tweak& tweak) {
  ServiceConfig config;
  config.host = "127.0.0.1";
  config.port = 0;
  config.dataFolder = dataFolder;
  config.hashStrength = HashStrength::kTestOnlyMinimum;
  config.threads = 16;
  config.keepAliveSeconds = 2;
  config.log = [this](const std::string& line) {
    {
      std::lock_guard<std::mutex> lock(m_logLock);
      m_log.push_back(line);
    }
    m_logAdded.notify_all();
  };
  if (tweak) tweak(config);
  m_service = std::make_unique<Service>(config);
  if (!m_service->Open(&m_error)) return;
  int port = m_service->Bind(&m_error);
  if (port <= 0) return;
  // The socket listens from Bind on, so clients may connect before Run accepts.
  m_thread = std::thread([this] { m_service->Run(); });
  m_port = port;
}

RunningService::~RunningService() { Stop(); }

void RunningService::Stop() {
  if (m_service) m_service->Stop();
  if (m_thread.joinable()) m_thread.join();
  m_service.reset();
}

std::vector<std::string> RunningService::LogLines(size_t atLeast) {
  std::unique_lock<std::mutex> lock(m_logLock);
  m_logAdded.wait_for(lock, std::chrono::seconds(10), [&] { return m_log.size() >= atLeast; });
  return m_log;
}

std::string ClientEscape(std::string_view utf8) {
  std::string out;
  char ref[16];
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    unsigned long code = b;
    size_t length = 1;
    if (b >= 0xF0) code = b & 0x07, length = 4;
    else if (b >= 0xE0) code = b & 0x0F, length = 3;
    else if (b >= 0xC0) code = b & 0x1F, length = 2;
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    if (code == '&') out += "&amp;";
    else if (code == '<') out += "&lt;";
    else if (code == '>') out += "&gt;";
    else if (code >= 0x20 && code <= 0x7E) out += static_cast<char>(code);
    else {
      std::snprintf(ref, sizeof ref, code > 0xFFFF ? "&#x%06lX;" : "&#x%04lX;", code);
      out += ref;
    }
  }
  return out;
}

std::string ClientBase64(std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(bytes.size() / 3 * 4 + bytes.size() / 57 * 2 + 8);
  size_t i = 0;
  int groups = 0;
  auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  for (; i + 3 <= bytes.size(); i += 3) {
    unsigned v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
    if (++groups == 19) {
      out += "\r\n";
      groups = 0;
    }
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Envelope(std::string_view inner) {
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\"><soap:Body>" +
         std::string(inner) + "</soap:Body></soap:Envelope>";
}

static std::string Element(std::string_view name, std::string_view text) {
  return "<" + std::string(name) + ">" + std::string(text) + "</" + std::string(name) + ">";
}

std::string CreateUserBody(std::string_view user, std::string_view password,
                           std::string_view email) {
  return "<CreateUser xmlns=\"http://tempuri.org/\">" + Element("username", ClientEscape(user)) +
         Element("password", ClientEscape(password)) +
         Element("emailAddress", ClientEscape(email)) + "</CreateUser>";
}

std::string LoginUserBody(std::string_view user, std::string_view password) {
  return "<LoginUser xmlns=\"http://tempuri.org/\">" + Element("username", ClientEscape(user)) +
         Element("password", ClientEscape(password)) + "</LoginUser>";
}

std::string UploadFileBody(std::string_view bytes, std::string_view pieceName,
                           std::string_view fileName, bool completed, std::string_view user) {
  return "<UploadFile xmlns=\"http://tempuri.org/\">" + Element("TempBytes", ClientBase64(bytes)) +
         Element("strTempFileName", ClientEscape(pieceName)) +
         Element("FileName", ClientEscape(fileName)) +
         Element("isCompleted", completed ? "true" : "false") +
         Element("userName", ClientEscape(user)) + "</UploadFile>";
}

std::string Action(std::string_view operation) {
  return "\"" + std::string(kNs) + std::string(operation) + "\"";
}

HttpReply CallSoap(int port, std::string_view path, std::string_view operation,
                   std::string_view body) {
  return Exchange(port, PostRequest(path, Action(operation), Envelope(body)));
}

HttpReply CreateUser(int port, std::string_view user, std::string_view password,
                     std::string_view email) {
  return CallSoap(port, kPassportPath, "CreateUser", CreateUserBody(user, password, email));
}

HttpReply LoginUser(int port, std::string_view user, std::string_view password) {
  return CallSoap(port, kPassportPath, "LoginUser", LoginUserBody(user, password));
}

HttpReply UploadFile(int port, std::string_view bytes, std::string_view pieceName,
                     std::string_view fileName, bool completed, std::string_view user) {
  return CallSoap(port, kUploadPath, "UploadFile",
                  UploadFileBody(bytes, pieceName, fileName, completed, user));
}

bool UploadWhole(int port, std::string_view bytes, std::string_view fileName,
                 std::string_view user, RawConnection* connection) {
  size_t piece = bytes.size() / 20;
  std::unique_ptr<RawConnection> own;
  for (int n = 0; n <= 20; ++n) {
    size_t offset = piece * static_cast<size_t>(n);
    std::string_view part =
        n < 20 ? bytes.substr(offset, piece) : bytes.substr(offset);
    bool last = n == 20 || part.empty();
    std::string request =
        PostRequest(kUploadPath, Action("UploadFile"),
                    Envelope(UploadFileBody(part, std::to_string(n) + ".jpg", fileName, last, user)));
    HttpReply reply;
    if (connection) {
      if (!connection->Send(request)) return false;
      reply = connection->Read();
    } else {
      reply = Exchange(port, request);
    }
    if (!reply.ok || reply.status != 200 || ElementText(reply.body, "UploadFileResult") != "true")
      return false;
  }
  return true;
}

std::string ElementText(const std::string& body, std::string_view name) {
  std::string open = "<" + std::string(name) + ">";
  std::string close = "</" + std::string(name) + ">";
  size_t start = body.find(open);
  if (start == std::string::npos) return {};
  start += open.size();
  size_t end = body.find(close, start);
  return end == std::string::npos ? std::string() : body.substr(start, end - start);
}

std::string FaultCodeOf(const HttpReply& reply) { return ElementText(reply.body, "faultcode"); }
std::string FaultStringOf(const HttpReply& reply) { return ElementText(reply.body, "faultstring"); }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Pattern(size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  // Varies along the whole length, so pieces in a wrong order would show.
  for (size_t i = 0; i < length; ++i) {
    uint32_t x = static_cast<uint32_t>(i) * 2654435761u + seed * 40503u;
    bytes[i] = static_cast<char>((x >> 13) ^ (x >> 24));
  }
  return bytes;
}

std::vector<std::vector<std::string>> Query(const fs::path& dataFolder, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((dataFolder / "fotrel.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const unsigned char* text = sqlite3_column_text(st, i);
        row.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

std::string ResultOf(const HttpReply& reply, std::string_view operation) {
  if (!reply.ok || reply.status != 200) return {};
  return ElementText(reply.body, std::string(operation) + "Result");
}
