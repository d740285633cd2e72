// UploadFile over HTTP: pieces per (user, FileName), harmless retries, completion that is
// atomic and never overwrites, a missing piece, limits, and names that try to leave the data
// folder.
#include <gtest/gtest.h>

#include "service_fixture.h"

namespace fs = std::filesystem;

namespace {

class Uploads : public ::testing::Test {
 protected:
  TempFolder root;
  std::unique_ptr<RunningService> service;
  RunningService::Tweak tweak;

  void SetUp() override { Start(); }
  void Start() {
    service = std::make_unique<RunningService>(Data(), tweak);
    ASSERT_TRUE(service->Started()) << service->Error();
    ASSERT_EQ(ResultOf(CreateUser(Port(), "user", "pw", "user@x"), "CreateUser"), "1");
  }
  int Port() const { return service->Port(); }
  fs::path Data() const { return root.Path() / "data"; }
  std::string Piece(std::string_view bytes, int n, std::string_view file, bool last,
                    std::string_view user = "user") {
    return ResultOf(UploadFile(Port(), bytes, std::to_string(n) + ".jpg", file, last, user),
                    "UploadFile");
  }
  HttpReply Raw(std::string_view bytes, std::string_view piece, std::string_view file,
                bool last, std::string_view user) {
    return UploadFile(Port(), bytes, piece, file, last, user);
  }
  void ExpectFault(const HttpReply& reply, const std::string& text) {
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(FaultCodeOf(reply), "soap:Client");
    EXPECT_EQ(FaultStringOf(reply), text);
  }
  std::vector<std::string> Stored() { return FilesBelow(Data() / "uploads"); }
  std::vector<std::string> Pieces() { return FilesBelow(Data() / "pieces"); }
  std::vector<std::string> Temporary() { return FilesBelow(Data() / "tmp"); }
};

}  // namespace

TEST_F(Uploads, StoresA39ByteFileAsTheClientSendsIt) {
  std::string photo = Pattern(39);
  ASSERT_TRUE(UploadWhole(Port(), photo, "200815349.jpg", "user"));
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/200815349.jpg"});
  EXPECT_EQ(ReadFile(Data() / "uploads/user/200815349.jpg"), photo);
  EXPECT_TRUE(Pieces().empty());
  EXPECT_TRUE(Temporary().empty());
  auto rows = Query(Data(), "SELECT name, requested_name, size FROM photos");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"200815349.jpg", "200815349.jpg", "39"}));
}

TEST_F(Uploads, StoresA20ByteFileWhoseLastPieceIsEmpty) {
  std::string photo = Pattern(20, 5);
  ASSERT_TRUE(UploadWhole(Port(), photo, "a.jpg", "user"));
  EXPECT_EQ(ReadFile(Data() / "uploads/user/a.jpg"), photo);
}

TEST_F(Uploads, StoresSeveralMegabytesOverOneConnection) {
  std::string photo = Pattern(5'000'123, 9);
  RawConnection connection(Port());
  ASSERT_TRUE(UploadWhole(Port(), photo, "big.jpg", "user", &connection));
  EXPECT_TRUE(ReadFile(Data() / "uploads/user/big.jpg") == photo);
}

TEST_F(Uploads, FilesUnderTheRegisteredSpellingOfTheUser) {
  ASSERT_TRUE(UploadWhole(Port(), Pattern(40), "x.jpg", "USER"));
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/x.jpg"});
}

TEST_F(Uploads, TakesARepeatedPieceInsteadOfTheEarlierOne) {
  std::string photo = Pattern(210, 1);  // P = 10
  for (int n = 0; n < 20; ++n) {
    std::string part = photo.substr(static_cast<size_t>(n) * 10, 10);
    // Every piece twice, the first time with wrong bytes: the retry wins.
    ASSERT_EQ(Piece(std::string(10, 'x'), n, "r.jpg", false), "true");
    ASSERT_EQ(Piece(part, n, "r.jpg", false), "true");
  }
  EXPECT_EQ(Pieces().size(), 20u);
  ASSERT_EQ(Piece(photo.substr(200), 20, "r.jpg", true), "true");
  EXPECT_EQ(ReadFile(Data() / "uploads/user/r.jpg"), photo);
  EXPECT_EQ(Query(Data(), "SELECT COUNT(*) FROM photos")[0][0], "1");
}

TEST_F(Uploads, CompletesAtomicallyFromTheLastCall) {
  std::string photo = Pattern(400, 2);
  for (int n = 0; n < 20; ++n) {
    ASSERT_EQ(Piece(photo.substr(static_cast<size_t>(n) * 20, 20), n, "c.jpg", false), "true");
    // Nothing appears under the final name before the last call.
    ASSERT_TRUE(Stored().empty()) << n;
  }
  ASSERT_EQ(Piece("", 20, "c.jpg", true), "true");
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/c.jpg"});
  EXPECT_EQ(ReadFile(Data() / "uploads/user/c.jpg"), photo);
  EXPECT_TRUE(Temporary().empty());
  EXPECT_TRUE(Pieces().empty());
}

