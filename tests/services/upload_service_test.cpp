#include "services/upload_service.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace servicetest;

std::string UploadRequest(const ScriptedServer& server, const std::string& tempBytes, const std::string& piece,
                          const std::string& completed) {
  const std::string body = RequestBody("UploadFile", tempBytes + "<strTempFileName>" + piece +
                                                         "</strTempFileName><FileName>200815349.jpg</FileName>"
                                                         "<isCompleted>" +
                                                         completed + "</isCompleted><userName>&#x5F20;u</userName>");
  return Request("/WebService/Upload.asmx", "UploadFile", body, server.Port());
}

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

// Base64 of Bytes(57): exactly one full line.
const char kLine57[] = "AQgPFh0kKzI5QEdOVVxjanF4f4aNlJuiqbC3vsXM09rh6O/2/QQLEhkgJy41PENKUVhfZm10e4KJ";

TEST(UploadWire, PiecesOfZero57_58And60Bytes) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "true"))));
  Upload::CUploadT client(server.Host());
  struct Case {
    size_t size;
    std::string text;
    bool last;
  } cases[] = {
      {0, "<TempBytes></TempBytes>", true},
      {57, std::string("<TempBytes>") + kLine57 + "\r\n</TempBytes>", false},
      {58, std::string("<TempBytes>") + kLine57 + "\r\nkA==</TempBytes>", false},
      {60, std::string("<TempBytes>") + kLine57 + "\r\nkJee</TempBytes>", false},
  };
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Bytes(c.size);
    static const uint8_t kNone = 0;
    bool ok = false;
    ASSERT_EQ(client.UploadFile(c.size ? bytes.data() : &kNone, static_cast<uint32_t>(c.size), u"3.jpg",
                                u"200815349.jpg", c.last, u"张u", &ok),
              0);
    EXPECT_TRUE(ok);
    expected.push_back(UploadRequest(server, c.text, "3.jpg", c.last ? "true" : "false"));
  }
  ASSERT_EQ(server.Requests().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(server.Requests()[i], expected[i]) << i;
  EXPECT_EQ(server.Connections(), 1);
}

TEST(UploadWire, NullPieceAndNullNamesAreNil) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "false"))));
  Upload::CUploadT client(server.Host());
  bool ok = true;
  ASSERT_EQ(client.UploadFile(nullptr, 5, nullptr, nullptr, false, nullptr, &ok), 0);
  EXPECT_FALSE(ok);  // "false" is an answer, not a failure
  const std::string body = RequestBody(
      "UploadFile",
      "<TempBytes xsi:nil=\"1\"/><strTempFileName xsi:nil=\"1\"/><FileName xsi:nil=\"1\"/>"
      "<isCompleted>false</isCompleted><userName xsi:nil=\"1\"/>");
  EXPECT_EQ(server.Requests()[0], Request("/WebService/Upload.asmx", "UploadFile", body, server.Port()));
}

TEST(UploadWire, ALargePieceArrivesWhole) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "1"))));
  Upload::CUploadT client(server.Host());
  std::vector<uint8_t> bytes = Bytes(250000);
  bool ok = false;
  ASSERT_EQ(client.UploadFile(bytes.data(), 250000, u"0.jpg", u"a.jpg", false, u"u", &ok), 0);
  EXPECT_TRUE(ok);
  const std::string request = server.Requests().at(0);
  // 250000 bytes: 83333 whole groups, 4385 full lines of 19 each followed by CR LF, then a padded group.
  const size_t open = request.find("<TempBytes>") + 11;
  const size_t close = request.find("</TempBytes>");
  EXPECT_EQ(close - open, 83334u * 4 + 4385u * 2);
  EXPECT_EQ(request.substr(close - 4, 4).substr(2), "==");
}

}  // namespace
