#include "upload/piece_uploader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

struct Call {
  std::vector<uint8_t> bytes;
  std::u16string pieceName;
  std::u16string fileName;
  bool isCompleted;
  std::u16string userName;
  int client;
};

class FakeHost;

class FakeClient : public IPieceClient {
 public:
  FakeClient(FakeHost& host, int id) : m_host(host), m_id(id) {}
  bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                   bool isCompleted, const char16_t* userName) override;

 private:
  FakeHost& m_host;
  int m_id;
};

// Records every call; the clock moves only when the uploader pauses.
class FakeHost : public IUploadHost {
 public:
  std::unique_ptr<IPieceClient> CreateClient() override {
    ++clientsMade;
    if (failClientCreation > 0) {
      --failClientCreation;
      return nullptr;
    }
    return std::make_unique<FakeClient>(*this, clientsMade);
  }
  UtcTime NowUtc() override { return clock; }
  bool Pause(uint32_t ms) override {
    pauses.push_back(ms);
    elapsedMs += ms;
    if (ms > 0 && onPause) onPause();
    return !stop;
  }
  bool ShouldStop() override { return stop || (stopAfterCalls >= 0 && static_cast<int>(calls.size()) >= stopAfterCalls); }
  void OnProgress(int32_t piecesSent) override { progress.push_back(piecesSent); }

  UtcTime clock{2008, 1, 5, 3, 4, 9};
  std::function<void()> onPause;
  std::function<bool(const Call&, int index)> answer = [](const Call&, int) { return true; };
  std::vector<Call> calls;
  std::vector<uint32_t> pauses;
  std::vector<int32_t> progress;
  uint64_t elapsedMs = 0;
  int clientsMade = 0;
  int failClientCreation = 0;
  int stopAfterCalls = -1;
  bool stop = false;
};

bool FakeClient::UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                             bool isCompleted, const char16_t* userName) {
  Call c{std::vector<uint8_t>(bytes, bytes + size), pieceName, fileName, isCompleted, userName, m_id};
  m_host.calls.push_back(c);
  return m_host.answer(c, static_cast<int>(m_host.calls.size()) - 1);
}

std::u16string U16(const std::filesystem::path& p) { return p.u16string(); }

// Joins the bytes of the successful calls for one target name, checking the piece order.
std::vector<uint8_t> Reassemble(const std::vector<Call>& calls, const std::u16string& fileName) {
  std::vector<uint8_t> out;
  int expected = 0;
  for (const Call& c : calls) {
    if (c.fileName != fileName) continue;
    if (c.pieceName != CPieceUploader::PieceName(expected)) continue;  // a retried call
    out.insert(out.end(), c.bytes.begin(), c.bytes.end());
    ++expected;
  }
  EXPECT_EQ(expected, 21);
  return out;
}

TEST(PieceUploader, NamesFromTheClockWithoutLeadingZeros) {
  EXPECT_EQ(CPieceUploader::TargetName({2008, 1, 5, 3, 4, 9}), u"200815349.jpg");
  EXPECT_EQ(CPieceUploader::TargetName({2026, 12, 31, 23, 59, 59}), u"20261231235959.jpg");
  EXPECT_EQ(CPieceUploader::PieceName(0), u"0.jpg");
  EXPECT_EQ(CPieceUploader::PieceName(20), u"20.jpg");
}

TEST(PieceUploader, SystemClockGivesAPlausibleUtcDate) {
  IUploadHost* host = nullptr;
  FakeHost fake;
  host = &fake;
  UtcTime t = host->IUploadHost::NowUtc();
  EXPECT_GE(t.year, 2024);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_LT(t.hour, 24);
  EXPECT_LT(t.second, 60);
}

TEST(PieceUploader, TwentyBytesGoAsTwentyOneBytePiecesAndAnEmptyLastOne) {
  TempDir dir;
  auto data = PatternBytes(20);
  FakeHost host;
  CPieceUploader up(host);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(U16(dir.Write("a.jpg", data)), u"用户"), FileOutcome::Sent);
  ASSERT_EQ(host.calls.size(), 21u);
  for (int n = 0; n < 21; ++n) {
    const Call& c = host.calls[n];
    EXPECT_EQ(c.pieceName, CPieceUploader::PieceName(n));
    EXPECT_EQ(c.fileName, u"200815349.jpg");
    EXPECT_EQ(c.userName, u"用户");
    EXPECT_EQ(c.isCompleted, n == 20);
    EXPECT_EQ(c.bytes.size(), n < 20 ? 1u : 0u);
    if (n < 20) {
      EXPECT_EQ(c.bytes[0], data[n]);
    }
  }
  EXPECT_EQ(host.clientsMade, 1);
  EXPECT_EQ(up.PiecesSent(), 21);
}