TEST_F(Uploads, AnswersFalseForAMissingPieceAndKeepsTheOthers) {
  std::string photo = Pattern(210, 3);
  for (int n = 0; n < 20; ++n) {
    if (n == 5) continue;
    ASSERT_EQ(Piece(photo.substr(static_cast<size_t>(n) * 10, 10), n, "m.jpg", false), "true");
  }
  EXPECT_EQ(Piece(photo.substr(200), 20, "m.jpg", true), "false");
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(Pieces().size(), 20u);
  // The missing piece arrives; the last call, repeated, completes the file.
  ASSERT_EQ(Piece(photo.substr(50, 10), 5, "m.jpg", false), "true");
  EXPECT_EQ(Piece(photo.substr(200), 20, "m.jpg", true), "true");
  EXPECT_EQ(ReadFile(Data() / "uploads/user/m.jpg"), photo);
}

TEST_F(Uploads, AnswersARepeatedLastCallTrueWithoutASecondFile) {
  std::string photo = Pattern(39, 4);
  ASSERT_TRUE(UploadWhole(Port(), photo, "d.jpg", "user"));
  // The client repeats a last call whose answer it did not get.
  EXPECT_EQ(Piece(photo.substr(20), 20, "d.jpg", true), "true");
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/d.jpg"});
  EXPECT_TRUE(Pieces().empty());
  // Other bytes are not a repetition: the earlier pieces are missing.
  EXPECT_EQ(Piece("other", 20, "d.jpg", true), "false");
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/d.jpg"});
}

TEST_F(Uploads, KeepsBothFilesWhenTheNameIsTaken) {
  std::string first = Pattern(100, 10), second = Pattern(120, 11), third = Pattern(140, 12);
  ASSERT_TRUE(UploadWhole(Port(), first, "200815349.jpg", "user"));
  ASSERT_TRUE(UploadWhole(Port(), second, "200815349.jpg", "user"));
  ASSERT_TRUE(UploadWhole(Port(), third, "200815349.jpg", "user"));
  EXPECT_EQ(Stored(), (std::vector<std::string>{"user/200815349-1.jpg", "user/200815349-2.jpg",
                                                "user/200815349.jpg"}));
  EXPECT_EQ(ReadFile(Data() / "uploads/user/200815349.jpg"), first);
  EXPECT_EQ(ReadFile(Data() / "uploads/user/200815349-1.jpg"), second);
  EXPECT_EQ(ReadFile(Data() / "uploads/user/200815349-2.jpg"), third);
  auto rows = Query(Data(), "SELECT name, requested_name FROM photos ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"200815349-1.jpg", "200815349.jpg"}));
}

TEST_F(Uploads, AnswersFalseForUnknownUsersAndWritesNothing) {
  EXPECT_EQ(Piece("abc", 0, "u.jpg", false, "stranger"), "false");
  EXPECT_EQ(Piece("abc", 0, "u.jpg", true, "stranger"), "false");
  EXPECT_EQ(Piece("abc", 0, "u.jpg", true, ""), "false");
  HttpReply reply = CallSoap(Port(), kUploadPath, "UploadFile",
                             "<UploadFile xmlns=\"http://tempuri.org/\"><TempBytes>YWJj"
                             "</TempBytes><strTempFileName>0.jpg</strTempFileName><FileName>u.jpg"
                             "</FileName><isCompleted>true</isCompleted><userName xsi:nil=\"1\"/>"
                             "</UploadFile>");
  EXPECT_EQ(ResultOf(reply, "UploadFile"), "false");
  EXPECT_TRUE(Stored().empty());
  EXPECT_TRUE(Pieces().empty());
  EXPECT_TRUE(Temporary().empty());
}

TEST_F(Uploads, TakesANilPieceAsNoBytes) {
  HttpReply reply = CallSoap(Port(), kUploadPath, "UploadFile",
                             "<UploadFile xmlns=\"http://tempuri.org/\"><TempBytes xsi:nil=\"1\"/>"
                             "<strTempFileName>0.jpg</strTempFileName><FileName>n.jpg</FileName>"
                             "<isCompleted>true</isCompleted><userName>user</userName>"
                             "</UploadFile>");
  EXPECT_EQ(ResultOf(reply, "UploadFile"), "true");
  EXPECT_EQ(ReadFile(Data() / "uploads/user/n.jpg"), "");
}

TEST_F(Uploads, RefusesBadPieceNames) {
  for (std::string name : {"21.jpg", "a.jpg", "01.jpg", "0.png", ""})
    ExpectFault(Raw("abc", name, "f.jpg", false, "user"),
                "strTempFileName must be \"N.jpg\" with N from 0 to 20");
  EXPECT_TRUE(Pieces().empty());
}

TEST_F(Uploads, RefusesNamesThatWouldLeaveTheDataFolder) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"../../escaped.jpg", "FileName contains a path separator"},
      {"/tmp/escaped.jpg", "FileName contains a path separator"},
      {"..\\escaped.jpg", "FileName contains a path separator"},
      {"..", "FileName contains \"..\" or is \".\""},
      {".", "FileName contains \"..\" or is \".\""},
      {"a\tb.jpg", "FileName contains a control character"},
      {"", "FileName is empty"},
      {std::string(256, 'f'), "FileName is longer than 255 bytes"},
  };
  for (bool last : {false, true})
    for (const auto& [name, text] : files) ExpectFault(Raw("abc", "0.jpg", name, last, "user"), text);
  ExpectFault(Raw("abc", "0.jpg", "ok.jpg", true, "../user"), "userName contains a path separator");
  ExpectFault(Raw("abc", "0.jpg", "ok.jpg", true, ".."), "userName contains \"..\" or is \".\"");
  HttpReply reply = CallSoap(Port(), kUploadPath, "UploadFile",
                             "<UploadFile xmlns=\"http://tempuri.org/\"><TempBytes>YWJj"
                             "</TempBytes><strTempFileName>0.jpg</strTempFileName><FileName "
                             "xsi:nil=\"1\"/><isCompleted>true</isCompleted><userName>user"
                             "</userName></UploadFile>");
  ExpectFault(reply, "FileName is nil");
  // Nothing was written anywhere: not outside the data folder, not inside it.
  std::vector<std::string> everything = FilesBelow(root.Path());
  for (const std::string& file : everything)
    EXPECT_TRUE(file == "data/fotrel.db" || file == "data/fotrel.db-wal" ||
                file == "data/fotrel.db-shm")
        << file;
  EXPECT_FALSE(fs::exists(root.Path() / "escaped.jpg"));
  EXPECT_FALSE(fs::exists("/tmp/escaped.jpg"));
}

