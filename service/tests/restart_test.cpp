// A restart keeps accounts, photos, orders and web sessions; a crash in the middle of an upload
// loses at most the unfinished file. The crash test runs the real fotrel-service program and
// kills it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "service_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string SessionCookie(const HttpReply& reply) {
  std::string cookie = reply.Header("set-cookie");
  return cookie.substr(0, cookie.find(';'));
}

bool SendPieces(int port, const std::string& photo, const std::string& file, int from, int to) {
  size_t piece = photo.size() / 20;
  for (int n = from; n <= to; ++n) {
    std::string part = n < 20 ? photo.substr(piece * static_cast<size_t>(n), piece)
                              : photo.substr(piece * 20);
    if (ResultOf(UploadFile(port, part, std::to_string(n) + ".jpg", file, n == 20, "hana"),
                 "UploadFile") != "true")
      return false;
  }
  return true;
}

// fotrel-service as a child process on a free port of 127.0.0.1.
class ServiceProcess {
 public:
  explicit ServiceProcess(const fs::path& data) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(pipeFds[1], 2);
      close(pipeFds[0]);
      close(pipeFds[1]);
      std::string folder = data.string();
      execl(FOTREL_SERVICE_BINARY, FOTREL_SERVICE_BINARY, "--listen", "127.0.0.1:0", "--data",
            folder.c_str(), "--fast-hash", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    m_err = pipeFds[0];
    // The first line says where it listens: "...listening on http://127.0.0.1:PORT/ ...".
    std::string line;
    while (line.find('\n') == std::string::npos) {
      pollfd p{m_err, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) return;
      char block[256];
      ssize_t n = read(m_err, block, sizeof block);
      if (n <= 0) return;
      line.append(block, static_cast<size_t>(n));
    }
    size_t at = line.find("127.0.0.1:");
    if (at != std::string::npos) m_port = std::atoi(line.c_str() + at + 10);
  }
  ~ServiceProcess() { Kill(SIGKILL); }
  int Port() const { return m_port; }
  // Sends the signal and waits for the process; returns its exit status.
  int Kill(int signal) {
    int status = -1;
    if (m_pid > 0) {
      kill(m_pid, signal);
      waitpid(m_pid, &status, 0);
      m_pid = -1;
    }
    if (m_err >= 0) close(m_err);
    m_err = -1;
    return status;
  }

 private:
  pid_t m_pid = -1;
  int m_err = -1;
  int m_port = -1;
};

}  // namespace

TEST(Restart, KeepsAccountsPhotosOrdersAndSessions) {
  TempFolder root;
  fs::path data = root.Path() / "data";
  std::string photo = Pattern(2100, 1), unfinished = Pattern(4200, 2);
  std::string cookie;
  {
    RunningService service(data);
    ASSERT_TRUE(service.Started()) << service.Error();
    int port = service.Port();
    ASSERT_EQ(ResultOf(CreateUser(port, "hana", "pw", "hana@x"), "CreateUser"), "1");
    ASSERT_TRUE(UploadWhole(port, photo, "p.jpg", "hana"));
    ASSERT_TRUE(UploadWhole(port, Pattern(300), "gone.jpg", "hana"));
    cookie = SessionCookie(Exchange(port, GetRequest("/Login.aspx?username=hana")));
    ASSERT_FALSE(cookie.empty());
    HttpReply order = Exchange(port, "POST /ShoppingCart.aspx?username=hana HTTP/1.1\r\nHost: x\r\n"
                                     "Content-Type: application/x-www-form-urlencoded\r\n"
                                     "Content-Length: 20\r\n\r\nsize_1=6&qty_1=2&x=y");
    ASSERT_NE(order.body.find("订单已提交"), std::string::npos);
    ASSERT_TRUE(SendPieces(port, unfinished, "q.jpg", 0, 9));
  }
  // What a crash could leave: a half-written temporary file, a stored file without its record,
  // a record whose file is gone.
  WriteFile(data / "tmp" / "0123.piece", "half");
  WriteFile(data / "uploads" / "hana" / "stray.jpg", "stray bytes");
  fs::remove(data / "uploads" / "hana" / "gone.jpg");

  RunningService service(data);
  ASSERT_TRUE(service.Started()) << service.Error();
  int port = service.Port();
  EXPECT_EQ(ResultOf(LoginUser(port, "hana", "pw"), "LoginUser"), "true");
  EXPECT_EQ(ResultOf(CreateUser(port, "hana", "pw", "new@x"), "CreateUser"), "2");
  EXPECT_TRUE(FilesBelow(data / "tmp").empty());
  EXPECT_EQ(ReadFile(data / "uploads/hana/p.jpg"), photo);
  auto photos = Query(data, "SELECT name, size FROM photos ORDER BY name");
  EXPECT_EQ(photos, (std::vector<std::vector<std::string>>{{"p.jpg", "2100"}, {"stray.jpg", "11"}}));
  auto items = Query(data, "SELECT o.id, i.photo_name, i.print_size, i.quantity FROM orders o "
                           "JOIN order_items i ON i.order_id = o.id");
  EXPECT_EQ(items, (std::vector<std::vector<std::string>>{{"1", "p.jpg", "6寸", "2"}}));
  // The session cookie still opens the photo page.
  HttpReply manage = Exchange(port, GetRequest("/PhotoManage.aspx", "Cookie: " + cookie + "\r\n"));
  EXPECT_NE(manage.body.find("p.jpg"), std::string::npos);
  EXPECT_NE(manage.body.find("stray.jpg"), std::string::npos);
  // The unfinished upload goes on where it stopped.
  ASSERT_TRUE(SendPieces(port, unfinished, "q.jpg", 10, 20));
  EXPECT_EQ(ReadFile(data / "uploads/hana/q.jpg"), unfinished);
}

TEST(Restart, ACrashLosesAtMostTheUnfinishedFile) {
  TempFolder root;
  fs::path data = root.Path() / "data";
  std::string done = Pattern(100'000, 3), unfinished = Pattern(200'000, 4);
  {
    ServiceProcess process(data);
    ASSERT_GT(process.Port(), 0);
    ASSERT_EQ(ResultOf(CreateUser(process.Port(), "hana", "pw", "h@x"), "CreateUser"), "1");
    ASSERT_TRUE(UploadWhole(process.Port(), done, "done.jpg", "hana"));
    ASSERT_TRUE(SendPieces(process.Port(), unfinished, "half.jpg", 0, 12));
    // Killed without warning in the middle of the second file.
    int status = process.Kill(SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(status));
  }
  ServiceProcess process(data);
  ASSERT_GT(process.Port(), 0);
  EXPECT_EQ(ResultOf(LoginUser(process.Port(), "hana", "pw"), "LoginUser"), "true");
  EXPECT_EQ(ReadFile(data / "uploads/hana/done.jpg"), done);
  EXPECT_FALSE(fs::exists(data / "uploads/hana/half.jpg"));
  ASSERT_TRUE(SendPieces(process.Port(), unfinished, "half.jpg", 13, 20));
  EXPECT_EQ(ReadFile(data / "uploads/hana/half.jpg"), unfinished);
  // A stop signal ends the program in order.
  int status = process.Kill(SIGTERM);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
