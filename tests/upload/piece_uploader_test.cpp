#include "upload/piece_uploader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/allocation_fault.h"
#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "upload/service_piece_client.h"

namespace {

struct Call {
  std::vector<uint8_t> bytes;
  std::u16string pieceName, fileName;
  bool isCompleted;
  std::u16string userName;
};

// Records every call; the clock moves only when the uploader pauses (and `tick` is set).
class FakeHost : public IUploadHost {
 public:
  struct Client : IPieceClient {
    explicit Client(FakeHost& host) : host(host) {}
    bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                     bool isCompleted, const char16_t* userName) override {
      host.calls.push_back(Call{std::vector<uint8_t>(bytes, bytes + size), pieceName, fileName, isCompleted, userName});
      return host.answer(host.calls.back(), static_cast<int>(host.calls.size()) - 1);
    }
    FakeHost& host;
  };
  std::unique_ptr<IPieceClient> CreateClient() override {
    ++clientsMade;
    return std::make_unique<Client>(*this);
  }
  UtcTime NowUtc() override { return clock; }
  bool Pause(uint32_t ms) override {
    pauses.push_back(ms);
    if (ms > 0 && tick) clock.second++;
    return true;
  }
  bool ShouldStop() override { return stop; }
  std::unique_ptr<uint8_t[]> AllocatePiece(uint32_t bytes) override {
    if (allocationFailures > 0) {
      --allocationFailures;
      return nullptr;
    }
    return IUploadHost::AllocatePiece(bytes);
  }

  UtcTime clock{2008, 1, 5, 3, 4, 9};
  bool tick = false;
  bool stop = false;
  int allocationFailures = 0;
  std::function<bool(const Call&, int index)> answer = [](const Call&, int) { return true; };
  std::vector<Call> calls;
  std::vector<uint32_t> pauses;
  int clientsMade = 0;
};

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Refuses the first refusals[f] calls of the f-th file (files told apart by their names).
std::function<bool(const Call&, int)> RefuseFirstCallsOfEachFile(std::vector<int> refusals) {
  auto seen = std::make_shared<std::map<std::u16string, int>>();
  return [refusals, seen](const Call& c, int) {
    auto it = seen->find(c.fileName);
    if (it == seen->end()) it = seen->emplace(c.fileName, static_cast<int>(seen->size()) * 1000).first;
    const size_t file = static_cast<size_t>(it->second / 1000);
    const int callOfFile = it->second++ % 1000;
    return file >= refusals.size() || callOfFile >= refusals[file];
  };
}

TEST(PieceUploader, TwentyOnePiecesOfASizeOverTwentyAndTheRestInOrder) {
  const struct {
    size_t size, first, last;
  } cases[] = {{20, 1, 0}, {39, 1, 19}, {1000003, 50000, 3}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::vector<uint8_t> data = PatternBytes(c.size, 7);
    FakeHost host;
    CTargetNames names;
    CPieceUploader up(host, names);
    up.StartBatch();
    ASSERT_EQ(up.SendFile(dir.Write("a.jpg", data).u16string(), u"用户"), FileOutcome::Sent) << c.size;
    ASSERT_EQ(host.calls.size(), 21u);
    std::vector<uint8_t> joined;
    for (size_t n = 0; n < 21; ++n) {
      const Call& call = host.calls[n];
      EXPECT_EQ(call.pieceName, U16(std::to_string(n) + ".jpg"));
      EXPECT_EQ(call.fileName, u"200815349.jpg");  // the clock's fields without leading zeros
      EXPECT_EQ(call.userName, u"用户");
      EXPECT_EQ(call.isCompleted, n == 20);
      EXPECT_EQ(call.bytes.size(), n < 20 ? c.first : c.last) << c.size << " piece " << n;
      joined.insert(joined.end(), call.bytes.begin(), call.bytes.end());
    }
    EXPECT_TRUE(joined == data) << c.size;
    EXPECT_EQ(host.clientsMade, 1);
    EXPECT_EQ(up.PiecesSent(), 21);
  }
  TempDir dir;
  FakeHost host;
  CTargetNames names;
  CPieceUploader up(host, names);
  EXPECT_EQ(up.SendFile(dir.Write("s.jpg", PatternBytes(19)).u16string(), u"u"), FileOutcome::TooSmall);
  EXPECT_EQ(up.SendFile((dir.Path() / "missing.jpg").u16string(), u"u"), FileOutcome::CannotOpen);
  EXPECT_TRUE(host.calls.empty());
}

