// A small HTTP/1.1 client over plain POSIX sockets for the service's tests: it sends exactly
// the bytes a test gives and reads one response at a time, so tests see the wire as it is.
// Every wait is bounded (10 s).
#pragma once

#include <map>
#include <string>
#include <string_view>

struct HttpReply {
  bool ok = false;  // a complete response was read
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case; repeats joined by ", "
  std::string body;

  std::string Header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
  }
};

class RawConnection {
 public:
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Connected() const { return m_fd >= 0; }
  bool Send(std::string_view bytes);
  // Reads one response: Content-Length, chunked, or up to the end of the connection.
  HttpReply Read();
  // True when the server has closed the connection (reads end of stream within the wait).
  bool ClosedByPeer(int timeoutMs = 10000);
  void Close();

 private:
  bool Fill();  // receives more bytes into m_buffer; false at the end or on an error
  int m_fd = -1;
  std::string m_buffer;
};

// One request on a new connection.
HttpReply Exchange(int port, std::string_view request);
// A request with the headers the project's client sends (and a Host line).
std::string PostRequest(std::string_view path, std::string_view soapAction, std::string_view body,
                        std::string_view contentType = "text/xml; charset=utf-8");
std::string GetRequest(std::string_view target, std::string_view extraHeaders = {});
