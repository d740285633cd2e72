#include "upload/batch_uploader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/stop_signal.h"
#include "tests/net/net_test_util.h"
#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "upload/service_piece_client.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every clock of these tests stands here, so the k-th photo of a batch gets the k-th name of
// a fresh name set.
constexpr UtcTime kNow{2041, 3, 14, 15, 9, 26};

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// The names a fresh set gives one photo after another while the clock stands at kNow.
std::vector<std::u16string> NamesInOrder(int count) {
  struct StillClock : INameClock {
    UtcTime NowUtc() override { return kNow; }
    bool Pause(uint32_t) override { return false; }
  } clock;
  CTargetNames names;
  std::vector<std::u16string> taken(static_cast<size_t>(count));
  for (std::u16string& name : taken) EXPECT_EQ(names.Take(clock, &name), CTargetNames::Result::Named);
  return taken;
}

// Polls `done` for at most 5 s (a bound only a hang reaches).
bool WaitFor(const std::function<bool()>& done) {
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const size_t start = text.find(open);
  if (start == std::string::npos) return std::string();
  const size_t end = text.find(close, start + open.size());
  return end == std::string::npos ? std::string() : text.substr(start + open.size(), end - start - open.size());
}

struct Call {
  std::u16string fileName, pieceName;
  std::vector<uint8_t> bytes;
  bool isCompleted;
};

// The host of the batch: records the calls (made on the lanes) and the events (which must all
// come on the thread that runs the batch, one at a time), counts the live piece buffers.
class LaneHost : public IBatchHost {
 public:
  // Answers a call on a lane; `stop` is the stop signal the batch gave that lane's client.
  std::function<bool(const Call& call, const CStopSignal* stop)> answer = [](const Call&, const CStopSignal*) {
    return true;
  };
  // A socket client for the calls instead of the recording one, waiting this long before each
  // call but the first, as a slow photo source would.
  std::u16string serviceHost;
  int callPauseMs = 0;
  std::atomic<bool> stop{false};

  std::unique_ptr<IPieceClient> CreateClient() override {
    if (!serviceHost.empty()) return std::make_unique<PausingClient>(serviceHost, callPauseMs);
    return std::make_unique<Client>(*this);
  }
  UtcTime NowUtc() override { return kNow; }
  bool Pause(uint32_t) override { return !stop; }  // the retry pauses are not waited here
  bool ShouldStop() override {
    OnRunThread();
    return stop;
  }
  std::unique_ptr<uint8_t[]> AllocatePiece(uint32_t bytes) override {
    const int now = ++liveBuffers;
    int seen = mostLiveBuffers;
    while (now > seen && !mostLiveBuffers.compare_exchange_weak(seen, now)) {
    }
    return IUploadHost::AllocatePiece(bytes);
  }
  void ReleasePiece(std::unique_ptr<uint8_t[]>) override { --liveBuffers; }

  void OnBatchProgress(const BatchProgress& p) override {
    Event event(*this);
    if (!progress.empty()) {
      EXPECT_GE(p.bytesAccepted, progress.back().bytesAccepted);
      EXPECT_GE(p.filesSent, progress.back().filesSent);
    }
    progress.push_back(p);
  }
  void OnFileDone(const FileReport& report) override {
    Event event(*this);
    reports.push_back(report);
    if (onFileDone) onFileDone(report);
  }
  void OnBatchEnd(const BatchResult& result) override {
    Event event(*this);
    ++ends;
    EXPECT_EQ(result.progress.bytesAccepted, progress.back().bytesAccepted);
  }

  // The calls of one photo, in the order they were made.
  std::vector<Call> CallsOf(const std::u16string& fileName) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Call> of;
    for (const Call& c : m_calls) {
      if (c.fileName == fileName) of.push_back(c);
    }
    return of;
  }
  size_t CallCount() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls.size();
  }

  std::thread::id runThread = std::this_thread::get_id();
  std::function<void(const FileReport&)> onFileDone;
  std::vector<BatchProgress> progress;
  std::vector<FileReport> reports;
  int ends = 0;
  std::atomic<int> liveBuffers{0};
  std::atomic<int> mostLiveBuffers{0};

 private:
  struct PausingClient : IPieceClient {
    PausingClient(const std::u16string& host, int pauseMs) : inner(host), pauseMs(pauseMs) {}
    bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                     bool isCompleted, const char16_t* userName) override {
      if (calls++ > 0 && pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
      return inner.UploadPiece(bytes, size, pieceName, fileName, isCompleted, userName);
    }
    void SetStopSignal(const CStopSignal* signal) override { inner.SetStopSignal(signal); }
    CServicePieceClient inner;
    int pauseMs;
    int calls = 0;
  };

  struct Client : IPieceClient {
    explicit Client(LaneHost& host) : host(host) {}
    bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                     bool isCompleted, const char16_t*) override {
      Call call{fileName, pieceName, std::vector<uint8_t>(bytes, bytes + size), isCompleted};
      {
        std::lock_guard<std::mutex> lock(host.m_lock);
        host.m_calls.push_back(call);
      }
      return host.answer(call, stop);
    }
    void SetStopSignal(const CStopSignal* signal) override { stop = signal; }
    LaneHost& host;
    const CStopSignal* stop = nullptr;
  };

  // Marks an event: on the run's thread, never inside another one.
  struct Event {
    explicit Event(LaneHost& host) : host(host) {
      host.OnRunThread();
      EXPECT_FALSE(host.m_inEvent.exchange(true)) << "an event came during another one";
    }
    ~Event() { host.m_inEvent = false; }
    LaneHost& host;
  };
  void OnRunThread() { EXPECT_EQ(std::this_thread::get_id(), runThread) << "called on a lane"; }

  std::mutex m_lock;
  std::vector<Call> m_calls;
  std::atomic<bool> m_inEvent{false};
};

