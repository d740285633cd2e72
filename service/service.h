// fotrel-service as one object: the data folder, the store, the two SOAP services and the web
// pages on one HTTP server with a thread pool. main() and the tests both run it this way.
#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "service/accounts.h"
#include "service/uploads.h"

namespace fotrel::service {

struct ServiceConfig {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0: any free port (see Service::Bind)
  std::filesystem::path dataFolder = "fotrel-data";
  std::string serviceNamespace;  // empty: the client's default
  HashStrength hashStrength = HashStrength::kInteractive;
  UploadLimits limits;
  unsigned threads = 32;           // connections served at once
  time_t keepAliveSeconds = 10;    // an idle kept-alive connection is closed after this
  // The pieces of an upload whose newest piece is older than this many hours are removed, at
  // start and then every pieceSweepInterval; 0: never.
  unsigned pieceMaxAgeHours = 24;
  std::chrono::milliseconds pieceSweepInterval = std::chrono::hours(1);
  // Tests only: called as a sweep is about to read a user's piece folder, and to lock a piece
  // folder and judge its age.
  std::function<void(const std::filesystem::path&)> beforePieceSweep;
  // Receives one line per request, and one per sweep that removed pieces; null: stderr.
  std::function<void(const std::string&)> log;
};

class Service {
 public:
  explicit Service(ServiceConfig config);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Prepares the data folder and the database and brings them to a consistent state.
  bool Open(std::string* error);
  // Opens the listening socket; returns the port, or -1 (*error says why).
  int Bind(std::string* error);
  // Serves until Stop(); false when the server could not run.
  bool Run();
  // Callable from any thread; Run() returns once the requests in progress are done (and a
  // sweep of old pieces that is under way has stopped).
  void Stop();

  const ServiceConfig& Config() const { return m_config; }

 private:
  struct Parts;
  void Log(const std::string& line);
  size_t SweepPieces();  // the piece folders removed
  void LogSwept(size_t removed);
  void SweepPeriodically();

  ServiceConfig m_config;
  std::unique_ptr<Parts> m_parts;
  // A stop may come before Run() has begun serving (a signal right after start-up): these let
  // neither side miss the other.
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_runEntered{false};
  std::atomic<bool> m_runEnded{false};
};

}  // namespace fotrel::service
