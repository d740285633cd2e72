#include "bench/upload_sink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

const std::string kAnswerBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><UploadFileResponse "
    "xmlns=\"http://tempuri.org/\"><UploadFileResult>true</UploadFileResult></UploadFileResponse></soap:Body>"
    "</soap:Envelope>";
const std::string kAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
                            std::to_string(kAnswerBody.size()) + "\r\n\r\n" + kAnswerBody;

size_t ContentLength(const std::string& head) {
  for (size_t p = 0; (p = head.find("\r\n", p)) != std::string::npos;) {
    p += 2;
    if (strncasecmp(head.c_str() + p, "content-length:", 15) == 0) return std::strtoull(head.c_str() + p + 15, nullptr, 10);
  }
  return 0;
}

}  // namespace

UploadSink::UploadSink(uint16_t port, bool record) : m_record(record) {
  m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(m_listen, 64) != 0) {
    close(m_listen);
    m_listen = -1;
    return;
  }
  socklen_t len = sizeof a;
  getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
  m_port = ntohs(a.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
}

UploadSink::~UploadSink() {
  m_stop = true;
  if (m_listen >= 0) shutdown(m_listen, SHUT_RDWR);
  {
    std::lock_guard<std::mutex> g(m_lock);
    for (int fd : m_connections) shutdown(fd, SHUT_RDWR);
  }
  if (m_acceptor.joinable()) m_acceptor.join();
  for (std::thread& t : m_threads) t.join();
  if (m_listen >= 0) close(m_listen);
}

std::vector<std::string> UploadSink::TakeBodies() {
  std::lock_guard<std::mutex> g(m_lock);
  return std::move(m_bodies);
}

void UploadSink::AcceptLoop() {
  while (!m_stop) {
    pollfd p{m_listen, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> g(m_lock);
    m_connections.push_back(fd);
    m_threads.emplace_back([this, fd] { Serve(fd); });
  }
}

void UploadSink::Serve(int fd) {
  std::string data;
  char buffer[65536];
  for (;;) {
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      data.append(buffer, static_cast<size_t>(n));
    }
    const size_t total = headEnd + 4 + ContentLength(data.substr(0, headEnd + 2));
    while (data.size() < total) {
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      data.append(buffer, static_cast<size_t>(n));
    }
    if (m_record) {
      std::lock_guard<std::mutex> g(m_lock);
      m_bodies.push_back(data.substr(headEnd + 4, total - headEnd - 4));
    }
    data.erase(0, total);
    ++m_requests;
    if (send(fd, kAnswer.data(), kAnswer.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(kAnswer.size())) return;
  }
}
