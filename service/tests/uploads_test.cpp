// UploadFile over HTTP: pieces per (user, FileName), harmless retries, completion that is atomic
// and never overwrites, a missing piece, names that try to leave the data folder, and the sweep
// of pieces that nobody came back for.
#include "service_fixture.h"

namespace {

class Uploads : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    Register("user");
  }
  std::string Piece(std::string_view bytes, int n, std::string_view file, bool last, std::string_view user = "user") {
    return ResultOf(UploadFile(Port(), bytes, std::to_string(n) + ".jpg", file, last, user), "UploadFile");
  }
  void ExpectFault(const HttpReply& reply, const std::string& text) {
    EXPECT_EQ(reply.status, 500) << text;
    EXPECT_EQ(FaultCodeOf(reply), "soap:Client") << text;
    EXPECT_EQ(FaultStringOf(reply), text);
  }
  std::vector<std::string> Stored() { return FilesBelow(Data() / "uploads"); }
  std::vector<std::string> Pieces() { return FilesBelow(Data() / "pieces"); }
  std::vector<std::string> Temporary() { return FilesBelow(Data() / "tmp"); }
};

TEST_F(Uploads, TakesRetriesAndCompletesAtomicallyFromTheLastCallOnlyWithEveryPiece) {
  std::string photo = Pattern(210, 1);  // P = 10
  for (int n = 0; n < 20; ++n) {
    if (n == 5) continue;
    // Every piece twice, the first time with wrong bytes: the retry wins.
    ASSERT_EQ(Piece(std::string(10, 'x'), n, "r.jpg", false), "true");
    ASSERT_EQ(Piece(photo.substr(static_cast<size_t>(n) * 10, 10), n, "r.jpg", false), "true");
  }
  // A missing piece: false, nothing under the final name, the others kept.
  EXPECT_EQ(Piece(photo.substr(200), 20, "r.jpg", true), "false");
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(Pieces().size(), 20u);
  ASSERT_EQ(Piece(photo.substr(50, 10), 5, "r.jpg", false), "true");
  ASSERT_EQ(Piece(photo.substr(200), 20, "r.jpg", true), "true");
  EXPECT_EQ(ReadFile(Data() / "uploads/user/r.jpg"), photo);
  // The client repeats a last call whose answer it did not get: no second file. Other bytes are
  // no repetition, and the earlier pieces are gone.
  EXPECT_EQ(Piece(photo.substr(200), 20, "r.jpg", true), "true");
  EXPECT_TRUE(Pieces().empty());
  EXPECT_TRUE(Temporary().empty());
  EXPECT_EQ(Piece("other", 20, "r.jpg", true), "false");
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/r.jpg"});
  EXPECT_EQ(Query(Data(), "SELECT COUNT(*) FROM photos")[0][0], "1");
}

TEST_F(Uploads, KeepsEveryFileWhenTheNameIsTaken) {
  for (unsigned seed = 10; seed < 13; ++seed) ASSERT_TRUE(SendFile(Port(), Pattern(100, seed), "2008.jpg", "user"));
  EXPECT_EQ(Stored(), (std::vector<std::string>{"user/2008-1.jpg", "user/2008-2.jpg", "user/2008.jpg"}));
  EXPECT_EQ(ReadFile(Data() / "uploads/user/2008.jpg"), Pattern(100, 10));
  EXPECT_EQ(ReadFile(Data() / "uploads/user/2008-1.jpg"), Pattern(100, 11));
  EXPECT_EQ(ReadFile(Data() / "uploads/user/2008-2.jpg"), Pattern(100, 12));
  EXPECT_EQ(Query(Data(), "SELECT name, requested_name FROM photos ORDER BY id")[1],
            (std::vector<std::string>{"2008-1.jpg", "2008.jpg"}));
}

TEST_F(Uploads, RefusesNamesThatCouldLeaveTheDataFolderAndWritesNothing) {
  const std::string separator = "FileName contains a path separator", dots = "FileName contains \"..\" or is \".\"";
  const struct {
    std::string piece, file, user, fault;
  } cases[] = {
      {"21.jpg", "f.jpg", "user", ""}, {"01.jpg", "f.jpg", "user", ""},
      {"0.jpg", "../../escaped.jpg", "user", separator}, {"0.jpg", "/tmp/escaped.jpg", "user", separator},
      {"0.jpg", "..\\escaped.jpg", "user", separator}, {"0.jpg", "..", "user", dots},
      {"0.jpg", "a\tb.jpg", "user", "FileName contains a control character"},
      {"0.jpg", "", "user", "FileName is empty"},
      {"0.jpg", std::string(256, 'f'), "user", "FileName is longer than 255 bytes"},
      {"0.jpg", "ok.jpg", "../user", "userName contains a path separator"},
      {"0.jpg", "ok.jpg", "..", "userName contains \"..\" or is \".\""},
  };
  for (bool last : {false, true})
    for (const auto& c : cases)
      ExpectFault(UploadFile(Port(), "abc", c.piece, c.file, last, c.user),
                  c.fault.empty() ? "strTempFileName must be \"N.jpg\" with N from 0 to 20" : c.fault);
  // Nothing was written anywhere: not outside the data folder, not inside it.
  for (const std::string& file : FilesBelow(root))
    EXPECT_TRUE(file == "data/fotrel.db" || file == "data/fotrel.db-wal" || file == "data/fotrel.db-shm") << file;
  EXPECT_FALSE(fs::exists("/tmp/escaped.jpg"));
}