// N lanes, N photos at once: each photo's 21 calls in order with the file's bytes, the names in
// the batch's order, every event on the caller's thread, one piece buffer per lane.
TEST(BatchUploader, LanesSendEveryPhotoWholeWithItsPiecesInOrderAndOneBufferEach) {
  for (int lanes : {1, 2, 4, 8}) {
    for (int files : {3, 9}) {
      SCOPED_TRACE("lanes " + std::to_string(lanes) + ", photos " + std::to_string(files));
      TempDir dir;
      std::vector<std::u16string> paths;
      std::vector<std::vector<uint8_t>> contents;
      uint64_t total = 0;
      for (int k = 0; k < files; ++k) {
        contents.push_back(PatternBytes(20 + static_cast<size_t>(k) * 1237, static_cast<uint8_t>(k)));
        total += contents.back().size();
        paths.push_back(dir.Write("p" + std::to_string(k) + ".jpg", contents.back()).u16string());
      }
      LaneHost host;
      // A photo's first call waits until as many photos have begun as there are lanes, so that
      // every lane is busy at once.
      const int together = std::min(lanes, files);
      std::atomic<int> begun{0}, inFlight{0}, mostInFlight{0};
      host.answer = [&](const Call& call, const CStopSignal*) {
        if (call.pieceName == u"0.jpg") {
          const int now = ++inFlight;
          int seen = mostInFlight;
          while (now > seen && !mostInFlight.compare_exchange_weak(seen, now)) {
          }
          ++begun;
          EXPECT_TRUE(WaitFor([&] { return begun >= together; }));
        }
        if (call.isCompleted) --inFlight;
        return true;
      };
      CTargetNames names;
      CBatchUploader uploader(host, names);
      uploader.SetLanes(lanes);
      const BatchResult result = uploader.Run(paths, u"用户");

      EXPECT_EQ(result.end, FileOutcome::Sent);
      EXPECT_EQ(result.endingFile, static_cast<size_t>(files));
      EXPECT_EQ(result.sent, std::vector<bool>(static_cast<size_t>(files), true));
      EXPECT_EQ(result.piecesSent, 21 * files);
      EXPECT_EQ(result.failedCalls, 0);
      EXPECT_EQ(mostInFlight, together);
      EXPECT_EQ(host.mostLiveBuffers, together);
      EXPECT_EQ(host.liveBuffers, 0);
      EXPECT_EQ(host.ends, 1);
      ASSERT_EQ(host.reports.size(), static_cast<size_t>(files));
      ASSERT_FALSE(host.progress.empty());
      EXPECT_EQ(host.progress.front().bytesAccepted, 0u);
      EXPECT_EQ(host.progress.back().bytesAccepted, total);
      EXPECT_EQ(host.progress.back().bytesTotal, total);
      EXPECT_EQ(host.progress.back().filesSent, static_cast<size_t>(files));
      EXPECT_EQ(host.CallCount(), static_cast<size_t>(21 * files));

      const std::vector<std::u16string> expectedNames = NamesInOrder(files);
      for (const FileReport& report : host.reports) {
        SCOPED_TRACE("photo " + std::to_string(report.index));
        EXPECT_EQ(report.outcome, FileOutcome::Sent);
        EXPECT_EQ(report.targetName, expectedNames[report.index]);
        const std::vector<Call> calls = host.CallsOf(report.targetName);
        ASSERT_EQ(calls.size(), 21u);
        std::vector<uint8_t> joined;
        for (size_t n = 0; n < calls.size(); ++n) {
          const std::string piece = std::to_string(n) + ".jpg";
          EXPECT_EQ(calls[n].pieceName, std::u16string(piece.begin(), piece.end()));
          EXPECT_EQ(calls[n].isCompleted, n == 20);
          joined.insert(joined.end(), calls[n].bytes.begin(), calls[n].bytes.end());
        }
        EXPECT_TRUE(joined == contents[report.index]);
      }
    }
  }
}

