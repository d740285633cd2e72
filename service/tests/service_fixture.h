// Runs fotrel-service in-process on 127.0.0.1 (a free port) over a temporary data folder, and
// builds requests the way the project's client writes them.
#pragma once

#include <filesystem>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "raw_http.h"
#include "service/service.h"

extern const char kNs[];  // the default service namespace
extern const char kPassportPath[];
extern const char kUploadPath[];

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

class RunningService {
 public:
  using Tweak = std::function<void(fotrel::service::ServiceConfig&)>;
  // Tests use the minimum Argon2id limits (a test-only setting) so that they stay quick.
  explicit RunningService(const std::filesystem::path& dataFolder, const Tweak& tweak = {});
  ~RunningService();  // stops the service and waits for it

  bool Started() const { return m_port > 0; }
  int Port() const { return m_port; }
  const std::string& Error() const { return m_error; }
  // The log lines so far, after waiting (at most 10 s) until there are at least `atLeast`: a
  // request is logged just after its answer went out.
  std::vector<std::string> LogLines(size_t atLeast = 0);
  void Stop();

 private:
  std::unique_ptr<fotrel::service::Service> m_service;
  std::thread m_thread;
  int m_port = -1;
  std::string m_error;
  std::mutex m_logLock;
  std::condition_variable m_logAdded;
  std::vector<std::string> m_log;
};

// Text escaped the way the client escapes it: & < > as entities, every other code unit outside
// printable ASCII as &#xHHHH; (a character beyond the basic plane as one &#xHHHHHH;).
std::string ClientEscape(std::string_view utf8);
// base64 as the client writes it: CR LF after every full line of 76 characters.
std::string ClientBase64(std::string_view bytes);

// The client's envelope around `inner`.
std::string Envelope(std::string_view inner);
// Operation wrappers in the default namespace; values are escaped like the client does.
std::string CreateUserBody(std::string_view user, std::string_view password,
                           std::string_view email);
std::string LoginUserBody(std::string_view user, std::string_view password);
std::string UploadFileBody(std::string_view bytes, std::string_view pieceName,
                           std::string_view fileName, bool completed, std::string_view user);
std::string Action(std::string_view operation);  // "\"http://tempuri.org/OP\""

// One call on its own connection.
HttpReply CallSoap(int port, std::string_view path, std::string_view operation,
                   std::string_view body);
HttpReply CreateUser(int port, std::string_view user, std::string_view password,
                     std::string_view email);
HttpReply LoginUser(int port, std::string_view user, std::string_view password);
HttpReply UploadFile(int port, std::string_view bytes, std::string_view pieceName,
                     std::string_view fileName, bool completed, std::string_view user);
// Sends a whole file in 21 pieces as the client does (P = size / 20, then the rest).
bool UploadWhole(int port, std::string_view bytes, std::string_view fileName,
                 std::string_view user, RawConnection* connection = nullptr);

// The text of the element <name>...</name> in a body ("" when absent).
std::string ElementText(const std::string& body, std::string_view name);
// "soap:Client" and the fault string of a fault body.
std::string FaultCodeOf(const HttpReply& reply);
std::string FaultStringOf(const HttpReply& reply);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Relative paths of every regular file below `root`, sorted.
std::vector<std::string> FilesBelow(const std::filesystem::path& root);
// Rows of a query on the service's database, every column as text ("NULL" for null).
std::vector<std::vector<std::string>> Query(const std::filesystem::path& dataFolder,
                                            const std::string& sql);
// The result text of an answer ("" for a fault).
std::string ResultOf(const HttpReply& reply, std::string_view operation);

// Bytes that vary along the whole length; another `seed` gives other bytes.
std::string Pattern(size_t length, unsigned seed = 0);
