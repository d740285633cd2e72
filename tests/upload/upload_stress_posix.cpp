// The piece uploader against the real reference service behind a proxy that refuses, closes
// and stalls at random. Whatever the uploader reports, the service must hold every file
// reported sent exactly once and byte-identical, a file not sent byte-identical or not at all,
// and nothing else. Seeded (FOTREL_STRESS_SEED repeats a run) and bounded (FOTREL_STRESS_SECONDS,
// 25 by default); runs as its own CTest entry, which names the service program in
// FOTREL_SERVICE_BINARY.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "services/passport.h"
#include "tests/support/chaos_proxy.h"
#include "tests/support/temp_dir.h"
#include "upload/batch_uploader.h"
#include "upload/piece_uploader.h"
#include "upload/service_piece_client.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The client gives up on a wait after this long; the proxy holds a stalled answer longer.
constexpr uint32_t kClientTimeoutMs = 500;
constexpr int kStallMs = 900;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// fotrel-service on 127.0.0.1, a free port, over its own data folder; stopped when this goes.
class ServiceProcess {
 public:
  ServiceProcess(const std::string& binary, const fs::path& data, const fs::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string dataText = data.string();
    const char* argv[] = {binary.c_str(), "--listen", "127.0.0.1:0", "--data", dataText.c_str(), "--fast-hash",
                          nullptr};
    if (posix_spawn(&m_pid, binary.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    // It names the port it got on its first line.
    const std::string prefix = "listening on http://127.0.0.1:";
    for (int i = 0; i < 200 && m_pid > 0 && m_port == 0; ++i) {
      const std::string text = ReadAll(log);
      const size_t at = text.find(prefix);
      if (at != std::string::npos) m_port = static_cast<uint16_t>(std::atoi(text.c_str() + at + prefix.size()));
      if (m_port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~ServiceProcess() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  uint16_t Port() const { return m_port; }

 private:
  pid_t m_pid = -1;
  uint16_t m_port = 0;
};

// Talks to the proxy with short time-outs, notes the target name of every call (one file after
// another) or the report of every file (lanes), and asks the uploader to stop when the run's time
// is up (the files in hand then end as not sent).
class StressHost : public IBatchHost {
 public:
  StressHost(std::u16string proxy, Clock::time_point end) : m_proxy(std::move(proxy)), m_end(end) {}

  std::unique_ptr<IPieceClient> CreateClient() override { return std::make_unique<Client>(*this); }
  // A new second for every file: the names never wait for the clock.
  UtcTime NowUtc() override {
    const int n = m_names++;
    return UtcTime{2039, 7, 1 + n / 86400 % 28, n / 3600 % 24, n / 60 % 60, n % 60};
  }
  bool ShouldStop() override { return Clock::now() >= m_end; }
  void OnFileDone(const FileReport& report) override { reports.push_back(report); }
  // Notes the name of every call, for batches of one file after another.
  void OneAfterAnother(bool on) { m_oneAfterAnother = on; }

  std::u16string fileName;  // of the last call, when one file goes after another
  std::atomic<int> calls{0};
  std::vector<FileReport> reports;

 private:
  struct Client : IPieceClient {
    explicit Client(StressHost& host) : host(host), service(host.m_proxy) { service.SetTimeout(kClientTimeoutMs); }
    bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                     bool isCompleted, const char16_t* userName) override {
      if (host.m_oneAfterAnother) host.fileName = fileName;
      ++host.calls;
      return service.UploadPiece(bytes, size, pieceName, fileName, isCompleted, userName);
    }
    void SetStopSignal(const CStopSignal* signal) override { service.SetStopSignal(signal); }
    StressHost& host;
    CServicePieceClient service;
  };

  std::u16string m_proxy;
  Clock::time_point m_end;
  std::atomic<int> m_names{0};
  bool m_oneAfterAnother = true;
};

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? std::strtoull(value, nullptr, 10) : fallback;
}

TEST(UploadStress, EverySentFileIsStoredOnceAndByteIdenticalThroughRefusalsClosesAndStalls) {
  const char* binary = std::getenv("FOTREL_SERVICE_BINARY");
  if (binary == nullptr || *binary == 0) GTEST_SKIP() << "FOTREL_SERVICE_BINARY is not set";
  const uint64_t seed = EnvNumber("FOTREL_STRESS_SEED", std::random_device{}());
  const uint64_t seconds = std::min<uint64_t>(EnvNumber("FOTREL_STRESS_SECONDS", 25), 600);
  std::printf("upload stress: FOTREL_STRESS_SEED=%llu, %llu s\n", static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(seconds));
  std::fflush(stdout);
  RecordProperty("seed", std::to_string(seed));

  TempDir dir;
  const fs::path data = dir.Path() / "data";
  ServiceProcess service(binary, data, dir.Path() / "service.log");
  ASSERT_NE(service.Port(), 0) << ReadAll(dir.Path() / "service.log");
  const std::string serviceHost = "127.0.0.1:" + std::to_string(service.Port());
  const std::u16string user = U16("stress" + std::to_string(getpid()));
  int32_t created = 0;
  ASSERT_EQ(Passport::CPassportT(U16(serviceHost)).CreateUser(user.c_str(), u"pw-stress", u"s@t.cn", &created), 0);
  ASSERT_EQ(created, 1);

  std::vector<std::vector<uint8_t>> contents;
  std::vector<std::u16string> paths;
  for (size_t size : {size_t(20), size_t(39), size_t(1000), size_t(65537), size_t(250000), size_t(400003)}) {
    contents.push_back(PatternBytes(size, static_cast<uint8_t>(seed + contents.size())));
    paths.push_back(dir.Write("p" + std::to_string(size) + ".jpg", contents.back()).u16string());
  }

  // Three calls in ten go wrong, in every way the proxy knows, so that some batches reach their
  // 51st failed call. Half of the last calls lose their answer after the service has had them:
  // the client must send them again, and the service must not store the file twice.
  ChaosProxy::Odds odds{};
  odds[ChaosProxy::kRefuse503] = 5;
  odds[ChaosProxy::kRefuseFault] = 5;
  odds[ChaosProxy::kCloseBefore] = 6;
  odds[ChaosProxy::kCloseAfterForward] = 7;
  odds[ChaosProxy::kCloseInAnswer] = 5;
  odds[ChaosProxy::kStall] = 2;
  ChaosProxy::Odds lastCallOdds{};
  lastCallOdds[ChaosProxy::kCloseAfterForward] = 25;
  lastCallOdds[ChaosProxy::kCloseInAnswer] = 15;
  lastCallOdds[ChaosProxy::kStall] = 10;
  auto proxy = std::make_unique<ChaosProxy>(service.Port(), seed, odds, lastCallOdds, kStallMs);

  struct Attempt {
    size_t file;
    std::u16string name;  // empty when no call was made
    FileOutcome outcome;
  };
  std::vector<Attempt> attempts;
  const auto start = Clock::now();
  StressHost host(proxy->Host(), start + std::chrono::seconds(seconds));
  // Every other batch goes over 2 to 4 lanes.
  std::mt19937_64 lanesChoice(seed);
  CPieceUploader uploader(host);
  CBatchUploader lanes(host);
  int batches = 0, laneBatches = 0;
  while (!host.ShouldStop()) {
    ++batches;
    if (batches % 2 == 0) {
      ++laneBatches;
      host.OneAfterAnother(false);
      host.reports.clear();
      lanes.SetLanes(2 + static_cast<int>(lanesChoice() % 3));
      lanes.Run(paths, user);
      for (const FileReport& r : host.reports) attempts.push_back({r.index, r.targetName, r.outcome});
      continue;
    }
    host.OneAfterAnother(true);
    uploader.StartBatch();
    for (size_t f = 0; f < paths.size(); ++f) {
      host.fileName.clear();
      const FileOutcome outcome = uploader.SendFile(paths[f], user);
      attempts.push_back({f, host.fileName, outcome});
      if (outcome != FileOutcome::Sent) break;
    }
  }
  const std::array<int, ChaosProxy::kActs> acts = proxy->Counts();
  // Every forwarded request has had its answer once the proxy's connections are gone.
  proxy.reset();

  int sent = 0, tooManyFailures = 0;
  std::map<std::u16string, const Attempt*> byName;
  for (const Attempt& a : attempts) {
    sent += a.outcome == FileOutcome::Sent ? 1 : 0;
    tooManyFailures += a.outcome == FileOutcome::TooManyFailures ? 1 : 0;
    if (a.name.empty()) continue;
    EXPECT_TRUE(byName.emplace(a.name, &a).second) << "two files were given " << Ascii(a.name);
  }
  std::set<std::u16string> stored;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(data / "uploads" / Ascii(user), error)) {
    const std::u16string name = U16(entry.path().filename().string());
    stored.insert(name);
    auto it = byName.find(name);
    if (it == byName.end()) {
      ADD_FAILURE() << "the service stored " << Ascii(name) << ", a name no file was sent under (a duplicate?)";
      continue;
    }
    const std::string text = ReadAll(entry.path());
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    const std::vector<uint8_t>& source = contents[it->second->file];
    const auto differ = std::mismatch(source.begin(), source.end(), bytes.begin(), bytes.end());
    EXPECT_TRUE(differ.first == source.end() && differ.second == bytes.end())
        << Ascii(name) << ": " << bytes.size() << " bytes stored for a file of " << source.size()
        << ", first difference at byte " << (differ.first - source.begin());
  }
  EXPECT_FALSE(error) << error.message();
  for (const Attempt& a : attempts) {
    if (a.outcome == FileOutcome::Sent) {
      EXPECT_EQ(stored.count(a.name), 1u) << "reported sent but not stored: " << Ascii(a.name);
    }
  }
  for (const auto& entry : fs::directory_iterator(data / "uploads", error)) {
    EXPECT_EQ(entry.path().filename().string(), Ascii(user)) << "a folder of another user appeared";
  }

  std::printf("upload stress: %d batches (%d over lanes), %zu files tried, %d sent, %d ended by the 51st failed call, %zu stored, "
              "%d calls in %.1f s;",
              batches, laneBatches, attempts.size(), sent, tooManyFailures, stored.size(), host.calls.load(),
              std::chrono::duration<double>(Clock::now() - start).count());
  for (int act = 0; act < ChaosProxy::kActs; ++act) std::printf(" %s %d,", ChaosProxy::Name(act), acts[act]);
  std::printf("\n");
  EXPECT_GT(sent, 0);
}

// The reference service as the peer of N lanes: every photo arrives byte-identical, and the
// service's request log shows each photo's pieces 0 to 20 once each, in order.
TEST(UploadStress, LanesDeliverEveryPhotoByteIdenticalWithItsPiecesInOrder) {
  const char* binary = std::getenv("FOTREL_SERVICE_BINARY");
  if (binary == nullptr || *binary == 0) GTEST_SKIP() << "FOTREL_SERVICE_BINARY is not set";
  TempDir dir;
  const fs::path data = dir.Path() / "data";
  const fs::path log = dir.Path() / "service.log";
  ServiceProcess service(binary, data, log);
  ASSERT_NE(service.Port(), 0) << ReadAll(log);
  const std::u16string serviceHost = U16("127.0.0.1:" + std::to_string(service.Port()));

  struct Host : IBatchHost {
    explicit Host(std::u16string service) : service(std::move(service)) {}
    std::unique_ptr<IPieceClient> CreateClient() override { return std::make_unique<CServicePieceClient>(service); }
    void OnFileDone(const FileReport& report) override { reports.push_back(report); }
    std::u16string service;
    std::vector<FileReport> reports;
  };
  std::vector<std::vector<uint8_t>> contents;
  std::vector<std::u16string> paths;
  for (size_t size : {size_t(20), size_t(39), size_t(1000), size_t(65537), size_t(250000), size_t(400003),
                      size_t(777), size_t(120021), size_t(20), size_t(333333)}) {
    contents.push_back(PatternBytes(size, static_cast<uint8_t>(contents.size())));
    paths.push_back(dir.Write("p" + std::to_string(contents.size()) + ".jpg", contents.back()).u16string());
  }
  for (int lanes : {CBatchUploader::DefaultLanes(), CBatchUploader::kMaxLanes}) {
    SCOPED_TRACE("lanes " + std::to_string(lanes));
    const std::string user = "lanes" + std::to_string(lanes);
    int32_t created = 0;
    ASSERT_EQ(Passport::CPassportT(serviceHost).CreateUser(U16(user).c_str(), u"pw-lanes", U16(user + "@t.cn").c_str(),
                                                          &created),
              0);
    ASSERT_EQ(created, 1);
    Host host(serviceHost);
    CBatchUploader uploader(host);
    uploader.SetLanes(lanes);
    const BatchResult result = uploader.Run(paths, U16(user));
    ASSERT_EQ(result.end, FileOutcome::Sent);
    ASSERT_EQ(host.reports.size(), paths.size());
    for (const FileReport& report : host.reports) {
      EXPECT_TRUE(ReadAll(data / "uploads" / user / Ascii(report.targetName)) ==
                  std::string(contents[report.index].begin(), contents[report.index].end()))
          << "photo " << report.index << " as " << Ascii(report.targetName);
    }

    // Each request's line is written after its answer: wait until all are there.
    const std::string marker = "UploadFile user=\"" + user + "\"";
    std::vector<std::string> lines;
    for (int i = 0; i < 250; ++i) {
      lines.clear();
      std::istringstream text(ReadAll(log));
      for (std::string line; std::getline(text, line);) {
        if (line.find(marker) != std::string::npos) lines.push_back(line);
      }
      if (lines.size() >= 21 * paths.size()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(lines.size(), 21 * paths.size());
    std::map<std::string, std::vector<int>> piecesOf;
    int interleaved = 0;  // lines of one photo between the first and last line of another
    std::string previousFile;
    for (const std::string& line : lines) {
      const size_t file = line.find(" file=\"");
      const size_t piece = line.find(" piece=\"");
      ASSERT_TRUE(file != std::string::npos && piece != std::string::npos) << line;
      const std::string name = line.substr(file + 7, line.find('"', file + 7) - file - 7);
      piecesOf[name].push_back(std::atoi(line.c_str() + piece + 8));
      EXPECT_NE(line.find("-> true"), std::string::npos) << line;
      if (!previousFile.empty() && name != previousFile && piecesOf[previousFile].size() < 21) ++interleaved;
      previousFile = name;
    }
    ASSERT_EQ(piecesOf.size(), paths.size());
    std::vector<int> inOrder(21);
    for (int n = 0; n < 21; ++n) inOrder[static_cast<size_t>(n)] = n;
    for (const auto& entry : piecesOf) EXPECT_EQ(entry.second, inOrder) << entry.first;
    std::printf("[          ] %d lanes: %d changes between unfinished photos in the service's log\n", lanes,
                interleaved);
  }
}

}  // namespace
