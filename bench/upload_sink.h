// A minimal loopback HTTP peer for benchmarks: reads each request whole and answers every one
// with an UploadFileResponse of true, keeping the connection open.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class UploadSink {
 public:
  // Port 0 picks a free one. With `record`, request bodies are kept for TakeBodies.
  explicit UploadSink(uint16_t port = 0, bool record = false);
  ~UploadSink();
  uint16_t Port() const { return m_port; }
  size_t Requests() const { return m_requests.load(); }
  std::vector<std::string> TakeBodies();
  bool Ok() const { return m_listen >= 0; }

 private:
  void AcceptLoop();
  void Serve(int fd);

  int m_listen = -1;
  uint16_t m_port = 0;
  bool m_record;
  std::atomic<bool> m_stop{false};
  std::atomic<size_t> m_requests{0};
  std::mutex m_lock;
  std::vector<std::string> m_bodies;
  std::vector<std::thread> m_threads;
  std::vector<int> m_connections;
  std::thread m_acceptor;
};
