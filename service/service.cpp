#include "service/service.h"

#include <httplib.h>

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "fotrel_config.h"
#include "service/names.h"
#include "service/pages.h"
#include "service/platform.h"
#include "service/request_note.h"
#include "service/soap_endpoint.h"
#include "service/store.h"

namespace fotrel::service {

struct Service::Parts {
  Store store;
  Accounts accounts;
  Uploads uploads;
  SoapEndpoint soap;
  Pages pages;
  httplib::Server server;
  std::mutex logLock;
  // The periodic sweep of old pieces sleeps on this until its time comes or the service ends.
  std::mutex sweepLock;
  std::condition_variable sweepWake;
  std::atomic<bool> sweepsEnded{false};
  std::thread sweeper;
  // Logged once serving begins: the line that says where the service listens comes first.
  size_t sweptAtStart = 0;

  void EndSweeps() {
    {
      std::lock_guard<std::mutex> lock(sweepLock);
      sweepsEnded = true;
    }
    sweepWake.notify_all();
  }

  explicit Parts(const ServiceConfig& config)
      : accounts(store, config.hashStrength),
        uploads(store, config.dataFolder, config.limits),
        soap(config.serviceNamespace, accounts, uploads),
        pages(store, uploads) {}
};

Service::Service(ServiceConfig config) : m_config(std::move(config)) {
  if (m_config.serviceNamespace.empty()) m_config.serviceNamespace = FOTREL_SERVICE_NAMESPACE;
  if (m_config.threads == 0) m_config.threads = 1;
}

Service::~Service() = default;

bool Service::Open(std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(m_config.dataFolder, ec);
  if (ec) {
    *error = "cannot create the data folder " + m_config.dataFolder.u8string() + ": " +
             ec.message();
    return false;
  }
  m_parts = std::make_unique<Parts>(m_config);
  if (!m_parts->store.Open(m_config.dataFolder / "fotrel.db", error)) return false;
  if (!m_parts->uploads.Prepare(error)) return false;
  m_parts->sweptAtStart = SweepPieces();

  httplib::Server& server = m_parts->server;
  unsigned threads = m_config.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Headers and body go out in separate writes; without this each answer waits for the
  // client's delayed acknowledgement.
  server.set_tcp_nodelay(true);
  server.set_keep_alive_max_count(1000);
  server.set_keep_alive_timeout(m_config.keepAliveSeconds);
  server.set_read_timeout(30, 0);
  server.set_write_timeout(30, 0);
  // Larger bodies are refused before they are read; the SOAP reader bounds what it takes too.
  uint64_t limit = m_parts->soap.BodyLimit();
  server.set_payload_max_length(static_cast<size_t>(limit));

  // The library's default lets a second service bind a port already served (SO_REUSEPORT), and
  // both then answer at random; a busy port must be refused at start-up instead.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
#ifdef _WIN32
    setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<char*>(&yes), sizeof yes);
#else
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
  });
  server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    TakeRequestNote();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [limit](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty() || res.content_length_ > 0)
      return httplib::Server::HandlerResponse::Unhandled;
    bool soapPath = req.path == "/WebService/Passport.asmx" || req.path == "/WebService/Upload.asmx";
    if (soapPath && req.method == "POST" && res.status == 413) {
      SoapEndpoint::AnswerTooLarge(res, limit);
    } else {
      Pages::AnswerStatus(res);
    }
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    std::string line = UtcNowText() + " " + req.remote_addr + " " + LogSafe(req.method, 16) +
                       " " + LogSafe(req.target) + " " + std::to_string(res.status);
    std::string note = TakeRequestNote();
    if (!note.empty()) line += " " + note;
    Log(line);
  });
  m_parts->soap.Register(server);
  m_parts->pages.Register(server);
  return true;
}

int Service::Bind(std::string* error) {
  if (!m_parts) {
    *error = "the service is not open";
    return -1;
  }
  httplib::Server& server = m_parts->server;
  int port = m_config.port;
  bool ok = port == 0 ? (port = server.bind_to_any_port(m_config.host)) > 0
                      : server.bind_to_port(m_config.host, port);
  if (!ok) {
    *error = "cannot listen on " + m_config.host + ":" + std::to_string(m_config.port);
    return -1;
  }
  return port;
}

void Service::Log(const std::string& line) {
  if (m_config.log) {
    m_config.log(line);
  } else {
    std::lock_guard<std::mutex> lock(m_parts->logLock);
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

size_t Service::SweepPieces() {
  if (m_config.pieceMaxAgeHours == 0) return 0;
  try {
    return m_parts->uploads.SweepPieces(
        std::filesystem::file_time_type::clock::now(), std::chrono::hours(m_config.pieceMaxAgeHours),
        [this](const std::filesystem::path& folder) {
          if (m_config.beforePieceSweep) m_config.beforePieceSweep(folder);
          return !m_parts->sweepsEnded;
        });
  } catch (const std::exception&) {
    // Out of memory for a path: the folders left are looked at again in the next sweep.
    Log(UtcNowText() + " the sweep of old pieces stopped early");
    return 0;
  }
}

void Service::LogSwept(size_t removed) {
  if (removed > 0)
    Log(UtcNowText() + " removed the pieces of " + std::to_string(removed) +
        " unfinished upload(s) older than " + std::to_string(m_config.pieceMaxAgeHours) + " h");
}

void Service::SweepPeriodically() {
  std::unique_lock<std::mutex> lock(m_parts->sweepLock);
  while (!m_parts->sweepWake.wait_for(lock, m_config.pieceSweepInterval,
                                      [this] { return m_parts->sweepsEnded.load(); })) {
    lock.unlock();
    LogSwept(SweepPieces());
    lock.lock();
  }
}

bool Service::Run() {
  m_runEntered = true;
  bool ok = true;
  if (!m_stopRequested) {
    if (m_parts) LogSwept(m_parts->sweptAtStart);
    if (m_parts && m_config.pieceMaxAgeHours > 0) {
      try {
        m_parts->sweeper = std::thread([this] { SweepPeriodically(); });
      } catch (const std::system_error&) {
        Log(UtcNowText() + " cannot start the periodic sweep of old pieces");
      }
    }
    ok = m_parts && m_parts->server.listen_after_bind();
    if (m_parts) {
      m_parts->EndSweeps();
      if (m_parts->sweeper.joinable()) m_parts->sweeper.join();
    }
  }
  m_runEnded = true;
  return ok;
}

void Service::Stop() {
  m_stopRequested = true;
  if (!m_parts) return;
  // Wakes the periodic sweep, and ends one under way after the folder it is at.
  m_parts->EndSweeps();
  // The server only takes a stop while it serves: when Run() has begun but is not serving yet,
  // wait for one or the other.
  while (m_runEntered && !m_runEnded && !m_parts->server.is_running()) std::this_thread::yield();
  m_parts->server.stop();
}

}  // namespace fotrel::service