TEST(PieceUploader, RefusedCallIsRetriedAtOnceThenWithGrowingPauses) {
  TempDir dir;
  FakeHost host;
  int failures = 0;  // piece 3 fails nine times, then goes through
  host.answer = [&](const Call& c, int) { return !(c.pieceName == u"3.jpg" && failures++ < 9); };
  CTargetNames names;
  CPieceUploader up(host, names);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(dir.Write("r.jpg", PatternBytes(40)).u16string(), u"u"), FileOutcome::Sent);
  EXPECT_EQ(host.calls.size(), 30u);
  EXPECT_EQ(up.FailedCalls(), 9);
  EXPECT_EQ(up.PiecesSent(), 21);
  EXPECT_EQ(host.clientsMade, 1);  // retries use the same client
  EXPECT_EQ(host.pauses, (std::vector<uint32_t>{50, 100, 200, 400, 500, 500, 500, 500}));
  for (int i = 3; i <= 12; ++i) {
    EXPECT_EQ(host.calls[i].pieceName, u"3.jpg");
    EXPECT_EQ(host.calls[i].bytes, host.calls[3].bytes);
  }
}

// Makes the next g_pieceBufferFaults growths of a piece buffer fail as a real shortage does.
std::atomic<int> g_pieceBufferFaults{0};
bool FailPieceBuffers(AllocationSite site, size_t) {
  return site == AllocationSite::PieceBuffer && g_pieceBufferFaults.fetch_sub(1) > 0;
}

// Failed calls are counted over the batch and looked at after each one: the 51st ends the batch
// wherever it comes; files sent before stay sent, the file in hand and the rest are not sent.
TEST(PieceUploader, TheFiftyFirstFailedCallOfABatchEndsItWhereverItComes) {
  using O = FileOutcome;
  const struct {
    const char* what;
    std::vector<int> batches;  // files per batch, each file 20 bytes
    std::function<bool(const Call&, int)> answer;
    int allocationFailures;  // piece buffers the host cannot give first
    int allocationFaults;    // then piece buffers the default allocation fails to get (bad_alloc)
    int stopInCall;          // the stop request comes while this call fails (-1: none)
    std::vector<FileOutcome> outcomes;
    size_t calls;
    int32_t failedInLastBatch;
  } cases[] = {
      {"the second file's last piece refused for ever", {3},
       [](const Call& c, int i) { return !(i >= 21 && c.isCompleted); }, 0, 0, -1,
       {O::Sent, O::TooManyFailures, O::TooManyFailures}, 21 + 20 + 51, 51},
      {"every call refused (nothing listens)", {2}, [](const Call&, int) { return false; }, 0, 0, -1,
       {O::TooManyFailures, O::TooManyFailures}, 51, 51},
      {"51 refusals spread, the 51st before the end of file 2", {3}, RefuseFirstCallsOfEachFile({30, 21}), 0, 0, -1,
       {O::Sent, O::TooManyFailures, O::TooManyFailures}, 51 + 21, 51},
      {"50 refusals over three files: all sent, the last one too", {3}, RefuseFirstCallsOfEachFile({20, 20, 10}), 0,
       0, -1, {O::Sent, O::Sent, O::Sent}, 63 + 50, 50},
      {"100 refusals in two batches of 50: all sent", {2, 2}, RefuseFirstCallsOfEachFile({25, 25, 25, 25}), 0, 0, -1,
       {O::Sent, O::Sent, O::Sent, O::Sent}, 84 + 100, 50},
      {"a stop while a call fails: not counted, not retried", {2}, [](const Call&, int) { return false; }, 0, 0, 4,
       {O::Stopped, O::Stopped}, 5, 4},
      {"one piece buffer not to be had: one failed call, then the file goes", {1},
       [](const Call&, int) { return true; }, 1, 0, -1, {O::Sent}, 21, 1},
      {"one piece buffer failing with bad_alloc: one failed call, then the file goes", {1},
       [](const Call&, int) { return true; }, 0, 1, -1, {O::Sent}, 21, 1},
      {"no piece buffer at all: the 51st try ends the batch before any call", {2},
       [](const Call&, int) { return true; }, 1000, 0, -1, {O::TooManyFailures, O::TooManyFailures}, 0, 51},
  };
  TempDir dir;
  const std::u16string photo = dir.Write("f.jpg", PatternBytes(20)).u16string();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    host.tick = true;  // every file gets its own name
    host.allocationFailures = c.allocationFailures;
    g_pieceBufferFaults = c.allocationFaults;
    SetAllocationFaultHook(&FailPieceBuffers);
    host.answer = [&](const Call& call, int i) {
      if (i == c.stopInCall) host.stop = true;
      return c.answer(call, i);
    };
    CTargetNames names;
    CPieceUploader up(host, names);
    std::vector<FileOutcome> outcomes;
    for (int files : c.batches) {
      up.StartBatch();
      for (int f = 0; f < files; ++f) outcomes.push_back(up.SendFile(photo, u"u"));
    }
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(host.calls.size(), c.calls);
    EXPECT_EQ(up.FailedCalls(), c.failedInLastBatch);
    EXPECT_LE(g_pieceBufferFaults, 0) << "the fault was not met";
  }
}