// A photo that cannot go, found while the photos before it are still on their lanes: those go
// on to their end and are sent; no photo after it starts.
TEST(BatchUploader, ABadPhotoLetsThePhotosInFlightFinishAndStartsNoOther) {
  const struct {
    const char* what;
    size_t badSize;  // 0: the photo is missing
    FileOutcome outcome;
  } cases[] = {
      {"a missing photo", 0, FileOutcome::CannotOpen},
      {"a photo of 19 bytes", 19, FileOutcome::TooSmall},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<std::u16string> paths;
    for (int k = 0; k < 5; ++k) {
      const std::string name = "p" + std::to_string(k) + ".jpg";
      if (k == 2 && c.badSize == 0) {
        paths.push_back((dir.Path() / name).u16string());
      } else {
        paths.push_back(dir.Write(name, PatternBytes(k == 2 ? c.badSize : 400, static_cast<uint8_t>(k))).u16string());
      }
    }
    LaneHost host;
    std::atomic<bool> badReported{false};
    host.onFileDone = [&](const FileReport& report) {
      if (report.index == 2) badReported = true;
    };
    // Photos 0 and 1 hold their first calls until the host has heard of photo 2's end.
    host.answer = [&](const Call& call, const CStopSignal*) {
      if (call.pieceName == u"0.jpg") {
        EXPECT_TRUE(WaitFor([&] { return badReported.load(); }));
      }
      return true;
    };
    CTargetNames names;
    CBatchUploader uploader(host, names);
    uploader.SetLanes(3);
    const BatchResult result = uploader.Run(paths, u"u");

    EXPECT_EQ(result.end, c.outcome);
    EXPECT_EQ(result.endingFile, 2u);
    EXPECT_EQ(result.sent, (std::vector<bool>{true, true, false, false, false}));
    ASSERT_EQ(host.reports.size(), 3u);
    EXPECT_EQ(host.reports[0].index, 2u);
    EXPECT_EQ(host.reports[0].outcome, c.outcome);
    EXPECT_TRUE(host.reports[0].targetName.empty());
    // Only photos 0 and 1 were named and sent.
    const std::vector<std::u16string> expected = NamesInOrder(2);
    EXPECT_EQ(host.CallsOf(expected[0]).size(), 21u);
    EXPECT_EQ(host.CallsOf(expected[1]).size(), 21u);
    EXPECT_EQ(host.CallCount(), 42u);
    EXPECT_EQ(host.progress.back().filesSent, 2u);
  }
}

// Against a real socket: the server refuses every call for the second photo's name. Photo 0 is
// sent before; photo 2 is on the other lane when the 51st refusal comes, its call is cut (not
// counted), and photos 3 and 4 never start.
TEST(BatchUploader, AServerThatRefusesOnePhotoEndsEveryLaneAtTheFiftyFirstFailedCall) {
  using namespace servicetest;
  const std::vector<std::u16string> names = NamesInOrder(5);
  std::atomic<bool> thirdBegun{false};
  ScriptedServer server([&](TestConnection& connection, int) {
    std::string request;
    while (connection.ReadRequest(&request)) {
      const std::string file = Between(request, "<FileName>", "</FileName>");
      if (file == Ascii(names[2])) {
        // No answer: the batch's stop ends the call, and the client closes.
        thirdBegun = true;
        connection.ReadRequest(&request, 10000);
        return;
      }
      const bool refused = file == Ascii(names[1]);
      if (refused && !WaitFor([&] { return thirdBegun.load(); })) return;
      if (!connection.Send(Http("200 OK", Result("UploadFile", refused ? "false" : "true")))) return;
    }
  });
  TempDir dir;
  std::vector<std::u16string> paths;
  for (int k = 0; k < 5; ++k) {
    paths.push_back(dir.Write("p" + std::to_string(k) + ".jpg", PatternBytes(100, static_cast<uint8_t>(k))).u16string());
  }
  LaneHost host;
  host.serviceHost = server.Host();
  CTargetNames nameSet;
  CBatchUploader uploader(host, nameSet);
  uploader.SetLanes(2);
  const auto start = Clock::now();
  const BatchResult result = uploader.Run(paths, u"u");
  std::printf("[          ] the 51st refusal ended the batch %.0f ms after its start\n",
              std::chrono::duration<double, std::milli>(Clock::now() - start).count());

  EXPECT_EQ(result.end, FileOutcome::TooManyFailures);
  EXPECT_EQ(result.endingFile, 1u);
  EXPECT_EQ(result.failedCalls, 51);
  EXPECT_EQ(result.piecesSent, 21);
  EXPECT_EQ(result.sent, (std::vector<bool>{true, false, false, false, false}));
  std::map<std::string, int> requestsOf;
  for (const std::string& request : server.Requests()) ++requestsOf[Between(request, "<FileName>", "</FileName>")];
  EXPECT_EQ(requestsOf[Ascii(names[0])], 21);
  EXPECT_EQ(requestsOf[Ascii(names[1])], 51);
  EXPECT_EQ(requestsOf[Ascii(names[2])], 1);
  EXPECT_EQ(requestsOf.size(), 3u) << "a photo started after the batch's end";
  ASSERT_EQ(host.reports.size(), 3u);
  for (const FileReport& report : host.reports) {
    EXPECT_EQ(report.outcome, report.index == 0 ? FileOutcome::Sent : FileOutcome::TooManyFailures);
    EXPECT_EQ(report.failedCalls, report.index == 1 ? 51 : 0);
  }
}

