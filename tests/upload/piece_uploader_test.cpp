#include "upload/piece_uploader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

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

  UtcTime clock{2008, 1, 5, 3, 4, 9};
  bool tick = false;
  std::function<bool(const Call&, int index)> answer = [](const Call&, int) { return true; };
  std::vector<Call> calls;
  std::vector<uint32_t> pauses;
  int clientsMade = 0;
};

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(PieceUploader, TwentyOnePiecesOfASizeOverTwentyAndTheRestInOrder) {
  const struct {
    size_t size, first, last;
  } cases[] = {{20, 1, 0}, {39, 1, 19}, {1000003, 50000, 3}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::vector<uint8_t> data = PatternBytes(c.size, 7);
    FakeHost host;
    CPieceUploader up(host);
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
  CPieceUploader up(host);
  EXPECT_EQ(up.SendFile(dir.Write("s.jpg", PatternBytes(19)).u16string(), u"u"), FileOutcome::TooSmall);
  EXPECT_EQ(up.SendFile((dir.Path() / "missing.jpg").u16string(), u"u"), FileOutcome::CannotOpen);
  EXPECT_TRUE(host.calls.empty());
}

TEST(PieceUploader, RefusedCallIsRetriedAtOnceThenWithGrowingPauses) {
  TempDir dir;
  FakeHost host;
  int failures = 0;  // piece 3 fails nine times, then goes through
  host.answer = [&](const Call& c, int) { return !(c.pieceName == u"3.jpg" && failures++ < 9); };
  CPieceUploader up(host);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(dir.Write("r.jpg", PatternBytes(40)).u16string(), u"u"), FileOutcome::Sent);
  EXPECT_EQ(host.calls.size(), 30u);
  EXPECT_EQ(up.FailedCalls(), 9);
  EXPECT_EQ(up.PiecesSent(), 21);
  EXPECT_EQ(host.clientsMade, 1);  // retries use the same client
  EXPECT_EQ(host.pauses, (std::vector<uint32_t>{50, 100, 200, 400, 800, 1000, 1000, 1000}));
  for (int i = 3; i <= 12; ++i) {
    EXPECT_EQ(host.calls[i].pieceName, u"3.jpg");
    EXPECT_EQ(host.calls[i].bytes, host.calls[3].bytes);
  }
}

TEST(PieceUploader, TwoFilesOfOneRunNeverShareATargetName) {
  TempDir dir;
  const std::u16string p = dir.Write("x.jpg", PatternBytes(20)).u16string();
  FakeHost host;
  host.tick = true;
  CPieceUploader up(host);
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
  h2.tick = true;
  ASSERT_EQ(up2.SendFile(p, u"u"), FileOutcome::Sent);
  EXPECT_EQ(h2.calls[0].fileName, u"20261112111.jpg");
  EXPECT_EQ(h2.calls[21].fileName, u"20261112112.jpg");
}

TEST(PieceUploader, MoreThanFiftyFailuresEndTheBatchAfterTheFileIsSent) {
  TempDir dir;
  const std::u16string p = dir.Write("f.jpg", PatternBytes(20)).u16string();
  // 51 failures, the 51st during file 2: file 2 is finished, then the rule stops the batch.
  // File 1 ends with call 51; file 2 sees 21 refusals from its second call on.
  FakeHost host;
  host.tick = true;
  int n = 0;
  host.answer = [&](const Call&, int) { return !((++n >= 2 && n <= 31) || (n >= 53 && n <= 73)); };
  CPieceUploader up(host);
  up.StartBatch();
  ASSERT_EQ(up.SendFile(p, u"u"), FileOutcome::Sent);
  EXPECT_EQ(up.FailedCalls(), 30);
  EXPECT_EQ(up.SendFile(p, u"u"), FileOutcome::TooManyFailures);
  EXPECT_EQ(up.FailedCalls(), 51);
  EXPECT_EQ(up.PiecesSent(), 42);
  EXPECT_TRUE(host.calls.back().isCompleted);
}

}  // namespace