// The service joins the pieces of two files with one name, so no name is given twice in a
// process, whichever uploader (batch) or thread asks, even within one second of the clock.
TEST(PieceUploader, TargetNamesAreNeverGivenTwiceInAProcess) {
  TempDir dir;
  const std::u16string p = dir.Write("x.jpg", PatternBytes(20)).u16string();
  const struct {
    const char* what;
    UtcTime first, second;
    const char16_t* firstName;
    const char16_t* secondName;  // the next second that gives a new text, at once
  } cases[] = {
      {"two batches in one second", {2036, 3, 4, 5, 6, 7}, {2036, 3, 4, 5, 6, 7}, u"203634567.jpg", u"203634568.jpg"},
      {"12:1:11 and 12:11:1 print alike", {2036, 1, 1, 12, 1, 11}, {2036, 1, 1, 12, 11, 1}, u"20361112111.jpg",
       u"20361112112.jpg"},
      {"11 January and 1 November print alike", {2036, 1, 11, 1, 2, 3}, {2036, 11, 1, 1, 2, 3}, u"2036111123.jpg",
       u"2036111124.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Two uploaders of their own, as two presses of the upload button make.
    FakeHost first, second;
    first.clock = c.first;
    second.clock = c.second;
    first.tick = second.tick = true;
    CPieceUploader one(first), two(second);
    one.StartBatch();
    two.StartBatch();
    ASSERT_EQ(one.SendFile(p, u"u"), FileOutcome::Sent);
    ASSERT_EQ(two.SendFile(p, u"u"), FileOutcome::Sent);
    EXPECT_NE(first.calls[0].fileName, second.calls[0].fileName);
    EXPECT_EQ(c.firstName, first.calls[0].fileName);
    EXPECT_EQ(c.secondName, second.calls[0].fileName);
    EXPECT_TRUE(second.pauses.empty());
  }
  EXPECT_EQ(u"200815349.jpg", CTargetNames::Format({2008, 1, 5, 3, 4, 9}));

  // Two uploaders on two threads whose clocks stand at the same second until they wait.
  std::vector<std::u16string> taken[2];
  std::atomic<bool> go{false};
  auto run = [&](int lane) {
    FakeHost host;
    host.clock = {2037, 2, 3, 4, 5, 0};
    host.tick = true;
    CPieceUploader up(host);
    up.StartBatch();
    while (!go.load()) std::this_thread::yield();
    for (int f = 0; f < 12; ++f) {
      if (up.SendFile(p, u"u") != FileOutcome::Sent) return;
      taken[lane].push_back(host.calls.back().fileName);
    }
  };
  std::thread a(run, 0), b(run, 1);
  go = true;
  a.join();
  b.join();
  std::set<std::u16string> all(taken[0].begin(), taken[0].end());
  all.insert(taken[1].begin(), taken[1].end());
  EXPECT_EQ(taken[0].size() + taken[1].size(), 24u);
  EXPECT_EQ(all.size(), 24u);
}

// Names go out without waiting while a second up to a minute ahead of the clock gives a new
// one; beyond that, a name waits for the clock, and a stop ends that wait.
TEST(PieceUploader, TwoHundredNamesInOneSecondAreUniqueAndAtMostAMinuteAhead) {
  // Stands still until someone waits; each pause moves it on by a second.
  struct SteppedClock : INameClock {
    UtcTime NowUtc() override { return UtcFromEpochSeconds(ms / 1000); }
    bool Pause(uint32_t) override {
      ms += 1000;
      ++pauses;
      return stopAfterPauses < 0 || pauses < stopAfterPauses;
    }
    int64_t ms = 0;
    int pauses = 0;
    int stopAfterPauses = -1;
  };
  const struct {
    const char* what;
    UtcTime start;
    UtcTime takenBefore;  // ten names from this time on were given before
  } cases[] = {
      {"a plain minute", {2041, 3, 14, 15, 9, 26}, {2000, 1, 1, 0, 0, 0}},
      // 1:01:10 to 1:01:19 print as 1:11:00 to 1:11:09 did.
      {"texts given before to other seconds", {2036, 1, 11, 1, 0, 50}, {2036, 1, 11, 1, 11, 0}},
      {"over the end of a year", {2036, 12, 31, 23, 59, 30}, {2000, 1, 1, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CTargetNames names;
    SteppedClock clock;
    clock.ms = EpochSeconds(c.takenBefore) * 1000;
    for (int i = 0; i < 10; ++i) {
      std::u16string name;
      ASSERT_EQ(names.Take(clock, &name), CTargetNames::Result::Named);
    }
    const int64_t start = EpochSeconds(c.start);
    clock.ms = start * 1000;
    std::set<std::u16string> taken;
    int64_t previous = start - 1;
    for (int i = 0; i < 200; ++i) {
      std::u16string name;
      ASSERT_EQ(names.Take(clock, &name), CTargetNames::Result::Named);
      EXPECT_TRUE(taken.insert(name).second) << "given twice: " << std::string(name.begin(), name.end());
      // The second the name stands for: after the previous name's, at most a minute ahead.
      const int64_t now = clock.ms / 1000;
      int64_t second = previous + 1;
      while (second <= now + 60 && CTargetNames::Format(UtcFromEpochSeconds(second)) != name) ++second;
      ASSERT_LE(second, now + 60) << "name " << i << " is not a second up to a minute ahead of the clock";
      previous = second;
      // The first names come at once; the minute ahead holds at least 50 new texts.
      if (i < 50) {
        EXPECT_EQ(clock.pauses, 0) << i;
      }
    }
    // 200 names, at most 61 to a minute: the clock had to move on about 139 s (and one more
    // for each text given before).
    EXPECT_GE(clock.ms / 1000 - start, 139);
    EXPECT_LE(clock.ms / 1000 - start, 150);
    // With every second of the next minute taken, a stop ends the wait for the clock.
    clock.stopAfterPauses = clock.pauses + 1;
    std::u16string name;
    EXPECT_EQ(names.Take(clock, &name), CTargetNames::Result::Stopped);
  }
  EXPECT_EQ(u"2036111123.jpg", CTargetNames::Format(UtcFromEpochSeconds(EpochSeconds({2036, 11, 1, 1, 2, 3}))));
}

// Against a real socket: a service that refuses the empty last piece every time (seen with an
// independent SOAP stack) gets exactly 51 tries of it; the file before stays sent, the one after
// is never asked for.
TEST(PieceUploader, AServerThatRefusesOnePieceForEverGetsFiftyOneTries) {
  using namespace servicetest;
  ScriptedServer server([](TestConnection& connection, int) {
    std::string request;
    while (connection.ReadRequest(&request)) {
      const bool emptyLast = request.find("<TempBytes></TempBytes>") != std::string::npos;
      if (!connection.Send(Http("200 OK", Result("UploadFile", emptyLast ? "false" : "true")))) return;
    }
  });
  struct Host : IUploadHost {
    explicit Host(std::u16string host) : host(std::move(host)) {}
    std::unique_ptr<IPieceClient> CreateClient() override { return std::make_unique<CServicePieceClient>(host); }
    bool Pause(uint32_t) override { return true; }  // the pauses are counted above, not waited here
    UtcTime NowUtc() override { return {2035, 1, 1, 0, 0, second++}; }
    std::u16string host;
    int second = 0;
  } host(server.Host());
  TempDir dir;
  CPieceUploader up(host);
  up.StartBatch();
  EXPECT_EQ(up.SendFile(dir.Write("a.jpg", PatternBytes(39)).u16string(), u"u"), FileOutcome::Sent);
  EXPECT_EQ(up.SendFile(dir.Write("b.jpg", PatternBytes(20)).u16string(), u"u"), FileOutcome::TooManyFailures);
  EXPECT_EQ(up.SendFile(dir.Write("c.jpg", PatternBytes(40)).u16string(), u"u"), FileOutcome::TooManyFailures);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 21u + 20u + 51u);
  EXPECT_NE(requests[20].find("<FileName>203511000.jpg</FileName>"), std::string::npos);
  EXPECT_NE(requests[20].find("<isCompleted>true</isCompleted>"), std::string::npos);
  for (size_t i = 41; i < requests.size(); ++i) {
    EXPECT_NE(requests[i].find("<strTempFileName>20.jpg</strTempFileName><FileName>203511001.jpg</FileName>"),
              std::string::npos);
  }
  EXPECT_EQ(up.FailedCalls(), 51);
  EXPECT_EQ(up.PiecesSent(), 41);
}

}  // namespace