// Servers that drop the connection after each answer make every call after a photo's first go on
// a fresh connection: 60 calls of a 3-photo batch that once failed and were counted (more than
// the 50 a batch may fail) now go through uncounted, and the batch is reported as sent.
TEST(BatchUploader, ABatchWhoseCallsGoOnFreshConnectionsIsSentWithNoFailedCall) {
  using namespace servicetest;
  const std::string answer = Http("200 OK", Result("UploadFile", "true"));
  const struct {
    const char* what;
    ScriptedServer::Script script;
    int callPauseMs;
  } cases[] = {
      {"HTTP/1.0, closed after each answer", nettest::Play({AsHttp10(answer), nettest::kClose}), 0},
      {"keep-alive, closed 20 ms after the last answer, calls 60 ms apart", ScriptedServer::Reply(answer, 20), 60},
  };
  TempDir dir;
  std::vector<std::u16string> paths;
  for (int k = 0; k < 3; ++k) {
    paths.push_back(dir.Write("p" + std::to_string(k) + ".jpg", PatternBytes(3000, static_cast<uint8_t>(k))).u16string());
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server(c.script);
    LaneHost host;
    host.serviceHost = server.Host();
    host.callPauseMs = c.callPauseMs;
    CTargetNames names;
    CBatchUploader uploader(host, names);
    uploader.SetLanes(3);
    const BatchResult result = uploader.Run(paths, u"u");
    std::printf("[          ] %s: %zu calls over %d connections\n", c.what, server.Requests().size(),
                server.Connections());
    EXPECT_EQ(result.end, FileOutcome::Sent);
    EXPECT_EQ(result.sent, std::vector<bool>(3, true));
    EXPECT_EQ(result.failedCalls, 0);
    EXPECT_EQ(result.piecesSent, 63);
    EXPECT_EQ(server.Requests().size(), 63u);
    // Each photo's first call opens its lane's connection; every other one needed a new one.
    EXPECT_GT(server.Connections() - 3, 50);
  }
}

// Every lane inside a call to a server that never answers: the host's stop ends them all.
TEST(BatchUploader, AStopEndsEveryLaneWithinASecond) {
  std::atomic<int> waiting{0};
  ScriptedServer server([&](TestConnection& connection, int) {
    std::string request;
    if (!connection.ReadRequest(&request)) return;
    ++waiting;
    connection.ReadRequest(&request, 10000);  // until the client gives up and closes
  });
  TempDir dir;
  std::vector<std::u16string> paths;
  for (int k = 0; k < 6; ++k) paths.push_back(dir.Write("p" + std::to_string(k) + ".jpg", PatternBytes(60)).u16string());
  LaneHost host;
  host.serviceHost = server.Host();
  Clock::time_point stoppedAt{};
  std::thread stopper([&] {
    WaitFor([&] { return waiting >= 4; });
    stoppedAt = Clock::now();
    host.stop = true;
  });
  CTargetNames names;
  CBatchUploader uploader(host, names);
  uploader.SetLanes(4);
  const BatchResult result = uploader.Run(paths, u"u");
  const auto ended = Clock::now();
  stopper.join();
  const double ms = std::chrono::duration<double, std::milli>(ended - stoppedAt).count();
  std::printf("[          ] 4 lanes in calls ended %.1f ms after the stop\n", ms);
  EXPECT_EQ(waiting, 4);
  EXPECT_LT(ms, 5000.0);
  EXPECT_EQ(result.end, FileOutcome::Stopped);
  EXPECT_EQ(result.endingFile, 0u);
  EXPECT_EQ(result.failedCalls, 0);
  EXPECT_EQ(result.sent, std::vector<bool>(6, false));
  ASSERT_EQ(host.reports.size(), 4u);
  for (const FileReport& report : host.reports) EXPECT_EQ(report.outcome, FileOutcome::Stopped);
}

}  // namespace
