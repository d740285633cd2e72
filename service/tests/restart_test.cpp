// The real fotrel-service program, killed in the middle of an upload and started again, keeps
// accounts and photos, loses at most the unfinished file, and drops pieces left for too long;
// its command line.
#include <signal.h>
#include <sys/wait.h>

#include <cstring>

#include "service/options.h"
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
  std::string photo = Pattern(100'000, 1), unfinished = Pattern(200'000, 2), young = Pattern(4200, 3);
  {
    ServiceProcess process(data);
    int port = process.Port();
    ASSERT_GT(port, 0);
    ASSERT_EQ(ResultOf(CreateUser(port, "hana", "pw", "hana@x"), "CreateUser"), "1");
    ASSERT_TRUE(SendFile(port, photo, "p.jpg", "hana"));
    ASSERT_TRUE(SendFile(port, Pattern(300), "gone.jpg", "hana"));
    // Two uploads given up earlier: one a day and an hour ago, one 23 hours ago.
    ASSERT_TRUE(SendFile(port, Pattern(4200, 4), "old.jpg", "hana", nullptr, 0, 5));
    ASSERT_TRUE(SendFile(port, young, "young.jpg", "hana", nullptr, 0, 5));
    ASSERT_TRUE(SendFile(port, unfinished, "q.jpg", "hana", nullptr, 0, 12));
    ASSERT_TRUE(WIFSIGNALED(process.Kill(SIGKILL)));  // without warning, in the middle of the second file
  }
  // What a crash could also leave: a half-written temporary file, a stored file without its
  // record, a record whose file is gone.
  WriteFile(data / "tmp" / "0123.piece", "half");
  WriteFile(data / "uploads" / "hana" / "stray.jpg", "stray bytes");
  fs::remove(data / "uploads" / "hana" / "gone.jpg");
  AgePieces(data / "pieces/hana/old.jpg", 25);
  AgePieces(data / "pieces/hana/young.jpg", 23);

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
  // The pieces older than a day are gone; the unfinished uploads go on where they stopped.
  EXPECT_FALSE(fs::exists(data / "pieces/hana/old.jpg"));
  ASSERT_TRUE(SendFile(port, unfinished, "q.jpg", "hana", nullptr, 13, 20));
  EXPECT_EQ(ReadFile(data / "uploads/hana/q.jpg"), unfinished);
  ASSERT_TRUE(SendFile(port, young, "young.jpg", "hana", nullptr, 6, 20));
  EXPECT_EQ(ReadFile(data / "uploads/hana/young.jpg"), young);
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

TEST_F(Restart, OptionsTakeGoodValuesAndRefuseBadOnesWithTheReason) {
  using fotrel::service::OptionsResult;
  const std::string age = "--piece-max-age expects a number of hours from 0 to 8760 (0: never)";
  const struct {
    std::vector<const char*> args;
    OptionsResult result;
    std::string error;
    unsigned maxAgeHours;
  } cases[] = {
      {{}, OptionsResult::kRun, "", 24},
      {{"--piece-max-age", "0"}, OptionsResult::kRun, "", 0},
      {{"--piece-max-age", "48", "--threads", "4"}, OptionsResult::kRun, "", 48},
      {{"--piece-max-age", "8760"}, OptionsResult::kRun, "", 8760},
      {{"--piece-max-age", "8761"}, OptionsResult::kError, age, 24},
      {{"--piece-max-age", "-1"}, OptionsResult::kError, age, 24},
      {{"--piece-max-age", ""}, OptionsResult::kError, age, 24},
      {{"--piece-max-age", "1.5"}, OptionsResult::kError, age, 24},
      {{"--piece-max-age", "24h"}, OptionsResult::kError, age, 24},
      {{"--piece-max-age", " 24"}, OptionsResult::kError, age, 24},
      {{"--piece-max-age", "99999999999999999999"}, OptionsResult::kError, age, 24},
      {{"--piece-max-age"}, OptionsResult::kError, "--piece-max-age needs a value", 24},
      {{"--threads", "0"}, OptionsResult::kError, "--threads expects a number from 1 to 1024", 24},
      {{"--listen", "8080"}, OptionsResult::kError, "--listen expects ADDR:PORT, not \"8080\"", 24},
      {{"--piece-age", "1"}, OptionsResult::kError, "unknown option --piece-age", 24},
      {{"--piece-max-age", "1", "--help"}, OptionsResult::kHelp, "", 1},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"fotrel-service"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    fotrel::service::ServiceConfig config;
    std::string error;
    std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(fotrel::service::ParseOptions(static_cast<int>(argv.size()), argv.data(), &config, &error), c.result)
        << shown;
    EXPECT_EQ(error, c.error) << shown;
    EXPECT_EQ(config.pieceMaxAgeHours, c.maxAgeHours) << shown;
  }
  // The program says why and how it is used, and ends as for any other usage error.
  // (Bounded: a service that did start would serve until killed.)
  std::string command = "timeout 10 " FOTREL_SERVICE_BINARY " --listen 127.0.0.1:0 --piece-max-age never --data '" +
                        Data().string() + "' --fast-hash 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char block[4096];
  for (size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, n);
  int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(output.substr(0, output.find('\n') + 1), "fotrel-service: " + age + "\n");
  EXPECT_NE(output.find("usage: fotrel-service"), std::string::npos);
  EXPECT_FALSE(fs::exists(Data()));
}
