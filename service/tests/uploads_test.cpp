// UploadFile over HTTP: pieces per (user, FileName), harmless retries, completion that is atomic
// and never overwrites, a missing piece, and names that try to leave the data folder.
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

}  // namespace
