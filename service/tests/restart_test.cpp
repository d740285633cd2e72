// The real fotrel-service program, killed in the middle of an upload and started again, keeps
// accounts and photos and loses at most the unfinished file.
#include <signal.h>
#include <sys/wait.h>

#include <cstring>

#include "service_fixture.h"

namespace {

// fotrel-service as a child process on a free port of 127.0.0.1: the shell tells its process id
// and becomes the program, whose first line says where it listens.
class ServiceProcess {
 public:
  explicit ServiceProcess(const fs::path& data) {
    std::string command = "exec 2>&1; echo $$; exec " FOTREL_SERVICE_BINARY " --listen 127.0.0.1:0 --data '" +
                          data.string() + "' --fast-hash";
    m_pipe = popen(command.c_str(), "r");
    char line[512];
    if (m_pipe && std::fgets(line, sizeof line, m_pipe)) m_pid = std::atoi(line);
    const char* at = m_pid > 0 && std::fgets(line, sizeof line, m_pipe) ? std::strstr(line, "127.0.0.1:") : nullptr;
    if (at) m_port = std::atoi(at + 10);
  }
  ~ServiceProcess() { Kill(SIGKILL); }
  int Port() const { return m_port; }
  int Kill(int signal) {  // the exit status
    if (m_pid > 0) kill(m_pid, signal);
    int status = m_pipe ? pclose(m_pipe) : -1;
    m_pipe = nullptr;
    m_pid = -1;
    return status;
  }

 private:
  FILE* m_pipe = nullptr;
  pid_t m_pid = -1;
  int m_port = -1;
};

class Restart : public ServiceTest {
  void SetUp() override {}  // the program itself runs here
};

TEST_F(Restart, AKilledServiceLosesAtMostTheUnfinishedFileAndKeepsTheRest) {
  fs::path data = Data();
  std::string photo = Pattern(100'000, 1), unfinished = Pattern(200'000, 2);
  {
    ServiceProcess process(data);
    int port = process.Port();
    ASSERT_GT(port, 0);
    ASSERT_EQ(ResultOf(CreateUser(port, "hana", "pw", "hana@x"), "CreateUser"), "1");
    ASSERT_TRUE(SendFile(port, photo, "p.jpg", "hana"));
    ASSERT_TRUE(SendFile(port, Pattern(300), "gone.jpg", "hana"));
    ASSERT_TRUE(SendFile(port, unfinished, "q.jpg", "hana", nullptr, 0, 12));
    ASSERT_TRUE(WIFSIGNALED(process.Kill(SIGKILL)));  // without warning, in the middle of the second file
  }
  // What a crash could also leave: a half-written temporary file, a stored file without its
  // record, a record whose file is gone.
  WriteFile(data / "tmp" / "0123.piece", "half");
  WriteFile(data / "uploads" / "hana" / "stray.jpg", "stray bytes");
  fs::remove(data / "uploads" / "hana" / "gone.jpg");

  ServiceProcess process(data);
  int port = process.Port();
  ASSERT_GT(port, 0);
  EXPECT_EQ(ResultOf(LoginUser(port, "hana", "pw"), "LoginUser"), "true");
  EXPECT_EQ(ResultOf(CreateUser(port, "hana", "pw", "new@x"), "CreateUser"), "2");
  EXPECT_TRUE(FilesBelow(data / "tmp").empty());
  EXPECT_FALSE(fs::exists(data / "uploads/hana/q.jpg"));
  EXPECT_EQ(ReadFile(data / "uploads/hana/p.jpg"), photo);
  EXPECT_EQ(Query(data, "SELECT name, size FROM photos ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"p.jpg", "100000"}, {"stray.jpg", "11"}}));
  // The unfinished upload goes on where it stopped.
  ASSERT_TRUE(SendFile(port, unfinished, "q.jpg", "hana", nullptr, 13, 20));
  EXPECT_EQ(ReadFile(data / "uploads/hana/q.jpg"), unfinished);
  int status = process.Kill(SIGTERM);  // a stop signal ends the program in order
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

TEST_F(Restart, ASecondServiceOnABusyPortIsRefused) {
  ServiceProcess first(Data());
  ASSERT_GT(first.Port(), 0);
  // (Bounded: a service that did start would serve until killed.)
  std::string command = "timeout 10 " FOTREL_SERVICE_BINARY " --listen 127.0.0.1:" + std::to_string(first.Port()) + " --data '" +
                        (Data() / "second").string() + "' --fast-hash >/dev/null 2>&1";
  int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;  // 124: it ran
}
