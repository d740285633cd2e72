#include "raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr int kWaitMs = 10000;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

RawConnection::RawConnection(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  timeval timeout{kWaitMs / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return;
  }
  m_fd = fd;
}

RawConnection::~RawConnection() { Close(); }

void RawConnection::Close() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool RawConnection::Send(std::string_view bytes) {
  while (m_fd >= 0 && !bytes.empty()) {
    ssize_t n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return m_fd >= 0;
}

bool RawConnection::Fill() {
  if (m_fd < 0) return false;
  char block[65536];
  ssize_t n = recv(m_fd, block, sizeof block, 0);
  if (n <= 0) return false;
  m_buffer.append(block, static_cast<size_t>(n));
  return true;
}

bool RawConnection::ClosedByPeer(int timeoutMs) {
  if (m_fd < 0) return true;
  pollfd p{m_fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char byte;
  return recv(m_fd, &byte, 1, MSG_PEEK) == 0;
}

HttpReply RawConnection::Read() {
  HttpReply reply;
  for (;;) {
    size_t end;
    while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return reply;
    std::string head = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 4);
    size_t space = head.find(' ');
    if (space == std::string::npos) return reply;
    reply.status = std::atoi(head.c_str() + space + 1);
    reply.headers.clear();
    size_t line = head.find("\r\n");
    while (line != std::string::npos) {
      size_t next = head.find("\r\n", line + 2);
      std::string text = head.substr(line + 2, next == std::string::npos ? std::string::npos
                                                                         : next - line - 2);
      size_t colon = text.find(':');
      if (colon != std::string::npos) {
        std::string name = Lower(text.substr(0, colon));
        std::string value = text.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        std::string& slot = reply.headers[name];
        slot = slot.empty() ? value : slot + ", " + value;
      }
      line = next;
    }
    if (reply.status != 100) break;
  }
  if (Lower(reply.Header("transfer-encoding")) == "chunked") {
    for (;;) {
      size_t eol;
      while ((eol = m_buffer.find("\r\n")) == std::string::npos)
        if (!Fill()) return reply;
      size_t size = std::strtoul(m_buffer.c_str(), nullptr, 16);
      m_buffer.erase(0, eol + 2);
      while (m_buffer.size() < size + 2)
        if (!Fill()) return reply;
      reply.body.append(m_buffer, 0, size);
      m_buffer.erase(0, size + 2);
      if (size == 0) break;
    }
  } else if (reply.headers.count("content-length")) {
    size_t length = std::strtoul(reply.Header("content-length").c_str(), nullptr, 10);
    while (m_buffer.size() < length)
      if (!Fill()) return reply;
    reply.body = m_buffer.substr(0, length);
    m_buffer.erase(0, length);
  } else {
    while (Fill()) {
    }
    reply.body.swap(m_buffer);
  }
  reply.ok = true;
  return reply;
}

HttpReply Exchange(int port, std::string_view request) {
  RawConnection connection(port);
  if (!connection.Send(request)) return {};
  return connection.Read();
}

std::string PostRequest(std::string_view path, std::string_view soapAction, std::string_view body,
                        std::string_view contentType) {
  std::string request = "POST " + std::string(path) + " HTTP/1.1\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (!contentType.empty()) request += "Content-Type: " + std::string(contentType) + "\r\n";
  if (!soapAction.empty()) request += "SOAPAction: " + std::string(soapAction) + "\r\n";
  request += "Accept: text/xml\r\nHost: 127.0.0.1\r\nUser-Agent: Fotrel-Native/1.0\r\n\r\n";
  request += body;
  return request;
}

std::string GetRequest(std::string_view target, std::string_view extraHeaders) {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
         std::string(extraHeaders) + "\r\n";
}