TEST(PieceUploader, ThirtyNineBytesPutNineteenInTheLastPiece) {
  TempDir dir;
  auto data = PatternBytes(39);
  FakeHost host;
  CPieceUploader up(host);
  ASSERT_EQ(up.SendFile(U16(dir.Write("b.jpg", data)), u"u"), FileOutcome::Sent);
  ASSERT_EQ(host.calls.size(), 21u);
  EXPECT_EQ(host.calls[19].bytes.size(), 1u);
  EXPECT_EQ(host.calls[20].bytes.size(), 19u);
  EXPECT_EQ(Reassemble(host.calls, u"200815349.jpg"), data);
}

TEST(PieceUploader, LargerFileArrivesWholeInOrder) {
  TempDir dir;
  auto data = PatternBytes(1000003, 7);
  FakeHost host;
  CPieceUploader up(host);
  ASSERT_EQ(up.SendFile(U16(dir.Write("big.jpg", data)), u"u"), FileOutcome::Sent);
  EXPECT_EQ(host.calls[0].bytes.size(), 50000u);
  EXPECT_EQ(host.calls[20].bytes.size(), 3u);
  EXPECT_EQ(Reassemble(host.calls, u"200815349.jpg"), data);
}

TEST(PieceUploader, TooSmallOrMissingFilesSendNothing) {
  TempDir dir;
  FakeHost host;
  CPieceUploader up(host);
  EXPECT_EQ(up.SendFile(U16(dir.Write("s.jpg", PatternBytes(19))), u"u"), FileOutcome::TooSmall);
  EXPECT_EQ(up.SendFile(U16(dir.Path() / "missing.jpg"), u"u"), FileOutcome::CannotOpen);
  EXPECT_EQ(up.SendFile(U16(dir.Path()), u"u"), FileOutcome::CannotOpen);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.clientsMade, 0);
}

TEST(PieceUploader, RefusedCallIsRetriedAtOnceThenWithGrowingPauses) {
  TempDir dir;
  FakeHost host;
  // Piece 3 fails nine times, then goes through.
  int failures = 0;
  host.answer = [&](const Call& c, int) {
    if (c.pieceName == u"3.jpg" && failures < 9) {
      ++failures;
      return false;
    }
    return true;
  };
  CPieceUploader up(host);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(U16(dir.Write("r.jpg", PatternBytes(40))), u"u"), FileOutcome::Sent);
  EXPECT_EQ(host.calls.size(), 30u);
  EXPECT_EQ(up.FailedCalls(), 9);
  EXPECT_EQ(up.PiecesSent(), 21);
  EXPECT_EQ(host.clientsMade, 1);  // retries use the same client
  std::vector<uint32_t> expected = {50, 100, 200, 400, 800, 1000, 1000, 1000};
  EXPECT_EQ(host.pauses, expected);
  for (int i = 3; i <= 12; ++i) {
    EXPECT_EQ(host.calls[i].pieceName, u"3.jpg");
    EXPECT_EQ(host.calls[i].bytes, host.calls[3].bytes);
  }
}

TEST(PieceUploader, ProgressBeforeEveryCallCountsSuccessesAcrossFiles) {
  TempDir dir;
  FakeHost host;
  host.answer = [](const Call&, int index) { return index != 5; };
  host.onPause = [&] { host.clock.second++; };
  CPieceUploader up(host);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(U16(dir.Write("1.jpg", PatternBytes(25))), u"u"), FileOutcome::Sent);
  ASSERT_EQ(up.SendFile(U16(dir.Write("2.jpg", PatternBytes(25))), u"u"), FileOutcome::Sent);
  ASSERT_EQ(host.progress.size(), 43u);
  EXPECT_EQ(host.progress[5], 5);
  EXPECT_EQ(host.progress[6], 5);  // the retry of a failed call
  EXPECT_EQ(host.progress.back(), 41);
  EXPECT_EQ(up.PiecesSent(), 42);
  EXPECT_EQ(host.clientsMade, 2);  // one client per file
}