// Pieces of an upload left unfinished for longer than the maximum age go, at start and in the
// periodic sweep; younger ones stay and the upload completes; 0 keeps them for ever.
TEST_F(Uploads, SweepsPiecesOlderThanTheMaximumAgeAndYoungerOnesComplete) {
  // The service from SetUp sleeps for an hour between sweeps: a stop must wake it.
  auto stopping = std::chrono::steady_clock::now();
  service->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(5));
  const struct {
    unsigned maxAgeHours;
    int idleHours;
    bool periodic;  // aged while the service runs, else before it starts
    bool swept;
  } cases[] = {
      {24, 25, false, true}, {24, 23, false, false}, {0, 8000, false, false},
      {1, 2, true, true},    {24, 23, true, false},  {24, 0, true, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    std::string file = "c" + std::to_string(i) + ".jpg", photo = Pattern(2100 + i, static_cast<unsigned>(i));
    fs::path folder = Data() / "pieces/user" / file;
    auto probe = std::make_shared<SweepProbe>();
    auto config = [&](fotrel::service::ServiceConfig& config) {
      config.pieceMaxAgeHours = c.maxAgeHours;
      config.pieceSweepInterval = std::chrono::milliseconds(5);
      probe->Attach(config);
    };
    Start();
    ASSERT_TRUE(SendFile(Port(), photo, file, "user", nullptr, 0, 12)) << i;
    if (c.periodic) {
      Start(config);
      AgePieces(folder, c.idleHours);
      ASSERT_TRUE(probe->WaitJudged(folder)) << i;
    } else {
      service->Stop();
      AgePieces(folder, c.idleHours);
      Start(config);  // the sweep at start is done before Start returns
    }
    EXPECT_EQ(FilesBelow(folder).size(), c.swept ? 0u : 13u) << i;
    // The client goes on: the file completes whole, or the last call is refused (pieces missing).
    EXPECT_EQ(SendFile(Port(), photo, file, "user", nullptr, 13, 20), !c.swept) << i;
    EXPECT_EQ(fs::exists(Data() / "uploads/user" / file) && ReadFile(Data() / "uploads/user" / file) == photo,
              !c.swept) << i;
    EXPECT_EQ(probe->Visits(folder) > 0, c.maxAgeHours > 0) << i;
  }
}

// A client comes back after a day just as a sweep reaches its folder: the piece it stores before
// the sweep takes the folder's lock keeps the folder, and the upload completes.
TEST_F(Uploads, ASweepThatMeetsAnUploadOfTheFileKeepsItsPieces) {
  std::string photo = Pattern(2100, 5);  // P = 105
  fs::path folder = Data() / "pieces/user/q.jpg";
  ASSERT_TRUE(SendFile(Port(), photo, "q.jpg", "user", nullptr, 0, 12));
  auto probe = std::make_shared<SweepProbe>();
  Start([&](fotrel::service::ServiceConfig& config) {
    config.pieceSweepInterval = std::chrono::milliseconds(5);
    probe->Attach(config);
  });
  // The pieces turn a day old just before a sweep reads the user's folder; the client's piece
  // arrives as that sweep comes to the file's folder.
  auto resumed = std::make_shared<std::atomic<bool>>(false);
  probe->OnNextVisit(Data() / "pieces/user", [folder, piece = photo.substr(13 * 105, 105), port = Port(),
                                              resumed](SweepProbe& probe) {
    AgePieces(folder, 25);
    probe.OnNextVisit(folder, [piece, port, resumed](SweepProbe&) {
      *resumed = ResultOf(UploadFile(port, piece, "13.jpg", "q.jpg", false, "user"), "UploadFile") == "true";
    });
  });
  ASSERT_TRUE(probe->WaitJudged(folder));
  EXPECT_TRUE(*resumed);
  EXPECT_EQ(FilesBelow(folder).size(), 14u);
  ASSERT_TRUE(SendFile(Port(), photo, "q.jpg", "user", nullptr, 14, 20));
  EXPECT_EQ(ReadFile(Data() / "uploads/user/q.jpg"), photo);
}

}  // namespace