TEST_F(Uploads, KeepsAFileNameOf255Bytes) {
  std::string name = std::string(251, 'k') + ".jpg";
  ASSERT_TRUE(UploadWhole(Port(), Pattern(21), name, "user"));
  ASSERT_TRUE(UploadWhole(Port(), Pattern(22), name, "user"));
  EXPECT_EQ(Stored(), (std::vector<std::string>{"user/" + std::string(249, 'k') + "-1.jpg",
                                                "user/" + name}));
}

TEST_F(Uploads, RefusesAPieceOverTheLimit) {
  service.reset();
  tweak = [](fotrel::service::ServiceConfig& c) { c.limits.pieceBytes = 1000; };
  fs::remove_all(Data());
  Start();
  EXPECT_EQ(Piece(Pattern(1000), 0, "l.jpg", false), "true");
  ExpectFault(Raw(Pattern(1001), "1.jpg", "l.jpg", false, "user"),
              "TempBytes holds more than 1000 bytes");
  EXPECT_EQ(Pieces(), std::vector<std::string>{"user/l.jpg/0"});
  EXPECT_TRUE(Temporary().empty());
}

TEST_F(Uploads, RefusesAFileOverTheLimitAndDropsItsPieces) {
  service.reset();
  tweak = [](fotrel::service::ServiceConfig& c) { c.limits.fileBytes = 100; };
  fs::remove_all(Data());
  Start();
  EXPECT_TRUE(UploadWhole(Port(), Pattern(100), "fits.jpg", "user"));
  for (int n = 0; n < 20; ++n) ASSERT_EQ(Piece(Pattern(5), n, "big.jpg", false), "true");
  ExpectFault(Raw("x", "20.jpg", "big.jpg", true, "user"), "the file is larger than 100 bytes");
  EXPECT_TRUE(Pieces().empty());
  EXPECT_EQ(Stored(), std::vector<std::string>{"user/fits.jpg"});
}

TEST(UploadsDefaultLimit, RefusesAPieceOver64MiB) {
  TempFolder root;
  RunningService service(root.Path() / "data");
  ASSERT_TRUE(service.Started());
  ASSERT_EQ(ResultOf(CreateUser(service.Port(), "user", "pw", "u@x"), "CreateUser"), "1");
  std::string piece((64u << 20) + 1, 'p');
  HttpReply reply = UploadFile(service.Port(), piece, "0.jpg", "huge.jpg", false, "user");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultStringOf(reply), "TempBytes holds more than 64 MiB");
  EXPECT_TRUE(FilesBelow(root.Path() / "data" / "tmp").empty());
  EXPECT_TRUE(FilesBelow(root.Path() / "data" / "pieces").empty());
}