TEST(PieceUploader, TwoFilesOfOneRunNeverShareATargetName) {
  TempDir dir;
  FakeHost host;
  host.onPause = [&] { host.clock.second++; };
  CPieceUploader up(host);
  auto p = U16(dir.Write("x.jpg", PatternBytes(20)));
  ASSERT_EQ(up.SendFile(p, u"u"), FileOutcome::Sent);
  ASSERT_EQ(up.SendFile(p, u"u"), FileOutcome::Sent);
  EXPECT_EQ(host.calls[0].fileName, u"200815349.jpg");
  EXPECT_EQ(host.calls[21].fileName, u"2008153410.jpg");
  // 12:1:11 and 12:11:1 print alike; the second file waits for a new text too.
  FakeHost h2;
  h2.clock = {2026, 1, 1, 12, 1, 11};
  CPieceUploader up2(h2);
  ASSERT_EQ(up2.SendFile(p, u"u"), FileOutcome::Sent);
  h2.clock = {2026, 1, 1, 12, 11, 1};
  h2.onPause = [&] { h2.clock.second++; };
  ASSERT_EQ(up2.SendFile(p, u"u"), FileOutcome::Sent);
  EXPECT_EQ(h2.calls[0].fileName, u"20261112111.jpg");
  EXPECT_EQ(h2.calls[21].fileName, u"20261112112.jpg");
}

TEST(PieceUploader, MoreThanFiftyFailuresEndTheBatchAfterTheFileIsSent) {
  TempDir dir;
  auto p = U16(dir.Write("f.jpg", PatternBytes(20)));
  // 50 failures in all: the batch goes on.
  {
    FakeHost host;
    host.onPause = [&] { host.clock.second++; };
    int left = 50;
    host.answer = [&](const Call&, int) { return left-- <= 0; };
    CPieceUploader up(host);
    up.StartBatch();
    EXPECT_EQ(up.SendFile(p, u"u"), FileOutcome::Sent);
    EXPECT_EQ(up.FailedCalls(), 50);
  }
  // 51 failures, the 51st during file 2: file 2 is finished, then the rule stops the batch.
  {
    FakeHost host;
    host.onPause = [&] { host.clock.second++; };
    int n = 0;
    host.answer = [&](const Call&, int) {
      ++n;
      // File 1 ends with call 51; file 2 sees 21 refusals from its second call on.
      return !((n >= 2 && n <= 31) || (n >= 53 && n <= 73));
    };
    CPieceUploader up(host);
    up.StartBatch();
    ASSERT_EQ(up.SendFile(p, u"u"), FileOutcome::Sent);
    EXPECT_EQ(up.FailedCalls(), 30);
    EXPECT_EQ(up.SendFile(p, u"u"), FileOutcome::TooManyFailures);
    EXPECT_EQ(up.FailedCalls(), 51);
    EXPECT_EQ(up.PiecesSent(), 42);
    EXPECT_TRUE(host.calls.back().isCompleted);
  }
}

TEST(PieceUploader, StopsWhenTheHostGoesAway) {
  TempDir dir;
  auto p = U16(dir.Write("g.jpg", PatternBytes(100)));
  FakeHost host;
  host.stopAfterCalls = 4;
  CPieceUploader up(host);
  EXPECT_EQ(up.SendFile(p, u"u"), FileOutcome::Stopped);
  EXPECT_EQ(host.calls.size(), 4u);
  // A service that refuses everything is retried until the host stops it, paced.
  FakeHost refusing;
  refusing.answer = [](const Call&, int) { return false; };
  refusing.stopAfterCalls = 12;
  CPieceUploader up2(refusing);
  EXPECT_EQ(up2.SendFile(p, u"u"), FileOutcome::Stopped);
  EXPECT_EQ(refusing.calls.size(), 12u);
  for (const Call& c : refusing.calls) EXPECT_EQ(c.pieceName, u"0.jpg");
  EXPECT_GT(refusing.elapsedMs, 5000u);
}

TEST(PieceUploader, AClientThatCannotBeMadeIsMadeAgainBeforeTheNextCall) {
  TempDir dir;
  FakeHost host;
  host.failClientCreation = 2;
  CPieceUploader up(host);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(U16(dir.Write("c.jpg", PatternBytes(20))), u"u"), FileOutcome::Sent);
  // The first creation fails before the loop, the second inside it (a failed call), the third works.
  EXPECT_EQ(host.clientsMade, 3);
  EXPECT_EQ(up.FailedCalls(), 1);
  EXPECT_EQ(host.calls.size(), 21u);
}

}  // namespace
