// A 5,000,000-byte photo through the piece uploader and the Upload client (21 calls) to a
// loopback sink, against the same request bodies POSTed raw over one plain socket.
// Prints both times (median of several rounds) and their ratio.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/upload_sink.h"
#include "upload/piece_uploader.h"
#include "upload/service_piece_client.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchHost : public IUploadHost {
 public:
  explicit BenchHost(std::u16string host) : m_host(std::move(host)) {}
  std::unique_ptr<IPieceClient> CreateClient() override { return std::make_unique<CServicePieceClient>(m_host); }
  // A second of its own for every file: the rounds measure the wire, not a wait for the clock
  // to give a new target name.
  UtcTime NowUtc() override {
    const int n = s_files++;
    return UtcTime{2030, 1, 1 + n / 86400 % 28, n / 3600 % 24, n / 60 % 60, n % 60};
  }

 private:
  std::u16string m_host;
  static inline int s_files = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool ReadAnswer(int fd) {
  std::string data;
  char buffer[4096];
  size_t need = std::string::npos;
  for (;;) {
    size_t head = data.find("\r\n\r\n");
    if (head != std::string::npos && need == std::string::npos) {
      size_t p = data.find("Content-Length: ");
      need = head + 4 + std::strtoull(data.c_str() + p + 16, nullptr, 10);
    }
    if (need != std::string::npos && data.size() >= need) return true;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
  }
}

// The same bodies, each in one gathered send with a minimal header, over one connection.
double RawPost(uint16_t port, const std::vector<std::string>& bodies) {
  const auto start = Clock::now();
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  for (const std::string& body : bodies) {
    std::string head = "POST /WebService/Upload.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n";
    iovec iov[2] = {{&head[0], head.size()}, {const_cast<char*>(body.data()), body.size()}};
    size_t total = head.size() + body.size(), sent = 0;
    while (sent < total) {
      msghdr m{};
      m.msg_iov = iov;
      m.msg_iovlen = 2;
      ssize_t n = sendmsg(fd, &m, MSG_NOSIGNAL);
      if (n <= 0) return -1;
      sent += static_cast<size_t>(n);
      size_t k = static_cast<size_t>(n);
      for (iovec& v : iov) {
        size_t take = std::min(k, v.iov_len);
        v.iov_base = static_cast<char*>(v.iov_base) + take;
        v.iov_len -= take;
        k -= take;
      }
    }
    if (!ReadAnswer(fd)) return -1;
  }
  close(fd);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  char path[] = "/tmp/fotrel-bench-XXXXXX";
  int fd = mkstemp(path);
  std::vector<char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + 7);
  if (fd < 0 || write(fd, bytes.data(), size) != static_cast<ssize_t>(size)) return 1;
  close(fd);

  UploadSink sink(0, true);
  if (!sink.Ok()) return 1;
  const std::string hostText = "127.0.0.1:" + std::to_string(sink.Port());
  const std::u16string host(hostText.begin(), hostText.end());
  const std::string p(path);
  const std::u16string file(p.begin(), p.end());

  std::vector<double> client, raw;
  std::vector<std::string> bodies;
  for (int r = 0; r < rounds; ++r) {
    sink.TakeBodies();
    BenchHost benchHost(host);
    CPieceUploader uploader(benchHost);
    uploader.StartBatch();
    const auto start = Clock::now();
    if (uploader.SendFile(file, u"bench") != FileOutcome::Sent || uploader.PiecesSent() != 21) {
      std::fprintf(stderr, "upload failed\n");
      return 1;
    }
    client.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    bodies = sink.TakeBodies();
    const double t = RawPost(sink.Port(), bodies);
    if (t < 0) return 1;
    raw.push_back(t);
  }
  size_t wire = 0;
  for (const std::string& b : bodies) wire += b.size();
  unlink(path);
  const double c = Median(client), w = Median(raw);
  std::printf("file %zu bytes, 21 calls, %zu body bytes on the wire, median of %d rounds\n", size, wire, rounds);
  std::printf("CUploadT (read, encode, post, parse): %.1f ms  (%.1f MB/s of file)\n", c * 1e3, size / c / 1e6);
  std::printf("raw POST of the same bodies:          %.1f ms\n", w * 1e3);
  std::printf("ratio client/raw: %.2f\n", c / w);
  return 0;
}
